"""Terminal behaviour: the progress bar and questions (natively, on a pseudo-terminal)."""

import os
import pty
import re
import select
import subprocess

from .runner import settings, EXIT_OK, text_bytes, ArqTest
from .terminal import run_on_terminal


class TerminalTest(ArqTest):
    def test_progress_bar_only_on_a_terminal(self):
        if settings.wine:
            self.skipTest("a pseudo-terminal is no Windows console")
        self.write("s/big.txt", text_bytes(8 * 1024 * 1024, 61))
        code, shown = run_on_terminal(self, "create", "t.arq", "-C", "s", ".")
        self.assertEqual(code, 0, shown)
        self.assertRegex(shown, r"\r\[#*\.*\]\s+\d+%\s+\S+ [KM]iB\s+BIG\.TXT")
        self.assertIn("t.arq: 1 file", shown)  # the summary, on a terminal
        code, shown = run_on_terminal(self, "extract", "t.arq", "-C", "out")
        self.assertEqual(code, 0, shown)
        self.assertIn("100%", shown)
        self.assertIn("1 file written", shown)
        run = self.arq("extract", "t.arq", "-C", "out2")
        self.assertEqual(run.out + run.err, "")  # piped: silent
        code, shown = run_on_terminal(self, "extract", "-q", "t.arq", "-C", "out3")
        self.assertEqual((code, shown), (0, ""))

    def test_the_bar_shows_names_in_the_terminals_encoding(self):
        if settings.wine:
            self.skipTest("a pseudo-terminal is no Windows console")
        self.write("s/日本/データ.txt", text_bytes(64 * 1024, 62))
        for command in (["create", "t.arq", "--codepage", "932", "s/日本"],
                        ["extract", "t.arq", "--codepage", "932", "-C", "out"]):
            with self.subTest(command=command[0]):
                code, shown = run_on_terminal(self, *command)
                self.assertEqual(code, 0, shown)
                lines = shown.encode("latin-1").decode("utf-8", "replace").split("\r")
                self.assertTrue(any(re.search(r"[ /]日本/データ\.TXT +$", l) for l in lines), lines[:3])


class TerminalQuestionTest(ArqTest):
    def test_overwrite_is_asked_on_a_terminal(self):
        if settings.wine:
            self.skipTest("a pseudo-terminal is no Windows console")
        self.write("s/keep.txt", b"archived")
        self.assertExit(self.arq("create", "k.arq", "-C", "s", "."), EXIT_OK)
        self.write("out/KEEP.TXT", b"mine")
        master, slave = pty.openpty()
        p = subprocess.Popen(settings.arq + ["extract", "k.arq", "-C", "out"], cwd=self.dir, stdin=slave, stdout=slave,
                             stderr=slave)
        os.close(slave)
        shown = b""
        while b"[N]one: " not in shown:
            ready, _, _ = select.select([master], [], [], 120)
            self.assertTrue(ready, shown)
            shown += os.read(master, 4096)
        os.write(master, b"n\n")
        self.assertEqual(p.wait(timeout=120), 0)
        os.close(master)
        self.assertIn(b"Replace out", shown)
        self.assertEqual(self.read("out/KEEP.TXT"), b"mine")
