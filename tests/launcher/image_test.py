#!/usr/bin/env python3
"""The launcher's own image: it must hold neither record signature (the launcher finds
its archive by searching its own file from the first byte), and, for the Windows
program, import nothing but DLLs of the system, so that no DLL lying beside a
downloaded show is loaded by the import table.

usage: image_test.py PROGRAM [--any-machine]

--any-machine: the 64-bit test build (run under 64-bit Wine where 32-bit programs cannot
run) is not held to the product's 32-bit x86 image.
"""

import os
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


def main(argv):
    if len(argv) not in (2, 3) or (len(argv) == 3 and argv[2] != "--any-machine"):
        print("usage: image_test.py PROGRAM [--any-machine]", file=sys.stderr)
        return 2
    path = argv[1]
    any_machine = len(argv) == 3
    failures = 0
    if scan(path) != 0:
        failures += 1
    with open(path, "rb") as f:
        is_pe = f.read(2) == b"MZ"
    if is_pe:
        pe, dlls = imported_dlls(path)
        print("%s: %d bytes, imports %s" % (os.path.basename(path), os.path.getsize(path), ", ".join(dlls)))
        strange = [d for d in dlls if d not in SYSTEM_DLLS]
        if strange:
            print("imports from DLLs that are not the system's: %s" % ", ".join(strange))
            failures += 1
        if not any_machine and (pe.FILE_HEADER.Machine != 0x14C or pe.OPTIONAL_HEADER.Magic != 0x10B):
            print("not a 32-bit x86 program")
            failures += 1
    print("image: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
