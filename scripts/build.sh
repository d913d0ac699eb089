#!/usr/bin/env bash
# Configures and builds every tree: build/win32 (the shipped 32-bit program), build/win64 when the
# Wine tests must run a 64-bit build on this machine, and build/native (platform-free code, its
# tests, the Wine test drivers, benchmarks and tools).
# Usage: scripts/build.sh [PACKAGE_HOST]   (default: the loopback test server)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
port=${TESSALY_TEST_PORT:-47613}
host=${1:-127.0.0.1:$port}
jobs=$(nproc)

arch=$("$root/scripts/wine-arch.sh")
if [ "$arch" = x86_64 ]; then
  echo "build: this machine cannot run 32-bit code; the Wine tests run the 64-bit build of the same sources" >&2
fi

configure_windows() {  # name arch
  cmake -S "$root" -B "$root/build/$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-toolchain.cmake" -DTESSALY_MINGW_ARCH="$2" \
    -DTESSALY_PACKAGE_HOST="$host" >/dev/null
  cmake --build "$root/build/$1" -j "$jobs"
}

configure_windows win32 i686
wine_build=$root/build/win32
loader=/usr/lib/wine/wine
if [ "$arch" = x86_64 ]; then
  configure_windows win64 x86_64
  wine_build=$root/build/win64
  loader=/usr/lib/wine/wine64
fi

cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_WINE_BUILD_DIR="$wine_build" -DTESSALY_WINE_LOADER="$loader" \
  -DTESSALY_WIN32_BUILD_DIR="$root/build/win32" -DTESSALY_TEST_PORT="$port" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
