#!/usr/bin/env python3
"""Writes the sparse spreadsheet fixtures of the sheet tests with Python's zipfile:
sparse.xlsx (rows 1-1000 with their number in column A, the text "note" at XFD1),
far.xlsx (the text "far" alone at A1048576) and repeat.ods (one row whose cell "r" is
repeated over 2,000 columns, more than the reader copies). LibreOffice turns the two
workbooks into sparse.ods and far.ods (make-fixtures.sh). Run once; the outputs are
committed. Usage: make_sparse_fixtures.py OUTPUT_DIR"""
import os
import sys
import zipfile

CT = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
      '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
      '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
      '<Default Extension="xml" ContentType="application/xml"/>'
      '<Override PartName="/xl/workbook.xml" '
      'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
      '<Override PartName="/xl/worksheets/sheet1.xml" '
      'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>')
RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
        'officeDocument" Target="xl/workbook.xml"/></Relationships>')
WB = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
      '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
      '<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>')
WB_RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
           '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
           '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
           'worksheet" Target="worksheets/sheet1.xml"/></Relationships>')


def sheet(rows):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            '<sheetData>%s</sheetData></worksheet>' % "".join(rows))


def write_xlsx(path, rows):
    with zipfile.ZipFile(path, "w") as z:
        for name, text in [("[Content_Types].xml", CT), ("_rels/.rels", RELS), ("xl/workbook.xml", WB),
                           ("xl/_rels/workbook.xml.rels", WB_RELS), ("xl/worksheets/sheet1.xml", sheet(rows))]:
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), text.encode("utf-8"),
                       compress_type=zipfile.ZIP_DEFLATED)


ODS = ('<?xml version="1.0" encoding="UTF-8"?>\n'
       '<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
       'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
       'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>'
       '<table:table table:name="Sheet1"><table:table-row>'
       '<table:table-cell table:number-columns-repeated="2000" office:value-type="string"><text:p>r</text:p>'
       '</table:table-cell></table:table-row></table:table></office:spreadsheet></office:body>'
       '</office:document-content>')


def write_ods(path, content):
    with zipfile.ZipFile(path, "w") as z:
        for name, text in [("mimetype", "application/vnd.oasis.opendocument.spreadsheet"), ("content.xml", content)]:
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), text.encode("utf-8"),
                       compress_type=zipfile.ZIP_STORED if name == "mimetype" else zipfile.ZIP_DEFLATED)


def main():
    out = sys.argv[1]
    rows = []
    for r in range(1, 1001):
        note = '<c r="XFD1" t="inlineStr"><is><t>note</t></is></c>' if r == 1 else ""
        rows.append('<row r="%d"><c r="A%d"><v>%d</v></c>%s</row>' % (r, r, r, note))
    write_xlsx(os.path.join(out, "sparse.xlsx"), rows)
    write_xlsx(os.path.join(out, "far.xlsx"),
               ['<row r="1048576"><c r="A1048576" t="inlineStr"><is><t>far</t></is></c></row>'])
    write_ods(os.path.join(out, "repeat.ods"), ODS)


main()
