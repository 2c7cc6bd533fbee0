#!/usr/bin/env bash
# Makes what a user installs from, into dist/: the Debian package
# (vardok_<version>_amd64.deb) and the Windows zip (vardok-<version>-win32.zip).
# Builds what they hold first: arq, the launcher and the player of the Windows (i686)
# build, and the native arq, whose install takes the launcher and the player from the
# Windows build it is told of.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)

echo "== package: the Windows programs"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target arq Player vardok_program
echo "== package: arq for Linux"
cmake --preset native -DVARDOK_WINDOWS_BUILD="$PWD/build/windows" >/dev/null
cmake --build --preset native -j "$jobs" --target arq

# cpack writes its working tree beside the package: into the build, and the package
# alone into dist/.
mkdir -p dist
for made in native:deb windows:zip; do
  build=${made%:*}
  echo "== package: cpack in build/$build"
  rm -rf "build/$build/packages"
  cpack --config "build/$build/CPackConfig.cmake" -B "$PWD/build/$build/packages" >/dev/null
  cp "build/$build/packages/"*."${made#*:}" dist/
done
ls -l dist/vardok*
