#!/usr/bin/env bash
# Runs the x86_64 Windows test programs under Wine, in a Wine prefix of their
# own that is removed afterwards, with the Japanese code page and no display.
# Prints each program's gtest summary; fails on any failed test, and when the
# events written through Pellinor.dll do not show in Wine's event channel as
# text decoded from code page 932.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows-x86_64}

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

[ "$failed" -eq 0 ] || exit 1
echo "Wine tests passed"
