#!/bin/bash
# Kills geminor-cli (SIGKILL, through strace's fault injection) just before each of its calls that
# change files, for every kind of action, then runs --undo from another working folder: the tree
# must come back exactly (paths, bytes, links, modes), with no temporary file or trash entry left.
# usage: crash_points.sh GEMINOR_CLI
set -u
cli=$(realpath "$1")
command -v strace >/dev/null || { echo "strace is not installed: skipped"; exit 77; }
work=$(mktemp -d /tmp/geminor-crash.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_CACHE_HOME=$work/home/cache XDG_CONFIG_HOME=$work/home/config
tree=$work/tree moved=$work/moved
calls=renameat2,linkat,unlinkat,symlinkat,write,fsync,fchmod
strace -qq -o /dev/null true 2>/dev/null || { echo "strace cannot trace here: skipped"; exit 77; }

# Two groups of two copies: each group has one file acted on (one of them with a mode of its
# own), so every kind of step is killed; a third copy only repeated the same steps.
for g in 1 2; do for c in 1 2; do
    mkdir -p "$work/template/d$c"
    printf 'group %d %0100d\n' $g $g >"$work/template/d$c/f$g"
done; done
chmod 640 "$work/template/d2/f1"
make_tree() {
    rm -rf "$work/home" "$tree" "$moved"
    mkdir -p "$XDG_DATA_HOME" "$moved"
    cp -a "$work/template" "$tree"
}
snapshot() {
    (cd "$1" && find . \( -type f -o -type l \) -printf '%p %m %l\n' | sort &&
        find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

failures=0 runs=0
for action in "--trash" "--move-to $moved" "--link hard" "--link symbolic"; do
    make_tree
    snapshot "$tree" >"$work/before"
    strace -qq -o "$work/count" -e trace=$calls "$cli" -q --no-cache --keep first $action "$tree" >/dev/null 2>&1
    for call in ${calls//,/ }; do
        n=$(grep -c "^$call(" "$work/count")
        for ((i = 1; i <= n; i++)); do
            make_tree
            runs=$((runs + 1))
            { strace -qq -o /dev/null -e trace=$call -e inject=$call:signal=SIGKILL:when=$i \
                "$cli" -q --no-cache --keep first $action "$tree" >/dev/null 2>&1; } 2>/dev/null
            id=$(ls "$XDG_DATA_HOME/Geminor/journal" 2>/dev/null | head -1)
            [ -n "$id" ] && (cd / && "$cli" --undo "${id%.jsonl}" >"$work/undo" 2>&1)
            problem=
            snapshot "$tree" | cmp -s - "$work/before" || problem="the tree differs"
            left=$(find "$tree" "$moved" "$XDG_DATA_HOME/Trash" -mindepth 1 \( -name '.geminor-*' -o -path "$moved/*" \
                   -o -path '*/Trash/*/*' \) 2>/dev/null | head -3)
            [ -n "$left" ] && problem="$problem; left behind: $left"
            if [ -n "$problem" ]; then
                failures=$((failures + 1))
                echo "$action, killed before $call #$i: $problem"
                sed 's/^/    undo: /' "$work/undo"
            fi
        done
    done
done
echo "$runs crash points, $failures failed"
[ $failures -eq 0 ]
