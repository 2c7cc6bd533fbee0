"""Round trips: what is stored comes back, judged by arq and by the format's own
reading; and the times of files and folders, within and beyond what the format holds."""

import os
import subprocess
import time

from .format import MTIME, entry, parse_archive, folder_times_field, lha_level0, LHASA
from .runner import settings, EXIT_OK, EXIT_USAGE, tree_snapshot, text_bytes, random_bytes, word_list, ArqTest


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
        if not settings.wine:
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
        if not settings.wine:
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


class TimeTest(ArqTest):
    def test_times_the_format_cannot_hold(self):
        if settings.wine:
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
