#!/usr/bin/env bash
# Turns the flat ODF sources of the reader tests (office.fodt, office.fods, office.fodp)
# into the formats LibreOffice writes, once, by hand: doc, docx, odt, rtf and pdf of the
# text; xls, xlsx and ods of the workbook, with LibreOffice's CSV of each sheet
# (office.sheet<number>.csv, UTF-8); ppt of the slides; ods of the sparse workbooks. The
# outputs are committed; CI never runs LibreOffice (scripts/setup fixtures installs it).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lo=(libreoffice --headless -env:UserInstallation=file://"$work"/profile --convert-to)
cd "$here"
for ext in doc docx odt rtf pdf; do "${lo[@]}" "$ext" --outdir "$work" office.fodt >/dev/null; done
for ext in xls xlsx ods; do "${lo[@]}" "$ext" --outdir "$work" office.fods >/dev/null; done
"${lo[@]}" ppt --outdir "$work" office.fodp >/dev/null
# The sparse workbooks (make_sparse_fixtures.py) as LibreOffice writes them in ODF: empty
# stretches as repeated rows and cells.
"${lo[@]}" ods --outdir "$here" sparse.xlsx far.xlsx >/dev/null
# CSV of every sheet: UTF-8 (76), comma, quote, formatted as shown, sheet -1 = all.
"${lo[@]}" 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
  --outdir "$work" office.fods >/dev/null
cp "$work"/office.* "$here"/
# The CSV files are named by sheet; they are kept by sheet number (office.sheet1.csv ...).
n=0
for sheet in $(grep -o 'table:table table:name="[^"]*"' office.fods | sed 's/.*name="\(.*\)"/\1/'); do
  n=$((n + 1))
  cp "$work/office-$sheet.csv" "$here/office.sheet$n.csv"
done
# cells.xlsx, cells.ods and cells.xls: LibreOffice's workbooks of cells.csv (numbers,
# decimals, percentages, dates, times), and cells.shown.csv, its CSV of the ODS with the
# cells as shown, the text the readers' numeric cells are checked against.
for ext in xlsx ods xls; do "${lo[@]}" "$ext" --infilter="Text - txt - csv (StarCalc):44,34,76,1" --outdir "$here" cells.csv >/dev/null; done
"${lo[@]}" 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false' --outdir "$work" cells.ods >/dev/null
cp "$work"/cells.csv "$here"/cells.shown.csv
# zh-title.doc and zh-title.rtf: GnuPG's Traditional Chinese help as a page with a Chinese
# title, which LibreOffice writes in UTF-8 into the Word file's summary information and
# twice into the RTF (as "?" for each Chinese character, and as Unicode in \*\ud).
python3 - "$work"/zh-title.html <<'PY'
import html, sys
lines = open("/usr/share/gnupg/help.zh_TW.txt", encoding="utf-8").read().splitlines()
body = "".join("<p>%s</p>" % html.escape(l) for l in lines if l.strip() and l != "." and not l.startswith("#"))
with open(sys.argv[1], "w", encoding="utf-8") as fh:
    fh.write('<html><head><meta charset="utf-8"><title>第 1 章 GnuPG 線上說明</title></head><body>%s</body></html>' % body)
PY
# A page opens in Writer/Web, which needs the export filters named.
for f in "doc:MS Word 97" "rtf:Rich Text Format"; do "${lo[@]}" "$f" --outdir "$work" "$work"/zh-title.html >/dev/null; done
cp "$work"/zh-title.doc "$work"/zh-title.rtf "$here"/
ls -l "$here"/office.* "$here"/cells.* "$here"/zh-title.*
