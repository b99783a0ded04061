# The packages, built by CPack from the same install rules as `cmake
# --install`: on Linux the Debian package (script/package): the programs,
# their manual pages, the desktop entry, icons and AppStream metadata, and
# the package's own documents; in a Windows build the installer
# (Windows.cmake, script/windows package).
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME rvd3318-panel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for RVD3318 LED driver evaluation boards")
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/Windows.cmake)
  return()
endif()

set(package_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/rvd3318-panel)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${package_doc_dir})
set(package_changelog ${CMAKE_BINARY_DIR}/package/changelog.gz)
add_custom_command(OUTPUT ${package_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${GZIP_PROGRAM} ${CMAKE_CURRENT_LIST_DIR}/changelog ${package_changelog}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  COMMENT "Compressing the package's changelog"
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${package_changelog})
install(FILES ${package_changelog} DESTINATION ${package_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION
"The panel sets the operating mode, the peak current, the three LED levels
and the gradual dimming of an evaluation board that carries the RVD3318
three-channel LED driver, sends each change to the board as a command over
an RS232 line, and shows what the board answers.

rvd3318ctl sends the same commands from scripts, prints the board's answers
and checks them; rvd3318-board is a virtual board on a pseudo-terminal.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "RVD3318 panel developers <rvd3318-panel@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; the window's font is no library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
# What shares a board over the network for rfc2217:// and socket:// ports.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ser2net")
# Stripped as each program is installed, before the panel's catalogues are
# appended to it: stripping afterwards would cut them off again.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
