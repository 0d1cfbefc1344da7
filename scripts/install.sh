#!/usr/bin/env bash
# Per-user set-up after a build, as an installer would do it: the programs' registry entries
# and data folders. Safe to run again; it never replaces what the user changed.
# Usage: scripts/install.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)

# The clip mail program's default skin and folder.
if [[ -x "$build/bin/murvane-setup" ]]; then
    "$build/bin/murvane-setup"
fi
# The virtual camera registers its capture driver so the browser enables its camera commands.
if [[ -x "$build/bin/kerris-register" ]]; then
    "$build/bin/kerris-register"
fi
