#!/usr/bin/env bash
# Installs what is missing, builds every tree and runs every test: the native tests under
# sanitizers, a short fuzzing run, then the native tests of the platform-free code and the tools
# with the tests that run the Windows programs under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh" 30
cd "$root/build/native"
# The fault matrix first, on its own, so that the table it prints shows; then everything else.
matrix_log=$root/build/native/fault_matrix.log
if ! ctest -V -R '^wine\.fault_matrix_test$' >"$matrix_log" 2>&1; then
  cat "$matrix_log"
  exit 1
fi
sed -n -E 's/^[0-9]+: ((\||Fault matrix|Closed).*)/\1/p' "$matrix_log"
ctest --output-on-failure -j "$(nproc)" -E '^wine\.fault_matrix_test$'
