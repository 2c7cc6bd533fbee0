#!/usr/bin/env bash
# Assembles the codec benchmark's corpus from files of this machine, one file per
# kind of data, each cut to a fixed size. Nothing of it is kept in the repository.
#
#   bench/crushed_corpus.sh DIR
#
# Kinds: text (licences, word list, manual pages as groff source), source (C++
# headers), elf (Linux programs), pe (Windows DLLs of Wine: programs like the ones
# the launcher carries), office (UTF-16 text and database pages, as in office
# documents), compressed (.gz files). A kind whose files are missing is left out.
set -eu
dir=${1:?usage: crushed_corpus.sh DIR}
mkdir -p "$dir"

# Concatenates the files named on stdin (NUL-separated) into $1, cut to $2 bytes.
gather() {
    local out=$1 size=$2
    xargs -0 -r cat -- 2>/dev/null | head -c "$size" > "$out.part" || true
    if [ -s "$out.part" ]; then mv "$out.part" "$out"; else rm -f "$out.part"; fi
}

{
    find /usr/share/common-licenses -type f -print0 | sort -z
    find /usr/share/dict -type f -print0 2>/dev/null | sort -z
} | gather "$dir/text.txt" 400000
find /usr/share/man/man1 -name '*.gz' -print0 | sort -z | xargs -0 -r zcat -f 2>/dev/null \
    | head -c 1100000 >> "$dir/text.txt" || true

find /usr/include/c++ -name '*.h' -print0 | sort -z | gather "$dir/source.txt" 2000000

# The larger programs first, so that a few real ones fill the size.
find /usr/bin -maxdepth 1 -type f -size +200k -print0 | sort -z | gather "$dir/elf.bin" 4000000
find /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/i386-windows \
    -name '*.dll' -size +100k -print0 2>/dev/null | sort -z | gather "$dir/pe.bin" 4000000

{
    find /usr/share/man/man1 -name '*.gz' -print0 | sort -z | xargs -0 -r zcat -f 2>/dev/null \
        | head -c 400000 | iconv -f UTF-8 -t UTF-16LE -c 2>/dev/null || true
    find /var/cache/man -name 'index.db' -print0 2>/dev/null | sort -z | xargs -0 -r cat 2>/dev/null \
        | head -c 1200000 || true
} > "$dir/office.bin"
[ -s "$dir/office.bin" ] || rm -f "$dir/office.bin"

find /usr/share/doc -name '*.gz' -print0 | sort -z | gather "$dir/compressed.bin" 2000000

ls -l "$dir"
