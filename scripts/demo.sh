#!/usr/bin/env bash
# The main job, as a user does it: installs what is missing, builds, writes a demo show
# document with pictures (scripts/demo-show.sh), makes the self-running show Demo.exe
# with `arq show` (our launcher, the document, our slide player), signs it with a
# throwaway certificate and verifies the signature, runs it under Wine on a display
# (Xvfb when there is none), and saves into demo-output/ a picture of the progress
# window, screenshots of two slides, a short report and index.html, one page showing
# them all. Then, briefly, arq at work on archives.
#
# The product is a 32-bit program. Where this machine's kernel runs no 32-bit programs
# (and so no 32-bit Wine), the same show is also made from the 64-bit build of the same
# code, and that one is run under 64-bit Wine instead; the report says which ran.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/demo-output
started=$(date +%s)

scripts/setup-debian.sh

presets=(native windows)
if scripts/can-run-32bit.sh; then
  run_build=windows
else
  presets+=(windows64)
  run_build=windows64
fi
jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  WINEPREFIX="$root/build/$run_build/wineprefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
arq="$root/build/native/bin/arq"

# ---- The show document ------------------------------------------------------------
# Thirteen slides, most with pictures drawn by ImageMagick, carried inside the document.
scripts/demo-show.sh "$work/Tarnby Review.show" "$work/pictures"

# ---- Make and sign the self-running show ------------------------------------------
make_show() { # build folder, output
  "$arq" show "$2" "$work/Tarnby Review.show" "$root/build/$1/bin/Player.exe" --best \
    --stub "$root/build/windows/bin/Vardok.exe"
  if [ "$1" != windows ]; then
    # arq show takes only the product's 32-bit launcher: the 64-bit one of the test
    # build is put in its place, in front of the same archive.
    local stub32
    stub32=$(stat -c %s "$root/build/windows/bin/Vardok.exe")
    { cat "$root/build/$1/bin/Vardok.exe"; tail -c +$((stub32 + 1)) "$2"; } > "$2.tmp"
    mv "$2.tmp" "$2"
  fi
}
echo
echo "== arq show Demo.exe \"Tarnby Review.show\" Player.exe --best"
make_show windows "$work/Demo-unsigned.exe"
openssl req -x509 -newkey rsa:2048 -sha256 -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 -nodes \
  -subj "/CN=Vardok demo code signing" -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=critical,digitalSignature" -addext "basicConstraints=critical,CA:FALSE" 2>/dev/null
sign() { # unsigned, signed
  rm -f "$2"
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Tarnby Review" -h sha256 \
    -in "$1" -out "$2" >/dev/null
}
sign "$work/Demo-unsigned.exe" "$out/Demo.exe"
echo "== osslsigncode verify"
osslsigncode verify -in "$out/Demo.exe" -CAfile "$work/cert.pem" | grep -E '^(Signature verification|Number of verified)'
"$arq" list "$out/Demo.exe"

run_show="$out/Demo.exe"
if [ "$run_build" = windows64 ]; then
  echo
  echo "== this machine's kernel runs no 32-bit programs: the same show from the 64-bit build runs instead"
  make_show windows64 "$work/Demo64-unsigned.exe"
  sign "$work/Demo64-unsigned.exe" "$out/Demo64.exe"
  run_show="$out/Demo64.exe"
fi

# ---- Run it under Wine ------------------------------------------------------------
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 99); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
fi
"$root/build/$run_build/wine-setup.sh"
wine_run="$root/build/$run_build/wine-run.sh"
temp="$work/user temp"
mkdir -p "$temp"
wintemp="Z:${temp//\//\\}\\"
for name in TMP TEMP; do
  "$wine_run" reg add 'HKCU\Environment' /v "$name" /t REG_EXPAND_SZ /d "$wintemp" /f >/dev/null 2>&1
done

echo
echo "== running $(basename "$run_show") under Wine on display $DISPLAY"
# The progress window lives only while the show is extracted, a fraction of a second:
# window_catch (a program of the tests) watches for it from inside Wine and copies it
# off the screen, leaving the launcher to run at its own speed.
catch_out="$work/catch.out"
"$wine_run" "$root/build/$run_build/bin/window_catch.exe" "Preparing Tarnby" "$work/progress.bmp" 120 \
  > "$catch_out" 2>/dev/null &
catch_pid=$!
for _ in $(seq 600); do grep -q watching "$catch_out" 2>/dev/null && break; sleep 0.1; done
launch_start=$(date +%s.%N)
"$wine_run" "$run_show" &
show_pid=$!
player_seen=""
deadline=$((SECONDS + 120))
while [ $SECONDS -lt $deadline ] && kill -0 "$show_pid" 2>/dev/null; do
  if timeout 5 xdotool search --onlyvisible --name '^Tarnby quarterly review$' >/dev/null 2>&1; then
    player_seen=$(date +%s.%N)
    echo "the player shows its first slide"
    break
  fi
  sleep 0.05
done
# Slides last 1.5 s from when the window shows: the first (a picture beside its text)
# and the second (a picture alone) are taken in their middles.
shots=()
if [ -n "$player_seen" ]; then
  for slide in 1 2; do
    python3 -c "import time; time.sleep(max(0, $player_seen + 1.5 * $slide - 0.75 - time.time()))"
    import -window root "$out/slide-$slide.png"
    shots+=("slide-$slide.png")
  done
fi
status=0
wait "$show_pid" || status=$?
# The catcher ends as soon as the window it caught is gone; one that saw none is stopped.
for _ in $(seq 50); do kill -0 "$catch_pid" 2>/dev/null || break; sleep 0.1; done
kill "$catch_pid" 2>/dev/null || true
caught=""
if wait "$catch_pid" && [ -s "$work/progress.bmp" ]; then
  convert "$work/progress.bmp" "$out/progress-window.png"
  # Kept only when it is the window: its size as reported, and more than one colour.
  read -r _ _ _ cw ch < <(grep caught "$catch_out" | tr -d '\r')
  if [ "$(identify -format '%wx%h' "$out/progress-window.png")" = "${cw}x$ch" ] &&
    [ "$(identify -format '%k' "$out/progress-window.png")" -gt 8 ]; then
    caught=1
    echo "progress window caught: ${cw}x$ch pixels"
  else
    rm -f "$out/progress-window.png"
  fi
fi
[ -n "$caught" ] || echo "the progress window could not be caught: $(tr '\r\n' '  ' < "$catch_out")"
for shot in "${shots[@]}"; do
  if [ "$(identify -format '%k' "$out/$shot")" -le 8 ]; then
    echo "$shot is almost one colour: the slide was not on the screen"
    rm -f "$out/$shot"
    player_seen=""
  fi
done
left=$(ls -A "$temp")
for name in TMP TEMP; do
  "$wine_run" reg delete 'HKCU\Environment' /v "$name" /f >/dev/null 2>&1 || true
done

# ---- The report ------------------------------------------------------------------------
slides=$(grep -c '^=' "$work/Tarnby Review.show")
pictures=$(grep -c '^@picture' "$work/Tarnby Review.show")
if [ -n "$player_seen" ]; then
  first_slide="$(python3 -c "print('%.2f' % ($player_seen - $launch_start))") s"
else
  first_slide="not seen"
fi
if [ -z "$left" ]; then left_text="empty (show and player deleted)"; else left_text="holds: $left"; fi
{
  echo "Vardok demo, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "launcher (build/windows/bin/Vardok.exe):  $(stat -c %s "$root/build/windows/bin/Vardok.exe") bytes"
  echo "player (build/windows/bin/Player.exe):    $(stat -c %s "$root/build/windows/bin/Player.exe") bytes"
  echo "show document:                            $(stat -c %s "$work/Tarnby Review.show") bytes, $slides slides, $pictures pictures"
  echo "Demo.exe, signed:                         $(stat -c %s "$out/Demo.exe") bytes (unsigned $(stat -c %s "$work/Demo-unsigned.exe"))"
  echo "signature: $(osslsigncode verify -in "$out/Demo.exe" -CAfile "$work/cert.pem" 2>/dev/null | grep -c 'Signature verification: ok') verified"
  echo
  echo "run under Wine: $(basename "$run_show") ($run_build build), exit code $status"
  echo "start to the player's first slide on screen: $first_slide"
  echo "progress window: $([ -n "$caught" ] && echo "caught while the show was extracted" || echo "not caught")"
  echo "temporary folder afterwards: $left_text"
  echo "screenshots: $(cd "$out" && ls -- *.png 2>/dev/null | tr "\n" " ")"
  echo "demo time so far: $(($(date +%s) - started)) s"
} > "$out/report.txt"
echo
cat "$out/report.txt"

# One page for a person: every picture with a line, and the report's figures.
figure() { # file, caption
  [ -e "$out/$1" ] && printf '<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>\n' "$1" "$2" "$2"
  return 0
}
{
  cat <<'HEAD'
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Vardok demo</title>
<style>body{font-family:sans-serif;margin:2em;max-width:70em}img{max-width:100%;border:1px solid #999}
figure{margin:1.5em 0}pre{background:#f4f4f4;padding:1em}</style></head><body>
<h1>Vardok demo: a signed self-running show</h1>
HEAD
  figure progress-window.png "1. The launcher's progress window, caught while it extracted the show"
  figure slide-1.png "2. The player's first slide: a picture beside its text"
  figure slide-2.png "3. The second slide: a picture alone, scaled to fit with its proportions kept"
  echo "<h2>Report</h2><pre>"
  sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g' "$out/report.txt"
  echo "</pre></body></html>"
} > "$out/index.html"
echo "open $out/index.html to see every step"

# ---- arq at work on archives, briefly ------------------------------------------------
echo
echo "== arq: create, list, test, extract"
cd "$work"
mkdir -p sample/notes
for i in $(seq 1 300); do echo "Slide $i: quarterly figures, region $((i % 7)), growth $((i * 37 % 100))%"; done > sample/DECK.TXT
printf 'Welcome everyone.\n' > sample/notes/slide1.txt
cp "$root/build/native/bin/arq" sample/tool
run() { echo "\$ arq $*"; "$arq" "$@"; echo; }
run create sample.arq sample
run list sample.arq
run test sample.arq
run extract sample.arq -C restored
# The folder is stored under its own name, letters upper-cased.
matched=no
cmp sample/tool restored/SAMPLE/TOOL && cmp sample/notes/slide1.txt restored/SAMPLE/NOTES/SLIDE1.TXT &&
  matched=yes && echo "extracted files match the originals"
[ "$status" -eq 0 ] && [ -n "$player_seen" ] && [ -n "$caught" ] && [ -z "$left" ] && [ "$matched" = yes ]
