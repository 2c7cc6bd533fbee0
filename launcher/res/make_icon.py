#!/usr/bin/env python3
"""Writes the launcher's icon file (.ico) from its text source (Vardok.icon.txt).

    make_icon.py SOURCE.txt OUTPUT.ico

Every image is 4 bits per pixel with the source's 16-colour palette, as the icon group
must hold. Standard library only; runs at build time.

Format notes (what the resource compiler expects of an .ico):

    ICONDIR        reserved 0, type 1 (icon), count             3 x u16
    ICONDIRENTRY   width, height, colours (16), reserved          4 x u8
                   planes 1, bits per pixel 4                     2 x u16
                   bytes of the image, offset of the image        2 x u32
    image          BITMAPINFOHEADER (40 bytes) whose height is twice the icon's,
                   because the colour (XOR) rows and the mask (AND) rows are stacked;
                   16 palette entries as B, G, R, 0;
                   XOR rows, 4 bpp, bottom row first, each padded to 4 bytes;
                   AND rows, 1 bpp (1 = transparent), bottom row first, padded to 4 bytes.

A 32x32 image takes 40 + 64 + 32 * 16 + 32 * 4 = 744 bytes, a 16x16 one 296.
"""

import struct
import sys

PALETTE_COLOURS = 16
BITS_PER_PIXEL = 4
BITMAPINFOHEADER_SIZE = 40
ICONDIR_SIZE = 6
ICONDIRENTRY_SIZE = 16
TRANSPARENT = "."


class SourceError(Exception):
    pass


def parse_source(text):
    """Returns (palette, images): palette a list of 16 (r, g, b), images a list of row lists."""
    palette = {}
    images = []
    current = None  # rows of the image being read, and its size
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        words = line.split()
        if words[0] == "palette":
            if len(words) != 3 or len(words[1]) != 1 or len(words[2]) != 6:
                raise SourceError(f"line {number}: expected 'palette INDEX RRGGBB'")
            index = int(words[1], 16)
            if index in palette:
                raise SourceError(f"line {number}: palette index {words[1]} given twice")
            palette[index] = tuple(bytes.fromhex(words[2]))
        elif words[0] == "image":
            if len(words) != 2 or not words[1].isdigit() or int(words[1]) not in (16, 32, 48):
                raise SourceError(f"line {number}: expected 'image 16', 'image 32' or 'image 48'")
            current = (int(words[1]), [])
            images.append(current)
        else:
            if current is None:
                raise SourceError(f"line {number}: pixel row before any 'image' line")
            size, rows = current
            if len(line) != size:
                raise SourceError(f"line {number}: row of {len(line)} pixels in a {size}x{size} image")
            if len(rows) == size:
                raise SourceError(f"line {number}: more than {size} rows in a {size}x{size} image")
            for pixel in line:
                if pixel != TRANSPARENT and pixel not in "0123456789ABCDEFabcdef":
                    raise SourceError(f"line {number}: pixel {pixel!r} is neither a palette index nor '.'")
            rows.append(line)
    if sorted(palette) != list(range(PALETTE_COLOURS)):
        raise SourceError(f"the palette must give exactly the indexes 0 to F, got {len(palette)}")
    if not images:
        raise SourceError("no image")
    for size, rows in images:
        if len(rows) != size:
            raise SourceError(f"the {size}x{size} image has {len(rows)} rows")
    return [palette[i] for i in range(PALETTE_COLOURS)], images


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def encode_image(size, rows, palette):
    colour_rows = []
    mask_rows = []
    for row in reversed(rows):  # bitmaps are stored bottom-up
        indexes = [0 if p == TRANSPARENT else int(p, 16) for p in row]
        colour = bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, size, 2))
        mask_bits = [1 if p == TRANSPARENT else 0 for p in row]
        mask = bytes(
            sum(bit << (7 - j) for j, bit in enumerate(mask_bits[i : i + 8])) for i in range(0, size, 8)
        )
        colour_rows.append(padded(colour))
        mask_rows.append(padded(mask))
    pixels = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack(
        "<IiiHHIIiiII",
        BITMAPINFOHEADER_SIZE,
        size,
        size * 2,  # colour and mask stacked
        1,
        BITS_PER_PIXEL,
        0,  # BI_RGB
        len(pixels),
        0,
        0,
        PALETTE_COLOURS,
        0,
    )
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + pixels


def build_ico(palette, images):
    encoded = [(size, encode_image(size, rows, palette)) for size, rows in images]
    directory = struct.pack("<HHH", 0, 1, len(encoded))
    offset = ICONDIR_SIZE + ICONDIRENTRY_SIZE * len(encoded)
    entries = b""
    for size, data in encoded:
        # A width or height of 256 would be written as 0; ours are all smaller.
        entries += struct.pack(
            "<BBBBHHII", size, size, PALETTE_COLOURS, 0, 1, BITS_PER_PIXEL, len(data), offset
        )
        offset += len(data)
    return directory + entries + b"".join(data for _, data in encoded)


def main(argv):
    if len(argv) != 3:
        print("usage: make_icon.py SOURCE.txt OUTPUT.ico", file=sys.stderr)
        return 2
    try:
        with open(argv[1], encoding="ascii") as source:
            palette, images = parse_source(source.read())
    except (OSError, UnicodeDecodeError, SourceError) as error:
        print(f"make_icon.py: {argv[1]}: {error}", file=sys.stderr)
        return 1
    with open(argv[2], "wb") as output:
        output.write(build_ico(palette, images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
