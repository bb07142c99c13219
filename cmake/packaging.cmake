# Two ways to ship the program, from the same build:
#
# - the installed tree (component "program", what `cmake --install` lays out, and the .deb):
#   GNU install directories, the executables in bin/, the audio library and the converter
#   module in the private library folder lib/<multiarch>/tollvik-alerts/ (cmake/installdirs.cmake),
#   the desktop entry, icon, metainfo, gzip-compressed manual pages, bash completion, and the
#   copyright file and changelog in share/doc/tollvik-alerts/. The program keeps its files in
#   the user's data folder.
# - the portable folder (component "portable", only when asked for, packed as the .tar.gz): the
#   executables with the audio library and the converter module beside them, the empty working
#   folders Temp/ and Modified/, the manual pages, a desktop entry and the icon, in one folder
#   that runs wherever it is unpacked.
#
# The program finds the audio library and the converter by its own folder at run time, and Qt,
# SDL and Vorbis are system libraries, so every run path is relative to the file's own folder:
# $ORIGIN (portable) and, for the executables, the private library folder (installed). The
# build folder's absolute path never reaches the installed copies.
set(TOLLVIK_APP_ID org.tollvik.Alerts)
set_target_properties(bass tollvik-convert PROPERTIES
    INSTALL_RPATH "$ORIGIN"
    INSTALL_RPATH_USE_LINK_PATH OFF)
set_target_properties(tollvik-alerts tollvik-alerts-cli PROPERTIES
    INSTALL_RPATH "$ORIGIN;$ORIGIN/${TOLLVIK_PRIVATE_LIBDIR_FROM_BINDIR}"
    INSTALL_RPATH_USE_LINK_PATH OFF)

# The manual pages and the changelog, compressed as Debian wants them (gzip -9n: no name, no
# time stamp, so the same sources give the same bytes).
find_program(TOLLVIK_GZIP gzip REQUIRED)
set(_gz_dir ${CMAKE_BINARY_DIR}/packaging)
set(_gz_files)
foreach(_source cli/tollvik-alerts-cli.1 packaging/tollvik-alerts.1 packaging/changelog)
    get_filename_component(_name ${_source} NAME)
    add_custom_command(OUTPUT ${_gz_dir}/${_name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz_dir}
        COMMAND ${TOLLVIK_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/${_source} > ${_gz_dir}/${_name}.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/${_source}
        VERBATIM)
    list(APPEND _gz_files ${_gz_dir}/${_name}.gz)
endforeach()
add_custom_target(tollvik-compressed-docs ALL DEPENDS ${_gz_files})

# The installed tree.
set(_program COMPONENT program)
install(TARGETS tollvik-alerts tollvik-alerts-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} ${_program})
install(TARGETS bass tollvik-convert
        LIBRARY DESTINATION ${TOLLVIK_INSTALL_PRIVATE_LIBDIR} ${_program}
        RUNTIME DESTINATION ${TOLLVIK_INSTALL_PRIVATE_LIBDIR} ${_program})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TOLLVIK_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications ${_program})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tollvik-alerts.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TOLLVIK_APP_ID}.svg ${_program})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TOLLVIK_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo ${_program})
install(FILES ${_gz_dir}/tollvik-alerts.1.gz ${_gz_dir}/tollvik-alerts-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 ${_program})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tollvik-alerts-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tollvik-alerts-cli ${_program})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${_gz_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tollvik-alerts ${_program})

# The portable folder.
set(_portable COMPONENT portable EXCLUDE_FROM_ALL)
install(TARGETS tollvik-alerts tollvik-alerts-cli RUNTIME DESTINATION . ${_portable})
install(TARGETS bass tollvik-convert LIBRARY DESTINATION . ${_portable}
                                     RUNTIME DESTINATION . ${_portable})
install(FILES ${PROJECT_SOURCE_DIR}/cli/tollvik-alerts-cli.1
              ${PROJECT_SOURCE_DIR}/packaging/tollvik-alerts.1
        DESTINATION man/man1 ${_portable})
install(DIRECTORY DESTINATION Temp ${_portable})
install(DIRECTORY DESTINATION Modified ${_portable})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tollvik-alerts.desktop
              ${PROJECT_SOURCE_DIR}/packaging/tollvik-alerts.svg
        DESTINATION . ${_portable})

set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGE_NAME tollvik-alerts)
set(CPACK_PACKAGE_VENDOR "Tollvik Alerts")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Navigator menu patcher and sound archive editor for GO 5.x and Navigator 5.x")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-generators.cmake)
set(CPACK_TOLLVIK_BUILD_DIR ${CMAKE_BINARY_DIR})
set(CPACK_TOLLVIK_PROJECT ${PROJECT_NAME})
set(CPACK_TOLLVIK_ARCHIVE_NAME
    "tollvik-alerts-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")

# The .deb: its dependencies are computed by dpkg-shlibdeps from the files it holds, plus the
# speech data the converter reads at run time.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tollvik Alerts developers <maintainers@tollvik.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tollvik.org/alerts/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack indents the description's lines and turns its empty line into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tollvik Alerts is for owners of older car navigators (GO 5.x devices and the
Navigator 5.x software on handheld computers). It writes a patched copy of
the navigator's main executable whose POI-warning menu offers 30 items, and it
lists, plays, replaces and exports the 30 sounds of the navigator's sound
archive: any sound file is converted to fit, or the menu text is spoken.

The package holds the window (tollvik-alerts) and the command line tool
(tollvik-alerts-cli). The window keeps its files in the user's data folder.")
include(CPack)
