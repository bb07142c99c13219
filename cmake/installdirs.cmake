# The installed layout (GNU install directories): the executables in bin/, the audio library and
# the converter module in a private library folder, lib/<multiarch>/tollvik-alerts/ as Debian
# places a program's private libraries. The program finds that folder relative to its own
# executable, so the tree works under any prefix.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
    set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH
        "Object code libraries (lib/<multiarch>)")
endif()
include(GNUInstallDirs)
set(TOLLVIK_INSTALL_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/tollvik-alerts")
file(RELATIVE_PATH TOLLVIK_PRIVATE_LIBDIR_FROM_BINDIR "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_LIBDIR}/tollvik-alerts")
