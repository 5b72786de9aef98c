# ferrule as a library: the conversion core behind include/ferrule/ferrule.h.
include(GNUInstallDirs)

# The version is the project's: one place, the project() call of the top-level CMakeLists.txt.
set(FERRULE_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
configure_file(${PROJECT_SOURCE_DIR}/include/ferrule/version.h.in
  ${FERRULE_GENERATED_INCLUDE_DIR}/ferrule/version.h @ONLY)

target_sources(ferrule_core PRIVATE ${PROJECT_SOURCE_DIR}/app/stream_converter.cpp)
target_include_directories(ferrule_core PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${FERRULE_GENERATED_INCLUDE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The public header needs std::string_view and std::function.
target_compile_features(ferrule_core PUBLIC cxx_std_17)
# Built as libferrule.a.
set_target_properties(ferrule_core PROPERTIES OUTPUT_NAME ferrule)
