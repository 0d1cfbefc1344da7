#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from the layout .clang-format gives it.
# Usage: scripts/check-format.sh        (lists the files and exits 1 when any differ)
set -euo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r -d '' file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        bad+=("$file")
    fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.cc' '*.hpp')
if [[ ${#bad[@]} -gt 0 ]]; then
    echo "These files differ from .clang-format (run clang-format -i on them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "format: every C++ file follows .clang-format"
