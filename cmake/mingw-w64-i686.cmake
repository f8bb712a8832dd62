# Windows, 32 bit (morindale_win32.dll).
set(MORINDALE_MINGW_ARCH i686)
set(MORINDALE_MINGW_WINE wine wine64)
# Floating point in SSE registers, as on x86-64: the default x87 code keeps
# intermediates at 80 bits and rounds differently, so the voices would send
# other samples than the Linux and win64 libraries (up to 3 LSB). Every CPU
# that runs a TeamSpeak 3 client has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
