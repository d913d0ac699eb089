#!/usr/bin/env bash
# The whole install, in one command: installs what is missing, builds every tree, makes a small
# sample application (a MinGW-built window program named Tessaly and a few data files in nested
# folders, some with Chinese names), packs it with `tessaly-pack build`, serves it with
# `tessaly-pack serve` on 127.0.0.1, paced like a real link so that the install takes seconds, and
# runs the real TessalyInstaller.exe under Wine in a fresh prefix: on your display when DISPLAY is
# set and answers, otherwise on a virtual screen (Xvfb). It prints what was installed where, the
# desktop link, the rate and the install time, and the paths of a screenshot taken mid-install and
# of the last screen. Whatever it started (the package server, Xvfb, every Wine process) is
# stopped when it ends, also on failure or Ctrl+C.
#
# The installer of the demo is built for its own port, TESSALY_DEMO_PORT (default 47680), in a
# tree of its own, so the demo can run while the tests serve on theirs. Everything it makes stays
# in build/demo/ for a look afterwards; the next run starts afresh.
# Usage: scripts/demo.sh   (as root on a fresh machine: it installs packages)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
port=${TESSALY_DEMO_PORT:-47680}
# Bytes a second the package server sends each file at: 8 MB/s, a 64 Mbit/s link, makes the
# 48 MB of the sample take about 6 s, so the installer is surely still at work for the first
# screenshot (unpaced, a fast machine installs it in under 2 s, before the window is even seen).
rate=8000000
work=$root/build/demo
# The installer window's title, as the program's header defines it.
title=$(sed -n 's/^#define TESSALY_WINDOW_TITLE "\(.*\)"$/\1/p' "$root/src/app/window_texts.h")
[ -n "$title" ] || { echo "demo: no window title in src/app/window_texts.h" >&2; exit 1; }

step() { printf '\n== %s\n' "$*"; }
fail() {
  echo "demo: $*" >&2
  exit 1
}
now() { date +%s.%N; }
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# The messages of the clean-up go to the script's own stderr, kept as fd 3: a signal can arrive
# while a command's output is sent to /dev/null, and the traps then run with that redirection.
exec 3>&2
serve_pid='' xvfb_pid='' installer_pid='' prefix='' display=''
real_xauthority=${XAUTHORITY:-$HOME/.Xauthority}
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$prefix" ] && [ -d "$prefix" ]; then
    wine_env "$wineserver" -k >/dev/null 2>&1 || true
  fi
  if [ -n "$installer_pid" ]; then
    kill "$installer_pid" 2>/dev/null || true
  fi
  if [ -n "$serve_pid" ]; then
    kill "$serve_pid" 2>/dev/null || true
    wait "$serve_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ "$status" -ne 0 ]; then
    echo "demo: stopped (exit status $status); what it made is in $work" >&3
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Every Wine process runs in the code page 936 locale, quiet, with a home of its own (so Wine
# links none of your folders into the prefix) and without menu entries for the links.
wine_env() {
  local extra=(WINEARCH=win32)
  [ "$arch" = x86_64 ] && extra=(WINELOADER="$loader")
  env HOME="$work/home" XAUTHORITY="$real_xauthority" WINEPREFIX="$prefix" WINEDEBUG=-all \
    LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 DISPLAY="$display" \
    WINEDLLOVERRIDES=winemenubuilder.exe=d "${extra[@]}" "$@"
}
# An X client on the display of the demo.
x() { DISPLAY=$display XAUTHORITY=$real_xauthority "$@"; }

step "Packages and build trees"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
pack=$root/build/native/tools/pack/tessaly-pack
show_link=$root/build/native/tests/show_link

# The Windows build that Wine runs on this machine (see scripts/wine-arch.sh).
arch=$("$root/scripts/wine-arch.sh")
if [ "$arch" = x86_64 ]; then
  loader=/usr/lib/wine/wine64
else
  loader=/usr/lib/wine/wine
fi
wineserver=/usr/lib/wine/wineserver
tree=$work/installer-$arch
cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-toolchain.cmake" -DTESSALY_MINGW_ARCH="$arch" \
  -DTESSALY_PACKAGE_HOST="127.0.0.1:$port" >/dev/null
cmake --build "$tree" -j "$(nproc)" --target TessalyInstaller mfc140 >/dev/null
echo "demo: $tree/src/TessalyInstaller.exe ($arch) fetches http://127.0.0.1:$port/AppData/FileList.txt"

step "Sample application"
rm -rf "$work/staging" "$work/package" "$work/prefix" "$work/home" "$work/screenshots"
mkdir -p "$work/screenshots" "$work/home"
staging=$work/staging
mkdir -p "$staging/data/config" "$staging/data/关卡/第一关" "$staging/data/media" "$staging/文档"
"$arch-w64-mingw32-g++-posix" -O2 -Wall -Wextra -static -s -mwindows \
  -o "$staging/Tessaly.exe" "$root/tools/sample-app/tessaly_app.cpp"
printf 'Tessaly sample package, made by scripts/demo.sh on %s.\r\n' "$(date -u +%F)" \
  >"$staging/README.txt"
printf '[window]\r\nwidth=640\r\nheight=360\r\n' >"$staging/data/config/settings.ini"
printf '这是 Tessaly 示例程序的说明文件。\r\n' >"$staging/文档/说明.txt"
head -c 200000 /dev/urandom >"$staging/data/关卡/第一关/地图.dat"
head -c 48000000 /dev/urandom >"$staging/data/media/intro.bin"
(cd "$staging" && find . -type f | LC_ALL=C sort | sed 's|^\./|  |')

step "Package: tessaly-pack build, then check"
"$pack" build "$staging" "$work/package" --shortcut Tessaly.exe=Tessaly --launch Tessaly.exe
"$pack" check "$work/package/AppData/FileList.txt"
echo "FileList.txt (code page 936, shown in UTF-8):"
iconv -f CP936 -t UTF-8 "$work/package/AppData/FileList.txt" | sed 's/\r$//; s/^/  /'

step "Package server: tessaly-pack serve on 127.0.0.1:$port at $rate bytes per second"
serve_log=$work/serve.log
"$pack" serve "$work/package" --port "$port" --bind 127.0.0.1 --rate "$rate" >"$serve_log" 2>&1 &
serve_pid=$!
for _ in $(seq 100); do
  grep -q '^serving' "$serve_log" && break
  kill -0 "$serve_pid" 2>/dev/null ||
    fail "tessaly-pack serve did not start (another port: TESSALY_DEMO_PORT=N): $(cat "$serve_log")"
  sleep 0.1
done
head -1 "$serve_log"
echo "demo: every file is paced at $rate bytes per second ($((rate / 1000000)) MB/s, a link of" \
  "$((rate * 8 / 1000000)) Mbit/s), for verify and the installer alike"
echo "tessaly-pack verify, as a publisher checks an upload:"
"$pack" verify "http://127.0.0.1:$port/" --against "$work/package" | sed 's/^/  /'

step "Display"
if [ -n "${DISPLAY:-}" ] && XAUTHORITY=$real_xauthority xdpyinfo >/dev/null 2>&1; then
  display=$DISPLAY
  echo "demo: your display $display"
else
  for n in $(seq 95 140); do
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then
      continue
    fi
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        display=:$n
        break 2
      fi
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=''
  done
  [ -n "$display" ] || fail "no virtual screen came up (see $work/xvfb.log)"
  echo "demo: virtual screen $display (Xvfb, 1920x1080)"
fi

step "Wine prefix"
prefix=$work/prefix
started=$(now)
wine_env "$loader" wineboot -i >/dev/null 2>&1 || fail "wineboot failed in $prefix"
# Plain folders instead of wineboot's links to the home folder: the desktop stays in the prefix.
for folder in "$prefix"/drive_c/users/*/*; do
  if [ -L "$folder" ]; then
    rm "$folder" && mkdir "$folder"
  fi
done
wine_env "$loader" regedit /S "$root/scripts/wine-prefix-settings.reg" >/dev/null 2>&1 ||
  fail "regedit could not load scripts/wine-prefix-settings.reg"
folders=$(wine_env "$loader" cmd /c 'echo %ProgramFiles%;%USERPROFILE%' 2>/dev/null | tr -d '\r')
program_files=${folders%%;*}
desktop=${folders#*;}\\Desktop
host_path() { # C:\a\b -> the Linux path in the prefix
  local rest=${1:2}
  echo "$prefix/drive_c${rest//\\//}"
}
echo "demo: $prefix made in $(seconds_between "$started" "$(now)") s; Program Files is $program_files"

step "Install"
# The installer in a folder of its own on drive C, as a downloaded program would be. The tests'
# stand-in mfc140.dll answers the Visual C++ runtime check (Wine has no such runtime) from the
# system folder, where the runtime's installer puts it and the only place the installer looks:
# system32 for both builds (the i686 one runs in a 32-bit prefix, the x86_64 one is 64-bit).
installer_dir=$prefix/drive_c/Downloads
mkdir -p "$installer_dir"
cp "$tree/src/TessalyInstaller.exe" "$installer_dir/"
cp "$tree/tests/mfc140.dll" "$prefix/drive_c/windows/system32/"
shot_installing=$work/screenshots/1-installing.png
shot_last=$work/screenshots/2-last-screen.png
log_lines_before=$(wc -l <"$serve_log")
install_started=$(now)
wine_env "$loader" 'C:\Downloads\TessalyInstaller.exe' >"$work/installer.log" 2>&1 &
installer_pid=$!
# The first screenshot while the files are coming in: once the window shows and the server has
# answered the installer's index request (the status line then says the data is downloading, which
# the paced server makes last seconds), and as soon as the window shows its picture: a window is
# mapped before it is painted, so the screen is taken again until the window's area holds the many
# colours of the splash picture.
installer_requests() { tail -n "+$((log_lines_before + 1))" "$serve_log" | grep ' GET ' || true; }
until x xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 &&
  installer_requests | grep ' /AppData/FileList.txt 200 ' >/dev/null; do
  kill -0 "$installer_pid" 2>/dev/null || break
  awk -v s="$(seconds_between "$install_started" "$(now)")" 'BEGIN { exit !(s > 120) }' &&
    fail "the installer window did not show, or had no index, within 120 s"
  sleep 0.05
done
for _ in $(seq 40); do
  shot_at=$(seconds_between "$install_started" "$(now)")
  x import -window root "$shot_installing" 2>/dev/null || true
  window=$(x xdotool search --onlyvisible --name "$title" getwindowgeometry --shell 2>/dev/null |
    awk -F= '/^(X|Y|WIDTH|HEIGHT)=/ { v[$1] = $2 }
      END { printf "%dx%d+%d+%d", v["WIDTH"], v["HEIGHT"], v["X"], v["Y"] }' || true)
  colours=$(convert "$shot_installing" -crop "$window" +repage -format %k info: 2>/dev/null || echo 0)
  [ "$colours" -gt 100 ] && break
  kill -0 "$installer_pid" 2>/dev/null || break
  sleep 0.05
done
answered_at_shot=$(installer_requests | grep -c . || true)
# The installer closes its window when the install is done. After a failure it shows the reason
# and waits for the user; its requests time out within seconds, so a window still open long after
# the server's last answer is taken for a failure.
installer_exit=''
while [ -z "$installer_exit" ]; do
  if ! kill -0 "$installer_pid" 2>/dev/null; then
    installer_exit=0
    wait "$installer_pid" || installer_exit=$?
    installer_pid=''
    break
  fi
  quiet=$(awk -v a="$(stat -c %Y "$serve_log")" -v b="$install_started" -v n="$(date +%s)" \
    'BEGIN { printf "%d", n - (a > b ? a : b) }')
  if [ "$quiet" -gt 30 ]; then
    x import -window root "$shot_last" || true
    echo "the installer's requests, as tessaly-pack serve logged them:"
    tail -n "+$((log_lines_before + 1))" "$serve_log" | sed 's/^/  /'
    fail "the installer still shows its window ${quiet} s after the server's last answer: see $shot_last"
  fi
  sleep 0.2
done
install_ended=$(now)
echo "demo: the installer ended with exit code $installer_exit"
# The last screen: the installed program that the installer launched, once it has painted.
for _ in $(seq 200); do
  if x xdotool search --onlyvisible --name '^Tessaly$' >/dev/null 2>&1; then
    sleep 1
    break
  fi
  sleep 0.1
done
x import -window root "$shot_last" || true
[ "$installer_exit" -eq 0 ] || fail "the installer ended with exit code $installer_exit"

step "What was installed where"
outcome=0
install_dir="$program_files\\Tessaly"
install_host=$(host_path "$install_dir")
[ -d "$install_host" ] || fail "nothing was installed: $install_host is missing"
echo "$install_dir  ($install_host)"
(cd "$install_host" && find . -mindepth 1 | LC_ALL=C sort) | while IFS= read -r path; do
  relative=${path#./}
  slashes=${relative//[^\/]/}
  indent=$(printf '%*s' $((2 * ${#slashes} + 2)) '')
  name=${relative##*/}
  if [ -d "$install_host/$relative" ]; then
    echo "$indent$name\\"
  else
    echo "$indent$name  $(stat -c %s "$install_host/$relative") bytes"
  fi
done
files=$(find "$install_host" -type f | wc -l)
bytes=$(find "$install_host" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
if diff -r "$staging" "$install_host" >/dev/null; then
  echo "  $files files, $bytes bytes: byte for byte the files of $staging"
else
  echo "  $files files, $bytes bytes, NOT the same as $staging:"
  diff -rq "$staging" "$install_host" | sed 's/^/    /' || true
  outcome=1
fi

step "Desktop link"
link="$desktop\\Tessaly.lnk"
link_host=$(host_path "$link")
if [ -f "$link_host" ]; then
  echo "$link  ($(stat -c %s "$link_host") bytes, $link_host)"
  "$show_link" "$link_host" | sed 's/^/  /'
else
  echo "$link is missing"
  outcome=1
fi

step "Install time"
echo "$(seconds_between "$install_started" "$install_ended") s from the installer's start to its end" \
  "(exit code $installer_exit): $bytes bytes in $files files"
requests=$(installer_requests)
echo "the installer's $(echo "$requests" | grep -c . || true) requests, each file at $rate bytes" \
  "per second, as tessaly-pack serve logged them ($serve_log):"
echo "$requests" | sed 's/^/  /'

step "Screenshots"
echo "mid-install ($shot_at s after the start, $answered_at_shot of $(echo "$requests" | grep -c . || true)" \
  "answers complete): $shot_installing"
echo "last screen:                 $shot_last"
[ "$outcome" -eq 0 ] || fail "the install did not leave what was packed"
