#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing; does
# nothing when everything is already there. Runs as root (CI does).
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for pkg in cmake ninja-build g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 \
  mingw-w64-x86-64-dev googletest libgtest-dev clang libclang-rt-14-dev clang-format wine wine64 \
  python3; do
  have_pkg "$pkg" || need+=("$pkg")
done
# 32-bit Windows programs need the i386 half of the emulator.
if ! have_pkg wine32:i386; then
  need+=("wine32:i386")
fi

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
