#!/usr/bin/env bash
# Takes a screenshot of a Similar Pictures scan, a group compared side by side in the viewer,
# under Xvfb with openbox: two photos of mate-backgrounds, each with a smaller re-encoded copy.
#   scripts/similar_screenshot.sh [OUT.png]
#   (needs xvfb, openbox, x11-apps, xdotool, imagemagick and mate-backgrounds)
set -euo pipefail
export PATH=/usr/bin:$PATH
root=$(cd "$(dirname "$0")/.." && pwd)
out="${1:-$root/build/similar-pictures.png}"
nature=/usr/share/backgrounds/mate/nature
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/photos" "$work/backup"
cp "$nature/Garden.jpg" "$nature/LadyBird.jpg" "$nature/Storm.jpg" "$work/photos/"
convert "$nature/Garden.jpg" -resize 50% -quality 70 "$work/backup/Garden (small).jpg"
convert "$nature/LadyBird.jpg" -resize 1600x1000 -quality 60 "$work/backup/LadyBird-web.jpg"
printf 'Option1\r\n1\r\n0\r\n%s,Yes,*.*,15\r\n%s,Yes,*.*,15\r\n' "$work/photos" "$work/backup" > "$work/sample.gmr"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
Xvfb :97 -screen 0 1600x1000x24 >/dev/null 2>&1 & xvfb=$!
sleep 1
DISPLAY=:97 openbox >/dev/null 2>&1 & wm=$!
sleep 1
DISPLAY=:97 "$root/build/app/geminor" "$work/sample.gmr" >/dev/null 2>&1 & app=$!
sleep 4
export DISPLAY=:97
window=$(xdotool search --sync --onlyvisible --class geminor | head -1)
xdotool windowsize "$window" 1500 900 windowmove "$window" 50 40
sleep 1
# Similar Pictures, by the radio button's place in the window; then scan.
xdotool mousemove --window "$window" 1249 239 click 1
sleep 0.5
xdotool key F5
sleep 6
# The first row of the second group, Keep the Largest Resolution (Ctrl+K, R), View > Compare.
xdotool mousemove --window "$window" 100 505 click 1
sleep 0.5
xdotool key ctrl+k r alt+v c
sleep 2
xdotool mousemove 1590 990
sleep 0.5
xwd -root -silent | convert xwd:- -trim +repage "$out"
kill "$app" "$wm" "$xvfb"
echo "$out"
