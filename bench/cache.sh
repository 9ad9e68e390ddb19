#!/usr/bin/env bash
# First and second runs with the checksum cache against runs without it, a walk alone (-m zero)
# and jdupes, on each tree given, in both content methods; and the cache's bytes per file.
# Times are medians of RUNS runs (default 5), taken in turns so that a slow spell of the
# machine falls on all of them alike; the peak memory is that of one more run.
#   bench/cache.sh TREE...      (e.g. /work/corpus/realistic100k /work/corpus/nearonly)
set -euo pipefail
cli="$(cd "$(dirname "$0")/.." && pwd)/build/app/geminor-cli"
runs="${RUNS:-5}"
cache="$(mktemp -d)"
trap 'rm -rf "$cache"' EXIT

# ms of one run of "$@", output dropped
ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR]=$1} END {print v[int((NR + 1) / 2)]}'; }
peak() { /usr/bin/time -f "%M" "$@" 2>&1 >/dev/null | tail -1; }

for tree in "$@"; do
  files=$(find "$tree" -type f | wc -l)
  for method in byte crc32; do
    echo "== $(basename "$tree") ($files files), $method, medians of $runs"
    "$cli" -q -m "$method" --no-cache "$tree" >/dev/null 2>&1  # warm the page cache
    rm -rf "${cache:?}"/*
    first=$(ms "$cli" -q -m "$method" --cache-dir "$cache" "$tree")
    firstKb=$(peak "$cli" -q -m "$method" --cache-dir "$cache/other" "$tree")
    declare -A t=()
    for ((i = 0; i < runs; i++)); do
      t[none]+=" $(ms "$cli" -q -m "$method" --no-cache "$tree")"
      rm -rf "$cache/firsts"
      t[first]+=" $(ms "$cli" -q -m "$method" --cache-dir "$cache/firsts" "$tree")"
      t[second]+=" $(ms "$cli" -q -m "$method" --cache-dir "$cache" "$tree")"
      t[walk]+=" $(ms "$cli" -q -m zero --no-cache "$tree")"
      if command -v jdupes >/dev/null; then t[jdupes]+=" $(ms jdupes -r -q "$tree")"; fi
    done
    walk=$(echo "${t[walk]}" | median)
    second=$(echo "${t[second]}" | median)
    echo "no cache:   $(echo "${t[none]}" | median) ms, $(peak "$cli" -q -m "$method" --no-cache "$tree") KB"
    echo "first run:  $(echo "${t[first]}" | median) ms (the very first: $first ms), $firstKb KB"
    echo "second run: $second ms, $(peak "$cli" -q -m "$method" --cache-dir "$cache" "$tree") KB;" \
      "$(awk -v s="$second" -v w="$walk" 'BEGIN {printf "%.2f", s / w}')x the walk"
    echo "walk only:  $walk ms"
    if [ -n "${t[jdupes]:-}" ]; then echo "jdupes:     $(echo "${t[jdupes]}" | median) ms"; fi
    bytes=$(du -B1 "$cache/digests.mdb" | cut -f1)
    echo "cache: $bytes bytes on disk, $((bytes / files)) a file"
    rm -rf "$cache/other" "$cache/firsts"
    unset t
  done
done
