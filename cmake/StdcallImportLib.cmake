# SPDX-License-Identifier: MIT
# Writes the import library of the 32-bit DLL (run with cmake -P).
#
# The DLL exports plain names ("LinkCom"), while a 32-bit program that calls a
# stdcall function through the header refers to the decorated symbol
# "_LinkCom@4". The linker's own import library would carry the plain names,
# which such a program cannot link against. So the names of the .def file are
# matched with the decorated symbols compiled into the library, and dlltool
# builds an import library whose symbols are decorated and whose imports name
# the plain exports (--kill-at).
#
# Inputs: DEF_FILE (the plain export list), ARCHIVE (the static library the DLL
# is made of), NM, DLLTOOL, DLL_NAME, OUT_DEF, OUT_LIB.
foreach(var DEF_FILE ARCHIVE NM DLLTOOL DLL_NAME OUT_DEF OUT_LIB)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "StdcallImportLib: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${NM} -g --defined-only ${ARCHIVE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "StdcallImportLib: ${NM} failed on ${ARCHIVE}")
endif()

file(STRINGS ${DEF_FILE} def_lines)
set(decorated "LIBRARY ${DLL_NAME}\nEXPORTS\n")
foreach(line IN LISTS def_lines)
  if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+@([0-9]+)")
    set(name ${CMAKE_MATCH_1})
    set(ordinal ${CMAKE_MATCH_2})
    if(symbols MATCHES " T _${name}@([0-9]+)\n")
      string(APPEND decorated "    ${name}@${CMAKE_MATCH_1} @${ordinal}\n")
    else()
      message(FATAL_ERROR "StdcallImportLib: no stdcall symbol for export ${name}")
    endif()
  endif()
endforeach()

file(WRITE ${OUT_DEF} "${decorated}")
execute_process(COMMAND ${DLLTOOL} --input-def ${OUT_DEF} --dllname ${DLL_NAME}
    --output-lib ${OUT_LIB} --kill-at
  RESULT_VARIABLE dlltool_result)
if(NOT dlltool_result EQUAL 0)
  message(FATAL_ERROR "StdcallImportLib: ${DLLTOOL} failed")
endif()
