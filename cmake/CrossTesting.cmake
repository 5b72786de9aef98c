# Tests of a cross build: GoogleTest compiled from its sources for the target, and, for the Windows
# program built on Linux, every test run under Wine. Included from tests/CMakeLists.txt.

# GoogleTest for the target, from the sources Debian ships (libgtest-dev / googletest).
set(FERRULE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
if(NOT EXISTS ${FERRULE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${FERRULE_GOOGLETEST_SOURCE_DIR}")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${FERRULE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# Test programs are listed when ctest starts, not while building: the build needs no emulator.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

if(NOT (WIN32 AND CMAKE_HOST_UNIX) OR DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()

# Wine runs the Windows test programs. It works in a prefix of this build's own (created on first
# use), quietly (WINEDEBUG=-all) and without asking to install .NET or Gecko (WINEDLLOVERRIDES).
# Test programs find the build and source trees through Wine's drive Z:, which maps to "/".
find_program(FERRULE_WINE wine REQUIRED)
find_program(FERRULE_WINESERVER wineserver REQUIRED)
set(FERRULE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
set(FERRULE_TEST_PATH_PREFIX "Z:")

# One persistent wineserver for the whole test run: started (and the prefix made ready) before the
# first test, stopped after the last, so that every test program starts in a fraction of a second.
add_test(NAME wine.start COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --start)
add_test(NAME wine.stop COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
set(FERRULE_TEST_PROPERTIES FIXTURES_REQUIRED wine)
