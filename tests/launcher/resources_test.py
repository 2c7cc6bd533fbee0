#!/usr/bin/python3
"""Checks the launcher's resources, field by field, in a built program or a .res file.

    /usr/bin/python3 resources_test.py Vardok.exe     (read with python3-pefile)
    /usr/bin/python3 resources_test.py Vardok.res     (read by this script)

Every resource is decoded from its bytes by this script and compared with the values
below, which are the ones the program must carry, written out here on their own rather
than taken from the build's sources. From a program, pefile's own reading of the version
block must agree as well. Then the script damages copies of the resources one field at a
time and makes sure each damage is reported, so a checker that passes everything fails.

Exit status 0 when everything holds, 1 with one line per failed check otherwise.
"""

import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON = 3
RT_DIALOG = 5
RT_STRING = 6
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

LANG_EN_US = 0x0409

DIALOG_ID = 131
PROGRESS_ID = 1003
DISK_FULL_ID = 102
ICON_GROUP_ID = 128
MANIFEST_ID = 1
VERSION_ID = 1
STRINGS_PER_BLOCK = 16
DISK_FULL_BLOCK = DISK_FULL_ID // STRINGS_PER_BLOCK + 1

DISK_FULL_TEXT = "There is not enough room on the drive to run the Tarnby."
VERSION = "14.0.0.755"
VERSION_LS = (0 << 16) | 755  # the fixed part's second dword of 14.0.0.755

EXPECTED_DIALOG = {
    "template kind": "DIALOG",
    "style": 0x90C000C0,  # WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT
    "extended style": 0,
    "x": 0,
    "y": 0,
    "width": 186,
    "height": 28,
    "menu": "none",
    "window class": "none",
    "caption": "Preparing Tarnby",
    "font size": 8,
    "font face": "MS Shell Dlg",
    "controls": 1,
    "bytes after the controls": 0,
}

EXPECTED_CONTROL = {
    "style": 0x50800000,  # WS_CHILD | WS_VISIBLE | WS_BORDER, no bar-specific bits
    "extended style": 0,
    "x": 7,
    "y": 7,
    "width": 172,
    "height": 14,
    "id": PROGRESS_ID,
    "class bytes": "msctls_progress32".encode("utf-16-le") + b"\0\0",
    "text": "Progress1",
    "creation data bytes": 0,
}

# The launcher's messages, one block: a launch that starts no player always says why.
EXPECTED_STRINGS = {
    DISK_FULL_ID: DISK_FULL_TEXT,
    103: "This file is damaged or holds no Tarnby to run.",
    104: "The Tarnby's player could not be started.",
    105: "The temporary folder cannot be used to run the Tarnby.",
}

EXPECTED_VERSION_FIXED = {
    "signature": 0xFEEF04BD,
    "structure version": 0x00010000,
    "file version": VERSION,
    "product version": VERSION,
    "file flags mask": 0x3F,
    "file flags": 0x2,  # VS_FF_PRERELEASE
    "file OS": 0x10004,  # VOS_DOS_WINDOWS32
    "file type": 1,  # VFT_APP
    "file subtype": 0,
    "file date": (0, 0),
}

EXPECTED_VERSION_STRINGS = {
    "FileVersion": VERSION,
    "ProductVersion": VERSION,
    "FileDescription": "Halvex Orvelle Tarnby player",
    "InternalName": "Vardok",
    "OriginalFilename": "Vardok.exe",
    "ProductName": "Orvelle(TM)",
    "LegalTrademarks": "Orvelle(TM)",
    "Revision": "2692",
}

EXPECTED_VERSION = {
    "root key": "VS_VERSION_INFO",
    "string tables": ["040904E4"],
    "translations": [(LANG_EN_US, 1252)],
    "strings": EXPECTED_VERSION_STRINGS,
}

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"

EXPECTED_MANIFEST = {
    "root": ASM_V1 + "assembly",
    "identity": {"name": "Vardok", "version": VERSION, "processorArchitecture": "X86", "type": "win32"},
    "description": "Halvex Orvelle Tarnby player",
    "dependencies": [
        {
            "type": "win32",
            "name": "Microsoft.Windows.Common-Controls",
            "version": "6.0.0.0",
            "processorArchitecture": "X86",
            "publicKeyToken": "6595b64144ccf1df",
            "language": "*",
        }
    ],
    "execution levels": [{"level": "asInvoker", "uiAccess": "false"}],
}

# (width, height, colours, bits per pixel, bytes of the image): 4 bpp images hold a
# 40-byte header, 16 palette entries, colour rows and mask rows, each row padded to 4 bytes.
EXPECTED_ICONS = [(32, 32, 16, 4, 744), (16, 16, 16, 4, 296)]

# Only these resources: no main window, menu, About box, title string or other manifest.
EXPECTED_INVENTORY = {
    (RT_DIALOG, DIALOG_ID),
    (RT_STRING, DISK_FULL_BLOCK),
    (RT_GROUP_ICON, ICON_GROUP_ID),
    (RT_VERSION, VERSION_ID),
    (RT_MANIFEST, MANIFEST_ID),
}


class Malformed(Exception):
    pass


# ---- Reading the resources -----------------------------------------------------------


def resources_of_pe(path):
    """{(type, name, language): bytes} of a program, read with pefile."""
    try:
        import pefile  # Debian's python3-pefile
    except ImportError:
        raise Malformed(f"{sys.executable} has no pefile: run with /usr/bin/python3 (package python3-pefile)")

    pe = pefile.PE(path)
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found, pe
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        kind_key = kind.id if kind.name is None else str(kind.name)
        for name in kind.directory.entries:
            name_key = name.id if name.name is None else str(name.name)
            for language in name.directory.entries:
                entry = language.data.struct
                found[(kind_key, name_key, language.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    return found, pe


def read_res_name(data, offset):
    (first,) = struct.unpack_from("<H", data, offset)
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    text, offset = read_utf16z(data, offset)
    return text, offset


def resources_of_res(data):
    """{(type, name, language): bytes} of a 32-bit .res file, its layout checked on the way."""
    empty = struct.pack("<II", 0, 32) + b"\xff\xff\0\0\xff\xff\0\0" + bytes(16)
    if data[:32] != empty:
        raise Malformed(".res file does not start with the empty 32-byte entry")
    found = {}
    offset = 32
    while offset < len(data):
        if offset % 4 or offset + 8 > len(data):
            raise Malformed(f".res entry at {offset:#x} is misaligned or cut short")
        data_size, header_size = struct.unpack_from("<II", data, offset)
        kind, position = read_res_name(data, offset + 8)
        name, position = read_res_name(data, position)
        position = (position + 3) & ~3
        if position + 16 != offset + header_size:
            raise Malformed(f".res entry at {offset:#x}: header size {header_size} disagrees with its fields")
        (language,) = struct.unpack_from("<H", data, position + 6)
        start = offset + header_size
        if start + data_size > len(data):
            raise Malformed(f".res entry at {offset:#x} runs past the end of the file")
        found[(kind, name, language)] = data[start : start + data_size]
        offset = (start + data_size + 3) & ~3
    if offset != len(data):
        raise Malformed(".res file: the last entry's padding runs past its end")
    return found


# ---- Decoding ------------------------------------------------------------------------


def read_utf16z(data, offset):
    end = offset
    while True:
        if end + 2 > len(data):
            raise Malformed(f"unterminated UTF-16 string at {offset:#x}")
        if data[end : end + 2] == b"\0\0":
            return data[offset:end].decode("utf-16-le"), end + 2
        end += 2


def read_sz_or_ord(data, offset):
    """A dialog's menu, class or title field: (value, raw bytes, offset after it)."""
    (first,) = struct.unpack_from("<H", data, offset)
    if first == 0:
        return "none", data[offset : offset + 2], offset + 2
    if first == 0xFFFF:
        (ordinal,) = struct.unpack_from("<H", data, offset + 2)
        return f"#{ordinal}", data[offset : offset + 4], offset + 4
    text, end = read_utf16z(data, offset)
    return text, data[offset:end], end


def decode_dialog(data):
    """Format notes (DLGTEMPLATE, not the EX form, which starts 01 00 FF FF):
    style u32, extended style u32, item count u16, x y cx cy i16; menu, class, title;
    with DS_SETFONT a point size u16 and a face name; then each item on a 4-byte boundary:
    style u32, extended style u32, x y cx cy i16, id u16, class, title, creation-data
    length u16 and the data."""
    if data[:4] == b"\x01\x00\xff\xff":
        return {"template kind": "DIALOGEX"}, []
    style, ex_style, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    dialog = {
        "template kind": "DIALOG",
        "style": style,
        "extended style": ex_style,
        "x": x,
        "y": y,
        "width": cx,
        "height": cy,
        "controls": count,
    }
    offset = 18
    dialog["menu"], _, offset = read_sz_or_ord(data, offset)
    dialog["window class"], _, offset = read_sz_or_ord(data, offset)
    dialog["caption"], _, offset = read_sz_or_ord(data, offset)
    if style & 0x40:  # DS_SETFONT
        (dialog["font size"],) = struct.unpack_from("<H", data, offset)
        dialog["font face"], offset = read_utf16z(data, offset + 2)
    controls = []
    for _ in range(count):
        offset = (offset + 3) & ~3
        style, ex_style, x, y, cx, cy, ident = struct.unpack_from("<IIhhhhH", data, offset)
        control = {"style": style, "extended style": ex_style, "x": x, "y": y, "width": cx, "height": cy}
        control["id"] = ident
        _, control["class bytes"], offset = read_sz_or_ord(data, offset + 18)
        control["text"], _, offset = read_sz_or_ord(data, offset)
        (extra,) = struct.unpack_from("<H", data, offset)
        control["creation data bytes"] = extra
        offset += 2 + extra
        controls.append(control)
    # At most the padding of the last item may follow it.
    trailing = data[offset:]
    padding_only = len(trailing) < 4 and not trailing.strip(b"\0")
    dialog["bytes after the controls"] = 0 if padding_only else len(trailing)
    return dialog, controls


def decode_string_block(data):
    """16 counted UTF-16 strings, empty ones as a zero count."""
    strings = []
    offset = 0
    for _ in range(STRINGS_PER_BLOCK):
        (length,) = struct.unpack_from("<H", data, offset)
        strings.append(data[offset + 2 : offset + 2 + 2 * length].decode("utf-16-le"))
        offset += 2 + 2 * length
    return strings, len(data) - offset


def read_version_node(data, offset):
    """One VS_VERSIONINFO-style node: length, value length, type (1 text, 0 binary), key,
    padding, value, padding, children, all within length bytes of the node's start."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    if length < 6 or end > len(data):
        raise Malformed(f"version node at {offset:#x} has a bad length {length}")
    key, position = read_utf16z(data, offset + 6)
    position = (position + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[position : position + value_bytes]
    position = (position + value_bytes + 3) & ~3
    children = []
    while position < end:
        child, position = read_version_node(data, position)
        children.append(child)
        position = (position + 3) & ~3
    return {"key": key, "type": kind, "value": value, "children": children}, end


def version_text(most, least):
    """The fixed part's two dwords as "a.b.c.d"."""
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


def decode_version(data):
    root, _ = read_version_node(data, 0)
    fields = struct.unpack_from("<13I", root["value"].ljust(52, b"\0"), 0)
    fixed = {
        "signature": fields[0],
        "structure version": fields[1],
        "file version": version_text(fields[2], fields[3]),
        "product version": version_text(fields[4], fields[5]),
        "file flags mask": fields[6],
        "file flags": fields[7],
        "file OS": fields[8],
        "file type": fields[9],
        "file subtype": fields[10],
        "file date": (fields[11], fields[12]),
    }
    tables, strings, translations = [], {}, []
    for child in root["children"]:
        if child["key"] == "StringFileInfo":
            for table in child["children"]:
                tables.append(table["key"])
                for entry in table["children"]:
                    text = entry["value"].decode("utf-16-le")
                    # Exactly one terminating NUL, counted in the value length.
                    strings[entry["key"]] = text[:-1] if text.endswith("\0") else text + " (unterminated)"
        elif child["key"] == "VarFileInfo":
            for var in child["children"]:
                if var["key"] == "Translation":
                    value = var["value"]
                    translations += [struct.unpack_from("<HH", value, i) for i in range(0, len(value) - 3, 4)]
    version = {"root key": root["key"], "string tables": tables, "translations": translations}
    version["strings"] = strings
    return fixed, version


def decode_manifest(data):
    root = ET.fromstring(data)
    identity = root.find(ASM_V1 + "assemblyIdentity")
    description = root.find(ASM_V1 + "description")
    dependencies = root.findall(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
    levels = root.findall(
        f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/{ASM_V3}requestedExecutionLevel"
    )
    return {
        "root": root.tag,
        "identity": dict(identity.attrib) if identity is not None else None,
        "description": description.text if description is not None else None,
        "dependencies": [dict(d.attrib) for d in dependencies],
        "execution levels": [dict(level.attrib) for level in levels],
    }


def decode_icon_group(data):
    """GRPICONDIR: reserved, type 1, count; then 14-byte entries: width, height, colours,
    reserved, planes, bits per pixel, bytes of the image, id of its RT_ICON resource."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    entries = [struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i) for i in range(count)]
    return (reserved, kind), entries


# ---- Checking ------------------------------------------------------------------------


class Report:
    def __init__(self):
        self.checks = 0
        self.failures = []

    def expect(self, what, expected, found):
        """Compares one value; records (name, value) tables and lists of them item by item,
        so that a failure names the one field that is wrong."""
        if isinstance(expected, dict) and isinstance(found, dict):
            self.expect(f"{what}: names", sorted(expected, key=str), sorted(found, key=str))
            for field, value in expected.items():
                self.expect(f"{what}: {field}", value, found.get(field, "(missing)"))
            return
        records = isinstance(expected, list) and any(isinstance(item, dict) for item in expected)
        if records and isinstance(found, list):
            self.expect(f"{what}: count", len(expected), len(found))
            for index, (value, item) in enumerate(zip(expected, found)):
                self.expect(f"{what} {index + 1}", value, item)
            return
        self.checks += 1
        if expected != found:
            self.failures.append(f"{what}: expected {show(expected)}, found {show(found)}")


def show(value):
    if isinstance(value, bool):
        return repr(value)
    if isinstance(value, int) and value > 9:
        return f"{value:#x} ({value})"
    if isinstance(value, bytes):
        try:
            return f"UTF-16 {value.decode('utf-16-le')!r} ({len(value)} bytes)"
        except UnicodeDecodeError:
            return value.hex(" ")
    return repr(value)


def one_resource(report, resources, kind, name, label):
    """The bytes of the one resource (kind, name), which must be in US English."""
    matches = {lang: data for (k, n, lang), data in resources.items() if (k, n) == (kind, name)}
    report.expect(f"{label}: languages", [LANG_EN_US], sorted(matches))
    return matches.get(LANG_EN_US, next(iter(matches.values()), None))


def check_resources(resources):
    report = Report()
    inventory = {(k, n) for (k, n, _) in resources if k != RT_ICON}
    expected = sorted(EXPECTED_INVENTORY, key=str)
    report.expect("resources present (other than icon images)", expected, sorted(inventory, key=str))

    checks = [
        (RT_DIALOG, DIALOG_ID, "dialog 131", check_dialog),
        (RT_STRING, DISK_FULL_BLOCK, f"string block {DISK_FULL_BLOCK}", check_strings),
        (RT_VERSION, VERSION_ID, "version block", check_version),
        (RT_MANIFEST, MANIFEST_ID, "manifest 1", check_manifest),
        (RT_GROUP_ICON, ICON_GROUP_ID, "icon group 128", check_icons),
    ]
    for kind, name, label, check in checks:
        data = one_resource(report, resources, kind, name, label)
        if data is None:
            continue
        try:
            check(report, label, data, resources)
        except (Malformed, struct.error, ValueError, IndexError, ET.ParseError) as error:
            report.expect(f"{label}: readable", "well-formed", f"malformed ({error})")
    return report


def check_dialog(report, label, data, _resources):
    dialog, controls = decode_dialog(data)
    report.expect(label, EXPECTED_DIALOG, dialog)
    if dialog.get("template kind") == "DIALOG":
        report.expect(f"{label} controls", [EXPECTED_CONTROL], controls)


def check_strings(report, label, data, _resources):
    strings, left = decode_string_block(data)
    for slot, text in enumerate(strings):
        ident = (DISK_FULL_BLOCK - 1) * STRINGS_PER_BLOCK + slot
        report.expect(f"{label}: string {ident}", EXPECTED_STRINGS.get(ident, ""), text)
    report.expect(f"{label}: bytes after the 16 strings", 0, left)


def check_version(report, label, data, _resources):
    fixed, version = decode_version(data)
    report.expect(f"{label} fixed part", EXPECTED_VERSION_FIXED, fixed)
    report.expect(label, EXPECTED_VERSION, version)


def check_manifest(report, label, data, _resources):
    report.expect(label, EXPECTED_MANIFEST, decode_manifest(data))


def check_icons(report, label, data, resources):
    (reserved, kind), entries = decode_icon_group(data)
    report.expect(f"{label}: reserved, type", (0, 1), (reserved, kind))
    found = [(w or 256, h or 256, colours, bits, size) for w, h, colours, _, _, bits, size, _ in entries]
    report.expect(f"{label}: images (width, height, colours, bits per pixel, bytes)", EXPECTED_ICONS, found)
    report.expect(f"{label}: planes", [1] * len(entries), [planes for _, _, _, _, planes, _, _, _ in entries])
    icon_ids = sorted(n for (k, n, _) in resources if k == RT_ICON)
    report.expect(f"{label}: icon images present", icon_ids, sorted(entry[7] for entry in entries))
    for width, height, _, _, _, bits, size, ident in entries:
        image = one_resource(report, resources, RT_ICON, ident, f"icon image {ident}")
        if image is None:
            continue
        report.expect(f"icon image {ident}: bytes", size, len(image))
        header = struct.unpack_from("<IiiHH", image, 0)
        report.expect(f"icon image {ident}: header (size, width, 2 x height, planes, bits)",
                      (40, width, 2 * height, 1, bits), header)


def check_pefile_agrees(report, pe):
    """pefile's own reading of the version block, as a second opinion on ours."""
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    if fixed is None:
        report.expect("pefile: version block", "present", "absent")
        return
    pairs = [
        ("file version", version_text(fixed.FileVersionMS, fixed.FileVersionLS)),
        ("product version", version_text(fixed.ProductVersionMS, fixed.ProductVersionLS)),
        ("file flags mask", fixed.FileFlagsMask),
        ("file flags", fixed.FileFlags),
        ("file OS", fixed.FileOS),
        ("file type", fixed.FileType),
        ("file subtype", fixed.FileSubtype),
        ("file date", (fixed.FileDateMS, fixed.FileDateLS)),
    ]
    for field, value in pairs:
        report.expect(f"pefile: version {field}", EXPECTED_VERSION_FIXED[field], value)
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        for var in getattr(info, "Var", []):
            translations += [tuple(int(x, 16) for x in v.split()) for v in var.entry.values()]
    report.expect("pefile: version strings", EXPECTED_VERSION_STRINGS, strings)
    report.expect("pefile: translations", [(LANG_EN_US, 1252)], translations)


# ---- Damaged copies ------------------------------------------------------------------


def replace(old, new):
    def damage(data):
        if old not in data:
            raise Malformed(f"{old!r} not found to damage")
        return data.replace(old, new, 1)

    return damage


def replace_u32(old, new):
    return replace(struct.pack("<I", old), struct.pack("<I", new))


def replace_u16(old, new):
    return replace(struct.pack("<H", old), struct.pack("<H", new))


def replace_text(old, new):
    return replace(old.encode("utf-16-le"), new.encode("utf-16-le"))


def set_byte(offset, value):
    return lambda data: data[:offset] + bytes([value]) + data[offset + 1 :]


# Per resource, (what is damaged, damage): each must make at least one check fail.
DAMAGES = {
    (RT_DIALOG, DIALOG_ID): [
        ("system menu added to the dialog", replace_u32(0x90C000C0, 0x90C800C0)),
        ("dialog width", replace(struct.pack("<hh", 186, 28), struct.pack("<hh", 187, 28))),
        ("caption", replace_text("Tarnby", "Tarnbe")),
        ("font face", replace_text("MS Shell", "MS Sans ")),
        ("class name upper-cased", replace_text("msctls_progress32", "MSCTLS_PROGRESS32")),
        ("control id", replace_u16(1003, 1004)),
        ("control style", replace_u32(0x50800000, 0x50800001)),
        ("control text", replace_text("Progress1", "Progress2")),
        ("DIALOGEX in place of DIALOG", lambda data: b"\x01\x00\xff\xff" + data[4:]),
    ],
    (RT_STRING, DISK_FULL_BLOCK): [
        ("message text", replace_text("Tarnby.", "Tarnby!")),
        ("a second string", lambda data: struct.pack("<H", 1) + "X".encode("utf-16-le") + data[2:]),
    ],
    (RT_VERSION, VERSION_ID): [
        ("fixed file version", replace_u32(VERSION_LS, VERSION_LS + 1)),
        ("file flags", replace(struct.pack("<II", 0x3F, 0x2), struct.pack("<II", 0x3F, 0x0))),
        ("file OS", replace_u32(0x10004, 0x40004)),
        ("revision string", replace_text("2692", "2693")),
        ("string name", replace_text("LegalTrademarks", "LegalCopyright\0")),
        ("translation code page", replace_u32(LANG_EN_US | 1252 << 16, LANG_EN_US | 1200 << 16)),
    ],
    (RT_MANIFEST, MANIFEST_ID): [
        ("assembly version", replace(b'"14.0.0.755"', b'"14.0.0.756"')),
        ("execution level", replace(b"asInvoker", b"asInvokeR")),
        ("uiAccess", replace(b'uiAccess="false"', b'uiAccess="true" ')),
        ("public key token", replace(b"6595b64144ccf1df", b"6595b64144ccf1de")),
        ("common-controls version", replace(b'"6.0.0.0"', b'"5.8.0.0"')),
    ],
    (RT_GROUP_ICON, ICON_GROUP_ID): [
        ("icon bits per pixel", set_byte(6 + 6, 8)),  # first 14-byte entry after the 6-byte head
        ("icon width", set_byte(6 + 14, 24)),  # second entry
        ("icon image id", set_byte(6 + 12, 99)),
    ],
}


def check_damages(resources):
    """Names of damages that no check noticed."""
    copies = []
    for (kind, name), damages in DAMAGES.items():
        keys = [key for key in resources if key[:2] == (kind, name)]
        for what, damage in damages:
            copies.append((what, {**resources, **{key: damage(resources[key]) for key in keys}}))
    empty_block = struct.pack("<H", 0) * STRINGS_PER_BLOCK
    copies.append(("an extra string block", {**resources, (RT_STRING, 1, LANG_EN_US): empty_block}))
    copies.append(("manifest removed", {k: v for k, v in resources.items() if k[0] != RT_MANIFEST}))
    return len(copies), [what for what, copy in copies if not check_resources(copy).failures]


def main(argv):
    if len(argv) != 2:
        print("usage: resources_test.py PROGRAM.exe | RESOURCES.res", file=sys.stderr)
        return 2
    path = argv[1]
    with open(path, "rb") as source:
        head = source.read(2)
    pe = None
    try:
        if head == b"MZ":
            resources, pe = resources_of_pe(path)
        else:
            with open(path, "rb") as source:
                resources = resources_of_res(source.read())
    except Malformed as error:
        print(f"FAIL {path}: {error}")
        return 1

    report = check_resources(resources)
    if pe is not None:
        check_pefile_agrees(report, pe)
    for failure in report.failures:
        print(f"FAIL {failure}")
    if report.failures:
        print(f"{path}: {len(report.failures)} of {report.checks} checks failed")
        return 1

    try:
        copies, unnoticed = check_damages(resources)
    except Malformed as error:
        copies, unnoticed = 0, [f"damage that could not be applied: {error}"]
    for what in unnoticed:
        print(f"FAIL a copy with a {what} passed the checks")
    if unnoticed:
        return 1
    print(f"{path}: all {report.checks} checks passed; all {copies} damaged copies were caught")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
