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
# The virtual camera's capture driver, and a pictures folder for the browser's first start.
if [[ -x "$build/bin/kerris-setup" ]]; then
    "$build/bin/kerris-setup"
fi
# The media encoder component's classes, the camera's virtual video device and microphone, and
# the "Murvane" profile the clip mail program records with ("kerrisenc-setup --remove" undoes it).
if [[ -x "$build/bin/kerrisenc-setup" ]]; then
    "$build/bin/kerrisenc-setup"
fi
