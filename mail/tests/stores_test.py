#!/usr/bin/env python3
"""The mail-client store fixtures (mail/tests/stores, from tools/make_stores.py) through
pbdrive: every store gives the corpus's messages in order, each page checked against
Python's email package (compat32) on the raw text the store holds, as the mailbox
fixtures are in oracle_test.py; the tagged bodies of the .toc-paired mailbox, and with
attachments on, the one attachment its "Attachment Converted:" lines may bring in. Also
checks that rerunning the generator gives the committed bytes, and that Debian's undbx
reads the same messages from the .dbx through its folder index.

    stores_test.py PBDRIVE [unittest arguments]
"""
import email
import email.policy
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
STORES = os.path.join(HERE, "stores")
sys.path.insert(0, os.path.join(HERE, "tools"))
sys.path.insert(0, HERE)
import make_stores  # noqa: E402
import oracle_test  # noqa: E402
from oracle_test import big5_cut, expected_body, header_big5, local_day, records  # noqa: E402

PBDRIVE = None
PAGE = re.compile(rb"<TITLE>(.*)</TITLE>\n<H1>(.*)</H1>\n<BODY>(.*)</BODY>\n(.*)", re.S)
# A body without its closing tag runs to the end of the message, which ends before the
# line end of the next separator.
TAGGED = {subject: text if closed else text[:-2] for subject, _, text, closed in make_stores.TAGGED}


def pbdrive(*args):
    env = dict(os.environ, TZ="Asia/Taipei")
    run = subprocess.run([PBDRIVE, *args], capture_output=True, env=env)
    assert run.returncode == 0, run.stderr
    assert run.stderr == b"", run.stderr
    return records(run.stdout)


class Stores(unittest.TestCase):
    def check_store(self, store):
        expected = make_stores.expected()[store]
        with tempfile.TemporaryDirectory() as work:
            out = pbdrive(os.path.join(STORES, store), work)
            with open(os.path.join(work, "MailProperty.db"), "rb") as fh:
                prop = fh.read()
        texts = [v for t, v in out if t == "TEXT"]
        names = [v for t, v in out if t == "PAGE"]
        self.assertEqual(len(texts), len(expected))
        self.assertEqual(len(prop), 168 * len(expected))
        stem = store.rsplit(".", 1)[0].encode()
        for n, (raw, text) in enumerate(zip(expected, texts)):
            with self.subTest(store=store, message=n + 1):
                msg = email.message_from_bytes(raw, policy=email.policy.compat32)
                self.assertEqual(names[n], b"[%s] - %d" % (stem, n + 1))
                m = PAGE.fullmatch(text)
                self.assertIsNotNone(m)
                subject = big5_cut(header_big5(msg["Subject"]), 80)
                sender = big5_cut(header_big5(msg["From"]), 256)
                self.assertEqual(m.group(1), subject)
                self.assertEqual(m.group(2), sender.replace(b"<", b"{").replace(b">", b"}"))
                if subject in TAGGED:
                    self.assertEqual(m.group(3), TAGGED[subject])
                elif b"begin 644 inline.txt" not in raw:
                    self.assertEqual(m.group(3), expected_body(msg))
                date = struct.unpack_from("<i", prop, n * 168)[0]
                self.assertEqual(date, local_day(msg["Date"]))

    def test_jmf6_mailbox(self):
        self.check_store("jmf6.mbx")

    def test_toc_mailbox_with_tagged_bodies(self):
        self.check_store("tocbox.mbx")

    def test_block_folder(self):
        self.check_store("folder.dbx")
        # The freed chain, the object that is no message and the message without sender
        # or recipient are not read.
        with tempfile.TemporaryDirectory() as work:
            texts = b"".join(v for t, v in pbdrive(os.path.join(STORES, "folder.dbx"), work) if t == "TEXT")
        self.assertNotIn(b"freed slot", texts)
        self.assertNotIn(b"Folder-Name", texts)
        self.assertNotIn(b"Only a body.", texts)

    def test_converted_attachment_with_attachments_on(self):
        with tempfile.TemporaryDirectory() as d:
            conv, work = os.path.join(d, "conv"), os.path.join(d, "work")
            os.mkdir(conv)
            os.mkdir(work)
            oracle_test.make_converter(conv, oracle_test.CONVERTER)
            out = pbdrive("-a", "-c", conv, os.path.join(STORES, "tocbox.mbx"), work)
            saved = sorted(os.listdir(os.path.join(work, "Attach")))
        last = [v for t, v in out if t == "TEXT"][-1]
        sections = re.findall(rb"<T_ATTACH>(.*?)</T_ATTACH>\r\n", last)
        self.assertEqual(sections, [make_stores.CONVERTED_NAME.encode()])
        self.assertTrue(last.endswith(make_stores.CONVERTED_TEXT))
        self.assertIn("%d~%s" % (len(make_stores.expected()["tocbox.mbx"]), make_stores.CONVERTED_NAME), saved)


class Generator(unittest.TestCase):
    def test_undbx_reads_the_same_messages_from_the_block_folder(self):
        """Debian's undbx, a second reader of the client's files that goes through the
        folder index (normal mode, no recovery), extracts exactly the messages the gateway
        reads from folder.dbx, byte for byte and in index order."""
        undbx = shutil.which("undbx")
        self.assertIsNotNone(undbx, "undbx is missing; run scripts/setup")
        with tempfile.TemporaryDirectory() as d:
            run = subprocess.run([undbx, os.path.join(STORES, "folder.dbx"), d], capture_output=True)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            out = os.path.join(d, "folder")
            # Each file name ends in the offset of its message info: the index order.
            names = sorted((n for n in os.listdir(out) if n.endswith(".eml")),
                           key=lambda n: int(n.rsplit(".", 2)[1], 16))
            got = []
            for n in names:
                with open(os.path.join(out, n), "rb") as fh:
                    got.append(fh.read())
        self.assertEqual(got, make_stores.expected()["folder.dbx"])

    def test_rerun_gives_committed_bytes(self):
        with tempfile.TemporaryDirectory() as d:
            subprocess.run([sys.executable, os.path.join(HERE, "tools", "make_stores.py"), d], check=True)
            for base, _, files in os.walk(d):
                for f in files:
                    rel = os.path.relpath(os.path.join(base, f), d)
                    with open(os.path.join(d, rel), "rb") as a, open(os.path.join(STORES, rel), "rb") as b:
                        self.assertEqual(a.read(), b.read(), rel)
            made = sorted(os.path.relpath(os.path.join(b, f), d) for b, _, fs in os.walk(d) for f in fs)
            kept = sorted(os.path.relpath(os.path.join(b, f), STORES) for b, _, fs in os.walk(STORES) for f in fs)
            self.assertEqual(made, kept)


if __name__ == "__main__":
    PBDRIVE = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])
