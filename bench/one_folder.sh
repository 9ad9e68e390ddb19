#!/usr/bin/env bash
# One folder holding N files (default 1,000,000, empty, made once): the walk streams it, holding
# the folder's names once. Prints the time and the peak memory of a zero-size scan, which lists
# every one of them, and of a byte-to-byte scan, which lists them and keeps none.
#   bench/one_folder.sh DIR [N]
set -euo pipefail
cli="$(dirname "$0")/../build/app/geminor-cli"
dir="$1"; n="${2:-1000000}"
if [ ! -d "$dir/flat" ]; then
  mkdir -p "$dir/flat"
  python3 - "$dir/flat" "$n" <<'PY'
import os, sys
folder, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    os.close(os.open(os.path.join(folder, "file-%07d.dat" % i), os.O_CREAT | os.O_WRONLY, 0o644))
PY
fi
for method in zero byte; do
  /usr/bin/time -f "$method: %e s, peak %M KB" "$cli" -q -m "$method" "$dir/flat" 2>&1 >/dev/null | tail -1
done
