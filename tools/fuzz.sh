#!/usr/bin/env bash
# Runs every libFuzzer target of build/linux-fuzz for a bounded time each
# (FUZZ_SECONDS, default 45), starting from its seed corpus in tests/fuzz/corpus.
# New inputs go to a throw-away folder, never into the repository. Fails on
# any crash, leak, timeout, out-of-memory or sanitizer report; a reproducer
# is kept in build/linux-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-45}
# A fixed seed: every run explores the same inputs in the same order, so a
# green run here is the same run in CI; set FUZZ_SEED=0 for a random one.
seed=${FUZZ_SEED:-1}
build=build/linux-fuzz
findings=$build/findings
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for corpus in tests/fuzz/corpus/*/; do
    name=$(basename "$corpus")
    fuzzer=$build/tests/fuzz/fuzz_$name
    [ -x "$fuzzer" ] || { echo "missing $fuzzer" >&2; exit 1; }
    mkdir -p "$work/$name"
    log=$work/$name.log
    # One process; a unit slower than 10 s or a process above 2 GB is a
    # finding like a crash.
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$fuzzer" -seed="$seed" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/$name-" -print_final_stats=1 \
        "$work/$name" "$corpus" >"$log" 2>&1; then
        runs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1)
        echo "fuzz_$name: ok, ${runs:-no summary}"
    else
        echo "fuzz_$name: FAILED" >&2
        grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -n 20 >&2 || true
        status=1
    fi
done
exit $status
