# Cross-compiling for Windows with Debian's mingw-w64, for the architecture
# that the toolchain file including this one names in MORINDALE_MINGW_ARCH.
# The posix thread model: std::thread and std::mutex over winpthread, which
# is linked statically like the C++ runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MORINDALE_MINGW_ARCH})
set(MINGW_PREFIX ${MORINDALE_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs built here run under Wine (64-bit programs under wine64).
find_program(MORINDALE_WINE NAMES ${MORINDALE_MINGW_WINE} PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MORINDALE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MORINDALE_WINE})
endif()
