# i386 Linux build of the platform-neutral code and its tests, with Debian's
# cross gcc: the pointer size of the shipped binaries. The programs load the
# cross packages' own loader and libraries (the sanitizer runtimes among them),
# so they need no i386 packages on the host.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(I686_SYSROOT /usr/i686-linux-gnu)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH ${I686_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=${I686_SYSROOT}/lib/ld-linux.so.2 -Wl,-rpath,${I686_SYSROOT}/lib")

# Where the kernel refuses 32-bit code the programs run translated by qemu,
# for CTest and for GoogleTest's listing of the tests at build time alike.
# LeakSanitizer hangs at a program's exit under qemu, so it is off there.
option(I686_RUN_NATIVE "The kernel runs 32-bit programs: run them without qemu" OFF)
if(NOT I686_RUN_NATIVE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ASAN_OPTIONS=detect_leaks=0 qemu-i386-static -L
                                    ${I686_SYSROOT})
endif()
