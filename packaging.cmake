# Install rules and packages. On Linux: bin/velloran, its man page and the
# README; `cpack -G DEB` in the build folder makes velloran_<version>_amd64.deb.
# On Windows: bin/velloran.exe and the README; `cpack -G ZIP` makes the ZIP.
include(GNUInstallDirs)
install(TARGETS velloran RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(NOT WIN32)
  install(FILES docs/velloran.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME velloran)
set(CPACK_PACKAGE_VENDOR "Velloran")
set(CPACK_PACKAGE_CONTACT "Velloran developers <velloran@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Velloran reads consecutive raw 16-bit images from a ROM dump at a given offset and saves each one as a numbered 16-bit BMP file, never overwriting a file that is already there.")
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
