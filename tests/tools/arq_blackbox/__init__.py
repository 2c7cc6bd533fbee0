"""Black-box tests of the arq tool: they run the built program and judge what it
writes, prints and returns.

Every test works in a fresh temporary folder that is also the tool's working folder,
and names files relative to it: Wine maps the working folder, but not every absolute
Unix path. Archives are judged against the package's own reading of the format (in
format, restated from the format description, not taken from the code), and Crushed
data against lhasa, a decoder of the LHA family that reads it as -lh4-.

format holds the archive bytes by hand; runner the settings from the command line, the
base class ArqTest and the helpers cases share; terminal the tool's streams in a test's
hands; each test_ module one group of cases; suite gathers them for unittest.
"""
