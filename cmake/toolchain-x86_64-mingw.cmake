# Cross build for 64-bit Windows with Debian's mingw-w64: the same program,
# for machines whose kernel runs no 32-bit process (and so no 32-bit Wine),
# where the Windows suites run on this build under 64-bit Wine. Not shipped.
# As toolchain-i686-mingw.cmake in all else.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANE_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_TRIPLE}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-target.cmake)
