# Cross build for Windows with Debian's mingw-w64 GCC: what the toolchain
# files for i686 and x86-64 share (each sets CMAKE_SYSTEM_PROCESSOR and
# KORVANE_MINGW_TRIPLE first).
#
# The -posix compilers give std::thread, std::mutex and std::condition_variable
# (winpthreads, linked statically); the default win32 thread model has none of
# them. The flags every mingw-w64 build needs are set by the project itself, so
# that a build on Windows needs no toolchain file.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_TRIPLE}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-target.cmake)
