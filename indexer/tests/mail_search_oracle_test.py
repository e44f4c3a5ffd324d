#!/usr/bin/env python3
"""Mail databases end to end against Python's email package: the fixture mailboxes (LF
and CR LF) are built by the indexer through libpostbridge.so with and without
attachments, then searched with the searcher program. Every English word that Python's
decoded texts hold in one field of one message only (subject, sender, plain-text body, or
the text of one attachment), and nowhere else even as part of a longer word, must find
that message alone; an attachment's word only when attachments were indexed; and the
desktop's mail fields (k 1 subject, 2 sender, 3 content) restrict to the word's field.
BinHex parts, which Python does not decode, have no oracle here.

    mail_search_oracle_test.py DIST_DIR FIXTURES_DIR
"""
import email
import email.header
import os
import re
import subprocess
import sys
import tempfile
import unittest

DIST = FIXTURES = None
WORD = re.compile(rb"(?<![A-Za-z0-9])[A-Za-z]{4,}(?![A-Za-z0-9])")
# A uuencoded block inside a body is a part of its own to the gateway.
UUBLOCK = re.compile(rb"(?ms)^begin [0-7]{3} .*?^end\s*$")
PROGRAMS = ("indexer", "searcher", "libpostbridge.so", "big5.dat", "big5.ref",
            "search_result.htm", "search_next.htm", "zero_hit.htm", "error.htm")


def header_text(value):
    out = b""
    for part, charset in email.header.decode_header(value or ""):
        out += part if isinstance(part, bytes) else part.encode("ascii", "ignore")
        out += b" "
    return out


def fields(message):
    """(field, text) pairs: subject, sender, body parts, and attachments by name."""
    out = [("subject", header_text(message["Subject"])), ("sender", header_text(message["From"]))]
    for part in message.walk():
        if part.is_multipart():
            continue
        if part.get_content_type() == "application/mac-binhex40":
            continue  # Python does not decode BinHex: no oracle for its text
        payload = part.get_payload(decode=True) or b""
        name = part.get_filename()
        if name:
            out.append(("attachment:" + name, payload))
        elif part.get_content_type() == "text/plain":
            out.append(("body", UUBLOCK.sub(b"", payload.replace(b"\r\n", b"\n"))))
    return out


def split_mbox(path):
    data = open(path, "rb").read().replace(b"\r\n", b"\n")
    return [email.message_from_bytes(m.split(b"\n", 1)[1])
            for m in re.split(rb"(?m)^(?=From - )", data) if m.strip()]


class MailSearchOracle(unittest.TestCase):
    def build(self, mbox, attachments):
        self.tmp = tempfile.TemporaryDirectory(prefix="qm-mailoracle-")
        root = self.tmp.name + "/"
        for name in PROGRAMS:
            os.symlink(os.path.join(DIST, name), root + name)
        with open(root + "vesprin.ini", "w") as ini:
            ini.write("[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                      "TmplFirstQuery=search_result.htm\nTmplNextQuery=search_next.htm\n"
                      "TmplZeroHit=zero_hit.htm\nTmplError=error.htm\n[INDEX]\n1=1\n[DB-1]\n"
                      f"WorkDir={root}db/\nHtmlDir={mbox}\nMail=1\n"
                      f"DataInputPort={root}postbridge.dll;{mbox};{root}db/\n")
        args = [root + "indexer"] + (["-mail"] if attachments else []) + ["-ncl", "-x1"]
        out = subprocess.run(args, capture_output=True, check=True).stdout
        self.assertTrue(out.endswith(b"\x1a\x1a"), out[-200:])
        self.root = root

    def search(self, word, k=""):
        env = {"REQUEST_METHOD": "GET", "QUERY_STRING": f"s=1&p={word}&a=100" + (f"&k={k}" if k else "")}
        page = subprocess.run([self.root + "searcher"], env=env, capture_output=True).stdout
        return {int(i) for i in re.findall(rb'class=title href="[^"]*&amp;i=(\d+)', page)}

    def check(self, mbox, attachments):
        messages = split_mbox(mbox)
        texts = [(n, f, t.lower()) for n, m in enumerate(messages) for f, t in fields(m)]
        everything = b"\n".join(t for _, _, t in texts)
        checked = 0
        for n, field, text in texts:
            for w in sorted(set(WORD.findall(text))):
                w = w.lower()
                # Unique: once as a whole, in this field of this message, and in no other word.
                if everything.count(w) != text.count(w) or text.count(w) < 1:
                    continue
                if len(re.findall(rb"[a-z]*" + w + rb"[a-z]*", everything)) != text.count(w) or \
                        any(x != w for x in re.findall(rb"[a-z]*" + w + rb"[a-z]*", everything)):
                    continue
                word = w.decode()
                want = {n} if (attachments or not field.startswith("attachment")) else set()
                with self.subTest(word=word, field=field, message=n + 1):
                    self.assertEqual(self.search(word), want)
                    k = {"subject": "1", "sender": "2", "body": "3"}.get(field)
                    if k:
                        self.assertEqual(self.search(word, k), want)
                        other = ",".join(x for x in "123" if x != k)
                        self.assertEqual(self.search(word, other), set())
                    else:
                        self.assertEqual(self.search(word, "1,2,3"), set())
                checked += 1
        self.assertGreater(checked, 20)

    def test_mailboxes(self):
        for name in ("all-lf.mbox", "all-crlf.mbox"):
            for attachments in (False, True):
                with self.subTest(mailbox=name, attachments=attachments):
                    self.build(os.path.join(FIXTURES, name), attachments)
                    try:
                        self.check(os.path.join(FIXTURES, name), attachments)
                    finally:
                        self.tmp.cleanup()


if __name__ == "__main__":
    DIST, FIXTURES = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
