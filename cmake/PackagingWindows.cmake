# The Windows package: ferrule.exe and a short Japanese read-me in a zip, for users who drop an
# observation file onto the program. `cmake --install` puts the same two files in the prefix.
install(TARGETS ferrule RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README-ja.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ferrule)
set(CPACK_PACKAGE_VENDOR ferrule)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
