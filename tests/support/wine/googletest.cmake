# GoogleTest for a cross build for Windows (mingw-w64), from Debian's
# sources in /usr/src/googletest (package googletest), with the tests run
# under wine by run-under-wine. Include it from the top CMakeLists of a
# cross build, before the first test target is made:
#
#   if(CMAKE_CROSSCOMPILING AND WIN32)
#     include(tests/support/wine/googletest.cmake)
#   endif()
#
# It gives GTest::gtest, GTest::gtest_main, GTest::gmock and GTest::gmock_main
# (static, linked into each test program), sets CMAKE_CROSSCOMPILING_EMULATOR
# to run-under-wine, so that add_test() of a target and
# gtest_discover_tests() run the .exe under wine, makes the wine prefix at
# build time (target wine_prefix), and gives wine_gtest_discover_tests(),
# gtest_discover_tests() with a listing time-out long enough for wine. A test that
# needs COM ports names run-under-wine itself:
#
#   add_test(NAME wine_port COMMAND ${RUN_UNDER_WINE} --null-modem COM21,COM22
#            $<TARGET_FILE:port_tests>)
#
# Qt's DLLs: -DRUN_UNDER_WINE_DLL_PATH=QT/bin (or set it before including
# this file, e.g. from Qt6's install prefix); the mingw-w64 run-time
# folders are searched anyway. A test that calls run-under-wine itself
# passes it in its ENVIRONMENT property, or ctest's environment has it.

set(RVD_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest's sources for the Windows cross build")
if(NOT EXISTS "${RVD_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "No GoogleTest sources in ${RVD_GOOGLETEST_SOURCE_DIR} "
                      "(apt-get install googletest)")
endif()

# Static libraries inside the build; nothing of GoogleTest is installed.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(BUILD_SHARED_LIBS_SAVED_FOR_GTEST "${BUILD_SHARED_LIBS}")
set(BUILD_SHARED_LIBS OFF)
add_subdirectory("${RVD_GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL)
set(BUILD_SHARED_LIBS "${BUILD_SHARED_LIBS_SAVED_FOR_GTEST}")

set(RUN_UNDER_WINE "${CMAKE_CURRENT_LIST_DIR}/run-under-wine" CACHE FILEPATH
    "Runs a Windows test program under wine")
# Folders of DLLs the programs need besides the mingw-w64 run-time (Qt's
# bin): baked into the emulator's command, so that test discovery, which
# runs without a test's ENVIRONMENT, finds them too.
set(RUN_UNDER_WINE_DLL_PATH "" CACHE STRING
    "Unix folders of DLLs for the tests under wine (a CMake list), e.g. QT/bin")
if(RUN_UNDER_WINE_DLL_PATH)
  list(JOIN RUN_UNDER_WINE_DLL_PATH ":" _run_under_wine_dll_path)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_COMMAND};-E;env;RUN_UNDER_WINE_DLL_PATH=${_run_under_wine_dll_path};${RUN_UNDER_WINE}")
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR "${RUN_UNDER_WINE}")
endif()

# gtest_discover_tests() runs each program once to list its tests; under
# wine that is a start of the program (0.1 s with a warm server, about 2 s
# with a cold one). PRE_TEST does that when ctest runs, not at every build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# The prefix is made at build time (about 10 s, once), not by the first test
# or test listing, which would then run into its time-out.
add_custom_target(wine_prefix ALL
  COMMAND "${RUN_UNDER_WINE}" --init
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
  COMMENT "Wine prefix for the tests (run-under-wine --init)"
  VERBATIM)

# gtest_discover_tests() with a listing time-out that allows for a cold
# wine server and Qt's DLLs (its default, 5 s, is too short under wine).
include(GoogleTest)
function(wine_gtest_discover_tests target)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 ${ARGN})
endfunction()
