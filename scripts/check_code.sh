#!/usr/bin/env bash
# scripts/check_code.sh BUILD_DIR   the code's own checks, run by ./run-tests after the build:
#   - every C++ file is formatted as the root .clang-format says;
#   - clang-tidy's bugprone checks over the C++ files of the product changed by the last commit
#     (or since GEMINOR_TIDY_BASE, a commit), with BUILD_DIR's compile_commands.json.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cd "$root"
status=0

if [ -d .git ] || git rev-parse --git-dir >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t sources < <(find app engine pictures persist results texts ui tests fuzz bench -name '*.cpp' -o -name '*.h')
fi
if ! clang-format --dry-run -Werror "${sources[@]}"; then
  echo "Format check failed: run clang-format -i on the files above" >&2
  status=1
fi

base="${GEMINOR_TIDY_BASE:-HEAD~1}"
changed=()
if git rev-parse --verify -q "$base" >/dev/null; then
  mapfile -t changed < <(git diff --name-only --diff-filter=AM "$base" -- \
    'app/*.cpp' 'engine/*.cpp' 'pictures/*.cpp' 'persist/*.cpp' 'results/*.cpp' 'texts/*.cpp' 'ui/*.cpp')
fi
if [ ${#changed[@]} -gt 0 ] && [ -f "$build/compile_commands.json" ]; then
  # Checks that only flag the code's deliberate idioms stay off.
  checks='-*,bugprone-*,-bugprone-easily-swappable-parameters,-bugprone-narrowing-conversions'
  checks+=',-bugprone-implicit-widening-of-multiplication-result,-bugprone-exception-escape'
  if ! clang-tidy --quiet -p "$build" --checks="$checks" --warnings-as-errors='*' \
       --extra-arg=-Wno-unknown-warning-option "${changed[@]}" 2>/dev/null; then
    echo "clang-tidy's bugprone checks failed on the files above" >&2
    status=1
  fi
fi
exit $status
