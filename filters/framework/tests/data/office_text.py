#!/usr/bin/env python3
"""Independent text of an OOXML or ODF package for the reader tests, with Python's zipfile
and xml.etree: the words of the running text in document order (notes at their
references, cells row by row; of workbooks the text cells), joined by single blanks.
Properties, note citations, deleted text, field instructions and numbers give no words. Usage: office_text.py FILE"""
import sys
import zipfile
import xml.etree.ElementTree as ET

WNS = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
TEXT = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"
OFFICE = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"


def docx(z):
    notes = {}
    for part, tag in (("word/footnotes.xml", "footnote"), ("word/endnotes.xml", "endnote")):
        if part in z.namelist():
            for n in ET.fromstring(z.read(part)).iter(WNS + tag):
                notes[(tag, n.get(WNS + "id"))] = n
    out = []

    def walk(e):
        tag = e.tag
        if tag in (WNS + "delText", WNS + "instrText"):
            return
        if tag == WNS + "t" and e.text:
            out.append(e.text)
        elif tag in (WNS + "tab", WNS + "br", WNS + "cr"):
            out.append(" ")
        elif tag in (WNS + "footnoteReference", WNS + "endnoteReference"):
            kind = "footnote" if tag == WNS + "footnoteReference" else "endnote"
            note = notes.get((kind, e.get(WNS + "id")))
            if note is not None:
                out.append(" ")
                walk(note)
                out.append(" ")
        for c in e:
            walk(c)
        if tag in (WNS + "p", WNS + "tc"):
            out.append(" ")

    walk(ET.fromstring(z.read("word/document.xml")))
    return "".join(out)


def odt(z):
    out = []

    def walk(e):
        tag = e.tag
        if tag == TEXT + "note-citation":
            return
        if e.text and tag != TEXT + "s":
            out.append(e.text)
        if tag == TEXT + "s":
            out.append(" " * int(e.get(TEXT + "c", "1")))
        elif tag in (TEXT + "tab", TEXT + "line-break"):
            out.append(" ")
        elif tag == TEXT + "note":
            out.append(" ")
        for c in e:
            walk(c)
            if c.tail:
                out.append(c.tail)
        if tag in (TEXT + "p", TEXT + "h", TEXT + "note"):
            out.append(" ")

    root = ET.fromstring(z.read("content.xml"))
    for body in root.iter(OFFICE + "text"):
        walk(body)
    return "".join(out)


XNS = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
RNS = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
TABLE = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"


def xlsx(z):
    """The text cells of every sheet (numbers are left out: they are shown by formats)."""
    strings = []
    if "xl/sharedStrings.xml" in z.namelist():
        for si in ET.fromstring(z.read("xl/sharedStrings.xml")).iter(XNS + "si"):
            strings.append("".join(t.text or "" for t in si.iter(XNS + "t")
                                   if not any(t in list(ph.iter(XNS + "t")) for ph in si.iter(XNS + "rPh"))))
    rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))}
    out = []
    for sheet in ET.fromstring(z.read("xl/workbook.xml")).iter(XNS + "sheet"):
        target = rels[sheet.get(RNS + "id")]
        path = target[1:] if target.startswith("/") else "xl/" + target
        for c in ET.fromstring(z.read(path)).iter(XNS + "c"):
            t, v = c.get("t"), c.find(XNS + "v")
            if t == "s":
                out.append(strings[int(v.text)])
            elif t == "inlineStr":
                out.append("".join(x.text or "" for x in c.iter(XNS + "t")))
            elif t in ("str", "e"):
                out.append(v.text or "")
            elif t == "b":
                out.append("TRUE" if v.text == "1" else "FALSE")
    return " ".join(out)


def ods(z):
    out = []
    for cell in ET.fromstring(z.read("content.xml")).iter(TABLE + "table-cell"):
        kind = cell.get("{urn:oasis:names:tc:opendocument:xmlns:office:1.0}value-type")
        if kind == "boolean":
            out.append("TRUE" if cell.get("{urn:oasis:names:tc:opendocument:xmlns:office:1.0}boolean-value")
                       == "true" else "FALSE")
        elif kind in (None, "string"):
            out.append(" ".join("".join(p.itertext()) for p in cell.iter(TEXT + "p")))
    return " ".join(out)


def main():
    with zipfile.ZipFile(sys.argv[1]) as z:
        names = z.namelist()
        mime = z.read("mimetype").decode() if "mimetype" in names else ""
        if "word/document.xml" in names:
            text = docx(z)
        elif "xl/workbook.xml" in names:
            text = xlsx(z)
        elif mime.endswith("spreadsheet"):
            text = ods(z)
        else:
            text = odt(z)
    sys.stdout.write(" ".join(text.split()))


if __name__ == "__main__":
    main()
