# SPDX-License-Identifier: MIT
# Turns a program's --help text into the generated parts of its man page, so
# the page says exactly what --help says. POSIX awk (mawk, gawk, busybox).
#
#   awk -v template=PAGE.in -v version=V -v date=D -f help_to_roff.awk HELP.txt
#
# The template is roff; lines holding only @SYNOPSIS@, @DESCRIPTION@ or
# @SECTIONS@ are replaced by the generated parts, @VERSION@ and @DATE@
# anywhere by the values given.
#
# The help text it reads:
#   usage: PROG WORDS...           the synopsis; a following indented line
#          PROG WORDS...           starting with PROG is another form, any
#          WORDS...                other indented line continues the form
#   Text at column 0.              description (before the first section),
#                                  or a paragraph within a section
#   name of section:               a section (lower case, ends with ':')
#     TERM WORDS  Description      an entry: two spaces, the term, then two or
#                   more words     more spaces and its description; a line
#                                  indented further continues it on a new line
#   (blank line)                   ends a paragraph
# Terms are set in bold, except words in capitals (PATH, HEX), which are the
# values the reader of the page supplies, set in italics.

function fail(why) {
  print "help_to_roff: " why > "/dev/stderr"
  failed = 1
  exit 1
}

# Escapes text for roff: backslashes, and option dashes as \- so they render
# and copy as the ASCII minus a shell expects.
function text(s,    out, i, c, prev, dash) {
  out = ""
  prev = " "
  dash = 0
  for (i = 1; i <= length(s); i++) {
    c = substr(s, i, 1)
    if (c == "\\") {
      out = out "\\e"
      dash = 0
    } else if (c == "-" && (prev ~ /[ \t\[(|,=]/ || (prev == "-" && dash)) && substr(s, i + 1, 1) ~ /[A-Za-z0-9-]/) {
      out = out "\\-"
      dash = 1
    } else {
      out = out c
      dash = 0
    }
    prev = c
  }
  return out
}

# A line of running text: roff takes a leading . or ' as a request.
function line_of(s) {
  s = text(s)
  if (s ~ /^[.']/) s = "\\&" s
  return s
}

# One word of a term or synopsis: capitals (and digits, _) in italics, the
# brackets and bars of a synopsis plain, everything else in bold.
function word(w,    core, lead, tail) {
  lead = ""; tail = ""
  while (w ~ /^[\[(]/) { lead = lead substr(w, 1, 1); w = substr(w, 2) }
  while (w ~ /[\])]$/ || w ~ /,$/ || w ~ /\.\.\.$/) {
    if (w ~ /\.\.\.$/) { tail = "..." tail; w = substr(w, 1, length(w) - 3) }
    else { tail = substr(w, length(w), 1) tail; w = substr(w, 1, length(w) - 1) }
  }
  if (w == "") return lead tail
  if (w ~ /^[A-Z][A-Z0-9_]*$/) core = "\\fI" text(w) "\\fR"
  else if (w == "|") core = w
  else core = "\\fB" text(w) "\\fR"
  return lead core tail
}

function words(s,    n, parts, i, out) {
  n = split(s, parts, /[ \t]+/)
  out = ""
  for (i = 1; i <= n; i++) {
    if (parts[i] == "") continue
    out = out (out == "" ? "" : " ") word(parts[i])
  }
  if (out ~ /^[.']/) out = "\\&" out
  return out
}

function emit(where, s) {
  emitted[where]++
  if (where == "synopsis") synopsis = synopsis s "\n"
  else if (where == "description") description = description s "\n"
  else sections = sections s "\n"
}

# Paragraph text: a blank line before it starts a new paragraph.
function paragraph(where, s) {
  if (pending_break[where] && emitted[where]) emit(where, ".PP")
  pending_break[where] = 0
  emit(where, line_of(s))
}

BEGIN {
  if (template == "") fail("no template given (-v template=FILE)")
  state = "start"  # start, usage, body
  where = "description"
}

state == "start" {
  if ($0 ~ /^[ \t]*$/) next
  if ($0 !~ /^usage: /) fail("the help text does not start with \"usage: PROGRAM\"")
  sub(/^usage: +/, "")
  program = $1
  emit("synopsis", words($0))
  state = "usage"
  next
}

state == "usage" && /^[ \t]+[^ \t]/ {
  s = $0
  sub(/^[ \t]+/, "", s)
  if ($1 == program) emit("synopsis", ".br")
  emit("synopsis", words(s))
  next
}

{ state = "body" }

/^[ \t]*$/ {
  pending_break[where] = 1
  in_entry = 0
  next
}

/^[a-z][a-z ]*:$/ {
  name = toupper(substr($0, 1, length($0) - 1))
  emit("sections", ".SH " name)
  where = "sections"
  pending_break[where] = 0
  in_entry = 0
  section_count++
  next
}

/^  [^ \t]/ {
  if (where != "sections") fail("an entry before any section: " $0)
  entry = substr($0, 3)
  if (match(entry, /  +|\t/)) {
    term = substr(entry, 1, RSTART - 1)
    desc = substr(entry, RSTART + RLENGTH)
  } else {
    term = entry
    desc = ""
  }
  emit(where, ".TP")
  emit(where, words(term))
  if (desc != "") emit(where, line_of(desc))
  pending_break[where] = 0
  in_entry = 1
  next
}

/^   / {
  s = $0
  sub(/^[ \t]+/, "", s)
  if (in_entry) {
    emit(where, ".br")
    emit(where, line_of(s))
  } else {
    paragraph(where, s)
  }
  next
}

{
  if (in_entry) pending_break[where] = 1
  in_entry = 0
  paragraph(where, $0)
}

END {
  if (failed) exit 1
  if (program == "") fail("no usage line in the help text")
  if (section_count == 0) fail("no section (\"name:\" on its own line) in the help text")
  while ((got = getline t < template) > 0) {
    if (t == "@SYNOPSIS@") { printf "%s", synopsis; continue }
    if (t == "@DESCRIPTION@") { printf "%s", description; continue }
    if (t == "@SECTIONS@") { printf "%s", sections; continue }
    gsub(/@VERSION@/, version, t)
    gsub(/@DATE@/, date, t)
    print t
  }
  if (got < 0) fail("cannot read the template " template)
}
