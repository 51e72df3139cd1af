# SPDX-License-Identifier: GPL-3.0-or-later
#
# The Linux desktop package: what `cmake --install` lays down beside the two programs (desktop
# entry, AppStream metadata, icons, manual pages, copyright and changelog), and CPack's .deb.
# Everything generated here comes from packaging/ and from the program's own icon code.
if(NOT UNIX OR APPLE OR NOT KELMORA_BUILD_GUI OR NOT TARGET kelmora-installer)
  return()
endif()

include(GNUInstallDirs)

set(KELMORA_APP_ID io.github.kelmora.Installer)
set(KELMORA_DEB_PACKAGE kelmora-installer)
set(KELMORA_MAINTAINER "Haskel <haskel@example.org>")
set(KELMORA_ICON_SIZES 16 22 24 32 48 64 128 256)

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)

find_package(Qt6 REQUIRED COMPONENTS Svg)
find_program(KELMORA_SCDOC scdoc REQUIRED)
find_program(KELMORA_GZIP gzip REQUIRED)

# The changelog and the metainfo name each release by hand; a version bump that forgets one of
# them would ship a package that contradicts itself.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${packaging_source}/changelog ${packaging_source}/${KELMORA_APP_ID}.metainfo.xml)
file(STRINGS ${packaging_source}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${KELMORA_DEB_PACKAGE} \\(([^)]+)\\)"
   OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the newest entry must be ${KELMORA_DEB_PACKAGE} "
                      "(${PROJECT_VERSION}), the project's version")
endif()
file(READ ${packaging_source}/${KELMORA_APP_ID}.metainfo.xml metainfo)
if(NOT metainfo MATCHES "<release version=\"([^\"]+)\""
   OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/${KELMORA_APP_ID}.metainfo.xml: the first release must be "
                      "${PROJECT_VERSION}, the project's version")
endif()

# Icons: drawn at build time by the code that draws the window icon.
add_executable(kelmora-emblem-files ${packaging_source}/EmblemFiles.cpp)
target_link_libraries(kelmora-emblem-files PRIVATE kelmora_ui Qt6::Svg)
set_target_properties(kelmora-emblem-files PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${packaging_build})

set(icon_theme ${packaging_build}/hicolor)
set(icon_files ${icon_theme}/scalable/apps/${KELMORA_APP_ID}.svg)
foreach(size IN LISTS KELMORA_ICON_SIZES)
  list(APPEND icon_files ${icon_theme}/${size}x${size}/apps/${KELMORA_APP_ID}.png)
endforeach()
add_custom_command(
  OUTPUT ${icon_files}
  COMMAND kelmora-emblem-files ${icon_theme} ${KELMORA_APP_ID} ${KELMORA_ICON_SIZES}
  DEPENDS kelmora-emblem-files
  COMMENT "Drawing the emblem's icon files"
  VERBATIM)

# Manual pages from scdoc, gzipped at the highest level and without a time stamp, as Debian
# wants them. scdoc turns hyphenation off before the page's title, which turns it on again: a path
# or a file name cut at a line's end ("cc-data.ccx") would be copied wrong, so it goes off after.
set(manual_pages)
foreach(program kelmora-installer kelmora-hpi)
  set(source ${packaging_build}/${program}.1.scd)
  configure_file(${packaging_source}/${program}.1.scd ${source} @ONLY)
  add_custom_command(
    OUTPUT ${packaging_build}/${program}.1.gz
    COMMAND sh -c "\"$0\" < \"$1\" | sed '/^\\.TH /a .nh' > \"$2\"" ${KELMORA_SCDOC} ${source}
            ${packaging_build}/${program}.1
    COMMAND ${KELMORA_GZIP} -9nf ${packaging_build}/${program}.1
    DEPENDS ${source}
    COMMENT "Writing the manual page ${program}(1)"
    VERBATIM)
  list(APPEND manual_pages ${packaging_build}/${program}.1.gz)
endforeach()

add_custom_command(
  OUTPUT ${packaging_build}/changelog.gz
  COMMAND sh -c "\"$0\" -9nc < \"$1\" > \"$2\"" ${KELMORA_GZIP} ${packaging_source}/changelog
          ${packaging_build}/changelog.gz
  DEPENDS ${packaging_source}/changelog
  VERBATIM)

add_custom_target(kelmora_package_data ALL DEPENDS ${icon_files} ${manual_pages}
                                                   ${packaging_build}/changelog.gz)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(FILES ${packaging_source}/${KELMORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_source}/${KELMORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_source}/${KELMORA_APP_ID}.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(DIRECTORY ${icon_theme} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_source}/copyright ${packaging_build}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KELMORA_DEB_PACKAGE})

# The .deb: `cpack -G DEB` in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KELMORA_DEB_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvald and Haskel")
set(CPACK_PACKAGE_CONTACT ${KELMORA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "installer and control panel for the Orvald's Kelmora game patch")
# Lines of at most 80 characters: dpkg shows them as they are.
set(CPACK_PACKAGE_DESCRIPTION
    "Orvald's Kelmora is a fan-made patch to the 1997 strategy game Total
Annihilation. kelmora-installer installs it into a game that runs under Wine,
keeping a backup of the game's archive, and then serves as its control panel:
uninstall, disable and enable. An unattended mode does the same for scripts,
and a demo mode shows it all without the game.

kelmora-hpi lists, verifies, extracts and packs the game's HPI archives.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Not "games": Debian keeps that section for packages whose programs are games, in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows' font: every text is measured to fit in Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
