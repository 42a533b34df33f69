# Cross-builds d88cut and its tests for 64-bit Windows with Debian's
# mingw-w64 (package g++-mingw-w64-x86-64-posix):
#
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64.cmake
#
# The tests then run under Wine (see cmake/wine-run.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(D88CUT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${D88CUT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${D88CUT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${D88CUT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${D88CUT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program links the C++ runtime, libgcc and winpthreads in, so that it
# needs no DLL beyond those Windows has: KERNEL32, msvcrt and the like.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The build's programs (the tests, and the test listing after each build)
# run under Wine, in a prefix of the build's own; see cmake/wine-run.sh.
set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
                                  ${CMAKE_BINARY_DIR}/wine-prefix)
