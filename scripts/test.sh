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
# One run of every test, two at a time: the Wine tests one after another, the fault matrix first (it
# takes longest), the native tests beside them. The matrix's tables are shown after the run.
tables=$root/build/native/tests/wine-artifacts/fault_matrix/tables.txt
rm -f "$tables"
status=0
ctest --output-on-failure -j "$(nproc)" || status=$?
if [ -f "$tables" ]; then
  cat "$tables"
fi
exit "$status"
