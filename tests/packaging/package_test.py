#!/usr/bin/env python3
"""The packages scripts/package.sh wrote into dist/, read back with the tools a user
and Debian have:

    package_test.py --dist dist --source . --version 1.0.0

The Debian package by dpkg-deb (its fields, its files with their owners and modes) and
lintian (no errors), and its arq making a show; the Windows zip by unzip -l (one folder:
arq.exe, the launcher beside it, the player, the documents as CRLF text). The two carry
the same launcher, player and documents. (The install test holds the files to their
sources; these, made earlier, may be of an older source.)
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

from install_test import check_show_without_stub

OPTIONS = None

# The Debian package's files: path, mode as dpkg-deb --contents shows it.
DEB_FILES = [
    ("./usr/bin/arq", "-rwxr-xr-x"),
    ("./usr/share/vardok/Vardok.exe", "-rw-r--r--"),
    ("./usr/share/vardok/Player.exe", "-rw-r--r--"),
    ("./usr/share/man/man1/arq.1.gz", "-rw-r--r--"),
    ("./usr/share/doc/vardok/README.md", "-rw-r--r--"),
    ("./usr/share/doc/vardok/show-format.md", "-rw-r--r--"),
    ("./usr/share/doc/vardok/copyright", "-rw-r--r--"),
    ("./usr/share/doc/vardok/changelog.gz", "-rw-r--r--"),
]
# The zip's files, in its one folder, and for the text ones the Debian package's
# document they hold: the two packages are made together, from one source.
ZIP_FILES = [("arq.exe", None), ("Vardok.exe", None), ("Player.exe", None), ("README.txt", "README.md"),
             ("show-format.txt", "show-format.md")]
PE_MACHINE_I386 = 0x14C


def output(*command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=True).stdout


def pe_machine(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0"
    return struct.unpack_from("<H", data, pe + 4)[0]


class PackageTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.deb = os.path.join(OPTIONS.dist, "vardok_%s_amd64.deb" % OPTIONS.version)
        cls.zip = os.path.join(OPTIONS.dist, "vardok-%s-win32.zip" % OPTIONS.version)
        cls.top = "vardok-%s-win32/" % OPTIONS.version

    def setUp(self):
        for path in (self.deb, self.zip):
            if not os.path.exists(path):
                self.skipTest("%s is not there: scripts/package.sh makes it" % path)

    def test_deb_fields(self):
        fields = {}
        for line in output("dpkg-deb", "--field", self.deb).splitlines():
            if not line.startswith(" ") and ":" in line:
                name, value = line.split(":", 1)
                fields[name] = value.strip()
        expected = {"Package": "vardok", "Version": OPTIONS.version, "Architecture": "amd64",
                    "Section": "utils", "Priority": "optional"}
        for name, value in expected.items():
            with self.subTest(field=name):
                self.assertEqual(fields.get(name), value)
        # Worked out by dpkg-shlibdeps from arq itself, with the versions it needs.
        self.assertRegex(fields.get("Depends", ""), r"\blibc6 \(>= [\d.]+\)")
        self.assertRegex(fields.get("Maintainer", ""), r"^.+ <[^ ]+@[^ ]+>$")
        self.assertTrue(fields.get("Description"))

    def test_deb_files(self):
        files = {}
        for line in output("dpkg-deb", "--contents", self.deb).splitlines():
            mode, owner, _, _, _, path = line.split(None, 5)
            self.assertEqual(owner, "root/root", line)
            if mode.startswith("d"):
                self.assertEqual(mode, "drwxr-xr-x", line)
            else:
                files[path] = mode
        self.assertEqual(files, dict(DEB_FILES))

    def test_lintian_finds_no_error(self):
        run = subprocess.run(["lintian", "--fail-on", "error", self.deb], stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True)
        self.assertEqual(run.returncode, 0, run.stdout)
        self.assertNotRegex(run.stdout, r"(?m)^E: ")

    def test_changelog_is_of_this_version(self):
        with open(os.path.join(OPTIONS.source, "packaging", "changelog")) as f:
            self.assertRegex(f.readline(), r"^vardok \(%s\) " % re.escape(OPTIONS.version))

    def test_zip_files(self):
        listed = re.findall(r"^\s*\d+\s+\S+\s+\S+\s+(\S.*)$", output("unzip", "-l", self.zip), re.M)
        names = sorted(name for name in listed if not name.endswith("/"))
        self.assertEqual(names, sorted(self.top + name for name, _ in ZIP_FILES))
        with zipfile.ZipFile(self.zip) as z:
            for name, source in ZIP_FILES:
                with self.subTest(name=name):
                    data = z.read(self.top + name)
                    if source is None:
                        self.assertEqual(pe_machine(data), PE_MACHINE_I386)
                        continue
                    with open(os.path.join(self.unpacked(), "usr", "share", "doc", "vardok", source), "rb") as f:
                        self.assertEqual(data, f.read().replace(b"\n", b"\r\n"))

    def test_both_carry_one_launcher_and_player(self):
        with zipfile.ZipFile(self.zip) as z:
            for name in ("Vardok.exe", "Player.exe"):
                with self.subTest(name=name):
                    with open(os.path.join(self.unpacked(), "usr", "share", "vardok", name), "rb") as f:
                        self.assertEqual(f.read(), z.read(self.top + name))

    def test_the_packaged_arq_makes_a_show(self):
        tree = self.unpacked()
        check_show_without_stub(self, os.path.join(tree, "usr", "bin", "arq"),
                                os.path.join(tree, "usr", "share", "vardok"), tempfile.mkdtemp(dir=tree))

    def unpacked(self):
        """The Debian package's files, as dpkg-deb unpacks them (once)."""
        cls = type(self)
        if not hasattr(cls, "temp"):
            cls.temp = tempfile.TemporaryDirectory()
            subprocess.run(["dpkg-deb", "-x", self.deb, cls.temp.name], check=True)
        return cls.temp.name

    @classmethod
    def tearDownClass(cls):
        if hasattr(cls, "temp"):
            cls.temp.cleanup()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("--dist", "--source", "--version"):
        parser.add_argument(name, required=True)
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
