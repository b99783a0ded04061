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
# (static, linked into each test program), and sets
# CMAKE_CROSSCOMPILING_EMULATOR to run-under-wine, so that add_test() of a
# target and gtest_discover_tests() run the .exe under wine. A test that
# needs COM ports names run-under-wine itself:
#
#   add_test(NAME wine_port COMMAND ${RUN_UNDER_WINE} --null-modem COM21,COM22
#            $<TARGET_FILE:port_tests>)
#
# Qt's DLLs: set RUN_UNDER_WINE_DLL_PATH in the tests' ENVIRONMENT property
# (or in the environment of ctest) to Qt's bin folder; the mingw-w64 run-time
# folders are searched anyway.

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
set(CMAKE_CROSSCOMPILING_EMULATOR "${RUN_UNDER_WINE}")

# gtest_discover_tests() runs each program once to list its tests; under
# wine that is a start of the program (0.1 s with a warm server, about 2 s
# with a cold one). PRE_TEST does that when ctest runs, not at every build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
