#!/usr/bin/env bash
# How far one machine goes: writes a realistic tree of 3,000,000 files (REALISTIC3M_FILES=N for
# another count), scans it byte to byte without the cache under GNU time (once right after
# writing, once more), prints the time, the peak memory, the bytes a file and the files a GB of
# memory holds, beside the budget of 12 MB + 250 bytes a file; then deletes the tree.
#   bench/scale3m.sh CORPUS        (needs about 25 GB and 3.1 million free inodes)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cli="${BUILD:-$here/build}/app/geminor-cli"
count="${REALISTIC3M_FILES:-3000000}"
tree="$1/realistic3m"
if [ -e "$tree" ]; then
  echo "$tree exists; it is deleted at the end, so move it away first" >&2
  exit 2
fi
free=$(df --output=iavail "$1" | tail -1)
if ((free < count + 100000)); then
  echo "$1 has $free free inodes, $count files need more" >&2
  exit 2
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tree" "$tmp"' EXIT

start=$(date +%s)
REALISTIC3M_FILES="$count" "$here/bench/make_corpus.py" "$1" realistic3m
echo "$count files written in $(($(date +%s) - start)) s, $(du -sh "$tree" | cut -f1) on disk"
echo "geminor $(git -C "$here" log -1 --format='%h' 2>/dev/null); load average: $(cut -d' ' -f1-3 /proc/loadavg)"

for run in "right after writing" "again"; do
  /usr/bin/time -o "$tmp/time" -f '%e %M' "$cli" -q -H --no-protect --no-cache "$tree" >/dev/null 2>"$tmp/err"
  read -r seconds kb < <(tail -1 "$tmp/time")
  files=$(sed -n 's/^Files : //p' "$tmp/err")
  budget=$((12 * 1024 * 1024 + 250 * files))
  awk -v run="$run" -v s="$seconds" -v kb="$kb" -v n="$files" -v b="$budget" 'BEGIN {
    bytes = kb * 1024
    printf "byte to byte, %s: %s s, peak %.0f MB for %d files: %.0f bytes a file, %.1f million files a GB;",
      run, s, bytes / 1048576, n, bytes / n, 1073741824 / (bytes / n) / 1e6
    printf " budget %.0f MB: %s\n", b / 1048576, bytes <= b ? "kept" : "EXCEEDED"
  }'
done
