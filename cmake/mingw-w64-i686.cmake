# Windows, 32 bit (morindale_win32.dll).
set(MORINDALE_MINGW_ARCH i686)
set(MORINDALE_MINGW_WINE wine wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
