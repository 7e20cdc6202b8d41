#!/usr/bin/env bash
# Builds everything and runs every test: the native sanitizer tests and the
# fuzz smoke run, the same tests as i386 programs, report-intake (release and
# sanitizer builds, with a throwaway PostgreSQL cluster), then the Windows
# tests under Wine, which send to the release report-intake too.
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
cleanup() {
  [ -z "$pg_dir" ] || pg_stop "$pg_dir"
  [ -z "${prefix:-}" ] || wine_stop "$prefix"
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

if [ "$arch" != i686 ]; then
  echo "== Checks of the shipped i686 binaries, without running them"
  ctest --test-dir build/i686 -L artifacts --output-on-failure --timeout 300 || status=1
fi

echo "== Windows tests under Wine ($arch)"
prefix=$PWD/build/$arch/wineprefix
wine_start "$prefix" "$arch"
ctest --test-dir "build/$arch" --output-on-failure --timeout 300 || status=1
exit $status
