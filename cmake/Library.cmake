# ferrule as a library: the conversion core behind include/ferrule/ferrule.h, installed with the
# program, its man pages and a CMake package, so that other programs can
#   find_package(ferrule)
#   target_link_libraries(their_target PRIVATE ferrule::ferrule)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The version is the project's: one place, the project() call of the top-level CMakeLists.txt.
set(FERRULE_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
configure_file(${PROJECT_SOURCE_DIR}/include/ferrule/version.h.in
  ${FERRULE_GENERATED_INCLUDE_DIR}/ferrule/version.h @ONLY)

target_include_directories(ferrule_core PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${FERRULE_GENERATED_INCLUDE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The public header needs std::string_view and std::function.
target_compile_features(ferrule_core PUBLIC cxx_std_17)
# Installed as libferrule.a, used as ferrule::ferrule.
set_target_properties(ferrule_core PROPERTIES OUTPUT_NAME ferrule EXPORT_NAME ferrule)

install(TARGETS ferrule RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ferrule_core EXPORT ferruleTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/include/ferrule/ferrule.h
  ${PROJECT_SOURCE_DIR}/include/ferrule/outcome.h
  ${PROJECT_SOURCE_DIR}/include/ferrule/header_record.h
  ${FERRULE_GENERATED_INCLUDE_DIR}/ferrule/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ferrule)

set(FERRULE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ferrule)
install(EXPORT ferruleTargets NAMESPACE ferrule:: DESTINATION ${FERRULE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ferruleConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ferruleConfig.cmake INSTALL_DESTINATION ${FERRULE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ferruleConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ferruleConfig.cmake ${PROJECT_BINARY_DIR}/ferruleConfigVersion.cmake
  DESTINATION ${FERRULE_CMAKE_DIR})

# The manual page ferrule(1), in English and in Japanese, stamped with the version and
# compressed as Debian wants it.
if(UNIX)
  foreach(locale "" "/ja")
    set(page man${locale}/ferrule.1)
    configure_file(${PROJECT_SOURCE_DIR}/${page}.in ${PROJECT_BINARY_DIR}/${page} @ONLY)
    file(ARCHIVE_CREATE OUTPUT ${PROJECT_BINARY_DIR}/${page}.gz
      PATHS ${PROJECT_BINARY_DIR}/${page} FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
    install(FILES ${PROJECT_BINARY_DIR}/${page}.gz
      DESTINATION ${CMAKE_INSTALL_MANDIR}${locale}/man1)
  endforeach()
endif()
