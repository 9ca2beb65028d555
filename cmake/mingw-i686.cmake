# The 32-bit build: i686 Windows binaries.
set(QUILLON_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
