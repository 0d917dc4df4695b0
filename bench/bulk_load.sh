#!/usr/bin/env bash
# Bulk load of a 1M-row FileLogFile (about 140 MB) into the embedded database,
# through the whole database layer, against two baselines on the same data:
#   (a) a bare loop with one transaction and a prepared INSERT on the same SQLite,
#       with the provider's pragmas (WAL, synchronous=FULL, a 16 MB page cache)
#   (b) the sqlite3 shell's .import of the same rows as TSV
# Then the peak memory and time of three loads of about 1 GB each:
#   the same kind of file; that file with LF alone between its lines (one
#   endless record for SQL Server's rules); and a file of faulty rows only,
#   loaded with MAXERRORS one below its row count, so that it fails at the end.
# Run by hand, not in CI (it takes minutes and several GB of /var/tmp).
# Usage: bench/bulk_load.sh [rows] [rows of the large files]
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
printf 'ratio ours/(a): %.2f  (target <= 1.2)\n' "$(echo "$ours_s / $base_s" | bc -l)"
printf 'ratio ours/(b): %.2f  (target <= 0.7)\n' "$(echo "$ours_s / $cli_s" | bc -l)"
printf 'peak RSS, %d MB file: %d MiB (target <= 64)\n' "$(du -m "$file" | cut -f1)" "$((ours_rss / 1024))"
rm -f "$work"/*.db* "$work/rows.tsv"

# The large files, one at a time on the disk.
"$bin/gen-logs" "$work" --rows "$large_rows" --kind 0 --seed 2 >/dev/null
mv "$file" "$work/big.csv"
read -r big_s big_rss big_rows < <("$bench_bin/bulk-load-bench" ours "$work/big.db" "$work/big.csv")
big_mb=$(du -m "$work/big.csv" | cut -f1)
printf 'peak RSS, %d MB file (CR LF): %d MiB (target <= 64), %d rows in %.1f s\n' \
    "$big_mb" "$((big_rss / 1024))" "$big_rows" "$big_s"
rm -f "$work"/big.db*

tr -d '\r' <"$work/big.csv" >"$work/lf.csv"
rm -f "$work/big.csv"
read -r lf_s lf_rss lf_rows < <("$bench_bin/bulk-load-bench" ours "$work/lf.db" "$work/lf.csv" 10)
printf 'peak RSS, %d MB file (LF only): %d MiB (target <= 64), %d rows in %.1f s\n' \
    "$(du -m "$work/lf.csv" | cut -f1)" "$((lf_rss / 1024))" "$lf_rows" "$lf_s"
printf 'ratio LF only/CR LF: %.2f  (target <= 2)\n' "$(echo "$lf_s / $big_s" | bc -l)"
rm -f "$work"/lf.db* "$work/lf.csv"

"$bin/gen-logs" "$work" --rows "$large_rows" --kind 0 --seed 3 --fault bad-date >/dev/null
read -r bad_s bad_rss bad_rows < <("$bench_bin/bulk-load-bench" ours "$work/bad.db" "$file" \
    "$((large_rows - 1))" 2>/dev/null)
printf 'peak RSS, %d MB file of faulty rows: %d MiB (target <= 64), failed (%d) in %.1f s\n' \
    "$(du -m "$file" | cut -f1)" "$((bad_rss / 1024))" "$bad_rows" "$bad_s"
