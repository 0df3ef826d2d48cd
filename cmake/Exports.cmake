# SPDX-License-Identifier: MIT
# The module-definition file is the one list of exported names and ordinals.
# The Linux version script is generated from it so the two cannot drift.
set(KULVE_DEF_FILE ${PROJECT_SOURCE_DIR}/src/exports/kulve32.def)

function(kulve_version_script_from_def out_file)
  file(STRINGS ${KULVE_DEF_FILE} def_lines)
  set(names "")
  foreach(line IN LISTS def_lines)
    if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+@[0-9]+")
      string(APPEND names "    ${CMAKE_MATCH_1};\n")
    endif()
  endforeach()
  file(WRITE ${out_file} "{\n  global:\n${names}  local:\n    *;\n};\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KULVE_DEF_FILE})
endfunction()
