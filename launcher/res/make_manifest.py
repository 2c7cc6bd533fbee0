#!/usr/bin/env python3
"""Writes the launcher's manifest from its template, with the version and names of version.h.

    make_manifest.py VERSION_HEADER TEMPLATE OUTPUT

The template names values as @NAME@, where NAME is a define of the version header
(VARDOK_INTERNAL_NAME, ...) or VARDOK_VERSION_STRING, which is made here from the four
version numbers just as the header's macro makes it. Values are escaped for XML. A
placeholder the header does not define stops the build. Standard library only.
"""

import re
import sys
from xml.sax.saxutils import escape

DEFINE = re.compile(r'^\s*#\s*define\s+(VARDOK_\w+)\s+(\d+|"[^"\\]*")\s*(?://.*)?$')
PLACEHOLDER = re.compile(r"@([A-Za-z_]\w*)@")
VERSION_PARTS = (
    "VARDOK_VERSION_MAJOR",
    "VARDOK_VERSION_MINOR",
    "VARDOK_VERSION_PATCH",
    "VARDOK_VERSION_BUILD",
)


class ManifestError(Exception):
    pass


def read_defines(text):
    values = {}
    for line in text.splitlines():
        match = DEFINE.match(line)
        if match:
            name, value = match.groups()
            values[name] = value[1:-1] if value.startswith('"') else value
    missing = [part for part in VERSION_PARTS if part not in values]
    if missing:
        raise ManifestError(f"the version header defines no {', '.join(missing)}")
    values["VARDOK_VERSION_STRING"] = ".".join(str(int(values[part])) for part in VERSION_PARTS)
    return values


def fill(template, values):
    def value_of(match):
        name = match.group(1)
        if name not in values:
            raise ManifestError(f"the template names @{name}@, which the version header does not define")
        return escape(values[name], {'"': "&quot;"})

    return PLACEHOLDER.sub(value_of, template)


def main(argv):
    # Further NAME=VALUE arguments fill placeholders the header has no define for (the
    # processor architecture, which is the build's).
    extra = dict(arg.split("=", 1) for arg in argv[4:] if "=" in arg)
    if len(argv) < 4 or len(extra) != len(argv) - 4:
        print("usage: make_manifest.py VERSION_HEADER TEMPLATE OUTPUT [NAME=VALUE...]", file=sys.stderr)
        return 2
    try:
        with open(argv[1], encoding="utf-8") as header:
            values = read_defines(header.read())
        values.update(extra)
        with open(argv[2], encoding="utf-8") as template:
            manifest = fill(template.read(), values)
    except (OSError, ManifestError) as error:
        print(f"make_manifest.py: {error}", file=sys.stderr)
        return 1
    with open(argv[3], "w", encoding="utf-8", newline="\r\n") as output:
        output.write(manifest)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
