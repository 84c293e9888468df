#!/usr/bin/env python3
"""Writes the file tree of one benchmark package shape, the same bytes on every run.

Usage: make_shapes.py SHAPE OUTPUT_DIR
  a: 5,000 files of 1 to 16 KB in 50 folders, text-like
  b: 20 files of 10 MB, 10 text-like (deflate shrinks them) and 10 random (it cannot)
  c: 30,000 files of 200 bytes in 100 folders
  d: 100,000 files of 200 bytes in 334 folders (as c, 300 a folder: c and d differ in count only)
"""
import os
import random
import sys

MB = 1024 * 1024


def text_pool(rng, size):
    """Words drawn from a small vocabulary: compresses about as well as scripts and prose."""
    syllables = ["ka", "ri", "mo", "ne", "to", "su", "ha", "ru", "ki", "ya", "no", "shi"]
    words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 4))) for _ in range(3000)]
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choices(words, k=rng.randint(4, 14))) + "\r\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode("ascii")[:size]


def text_like(rng, pool, size):
    """Slices of the pool from random places: no repeats within deflate's 32 KB window."""
    parts = []
    length = 0
    while length < size:
        take = min(64 * 1024, size - length)
        start = rng.randrange(0, len(pool) - take)
        parts.append(pool[start:start + take])
        length += take
    return b"".join(parts)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def shape_a(rng, root):
    pool = text_pool(rng, 2 * MB)
    for i in range(5000):
        size = rng.randint(1024, 16 * 1024)
        write(os.path.join(root, "dir%02d" % (i % 50), "file%04d.txt" % i), text_like(rng, pool, size))


def shape_b(rng, root):
    pool = text_pool(rng, 4 * MB)
    for i in range(10):
        write(os.path.join(root, "text%02d.dat" % i), text_like(rng, pool, 10 * MB))
    for i in range(10):
        write(os.path.join(root, "random%02d.bin" % i), rng.randbytes(10 * MB))


def shape_c(rng, root):
    for i in range(30000):
        write(os.path.join(root, "dir%02d" % (i % 100), "f%05d.txt" % i), rng.randbytes(100).hex().encode())


def shape_d(rng, root):
    for i in range(100000):
        write(os.path.join(root, "dir%03d" % (i % 334), "f%06d.txt" % i), rng.randbytes(100).hex().encode())


def main():
    shapes = {"a": shape_a, "b": shape_b, "c": shape_c, "d": shape_d}
    if len(sys.argv) != 3 or sys.argv[1] not in shapes:
        sys.exit(__doc__)
    shape, root = sys.argv[1], sys.argv[2]
    shapes[shape](random.Random(shape), root)


if __name__ == "__main__":
    main()
