# install_manual_page(<file>.<section>): a manual page kept in roff beside
# the sources of its program, compressed reproducibly (no name, no time
# stamp) for installing under share/man, as Debian's packages have them.
include(GNUInstallDirs)
find_program(GZIP_PROGRAM gzip REQUIRED)

# Windows has no manual pages: the function does nothing there.
function(install_manual_page page)
  if(WIN32)
    return()
  endif()
  get_filename_component(name ${page} NAME)
  string(REGEX MATCH "[1-9]$" section ${name})
  if(NOT section)
    message(FATAL_ERROR "install_manual_page(${page}): the name must end in its section")
  endif()
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/${page})
  set(compressed ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${GZIP_PROGRAM} ${source} ${compressed}
    DEPENDS ${source}
    COMMENT "Compressing the manual page ${name}"
    VERBATIM)
  add_custom_target(man_${name} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
