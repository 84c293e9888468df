#!/usr/bin/env python3
"""Writes an installation for the uninstall benchmark, the same bytes on every run: FILES files of
200 bytes in FOLDERS folders below a character's folder (bench\files\f000\...), listed folder
by folder as mkpackage orders them, the uinstall.ini the installer would leave for them in the
character's folder (its INSTALLEDFILE list and, unless --no-checks, the check section with each
file's size and CRC-32) and list.txt, the same names one a line for the bare loop.

Usage: make_installation.py ROOT WINDOWS_ROOT FILES FOLDERS [--no-checks]
  WINDOWS_ROOT: ROOT as the Windows programs see it (the install folder uinstall.ini records)
"""
import os
import sys
import zlib


def main(argv):
    if len(argv) not in (5, 6) or (len(argv) == 6 and argv[5] != "--no-checks"):
        sys.exit(__doc__)
    root, windows_root, files, folders = argv[1], argv[2], int(argv[3]), int(argv[4])
    checks = len(argv) == 5
    names = []
    check_lines = []
    per_folder = (files + folders - 1) // folders
    for i in range(files):
        name = "bench\\files\\f%03d\\file%05d.txt" % (i // per_folder, i)
        data = (b"%05d " % i + b"the character waves from the desktop corner " * 5)[:200]
        path = os.path.join(root, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        names.append(name)
        check_lines.append("item%d=%d,%08x\r\n" % (i, len(data), zlib.crc32(data)))
    ini = ["[options]\r\nAppName=bench\r\nInstallMode=0\r\nVendor=bench\r\nType=files\r\n"
           "UninstallInfoDir=($INSTALLDIR)\\bench\\files\r\nUninstallExeDir=($INSTALLDIR)\r\n"
           "shortcut_group=uninstall-bench\r\n"]
    if checks:
        ini.append("[INSTALLEDFILECHECK]\r\nInstallDir=%s\\\r\n" % windows_root)
        ini.extend(check_lines)
    ini.append("[INSTALLEDFILE]\r\n")
    ini.extend("item%d=%s\r\n" % (i, name) for i, name in enumerate(names))
    with open(os.path.join(root, "bench", "files", "uinstall.ini"), "w", newline="") as f:
        f.write("".join(ini))
    with open(os.path.join(root, "list.txt"), "w", newline="") as f:
        f.write("".join(name + "\r\n" for name in names))


if __name__ == "__main__":
    main(sys.argv)
