# SPDX-License-Identifier: MIT
# The module-definition file is the one list of exported names and ordinals.
# The Linux version script is generated from it so the two cannot drift.
# Names listed without an ordinal (the handle API) are exported by name only:
# the DLLs are linked from a copy that numbers them from
# KULVE_UNPROMISED_ORDINAL on in list order, so the linker never puts one in
# a gap of the fixed table; those numbers are not part of the interface.
set(KULVE_UNPROMISED_ORDINAL 200)
set(KULVE_DEF_FILE ${PROJECT_SOURCE_DIR}/src/exports/kulve32.def)

function(kulve_version_script_from_def out_file)
  file(STRINGS ${KULVE_DEF_FILE} def_lines)
  set(names "")
  foreach(line IN LISTS def_lines)
    if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)([ \t]+@[0-9]+)?[ \t]*$")
      string(APPEND names "    ${CMAKE_MATCH_1};\n")
    endif()
  endforeach()
  file(WRITE ${out_file} "{\n  global:\n${names}  local:\n    *;\n};\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KULVE_DEF_FILE})
endfunction()

# The .def the DLL is linked from: every export numbered (see above).
function(kulve_numbered_def out_file)
  file(STRINGS ${KULVE_DEF_FILE} def_lines)
  set(text "")
  set(next ${KULVE_UNPROMISED_ORDINAL})
  foreach(line IN LISTS def_lines)
    if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]*$")
      string(APPEND text "    ${CMAKE_MATCH_1} @${next}\n")
      math(EXPR next "${next} + 1")
    else()
      string(APPEND text "${line}\n")
    endif()
  endforeach()
  file(WRITE ${out_file} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KULVE_DEF_FILE})
endfunction()
