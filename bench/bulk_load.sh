#!/usr/bin/env bash
# Bulk load of a 1M-row FileLogFile (about 140 MB) into the embedded database,
# through the whole database layer, against two baselines on the same data:
#   (a) a bare loop with one transaction and a prepared INSERT on the same SQLite
#   (b) the sqlite3 shell's .import of the same rows as TSV
# Then the peak memory of the load for that file and for a file of about 1 GB.
# Usage: bench/bulk_load.sh [rows] [rows of the large file]
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-1000000}
large_rows=${2:-7400000}
tools/install-deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "$(nproc)" --target bulk-load-bench to-tsv gen-logs >/dev/null
bin=build/linux-release
bench_bin=$bin/bench
work=$(mktemp -d /var/tmp/ferrowin-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$bin/gen-logs" "$work" --rows "$rows" --kind 0 >/dev/null
file="$work/FileLogFile_PC-101_0001.csv"
echo "data: $rows rows, $(du -m "$file" | cut -f1) MB"

"$bench_bin/to-tsv" "$file" "$work/rows.tsv"
# The shell imports into the same schema, created beforehand (not timed).
"$bench_bin/bulk-load-bench" baseline "$work/cli.db" /dev/null >/dev/null
sqlite3 "$work/cli.db" "DELETE FROM VY_FileOptLog; PRAGMA journal_mode=WAL;" >/dev/null
sync
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

# Each is run twice on a fresh database and the faster run counts.
runs=2
ours_s=; base_s=; cli_s=
for run in $(seq "$runs"); do
    rm -f "$work"/ours.db* "$work"/base.db*
    cp "$work/cli.db" "$work/cli-run.db"
    sync
    read -r s rss ours_rows < <("$bench_bin/bulk-load-bench" ours "$work/ours.db" "$file")
    ours_s=$(best "$ours_s" "$s"); ours_rss=$rss
    sync
    read -r s _ base_rows < <("$bench_bin/bulk-load-bench" baseline "$work/base.db" "$file")
    base_s=$(best "$base_s" "$s")
    sync
    start=$(date +%s.%N)
    sqlite3 "$work/cli-run.db" -cmd "PRAGMA synchronous=FULL" ".mode tabs" \
        ".import $work/rows.tsv VY_FileOptLog"
    end=$(date +%s.%N)
    cli_s=$(best "$cli_s" "$(echo "$end - $start" | bc -l)")
    cli_rows=$(sqlite3 "$work/cli-run.db" "SELECT COUNT(*) FROM VY_FileOptLog")
    rm -f "$work"/cli-run.db*
done

printf 'ours (BULK INSERT via ADO layer): %8.3f s  %d rows\n' "$ours_s" "$ours_rows"
printf '(a) bare prepared INSERT loop:    %8.3f s  %d rows\n' "$base_s" "$base_rows"
printf '(b) sqlite3 .import of TSV:       %8.3f s  %d rows\n' "$cli_s" "$cli_rows"
printf 'ratio ours/(a): %.2f  (target <= 1.5)\n' "$(echo "$ours_s / $base_s" | bc -l)"
printf 'ratio ours/(b): %.2f  (target <= 0.7)\n' "$(echo "$ours_s / $cli_s" | bc -l)"
printf 'peak RSS, %d MB file: %d MiB (target <= 64)\n' "$(du -m "$file" | cut -f1)" "$((ours_rss / 1024))"
rm -f "$work"/*.db* "$work/rows.tsv"

"$bin/gen-logs" "$work" --rows "$large_rows" --kind 0 --seed 2 >/dev/null
read -r big_s big_rss big_rows < <("$bench_bin/bulk-load-bench" ours "$work/big.db" "$file")
printf 'peak RSS, %d MB file: %d MiB (target <= 64), %d rows in %.1f s\n' \
    "$(du -m "$file" | cut -f1)" "$((big_rss / 1024))" "$big_rows" "$big_s"
