# Windows, 64 bit (morindale_win64.dll).
set(MORINDALE_MINGW_ARCH x86_64)
set(MORINDALE_MINGW_WINE wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
