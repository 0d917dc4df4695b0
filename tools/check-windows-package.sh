#!/usr/bin/env bash
# Reads the headers of the shipping i686 binaries: 32-bit (PE32), the console
# subsystem, and imports only from DLLs that every Windows has. Ferrowin.exe
# is checked when it has been built.
set -euo pipefail
build="${1:-build/windows-i686}"
# System DLLs of a stock Windows that the package may import.
allowed='^(ADVAPI32|KERNEL32|USER32|ole32|OLEAUT32|msvcrt|ODBC32|WS2_32|SHELL32)\.dll$'

failed=0
for binary in "$build/Pellinor.dll" "$build/Ferrowin.exe"; do
    if [ ! -f "$binary" ]; then
        [ "${binary##*/}" = Pellinor.dll ] && { echo "missing $binary" >&2; exit 1; }
        echo "$binary: not built yet"
        continue
    fi
    headers=$(i686-w64-mingw32-objdump -p "$binary")
    magic=$(awk '/^Magic/ {print $2; exit}' <<<"$headers")
    subsystem=$(awk '/^Subsystem/ {print $2; exit}' <<<"$headers")
    dlls=$(awk '/DLL Name:/ {print $3}' <<<"$headers" | sort -u)
    [ "$magic" = 010b ] || { echo "$binary: not PE32 (magic $magic)" >&2; failed=1; }
    [ "$subsystem" = 00000003 ] || { echo "$binary: not a console binary ($subsystem)" >&2; failed=1; }
    while read -r dll; do
        [[ "$dll" =~ $allowed ]] || { echo "$binary: imports $dll" >&2; failed=1; }
    done <<<"$dlls"
    echo "$binary: PE32, console subsystem, imports $(tr '\n' ' ' <<<"$dlls")"
done
exit "$failed"
