# Install rules and packages. `cmake --install` puts the program and, on
# POSIX, its manual page into the prefix. In the native build, cpack makes a
# .deb of the native program and a .zip of the two Windows builds' hivtap.exe
# with the README (scripts/package.sh builds all three first).
include(GNUInstallDirs)

install(TARGETS hivtap RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT native)
if(WIN32)
  return()
endif()
install(FILES doc/hivtap.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT native)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT native)

# The Windows builds of this source tree; only the .zip takes them, so a
# plain install does not need them.
set(HIVTAP_WIN64_EXE ${PROJECT_SOURCE_DIR}/build/win64/hivtap.exe
  CACHE FILEPATH "hivtap.exe of the win64 build")
set(HIVTAP_WIN32_EXE ${PROJECT_SOURCE_DIR}/build/win32/hivtap.exe
  CACHE FILEPATH "hivtap.exe of the win32 build")
install(FILES ${HIVTAP_WIN64_EXE} DESTINATION win64 COMPONENT windows EXCLUDE_FROM_ALL)
install(FILES ${HIVTAP_WIN32_EXE} DESTINATION win32 COMPONENT windows EXCLUDE_FROM_ALL)
install(FILES README.md DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME hivtap)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "hivtap developers")
set(CPACK_PACKAGE_CONTACT "hivtap developers <dev@hivtap.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reads Windows registry values into a text file")
set(CPACK_PACKAGE_DESCRIPTION
  "hivtap reads Windows registry values and writes each one as a line of text, to the console
and appended to a Windows-1252 text file. This build reads the registry files of a Wine
prefix.")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
# Each generator takes its own component: see cpack_generators.cmake.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_generators.cmake)
include(CPack)
