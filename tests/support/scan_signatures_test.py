#!/usr/bin/env python3
"""The signature scanner against files made here: it must find what is planted, name
the archive member that holds it, and pass clean files."""

import os
import subprocess
import sys
import tempfile
import unittest

SCANNER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scan_signatures.py")
# Built by arithmetic, so that this file holds neither signature itself.
ENTRY = bytes([0x67, 0x57, 0x04, 0x00 + 1])
ARCHIVE = bytes([0x67, 0x57, 0x04, 0x00 + 2])


def ar_member(name, data):
    """A GNU ar member with a short name (the name field ends in '/')."""
    header = (name + "/").ljust(16) + "0".ljust(12) + "0".ljust(6) + "0".ljust(6)
    header += "644".ljust(8) + str(len(data)).ljust(10) + "`\n"
    return header.encode("ascii") + data + (b"\n" if len(data) & 1 else b"")


class ScanSignaturesTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def scan(self, *paths):
        return subprocess.run([sys.executable, SCANNER] + list(paths), capture_output=True, text=True)

    def test_cases(self):
        # (description, file bytes, exit code, lines of hits)
        cases = [
            ("empty", b"", 0, 0),
            ("three bytes of each", ENTRY[:3] + b"x" + ARCHIVE[:3], 0, 0),
            ("another third byte", bytes([0x67, 0x57, 0x05, 0x01]), 0, 0),
            ("another last byte", ENTRY[:3] + b"\x03", 0, 0),
            ("entry signature at the start", ENTRY + b"rest", 1, 1),
            ("archive signature at the end", b"lead" + ARCHIVE, 1, 1),
            ("both, twice", ENTRY + ARCHIVE + b"." + ENTRY + ARCHIVE, 1, 4),
            ("inverted bytes only", bytes(~b & 0xFF for b in ENTRY + ARCHIVE), 0, 0),
        ]
        for description, data, code, hits in cases:
            with self.subTest(description):
                result = self.scan(self.write("file.bin", data))
                self.assertEqual(result.returncode, code, result.stdout)
                self.assertEqual(result.stdout.count("signature 67 57 04"), hits, result.stdout)

    def test_offset_and_member_are_named(self):
        archive = b"!<arch>\n" + ar_member("clean.o", b"0123456") + ar_member("keys.o", b"abc" + ARCHIVE)
        path = self.write("libx.a", archive)
        result = self.scan(path)
        self.assertEqual(result.returncode, 1)
        self.assertIn("(keys.o, offset 3): archive header signature", result.stdout)
        self.assertNotIn("clean.o", result.stdout)

    def test_every_file_is_scanned(self):
        clean = self.write("clean.bin", b"clean")
        dirty = self.write("dirty.bin", b"--" + ENTRY)
        result = self.scan(clean, dirty)
        self.assertEqual(result.returncode, 1)
        self.assertIn("dirty.bin: offset 2", result.stdout)

    def test_missing_file_is_an_error(self):
        result = self.scan(os.path.join(self.dir.name, "absent.a"))
        self.assertEqual(result.returncode, 2)

    def test_the_scripts_hold_no_signature(self):
        here = os.path.dirname(SCANNER)
        self.assertEqual(self.scan(SCANNER, os.path.join(here, "scan_signatures_test.py")).returncode, 0)


if __name__ == "__main__":
    unittest.main()
