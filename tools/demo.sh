#!/usr/bin/env bash
# The demo on the embedded default database: builds the release preset,
# writes sample logs of all seventeen kinds (and two faulty files), runs the
# real importer over them, and shows where the files went, the events that
# Pellinor wrote and what the database holds.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "$(nproc)"
bin=$PWD/build/linux-release

work=$(mktemp -d /tmp/ferrowin-demo-XXXXXX)
install=$work/install
mkdir -p "$work/in" "$work/backup" "$work/errors" "$install/Setting/2"
cp "$bin/libpellinor.so" "$install/"
cat > "$work/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]
"InstallPath"="$install/"
"LOG_WRITEMAXERROR"=dword:0000000a
"SQL_SP_TIMEOUT"=dword:00000e10

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]
"DSNName"="Provider=Embedded;Data Source=$work/veyrith.db"
"DBUserID"=""
"DBPWD"=""
REG
printf '[LOG_SETTINGS]\r\nIMPORT_BACKUP_PATH=%s\r\nIMPORT_ERR_PATH=%s\r\n' \
    "$work/backup/" "$work/errors/" > "$install/Setting/KFSettings.ini"
printf '[LOG_TYPES]\r\nLOG_TYPE1=FileLogFile\r\n[PRODUCT_INFO]\r\nPRODUCT_INSTALLPATH=%s\r\n' \
    "$install" > "$install/Setting/2/product.ini"
export KESTRAFOLD_REGISTRY="$work/registry.reg"
export KESTRAFOLD_EVENTLOG="$work/events.log"

"$bin/gen-logs" "$work/in" --rows 500 >/dev/null
# Two faulty files: every date broken, and an empty one.
mkdir -p "$work/faulty"
"$bin/gen-logs" "$work/faulty" --rows 20 --kind 2 --fault bad-date >/dev/null
mv "$work/faulty"/*.csv "$work/in/URLLogFile_PC-102_0001.csv"
: > "$work/in/PrintLogFile_PC-102_0001.csv"

echo "input: $(ls "$work/in" | wc -l) files in $work/in"
set +e
"$bin/ferrowin" "$work/in"
code=$?
set -e
echo "ferrowin exited with $code"
echo
echo "left in the input folder: $(ls -A "$work/in" | wc -l)"
echo "backup folder: $(ls "$work/backup" | wc -l) files"
echo "error folder:  $(ls "$work/errors" | tr '\n' ' ')"
echo
echo "events ($KESTRAFOLD_EVENTLOG):"
cat "$work/events.log" 2>/dev/null || echo "(none)"
echo
echo "database: $work/veyrith.db"
sqlite3 "$work/veyrith.db" "SELECT TableName, LogCount, MaxLogID FROM VY_LogHistory ORDER BY TableName;"
