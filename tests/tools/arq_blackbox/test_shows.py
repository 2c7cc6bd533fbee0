"""Self-extracting programs (an archive behind a program image) and the self-running
shows arq show makes: their bytes, refusals and signatures."""

import os
import shutil
import struct
import subprocess
import tempfile
import zlib

from .format import (ENTRY_SIG, ARCHIVE_SIG, MTIME, entry, archive_header, parse_archive, lha_level0, LHASA,
                     STUB_MAX, PE_AT, CERT_DIRECTORY, CHECKSUM, tiny_pe)
from .runner import (settings, EXIT_OK, EXIT_USAGE, EXIT_NOT_FOUND, EXIT_NOT_ARCHIVE, EXIT_IO, EXIT_DAMAGED,
                     EXIT_NOT_REPLACED, Run, tree_snapshot, text_bytes, random_bytes, ArqTest)


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


# ---- Self-running shows -------------------------------------------------------------------

OSSLSIGNCODE = shutil.which("osslsigncode")
OPENSSL = shutil.which("openssl")


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
        tool = self.path("tree", "bin", os.path.basename(settings.arq[-1]))
        shutil.copy2(settings.arq[-1], tool)
        own = settings.arq[:-1] + [tool]
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
        if not settings.wine:
            os.symlink("player.exe", self.path("alias.exe"))
            cases.append(("output is a symbolic link to the player", ["alias.exe"] + good, EXIT_USAGE,
                          ["is the player"]))
            self.write("aux.pps", b"device")
            cases.append(("a device name", ["OUT.EXE", "aux.pps", "player.exe", "--stub", "stub.exe"], EXIT_USAGE,
                          ["device name"]))
        return cases

    def test_names_are_stored_in_the_code_page_of_the_show(self):
        if settings.wine:
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
        if not settings.wine:
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
        if settings.wine:
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
        p = subprocess.run(prefix + settings.arq + ["show", "OUT.EXE", "deck.pps", "player.exe", "--stub", "stub.exe"],
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
