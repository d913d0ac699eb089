#!/usr/bin/env bash
# Prints which Windows build the Wine tests can run on this machine: "i686" when 32-bit programs
# run (the shipped program itself is then tested), "x86_64" when the kernel refuses 32-bit code
# (IA32 emulation disabled) and only wine64 works; then the same sources are tested as a 64-bit build.
set -euo pipefail
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
elif [ -x /usr/lib/wine/wine64 ] && /usr/lib/wine/wine64 --version >/dev/null 2>&1; then
  echo x86_64
else
  echo "wine-arch: no Wine loader runs on this machine (scripts/install-deps.sh installs Wine)" >&2
  exit 1
fi
