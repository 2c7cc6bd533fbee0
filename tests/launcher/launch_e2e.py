#!/usr/bin/env python3
"""End-to-end launches: a self-running show is made from the built launcher and an
archive written by hand, started as a user would start it, and judged by what the
tests' own player reports and by what is left in the temporary folder.

Natively:    launch_e2e.py --launcher build/x/bin/vardok --player build/x/bin/test_player
For Windows: launch_e2e.py --runner build/x-win/wine-run.sh --prefix build/x-win/wineprefix
             --launcher build/x-win/bin/Vardok.exe --player build/x-win/bin/test_player.exe
             [--small build/x-win/drives/small] [--artefacts DIR]

Natively the temporary folder is $TMPDIR; under Wine it is set in the prefix's
HKCU\\Environment, where every Windows program takes it from (Wine ignores the Unix
TMP and TEMP), and put back at the end. Windows runs need a display (DISPLAY).
"""

import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from arq_blackbox.format import archive_header, checksum_field, end_record, entry  # noqa: E402  (the format, by hand)

ARGS = None
DISK_FULL_TEXT = "There is not enough room on the drive to run the Tarnby."
PLAYER_MODE = 0x81FF
SHOW_MODE = 0x81B6


def SHOW_EXTENSION():
    """A show file's extension: ".exe" on Windows; natively one too, since the engine
    adds ".exe" to a program name without a dot, as it does on Windows."""
    return ".exe" if ARGS.runner else ".run"


def fnv1a(data):
    value = 0x811C9DC5
    for byte in data:
        value = ((value ^ byte) * 0x01000193) & 0xFFFFFFFF
    return "%08x" % value


def windows_path(unix_path):
    """How a Unix path reaches a Windows program under Wine: on drive Z:."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def empty(folder):
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)


def read_report(path):
    report = {}
    if not os.path.exists(path):
        return None
    with open(path, encoding="latin-1") as f:
        for line in f.read().replace("\r\n", "\n").split("\n"):
            key, sep, value = line.partition("=")
            if sep:
                report[key] = value
    return report


def wine(*args, check=True):
    # Arguments reach Wine in UTF-8, whatever the machine's locale.
    env = dict(os.environ, WINEPREFIX=ARGS.prefix, LC_ALL="C.UTF-8")
    return subprocess.run([ARGS.runner] + list(args), env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=check, timeout=600)


def set_wine_temp(windows_folder):
    for name in ("TMP", "TEMP"):
        if windows_folder is None:
            wine("reg", "delete", "HKCU\\Environment", "/v", name, "/f", check=False)
        else:
            wine("reg", "add", "HKCU\\Environment", "/v", name, "/t", "REG_EXPAND_SZ", "/d", windows_folder, "/f")


class LaunchBase(unittest.TestCase):
    """One folder for the class, holding the show files (outside the temporary folder,
    as a downloaded show is) and the temporary folder, emptied before each test."""

    @classmethod
    def setUpClass(cls):
        with open(ARGS.launcher, "rb") as f:
            cls.stub = f.read()
        with open(ARGS.player, "rb") as f:
            cls.player = f.read()
        cls.base = tempfile.mkdtemp(prefix="vardok-e2e-")
        cls.temp = os.path.join(cls.base, "temp with blanks")
        os.mkdir(cls.temp)
        if ARGS.runner:
            set_wine_temp(windows_path(cls.temp) + "\\")

    @classmethod
    def tearDownClass(cls):
        if ARGS.runner:
            set_wine_temp(None)
        shutil.rmtree(cls.base, ignore_errors=True)

    def setUp(self):
        empty(self.temp)
        self.report = os.path.join(self.base, "report.txt")
        if os.path.exists(self.report):
            os.remove(self.report)

    # The show file: the launcher, then the archive as the launcher expects it.
    def make_show(self, entries, total=None, name="Show", cut=0):
        body = b"".join(entries) + end_record()
        if total is None:
            total = sum(len(e) for e in entries)
        data = self.stub + archive_header(total) + body
        if cut:
            data = data[:-cut]
        path = os.path.join(self.base, name + SHOW_EXTENSION())
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, 0o755)
        return path

    def start(self, show_file, report, wait_file=None):
        """The show started as a user starts it; its player reports to report and, with
        wait_file, then waits until that file exists."""
        host = windows_path if ARGS.runner else (lambda path: path)
        env = dict(os.environ, VARDOK_TEST_PLAYER_REPORT=host(report))
        if wait_file:
            env["VARDOK_TEST_PLAYER_WAIT_FILE"] = host(wait_file)
        if ARGS.runner:
            env["WINEPREFIX"] = ARGS.prefix
            command = [ARGS.runner, show_file]
        else:
            env["TMPDIR"] = self.temp + "/"
            command = [show_file]
        return subprocess.Popen(command, env=env, cwd=self.base, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def launch(self, show_file):
        started = time.time()
        process = self.start(show_file, self.report)
        out, err = process.communicate(timeout=600)
        self.elapsed = time.time() - started
        return subprocess.CompletedProcess(process.args, process.returncode, out, err)

    def launch_told(self, show_file):
        """A launch that starts no player: a message says why. Under Wine the box, under
        the program's name, is waited for and answered."""
        if not ARGS.runner:
            return self.launch(show_file)
        # The first program a fresh Wine desktop starts now and then gets no window at
        # all (see NoRoomTest): such a start is ended and the show started once more.
        for seconds in (30, 60):
            process = self.start(show_file, self.report)
            try:
                box = wait_for_window(os.path.splitext(os.path.basename(show_file))[0], seconds)
                if box is not None:
                    # A box that has just appeared may not take the key yet: it is
                    # pressed again until the program has ended.
                    for _ in range(20):
                        xdotool("windowfocus", box, timeout=10)
                        xdotool("key", "--window", box, "Return", timeout=10)
                        try:
                            out, err = process.communicate(timeout=3)
                            return subprocess.CompletedProcess(process.args, process.returncode, out, err)
                        except subprocess.TimeoutExpired:
                            pass
            finally:
                if process.poll() is None:
                    process.kill()
                    process.communicate()
            empty(self.temp)
        self.fail("no message said why no player started")

    def expected_path(self, name, folder="VRD00000"):
        """Where the launch writes name: in its own folder inside the temporary folder."""
        if ARGS.runner:
            return windows_path(self.temp) + "\\" + folder + "\\" + name
        return self.temp + "/" + folder + "/" + name



class LaunchTest(LaunchBase):
    def test_show_and_player(self):
        show = os.urandom(30000) + b"slide text " * 5000
        result = self.launch(self.make_show([entry("DECK.PPS", show, mode=SHOW_MODE),
                                             entry("PLAYER.EXE", self.player, mode=PLAYER_MODE)]))
        self.assertEqual(result.returncode, 0, result)
        report = read_report(self.report)
        self.assertIsNotNone(report, "the player did not run")
        # One blank, then the show's full path, unquoted, blanks and all, spelt with one
        # separator, the system's.
        line = report["command_line"]
        self.assertEqual(line[:1], " ")
        self.assertEqual(line[1:], self.expected_path("DECK.PPS"))
        self.assertEqual(report["show_fnv"], fnv1a(show))
        self.assertEqual(int(report["show_size"]), len(show))
        if ARGS.runner:
            self.assertEqual(report["priority"], "32")  # NORMAL_PRIORITY_CLASS, as the launcher asks
        self.assertEqual(os.path.normcase(report["cwd"].rstrip("\\/")),
                         os.path.normcase(self.expected_path("").rstrip("\\/")))
        self.assertEqual(os.listdir(self.temp), [], "the launcher left its files behind")

    def test_one_entry_starts_nothing(self):
        result = self.launch_told(self.make_show([entry("DECK.PPS", b"only a show", mode=SHOW_MODE)]))
        self.assertEqual(result.returncode, 0, result)
        self.assertIsNone(read_report(self.report))
        self.assertEqual(os.listdir(self.temp), [])

    def test_every_entry_is_removed(self):
        # A third entry, in a folder of its own name, read-only: all of it goes.
        result = self.launch(self.make_show([entry("DECK.PPS", b"the show", mode=SHOW_MODE),
                                             entry("PLAYER.EXE", self.player, mode=PLAYER_MODE),
                                             entry("NOTES\\READ.TXT", b"notes", mode=0o100444)]))
        self.assertEqual(result.returncode, 0, result)
        self.assertIsNotNone(read_report(self.report))
        self.assertEqual(os.listdir(self.temp), [])

    def test_what_earlier_runs_left_is_left_alone(self):
        # Files of the same names, one read-only, and a folder of the launch's first
        # name: the launch takes the next name and touches none of them.
        left = {"DECK.PPS": b"left over " * 1000, "PLAYER.EXE": b"read-only", "VRD00000/DECK.PPS": b"older"}
        os.mkdir(os.path.join(self.temp, "VRD00000"))
        for name, data in left.items():
            with open(os.path.join(self.temp, name), "wb") as f:
                f.write(data)
        os.chmod(os.path.join(self.temp, "PLAYER.EXE"), 0o444)
        show = b"this run's show"
        result = self.launch(self.make_show([entry("DECK.PPS", show, mode=SHOW_MODE),
                                             entry("PLAYER.EXE", self.player, mode=PLAYER_MODE)]))
        self.assertEqual(result.returncode, 0, result)
        report = read_report(self.report)
        self.assertEqual(report["show_fnv"], fnv1a(show))
        if ARGS.runner:
            self.assertEqual(report["show"], self.expected_path("DECK.PPS", "VRD00001"))
        for name, data in left.items():
            with open(os.path.join(self.temp, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertEqual(sorted(os.listdir(self.temp)), ["DECK.PPS", "PLAYER.EXE", "VRD00000"])
        os.chmod(os.path.join(self.temp, "PLAYER.EXE"), 0o644)
        shutil.rmtree(os.path.join(self.temp, "VRD00000"))

    def test_two_copies_at_once(self):
        # The second copy starts while the first one's player still runs: both play
        # their own shows, neither touches the other's, and nothing is left.
        shows = [b"the first copy's show", b"the second copy's show"]
        files = [self.make_show([entry("DECK.PPS", show, mode=SHOW_MODE),
                                 entry("PLAYER.EXE", self.player, mode=PLAYER_MODE)], name="Copy%d" % i)
                 for i, show in enumerate(shows)]
        reports = [os.path.join(self.base, "report%d.txt" % i) for i in range(2)]
        go_on = os.path.join(self.base, "go-on")
        for path in reports + [go_on]:
            if os.path.exists(path):
                os.remove(path)
        first = self.start(files[0], reports[0], wait_file=go_on)
        try:
            deadline = time.time() + 120
            while read_report(reports[0]) is None and time.time() < deadline:
                time.sleep(0.1)
            self.assertIsNotNone(read_report(reports[0]), "the first copy's player did not run")
            second = self.start(files[1], reports[1])
            second.communicate(timeout=600)
            self.assertEqual(second.returncode, 0)
            # The first player's show is still there, as it was.
            show = read_report(reports[0])["show"]
            host = show.replace("Z:", "", 1).replace("\\", "/") if ARGS.runner else show
            with open(host, "rb") as f:
                self.assertEqual(fnv1a(f.read()), fnv1a(shows[0]))
        finally:
            open(go_on, "wb").close()
            first.communicate(timeout=600)
        self.assertEqual(first.returncode, 0)
        for report, show in zip(reports, shows):
            self.assertEqual(read_report(report)["show_fnv"], fnv1a(show))
        self.assertEqual(os.listdir(self.temp), [])

    def test_temporary_folder_the_code_page_cannot_spell(self):
        # Its short name is used where the ANSI code page cannot spell its own.
        if not ARGS.runner:
            self.skipTest("a Windows name")
        folder = os.path.join(self.base, "Темп 日本")
        os.mkdir(folder)
        set_wine_temp(windows_path(folder) + "\\")
        try:
            show = b"a show in a folder of another script"
            result = self.launch(self.make_show([entry("DECK.PPS", show, mode=SHOW_MODE),
                                                 entry("PLAYER.EXE", self.player, mode=PLAYER_MODE)]))
            self.assertEqual(result.returncode, 0, result)
            report = read_report(self.report)
            self.assertIsNotNone(report, "the player did not run")
            self.assertEqual(report["show_fnv"], fnv1a(show))
            self.assertNotIn("?", report["show"])
            self.assertEqual(os.listdir(folder), [])
        finally:
            set_wine_temp(windows_path(self.temp) + "\\")
            shutil.rmtree(folder)

    def test_player_that_is_no_program(self):
        # Bytes that are neither a program nor a script: the system starts nothing.
        result = self.launch_told(self.make_show([entry("DECK.PPS", b"the show", mode=SHOW_MODE),
                                                  entry("PLAYER.EXE", b"no program at all " * 50,
                                                        mode=PLAYER_MODE)]))
        self.assertEqual(result.returncode, 0, result)
        self.assertIsNone(read_report(self.report))
        self.assertEqual(os.listdir(self.temp), [])

    def test_damaged_player_is_not_started(self):
        # The archive ends inside the player's data: its copy comes up short.
        show_file = self.make_show([entry("DECK.PPS", b"the show", mode=SHOW_MODE),
                                    entry("PLAYER.EXE", self.player, mode=PLAYER_MODE)],
                                   cut=len(end_record()) + 100)
        result = self.launch_told(show_file)
        self.assertEqual(result.returncode, 0, result)
        self.assertIsNone(read_report(self.report), "a damaged player was started")
        # The completed show goes, and so does what the engine left of the player.
        self.assertEqual(os.listdir(self.temp), [])

    def test_player_failing_its_checksum_is_not_started(self):
        # The player itself is whole and would run: only the checksum its header
        # carries says that its bytes are not the ones stored. An intact pair runs.
        show = b"a checked show"
        changed = bytearray(self.player)
        changed[len(changed) // 2] ^= 0x01
        cases = [
            ("intact", checksum_field(self.player), True),
            ("the player's bytes differ from its checksum", checksum_field(bytes(changed)), False),
        ]
        for what, player_field, started in cases:
            with self.subTest(what):
                self.setUp()
                show_file = self.make_show([entry("DECK.PPS", show, mode=SHOW_MODE, extra=checksum_field(show)),
                                            entry("PLAYER.EXE", self.player, mode=PLAYER_MODE, extra=player_field)])
                result = (self.launch if started else self.launch_told)(show_file)
                self.assertEqual(result.returncode, 0, result)
                report = read_report(self.report)
                if started:
                    self.assertIsNotNone(report, "the player did not run")
                    self.assertEqual(report["show_fnv"], fnv1a(show))
                    self.assertEqual(os.listdir(self.temp), [])
                else:
                    self.assertIsNone(report, "a player that failed its checksum was started")
                    self.assertEqual(os.listdir(self.temp), [])

    def sign(self, unsigned, name):
        """unsigned signed with a throwaway certificate, as the file name; the signature verified."""
        key, cert = os.path.join(self.base, "key.pem"), os.path.join(self.base, "cert.pem")
        if not os.path.exists(cert):
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-keyout", key, "-out",
                            cert, "-days", "2", "-nodes", "-subj", "/CN=Test Code Signing",
                            "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
        signed = os.path.join(self.base, name)
        if os.path.exists(signed):
            os.remove(signed)
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-in", unsigned,
                        "-out", signed], check=True, capture_output=True)
        verified = subprocess.run(["osslsigncode", "verify", "-in", signed, "-CAfile", cert], capture_output=True)
        self.assertEqual(verified.returncode, 0, verified.stdout)
        return signed

    def test_only_signed_bytes_run(self):
        # Signed last, as a show is handed out: the certificate table then follows the
        # end-of-archive record, and the launcher must still find and run its player.
        # An archive hidden in the table of a signed bare launcher (stretched over it,
        # which leaves the signature good) must not run.
        if not ARGS.runner or not shutil.which("osslsigncode") or not shutil.which("openssl"):
            self.skipTest("needs the Windows build, openssl and osslsigncode")
        show = b"a signed show"
        entries = [entry("DECK.PPS", show, mode=SHOW_MODE), entry("PLAYER.EXE", self.player, mode=PLAYER_MODE)]
        signed = self.sign(self.make_show(entries, name="Unsigned"), "Signed.exe")
        result = self.launch(signed)
        self.assertEqual(result.returncode, 0, result)
        self.assertEqual(read_report(self.report)["show_fnv"], fnv1a(show))
        self.assertEqual(os.listdir(self.temp), [])

        bare = os.path.join(self.base, "Bare.exe")
        shutil.copyfile(ARGS.launcher, bare)
        with open(self.sign(bare, "Bare-signed.exe"), "rb") as f:
            data = bytearray(f.read())
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        directory = pe + 24 + (144 if struct.unpack_from("<H", data, pe + 24)[0] == 0x20B else 128)
        table, size = struct.unpack_from("<II", data, directory)
        archive = archive_header(len(show) + len(self.player)) + b"".join(entries) + end_record()
        archive += bytes(-len(archive) % 8)
        data += archive
        struct.pack_into("<I", data, directory + 4, size + len(archive))
        struct.pack_into("<I", data, table, struct.unpack_from("<I", data, table)[0] + len(archive))
        stretched = os.path.join(self.base, "Stretched.exe")
        with open(stretched, "wb") as f:
            f.write(data)
        os.remove(self.report)
        result = self.launch_told(stretched)
        self.assertEqual(result.returncode, 0, result)
        self.assertIsNone(read_report(self.report), "a player from the certificate table ran")
        self.assertEqual(os.listdir(self.temp), [])

    def test_program_without_archive(self):
        path = os.path.join(self.base, "Bare" + SHOW_EXTENSION())
        shutil.copyfile(ARGS.launcher, path)
        os.chmod(path, 0o755)
        result = self.launch_told(path)
        self.assertEqual(result.returncode, 0, result)
        self.assertIsNone(read_report(self.report))
        self.assertEqual(os.listdir(self.temp), [])


def xdotool(*args, timeout=30):
    return subprocess.run(["xdotool"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          timeout=timeout, text=True)


def wait_for_window(name, seconds=60):
    """The id of the visible window whose title is name, polled until it appears."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = xdotool("search", "--onlyvisible", "--name", "^%s$" % name, timeout=10).stdout.split()
        if found:
            return found[0]
        time.sleep(0.2)
    return None


class NoRoomTest(LaunchBase):
    """The temporary folder on a 1 MiB drive, the show larger than that: the one
    message of the launcher's own appears, under the program's name, and is answered."""

    def test_no_room_on_the_drive(self):
        if not ARGS.runner or not ARGS.small or not os.path.ismount(ARGS.small):
            self.skipTest("needs the Windows build and its 1 MiB drive T:")
        empty(ARGS.small)
        set_wine_temp("T:\\")
        try:
            show = os.urandom(1536 * 1024)
            show_file = self.make_show([entry("DECK.PPS", show, mode=SHOW_MODE),
                                        entry("PLAYER.EXE", self.player, mode=PLAYER_MODE)], name="Roomless")
            env = dict(os.environ, WINEPREFIX=ARGS.prefix, VARDOK_TEST_PLAYER_REPORT=windows_path(self.report))
            # Right after Wine's desktop process has started, the first program of a
            # fresh prefix now and then gets no window at all: such a start is ended and
            # the show started once more, with the drive emptied again.
            for attempt in range(2):
                process = subprocess.Popen([ARGS.runner, show_file], env=env, cwd=self.base,
                                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                box = wait_for_window("Roomless", 30 if attempt == 0 else 60)
                if box is not None:
                    break
                process.kill()
                process.communicate()
                empty(ARGS.small)
            try:
                self.assertIsNotNone(box, "no message box came")
                self.assertIsNotNone(wait_for_window("Preparing Tarnby", 5), "the progress window is not behind it")
                if ARGS.artefacts:
                    os.makedirs(ARGS.artefacts, exist_ok=True)
                    subprocess.run(["import", "-window", "root", os.path.join(ARGS.artefacts, "no-room.png")],
                                   timeout=60)
                xdotool("windowfocus", "--sync", box)
                xdotool("key", "--window", box, "Return")
                _, err = process.communicate(timeout=300)
            finally:
                if process.poll() is None:
                    process.kill()
            self.assertEqual(process.returncode, 0)
            self.assertIsNone(read_report(self.report), "a player started without its show")
            # Nothing is left: not even the empty file of the entry that did not fit.
            self.assertEqual(os.listdir(ARGS.small), [])
        finally:
            set_wine_temp(windows_path(self.temp) + "\\")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--player", required=True)
    parser.add_argument("--runner", help="the Wine runner of the Windows build")
    parser.add_argument("--prefix", help="its Wine prefix")
    parser.add_argument("--small", help="folder behind the 1 MiB drive T: under Wine")
    parser.add_argument("--artefacts", help="folder for screenshots")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
