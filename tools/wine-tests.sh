#!/usr/bin/env bash
# Runs the x86_64 Windows test programs under Wine, in a Wine prefix of their
# own that is removed afterwards, with the Japanese code page and no display.
# Prints each program's gtest summary; fails on any failed test, and when the
# events written through Pellinor.dll do not show in Wine's event channel as
# text decoded from code page 932.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows-x86_64}
# The Linux sample-log writer, for the importer's run under Wine.
genlogs=${2:-build/linux-debug/gen-logs}

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrowin-wine-XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# wine and wineserver run with the code page of this locale (932); the
# locale need not be installed on the host.
wine_ja() { LC_ALL=ja_JP.UTF-8 timeout "$@"; }

echo "-- Wine prefix"
timeout 300 wine wineboot -i >/dev/null 2>&1
# No X display here: the null graphics driver still gives windows and
# messages, which SendPellinor's engine window needs.
timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

failed=0
for test in platform_tests support_tests pellinor_tests embedded_tests; do
    exe=$build/$test.exe
    [ -f "$exe" ] || continue
    echo "-- $test"
    status=0
    # Wine's event log is its "eventlog" debug channel on standard error.
    WINEDEBUG=warn+eventlog wine_ja 600 wine "$exe" >"$work/$test.out" 2>"$work/$test.err" ||
        status=$?
    grep -E '^\[(==========|  PASSED  |  FAILED  |  SKIPPED )\]' "$work/$test.out" || true
    if [ "$status" -ne 0 ]; then
        echo "$test failed (exit $status):"
        grep -B2 -A12 -E 'Failure|FAILED' "$work/$test.out" | head -200
        tail -20 "$work/$test.err"
        failed=1
    fi
done

# The two events, as Wine decoded their code page 932 bytes: Pellinor's own
# test text (データベース, tab, タブ) and the importer's catalogue text
# (データベースのアクセスに失敗しました。).
echo "-- events in Wine's event channel"
for text in 'L"\30c7\30fc\30bf\30d9\30fc\30b9\t\30bf\30d6"' \
    'L"\30c7\30fc\30bf\30d9\30fc\30b9\306e\30a2\30af\30bb\30b9\306b\5931\6557\3057\307e\3057\305f\3002"'; do
    if grep -hF "warn:eventlog:ReportEventW $text" "$work"/pellinor_tests.err; then
        :
    else
        echo "missing event: $text"
        failed=1
    fi
done

# The importer end to end: Ferrowin.exe over sample logs of every kind plus
# two faulty files, on the embedded database, with the registry, settings and
# Pellinor.dll of an installation. Wine shows the Unix root as drive Z:.
if [ -f "$build/Ferrowin.exe" ] && [ -x "$genlogs" ]; then
    echo "-- Ferrowin.exe"
    site=$work/site
    mkdir -p "$site/in" "$site/backup" "$site/errors" "$site/install/Setting/2" "$site/faulty"
    cp "$build/Pellinor.dll" "$site/install/"
    win() { printf 'Z:%s' "$1" | tr / '\\'; }
    regpath() { win "$1" | sed 's/\\/\\\\/g'; }
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\r\n"InstallPath"="%s\\\\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\r\n"DSNName"="Provider=Embedded;Data Source=%s"\r\n"DBUserID"=""\r\n"DBPWD"=""\r\n' \
        "$(regpath "$site/install")" "$(regpath "$site/veyrith.db")" >"$site/install.reg"
    printf '[LOG_SETTINGS]\r\nIMPORT_BACKUP_PATH=%s\\\r\nIMPORT_ERR_PATH=%s\\\r\n' \
        "$(win "$site/backup")" "$(win "$site/errors")" >"$site/install/Setting/KFSettings.ini"
    timeout 120 wine regedit /S "$(win "$site/install.reg")" >/dev/null 2>&1
    "$genlogs" "$site/in" --rows 50 >/dev/null
    "$genlogs" "$site/faulty" --rows 20 --kind 2 --fault bad-date >/dev/null
    mv "$site"/faulty/*.csv "$site/in/URLLogFile_PC-102_0001.csv"
    : >"$site/in/PrintLogFile_PC-102_0001.csv"

    status=0
    WINEDEBUG=warn+eventlog wine_ja 600 wine "$build/Ferrowin.exe" "$(win "$site/in")" \
        >"$work/ferrowin.out" 2>"$work/ferrowin.err" || status=$?
    backed=$(ls "$site/backup" | wc -l)
    errors=$(ls "$site/errors" | tr '\n' ' ')
    left=$(ls -A "$site/in" | wc -l)
    events=$(grep -c "warn:eventlog:ReportEventW" "$work/ferrowin.err" || true)
    rows=$(sqlite3 "$site/veyrith.db" "SELECT SUM(LogCount) FROM VY_LogHistory" 2>/dev/null || echo none)
    echo "exit $status; backup $backed files; errors: $errors; left $left; events $events; rows $rows"
    if [ "$status" -ne 1 ] || [ "$backed" -ne 17 ] || [ "$left" -ne 0 ] ||
        [ "$errors" != "PrintLogFile_PC-102_0001.csv URLLogFile_PC-102_0001.csv " ] ||
        [ "$events" -ne 4 ] || [ "$rows" != "850" ]; then
        echo "Ferrowin.exe under Wine did not import as expected"
        tail -20 "$work/ferrowin.err"
        failed=1
    fi
fi

[ "$failed" -eq 0 ] || exit 1
echo "Wine tests passed"
