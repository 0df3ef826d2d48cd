# SPDX-License-Identifier: MIT
# Run at install time (install(SCRIPT), KULVE_DOC_DIR set): the Markdown
# documents in KULVE_DOC_DIR as a package ships them. They lose the sections
# between the lines <!-- source tree --> and <!-- /source tree --> (building,
# testing, adding to the library: they name folders only a clone has) and the
# lines that are a picture, which no package carries. scripts/build_windows.sh
# drops the same sections from the Windows kit's copies.
file(GLOB docs "$ENV{DESTDIR}${KULVE_DOC_DIR}/*.md")
set(open_mark "<!-- source tree -->\n")
set(close_mark "<!-- /source tree -->")
string(LENGTH "${close_mark}" close_length)
foreach(doc IN LISTS docs)
  file(READ "${doc}" text)
  set(kept "")
  string(FIND "${text}" "${open_mark}" start)
  while(start GREATER -1)
    string(SUBSTRING "${text}" 0 ${start} head)
    string(APPEND kept "${head}")
    string(SUBSTRING "${text}" ${start} -1 text)
    string(FIND "${text}" "${close_mark}" end)
    if(end EQUAL -1)
      message(FATAL_ERROR "${doc}: a source-tree section without its closing line")
    endif()
    math(EXPR end "${end} + ${close_length}")
    string(SUBSTRING "${text}" ${end} -1 text)
    string(REGEX REPLACE "^\n" "" text "${text}")
    string(FIND "${text}" "${open_mark}" start)
  endwhile()
  string(APPEND kept "${text}")
  string(REGEX REPLACE "(^|\n)!\\[[^\n]*\\]\\([^\n]*\\)\n\n?" "\\1" kept "${kept}")
  file(WRITE "${doc}" "${kept}")
endforeach()
