#!/usr/bin/env python3
"""Writes the archives the extractor tests read: good ones in every placement, damaged ones.

Usage: make_fixtures.py OUTPUT_DIR EXE_PREFIX
Names are Shift-JIS bytes, as package authors on Windows store them. The signed program needs
openssl and osslsigncode; without them it is left out (and its test says so).
"""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

MEMBER_TIME = (2021, 3, 4, 5, 6, 8)


def sjis(text):
    return text.encode("cp932")


def dos_time(t):
    year, month, day, hour, minute, second = t
    return ((hour << 11) | (minute << 5) | (second // 2),
            ((year - 1980) << 9) | (month << 5) | day)


class RawZip:
    """A ZIP writer with full control over every header field, for damaged archives.

    zip64: every member's sizes and offset in ZIP64 extra fields (the headers hold 0xFFFFFFFF)
    and ZIP64 end records, as Info-ZIP's "zip -fz" writes them. base: added to every stored
    offset, for an archive whose offsets count from the start of the file it is appended to.
    """

    def __init__(self, zip64=False, base=0):
        self.data = bytearray()
        self.central = bytearray()
        self.count = 0
        self.zip64 = zip64
        self.base = base

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
        offset = len(self.data) + self.base
        if self.zip64:
            local_extra = struct.pack("<HHQQ", 1, 16, size, csize)
            central_extra = struct.pack("<HHQQQ", 1, 24, size, csize, offset)
            version, size, csize, offset = 45, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF
        else:
            local_extra = central_extra = b""
            version = 20
        self.data += struct.pack("<IHHHHHIIIHH", 0x04034B50, version, 0, method, dtime, ddate,
                                 crc, csize, size, len(name), len(local_extra)) + name + \
            local_extra + raw
        self.central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, version, version, 0, method,
                                    dtime, ddate, crc, csize, size, len(name), len(central_extra),
                                    0, 0, 0, 0, offset) + name + central_extra
        self.count += 1
        return raw

    def bytes(self, comment=b""):
        directory = len(self.data) + self.base
        if not self.zip64:
            end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, self.count, self.count,
                              len(self.central), directory, len(comment))
            return bytes(self.data + self.central + end + comment)
        end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, self.count, self.count,
                            len(self.central), directory)
        locator = struct.pack("<IIQI", 0x07064B50, 0, directory + len(self.central), 1)
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                          len(comment))
        return bytes(self.data + self.central + end64 + locator + end + comment)


def write(out, name, content):
    with open(os.path.join(out, name), "wb") as f:
        f.write(content)


def good_archive(zip64=False, base=0, comment=b""):
    z = RawZip(zip64, base)
    z.add("stored.txt", b"stored data\r\n", method=0)
    z.add("sub/dir/a.txt", b"deflated " * 1000, method=8)
    z.add("emptydir/", b"")
    z.add("zero.bin", b"")
    z.add("other/a.txt", b"the other a\r\n", method=8)
    z.add("表/表.txt", "日本語の内容".encode("cp932"), method=8)
    z.add("$preextractdir$/_$$$SETTING$$$_.INI", b"[options]\r\nAppName=x\r\n", method=8)
    return z.bytes(comment)


def seal_prefix():
    """The seal's prefix, read from the header the installer and mkpackage share."""
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src",
                          "package", "package_format.h")
    with open(header, encoding="utf-8") as f:
        return re.search(r'kSealPrefix\[\] = "([^"]*)"', f.read()).group(1).encode("ascii")


def signing_fields(program):
    """Where a program's CheckSum field (4 bytes) and certificate-table directory entry (8 bytes)
    lie, the header fields that signing rewrites and the seal leaves out; None for no program."""
    if program[:2] != b"MZ":
        return None
    nt = struct.unpack_from("<I", program, 0x3C)[0]
    if program[nt:nt + 4] != b"PE\0\0":
        return None
    optional = nt + 4 + 20
    directories = {0x10B: 96, 0x20B: 112}[struct.unpack_from("<H", program, optional)[0]]
    return optional + 64, optional + directories + 4 * 8


def sealed(program, z):
    """The program (b"" for none) followed by the archive of RawZip z, sealed as mkpackage seals
    it: the archive's comment is the prefix and the SHA-256 of every byte of the file before the
    comment, the comment's length field included, the program's two signing fields left out."""
    prefix = seal_prefix()
    placeholder = prefix + b"0" * 64
    data = program + z.bytes(placeholder)[:-len(placeholder)]
    digest = hashlib.sha256()
    fields = signing_fields(program)
    if fields:
        checksum, certificate = fields
        for part in (data[:checksum], data[checksum + 4:certificate], data[certificate + 8:]):
            digest.update(part)
    else:
        digest.update(data)
    return data + prefix + digest.hexdigest().encode("ascii")


def good_zip(zip64=False):
    z = RawZip(zip64)
    z.add("stored.txt", b"stored data\r\n", method=0)
    z.add("sub/dir/a.txt", b"deflated " * 1000, method=8)
    return z


def sign(unsigned, signed):
    """Signs a program with a certificate made for the purpose; False without the tools."""
    if not shutil.which("openssl") or not shutil.which("osslsigncode"):
        print("make_fixtures.py: openssl or osslsigncode missing, no signed fixture",
              file=sys.stderr)
        return False
    with tempfile.TemporaryDirectory() as work:
        key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
        quiet = {"check": True, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                        "-out", cert, "-days", "3650", "-subj", "/CN=Package Test Signer"],
                       **quiet)
        if os.path.exists(signed):
            os.remove(signed)
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", unsigned,
                        "-out", signed], **quiet)
    return True


def write_placements(out, program):
    """The good archive alone, behind a program, as ZIP64, with offsets counted from the file's
    start, with a comment, behind a signed program (the signature after the archive), and
    sealed."""
    write(out, "good.zip", good_archive())
    write(out, "appended.exe", program + good_archive())
    write(out, "good64.zip", good_archive(zip64=True))
    write(out, "appended64.exe", program + good_archive(zip64=True))
    write(out, "absolute.exe", program + good_archive(base=len(program)))
    write(out, "absolute64.exe", program + good_archive(zip64=True, base=len(program)))
    write(out, "commented.exe", program + good_archive(comment=b"a package comment " * 40))
    write(out, "sealed.exe", sealed(program, good_zip()))
    write(out, "sealed64.exe", sealed(program, good_zip(zip64=True)))
    sign(os.path.join(out, "appended.exe"), os.path.join(out, "signed.exe"))
    sign(os.path.join(out, "appended64.exe"), os.path.join(out, "signed64.exe"))


def central_entry(name, method, crc, csize, size, offset, flags=0):
    dtime, ddate = dos_time(MEMBER_TIME)
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method, dtime, ddate, crc,
                       csize, size, len(name), 0, 0, 0, 0, 0, offset) + name


def local_entry(name, method, crc, csize, size, extra=b"", flags=0):
    dtime, ddate = dos_time(MEMBER_TIME)
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, dtime, ddate, crc, csize,
                       size, len(name), len(extra)) + name + extra


def end_record(count, directory_size, directory_offset):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, directory_size,
                       directory_offset, 0)


def write_lying_archives(out):
    """Archives whose central directory claims what the file does not hold."""
    # 200 entries pointing at one local entry of 5 MB of zeros (about 5 KB deflated): 1 GB.
    payload = bytes(5 * 1024 * 1024)
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    raw = compressor.compress(payload) + compressor.flush()
    crc = zlib.crc32(payload) & 0xFFFFFFFF
    data = local_entry(b"bomb/0.bin", 8, crc, len(raw), len(payload)) + raw
    central = b"".join(central_entry(b"bomb/%d.bin" % i, 8, crc, len(raw), len(payload), 0)
                       for i in range(200))
    write(out, "lie_shared_data.zip", data + central + end_record(200, len(central), len(data)))

    # The second member's header lies inside the first member's data.
    first = b"A" * 100
    data = local_entry(b"first.txt", 0, zlib.crc32(first), len(first), len(first)) + first
    central = central_entry(b"first.txt", 0, zlib.crc32(first), len(first), len(first), 0) + \
        central_entry(b"second.txt", 0, zlib.crc32(b"A" * 10), 10, 10, 60)
    write(out, "lie_overlap.zip", data + central + end_record(2, len(central), len(data)))

    # A stored member whose data would run into the central directory.
    body = b"stored body"
    claimed = len(body) + 40
    data = local_entry(b"long.txt", 0, 0, claimed, claimed) + body
    central = central_entry(b"long.txt", 0, 0, claimed, claimed, 0)
    write(out, "lie_into_directory.zip", data + central + end_record(1, len(central), len(data)))

    # A stored member claiming more than the archive holds (1 GB from 4 bytes).
    data = local_entry(b"stored.bin", 0, zlib.crc32(b"tiny"), 4, 1 << 30) + b"tiny"
    central = central_entry(b"stored.bin", 0, zlib.crc32(b"tiny"), 4, 1 << 30, 0)
    write(out, "lie_stored_size.zip", data + central + end_record(1, len(central), len(data)))

    # A deflated member claiming more than deflate can produce from its data.
    payload = b"0123456789" * 100
    compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
    raw = compressor.compress(payload) + compressor.flush()
    claimed = len(raw) * 1032 + 1
    data = local_entry(b"ratio.bin", 8, zlib.crc32(payload), len(raw), claimed) + raw
    central = central_entry(b"ratio.bin", 8, zlib.crc32(payload), len(raw), claimed, 0)
    write(out, "lie_ratio.zip", data + central + end_record(1, len(central), len(data)))

    # End records counting more and fewer entries than the directory holds.
    z = RawZip()
    z.add("one.txt", b"one")
    z.add("two.txt", b"two")
    directory = len(z.data)
    write(out, "lie_count_more.zip",
          bytes(z.data + z.central) + end_record(3, len(z.central), directory))
    write(out, "lie_count_fewer.zip",
          bytes(z.data + z.central) + end_record(1, len(z.central), directory))

    # ZIP64: bytes between the central directory and the end records that the stored directory
    # offset and size do not account for.
    z = RawZip(zip64=True)
    z.add("one.txt", b"one")
    whole = z.bytes()
    directory_end = len(z.data) + len(z.central)
    gap = b"\0" * 8
    end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, len(z.central),
                        len(z.data))
    locator = struct.pack("<IIQI", 0x07064B50, 0, directory_end + len(gap), 1)
    write(out, "lie_gap64.zip", whole[:directory_end] + gap + end64 + locator +
          whole[directory_end + len(end64) + len(locator):])

    # The first member's local extra field pushes its data onto the second member's header,
    # which the central directory alone does not show.
    second = b"second member"
    second_local = local_entry(b"second.txt", 0, zlib.crc32(second), len(second), len(second))
    first_name = b"first.txt"
    first_data = (second_local + second)[:20]
    first_local = local_entry(first_name, 0, zlib.crc32(first_data), len(first_data),
                              len(first_data), extra=struct.pack("<HH", 0x7A7A, 96) + b"\0" * 96)
    data = first_local + second_local + second
    central = central_entry(first_name, 0, zlib.crc32(first_data), len(first_data),
                            len(first_data), 0) + \
        central_entry(b"second.txt", 0, zlib.crc32(second), len(second), len(second),
                      len(first_local))
    write(out, "lie_local_extra.zip", data + central + end_record(2, len(central), len(data)))


def write_untrusted_members(out):
    """One stored member each whose data the reader must not hand out: encrypted, or with a
    local header that does not repeat its central entry (method, name length, CRC)."""
    body = b"member data"
    crc = zlib.crc32(body)
    name = b"m.txt"
    cases = {
        "encrypted.zip": (local_entry(name, 0, crc, len(body), len(body), flags=1), 1),
        "local_method.zip": (local_entry(name, 8, crc, len(body), len(body)), 0),
        "local_name.zip": (local_entry(b"mm.txt", 0, crc, len(body), len(body)), 0),
        "local_crc.zip": (local_entry(name, 0, crc ^ 1, len(body), len(body)), 0),
    }
    for archive, (local, flags) in cases.items():
        data = local + body
        central = central_entry(name, 0, crc, len(body), len(body), 0, flags=flags)
        write(out, archive, data + central + end_record(1, len(central), len(data)))


def write_replacing_archives(out):
    """Members that fail only at their end, for replacing existing files."""
    z = RawZip()
    z.add("keep.txt", b"new content with a wrong checksum", method=8, crc=0x12345678)
    write(out, "replace_badcrc.zip", z.bytes())
    z = RawZip()
    z.add("keep.txt", b"new content", method=8)
    write(out, "replace_good.zip", z.bytes())


def main():
    out, exe_prefix = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    good = good_archive()
    with open(exe_prefix, "rb") as f:
        write_placements(out, f.read())
    write_lying_archives(out)
    write_untrusted_members(out)
    write_replacing_archives(out)
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

    # Names whose second bytes differ only as ASCII letters would: ヂ is 0x83 0x61, ア 0x83 0x41.
    z = RawZip()
    z.add("ヂ.txt", b"the other kana")
    z.add("ア.txt", b"kana a")
    write(out, "kana.zip", z.bytes())

    # A name with a zero byte inside.
    z = RawZip()
    z.add(b"a\0b.txt", b"never written")
    write(out, "zeroname.zip", z.bytes())

    # Two members with one file name in different folders.
    z = RawZip()
    z.add("one/same.txt", b"first")
    z.add("two/same.txt", b"second")
    write(out, "samename.zip", z.bytes())


if __name__ == "__main__":
    main()
