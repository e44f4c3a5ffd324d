#!/usr/bin/env python3
"""The fixture store (mail/tests/store) through the mboxpull stand-in, read three ways:
mpdrive over libmboxpull.so, Python's email package (default policy) and the gateway's
own decoder (pbdrive --decode) over the same .eml files. Subject, sender, date text and
the words of the body agree; the attachments the stand-in saves hold Python's payload
bytes. Also checks that rerunning the store generator gives the committed files.

    store_oracle_test.py MPDRIVE PBDRIVE [unittest arguments]
"""
import email
import email.policy
import filecmp
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
MAIL_TESTS = os.path.join(HERE, "..", "..", "tests")
STORE = os.path.join(MAIL_TESTS, "store")
sys.path.insert(0, os.path.join(MAIL_TESTS, "tools"))
import make_store  # noqa: E402

MPDRIVE = None
PBDRIVE = None
GATEWAY_BODY_DIFFERS = {"90-attachments.eml"}


def records(output: bytes):
    """(tag, value) pairs of the drivers' "<tag> <length>\\n<bytes>\\n" records."""
    out, at = [], 0
    while at < len(output):
        nl = output.index(b"\n", at)
        tag, length = output[at:nl].split(b" ")
        start = nl + 1
        end = start + int(length)
        out.append((tag.decode(), output[start:end]))
        at = end + 1
    return out


def big5(b: bytes) -> str:
    return b.decode("cp950", errors="replace")


def squeeze(text: str) -> str:
    return " ".join(re.sub(r"[\x00-\x1f\x7f]", " ", text).split())


def words(text: str) -> set:
    return set(re.findall(r"\w+", text))


def run_mpdrive(*args, store=STORE):
    env = dict(os.environ, MBOXPULL_STORE=store)
    return records(subprocess.run([MPDRIVE, *args], check=True, capture_output=True, env=env).stdout)


def messages(recs):
    """Messages of an mpdrive read: dicts of their fields, attachments as (name, saved)."""
    out = []
    for tag, value in recs:
        if tag == "SUBJECT":
            out.append({"attachments": []})
        if not out:
            continue
        if tag == "ATTACH":
            out[-1]["attachments"].append([value, None])
        elif tag == "SAVED":
            out[-1]["attachments"][-1][1] = value.decode()
        else:
            out[-1][tag] = value
    return out


def raw_header(raw: bytes, name: str) -> bytes:
    """The first header field called name as written, unfolded."""
    head = raw.split(b"\r\n\r\n", 1)[0].replace(b"\r\n", b"\n")
    m = re.search(rb"^" + name.encode() + rb":[ \t]*(.*(?:\n[ \t].*)*)", head, re.I | re.M)
    return m.group(1).replace(b"\n", b"") if m else b""


def header_expected(msg, name: str) -> str:
    """Python's decoded header text; undeclared 8-bit text Python cannot read is kept as
    the Big5 it is."""
    text = squeeze(str(msg[name] or ""))
    if "\ufffd" in text:
        text = squeeze(big5(raw_header(msg.raw, name)))
    return text


def python_body(msg) -> str:
    part = msg.get_body(preferencelist=("plain", "html"))
    return part.get_content() if part is not None else ""


class ThreeWays(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.files = sorted(f for f in os.listdir(os.path.join(STORE, "archive")) if f.endswith(".eml"))
        cls.pulled = messages(run_mpdrive("read", "archive", cls.tmp.name))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def each(self):
        self.assertEqual(len(self.pulled), len(self.files))
        for name, pulled in zip(self.files, self.pulled):
            path = os.path.join(STORE, "archive", name)
            with open(path, "rb") as fh:
                raw = fh.read()
            msg = email.message_from_bytes(raw, policy=email.policy.default)
            msg.raw = raw
            ours = dict(records(subprocess.run([PBDRIVE, "--decode", path], check=True,
                                               capture_output=True).stdout))
            yield name, pulled, msg, ours

    def test_subject_sender_and_date(self):
        for name, pulled, msg, ours in self.each():
            with self.subTest(name):
                subject = header_expected(msg, "subject")
                self.assertEqual(squeeze(big5(pulled["SUBJECT"])), subject)
                self.assertEqual(squeeze(big5(ours["SUBJECT"])), subject)
                sender = header_expected(msg, "from")
                self.assertEqual(squeeze(big5(pulled["SENDER"])), sender)
                self.assertEqual(words(big5(ours["SENDER"])), words(sender))
                date = squeeze(big5(raw_header(msg.raw, "date")))
                self.assertEqual(squeeze(big5(pulled["DATE"])), date)
                self.assertEqual(squeeze(big5(ours["DATE"])), date)

    def test_body_words(self):
        for name, pulled, msg, ours in self.each():
            with self.subTest(name):
                expected = words(python_body(msg))
                self.assertEqual(words(big5(pulled["BODY"])), expected)
                # The gateway's decoder leaves an HTML-only multipart body to its first part,
                # and takes a part named only by an RFC 2231 parameter as body text.
                if ours["BODY"] and name not in GATEWAY_BODY_DIFFERS:
                    self.assertEqual(words(big5(ours["BODY"])), expected)

    def test_attachments_hold_python_payload_bytes(self):
        for name, pulled, msg, ours in self.each():
            with self.subTest(name):
                expected = [(p.get_filename(), p.get_payload(decode=True)) for p in msg.walk()
                            if not p.is_multipart() and p.get_filename()]
                got = []
                for att_name, saved in pulled["attachments"]:
                    with open(saved, "rb") as fh:
                        got.append((big5(att_name), fh.read()))
                self.assertEqual(got, expected)
        names = [big5(n) for n, _ in self.pulled[-1]["attachments"]]
        self.assertEqual(names, ["notes.txt", "budget.xls", "報告.txt", "ATT00001.dat", "photo.bin"])


class StoreLevel(unittest.TestCase):
    def test_listing(self):
        recs = run_mpdrive("list")
        keys = [v.decode() for t, v in recs if t == "KEY"]
        ready = [v.decode() for t, v in recs if t == "READY"]
        self.assertEqual(keys, [".", ".Work", ".Work.Projects", ".broken", "archive", "lists.mbox",
                                "%E4%B8%AD%E6%96%87"])
        self.assertEqual(ready, ["0", "0", "0", "-1", "0", "0", "0"])

    def test_mbox_against_python_mailbox(self):
        import mailbox
        box = mailbox.mbox(os.path.join(STORE, "lists.mbox"), create=False)
        expected = []
        for m in box:
            msg = email.message_from_bytes(m.as_bytes(), policy=email.policy.default)
            msg.raw = m.as_bytes().replace(b"\n", b"\r\n")
            expected.append(header_expected(msg, "subject"))
        box.close()
        with tempfile.TemporaryDirectory() as d:
            got = [squeeze(big5(v)) for t, v in run_mpdrive("read", "lists.mbox", d) if t == "SUBJECT"]
        self.assertEqual(got, expected)

    def test_maildir_against_python_mailbox(self):
        import mailbox
        for key, folder in [(".", None), (".Work", "Work"), (".Work.Projects", "Work.Projects")]:
            with self.subTest(key):
                box = mailbox.Maildir(STORE, factory=None, create=False)
                if folder:
                    box = box.get_folder(folder)
                # cur/ then new/, each by file name.
                keys = sorted(box.keys(), key=lambda k: (box._toc[k].split("/")[0] != "cur", box._toc[k]))
                expected = [squeeze(str(email.message_from_bytes(box.get_bytes(k),
                                                                 policy=email.policy.default)["subject"]))
                            for k in keys]
                with tempfile.TemporaryDirectory() as d:
                    got = [squeeze(big5(v)) for t, v in run_mpdrive("read", key, d) if t == "SUBJECT"]
                self.assertEqual(got, expected)

    def test_missing_store_fails_login(self):
        env = dict(os.environ, MBOXPULL_STORE="/nonexistent/quillmere-store")
        result = subprocess.run([MPDRIVE, "list"], capture_output=True, env=env)
        self.assertEqual(result.returncode, 1)


class Generator(unittest.TestCase):
    def test_rerun_gives_committed_files(self):
        with tempfile.TemporaryDirectory() as d:
            out = os.path.join(d, "store")
            subprocess.run([sys.executable, make_store.__file__, out], check=True)
            made = sorted(os.path.relpath(os.path.join(r, f), out) for r, _, fs in os.walk(out) for f in fs)
            have = sorted(os.path.relpath(os.path.join(r, f), STORE) for r, _, fs in os.walk(STORE) for f in fs)
            self.assertEqual(made, have)
            for rel in made:
                self.assertTrue(filecmp.cmp(os.path.join(out, rel), os.path.join(STORE, rel), shallow=False), rel)


if __name__ == "__main__":
    MPDRIVE, PBDRIVE = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
