#!/usr/bin/env bash
# Builds everything and runs every test: the native sanitizer tests and the
# fuzz smoke run, then the Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prepare.sh

echo "== Windows build i686 (shipped binaries)"
build_windows i686
if [ "$arch" != i686 ]; then
  echo "== Windows build $arch (runs the tests)"
  build_windows "$arch"
fi

echo "== SDK archives (build/<arch>/packages)"
for tree in $(printf "%s\n" build/i686 "build/$arch" | sort -u); do
  cpack -G ZIP --config "$tree/CPackConfig.cmake" >/dev/null
done

status=0
if [ -f tests/native/CMakeLists.txt ]; then
  echo "== Native build with AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer"
  if [ ! -f build/native/build.ninja ]; then
    cmake -S tests/native -B build/native -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_C_COMPILER=clang >/dev/null
  fi
  cmake --build build/native -j2
  ctest --test-dir build/native --output-on-failure --timeout 300 || status=1
fi

if [ "$arch" != i686 ]; then
  echo "== Checks of the shipped i686 binaries, without running them"
  ctest --test-dir build/i686 -L artifacts --output-on-failure --timeout 300 || status=1
fi

echo "== Windows tests under Wine ($arch)"
prefix=$PWD/build/$arch/wineprefix
wine_start "$prefix" "$arch"
trap 'wine_stop "$prefix"' EXIT
ctest --test-dir "build/$arch" --output-on-failure --timeout 300 || status=1
exit $status
