#!/usr/bin/env python3
"""Writes the mail-client store fixtures from the .eml corpus (../fixtures/*.eml), in the
layouts the mail gateway reads:

- jmf6.mbx: "JMF6", then one record per message, each opened by the marker 00 7F 00 7F
  and a 16-byte header, the text NUL-terminated and padded to 16 bytes.
- tocbox.mbx with tocbox.toc and the folder Attach/: messages after "From ???@???"
  lines, then messages whose bodies stand between <x-html>, <x-rich> and <x-flowed>
  tags, and one whose "Attachment Converted:" lines name a file in Attach/ (and two
  that point outside the folder). The .toc is a small table of our own (offset and
  length of each message); the gateway does not read it.
- folder.dbx: the client's file header (signature; the count of indexed messages at
  0xC4 and the root of their index tree at 0xE4), then chains of blocks (16-byte header:
  own offset, kind word, data length, next offset; 512 data bytes a block): an object
  that is no message, a freed chain (kind word 508), an object whose first block claims
  more than 512 bytes, and the messages, one of them with its blocks in reverse order in
  the file; then the folder index: one message-info object per message (an indexed-info
  object: own offset, body length, object length, entry count, then 4-byte entries of
  index number and 3-byte value; index 0 the message number, index 4 the offset of its
  first block) and one tree node (0x27C bytes: own offset, child and parent links, the
  entry count at 0x11, then 12-byte entries whose first word points to a message info).
  Messages without a To: or CC: line get one, as a mail client stores them; the corpus
  message with neither sender nor recipient is kept as a chain outside the index and is
  not read. The gateway finds messages by their blocks, not through the index; undbx
  reads the index, so it checks the generator independently.

The output is deterministic; mail/tests/stores_test.py imports expected() for the raw
texts each store gives.

    make_stores.py [output_dir]     (default: ../stores beside this script)
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "fixtures")
CRLF = b"\r\n"
MARKER = b"\x00\x7f\x00\x7f"
TOC_LINE = b"From ???@??? Thu Dec 10 00:00:00 2026"
STD = (b"From: Ann Lee <ann@example.com>\r\nTo: bob@example.com\r\n"
       b"Date: Sun, 12 Mar 2000 23:30:00 -0500\r\n")
SIGNATURE = bytes.fromhex("CFAD12FEC5FD746F66E3D1119A4E00C04FA309D40500000005000000")
HEADER_SIZE = 0x24BC
TREE_NODE_SIZE = 0x27C
BLOCK_DATA = 512
FREED = 508
USED = 0x200


def corpus():
    names = sorted(f for f in os.listdir(FIXTURES) if f.endswith(".eml"))
    out = []
    for n in names:
        with open(os.path.join(FIXTURES, n), "rb") as fh:
            out.append((n, fh.read()))
    return out


def header_lines(raw):
    return [l.lower() for l in raw.split(CRLF + CRLF, 1)[0].split(CRLF)]


def has_sender(raw):
    return any(l.startswith(b"from:") or l.startswith(b"sender:") for l in header_lines(raw))


def has_recipient(raw):
    return any(l.startswith(b"to:") or l.startswith(b"cc:") for l in header_lines(raw))


# ---- kind 1 -------------------------------------------------------------------------

def jmf6(messages):
    out = b"JMF6" + struct.pack("<III", 1, len(messages), 0)
    for i, raw in enumerate(messages):
        assert b"\0" not in raw and MARKER not in raw
        record = MARKER + struct.pack("<III", len(raw) + 1, i, 0) + raw + b"\0"
        record += b"\0" * (-len(record) % 16)
        out += record
    return out


# ---- kind 2 -------------------------------------------------------------------------

CONVERTED_NAME = "Report.TXT"
CONVERTED_FILE = ("Attach", "report.txt")
CONVERTED_TEXT = b"Converted attachment text: quarterly figures\r\n"

TAGGED = [
    # (subject, tag, text between the tags, closing tag written)
    (b"tagged html", b"x-html", b"<html><body>Tagged <b>html</b> body</body></html>\r\n", True),
    (b"tagged rich", b"x-rich", b"Tagged <bold>rich</bold> body\r\n", True),
    (b"tagged flowed", b"x-flowed", b"Tagged flowed body \r\nwith no closing tag\r\n", False),
]


def tagged_message(subject, tag, text, closed):
    head = STD + b"Subject: " + subject + CRLF + b'Content-Type: multipart/alternative; boundary="gone"' + CRLF
    body = b"<" + tag + b">" + CRLF + CRLF + text + ((b"</" + tag + b">" + CRLF) if closed else b"")
    return head + CRLF + body


def converted_message():
    return (STD + b"Subject: converted attachments" + CRLF + CRLF +
            b"See the report." + CRLF + CRLF +
            b'Attachment Converted: "..\\..\\x"' + CRLF +
            b'Attachment Converted: "/etc/passwd"' + CRLF +
            b'Attachment Converted: "C:\\Eudora\\Attach\\' + CONVERTED_NAME.encode() + b'"' + CRLF)


def toc_messages(messages):
    extra = [tagged_message(*t) for t in TAGGED] + [converted_message()]
    return messages + extra


def tocbox(messages):
    box = b""
    table = []
    for raw in messages:
        if not raw.endswith(CRLF):
            raw += CRLF
        table.append((len(box), len(TOC_LINE) + 2 + len(raw)))
        box += TOC_LINE + CRLF + raw
    toc = b"QTOC" + struct.pack("<I", len(table)) + b"".join(struct.pack("<II", o, n) for o, n in table)
    return box, toc


# ---- kind 3 -------------------------------------------------------------------------

class Dbx:
    def __init__(self):
        self.data = bytearray(SIGNATURE + b"\0" * (HEADER_SIZE - len(SIGNATURE)))

    def chain(self, text, kind=USED, reverse=False, whole=False):
        """Writes text as a chain of blocks (one block when whole); the offset of its
        first block."""
        pieces = [text[i:i + BLOCK_DATA] for i in range(0, len(text), BLOCK_DATA)] or [b""]
        size = 16 + BLOCK_DATA
        if whole:
            pieces = [text]
            size = 16 + len(text) + (-len(text) % 16)
        base = len(self.data)
        order = list(range(len(pieces)))
        if reverse:
            order.reverse()
        place = {k: base + slot * size for slot, k in enumerate(order)}
        blocks = {}
        for k, piece in enumerate(pieces):
            nxt = place[k + 1] if k + 1 < len(pieces) else 0
            block = struct.pack("<IIII", place[k], kind, len(piece), nxt) + piece
            blocks[place[k]] = block + b"\0" * (size - len(block))
        for at in sorted(blocks):
            assert at == len(self.data)
            self.data += blocks[at]
        return place[0]

    def put32(self, at, value):
        self.data[at:at + 4] = struct.pack("<I", value)


def dbx_messages(messages):
    out = []
    for raw in messages:
        if has_sender(raw) and not has_recipient(raw):
            raw = b"To: reader@example.com" + CRLF + raw
        out.append(raw)
    return out


def folder_dbx(messages):
    d = Dbx()
    d.chain(b"Folder-Name: Inbox\r\nCreated: Thu, 10 Dec 2026 00:00:00 +0800\r\n\r\n")
    d.chain(b"From: old@example.com\r\nTo: bob@example.com\r\nSubject: freed slot\r\n\r\nDeleted.\r\n" * 8,
            kind=FREED)
    d.chain(b"Folder-Note: a large object\r\n\r\n" + b"n" * 1000, whole=True)
    starts = []
    for i, raw in enumerate(messages):
        assert b"\0" not in raw
        start = d.chain(raw, reverse=(i == 13))
        if has_sender(raw) and has_recipient(raw):
            starts.append(start)
    # The folder index: a message info per indexed message, then the tree node over them.
    infos = []
    for number, start in enumerate(starts, 1):
        at = len(d.data)
        entries = [(0x00, number), (0x04, start)]
        body = b"".join(struct.pack("<I", (index | 0x80) | value << 8) for index, value in entries)
        d.data += struct.pack("<IIHBB", at, len(body), 12 + len(body), len(entries), 1) + body
        infos.append(at)
    assert len(infos) <= (TREE_NODE_SIZE - 0x18) // 12
    node = len(d.data)
    d.data += struct.pack("<IIIIBBHI", node, 0, 0, 0, 0, len(infos), 0, 0)
    d.data += b"".join(struct.pack("<III", info, 0, 0) for info in infos)
    d.data += b"\0" * (node + TREE_NODE_SIZE - len(d.data))
    d.put32(0xC4, len(infos))
    d.put32(0xE4, node)
    d.put32(0x7C, len(d.data))
    return bytes(d.data)


# ---- all ----------------------------------------------------------------------------

def expected():
    """The raw text of each message a store gives, in order: {store name: [bytes]}."""
    messages = [raw for _, raw in corpus()]
    # The line end before a separator belongs to it; the last message runs to the end.
    toc = [raw[:-2] if raw.endswith(CRLF) else raw for raw in toc_messages(messages)]
    if not toc_messages(messages)[-1].endswith(CRLF):
        raise AssertionError("the last message ends its line")
    toc[-1] += CRLF
    dbx = [raw for raw in dbx_messages(messages) if has_sender(raw) and has_recipient(raw)]
    return {"jmf6.mbx": messages, "tocbox.mbx": toc, "folder.dbx": dbx}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "stores")
    os.makedirs(os.path.join(out, CONVERTED_FILE[0]), exist_ok=True)
    messages = [raw for _, raw in corpus()]
    files = {"jmf6.mbx": jmf6(messages), "folder.dbx": folder_dbx(dbx_messages(messages))}
    files["tocbox.mbx"], files["tocbox.toc"] = tocbox(toc_messages(messages))
    files[os.path.join(*CONVERTED_FILE)] = CONVERTED_TEXT
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as fh:
            fh.write(data)


if __name__ == "__main__":
    main()
