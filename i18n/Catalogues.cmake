# The shipped catalogues (included by i18n/CMakeLists.txt). Every
# i18n/po/<language>/<domain>.po is compiled by msgfmt into
# <build>/locale/<language>/LC_MESSAGES/<domain>.mo; i18n_ship_catalogues()
# puts them beside a program and ships them with its installed copy.
find_program(MSGFMT_PROGRAM msgfmt REQUIRED)
include(GNUInstallDirs)

file(GLOB I18N_PO_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/po/*/*.po)
set(I18N_LOCALE_DIR ${CMAKE_BINARY_DIR}/locale CACHE INTERNAL "Compiled catalogues")
# Empty, not unset: an unset variable would let the cached lists of the last
# configure show through, and every configure would append them again.
set(I18N_CATALOGUES "")
set(I18N_CATALOGUE_NAMES "")
foreach(po ${I18N_PO_FILES})
  get_filename_component(domain ${po} NAME_WE)
  get_filename_component(language_dir ${po} DIRECTORY)
  get_filename_component(language ${language_dir} NAME)
  set(name locale/${language}/LC_MESSAGES/${domain}.mo)
  set(mo ${CMAKE_BINARY_DIR}/${name})
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${I18N_LOCALE_DIR}/${language}/LC_MESSAGES
    COMMAND ${MSGFMT_PROGRAM} --check -o ${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling ${language}/${domain}.po"
    VERBATIM)
  list(APPEND I18N_CATALOGUES ${mo})
  list(APPEND I18N_CATALOGUE_NAMES ${name})
endforeach()
add_custom_target(i18n_catalogues ALL DEPENDS ${I18N_CATALOGUES})
set(I18N_CATALOGUES ${I18N_CATALOGUES} CACHE INTERNAL "Compiled catalogues")
set(I18N_CATALOGUE_NAMES ${I18N_CATALOGUE_NAMES} CACHE INTERNAL "Their paths relative to a program")

# i18n_ship_catalogues(<target>): the compiled catalogues go into a "locale"
# folder beside the built program, and are embedded (mo_embed) into the
# installed program, since a locale folder beside a program in bin/ has no
# place under a Linux prefix. On Windows the installed programs sit in a
# folder of their own, and the locale folder is installed beside them
# (mo_embed, a Linux tool run on the build machine, is not built there).
# Call it after the target's install(TARGETS).
# i18n_ship_catalogues(<target> BUILD_ONLY) leaves out the install step
# (for test programs, which are not installed).
function(i18n_ship_catalogues target)
  cmake_parse_arguments(ARG "BUILD_ONLY" "" "" ${ARGN})
  # A target of its own that runs on every build, so that a catalogue
  # changed without the program being linked again still reaches it.
  add_custom_target(${target}_catalogues ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${I18N_LOCALE_DIR} $<TARGET_FILE_DIR:${target}>/locale
    COMMENT "Catalogues beside ${target}"
    VERBATIM)
  add_dependencies(${target}_catalogues i18n_catalogues)
  add_dependencies(${target} ${target}_catalogues)
  set(pairs)
  foreach(name mo IN ZIP_LISTS I18N_CATALOGUE_NAMES I18N_CATALOGUES)
    list(APPEND pairs "${name}=${mo}")
  endforeach()
  if(ARG_BUILD_ONLY)
  elseif(WIN32)
    install(DIRECTORY ${I18N_LOCALE_DIR}/ DESTINATION ${CMAKE_INSTALL_BINDIR}/locale)
  else()
    install(CODE "execute_process(COMMAND \"$<TARGET_FILE:mo_embed>\"
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\" ${pairs}
        COMMAND_ERROR_IS_FATAL ANY)")
  endif()
endfunction()
