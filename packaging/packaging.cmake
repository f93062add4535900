# Install rules and packages. On Linux: bin/velloran, its man page, the README,
# the changelog and the copyright file in Debian's forms; `cpack -G DEB` in the
# build folder makes velloran_<version>_amd64.deb, which lintian passes. On
# Windows: bin/velloran.exe, the README, LICENSE and CHANGELOG.md; `cpack -G ZIP`
# makes the ZIP. Both are byte for byte the same from the same commit.
include(GNUInstallDirs)

set(VELLORAN_MAINTAINER "The Velloran developers <velloran@users.noreply.github.com>"
    CACHE STRING "The .deb's Maintainer, and the name below each entry of its changelog")

install(TARGETS velloran RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
if(WIN32)
  install(FILES LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  # Debian's forms: the man page and the changelog compressed without a time
  # stamp, the licence in the machine-readable copyright file.
  find_program(VELLORAN_GZIP gzip REQUIRED)
  set(made ${PROJECT_BINARY_DIR}/packaging)
  add_custom_command(OUTPUT ${made}/velloran.1.gz
    COMMAND ${CMAKE_COMMAND} -DGZIP=${VELLORAN_GZIP} -DIN=${PROJECT_SOURCE_DIR}/docs/velloran.1
            -DOUT=${made}/velloran.1.gz -P ${packaging}/gzip.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/velloran.1 ${packaging}/gzip.cmake VERBATIM)
  add_custom_command(OUTPUT ${made}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUT=${made}/changelog
            -DMAINTAINER=${VELLORAN_MAINTAINER} -P ${packaging}/debian_changelog.cmake
    COMMAND ${CMAKE_COMMAND} -DGZIP=${VELLORAN_GZIP} -DIN=${made}/changelog -DOUT=${made}/changelog.gz
            -P ${packaging}/gzip.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${packaging}/debian_changelog.cmake ${packaging}/gzip.cmake
    VERBATIM)
  add_custom_command(OUTPUT ${made}/copyright
    COMMAND ${CMAKE_COMMAND} -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE -DOUT=${made}/copyright
            -P ${packaging}/debian_copyright.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${packaging}/debian_copyright.cmake VERBATIM)
  add_custom_target(velloran_package_files ALL
    DEPENDS ${made}/velloran.1.gz ${made}/changelog.gz ${made}/copyright)
  install(FILES ${made}/velloran.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${made}/changelog.gz ${made}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# Reproducible packages: every time stamp in them is the last commit's, as
# Debian's reproducible builds do it (SOURCE_DATE_EPOCH), unless the caller set
# one; out of a Git checkout, the date of the newest CHANGELOG.md entry. CPack
# reads it from its own environment, which cpack_project.cmake sets.
set(source_date_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(source_date_epoch STREQUAL "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE source_date_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()
if(NOT source_date_epoch MATCHES "^[0-9]+$")
  file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md newest REGEX "^## \\[" LIMIT_COUNT 1)
  string(REGEX MATCH "([0-9]+)-([0-9]+)-([0-9]+)" date "${newest}")
  # Days since 1970-01-01 of a civil date (the proleptic Gregorian calendar).
  math(EXPR month "${CMAKE_MATCH_2}")
  math(EXPR year "${CMAKE_MATCH_1}")
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR shifted "${month} + 9")
  else()
    math(EXPR shifted "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR day_of_year "(153 * ${shifted} + 2) / 5 + ${CMAKE_MATCH_3} - 1")
  math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR source_date_epoch "(${era} * 146097 + ${day_of_era} - 719468) * 86400")
endif()
configure_file(${packaging}/cpack_project.cmake.in ${PROJECT_BINARY_DIR}/packaging/cpack_project.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/packaging/cpack_project.cmake)

set(CPACK_PACKAGE_NAME velloran)
set(CPACK_PACKAGE_VENDOR "The Velloran developers")
set(CPACK_PACKAGE_CONTACT "${VELLORAN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The lines under the summary, each within 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velloran reads consecutive raw 16-bit images from a ROM dump, at a given
offset and size, and saves each one as a numbered 16-bit BMP file with red
and blue swapped and the rows bottom-up, never overwriting a file that is
already there. It can draw each image in the terminal as it is written.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Depends is computed from the binary by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
