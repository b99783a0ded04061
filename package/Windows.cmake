# The Windows installer rvd3318-panel-<version>-win64.exe, built by CPack's
# NSIS generator (script/windows package) from the same install rules as
# `cmake --install`. Included by Package.cmake in a Windows build only.
#
# The installation folder is flat, as Windows programs expect: the programs
# (CMAKE_INSTALL_BINDIR is "." there), the Qt and compiler DLLs they load,
# Qt's plugins in platforms/ and styles/, qt.conf, the catalogues in
# locale/<language>/LC_MESSAGES/ and the license texts in licenses/.

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)

# ---- Qt and the compiler's run-time DLLs --------------------------------------
set(windows_runtime_dlls
  $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>)
# The C++ run-time of the compiler that built the programs, wherever this
# compiler keeps it (Debian: gcc/x86_64-w64-mingw32/12-posix/ and the
# mingw-w64 library folder).
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" REALPATH)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  list(APPEND windows_runtime_dlls ${path})
endforeach()
install(FILES ${windows_runtime_dlls} DESTINATION ${CMAKE_INSTALL_BINDIR})

# The windows platform for operators; offscreen for unattended runs
# (QT_QPA_PLATFORM=offscreen), as on Linux; the native look of Windows.
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>
  DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
  DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)

# Without qt.conf, Qt looks for its plugins under the folder it was built
# for and then one level above its DLL's folder; with it, beside the programs
# and nowhere else.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/windows/qt.conf DESTINATION ${CMAKE_INSTALL_BINDIR})

# The programs are stripped by install(TARGETS) when CPack installs (or with
# `cmake --install --strip`); the DLLs above are copied as they come, with
# their symbols (59 MB instead of 25), and are stripped here, after copying.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    set(dlls)
    foreach(name
        Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll
        platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll)
      list(APPEND dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${name}\")
    endforeach()
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all \${dlls} COMMAND_ERROR_IS_FATAL ANY)
  endif()")

# ---- License texts --------------------------------------------------------------
# The installer's license page shows the project's terms and those of Qt,
# whose DLLs it ships (LGPL 3, which adds to the GPL 3: both are installed).
# licenses/ keeps them, with Debian's records of what else is inside the
# Qt DLLs (zlib, libpng, libjpeg, FreeType, HarfBuzz, PCRE2 ...) and of the
# compiler's run-time libraries: the source the DLLs were built from.
set(windows_license_dir ${CMAKE_BINARY_DIR}/package/licenses)
function(windows_license_text output)
  set(text "")
  foreach(input ${ARGN})
    file(READ ${input} part)
    string(APPEND text "${part}")
  endforeach()
  # Notepad of older Windows shows a text without CR as one line.
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${output} "${text}")
endfunction()

set(windows_license_sources
  LICENSE.txt ${CMAKE_SOURCE_DIR}/LICENSE
  LGPL-3.txt /usr/share/common-licenses/LGPL-3
  GPL-3.txt /usr/share/common-licenses/GPL-3
  Qt-copyright.txt /usr/share/doc/libqt6core6/copyright
  gcc-runtime-copyright.txt /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright
  mingw-w64-copyright.txt /usr/share/doc/mingw-w64-x86-64-dev/copyright)
# (pairs: the name in licenses/, then the source)
set(windows_license_files)
list(LENGTH windows_license_sources count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET windows_license_sources ${i} name)
  list(GET windows_license_sources ${j} source)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "The installer ships ${source}, which is missing")
  endif()
  windows_license_text(${windows_license_dir}/${name} ${source})
  list(APPEND windows_license_files ${windows_license_dir}/${name})
endforeach()
install(FILES ${windows_license_files} DESTINATION ${CMAKE_INSTALL_BINDIR}/licenses)

# Qt for Windows is built from Debian's source of the same version as the
# build machine's Qt (a cross build of Qt needs that): its source is the
# one Debian keeps for that package version.
execute_process(COMMAND dpkg-query -W -f=\${source:Version} qt6-base-dev
  OUTPUT_VARIABLE windows_qt_source_version OUTPUT_STRIP_TRAILING_WHITESPACE)
file(WRITE ${windows_license_dir}/qt-notice.txt "

------------------------------------------------------------------------------
Qt

The panel uses the Qt libraries ${Qt6_VERSION} (Qt6Core.dll, Qt6Gui.dll,
Qt6Widgets.dll and the plugins in platforms\\ and styles\\), which are
licensed under the GNU Lesser General Public License version 3, printed
below; it adds to the GNU General Public License version 3, which is in
licenses\\GPL-3.txt. The DLLs are built, unchanged, from Debian's source
package qt6-base ${windows_qt_source_version}, which Debian's archive keeps;
you may replace them with your own build of Qt ${Qt6_VERSION}.
What else is inside them, and the terms of the compiler's run-time DLLs,
are in the folder licenses\\.

------------------------------------------------------------------------------
")
windows_license_text(${windows_license_dir}/license-page.txt
  ${CMAKE_SOURCE_DIR}/LICENSE ${windows_license_dir}/qt-notice.txt /usr/share/common-licenses/LGPL-3)

# ---- The installer ----------------------------------------------------------------
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_VENDOR "RVD3318 panel developers")
set(CPACK_PACKAGE_FILE_NAME rvd3318-panel-${CPACK_PACKAGE_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "RVD3318 Panel")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY rvd3318-panel)
set(CPACK_NSIS_PACKAGE_NAME "RVD3318 Panel ${CPACK_PACKAGE_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "RVD3318 Panel")
set(CPACK_RESOURCE_FILE_LICENSE ${windows_license_dir}/license-page.txt)
# A 64-bit installer: the programs are 64-bit anyway, it installs under
# "Program Files" rather than "Program Files (x86)", writes the 64-bit view
# of the registry, and runs under a 64-bit-only wine (Debian's wine64
# without the i386 architecture), which a 32-bit one does not.
set(CPACK_NSIS_DEFINES "  Unicode true\n  Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# The Start menu: the panel, under its own folder, and the uninstaller
# (which CPack adds); both go again with the uninstaller.
set(CPACK_PACKAGE_EXECUTABLES rvd3318-panel "RVD3318 Panel")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME rvd3318-panel.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_CURRENT_LIST_DIR}/../resources/rvd3318-panel.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_CURRENT_LIST_DIR}/../resources/rvd3318-panel.ico)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN rvd3318-panel.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
