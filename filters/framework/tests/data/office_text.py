#!/usr/bin/env python3
"""Independent text of an OOXML or ODF package for the reader tests, with Python's zipfile
and xml.etree: the words of the running text in document order (notes at their
references, cells row by row), joined by single blanks. Numeric cells of ODF give the
text LibreOffice stored in them; those of OOXML their value under the first section of
their number format, worked out here with datetime and decimal: dates as yyyy-mm-dd,
times with the format's seconds and AM/PM, percentages, the format's decimal places
(no thousands separators), General in 15 significant digits. Properties, note
citations, deleted text and field instructions give no words. Usage: office_text.py FILE"""
import datetime
import decimal
import re
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


BUILTIN_FORMATS = {0: "General", 1: "0", 2: "0.00", 3: "#,##0", 4: "#,##0.00", 9: "0%", 10: "0.00%",
                   14: "mm-dd-yy", 20: "h:mm", 21: "h:mm:ss", 22: "m/d/yy h:mm"}


def shown(value, code, date1904):
    x = float(value)
    c = re.sub(r'"[^"]*"|\\.|\[[^\]]*\]|_.|\*.', "", code.split(";")[0]).lower()
    if re.search(r"[ydhs]", c):
        base = datetime.datetime(1904, 1, 1) if date1904 else datetime.datetime(1899, 12, 30)
        if not date1904 and x < 61:
            base += datetime.timedelta(days=1)  # the 1900 system's 29 February that never was
        t = base + datetime.timedelta(seconds=round(x * 86400))
        parts = []
        if re.search(r"[yd]", c):
            parts.append(t.strftime("%Y-%m-%d"))
        if re.search(r"[hs]", c):
            hour = t.hour % 12 or 12 if "am/pm" in c else t.hour
            text = ("%d" if re.search(r"(^|[^h])h([^h]|$)", c) else "%02d") % hour + t.strftime(":%M")
            if "s" in c:
                text += t.strftime(":%S")
            if "am/pm" in c:
                text += " AM" if t.hour < 12 else " PM"
            parts.append(text)
        return " ".join(parts)
    if "%" in c:
        x *= 100
    point = re.search(r"[0#?]\.([0#?]*)", c)
    if c == "general" or not re.search(r"[0#?]", c):
        text = format(decimal.Decimal("%.15g" % x).normalize(), "f")
    else:
        places = point.group(1) if point else ""
        q = decimal.Decimal(1).scaleb(-len(places))
        text = str(decimal.Decimal(repr(x)).quantize(q, rounding=decimal.ROUND_HALF_UP))
        while len(places) > len(places.rstrip("#?")) and text.endswith("0") and "." in text:
            text, places = text[:-1], places[:-1]
        text = text.rstrip(".")
        if text.startswith("-") and not re.search(r"[1-9]", text):
            text = text[1:]
    return text + ("%" if "%" in c else "")


def xlsx(z):
    """The cells of every sheet."""
    strings = []
    if "xl/sharedStrings.xml" in z.namelist():
        for si in ET.fromstring(z.read("xl/sharedStrings.xml")).iter(XNS + "si"):
            strings.append("".join(t.text or "" for t in si.iter(XNS + "t")
                                   if not any(t in list(ph.iter(XNS + "t")) for ph in si.iter(XNS + "rPh"))))
    rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))}
    codes = []
    if "xl/styles.xml" in z.namelist():
        styles = ET.fromstring(z.read("xl/styles.xml"))
        custom = {int(f.get("numFmtId")): f.get("formatCode") for f in styles.iter(XNS + "numFmt")}
        xfs = styles.find(XNS + "cellXfs")
        for xf in (xfs if xfs is not None else []):
            n = int(xf.get("numFmtId", "0"))
            codes.append(custom.get(n, BUILTIN_FORMATS.get(n, "General")))
    book = ET.fromstring(z.read("xl/workbook.xml"))
    pr = book.find(XNS + "workbookPr")
    date1904 = pr is not None and pr.get("date1904") in ("1", "true")
    out = []
    for sheet in book.iter(XNS + "sheet"):
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
            elif t in (None, "n") and v is not None and v.text:
                style = int(c.get("s", "0"))
                out.append(shown(v.text, codes[style] if style < len(codes) else "General", date1904))
    return " ".join(out)


def ods(z):
    out = []
    for cell in ET.fromstring(z.read("content.xml")).iter(TABLE + "table-cell"):
        kind = cell.get("{urn:oasis:names:tc:opendocument:xmlns:office:1.0}value-type")
        if kind == "boolean":
            out.append("TRUE" if cell.get("{urn:oasis:names:tc:opendocument:xmlns:office:1.0}boolean-value")
                       == "true" else "FALSE")
        else:
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
