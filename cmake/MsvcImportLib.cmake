# SPDX-License-Identifier: MIT
# Writes KULVE32.lib, the import library in the format of Microsoft's tools
# (short import objects), and the module-definition file it is made from
# (run with cmake -P).
#
# For the 32-bit DLL the input is the decorated .def that StdcallImportLib
# writes ("LinkCom@4 @1"): the library's symbols are then the ones a 32-bit
# stdcall call through the header refers to (_LinkCom@4), and each import
# carries the "undecorate" name type, so the program asks the DLL for the
# plain name (LinkCom). For the 64-bit DLL the names are plain already.
#
# Inputs: DEF_FILE (export lines "Name[@N] @ordinal"), DLLTOOL (llvm-dlltool),
# MACHINE (i386 or i386:x86-64), DLL_NAME, OUT_DEF, OUT_LIB.
foreach(var DEF_FILE DLLTOOL MACHINE DLL_NAME OUT_DEF OUT_LIB)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MsvcImportLib: ${var} is not set")
  endif()
endforeach()

file(STRINGS ${DEF_FILE} def_lines)
set(def "LIBRARY ${DLL_NAME}\nEXPORTS\n")
set(count 0)
foreach(line IN LISTS def_lines)
  if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*(@[0-9]+)?)[ \t]+@([0-9]+)")
    string(APPEND def "    ${CMAKE_MATCH_1} @${CMAKE_MATCH_3}\n")
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "MsvcImportLib: no exports in ${DEF_FILE}")
endif()
file(WRITE ${OUT_DEF} "${def}")

set(kill_at "")
if(MACHINE STREQUAL "i386")
  set(kill_at -k)
endif()
execute_process(COMMAND ${DLLTOOL} -m ${MACHINE} -d ${OUT_DEF} -l ${OUT_LIB} ${kill_at}
  RESULT_VARIABLE dlltool_result)
if(NOT dlltool_result EQUAL 0)
  message(FATAL_ERROR "MsvcImportLib: ${DLLTOOL} failed")
endif()
