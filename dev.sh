#!/usr/bin/env bash
# The two commands of a new machine:
#   ./dev.sh run    installs what is missing, builds, and opens Lumicart on the virtual camera
#   ./dev.sh test   installs what is missing, builds (warnings are errors), and runs every test
# and a few more for developers:
#   ./dev.sh asan   the same tests in the AddressSanitizer + UndefinedBehaviorSanitizer build
#   ./dev.sh bench  builds and runs the benchmarks
#   ./dev.sh fuzz   builds the fuzz targets with clang (run them from build-fuzz/bin)
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)
# Compiler cache: paths are taken relative to the checkout, so every clone shares the entries.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi

build() { # preset
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
}

case "${1:-}" in
run)
    scripts/deps.sh
    build default
    scripts/install.sh build
    if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
        echo "No display: starting Lumicart in a virtual X server (xvfb-run)." >&2
        exec xvfb-run -a build/bin/Lumicart
    fi
    exec build/bin/Lumicart
    ;;
test)
    scripts/deps.sh
    build ci
    ctest --preset ci --repeat until-pass:2
    ;;
asan)
    scripts/deps.sh
    build asan
    ctest --preset asan --repeat until-pass:2
    ;;
bench)
    scripts/deps.sh bench
    build bench
    for b in build-bench/bin/bench_*; do
        [[ -x "$b" && -f "$b" ]] && "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
    done
    ;;
fuzz)
    scripts/deps.sh
    build fuzz
    ;;
*)
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
