#!/usr/bin/env python3
"""Writes the mail test fixtures: one .eml file per message (CR LF line ends) and two
plain mailboxes holding them all, one with CR LF and one with LF line ends, each message
opened by a "From - " line. Two mailboxes of the RFC 4155 kind follow: unix.mbox,
written by Python's mailbox module (its From_ lines, its ">From " quoting of body lines)
with the messages and UNIX_EXTRA, 40 in all; and unix-rd.mbox, written here in the
mboxrd way (every line of ">"s and "From " gets one more ">"), with UNIX_EXTRA and
QUOTED. uuencoded data is made by sharutils' uuencode and BinHex 4.0 data by macutils'
binhex, so the decoders meet real encoders' output. The output is deterministic:
rerunning gives the committed bytes.

    make_eml.py [output_dir]     (default: ../fixtures beside this script)

The mail tests (mail/tests/oracle_test.py) import ATTACHMENT_SOURCES to know the bytes
the uuencoded and BinHex parts hold.
"""
import base64
import mailbox
import os
import re
import subprocess
import sys
import tempfile

FROM_LINE = b"From - Thu Dec 10 00:00:00 2026"
CRLF = b"\r\n"

ZHONGWEN = "中文郵件"          # Big5 and UTF-8 header text
BODY_ZH = "這是一封中文測試郵件。\r\n第二行。\r\n"

# Files carried by uuencoded and BinHex parts: name -> bytes.
ATTACHMENT_SOURCES = {
    "notes.txt": b"Uuencoded notes\nline two\n" + bytes(range(256)),
    "inline.txt": b"Inline uuencoded text\n",
    "mac.txt": b"BinHex data fork\r" + b"\x90" * 5 + b"a" * 40 + b"\r",
}


def b64(data: bytes) -> bytes:
    """Base64 in lines of 76 characters."""
    text = base64.b64encode(data)
    return CRLF.join(text[i:i + 76] for i in range(0, len(text), 76))


def word(charset: str, text: str, kind: str = "B") -> str:
    data = text.encode(charset)
    if kind == "B":
        return "=?%s?B?%s?=" % (charset, base64.b64encode(data).decode())
    return "=?%s?Q?%s?=" % (charset, "".join("=%02X" % b if b > 126 or chr(b) in "=?_ \t" or b < 33 else chr(b) for b in data))


def lines(*items) -> bytes:
    out = []
    for item in items:
        out.append(item.encode("ascii") if isinstance(item, str) else item)
    return CRLF.join(out)


def message(headers, body: bytes) -> bytes:
    head = [h.encode("ascii") if isinstance(h, str) else h for h in headers]
    return CRLF.join(head) + CRLF + CRLF + body


def uuencode(name: str) -> bytes:
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, name)
        with open(path, "wb") as f:
            f.write(ATTACHMENT_SOURCES[name])
        out = subprocess.run(["uuencode", path, name], check=True, capture_output=True).stdout
    return out.replace(b"\n", CRLF)


def binhex(name: str) -> bytes:
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, name)
        with open(path, "wb") as f:
            f.write(ATTACHMENT_SOURCES[name])
        out = subprocess.run(["binhex", "-d", name], check=True, capture_output=True, cwd=d).stdout
    return out.replace(b"\n", CRLF)


STD = ["From: Ann Lee <ann@example.com>", "To: bob@example.com", "Date: Sun, 12 Mar 2000 23:30:00 -0500"]


def mixed(boundary: str, parts) -> bytes:
    body = b"This is a multi-part message in MIME format." + CRLF
    for p in parts:
        body += b"--" + boundary.encode() + CRLF + p + CRLF
    return body + b"--" + boundary.encode() + b"--" + CRLF


def part(headers, content: bytes) -> bytes:
    return CRLF.join(h.encode("ascii") if isinstance(h, str) else h for h in headers) + CRLF + CRLF + content


def fixtures():
    big5 = lambda s: s.encode("cp950")
    f = []
    f.append(("plain", message(STD + ["Subject: Plain ASCII message", "Message-ID: <p1@example.com>"],
                               lines("Hello Bob,", "", "A plain message.", ""))))
    f.append(("subject-big5-b", message(STD + ["Subject: " + word("big5", ZHONGWEN)],
                                        lines("Body.", ""))))
    f.append(("subject-utf8-q", message(STD + ["Subject: Re: " + word("utf-8", ZHONGWEN, "Q") + " done"],
                                        lines("Body.", ""))))
    f.append(("subject-gb2312", message(STD + ["Subject: " + word("gb2312", "中文文件")],
                                        lines("Body.", ""))))
    f.append(("subject-words-joined", message(
        STD + ["Subject: " + word("big5", "中文") + " " + word("big5", "郵件") + " tail"], lines("Body.", ""))))
    f.append(("fold-blank", message(STD + ["Subject: A subject folded", " onto a second line"],
                                    lines("Body.", ""))))
    f.append(("fold-tab", message(STD + ["Subject: A subject folded", "\twith a tab"], lines("Body.", ""))))
    f.append(("raw-big5", message(
        [b"From: " + big5("王小明") + b" <wang@example.com.tw>", b"Subject: " + big5(ZHONGWEN) + b" Big5",
         b"Date: Mon, 13 Mar 2000 08:00:00 +0800", b"Content-Type: text/plain; charset=big5"], big5(BODY_ZH))))
    f.append(("raw-utf8-undeclared", message(
        [b"From: " + "李 <li@example.com>".encode(), b"Subject: " + ZHONGWEN.encode() + b" UTF-8",
         b"Date: Tue, 14 Mar 2000 01:02:03 +0000", b"Content-Type: text/plain; charset=utf-8",
         b"Content-Transfer-Encoding: 8bit"], BODY_ZH.encode())))
    f.append(("body-base64-utf8", message(
        STD + ["Subject: base64 body", "Content-Type: text/plain; charset=\"UTF-8\"",
               "Content-Transfer-Encoding: base64"], b64(BODY_ZH.encode()) + CRLF)))
    f.append(("body-qp", message(
        STD + ["Subject: qp body", "Content-Type: text/plain; charset=iso-8859-1",
               "Content-Transfer-Encoding: Quoted-Printable"],
        lines("A soft=", "break and an equals sign =3D here.", "Long line", ""))))
    f.append(("alternative", message(
        STD + ["Subject: alternative", "MIME-Version: 1.0",
               "Content-Type: multipart/alternative; boundary=\"alt-1\""],
        mixed("alt-1", [part(["Content-Type: text/plain; charset=us-ascii"], lines("Plain version.")),
                        part(["Content-Type: text/html; charset=us-ascii"], lines("<p>HTML version.</p>"))]))))
    f.append(("html-only", message(
        STD + ["Subject: html only", "Content-Type: multipart/mixed; boundary=h1"],
        mixed("h1", [part(["Content-Type: text/html; charset=big5", "Content-Transfer-Encoding: base64"],
                          b64(b"<html><body>" + big5("網頁") + b"</body></html>"))]))))
    f.append(("attachment", message(
        STD + ["Subject: with attachment", "Content-Type: multipart/mixed;", "\tboundary=\"----=_NextPart_000\""],
        mixed("----=_NextPart_000", [
            part(["Content-Type: text/plain; charset=big5", "Content-Transfer-Encoding: quoted-printable"],
                 b"".join(b"=%02X" % c for c in big5("附件")) + b" attached."),
            part(["Content-Type: application/pdf; name=\"report.pdf\"", "Content-Transfer-Encoding: base64",
                  "Content-Disposition: attachment; filename=\"report.pdf\""],
                 b64(b"%PDF-1.4\n" + bytes(range(200)) + b"\n%%EOF\n"))]))))
    inner_alt = mixed("inner-b", [part(["Content-Type: text/plain"], lines("Nested plain.")),
                                  part(["Content-Type: text/html"], lines("<b>Nested</b>"))])
    f.append(("nested", message(
        STD + ["Subject: nested", "Content-Type: multipart/mixed; boundary=\"outer-b\""],
        mixed("outer-b", [part(["Content-Type: multipart/alternative;", " boundary=\"inner-b\""], inner_alt),
                          part(["Content-Type: image/gif; name=dot.gif", "Content-Transfer-Encoding: base64"],
                               b64(b"GIF89a\x01\x00\x01\x00\x00\x00\x00;"))]))))
    enclosed = message(["From: Carl <carl@example.com>", "Subject: the enclosed one",
                        "Content-Type: text/plain"], lines("Enclosed text.", ""))
    f.append(("rfc822", message(
        STD + ["Subject: forwarded", "Content-Type: multipart/mixed; boundary=fw"],
        mixed("fw", [part(["Content-Type: text/plain"], lines("See below.")),
                     part(["Content-Type: message/rfc822", "Content-Disposition: inline"], enclosed)]))))
    f.append(("x-uuencode", message(
        STD + ["Subject: x-uuencode part", "Content-Type: multipart/mixed; boundary=uu"],
        mixed("uu", [part(["Content-Type: text/plain"], lines("Notes attached.")),
                     part(["Content-Type: application/octet-stream; name=\"notes.txt\"",
                           "Content-Transfer-Encoding: x-uuencode"], uuencode("notes.txt").rstrip(CRLF))]))))
    f.append(("uuencode-body", message(
        STD + ["Subject: uuencoded in the body"], lines("Text before the block.", "", "") + uuencode("inline.txt"))))
    f.append(("binhex", message(
        STD + ["Subject: binhex part", "Content-Type: multipart/mixed; boundary=bh"],
        mixed("bh", [part(["Content-Type: text/plain"], lines("A Mac file.")),
                     part(["Content-Type: application/mac-binhex40; name=\"mac.txt\""],
                          binhex("mac.txt").rstrip(CRLF))]))))
    hostile = [
        ("name-dotdot", "../../x"),
        ("name-absolute", "/etc/x"),
        ("name-long", "n" * 296 + ".txt"),
    ]
    for tag, name in hostile:
        f.append((tag, message(
            STD + ["Subject: " + tag, "Content-Type: multipart/mixed; boundary=nm"],
            mixed("nm", [part(["Content-Type: text/plain"], lines("Body of " + tag + ".")),
                         part(["Content-Type: application/octet-stream", "Content-Transfer-Encoding: base64",
                               "Content-Disposition: attachment; filename=\"" + name + "\""], b64(b"data"))]))))
    f.append(("name-big5-5c", message(
        STD + ["Subject: name with a 0x5C trail byte", "Content-Type: multipart/mixed; boundary=nm"],
        mixed("nm", [part(["Content-Type: text/plain"], lines("Body.")),
                     part(["Content-Type: application/octet-stream; name=\"" + word("big5", "功課.txt") + "\"",
                           "Content-Transfer-Encoding: base64"], b64(b"data"))]))))
    f.append(("name-controls", message(
        STD + ["Subject: name with controls", "Content-Type: multipart/mixed; boundary=nm"],
        mixed("nm", [part(["Content-Type: text/plain"], lines("Body.")),
                     part(["Content-Type: application/octet-stream; name=\"=?us-ascii?Q?a=01b=7Fc.txt?=\"",
                           "Content-Transfer-Encoding: base64"], b64(b"data"))]))))
    f.append(("sender-encoded", message(
        ["From: " + word("utf-8", "張三") + " <zhang@example.com>", "Subject: encoded sender",
         "Date: Wed, 1 Mar 2000 00:10:00 +0130"], lines("Body.", ""))))
    f.append(("no-headers-shown", message(["Date: garbage", "X-Note: nothing else"], lines("Only a body.", ""))))
    f.append(("q-underscore", message(STD + ["Subject: =?us-ascii?Q?under_score?="], lines("Body.", ""))))
    return f


# The From_ line of the RFC 4155 mailboxes, as Python's mailbox module writes one.
UNIX_FROM = b"From MAILER-DAEMON Fri Dec 11 11:52:53 2026"


def unix_extra():
    """Messages whose bodies hold "From " lines (at a line start, after a blank line, of
    the From_ shape or not), and subjects of Q words with "_"."""
    subjects = ["Meeting notes for Monday", "Lunch on Friday", "Minutes of the board", "Re: budget"]
    f = []
    for i, text in enumerate(subjects):
        f.append(message(STD + ["Subject: " + word("us-ascii", text, "Q").replace("=20", "_")],
                         lines("Notes %d." % i, "")))
    f.append(message(STD + ["Subject: From line in the body"],
                     lines("Dear Bob,", "From here on we meet on Mondays.", "Ann", "")))
    f.append(message(STD + ["Subject: From_ line after a blank line"],
                     lines("Forwarded below.", "", "From MAILER-DAEMON Fri Dec 11 11:52:53 2026",
                           "Subject: not a header", "", "The end.", "")))
    f.append(message(STD + ["Subject: From without the shape"],
                     lines("First.", "", "From the desk of Ann Lee", "", "From", "Fromage", "")))
    f.append(message(STD + ["Subject: Empty body"], b""))
    f.append(message(STD + ["Subject: Body without a last line end"], b"No line end"))
    f.append(message(STD + ["Subject: Trailing blank lines"], lines("Text.", "", "", "")))
    for i in range(3):
        f.append(message(STD + ["Subject: Filler %d" % i], lines("Filler text %d." % i, "")))
    return f


def quoted():
    """Messages with lines of ">"s and "From " that mboxrd quotes once more."""
    return [
        message(STD + ["Subject: Quoted From lines"],
                lines("> From a quote with a blank", ">From an old reply", ">>From deeper", "From plain", "")),
        message(STD + ["Subject: Quoted at the start"], lines(">From the first line", "")),
    ]


def python_mbox(messages) -> bytes:
    """The messages (LF line ends) in a mailbox written by Python's mailbox module."""
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "box")
        box = mailbox.mbox(path)
        for data in messages:
            box.add(UNIX_FROM + b"\n" + data.replace(CRLF, b"\n"))
        box.close()
        with open(path, "rb") as fh:
            return fh.read()


def mboxrd(messages) -> bytes:
    out = b""
    for data in messages:
        text = re.sub(rb"(?m)^(>*From )", rb">\1", data.replace(CRLF, b"\n"))
        out += UNIX_FROM + b"\n" + text + (b"" if text.endswith(b"\n") else b"\n") + b"\n"
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "fixtures")
    os.makedirs(out, exist_ok=True)
    box_crlf = b""
    for i, (name, data) in enumerate(fixtures(), 1):
        with open(os.path.join(out, "%02d-%s.eml" % (i, name)), "wb") as fh:
            fh.write(data)
        box_crlf += FROM_LINE + CRLF + data
        if not data.endswith(CRLF):
            box_crlf += CRLF
    with open(os.path.join(out, "all-crlf.mbox"), "wb") as fh:
        fh.write(box_crlf)
    with open(os.path.join(out, "all-lf.mbox"), "wb") as fh:
        fh.write(box_crlf.replace(CRLF, b"\n"))
    with open(os.path.join(out, "unix.mbox"), "wb") as fh:
        fh.write(python_mbox([data for _, data in fixtures()] + unix_extra()))
    with open(os.path.join(out, "unix-rd.mbox"), "wb") as fh:
        fh.write(mboxrd(unix_extra() + quoted()))


if __name__ == "__main__":
    main()
