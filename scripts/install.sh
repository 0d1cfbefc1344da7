#!/usr/bin/env bash
# Per-user set-up after a build, as an installer would do it: the programs' registry entries
# and data folders. Safe to run again; it never replaces what the user changed.
# Usage: scripts/install.sh [--remove] [BUILD_DIR]
#   --remove  takes away what the set-up records about this desktop (mail support)
set -euo pipefail
remove=0
folders=()
for argument in "$@"; do
    case "$argument" in
        --remove) remove=1 ;;
        *) folders+=("$argument") ;;
    esac
done
build=$(cd "${folders[0]:-build}" && pwd)

if [[ $remove == 1 ]]; then
    if [[ -x "$build/bin/mapi-setup" ]]; then
        "$build/bin/mapi-setup" --remove
    fi
    exit 0
fi

# The clip mail program's default skin and folder.
if [[ -x "$build/bin/murvane-setup" ]]; then
    "$build/bin/murvane-setup"
fi
# The virtual camera's capture driver, and a pictures folder for the browser's first start.
if [[ -x "$build/bin/kerris-setup" ]]; then
    "$build/bin/kerris-setup"
fi
# Mail support ("MAPI"="1") only where this desktop can compose mail; run again after
# installing a mail client.
if [[ -x "$build/bin/mapi-setup" ]]; then
    "$build/bin/mapi-setup"
fi
