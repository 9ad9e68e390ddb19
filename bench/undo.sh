#!/usr/bin/env bash
# Times replacing 10,000 duplicates by hard links, trashing 10,000 duplicates, and undoing each,
# every file journaled (and flushed) before it is acted on.
#   bench/undo.sh [WORK_DIR]   (default: a new folder under /tmp; removed at the end)
set -euo pipefail
cli="$(cd "$(dirname "$0")/.." && pwd)/build/app/geminor-cli"
work="${1:-$(mktemp -d)}"
export XDG_DATA_HOME="$work/data"
make_tree() {
  rm -rf "$work/tree"
  python3 - "$work/tree" <<'PY'
import os, sys
root = sys.argv[1]
for i in range(10000):
    data = (b"%08d" % i) * 512
    for side in ("a", "b"):
        folder = os.path.join(root, side, "d%02d" % (i % 50))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%05d" % i), "wb") as f:
            f.write(data)
PY
}
timed() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s.%N);
          awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f s", b - a}'; }
make_tree
echo "hard links for 10,000 duplicates: $(timed "$cli" -q --keep first --link hard "$work/tree/a" "$work/tree/b")"
echo "undo of the links: $(timed "$cli" --undo)"
make_tree
echo "trash 10,000 duplicates: $(timed "$cli" -q --keep first --trash "$work/tree/a" "$work/tree/b")"
echo "undo of the trash: $(timed "$cli" --undo)"
echo "files back: $(find "$work/tree" -type f | wc -l) of 20000"
[ $# -ge 1 ] || rm -rf "$work"
