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
# The package's own revision: 1.1.0-1 is the first package of release 1.1.0.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The libraries come from dpkg-shlibdeps; Qt loads the window system's plugin
# at run time, which no library dependency names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
include(CPack)

# The licence texts in the machine-readable form Debian reads: each line
# indented by one space, an empty line as " .".
function(velmora_dep5_text file from variable)
    file(READ ${file} text)
    string(FIND "${text}" "${from}" start)
    if(start LESS 0)
        message(FATAL_ERROR "${file} does not hold '${from}'")
    endif()
    string(SUBSTRING "${text}" ${start} -1 text)
    string(STRIP "${text}" text)
    string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
    string(REPLACE "\n" "\n " text " ${text}")
    string(REGEX REPLACE "\n \n" "\n .\n" text "${text}")
    string(REGEX REPLACE "\n \n" "\n .\n" text "${text}") # runs of empty lines
    set(${variable} "${text}" PARENT_SCOPE)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
endfunction()

# The copyright file names the licence of everything the package holds,
# including the font built into the windows.
velmora_dep5_text(${PROJECT_SOURCE_DIR}/LICENSE "Permission is hereby granted" VELMORA_MIT_TEXT)
velmora_dep5_text(${PROJECT_SOURCE_DIR}/src/ui/fonts/LICENSE "SIL OPEN FONT LICENSE"
    VELMORA_OFL_TEXT)
configure_file(${PROJECT_SOURCE_DIR}/data/copyright.in copyright @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The changelog's latest entry is the package's version; it is kept by hand,
# so a version raised without an entry stops the configuration.
set(changelog ${PROJECT_SOURCE_DIR}/data/changelog.Debian)
file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
set(package_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
if(NOT changelog_head MATCHES "^cl2velmora \\(${package_version}\\) ")
    message(FATAL_ERROR "data/changelog.Debian: the latest entry is not ${package_version}")
endif()
add_custom_command(OUTPUT changelog.Debian.gz
    COMMAND gzip -9 -n -c ${changelog} > changelog.Debian.gz
    DEPENDS ${changelog}
    COMMENT "Compressing the package's changelog")
add_custom_target(velmora_changelog ALL DEPENDS changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
