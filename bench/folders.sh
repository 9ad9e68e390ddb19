#!/usr/bin/env bash
# What finding whole folders adds to a byte-to-byte scan: time and peak memory of geminor-cli
# with and without --folders on the same tree, alternating, the median of RUNS each.
#   bench/make_corpus.py CORPUS realistic
#   bench/folders.sh CORPUS/realistic [RUNS]
set -euo pipefail
cli="$(cd "$(dirname "$0")/.." && pwd)/build/app/geminor-cli"
tree="$1"
runs="${2:-3}"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
"$cli" -q --no-cache --folders "$tree" >/dev/null 2>&1 || true  # warms the page cache
plain="" folders=""
for _ in $(seq "$runs"); do
  plain+=$(/usr/bin/time -f '%e %M' "$cli" -q --no-cache "$tree" 2>&1 >/dev/null | tail -1)$'\n'
  folders+=$(/usr/bin/time -f '%e %M' "$cli" -q --no-cache --folders --redundant "$tree" 2>&1 >/dev/null | tail -1)$'\n'
done
row() { echo "| $1 | $(echo -n "$2" | awk '{print $1}' | median) s | $(( $(echo -n "$2" | awk '{print $2}' | sort -n | tail -1) / 1024 )) MB |"; }
printf '| scan | time (median of %s) | peak memory |\n|---|---:|---:|\n' "$runs"
row "byte-to-byte" "$plain"
row "byte-to-byte --folders --redundant" "$folders"
