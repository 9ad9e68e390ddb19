#!/usr/bin/env python3
"""Writes the benchmark corpora, deterministically (seeded), with the standard library only.

    bench/make_corpus.py DEST [small|last|first|lognormal|large|million|tenth|realistic|realistic100k|nearonly|
                             tiny|tinytwice|group50k|group100k|group200k|group400k|pairs|realistic3m]...

realistic3m writes REALISTIC3M_FILES files (default 3,000,000), so that a small run can check it.
"""
import math
import os
import random
import sys

KIB = 1024
MIB = 1024 * KIB


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def spread(root, i):
    """Nested folders, a few hundred files each."""
    return os.path.join(root, f"d{i % 97:02d}", f"e{(i // 97) % 13:02d}", f"f{i:07d}.dat")


def small(root):
    """100,000 files of 0-16 KiB, a fifth of them copies of others."""
    rng = random.Random(1)
    originals = []
    for i in range(100_000):
        if originals and rng.random() < 0.2:
            data = rng.choice(originals)
        else:
            data = rng.randbytes(rng.randint(0, 16 * KIB))
            if len(originals) < 5000:
                originals.append(data)
        write(spread(root, i), data)


def near(root, last):
    """20,000 files of exactly 64 KiB in fours: two copies, two that differ in one byte."""
    rng = random.Random(2 if last else 3)
    at = 64 * KIB - 1 if last else 0
    for g in range(5000):
        base = bytearray(rng.randbytes(64 * KIB))
        for k in range(4):
            data = bytearray(base)
            if k >= 2:
                data[at] = (data[at] + k) % 256
            write(spread(root, g * 4 + k), bytes(data))


def near_only(root):
    """20,000 files of exactly 64 KiB in fours that differ only in their last byte, no copies:
    byte to byte reads every one whole, and finds nothing."""
    rng = random.Random(4)
    for g in range(5000):
        base = bytearray(rng.randbytes(64 * KIB))
        for k in range(4):
            base[-1] = k
            write(spread(root, g * 4 + k), bytes(base))


def lognormal(root):
    """30,000 files from 1 byte to 50 MB, sizes log-normal, 15% copies."""
    rng = random.Random(4)
    made = []
    for i in range(30_000):
        if made and rng.random() < 0.15:
            data = rng.choice(made)
        else:
            size = int(min(50_000_000, max(1, math.exp(rng.gauss(8.5, 2.0)))))
            data = rng.randbytes(size)
            if size < 4 * MIB and len(made) < 3000:
                made.append(data)
        write(spread(root, i), data)


def randbytes(rng, n):
    """rng.randbytes in pieces: it cannot make more than 256 MB at once."""
    return b"".join(rng.randbytes(min(64 * MIB, n - at)) for at in range(0, n, 64 * MIB))


def large(root):
    """11 files of 100-500 MB: two groups of copies and a same-size pair that differs at the end."""
    rng = random.Random(5)
    a = randbytes(rng, 150 * MIB)
    b = randbytes(rng, 100 * MIB)
    c = bytearray(randbytes(rng, 500 * MIB))
    for k in range(3):
        write(os.path.join(root, f"a{k}.bin"), a)
    for k in range(4):
        write(os.path.join(root, f"b{k}.bin"), b)
    write(os.path.join(root, "c0.bin"), bytes(c))
    c[-1] ^= 0xFF
    write(os.path.join(root, "c1.bin"), bytes(c))
    write(os.path.join(root, "u0.bin"), randbytes(rng, 120 * MIB))
    write(os.path.join(root, "u1.bin"), randbytes(rng, 130 * MIB))


def unique_sizes(root, count):
    """Files that each have a size of their own, so that nothing is compared: the walk and the
    bookkeeping alone. Sparse, so that a million of them take no room."""
    for i in range(count):
        path = os.path.join(root, f"g{i % 1000:03d}", f"u{i:07d}")
        write(path, b"")
        os.truncate(path, i + 1)


def realistic(root, count):
    """Sizes log-normal around 4 KiB in 512-byte steps, so that size groups are large, as in a
    photo library or a mail store: 20% exact copies, 5% near-copies differing in one byte."""
    rng = random.Random(7)
    originals = []
    for i in range(count):
        roll = rng.random()
        if originals and roll < 0.20:
            data = rng.choice(originals)
        elif originals and roll < 0.25:
            source = bytearray(rng.choice(originals))
            if source:
                at = rng.randrange(len(source))
                source[at] ^= 0xFF
            data = bytes(source)
        else:
            steps = max(1, int(rng.lognormvariate(math.log(8), 0.8)))
            data = rng.randbytes(steps * 512)
            if len(originals) < 20000:
                originals.append(data)
        write(os.path.join(root, f"r{i % 1000:03d}", f"m{i:07d}"), data)


def tiny(root, count, distinct):
    """Tiny files of one size in 1,000 folders: a single size group of `count` members holding
    `distinct` different contents (each content `count // distinct` times)."""
    for i in range(count):
        write(os.path.join(root, f"t{i % 1000:03d}", f"n{i:07d}"), b"%08d" % (i % distinct))


def one_group(root, count):
    """`count` different files of 4 KiB: one size group where every member must be read."""
    rng = random.Random(11)
    for i in range(count):
        write(os.path.join(root, f"s{i % 1000:03d}", f"p{i:07d}"), rng.randbytes(4 * KIB))


def pairs(root, count):
    """`count` pairs of 1 MiB files that differ only in their last byte, each pair its own content:
    whoever reads the files from the front reads them whole to find nothing."""
    rng = random.Random(13)
    for g in range(count):
        data = bytearray(rng.randbytes(MIB))
        for k in range(2):
            data[-1] = k
            write(spread(root, g * 2 + k), bytes(data))


CORPORA = {
    "small": small,
    "last": lambda r: near(r, True),
    "first": lambda r: near(r, False),
    "lognormal": lognormal,
    "large": large,
    "million": lambda r: unique_sizes(r, 1_000_000),
    "tenth": lambda r: unique_sizes(r, 100_000),
    "realistic": lambda r: realistic(r, 1_000_000),
    "realistic100k": lambda r: realistic(r, 100_000),
    "realistic3m": lambda r: realistic(r, int(os.environ.get("REALISTIC3M_FILES", 3_000_000))),
    "nearonly": near_only,
    "tiny": lambda r: tiny(r, 1_000_000, 1_000_000),
    "tinytwice": lambda r: tiny(r, 1_000_000, 500_000),
    "group50k": lambda r: one_group(r, 50_000),
    "group100k": lambda r: one_group(r, 100_000),
    "group200k": lambda r: one_group(r, 200_000),
    "group400k": lambda r: one_group(r, 400_000),
    "pairs": lambda r: pairs(r, 1000),
}

if __name__ == "__main__":
    dest = sys.argv[1]
    for name in sys.argv[2:] or [n for n in CORPORA if n in ("small", "last", "first", "lognormal", "large")]:
        root = os.path.join(dest, name)
        if os.path.exists(root):
            print(f"{root} exists, kept", file=sys.stderr)
            continue
        print(f"writing {root}", file=sys.stderr)
        CORPORA[name](root)
