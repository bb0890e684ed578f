# Link rules for the Clang build for mingw-w64 (mingw-clang.cmake):
# GCC's driver links what Clang compiled, so that GCC's own start files and
# static runtime (libstdc++, libgcc, winpthreads) go in, as in the GCC build.
# Loaded by CMake after its own rules for each language, which it replaces.
# Only executables: the project builds no DLL.
#
# The rule is CMake's own for mingw-w64 less <FLAGS>, the compile flags, which
# hold Clang's own (the C++ header folders, -femulated-tls) that GCC's driver
# does not take; the link options (<LINK_FLAGS>) stay.
#
# ld says "duplicate section `.rdata$_ZTS...' has different size" for type
# names that both compilers emit: the same text, which GCC pads to four bytes
# and asks to be of the same size everywhere. It keeps one copy; harmless.
foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(driver ${KORVANE_MINGW_GCC})
  else()
    set(driver ${KORVANE_MINGW_GXX})
  endif()
  set(CMAKE_${lang}_LINK_EXECUTABLE
    "${driver} <CMAKE_${lang}_LINK_FLAGS> <LINK_FLAGS> <OBJECTS> -o <TARGET> -Wl,--out-implib,<TARGET_IMPLIB> ${CMAKE_GNULD_IMAGE_VERSION} <LINK_LIBRARIES>")
endforeach()
unset(driver)
