#!/usr/bin/env bash
# Hostile inputs: time, peak memory (/usr/bin/time -v) and output size of kvxdump, docpress
# and g4tool on inputs that declare far more than they hold, and on the worst cases of the
# readers' stated bounds (the headers of sheet_writer.h, ods_reader.cpp, xlsx_reader.cpp,
# ppt_reader.cpp, kvxdump.cpp and g4tool.cpp):
#
#   sparse.xlsx/.ods  1,000 rows, one cell in column XFD (the test fixtures)
#   far.xlsx/.ods     one cell at A1048576 (the test fixtures)
#   gaps.xlsx         400 rows of 964 cells 16 columns apart: every gap written cell by cell
#   repeat.ods        rows of 1,024 copies of a row whose cell is repeated 1,024 times
#   corners.xlsx      cells at A1 and XFD1048576 (a grid of 2^34 cells)
#   corners20.xlsx    twenty sheets that are all that one sheet
#   tiny.g4           three bytes decoded as 100,000 x 100,000 and as 1 x 2,147,483,647
#                     pixels, with and without a 1 GB address-space limit
#   /dev/zero         through kvxdump
#   fake.ppt          a text file named .ppt
#
#   bench/hostile_inputs.sh [--dist DIR] [--build-dir DIR]
#
#   --dist DIR        an installed layout to time (a copy of an older build's dist/, to
#                     compare before and after with one script)
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$repo/build-bench"
dist=
while (($#)); do
  case "$1" in
    --dist) dist=$(cd "${2:?--dist needs a folder}" && pwd); shift 2 ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
die() { echo "hostile_inputs: $*" >&2; exit 1; }
if [[ -z $dist ]]; then
  . "$repo/bench/release_build.sh"
  release_tree
  release_build "$(nproc)" kvxdump docpress g4tool pagecast kvx
  dist="$build_dir/dist"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/hostile-inputs.XXXXXX")
trap 'rm -rf "$work"' EXIT
data="$repo/filters/framework/tests/data"
cp "$data"/sparse.xlsx "$data"/sparse.ods "$data"/far.xlsx "$data"/far.ods "$work/"
cd "$work"
printf '\xff\xff\x00' > tiny.g4
printf 'not a presentation\n' > fake.ppt
python3 - <<'EOF'
import zipfile

NS = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" ' \
     'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'


def column(n):
    s = ""
    while n:
        n, r = divmod(n - 1, 26)
        s = chr(65 + r) + s
    return s


def xlsx(path, rows, sheets=1):
    parts = {
        "xl/workbook.xml": '<workbook %s><sheets>%s</sheets></workbook>' % (NS, "".join(
            '<sheet name="S%d" r:id="r%d"/>' % (k, k) for k in range(sheets))),
        "xl/_rels/workbook.xml.rels": '<Relationships>%s</Relationships>' % "".join(
            '<Relationship Id="r%d" Target="worksheets/s.xml"/>' % k for k in range(sheets)),
        "xl/worksheets/s.xml": '<worksheet %s><sheetData>%s</sheetData></worksheet>' % (NS, "".join(rows)),
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts.items():
            z.writestr(name, text)


xlsx("gaps.xlsx", ['<row r="%d">%s</row>' % (r, "".join(
    '<c r="%s%d"><v>%d</v></c>' % (column(c), r, c) for c in range(1, 16385, 17))) for r in range(1, 401)])
corners = ['<row r="1"><c r="A1"><v>1</v></c></row>', '<row r="1048576"><c r="XFD1048576"><v>2</v></c></row>']
xlsx("corners.xlsx", corners)
xlsx("corners20.xlsx", corners, 20)
content = ('<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
           'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
           'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>'
           '<table:table table:name="S">%s</table:table></office:spreadsheet></office:body>'
           '</office:document-content>') % ("".join(
               '<table:table-row table:number-rows-repeated="1024"><table:table-cell '
               'table:number-columns-repeated="1024" office:value-type="string"><text:p>x</text:p>'
               '</table:table-cell></table:table-row>' for _ in range(4)))
with zipfile.ZipFile("repeat.ods", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
    z.writestr("content.xml", content)
EOF
for f in *.xlsx *.ods; do printf '%-14s %9s bytes\n' "$f" "$(stat -c %s "$f")"; done

# run NAME OUTPUT COMMAND...: one line of exit code, seconds, peak KB and output bytes.
run() {
  local name=$1 out=$2
  shift 2
  local rc=0
  /usr/bin/time -v -o time.txt "$@" > stdout.txt 2> stderr.txt || rc=$?
  local size
  size=$(stat -c %s "$out" 2>/dev/null || echo 0)
  printf '%-22s exit %-4s %8s s %10s KB %12s bytes  %s\n' "$name" "$rc" \
    "$(awk -F': ' '/Elapsed/ {print $2}' time.txt)" "$(awk -F': ' '/Maximum resident/ {print $2}' time.txt)" \
    "$size" "$(head -c 80 stderr.txt | tr '\n' ' ')"
  rm -f "$out"
}

for f in sparse.xlsx sparse.ods far.xlsx far.ods gaps.xlsx repeat.ods corners.xlsx corners20.xlsx fake.ppt; do
  run "kvxdump --text $f" stdout.txt "$dist/kvxdump" --text "$f"
  run "docpress $f" out.htm "$dist/docpress" "$f" out.htm
done
run "kvxdump /dev/zero" stdout.txt "$dist/kvxdump" /dev/zero
run "g4tool 100000^2" out.pbm "$dist/g4tool" dec --width 100000 --height 100000 tiny.g4 out.pbm
run "g4tool 1 x 2^31-1" out.pbm "$dist/g4tool" dec --width 1 --height 2147483647 tiny.g4 out.pbm
run "g4tool 100000^2, 1 GB" out.pbm bash -c "ulimit -v 1048576; exec '$dist/g4tool' dec --width 100000 --height 100000 tiny.g4 out.pbm"
run "g4tool 2^31-1, 1 GB" out.pbm bash -c "ulimit -v 1048576; exec '$dist/g4tool' dec --width 1 --height 2147483647 tiny.g4 out.pbm"
