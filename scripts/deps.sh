#!/usr/bin/env bash
# Installs the Debian packages of deps/debian-packages.txt that are missing.
# Usage: scripts/deps.sh [TAG...]  -- untagged packages always, tagged ones only when named.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
list="$here/deps/debian-packages.txt"
want=()
while read -r name tag _; do
    [[ -z "$name" || "$name" == \#* ]] && continue
    if [[ -n "${tag:-}" ]]; then
        case " $* " in *" $tag "*) ;; *) continue ;; esac
    fi
    want+=("$name")
done <"$list"

missing=()
for p in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}"
