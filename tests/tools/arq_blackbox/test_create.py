"""Create: what fails, what is left alone, what cannot be archived."""

import os
import shutil

from .format import entry, parse_archive
from .runner import (settings, EXIT_OK, EXIT_SKIPPED, EXIT_USAGE, EXIT_NOT_FOUND, EXIT_NO_ROOM, EXIT_NOT_REPLACED,
                     random_bytes, ArqTest, small_drive, small_env, stored_names)


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
        if not settings.wine:
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
        for name, make, words in cases[:1] if settings.wine else cases:
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
            if settings.wine:
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
        if settings.wine:
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
        if settings.wine:
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
