#!/usr/bin/env python3
"""Writes the archives the extractor tests read: good ones, hostile ones and damaged ones.

Usage: make_fixtures.py OUTPUT_DIR EXE_PREFIX
Names are Shift-JIS bytes, as package authors on Windows store them.
"""
import os
import struct
import sys
import zipfile
import zlib

MEMBER_TIME = (2021, 3, 4, 5, 6, 8)


def sjis(text):
    return text.encode("cp932")


def dos_time(t):
    year, month, day, hour, minute, second = t
    return ((hour << 11) | (minute << 5) | (second // 2),
            ((year - 1980) << 9) | (month << 5) | day)


class RawZip:
    """A ZIP writer with full control over every header field, for damaged archives."""

    def __init__(self):
        self.data = bytearray()
        self.central = bytearray()
        self.count = 0

    def add(self, name, payload, method=0, crc=None, size=None, csize=None, t=MEMBER_TIME):
        if isinstance(name, str):
            name = sjis(name)
        raw = payload
        if method == 8:
            compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
            raw = compressor.compress(payload) + compressor.flush()
        crc = zlib.crc32(payload) & 0xFFFFFFFF if crc is None else crc
        size = len(payload) if size is None else size
        csize = len(raw) if csize is None else csize
        dtime, ddate = dos_time(t)
        offset = len(self.data)
        self.data += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, dtime, ddate,
                                 crc, csize, size, len(name), 0) + name + raw
        self.central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, dtime,
                                    ddate, crc, csize, size, len(name), 0, 0, 0, 0, 0,
                                    offset) + name
        self.count += 1
        return raw

    def bytes(self):
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, self.count, self.count,
                          len(self.central), len(self.data), 0)
        return bytes(self.data + self.central + end)


def write(out, name, content):
    with open(os.path.join(out, name), "wb") as f:
        f.write(content)


def good_archive():
    z = RawZip()
    z.add("stored.txt", b"stored data\r\n", method=0)
    z.add("sub/dir/a.txt", b"deflated " * 1000, method=8)
    z.add("emptydir/", b"")
    z.add("zero.bin", b"")
    z.add("other/a.txt", b"the other a\r\n", method=8)
    z.add("表/表.txt", "日本語の内容".encode("cp932"), method=8)
    z.add("$preextractdir$/_$$$SETTING$$$_.INI", b"[options]\r\nAppName=x\r\n", method=8)
    return z.bytes()


UNSAFE_NAMES = [
    "/abs.txt", "\\abs.txt", "../up.txt", "a/../../up.txt", "safe/..\\..\\x", "a/..", "..",
    "a\\..", "C:x", "C:/x", "c:\\x", "//host/share/x", "//?/C:/x", "\\\\?\\C:\\x",
    "a.txt:stream", "CON", "con.txt", "nul", "dir/Com1.log", "LPT9", "aux .txt", "prn/x.txt",
    "dir./x", "x.", "x ", "dir /x", ".", "./x", "a\nb.txt", "a\rb.txt", "tab\there",
]


def main():
    out, exe_prefix = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    good = good_archive()
    write(out, "good.zip", good)
    with open(exe_prefix, "rb") as f:
        write(out, "appended.exe", f.read() + good)
    write(out, "truncated.zip", good[: len(good) // 2])
    write(out, "garbage.zip", b"this is no archive" * 100)

    z = RawZip()
    z.add("bad.txt", b"payload with a wrong checksum", method=8, crc=0x12345678)
    write(out, "badcrc.zip", z.bytes())

    z = RawZip()
    z.add("ok.txt", b"fine")
    z.add("bz.bin", b"whatever bytes", method=12)
    write(out, "method12.zip", z.bytes())

    # A deflate stream cut short: the header keeps the full sizes of the original.
    payload = os.urandom(50000)
    compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
    full = compressor.compress(payload) + compressor.flush()
    cut = full[: len(full) // 2]
    z = RawZip()
    name = b"short.bin"
    dtime, ddate = dos_time(MEMBER_TIME)
    crc = zlib.crc32(payload) & 0xFFFFFFFF
    z.data += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, dtime, ddate, crc, len(cut),
                          len(payload), len(name), 0) + name + cut
    z.central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, dtime, ddate, crc,
                             len(cut), len(payload), len(name), 0, 0, 0, 0, 0, 0) + name
    z.count = 1
    write(out, "cutdeflate.zip", z.bytes())

    # A complete deflate stream whose header declares more data than it inflates to.
    data = b"0123456789" * 100
    z = RawZip()
    z.add("oversize.txt", data, method=8, size=len(data) * 3)
    write(out, "oversize.zip", z.bytes())

    # A stored member declaring more bytes than the archive holds.
    z = RawZip()
    z.add("stored_over.txt", b"tiny", method=0, size=100000, csize=100000)
    write(out, "storedover.zip", z.bytes())

    for index, name in enumerate(UNSAFE_NAMES):
        z = RawZip()
        z.add(name, b"must never be written")
        write(out, "unsafe_%02d.zip" % index, z.bytes())
    write(out, "unsafe_count.txt", str(len(UNSAFE_NAMES)).encode())

    z = RawZip()
    for name in ["dir/a..b", "a..b.txt", "..hidden", "dir.d/file", "表\\表.txt"]:
        z.add(name, b"accepted")
    write(out, "oddbutsafe.zip", z.bytes())

    # Long names: one cut into a name ending in a dot (refused), one cut into a shorter file name.
    z = RawZip()
    z.add("x" * 257 + "/ab.c.txt", b"long")
    write(out, "longcut_unsafe.zip", z.bytes())
    z = RawZip()
    z.add("d" * 200 + "/" + "f" * 70, b"long but fine")
    write(out, "longname.zip", z.bytes())

    # Two members with one file name in different folders.
    z = RawZip()
    z.add("one/same.txt", b"first")
    z.add("two/same.txt", b"second")
    write(out, "samename.zip", z.bytes())


if __name__ == "__main__":
    main()
