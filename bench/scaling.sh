#!/usr/bin/env bash
# Times geminor-cli on one million tiny files of unique sizes against 100,000 of them:
# nothing may grow faster than the number of files (goal: ratio under 15), and the peak
# memory must stay within the budget of 12 MB + 250 bytes per accepted file.
#   bench/scaling.sh CORPUS_DIR   (made with: bench/make_corpus.py CORPUS_DIR million tenth)
set -euo pipefail
cli="$(dirname "$0")/../build/app/geminor-cli"
corpus="$1"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() {
  "$cli" -q -H --no-protect "$1" > /dev/null 2>&1   # warm the cache
  for _ in 1 2 3; do
    /usr/bin/time -f '%e %M' "$cli" -q -H --no-protect "$1" 2>&1 >/dev/null | tail -1
  done
}
tenth=$(measure "$corpus/tenth")
million=$(measure "$corpus/million")
t=$(echo "$tenth" | awk '{print $1}' | median); m=$(echo "$million" | awk '{print $1}' | median)
tm=$(echo "$tenth" | awk '{print $2}' | median); mm=$(echo "$million" | awk '{print $2}' | median)
echo "100,000 files:   ${t} s, peak ${tm} KB"
echo "1,000,000 files: ${m} s, peak ${mm} KB ($(( mm * 1024 / 1000000 )) bytes a file)"
echo "ratio: $(awk -v a="$m" -v b="$t" 'BEGIN {printf "%.1f", a / b}')"
# The memory budget: 12 MB for the program and its libraries, 250 bytes for each accepted file.
empty=$(mktemp -d)
fixed=$("$cli" -q "$empty" 2>&1 >/dev/null | tail -0; /usr/bin/time -f '%M' "$cli" -q "$empty" 2>&1 >/dev/null | tail -1)
rmdir "$empty"
budget=$(( 12 * 1024 + 250 * 1000000 / 1024 ))
echo "fixed part: ${fixed} KB; per file above it: $(( (mm - fixed) * 1024 / 1000000 )) bytes"
if [ "$mm" -le "$budget" ]; then echo "memory budget (12 MB + 250 B a file = ${budget} KB): kept"
else echo "memory budget (12 MB + 250 B a file = ${budget} KB): EXCEEDED"; exit 1; fi
