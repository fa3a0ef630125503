# A Debian package of what `cmake --install` installs, made by scripts/package
# (cpack) into the build folder. Its name and version come from project().
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cl2velmora)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "CL2 Velmora <cl2velmora@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "puts the direction groups of 8-direction CL2 sprite files in a new order")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "CL2 Velmora rewrites 8-direction CL2 sprite files (the graphics of old\n\
isometric games) in place so that their eight direction groups come in a new\n\
order. Only the header and two frame tables are rewritten; a file it refuses\n\
stays exactly as it was.\n\
.\n\
This package holds the windowed program cl2velmora and the command-line\n\
program cl2velmora-cli.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The libraries come from dpkg-shlibdeps; Qt loads the window system's plugin
# at run time, which no library dependency names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
include(CPack)
