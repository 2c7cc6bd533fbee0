#!/usr/bin/env bash
# The main job: installs what is missing, builds the native and Windows programs and
# shows `arq` at work on a sample made here and now: create, list, test and extract,
# a spanned set, natively and as a Windows program under 32-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup-debian.sh

jobs=$(nproc)
for preset in native windows; do
  echo "== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A sample show: a slide deck, speaker notes in a folder, a program, an empty file.
mkdir -p show/notes
for i in $(seq 1 400); do echo "Slide $i: quarterly figures, region $((i % 7)), growth $((i * 37 % 100))%"; done > show/DECK.PPS
printf 'Welcome everyone.\nThe figures follow.\n' > show/notes/slide1.txt
: > show/notes/empty.txt
cp "$root/build/native/bin/arq" show/player.exe
head -c 300000 /dev/urandom > show/photo.jpg

arq="$root/build/native/bin/arq"
run() { echo "\$ arq $*"; "$arq" "$@"; echo; }

echo
echo "== native (Linux, over the POSIX stand-in of the platform layer)"
run create -v sample.arq show
run list sample.arq
run test -v sample.arq
run extract sample.arq -C out -v
cmp show/DECK.PPS out/DECK.PPS && cmp show/player.exe out/PLAYER.EXE && echo "extracted files match the originals"
echo
run create --best --volume-size 200K spanned.arq show
ls -d spanned.arq.*
echo
volumes=$(ls -d spanned.arq.* | sort -t. -k3 -n)
# shellcheck disable=SC2086
run extract spanned.arq --volumes $volumes -C out2
cmp show/photo.jpg out2/PHOTO.JPG && echo "the spanned set extracted whole"

echo
echo "== Windows build under 32-bit Wine"
"$root/build/windows/wine-setup.sh"
wine_arq() { echo "\$ arq.exe $*"; "$root/build/windows/wine-run.sh" "$root/build/windows/bin/arq.exe" "$@"; echo; }
wine_arq list sample.arq
wine_arq test -v sample.arq
wine_arq extract sample.arq -C winout -v
cmp show/DECK.PPS winout/DECK.PPS && echo "extracted under Wine: files match the originals"
WINEPREFIX="$root/build/windows/wineprefix" wineserver -k 2>/dev/null || true
