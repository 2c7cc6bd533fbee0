#!/usr/bin/env bash
# Makes the codec benchmarks' corpus from named files of the Debian 12 packages that
# scripts/setup-debian.sh installs, each taken by its exact path and cut at a fixed
# byte count, so that every machine set up that way holds the same corpus. Nothing of
# it is kept in the repository. The SHA-256 of every file made is checked against the
# reference corpus; a file that differs (other package versions) is still made, and
# named on standard error.
#
#   bench/crushed_corpus.sh DIR
#
# Kinds: text (licences, the bash manual page as groff source, Python's help topics),
# source (C++ headers, Python modules, a CMake module), elf (Linux programs), pe
# (Windows DLLs of Wine, their code and data before the debugging sections: programs
# like the ones the launcher carries), office (UTF-16 text, as in office documents),
# compressed (a .gz file). A file that is missing leaves its kind out.
set -eu
dir=${1:?usage: crushed_corpus.sh DIR}
mkdir -p "$dir"

missing=0
# Writes the first $2 bytes of file $1 (all of it for -) to standard output.
take() {
    if [ ! -f "$1" ]; then
        echo "crushed_corpus: missing $1" >&2
        missing=1
        return 0
    fi
    if [ "$2" = - ]; then cat -- "$1"; else head -c "$2" -- "$1"; fi
}
# The manual page's groff source.
bash_manual() {
    if [ -f /usr/share/man/man1/bash.1.gz ]; then zcat /usr/share/man/man1/bash.1.gz; else take /usr/share/man/man1/bash.1.gz -; fi
}

licences=/usr/share/common-licenses            # base-files
python=/usr/lib/python3.11                     # libpython3.11-minimal, libpython3.11-stdlib
cxx=/usr/include/c++/12/bits                   # libstdc++-12-dev
wine=/usr/lib/i386-linux-gnu/wine/i386-windows # libwine:i386

kind_text() {
    for f in GPL-3 GPL-2 LGPL-2.1 Apache-2.0 MPL-2.0 Artistic; do take "$licences/$f" -; done
    bash_manual
    take "$python/pydoc_data/topics.py" 700000
}
kind_source() {
    for f in stl_algo.h basic_string.h stl_tree.h; do take "$cxx/$f" -; done
    for f in _pydecimal.py typing.py argparse.py; do take "$python/$f" -; done
    take /usr/share/cmake-3.25/Modules/FindBoost.cmake - # cmake-data
}
kind_elf() {
    take /usr/bin/ninja -         # ninja-build
    take /usr/bin/osslsigncode -  # osslsigncode
    take /usr/bin/cmake 1500000   # cmake
}
kind_pe() {
    take "$wine/msvcrt.dll" 700000
    take "$wine/gdi32.dll" 550000
    take "$wine/kernel32.dll" 390000
    take "$wine/riched20.dll" 560000
}
kind_office() {
    if [ -f /usr/share/man/man1/bash.1.gz ]; then bash_manual | iconv -f UTF-8 -t UTF-16LE -c; else bash_manual; fi
}
kind_compressed() { take /usr/share/doc/xvfb/changelog.gz 1000000; } # xvfb

# Makes file $1 of the corpus with function $2; a kind whose files are not all there
# is left out.
make_file() {
    missing=0
    "$2" > "$dir/$1.part"
    if [ "$missing" = 0 ]; then mv "$dir/$1.part" "$dir/$1"; else rm -f "$dir/$1.part" "$dir/$1"; fi
}
make_file text.txt kind_text
make_file source.txt kind_source
make_file elf.bin kind_elf
make_file pe.bin kind_pe
make_file office.bin kind_office
make_file compressed.bin kind_compressed

# The reference corpus, as made on Debian 12 with the packages of scripts/setup-debian.sh.
(
    cd "$dir"
    sha256sum -c --quiet <<'EOF' >&2 2>&1 || echo "crushed_corpus: files differ from the reference corpus (see above)" >&2
5b0fda2901c3424a873d3ab9a134dcf83a67be8e86a3e8866c6c15436b2323c4  text.txt
9e12b7db323cac5a1635ca95d856eb8c7ab7cfdcbd461c7e80861e522106e57a  source.txt
f2cc50c483c5979086a256ea4e829f8c8e7ef346fa0f07b216783e4158a5d02f  elf.bin
860a83e2082d9b731293b3286ab9c6349456408916eceda722e6e66b42e18df6  pe.bin
d8f4edc51e3a97be09a498e0f983a01297af085e69e0f0a718ca0663fdfc99ee  office.bin
832190496a9fc55f39d2f37191aaed2897453c97da54bbe1ae147679e84afbc1  compressed.bin
EOF
)
ls -l "$dir"
