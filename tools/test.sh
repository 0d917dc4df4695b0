#!/usr/bin/env bash
# Checks the formatting of the tracked sources, then builds and runs every
# test: the Linux debug build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, again built by clang under its
# UndefinedBehaviorSanitizer, the fuzz targets for a bounded time, the two
# Windows builds and the Windows zip, the x86_64 Windows tests under Wine,
# and the .deb installed into a clean root.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

# Every tracked C++ source as the repository's .clang-format lays it out.
echo "== clang-format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

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

# The fuzz targets (clang, libFuzzer): about 45 s each from their seed
# corpora; any crash, leak, timeout or sanitizer report fails the run.
echo "== linux-fuzz"
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j "$jobs"
tools/fuzz.sh

# SQLite's amalgamation for the Windows embedded database.
tools/fetch-sqlite.sh
for preset in windows-i686 windows-x86_64; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
if [ -x tools/check-exports.sh ]; then tools/check-exports.sh build/windows-i686; fi
tools/check-windows-package.sh build/windows-i686

echo "== wine (windows-x86_64)"
# Bounded: the prefix takes about 20 s, the tests well under a minute.
timeout 900 tools/wine-tests.sh build/windows-x86_64

echo "== Windows zip"
cmake --build --preset windows-i686 --target winzip
zip=$(ls -t build/windows-i686/Ferrowin-*-win32.zip | head -n 1)
contents=$(cmake -E tar tf "$zip")
echo "$contents"
expected=(Ferrowin.exe Pellinor.dll VeyrithSchema.sql Ferrowin.reg)
for file in "${expected[@]}"; do
    grep -q "/$file\$" <<<"$contents" || { echo "$zip lacks $file" >&2; exit 1; }
done

echo "== package"
bash tools/install-test.sh
echo "all tests passed"
