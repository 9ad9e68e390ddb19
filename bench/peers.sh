#!/usr/bin/env bash
# geminor-cli beside a walk, jdupes and rdfind on every tree shape: warm and cold page cache, one
# core, one large size group, near-copies that differ at their end, tiny files, the checksum
# cache (first run, second run, after 1% of the files changed) and the window's time to rows.
# Tools take turns run by run (a, b, c, a, b, c...), so a slow spell of the machine falls on all
# of them alike; times are medians of RUNS (default 3), memory the largest peak of those runs.
#   bench/make_corpus.py CORPUS realistic100k realistic group200k pairs tiny tinytwice
#   [ROWS="warm one cold group pairs shapes cache window check"] [TREES="realistic100k ..."] \
#     bench/peers.sh CORPUS [RUNS]
# BUILD names another build folder, WINDOW_ROWS another window_rows.
# Trees that are missing, or not in TREES when it is set, are left out. The cold rows drop the page cache (root only). Exits
# non-zero when geminor's output with the checksum cache differs from that without it.
set -euo pipefail
build="${BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build}"
cli="$build/app/geminor-cli"
corpus="$1"
runs="${2:-3}"
rows="${ROWS:-warm one cold group pairs shapes cache window check}"
tmp="$(mktemp -d)"
trap 'if [ -d "$tmp/kept" ]; then change "" restore; fi; rm -rf "$tmp"' EXIT # the corpus as generated
cd "$tmp" # whatever a tool leaves in its working folder goes with it
failed=0
declare -A secs peak files copies jpeak # jpeak: jdupes' warm peak on each tree

wanted() { [[ " $rows " == *" $1 "* ]]; }
present() { [ -d "$1" ] && [[ -z "${TREES:-}" || " $TREES " == *" $(basename "$1") "* ]]; }
median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a == "" || b == "" || b == 0) print "-"; else printf "%.2f", a / b}'; }
mb() { awk -v k="$1" 'BEGIN {printf "%.0f", k / 1024}'; }

# The command line of TOOL on TREE, into the array cmd.
set_cmd() {
  case "$1" in
    walk) cmd=(find "$2" -type f -printf '%s %p\n') ;;
    byte | crc32 | name | zero) cmd=("$cli" -q -H --no-protect --no-cache -m "$1" "$2") ;;
    jdupes) cmd=(jdupes -r -q "$2") ;;
    rdfind) cmd=(rdfind -ignoreempty true -makeresultsfile false "$2") ;;
  esac
}

# sample KEY COMMAND...: one timed run; its seconds join KEY's samples, its peak KEY's largest.
sample() {
  local key="$1" s kb
  shift
  /usr/bin/time -o "$tmp/time" -f '%e %M' "$@" >"$tmp/out" 2>"$tmp/err" || true
  read -r s kb < <(tail -1 "$tmp/time")
  secs[$key]+=" $s"
  if ((kb > ${peak[$key]:-0})); then peak[$key]=$kb; fi
}

# One untimed run of TOOL on TREE that warms the page cache and notes the files it puts in groups,
# and the files geminor accepts (the memory budget's count).
warm_up() {
  local tool="$1" tree="$2"
  set_cmd "$tool" "$tree"
  sample warm-up "${cmd[@]}"
  case "$tool" in
    byte | crc32 | jdupes)
      copies[$tree:$tool]=$(awk 'NF {f++} END {print f + 0}' "$tmp/out") ;;
    rdfind) copies[$tree:$tool]=$(sed -n 's/.*you have \([0-9]*\) files that are not unique.*/\1/p' "$tmp/out") ;;
  esac
  if [ "$tool" = byte ]; then files[$tree]=$(sed -n 's/^Files : //p' "$tmp/err"); fi
}

# Geminor's peak beside the budgets: 12 MB + 250 bytes an accepted file, and jdupes' own peak.
budgets() {
  local kb="$1" tree="$2" jd="$3" budget
  budget=$((12 * 1024 + 250 * ${files[$tree]:-0} / 1024))
  printf '%s MB (%sx) | %s' "$(mb $budget)" "$(ratio "$kb" $budget)" \
    "$([ -n "$jd" ] && echo "$(mb "$jd") MB ($(ratio "$kb" "$jd")x)" || echo -)"
}

# measure LABEL TREE MODE TOOL...: MODE is warm, one (pinned to one core) or cold.
measure() {
  local label="$1" tree="$2" mode="$3" tool r prefix=()
  shift 3
  present "$tree" || { echo "$label: $tree left out"; return; }
  secs=() peak=()
  if [ "$mode" = one ]; then prefix=(taskset -c 1); fi
  if [ "$mode" != cold ]; then for tool in "$@"; do warm_up "$tool" "$tree"; done; fi
  for ((r = 0; r < runs; r++)); do
    for tool in "$@"; do
      set_cmd "$tool" "$tree"
      if [ "$mode" = cold ]; then sync && echo 3 >/proc/sys/vm/drop_caches; fi
      sample "$tool" "${prefix[@]}" "${cmd[@]}"
    done
  done
  if [ -z "${files[$tree]:-}" ]; then files[$tree]=$("$cli" -q -H --no-protect --no-cache "$tree" 2>&1 >/dev/null | sed -n 's/^Files : //p'); fi
  if [ "$mode" = warm ] && [ -n "${peak[jdupes]:-}" ]; then jpeak[$tree]=${peak[jdupes]}; fi
  print_rows "$label" "$tree" "$@"
}

print_rows() {
  local label="$1" tree="$2" tool t walk="" jd="" fastest="" peer
  shift 2
  for tool in "$@"; do secs[$tool]=$(echo "${secs[$tool]}" | median); done
  walk=${secs[walk]:-}
  jd=${secs[jdupes]:-}
  for peer in jdupes rdfind; do
    t=${secs[$peer]:-}
    if [ -n "$t" ] && { [ -z "$fastest" ] || awk -v a="$t" -v b="$fastest" 'BEGIN {exit !(a < b)}'; }; then fastest=$t; fi
  done
  echo
  echo "### $label ($(basename "$tree"), ${files[$tree]} files accepted)"
  echo
  echo "| tool | seconds | ÷ walk | ÷ jdupes | ÷ fastest peer | peak MB | budget 12 MB + 250 B/file | jdupes' peak |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|"
  for tool in "$@"; do
    t=${secs[$tool]}
    printf '| %s | %s | %s | %s | %s | %s | ' "$tool" "$t" "$(ratio "$t" "$walk")" "$(ratio "$t" "$jd")" \
      "$(ratio "$t" "$fastest")" "$(mb "${peak[$tool]}")"
    case "$tool" in
      byte | crc32) echo "$(budgets "${peak[$tool]}" "$tree" "${peak[jdupes]:-${jpeak[$tree]:-}}") |" ;;
      *) echo "| |" ;;
    esac
  done
  print_copies "$tree"
}

# The files in groups, as each tool counted them on TREE.
print_copies() {
  local tree="$1" tool line="" seen=""
  for tool in byte crc32 jdupes rdfind; do
    [ -n "${copies[$tree:$tool]:-}" ] || continue
    line+=" $tool ${copies[$tree:$tool]},"
    seen+=" ${copies[$tree:$tool]}"
  done
  [ -n "$line" ] || return 0
  echo
  echo -n "Files in groups:${line%,}"
  if [ "$(echo "$seen" | tr ' ' '\n' | grep . | sort -u | wc -l)" -gt 1 ]; then echo " (the tools DISAGREE)"; else echo " (all agree)"; fi
}

# change TREE rewrites 1% of the files (chosen by a seeded rule) with new bytes of the same size,
# keeping copies in $tmp/kept; change TREE restore puts them back with their times.
change() {
  python3 - "$1" "$tmp/kept" "${2:-}" <<'EOF'
import os, random, shutil, sys
tree, kept, mode = sys.argv[1:]
if mode == "restore":
    for i, path in enumerate(open(os.path.join(kept, "list")).read().splitlines()):
        shutil.copy2(os.path.join(kept, str(i)), path)
    sys.exit(shutil.rmtree(kept))
paths = sorted(os.path.join(d, f) for d, _, names in os.walk(tree) for f in names)
rng = random.Random(1)
os.makedirs(kept)
with open(os.path.join(kept, "list"), "w") as listing:
    for i, path in enumerate(rng.sample(paths, len(paths) // 100)):
        shutil.copy2(path, os.path.join(kept, str(i)))
        with open(path, "r+b") as f:
            f.write(rng.randbytes(os.path.getsize(path)))
        listing.write(f"{path}\n")
EOF
}

# The checksum cache on TREE, byte and crc32: no cache, first run into a fresh folder, second
# run, and a run after 1% of the files changed; beside the walk.
cache_rows() {
  local tree="$1" m r t key
  present "$tree" || { echo "cache: $tree left out"; return; }
  secs=() peak=()
  for m in walk byte crc32; do warm_up "$m" "$tree"; done
  for ((r = 0; r < runs; r++)); do
    set_cmd walk "$tree"
    sample walk "${cmd[@]}"
    for m in byte crc32; do
      rm -rf "$tmp/cache-$m"
      sample "$m, no cache" "$cli" -q -H --no-protect --no-cache -m $m "$tree"
      sample "$m, first run" "$cli" -q -H --no-protect --cache-dir "$tmp/cache-$m" -m $m "$tree"
      sample "$m, second run" "$cli" -q -H --no-protect --cache-dir "$tmp/cache-$m" -m $m "$tree"
    done
    change "$tree"
    for m in byte crc32; do sample "$m, after 1% changed" "$cli" -q -H --no-protect --cache-dir "$tmp/cache-$m" -m $m "$tree"; done
    change "$tree" restore
  done
  for key in "${!secs[@]}"; do secs[$key]=$(echo "${secs[$key]}" | median); done
  echo
  echo "### checksum cache ($(basename "$tree"), ${files[$tree]} files accepted)"
  echo
  echo "| run | seconds | ÷ walk | ÷ no cache | peak MB | budget 12 MB + 250 B/file | jdupes' peak (warm rows) |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  echo "| walk | ${secs[walk]} | 1.00 | | $(mb "${peak[walk]}") | | |"
  for m in byte crc32; do
    for key in "$m, no cache" "$m, first run" "$m, second run" "$m, after 1% changed"; do
      t=${secs[$key]}
      echo "| $key | $t | $(ratio "$t" "${secs[walk]}") | $(ratio "$t" "${secs[$m, no cache]}") |" \
        "$(mb "${peak[$key]}") | $(budgets "${peak[$key]}" "$tree" "${jpeak[$tree]:-}") |"
    done
    echo "| $m: after 1% ÷ second run (goal ≤ 1.2) | $(ratio "${secs[$m, after 1% changed]}" "${secs[$m, second run]}") | | | | | |"
  done
}

# The window's time from F5 to its rows beside the command line's, with and without the cache
# (the window keeps its cache in DIR/geminor for --cache-dir DIR).
window_rows() {
  local tree="$1" tool="${WINDOW_ROWS:-$build/bench/window_rows}" r c w cache
  if [ ! -x "$tool" ]; then
    echo
    echo "window: $tool is not built, row skipped"
    return
  fi
  secs=()
  "$cli" -q -H --no-protect --cache-dir "$tmp/cache-w/geminor" "$tree" >/dev/null 2>&1
  for ((r = 0; r < runs; r++)); do
    for cache in off on; do
      local cli_opt=(--no-cache) window_opt=(--no-cache)
      if [ $cache = on ]; then cli_opt=(--cache-dir "$tmp/cache-w/geminor") window_opt=(--cache-dir "$tmp/cache-w"); fi
      sample "cli $cache" "$cli" -q -H --no-protect "${cli_opt[@]}" "$tree"
      secs["window $cache"]+=" $(QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$tool" "$tree" "${window_opt[@]}" 2>/dev/null | tail -1)"
    done
  done
  echo
  echo "### the window's time to rows ($(basename "$tree"))"
  echo
  echo "| cache | command line s | window s | window ÷ command line (goal ≤ 1.2) |"
  echo "|---|---:|---:|---:|"
  for cache in off on; do
    c=$(echo "${secs[cli $cache]}" | median)
    w=$(echo "${secs[window $cache]}" | median)
    echo "| $cache$([ $cache = on ] && echo ", second run") | $c | $w | $(ratio "$w" "$c") |"
  done
}

# geminor's output with the cache (first and second run) must equal its output without it.
check_outputs() {
  local tree="$1" m run
  present "$tree" || return 0
  for m in byte crc32 name zero; do
    "$cli" -q -H --no-protect --no-cache -m $m "$tree" >"$tmp/none" 2>/dev/null
    rm -rf "$tmp/cache-check"
    for run in first second; do
      "$cli" -q -H --no-protect --cache-dir "$tmp/cache-check" -m $m "$tree" >"$tmp/$run" 2>/dev/null
      if cmp -s "$tmp/none" "$tmp/$run"; then continue; fi
      echo "$(basename "$tree") -m $m: the $run run with the cache DIFFERS:"
      diff "$tmp/none" "$tmp/$run" | head -20
      failed=1
    done
  done
}

echo "# geminor beside its peers, $(date -u '+%F %H:%M') UTC, $(nproc) cores, medians of $runs"
echo "geminor $(git -C "$build/.." log -1 --format='%h %s' 2>/dev/null | cut -c1-70); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for tree in realistic100k realistic; do
  if wanted warm; then measure "warm, $tree" "$corpus/$tree" warm walk byte jdupes rdfind; fi
done
if wanted one; then measure "pinned to one core (taskset -c 1)" "$corpus/realistic" one walk byte jdupes; fi
if wanted cold; then measure "cold page cache" "$corpus/realistic100k" cold walk byte jdupes rdfind; fi
if wanted group; then measure "one size group of 200,000 different 4 KiB files" "$corpus/group200k" warm byte crc32 jdupes rdfind; fi
if wanted pairs; then measure "1,000 pairs of 1 MiB files differing in the last byte" "$corpus/pairs" warm walk byte crc32 jdupes rdfind; fi
if wanted shapes; then
  measure "1,000,000 tiny files, all different" "$corpus/tiny" warm byte jdupes
  measure "1,000,000 tiny files, each twice" "$corpus/tinytwice" warm byte jdupes
fi
if wanted cache; then for tree in realistic100k realistic; do cache_rows "$corpus/$tree"; done; fi
if wanted window; then window_rows "$corpus/realistic100k"; fi
if wanted check; then
  for tree in realistic100k pairs; do check_outputs "$corpus/$tree"; done
  echo
  if [ $failed = 0 ]; then echo "outputs identical (byte, crc32, name, zero; with and without the cache)"; fi
fi
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $failed
