#!/usr/bin/env python3
"""Independent text of an OOXML or ODF package for the reader tests, with Python's zipfile
and xml.etree: the words of the running text in document order (notes at their
references, cells row by row), joined by single blanks. Properties, note citations,
deleted text and field instructions give no words. Usage: office_text.py FILE"""
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


def main():
    with zipfile.ZipFile(sys.argv[1]) as z:
        names = z.namelist()
        text = docx(z) if "word/document.xml" in names else odt(z)
    sys.stdout.write(" ".join(text.split()))


if __name__ == "__main__":
    main()
