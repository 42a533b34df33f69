# The page: d88cut built with emscripten into one self-contained file,
# build-web/d88cut.html, and its tests in real browsers.
#
# The page is put together from web/d88cut.html.in and the parts beside it:
#   page.css     the page's one stylesheet          -> <style>
#   page.js      the page: choosing, showing, links  -> <script>
#   zip.js       a store-only zip writer             -> with worker.js
#   practice.js  the disk the worker practises on    -> with worker.js
#   worker.js    the worker that runs the tool       -> with the module, as the
#                                                       worker's source text
# and the module emscripten makes of the tool: d88cut_module.js, its runtime,
# and d88cut_module.wasm, put in the worker's source in base64 as kWasmBase64,
# so that the worker compiles it once and instantiates it for each image.
# The worker's source sits in the page as text and is started from a Blob
# URL, since a page opened from disk may not load a worker from a file. The
# Content-Security-Policy allows no network at all: the inline style and
# script by their SHA-256 hashes, wasm, and workers from blob: URLs.
#
# Run as a script, this file writes the page:
#   cmake -D WEB=DIR -D MODULE=JS -D WASM=WASM -D OUTPUT=HTML -P web-page.cmake
if(CMAKE_SCRIPT_MODE_FILE)
  # The bytes written as hexadecimal digits in `hex`, in base64 (with '='
  # padding).
  function(base64_of_hex hex out)
    set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
    string(LENGTH "${hex}" length)
    set(base64 "")
    set(start 0)
    while(start LESS length)
      # Three bytes make four characters; a last group of one or two bytes
      # makes two or three, and '=' for each byte it lacks.
      string(SUBSTRING "${hex}" ${start} 6 group)
      string(LENGTH "${group}" digits)
      math(EXPR characters "${digits} * 2 / 3 + 1")
      if(digits EQUAL 2)
        set(group "${group}0000")
      elseif(digits EQUAL 4)
        set(group "${group}00")
      endif()
      math(EXPR bits "0x${group}")
      set(count 0)
      foreach(shift 18 12 6 0)
        if(count LESS characters)
          math(EXPR index "(${bits} >> ${shift}) & 63")
          string(SUBSTRING "${alphabet}" ${index} 1 character)
          string(APPEND base64 "${character}")
        else()
          string(APPEND base64 "=")
        endif()
        math(EXPR count "${count} + 1")
      endforeach()
      math(EXPR start "${start} + 6")
    endwhile()
    set(${out} "${base64}" PARENT_SCOPE)
  endfunction()

  # The SHA-256 of `text` in base64, as a CSP source: 'sha256-...'.
  function(csp_hash text out)
    string(SHA256 hex "${text}")
    base64_of_hex("${hex}" base64)
    set(${out} "'sha256-${base64}'" PARENT_SCOPE)
  endfunction()

  file(READ "${WEB}/d88cut.html.in" page)
  file(READ "${WEB}/page.css" style)
  file(READ "${WEB}/zip.js" zip)
  file(READ "${WEB}/page.js" ui)
  file(READ "${MODULE}" module)
  file(READ "${WEB}/practice.js" practice)
  file(READ "${WEB}/worker.js" worker)
  file(READ "${WASM}" wasm HEX)
  base64_of_hex("${wasm}" wasm_base64)
  set(script "\n${ui}")
  set(worker_source "\n${module}\nconst kWasmBase64 = '${wasm_base64}';\n${zip}\n${practice}\n${worker}")
  # Nothing inside may end its element early, or start a comment that the
  # parser would carry past its end.
  foreach(part style script worker_source)
    string(TOLOWER "${${part}}" lower)
    foreach(marker "</script" "</style" "<!--")
      string(FIND "${lower}" "${marker}" found)
      if(NOT found EQUAL -1)
        message(FATAL_ERROR "the page's ${part} holds \"${marker}\"")
      endif()
    endforeach()
  endforeach()
  csp_hash("${style}" style_hash)
  csp_hash("${script}" script_hash)
  set(policy "default-src 'none'; script-src ${script_hash} 'wasm-unsafe-eval'; ")
  string(APPEND policy "style-src ${style_hash}; worker-src blob:; img-src data:; ")
  string(APPEND policy "base-uri 'none'; form-action 'none'")
  # Replaced in this order, so that no part's text is read as a placeholder.
  string(REPLACE "@POLICY@" "${policy}" page "${page}")
  string(REPLACE "@STYLE@" "${style}" page "${page}")
  string(REPLACE "@SCRIPT@" "${script}" page "${page}")
  string(REPLACE "@WORKER@" "${worker_source}" page "${page}")
  file(WRITE "${OUTPUT}" "${page}")
  return()
endif()

# The tool as a module that the worker instantiates afresh for every image
# from the wasm it compiled once: run only when called, its image mounted
# through WORKERFS (read lazily, a slice at a time), no code made from text,
# and a fixed memory: enough for the merge's tables of one track's sectors
# and a reader for each of the most dumps it takes. Its memory is the wasm's own, so that each instance
# starts with its static buffers as the wasm sets them.
add_executable(d88cut_module web/page_main.cpp)
target_link_libraries(d88cut_module PRIVATE d88cut_stages d88info_report d88cut_merge
                                            d88cut_warnings)
foreach(target d88 d88cut_platform d88cut_text_output d88cut_recognition d88cut_volume
               d88cut_stages d88cut_health d88cut_reports d88cut_merge d88info_report
               d88cut_module)
  target_compile_options(${target} PRIVATE -fno-exceptions -mbulk-memory)
endforeach()
target_link_options(
  d88cut_module PRIVATE
  -sMODULARIZE=1 -sEXPORT_NAME=createD88cutModule -sENVIRONMENT=worker
  -lworkerfs.js -sINVOKE_RUN=0 -sEXIT_RUNTIME=1 -sDYNAMIC_EXECUTION=0
  -sEXPORTED_FUNCTIONS=_main -sEXPORTED_RUNTIME_METHODS=FS,callMain
  -sINITIAL_MEMORY=16MB -sTOTAL_STACK=1MB -sALLOW_MEMORY_GROWTH=0 -mbulk-memory)
# emcc's JavaScript optimizer needs acorn, which Debian keeps in
# /usr/share/nodejs, where node does not look unless told.
set(node_path "/usr/share/nodejs")
if(DEFINED ENV{NODE_PATH} AND NOT "$ENV{NODE_PATH}" STREQUAL "")
  set(node_path "$ENV{NODE_PATH}:${node_path}")
endif()
set_target_properties(d88cut_module PROPERTIES
  CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;NODE_PATH=${node_path}")

set(page_parts d88cut.html.in page.css zip.js practice.js page.js worker.js)
list(TRANSFORM page_parts PREPEND ${PROJECT_SOURCE_DIR}/web/)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/d88cut.html
  COMMAND ${CMAKE_COMMAND} -D WEB=${PROJECT_SOURCE_DIR}/web -D MODULE=$<TARGET_FILE:d88cut_module>
          -D WASM=$<TARGET_FILE_DIR:d88cut_module>/d88cut_module.wasm
          -D OUTPUT=${PROJECT_BINARY_DIR}/d88cut.html -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS d88cut_module ${page_parts} ${CMAKE_CURRENT_LIST_FILE}
  VERBATIM)
add_custom_target(d88cut ALL DEPENDS ${PROJECT_BINARY_DIR}/d88cut.html)

# The page's tests drive it in Debian's Chromium and Firefox ESR with
# puppeteer-core (tests/web, installed there by `npm ci`), and compare what
# it unpacks with what the Linux tool, and the Windows build under Wine,
# leave for the same images, its report with d88info's and its merge with
# d88merge's (the ones beside the Linux d88cut). Unless given those two, the
# tests build them first, in build-web/native and build-web/windows.
include(CTest)
if(BUILD_TESTING)
  set(D88CUT_NATIVE_TOOL "" CACHE FILEPATH
      "A Linux build's d88cut, with its d88info and d88merge beside it, to compare the page with; empty: build them in native/")
  set(D88CUT_WINDOWS_TOOL "" CACHE FILEPATH
      "A Windows build's d88cut.exe to compare the page's files with under Wine; empty: build one in windows/")
  set(native_tool "${D88CUT_NATIVE_TOOL}")
  set(windows_tool "${D88CUT_WINDOWS_TOOL}")
  set(comparison_builds)
  if(NOT native_tool)
    set(native_tool ${PROJECT_BINARY_DIR}/native/d88cut)
    add_test(NAME page_comparison.linux_build
             COMMAND ${CMAKE_COMMAND} -D SOURCE=${PROJECT_SOURCE_DIR}
                     -D BINARY=${PROJECT_BINARY_DIR}/native -D TARGETS=d88cut,d88info,d88merge
                     -P ${PROJECT_SOURCE_DIR}/cmake/comparison-build.cmake)
    list(APPEND comparison_builds page_comparison.linux_build)
  endif()
  if(NOT windows_tool)
    set(windows_tool ${PROJECT_BINARY_DIR}/windows/d88cut.exe)
    add_test(NAME page_comparison.windows_build
             COMMAND ${CMAKE_COMMAND} -D SOURCE=${PROJECT_SOURCE_DIR}
                     -D BINARY=${PROJECT_BINARY_DIR}/windows
                     -D TOOLCHAIN=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
                     -P ${PROJECT_SOURCE_DIR}/cmake/comparison-build.cmake)
    list(APPEND comparison_builds page_comparison.windows_build)
  endif()
  if(comparison_builds)
    set_tests_properties(${comparison_builds} PROPERTIES
      FIXTURES_SETUP page_comparison TIMEOUT 600)
  endif()
  find_program(D88CUT_NODE node REQUIRED)
  add_test(NAME page_in_browsers
           COMMAND ${D88CUT_NODE} --test --test-concurrency=1
                   ${PROJECT_SOURCE_DIR}/tests/web/page.test.mjs
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/tests/web)
  set_tests_properties(page_in_browsers PROPERTIES
    ENVIRONMENT "D88CUT_PAGE=${PROJECT_BINARY_DIR}/d88cut.html;D88CUT_NATIVE_TOOL=${native_tool};D88CUT_WINDOWS_TOOL=${windows_tool};D88CUT_SCREENSHOTS=${PROJECT_BINARY_DIR}/screenshots"
    FIXTURES_REQUIRED page_comparison
    TIMEOUT 1200)
endif()
