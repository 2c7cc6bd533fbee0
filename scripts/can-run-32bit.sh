#!/usr/bin/env bash
# Exit 0 when this machine runs 32-bit x86 programs natively, as 32-bit Wine needs.
# A kernel without 32-bit support refuses them ("Exec format error"); an emulator
# registered for them (binfmt_misc) would run Wine far too slowly for the tests, so
# it counts as no.
set -u
for entry in /proc/sys/fs/binfmt_misc/*; do
  case "$(basename "$entry")" in register | status) continue ;; esac
  if grep -q '^enabled' "$entry" 2>/dev/null && grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null; then
    exit 1
  fi
done
probe=/usr/lib/wine/wineserver32
[ -x "$probe" ] || exit 1
"$probe" --version >/dev/null 2>&1
