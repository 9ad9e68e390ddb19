#!/usr/bin/env python3
"""A picture library for timing the similar-pictures search: COUNT JPEGs of 1 to 4 megapixels.

    bench/make_picture_library.py DEST [COUNT]      (default 20,000)

120 distinct pictures are made with ImageMagick from the photographs of mate-backgrounds (each
cropped, resized and brightened its own way, seeded); every further file is one of them with a
few bytes of its own after the picture's end, so that each file is read and decoded on its own
while the library holds groups of look-alikes, as a real one does.
"""
import glob
import os
import random
import subprocess
import sys

PHOTOS = sorted(glob.glob("/usr/share/backgrounds/mate/nature/*.jpg"))
CONVERT = "/usr/bin/convert"
DISTINCT = 120


def main(dest, count):
    rng = random.Random(29)
    os.makedirs(dest, exist_ok=True)
    made = []
    for i in range(DISTINCT):
        out = os.path.join(dest, f"base{i:03d}.jpg")
        pixels, crop, bright = rng.randint(1_000_000, 4_000_000), rng.randint(70, 100), rng.randint(85, 115)
        source = rng.choice(PHOTOS)
        if not os.path.exists(out):
            subprocess.run([CONVERT, source, "-gravity", "center", "-crop", f"{crop}%x{crop}%+0+0",
                            "+repage", "-resize", f"{pixels}@", "-modulate", f"{bright},100,100",
                            "-quality", "85", out], check=True)
        made.append(out)
    for i in range(count - DISTINCT):
        with open(made[i % DISTINCT], "rb") as source:
            data = source.read()
        folder = os.path.join(dest, f"album{i // 1000:02d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"img{i:05d}.jpg"), "wb") as out:
            out.write(data + b"%08d" % i)


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 20_000)
