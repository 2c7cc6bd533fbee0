#!/usr/bin/env python3
"""Our Crushed sizes against zlib over the same 4 KiB window: per corpus file and in
total for text and for programs, the packed size of `arq create --best` and of `arq
create --fast`, the size of raw deflate at level 9 with windowBits 12 and memLevel 9,
and the ratios of ours to it (the best level's target: at most 0.94). Also how fast
each level packs, by the wall clock of the arq run (checksum and file writing
included).

For scale, the last column is what the near-optimal parse of libdeflate's level 12 gains
over zlib's level 9 in deflate's own 32 KiB window (gzip files, each with the same 18
bytes of header and trailer): the most that parsing alone is known to give this family
of formats. It needs `libdeflate-gzip` (libdeflate-tools); without it the column is
left out.

    bench/crushed_ratio.py --arq build/native/bin/arq [--corpus DIR]

Without --corpus the corpus is made afresh by bench/crushed_corpus.sh (named files of
the Debian packages that scripts/setup-debian.sh installs), so every machine set up
that way measures the same bytes.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

GROUPS = [
    ("text", ["text.txt", "source.txt"]),
    ("programs", ["elf.bin", "pe.bin"]),
]
LEVELS = ["best", "fast"]
HERE = os.path.dirname(os.path.abspath(__file__))


def zlib_size(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -12, 9)
    return len(packer.compress(data) + packer.flush())


def deflate_gain(data):
    """libdeflate-gzip -12 over zlib level 9, both at 32 KiB, or None without it."""
    if not shutil.which("libdeflate-gzip"):
        return None
    ours = subprocess.run(["libdeflate-gzip", "-12", "-c"], input=data, check=True, capture_output=True).stdout
    packer = zlib.compressobj(9, zlib.DEFLATED, 16 + 15, 9)
    return len(ours), len(packer.compress(data) + packer.flush())


def packed_size(arq, archive):
    """The Packed column of the archive's one entry."""
    listing = subprocess.run([arq, "list", archive], check=True, capture_output=True, text=True).stdout
    rows = [line.split() for line in listing.splitlines()[1:]]
    entries = [row for row in rows if row and row[0] in ("Crushed", "Stored")]
    if len(entries) != 1:
        sys.exit("crushed_ratio: cannot read the listing of " + archive)
    return int(entries[0][1])


def arq_size(arq, folder, name, level, scratch):
    """The packed size of name at the level, and the seconds arq took."""
    archive = os.path.join(scratch, name + "." + level + ".arq")
    if os.path.exists(archive):
        os.remove(archive)
    start = time.perf_counter()
    subprocess.run([arq, "create", archive, "--" + level, "-C", folder, name], check=True, stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    return packed_size(arq, archive), seconds


def row(label, size, sizes, seconds=None):
    zlib9 = sizes["zlib"]
    text = "%-12s %10d %10d %10d %10d %7.4f %7.4f" % (
        label, size, sizes["best"], sizes["fast"], zlib9, sizes["best"] / zlib9, sizes["fast"] / zlib9)
    if seconds:
        text += " %7.2f %7.2f" % (size / seconds["best"] / 1e6, size / seconds["fast"] / 1e6)
    if sizes.get("ld12"):
        text += " %8.4f" % (sizes["ld12"] / sizes["z9w15"])
    print(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arq", default="build/native/bin/arq")
    parser.add_argument("--corpus", help="a corpus folder made by crushed_corpus.sh (default: make one)")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="crushed_ratio.") as scratch:
        folder = args.corpus
        if not folder:
            folder = os.path.join(scratch, "corpus")
            subprocess.run(["bash", os.path.join(HERE, "crushed_corpus.sh"), folder], check=True,
                           stdout=subprocess.DEVNULL)
        print("%-12s %10s %10s %10s %10s %7s %7s %7s %7s %8s" % (
            "file", "bytes", "best", "fast", "zlib9/w12", "best/z", "fast/z", "MB/s b", "MB/s f", "ld12/z9"))
        for group, names in GROUPS:
            total = {"bytes": 0, "best": 0, "fast": 0, "zlib": 0, "ld12": 0, "z9w15": 0}
            total_seconds = {level: 0.0 for level in LEVELS}
            for name in names:
                path = os.path.join(folder, name)
                if not os.path.exists(path):
                    print("%-12s missing" % name)
                    continue
                with open(path, "rb") as f:
                    data = f.read()
                sizes = {"zlib": zlib_size(data)}
                gain = deflate_gain(data)
                if gain:
                    sizes["ld12"], sizes["z9w15"] = gain
                seconds = {}
                for level in LEVELS:
                    sizes[level], seconds[level] = arq_size(args.arq, folder, name, level, scratch)
                    total_seconds[level] += seconds[level]
                row(name, len(data), sizes, seconds)
                total["bytes"] += len(data)
                for key in sizes:
                    total[key] += sizes[key]
            if total["zlib"]:
                row("[" + group + "]", total["bytes"], total, total_seconds)


if __name__ == "__main__":
    main()
