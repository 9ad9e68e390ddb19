#!/usr/bin/env bash
# Applies each mutation below, one at a time, to a copy of the committed tree, builds the test
# that should catch it and expects that test to fail. Slow (a build per mutation), so it is run
# by hand, not in CI:   tests/mutants.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" archive HEAD | tar -x -C "$work"
cmake -S "$work" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGEMINOR_BUILD_BENCH=OFF \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
survived=0

# mutant DESCRIPTION FILE FROM TO TEST: FROM (exact text, found once) replaced by TO in FILE.
mutant() {
  local what=$1 file=$2 from=$3 to=$4 test=$5
  cp "$work/$file" "$work/$file.orig"
  python3 - "$work/$file" "$from" "$to" <<'PY'
import sys
path, old, new = sys.argv[1:]
text = open(path).read()
if text.count(old) != 1:
    sys.exit(f"{path}: the text to mutate is not there once: {old}")
open(path, "w").write(text.replace(old, new))
PY
  # TEST is a CTest name: one file's tests, run from the program of its folder.
  local program
  program=$(cd "$work/build" && ctest --show-only=json-v1 -R "^$test\$" |
    python3 -c 'import json, os, sys; print(os.path.basename(json.load(sys.stdin)["tests"][0]["command"][-2]))')
  if ! cmake --build "$work/build" --parallel 2 --target "$program" >/dev/null; then
    echo "NOT BUILT  $what"
    survived=1
  elif (cd "$work/build" && ctest -R "^$test\$" >/dev/null 2>&1); then
    echo "SURVIVED   $what ($test passes)"
    survived=1
  else
    echo "killed     $what ($test fails)"
  fi
  mv "$work/$file.orig" "$work/$file"
}

mutant "undo no longer checks that what stands at a file's new place is the file it put there" results/undo.cpp \
  '!IsThere(step.target, st) || !IdentityOf(st).sameFile(step.targetState) ||' '!IsThere(step.target, st) ||' journal_test

mutant "the compare no longer checks that a reopened file is the same inode" engine/compare_blocks.h \
  'if (m_seen && (reader.device() != m_dev || reader.inode() != m_ino))' 'if (false)' content_search_test

exit $survived
