# Toolchain file of the web preset: emscripten's own, wherever the emcc on
# the PATH keeps it (/usr/share/emscripten for Debian's, the emscripten
# directory of an emsdk). em-config, which comes with emcc and which
# emscripten's toolchain file runs too, names that directory.
find_program(D88CUT_EM_CONFIG em-config)
if(NOT D88CUT_EM_CONFIG)
  message(FATAL_ERROR "no em-config on the PATH: install emscripten (Debian's package "
                      "emscripten) or put an emsdk's emscripten folder on the PATH")
endif()
execute_process(
  COMMAND "${D88CUT_EM_CONFIG}" EMSCRIPTEN_ROOT
  OUTPUT_VARIABLE EMSCRIPTEN_ROOT_PATH
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE em_config_status)
set(emscripten_toolchain "${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake")
if(NOT em_config_status EQUAL 0 OR NOT EXISTS "${emscripten_toolchain}")
  message(FATAL_ERROR "'${D88CUT_EM_CONFIG} EMSCRIPTEN_ROOT' names no emscripten with a "
                      "CMake toolchain file: '${EMSCRIPTEN_ROOT_PATH}'")
endif()
include("${emscripten_toolchain}")
