"""The archive format by hand: records written and read by the format description's
rules, not by the tool's code, so that a mistake made in both cannot pass unseen; the
outside decoder Crushed data is checked against; and a stand-in for the launcher
program that shows are built on."""

import shutil
import struct
import zlib

ENTRY_SIG = b"\x67\x57\x04\x01"
ARCHIVE_SIG = b"\x67\x57\x04\x02"

MTIME = 1600000000  # 2020-09-13 12:26:40 UTC


def entry(name, data=b"", method=1, csize=None, usize=None, mtime=MTIME, mode=0x81B6, case=16, flags=2,
          volume=0, extra=b"", made=0x31, needed=0x12, name_length=None):
    """One entry header record and its data, as the format describes them."""
    if isinstance(name, str):
        name = name.encode("latin-1")
    csize = len(data) if csize is None else csize
    usize = len(data) if usize is None else usize
    nlen = len(name) if name_length is None else name_length
    lead = ENTRY_SIG + bytes([made, needed]) + struct.pack("<H", nlen)
    block = struct.pack("<IHHHIII", mtime, mode, 0, 0, csize, usize, 0)
    block += bytes([method, case, flags, 0, volume, 0, 0, 0, 0]) + struct.pack("<H", len(extra))
    assert len(block) == 33
    return lead + name + block + extra + data


def end_record():
    return entry(b"", method=1)


def archive_header(total=0):
    return ARCHIVE_SIG + struct.pack("<IHH", total, 0, 0)


def parse_archive(data, start=0):
    """The entries of an archive read by the format's rules; the last item is None when
    the walk reached the end-of-archive record exactly at the end of the data."""
    pos = start
    entries = []
    while True:
        assert data[pos:pos + 4] == ENTRY_SIG, "no entry signature at %d" % pos
        nlen = struct.unpack_from("<H", data, pos + 6)[0]
        name = data[pos + 8:pos + 8 + nlen]
        b = pos + 8 + nlen
        mtime, mode, _, _, csize, usize, _ = struct.unpack_from("<IHHHIII", data, b)
        method, case, flags = data[b + 22], data[b + 23], data[b + 24]
        volume = data[b + 26]
        extra = struct.unpack_from("<H", data, b + 31)[0]
        body = b + 33 + extra
        if nlen == 0:
            assert body == len(data), "end record at %d is not the end (%d)" % (body, len(data))
            entries.append(None)
            return entries
        entries.append(dict(name=name.decode("latin-1"), mtime=mtime, mode=mode, csize=csize, usize=usize,
                            method=method, case=case, flags=flags, volume=volume, made=data[pos + 4],
                            needed=data[pos + 5], data=data[body:body + csize], offset=pos,
                            extra=data[b + 33:body], data_offset=body))
        pos = body + csize


def checksum_field(data, length=4):
    """The extra bytes' checksum field as the format describes it: id "CK", length 4,
    the CRC-32 of zip and gzip (taken from Python's zlib) of the uncompressed bytes."""
    return b"CK" + struct.pack("<H", length) + struct.pack("<I", zlib.crc32(data)) + bytes(length - 4)


def folder_times_field(times):
    """The folder-times field: id "FT", 4 bytes a time, outermost folder first."""
    return b"FT" + struct.pack("<H", 4 * len(times)) + b"".join(struct.pack("<i", t) for t in times)


def lha_crc16(data):
    crc = 0
    table = []
    for i in range(256):
        c = i
        for _ in range(8):
            c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
        table.append(c)
    for byte in data:
        crc = (crc >> 8) ^ table[(crc ^ byte) & 0xFF]
    return crc


def lha_level0(name, method, packed, original):
    rest = method + struct.pack("<III", len(packed), len(original), 0x58210000) + bytes([0x20, 0])
    rest += bytes([len(name)]) + name + struct.pack("<H", lha_crc16(original))
    return bytes([len(rest), sum(rest) & 0xFF]) + rest + packed + b"\x00"


# A decoder of the LHA family: it reads Crushed data as -lh4-.
LHASA = shutil.which("lhasa")

STUB_MAX = 4000000 - 12 - 4  # the entry signature behind a 12-byte header must end within 4,000,000 bytes
PE_AT = 64                   # where tiny_pe puts its PE header
CERT_DIRECTORY = PE_AT + 24 + 96 + 4 * 8
CHECKSUM = PE_AT + 24 + 64


def tiny_pe(machine=0x14C, magic=0x10B, characteristics=0x0102, cert=None, pad=0, pe_at=PE_AT):
    """A stand-in for the launcher: a 1024-byte PE32 program (one section holding a
    'ret'), pad zero bytes behind its sections, and with cert a certificate table there,
    pointed at by the security directory."""
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, pe_at)
    coff = struct.pack("<HHIIIHH", machine, 1, 0, 0, 0, 224, characteristics)
    opt = bytearray(224)
    # magic, linker version, code size, data sizes, entry point, code base, data base, image base
    struct.pack_into("<HBBIIIIIII", opt, 0, magic, 14, 0, 0x200, 0, 0, 0x1000, 0x1000, 0x2000, 0x400000)
    # alignments, versions, image and header sizes, checksum, subsystem 3 (console), stack and
    # heap sizes, loader flags, 16 data directories
    struct.pack_into("<IIHHHHHHIIIIHHIIIIII", opt, 32, 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x2000, 0x200, 0, 3,
                     0, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    section = b".text\0\0\0" + struct.pack("<IIIIIIHHI", 0x1000, 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x60000020)
    headers = bytes(dos) + bytes(pe_at - 64) + b"PE\0\0" + coff + bytes(opt) + section
    image = bytearray(headers + bytes(0x200 - len(headers)) + b"\xC3" + bytes(0x1FF + pad))
    if cert is not None:
        struct.pack_into("<II", image, pe_at + 24 + 128, len(image), len(cert))
        image += cert
    return bytes(image)
