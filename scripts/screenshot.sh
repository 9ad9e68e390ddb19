#!/usr/bin/env bash
# Takes a screenshot of the window after a scan of a small sample tree, under Xvfb.
#   scripts/screenshot.sh [OUT.png]    (needs xvfb, x11-apps and imagemagick)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${1:-$root/build/screenshot.png}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/photos/2024" "$work/backup" "$work/photos/2024/old"
for i in 1 2 3; do
  head -c 5000 /dev/urandom > "$work/photos/img$i.jpg"
  cp "$work/photos/img$i.jpg" "$work/backup/"
done
cp "$work/photos/img1.jpg" "$work/photos/2024/copy.jpg"
echo note > "$work/photos/a.txt"; echo note > "$work/backup/a.txt"
printf 'Option1\r\n1\r\n0\r\n%s,Yes,*.*,15\r\n%s,Yes,*.*,15\r\n%s,Yes,*.*,16\r\n' \
  "$work/photos" "$work/backup" "$work/photos/2024/old" > "$work/sample.gmr"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
Xvfb :97 -screen 0 2000x1400x24 >/dev/null 2>&1 & xvfb=$!
sleep 1
DISPLAY=:97 "$root/build/app/geminor" "$work/sample.gmr" >/dev/null 2>&1 & app=$!
sleep 3
DISPLAY=:97 xwd -root -silent | convert xwd:- -trim +repage "$out"
kill "$app" "$xvfb"
echo "$out"
