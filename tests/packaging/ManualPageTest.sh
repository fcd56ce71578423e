#!/usr/bin/env bash
# The manual page converter (packaging/md2man.awk): what troff would take for a
# request or an escape stays text, the Markdown the command line's page uses comes
# out as man(7) shows it, and the pages the build made render without a warning.
#   ManualPageTest.sh CONVERTER MAN_FOLDER
set -euo pipefail
converter=$1
man_folder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expect TEXT: TEXT is a line (or part of one) of the rendered page
  if ! grep -qF -- "$1" "$work/page.txt"; then
    echo "missing from the rendered page: $1"
    failures=$((failures + 1))
  fi
}

cat > "$work/page.md" <<'MD'
# zendra-test

A paragraph with `--an-option` and **bold**, a [link](docs/x.md) and `code that
runs over a line`; the next line starts with a dot
.hidden looks like a request, a backslash \n stays
'quoted' too.

    $ zendra-test --flag \
          --more
    ...

## Global options

| option | meaning | default |
|---|---|---|
| `--mode a\|b` | the mode | a |

- first item
  continued here
- second item

### sub heading --x

```
fenced -x
.dot
```
MD

awk -v version=9.9 -v "summary=a test page" -f "$converter" "$work/page.md" > "$work/page.1"
warnings=$(LC_ALL=C groff -man -Tascii -ww -z "$work/page.1" 2>&1)
if [ -n "$warnings" ]; then echo "troff warns: $warnings"; failures=$((failures + 1)); fi
LC_ALL=C groff -man -Tascii -rLL=200n -P-cbou "$work/page.1" > "$work/page.txt"

expect "zendra-test - a test page"
expect "Zendra Manager 9.9"
expect "A paragraph with --an-option and bold, a link and code that runs over a line; the next line starts with a dot .hidden looks like a request, a backslash \n stays 'quoted' too."
expect "           \$ zendra-test --flag \\"
expect "                 --more"
expect "           ..."
expect "GLOBAL OPTIONS"
expect "--mode a|b"
expect "the mode"
expect "default: a"
expect "first item continued here"
expect "second item"
expect "sub heading --x"
expect "fenced -x"
expect ".dot"
# Nothing of the Markdown itself is left over.
if grep -nE '`|\*\*|\]\(|^\s*\|' "$work/page.txt"; then
  echo "Markdown left in the rendered page"; failures=$((failures + 1))
fi

# The pages of this build.
pages=0
for page in "$man_folder"/*.1.gz; do
  [ -e "$page" ] || continue
  pages=$((pages + 1))
  warnings=$(zcat "$page" | LC_ALL=C groff -man -Tascii -ww -z 2>&1)
  if [ -n "$warnings" ]; then echo "$page: troff warns: $warnings"; failures=$((failures + 1)); fi
  if ! zcat "$page" | LC_ALL=C groff -man -Tascii -P-cbou | grep -q "^NAME"; then
    echo "$page: no NAME section"; failures=$((failures + 1))
  fi
done
if [ "$pages" -eq 0 ]; then echo "no manual page in $man_folder"; failures=$((failures + 1)); fi

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "manual pages: converter checks and $pages built pages passed"
