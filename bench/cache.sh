#!/usr/bin/env bash
# First and second runs with the checksum cache against runs without it, a walk alone (-m zero)
# and jdupes, on each tree given, in both content methods; and the cache's bytes per file.
#   bench/cache.sh TREE...      (e.g. /work/corpus/realistic100k /work/corpus/nearonly)
set -euo pipefail
cli="$(cd "$(dirname "$0")/.." && pwd)/build/app/geminor-cli"
cache="$(mktemp -d)"
trap 'rm -rf "$cache"' EXIT
timed() { /usr/bin/time -f "%e s %M KB" "$@" 2>&1 >/dev/null | tail -1; }
for tree in "$@"; do
  files=$(find "$tree" -type f | wc -l)
  for method in byte crc32; do
    "$cli" -q -m "$method" --no-cache "$tree" >/dev/null 2>&1  # warm the page cache
    rm -rf "$cache"/*
    echo "== $(basename "$tree") ($files files), $method"
    echo "no cache:   $(timed "$cli" -q -m "$method" --no-cache "$tree")"
    echo "first run:  $(timed "$cli" -q -m "$method" --cache-dir "$cache" "$tree")"
    echo "second run: $(timed "$cli" -q -m "$method" --cache-dir "$cache" "$tree")"
    echo "walk only:  $(timed "$cli" -q -m zero --no-cache "$tree")"
    if command -v jdupes >/dev/null; then echo "jdupes:     $(timed jdupes -r -q "$tree")"; fi
    bytes=$(du -B1 "$cache/digests.mdb" | cut -f1)
    echo "cache: $bytes bytes on disk, $((bytes / files)) a file"
  done
done
