#!/usr/bin/env python3
"""Checks what a linked 32-bit exe imports: fails when it imports at start a DLL outside the
allowed list, or when an entry of its delay-import tables would send the first call nowhere.

Usage: check_imports.py EXE ALLOWED[,ALLOWED...]   (DLL names without ".dll", any case)

Run by check_start_imports() (cmake/delay_load.cmake) after each link. With --list, prints the
DLLs imported at start and the delay-loaded ones instead of checking.
"""
import struct
import sys

IMPORT_DIRECTORY = 1
DELAY_IMPORT_DIRECTORY = 13


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: not a PE image")
        sections, self.symbol_table, self.symbol_count, optional_size = struct.unpack_from(
            "<H4xIIH", self.data, pe + 6)
        optional = pe + 24
        if struct.unpack_from("<H", self.data, optional)[0] != 0x10B:
            raise ValueError(f"{path}: not a 32-bit image")
        self.image_base = struct.unpack_from("<I", self.data, optional + 28)[0]
        self.image_size = struct.unpack_from("<I", self.data, optional + 56)[0]
        self.directories = [struct.unpack_from("<II", self.data, optional + 96 + 8 * i)
                            for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", self.data, table + 40 * i + 8)
            self.sections.append((address, max(size, raw_size), raw))

    def symbols(self):
        """(name, RVA) of the COFF symbol table's symbols in sections (present until the exe is
        stripped)."""
        strings = self.symbol_table + 18 * self.symbol_count
        index = 0
        while index < self.symbol_count:
            entry = self.symbol_table + 18 * index
            raw_name, value, section, _, _, aux = struct.unpack_from("<8sIhHBB", self.data, entry)
            if raw_name[:4] == b"\0\0\0\0":
                start = strings + struct.unpack_from("<I", raw_name, 4)[0]
                name = self.data[start:self.data.index(b"\0", start)]
            else:
                name = raw_name.rstrip(b"\0")
            if 0 < section <= len(self.sections):
                yield name.decode("ascii", "replace"), self.sections[section - 1][0] + value
            index += 1 + aux

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} is in no section")

    def dword(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")


def start_imports(image):
    rva, _ = image.directories[IMPORT_DIRECTORY]
    names = []
    while rva and image.dword(rva + 12):
        names.append(image.text(image.dword(rva + 12)))
        rva += 20
    return names


def delay_descriptors(image):
    """RVAs of the delay-import descriptors. GNU ld leaves the header's delay-import directory
    empty (the loading stub hands its descriptor to the helper itself), so they are found by
    the symbols dlltool gives them."""
    rva, _ = image.directories[DELAY_IMPORT_DIRECTORY]
    if rva:
        while image.dword(rva + 4):
            yield rva
            rva += 32
        return
    if not image.symbol_table:
        raise ValueError("no symbols to find the delay-import descriptors by: check the exe "
                         "before it is stripped")
    for name, rva in image.symbols():
        if name.startswith("__DELAY_IMPORT_DESCRIPTOR_"):
            yield rva


def delay_imports(image):
    """(DLL name, [(function entry, address the first call goes to)])."""
    result = []
    for rva in delay_descriptors(image):
        # Attribute bit 0: the descriptor holds RVAs; otherwise addresses.
        relative = image.dword(rva) & 1
        base = 0 if relative else image.image_base
        name = image.text(image.dword(rva + 4) - base)
        address_table = image.dword(rva + 12) - base
        name_table = image.dword(rva + 16) - base
        entries = []
        index = 0
        while image.dword(name_table + 4 * index):
            entries.append((index, image.dword(address_table + 4 * index)))
            index += 1
        result.append((name, entries))
    return result


def main():
    args = sys.argv[1:]
    listing = "--list" in args
    args = [a for a in args if a != "--list"]
    if len(args) != (1 if listing else 2):
        sys.exit(__doc__)
    image = Image(args[0])
    if listing:
        print("imported at start:", ", ".join(start_imports(image)))
        print("delay-loaded:", ", ".join(name for name, _ in delay_imports(image)) or "none")
        return
    allowed = {name.strip().lower() for name in args[1].split(",")}
    problems = []
    unexpected = [name for name in start_imports(image)
                  if name.lower().removesuffix(".dll") not in allowed]
    if unexpected:
        problems.append(
            f"imports {', '.join(unexpected)} at start: add the DLL to DELAY_LOADED_DLLS in "
            "cmake/delay_load.cmake, so that it is loaded from the system folder when first "
            "used")
    low, high = image.image_base, image.image_base + image.image_size
    for name, entries in delay_imports(image):
        broken = [index for index, target in entries if not low <= target < high]
        if broken:
            # GNU ld drops the loading stub of a delay-import entry that code reaches only
            # through __imp_ (a dllimport declaration); the first call then jumps to nowhere.
            problems.append(
                f"delay-import entries {broken} of {name} lead nowhere: the caller was compiled "
                "with a dllimport declaration (it must see DECLSPEC_IMPORT defined empty, as "
                "installer_core's users do)")
    for problem in problems:
        print(f"{args[0]}: {problem}", file=sys.stderr)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
