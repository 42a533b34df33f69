# Install rules, and the packages that cpack makes from them: on Linux a .deb
# of d88cut, d88info and their manual pages; on Windows a .zip of d88cut.exe,
# d88info.exe, the README and the manuals rendered to text, since Windows has
# no man.
#
# Run as a script, this file writes one text file for Windows readers:
# SOURCE, or with GROFF the manual page SOURCE formatted by groff, as UTF-8
# with a byte order mark and CR LF line ends.
#   cmake -D SOURCE=IN -D OUTPUT=OUT [-D GROFF=groff] -P packaging.cmake
if(CMAKE_SCRIPT_MODE_FILE)
  if(GROFF)
    # Plain text: no overstriking, no escape sequences, no hyphenation.
    execute_process(
      COMMAND "${GROFF}" -k -man -rHY=0 -Tutf8 -P-cbou "${SOURCE}"
      OUTPUT_VARIABLE text
      ERROR_VARIABLE errors
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
      message(FATAL_ERROR "groff could not format ${SOURCE}:\n${errors}")
    endif()
  else()
    file(READ "${SOURCE}" text)
  endif()
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  string(ASCII 239 187 191 byte_order_mark)
  file(WRITE "${OUTPUT}" "${byte_order_mark}${text}")
  return()
endif()

set(D88CUT_MAINTAINER "d88cut maintainers <maintainers@d88cut.example>"
    CACHE STRING "The Maintainer field of the .deb")

set(CPACK_PACKAGE_NAME d88cut)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "unpack one particular floppy disk from its D88 image")
set(CPACK_PACKAGE_DESCRIPTION
    "d88cut recognises one floppy disk by a signature in its first sector,
cuts two raw areas of it into the files MAIN and DEMO, and lists and
writes the files of its 360 KB MS-DOS volume with their recorded dates
and times. d88info shows what any D88 image holds, and why d88cut does
or does not take it.")
set(CPACK_PACKAGE_CONTACT "${D88CUT_MAINTAINER}")
# The builds carry debugging information; the packages do not.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Everything at the top of the zip's one folder, d88cut-VERSION-win64.
  find_program(D88CUT_GROFF groff NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(readme ${CMAKE_CURRENT_BINARY_DIR}/README.txt)
  add_custom_command(
    OUTPUT ${readme}
    COMMAND ${CMAKE_COMMAND} -D SOURCE=${PROJECT_SOURCE_DIR}/README.md
            -D OUTPUT=${readme} -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_FILE}
    VERBATIM)
  set(manuals)
  foreach(program d88cut d88info)
    set(manual ${CMAKE_CURRENT_BINARY_DIR}/${program}-manual.txt)
    add_custom_command(
      OUTPUT ${manual}
      COMMAND ${CMAKE_COMMAND} -D SOURCE=${PROJECT_SOURCE_DIR}/doc/${program}.1
              -D OUTPUT=${manual} -D GROFF=${D88CUT_GROFF} -P ${CMAKE_CURRENT_LIST_FILE}
      DEPENDS ${PROJECT_SOURCE_DIR}/doc/${program}.1 ${CMAKE_CURRENT_LIST_FILE}
      VERBATIM)
    list(APPEND manuals ${manual})
  endforeach()
  add_custom_target(windows_documents ALL DEPENDS ${readme} ${manuals})

  install(TARGETS d88cut d88info RUNTIME DESTINATION .)
  install(FILES ${readme} ${manuals} DESTINATION .)

  set(CPACK_GENERATOR ZIP)
else()
  include(GNUInstallDirs)
  install(TARGETS d88cut d88info RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  install(FILES doc/d88cut.1 doc/d88info.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT manual)

  # Debian keeps manual pages compressed with gzip -9n, so the .deb takes a
  # compressed copy of each page in place of the one cmake --install
  # installs. Only the .deb needs gzip: a build without it makes the tools
  # all the same.
  find_program(D88CUT_GZIP gzip)
  if(D88CUT_GZIP)
    set(manuals_gz)
    foreach(program d88cut d88info)
      set(manual_gz ${CMAKE_CURRENT_BINARY_DIR}/debian/${program}.1.gz)
      add_custom_command(
        OUTPUT ${manual_gz}
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/${program}.1
                ${CMAKE_CURRENT_BINARY_DIR}/debian/${program}.1
        COMMAND ${D88CUT_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/debian/${program}.1
        DEPENDS ${PROJECT_SOURCE_DIR}/doc/${program}.1
        VERBATIM)
      list(APPEND manuals_gz ${manual_gz})
    endforeach()
    add_custom_target(debian_manual ALL DEPENDS ${manuals_gz})
    install(FILES ${manuals_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT debian_manual EXCLUDE_FROM_ALL)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program debian_manual)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # dpkg-shlibdeps (from dpkg-dev) finds the libraries d88cut needs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
