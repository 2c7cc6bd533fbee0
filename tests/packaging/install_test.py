#!/usr/bin/env python3
"""The native build installed into a temporary prefix and used as a user would:

    install_test.py --cmake cmake --build build/native --source . --version 1.0.0
                    [--windows-build=build/windows]

cmake --install puts arq, its manual page and the documents in place and, when the
build was told of the Windows build (VARDOK_WINDOWS_BUILD), that build's launcher and
player, from which the installed arq makes a show without --stub. Without it the
install says that arq goes in alone.
"""

import argparse
import gzip
import os
import subprocess
import sys
import tempfile
import unittest

OPTIONS = None
ARCHIVE_SIG = b"\x67\x57\x04\x02"
# Installed as data, read by arq and never run here; arq alone is a program.
DATA, PROGRAM = 0o644, 0o755


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check_show_without_stub(test, arq, data_folder, work):
    """An installed arq makes a show of a document and the installed player without
    --stub: the show begins with the installed launcher, and arq lists and tests it."""
    with open(os.path.join(work, "deck.txt"), "w") as f:
        f.write("title = Installed\n")
    run = subprocess.run([arq, "show", "show.exe", "deck.txt", os.path.join(data_folder, "Player.exe")],
                         cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    test.assertEqual(run.returncode, 0, run.stderr)
    launcher = read(os.path.join(data_folder, "Vardok.exe"))
    test.assertEqual(read(os.path.join(work, "show.exe"))[:len(launcher) + 4], launcher + ARCHIVE_SIG)
    names = subprocess.run([arq, "list", "--names", "show.exe"], cwd=work, stdout=subprocess.PIPE, text=True)
    test.assertEqual(names.stdout.split(), ["DECK.TXT", "PLAYER.EXE"])
    test.assertEqual(subprocess.run([arq, "test", "-q", "show.exe"], cwd=work).returncode, 0)


class InstallTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory()
        cls.prefix = os.path.join(cls.temp.name, "prefix")
        run = subprocess.run([OPTIONS.cmake, "--install", OPTIONS.build, "--prefix", cls.prefix],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        cls.install_output = run.stdout
        assert run.returncode == 0, run.stdout
        cls.arq = os.path.join(cls.prefix, "bin", "arq")

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def installed(self, *parts):
        return os.path.join(self.prefix, *parts)

    def source(self, *parts):
        return read(os.path.join(OPTIONS.source, *parts))

    def test_files(self):
        # (installed path, mode, the source whose bytes it holds, gzipped or not)
        cases = [
            ("bin/arq", PROGRAM, None, False),
            ("share/man/man1/arq.1.gz", DATA, "tools/arq/arq.1", True),
            ("share/doc/vardok/README.md", DATA, "README.md", False),
            ("share/doc/vardok/show-format.md", DATA, "player/README.md", False),
            ("share/doc/vardok/copyright", DATA, "packaging/copyright", False),
            ("share/doc/vardok/changelog.gz", DATA, "packaging/changelog", True),
        ]
        for path, mode, source, gzipped in cases:
            with self.subTest(path=path):
                installed = self.installed(path)
                self.assertEqual(os.stat(installed).st_mode & 0o777, mode)
                if source is None:
                    continue
                data = read(installed)
                if gzipped:
                    # gzip -9n: no name or time in the header (flags 0, time 0), the most
                    # compression (extra flags 2), so the same source gives the same bytes.
                    self.assertEqual(data[:4], b"\x1f\x8b\x08\x00")
                    self.assertEqual(data[4:9], b"\x00\x00\x00\x00\x02")
                    data = gzip.decompress(data)
                self.assertEqual(data, self.source(source))

    def test_version(self):
        for option in ("--version", "-V"):
            with self.subTest(option=option):
                run = subprocess.run([self.arq, option], stdout=subprocess.PIPE, text=True)
                self.assertEqual(run.returncode, 0)
                self.assertEqual(run.stdout, "arq %s\n" % OPTIONS.version)

    def test_windows_programs_come_from_the_windows_build(self):
        said_alone = "VARDOK_WINDOWS_BUILD names no Windows build" in self.install_output
        if not OPTIONS.windows_build:
            self.assertTrue(said_alone, self.install_output)
            self.assertFalse(os.path.exists(self.installed("share", "vardok")))
            return
        self.assertFalse(said_alone, self.install_output)
        for name in ("Vardok.exe", "Player.exe"):
            with self.subTest(name=name):
                installed = self.installed("share", "vardok", name)
                self.assertEqual(os.stat(installed).st_mode & 0o777, DATA)
                self.assertEqual(read(installed), read(os.path.join(OPTIONS.windows_build, "bin", name)))

    def test_a_show_without_stub(self):
        if not OPTIONS.windows_build:
            self.skipTest("the build was not told of a Windows build (VARDOK_WINDOWS_BUILD), so no launcher "
                          "is installed; scripts/test.sh runs this after scripts/package.sh has told it")
        check_show_without_stub(self, self.arq, self.installed("share", "vardok"), self.temp.name)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("--cmake", "--build", "--source", "--version"):
        parser.add_argument(name, required=True)
    parser.add_argument("--windows-build", default="")
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
