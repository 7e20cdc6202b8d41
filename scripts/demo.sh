#!/usr/bin/env bash
# The road of an error, end to end, in a folder of its own (demo-out/):
# log, roll over into the pending log, build the report, mark it sent.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
source scripts/host-arch.sh
source scripts/wine-env.sh
source scripts/build.sh

detect_wine_arch
arch=$WINE_ARCH
build_windows "$arch" >/dev/null
out=$PWD/demo-out
rm -rf "$out"
mkdir -p "$out/data"
prefix=$PWD/build/$arch/wineprefix
wine_start "$prefix" "$arch"
trap 'wine_stop "$prefix"' EXIT
# Wine's drive Z: is the Linux root.
export CRT_DATA_DIR="Z:${out//\//\\}\\data"
"build/$arch/wine-run.sh" "build/$arch/bin/logtool.exe" demo
