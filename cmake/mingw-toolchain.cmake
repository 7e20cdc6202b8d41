# Cross build for Windows with mingw-w64. MINGW_ARCH is i686 (the shipped
# 32-bit binaries) or x86_64 (used for running the tests on hosts that cannot
# execute 32-bit code).
if(NOT MINGW_ARCH)
  set(MINGW_ARCH i686)
endif()
set(MINGW_ARCH ${MINGW_ARCH} CACHE STRING "i686 or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(_triple ${MINGW_ARCH}-w64-mingw32)
# The posix thread model gives std::thread and std::mutex.
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_DLLTOOL ${_triple}-dlltool)
set(CMAKE_OBJCOPY ${_triple}-objcopy)
set(CMAKE_OBJDUMP ${_triple}-objdump)
set(CMAKE_STRIP ${_triple}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
