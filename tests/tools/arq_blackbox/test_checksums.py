"""Entry checksums: the CRC-32 field every entry carries, and a changed byte caught by it."""

import shutil
import struct
import zlib

from .format import parse_archive, checksum_field
from .runner import settings, EXIT_OK, EXIT_DAMAGED, text_bytes, random_bytes, ArqTest


class ChecksumTest(ArqTest):
    FILES = {
        "c/text.txt": text_bytes(60000, 91),
        "c/noise.bin": random_bytes(20000, 92),
        "c/empty.txt": b"",
    }

    def make(self, archive, *options):
        for rel, data in self.FILES.items():
            self.write(rel, data)
        self.assertExit(self.arq("create", *options, archive, "-C", "c", "."), EXIT_OK)
        entries = parse_archive(self.read(archive))
        self.assertIsNone(entries[-1])
        return {e["name"]: e for e in entries[:-1]}

    def original(self, stored):
        return self.FILES["c/" + stored.lower()]

    def test_every_entry_carries_the_crc32_of_its_bytes(self):
        for options in ([], ["--stored"], ["--best"]):
            with self.subTest(options=options):
                entries = self.make("k.arq", *options)
                for name, e in entries.items():
                    self.assertEqual(e["extra"], checksum_field(self.original(name)), name)
                rows, run = self.listing("k.arq")
                self.assertExit(run, EXIT_OK)
                self.assertEqual({r["name"]: r["crc"] for r in rows},
                                 {name: "%08X" % zlib.crc32(self.original(name)) for name in entries})
                run = self.arq("test", "-v", "k.arq")
                self.assertExit(run, EXIT_OK)
                self.assertIn("all 3 entries intact", run.out)
                shutil.rmtree(self.path("out"), ignore_errors=True)
                self.assertExit(self.arq("extract", "k.arq", "-C", "out"), EXIT_OK)
                for name in entries:
                    self.assertEqual(self.read("out/" + name), self.original(name))

    def flipped(self, archive, offset, name):
        data = bytearray(self.read(archive))
        data[offset] ^= 0x10
        self.write(name, bytes(data))
        return name

    def crushed_flip(self, entry, archive):
        """A byte of the Crushed stream whose change still decodes to the full size with
        the packed bytes used up: only a checksum can tell. Found by trying."""
        for delta in range(len(entry["data"]) // 2, len(entry["data"]) - 1):
            name = self.flipped(archive, entry["data_offset"] + delta, "probe.arq")
            run = self.arq("test", name)
            if "does not match its checksum" in run.err:
                return delta
        self.fail("no byte of the stream changes the data without breaking the stream")

    def test_a_changed_byte_is_caught(self):
        with_field = self.make("k.arq")
        without = self.make("n.arq", "--no-checksum")
        text, noise = with_field["TEXT.TXT"], with_field["NOISE.BIN"]
        self.assertEqual((text["method"], noise["method"]), (2, 1))
        crushed_delta = self.crushed_flip(text, "k.arq")
        cases = [
            # entry, offset of the changed byte in the archive with and without the field
            ("NOISE.BIN", "Stored", noise["data_offset"] + 12345, without["NOISE.BIN"]["data_offset"] + 12345),
            ("TEXT.TXT", "Crushed", text["data_offset"] + crushed_delta,
             without["TEXT.TXT"]["data_offset"] + crushed_delta),
        ]
        for name, method, offset, offset_without in cases:
            with self.subTest(method):
                damaged = self.flipped("k.arq", offset, "bad.arq")
                run = self.arq("test", damaged)
                self.assertExit(run, EXIT_DAMAGED)
                self.assertIn("%s: damaged: its data does not match its checksum (CRC-32 %08X stored"
                              % (name, zlib.crc32(self.original(name))), run.err)
                shutil.rmtree(self.path("out"), ignore_errors=True)
                run = self.arq("extract", damaged, "-C", "out")
                self.assertExit(run, EXIT_DAMAGED)
                self.assertIn(name + ": failed: its data does not match its checksum", run.err)
                self.assertIn(name + ": incomplete, removed", run.err)
                # Without the field the same change goes unnoticed, as it always has.
                unnoticed = self.flipped("n.arq", offset_without, "unnoticed.arq")
                self.assertExit(self.arq("test", unnoticed), EXIT_OK)
                shutil.rmtree(self.path("out2"), ignore_errors=True)
                self.assertExit(self.arq("extract", unnoticed, "-C", "out2"), EXIT_OK)
                self.assertNotEqual(self.read("out2/" + name), self.original(name))

    def test_a_changed_byte_in_a_spanned_entry_is_caught(self):
        if settings.wine:
            self.skipTest("a set is read from folders with --volumes only natively")
        self.write("s/big.bin", random_bytes(150000, 93))
        self.assertExit(self.arq("create", "--volume-size", "64K", "SET.ARQ", "s"), EXIT_OK)
        folders = ["SET.ARQ.%d" % n for n in (1, 2, 3)]
        second = self.path(folders[1], "SET.ARQ")
        with open(second, "rb") as f:
            volume = bytearray(f.read())
        # The continuation header repeats the entry's checksum field (first, before the
        # folder's time); its data runs to the end of the volume.
        block = 8 + struct.unpack_from("<H", volume, 6)[0]
        data_offset = block + 33 + struct.unpack_from("<H", volume, block + 31)[0]
        self.assertEqual(bytes(volume[block + 33:block + 41]), checksum_field(self.read("s/big.bin")))
        volume[data_offset + 1000] ^= 0x01
        with open(second, "wb") as f:
            f.write(volume)
        run = self.arq("test", "SET.ARQ", "--volumes", *folders)
        self.assertExit(run, EXIT_DAMAGED)
        self.assertIn("BIG.BIN: damaged: its data does not match its checksum", run.err)
        run = self.arq("extract", "SET.ARQ", "-C", "out", "--volumes", *folders)
        self.assertExit(run, EXIT_DAMAGED)
        self.assertIn("BIG.BIN: failed: its data does not match its checksum", run.err)
