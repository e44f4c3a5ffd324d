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
ls -l "$here"/office.*
