#!/usr/bin/env bash
# Checks the export table of the built Pellinor.dll: SendPellinor is ordinal 1,
# SendLogSvrLog ordinal 2, both by their plain undecorated names.
set -euo pipefail
dll="${1:-build/windows-i686}/Pellinor.dll"
table=$(i686-w64-mingw32-objdump -p "$dll")
base=$(awk '/^Ordinal Base/ {print $3; exit}' <<<"$table")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" |
    sed -n 's/^\s*\[\s*\([0-9]*\)\] \(.*\)$/\1 \2/p' |
    while read -r index name; do echo "$((index + base)) $name"; done | sort -n)
expected=$'1 SendPellinor\n2 SendLogSvrLog'
if [ "$exports" != "$expected" ]; then
    printf 'unexpected exports of %s:\n%s\n' "$dll" "$exports" >&2
    exit 1
fi
echo "exports of $dll: ordinal 1 SendPellinor, ordinal 2 SendLogSvrLog"
