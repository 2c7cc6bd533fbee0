"""Names: how files and folders are stored and shown, names that clash, and the code
pages names are stored in."""

import os
import re
import shutil

from .format import entry
from .runner import settings, EXIT_OK, EXIT_USAGE, ArqTest, stored_names


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
        if not settings.wine:
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
        if settings.wine:
            return  # the Windows filesystem holds no such twins
        run = self.arq("create", "--keep-case", "t.arq", "twins")
        self.assertExit(run, EXIT_OK)
        self.assertOneLine(run, "3 names differ from another only in letter case")
        names, cases = stored_names(self, "t.arq")
        self.assertEqual(len(names), 7)
        self.assertIn(b"twins\\file0.txt", names)
        self.assertIn(b"twins\\FILE0.TXT", names)
        self.assertEqual(cases, {3})


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
        if settings.wine:
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
