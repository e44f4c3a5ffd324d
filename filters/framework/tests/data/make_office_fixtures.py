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
         'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" office:version="1.3"'
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


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    docx(os.path.join(out, "sample.docx"))
    odt(os.path.join(out, "sample.odt"))


if __name__ == "__main__":
    main()
