# The Windows package: ferrule.exe, ferrule-report.exe (the files dropped on it get one report
# page in the browser) and a short Japanese read-me in a zip, for users who drop observation
# files onto the programs. Only the install component "windows_user" goes into the
# zip, whatever else the project installs; `cmake --install <build> --component windows_user`
# installs the same three files.
install(TARGETS ferrule ferrule-report RUNTIME DESTINATION . COMPONENT windows_user)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README-ja.txt DESTINATION .
  COMPONENT windows_user)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ferrule)
set(CPACK_PACKAGE_VENDOR ferrule)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL windows_user)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES ON)
include(CPack)
