#!/usr/bin/env bash
# Makes the office documents of the indexer's extraction tests, once, by hand, from system
# texts through LibreOffice (scripts/setup fixtures installs it): bsd.docx and bsd.odt from
# the BSD licence of /usr/share/common-licenses; debian.xlsx and debian.ods from
# distro-info's debian.csv; gnupg-help.rtf from the start of GnuPG's Traditional Chinese
# help (/usr/share/gnupg/help.zh_TW.txt) as a page with a Chinese title; and slides.pptx,
# the smallest PowerPoint 2007 package (made with Python's zipfile: LibreOffice's
# presentation part is not installed), for which the framework has no reader. The outputs
# are committed; CI never runs LibreOffice.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lo=(soffice --headless -env:UserInstallation=file://"$work"/profile)
cp /usr/share/common-licenses/BSD "$work"/bsd.txt
for f in "docx:MS Word 2007 XML" "odt:writer8"; do
  "${lo[@]}" --infilter="Text (encoded):UTF8,LF,,," --convert-to "$f" --outdir "$work" "$work"/bsd.txt >/dev/null
done
cp /usr/share/distro-info/debian.csv "$work"/debian.csv
for f in "xlsx:Calc MS Excel 2007 XML" "ods:calc8"; do
  "${lo[@]}" --infilter="Text - txt - csv (StarCalc):44,34,76,1" --convert-to "$f" --outdir "$work" "$work"/debian.csv >/dev/null
done
python3 - "$work"/gnupg-help.html <<'PY'
import html, sys
lines = open("/usr/share/gnupg/help.zh_TW.txt", encoding="utf-8").read().splitlines()[19:40]
body = "".join("<p>%s</p>" % html.escape(l) for l in lines if l.strip() and l != ".")
with open(sys.argv[1], "w", encoding="utf-8") as fh:
    fh.write('<html><head><meta charset="utf-8"><title>GnuPG 線上說明</title></head><body>%s</body></html>' % body)
PY
"${lo[@]}" --convert-to "rtf:Rich Text Format" --outdir "$work" "$work"/gnupg-help.html >/dev/null
python3 - "$work"/slides.pptx <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
               '<Override PartName="/ppt/presentation.xml" ContentType="application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml"/></Types>')
    z.writestr("ppt/presentation.xml", '<?xml version="1.0"?><p:presentation xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"/>')
PY
cp "$work"/bsd.docx "$work"/bsd.odt "$work"/debian.xlsx "$work"/debian.ods "$work"/gnupg-help.rtf "$work"/slides.pptx "$here"/
ls -l "$here"
