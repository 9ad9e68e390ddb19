#!/usr/bin/env python3
"""Times geminor-cli against the duplicate finders from Debian on the same trees, in one run.

    bench/compare.py [--runs 5] [--cli build/app/geminor-cli] CORPUS_DIR...

Warm cache (one untimed run first), median wall time of the runs, peak memory of the last run.
Checks that every tool finds the same groups as fdupes, and prints each time as a ratio
against the fastest peer.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def blocks(text):
    """Groups written as paths, one per line, with an empty line after each group."""
    groups, current = [], []
    for line in text.split(b"\n"):
        if line:
            current.append(line)
        elif current:
            groups.append(frozenset(current))
            current = []
    if current:
        groups.append(frozenset(current))
    return groups


def rdfind_groups(workdir):
    by_id = {}
    with open(os.path.join(workdir, "results.txt"), "rb") as f:
        for line in f:
            if line.startswith(b"#"):
                continue
            parts = line.rstrip(b"\n").split(b" ", 7)
            if len(parts) == 8:
                by_id.setdefault(abs(int(parts[1])), set()).add(parts[7])
    return [frozenset(g) for g in by_id.values() if len(g) > 1]


def rmlint_groups(workdir):
    by_sum = {}
    with open(os.path.join(workdir, "out.json"), "rb") as f:
        for entry in json.load(f):
            if entry.get("type") == "duplicate_file":
                by_sum.setdefault(entry["checksum"], set()).add(os.fsencode(entry["path"]))
    return [frozenset(g) for g in by_sum.values() if len(g) > 1]


def duff_groups(text):
    groups, current = [], []
    for line in text.split(b"\n"):
        if not line:
            continue
        if b" files in cluster " in line:
            if current:
                groups.append(frozenset(current))
            current = []
        else:
            current.append(line)
    if current:
        groups.append(frozenset(current))
    return groups


def tools(cli):
    return {
        "geminor": ([cli, "-q", "-m", "byte", "-H", "--no-protect"], lambda out, wd: blocks(out)),
        "geminor-crc32": ([cli, "-q", "-m", "crc32", "-H", "--no-protect"], lambda out, wd: blocks(out)),
        "jdupes": (["jdupes", "-r", "-q"], lambda out, wd: blocks(out)),
        "fdupes": (["fdupes", "-r", "-n", "-q"], lambda out, wd: blocks(out)),
        "rdfind": (["rdfind", "-dryrun", "true", "-ignoreempty", "true"], lambda out, wd: rdfind_groups(wd)),
        "rmlint": (["rmlint", "-T", "df", "--hidden", "-o", "json:out.json"], lambda out, wd: rmlint_groups(wd)),
        "duff": (["duff", "-r", "-a", "-z"], lambda out, wd: duff_groups(out)),
    }


def run(command, workdir):
    """Wall time, standard output, peak memory in bytes and exit status of one run. Peak memory
    comes from GNU time: a child of this (large) Python process would inherit its high-water mark."""
    timed = ["/usr/bin/time", "-f", "%M", "-o", os.path.join(workdir, "rss")] if os.path.exists("/usr/bin/time") else []
    start = time.perf_counter()
    proc = subprocess.Popen(timed + command, cwd=workdir, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = proc.stdout.read()
    status = proc.wait()
    seconds = time.perf_counter() - start
    rss = 0
    if timed:
        with open(os.path.join(workdir, "rss")) as f:
            rss = int(f.read().split()[-1]) * 1024
    return seconds, out, rss, status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--cli", default=os.path.join(os.path.dirname(__file__), "..", "build", "app", "geminor-cli"))
    parser.add_argument("--only", help="comma-separated tools")
    parser.add_argument("corpora", nargs="+")
    args = parser.parse_args()
    table = tools(os.path.abspath(args.cli))
    if args.only:
        table = {k: v for k, v in table.items() if k in args.only.split(",")}
    peers = [t for t in table if not t.startswith("geminor") and shutil.which(table[t][0][0])]
    for corpus in args.corpora:
        corpus = os.path.abspath(corpus)
        files = sum(len(f) for _, _, f in os.walk(corpus))
        print(f"\n{os.path.basename(corpus)} ({files} files)")
        results, reference = {}, None
        for name, (command, parse) in table.items():
            if not shutil.which(command[0]):
                continue
            with tempfile.TemporaryDirectory() as workdir:
                run(command + [corpus], workdir)
                times = []
                for _ in range(args.runs):
                    seconds, out, rss, status = run(command + [corpus], workdir)
                    times.append(seconds)
                groups = set(parse(out, workdir))
            results[name] = (statistics.median(times), rss, groups)
            if name == "fdupes":
                reference = groups
        fastest = min((results[p][0] for p in peers if p in results), default=None)
        for name, (seconds, rss, groups) in results.items():
            same = "" if reference is None else ("same groups" if groups == reference else "GROUPS DIFFER")
            ratio = f"{seconds / fastest:5.2f}" if fastest else "  -  "
            print(f"  {name:14s} {seconds:7.3f} s  ratio {ratio}  peak {rss / 1e6:7.1f} MB  "
                  f"{len(groups):6d} groups  {same}")
            sys.stdout.flush()


if __name__ == "__main__":
    main()
