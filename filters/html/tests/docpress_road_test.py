#!/usr/bin/env python3
"""The docpress road end to end, over the installed framework, HTML export filter and
docpress.tpt: every document fixture of the framework converts to exactly one file (the
output, exit code 1, no error log, no picture or style-sheet file beside it) that is
strict Big5 without a NUL byte and without "&#160;"; the same run with a third argument
differs only by "&#160;" where the first has blanks; and where an independent extractor
exists, each of its words stands in the page's text. Skipped (exit 77) while dist/ has no
libpagecast.so or docpress.tpt.

    docpress_road_test.py DIST_DIR DATA_DIR
"""
import os
import re
import subprocess
import sys
import tempfile

SKIP = 77
FIXTURES = ["latin.rtf", "sample.rtf", "office.rtf", "sample.pdf", "office.pdf", "sample.docx", "office.docx",
            "sample.odt", "office.odt", "sample.xlsx", "office.xlsx", "sample.ods", "office.ods", "latin.html",
            "big5.html", "office.doc", "office.xls", "office.ppt", "pictures.docx", "pictures.odt",
            "pictures/page.html"]


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


def words(text: bytes) -> list:
    return sorted(set(re.findall(rb"[A-Za-z0-9]{2,}", text)))


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
        oracle = oracle_text(source, data)
        if oracle is not None:
            text = re.sub(rb"<[^>]*>", b"", html)
            missing = [w for w in words(oracle) if w not in text]
            if missing:
                problems.append("words missing: %r" % missing[:20])
        for p in problems:
            print("%s: %s" % (name, p))
        failures += bool(problems)
    print("%d of %d fixtures took the road" % (len(FIXTURES) - failures, len(FIXTURES)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
