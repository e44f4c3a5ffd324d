#!/usr/bin/env python3
"""Writes the mail-store fixture that the mboxpull stand-in reads: a Maildir store with a
message in cur/ and one in new/, Maildir++ subfolders (".Work", ".Work.Projects"), a broken
subfolder whose cur/ is a file, a folder of .eml files (the message fixtures of make_eml.py
and one with attachments of several kinds), a folder with a UTF-8 name and an mbox file.
The output is deterministic: rerunning gives the committed bytes.

    make_store.py [output_dir]     (default: ../store beside this script)

The store oracle test (mail/mboxpull/tests/store_oracle_test.py) imports ATTACHMENTS to
know which attachments the stand-in must save and which the gateway passes over.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_eml  # noqa: E402
from make_eml import CRLF, STD, b64, lines, message, mixed, part  # noqa: E402

# Attachments of the attachment message: (header lines, bytes, read by the gateway).
ATTACHMENTS = [
    (["Content-Type: text/plain; charset=us-ascii; name=\"notes.txt\"", "Content-Transfer-Encoding: base64",
      "Content-Disposition: attachment; filename=\"notes.txt\""],
     b"Notes for the quarter.\r\nnoteword appears here.\r\n", True),
    (["Content-Type: application/vnd.ms-excel; name=\"budget.xls\"", "Content-Transfer-Encoding: base64",
      "Content-Disposition: attachment; filename=\"budget.xls\""],
     b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(range(256)) + b"xlsonlyword", True),
    (["Content-Type: text/plain; charset=utf-8", "Content-Transfer-Encoding: base64",
      "Content-Disposition: attachment; filename*=UTF-8''%E5%A0%B1%E5%91%8A.txt"],
     "報告 reportword\r\n".encode("utf-8"), True),
    (["Content-Type: application/octet-stream; name=\"ATT00001.dat\"", "Content-Transfer-Encoding: base64",
      "Content-Disposition: attachment; filename=\"ATT00001.dat\""], b"\x00\x01winmail", False),
    (["Content-Type: application/octet-stream; name=\"photo.bin\"", "Content-Transfer-Encoding: base64",
      "Content-Disposition: attachment; filename=\"photo.bin\""], b"\xff\xd8\xff binary", False),
]

# Message fixtures of make_eml.py copied into the .eml folder.
EML_TAGS = ["plain", "subject-big5-b", "subject-utf8-q", "subject-words-joined", "fold-blank", "fold-tab",
            "raw-big5", "raw-utf8-undeclared", "body-base64-utf8", "body-qp", "alternative", "html-only",
            "sender-encoded", "q-underscore"]


def attachment_message() -> bytes:
    parts = [part(["Content-Type: text/plain; charset=us-ascii"], lines("Quarterly figures attached.", ""))]
    for headers, data, _ in ATTACHMENTS:
        parts.append(part(headers, b64(data)))
    return message(STD + ["Subject: figures with attachments", "MIME-Version: 1.0",
                          "Content-Type: multipart/mixed; boundary=\"att-1\""], mixed("att-1", parts))


def write(path: str, data: bytes):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as fh:
        fh.write(data)


def maildir_name(n: int) -> str:
    return "10000000%02d.M%dP1.quillmere:2,S" % (n, n)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "store")
    if os.path.isdir(out):
        shutil.rmtree(out)
    msgs = dict(make_eml.fixtures())
    # The store itself is a Maildir: one message read, one new.
    write(os.path.join(out, "cur", maildir_name(1)), msgs["plain"])
    write(os.path.join(out, "new", "1000000002.M2P1.quillmere"), msgs["subject-big5-b"])
    write(os.path.join(out, ".Work", "cur", maildir_name(3)), msgs["alternative"])
    write(os.path.join(out, ".Work", "cur", maildir_name(4)), msgs["subject-utf8-q"])
    write(os.path.join(out, ".Work", "new", "1000000005.M5P1.quillmere"), msgs["body-qp"])
    write(os.path.join(out, ".Work.Projects", "cur", maildir_name(6)), msgs["nested"])
    write(os.path.join(out, ".Work.Projects", "cur", maildir_name(7)), msgs["sender-encoded"])
    write(os.path.join(out, ".Work.Projects", "new", "1000000009.M9P1.quillmere"), msgs["fold-blank"])
    # Broken: cur is a file.
    write(os.path.join(out, ".broken", "cur"), b"not a folder\n")
    write(os.path.join(out, ".broken", "new", "1000000008.M8P1.quillmere"), msgs["plain"])
    for i, tag in enumerate(EML_TAGS, 1):
        write(os.path.join(out, "archive", "%02d-%s.eml" % (i, tag)), msgs[tag])
    write(os.path.join(out, "archive", "90-attachments.eml"), attachment_message())
    write(os.path.join(out, "archive", "readme.txt"), b"Not a message.\n")
    write(os.path.join(out, "中文", "01-raw-big5.eml"), msgs["raw-big5"])
    box = b""
    for tag in ["plain", "fold-tab", "raw-big5"]:
        box += make_eml.FROM_LINE + CRLF + msgs[tag]
        if not box.endswith(CRLF):
            box += CRLF
    write(os.path.join(out, "lists.mbox"), box.replace(CRLF, b"\n"))
    write(os.path.join(out, "subscriptions"), b"Work\nWork.Projects\n")


if __name__ == "__main__":
    main()
