# The program folder to ship: the executable with the audio library and the converter module
# beside it, the command line with its manual page, the empty working folders Temp/ and
# Modified/, a desktop entry and the icon, packed by CPack as a .tar.gz whose one top-level
# folder runs wherever it is unpacked (scripts/package.sh, `make package`).
#
# The program finds the audio library and the converter by its own folder at run time and Qt, SDL and Vorbis are
# system libraries, so the only run path either file carries is $ORIGIN; the build folder's
# absolute path never reaches the installed copies.
set_target_properties(tollvik-alerts tollvik-alerts-cli bass tollvik-convert PROPERTIES
    INSTALL_RPATH "$ORIGIN"
    INSTALL_RPATH_USE_LINK_PATH OFF)

install(TARGETS tollvik-alerts tollvik-alerts-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/cli/tollvik-alerts-cli.1 DESTINATION man/man1)
install(TARGETS bass tollvik-convert LIBRARY DESTINATION . RUNTIME DESTINATION .)
install(DIRECTORY DESTINATION Temp)
install(DIRECTORY DESTINATION Modified)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tollvik-alerts.desktop
              ${PROJECT_SOURCE_DIR}/packaging/tollvik-alerts.svg
        DESTINATION .)

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME tollvik-alerts)
set(CPACK_PACKAGE_VENDOR "Tollvik Alerts")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Navigator menu patcher and sound archive editor for GO 5.x and Navigator 5.x")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME
    "tollvik-alerts-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# Everything in the folder, the empty working folders included; nothing else.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
