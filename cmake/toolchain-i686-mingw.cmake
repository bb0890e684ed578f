# Cross build for 32-bit Windows with Debian's mingw-w64.
#
# The -posix compilers give std::thread, std::mutex and std::condition_variable
# (winpthreads, linked statically); the default win32 thread model has none of
# them. The flags every mingw-w64 build needs are set by the project itself, so
# that a build on Windows needs no toolchain file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-target.cmake)
