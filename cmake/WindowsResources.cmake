# SPDX-License-Identifier: GPL-3.0-or-later
#
# kelmora_add_windows_resources(TARGET DESCRIPTION TEXT [ICON FILE]): gives a Windows program its
# version information, its manifest (the player's own rights, sharp at any scale, UTF-8 as the
# code page) and, when given, its icon, as resources linked into the .exe.
function(kelmora_add_windows_resources target)
  cmake_parse_arguments(ARG "" "DESCRIPTION;ICON" "" ${ARGN})
  set(templates ${PROJECT_SOURCE_DIR}/packaging/windows)
  set(KELMORA_RC_PROGRAM ${target})
  set(KELMORA_RC_DESCRIPTION ${ARG_DESCRIPTION})
  set(KELMORA_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  set(KELMORA_RC_ICON "")
  if(ARG_ICON)
    set(KELMORA_RC_ICON "1 ICON \"${ARG_ICON}\"")
  endif()
  configure_file(${templates}/program.manifest.in ${KELMORA_RC_MANIFEST} @ONLY)
  configure_file(${templates}/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${KELMORA_RC_MANIFEST};${ARG_ICON}")
endfunction()
