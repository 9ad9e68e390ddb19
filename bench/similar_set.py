#!/usr/bin/env python3
"""The similar-pictures test set, and how a result scores on it.

    bench/similar_set.py make DEST         every photo of mate-backgrounds (12, nature/) at most 2 MP,
                                           and from each eight variants made with ImageMagick
    bench/similar_set.py score RESULT.json recall (variants grouped with their original) and
                                           precision (no group holds two photos' families)

A file is named PHOTO__VARIANT.EXT, so its family is the part before "__".
Run geminor-cli -m similar --similarity LEVEL --json RESULT.json DEST between the two.
"""
import glob
import json
import os
import struct
import subprocess
import sys

PHOTOS = "/usr/share/backgrounds/mate/nature"
CONVERT = "/usr/bin/convert"  # ImageMagick itself, not a stand-in earlier on the PATH
VARIANTS = {
    "half.jpg": ["-resize", "50%"],
    "eighth.jpg": ["-resize", "12.5%"],
    "q50.jpg": ["-quality", "50"],
    "png.png": [],
    "crop5.jpg": ["-gravity", "center", "-crop", "90%x90%+0+0", "+repage"],
    "bright15.jpg": ["-modulate", "115,100,100"],
    "grey.jpg": ["-colorspace", "Gray"],
}


def with_orientation(jpeg, orientation):
    """The JPEG with an EXIF block holding only its orientation, right after the start marker."""
    ifd = struct.pack(">H", 1) + struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack(">I", 0)
    tiff = b"MM" + struct.pack(">HI", 42, 8) + ifd
    body = b"Exif\0\0" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + jpeg[2:]


def make(dest):
    os.makedirs(dest, exist_ok=True)
    for photo in sorted(glob.glob(os.path.join(PHOTOS, "*.jpg"))):
        name = os.path.splitext(os.path.basename(photo))[0]
        original = os.path.join(dest, f"{name}__original.jpg")
        subprocess.run([CONVERT, photo, "-resize", "2000000@>", "-strip", original], check=True)
        for variant, args in VARIANTS.items():
            subprocess.run([CONVERT, original, *args, os.path.join(dest, f"{name}__{variant}")], check=True)
        # Its pixels turned back a quarter, and the orientation tag that shows them upright.
        turned = subprocess.run([CONVERT, original, "-rotate", "270", "jpg:-"], check=True,
                                capture_output=True).stdout
        with open(os.path.join(dest, f"{name}__exif90.jpg"), "wb") as out:
            out.write(with_orientation(turned, 6))


def score(result_path):
    with open(result_path) as f:
        result = json.load(f)
    family = lambda path: os.path.basename(path).split("__")[0]
    group_of, mixed = {}, 0
    for number, group in enumerate(result.get("groups", [])):
        paths = [file["path"] for file in group["files"]]
        if len({family(p) for p in paths}) > 1:
            mixed += 1
        for p in paths:
            group_of[os.path.basename(p)] = number
    variants = [f"{os.path.splitext(os.path.basename(p))[0]}__{v}"
                for p in glob.glob(os.path.join(PHOTOS, "*.jpg")) for v in [*VARIANTS, "exif90.jpg"]]
    found = sum(1 for v in variants
                if v in group_of and group_of[v] == group_of.get(v.split("__")[0] + "__original.jpg"))
    print(f"recall {found}/{len(variants)} = {100.0 * found / len(variants):.1f}%, "
          f"groups holding two photos: {mixed} of {len(result.get('groups', []))}")
    missed = sorted(v for v in variants if v not in group_of or
                    group_of[v] != group_of.get(v.split("__")[0] + "__original.jpg"))
    if missed:
        print("missed:", " ".join(missed))


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("make", "score"):
        sys.exit(__doc__)
    make(sys.argv[2]) if sys.argv[1] == "make" else score(sys.argv[2])
