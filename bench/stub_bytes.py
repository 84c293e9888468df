#!/usr/bin/env python3
# What an exe's bytes are made of: sums the loaded input sections of a GNU ld map file by library
# and by object, so the biggest parts of the stub can be named and cut.
#   stub_bytes.py MAP [--objects N] [--by-section]
# Debug sections are left out (they never ship); .bss is left out (it takes no file bytes).
import argparse
import collections
import os
import re
import sys

# "<input section> <address> <size> <file>", the input section name sometimes alone on the
# line before (when it is long).
ENTRY = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
OUTPUT_SECTION = re.compile(r"^(\.[A-Za-z_$.]+)\s")
SKIPPED = (".debug", ".zdebug", ".bss", ".stab")


def owner(path):
    """("library", "object") for an input file: the archive and its member, or the object."""
    match = re.match(r"^(.*)\((.*)\)$", path)
    if match:
        return os.path.basename(match.group(1)), match.group(2)
    return "(objects)", os.path.basename(path)


def read_map(path):
    """Yields (output section, library, object, size) for every loaded input section."""
    in_memory_map = False
    section = None
    pending_name = None
    with open(path, encoding="utf-8", errors="replace") as text:
        for line in text:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_memory_map = True
                continue
            if not in_memory_map:
                continue
            heading = OUTPUT_SECTION.match(line)
            if heading:
                section = heading.group(1)
                continue
            if section is None or section.startswith(SKIPPED):
                continue
            stripped = line.strip()
            if line.startswith(" .") and len(stripped.split()) == 1:
                pending_name = stripped  # the address, size and file follow on the next line
                continue
            match = ENTRY.match(line)
            if not match:
                pending_name = None
                continue
            name = match.group(1) or pending_name
            pending_name = None
            size = int(match.group(3), 16)
            file_name = match.group(4).strip()
            if name is None or size == 0 or file_name.startswith("*"):
                continue
            library, obj = owner(file_name)
            yield section, library, obj, size


def kib(size):
    return f"{size / 1024:8.1f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("map")
    parser.add_argument("--objects", type=int, default=25, help="objects listed (default 25)")
    parser.add_argument("--by-section", action="store_true",
                        help="also split each library's bytes by output section")
    args = parser.parse_args()

    by_library = collections.Counter()
    by_object = collections.Counter()
    by_section = collections.Counter()
    by_library_section = collections.defaultdict(collections.Counter)
    for section, library, obj, size in read_map(args.map):
        by_library[library] += size
        by_object[(library, obj)] += size
        by_section[section] += size
        by_library_section[library][section] += size
    total = sum(by_library.values())
    if total == 0:
        sys.exit(f"{args.map}: no loaded sections found (not a GNU ld map?)")

    print(f"loaded bytes (without debug sections and .bss): {total / 1024:.1f} KiB")
    print("\nby output section")
    for section, size in by_section.most_common():
        print(f"  {kib(size)} KiB  {section}")
    print("\nby library")
    for library, size in by_library.most_common():
        line = f"  {kib(size)} KiB  {100 * size / total:5.1f} %  {library}"
        if args.by_section:
            parts = by_library_section[library].most_common(4)
            line += "   (" + ", ".join(f"{s} {v / 1024:.1f}" for s, v in parts) + ")"
        print(line)
    print(f"\nlargest {args.objects} objects")
    for (library, obj), size in by_object.most_common(args.objects):
        print(f"  {kib(size)} KiB  {library}({obj})")


if __name__ == "__main__":
    main()
