# Cross build for 64-bit Windows with Debian's mingw-w64 (mingw-gcc.cmake): the
# same program, for machines whose kernel runs no 32-bit process (and so no
# 32-bit Wine), where the Windows suites run on this build under 64-bit Wine.
# Not shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-gcc.cmake)
