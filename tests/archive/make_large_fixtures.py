#!/usr/bin/env python3
"""Writes the large packages of the large-package test, once: for N = 65,536 and 100,000 entries
(the first above and a larger one past the 65,535 a plain ZIP can count), a package folder of
N - 1 small files for mkpackage and an archive of the same files plus the setting file (its last
member) written by Python's zipfile with ZIP64 forced on every member.

Usage: make_large_fixtures.py OUTPUT_DIR

File i (from 0) is dNNN/fNNNNNN.txt with NNN = i // 300 (300 files a folder, as packages keep
them) and its number as content; large_package_test.cpp expects exactly this. The larger folder
hard-links the files it shares with the smaller one, so they take their disk space once.
"""
import os
import shutil
import sys
import zipfile

SIZES = (65536, 100000)
FILES_PER_FOLDER = 300
SETTING = ("[options]\r\nInstallMode=1\r\nAppName=大きなパッケージ\r\n"
           "DefaultInstallDir=($MARLETHDIR)\r\n").encode("cp932")
SETTING_MEMBER = "$preextractdir$/_$$$setting$$$_.ini"


def relative_name(i):
    return "d%03d/f%06d.txt" % (i // FILES_PER_FOLDER, i)


def content(i):
    return b"%06d\r\n" % i


def write_tree(root, count, earlier):
    for i in range(count):
        path = os.path.join(root, relative_name(i))
        if i % FILES_PER_FOLDER == 0:
            os.makedirs(os.path.dirname(path))
        if earlier is not None and i < earlier[1]:
            os.link(os.path.join(earlier[0], relative_name(i)), path)
        else:
            with open(path, "wb") as f:
                f.write(content(i))


def write_zip(path, count):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, allowZip64=True) as z:
        for i in range(count):
            info = zipfile.ZipInfo(relative_name(i), (2021, 3, 4, 5, 6, 8))
            info.compress_type = zipfile.ZIP_DEFLATED
            with z.open(info, "w", force_zip64=True) as member:
                member.write(content(i))
        info = zipfile.ZipInfo(SETTING_MEMBER, (2021, 3, 4, 5, 6, 8))
        with z.open(info, "w", force_zip64=True) as member:
            member.write(SETTING)


def main():
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    with open(os.path.join(out, "setting.ini"), "wb") as f:
        f.write(SETTING)
    earlier = None
    for size in SIZES:
        tree = os.path.join(out, "tree-%d" % size)
        write_tree(tree, size - 1, earlier)
        earlier = (tree, size - 1)
        write_zip(os.path.join(out, "python-%d.zip" % size), size - 1)
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("done\n")


if __name__ == "__main__":
    main()
