"""The command line: help, version and usage errors; entries chosen by name and pattern;
messages that name what went wrong."""

import os
import re
import time

from .format import MTIME
from .runner import settings, EXIT_OK, EXIT_SKIPPED, EXIT_USAGE, EXIT_NOT_FOUND, EXIT_IO, ArqTest


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
        if settings.wine:
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
        if settings.wine or not os.path.isdir("/proc/1"):
            self.skipTest("a folder of the host's process file system")
        self.write("a.txt", b"a")
        self.assertExit(self.arq("create", "-q", "t.arq", "a.txt"), EXIT_OK)
        run = self.arq("extract", "t.arq", "-C", "/proc/1")
        self.assertExit(run, EXIT_IO)
        self.assertOneLine(run, "A.TXT: failed:", "its folder")
        self.assertNotIn("no room", run.err)

    def test_permission_problems_are_named(self):
        if settings.wine:
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
        if settings.wine:
            self.skipTest("a pipe is named /dev/stdin natively")
        self.write("a.txt", b"a")
        self.assertExit(self.arq("create", "-q", "t.arq", "a.txt"), EXIT_OK)
        for command in ("list", "test", "extract"):
            with self.subTest(command=command):
                run = self.arq(command, "/dev/stdin", stdin=self.read("t.arq"))
                self.assertExit(run, EXIT_IO)
                self.assertOneLine(run, "pipe", "save it to a file")
