# Cross build for 32-bit Windows with Debian's mingw-w64: the program we ship.
#
# The -posix compilers give std::thread, std::mutex and std::condition_variable
# (winpthreads, linked statically); the default win32 thread model has none of
# them. The flags every mingw-w64 build needs are set by the project itself, so
# that a build on Windows needs no toolchain file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KORVANE_MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER ${KORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_TRIPLE}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-target.cmake)
