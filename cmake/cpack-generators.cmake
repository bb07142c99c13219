# Read by CPack for each generator: the .tar.gz packs the portable folder under one top-level
# folder; the .deb packs the installed tree under /usr, stripped.
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_TOLLVIK_BUILD_DIR};${CPACK_TOLLVIK_PROJECT};program;/")
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    set(CPACK_STRIP_FILES ON)
else()
    set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_TOLLVIK_BUILD_DIR};${CPACK_TOLLVIK_PROJECT};portable;/")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_TOLLVIK_ARCHIVE_NAME}")
endif()
