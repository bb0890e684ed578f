# Cross build for 64-bit Windows with Clang, on Debian's mingw-w64 (mingw-clang.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang.cmake)
