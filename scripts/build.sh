#!/usr/bin/env bash
# Configures and builds every tree: build/win32 (the shipped 32-bit program), build/win64 when the
# Wine tests must run a 64-bit build on this machine, two keyed builds of the one the Wine tests run
# (build/win32-keyed with the throw-away index key made here, and build/win32-rotated with two
# other throw-away keys, one of them past its last day, for the key rotation rows; or the win64
# pair), and build/native (platform-free code, its tests, the Wine test drivers, benchmarks and
# tools).
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

# The test index key pairs: made once, kept in the build folder, never committed. The tests sign
# their packages with the private keys; the keyed builds carry the public ones: index.pem in the
# keyed build, index-new.pem and index-retired.pem (whose last day has passed) in the rotated one.
key_dir=$root/build/test-index-key
make_key() {  # file
  if [ ! -f "$1" ] || [ ! -f "$1.pub" ]; then
    mkdir -p "$key_dir"
    rm -f "$1" "$1.pub"
    (umask 077 && openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1")
    openssl pkey -in "$1" -pubout -out "$1.pub"
  fi
}
index_key=$key_dir/index.pem
make_key "$index_key"
make_key "$key_dir/index-new.pem"
make_key "$key_dir/index-retired.pem"

wine_build=$root/build/win32
wine_arch=i686
loader=/usr/lib/wine/wine
if [ "$arch" = x86_64 ]; then
  # The 32-bit program is then only read, never run: its test programs are not needed.
  configure_windows win32 i686 -DBUILD_TESTING=OFF
  configure_windows win64 x86_64
  wine_build=$root/build/win64
  wine_arch=x86_64
  loader=/usr/lib/wine/wine64
else
  configure_windows win32 i686 -DBUILD_TESTING=ON
fi
keyed_build=$wine_build-keyed
configure_windows "$(basename "$keyed_build")" "$wine_arch" -DTESSALY_INDEX_PUBLIC_KEY="$index_key.pub"
# Only the installer itself: the tests' Windows programs come from the other trees.
rotated_build=$wine_build-rotated
configure_windows "$(basename "$rotated_build")" "$wine_arch" -DBUILD_TESTING=OFF \
  -DTESSALY_INDEX_PUBLIC_KEY="$key_dir/index-new.pem.pub;$key_dir/index-retired.pem.pub@2020-12-31"

cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_WINE_BUILD_DIR="$wine_build" -DTESSALY_WINE_LOADER="$loader" \
  -DTESSALY_WINE_KEYED_BUILD_DIR="$keyed_build" -DTESSALY_TEST_INDEX_KEY="$index_key" \
  -DTESSALY_WINE_ROTATED_BUILD_DIR="$rotated_build" \
  -DTESSALY_WIN32_BUILD_DIR="$root/build/win32" -DTESSALY_TEST_PORT="$port" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
