"""Spanned sets: volumes in folders, and disks asked for in a removable drive."""

import os
import shutil
import signal
import struct

from .format import ENTRY_SIG, parse_archive
from .runner import (settings, EXIT_OK, EXIT_SKIPPED, EXIT_USAGE, EXIT_NOT_FOUND, EXIT_CANCELLED, text_bytes, random_bytes,
                     ArqTest)
from .terminal import Conversation


class SpannedTest(ArqTest):
    def make_set(self, volume_size="64K"):
        self.files = {
            "s/a.txt": text_bytes(20000, 51),
            "s/b.bin": random_bytes(100000, 52),
            "s/c/empty.txt": b"",
            "s/d.txt": text_bytes(90000, 53),
        }
        for rel, data in self.files.items():
            self.write(rel, data)
        run = self.arq("create", "--volume-size", volume_size, "SET.ARQ", "-C", "s", ".")
        self.assertExit(run, EXIT_OK)
        volumes = []
        n = 1
        while os.path.isdir(self.path("SET.ARQ.%d" % n)):
            self.assertEqual(os.listdir(self.path("SET.ARQ.%d" % n)), ["SET.ARQ"])
            volumes.append(self.read("SET.ARQ.%d/SET.ARQ" % n))
            n += 1
        self.assertFalse(os.path.exists(self.path("SET.ARQ")))
        return volumes

    def check_out(self, out):
        for rel, data in self.files.items():
            self.assertEqual(self.read(os.path.join(out, rel[2:].upper())), data, rel)

    def test_volumes_follow_the_format(self):
        volumes = self.make_set()
        self.assertGreaterEqual(len(volumes), 3)
        for i, volume in enumerate(volumes):
            self.assertLessEqual(len(volume), 64 * 1024)
            self.assertEqual(volume[:4], ENTRY_SIG)
            # Every volume's first header carries its number; every volume but the
            # last ends inside a spanned entry's data.
            first_block = 8 + struct.unpack_from("<H", volume, 6)[0]
            self.assertEqual(volume[first_block + 26], i)
        self.assertEqual(volumes[-1][-41:-37], ENTRY_SIG)  # the end record closes the last volume
        # Written again on larger disks, the set has fewer volumes, and the old set's
        # later disks do not linger to look as if it went on.
        self.assertExit(self.arq("create", "--volume-size", "1M", "SET.ARQ", "-C", "s", "."), EXIT_OK)
        self.assertTrue(os.path.isfile(self.path("SET.ARQ.1", "SET.ARQ")))
        self.assertFalse(os.path.exists(self.path("SET.ARQ.2", "SET.ARQ")))
        self.assertEqual(parse_archive(self.read("SET.ARQ.1/SET.ARQ"))[-1], None)

    def test_extract_list_and_test_with_volume_folders(self):
        volumes = self.make_set()
        folders = ["SET.ARQ.%d" % (i + 1) for i in range(len(volumes))]
        if settings.wine:
            # Windows cannot point a drive letter at a folder: a clear refusal.
            run = self.arq("extract", "SET.ARQ", "-C", "out", "--volumes", *folders)
            self.assertExit(run, EXIT_USAGE)
            self.assertOneLine(run, "--volumes", "removable drive")
            run = self.arq("extract", "SET.ARQ", "-C", "out")
            self.assertExit(run, EXIT_NOT_FOUND)
            self.assertOneLine(run, "SET.ARQ.1", "first disk of a spanned set")
            self.assertFalse(os.path.exists(self.path("out")))
            return
        rows, run = self.listing("SET.ARQ", "--volumes", *folders)
        self.assertExit(run, EXIT_OK)
        self.assertEqual([r["name"] for r in rows], ["A.TXT", "B.BIN", self.shown("C\\EMPTY.TXT"), "D.TXT"])
        self.assertTrue(any(r["flags"].endswith("S") for r in rows))
        self.assertEqual(rows[-1]["volume"] > 0, True)
        self.assertExit(self.arq("test", "SET.ARQ", "--volumes", *folders), EXIT_OK)
        run = self.arq("extract", "SET.ARQ", "-C", "out", "--volumes", *folders)
        self.assertExit(run, EXIT_OK)
        self.check_out("out")
        # The set is found by its first folder without --volumes.
        run = self.arq("extract", "SET.ARQ", "-C", "out2")
        self.assertExit(run, EXIT_OK)
        self.check_out("out2")
        # Too few folders: the disk that is missing is named.
        run = self.arq("extract", "SET.ARQ", "-C", "out3", "--volumes", folders[0])
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertIn("disk 2 of SET.ARQ is needed", run.err)
        # Folders in the wrong order.
        run = self.arq("extract", "SET.ARQ", "-C", "out4", "--volumes", folders[0], folders[2], folders[1])
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertIn("does not hold disk 2", run.err)
        # A disk missing from the folders found beside the archive is named as a folder.
        shutil.rmtree(self.path(folders[-1]))
        run = self.arq("extract", "SET.ARQ", "-C", "out5")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertIn("disk %d of SET.ARQ is needed, but %s is missing" % (len(folders), folders[-1]), run.err)
        self.assertNotIn("--volumes", run.err)

    def test_first_disk_alone_on_a_fixed_drive(self):
        self.make_set()
        shutil.copy(self.path("SET.ARQ.1/SET.ARQ"), self.path("ONE.ARQ"))
        run = self.arq("extract", "ONE.ARQ", "-C", "out")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertOneLine(run, "spanned set", "--volumes")
        rows, run = self.listing("ONE.ARQ")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertTrue(rows[-1]["flags"].endswith("S"))

    def test_volume_size_too_small(self):
        self.write("s/a.txt", text_bytes(5000, 1))
        run = self.arq("create", "--volume-size", "50", "TINY.ARQ", "-C", "s", ".")
        self.assertExit(run, EXIT_USAGE)
        self.assertOneLine(run, "too small")
        self.assertEqual(sorted(os.listdir(self.dir)), ["s"])

    # Disks in a removable drive, asked for on standard error and answered on
    # standard input.

    def floppy(self):
        if settings.wine:
            if not settings.floppy:
                self.skipTest("no floppy folder given")
            folder = settings.floppy
            for name in os.listdir(folder):
                os.unlink(os.path.join(folder, name))
            self.addCleanup(lambda: [os.unlink(os.path.join(folder, n)) for n in os.listdir(folder)])
            return folder, None
        folder = self.path("floppy")
        os.makedirs(folder)
        return folder, {"VARDOK_DRIVES": "A=" + folder + ":removable"}

    def insert(self, folder, volume):
        with open(os.path.join(folder, "SET.ARQ"), "wb") as f:
            f.write(volume)

    def extract_from_the_drive(self, first):
        """A set made, volumes[first] in the drive, and arq extracting from the drive with
        its questions in the test's hands: (volumes, drive folder, conversation)."""
        volumes = self.make_set()
        folder, env = self.floppy()
        self.insert(folder, volumes[first])
        talk = Conversation(self, ["extract", "A:\\SET.ARQ", "-C", "out"], env)
        return volumes, folder, talk

    def enter_with_the_wrong_disk(self, talk, disk, prompt):
        """Enter pressed at prompt while another disk is in the drive: arq says it is not
        the disk it needs, and asks for that disk again."""
        talk.wait_for(prompt)
        talk.send(b"\n")
        talk.wait_for("is not disk %d of SET.ARQ" % disk)
        talk.wait_for("Insert disk %d of SET.ARQ" % disk)

    def insert_the_rest(self, talk, folder, volumes, prompt):
        """Disks 2 onwards put in as prompt (holding the disk's number) asks for each:
        the whole set must come out."""
        for disk in range(2, len(volumes) + 1):
            talk.wait_for(prompt % disk)
            self.insert(folder, volumes[disk - 1])
            talk.send(b"\n")
        run = talk.finish()
        self.assertExit(run, EXIT_OK)
        self.check_out("out")

    def test_disks_asked_for_in_turn(self):
        volumes, folder, talk = self.extract_from_the_drive(0)
        self.insert_the_rest(talk, folder, volumes,
                             "Insert disk %d of SET.ARQ into drive A: and press Enter (q to give up): ")

    def test_begun_at_a_later_disk(self):
        volumes, folder, talk = self.extract_from_the_drive(1)
        # Disk 2 is still in the drive.
        self.enter_with_the_wrong_disk(talk, 1, "Insert disk 1 of SET.ARQ into drive A:")
        self.insert(folder, volumes[0])
        talk.send(b"\n")
        self.insert_the_rest(talk, folder, volumes, "Insert disk %d of SET.ARQ")
        # A later disk's file on a fixed drive names what is missing.
        with open(self.path("TWO.ARQ"), "wb") as f:
            f.write(volumes[1])
        run = self.arq("list", "TWO.ARQ")
        self.assertExit(run, EXIT_NOT_FOUND)
        self.assertOneLine(run, "disk 2 of a spanned set")

    def test_begun_at_a_later_disk_meets_an_unknown_method(self):
        # The set begins with an entry spread over the disks. Begun at disk 2, arq goes
        # back to disk 1, whose header of that entry names a method no engine knows: the
        # entry is skipped with its line, its pieces passed over on the later disks.
        self.write("big/a.bin", random_bytes(150000, 54))
        self.assertExit(self.arq("create", "--stored", "--volume-size", "64K", "SET.ARQ", "-C", "big", "."),
                        EXIT_OK)
        volumes = []
        while os.path.isdir(self.path("SET.ARQ.%d" % (len(volumes) + 1))):
            volumes.append(self.read("SET.ARQ.%d/SET.ARQ" % (len(volumes) + 1)))
        first = bytearray(volumes[0])
        first[8 + struct.unpack_from("<H", first, 6)[0] + 22] = 9
        folder, env = self.floppy()
        self.insert(folder, volumes[1])
        talk = Conversation(self, ["test", "A:\\SET.ARQ"], env)
        talk.wait_for("Insert disk 1 of SET.ARQ")
        self.insert(folder, bytes(first))
        talk.send(b"\n")
        for disk in range(2, len(volumes) + 1):
            talk.wait_for("Insert disk %d of SET.ARQ" % disk)
            self.insert(folder, volumes[disk - 1])
            talk.send(b"\n")
        run = talk.finish()
        self.assertExit(run, EXIT_SKIPPED)
        self.assertIn("A.BIN: skipped: unknown storage method 9", run.err)

    def test_wrong_disk_then_give_up(self):
        volumes, folder, talk = self.extract_from_the_drive(0)
        self.enter_with_the_wrong_disk(talk, 2, "Insert disk 2 of SET.ARQ")  # disk 1 is still in the drive
        talk.send(b"q\n")
        run = talk.finish()
        self.assertExit(run, EXIT_CANCELLED)
        self.assertIn("A.TXT", os.listdir(self.path("out")))
        # The temporary file the engine collects pieces in is gone.
        self.assertEqual([n for n in os.listdir(self.path("out")) if n.endswith(".$$$")], [])

    def test_end_of_input_gives_up(self):
        volumes = self.make_set()
        folder, env = self.floppy()
        self.insert(folder, volumes[0])
        run = self.arq("extract", "A:\\SET.ARQ", "-C", "out", env=env)
        self.assertExit(run, EXIT_CANCELLED)

    def test_interrupt_at_the_prompt(self):
        if settings.wine:
            self.skipTest("signals reach a Windows program under Wine only through its console")
        volumes, folder, talk = self.extract_from_the_drive(0)
        talk.wait_for("Insert disk 2 of SET.ARQ")
        talk.process.send_signal(signal.SIGINT)
        run = talk.finish()
        self.assertExit(run, EXIT_CANCELLED)
        self.assertIn("cancelled", run.err)
