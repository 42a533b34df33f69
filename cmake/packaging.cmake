# Install rules, and the packages that cpack makes from them: on Linux a .deb
# of d88cut, d88info, d88merge, their manual pages, the copyright file and
# the changelog; on Windows a .zip of the three .exe files, a README for
# Windows users, the manuals rendered to text for Windows, since Windows has
# no man, and the licence.
#
# Run as a script, this file writes one text file for Windows readers:
# SOURCE, or with GROFF the manual page SOURCE formatted by groff as the
# manual for Windows, as UTF-8 with a byte order mark and CR LF line ends.
#   cmake -D SOURCE=IN -D OUTPUT=OUT [-D GROFF=groff] -P packaging.cmake
if(CMAKE_SCRIPT_MODE_FILE)
  if(GROFF)
    # Plain text: no overstriking, no escape sequences, no hyphenation. The
    # register W picks the page's text for Windows.
    execute_process(
      COMMAND "${GROFF}" -k -man -rHY=0 -rW1 -Tutf8 -P-cbou "${SOURCE}"
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
or does not take it. d88merge makes one image out of several damaged
dumps of the same disks, taking each sector from a dump that holds it
whole.")
set(CPACK_PACKAGE_CONTACT "${D88CUT_MAINTAINER}")
# The builds carry debugging information; the packages do not, and neither
# does what cmake --install installs, with --strip or without.
set(CPACK_STRIP_FILES ON)
set(strip_on_install "if(NOT DEFINED CMAKE_INSTALL_DO_STRIP)\n  set(CMAKE_INSTALL_DO_STRIP ON)\nendif()")

if(WIN32)
  # Everything at the top of the zip's one directory, d88cut-VERSION-win64.
  find_program(D88CUT_GROFF groff NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(readme ${CMAKE_CURRENT_BINARY_DIR}/README.txt)
  set(license ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt)
  # The text `source` of the sources as the Windows text `output`.
  function(windows_text source output)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -D SOURCE=${PROJECT_SOURCE_DIR}/${source} -D OUTPUT=${output}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
      VERBATIM)
  endfunction()
  windows_text(doc/README-windows.txt ${readme})
  windows_text(LICENSE ${license})
  set(manuals)
  foreach(program d88cut d88info d88merge)
    set(manual ${CMAKE_CURRENT_BINARY_DIR}/${program}-manual.txt)
    add_custom_command(
      OUTPUT ${manual}
      COMMAND ${CMAKE_COMMAND} -D SOURCE=${PROJECT_SOURCE_DIR}/doc/${program}.1
              -D OUTPUT=${manual} -D GROFF=${D88CUT_GROFF} -P ${CMAKE_CURRENT_LIST_FILE}
      DEPENDS ${PROJECT_SOURCE_DIR}/doc/${program}.1 ${CMAKE_CURRENT_LIST_FILE}
      VERBATIM)
    list(APPEND manuals ${manual})
  endforeach()
  add_custom_target(windows_documents ALL DEPENDS ${readme} ${manuals} ${license})

  install(CODE "${strip_on_install}")
  install(TARGETS d88cut d88info d88merge RUNTIME DESTINATION .)
  install(FILES ${readme} ${manuals} ${license} DESTINATION .)

  set(CPACK_GENERATOR ZIP)
else()
  include(GNUInstallDirs)
  install(CODE "${strip_on_install}" COMPONENT program)
  install(TARGETS d88cut d88info d88merge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT program)
  install(FILES doc/d88cut.1 doc/d88info.1 doc/d88merge.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT manual)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)

  # Debian keeps manual pages and changelogs compressed with gzip -9n, so the
  # .deb takes a compressed copy of each page in place of the one cmake
  # --install installs, and in place of the licence the copyright file and
  # the changelog that Debian asks of every package, in
  # /usr/share/doc/d88cut. The version has no Debian revision, so the
  # changelog is changelog.gz. Only the .deb needs gzip: a build without it
  # makes the tools all the same.
  find_program(D88CUT_GZIP gzip)
  set(debian ${CMAKE_CURRENT_BINARY_DIR}/debian)
  if(D88CUT_GZIP)
    set(sources ${PROJECT_SOURCE_DIR}/doc/d88cut.1 ${PROJECT_SOURCE_DIR}/doc/d88info.1
                ${PROJECT_SOURCE_DIR}/doc/d88merge.1 ${PROJECT_SOURCE_DIR}/doc/debian/changelog)
    set(manuals_gz ${debian}/d88cut.1.gz ${debian}/d88info.1.gz ${debian}/d88merge.1.gz)
    add_custom_command(
      OUTPUT ${manuals_gz} ${debian}/changelog.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${debian}
      COMMAND ${CMAKE_COMMAND} -E copy ${sources} ${debian}
      COMMAND ${D88CUT_GZIP} -9nf ${debian}/d88cut.1 ${debian}/d88info.1 ${debian}/d88merge.1
              ${debian}/changelog
      DEPENDS ${sources}
      VERBATIM)
    add_custom_target(debian_documents ALL DEPENDS ${manuals_gz} ${debian}/changelog.gz)
    install(FILES ${manuals_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT debian_documents EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/doc/debian/copyright ${debian}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian_documents EXCLUDE_FROM_ALL)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program debian_documents)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # dpkg-shlibdeps (from dpkg-dev) finds the libraries d88cut needs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
