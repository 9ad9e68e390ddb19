#!/usr/bin/env bash
# Time and peak memory of geminor-cli (byte to byte) against jdupes on trees of every shape, and
# the memory budgets checked on each: 12 MB + 250 bytes per accepted file, and jdupes' own peak
# on the same tree (when it is installed). Fails over either budget, or when the realistic
# million takes more than 12 times the realistic 100,000.
#   bench/make_corpus.py CORPUS tiny tinytwice group50k group100k group200k group400k \
#                               realistic100k realistic [million tenth]
#   bench/scaling.sh CORPUS [RUNS]
# Trees that are missing are left out. Each tool runs once to warm the cache, then RUNS times
# (default 3); the median time and the largest peak are shown.
set -euo pipefail
cli="$(cd "$(dirname "$0")/.." && pwd)/build/app/geminor-cli"
corpus="$1"
runs="${2:-3}"
failed=0

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# measure TREE COMMAND...: prints "seconds peak_kb" (median time, largest peak).
measure() {
  local tree="$1"; shift
  "$@" "$tree" >/dev/null 2>&1 || true
  local out=""
  for _ in $(seq "$runs"); do
    out+=$(/usr/bin/time -f '%e %M' "$@" "$tree" 2>&1 >/dev/null | tail -1)$'\n'
  done
  echo "$(echo -n "$out" | awk '{print $1}' | median) $(echo -n "$out" | awk '{print $2}' | sort -n | tail -1)"
}
# The files a byte-to-byte scan accepts (this run also warms the cache).
files() { "$cli" -q -H --no-protect --no-cache "$1" 2>&1 >/dev/null | sed -n 's/^Files : //p'; }

printf '| tree | files | geminor | jdupes | budget | jdupes budget |\n|---|---:|---:|---:|---:|---:|\n'
declare -A seconds
for name in tiny tinytwice group50k group100k group200k group400k realistic100k realistic tenth million; do
  tree="$corpus/$name"
  [ -d "$tree" ] || continue
  n=$(files "$tree")
  read -r gt gm <<<"$(measure "$tree" "$cli" -q -H --no-protect --no-cache)"
  seconds[$name]=$gt
  jd="-"
  jverdict="-"
  if command -v jdupes >/dev/null; then
    read -r jt jm <<<"$(measure "$tree" jdupes -r -q)"
    jd="$jt s, $((jm / 1024)) MB"
    jverdict="$((jm / 1024)) MB kept"
    if [ "$gm" -gt "$jm" ]; then jverdict="$((jm / 1024)) MB EXCEEDED"; failed=1; fi
  fi
  budget=$((12 * 1024 + 250 * n / 1024))
  verdict="kept"
  if [ "$gm" -gt "$budget" ]; then verdict="EXCEEDED"; failed=1; fi
  printf '| %s | %s | %s s, %s MB | %s | %s MB %s | %s |\n' "$name" "$n" "$gt" "$((gm / 1024))" "$jd" \
    "$((budget / 1024))" "$verdict" "$jverdict"
done

if [ -d "$corpus/realistic" ]; then
  read -r g1 gm1 <<<"$(measure "$corpus/realistic" taskset -c 1 "$cli" -q -H --no-protect --no-cache)"
  line="| realistic, pinned to one core | | $g1 s, $((gm1 / 1024)) MB |"
  if command -v jdupes >/dev/null; then
    read -r j1 jm1 <<<"$(measure "$corpus/realistic" taskset -c 1 jdupes -r -q)"
    line+=" $j1 s, $((jm1 / 1024)) MB | | |"
  fi
  echo "$line"
fi
if [ -n "${seconds[realistic]:-}" ] && [ -n "${seconds[realistic100k]:-}" ]; then
  ratio=$(awk -v a="${seconds[realistic]}" -v b="${seconds[realistic100k]}" 'BEGIN {printf "%.1f", a / b}')
  echo "realistic 1,000,000 / 100,000: ratio $ratio (goal: at most 12)"
  awk -v r="$ratio" 'BEGIN {exit !(r > 12)}' && failed=1
fi
exit $failed
