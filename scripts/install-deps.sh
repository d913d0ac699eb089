#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Safe to run
# again: it only asks apt for what is missing, and only once per machine.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcpp-httplib-dev libssl-dev openssl
  g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine
  xvfb xdotool imagemagick x11-utils
  fonts-wqy-zenhei fonts-arphic-ukai
  locales curl python3 clang-format
  osslsigncode openssl
  rclone nginx nodejs
)

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: run as root (apt-get is needed)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync fails `apt-get update` for one list now and then ("File has
# unexpected size"); the lists that did arrive are still used. Try a few times, then go on: a
# package that is really missing then fails the install below, with apt's own message.
update_lists() {
  local try
  for try in 1 2 3; do
    apt-get -o DPkg::Lock::Timeout=900 update -qq && return 0
    echo "install-deps: apt-get update failed (try $try of 3)" >&2
    sleep 10
  done
  return 0
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  update_lists
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  update_lists
  # Without the security list of one architecture, a library that both architectures need (Multi-Arch:
  # same) has candidates of different versions, and apt gives up ("held broken packages"). Asking
  # for the release's own versions first makes both architectures agree.
  if ! apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    echo "install-deps: retrying with the release's own versions" >&2
    apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends -t bookworm "${missing[@]}" >/dev/null
  fi
fi

# The publish tests' S3 server, s3rver, comes from the npm registry, at the version they were written
# against. npm comes with some builds of nodejs and is a package of its own in Debian's.
if ! command -v npm >/dev/null; then
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends npm >/dev/null
fi
if [ "$(s3rver --version 2>/dev/null)" != 3.7.1 ]; then
  echo "install-deps: installing s3rver 3.7.1 from npm"
  npm install -g --no-fund --no-audit s3rver@3.7.1 >/dev/null
fi

# The locales the Wine tests run the installer in, one per ANSI code page Wine derives from them:
# 936 (zh_CN.UTF-8), 950 (zh_TW.UTF-8), 1252 (en_US.UTF-8) and 65001 (hi_IN, which has none).
# Generated once; a locale that is there already is left alone.
generate=0
for entry in 'zh_CN.UTF-8 UTF-8' 'zh_TW.UTF-8 UTF-8' 'en_US.UTF-8 UTF-8' 'hi_IN UTF-8'; do
  name=${entry%% *}
  key=$(echo "$name" | tr 'A-Z' 'a-z' | tr -d -)
  if ! locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d - | grep -qx "$key"; then
    sed -i "s/^# *$entry\$/$entry/" /etc/locale.gen
    grep -qx "$entry" /etc/locale.gen || echo "$entry" >>/etc/locale.gen
    generate=1
  fi
done
if [ "$generate" = 1 ]; then
  locale-gen >/dev/null
fi
