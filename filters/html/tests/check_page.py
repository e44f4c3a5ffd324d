#!/usr/bin/env python3
"""Independent checks of one converted document: every .htm file of the output folder has
no NUL byte, decodes strictly in the charset its page names (Big5 as Python's cp950), has
balanced tags by html.parser, and every internal HREF ("#name" or an output file's .htm
name) names an existing output file and a NAME in it. The visible text of the root page (without head, the template's own <h1> and
the raised note numbers of note links) holds the same characters, blanks aside, as the
document's text without headers and footers, which the default template does not
show (kvxdump --body-text; characters that the output set cannot hold are "@").
Usage: check_page.py FOLDER ROOT MODEL_TEXT_FILE; prints "ok" or the faults."""
import collections
import html.parser
import os
import re
import sys


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack, self.faults, self.names, self.hrefs, self.text = [], [], set(), [], []
        self.images = []       # SRC of every IMG
        self.skip = 0          # inside head or the template's <h1>
        self.mark = 0          # inside a raised note number of a note link
        self.note_link = False

    def handle_starttag(self, tag, attrs):
        self.stack.append(tag)
        raw = self.get_starttag_text() or ""
        a = dict(attrs)
        if tag == "a" and "name" in a:
            self.names.add(a["name"])
        if tag == "img" and "src" in a:
            self.images.append(a["src"])
        if tag == "a" and "href" in a:
            self.hrefs.append(a["href"])
            self.note_link = re.search(r"#[FEA]Note[0-9a-f]+$", a["href"] or "") is not None
        if tag == "head" or raw.startswith("<h1"):
            self.skip += 1
        if tag != "a" and self.note_link:  # the raised number (SUP, or EM where SUP is not written)
            self.mark += 1

    def handle_endtag(self, tag):
        if not self.stack or self.stack[-1] != tag:
            self.faults.append("end tag %s does not close %s" % (tag, self.stack[-1] if self.stack else "nothing"))
            return
        self.stack.pop()
        if tag in ("head", "h1") and self.skip:
            self.skip -= 1
        if tag != "a" and self.mark:
            self.mark -= 1
        if tag == "a":
            self.note_link = False

    def handle_data(self, data):
        if not self.skip and not self.mark:
            self.text.append(data)


def charset_of(raw):
    m = re.search(rb'charset=([A-Za-z0-9_-]+)', raw)
    name = m.group(1).decode().lower() if m else "utf-8"
    return "cp950" if name == "big5" else name


def main():
    folder, root, model_file = sys.argv[1:4]
    faults, pages = [], {}
    for f in sorted(os.listdir(folder)):
        if not f.endswith(".htm"):
            continue
        raw = open(os.path.join(folder, f), "rb").read()
        if b"\0" in raw:
            faults.append("%s: NUL byte" % f)
        codec = charset_of(raw)
        try:
            text = raw.decode(codec, errors="strict")
        except (UnicodeDecodeError, LookupError) as e:
            faults.append("%s: not %s: %s" % (f, codec, e))
            continue
        p = Page()
        p.feed(text)
        p.close()
        if p.stack:
            p.faults.append("open at the end: " + " ".join(p.stack))
        faults += ["%s: %s" % (f, x) for x in p.faults]
        pages[f] = (p, codec)
    for f, (p, _) in pages.items():
        for src in p.images:
            # A picture the export wrote: a file of the folder that is a GIF, JPEG or PNG.
            path = os.path.join(folder, src)
            if "/" in src or not os.path.isfile(path):
                faults.append("%s: picture %s is not an output file" % (f, src))
            elif not open(path, "rb").read(8).startswith((b"GIF8", b"\xff\xd8", b"\x89PNG")):
                faults.append("%s: picture %s is not a picture" % (f, src))
        for h in p.hrefs:
            # Internal links: to an anchor of the page or to another output file (.htm); the
            # document's own links to other files or addresses are kept as they were.
            if not (h.startswith("#") or re.match(r"^[^/:#]+\.htm(#|$)", h)):
                continue
            target, _, name = h.partition("#")
            target = target or f
            if target not in pages:
                faults.append("%s: link %s to a missing file" % (f, h))
            elif name and name not in pages[target][0].names:
                faults.append("%s: link %s to a missing anchor" % (f, h))
    if root in pages:
        p, codec = pages[root]
        model = open(model_file, encoding="utf-8").read()

        def held(c):
            try:
                c.encode(codec)
                return c
            except UnicodeEncodeError:
                return "@"

        want = collections.Counter(held(c) for c in model if not c.isspace())
        got = collections.Counter(c for c in "".join(p.text) if not c.isspace())
        if want != got:
            faults.append("text differs: missing %s, extra %s" % (
                dict(list((want - got).items())[:10]), dict(list((got - want).items())[:10])))
    else:
        faults.append("no root page " + root)
    print("\n".join(faults) if faults else "ok")


main()
