#!/usr/bin/env python3
"""docpress over the real framework and the HTML export filter, as installed in dist/:
the HTML it writes is Big5 (iconv reads it as CP950) and holds every word of an
independent text of the source, the words made CP950 by iconv. The sources and their
oracles: PDF (pdftotext), RTF in Latin and with Unicode Chinese (unrtf), Word (catdoc)
and Excel (xls2csv), all made by LibreOffice; PowerPoint made by LibreOffice (the flat
ODF source: catppt finds no text in it); an RTF on the Chinese code page (cp950.rtf,
unrtf); the page-document reader's plain fixture (written with the text of its pages by
write_pgx_fixture). A word is a run of two or more ASCII letters
and digits, or one Chinese character. Skipped (exit 77) while dist/ has no libpagecast.so
or docpress.tpt.

Then the same sources as the attachments of one message, through pbdrive with attachments
on and dist/ as the converter directory: a section for each, in part order, with its words.

    pagecast_oracle_test.py DIST_DIR FRAMEWORK_DATA_DIR DOCPRESS_DATA_DIR WRITE_PGX_FIXTURE PBDRIVE
"""
import csv
import email.message
import html
import io
import mailbox
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "tools"))
from pbdrive_records import records  # noqa: E402

SKIP = 77

def run(argv, **kw) -> bytes:
    return subprocess.run(argv, check=True, capture_output=True, **kw).stdout


def unrtf_text(path: str) -> bytes:
    """The text of unrtf's HTML body (its text mode writes "?" for Chinese characters;
    the HTML has them as references, from \\u forms and from Big5 bytes alike)."""
    # unrtf writes the pictures it meets into its working directory.
    with tempfile.TemporaryDirectory() as scratch:
        page = run(["unrtf", "--html", path], cwd=scratch).decode("utf-8", "replace")
    body = page[page.find("<body>"):]
    return html.unescape(re.sub(r"<[^>]*>", "", body)).encode("utf-8")


def words(utf8: bytes) -> set:
    """The words of a UTF-8 text as CP950 (iconv): runs of two or more ASCII letters and
    digits, and each CJK ideograph alone; an ideograph Big5 lacks is dropped."""
    text = utf8.decode("utf-8")
    tokens = re.findall(r"[A-Za-z0-9]{2,}", text) + re.findall(r"[\u4e00-\u9fff]", text)
    big5 = subprocess.run(["iconv", "-c", "-f", "UTF-8", "-t", "CP950"], input="\n".join(tokens).encode("utf-8"),
                          capture_output=True).stdout
    return {w for w in big5.split(b"\n") if w}


def from_big5(big5: bytes) -> bytes:
    return run(["iconv", "-f", "CP950", "-t", "UTF-8"], input=big5)


def catdoc_text(path: str) -> bytes:
    # catdoc prints the instructions of fields, which the page does not show.
    return re.sub(rb'HYPERLINK\s+(\\l\s+)?"[^"]*"', b" ", run(["catdoc", "-d", "utf-8", path]))


def xls2csv_text(path: str) -> bytes:
    # xls2csv prints a number cell's stored value (a date as its serial number, a percent
    # as a fraction), not the value as formatted; only the text cells are words.
    rows = csv.reader(io.StringIO(run(["xls2csv", "-d", "utf-8", path]).decode("utf-8")))
    cells = [c for row in rows for c in row if c and not re.fullmatch(r"[-+0-9.eE]+", c)]
    return "\n".join(cells).encode("utf-8")


def flat_odf_text(path: str) -> bytes:
    # catppt finds no text in LibreOffice's PowerPoint files; the slides' words are those
    # of the flat ODF source LibreOffice made them from.
    body = ET.parse(path).getroot().find("{urn:oasis:names:tc:opendocument:xmlns:office:1.0}body")
    return " ".join(body.itertext()).encode("utf-8")


def html_text(html: bytes) -> bytes:
    # Words are looked for in the text between the tags (H<sub>2</sub>O is H2O).
    return re.sub(rb"<[^>]*>", b"", html)


def main() -> int:
    dist, data, own_data, write_pgx, pbdrive = sys.argv[1:6]
    if not (os.path.exists(os.path.join(dist, "libpagecast.so")) and os.path.exists(os.path.join(dist, "docpress.tpt"))):
        print("no HTML export filter installed in", dist)
        return SKIP
    scratch = tempfile.TemporaryDirectory()
    pgx, pgx_text = os.path.join(scratch.name, "plain.pgx"), os.path.join(scratch.name, "plain.txt")
    run([write_pgx, pgx, pgx_text])
    at = lambda name: os.path.join(data, name)
    cases = [
        ("sample.pdf", at("sample.pdf"), lambda p: run(["pdftotext", "-enc", "UTF-8", p, "-"])),
        ("office.pdf", at("office.pdf"), lambda p: run(["pdftotext", "-enc", "UTF-8", p, "-"])),
        ("latin.rtf", at("latin.rtf"), unrtf_text),
        ("sample.rtf", at("sample.rtf"), unrtf_text),
        ("office.rtf", at("office.rtf"), unrtf_text),
        ("cp950.rtf", os.path.join(own_data, "cp950.rtf"), unrtf_text),
        ("office.doc", at("office.doc"), catdoc_text),
        ("office.xls", at("office.xls"), xls2csv_text),
        ("office.ppt", at("office.ppt"), lambda p: flat_odf_text(at("office.fodp"))),
        ("plain.pgx", pgx, lambda p: from_big5(open(pgx_text, "rb").read())),
    ]
    failures = 0
    expected = {name: words(oracle(source)) for name, source, oracle in cases}
    for name, source, _ in cases:
        with tempfile.TemporaryDirectory() as work:
            proc = subprocess.run([os.path.join(dist, "docpress"), source, "out.htm"], cwd=work, capture_output=True)
            out = os.path.join(work, "out.htm")
            page = open(out, "rb").read() if os.path.exists(out) else b""
            log = os.path.join(work, "Export.err")
            problems = []
            if proc.returncode != 1:
                problems.append("exit code %d, log %r" % (proc.returncode, open(log).read() if os.path.exists(log) else ""))
            failures += report(name, problems + page_problems(name, page, expected[name]))
    failures += mailbox_road(pbdrive, dist, cases, expected)
    return 1 if failures else 0


def page_problems(name: str, page: bytes, expected: set) -> list:
    problems = []
    if subprocess.run(["iconv", "-f", "CP950", "-t", "UTF-8"], input=page, capture_output=True).returncode:
        problems.append("the output is not Big5")
    if b"&#160;" in page:
        problems.append("an entity &#160; is left")
    if not expected:
        problems.append("the oracle gives no words")
    text = html_text(page)
    missing = sorted(w.decode("cp950", "replace") for w in expected if w not in text)
    if missing:
        problems.append("words missing: %r" % missing)
    return problems


def report(name: str, problems: list) -> int:
    for p in problems:
        print("%s: %s" % (name, p))
    if not problems:
        print("%s: every word found" % name)
    return bool(problems)


def mailbox_road(pbdrive: str, dist: str, cases: list, expected: dict) -> int:
    """pbdrive with attachments on, the converter directory dist/, over a mailbox of one
    message that carries every source as an attachment: the page has a section for each,
    in part order, holding the source's words."""
    message = email.message.EmailMessage()
    message["From"] = "sender@example.org"
    message["To"] = "reader@example.org"
    message["Subject"] = "Attachments of every kind"
    message["Date"] = "Mon, 15 Jan 2024 10:30:00 +0800"
    message.set_content("The documents are attached.\n")
    for name, source, _ in cases:
        with open(source, "rb") as f:
            message.add_attachment(f.read(), maintype="application", subtype="octet-stream", filename=name)
    with tempfile.TemporaryDirectory() as d:
        box, work = os.path.join(d, "in.mbox"), os.path.join(d, "work")
        os.mkdir(work)
        mbox = mailbox.mbox(box)
        mbox.add(message)
        mbox.close()
        proc = subprocess.run([pbdrive, "-a", "-c", dist, box, work], capture_output=True)
        if proc.returncode:
            return report("mailbox", ["pbdrive exit code %d: %r" % (proc.returncode, proc.stderr)])
        texts = [v for t, v in records(proc.stdout) if t == "TEXT"]
        if len(texts) != 1:
            return report("mailbox", ["%d pages" % len(texts)])
        page = texts[0]
        sections = page[page.find(b"</BODY>\n") + 8:].split(b"<T_ATTACH>")[1:]
        names = [s.split(b"</T_ATTACH>\r\n", 1)[0].decode() for s in sections]
        if names != [name for name, _, _ in cases]:
            return report("mailbox", ["sections %r" % names])
        failures = 0
        for (name, _, _), section in zip(cases, sections):
            converted = section.split(b"</T_ATTACH>\r\n", 1)[1]
            failures += report("mailbox " + name, page_problems(name, converted, expected[name]))
        return failures

if __name__ == "__main__":
    sys.exit(main())
