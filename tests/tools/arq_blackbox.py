#!/usr/bin/env python3
"""Black-box tests of the arq tool (the package arq_blackbox beside this file).

Natively:   arq_blackbox.py --arq build/x/bin/arq
For Windows: arq_blackbox.py --runner build/x-win/wine-run.sh --arq build/x-win/bin/arq.exe
             --floppy build/x-win/drives/floppy --small build/x-win/drives/small
Behind the options, unittest's own: -v, -k PATTERN, or cases by name (DamagedTest).
"""

# The package beside this file is found first on import (a folder with __init__.py wins
# over a module of the same name), so arq_blackbox here is the package.
from arq_blackbox import runner, suite

if __name__ == "__main__":
    runner.main(suite)
