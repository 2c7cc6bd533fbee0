#!/usr/bin/env python3
"""Fails when a built file holds either record signature.

The launcher finds its archive by searching its own file for the signatures; were
they stored as such in the program, the search would stop inside the program's own
image. Every hit is printed with its file and offset (for a static library, the
object that holds it too); the exit code is 1 on any hit, 2 on a file that cannot be
read, else 0.

usage: scan_signatures.py FILE...
"""

import sys

# Spelled as sums so that this script, scanned by itself, is no hit either.
SIGNATURES = {
    "entry header": bytes([0x67, 0x57, 0x04, 0x00 + 1]),
    "archive header": bytes([0x67, 0x57, 0x04, 0x00 + 2]),
}

AR_MAGIC = b"!<arch>\n"
AR_HEADER_SIZE = 60


def member_names(data):
    """(start, end, name) of each member of a Unix archive (.a), GNU and BSD names."""
    members = []
    long_names = b""
    pos = len(AR_MAGIC)
    while pos + AR_HEADER_SIZE <= len(data):
        header = data[pos:pos + AR_HEADER_SIZE]
        name = header[0:16].decode("latin-1").rstrip()
        try:
            size = int(header[48:58].decode("ascii").strip())
        except ValueError:
            break
        start = pos + AR_HEADER_SIZE
        body = start
        if name == "//":
            long_names = data[start:start + size]
        elif name.startswith("#1/"):  # BSD: the name leads the member's data
            length = int(name[3:])
            name = data[start:start + length].decode("latin-1").rstrip("\0")
            body = start + length
        elif name.startswith("/") and name[1:].isdigit() and long_names:
            offset = int(name[1:])
            end = long_names.find(b"\n", offset)
            name = long_names[offset:end if end >= 0 else None].decode("latin-1").rstrip("/")
        else:
            name = name.rstrip("/") or "(symbol table)"
        members.append((body, start + size, name))
        pos = start + size + (size & 1)
    return members


def scan(path):
    """Prints every hit in the file at path; returns how many there were."""
    with open(path, "rb") as f:
        data = f.read()
    members = member_names(data) if data.startswith(AR_MAGIC) else []
    hits = 0
    for label, signature in SIGNATURES.items():
        at = data.find(signature)
        while at >= 0:
            where = ""
            for start, end, name in members:
                if start <= at < end:
                    where = " (%s, offset %d)" % (name, at - start)
                    break
            print("%s: offset %d%s: %s signature %s" % (path, at, where, label, signature.hex(" ")))
            hits += 1
            at = data.find(signature, at + 1)
    return hits


def main(paths):
    if not paths:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    hits = 0
    for path in paths:
        try:
            hits += scan(path)
        except OSError as error:
            print("%s: %s" % (path, error.strerror), file=sys.stderr)
            return 2
    if hits:
        print("%d signature(s) found" % hits)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
