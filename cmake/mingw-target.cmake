# What every toolchain file for Windows shares (each sets KORVANE_MINGW_TRIPLE
# first): libraries and headers are the target's own (Debian's mingw-w64
# folder), programs the build machine's, and what is built runs under Wine.
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Debian's wine starts 32-bit Wine where it is installed, else 64-bit Wine;
# either starts a 64-bit program in a 64-bit prefix (WINEPREFIX, set by the
# caller: scripts/lib/common.sh). The tests run through wine-test-run.sh.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-test-run.sh)
