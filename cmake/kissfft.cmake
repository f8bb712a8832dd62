# Kiss FFT (BSD-3-Clause), compiled into the plug-in from Debian's source
# package (scripts/fetch-debian-source.sh unpacks it into .deps/kissfft): the
# complex float transform only, for the natural voices. Its internal header
# is needed too, to replace the twiddle factors (see fourier_transform.h), so
# the system's library will not do.
#
# Defines morindale::kissfft.
set(MORINDALE_KISSFFT_SOURCE_DIR "${PROJECT_SOURCE_DIR}/.deps/kissfft" CACHE PATH "Kiss FFT source tree")
if(NOT EXISTS ${MORINDALE_KISSFFT_SOURCE_DIR}/kiss_fft.c)
  message(FATAL_ERROR "No Kiss FFT source in ${MORINDALE_KISSFFT_SOURCE_DIR}: run scripts/fetch-debian-source.sh")
endif()
add_library(morindale_kissfft STATIC ${MORINDALE_KISSFFT_SOURCE_DIR}/kiss_fft.c)
target_include_directories(morindale_kissfft SYSTEM PUBLIC ${MORINDALE_KISSFFT_SOURCE_DIR})
# Plain IEEE arithmetic, as in the natural voices' own code: the same bits on
# every platform.
target_compile_options(morindale_kissfft PRIVATE -O2 -ffp-contract=off -w)
if(MORINDALE_SANITIZE OR MORINDALE_FUZZ)
  target_compile_options(morindale_kissfft PRIVATE -fno-sanitize=all)
endif()
set_target_properties(morindale_kissfft PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  C_VISIBILITY_PRESET hidden)
add_library(morindale::kissfft ALIAS morindale_kissfft)
message(STATUS "Kiss FFT: compiled in from ${MORINDALE_KISSFFT_SOURCE_DIR}")
