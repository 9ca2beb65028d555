# Shared by the two toolchain files: cross-compiles Windows binaries with
# MinGW-w64 for QUILLON_MINGW_CPU (posix thread model, which GoogleTest and
# std::thread need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUILLON_MINGW_CPU})

set(CMAKE_C_COMPILER ${QUILLON_MINGW_CPU}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW_CPU}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW_CPU}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_CPU}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
