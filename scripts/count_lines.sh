#!/usr/bin/env bash
# Prints the product and test lines of C++ (.cpp and .h, without blank lines and comments)
# and the size of the tests against the product.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Comments go, strings stay (a "/*" or "//" inside a string or raw string is code).
count() {
  (cd "$root" && find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null) |
    (cd "$root" && xargs -0 -r perl -0777 -ne '
      s{(/\*.*?\*/)|(//[^\n]*)|(R"([^(\s]*)\(.*?\)\4"|"(?:\\.|[^"\\\n])*"|'"'"'(?:\\.|[^'"'"'\\\n])*'"'"'|.)}
       {defined $1 ? "\n" x ($1 =~ tr/\n//) : defined $2 ? "" : $3}gse;
      $n += () = /^.*\S.*$/mg;
      END { print $n + 0, "\n" }' | awk '{ s += $1 } END { print s + 0 }')
}

product=$(count engine pictures results persist texts ui app)
tests=$(count tests)
echo "product lines: $product"
echo "test lines:    $tests"
awk -v p="$product" -v t="$tests" 'BEGIN { printf "tests/product: %.1f%%\n", 100 * t / p }'
