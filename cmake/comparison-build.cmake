# Builds d88cut alone, without its tests, for the page's tests to compare
# the page with: the Linux build, or with TOOLCHAIN the Windows one; with
# TARGETS, those targets instead (the Linux build adds d88info and d88merge,
# whose reports the page shows). The web build runs it as a test, so a fresh
# clone needs no other preset first.
#   cmake -D SOURCE=DIR -D BINARY=DIR [-D TOOLCHAIN=FILE] [-D TARGETS=A,B] -P comparison-build.cmake
cmake_minimum_required(VERSION 3.25)
set(configure "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BINARY}" -D BUILD_TESTING=OFF)
if(TOOLCHAIN)
  list(APPEND configure --toolchain "${TOOLCHAIN}")
endif()
# Whatever set the web build's compilers (emcmake) must not set these.
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env --unset=CC --unset=CXX --unset=CMAKE_TOOLCHAIN_FILE ${configure}
  COMMAND_ERROR_IS_FATAL ANY)
if(NOT TARGETS)
  set(TARGETS d88cut)
endif()
string(REPLACE "," ";" TARGETS "${TARGETS}")
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BINARY}" -j2 --target ${TARGETS}
                COMMAND_ERROR_IS_FATAL ANY)
