#!/usr/bin/env bash
# Fuzzes the file index parser and the local path checks with libFuzzer under AddressSanitizer
# and UndefinedBehaviorSanitizer. Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]  (default 30; for a
# long run, e.g. scripts/fuzz.sh 3600). The growing corpus stays in build/fuzz/corpus; the seeds
# in fuzz/corpus are not changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
dir=$root/build/fuzz
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=OFF \
  -DTESSALY_SANITIZE=address,undefined -DTESSALY_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target file_list_fuzz entry_paths_fuzz
for target in file_list entry_paths; do
  corpus=$dir/corpus/$target
  mkdir -p "$corpus" "$dir/artifacts"
  echo "fuzz: $target for ${seconds}s"
  "$dir/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/${target}-" "$corpus" "$root/fuzz/corpus/$target" 2>&1 |
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' || true
  # libFuzzer exits non-zero on a finding; the pipeline above hides that, so look for artifacts.
  if ls "$dir/artifacts/${target}-"* >/dev/null 2>&1; then
    echo "fuzz: $target found a failing input: $(ls "$dir/artifacts/${target}-"*)" >&2
    exit 1
  fi
done
