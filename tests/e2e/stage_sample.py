#!/usr/bin/env python3
"""Stages a sample package of examples/ for the tests as scripts/main.sh does for the main job:
its text files (.txt, .mrl) in Shift-JIS with CR LF, its setting file in Shift-JIS.

Usage: stage_sample.py EXAMPLE_DIR OUTPUT_DIR   (OUTPUT_DIR gets package/ and setting.ini)
"""
import os
import shutil
import sys


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    source, output = argv[1], argv[2]
    shutil.rmtree(output, ignore_errors=True)
    shutil.copytree(os.path.join(source, "package"), os.path.join(output, "package"))
    for folder, _, files in os.walk(os.path.join(output, "package")):
        for name in files:
            if name.endswith((".txt", ".mrl")):
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as text:
                    content = text.read()
                with open(path, "wb") as out:
                    out.write(content.replace("\n", "\r\n").encode("cp932"))
    with open(os.path.join(source, "setting.ini"), encoding="utf-8") as text:
        setting = text.read()
    with open(os.path.join(output, "setting.ini"), "wb") as out:
        out.write(setting.encode("cp932"))


if __name__ == "__main__":
    main(sys.argv)
