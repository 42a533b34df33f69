# Tests of the Windows build that run on the build machine, included from
# tests/CMakeLists.txt when cross-building for Windows.
#
# Run as a script, this file checks that the program PROGRAM imports only
# DLLs that every Windows has, by OBJDUMP's listing of its imports:
#   cmake -D OBJDUMP=x86_64-w64-mingw32-objdump -D PROGRAM=d88cut.exe -P windows-tests.cmake
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  execute_process(
    COMMAND "${OBJDUMP}" -p "${PROGRAM}"
    OUTPUT_VARIABLE listing
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${listing}")
  set(dlls)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    list(APPEND dlls "${dll}")
  endforeach()
  message(STATUS "${PROGRAM} imports: ${dlls}")
  # The C runtime is the system's msvcrt; the C++ runtime, libgcc and
  # winpthreads are linked in.
  set(system_dlls kernel32.dll msvcrt.dll advapi32.dll shell32.dll user32.dll ntdll.dll)
  foreach(dll IN LISTS dlls)
    if(NOT dll IN_LIST system_dlls)
      message(FATAL_ERROR "${PROGRAM} needs ${dll}, which Windows does not have")
    endif()
  endforeach()
  foreach(dll kernel32.dll msvcrt.dll)
    if(NOT dll IN_LIST dlls)
      message(FATAL_ERROR "${PROGRAM} does not import ${dll}: is this the listing of a program?")
    endif()
  endforeach()
  return()
endif()

# A fresh Wine prefix for every test run, made before the first test and
# its server stopped after the last.
set(wine_run ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh)
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
add_test(NAME windows.wine_prefix_made COMMAND /bin/sh ${wine_run} --fresh ${wine_prefix})
set_tests_properties(windows.wine_prefix_made PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME windows.wine_server_stopped COMMAND /bin/sh ${wine_run} --stop ${wine_prefix})
set_tests_properties(windows.wine_server_stopped PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

add_test(NAME windows.needs_only_system_dlls
         COMMAND ${CMAKE_COMMAND} -D OBJDUMP=${CMAKE_OBJDUMP} -D PROGRAM=$<TARGET_FILE:d88cut>
                 -P ${CMAKE_CURRENT_LIST_FILE})
add_test(NAME windows.info_needs_only_system_dlls
         COMMAND ${CMAKE_COMMAND} -D OBJDUMP=${CMAKE_OBJDUMP} -D PROGRAM=$<TARGET_FILE:d88info>
                 -P ${CMAKE_CURRENT_LIST_FILE})

# d88cut.exe writing to a console, which Wine makes of a terminal.
add_test(NAME windows.console_shows_text_through_the_wide_api
         COMMAND /bin/sh ${PROJECT_SOURCE_DIR}/tests/windows_console.sh ${wine_run} ${wine_prefix}
                 $<TARGET_FILE:d88cut> ${PROJECT_SOURCE_DIR}/examples/sample.d88)
set_tests_properties(windows.console_shows_text_through_the_wide_api
                     PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
