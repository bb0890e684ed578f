# Cross build for Windows with Clang, on Debian's mingw-w64: what the
# toolchain files for i686 and x86-64 share (each sets CMAKE_SYSTEM_PROCESSOR
# and KORVANE_MINGW_TRIPLE first).
#
# Clang compiles; the mingw-w64 GCC (-posix) supplies the rest and links, so
# that the program gets the same runtime as the GCC build: GCC's libstdc++
# headers, and its static libstdc++, libgcc and winpthreads, in which
# std::thread exists. Clang on its own would also search the build machine's
# /usr/include, and it does not know GCC's C++ header folders in Debian's
# layout: hence the sysroot and the explicit C++ folders. The flags every
# mingw-w64 build needs are set by the project itself, as for GCC.
set(CMAKE_SYSTEM_NAME Windows)

set(KORVANE_MINGW_GCC ${KORVANE_MINGW_TRIPLE}-gcc-posix)
set(KORVANE_MINGW_GXX ${KORVANE_MINGW_TRIPLE}-g++-posix)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${KORVANE_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${KORVANE_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${KORVANE_MINGW_TRIPLE}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${KORVANE_MINGW_TRIPLE}-ranlib CACHE FILEPATH "Archive indexer")

# The sysroot only while compiling: GCC's driver, which links, has its own.
set(CMAKE_SYSROOT_COMPILE /usr/${KORVANE_MINGW_TRIPLE})

# GCC's C++ headers: <gcc>/include/c++, its target folder and backward/.
execute_process(COMMAND ${KORVANE_MINGW_GXX} -print-file-name=include
  OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE gcc_status)
if(NOT gcc_status EQUAL 0 OR NOT IS_DIRECTORY "${gcc_include}/c++/${KORVANE_MINGW_TRIPLE}")
  message(FATAL_ERROR "No C++ headers of ${KORVANE_MINGW_GXX} (asked for its include folder, got "
                      "'${gcc_include}'). Install the -posix mingw-w64 g++ for ${KORVANE_MINGW_TRIPLE} "
                      "(Debian: g++-mingw-w64-i686-posix or g++-mingw-w64-x86-64-posix).")
endif()
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${gcc_include}/c++ -isystem ${gcc_include}/c++/${KORVANE_MINGW_TRIPLE} -isystem ${gcc_include}/c++/backward")

# GCC for mingw-w64 keeps thread-local variables in emulated TLS (its runtime
# defines __emutls_v.<name>, e.g. std::call_once's callable); Clang's native
# TLS would ask for symbols that no library of GCC's defines.
string(APPEND CMAKE_C_FLAGS_INIT " -femulated-tls")
string(APPEND CMAKE_CXX_FLAGS_INIT " -femulated-tls")

# GCC's driver links (the rules in the file named here replace CMake's).
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/link-with-mingw-gcc.cmake)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-target.cmake)
