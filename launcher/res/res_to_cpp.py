#!/usr/bin/env python3
"""Turns a compiled resource file (.res) into a C++ source holding its bytes.

    res_to_cpp.py INPUT.res OUTPUT.cpp

The source defines exactly

    extern const unsigned char g_resourceImage[];
    extern const unsigned g_resourceImageSize;

so that a build without the platform's resource loader (the native stand-in of the
framework) can read the same dialog template and strings as the real program. The file's
layout is checked first, and a malformed one stops the build rather than reaching the
reader. Standard library only.

Format notes (a 32-bit .res file, every integer little-endian):

    entry   DataSize u32, HeaderSize u32,
            TYPE, NAME: each 0xFFFF then a u16 id, or a NUL-terminated UTF-16 string,
            zero padding to a 4-byte boundary,
            DataVersion u32, MemoryFlags u16, LanguageId u16, Version u32, Characteristics u32,
            DataSize bytes of data, zero padding to a 4-byte boundary.

The first entry is empty: DataSize 0, HeaderSize 32, type and name id 0, which tells a
32-bit .res from a 16-bit one.
"""

import struct
import sys

EMPTY_FIRST_ENTRY = struct.pack("<II", 0, 32) + b"\xff\xff\x00\x00\xff\xff\x00\x00" + bytes(16)
BYTES_PER_LINE = 16


class ResError(Exception):
    pass


def align4(offset):
    return (offset + 3) & ~3


def read_name(data, offset, end):
    """Reads a TYPE or NAME field; returns (id or string, offset after it)."""
    if offset + 4 > end:
        raise ResError(f"name field at {offset:#x} runs past its header")
    (first,) = struct.unpack_from("<H", data, offset)
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    chars = []
    while True:
        if offset + 2 > end:
            raise ResError(f"unterminated name in the header at {offset:#x}")
        (unit,) = struct.unpack_from("<H", data, offset)
        offset += 2
        if unit == 0:
            return "".join(chars), offset
        chars.append(chr(unit))


def check_layout(data):
    """Returns the (type, name, language, size) of every entry after the empty first one."""
    if data[: len(EMPTY_FIRST_ENTRY)] != EMPTY_FIRST_ENTRY:
        raise ResError("does not start with the empty 32-byte entry of a 32-bit .res file")
    entries = []
    offset = len(EMPTY_FIRST_ENTRY)
    while offset < len(data):
        if offset % 4:
            raise ResError(f"entry at {offset:#x} is not on a 4-byte boundary")
        if offset + 8 > len(data):
            raise ResError(f"entry at {offset:#x} is cut short")
        data_size, header_size = struct.unpack_from("<II", data, offset)
        header_end = offset + header_size
        if header_size < 32 or header_size % 4 or header_end > len(data):
            raise ResError(f"entry at {offset:#x} has a bad header size {header_size}")
        kind, position = read_name(data, offset + 8, header_end)
        name, position = read_name(data, position, header_end)
        position = align4(position)
        if position + 16 != header_end:
            raise ResError(f"entry at {offset:#x}: its header size {header_size} disagrees with its fields")
        (language,) = struct.unpack_from("<H", data, position + 6)
        if header_end + data_size > len(data):
            raise ResError(f"entry at {offset:#x} holds {data_size} bytes, more than the file has left")
        entries.append((kind, name, language, data_size))
        offset = align4(header_end + data_size)
    if offset != len(data):
        raise ResError("the last entry's padding runs past the end of the file")
    return entries


def cpp_source(data, source_name):
    lines = [
        f"// Generated from {source_name} by res_to_cpp.py at build time: do not edit.",
        "",
        "extern const unsigned char g_resourceImage[];",
        "extern const unsigned g_resourceImageSize;",
        "",
        "// Aligned as the file is: every entry of the image starts on a 4-byte boundary.",
        "alignas(4) const unsigned char g_resourceImage[] = {",
    ]
    for start in range(0, len(data), BYTES_PER_LINE):
        chunk = data[start : start + BYTES_PER_LINE]
        lines.append("    " + " ".join(f"0x{byte:02x}," for byte in chunk))
    lines += ["};", "", "const unsigned g_resourceImageSize = sizeof g_resourceImage;", ""]
    return "\n".join(lines)


def main(argv):
    if len(argv) != 3:
        print("usage: res_to_cpp.py INPUT.res OUTPUT.cpp", file=sys.stderr)
        return 2
    try:
        with open(argv[1], "rb") as res:
            data = res.read()
        check_layout(data)
    except (OSError, ResError) as error:
        print(f"res_to_cpp.py: {argv[1]}: {error}", file=sys.stderr)
        return 1
    with open(argv[2], "w", encoding="ascii") as output:
        output.write(cpp_source(data, argv[1].replace("\\", "/").rsplit("/", 1)[-1]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
