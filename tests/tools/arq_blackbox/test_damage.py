"""Missing files, files that are no archive, and damaged archives: cut at every length,
headers that cannot be read, sizes and methods made wrong by hand."""

import os
import re
import shutil
import struct
import subprocess

from .format import entry, parse_archive, tiny_pe
from .runner import (settings, EXIT_OK, EXIT_SKIPPED, EXIT_NOT_FOUND, EXIT_NOT_ARCHIVE, EXIT_DAMAGED,
                     tree_snapshot, text_bytes, random_bytes, ArqTest)


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
        if settings.wine:
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
                        if settings.self_extract and rel == "show.exe":
                            shutil.rmtree(self.path("launched"), ignore_errors=True)
                            os.makedirs(self.path("launched"))
                            p = subprocess.run(settings.self_extract + [name, "launched"], cwd=self.dir,
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
