#!/usr/bin/env python3
"""Writes the package folders for mkpackage's refusals that a Windows program cannot create:
names that differ only in letter case, names Windows would not store as written, and a name
that Shift-JIS cannot hold. Wine lists them from the Linux file system as they are.

Usage: make_fixtures.py OUTPUT_DIR
"""
import os
import shutil
import sys

PACKAGES = {
    "case_files": ["A.txt", "a.txt", "other.txt"],
    "case_folders": ["Sub/x.txt", "sub/y.txt"],
    "case_file_folder": ["data", "DATA/x.txt"],
    # Full-width Latin letters have a case too, on Windows' file systems as in Unicode.
    "case_full_width": ["\uff21.txt", "\uff41.txt"],
    "refused_names": ["con.txt", "x.", "trail ", "a:b", "ok.txt"],
    # U+301C WAVE DASH: code page 932 has only U+FF5E for its tilde.
    "not_shift_jis": ["\u301ctilde.txt", "ok.txt"],
}


def main():
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    for package, names in PACKAGES.items():
        for name in names:
            path = os.path.join(out, package, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(name.encode("utf-8"))
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("done\n")


if __name__ == "__main__":
    main()
