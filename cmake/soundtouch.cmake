# SoundTouch, compiled into the plug-in from Debian's source package
# (scripts/fetch-debian-source.sh unpacks it into .deps/soundtouch), so that the
# library needs no SoundTouch on the user's machine. Float samples, and the
# optimisation flags of Debian's own build (-Ofast; SSE and MMX kernels chosen
# at run time), so the processing is the same as with the system library.
#
# Defines morindale::soundtouch for the plug-in, its tests and the benchmark.
# Without the source (MORINDALE_SOUNDTOUCH_SOURCE_DIR empty) the system's
# shared libSoundTouch is used instead.
set(_default_soundtouch_dir "")
if(EXISTS "${PROJECT_SOURCE_DIR}/.deps/soundtouch/source/SoundTouch/SoundTouch.cpp")
  set(_default_soundtouch_dir "${PROJECT_SOURCE_DIR}/.deps/soundtouch")
endif()
set(MORINDALE_SOUNDTOUCH_SOURCE_DIR "${_default_soundtouch_dir}" CACHE PATH
    "SoundTouch source tree to compile in statically (empty: the system's shared library)")

if(MORINDALE_SOUNDTOUCH_SOURCE_DIR)
  set(_st ${MORINDALE_SOUNDTOUCH_SOURCE_DIR}/source/SoundTouch)
  if(NOT EXISTS ${_st}/SoundTouch.cpp)
    message(FATAL_ERROR "No SoundTouch source in ${MORINDALE_SOUNDTOUCH_SOURCE_DIR}: run scripts/fetch-debian-source.sh")
  endif()
  # The processing needs neither the BPM detector nor its peak finder.
  add_library(morindale_soundtouch STATIC
    ${_st}/AAFilter.cpp ${_st}/FIFOSampleBuffer.cpp ${_st}/FIRFilter.cpp
    ${_st}/InterpolateCubic.cpp ${_st}/InterpolateLinear.cpp ${_st}/InterpolateShannon.cpp
    ${_st}/RateTransposer.cpp ${_st}/SoundTouch.cpp ${_st}/TDStretch.cpp
    ${_st}/cpu_detect_x86.cpp ${_st}/mmx_optimized.cpp ${_st}/sse_optimized.cpp)
  target_include_directories(morindale_soundtouch SYSTEM PUBLIC ${MORINDALE_SOUNDTOUCH_SOURCE_DIR}/include)
  target_compile_definitions(morindale_soundtouch PUBLIC SOUNDTOUCH_FLOAT_SAMPLES)
  # Compile flags only: linked with -Ofast, GCC would add crtfastmath, which
  # switches the loading thread of the client to flush-to-zero.
  # -U__FAST_MATH__ keeps glibc from offering its vector sin and cos
  # (libmvec), which Debian's build takes: the scalar ones give the same
  # results here and need nothing beyond libm.
  target_compile_options(morindale_soundtouch PRIVATE -Ofast -U__FAST_MATH__ -w)
  # Not our code to instrument, and instrumented it would round differently
  # from the release build: sanitizer builds test our code around it.
  if(MORINDALE_SANITIZE OR MORINDALE_FUZZ)
    target_compile_options(morindale_soundtouch PRIVATE -fno-sanitize=all)
  endif()
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
    set_source_files_properties(${_st}/mmx_optimized.cpp PROPERTIES COMPILE_OPTIONS -mmmx)
    set_source_files_properties(${_st}/sse_optimized.cpp PROPERTIES COMPILE_OPTIONS -msse)
  endif()
  set_target_properties(morindale_soundtouch PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  add_library(morindale::soundtouch ALIAS morindale_soundtouch)
  message(STATUS "SoundTouch: compiled in from ${MORINDALE_SOUNDTOUCH_SOURCE_DIR}")
else()
  pkg_check_modules(SOUNDTOUCH REQUIRED IMPORTED_TARGET GLOBAL soundtouch)
  add_library(morindale::soundtouch ALIAS PkgConfig::SOUNDTOUCH)
  message(STATUS "SoundTouch: the system's shared library")
endif()
