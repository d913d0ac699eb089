#!/usr/bin/env bash
# Configures and builds every tree: build/win32 (the shipped 32-bit program), build/win64 when the
# Wine tests must run a 64-bit build on this machine, the keyed build of the one the Wine tests run
# (build/win32-keyed or build/win64-keyed, built with a throw-away index key made here), and
# build/native (platform-free code, its tests, the Wine test drivers, benchmarks and tools).
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

configure_windows() {  # name arch [cmake options]
  local name=$1 target=$2
  shift 2
  cmake -S "$root" -B "$root/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-toolchain.cmake" -DTESSALY_MINGW_ARCH="$target" \
    -DTESSALY_PACKAGE_HOST="$host" "$@" >/dev/null
  cmake --build "$root/build/$name" -j "$jobs"
}

# The test index key pair: made once, kept in the build folder, never committed. The tests sign
# their packages with the private key; the keyed build carries the public one.
index_key=$root/build/test-index-key/index.pem
if [ ! -f "$index_key" ] || [ ! -f "$index_key.pub" ]; then
  mkdir -p "$(dirname "$index_key")"
  rm -f "$index_key" "$index_key.pub"
  (umask 077 && openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$index_key")
  openssl pkey -in "$index_key" -pubout -out "$index_key.pub"
fi

configure_windows win32 i686
wine_build=$root/build/win32
wine_arch=i686
loader=/usr/lib/wine/wine
if [ "$arch" = x86_64 ]; then
  configure_windows win64 x86_64
  wine_build=$root/build/win64
  wine_arch=x86_64
  loader=/usr/lib/wine/wine64
fi
keyed_build=$wine_build-keyed
configure_windows "$(basename "$keyed_build")" "$wine_arch" -DTESSALY_INDEX_PUBLIC_KEY="$index_key.pub"

cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_WINE_BUILD_DIR="$wine_build" -DTESSALY_WINE_LOADER="$loader" \
  -DTESSALY_WINE_KEYED_BUILD_DIR="$keyed_build" -DTESSALY_TEST_INDEX_KEY="$index_key" \
  -DTESSALY_WIN32_BUILD_DIR="$root/build/win32" -DTESSALY_TEST_PORT="$port" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
