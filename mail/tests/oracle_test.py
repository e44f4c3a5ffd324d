#!/usr/bin/env python3
"""The mail fixtures through pbdrive, compared with Python's email package (compat32) as
an independent decoder: subject and sender (decoded words made CP950 by iconv), the
parsedate_tz date as a local day under TZ=Asia/Taipei, single-part and multipart bodies,
part names and decoded bytes; both mailboxes (CR LF and LF) give the same pages and
side files; the mailboxes of the RFC 4155 kind that Python's mailbox module writes (and
an mboxrd one) give the messages it reads from them. Names the system makes safe are
checked on their own. Also checks that rerunning the fixture generator gives the
committed bytes.

    oracle_test.py PBDRIVE [unittest arguments]
"""
import email
import email.policy
import email.utils
import binascii
import mailbox
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from email.header import decode_header

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures")
sys.path.insert(0, os.path.join(HERE, "tools"))
import make_eml  # noqa: E402
from pbdrive_records import records  # noqa: E402

PBDRIVE = None
BIG5_LABELS = {"big5", "cp950", "big5-hkscs"}


def iconv_cp950(text: str) -> bytes:
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP950"], input=text.encode("utf-8"),
                          check=True, capture_output=True).stdout


def has_high(b: bytes) -> bool:
    return any(c >= 0x80 for c in b)


def to_big5(data: bytes, charset) -> bytes:
    """Bytes of a declared (or undeclared: None) charset as the system stores them."""
    cs = (charset or "").lower()
    if cs in BIG5_LABELS:
        return data
    if cs in ("", "unknown-8bit", "us-ascii", "iso-8859-1"):
        if not has_high(data):
            return data
        try:
            return iconv_cp950(data.decode("utf-8"))
        except UnicodeDecodeError:
            return data
    return iconv_cp950(data.decode(cs))


def header_big5(value) -> bytes:
    if value is None:
        return b""
    out = b""
    for piece, charset in decode_header(value):
        if isinstance(piece, str):
            piece = piece.encode("ascii", "surrogateescape")
        out += to_big5(piece, charset)
    out = out.replace(b"\r\n", b"").replace(b"\n", b"")
    return bytes(0x20 if c < 0x20 or c == 0x7F else c for c in out).strip(b" ")


def local_day(value) -> int:
    parsed = email.utils.parsedate_tz(value) if value else None
    if not parsed:
        return 0
    t = time.localtime(email.utils.mktime_tz(parsed))
    return t.tm_year * 10000 + t.tm_mon * 100 + t.tm_mday


def payload_text(part) -> bytes:
    data = part.get_payload(decode=True) or b""
    if part.get_content_maintype() != "text":
        return data
    return to_big5(data, part.get_content_charset())


def filename_big5(part) -> bytes:
    name = part.get_filename()
    return header_big5(name) if name else b""


def leaves(msg):
    """(content type, name, data, text data) of each part in the order the system keeps."""
    for p in msg.get_payload():
        if p.is_multipart() and p.get_content_type() != "message/rfc822":
            yield from leaves(p)
        elif p.get_content_type() == "message/rfc822" and not p.get_filename():
            inner = p.get_payload(0)
            for q in (leaves(inner) if inner.is_multipart() else []):
                if q[1]:
                    yield q
            text = expected_body(inner)
            if text:
                yield ("text/plain", b"", text, text)
        else:
            yield (p.get_content_type(), filename_big5(p), p.get_payload(decode=True) or b"", payload_text(p))


def expected_body(msg) -> bytes:
    if msg.is_multipart():
        return b"".join(t + b"\r\n" for ctype, name, _, t in leaves(msg) if ctype == "text/plain" and not name)
    return payload_text(msg)


def pbdrive(*args, cwd=None) -> bytes:
    env = dict(os.environ, TZ="Asia/Taipei")
    run = subprocess.run([PBDRIVE, *args], capture_output=True, env=env, cwd=cwd)
    assert run.returncode == 0, run.stderr
    assert run.stderr == b"", run.stderr
    return run.stdout


def fixture_files():
    return sorted(f for f in os.listdir(FIXTURES) if f.endswith(".eml"))


def read_message(name):
    with open(os.path.join(FIXTURES, name), "rb") as fh:
        raw = fh.read()
    return raw, email.message_from_bytes(raw, policy=email.policy.compat32)


def big5_cut(b: bytes, n: int) -> bytes:
    i = 0
    while i < min(n, len(b)):
        step = 2 if 0xA1 <= b[i] <= 0xFE and i + 1 < len(b) and 0x40 <= b[i + 1] <= 0xFE else 1
        if i + step > n:
            break
        i += step
    return b[:i]


# Names the system makes safe; checked on their own.
SAFE_NAMES = {
    "20-name-dotdot.eml": b"x",
    "21-name-absolute.eml": b"x",
    "22-name-long.eml": b"n" * 240 + b".txt",
    "24-name-controls.eml": b"a_b_c.txt",
}


class Decoding(unittest.TestCase):
    def setUp(self):
        os.environ["TZ"] = "Asia/Taipei"
        time.tzset()

    def test_each_message_against_email(self):
        for name in fixture_files():
            with self.subTest(fixture=name):
                raw, msg = read_message(name)
                got = dict()
                parts = []
                for tag, value in records(pbdrive("--decode", os.path.join(FIXTURES, name))):
                    if tag == "NAME":
                        parts.append([value])
                    elif tag in ("TYPE", "DATA"):
                        parts[-1].append(value)
                    else:
                        got[tag] = value
                subject = header_big5(msg["Subject"])
                self.assertEqual(got["SUBJECT"], big5_cut(subject, 80))
                self.assertEqual(got["SENDER"], big5_cut(header_big5(msg["From"]), 256))
                self.assertEqual(int(got["DATEVALUE"]), local_day(msg["Date"]))
                if name == "18-uuencode-body.eml":
                    self.check_uuencoded_body(msg, got, parts)
                    continue
                self.assertEqual(got["BODY"], expected_body(msg))
                if not msg.is_multipart():
                    self.assertEqual(parts, [])
                    continue
                expected = list(leaves(msg))
                self.assertEqual(len(parts), len(expected))
                for i, ((ctype, ename, data, text), (pname, ptype, pdata)) in enumerate(zip(expected, parts)):
                    self.assertEqual(ptype.decode().lower(), ctype)
                    if i == 0 and not ename and ctype != "text/plain":
                        ename = b"NoName0." + ctype.split("/")[1].encode()
                    if name in SAFE_NAMES and ename:
                        ename = SAFE_NAMES[name]
                    self.assertEqual(pname, ename)
                    if ctype == "application/mac-binhex40":
                        self.assertEqual(pdata, make_eml.ATTACHMENT_SOURCES["mac.txt"])
                    elif ctype == "text/plain" and not ename:
                        self.assertEqual(pdata, text)
                    else:
                        self.assertEqual(pdata, data)

    def check_uuencoded_body(self, msg, got, parts):
        # Python keeps the block in the text: the body is the text before it, the part is
        # the block decoded line by line with binascii.
        text = msg.get_payload(decode=True)
        before, block = text.split(b"\r\n\r\nbegin ", 1)
        self.assertEqual(got["BODY"], before + b"\r\n")
        lines = block.split(b"\r\n")[1:]
        data = b"".join(binascii.a2b_uu(line) for line in lines[:lines.index(b"end")])
        self.assertEqual(parts, [[b"inline.txt", b"text/plain", data]])
        self.assertEqual(data, make_eml.ATTACHMENT_SOURCES["inline.txt"])

    def test_big5_name_with_5c_trail_byte(self):
        out = records(pbdrive("--decode", os.path.join(FIXTURES, "23-name-big5-5c.eml")))
        names = [v for t, v in out if t == "NAME"]
        self.assertEqual(names[1], "功課.txt".encode("cp950"))
        self.assertEqual(names[1][1], 0x5C)


class Mailboxes(unittest.TestCase):
    def run_box(self, box, workdir):
        pages = records(pbdrive(os.path.join(FIXTURES, box), workdir))
        with open(os.path.join(workdir, "MailProperty.db"), "rb") as fh:
            prop = fh.read()
        return pages, prop

    def test_pages_and_property_file(self):
        with tempfile.TemporaryDirectory() as d1, tempfile.TemporaryDirectory() as d2:
            crlf, prop_crlf = self.run_box("all-crlf.mbox", d1)
            lf, prop_lf = self.run_box("all-lf.mbox", d2)
            self.assertFalse(os.path.exists(os.path.join(d1, "AttachIdx.db")))
        # LF mailboxes read as CR LF ones: the same pages and property records.
        self.assertEqual([v for t, v in crlf if t == "TEXT"], [v for t, v in lf if t == "TEXT"])
        self.assertEqual(prop_crlf, prop_lf)
        names = fixture_files()
        with open(os.path.join(FIXTURES, "all-crlf.mbox"), "rb") as fh:
            slices = re.split(rb"\r\n(?=From -)", fh.read())
        texts = [v for t, v in crlf if t == "TEXT"]
        page_names = [v for t, v in crlf if t == "PAGE"]
        self.assertEqual(len(texts), len(names))
        self.assertEqual(len(prop_crlf), 168 * len(names))
        for n, (name, text) in enumerate(zip(names, texts)):
            with self.subTest(fixture=name):
                # The message as the mailbox holds it: the line end before the next
                # "From -" line belongs to the separator.
                msg = email.message_from_bytes(slices[n], policy=email.policy.compat32)
                self.assertEqual(page_names[n], b"[all-crlf] - %d" % (n + 1))
                m = re.fullmatch(rb"<TITLE>(.*)</TITLE>\n<H1>(.*)</H1>\n<BODY>(.*)</BODY>\n", text, re.S)
                self.assertIsNotNone(m)
                subject = big5_cut(header_big5(msg["Subject"]), 80)
                sender = big5_cut(header_big5(msg["From"]), 256)
                self.assertEqual(m.group(1), subject)
                self.assertEqual(m.group(2), sender.replace(b"<", b"{").replace(b">", b"}"))
                if name != "18-uuencode-body.eml":
                    self.assertEqual(m.group(3), expected_body(msg))
                date, psubject, psender, pad = struct.unpack_from("<i81s81s2s", prop_crlf, n * 168)
                self.assertEqual(date, local_day(msg["Date"]))
                self.assertEqual(psubject, big5_cut(subject, 80).ljust(81, b"\0"))
                self.assertEqual(psender, big5_cut(sender, 80).ljust(81, b"\0"))
                self.assertEqual(pad, b"\0\0")


class UnixMailboxes(unittest.TestCase):
    """Mailboxes of the RFC 4155 kind: unix.mbox as Python's mailbox module writes one,
    unix-rd.mbox in the mboxrd way. Each gives the messages Python's mailbox module reads
    from it, their ">From " lines unquoted once, page by page."""

    def check_box(self, box):
        with tempfile.TemporaryDirectory() as work:
            pages = records(pbdrive(os.path.join(FIXTURES, box), work))
            with open(os.path.join(work, "MailProperty.db"), "rb") as fh:
                prop = fh.read()
        texts = [v for t, v in pages if t == "TEXT"]
        names = [v for t, v in pages if t == "PAGE"]
        stored = mailbox.mbox(os.path.join(FIXTURES, box), create=False)
        try:
            raws = [stored.get_bytes(key) for key in stored.keys()]
        finally:
            stored.close()
        self.assertEqual(len(texts), len(raws))
        self.assertEqual(len(prop), 168 * len(raws))
        stem = box.rsplit(".", 1)[0].encode()
        for n, (raw, text) in enumerate(zip(raws, texts)):
            with self.subTest(box=box, message=n + 1):
                raw = re.sub(rb"(?m)^>(>*From )", rb"\1", raw).replace(b"\n", b"\r\n")
                msg = email.message_from_bytes(raw, policy=email.policy.compat32)
                self.assertEqual(names[n], b"[%s] - %d" % (stem, n + 1))
                m = re.fullmatch(rb"<TITLE>(.*)</TITLE>\n<H1>(.*)</H1>\n<BODY>(.*)</BODY>\n", text, re.S)
                self.assertIsNotNone(m)
                self.assertEqual(m.group(1), big5_cut(header_big5(msg["Subject"]), 80))
                sender = big5_cut(header_big5(msg["From"]), 256)
                self.assertEqual(m.group(2), sender.replace(b"<", b"{").replace(b">", b"}"))
                if b"begin 644 " not in raw:
                    self.assertEqual(m.group(3), expected_body(msg))
                self.assertEqual(struct.unpack_from("<i", prop, n * 168)[0], local_day(msg["Date"]))
        return texts

    def test_python_written_mailbox(self):
        texts = self.check_box("unix.mbox")
        self.assertEqual(len(texts), 40)
        titles = [re.match(rb"<TITLE>(.*?)</TITLE>", t).group(1) for t in texts]
        self.assertIn(b"Meeting notes for Monday", titles)
        self.assertIn(b"under score", titles)
        # A body line that began "From " comes back as it was written.
        self.assertTrue(any(b"<BODY>Dear Bob,\r\nFrom here on we meet on Mondays.\r\n" in t for t in texts))

    def test_mboxrd_mailbox(self):
        texts = self.check_box("unix-rd.mbox")
        self.assertEqual(len(texts), len(make_eml.unix_extra()) + len(make_eml.quoted()))
        self.assertIn(b"<BODY>> From a quote with a blank\r\n>From an old reply\r\n>>From deeper\r\n"
                      b"From plain\r\n</BODY>", texts[-2])
        self.assertIn(b"<BODY>>From the first line\r\n</BODY>", texts[-1])


class Hostile(unittest.TestCase):
    """Hostile MIME in a mailbox: every message is handed out, nothing is printed."""

    def test_hostile_mailbox(self):
        def msg(subject, headers, body):
            head = b"From - x\r\nFrom: h@x\r\nSubject: " + subject + (b"\r\n" + headers if headers else b"")
            return head + b"\r\n\r\n" + body

        many = b"".join(b"--b\r\nContent-Type: text/plain\r\n\r\np%d\r\n" % i for i in range(300)) + b"--b--\r\n"
        deep = b"x"
        for i in range(49, -1, -1):
            deep = (b"--d%d\r\nContent-Type: multipart/mixed; boundary=d%d\r\n\r\n" % (i, i + 1) + deep +
                    b"\r\n--d%d--\r\n" % i)
        messages = [
            msg(b"300 parts", b"Content-Type: multipart/mixed; boundary=b", many),
            msg(b"50 deep", b"Content-Type: multipart/mixed; boundary=d0", deep),
            msg(b"bad boundary", b"Content-Type: multipart/mixed; boundary=\"", b"--\"\r\n\r\nx\r\n"),
            msg(b"no closing", b"Content-Type: multipart/mixed; boundary=q", b"--q\r\nContent-Type: text/plain"),
            msg(b"long lines", b"X-Long: " + b"h" * 100000, (b"L" * 100000 + b"\r\n") * 3),
            msg(b"=?utf-8?B?" + b"A" * 5000, b"Content-Transfer-Encoding: base64", b"=" * 1000),
            msg(b"last", b"", b"end\r\n"),
        ]
        with tempfile.TemporaryDirectory() as d:
            box = os.path.join(d, "hostile")
            with open(box, "wb") as fh:
                fh.write(b"\r\n".join(messages))
            pages = records(pbdrive(box, d))
        texts = [v for t, v in pages if t == "TEXT"]
        self.assertEqual(len(texts), len(messages))
        self.assertTrue(texts[0].startswith(b"<TITLE>300 parts</TITLE>"))
        self.assertIn(b"p255\r\n</BODY>", texts[0])  # at most 256 parts
        self.assertNotIn(b"p256", texts[0])
        self.assertEqual(texts[-1], b"<TITLE>last</TITLE>\n<H1>h@x</H1>\n<BODY>end\r\n</BODY>\n")


LISTED = {b"txt", b"htm", b"html", b"doc", b"xls", b"ppt", b"rtf", b"pdf", b"pgx", b"docx", b"xlsx", b"odt", b"ods"}
COPIED = {b"txt", b"htm", b"html"}


def named_parts(fixture, msg):
    """(name, decoded bytes) of each named part, in part order, as Python decodes them."""
    if fixture == "18-uuencode-body.eml":
        return [(b"inline.txt", make_eml.ATTACHMENT_SOURCES["inline.txt"])]
    if not msg.is_multipart():
        return []
    out = []
    for i, (ctype, ename, data, text) in enumerate(leaves(msg)):
        if i == 0 and not ename and ctype != "text/plain":
            ename = b"NoName0." + ctype.split("/")[1].encode()
        if fixture in SAFE_NAMES and ename:
            ename = SAFE_NAMES[fixture]
        if ctype == "application/mac-binhex40":
            data = make_eml.ATTACHMENT_SOURCES["mac.txt"]
        if ename:
            out.append((ename, data))
    return out


def extension(name: bytes) -> bytes:
    return name.rsplit(b".", 1)[1].lower() if b"." in name else b""


def tree(root, skip):
    """Every path below root but skip, with its content or link target."""
    found = {}
    for base, dirs, files in os.walk(root):
        rel = os.path.relpath(base, root)
        if rel == skip or rel.startswith(skip + os.sep):
            continue
        for f in dirs + files:
            p = os.path.join(base, f)
            if os.path.islink(p):
                found[p] = "-> " + os.readlink(p)
            elif os.path.isfile(p):
                with open(p, "rb") as fh:
                    found[p] = fh.read()
    return found


CONVERTER = "#!/bin/sh\nprintf 'converted %s\\n' \"$(basename \"$1\")\" > \"$2\"\n"


def make_converter(directory, script):
    path = os.path.join(directory, "docpress")
    with open(path, "w") as fh:
        fh.write(script)
    os.chmod(path, 0o700)


class Attachments(unittest.TestCase):
    """pbdrive with attachments on over the fixture mailbox and a fake converter."""

    def test_saved_files_sections_and_counts(self):
        with tempfile.TemporaryDirectory() as d:
            conv, work = os.path.join(d, "conv"), os.path.join(d, "work")
            os.mkdir(conv)
            os.mkdir(work)
            make_converter(conv, CONVERTER)
            before = tree(d, "work")
            pages = records(pbdrive("-a", "-c", conv, os.path.join(FIXTURES, "all-crlf.mbox"), work))
            self.assertEqual(tree(d, "work"), before)  # nothing outside the output directory
            texts = [v for t, v in pages if t == "TEXT"]
            with open(os.path.join(work, "AttachIdx.db"), "rb") as fh:
                idx = fh.read()
            with open(os.path.join(work, "AttachInfo.db"), "rb") as fh:
                info = fh.read()
            saved = set(os.listdir(os.fsencode(os.path.join(work, "Attach"))))
            names = fixture_files()
            self.assertEqual(len(texts), len(names))
            expected_saved, all_sections = set(), []
            for n, fixture in enumerate(names, 1):
                with self.subTest(fixture=fixture):
                    _, msg = read_message(fixture)
                    sections, total = b"", 0
                    for name, data in named_parts(fixture, msg):
                        if extension(name) not in LISTED:
                            continue
                        file_name = b"%d~" % n + name
                        expected_saved.add(file_name)
                        with open(os.path.join(os.fsencode(work), b"Attach", file_name), "rb") as fh:
                            self.assertEqual(fh.read(), data, file_name)
                        if extension(name) in COPIED:
                            if not data:
                                continue
                            text = data.replace(b"\0", b" ")
                        else:
                            text = b"converted " + file_name + b"\n"
                        sections += b"<T_ATTACH>" + name + b"</T_ATTACH>\r\n" + text
                        all_sections.append(name)
                        total += 1
                    page = texts[n - 1]
                    self.assertEqual(page[page.index(b"</BODY>\n") + 8:], sections)
                    count, _ = struct.unpack_from("<ii", idx, (n - 1) * 8)
                    self.assertEqual(count, total)
            self.assertEqual(saved, expected_saved)
            self.assertGreater(len(all_sections), 5)
            # One record per section, each named as its saved file.
            self.assertEqual(len(info), 266 * len(all_sections))
            got = [info[i * 266 + 4:i * 266 + 264].split(b"\0")[0] for i in range(len(all_sections))]
            self.assertEqual(got, all_sections)

    def test_killed_driver_leaves_no_converter_running(self):
        with tempfile.TemporaryDirectory() as d:
            conv, work = os.path.join(d, "conv"), os.path.join(d, "work")
            os.mkdir(conv)
            os.mkdir(work)
            pid_file = os.path.join(d, "pid")
            make_converter(conv, "#!/bin/sh\necho $$ > '%s.tmp'; mv '%s.tmp' '%s'\nexec sleep 60\n"
                           % (pid_file, pid_file, pid_file))
            driver = subprocess.Popen([PBDRIVE, "-a", "-c", conv, os.path.join(FIXTURES, "all-crlf.mbox"), work],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 20
            while not os.path.exists(pid_file) and time.monotonic() < deadline:
                time.sleep(0.02)
            self.assertTrue(os.path.exists(pid_file))
            with open(pid_file) as fh:
                pid = int(fh.read())
            driver.kill()
            driver.wait()
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:
                try:
                    with open("/proc/%d/stat" % pid) as fh:
                        state = fh.read().rsplit(")", 1)[1].split()[0]
                except FileNotFoundError:
                    state = "gone"
                if state in ("gone", "Z", "X"):
                    break
                time.sleep(0.02)
            self.assertIn(state, ("gone", "Z", "X"))


class Generator(unittest.TestCase):
    def test_rerun_gives_committed_bytes(self):
        with tempfile.TemporaryDirectory() as d:
            subprocess.run([sys.executable, os.path.join(HERE, "tools", "make_eml.py"), d], check=True)
            made = sorted(os.listdir(d))
            self.assertEqual(made, sorted(f for f in os.listdir(FIXTURES)))
            for f in made:
                with open(os.path.join(d, f), "rb") as a, open(os.path.join(FIXTURES, f), "rb") as b:
                    self.assertEqual(a.read(), b.read(), f)


if __name__ == "__main__":
    PBDRIVE = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])
