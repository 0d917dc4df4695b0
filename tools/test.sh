#!/usr/bin/env bash
# Builds and runs every test: the Linux debug build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, again built by clang under
# its UndefinedBehaviorSanitizer, and the two Windows builds.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc)
# linux-clang-ubsan: clang's UndefinedBehaviorSanitizer, which also checks
# enum values (g++'s does not).
for preset in linux-debug linux-asan linux-clang-ubsan; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    if [ "$preset" = linux-asan ]; then
        # Full stacks, so that the leak suppressions can name the driver.
        ASAN_OPTIONS=fast_unwind_on_malloc=0 \
        LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
            ctest --preset "$preset" -j "$jobs"
    else
        ctest --preset "$preset" -j "$jobs"
    fi
done

for preset in windows-i686 windows-x86_64; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
if [ -x tools/check-exports.sh ]; then tools/check-exports.sh build/windows-i686; fi
echo "all tests passed"
