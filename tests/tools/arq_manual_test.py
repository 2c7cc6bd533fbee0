#!/usr/bin/env python3
"""The manual page of arq against the tool's own help and the README.

    arq_manual_test.py --arq build/native/bin/arq --manual tools/arq/arq.1 --readme README.md

The help is what the built program prints, the manual is read from its roff source:
every option a help text names is described in the manual's part for that command
(or among the common options), every option the manual describes there is one the
help names, the exit codes are the same on both sides, and the README's examples of
arq are among the manual's.
"""

import argparse
import re
import subprocess
import sys
import unittest

ARQ = None
MANUAL = ""
README = ""

COMMANDS = ["create", "list", "test", "extract", "show"]
# An option as both sides write it: a dash that starts a word, not one inside
# "x86-64" or "end-of-archive".
OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][A-Za-z-]*)")
# The help's exit codes: "   9  the archive or an entry is damaged ...".
HELP_EXIT_CODE = re.compile(r"^ {1,3}(\d{1,2})  \S", re.M)


def help_text(*args):
    return subprocess.run([ARQ] + list(args), stdout=subprocess.PIPE, check=True, text=True).stdout


def plain(roff):
    """Roff source as the reader sees its words: fonts and escapes taken out."""
    text = re.sub(r"\\f[BIRP]", "", roff)
    text = re.sub(r'^\.\\".*$', "", text, flags=re.M)
    text = re.sub(r"^\.(B|I|BR|RB|BI|IB|IR|RI) ", "", text, flags=re.M)
    replacements = [("\\-", "-"), ("\\(aq", "'"), ("\\(lq", '"'), ("\\(rq", '"'), ("\\&", ""), ("\\e", "\\")]
    for escape, character in replacements:
        text = text.replace(escape, character)
    return text


def manual_sections(roff):
    """{heading: roff source under it} for every .SH and .SS heading."""
    sections = {}
    heading = ""
    for line in roff.splitlines():
        match = re.match(r'^\.S[HS] "?([^"]*)"?$', line)
        if match:
            heading = match.group(1)
            continue
        sections[heading] = sections.get(heading, "") + line + "\n"
    return sections


def described_options(roff):
    """The options a part of the manual describes: the tags of its .TP items."""
    tags = re.findall(r"^\.TP\n(.*)$", roff, re.M)
    return {option for tag in tags for option in OPTION.findall(plain(tag))}


def help_options(text):
    """The options a help text lists under its options heading, each line's first
    column: "  -C, --directory DIR  ...", "  --stub FILE     ..."."""
    listed = re.split(r"^Options[^\n]*:\n", text, flags=re.M)[1].split("\n\n")[0]
    columns = [re.match(r"  (\S.*?)(?: {2,}|$)", line) for line in listed.splitlines()]
    return {option for column in columns if column for option in OPTION.findall(column.group(1))}


class ManualAgreesWithHelp(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        with open(MANUAL, encoding="utf-8") as f:
            cls.roff = f.read()
        cls.sections = manual_sections(cls.roff)
        cls.common = described_options(cls.sections["COMMON OPTIONS"])

    def test_options(self):
        # What each help page lists, against the manual's part for it: (help, manual part).
        cases = [(["--help"], "COMMON OPTIONS")] + [([command, "--help"], command) for command in COMMANDS]
        for args, part in cases:
            with self.subTest(help=" ".join(args)):
                listed = help_options(help_text(*args))
                described = described_options(self.sections[part])
                self.assertTrue(listed, "no options found in the help")
                self.assertEqual(listed - described - self.common, set(), "in the help, not in the manual")
                self.assertEqual(described - listed, set(), "in the manual, not in the help")

    def test_commands_and_version(self):
        usage = help_text("--help").split("\n\n")[1]
        synopsis = plain(self.sections["SYNOPSIS"])
        for word in COMMANDS + ["help", "--version", "-V"]:
            with self.subTest(word=word):
                self.assertRegex(usage, r"(?<![\w-])" + re.escape(word) + r"\b")
                self.assertRegex(synopsis, r"arq\s+" + re.escape(word) + r"\b")

    def test_exit_codes(self):
        help_codes = HELP_EXIT_CODE.findall(help_text("--help"))
        manual_codes = re.findall(r"^\.TP\n\.B (\d+)$", self.sections["EXIT STATUS"], re.M)
        self.assertEqual(help_codes, [str(code) for code in range(13)])
        self.assertEqual(manual_codes, help_codes)

    def test_readme_examples(self):
        # The README's examples: its lines of arq in sh blocks that are no synopsis
        # (a synopsis shows its options in brackets), without their comments.
        with open(README, encoding="utf-8") as f:
            blocks = re.findall(r"^```sh\n(.*?)^```", f.read(), re.M | re.S)
        examples = [line.split("  #")[0].strip() for block in blocks for line in block.splitlines()
                    if line.startswith("arq ") and "[" not in line]
        shown = {line.strip() for line in plain(self.sections["EXAMPLES"]).splitlines()}
        self.assertGreater(len(examples), 10)
        for example in examples:
            with self.subTest(example=example):
                self.assertTrue(example in shown, "not among the manual's examples")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("--arq", "--manual", "--readme"):
        parser.add_argument(name, required=True)
    options, rest = parser.parse_known_args()
    ARQ, MANUAL, README = options.arq, options.manual, options.readme
    unittest.main(argv=[sys.argv[0]] + rest)
