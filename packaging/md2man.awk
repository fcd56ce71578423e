# Turns the command line's Markdown page (docs/cli.md) into a manual page, so
# that `man zendra-cli` and the page in docs/ never say different things.
#
#   awk -v version=0.1.0 -v summary="one line" -f md2man.awk docs/cli.md > zendra-cli.1
#
# It knows what that page uses: "#" to "###" headings, paragraphs, "- " lists
# (continued by indented lines), code indented by four blanks or fenced with ```,
# tables (the first column becomes the tag, the other columns follow under it),
# `code`, **bold** and [text](link). Whatever troff would take for a request (a
# "." or "'" at the start of a line, a backslash) is escaped.

BEGIN { kind = ""; buffer = ""; tableRow = 0; fenced = 0; codeBlanks = 0 }

# Everything troff reads specially in running text; `code` spans may run over
# several lines, so a whole paragraph is converted at once.
function Inline(text,    out, tick, rest, stop, code) {
  text = EscapeText(text)
  out = ""
  while ((tick = index(text, "`")) > 0) {
    rest = substr(text, tick + 1)
    stop = index(rest, "`")
    if (stop == 0) break  # an unpaired backtick stands as it is
    code = substr(rest, 1, stop - 1)
    gsub(/-/, "\\-", code)
    out = out Emphasis(substr(text, 1, tick - 1)) "\\fB" code "\\fR"
    text = substr(rest, stop + 1)
  }
  return out Emphasis(text)
}

function EscapeText(text) {
  gsub(/\\/, "\\e", text)
  return Glyphs(text)
}

# The characters beyond ASCII that the documentation uses, as troff names them.
function Glyphs(text) {
  gsub(/—/, "\\(em", text)
  gsub(/−/, "\\(mi", text)
  gsub(/→/, "\\(->", text)
  gsub(/×/, "\\(mu", text)
  gsub(/·/, "\\(pc", text)
  return text
}

function Emphasis(text,    start, stop, label) {
  while (match(text, /\*\*[^*]+\*\*/))
    text = substr(text, 1, RSTART - 1) "\\fB" substr(text, RSTART + 2, RLENGTH - 4) "\\fR" \
           substr(text, RSTART + RLENGTH)
  # [label](target): the label stands; the targets are pages of the source tree.
  while (match(text, /\[[^]]*\]\([^)]*\)/)) {
    label = substr(text, RSTART + 1, RLENGTH - 1)
    label = substr(label, 1, index(label, "](") - 1)
    text = substr(text, 1, RSTART - 1) label substr(text, RSTART + RLENGTH)
  }
  return text
}

# A line of output that troff would read as a request starts with "\&".
function Emit(text,    n, lines, i) {
  n = split(text, lines, "\n")
  for (i = 1; i <= n; i++) {
    if (lines[i] ~ /^[.']/) lines[i] = "\\&" lines[i]
    print lines[i]
  }
}

function Code(line) {
  gsub(/\\/, "\\e", line)
  line = Glyphs(line)
  gsub(/-/, "\\-", line)
  if (line ~ /^[.']/) line = "\\&" line
  print line
}

function Flush() {
  if (kind == "paragraph") { print ".PP"; Emit(Inline(buffer)) }
  else if (kind == "item") { print ".IP \\(bu 2"; Emit(Inline(buffer)) }
  else if (kind == "code") { print ".fi"; print ".RE" }
  kind = ""; buffer = ""; tableRow = 0; codeBlanks = 0
}

function Add(line) { buffer = buffer == "" ? line : buffer "\n" line }

function Trim(text) {
  sub(/^[ \t]+/, "", text)
  sub(/[ \t]+$/, "", text)
  return text
}

function TableRow(line,    cells, n, i) {
  # "\|" is a bar inside a cell.
  gsub(/\\\|/, "\001", line)
  sub(/^\|/, "", line)
  sub(/\|[ \t]*$/, "", line)
  n = split(line, cells, "|")
  for (i = 1; i <= n; i++) { cells[i] = Trim(cells[i]); gsub(/\001/, "|", cells[i]) }
  tableRow++
  if (tableRow == 1) { for (i = 1; i <= n; i++) header[i] = cells[i]; return }
  if (cells[1] ~ /^:?-+:?$/) return
  print ".TP"
  Emit(Inline(cells[1]))
  if (n >= 2) Emit(Inline(cells[2]))
  # A further column's header stands in italics before its value.
  for (i = 3; i <= n; i++) {
    print ".br"
    Emit("\\fI" Inline(header[i]) ":\\fR " Inline(cells[i]))
  }
}

fenced {
  if ($0 ~ /^```/) { fenced = 0; Flush(); next }
  Code($0)
  next
}

/^```/ { Flush(); print ".PP"; print ".RS 4"; print ".nf"; kind = "code"; fenced = 1; next }

kind == "code" && /^    / {
  while (codeBlanks > 0) { print ""; codeBlanks-- }
  Code(substr($0, 5))
  next
}
kind == "code" && /^[ \t]*$/ { codeBlanks++; next }
kind == "code" { Flush() }

/^# / {
  Flush()
  name = substr($0, 3)
  title = toupper(name)
  gsub(/-/, "\\-", title)
  gsub(/-/, "\\-", name)
  printf ".TH %s 1 \"\" \"Zendra Manager %s\" \"User Commands\"\n", title, version
  # A terminal without the middle dot (groff -Tascii) shows a full stop.
  print ".if !c\\[pc] .char \\[pc] ."
  print ".SH NAME"
  print name " \\- " summary
  print ".SH DESCRIPTION"
  next
}
/^## / { Flush(); text = toupper(substr($0, 4)); gsub(/-/, "\\-", text); print ".SH " text; next }
/^### / { Flush(); print ".SS " Inline(substr($0, 5)); next }

/^\|/ { if (kind != "table") { Flush(); kind = "table" } TableRow($0); next }
kind == "table" { Flush() }

/^[ \t]*$/ { if (kind != "code") Flush(); next }

/^    / && kind == "" { print ".PP"; print ".RS 4"; print ".nf"; kind = "code"; Code(substr($0, 5)); next }

/^- / { Flush(); kind = "item"; Add(substr($0, 3)); next }
/^  / && kind == "item" { Add(Trim($0)); next }

{ if (kind != "paragraph") { Flush(); kind = "paragraph" } Add($0) }

END { Flush() }
