# The Windows package: zendra-cli-VERSION-win64.zip, one folder holding
# zendra-cli.exe with the sample definition files next to it (a program finds
# them in its own folder), README.md and cli.md. The .exe has its runtimes linked
# in and needs nothing else. A build with the desktop program (Qt on Windows)
# puts zendra-manager.exe beside it; windeployqt then adds Qt's libraries.
#   cmake --build --preset windows && cpack --preset windows-zip
install(TARGETS zendra-cli RUNTIME DESTINATION .)
if(ZENDRA_BUILD_GUI)
  install(TARGETS zendra-manager RUNTIME DESTINATION .)
endif()
file(GLOB definition_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/definitions/*.zmcon)
install(FILES ${definition_files} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/cli.md DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zendra-cli)
set(CPACK_PACKAGE_VENDOR "Zendra Manager developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME zendra-cli-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
