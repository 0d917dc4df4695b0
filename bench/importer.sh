#!/usr/bin/env bash
# The importer itself, the real `ferrowin` program, against baselines measured
# in the same run; each figure is a ratio of the two:
#   1. ten-row files through ferrowin (with the load ledger, and again with
#      the ledger table dropped), as files per second over a loop of durable
#      ten-row commits with the same pragmas (target >= 0.5, goal 0.8);
#   2. one file of 1M rows through ferrowin against the bare prepared INSERT
#      loop of bulk-load-bench (target <= 1.05);
#   3. the install-software rewrite of a 100 MB file against cp plus fsync
#      (target <= 3).
# Run by hand, not in CI: it takes minutes and about 1 GB of /var/tmp.
# Usage: bench/importer.sh [files] [build folder]
#   files         how many ten-row files (default 10000)
#   build folder  default build/linux-release, which the script builds
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-10000}
bin=${2:-build/linux-release}
if [ "$bin" = build/linux-release ]; then
    cmake --preset linux-release >/dev/null
    cmake --build --preset linux-release -j "$(nproc)" \
        --target ferrowin importer-bench bulk-load-bench gen-logs >/dev/null
fi
work=$(mktemp -d /var/tmp/ferrowin-importer-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
ratio() { echo "$1 / $2" | bc -l; }
best() { if [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

# An installation in $work: the registry file names the install folder and the
# embedded database $1; imported files go to the backup folder.
install() {
    rm -rf "$work/install" "$work/backup" "$work/in"
    mkdir -p "$work/install/Setting/2" "$work/backup" "$work/in"
    printf '[LOG_SETTINGS]\r\nIMPORT_BACKUP_PATH=%s/backup/\r\n' "$work" \
        >"$work/install/Setting/KFSettings.ini"
    printf '[LOG_TYPES]\r\nLOG_TYPE1=FileLogFile\r\n[PRODUCT_INFO]\r\nPRODUCT_INSTALLPATH=%s/install/\r\n' \
        "$work" >"$work/install/Setting/2/product.ini"
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold\\DBManager]\r\n"InstallPath"="%s/install/"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zorel\\Kestrafold]\r\n"DSNName"="Provider=Embedded;Data Source=%s"\r\n"DBUserID"=""\r\n"DBPWD"=""\r\n' \
        "$work" "$1" >"$work/registry.reg"
    export KESTRAFOLD_REGISTRY="$work/registry.reg"
    # The first run creates the database; it is not timed.
    run >/dev/null
}
# Seconds of one ferrowin run over the input folder. A run that found the
# instance lock taken by another program ends with 0 at once and is started
# again; only the run that worked is timed.
run() {
    local start end code
    for attempt in $(seq 600); do
        sync
        start=$(now)
        code=0
        "$bin/ferrowin" "$work/in/" >"$work/stdout.txt" 2>"$work/stderr.txt" || code=$?
        end=$(now)
        [ "$code" = 0 ] || break
        sleep 0.1
    done
    [ "$code" = 1 ] || { echo "ferrowin ended with $code" >&2; exit 1; }
    echo "$end - $start" | bc -l
}

echo "bench/importer.sh $files $bin"

# 1. Many small files. Other work on the machine moves fsync times a lot, so
#    each of the three is measured twice, interleaved, and the faster counts.
"$bin/bench/importer-bench" files "$work" 1 >/dev/null
sample="$work/FileLogFile_PC-00000.csv"
loop() {
    rm -f "$work"/loop.db*
    sync
    "$bin/bench/importer-bench" commits "$work/loop.db" "$sample" "$files"
    rm -f "$work"/loop.db*
}
# Ferrowin over $files new files; $1 is "with" or "without" the ledger.
small() {
    install "$work/small.db"
    [ "$1" = with ] || sqlite3 "$work/small.db" "DROP TABLE VY_LoadLedger"
    "$bin/bench/importer-bench" files "$work/in" "$files"
    local s
    s=$(run)
    [ "$(ls "$work/backup" | wc -l)" = "$files" ] || { echo "not every file was imported" >&2; exit 1; }
    if [ "$1" = with ]; then
        grep -q "not protected" "$work/stderr.txt" && { echo "no ledger" >&2; exit 1; }
    else
        grep -q "not protected" "$work/stderr.txt" || { echo "the ledger was not dropped" >&2; exit 1; }
    fi
    rm -f "$work"/small.db*
    echo "$s"
}
measured() { [ -n "$1" ] || { echo "a measurement failed" >&2; exit 1; }; echo "$1"; }
loop_s=$(measured "$(loop)")
ledger_s=$(measured "$(small with)")
plain_s=$(measured "$(small without)")
loop_s=$(best "$loop_s" "$(measured "$(loop)")")
ledger_s=$(best "$ledger_s" "$(measured "$(small with)")")
plain_s=$(best "$plain_s" "$(measured "$(small without)")")

printf '%d ten-row files, ferrowin with the ledger:  %8.3f s  %7.1f files/s\n' "$files" "$ledger_s" "$(ratio "$files" "$ledger_s")"
printf '%d ten-row files, ferrowin without it:       %8.3f s  %7.1f files/s\n' "$files" "$plain_s" "$(ratio "$files" "$plain_s")"
printf '%d durable ten-row commits, bare loop:       %8.3f s  %7.1f commits/s\n' "$files" "$loop_s" "$(ratio "$files" "$loop_s")"
printf 'ratio with the ledger: %.2f  (target >= 0.5, goal 0.8); without: %.2f\n' \
    "$(ratio "$loop_s" "$ledger_s")" "$(ratio "$loop_s" "$plain_s")"

# 2. One file of 1M rows, with the ledger and with the ledger table dropped.
"$bin/gen-logs" "$work" --rows 1000000 --kind 0 >/dev/null
big=$(cd "$work" && ls FileLogFile_*.csv | grep -v PC-00000)
mv "$work/$big" "$work/big.csv"
for ledger in with without; do
    install "$work/big-$ledger.db"
    [ $ledger = with ] || sqlite3 "$work/big-$ledger.db" "DROP TABLE VY_LoadLedger"
    cp "$work/big.csv" "$work/in/$big"
    big_s=$(run)
    [ -f "$work/backup/$big" ] || { echo "the 1M-row file was not imported"; exit 1; }
    eval "big_${ledger}_s=$big_s"
    rm -f "$work"/big-$ledger.db*
done
sync
read -r base_s _ base_rows < <("$bin/bench/bulk-load-bench" baseline "$work/base.db" "$work/big.csv")
printf '1M rows (%d MB), ferrowin with the ledger: %8.3f s\n' "$(du -m "$work/big.csv" | cut -f1)" "$big_with_s"
printf '1M rows, ferrowin without it:              %8.3f s\n' "$big_without_s"
printf '1M rows, bare prepared INSERT loop:        %8.3f s  %d rows\n' "$base_s" "$base_rows"
printf 'ratio with the ledger: %.2f  (target <= 1.05); without: %.2f\n' \
    "$(ratio "$big_with_s" "$base_s")" "$(ratio "$big_without_s" "$base_s")"
rm -rf "$work"/*.db* "$work/big.csv" "$work/backup"

# 3. The rewrite of a 100 MB install-software file, every other install date
#    (the eleventh field) invalid.
"$bin/gen-logs" "$work" --rows 630000 --kind 14 >/dev/null
soft=$(ls "$work"/AsInstallSoftwareLogFile*.csv)
LC_ALL=C awk 'BEGIN { FS = OFS = "\376" } NR % 2 { $11 = "2007/02/29" } 1' "$soft" >"$work/original.csv"
cp "$work/original.csv" "$soft"
sync
start=$(now)
cp "$work/original.csv" "$work/copy.csv"
sync "$work/copy.csv"
end=$(now)
cp_s=$(echo "$end - $start" | bc -l)
sync
rewrite_s=$("$bin/bench/importer-bench" rewrite "$soft")
cmp -s "$soft" "$work/original.csv" && { echo "the file was not rewritten"; exit 1; }
printf 'rewrite of %d MB, ferrowin:  %8.3f s\n' "$(du -m "$work/original.csv" | cut -f1)" "$rewrite_s"
printf 'cp plus fsync:              %8.3f s\n' "$cp_s"
printf 'ratio: %.2f  (target <= 3)\n' "$(ratio "$rewrite_s" "$cp_s")"
