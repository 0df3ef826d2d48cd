# SPDX-License-Identifier: MIT
# Writes one man page (run with cmake -P): PROGRAM --help through SCRIPT into
# TEMPLATE, as OUT and OUT.gz. Inputs: PROGRAM, EMULATOR (empty, or the
# command that runs PROGRAM, its words joined by '|'), AWK, GZIP, SCRIPT,
# TEMPLATE, VERSION, DATE, OUT.
foreach(var PROGRAM AWK GZIP SCRIPT TEMPLATE VERSION DATE OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MakeManPage: ${var} is not set")
  endif()
endforeach()

string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} ${PROGRAM} --help
  OUTPUT_FILE ${OUT}.help RESULT_VARIABLE help_result)
if(NOT help_result EQUAL 0)
  message(FATAL_ERROR "MakeManPage: ${PROGRAM} --help failed (${help_result})")
endif()
execute_process(COMMAND ${AWK} -v template=${TEMPLATE} -v version=${VERSION} -v date=${DATE}
    -f ${SCRIPT} ${OUT}.help
  OUTPUT_FILE ${OUT}.tmp RESULT_VARIABLE awk_result)
if(NOT awk_result EQUAL 0)
  message(FATAL_ERROR "MakeManPage: ${SCRIPT} could not turn the help of ${PROGRAM} into a page")
endif()
file(RENAME ${OUT}.tmp ${OUT})
# -n: no name or time stamp in the archive, so the same page packs the same.
execute_process(COMMAND ${GZIP} -9 -n -c ${OUT} OUTPUT_FILE ${OUT}.gz RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
  message(FATAL_ERROR "MakeManPage: ${GZIP} failed on ${OUT}")
endif()
