# Packages made by CPack from what `cmake --install` installs: on Linux a Debian package.
#   cmake --build --preset release --target package     (or: cd build/release && cpack)
# The version is the project's (the project() call of the top-level CMakeLists.txt).
# On Windows: a zip for end users instead.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake)
  return()
endif()

set(CPACK_PACKAGE_NAME ferrule)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Converts RINEX 2 observation files of stop-and-go surveys in place")
set(CPACK_PACKAGE_DESCRIPTION
  "ferrule converts one RINEX 2 observation file in place: a kinematic (stop-and-go) survey gets
moving-antenna event records and a site identifier for every occupation; a static file gets its
station identifier repaired. The input is kept beside the result. The package also holds the
conversion as a static C++ library with a CMake package (find_package(ferrule)).")
set(CPACK_PACKAGE_CONTACT "ferrule developers")
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The run-time dependencies of the program, found by dpkg-shlibdeps (package dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
