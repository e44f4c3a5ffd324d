#!/usr/bin/env python3
"""The docpress road end to end, over the installed framework, HTML export filter and
docpress.tpt: every document fixture of the framework converts to exactly one file (the
output, exit code 1, no error log, no picture or style-sheet file beside it) that is
strict Big5 without a NUL byte and without "&#160;"; the same run with a third argument
differs only by "&#160;" where the first has blanks, and there "&#160;" stands for every
hard space and empty table cell of the documents made for it (data/road); and where an
independent extractor exists, the page's words are the extractor's words, as many times
each, once "&#160;" is a blank. Skipped (exit 77) while dist/ has no libpagecast.so or
docpress.tpt.

The extractors are exact except where listed in INEXACT: there the extractor's ASCII
letters and digits must all stand in the page, and the page may have more.

    docpress_road_test.py DIST_DIR DATA_DIR
"""
import collections
import html as entities
import os
import re
import subprocess
import sys
import tempfile

ROAD_DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "road")

SKIP = 77
FIXTURES = ["latin.rtf", "sample.rtf", "office.rtf", "sample.pdf", "office.pdf", "sample.docx", "office.docx",
            "sample.odt", "office.odt", "sample.xlsx", "office.xlsx", "sample.ods", "office.ods", "latin.html",
            "big5.html", "office.doc", "office.xls", "office.ppt", "pictures.docx", "pictures.odt",
            "pictures/page.html", ROAD_DATA + "/spaces.rtf", ROAD_DATA + "/spaces.html"]

# Where the extractor is not exact, and why; there its ASCII letters and digits must all
# stand in the page's words, as many times each, and the page may have more.
INEXACT = {
    # unrtf writes "?" for the Big5 runs of \ansicpg950 and leaves footnotes and endnotes
    # out; it drops a hard space (\~) altogether, joining the words on either side.
    "sample.rtf", "office.rtf", "spaces.rtf",
}

# What the run with a third argument must hold: "&#160;" for each hard space, and a cell
# with nothing but "&#160;" for the empty cell.
KEPT = {
    "spaces.rtf": [b"Hard&#160;space", b"two&#160;&#160;kept", b"<TD>&#160;</TD>"],
    "spaces.html": [b"Hard&#160;space", b"two&#160;&#160;kept", b"<TD>&#160;</TD>"],
}

# Tags inside a word; every other tag separates words.
INLINE = {"a", "b", "i", "u", "s", "em", "strong", "font", "span", "sub", "sup", "strike", "tt", "code", "big",
          "small", "blink"}


def oracle_text(path: str, data: str):
    """The independent extractor's text, or None where there is none."""
    if path.endswith(".pdf"):
        return subprocess.run(["pdftotext", path, "-"], check=True, capture_output=True).stdout
    if path.endswith(".rtf"):
        with tempfile.TemporaryDirectory() as scratch:  # unrtf writes pictures where it runs
            text = subprocess.run(["unrtf", "--text", path], check=True, capture_output=True, cwd=scratch).stdout
        # The document information (title, keywords, author...) comes before unrtf's line of
        # dashes; the page holds the body, so only what follows it counts.
        lines = text.split(b"\n")
        rule = next((i for i, line in enumerate(lines) if line.startswith(b"---")), -1)
        keep = [line for line in lines[rule + 1:] if not line.startswith(b"###") and not line.endswith(b".wmf")]
        return b"\n".join(keep)
    if path.endswith((".docx", ".odt")):
        return subprocess.run([sys.executable, os.path.join(data, "office_text.py"), path], check=True,
                              capture_output=True).stdout
    if path.endswith(".html"):
        charset = "big5" if "big5" in path else "utf-8"
        return subprocess.run([sys.executable, os.path.join(data, "html_text.py"), path, charset], check=True,
                              capture_output=True).stdout
    return None


def oracle_words(text: bytes) -> collections.Counter:
    """The extractor's words; a character Big5 has no code for is "@", as the page has it."""
    text = "".join(c if c.isspace() or can_big5(c) else "@" for c in text.decode("utf-8", "replace"))
    return collections.Counter(re.findall(r"[\w@]+", text))


def can_big5(c: str) -> bool:
    try:
        c.encode("cp950")
        return True
    except UnicodeEncodeError:
        return False


def ascii_letters(words: collections.Counter) -> collections.Counter:
    out = collections.Counter()
    for w, n in words.items():
        for c in w:
            if c.isascii() and c.isalnum():
                out[c] += n
    return out


def page_words(html: bytes) -> collections.Counter:
    """The words of the page's body: the note reference numbers the export adds go, inline
    tags join, other tags separate, entities are their characters and "&#160;" a blank."""
    body = html.split(b"<BODY", 1)[-1]
    body = re.sub(rb'<A HREF="#[FE]Note\d+"><EM>\d+</EM></A>', b"", body)

    def tag(m):
        return "" if m.group(1).lower() in INLINE else " "
    text = re.sub(r"</?([A-Za-z0-9]+)[^>]*>", tag, body.decode("cp950"))
    return collections.Counter(re.findall(r"[\w@]+", entities.unescape(text).replace("\xa0", " ")))


def run(dist: str, source: str, extra: list):
    with tempfile.TemporaryDirectory() as work:
        done = subprocess.run([os.path.join(dist, "docpress"), source, "out.htm"] + extra, cwd=work,
                              capture_output=True, timeout=120)
        out = os.path.join(work, "out.htm")
        html = open(out, "rb").read() if os.path.exists(out) else None
        return done.returncode, sorted(os.listdir(work)), html


def main() -> int:
    dist, data = sys.argv[1], sys.argv[2]
    if not (os.path.exists(os.path.join(dist, "libpagecast.so")) and os.path.exists(os.path.join(dist, "docpress.tpt"))):
        print("no HTML export filter installed in", dist)
        return SKIP
    failures = 0
    for name in FIXTURES:
        source = os.path.join(data, name)
        problems = []
        code, files, html = run(dist, source, [])
        if code != 1:
            problems.append("exit code %d" % code)
        if files != ["out.htm"]:
            problems.append("files in the folder: %r" % files)
        html = html or b""
        if b"\0" in html:
            problems.append("a NUL byte in the output")
        try:
            html.decode("cp950", errors="strict")
        except UnicodeDecodeError as e:
            problems.append("not Big5: %s" % e)
        if b"&#160;" in html:
            problems.append("an entity &#160; is left")
        code_n, files_n, kept = run(dist, source, ["-n"])
        if code_n != 1 or files_n != ["out.htm"] or kept is None:
            problems.append("with -n: exit code %d, files %r" % (code_n, files_n))
        elif kept.replace(b"&#160;", b" ") != html:
            problems.append("the output with -n differs by more than its &#160; entities")
        else:
            flat = re.sub(rb"\s+", b"", kept)
            absent = [k for k in KEPT.get(os.path.basename(name), []) if re.sub(rb"\s+", b"", k) not in flat]
            if absent:
                problems.append("with -n, not found: %r" % absent)
        oracle = oracle_text(source, data)
        if oracle is not None:
            want, have = oracle_words(oracle), page_words(html)
            if os.path.basename(name) in INEXACT:
                want, have = ascii_letters(want), ascii_letters(have)
                extra = collections.Counter()
            else:
                extra = have - want
            missing = want - have
            if missing or extra:
                problems.append("words missing: %r; words added: %r" % (sorted(missing)[:20], sorted(extra)[:20]))
        for p in problems:
            print("%s: %s" % (name, p))
        failures += bool(problems)
    print("%d of %d fixtures took the road" % (len(FIXTURES) - failures, len(FIXTURES)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
