"""Running the tool: the settings the command line gives, the base class every case
derives from, and the helpers cases share."""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import types
import unittest

from .format import MTIME, end_record, parse_archive

# Set by main() once every module is imported: cases read them through this one object
# when they run, never from a copy taken at import.
settings = types.SimpleNamespace(
    arq=[],            # the command that runs the tool, runner first
    wine=False,        # the tool is a Windows program run under Wine
    floppy=None,       # under Wine: the folder behind the removable drive A:
    small=None,        # under Wine: the folder behind T:, a 1 MiB filesystem (when mounted)
    self_extract=[],   # the launcher's extraction on a named file (tests/tools/self_extract), runner first
)

EXIT_OK, EXIT_SKIPPED, EXIT_USAGE, EXIT_REFUSED, EXIT_NOT_FOUND = 0, 1, 2, 3, 4
EXIT_NOT_ARCHIVE, EXIT_NO_ROOM, EXIT_IO, EXIT_NO_MEMORY, EXIT_DAMAGED, EXIT_CANCELLED = 5, 6, 7, 8, 9, 10
EXIT_KEPT, EXIT_NOT_REPLACED = 11, 12

NOBODY = 65534      # the unprivileged user of Debian


class Run:
    def __init__(self, code, out, err):
        self.code = code
        self.raw_out = out
        self.out = out.decode("latin-1").replace("\r\n", "\n")
        self.err = err.decode("latin-1").replace("\r\n", "\n")

    def err_lines(self):
        return [line for line in self.err.split("\n") if line.strip()]

    def __repr__(self):
        return "exit %d\n--- stdout\n%s--- stderr\n%s" % (self.code, self.out, self.err)


def tree_snapshot(root):
    """Every file and folder under root with its size, for 'nothing else was written'."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            seen[os.path.relpath(path, root)] = os.path.getsize(path) if os.path.isfile(path) else -1
    return seen


def text_bytes(size, seed):
    """Compressible text: words from a small vocabulary, so that Crushed has work to do."""
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(500)]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choice(words) for _ in range(12)) + b"\n"
    return bytes(out[:size])


def random_bytes(size, seed):
    return random.Random(seed).randbytes(size)


def word_list(size, seed, vocabulary):
    """Words drawn evenly from a made-up vocabulary, one per line: few long repeats."""
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 10)))
             for _ in range(vocabulary)]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b"\n"
    return bytes(out[:size])


class ArqTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="arq-test-")
        # Scratch inside a folder of its own, so that "nothing outside the destination"
        # can be checked on the whole folder.
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    @property
    def SEP(self):  # the separator people on the system write; known once main() set settings.wine
        return "\\" if settings.wine else "/"

    def shown(self, stored):
        """A stored name as arq shows it."""
        return stored.replace("\\", self.SEP)

    def write(self, rel, data, mtime=MTIME, mode=None):
        full = self.path(rel)
        os.makedirs(os.path.dirname(full) or self.dir, exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
        if mode is not None:
            os.chmod(full, mode)
        os.utime(full, (mtime, mtime))
        return full

    def read(self, rel):
        with open(self.path(rel), "rb") as f:
            return f.read()

    def arq(self, *args, stdin=b"", env=None, timeout=600, umask=None, user=None):
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        start = None if umask is None else (lambda: os.umask(umask))
        who = {} if user is None else dict(user=user, group=user, extra_groups=[])
        p = subprocess.run(settings.arq + list(args), cwd=self.dir, input=stdin, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, env=full_env, timeout=timeout, preexec_fn=start, **who)
        return Run(p.returncode, p.stdout, p.stderr)

    def unprivileged(self):
        """The user id to run arq as so that permissions hold (root passes them all):
        nobody's when the tests run as root, with the scratch folder open to it; else
        None, for the user the tests run as."""
        if os.geteuid() != 0:
            return None
        os.chmod(self.dir, 0o755)
        try:
            reached = self.arq("--version", user=NOBODY).code == EXIT_OK
        except OSError:
            reached = False
        if not reached:
            self.skipTest("arq lies where the unprivileged user cannot run it")
        return NOBODY

    def assertExit(self, run, code):
        self.assertEqual(run.code, code, repr(run))

    def assertOneLine(self, run, *words):
        lines = run.err_lines()
        self.assertEqual(len(lines), 1, repr(run))
        self.assertTrue(lines[0].startswith("arq: "), repr(run))
        for word in words:
            self.assertIn(word, lines[0], repr(run))

    def listing(self, archive, *extra):
        """The rows of arq list as dicts, and the run. The CRC-32 column, shown when an
        entry carries a checksum, gives "crc" (8 hex digits, or None for "-")."""
        run = self.arq("list", archive, *extra)
        return self.listing_rows(run), run

    def listing_rows(self, run):
        rows = []
        with_crc = run.out.startswith("Method") and "CRC-32" in run.out.split("\n", 1)[0]
        pattern = re.compile(r"^(Stored|Crushed|method \d+)\s+(\d+)\s+(\d+)\s+(\S+)\s+"
                             r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\s+(\d{6})\s+([0-9A-F]{2} [N-][S-])\s+(\d+)  " +
                             (r"([0-9A-F]{8}|-       )  " if with_crc else r"()") + r"(.*)$")
        for line in run.out.split("\n"):
            m = pattern.match(line)
            if m:
                crc = m.group(9).strip() if with_crc else None
                rows.append(dict(method=m.group(1), packed=int(m.group(2)), size=int(m.group(3)),
                                 ratio=m.group(4), time=m.group(5), mode=m.group(6), flags=m.group(7),
                                 volume=int(m.group(8)), crc=None if crc in (None, "-") else crc,
                                 name=m.group(10)))
        return rows

    def make_archive(self, rel, records):
        """An archive made of the given record bytes and an end record."""
        full = self.path(rel)
        with open(full, "wb") as f:
            f.write(b"".join(records) + end_record())
        return rel


def small_drive(test):
    """A 1 MiB filesystem for running out of room: (host folder, path prefix the tool
    takes). Under Wine it is the fixture's T:, natively a tmpfs mounted for the test."""
    if settings.wine:
        if not settings.small or not os.path.ismount(settings.small):
            test.skipTest("the Wine fixture has no 1 MiB drive T: (mounting needs root)")
        # A folder of this test's own on the shared drive, removed afterwards.
        folder = os.path.join(settings.small, "arq-blackbox")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        test.addCleanup(shutil.rmtree, folder, True)
        return folder, "T:\\arq-blackbox\\"
    folder = test.path("small")
    os.makedirs(folder)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", folder],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        test.skipTest("cannot mount a tmpfs (needs root)")
    test.addCleanup(subprocess.run, ["umount", folder])
    return folder, "T:\\"


def small_env(folder):
    return None if settings.wine else {"VARDOK_DRIVES": "T=" + folder}


def stored_names(test, archive):
    """The stored names of an archive as bytes, and their name-case codes, by our reading."""
    entries = parse_archive(test.read(archive))[:-1]
    return [e["name"].encode("latin-1") for e in entries], {e["case"] for e in entries}


def main(cases):
    """Takes the options this suite adds, then hands the rest to unittest, which finds
    the cases, or the ones named, in the module cases."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--arq", required=True, help="the built tool")
    parser.add_argument("--runner", help="program that runs it (the Wine runner)")
    parser.add_argument("--floppy", help="folder behind the removable drive A: under Wine")
    parser.add_argument("--small", help="folder behind the 1 MiB drive T: under Wine")
    parser.add_argument("--self-extract", help="the launcher's extraction run on a named file")
    args, rest = parser.parse_known_args()
    settings.arq = ([args.runner] if args.runner else []) + [os.path.abspath(args.arq)]
    settings.wine = bool(args.runner)
    settings.floppy = args.floppy
    settings.small = args.small
    if args.self_extract:
        settings.self_extract = ([args.runner] if args.runner else []) + [os.path.abspath(args.self_extract)]
    unittest.main(module=cases, argv=[sys.argv[0]] + rest, verbosity=2)
