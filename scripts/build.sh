# Sourced: configures and builds one Windows tree. Usage: build_windows ARCH
build_windows() {
  local arch=$1 dir=build/$1
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-toolchain.cmake \
      -DMINGW_ARCH="$arch" -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$dir" -j2
}
