#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, skipping what is
# already there. Needs root (or sudo).
set -euo pipefail

packages=(
  g++ cmake make ninja-build googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 wine64
  wine wine32:i386 xvfb xauth xdotool imagemagick fonts-dejavu-core
  openssl osslsigncode python3 locales lhasa p7zip-full libdeflate-tools
  llvm-14 clang-14 python3-pefile icoutils
  dpkg-dev file lintian unzip
)

sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Windows build's code-page tests run Wine in a Japanese UTF-8 locale (ANSI code
# page 932, names on the host in UTF-8).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  echo "setup: making the locale ja_JP.UTF-8"
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
