#!/usr/bin/env bash
# The demo on the embedded default database: builds the release preset,
# writes sample logs of all seventeen kinds (and two faulty files), loads them
# as the importer does, and shows the events that Pellinor wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "$(nproc)"
bin=$PWD/build/linux-release

work=$(mktemp -d /tmp/ferrowin-demo-XXXXXX)
mkdir -p "$work/in" "$work/install"
cp "$bin/libpellinor.so" "$work/install/"
cat > "$work/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]
"InstallPath"="$work/install"
REG
export KESTRAFOLD_REGISTRY="$work/registry.reg"
export KESTRAFOLD_EVENTLOG="$work/events.log"

"$bin/gen-logs" "$work/in" --rows 500 >/dev/null
# Two faulty files: every date broken, and an empty one.
mkdir -p "$work/faulty"
"$bin/gen-logs" "$work/faulty" --rows 20 --kind 2 --fault bad-date >/dev/null
mv "$work/faulty/URLLogFile_PC-101_0001.csv" "$work/in/URLLogFile_PC-102_0001.csv"
: > "$work/in/PrintLogFile_PC-102_0001.csv"

"$bin/embedded-demo" "$work/in" "$work/veyrith.db"
echo
echo "events ($KESTRAFOLD_EVENTLOG):"
cat "$work/events.log" 2>/dev/null || echo "(none)"
echo
echo "database: $work/veyrith.db"
sqlite3 "$work/veyrith.db" "SELECT TableName, LogCount, MaxLogID FROM VY_LogHistory ORDER BY TableName;"
