#!/usr/bin/env bash
# The main job: installs what is missing, builds the native and Windows programs and
# shows what the system does so far, natively and as a Windows program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh

jobs=$(nproc)
for preset in native windows; do
  echo "== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

echo
echo "== native (Linux, POSIX stand-in of the platform layer)"
build/native/bin/vardok-demo

echo
echo "== Windows build under 32-bit Wine"
build/windows/wine-setup.sh
build/windows/wine-run.sh build/windows/bin/vardok-demo.exe
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
