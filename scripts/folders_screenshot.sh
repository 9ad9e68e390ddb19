#!/usr/bin/env bash
# Takes a screenshot of the Folders page after a scan of a small tree with copied folders,
# under Xvfb with openbox.
#   scripts/folders_screenshot.sh [OUT.png]    (needs xvfb, openbox, x11-apps, xdotool and imagemagick)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="${1:-$root/build/folders-view.png}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/photos/2024/trip" "$work/music/album" "$work/backup/old" "$work/desk/misc"
for i in 1 2 3; do head -c $((40000 * i)) /dev/urandom > "$work/photos/2024/trip/img$i.jpg"; done
for t in intro outro; do head -c 90000 /dev/urandom > "$work/music/album/$t.mp3"; done
cp -r "$work/photos/2024/trip" "$work/backup/trip"
cp -r "$work/photos/2024/trip" "$work/backup/old/trip (copy)"
cp -r "$work/music/album" "$work/backup/album"
cp "$work/photos/2024/trip/img1.jpg" "$work/music/album/intro.mp3" "$work/desk/misc/"
printf 'Option1\r\n1\r\n0\r\n%s,Yes,*.*,15\r\n%s,Yes,*.*,15\r\n%s,Yes,*.*,15\r\n%s,Yes,*.*,15\r\n' \
  "$work/photos" "$work/music" "$work/backup" "$work/desk" > "$work/sample.gmr"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
Xvfb :96 -screen 0 1600x1000x24 >/dev/null 2>&1 & xvfb=$!
sleep 1
DISPLAY=:96 openbox >/dev/null 2>&1 & wm=$!
sleep 1
DISPLAY=:96 "$root/build/app/geminor" "$work/sample.gmr" >/dev/null 2>&1 & app=$!
sleep 4
window=$(DISPLAY=:96 xdotool search --sync --onlyvisible --class geminor | head -1)
DISPLAY=:96 xdotool windowactivate --sync "$window" key ctrl+g
sleep 1
# Keep One in Each Group > Keep in First Search Location, by the button's place on the page.
DISPLAY=:96 xdotool mousemove --window "$window" 80 334 click 1
sleep 0.5
DISPLAY=:96 xdotool key Down Return mousemove --window "$window" 600 690
sleep 1
DISPLAY=:96 xwd -root -silent | convert xwd:- -trim +repage "$out"
kill "$app" "$wm" "$xvfb"
echo "$out"
