# Cross build for 32-bit Windows with Debian's mingw-w64 (mingw-gcc.cmake): the
# program we ship.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KORVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-gcc.cmake)
