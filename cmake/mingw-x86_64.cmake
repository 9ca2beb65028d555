# The 64-bit build: x86-64 Windows binaries.
set(QUILLON_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
