#!/usr/bin/env bash
# Installs what is missing, builds every tree and runs every test: the native tests of the
# platform-free code and the tools, the tests that run the Windows programs under Wine, the native
# tests again under sanitizers, and a short fuzzing run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
(cd "$root/build/native" && ctest --output-on-failure -j "$(nproc)")
"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh" 30
