#!/usr/bin/env python3
"""Black-box tests of the arq tool: they run the built program and judge what it
writes, prints and returns.

Natively:   arq_blackbox.py --arq build/x/bin/arq
For Windows: arq_blackbox.py --runner build/x-win/wine-run.sh --arq build/x-win/bin/arq.exe
             --floppy build/x-win/drives/floppy --small build/x-win/drives/small

Every test works in a fresh temporary folder that is also the tool's working folder,
and names files relative to it: Wine maps the working folder, but not every absolute
Unix path. Archives are judged against this file's own reading of the format (the
layout is restated here from the format description, not taken from the code), and
Crushed data against lhasa, a decoder of the LHA family that reads it as -lh4-.
"""

import argparse
import os
import pty
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

ARQ = []          # the command that runs the tool, runner first
WINE = False      # the tool is a Windows program run under Wine
FLOPPY = None     # under Wine: the folder behind the removable drive A:
SMALL = None      # under Wine: the folder behind T:, a 1 MiB filesystem (when mounted)
SELF_EXTRACT = [] # the launcher's extraction on a named file (tests/tools/self_extract), runner first

ENTRY_SIG = b"\x67\x57\x04\x01"
ARCHIVE_SIG = b"\x67\x57\x04\x02"

EXIT_OK, EXIT_SKIPPED, EXIT_USAGE, EXIT_REFUSED, EXIT_NOT_FOUND = 0, 1, 2, 3, 4
EXIT_NOT_ARCHIVE, EXIT_NO_ROOM, EXIT_IO, EXIT_NO_MEMORY, EXIT_DAMAGED, EXIT_CANCELLED = 5, 6, 7, 8, 9, 10
EXIT_KEPT, EXIT_NOT_REPLACED = 11, 12

MTIME = 1600000000  # 2020-09-13 12:26:40 UTC
NOBODY = 65534      # the unprivileged user of Debian

# ---- Archive bytes by hand ------------------------------------------------------------


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


LHASA = shutil.which("lhasa")

# ---- Running the tool -----------------------------------------------------------------


class Run:
    def __init__(self, code, out, err):
        self.code = code
        self.raw_out = out
        self.out = out.decode("latin-1").replace("\r\n", "\n")
        self.err = err.decode("latin-1").replace("\r\n", "\n")

    def err_lines(self):
        return [line for line in self.err.split("\n") if line.strip()]

    def __repr__(self):
        return "exit %d\n--- stdout\n%s--- stderr\n%s" % (self.code, self.out, self.err)


def tree_snapshot(root):
    """Every file and folder under root with its size, for 'nothing else was written'."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            seen[os.path.relpath(path, root)] = os.path.getsize(path) if os.path.isfile(path) else -1
    return seen


def text_bytes(size, seed):
    """Compressible text: words from a small vocabulary, so that Crushed has work to do."""
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(500)]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choice(words) for _ in range(12)) + b"\n"
    return bytes(out[:size])


def random_bytes(size, seed):
    return random.Random(seed).randbytes(size)


def word_list(size, seed, vocabulary):
    """Words drawn evenly from a made-up vocabulary, one per line: few long repeats."""
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 10)))
             for _ in range(vocabulary)]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b"\n"
    return bytes(out[:size])


class ArqTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="arq-test-")
        # Scratch inside a folder of its own, so that "nothing outside the destination"
        # can be checked on the whole folder.
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    @property
    def SEP(self):  # the separator people on the system write; WINE is known once main() ran
        return "\\" if WINE else "/"

    def shown(self, stored):
        """A stored name as arq shows it."""
        return stored.replace("\\", self.SEP)

    def write(self, rel, data, mtime=MTIME, mode=None):
        full = self.path(rel)
        os.makedirs(os.path.dirname(full) or self.dir, exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        if mode is not None:
            os.chmod(full, mode)
        os.utime(full, (mtime, mtime))
        return full

    def read(self, rel):
        with open(self.path(rel), "rb") as f:
            return f.read()

    def arq(self, *args, stdin=b"", env=None, timeout=600, umask=None, user=None):
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        start = None if umask is None else (lambda: os.umask(umask))
        who = {} if user is None else dict(user=user, group=user, extra_groups=[])
        p = subprocess.run(ARQ + list(args), cwd=self.dir, input=stdin, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, env=full_env, timeout=timeout, preexec_fn=start, **who)
        return Run(p.returncode, p.stdout, p.stderr)

    def unprivileged(self):
        """The user id to run arq as so that permissions hold (root passes them all):
        nobody's when the tests run as root, with the scratch folder open to it; else
        None, for the user the tests run as."""
        if os.geteuid() != 0:
            return None
        os.chmod(self.dir, 0o755)
        try:
            reached = self.arq("--version", user=NOBODY).code == EXIT_OK
        except OSError:
            reached = False
        if not reached:
            self.skipTest("arq lies where the unprivileged user cannot run it")
        return NOBODY

    def assertExit(self, run, code):
        self.assertEqual(run.code, code, repr(run))

    def assertOneLine(self, run, *words):
        lines = run.err_lines()
        self.assertEqual(len(lines), 1, repr(run))
        self.assertTrue(lines[0].startswith("arq: "), repr(run))
        for word in words:
            self.assertIn(word, lines[0], repr(run))

    def listing(self, archive, *extra):
        """The rows of arq list as dicts, and the run. The CRC-32 column, shown when an
        entry carries a checksum, gives "crc" (8 hex digits, or None for "-")."""
        run = self.arq("list", archive, *extra)
        return self.listing_rows(run), run

    def listing_rows(self, run):
        rows = []
        with_crc = run.out.startswith("Method") and "CRC-32" in run.out.split("\n", 1)[0]
        pattern = re.compile(r"^(Stored|Crushed|method \d+)\s+(\d+)\s+(\d+)\s+(\S+)\s+"
                             r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\s+(\d{6})\s+([0-9A-F]{2} [N-][S-])\s+(\d+)  " +
                             (r"([0-9A-F]{8}|-       )  " if with_crc else r"()") + r"(.*)$")
        for line in run.out.split("\n"):
            m = pattern.match(line)
            if m:
                crc = m.group(9).strip() if with_crc else None
                rows.append(dict(method=m.group(1), packed=int(m.group(2)), size=int(m.group(3)),
                                 ratio=m.group(4), time=m.group(5), mode=m.group(6), flags=m.group(7),
                                 volume=int(m.group(8)), crc=None if crc in (None, "-") else crc,
                                 name=m.group(10)))
        return rows

    def make_archive(self, rel, records):
        """An archive made of the given record bytes and an end record."""
        full = self.path(rel)
        with open(full, "wb") as f:
            f.write(b"".join(records) + end_record())
        return rel


# ---- Command line ---------------------------------------------------------------------


class CommandLineTest(ArqTest):
    def test_help_lists_commands_and_every_exit_code(self):
        run = self.arq("--help")
        self.assertExit(run, EXIT_OK)
        for command in ("create", "list", "test", "extract"):
            self.assertIn("arq " + command + " ARCHIVE", run.out)
        self.assertIn("arq show OUTPUT SHOW PLAYER [--stub FILE]", run.out)
        for code in range(0, 13):
            self.assertRegex(run.out, r"\n\s+%d  \S" % code)

    def test_each_command_has_help(self):
        for command in ("create", "list", "test", "extract", "show"):
            run = self.arq(command, "--help")
            self.assertExit(run, EXIT_OK)
            self.assertTrue(run.out.startswith("Usage: arq " + command), run.out)
            self.assertEqual(run.out, self.arq("help", command).out)
        # Help on help is the general help; a wrong name points to it.
        self.assertEqual(self.arq("help", "help").out, self.arq("--help").out)
        run = self.arq("help", "bogus")
        self.assertExit(run, EXIT_USAGE)
        self.assertIn("(see arq --help)", run.err)

    def test_version(self):
        for option in ("--version", "-V"):
            with self.subTest(option=option):
                run = self.arq(option)
                self.assertExit(run, EXIT_OK)
                self.assertRegex(run.out, r"^arq \d+\.\d+\.\d+\n$")

    def test_usage_errors_are_one_line_and_exit_2(self):
        cases = [
            ([], "Usage"),
            (["frobnicate", "x"], "unknown command 'frobnicate'"),
            (["list"], "no archive named"),
            (["list", "-qv", "a.arq"], "cannot be used together"),
            (["extract", "--quiet", "a.arq", "--verbose"], "cannot be used together"),
            (["extract", "a.arq", "--bogus"], "unknown option '--bogus'"),
            (["extract", "a.arq", "--overwrite"], "needs a value"),
            (["extract", "a.arq", "--overwrite=sometimes"], "ask, always or never"),
            (["create", "a.arq"], "no files named"),
            (["create", "a.arq", "--stored", "--best", "x"], "--stored, --fast and --best"),
            (["create", "a.arq", "--volume-size", "12Q", "x"], "is no size"),
            (["create", "a.arq", "--volume-size", "0", "x"], "is no size"),
            (["test", "-x", "a.arq"], "unknown option '-x'"),
        ]
        for args, words in cases:
            with self.subTest(args=args):
                run = self.arq(*args)
                self.assertExit(run, EXIT_USAGE)
                lines = run.err_lines()
                self.assertIn(words, run.err)
                self.assertLessEqual(len(lines), 2, repr(run))
                self.assertEqual(run.out, "")
        self.assertEqual(os.listdir(self.dir), [])


# ---- Round trips ----------------------------------------------------------------------


class RoundTripTest(ArqTest):
    BIG = 20 * 1024 * 1024

    def make_tree(self, big=True):
        files = {
            "src/empty.txt": b"",
            "src/readme.txt": b"Read me.\n" * 40,
            "src/a/b/c/deep.txt": text_bytes(5000, 1),
            "src/a/noise.bin": random_bytes(30000, 2),
            "src/Tool.exe": b"MZ" + random_bytes(3000, 3),
            "src/a/b/one.txt": b"1",
        }
        if big:
            files["src/big.txt"] = text_bytes(self.BIG, 4)
        for i, (rel, data) in enumerate(sorted(files.items())):
            self.write(rel, data, mtime=MTIME + 60 * i)
        if not WINE:
            files["src/run.sh"] = b"#!/bin/sh\necho hi\n"
            self.write("src/run.sh", files["src/run.sh"], mode=0o755, mtime=MTIME)
        return files

    def stored_name(self, rel):
        return rel[len("src/"):].upper().replace("/", "\\")

    def check_extracted(self, files, out):
        for rel, data in files.items():
            target = os.path.join(self.path(out), *self.stored_name(rel).split("\\"))
            self.assertTrue(os.path.isfile(target), target)
            with open(target, "rb") as f:
                self.assertEqual(f.read(), data, rel)
            self.assertEqual(int(os.stat(target).st_mtime), int(os.stat(self.path(rel)).st_mtime), rel)
        expected = {os.path.join(*self.stored_name(rel).split("\\")) for rel in files}
        written = {rel for rel, size in tree_snapshot(self.path(out)).items() if size >= 0}
        self.assertEqual(written, expected)

    def check_archive_against_format(self, archive, files, method_expected):
        """Our own reading of the bytes, and lhasa for every Crushed stream."""
        with open(self.path(archive), "rb") as f:
            data = f.read()
        entries = parse_archive(data)
        self.assertIsNone(entries[-1])
        by_name = {e["name"]: e for e in entries[:-1]}
        self.assertEqual(set(by_name), {self.stored_name(rel) for rel in files})
        for rel, original in files.items():
            e = by_name[self.stored_name(rel)]
            self.assertEqual(e["usize"], len(original))
            self.assertEqual(e["mtime"], int(os.stat(self.path(rel)).st_mtime))
            self.assertEqual((e["made"], e["needed"], e["case"], e["volume"]), (0x31, 0x12, 16, 0))
            runnable = rel.endswith(".exe") or rel.endswith(".sh")
            self.assertEqual(e["mode"], 0x81FF if runnable else 0x81B6, rel)
            if e["method"] == 1:
                self.assertEqual(e["data"], original, rel)
                self.assertEqual(e["csize"], e["usize"])
            else:
                self.assertEqual(e["method"], 2)
                self.assertLess(e["csize"], e["usize"], "a Crushed entry that did not get smaller")
                if LHASA:
                    lzh = self.path("oracle.lzh")
                    with open(lzh, "wb") as f:
                        f.write(lha_level0(b"X", b"-lh4-", e["data"], original))
                    p = subprocess.run([LHASA, "pq", lzh], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    self.assertEqual(p.stdout, original, rel)
                    os.unlink(lzh)
            if method_expected == 1:
                self.assertEqual(e["method"], 1)
        return by_name

    def test_default_round_trip_with_a_20_mb_file(self):
        files = self.make_tree(big=True)
        run = self.arq("create", "tree.arq", "-C", "src", ".")
        self.assertExit(run, EXIT_OK)
        self.assertEqual(run.out + run.err, "")  # quiet when piped
        by_name = self.check_archive_against_format("tree.arq", files, None)
        self.assertEqual(by_name["BIG.TXT"]["method"], 2)
        self.assertEqual(by_name["A\\NOISE.BIN"]["method"], 1)  # random data does not get smaller
        self.assertEqual(by_name["EMPTY.TXT"]["method"], 1)

        rows, run = self.listing("tree.arq", "--utc")
        self.assertExit(run, EXIT_OK)
        self.assertEqual(len(rows), len(files))
        big = [r for r in rows if r["name"] == "BIG.TXT"][0]
        self.assertEqual((big["method"], big["size"], big["mode"], big["flags"], big["volume"]),
                         ("Crushed", self.BIG, "100666", "02 --", 0))
        tool = [r for r in rows if r["name"] == "TOOL.EXE"][0]
        self.assertEqual(tool["mode"], "100777")
        deep = [r for r in rows if r["name"] == self.shown("A\\B\\C\\DEEP.TXT")][0]
        deep_time = int(os.stat(self.path("src/a/b/c/deep.txt")).st_mtime)
        self.assertEqual(deep["time"], time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(deep_time)))
        self.assertIn("%d entries" % len(files), run.out)
        self.assertIn(str(sum(len(d) for d in files.values())), run.out)

        run = self.arq("test", "tree.arq")
        self.assertExit(run, EXIT_OK)
        run = self.arq("extract", "tree.arq", "-C", "out")
        self.assertExit(run, EXIT_OK)
        self.assertEqual(run.out + run.err, "")
        self.check_extracted(files, "out")
        if not WINE:
            self.assertTrue(os.stat(self.path("out", "RUN.SH")).st_mode & 0o100)
            self.assertFalse(os.stat(self.path("out", "README.TXT")).st_mode & 0o100)

    def test_stored_and_best(self):
        files = self.make_tree(big=False)
        for option, method in (("--stored", 1), ("--best", None), ("--fast", None)):
            with self.subTest(option=option):
                archive = "t%s.arq" % option[2:]
                self.assertExit(self.arq("create", option, archive, "-C", "src", "."), EXIT_OK)
                self.check_archive_against_format(archive, files, method)
                self.assertExit(self.arq("test", archive), EXIT_OK)
                out = "out" + option[2:]
                self.assertExit(self.arq("extract", archive, "--directory=" + out), EXIT_OK)
                self.check_extracted(files, out)

    def test_best_is_not_larger_than_fast(self):
        # The word list made the best level larger (757,627 against 746,369 bytes of
        # stream) before it weighed its blocks against the fast level's.
        cases = [
            ("text", text_bytes(300000, 7)),
            ("1,296,269 bytes of words from 5,000", word_list(1296269, 82, 5000)),
        ]
        for name, data in cases:
            with self.subTest(name):
                self.write("t.txt", data)
                self.assertExit(self.arq("create", "--fast", "f.arq", "t.txt"), EXIT_OK)
                self.assertExit(self.arq("create", "--best", "b.arq", "t.txt"), EXIT_OK)
                self.assertLessEqual(os.path.getsize(self.path("b.arq")), os.path.getsize(self.path("f.arq")))
                self.assertExit(self.arq("test", "b.arq"), EXIT_OK)

    def test_files_are_stored_under_their_own_names(self):
        self.write("x/y/letter.txt", b"dear")
        self.write("other.bin", b"\x00\x01")
        self.assertExit(self.arq("create", "two.arq", "x/y/letter.txt", "other.bin"), EXIT_OK)
        with open(self.path("two.arq"), "rb") as f:
            entries = parse_archive(f.read())
        self.assertEqual([e["name"] for e in entries[:-1]], ["LETTER.TXT", "OTHER.BIN"])

    def test_an_empty_folder_makes_no_archive_and_an_empty_one_is_read(self):
        os.makedirs(self.path("nothing"))
        run = self.arq("create", "empty.arq", "nothing")
        self.assertExit(run, EXIT_USAGE)
        self.assertIn("nothing to store", run.err)
        self.assertFalse(os.path.exists(self.path("empty.arq")))
        # An archive of its end record alone, made by hand, is still read.
        self.make_archive("empty.arq", [])
        self.assertEqual(parse_archive(self.read("empty.arq")), [None])
        self.assertEqual(os.path.getsize(self.path("empty.arq")), 41)
        rows, run = self.listing("empty.arq")
        self.assertExit(run, EXIT_OK)
        self.assertEqual(rows, [])
        self.assertIn("0 entries", run.out)
        self.assertExit(self.arq("test", "empty.arq"), EXIT_OK)
        self.assertExit(self.arq("extract", "empty.arq", "-C", "out"), EXIT_OK)

    def test_archive_name_without_extension_is_found_with_arq(self):
        self.write("f.txt", b"hello")
        self.assertExit(self.arq("create", "named.arq", "f.txt"), EXIT_OK)
        rows, run = self.listing("named")
        self.assertExit(run, EXIT_OK)
        self.assertEqual([r["name"] for r in rows], ["F.TXT"])

    def test_verbose_lines_and_the_archive_left_out_of_itself(self):
        self.write("d/a.txt", b"aaaa" * 100)
        self.write("d/b.txt", b"b")
        self.make_archive("d/self.arq", [entry("OLD.TXT", b"old archive that is replaced")])
        run = self.arq("create", "-v", "d/self.arq", "-C", "d", ".")
        self.assertExit(run, EXIT_OK)
        self.assertOneLine(run, "self.arq", "passed over", "the archive being written")
        self.assertRegex(run.out, r"crushed\s+400\s+\S+%\s+A\.TXT")
        self.assertRegex(run.out, r"stored\s+1\s+\S+\s+B\.TXT")
        with open(self.path("d/self.arq"), "rb") as f:
            names = [e["name"] for e in parse_archive(f.read())[:-1]]
        self.assertEqual(names, ["A.TXT", "B.TXT"])
        run = self.arq("extract", "-v", "d/self.arq", "-C", "o")
        self.assertExit(run, EXIT_OK)
        self.assertEqual(len(run.out.strip().split("\n")), 3, run.out)  # two files and the summary
        self.assertIn("2 files written", run.out)


# ---- Self-extracting programs ---------------------------------------------------------


class SelfExtractingTest(ArqTest):
    def test_archive_behind_a_program_image(self):
        self.write("show.pps", text_bytes(40000, 11))
        self.write("player.exe", b"MZ" + random_bytes(5000, 12))
        self.assertExit(self.arq("create", "plain.arq", "show.pps", "player.exe"), EXIT_OK)
        image = bytearray(random_bytes(300000, 13))
        # Neither record signature may occur in the image.
        for sig in (ENTRY_SIG, ARCHIVE_SIG):
            while sig in image:
                image[image.index(sig)] ^= 0xFF
        program = bytes(image) + archive_header(45002) + self.read("plain.arq")
        with open(self.path("SHOW.EXE"), "wb") as f:
            f.write(program)
        rows, run = self.listing("SHOW.EXE")
        self.assertExit(run, EXIT_OK)
        self.assertEqual([r["name"] for r in rows], ["SHOW.PPS", "PLAYER.EXE"])
        self.assertEqual([r["method"] for r in rows], ["Crushed", "Stored"])
        self.assertExit(self.arq("test", "SHOW.EXE"), EXIT_OK)
        self.assertExit(self.arq("extract", "SHOW.EXE", "-C", "out"), EXIT_OK)
        self.assertEqual(self.read("out/SHOW.PPS"), self.read("show.pps"))
        self.assertEqual(self.read("out/PLAYER.EXE"), self.read("player.exe"))

    def test_stray_signatures_in_a_program(self):
        """The launcher takes the first entry signature of its file for its archive: one
        that turns up in code or data before the archive leaves it nothing to extract,
        and arq says where, as it reads the file the same way."""
        self.write("show.pps", text_bytes(4000, 14))
        self.assertExit(self.arq("create", "plain.arq", "show.pps"), EXIT_OK)
        archive = archive_header(4000) + self.read("plain.arq")
        stray = {
            "bare bytes": (ENTRY_SIG + b"\0" * 3, "28672 bytes long"),
            "newer engine": (entry("V.TXT", b"v", needed=0x85)[:40], "newer engine"),
            "later disk": (entry("D.TXT", b"d", volume=142), "disk 143"),
            "name too long": (ENTRY_SIG + b"\x31\x12" + struct.pack("<H", 5000), "5000 bytes long"),
        }
        program = random_bytes(3000, 15).replace(ENTRY_SIG, b"xxxx")
        for name, (bytes_before, words) in stray.items():
            for rel, data in (("SHOW.EXE", program + bytes_before + b"pad" * 50 + archive),
                              ("BARE.EXE", program + bytes_before + b"pad" * 50)):
                self.write(rel, data)
                for command in ("list", "test", "extract"):
                    with self.subTest(stray=name, file=rel, command=command):
                        run = self.arq(command, rel, *(["-C", "out"] if command == "extract" else []))
                        self.assertExit(run, EXIT_DAMAGED)
                        self.assertOneLine(run, rel, "damaged: the entry header at offset 3000 cannot be read",
                                           words)
                        self.assertFalse(os.path.exists(self.path("out")))

    def test_a_file_without_an_archive(self):
        self.write("plain.exe", random_bytes(5000, 5).replace(ENTRY_SIG, b"xxxx"))
        for command in ("list", "test", "extract"):
            with self.subTest(command=command):
                run = self.arq(command, "plain.exe")
                self.assertExit(run, EXIT_NOT_ARCHIVE)
                self.assertOneLine(run, "plain.exe", "not an archive")


class ChoosingTest(ArqTest):
    def setUp(self):
        super().setUp()
        for rel in ("docs/Read Me.txt", "docs/notes.TXT", "src/main.c", "src/util/x.c"):
            self.write(rel, rel.encode(), mtime=MTIME)
        self.assertExit(self.arq("create", "-q", "t.arq", "docs", "src"), EXIT_OK)
        self.all = self.arq("list", "--names", "t.arq").out.split()

    def test_names_and_patterns(self):
        # patterns, the names listed (by their last part), exit code, words on stderr
        cases = [
            ((), ["Read Me.txt", "notes.TXT", "main.c", "x.c"], EXIT_OK, ""),
            (("*.TXT",), ["Read Me.txt", "notes.TXT"], EXIT_OK, ""),
            (("*/?.C", "*read*"), ["Read Me.txt", "x.c"], EXIT_OK, ""),
            (("*util\\x.c", "*UTIL/X.C"), ["x.c"], EXIT_OK, ""),
            (("*.txt", "*.pdf"), ["Read Me.txt", "notes.TXT"], EXIT_NOT_FOUND, "*.pdf: no entry"),
        ]
        for patterns, expected, code, words in cases:
            with self.subTest(patterns=patterns):
                run = self.arq("list", "--names", "t.arq", *patterns)
                self.assertExit(run, code)
                lines = [l for l in run.out.split("\n") if l]
                self.assertEqual([re.split(r"[\\/]", l)[-1].upper() for l in lines],
                                 [e.upper() for e in expected])
                self.assertIn(words, run.err)
                rows, run = self.listing("t.arq", *patterns)
                self.assertEqual(len(rows), len(expected))
                self.assertIn("%d entr" % len(expected), run.out)

    def test_times_local_and_utc(self):
        if WINE:
            self.skipTest("the time zone is the machine's own under Wine")
        for zone, shift in (("UTC", 0), ("Asia/Tokyo", 9 * 3600), ("America/Sao_Paulo", -3 * 3600)):
            with self.subTest(zone=zone):
                run = self.arq("list", "t.arq", env={"TZ": zone})
                local = self.listing_rows(run)[0]["time"]
                self.assertEqual(local, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(MTIME + shift)))
                run = self.arq("list", "--utc", "t.arq", env={"TZ": zone})
                self.assertEqual(self.listing_rows(run)[0]["time"],
                                 time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(MTIME)))
                self.assertIn("Modified (UTC)", run.out)


class MessagesTest(ArqTest):
    def test_a_folder_that_takes_no_files_is_not_called_full(self):
        if WINE or not os.path.isdir("/proc/1"):
            self.skipTest("a folder of the host's process file system")
        self.write("a.txt", b"a")
        self.assertExit(self.arq("create", "-q", "t.arq", "a.txt"), EXIT_OK)
        run = self.arq("extract", "t.arq", "-C", "/proc/1")
        self.assertExit(run, EXIT_IO)
        self.assertOneLine(run, "A.TXT: failed:", "its folder")
        self.assertNotIn("no room", run.err)

    def test_permission_problems_are_named(self):
        if WINE:
            self.skipTest("permission bits of the host")
        user = self.unprivileged()
        self.write("t/a.txt", b"a")
        self.assertExit(self.arq("create", "-q", "t.arq", "t"), EXIT_OK)
        os.makedirs(self.path("locked/T"))
        os.chmod(self.path("locked/T"), 0o555)
        self.write("locked/secret.txt", b"s", mode=0)
        os.makedirs(self.path("open"))
        os.chmod(self.path("open"), 0o777)
        # (arq command line, exit code, words of the one message)
        cases = [
            (["extract", "t.arq", "-C", "locked"], EXIT_IO,
             "T/A.TXT: failed: no permission to create files in its folder"),
            (["create", "open/u.arq", "locked/secret.txt", "t"], EXIT_SKIPPED, "locked/secret.txt: passed over: cannot be read"),
        ]
        for args, code, words in cases:
            with self.subTest(args=args):
                run = self.arq(*args, user=user)
                self.assertExit(run, code)
                self.assertIn(words, run.err_lines()[0])
        self.assertEqual(os.listdir(self.path("locked/T")), [])

    def test_a_pipe_is_no_file_to_search(self):
        if WINE:
            self.skipTest("a pipe is named /dev/stdin natively")
        self.write("a.txt", b"a")
        self.assertExit(self.arq("create", "-q", "t.arq", "a.txt"), EXIT_OK)
        for command in ("list", "test", "extract"):
            with self.subTest(command=command):
                run = self.arq(command, "/dev/stdin", stdin=self.read("t.arq"))
                self.assertExit(run, EXIT_IO)
                self.assertOneLine(run, "pipe", "save it to a file")


# ---- Self-running shows -------------------------------------------------------------------

OSSLSIGNCODE = shutil.which("osslsigncode")
OPENSSL = shutil.which("openssl")

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


def test_certificate():
    """A throwaway code-signing certificate and key, as (cert.pem, key.pem) in a folder of
    their own; None when openssl is missing."""
    if not OPENSSL:
        return None
    folder = tempfile.mkdtemp(prefix="arq-cert-")
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-keyout", key, "-out", cert,
                    "-days", "3650", "-nodes", "-subj", "/CN=Test Code Signing",
                    "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=critical,digitalSignature",
                    "-addext", "basicConstraints=critical,CA:FALSE"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return folder, cert, key


class ShowTest(ArqTest):
    def stub(self, rel="stub.exe", **kwargs):
        return self.write(rel, tiny_pe(**kwargs)) and rel

    def show_archive(self, rel, stub_size):
        """The entries of a show, read by the format's rules from behind the launcher."""
        data = self.read(rel)
        self.assertEqual(data.find(ARCHIVE_SIG), stub_size)
        self.assertEqual(data.find(ENTRY_SIG), stub_size + 12)
        total = struct.unpack_from("<I", data, stub_size + 4)[0]
        self.assertEqual(data[stub_size + 8:stub_size + 12], bytes(4))  # no destination, no comment
        return total, parse_archive(data, stub_size + 12)

    def test_stored_layout_field_by_field(self):
        stub = tiny_pe()
        self.write("stub.exe", stub)
        # The show's own mode and name ending do not decide its stored mode, nor the player's.
        self.write("Deck.pps", b"show", mtime=1600000000, mode=0o755)
        player = tiny_pe()
        self.write("bin/p.exe", player, mtime=1600000060, mode=0o644)

        def crc_field(data):
            # id "CK", length 4, the CRC-32 of zip and gzip (here from Python's zlib)
            return "43 4B  04 00" + struct.pack("<I", zlib.crc32(data)).hex()

        # By default every entry carries a checksum field in its extra bytes; with
        # --no-checksum the bytes are those the format has always had.
        for option, extra_count, show_field, player_field in (
                ([], "08 00", crc_field(b"show"), crc_field(player)),
                (["--no-checksum"], "00 00", "", "")):
            with self.subTest(option=option):
                run = self.arq("show", "--stored", *option, "OUT.EXE", "Deck.pps", os.path.join("bin", "p.exe"),
                               "--stub", "stub.exe")
                self.assertExit(run, EXIT_OK)
                self.assertEqual(run.out + run.err, "")
                block_player = ("3C 10 5E 5F  FF 81  00 00  00 00  00 04 00 00  00 04 00 00  00 00 00 00"
                                "  01  10  02  00  00 00 00 00 00")
                fields = [
                    ("archive header: signature", "67 57 04 02"),
                    ("total of the sizes, 4 + 1024", "04 04 00 00"),
                    ("destination length, comment length", "00 00  00 00"),
                    ("show: signature, made by 3.1, needs 1.2", "67 57 04 01  31  12"),
                    ("name length, name", "08 00" + b"DECK.PPS".hex()),
                    ("time 1600000000, mode 100666, reserved", "00 10 5E 5F  B6 81  00 00  00 00"),
                    ("packed and unpacked size, reserved", "04 00 00 00  04 00 00 00  00 00 00 00"),
                    ("Stored, name-case 16, flags 2, reserved, volume 0, extra count",
                     "01  10  02  00  00 00 00 00 00  " + extra_count),
                    ("the show's extra bytes", show_field),
                    ("the show's bytes", b"show".hex()),
                    ("player: signature, versions", "67 57 04 01  31  12"),
                    ("name length, name", "05 00" + b"P.EXE".hex()),
                    ("time 1600000060, mode 100777, ..., extra count", block_player + extra_count),
                    ("the player's extra bytes", player_field),
                    ("the player's bytes", player.hex()),
                    ("end record: signature, versions, no name", "67 57 04 01  31  12  00 00"),
                    ("the player's block again, no extra bytes", block_player + "00 00"),
                ]
                expected = stub + b"".join(bytes.fromhex(hexed) for _, hexed in fields)
                data = self.read("OUT.EXE")
                self.assertEqual(data[:len(stub)], stub)
                at = len(stub)
                for name, hexed in fields:
                    want = bytes.fromhex(hexed)
                    self.assertEqual(data[at:at + len(want)].hex(" "), want.hex(" "), name)
                    at += len(want)
                self.assertEqual(data, expected)  # and nothing behind the end record

    def test_crushed_round_trip(self):
        stub = tiny_pe(pad=3000)
        self.write("stub.exe", stub)
        show, player = text_bytes(200000, 71), tiny_pe() + random_bytes(30000, 72)
        self.write("slides/deck.pps", show, mtime=MTIME)
        self.write("player.exe", player, mtime=MTIME + 7)
        for option in ([], ["--fast"], ["--best"]):
            with self.subTest(option=option):
                run = self.arq("show", *option, "show.exe", "slides/deck.pps", "player.exe", "--stub", "stub.exe")
                self.assertExit(run, EXIT_OK)
                total, entries = self.show_archive("show.exe", len(stub))
                self.assertEqual(total, len(show) + len(player))
                self.assertIsNone(entries[-1])
                first, second = entries[:2]
                self.assertEqual(len(entries), 3)
                self.assertEqual((first["name"], first["method"], first["mode"], first["usize"], first["mtime"]),
                                 ("DECK.PPS", 2, 0x81B6, len(show), MTIME))
                self.assertEqual((second["name"], second["mode"], second["usize"], second["mtime"]),
                                 ("PLAYER.EXE", 0x81FF, len(player), MTIME + 7))
                for e in (first, second):
                    self.assertEqual((e["made"], e["needed"], e["case"], e["flags"], e["volume"]),
                                     (0x31, 0x12, 16, 2, 0))
                self.assertLess(first["csize"], len(show) // 2)
                if LHASA:
                    lzh = self.path("oracle.lzh")
                    with open(lzh, "wb") as f:
                        f.write(lha_level0(b"X", b"-lh4-", first["data"], show))
                    p = subprocess.run([LHASA, "pq", lzh], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    self.assertEqual(p.stdout, show)
                rows, run = self.listing("show.exe")
                self.assertExit(run, EXIT_OK)
                self.assertEqual([(r["name"], r["mode"], r["flags"]) for r in rows],
                                 [("DECK.PPS", "100666", "02 --"), ("PLAYER.EXE", "100777", "02 --")])
                self.assertExit(self.arq("test", "show.exe"), EXIT_OK)
                shutil.rmtree(self.path("out"), ignore_errors=True)
                self.assertExit(self.arq("extract", "show.exe", "-C", "out"), EXIT_OK)
                self.assertEqual((self.read("out/DECK.PPS"), self.read("out/PLAYER.EXE")), (show, player))

    def test_the_same_inputs_give_the_same_bytes(self):
        self.stub()
        self.write("deck.pps", text_bytes(50000, 73))
        self.write("player.exe", tiny_pe() + text_bytes(20000, 74))
        for option in ("--stored", "--fast", "--best"):
            with self.subTest(option=option):
                # Under two names: nothing of the output's own name or of the moment goes in.
                for name in ("first.exe", "again.exe"):
                    self.assertExit(self.arq("show", option, name, "deck.pps", "player.exe", "--stub", "stub.exe"),
                                    EXIT_OK)
                self.assertEqual(self.read("first.exe"), self.read("again.exe"))
                # An existing show is replaced by the same bytes.
                self.assertExit(self.arq("show", option, "first.exe", "deck.pps", "player.exe", "--stub", "stub.exe"),
                                EXIT_OK)
                self.assertEqual(self.read("first.exe"), self.read("again.exe"))

    def test_the_launcher_near_arq(self):
        # A copy of arq in the bin folder of a tree of its own: the launcher is looked for
        # beside it, then where an install puts it, ../share/vardok from arq's folder.
        os.makedirs(self.path("tree", "bin"))
        os.makedirs(self.path("tree", "share", "vardok"))
        tool = self.path("tree", "bin", os.path.basename(ARQ[-1]))
        shutil.copy2(ARQ[-1], tool)
        own = ARQ[:-1] + [tool]
        self.write("deck.pps", b"slides")
        self.write("player.exe", tiny_pe())

        def show(*args):
            p = subprocess.run(own + ["show"] + list(args), cwd=self.dir, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
            return Run(p.returncode, p.stdout, p.stderr)

        run = show("a.exe", "deck.pps", "player.exe")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertOneLine(run, "--stub", "bin", "share", "vardok")
        self.assertEqual(run.err_lines()[0].count("Vardok.exe"), 2, repr(run))
        self.assertFalse(os.path.exists(self.path("a.exe")))
        # Installed, then beside arq as well: the one beside it is taken.
        installed, beside = tiny_pe(pad=100), tiny_pe(pad=200)
        for place, stub in (("tree/share/vardok/Vardok.exe", installed), ("tree/bin/Vardok.exe", beside)):
            with self.subTest(place=place):
                self.write(place, stub)
                self.assertExit(show("a.exe", "deck.pps", "player.exe"), EXIT_OK)
                self.assertEqual(self.read("a.exe")[:len(stub) + 4], stub + ARCHIVE_SIG)
        # --stub wins over both.
        other = self.stub("other.exe")
        self.assertExit(show("b.exe", "deck.pps", "player.exe", "--stub", other), EXIT_OK)
        self.assertEqual(self.read("b.exe")[:1024 + 4], tiny_pe() + ARCHIVE_SIG)

    def test_the_launcher_may_end_where_the_search_still_finds_the_archive(self):
        self.write("deck.pps", b"slides")
        self.write("player.exe", tiny_pe())
        self.stub("edge.exe", pad=STUB_MAX - 1024)
        run = self.arq("show", "edge-show.exe", "deck.pps", "player.exe", "--stub", "edge.exe")
        self.assertExit(run, EXIT_OK)
        data = self.read("edge-show.exe")
        self.assertEqual(data.find(ENTRY_SIG) + 4, 4000000)
        rows, run = self.listing("edge-show.exe")
        self.assertEqual([r["name"] for r in rows], ["DECK.PPS", "PLAYER.EXE"])
        self.assertExit(self.arq("test", "edge-show.exe"), EXIT_OK)
        # One byte more, and it is refused.
        self.stub("over.exe", pad=STUB_MAX - 1024 + 1)
        run = self.arq("show", "over-show.exe", "deck.pps", "player.exe", "--stub", "over.exe")
        self.assertExit(run, EXIT_USAGE)
        self.assertOneLine(run, "over.exe", "3999985 bytes", "4000000")
        self.assertFalse(os.path.exists(self.path("over-show.exe")))

    def refusal_cases(self):
        """(description, arguments behind 'show', exit code, words of the message)."""
        good = ["deck.pps", "player.exe", "--stub", "stub.exe"]
        program = tiny_pe()
        with_sig = lambda sig: program[:0x300] + sig + program[0x304:]
        not_pe = program[:PE_AT] + b"NE\0\0" + program[PE_AT + 4:]
        stubs = {
            "text.exe": b"not a program at all, just text" * 4,
            "short.exe": b"MZ",
            "ne.exe": not_pe,
            "far.exe": tiny_pe(pe_at=64)[:0x3C] + struct.pack("<I", 0x7FFFFFF0) + program[0x40:],
            "x64.exe": tiny_pe(machine=0x8664),
            "pe32plus.exe": tiny_pe(magic=0x20B),
            "library.dll": tiny_pe(characteristics=0x2102),
            "entry-sig.exe": with_sig(ENTRY_SIG),
            "archive-sig.exe": with_sig(ARCHIVE_SIG),
        }
        for name, data in stubs.items():
            self.write(name, data)
        os.makedirs(self.path("folder.pps"))
        self.write("one/same.bin", b"1")
        self.write("two/SAME.BIN", tiny_pe())
        cases = [
            ("no arguments", [], EXIT_USAGE, ["name the output, the show and the player"]),
            ("no player", ["OUT.EXE", "deck.pps"], EXIT_USAGE, ["name the output"]),
            ("one too many", ["OUT.EXE"] + good[:2] + ["x"] + good[2:], EXIT_USAGE, ["one output"]),
            ("two levels", ["OUT.EXE", "--stored", "--best"] + good, EXIT_USAGE, ["--stored, --fast and --best"]),
            ("--stub without a value", ["OUT.EXE", "deck.pps", "player.exe", "--stub"], EXIT_USAGE, ["needs a value"]),
            ("missing launcher", ["OUT.EXE", "deck.pps", "player.exe", "--stub", "none.exe"], EXIT_NOT_FOUND,
             ["none.exe", "no such file", "launcher"]),
            ("missing show", ["OUT.EXE", "none.pps", "player.exe", "--stub", "stub.exe"], EXIT_NOT_FOUND,
             ["none.pps", "no such file", "show"]),
            ("missing player", ["OUT.EXE", "deck.pps", "none.exe", "--stub", "stub.exe"], EXIT_NOT_FOUND,
             ["none.exe", "no such file", "player"]),
            ("show is a folder", ["OUT.EXE", "folder.pps", "player.exe", "--stub", "stub.exe"], EXIT_USAGE,
             ["folder.pps", "not a file"]),
            ("same stored name", ["OUT.EXE", "one/same.bin", "two/SAME.BIN", "--stub", "stub.exe"], EXIT_USAGE,
             ["both be stored as SAME.BIN"]),
            ("launcher is text", ["OUT.EXE"] + good[:3] + ["text.exe"], EXIT_USAGE,
             ["text.exe", "not a 32-bit Windows program", "MZ"]),
            ("launcher is two bytes", ["OUT.EXE"] + good[:3] + ["short.exe"], EXIT_USAGE, ["MZ header"]),
            ("no PE signature", ["OUT.EXE"] + good[:3] + ["ne.exe"], EXIT_USAGE, ["no PE signature"]),
            ("PE header past the end", ["OUT.EXE"] + good[:3] + ["far.exe"], EXIT_USAGE, ["outside the file"]),
            ("64-bit machine", ["OUT.EXE"] + good[:3] + ["x64.exe"], EXIT_USAGE, ["0x8664", "0x14C"]),
            ("PE32+ optional header", ["OUT.EXE"] + good[:3] + ["pe32plus.exe"], EXIT_USAGE, ["0x20B", "0x10B"]),
            ("a library", ["OUT.EXE"] + good[:3] + ["library.dll"], EXIT_USAGE, ["library"]),
            ("entry signature inside", ["OUT.EXE"] + good[:3] + ["entry-sig.exe"], EXIT_USAGE,
             ["67 57 04 01", "offset 768"]),
            ("archive signature inside", ["OUT.EXE"] + good[:3] + ["archive-sig.exe"], EXIT_USAGE,
             ["67 57 04 02", "offset 768"]),
            ("output is the show", ["deck.pps"] + good, EXIT_USAGE, ["is the show"]),
            ("output is the show, other spelling", [os.path.join(".", "sub", "..", "deck.pps")] + good, EXIT_USAGE,
             ["is the show"]),
            ("output is the player", ["player.exe"] + good, EXIT_USAGE, ["is the player"]),
            ("output is the launcher", ["stub.exe"] + good, EXIT_USAGE, ["is the launcher"]),
        ]
        os.makedirs(self.path("sub"))
        if hasattr(os, "link"):
            os.link(self.path("deck.pps"), self.path("linked.pps"))
            cases.append(("output is a hard link to the show", ["linked.pps"] + good, EXIT_USAGE, ["is the show"]))
        if not WINE:
            os.symlink("player.exe", self.path("alias.exe"))
            cases.append(("output is a symbolic link to the player", ["alias.exe"] + good, EXIT_USAGE,
                          ["is the player"]))
            self.write("aux.pps", b"device")
            cases.append(("a device name", ["OUT.EXE", "aux.pps", "player.exe", "--stub", "stub.exe"], EXIT_USAGE,
                          ["device name"]))
        return cases

    def test_names_are_stored_in_the_code_page_of_the_show(self):
        if WINE:
            self.skipTest("names converted with iconv natively")
        self.stub()
        self.write("日本.pps", b"slides")
        self.write("player.exe", tiny_pe())
        run = self.arq("show", "OUT.EXE", "日本.pps", "player.exe", "--stub", "stub.exe")
        self.assertExit(run, EXIT_USAGE)
        self.assertOneLine(run, "code page 1252 cannot hold its name " + "日本.pps".encode().decode("latin-1"))
        run = self.arq("show", "-v", "OUT.EXE", "日本.pps", "player.exe", "--stub", "stub.exe", "--codepage", "932")
        self.assertExit(run, EXIT_OK)
        self.assertIn("  日本.PPS\n", run.out.encode("latin-1").decode())
        _, entries = self.show_archive("OUT.EXE", len(tiny_pe()))
        self.assertEqual(entries[0]["name"].encode("latin-1"), "日本.PPS".encode("cp932"))
        self.assertExit(self.arq("extract", "OUT.EXE", "--codepage", "932", "-C", "out"), EXIT_OK)
        self.assertEqual(self.read("out/日本.PPS"), b"slides")

    def test_refusals_write_nothing(self):
        self.stub()
        self.write("deck.pps", b"slides")
        self.write("player.exe", tiny_pe())
        cases = self.refusal_cases()
        earlier = tiny_pe(pad=1)  # the show made before
        self.write("OUT.EXE", earlier)
        before = tree_snapshot(self.dir)
        for description, args, code, words in cases:
            with self.subTest(case=description):
                run = self.arq("show", *args)
                self.assertExit(run, code)
                lines = run.err_lines()
                self.assertLessEqual(len(lines), 1, repr(run))  # a usage error may add no second line
                for word in words:
                    self.assertIn(word, run.err)
                self.assertEqual(run.out, "")
                self.assertEqual(tree_snapshot(self.dir), before)
                self.assertEqual(self.read("OUT.EXE"), earlier)
                self.assertEqual(self.read("deck.pps"), b"slides")

    def test_an_output_or_player_that_cannot_make_a_show(self):
        self.stub()
        self.write("deck.pps", b"slides")
        program = tiny_pe()
        for name, data in {"player.exe": tiny_pe(pad=2), "notes.txt": b"notes\n", "earlier.exe": tiny_pe(pad=1),
                           "play.txt": b"plays the show\n", "lib.dll": tiny_pe(characteristics=0x2102),
                           "arm.exe": tiny_pe(machine=0x1C4), "x64.exe": tiny_pe(machine=0x8664, magic=0x20B),
                           "far.exe": program[:0x3C] + struct.pack("<I", 0x7FFFFFF0) + program[0x40:]}.items():
            self.write(name, data)
        self.write("play.sh", b"#!/bin/sh\nexec viewer \"$1\"\n", mode=0o755)
        os.makedirs(self.path("folder.exe"))
        cases = [
            # (output, show, player, exit code, words of the one line on stderr)
            ("notes.txt", "deck.pps", "player.exe", EXIT_NOT_REPLACED, ["notes.txt", "not a program", "left as it is"]),
            ("folder.exe", "deck.pps", "player.exe", EXIT_USAGE, ["folder.exe", "is a folder"]),
            ("earlier.exe", "deck.pps", "player.exe", EXIT_OK, []),
            ("out.exe", "deck.pps", "play.txt", EXIT_USAGE, ["play.txt", "not a Windows program", "MZ", "player"]),
            ("out.exe", "deck.pps", "play.sh", EXIT_USAGE, ["play.sh", "not a Windows program", "MZ"]),
            ("out.exe", "deck.pps", "lib.dll", EXIT_USAGE, ["lib.dll", "library"]),
            ("out.exe", "deck.pps", "arm.exe", EXIT_USAGE, ["arm.exe", "0x1C4"]),
            ("out.exe", "deck.pps", "far.exe", EXIT_USAGE, ["far.exe", "outside the file"]),
            ("out.exe", "player.exe", "deck.pps", EXIT_USAGE, ["deck.pps", "player.exe", "swapped"]),
            ("out.exe", "deck.pps", "x64.exe", EXIT_OK, []),
            ("show.bin", "deck.pps", "player.exe", EXIT_OK, ["warning", "show.bin", ".exe"]),
            ("PLAYER.EXE", "deck.pps", "player.exe", EXIT_USAGE, ["PLAYER.EXE", "player.exe", "on Windows"]),
        ]
        if not WINE:
            os.symlink("notes.txt", self.path("notes-link.exe"))
            os.symlink("nowhere", self.path("dangling.exe"))
            os.mkfifo(self.path("pipe.exe"))
            cases += [("notes-link.exe", "deck.pps", "player.exe", EXIT_NOT_REPLACED, ["notes-link.exe", "not a program"]),
                      ("dangling.exe", "deck.pps", "player.exe", EXIT_NOT_REPLACED, ["nowhere"]),
                      ("pipe.exe", "deck.pps", "player.exe", EXIT_NOT_REPLACED, ["not a regular file"])]

        def contents():  # every name, whether it is a link, and a regular file's bytes
            return {name: (os.path.islink(self.path(name)),
                           self.read(name) if os.path.isfile(self.path(name)) else None)
                    for name in os.listdir(self.dir)}
        before = contents()
        for output, show, player, code, words in cases:
            with self.subTest(output=output, show=show, player=player):
                run = self.arq("show", output, show, player, "--stub", "stub.exe")
                self.assertExit(run, code)
                if words:
                    self.assertOneLine(run, *words)
                else:
                    self.assertEqual(run.err, "")
                if code == EXIT_OK:
                    self.assertEqual(self.read(output)[:len(program) + 4], program + ARCHIVE_SIG)
                    os.remove(self.path(output))
                    if output in before:
                        self.write(output, before[output][1])
                self.assertEqual(contents(), before)

    def test_sizes_the_format_cannot_hold(self):
        self.stub()
        self.write("player.exe", tiny_pe())
        # Sparse files: refused from their sizes, before a byte of them is read.
        with open(self.path("huge.pps"), "wb") as f:
            f.truncate(2 ** 31 - 100)
        # A total whose bytes are 67 57 04 01 would be found before the first entry.
        with open(self.path("unlucky.pps"), "wb") as f:
            f.truncate(0x01045767 - len(tiny_pe()))
        with open(self.path("lucky.pps"), "wb") as f:
            f.truncate(0x01045767 - len(tiny_pe()) + 1)
        before = tree_snapshot(self.dir)
        for show, words in (("huge.pps", ["too large", "2147483647"]), ("unlucky.pps", ["signature", "17061735"])):
            with self.subTest(show=show):
                run = self.arq("show", "--stored", "OUT.EXE", show, "player.exe", "--stub", "stub.exe")
                self.assertExit(run, EXIT_USAGE)
                self.assertOneLine(run, *words)
                self.assertEqual(tree_snapshot(self.dir), before)
        # One byte more, and the total is harmless.
        run = self.arq("show", "--stored", "OUT.EXE", "lucky.pps", "player.exe", "--stub", "stub.exe")
        self.assertExit(run, EXIT_OK)
        with open(self.path("OUT.EXE"), "rb") as f:
            head = f.read(1024 + 32)
        self.assertEqual(head.find(ENTRY_SIG), 1024 + 12)
        self.assertEqual(struct.unpack_from("<I", head, 1024 + 4)[0], 0x01045768)

    def test_an_unreadable_input(self):
        if WINE:
            self.skipTest("Wine run by the superuser reads every file")
        prefix = []
        if os.geteuid() == 0:
            setpriv = shutil.which("setpriv")
            if not setpriv:
                self.skipTest("the superuser reads every file, and setpriv is missing")
            # As nobody, in a folder that nobody may write to.
            prefix = [setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"]
            os.chmod(self.dir, 0o777)
        self.stub()
        self.write("deck.pps", b"slides", mode=0o644)
        self.write("player.exe", tiny_pe(), mode=0o000)
        p = subprocess.run(prefix + ARQ + ["show", "OUT.EXE", "deck.pps", "player.exe", "--stub", "stub.exe"],
                           cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        run = Run(p.returncode, p.stdout, p.stderr)
        self.assertExit(run, EXIT_IO)
        self.assertOneLine(run, "player.exe", "cannot be read")
        self.assertFalse(os.path.exists(self.path("OUT.EXE")))

    def test_a_signed_launchers_signature_is_taken_off(self):
        # The bytes are what a table's header looks like: length, revision 2.0, type
        # PKCS#7, then data.
        cert = struct.pack("<IHH", 24, 0x0200, 0x0002) + b"not a real signature"[:16]
        stub = tiny_pe(cert=cert)
        self.write("signed-stub.exe", stub)
        self.write("deck.pps", text_bytes(5000, 75))
        self.write("player.exe", tiny_pe())
        run = self.arq("show", "out.exe", "deck.pps", "player.exe", "--stub", "signed-stub.exe")
        self.assertExit(run, EXIT_OK)
        self.assertOneLine(run, "warning", "signed-stub.exe", "signature", "taken off", "out.exe")
        # The launcher without its table, directory entry and checksum, then the archive.
        unsigned = bytearray(stub[:len(stub) - len(cert)])
        struct.pack_into("<II", unsigned, CERT_DIRECTORY, 0, 0)
        struct.pack_into("<I", unsigned, CHECKSUM, 0)
        data = self.read("out.exe")
        self.assertEqual(data[:len(unsigned) + 4], bytes(unsigned) + ARCHIVE_SIG)
        rows, run = self.listing("out.exe")
        self.assertExit(run, EXIT_OK)
        self.assertEqual([r["name"] for r in rows], ["DECK.PPS", "PLAYER.EXE"])
        self.assertExit(self.arq("test", "out.exe"), EXIT_OK)
        # An unsigned launcher gets no warning.
        self.stub()
        run = self.arq("show", "plain.exe", "deck.pps", "player.exe", "--stub", "stub.exe")
        self.assertEqual((run.code, run.err), (EXIT_OK, ""))

    def test_only_the_signed_bytes_count(self):
        # A certificate table stretched over the archive, or over its second entry: the
        # signature stays good, the launcher reads nothing from the table, and neither
        # does arq.
        self.stub()
        self.write("deck.pps", text_bytes(5000, 76))
        self.write("player.exe", tiny_pe())
        self.assertExit(self.arq("show", "out.exe", "deck.pps", "player.exe", "--stub", "stub.exe"), EXIT_OK)
        data = self.read("out.exe")
        second = data.find(ENTRY_SIG, data.find(ENTRY_SIG) + 1)
        cases = [
            ("the archive in the table", data.find(ARCHIVE_SIG), ["outside the program's signed bytes"]),
            ("the player in the table", second, ["DECK.PPS", "reaches past the program's signed bytes"]),
        ]
        for what, table_at, words in cases:
            with self.subTest(what):
                stretched = bytearray(data)
                struct.pack_into("<II", stretched, CERT_DIRECTORY, table_at, len(data) - table_at)
                self.write("stretched.exe", bytes(stretched))
                for command in ("list", "test"):
                    run = self.arq(command, "stretched.exe")
                    self.assertExit(run, EXIT_DAMAGED)
                    self.assertIn(words[-1], run.err)
                run = self.arq("extract", "stretched.exe", "-C", "got")
                self.assertExit(run, EXIT_DAMAGED)
                got = sorted(os.listdir(self.path("got"))) if os.path.isdir(self.path("got")) else []
                self.assertEqual(got, words[:-1])
                shutil.rmtree(self.path("got"), ignore_errors=True)

    def signing_tools(self):
        if not OSSLSIGNCODE:
            self.skipTest("osslsigncode is missing")
        made = test_certificate()
        if made is None:
            self.skipTest("openssl is missing")
        self.addCleanup(shutil.rmtree, made[0], True)
        return made[1], made[2]

    def sign(self, cert, key, source, target):
        p = subprocess.run([OSSLSIGNCODE, "sign", "-certs", cert, "-key", key, "-n", "Tarnby", "-h", "sha256",
                            "-in", self.path(source), "-out", self.path(target)],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(p.returncode, 0, p.stdout)

    def verify(self, cert, rel):
        p = subprocess.run([OSSLSIGNCODE, "verify", "-in", self.path(rel), "-CAfile", cert],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return p.returncode, p.stdout.decode("latin-1")

    def test_signing_the_finished_show(self):
        cert, key = self.signing_tools()
        self.stub()
        show, player = text_bytes(60000, 76), tiny_pe() + random_bytes(9000, 77)
        self.write("deck.pps", show)
        self.write("player.exe", player)
        self.assertExit(self.arq("show", "unsigned.exe", "deck.pps", "player.exe", "--stub", "stub.exe"), EXIT_OK)
        self.sign(cert, key, "unsigned.exe", "signed.exe")
        code, said = self.verify(cert, "signed.exe")
        self.assertEqual(code, 0, said)
        self.assertIn("Succeeded", said)

        # The show stays where it was; zero padding to 8 bytes and the certificate table
        # follow the end record, and the security directory points at the table.
        unsigned, signed = self.read("unsigned.exe"), self.read("signed.exe")
        pad = (8 - len(unsigned) % 8) % 8
        self.assertEqual(signed[len(unsigned):len(unsigned) + pad], bytes(pad))
        table, size = struct.unpack_from("<II", signed, CERT_DIRECTORY)
        self.assertEqual((table, table + size), (len(unsigned) + pad, len(signed)))
        changed = [i for i in range(len(unsigned)) if unsigned[i] != signed[i]]
        headers = set(range(CHECKSUM, CHECKSUM + 4)) | set(range(CERT_DIRECTORY, CERT_DIRECTORY + 8))
        self.assertTrue(set(changed) <= headers, changed)

        rows, run = self.listing("signed.exe")
        self.assertExit(run, EXIT_OK)
        self.assertEqual([r["name"] for r in rows], ["DECK.PPS", "PLAYER.EXE"])
        self.assertExit(self.arq("test", "signed.exe"), EXIT_OK)
        self.assertExit(self.arq("extract", "signed.exe", "-C", "out"), EXIT_OK)
        self.assertEqual((self.read("out/DECK.PPS"), self.read("out/PLAYER.EXE")), (show, player))

        # One byte of the archive changed after signing: the signature no longer holds.
        player_at = signed.index(ENTRY_SIG, signed.index(ENTRY_SIG) + 1)
        tampered = bytearray(signed)
        tampered[player_at + 100] ^= 0x01
        with open(self.path("tampered.exe"), "wb") as f:
            f.write(tampered)
        code, said = self.verify(cert, "tampered.exe")
        self.assertNotEqual(code, 0, said)


# ---- Missing, not an archive, damaged ----------------------------------------------------


class DamagedTest(ArqTest):
    def sample(self):
        """A small archive with a Stored and a Crushed entry, made by arq."""
        self.write("s/a.txt", random_bytes(40, 20))
        self.write("s/b.txt", text_bytes(3000, 21))
        self.assertExit(self.arq("create", "good.arq", "-C", "s", "."), EXIT_OK)
        data = self.read("good.arq")
        entries = parse_archive(data)
        self.assertEqual([e["method"] for e in entries[:-1]], [1, 2])
        return data

    def test_missing_file(self):
        for command in ("list", "test", "extract"):
            with self.subTest(command=command):
                run = self.arq(command, "nothere.arq")
                self.assertExit(run, EXIT_NOT_FOUND)
                self.assertOneLine(run, "nothere.arq", "no such file")

    def test_not_an_archive(self):
        self.write("text.arq", b"just some text, no archive\n")
        self.write("empty.arq", b"")
        os.makedirs(self.path("folder.arq"))
        for name, words in (("text.arq", "not an archive"), ("empty.arq", "empty"), ("folder.arq", "folder")):
            for command in ("list", "test", "extract"):
                with self.subTest(name=name, command=command):
                    run = self.arq(command, name)
                    self.assertExit(run, EXIT_NOT_ARCHIVE)
                    self.assertOneLine(run, name, words)

    def test_truncated_at_every_length(self):
        data = self.sample()
        lengths = range(1, len(data))
        if WINE:
            # Each start of a Windows program costs a tenth of a second: every record
            # boundary and a spread of lengths inside the records.
            bounds = [e["offset"] for e in parse_archive(data)[:-1]] + [len(data) - 41]
            lengths = sorted({n for b in bounds for n in (b - 1, b, b + 1, b + 8, b + 40)} |
                             set(range(1, len(data), 97)))
            lengths = [n for n in lengths if 0 < n < len(data)]
        originals = {"A.TXT": self.read("s/a.txt"), "B.TXT": self.read("s/b.txt")}
        for n in lengths:
            name = "cut%d.arq" % n
            with open(self.path(name), "wb") as f:
                f.write(data[:n])
            for command in ("list", "test", "extract"):
                args = [command, name] + (["-v", "-C", "out%d" % n] if command == "extract" else [])
                run = self.arq(*args)
                with self.subTest(length=n, command=command):
                    self.assertIn(run.code, (EXIT_DAMAGED, EXIT_NOT_ARCHIVE), repr(run))
                    self.assertTrue(run.err_lines(), repr(run))
                    if n >= 4:
                        self.assertIn("damaged", run.err_lines()[-1], repr(run))
                    if command == "extract":
                        # A file reported written is the original, whole.
                        for line in run.out.split("\n"):
                            written = re.split(r"[\\/]", line)[-1]
                            if written in originals:
                                self.assertEqual(self.read(os.path.join("out%d" % n, written)), originals[written])
            # Whatever was written stays under the destination.
            for rel in tree_snapshot(self.dir):
                self.assertTrue(rel.startswith(("s", "good.arq", "cut", "out")), rel)
            shutil.rmtree(self.path("out%d" % n), ignore_errors=True)
            os.unlink(self.path(name))

    def test_damage_after_good_entries_is_reported_after_them(self):
        data = self.sample()
        second = parse_archive(data)[1]["offset"]
        bad = data[:second] + b"XXXX" + data[second + 4:]
        with open(self.path("bad.arq"), "wb") as f:
            f.write(bad)
        rows, run = self.listing("bad.arq")
        self.assertExit(run, EXIT_DAMAGED)
        self.assertEqual([r["name"] for r in rows], ["A.TXT"])
        self.assertOneLine(run, "damaged", "no entry header record at offset %d" % second)
        run = self.arq("test", "bad.arq")
        self.assertExit(run, EXIT_DAMAGED)
        run = self.arq("extract", "bad.arq", "-C", "out")
        self.assertExit(run, EXIT_DAMAGED)
        self.assertOneLine(run, "damaged")
        self.assertEqual(self.read("out/A.TXT"), self.read("s/a.txt"))  # what could be extracted

    def test_unreadable_entry_headers(self):
        """Every entry header that the engine stops at is reported, in a plain archive and
        in a show alike, and what arq lists and extracts is what the launcher extracts."""
        self.sample()
        self.write("stub.exe", tiny_pe())
        self.write("player.exe", tiny_pe(pad=3000))
        self.assertExit(self.arq("show", "show.exe", "s/b.txt", "player.exe", "--stub", "stub.exe"), EXIT_OK)
        damages = {
            "name length 0": lambda e: (e + 6, struct.pack("<H", 0)),
            "name length 0xFFFF": lambda e: (e + 6, struct.pack("<H", 0xFFFF)),
            "a name of 300 bytes": lambda e: (e + 6, struct.pack("<H", 300)),
            "volume field 0xFFFFFFFF": lambda e: (e["data_offset"] - len(e["extra"]) - 33 + 26, b"\xff" * 4),
        }
        for rel, start in (("good.arq", 0), ("show.exe", len(tiny_pe()) + 12)):
            data = self.read(rel)
            entries = parse_archive(data, start)[:-1]
            names = [e["name"] for e in entries]
            for damage, where in damages.items():
                for index, victim in enumerate(entries):
                    at, patch = where(victim if damage.startswith("volume") else victim["offset"])
                    name = "case" + os.path.splitext(rel)[1]
                    self.write(name, data[:at] + patch + data[at + len(patch):])
                    with self.subTest(file=rel, damage=damage, entry=index):
                        code, header = EXIT_DAMAGED, "the entry header at offset %d cannot be read" % victim["offset"]
                        if victim["offset"] == 0 and damage.startswith("volume"):
                            # A file's first record on another disk: a later disk of a set.
                            code, header = EXIT_NOT_FOUND, "disk 256 of a spanned set"
                        rows, run = self.listing(name)
                        self.assertExit(run, code)
                        self.assertIn(header, run.err_lines()[-1])
                        self.assertEqual([r["name"] for r in rows], names[:index])
                        run = self.arq("test", name)
                        self.assertExit(run, code)
                        self.assertIn(header, run.err)
                        shutil.rmtree(self.path("out"), ignore_errors=True)
                        run = self.arq("extract", name, "-C", "out")
                        self.assertExit(run, code)
                        self.assertEqual(sorted(os.listdir(self.path("out"))) if index else [], names[:index])
                        if SELF_EXTRACT and rel == "show.exe":
                            shutil.rmtree(self.path("launched"), ignore_errors=True)
                            os.makedirs(self.path("launched"))
                            p = subprocess.run(SELF_EXTRACT + [name, "launched"], cwd=self.dir,
                                               stdout=subprocess.PIPE, timeout=120)
                            launched = p.stdout.decode("latin-1").split()[:-2]
                            self.assertEqual(launched, names[:index], p.stdout)

    def test_hand_made_damage(self):
        good_crushed = parse_archive(self.sample())[1]
        cases = [
            # name, records, expected exit of list, test, extract, words in test's stderr
            ("sizes differ", [entry("A.TXT", b"abcdef", usize=4)], EXIT_OK, EXIT_DAMAGED, EXIT_DAMAGED,
             "two sizes differ"),
            ("crushed garbage", [entry("G.TXT", b"\xff" * 50, method=2, usize=1000)], EXIT_OK, EXIT_DAMAGED,
             EXIT_DAMAGED, "damaged"),
            ("crushed too long", [entry("L.TXT", good_crushed["data"] + b"\x00" * 9, method=2,
                                        usize=good_crushed["usize"])], EXIT_OK, EXIT_DAMAGED, EXIT_OK,
             "9 bytes of its packed data are left over"),
            # The decoder reads zero bits past the packed size, so extraction may not
            # notice; test counts the bits the stream uses.
            ("crushed too short", [entry("S.TXT", good_crushed["data"][:-20], method=2,
                                         usize=good_crushed["usize"]), entry("N.TXT", b"next")],
             EXIT_OK, EXIT_DAMAGED, None, "ends before the file is complete"),
            ("crushed one byte short", [entry("S.TXT", good_crushed["data"][:-1], method=2,
                                              usize=good_crushed["usize"])],
             EXIT_OK, EXIT_DAMAGED, None, "ends before the file is complete"),
            ("crushed one byte over", [entry("L.TXT", good_crushed["data"] + b"\x00", method=2,
                                             usize=good_crushed["usize"])], EXIT_OK, EXIT_DAMAGED, EXIT_OK,
             "1 bytes of its packed data are left over"),
            ("unknown method", [entry("M.TXT", b"abc", method=3), entry("K.TXT", b"kept")], EXIT_OK,
             EXIT_SKIPPED, EXIT_SKIPPED, "unknown storage method 3"),
            ("newer version", [entry("V.TXT", b"v", needed=0x32)], EXIT_DAMAGED, EXIT_DAMAGED, EXIT_DAMAGED,
             "newer engine"),
            ("name too long", [entry("N" * 261, b"x")], EXIT_DAMAGED, EXIT_DAMAGED, EXIT_DAMAGED, "261 bytes"),
            ("size past the end", [entry("P.TXT", b"abc", csize=0x7FFFFFF0, usize=0x7FFFFFF0)], EXIT_DAMAGED,
             EXIT_DAMAGED, EXIT_DAMAGED, "past the end"),
            ("huge size", [entry("H.TXT", b"abc", csize=0xFFFFFFF0, usize=0xFFFFFFF0, method=2)], EXIT_DAMAGED,
             EXIT_DAMAGED, EXIT_DAMAGED, "past the end"),
            ("no extract flag", [entry("F.TXT", b"flagged", flags=2 | 4)], EXIT_OK, EXIT_OK, EXIT_SKIPPED, ""),
        ]
        for name, records, list_code, test_code, extract_code, words in cases:
            with self.subTest(case=name):
                archive = self.make_archive("case.arq", records)
                rows, run = self.listing(archive)
                self.assertExit(run, list_code)
                run = self.arq("test", archive)
                self.assertExit(run, test_code)
                self.assertIn(words, run.err)
                run = self.arq("extract", archive, "-C", "out")
                if extract_code is not None:
                    self.assertExit(run, extract_code)
                shutil.rmtree(self.path("out"), ignore_errors=True)

    def test_listing_fields(self):
        # Times are signed 32-bit seconds, shown in UTC.
        cases = [
            (0, "1970-01-01 00:00:00"),
            (1600000000, "2020-09-13 12:26:40"),
            (951782400, "2000-02-29 00:00:00"),
            (0x7FFFFFFF, "2038-01-19 03:14:07"),
            (0x80000000, "1901-12-13 20:45:52"),
            (0xFFFFFFFF, "1969-12-31 23:59:59"),
        ]
        records = [entry("T%d" % i, b"abcd", mtime=t) for i, (t, _) in enumerate(cases)]
        records.append(entry("M", b"\x00" * 10, method=2, usize=40, mode=0x81FF, flags=0x0A, volume=3))
        rows, run = self.listing(self.make_archive("f.arq", records))
        self.assertEqual([r["time"] for r in rows[:-1]], [shown for _, shown in cases])
        last = rows[-1]
        self.assertEqual((last["method"], last["packed"], last["size"], last["ratio"], last["mode"], last["flags"],
                          last["volume"]), ("Crushed", 10, 40, "25.0%", "100777", "0A -S", 3))
        self.assertRegex(run.out, r"\n\s+34\s+64\s+53\.1%\s+7 entries\n")

    def test_unknown_method_and_no_extract_are_named(self):
        archive = self.make_archive("m.arq", [entry("M.TXT", b"abc", method=3), entry("F.TXT", b"f", flags=6),
                                              entry("K.TXT", b"kept")])
        rows, run = self.listing(archive)
        self.assertEqual([(r["method"], r["flags"]) for r in rows],
                         [("method 3", "02 --"), ("Stored", "06 N-"), ("Stored", "02 --")])
        run = self.arq("extract", archive, "-C", "out")
        self.assertExit(run, EXIT_SKIPPED)
        self.assertEqual(len(run.err_lines()), 4, repr(run))
        self.assertIn("M.TXT: skipped: unknown storage method 3", run.err)
        self.assertIn("F.TXT: skipped: marked not to be extracted", run.err)
        # The empty files the skipped entries got are removed again.
        self.assertIn("M.TXT: incomplete, removed", run.err)
        self.assertIn("F.TXT: incomplete, removed", run.err)
        self.assertEqual(os.listdir(self.path("out")), ["K.TXT"])
        self.assertEqual(self.read("out/K.TXT"), b"kept")


# ---- Entry checksums ----------------------------------------------------------------------


class ChecksumTest(ArqTest):
    FILES = {
        "c/text.txt": text_bytes(60000, 91),
        "c/noise.bin": random_bytes(20000, 92),
        "c/empty.txt": b"",
    }

    def make(self, archive, *options):
        for rel, data in self.FILES.items():
            self.write(rel, data)
        self.assertExit(self.arq("create", *options, archive, "-C", "c", "."), EXIT_OK)
        entries = parse_archive(self.read(archive))
        self.assertIsNone(entries[-1])
        return {e["name"]: e for e in entries[:-1]}

    def original(self, stored):
        return self.FILES["c/" + stored.lower()]

    def test_every_entry_carries_the_crc32_of_its_bytes(self):
        for options in ([], ["--stored"], ["--best"]):
            with self.subTest(options=options):
                entries = self.make("k.arq", *options)
                for name, e in entries.items():
                    self.assertEqual(e["extra"], checksum_field(self.original(name)), name)
                rows, run = self.listing("k.arq")
                self.assertExit(run, EXIT_OK)
                self.assertEqual({r["name"]: r["crc"] for r in rows},
                                 {name: "%08X" % zlib.crc32(self.original(name)) for name in entries})
                run = self.arq("test", "-v", "k.arq")
                self.assertExit(run, EXIT_OK)
                self.assertIn("all 3 entries intact", run.out)
                shutil.rmtree(self.path("out"), ignore_errors=True)
                self.assertExit(self.arq("extract", "k.arq", "-C", "out"), EXIT_OK)
                for name in entries:
                    self.assertEqual(self.read("out/" + name), self.original(name))

    def flipped(self, archive, offset, name):
        data = bytearray(self.read(archive))
        data[offset] ^= 0x10
        self.write(name, bytes(data))
        return name

    def crushed_flip(self, entry, archive):
        """A byte of the Crushed stream whose change still decodes to the full size with
        the packed bytes used up: only a checksum can tell. Found by trying."""
        for delta in range(len(entry["data"]) // 2, len(entry["data"]) - 1):
            name = self.flipped(archive, entry["data_offset"] + delta, "probe.arq")
            run = self.arq("test", name)
            if "does not match its checksum" in run.err:
                return delta
        self.fail("no byte of the stream changes the data without breaking the stream")

    def test_a_changed_byte_is_caught(self):
        with_field = self.make("k.arq")
        without = self.make("n.arq", "--no-checksum")
        text, noise = with_field["TEXT.TXT"], with_field["NOISE.BIN"]
        self.assertEqual((text["method"], noise["method"]), (2, 1))
        crushed_delta = self.crushed_flip(text, "k.arq")
        cases = [
            # entry, offset of the changed byte in the archive with and without the field
            ("NOISE.BIN", "Stored", noise["data_offset"] + 12345, without["NOISE.BIN"]["data_offset"] + 12345),
            ("TEXT.TXT", "Crushed", text["data_offset"] + crushed_delta,
             without["TEXT.TXT"]["data_offset"] + crushed_delta),
        ]
        for name, method, offset, offset_without in cases:
            with self.subTest(method):
                damaged = self.flipped("k.arq", offset, "bad.arq")
                run = self.arq("test", damaged)
                self.assertExit(run, EXIT_DAMAGED)
                self.assertIn("%s: damaged: its data does not match its checksum (CRC-32 %08X stored"
                              % (name, zlib.crc32(self.original(name))), run.err)
                shutil.rmtree(self.path("out"), ignore_errors=True)
                run = self.arq("extract", damaged, "-C", "out")
                self.assertExit(run, EXIT_DAMAGED)
                self.assertIn(name + ": failed: its data does not match its checksum", run.err)
                self.assertIn(name + ": incomplete, removed", run.err)
                # Without the field the same change goes unnoticed, as it always has.
                unnoticed = self.flipped("n.arq", offset_without, "unnoticed.arq")
                self.assertExit(self.arq("test", unnoticed), EXIT_OK)
                shutil.rmtree(self.path("out2"), ignore_errors=True)
                self.assertExit(self.arq("extract", unnoticed, "-C", "out2"), EXIT_OK)
                self.assertNotEqual(self.read("out2/" + name), self.original(name))

    def test_a_changed_byte_in_a_spanned_entry_is_caught(self):
        if WINE:
            self.skipTest("a set is read from folders with --volumes only natively")
        self.write("s/big.bin", random_bytes(150000, 93))
        self.assertExit(self.arq("create", "--volume-size", "64K", "SET.ARQ", "s"), EXIT_OK)
        folders = ["SET.ARQ.%d" % n for n in (1, 2, 3)]
        second = self.path(folders[1], "SET.ARQ")
        with open(second, "rb") as f:
            volume = bytearray(f.read())
        # The continuation header repeats the entry's checksum field (first, before the
        # folder's time); its data runs to the end of the volume.
        block = 8 + struct.unpack_from("<H", volume, 6)[0]
        data_offset = block + 33 + struct.unpack_from("<H", volume, block + 31)[0]
        self.assertEqual(bytes(volume[block + 33:block + 41]), checksum_field(self.read("s/big.bin")))
        volume[data_offset + 1000] ^= 0x01
        with open(second, "wb") as f:
            f.write(volume)
        run = self.arq("test", "SET.ARQ", "--volumes", *folders)
        self.assertExit(run, EXIT_DAMAGED)
        self.assertIn("BIG.BIN: damaged: its data does not match its checksum", run.err)
        run = self.arq("extract", "SET.ARQ", "-C", "out", "--volumes", *folders)
        self.assertExit(run, EXIT_DAMAGED)
        self.assertIn("BIG.BIN: failed: its data does not match its checksum", run.err)


class TimeTest(ArqTest):
    def test_times_the_format_cannot_hold(self):
        if WINE:
            self.skipTest("the host's times past 2038 are set natively")
        cases = [
            # time of the file, stored time, shown time, words of the warning
            # (Times before 1901 cannot be given to a file here: the file system keeps
            # none earlier than the archive does.)
            (2 ** 31 + 1000, 0x7FFFFFFF, "2038-01-19 03:14:07", "after 2038-01-19 03:14:07 UTC"),
            (2 ** 31, 0x7FFFFFFF, "2038-01-19 03:14:07", "after 2038-01-19 03:14:07 UTC"),
            (2 ** 31 - 1, 0x7FFFFFFF, "2038-01-19 03:14:07", None),
            (-(2 ** 31), 0x80000000, "1901-12-13 20:45:52", None),
        ]
        for mtime, stored, shown, words in cases:
            with self.subTest(mtime=mtime):
                self.write("t/late.txt", b"from the future")
                os.utime(self.path("t/late.txt"), (mtime, mtime))
                run = self.arq("create", "t.arq", "t/late.txt")
                self.assertExit(run, EXIT_OK)
                if words:
                    self.assertOneLine(run, "warning", "late.txt", words)
                else:
                    self.assertEqual(run.err, "")
                self.assertEqual(parse_archive(self.read("t.arq"))[0]["mtime"], stored)
                rows, _ = self.listing("t.arq")
                self.assertEqual(rows[0]["time"], shown)


# ---- Hostile names ----------------------------------------------------------------------


class HostileNameTest(ArqTest):
    NAMES = [
        ("../evil.txt", "parent folder"),
        ("..\\evil2.txt", "parent folder, backslash"),
        ("a/../../evil3.txt", "parent inside"),
        ("/abs.txt", "leading separator"),
        ("\\\\server\\share\\x.txt", "network path"),
        ("C:\\evil4.txt", "drive letter"),
        ("C:evil5.txt", "drive-relative"),
        ("file.txt:stream", "data stream"),
        ("CON", "device"),
        ("sub/nul.txt", "device with extension"),
        ("com1", "serial port"),
        ("a//b.txt", "empty component"),
        ("...", "dots only"),
    ]

    def test_traversal_names_are_refused_and_the_rest_extracted(self):
        records = [entry("GOOD1.TXT", b"one")]
        for name, _ in self.NAMES:
            records.append(entry(name, b"evil data"))
        records.append(entry("GOOD2.TXT", b"two"))
        archive = self.make_archive("hostile.arq", records)
        os.makedirs(self.path("box", "dest"))
        before = set(tree_snapshot(self.dir))
        run = self.arq("extract", archive, "-C", os.path.join("box", "dest"))
        self.assertExit(run, EXIT_REFUSED)
        lines = run.err_lines()
        self.assertEqual(len(lines), len(self.NAMES), repr(run))
        for line in lines:
            self.assertIn("refused", line)
        after = set(tree_snapshot(self.dir))
        added = after - before
        self.assertEqual(added, {os.path.join("box", "dest", "GOOD1.TXT"), os.path.join("box", "dest", "GOOD2.TXT")})

    def test_control_bytes_in_names_are_not_printed(self):
        archive = self.make_archive("esc.arq", [entry(b"\x1b]0;owned\x07X.TXT", b"x")])
        rows, run = self.listing(archive)
        self.assertExit(run, EXIT_OK)
        self.assertNotIn("\x1b", run.out)
        self.assertNotIn("\x07", run.out)
        self.assertIn("?]0;OWNED?X.TXT", run.out)


# ---- Create: failures leave nothing ------------------------------------------------------


class CreateFailureTest(ArqTest):
    def leftovers(self, folder="."):
        return [n for n in os.listdir(self.path(folder)) if n.upper().startswith("ARQ") and n.endswith(".$$$")]

    def test_missing_input_leaves_old_archive_alone(self):
        self.write("a.txt", b"a")
        self.make_archive("old.arq", [entry("PREVIOUS.TXT", b"previous contents")])
        previous = self.read("old.arq")
        run = self.arq("create", "old.arq", "a.txt", "missing.txt")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertOneLine(run, "missing.txt", "no such file")
        self.assertEqual(self.read("old.arq"), previous)
        self.assertEqual(self.leftovers(), [])

    def test_missing_folder_for_the_archive(self):
        self.write("a.txt", b"a")
        run = self.arq("create", os.path.join("nofolder", "x.arq"), "a.txt")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertOneLine(run, "nofolder", "no such folder")

    def test_names_that_clash_or_cannot_be_stored(self):
        self.write("one/same.txt", b"1")
        self.write("two/SAME.TXT", b"2")
        run = self.arq("create", "clash.arq", "one/same.txt", "two/SAME.TXT")
        self.assertExit(run, EXIT_USAGE)
        self.assertOneLine(run, "SAME.TXT")
        self.assertFalse(os.path.exists(self.path("clash.arq")))
        if not WINE:
            self.write("dev/aux.txt", b"3")
            run = self.arq("create", "dev.arq", "dev")
            self.assertExit(run, EXIT_USAGE)
            self.assertOneLine(run, "device name")
            self.write("colon/a:b", b"4")
            run = self.arq("create", "colon.arq", "colon")
            self.assertExit(run, EXIT_USAGE)
            self.assertOneLine(run, "':'")
        self.assertEqual(self.leftovers(), [])

    def test_archive_name_is_a_folder(self):
        self.write("a.txt", b"a")
        os.makedirs(self.path("dir.arq"))
        run = self.arq("create", "dir.arq", "a.txt")
        self.assertExit(run, EXIT_USAGE)
        self.assertOneLine(run, "is a folder")

    def test_no_room_leaves_nothing(self):
        small, drive = small_drive(self)
        self.write("big.bin", random_bytes(3 * 1024 * 1024, 31))
        target = drive + "big.arq"
        run = self.arq("create", target, "big.bin", env=small_env(small))
        self.assertExit(run, EXIT_NO_ROOM)
        self.assertOneLine(run, "no room")
        self.assertEqual(os.listdir(small), [])


def small_drive(test):
    """A 1 MiB filesystem for running out of room: (host folder, path prefix the tool
    takes). Under Wine it is the fixture's T:, natively a tmpfs mounted for the test."""
    if WINE:
        if not SMALL or not os.path.ismount(SMALL):
            test.skipTest("the Wine fixture has no 1 MiB drive T: (mounting needs root)")
        # A folder of this test's own on the shared drive, removed afterwards.
        folder = os.path.join(SMALL, "arq-blackbox")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        test.addCleanup(shutil.rmtree, folder, True)
        return folder, "T:\\arq-blackbox\\"
    folder = test.path("small")
    os.makedirs(folder)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", folder],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        test.skipTest("cannot mount a tmpfs (needs root)")
    test.addCleanup(subprocess.run, ["umount", folder])
    return folder, "T:\\"


def small_env(folder):
    return None if WINE else {"VARDOK_DRIVES": "T=" + folder}


# ---- Extract: options, room -------------------------------------------------------------


class ExtractOptionsTest(ArqTest):
    def setUp(self):
        super().setUp()
        self.write("s/one.txt", b"one")
        self.write("s/two.txt", b"two")
        self.write("s/three.txt", b"three")
        self.assertExit(self.arq("create", "x.arq", "-C", "s", "."), EXIT_OK)

    def prepare_existing(self):
        self.assertExit(self.arq("extract", "x.arq", "-C", "out", "--overwrite", "always"), EXIT_OK)
        for name in ("ONE.TXT", "TWO.TXT", "THREE.TXT"):
            with open(self.path("out", name), "wb") as f:
                f.write(b"mine")

    def contents(self):
        return [self.read("out/" + n) for n in ("ONE.TXT", "THREE.TXT", "TWO.TXT")]

    def test_never_keeps_and_unasked_keeps_and_says_so(self):
        self.prepare_existing()
        # options, exit code, lines on stderr naming a kept file
        for args, code, named in ((["--overwrite", "never"], EXIT_OK, 0), ([], EXIT_KEPT, 3)):
            run = self.arq("extract", "x.arq", "-C", "out", "-v", *args)
            self.assertExit(run, code)
            self.assertEqual(self.contents(), [b"mine"] * 3)
            self.assertIn("0 files written, 3 kept", run.out)
            self.assertEqual(len([l for l in run.err_lines() if "kept (no terminal to ask" in l]), named)

    def test_chosen_entries_and_stdout(self):
        # names, files written under out (by their names), bytes on stdout with --stdout, exit code
        cases = [
            (["two.*"], ["TWO.TXT"], b"two", EXIT_OK),
            (["t*", "*E.TXT"], ["ONE.TXT", "THREE.TXT", "TWO.TXT"], b"onethreetwo", EXIT_OK),
            (["one.txt", "four.txt"], ["ONE.TXT"], b"one", EXIT_NOT_FOUND),
            ([], ["ONE.TXT", "THREE.TXT", "TWO.TXT"], b"onethreetwo", EXIT_OK),
        ]
        for names, files, stdout, code in cases:
            with self.subTest(names=names):
                shutil.rmtree(self.path("out"), ignore_errors=True)
                run = self.arq("extract", "x.arq", *names, "-C", "out")
                self.assertExit(run, code)
                self.assertEqual(sorted(os.listdir(self.path("out"))), files)
                run = self.arq("extract", "--stdout", "x.arq", *names)
                self.assertExit(run, code)
                self.assertEqual(run.raw_out, stdout)

    def test_always_replaces(self):
        self.prepare_existing()
        self.assertExit(self.arq("extract", "x.arq", "-C", "out", "--overwrite=always"), EXIT_OK)
        self.assertEqual(self.contents(), [b"one", b"three", b"two"])

    def test_ask_takes_answers_from_standard_input(self):
        # Archive order: ONE, THREE, TWO (names sorted when stored).
        cases = [
            (b"y\nn\ny\n", [b"one", b"mine", b"two"]),
            (b"n\nA\n", [b"mine", b"three", b"two"]),
            (b"N\n", [b"mine", b"mine", b"mine"]),
            (b"maybe\ny\n", [b"one", b"mine", b"mine"]),  # a wrong answer is asked again; then input ends
        ]
        for answers, expected in cases:
            with self.subTest(answers=answers):
                self.prepare_existing()
                run = self.arq("extract", "x.arq", "-C", "out", "--overwrite", "ask", stdin=answers)
                self.assertExit(run, EXIT_OK)
                self.assertEqual(self.contents(), expected)
                self.assertIn("Replace ", run.err)
                self.assertIn("[y]es, [n]o, [A]ll, [N]one", run.err)

    def test_destination_folders_are_made(self):
        self.assertExit(self.arq("extract", "x.arq", "-C", os.path.join("new", "deeper")), EXIT_OK)
        self.assertEqual(self.read("new/deeper/ONE.TXT"), b"one")

    def test_no_room_on_the_drive(self):
        small, drive = small_drive(self)
        self.write("room/fits.txt", b"small file")
        self.write("room/huge.bin", random_bytes(1536 * 1024, 41))
        self.write("room/zlast.txt", b"after the big one")
        self.assertExit(self.arq("create", "--stored", "room.arq", "-C", "room", "."), EXIT_OK)
        run = self.arq("extract", "room.arq", "-C", drive + "out", env=small_env(small))
        self.assertExit(run, EXIT_NO_ROOM)
        self.assertEqual(len(run.err_lines()), 2, repr(run))
        self.assertIn("HUGE.BIN: skipped: no room on drive T:", run.err)
        self.assertIn("HUGE.BIN: incomplete, removed", run.err)
        out = os.path.join(small, "out")
        self.assertEqual(sorted(os.listdir(out)), ["FITS.TXT", "ZLAST.TXT"])
        self.assertEqual(open(os.path.join(out, "FITS.TXT"), "rb").read(), b"small file")
        self.assertEqual(open(os.path.join(out, "ZLAST.TXT"), "rb").read(), b"after the big one")

    def test_a_write_that_fills_the_drive(self):
        # Two entries that each pass the free-space check but not together: the
        # second's writes come up short, which is reported as no room.
        small, drive = small_drive(self)
        self.write("fill/a.bin", random_bytes(600 * 1024, 42))
        self.write("fill/b.bin", random_bytes(600 * 1024, 43))
        self.assertExit(self.arq("create", "--stored", "fill.arq", "-C", "fill", "."), EXIT_OK)
        run = self.arq("extract", "fill.arq", "-C", drive + "out", env=small_env(small))
        self.assertExit(run, EXIT_NO_ROOM)
        self.assertEqual(len(run.err_lines()), 2, repr(run))
        self.assertIn("B.BIN", run.err_lines()[0])
        self.assertIn("no room", run.err_lines()[0])
        # What fitted of it is removed: only the whole file stays.
        self.assertIn("B.BIN: incomplete, removed", run.err)
        self.assertEqual(os.listdir(os.path.join(small, "out")), ["A.BIN"])


# ---- Extract: nothing written where it should not be ------------------------------------


class ExtractSafetyTest(ArqTest):
    def setUp(self):
        super().setUp()
        if WINE:
            self.skipTest("links, modes and mounts are the native build's")
        self.write("elsewhere/victim.txt", b"victim", mode=0o644)

    def victim_untouched(self):
        return (self.read("elsewhere/victim.txt") == b"victim" and os.listdir(self.path("elsewhere")) == ["victim.txt"]
                and os.stat(self.path("elsewhere/victim.txt")).st_mode & 0o777 == 0o644)

    def test_links_in_the_destination(self):
        self.make_archive("a.arq", [entry("LOWER.TXT", b"new"), entry("SUB\\F.TXT", b"f"), entry("LAST.TXT", b"l")])
        cases = [
            # (link under dest, what it leads to, --overwrite, exit code, files in dest afterwards)
            ("LOWER.TXT", "elsewhere/victim.txt", "always", EXIT_OK, {"LOWER.TXT": b"new"}),
            ("LOWER.TXT", "elsewhere", "always", EXIT_OK, {"LOWER.TXT": b"new"}),
            ("LOWER.TXT", "elsewhere/new.txt", "always", EXIT_OK, {"LOWER.TXT": b"new"}),
            ("LOWER.TXT", "elsewhere/victim.txt", "never", EXIT_OK, {"LOWER.TXT": b"victim"}),
            ("SUB", "elsewhere", "always", EXIT_REFUSED, {}),
            ("SUB", "nowhere", "always", EXIT_REFUSED, {}),
            ("SUB", ".", "always", EXIT_REFUSED, {}),
            ("SUB", "dest/real", "always", EXIT_OK, {"real/F.TXT": b"f"}),
        ]
        for link, target, mode, code, files in cases:
            with self.subTest(link=link, target=target, overwrite=mode):
                shutil.rmtree(self.path("dest"), True)
                os.makedirs(self.path("dest", "real"))
                os.symlink(self.path(target), self.path("dest", link))
                run = self.arq("extract", "a.arq", "-C", "dest", "--overwrite", mode)
                self.assertExit(run, code)
                for name, data in dict(files, **{"LAST.TXT": b"l"}).items():
                    self.assertEqual(self.read("dest/" + name), data)
                self.assertEqual(os.path.islink(self.path("dest", "LOWER.TXT")), mode == "never")
                self.assertTrue(self.victim_untouched())
                self.assertFalse(os.path.exists(self.path("F.TXT")))

    def test_the_archive_being_read_is_never_replaced(self):
        for archive, name in (("self.arq", "SELF.ARQ"), ("sub/self.arq", "SUB\\SELF.ARQ")):
            with self.subTest(name=name):
                os.makedirs(self.path("sub"), exist_ok=True)
                self.make_archive(archive, [entry(name, b"would replace the archive"), entry("NEXT.TXT", b"n")])
                before = self.read(archive)
                run = self.arq("extract", archive, "--overwrite", "always")
                self.assertExit(run, EXIT_REFUSED)
                self.assertOneLine(run, "SELF.ARQ", "refused", "the archive being read")
                self.assertEqual(self.read(archive), before)
                self.assertEqual(self.read("NEXT.TXT"), b"n")

    def test_the_umask_narrows_the_stored_mode(self):
        self.make_archive("m.arq", [entry("PLAIN.TXT", b"p", mode=0o100666), entry("PROG.EXE", b"x", mode=0o100777)])
        for umask, plain, program in ((0o022, 0o644, 0o755), (0o077, 0o600, 0o700), (0o002, 0o664, 0o775)):
            with self.subTest(umask=oct(umask)):
                shutil.rmtree(self.path("out"), True)
                self.assertExit(self.arq("extract", "m.arq", "-C", "out", umask=umask), EXIT_OK)
                self.assertEqual(os.stat(self.path("out", "PLAIN.TXT")).st_mode & 0o777, plain)
                self.assertEqual(os.stat(self.path("out", "PROG.EXE")).st_mode & 0o777, program)

    def test_free_space_is_that_of_the_folder_written_to(self):
        # A 64 KiB filesystem mounted below C:'s root, which has room: the entry is
        # refused before anything is written.
        os.makedirs(self.path("small"))
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", self.path("small")],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("cannot mount a tmpfs (needs root)")
        self.addCleanup(subprocess.run, ["umount", self.path("small")])
        self.make_archive("big.arq", [entry("BIG.BIN", random_bytes(100 * 1024, 61)), entry("FITS.TXT", b"fits")])
        run = self.arq("extract", "big.arq", "-C", "small")
        self.assertExit(run, EXIT_NO_ROOM)
        self.assertIn("BIG.BIN: skipped: no room", run.err)
        self.assertEqual(os.listdir(self.path("small")), ["FITS.TXT"])


# ---- Extract: a failed entry leaves nothing that looks complete ---------------------------


class IncompleteEntryTest(ArqTest):
    def test_what_a_failed_entry_leaves_is_removed_and_a_replaced_file_comes_back(self):
        news = random_bytes(50000, 71)
        whole = entry("DOC\\NEWS.GZ", news)
        damaged = entry("DOC\\NEWS.GZ", b"\xff" * 50, method=2, usize=1000) + end_record()
        cases = [
            # (description, archive bytes, a file there before, exit code)
            ("cut short", whole[:20000], None, EXIT_DAMAGED),
            ("cut short, replacing", whole[:20000], b"mine", EXIT_DAMAGED),
            ("damaged Crushed data", damaged, None, EXIT_DAMAGED),
            ("damaged Crushed data, replacing", damaged, b"mine", EXIT_DAMAGED),
            ("unknown method, replacing", entry("DOC\\NEWS.GZ", b"abc", method=3) + end_record(), b"mine",
             EXIT_SKIPPED),
            ("whole, replacing", whole + end_record(), b"mine", EXIT_OK),
            ("read-only, not moved aside", whole + end_record(), b"read-only", EXIT_IO),
        ]
        for description, data, before, code in cases:
            with self.subTest(description):
                shutil.rmtree(self.path("out"), True)
                if before is not None:
                    self.write("out/DOC/NEWS.GZ", before, mode=0o444 if code == EXIT_IO else None)
                with open(self.path("a.arq"), "wb") as f:
                    f.write(data)
                run = self.arq("extract", "a.arq", "-C", "out", "--overwrite", "always")
                self.assertExit(run, code)
                after = before if code != EXIT_OK else news
                if after is None:
                    self.assertFalse(os.path.exists(self.path("out", "DOC", "NEWS.GZ")))
                    self.assertIn("NEWS.GZ: incomplete, removed", run.err)
                else:
                    self.assertEqual(self.read("out/DOC/NEWS.GZ"), after)
                    # Nothing moved aside is left behind.
                    self.assertEqual(os.listdir(self.path("out", "DOC")), ["NEWS.GZ"])
                if before is not None and code not in (EXIT_OK, EXIT_IO):
                    self.assertIn("the file it was to replace is back", run.err)


# ---- Create: nothing destroyed that was not asked for -------------------------------------


class CreateSafetyTest(ArqTest):
    def setUp(self):
        super().setUp()
        self.write("in/one.txt", b"one")
        self.write("in/two.txt", b"two")

    def names(self, archive):
        return [e["name"] for e in parse_archive(self.read(archive))[:-1]]

    def test_what_is_no_archive_is_left_alone(self):
        cases = [
            ("notes.txt", lambda p: self.write(p, b"notes, not an archive\n"), "not an archive"),
            ("pipe.arq", lambda p: os.mkfifo(self.path(p)), "not a regular file"),
            ("dangling.arq", lambda p: os.symlink(self.path("nowhere"), self.path(p)), "nowhere"),
        ]
        for name, make, words in cases[:1] if WINE else cases:
            with self.subTest(name):
                make(name)
                before = os.lstat(self.path(name))
                run = self.arq("create", name, "in")
                self.assertExit(run, EXIT_NOT_REPLACED)
                self.assertOneLine(run, name, words, "left as it is")
                after = os.lstat(self.path(name))
                self.assertEqual((before.st_mode, before.st_size, before.st_ino), (after.st_mode, after.st_size, after.st_ino))
        self.assertEqual([n for n in os.listdir(self.dir) if n.endswith(".$$$")], [])

    def test_an_archive_is_replaced_keeping_its_mode_and_through_a_link(self):
        for mode, linked in ((0o600, False), (0o640, False), (0o600, True)):
            if WINE:
                self.skipTest("modes and links are the native build's")
            with self.subTest(mode=oct(mode), linked=linked):
                shutil.rmtree(self.path("real"), True)
                os.makedirs(self.path("real"))
                self.make_archive("real/old.arq", [entry("OLD.TXT", b"old")])
                os.chmod(self.path("real/old.arq"), mode)
                named = "link%o.arq" % mode if linked else "real/old.arq"
                if linked:
                    os.symlink(self.path("real/old.arq"), self.path(named))
                self.assertExit(self.arq("create", named, "-C", "in", "."), EXIT_OK)
                self.assertEqual(self.names("real/old.arq"), ["ONE.TXT", "TWO.TXT"])
                self.assertEqual(os.stat(self.path("real/old.arq")).st_mode & 0o777, mode)
                self.assertEqual(os.path.islink(self.path(named)), linked)

    def test_the_archive_named_as_an_input_is_passed_over_and_an_empty_one_not_written(self):
        self.assertExit(self.arq("create", "same.arq", "in"), EXIT_OK)
        os.makedirs(self.path("empty"))
        cases = [
            # (inputs, exit code, entries afterwards: None when the archive is left as it was)
            (["same.arq", "in/one.txt"], EXIT_OK, ["ONE.TXT"]),
            (["./same.arq", "in/two.txt"], EXIT_OK, ["TWO.TXT"]),
            (["same.arq"], EXIT_USAGE, None),
            (["empty"], EXIT_USAGE, None),
        ]
        for inputs, code, entries in cases:
            with self.subTest(inputs=inputs):
                before = self.read("same.arq")
                run = self.arq("create", "same.arq", *inputs)
                self.assertExit(run, code)
                if inputs[0] != "empty":
                    self.assertIn("passed over: it is the archive being written", run.err)
                if entries is None:
                    self.assertIn("nothing to store", run.err)
                    self.assertEqual(self.read("same.arq"), before)
                else:
                    self.assertEqual(self.names("same.arq"), entries)

# ---- Spanned sets -------------------------------------------------------------------------


class SpannedTest(ArqTest):
    def make_set(self, volume_size="64K"):
        self.files = {
            "s/a.txt": text_bytes(20000, 51),
            "s/b.bin": random_bytes(100000, 52),
            "s/c/empty.txt": b"",
            "s/d.txt": text_bytes(90000, 53),
        }
        for rel, data in self.files.items():
            self.write(rel, data)
        run = self.arq("create", "--volume-size", volume_size, "SET.ARQ", "-C", "s", ".")
        self.assertExit(run, EXIT_OK)
        volumes = []
        n = 1
        while os.path.isdir(self.path("SET.ARQ.%d" % n)):
            self.assertEqual(os.listdir(self.path("SET.ARQ.%d" % n)), ["SET.ARQ"])
            volumes.append(self.read("SET.ARQ.%d/SET.ARQ" % n))
            n += 1
        self.assertFalse(os.path.exists(self.path("SET.ARQ")))
        return volumes

    def check_out(self, out):
        for rel, data in self.files.items():
            self.assertEqual(self.read(os.path.join(out, rel[2:].upper())), data, rel)

    def test_volumes_follow_the_format(self):
        volumes = self.make_set()
        self.assertGreaterEqual(len(volumes), 3)
        for i, volume in enumerate(volumes):
            self.assertLessEqual(len(volume), 64 * 1024)
            self.assertEqual(volume[:4], ENTRY_SIG)
            # Every volume's first header carries its number; every volume but the
            # last ends inside a spanned entry's data.
            first_block = 8 + struct.unpack_from("<H", volume, 6)[0]
            self.assertEqual(volume[first_block + 26], i)
        self.assertEqual(volumes[-1][-41:-37], ENTRY_SIG)  # the end record closes the last volume
        # Written again on larger disks, the set has fewer volumes, and the old set's
        # later disks do not linger to look as if it went on.
        self.assertExit(self.arq("create", "--volume-size", "1M", "SET.ARQ", "-C", "s", "."), EXIT_OK)
        self.assertTrue(os.path.isfile(self.path("SET.ARQ.1", "SET.ARQ")))
        self.assertFalse(os.path.exists(self.path("SET.ARQ.2", "SET.ARQ")))
        self.assertEqual(parse_archive(self.read("SET.ARQ.1/SET.ARQ"))[-1], None)

    def test_extract_list_and_test_with_volume_folders(self):
        volumes = self.make_set()
        folders = ["SET.ARQ.%d" % (i + 1) for i in range(len(volumes))]
        if WINE:
            # Windows cannot point a drive letter at a folder: a clear refusal.
            run = self.arq("extract", "SET.ARQ", "-C", "out", "--volumes", *folders)
            self.assertExit(run, EXIT_USAGE)
            self.assertOneLine(run, "--volumes", "removable drive")
            run = self.arq("extract", "SET.ARQ", "-C", "out")
            self.assertExit(run, EXIT_NOT_FOUND)
            self.assertOneLine(run, "SET.ARQ.1", "first disk of a spanned set")
            self.assertFalse(os.path.exists(self.path("out")))
            return
        rows, run = self.listing("SET.ARQ", "--volumes", *folders)
        self.assertExit(run, EXIT_OK)
        self.assertEqual([r["name"] for r in rows], ["A.TXT", "B.BIN", self.shown("C\\EMPTY.TXT"), "D.TXT"])
        self.assertTrue(any(r["flags"].endswith("S") for r in rows))
        self.assertEqual(rows[-1]["volume"] > 0, True)
        self.assertExit(self.arq("test", "SET.ARQ", "--volumes", *folders), EXIT_OK)
        run = self.arq("extract", "SET.ARQ", "-C", "out", "--volumes", *folders)
        self.assertExit(run, EXIT_OK)
        self.check_out("out")
        # The set is found by its first folder without --volumes.
        run = self.arq("extract", "SET.ARQ", "-C", "out2")
        self.assertExit(run, EXIT_OK)
        self.check_out("out2")
        # Too few folders: the disk that is missing is named.
        run = self.arq("extract", "SET.ARQ", "-C", "out3", "--volumes", folders[0])
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertIn("disk 2 of SET.ARQ is needed", run.err)
        # Folders in the wrong order.
        run = self.arq("extract", "SET.ARQ", "-C", "out4", "--volumes", folders[0], folders[2], folders[1])
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertIn("does not hold disk 2", run.err)
        # A disk missing from the folders found beside the archive is named as a folder.
        shutil.rmtree(self.path(folders[-1]))
        run = self.arq("extract", "SET.ARQ", "-C", "out5")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertIn("disk %d of SET.ARQ is needed, but %s is missing" % (len(folders), folders[-1]), run.err)
        self.assertNotIn("--volumes", run.err)

    def test_first_disk_alone_on_a_fixed_drive(self):
        self.make_set()
        shutil.copy(self.path("SET.ARQ.1/SET.ARQ"), self.path("ONE.ARQ"))
        run = self.arq("extract", "ONE.ARQ", "-C", "out")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertOneLine(run, "spanned set", "--volumes")
        rows, run = self.listing("ONE.ARQ")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertTrue(rows[-1]["flags"].endswith("S"))

    def test_volume_size_too_small(self):
        self.write("s/a.txt", text_bytes(5000, 1))
        run = self.arq("create", "--volume-size", "50", "TINY.ARQ", "-C", "s", ".")
        self.assertExit(run, EXIT_USAGE)
        self.assertOneLine(run, "too small")
        self.assertEqual(sorted(os.listdir(self.dir)), ["s"])

    # Disks in a removable drive, asked for on standard error and answered on
    # standard input.

    def floppy(self):
        if WINE:
            if not FLOPPY:
                self.skipTest("no floppy folder given")
            folder = FLOPPY
            for name in os.listdir(folder):
                os.unlink(os.path.join(folder, name))
            self.addCleanup(lambda: [os.unlink(os.path.join(folder, n)) for n in os.listdir(folder)])
            return folder, None
        folder = self.path("floppy")
        os.makedirs(folder)
        return folder, {"VARDOK_DRIVES": "A=" + folder + ":removable"}

    def insert(self, folder, volume):
        with open(os.path.join(folder, "SET.ARQ"), "wb") as f:
            f.write(volume)

    def test_disks_asked_for_in_turn(self):
        volumes = self.make_set()
        folder, env = self.floppy()
        self.insert(folder, volumes[0])
        talk = Conversation(self, ["extract", "A:\\SET.ARQ", "-C", "out"], env)
        for disk in range(2, len(volumes) + 1):
            talk.wait_for("Insert disk %d of SET.ARQ into drive A: and press Enter (q to give up): " % disk)
            self.insert(folder, volumes[disk - 1])
            talk.send(b"\n")
        run = talk.finish()
        self.assertExit(run, EXIT_OK)
        self.check_out("out")

    def test_begun_at_a_later_disk(self):
        volumes = self.make_set()
        folder, env = self.floppy()
        self.insert(folder, volumes[1])
        talk = Conversation(self, ["extract", "A:\\SET.ARQ", "-C", "out"], env)
        talk.wait_for("Insert disk 1 of SET.ARQ into drive A:")
        talk.send(b"\n")  # disk 2 is still in the drive
        talk.wait_for("is not disk 1 of SET.ARQ")
        talk.wait_for("Insert disk 1 of SET.ARQ")
        self.insert(folder, volumes[0])
        talk.send(b"\n")
        for disk in range(2, len(volumes) + 1):
            talk.wait_for("Insert disk %d of SET.ARQ" % disk)
            self.insert(folder, volumes[disk - 1])
            talk.send(b"\n")
        run = talk.finish()
        self.assertExit(run, EXIT_OK)
        self.check_out("out")
        # A later disk's file on a fixed drive names what is missing.
        with open(self.path("TWO.ARQ"), "wb") as f:
            f.write(volumes[1])
        run = self.arq("list", "TWO.ARQ")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertOneLine(run, "disk 2 of a spanned set")

    def test_wrong_disk_then_give_up(self):
        volumes = self.make_set()
        folder, env = self.floppy()
        self.insert(folder, volumes[0])
        talk = Conversation(self, ["extract", "A:\\SET.ARQ", "-C", "out"], env)
        talk.wait_for("Insert disk 2 of SET.ARQ")
        talk.send(b"\n")  # disk 1 is still in the drive
        talk.wait_for("is not disk 2 of SET.ARQ")
        talk.wait_for("Insert disk 2 of SET.ARQ")
        talk.send(b"q\n")
        run = talk.finish()
        self.assertExit(run, EXIT_CANCELLED)
        self.assertIn("A.TXT", os.listdir(self.path("out")))
        # The temporary file the engine collects pieces in is gone.
        self.assertEqual([n for n in os.listdir(self.path("out")) if n.endswith(".$$$")], [])

    def test_end_of_input_gives_up(self):
        volumes = self.make_set()
        folder, env = self.floppy()
        self.insert(folder, volumes[0])
        run = self.arq("extract", "A:\\SET.ARQ", "-C", "out", env=env)
        self.assertExit(run, EXIT_CANCELLED)

    def test_interrupt_at_the_prompt(self):
        if WINE:
            self.skipTest("signals reach a Windows program under Wine only through its console")
        volumes = self.make_set()
        folder, env = self.floppy()
        self.insert(folder, volumes[0])
        talk = Conversation(self, ["extract", "A:\\SET.ARQ", "-C", "out"], env)
        talk.wait_for("Insert disk 2 of SET.ARQ")
        talk.process.send_signal(signal.SIGINT)
        run = talk.finish()
        self.assertExit(run, EXIT_CANCELLED)
        self.assertIn("cancelled", run.err)


class Conversation:
    """The tool running with its standard input and error in the test's hands."""

    def __init__(self, test, args, env):
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        self.test = test
        self.process = subprocess.Popen(ARQ + list(args), cwd=test.dir, env=full_env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.err = b""
        self.seen = 0

    def wait_for(self, text, limit=120):
        """Reads standard error until text appears behind what was waited for before.
        The limit only ends a run that hangs."""
        wanted = text.encode("latin-1")
        deadline = time.monotonic() + limit
        while True:
            at = self.err.find(wanted, self.seen)
            if at >= 0:
                self.seen = at + len(wanted)
                return
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(left):
                self.process.kill()
                self.test.fail("no %r from the tool; it wrote:\n%s" % (text, self.err.decode("latin-1")))

    def _read(self, timeout):
        ready, _, _ = select.select([self.process.stderr], [], [], timeout)
        if not ready:
            return False
        chunk = os.read(self.process.stderr.fileno(), 4096)
        self.err += chunk
        return bool(chunk)

    def send(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def finish(self):
        self.process.stdin.close()
        out = self.process.stdout.read()
        rest = self.process.stderr.read()
        code = self.process.wait(timeout=120)
        return Run(code, out, self.err + rest)


# ---- Terminal behaviour (native: a pseudo-terminal) ------------------------------------------


class TerminalTest(ArqTest):
    def run_on_terminal(self, *args):
        """Runs the tool with standard error (and output) on a pseudo-terminal."""
        master, slave = pty.openpty()
        p = subprocess.Popen(ARQ + list(args), cwd=self.dir, stdin=subprocess.DEVNULL, stdout=slave, stderr=slave)
        os.close(slave)
        data = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            data += chunk
        os.close(master)
        return p.wait(timeout=600), data.decode("latin-1")

    def test_progress_bar_only_on_a_terminal(self):
        if WINE:
            self.skipTest("a pseudo-terminal is no Windows console")
        self.write("s/big.txt", text_bytes(8 * 1024 * 1024, 61))
        code, shown = self.run_on_terminal("create", "t.arq", "-C", "s", ".")
        self.assertEqual(code, 0, shown)
        self.assertRegex(shown, r"\r\[#*\.*\]\s+\d+%\s+\S+ [KM]iB\s+BIG\.TXT")
        self.assertIn("t.arq: 1 file", shown)  # the summary, on a terminal
        code, shown = self.run_on_terminal("extract", "t.arq", "-C", "out")
        self.assertEqual(code, 0, shown)
        self.assertIn("100%", shown)
        self.assertIn("1 file written", shown)
        run = self.arq("extract", "t.arq", "-C", "out2")
        self.assertEqual(run.out + run.err, "")  # piped: silent
        code, shown = self.run_on_terminal("extract", "-q", "t.arq", "-C", "out3")
        self.assertEqual((code, shown), (0, ""))

    def test_the_bar_shows_names_in_the_terminals_encoding(self):
        if WINE:
            self.skipTest("a pseudo-terminal is no Windows console")
        self.write("s/日本/データ.txt", text_bytes(64 * 1024, 62))
        for command in (["create", "t.arq", "--codepage", "932", "s/日本"],
                        ["extract", "t.arq", "--codepage", "932", "-C", "out"]):
            with self.subTest(command=command[0]):
                code, shown = self.run_on_terminal(*command)
                self.assertEqual(code, 0, shown)
                lines = shown.encode("latin-1").decode("utf-8", "replace").split("\r")
                self.assertTrue(any(re.search(r"[ /]日本/データ\.TXT +$", l) for l in lines), lines[:3])


class TerminalQuestionTest(ArqTest):
    def test_overwrite_is_asked_on_a_terminal(self):
        if WINE:
            self.skipTest("a pseudo-terminal is no Windows console")
        self.write("s/keep.txt", b"archived")
        self.assertExit(self.arq("create", "k.arq", "-C", "s", "."), EXIT_OK)
        self.write("out/KEEP.TXT", b"mine")
        master, slave = pty.openpty()
        p = subprocess.Popen(ARQ + ["extract", "k.arq", "-C", "out"], cwd=self.dir, stdin=slave, stdout=slave,
                             stderr=slave)
        os.close(slave)
        shown = b""
        while b"[N]one: " not in shown:
            ready, _, _ = select.select([master], [], [], 120)
            self.assertTrue(ready, shown)
            shown += os.read(master, 4096)
        os.write(master, b"n\n")
        self.assertEqual(p.wait(timeout=120), 0)
        os.close(master)
        self.assertIn(b"Replace out", shown)
        self.assertEqual(self.read("out/KEEP.TXT"), b"mine")


# ---- Create: names -------------------------------------------------------------------------


def stored_names(test, archive):
    """The stored names of an archive as bytes, and their name-case codes, by our reading."""
    entries = parse_archive(test.read(archive))[:-1]
    return [e["name"].encode("latin-1") for e in entries], {e["case"] for e in entries}


class WindowsCodePageTest(ArqTest):
    """arq.exe stores names in the process's ANSI code page, which Wine takes from the
    locale it runs in: the same bytes the native build writes with --codepage."""

    # (locale, host name, its stored bytes)
    NAMES = [
        ("C.UTF-8", "café.txt", "CAFé.TXT".encode("cp1252")),
        ("ja_JP.UTF-8", "日本.txt", "日本.TXT".encode("cp932")),
        ("ja_JP.UTF-8", "ソース.txt", "ソース.TXT".encode("cp932")),  # trail byte 0x5C in ソ
    ]

    def test_names_round_trip_in_the_ansi_code_page(self):
        if not WINE:
            self.skipTest("the Windows build's own code page")
        for locale, name, stored in self.NAMES:
            with self.subTest(locale=locale, name=name):
                env = {"LC_ALL": locale}
                shutil.rmtree(self.path("in"), ignore_errors=True)
                shutil.rmtree(self.path("out"), ignore_errors=True)
                self.write(os.path.join("in", name), name.encode())
                self.assertExit(self.arq("create", "-q", "a.arq", "-C", "in", name, env=env), EXIT_OK)
                self.assertEqual(stored_names(self, "a.arq")[0], [stored])
                self.assertExit(self.arq("extract", "-q", "a.arq", "-C", "out", env=env), EXIT_OK)
                shown = stored.decode("cp1252" if locale == "C.UTF-8" else "cp932")
                self.assertEqual(os.listdir(self.path("out")), [shown])
                self.assertEqual(self.read(os.path.join("out", shown)), name.encode())


class CreateNamesTest(ArqTest):
    def setUp(self):
        super().setUp()
        self.write("src/bin/ls", b"list")
        self.write("src/bin/NEWS.GZ", b"bin news")
        self.write("src/with blanks/NEWS.GZ", b"other news")
        self.write("src/with blanks/sub dir/a file.txt", b"a file")

    # (command line behind "create a.arq", stored names in archive order, name-case codes)
    FOLDERS = [
        (["src/bin", "src/with blanks"],
         [b"BIN\\NEWS.GZ", b"BIN\\LS", b"WITH BLANKS\\NEWS.GZ", b"WITH BLANKS\\SUB DIR\\A FILE.TXT"], {16}),
        (["src/bin/"], [b"BIN\\NEWS.GZ", b"BIN\\LS"], {16}),
        (["-C", "src", "bin"], [b"BIN\\NEWS.GZ", b"BIN\\LS"], {16}),
        (["-C", "src", "."],
         [b"BIN\\NEWS.GZ", b"BIN\\LS", b"WITH BLANKS\\NEWS.GZ", b"WITH BLANKS\\SUB DIR\\A FILE.TXT"], {16}),
        (["-C", "src/bin", ".", "../with blanks/NEWS.GZ"], [b"NEWS.GZ", b"LS", b"NEWS.GZ"], None),
        (["src/bin/./"], [b"NEWS.GZ", b"LS"], {16}),
        (["--keep-case", "src/bin"], [b"bin\\NEWS.GZ", b"bin\\ls"], {3}),
        (["--keep-case", "-C", "src", "with blanks/sub dir"], [b"sub dir\\a file.txt"], {3}),
    ]

    def test_folders_are_stored_under_their_own_names(self):
        for args, names, cases in self.FOLDERS:
            with self.subTest(args=args):
                run = self.arq("create", "a.arq", *args)
                if cases is None:  # two files under one name
                    self.assertExit(run, EXIT_USAGE)
                    self.assertIn("would both be stored as NEWS.GZ", run.err)
                    continue
                self.assertExit(run, EXIT_OK)
                self.assertEqual(stored_names(self, "a.arq"), (names, cases))
                run = self.arq("extract", "a.arq", "-C", "out")
                self.assertExit(run, EXIT_OK)
                for name in names:
                    self.assertTrue(os.path.isfile(self.path("out", *name.decode().split("\\"))), name)
                shutil.rmtree(self.path("out"))
                os.unlink(self.path("a.arq"))

    def test_names_are_shown_with_the_systems_separator(self):
        run = self.arq("create", "-v", "a.arq", "src/with blanks")
        self.assertExit(run, EXIT_OK)
        self.assertRegex(run.out, r"stored\s+6\s+\S+\s+WITH BLANKS%sSUB DIR%sA FILE\.TXT\n"
                         % (re.escape(self.SEP), re.escape(self.SEP)))
        run = self.arq("extract", "-v", "a.arq", "-C", "out")
        self.assertExit(run, EXIT_OK)
        self.assertIn("out%sWITH BLANKS%sNEWS.GZ\n" % (self.SEP, self.SEP), run.out)
        rows, run = self.listing("a.arq")
        self.assertEqual(rows[1]["name"], "WITH BLANKS%sSUB DIR%sA FILE.TXT" % (self.SEP, self.SEP))

    def test_every_clash_is_named_in_one_run(self):
        for i in range(3):
            self.write("twins/file%d.txt" % i, b"lower")
            self.write("twins/FILE%d.TXT" % i, b"upper")
        self.write("twins/alone.txt", b"alone")
        run = self.arq("create", "t.arq", "twins")
        self.assertExit(run, EXIT_USAGE)
        lines = run.err_lines()
        self.assertEqual(len(lines), 4, repr(run))
        for i in range(3):
            self.assertIn("would both be stored as TWINS%sFILE%d.TXT" % (self.SEP, i), lines[i])
        self.assertIn("3 names clash", lines[3])
        self.assertFalse(os.path.exists(self.path("t.arq")))
        if WINE:
            return  # the Windows filesystem holds no such twins
        run = self.arq("create", "--keep-case", "t.arq", "twins")
        self.assertExit(run, EXIT_OK)
        self.assertOneLine(run, "3 names differ from another only in letter case")
        names, cases = stored_names(self, "t.arq")
        self.assertEqual(len(names), 7)
        self.assertIn(b"twins\\file0.txt", names)
        self.assertIn(b"twins\\FILE0.TXT", names)
        self.assertEqual(cases, {3})


class FolderTimeTest(ArqTest):
    FOLDERS = {"src": 1000000000, "src/a": 1100000000, "src/a/b": 1200000000, "src/c": 1300000000}

    def setUp(self):
        super().setUp()
        for rel in ("src/top.txt", "src/a/b/y.txt", "src/a/x.txt", "src/c/w.txt"):
            self.write(rel, rel.encode())
        for folder in sorted(self.FOLDERS, reverse=True):
            os.utime(self.path(folder), (self.FOLDERS[folder],) * 2)

    def test_folder_times_are_stored_once_and_restored(self):
        self.assertExit(self.arq("create", "-q", "--no-checksum", "a.arq", "src"), EXIT_OK)
        times = self.FOLDERS
        self.assertEqual({e["name"]: e["extra"] for e in parse_archive(self.read("a.arq"))[:-1]}, {
            "SRC\\A\\B\\Y.TXT": folder_times_field([times["src"], times["src/a"], times["src/a/b"]]),
            "SRC\\A\\X.TXT": b"",
            "SRC\\C\\W.TXT": folder_times_field([times["src"], times["src/c"]]),
            "SRC\\TOP.TXT": b""})
        # (entries chosen, the folders extracted); an entry passed over still gives
        # the times its header carries
        cases = [
            ((), ["src", "src/a", "src/a/b", "src/c"]),
            (("*X.TXT",), ["src", "src/a"]),
            (("*W.TXT",), ["src", "src/c"]),
        ]
        for n, (names, folders) in enumerate(cases):
            with self.subTest(names=names):
                out = "out%d" % n
                self.assertExit(self.arq("extract", "-q", "a.arq", "-C", out, *names), EXIT_OK)
                found = {os.path.relpath(root, self.path(out)).lower(): int(os.stat(root).st_mtime)
                         for root, _, _ in os.walk(self.path(out)) if root != self.path(out)}
                self.assertEqual(found, {f: times[f] for f in folders})


class CodePageTest(ArqTest):
    """Names converted between the host's UTF-8 and the archive's ANSI code page."""

    # (--codepage or None, host name, its stored bytes)
    NAMES = [
        (None, "café.txt", "CAFé.TXT".encode("cp1252")),
        ("1252", "Ünïcødé.txt", "ÜNïCøDé.TXT".encode("cp1252")),
        ("932", "日本.txt", "日本.TXT".encode("cp932")),
        ("932", "ソース.txt", "ソース.TXT".encode("cp932")),  # trail byte 0x5C in ソ
        ("936", "中文.txt", "中文.TXT".encode("gbk")),
        ("949", "한국어.txt", "한국어.TXT".encode("cp949")),
        ("950", "臺灣.txt", "臺灣.TXT".encode("cp950")),
    ]

    CODECS = {None: "cp1252", "1252": "cp1252", "932": "cp932", "936": "gbk", "949": "cp949", "950": "cp950"}

    def setUp(self):
        super().setUp()
        if WINE:
            self.skipTest("Windows converts names in its own ANSI code page")

    def test_names_round_trip_in_each_code_page(self):
        for codepage, name, stored in self.NAMES:
            with self.subTest(codepage=codepage, name=name):
                option = ["--codepage", codepage] if codepage else []
                self.write(os.path.join("in", name), name.encode())
                run = self.arq("create", "-v", "a.arq", *option, "-C", "in", name)
                self.assertExit(run, EXIT_OK)
                self.assertEqual(stored_names(self, "a.arq")[0], [stored])
                # a..z upper-cased, the rest as it was
                shown = stored.decode(self.CODECS[codepage])
                self.assertIn("  " + shown + "\n", run.out.encode("latin-1").decode())
                run = self.arq("list", "a.arq", *option)
                self.assertExit(run, EXIT_OK)
                self.assertIn("  " + shown + "\n", run.out.encode("latin-1").decode())
                run = self.arq("extract", "a.arq", *option, "-C", "out")
                self.assertExit(run, EXIT_OK)
                self.assertEqual(os.listdir(self.path("out").encode()), [shown.encode()])
                self.assertEqual(self.read(os.path.join("out", shown)), name.encode())
                shutil.rmtree(self.path("in"))
                shutil.rmtree(self.path("out"))

    def test_archives_made_on_windows_extract_to_utf8_names(self):
        archive = self.make_archive("win.arq", [entry(b"CAF\xc9.TXT", b"1"), entry(b"\x93\xfa\x96{.TXT", b"2")])
        self.assertExit(self.arq("extract", archive, "-C", "out"), EXIT_OK)
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["CAFÉ.TXT", "“ú–{.TXT"])
        shutil.rmtree(self.path("out"))
        self.assertExit(self.arq("extract", archive, "--codepage", "932", "-C", "out"), EXIT_OK)
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["CAF\uff89.TXT", "日本.TXT"])

    # (command line, words of the one message)
    REFUSED = [
        (["create", "a.arq", "日本.txt"], "code page 1252 cannot hold its name 日本.txt"),
        (["create", "a.arq", "--codepage", "932", "café€.txt"], "code page 932 cannot hold its name"),
        (["create", "a.arq", "--codepage", "65001", "x.txt"], "--codepage takes 1252, 932, 936, 949 or 950"),
        (["list", "日本.arq"], "code page 1252 cannot hold this name"),
        (["extract", "a.arq", "-C", "出力"], "code page 1252 cannot hold this name"),
    ]

    def test_names_a_code_page_cannot_hold_are_refused(self):
        for name in ("日本.txt", "café€.txt", "x.txt"):
            self.write(name, b"x")
        for args, words in self.REFUSED:
            with self.subTest(args=args):
                run = self.arq(*args)
                self.assertExit(run, EXIT_USAGE)
                self.assertOneLine(run)
                self.assertIn(words, run.err.encode("latin-1").decode())
                self.assertFalse(os.path.exists(self.path("a.arq")))


# ---- Create: what cannot be archived ---------------------------------------------------------


class CreateTroubleTest(ArqTest):
    # (what to make in folder t beside t/keep.txt, stored names, words of the warning,
    # exit code); native only: links and pipes
    TROUBLE = [
        ("dangling", [b"T\\KEEP.TXT"], "t/dangling: passed over: a link to nothing", EXIT_SKIPPED),
        ("circle", [b"T\\KEEP.TXT"], "t/circle: passed over: a link that leads round in a circle", EXIT_SKIPPED),
        ("backslash", [b"T\\KEEP.TXT"], "t/back\\slash.txt: passed over: its name holds '\\'", EXIT_SKIPPED),
        ("loop", [b"T\\KEEP.TXT"], "t/sub/loop: passed over: a link to t", EXIT_SKIPPED),
        ("file link", [b"T\\KEEP.TXT", b"T\\LINKED.TXT"], None, EXIT_OK),
        ("folder link", [b"T\\KEEP.TXT", b"T\\SUB\\IN.TXT", b"T\\TWIN\\IN.TXT"], None, EXIT_OK),
        ("pipe", [b"T\\KEEP.TXT"], "t/pipe: passed over: not a regular file", EXIT_SKIPPED),
        ("unreadable", [b"T\\KEEP.TXT"], "t/secret.txt: passed over: cannot be read", EXIT_SKIPPED),
    ]

    def make(self, kind):
        self.write("t/keep.txt", b"keep")
        if kind == "dangling":
            os.symlink("nowhere", self.path("t/dangling"))
        elif kind == "circle":
            os.symlink("circle", self.path("t/circle"))
        elif kind == "backslash":
            self.write("t/back\\slash.txt", b"one file, not a folder")
        elif kind == "loop":
            self.write("t/sub/in.txt", b"in")
            os.symlink("..", self.path("t/sub/loop"))
            return [b"T\\KEEP.TXT", b"T\\SUB\\IN.TXT"]
        elif kind == "file link":
            os.symlink("keep.txt", self.path("t/linked.txt"))
        elif kind == "folder link":
            self.write("t/sub/in.txt", b"in")
            os.symlink("sub", self.path("t/twin"))
        elif kind == "pipe":
            os.mkfifo(self.path("t/pipe"))
        elif kind == "unreadable":
            self.write("t/secret.txt", b"secret", mode=0)
        return None

    def test_what_cannot_be_archived_is_passed_over(self):
        if WINE:
            self.skipTest("links and pipes of the host")
        for kind, names, words, code in self.TROUBLE:
            with self.subTest(kind=kind):
                if kind == "unreadable" and os.geteuid() == 0:
                    continue  # root reads every file
                names = self.make(kind) or names
                run = self.arq("create", "a.arq", "t")
                self.assertExit(run, code)
                lines = run.err_lines()
                if words is None:
                    self.assertEqual(lines, [])
                else:
                    self.assertEqual(len(lines), 2, repr(run))
                    self.assertIn(words, lines[0])
                    self.assertIn("a.arq: 1 file or folder not archived", lines[1])
                self.assertEqual(sorted(stored_names(self, "a.arq")[0]), sorted(names))
                self.assertExit(self.arq("test", "a.arq"), EXIT_OK)
                shutil.rmtree(self.path("t"))
                os.unlink(self.path("a.arq"))

    def test_named_paths_that_cannot_be_archived(self):
        if WINE:
            self.skipTest("links and names of the host")
        self.write("t/keep.txt", b"keep")
        os.symlink("nowhere", self.path("t/dangling"))
        os.symlink("circle", self.path("t/circle"))
        self.write("t/back\\slash.txt", b"b")
        # (path named beside t/keep.txt, exit code, words of the first message)
        cases = [
            ("t/dangling", EXIT_SKIPPED, "t/dangling: passed over: a link to nothing"),
            ("t/circle", EXIT_SKIPPED, "t/circle: passed over: a link that leads round in a circle"),
            ("t/back\\slash.txt", EXIT_SKIPPED, "passed over: its name holds '\\'"),
            ("t/missing", EXIT_NOT_FOUND, "t/missing: no such file or folder"),
        ]
        for path, code, words in cases:
            with self.subTest(path=path):
                run = self.arq("create", "a.arq", path, "t/keep.txt")
                self.assertExit(run, code)
                self.assertIn(words, run.err_lines()[0])
                if code == EXIT_SKIPPED:
                    self.assertEqual(stored_names(self, "a.arq")[0], [b"KEEP.TXT"])
                    os.unlink(self.path("a.arq"))

    def test_empty_folders_are_counted_in_one_warning(self):
        self.write("e/file.txt", b"f")
        for folder in ("e/empty1", "e/deep/empty2", "e/empty3"):
            os.makedirs(self.path(folder))
        run = self.arq("create", "a.arq", "e")
        self.assertExit(run, EXIT_OK)
        self.assertOneLine(run, "3 empty folders not stored")
        self.assertEqual(stored_names(self, "a.arq")[0], [b"E\\FILE.TXT"])

    # (--volume-size, exit code, words of the message or None)
    VOLUME_SIZES = [
        ("5000000000", EXIT_USAGE, "'5000000000' is too large (at most 4294967295 bytes)"),
        ("4294967296", EXIT_USAGE, "is too large"),
        ("99999999999999999999999", EXIT_USAGE, "is too large"),
        ("5G", EXIT_USAGE, "is too large"),
        ("4194304K", EXIT_USAGE, "is too large"),
        ("4294967295", EXIT_OK, None),
        ("3G", EXIT_OK, None),
        ("12Q", EXIT_USAGE, "is no size"),
    ]

    def test_volume_sizes_up_to_the_formats_limit(self):
        self.write("f.txt", b"data")
        for size, code, words in self.VOLUME_SIZES:
            with self.subTest(size=size):
                run = self.arq("create", "--volume-size", size, "v.arq", "f.txt")
                self.assertExit(run, code)
                if words:
                    self.assertOneLine(run, words)
                else:
                    self.assertEqual(run.err, "")
                    self.assertTrue(os.path.isfile(self.path("v.arq.1", "v.arq")))
                    shutil.rmtree(self.path("v.arq.1"))

    def test_standard_output_is_refused(self):
        self.write("f.txt", b"data")
        run = self.arq("create", "-", "f.txt")
        self.assertExit(run, EXIT_USAGE)
        self.assertOneLine(run, "cannot write the archive to standard output ('-')")
        self.assertEqual(run.out, "")
        self.assertFalse(os.path.exists(self.path("-")))
        self.assertExit(self.arq("create", "./-", "f.txt"), EXIT_OK)
        self.assertEqual(stored_names(self, "-")[0], [b"F.TXT"])


def main():
    global ARQ, WINE, FLOPPY, SMALL, SELF_EXTRACT
    parser = argparse.ArgumentParser()
    parser.add_argument("--arq", required=True, help="the built tool")
    parser.add_argument("--runner", help="program that runs it (the Wine runner)")
    parser.add_argument("--floppy", help="folder behind the removable drive A: under Wine")
    parser.add_argument("--small", help="folder behind the 1 MiB drive T: under Wine")
    parser.add_argument("--self-extract", help="the launcher's extraction run on a named file")
    args, rest = parser.parse_known_args()
    ARQ = ([args.runner] if args.runner else []) + [os.path.abspath(args.arq)]
    WINE = bool(args.runner)
    FLOPPY = args.floppy
    SMALL = args.small
    if args.self_extract:
        SELF_EXTRACT = ([args.runner] if args.runner else []) + [os.path.abspath(args.self_extract)]
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
