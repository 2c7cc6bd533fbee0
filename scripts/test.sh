#!/usr/bin/env bash
# Installs what is missing, builds the three presets and runs every test:
# native, with address and undefined-behaviour sanitizers, the Windows build under
# 32-bit Wine, then the packages made from the builds, then each fuzz target for a
# bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-60}

scripts/setup-debian.sh

jobs=$(nproc)
failed=()

run_preset() {
  local preset=$1
  shift
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  if ! ctest --preset "$preset" -j "$jobs" "$@"; then
    failed+=("$preset")
  fi
}

# The install and package tests need the Windows build as well: they run after it.
run_preset native -LE packaging
run_preset native-asan
# 32-bit Wine needs a kernel that runs 32-bit programs; some virtual machines' kernels
# do not. There the Windows build is still made and its files are checked (resources,
# image, imports), but nothing is run under Wine: say so plainly.
if scripts/can-run-32bit.sh; then
  run_preset windows
else
  echo "== windows: this machine's kernel cannot run 32-bit programs, so Wine cannot run"
  echo "   the Windows programs: only the tests that need no Wine run (ctest -LE wine),"
  echo "   and the same code built for x86_64 runs its Wine tests under 64-bit Wine"
  run_preset windows -LE wine
  # An emulator registered for 32-bit programs would make 64-bit Wine start its 32-bit
  # half under emulation, slowly and unreliably: switch such entries off for this run.
  for entry in /proc/sys/fs/binfmt_misc/*; do
    if grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null; then
      echo "== switching off $(basename "$entry") (32-bit programs through an emulator)"
      echo 0 > "$entry" 2>/dev/null || true
    fi
  done
  # A program started in a fresh 64-bit Wine now and then gets no window of its own on
  # the virtual display (seen with the window tests, never with the others): a test
  # that fails is run again, up to twice.
  run_preset windows64 --repeat until-pass:3
  WINEPREFIX="$PWD/build/windows64/wineprefix" wineserver -k 2>/dev/null || true
  umount build/windows64/drives/small 2>/dev/null || true
fi
# Wine's server outlives the tests by design; end it so nothing lingers.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
umount build/windows/drives/small 2>/dev/null || true

# The packages hold programs of the native and the Windows (i686) builds, which exist
# by now; the package script tells the native build where the Windows one is, and the
# install and the packages are then checked.
echo "== package: scripts/package.sh, then the install and the packages checked"
if ! scripts/package.sh || ! ctest --preset native -L packaging; then
  failed+=("package")
fi

echo "== fuzz: build"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARDOK_FUZZ=ON -DVARDOK_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target vardok_fuzzers
fuzz_pass=0
fuzz_fail=0
for target in build/fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "== fuzz: $name for ${FUZZ_SECONDS}s"
  if "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=0 "$corpus" >"build/fuzz/$name.log" 2>&1; then
    fuzz_pass=$((fuzz_pass + 1))
  else
    fuzz_fail=$((fuzz_fail + 1))
    tail -n 40 "build/fuzz/$name.log"
    failed+=("$name")
  fi
done
echo "fuzz: ${fuzz_pass} passed, ${fuzz_fail} failed"

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all tests passed"
