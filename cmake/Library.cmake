# ferrule as a library: the public headers in include/ferrule/.
target_include_directories(ferrule_core PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
