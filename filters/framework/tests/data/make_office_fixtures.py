#!/usr/bin/env python3
"""Writes the small OOXML and ODF fixtures of the reader tests (sample.docx, sample.odt,
sample.xlsx, sample.ods) with Python's zipfile, part by part, so each holds exactly the
structure a test looks for: headings and outline levels, runs, a table with column and
row spans, notes, hyperlinks, bookmarks, properties, Latin and Chinese (Big5 range) text;
sheets with shared strings, numbers, dates and number formats. Run once; the outputs are
committed. Usage: make_office_fixtures.py OUTPUT_DIR"""
import os
import sys
import zipfile

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" ' \
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
CT = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n' \
     '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">' \
     '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>' \
     '<Default Extension="xml" ContentType="application/xml"/>%s</Types>'
CORE = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n' \
       '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" ' \
       'xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Sample document</dc:title>' \
       '<dc:subject>Testing</dc:subject><dc:creator>Ada Lovelace</dc:creator>' \
       '<cp:keywords>alpha beta</cp:keywords><dc:description>A small fixture</dc:description>' \
       '</cp:coreProperties>'


def write_zip(path, parts, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, "w") as z:
        for name, text in parts:
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), text.encode("utf-8"),
                       compress_type=zipfile.ZIP_STORED if name == "mimetype" else compression)


def run(text, props=""):
    rpr = "<w:rPr>%s</w:rPr>" % props if props else ""
    return '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (rpr, text)


def para(content, style=None):
    ppr = '<w:pPr><w:pStyle w:val="%s"/></w:pPr>' % style if style else ""
    return "<w:p>%s%s</w:p>" % (ppr, content)


def cell(text, pr=""):
    return "<w:tc><w:tcPr>%s</w:tcPr>%s</w:tc>" % (pr, para(run(text)))


def docx(path):
    body = "".join([
        para(run("Introduction"), "Heading1"),
        para(run("Plain ") + run("bold", "<w:b/>") + run(" and ") + run("italic", "<w:i/>") + run(" text") +
             '<w:r><w:rPr><w:vertAlign w:val="superscript"/></w:rPr><w:footnoteReference w:id="1"/></w:r>' +
             run(".")),
        para('<w:bookmarkStart w:id="0" w:name="intro_mark"/>' + run("See ") +
             '<w:hyperlink r:id="rId9">' + run("the site") + '</w:hyperlink>' + run(" or go ") +
             '<w:hyperlink w:anchor="intro_mark">' + run("back") + '</w:hyperlink><w:bookmarkEnd w:id="0"/>'),
        para(run("\u4e2d\u6587\u6e2c\u8a66 Big5 \u7bc4\u570d")),
        para(run("Details"), "MyHeading"),
        "<w:tbl><w:tblGrid><w:gridCol/><w:gridCol/><w:gridCol/></w:tblGrid>"
        "<w:tr>" + cell("Wide", '<w:gridSpan w:val="2"/>') + cell("Tall", '<w:vMerge w:val="restart"/>') + "</w:tr>"
        "<w:tr>" + cell("a1") + cell("b1") + cell("", "<w:vMerge/>") + "</w:tr>"
        "<w:tr>" + cell("a2") + cell("b2") + cell("c2") + "</w:tr></w:tbl>",
        para(run("After the table") + '<w:r><w:endnoteReference w:id="2"/></w:r>' +
             '<w:r><w:br w:type="page"/></w:r>' + run("Second page")),
    ])
    document = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document %s><w:body>%s' \
               '<w:sectPr/></w:body></w:document>' % (W, body)
    styles = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:styles %s>' \
             '<w:style w:type="paragraph" w:styleId="Normal"><w:name w:val="Normal"/></w:style>' \
             '<w:style w:type="paragraph" w:styleId="Heading1"><w:name w:val="heading 1"/>' \
             '<w:basedOn w:val="Normal"/><w:pPr><w:outlineLvl w:val="0"/></w:pPr></w:style>' \
             '<w:style w:type="paragraph" w:styleId="Heading2"><w:name w:val="heading 2"/>' \
             '<w:basedOn w:val="Heading1"/></w:style>' \
             '<w:style w:type="paragraph" w:styleId="MyHeading"><w:name w:val="My Heading"/>' \
             '<w:basedOn w:val="Heading2"/></w:style></w:styles>' % W
    notes = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:%ss %s>' \
            '<w:%s w:type="separator" w:id="-1"><w:p><w:r><w:separator/></w:r></w:p></w:%s>' \
            '<w:%s w:id="%s">%s</w:%s></w:%ss>'
    footnotes = notes % ("footnote", W, "footnote", "footnote", "footnote", "1",
                         para(run("A footnote's text")), "footnote", "footnote")
    endnotes = notes % ("endnote", W, "endnote", "endnote", "endnote", "2", para(run("An endnote")), "endnote",
                        "endnote")
    rels = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n' \
           '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' \
           '<Relationship Id="rId9" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/' \
           'hyperlink" Target="https://example.org/x" TargetMode="External"/></Relationships>'
    root_rels = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n' \
                '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' \
                '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/' \
                'relationships/officeDocument" Target="word/document.xml"/></Relationships>'
    ct = CT % '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-' \
              'officedocument.wordprocessingml.document.main+xml"/>'
    write_zip(path, [("[Content_Types].xml", ct), ("_rels/.rels", root_rels), ("word/document.xml", document),
                     ("word/styles.xml", styles), ("word/footnotes.xml", footnotes),
                     ("word/endnotes.xml", endnotes), ("word/_rels/document.xml.rels", rels),
                     ("docProps/core.xml", CORE)])


ODF_NS = 'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" ' \
         'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" ' \
         'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" ' \
         'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" ' \
         'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" ' \
         'xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:dc="http://purl.org/dc/elements/1.1/" ' \
         'xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" ' \
         'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.3"'
MANIFEST = '<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest ' \
           'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3">' \
           '<manifest:file-entry manifest:full-path="/" manifest:media-type="%s"/>' \
           '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>' \
           '</manifest:manifest>'
META = '<?xml version="1.0" encoding="UTF-8"?>\n<office:document-meta %s><office:meta>' \
       '<dc:title>Sample document</dc:title><dc:subject>Testing</dc:subject>' \
       '<meta:initial-creator>Ada Lovelace</meta:initial-creator><meta:keyword>alpha</meta:keyword>' \
       '<meta:keyword>beta</meta:keyword><dc:description>A small fixture</dc:description>' \
       '</office:meta></office:document-meta>' % ODF_NS


def odt(path):
    content = '<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content %s>' \
              '<office:automatic-styles>' \
              '<style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold"/>' \
              '</style:style>' \
              '<style:style style:name="T2" style:family="text"><style:text-properties fo:font-style="italic"/>' \
              '</style:style>' \
              '<style:style style:name="P1" style:family="paragraph" style:parent-style-name="MyHeading"/>' \
              '</office:automatic-styles><office:body><office:text>' \
              '<text:h text:style-name="Heading_20_1" text:outline-level="1">Introduction</text:h>' \
              '<text:p>Plain <text:span text:style-name="T1">bold</text:span> and ' \
              '<text:span text:style-name="T2">italic</text:span> text<text:note text:id="ftn1" ' \
              'text:note-class="footnote"><text:note-citation>1</text:note-citation><text:note-body>' \
              '<text:p>A footnote\'s text</text:p></text:note-body></text:note>.</text:p>' \
              '<text:p><text:bookmark text:name="intro_mark"/>See <text:a xlink:type="simple" ' \
              'xlink:href="https://example.org/x">the site</text:a> or go <text:a xlink:type="simple" ' \
              'xlink:href="#intro_mark">back</text:a></text:p>' \
              '<text:p>\u4e2d\u6587\u6e2c\u8a66 Big5<text:s/>\u7bc4\u570d</text:p>' \
              '<text:p text:style-name="P1">Details</text:p>' \
              '<table:table table:name="T"><table:table-column table:number-columns-repeated="3"/>' \
              '<table:table-row><table:table-cell table:number-columns-spanned="2"><text:p>Wide</text:p>' \
              '</table:table-cell><table:covered-table-cell/><table:table-cell table:number-rows-spanned="2">' \
              '<text:p>Tall</text:p></table:table-cell></table:table-row>' \
              '<table:table-row><table:table-cell><text:p>a1</text:p></table:table-cell><table:table-cell>' \
              '<text:p>b1</text:p></table:table-cell><table:covered-table-cell/></table:table-row>' \
              '<table:table-row><table:table-cell><text:p>a2</text:p></table:table-cell><table:table-cell>' \
              '<text:p>b2</text:p></table:table-cell><table:table-cell><text:p>c2</text:p></table:table-cell>' \
              '</table:table-row></table:table>' \
              '<text:p>After the table<text:note text:id="edn1" text:note-class="endnote"><text:note-citation>' \
              'i</text:note-citation><text:note-body><text:p>An endnote</text:p></text:note-body></text:note>' \
              '<text:line-break/>Second page</text:p>' \
              '</office:text></office:body></office:document-content>' % ODF_NS
    styles = '<?xml version="1.0" encoding="UTF-8"?>\n<office:document-styles %s><office:styles>' \
             '<style:style style:name="Heading" style:family="paragraph"/>' \
             '<style:style style:name="Heading_20_2" style:family="paragraph" style:parent-style-name="Heading" ' \
             'style:default-outline-level="2"/>' \
             '<style:style style:name="MyHeading" style:family="paragraph" ' \
             'style:parent-style-name="Heading_20_2"/></office:styles></office:document-styles>' % ODF_NS
    mime = "application/vnd.oasis.opendocument.text"
    write_zip(path, [("mimetype", mime), ("content.xml", content), ("styles.xml", styles), ("meta.xml", META),
                     ("META-INF/manifest.xml", MANIFEST % mime)], zipfile.ZIP_STORED)


def xlsx(path):
    strings = ["Name", "Value", "\u4e2d\u6587\u6e2c\u8a66", "rich <b>", "Big5 \u7bc4\u570d"]
    sst = "".join("<si><t>%s</t></si>" % x.replace("<", "&lt;").replace(">", "&gt;") for x in strings[:3])
    sst += '<si><r><t>rich </t></r><r><rPr><b/></rPr><t>&lt;b&gt;</t></r><rPh sb="0" eb="1"><t>ignored</t></rPh></si>'
    sst += "<si><t>%s</t></si>" % strings[4]
    shared = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="http://schemas.openxmlformats.' \
             'org/spreadsheetml/2006/main" count="5" uniqueCount="5">%s</sst>' % sst
    ns = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" ' \
         'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
    workbook = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<workbook %s><workbookPr/><sheets>' \
               '<sheet name="Data" sheetId="1" r:id="rId1"/><sheet name="\u4e2d\u6587" sheetId="2" r:id="rId2"/>' \
               '</sheets></workbook>' % ns
    styles = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<styleSheet %s><numFmts count="2">' \
             '<numFmt numFmtId="164" formatCode="yyyy\\-mm\\-dd"/>' \
             '<numFmt numFmtId="165" formatCode="#,##0.00;[Red]\\-#,##0.00"/></numFmts>' \
             '<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="9"/><xf numFmtId="164"/><xf numFmtId="165"/>' \
             '<xf numFmtId="4"/></cellXfs></styleSheet>' % ns
    sheet1 = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet %s><sheetData>' \
             '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>' \
             '<row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2"><v>1234.5</v></c></row>' \
             '<row r="3"><c r="A3" t="s"><v>3</v></c><c r="B3" s="1"><v>0.25</v></c></row>' \
             '<row r="4"><c r="A4" t="inlineStr"><is><t>inline</t></is></c><c r="B4" s="2"><v>45306</v></c></row>' \
             '<row r="5"><c r="A5" t="str"><f>"for"&amp;"mula"</f><v>formula</v></c><c r="B5" s="3"><v>-12.5</v>' \
             '</c><c r="C5" s="4"><v>1234567.891</v></c></row>' \
             '<row r="7"><c r="A7" t="b"><v>1</v></c><c r="C7" t="e"><v>#DIV/0!</v></c></row>' \
             '</sheetData></worksheet>' % ns
    sheet2 = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet %s><sheetData>' \
             '<row r="1"><c r="B1" t="s"><v>4</v></c></row></sheetData></worksheet>' % ns
    rels = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n' \
           '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' \
           '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/' \
           'worksheet" Target="worksheets/sheet1.xml"/>' \
           '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/' \
           'worksheet" Target="/xl/worksheets/sheet2.xml"/></Relationships>'
    ct = CT % '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-' \
              'officedocument.spreadsheetml.sheet.main+xml"/>'
    write_zip(path, [("[Content_Types].xml", ct), ("xl/workbook.xml", workbook), ("xl/_rels/workbook.xml.rels", rels),
                     ("xl/sharedStrings.xml", shared), ("xl/styles.xml", styles),
                     ("xl/worksheets/sheet1.xml", sheet1), ("xl/worksheets/sheet2.xml", sheet2),
                     ("docProps/core.xml", CORE)])


def ods(path):
    content = '<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content %s><office:automatic-styles>' \
              '<number:percentage-style style:name="N1"><number:number number:decimal-places="0" ' \
              'number:min-integer-digits="1"/><number:text>%%</number:text></number:percentage-style>' \
              '<number:date-style style:name="N2"><number:year number:style="long"/><number:text>-</number:text>' \
              '<number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/>' \
              '</number:date-style>' \
              '<number:number-style style:name="N3P0"><number:number number:decimal-places="2" ' \
              'number:min-integer-digits="1" number:grouping="true"/></number:number-style>' \
              '<number:number-style style:name="N3"><style:text-properties fo:color="#ff0000"/>' \
              '<number:text>-</number:text><number:number number:decimal-places="2" number:min-integer-digits="1" ' \
              'number:grouping="true"/><style:map style:condition="value()&gt;=0" style:apply-style-name="N3P0"/>' \
              '</number:number-style>' \
              '<number:time-style style:name="N4"><number:hours number:style="long"/><number:text>:</number:text>' \
              '<number:minutes number:style="long"/></number:time-style>' \
              '<style:style style:name="ce1" style:family="table-cell" style:data-style-name="N1"/>' \
              '<style:style style:name="ce2" style:family="table-cell" style:data-style-name="N2"/>' \
              '<style:style style:name="ce3" style:family="table-cell" style:data-style-name="N3"/>' \
              '<style:style style:name="ce4" style:family="table-cell" style:data-style-name="N4"/>' \
              '</office:automatic-styles><office:body><office:spreadsheet>' \
              '<table:table table:name="Data"><table:table-column table:number-columns-repeated="3"/>' \
              '<table:table-row><table:table-cell office:value-type="string"><text:p>Name</text:p>' \
              '</table:table-cell><table:table-cell office:value-type="string"><text:p>Value</text:p>' \
              '</table:table-cell><table:table-cell table:number-columns-repeated="1020"/></table:table-row>' \
              '<table:table-row><table:table-cell office:value-type="string"><text:p>\u4e2d\u6587\u6e2c\u8a66' \
              '</text:p></table:table-cell><table:table-cell office:value-type="float" office:value="1234.5">' \
              '<text:p>1234.5</text:p></table:table-cell></table:table-row>' \
              '<table:table-row><table:table-cell office:value-type="string"><text:p>rich <text:span>&lt;b&gt;' \
              '</text:span></text:p></table:table-cell><table:table-cell table:style-name="ce1" ' \
              'office:value-type="percentage" office:value="0.25"><text:p>25%%</text:p></table:table-cell>' \
              '</table:table-row>' \
              '<table:table-row><table:table-cell office:value-type="string"><text:p>inline</text:p>' \
              '</table:table-cell><table:table-cell table:style-name="ce2" office:value-type="date" ' \
              'office:date-value="2024-01-15"><text:p>2024-01-15</text:p></table:table-cell></table:table-row>' \
              '<table:table-row><table:table-cell office:value-type="string"><text:p>formula</text:p>' \
              '</table:table-cell><table:table-cell table:style-name="ce3" office:value-type="float" ' \
              'office:value="-12.5"><text:p>-12.50</text:p></table:table-cell><table:table-cell ' \
              'table:style-name="ce4" office:value-type="time" office:time-value="PT10H30M00S"><text:p>10:30' \
              '</text:p></table:table-cell></table:table-row>' \
              '<table:table-row table:number-rows-repeated="1"><table:table-cell/></table:table-row>' \
              '<table:table-row><table:table-cell office:value-type="boolean" office:boolean-value="true">' \
              '<text:p>TRUE</text:p></table:table-cell><table:covered-table-cell/><table:table-cell ' \
              'office:value-type="string"><text:p>#DIV/0!</text:p></table:table-cell></table:table-row>' \
              '<table:table-row table:number-rows-repeated="1048569"><table:table-cell ' \
              'table:number-columns-repeated="1024"/></table:table-row></table:table>' \
              '<table:table table:name="\u4e2d\u6587"><table:table-row><table:table-cell/><table:table-cell ' \
              'office:value-type="string"><text:p>Big5 \u7bc4\u570d</text:p></table:table-cell></table:table-row>' \
              '</table:table></office:spreadsheet></office:body></office:document-content>' % ODF_NS
    mime = "application/vnd.oasis.opendocument.spreadsheet"
    write_zip(path, [("mimetype", mime), ("content.xml", content), ("meta.xml", META),
                     ("META-INF/manifest.xml", MANIFEST % mime)])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    docx(os.path.join(out, "sample.docx"))
    odt(os.path.join(out, "sample.odt"))
    xlsx(os.path.join(out, "sample.xlsx"))
    ods(os.path.join(out, "sample.ods"))


if __name__ == "__main__":
    main()
