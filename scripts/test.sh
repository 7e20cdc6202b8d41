#!/usr/bin/env bash
# Builds everything and runs every test: the native sanitizer tests and the
# fuzz smoke run, the same tests as i386 programs, report-intake (release and
# sanitizer builds, with a throwaway PostgreSQL cluster), then the Windows
# tests under Wine, which send to the release report-intake too: both trees
# (i686 and x86_64) are built and packed everywhere, and each runs its tests
# where the host can run it (scripts/host-arch.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/prepare.sh
echo "== Windows tests run on $(describe_wine_arches $arches): $arch_reason$(unrun_i686_note)"

# ---- Both Windows trees, their SDK archives and MSIs (build/<arch>/packages).
windows_trees=(i686 x86_64)
for tree in "${windows_trees[@]}"; do
  echo "== Windows build $tree"
  build_windows "$tree"
done
echo "== SDK archives and Windows Installer packages (build/<arch>/packages)"
for tree in "${windows_trees[@]}"; do
  cpack -G ZIP --config "build/$tree/CPackConfig.cmake" >/dev/null
  compgen -G "build/$tree/packages/LogError-*-$tree.msi" >/dev/null ||
    { echo "test.sh: no MSI in build/$tree/packages (wixl and msibuild are needed)" >&2; exit 1; }
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

# What the i386 build of the neutral code's tests lacks on this host, if anything.
native32_lacks() {
  local runtime
  command -v i686-linux-gnu-g++ >/dev/null || { echo "i686-linux-gnu-g++"; return; }
  for runtime in asan ubsan; do
    compgen -G "/usr/i686-linux-gnu/lib/lib$runtime.so.*" >/dev/null ||
      { echo "the i386 lib$runtime runtime"; return; }
  done
  [ "$1" = ON ] || command -v qemu-i386-static >/dev/null || echo "qemu-i386-static"
}

if [ -f tests/native/CMakeLists.txt ]; then
  # At the shipped binaries' pointer size: natively where the kernel runs
  # 32-bit programs, translated by qemu where it refuses them.
  runs_native=OFF
  host_runs_32bit && runs_native=ON
  lacks=$(native32_lacks $runs_native)
  if [ -n "$lacks" ]; then
    echo "== Native i686 build skipped: no $lacks (scripts/bootstrap.sh installs it)"
  else
    how=natively
    [ $runs_native = ON ] || how="under qemu-i386-static"
    echo "== Native i686 build with AddressSanitizer and UndefinedBehaviorSanitizer, run $how"
    cmake -S tests/native -B build/native32 -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/i686-linux-toolchain.cmake" \
      -DI686_RUN_NATIVE=$runs_native >/dev/null
    cmake --build build/native32 -j2
    ctest --test-dir build/native32 --output-on-failure --timeout 300 || status=1
  fi
fi

# report-intake: the release program (which the Windows tests send to as
# well) and a sanitizer copy, each with the intake's tests; the store's tests
# run against PostgreSQL too, in a cluster that lives as long as this script.
pg_dir=
running_prefix=
cleanup() {
  [ -z "$pg_dir" ] || pg_stop "$pg_dir"
  [ -z "$running_prefix" ] || wine_stop "$running_prefix"
}
trap cleanup EXIT
if [ -f intake/CMakeLists.txt ]; then
  if [ -f scripts/pg-cluster.sh ]; then
    source scripts/pg-cluster.sh
    pg_dir=$(mktemp -d /tmp/intake-pg.XXXXXX)
    chmod 755 "$pg_dir"
    if ! pg_start "$pg_dir" >/dev/null; then
      echo "== PostgreSQL cluster did not start: the store's tests run on SQLite only"
      status=1
      unset INTAKE_TEST_PG_URL
    fi
  fi
  for tree in intake:Release:OFF intake-asan:Debug:ON; do
    IFS=: read -r dir type sanitize <<<"$tree"
    echo "== report-intake, build/$dir ($type, sanitizers $sanitize)"
    if [ ! -f "build/$dir/build.ninja" ]; then
      cmake -S intake -B "build/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
        -DINTAKE_SANITIZE="$sanitize" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
    fi
    cmake --build "build/$dir" -j2
    ctest --test-dir "build/$dir" --output-on-failure --timeout 300 || status=1
  done
fi

# ---- The Windows tests: every test of each tree that runs here, under the
# Wine of its own pointer size, in its own prefix; a tree that cannot run
# here gets the checks that read its binaries and packages without running them.
for tree in "${windows_trees[@]}"; do
  if [[ " $arches " != *" $tree "* ]]; then
    echo "== Checks of the $tree binaries and MSI, without running them"
    ctest --test-dir "build/$tree" -L artifacts --output-on-failure --timeout 300 || status=1
    continue
  fi
  echo "== Windows tests under Wine ($(describe_wine_arches "$tree"))"
  running_prefix=$PWD/build/$tree/wineprefix
  wine_start "$running_prefix" "$tree"
  ctest --test-dir "build/$tree" --output-on-failure --timeout 300 || status=1
  wine_stop "$running_prefix"
  running_prefix=
done
exit $status
