#!/usr/bin/env bash
# Runs the native tests under AddressSanitizer with UndefinedBehaviorSanitizer (build/asan), and
# again under ThreadSanitizer (build/tsan), where the status line is hammered from two threads. The
# release test builds Windows programs with MinGW and runs no native code: it runs once, in the
# main test run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
for variant in asan:address,undefined tsan:thread; do
  dir=$root/build/${variant%%:*}
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSALY_SANITIZE="${variant#*:}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$jobs" -LE release)
done
