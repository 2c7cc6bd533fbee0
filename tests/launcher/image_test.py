#!/usr/bin/env python3
"""The launcher's own image: it must hold neither record signature (the launcher finds
its archive by searching its own file from the first byte), and, for the Windows
program, import nothing but DLLs of the system, so that no DLL lying beside a
downloaded show is loaded by the import table.

usage: image_test.py PROGRAM [--any-machine] [--max-bytes N] [--objects DIR --objdump OBJDUMP]

--any-machine: the 64-bit test build (run under 64-bit Wine where 32-bit programs cannot
run) is not held to the product's 32-bit x86 image.
--max-bytes: the program may be no larger (every show carries it).
--objects: the folder of the program's compiled objects. Their code must do no arithmetic
in the x87 unit, whose 80-bit registers give other results than the other builds'
double arithmetic; loads, stores and the conversion to a 64-bit integer go through it
exactly and are allowed. (The objects, not the program: its code section also holds
exception tables, which read as instructions.)
"""

import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from scan_signatures import scan  # noqa: E402

# DLLs that are part of every Windows installation and loaded from the system folder.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "msvcrt.dll", "advapi32.dll"}


def imported_dlls(path):
    import pefile

    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
                                           pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
    names = [e.dll.decode("ascii").lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    names += [e.dll.decode("ascii").lower() for e in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    return pe, names


X87_ARITHMETIC = re.compile(
    r"^(fi?(add|sub|subr|mul|div|divr)[a-z]*|fsqrt|fprem1?|frndint|fscale|fsin|fcos|fsincos|fptan|fpatan|"
    r"f2xm1|fyl2xp?1?)$")


def x87_arithmetic(objdump, folder):
    """The x87 arithmetic instructions in the objects under folder, and how many objects."""
    objects = sorted(os.path.join(d, f) for d, _, files in os.walk(folder) for f in files if f.endswith(".obj"))
    found = []
    for path in objects:
        listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], check=True, capture_output=True,
                                 text=True).stdout
        for line in listing.splitlines():
            parts = line.split("\t")
            if len(parts) >= 2 and parts[0].strip().endswith(":") and parts[1].split():
                if X87_ARITHMETIC.match(parts[1].split()[0]):
                    found.append("%s %s" % (os.path.basename(path), parts[1].strip()))
    return found, len(objects)


def main(argv):
    parser = argparse.ArgumentParser(description="Checks the launcher's image.")
    parser.add_argument("program")
    parser.add_argument("--any-machine", action="store_true")
    parser.add_argument("--max-bytes", type=int)
    parser.add_argument("--objects")
    parser.add_argument("--objdump", default="objdump")
    args = parser.parse_args(argv[1:])
    path = args.program
    failures = 0
    if scan(path) != 0:
        failures += 1
    size = os.path.getsize(path)
    if args.max_bytes is not None and size > args.max_bytes:
        print("%d bytes: larger than %d" % (size, args.max_bytes))
        failures += 1
    if args.objects:
        found, count = x87_arithmetic(args.objdump, args.objects)
        if count == 0:
            print("no objects under %s" % args.objects)
            failures += 1
        if found:
            print("arithmetic in the x87 unit (%d instructions), first: %s" % (len(found), "; ".join(found[:5])))
            failures += 1
    with open(path, "rb") as f:
        is_pe = f.read(2) == b"MZ"
    if is_pe:
        pe, dlls = imported_dlls(path)
        print("%s: %d bytes, imports %s" % (os.path.basename(path), size, ", ".join(dlls)))
        strange = [d for d in dlls if d not in SYSTEM_DLLS]
        if strange:
            print("imports from DLLs that are not the system's: %s" % ", ".join(strange))
            failures += 1
        if not args.any_machine and (pe.FILE_HEADER.Machine != 0x14C or pe.OPTIONAL_HEADER.Magic != 0x10B):
            print("not a 32-bit x86 program")
            failures += 1
    print("image: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
