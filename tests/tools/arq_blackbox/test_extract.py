"""Extract: options and room; nothing written where it should not be, whatever the
names; a failed entry leaves nothing that looks complete."""

import os
import shutil
import subprocess

from .format import entry, end_record
from .runner import (settings, EXIT_OK, EXIT_SKIPPED, EXIT_REFUSED, EXIT_NOT_FOUND, EXIT_NO_ROOM, EXIT_IO,
                     EXIT_DAMAGED, EXIT_KEPT, tree_snapshot, random_bytes, ArqTest, small_drive, small_env)


# ---- Extract: options, room -------------------------------------------------------------


class ExtractOptionsTest(ArqTest):
    def setUp(self):
        super().setUp()
        for name in ("one", "two", "three"):
            self.write("s/%s.txt" % name, name.encode())
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
        if settings.wine:
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
