# Install rules and packages. `cmake --install` puts the program and, on
# POSIX, its manual page, README, copyright and changelog into the prefix. In
# the native build, cpack makes a .deb of the native program and a .zip of the
# two Windows builds' hivtap.exe with the README (scripts/package.sh builds
# all three first).
include(GNUInstallDirs)

install(TARGETS hivtap RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT native)
if(WIN32)
  return()
endif()
# Debian policy wants the manual page and the changelog compressed,
# reproducibly (-n: no name or time stamp in the header).
function(hivtap_gzip source output)
  get_filename_component(dir ${output} DIRECTORY)
  get_filename_component(name ${output} NAME_WLE)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${dir}/${name}
    COMMAND gzip -9nf ${dir}/${name}
    DEPENDS ${source} VERBATIM)
endfunction()
set(HIVTAP_MAN_GZ ${PROJECT_BINARY_DIR}/man/hivtap.1.gz)
set(HIVTAP_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/doc/changelog.gz)
configure_file(doc/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
hivtap_gzip(${PROJECT_SOURCE_DIR}/doc/hivtap.1 ${HIVTAP_MAN_GZ})
hivtap_gzip(${PROJECT_BINARY_DIR}/changelog ${HIVTAP_CHANGELOG_GZ})
add_custom_target(hivtap_docs ALL DEPENDS ${HIVTAP_MAN_GZ} ${HIVTAP_CHANGELOG_GZ})
install(FILES ${HIVTAP_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT native)
install(FILES README.md doc/copyright ${HIVTAP_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT native)

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
# Lines stay under 80 columns, as Debian wants.
set(CPACK_PACKAGE_DESCRIPTION
  "hivtap reads Windows registry values and writes each one as a line of
text, to the console and appended to a Windows-1252 text file. This build
reads the registry from files: the system.reg, user.reg and userdef.reg of
a Wine prefix, the hive files of a Windows system drive (a mounted disk or
image, with its user profiles), or hive files collected from a Windows
machine. The files are only read, never written.")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
if(HIVTAP_TSK_SONAME)
  # The Sleuth Kit is loaded by name, out of dpkg-shlibdeps' sight: its
  # package is named here.
  execute_process(COMMAND dpkg-query -S ${tsk_real} OUTPUT_VARIABLE tsk_owner ERROR_QUIET)
  string(REGEX MATCH "^[^:, ]+" tsk_package "${tsk_owner}")
  if(NOT tsk_package)
    message(WARNING "no Debian package owns ${tsk_real}: the .deb will not depend on it")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS ${tsk_package})
endif()
# Each generator takes its own component: see cpack_generators.cmake.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_generators.cmake)
include(CPack)
