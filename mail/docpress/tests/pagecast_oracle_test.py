#!/usr/bin/env python3
"""docpress over the real framework and the HTML export filter, as installed in dist/:
the HTML it writes is Big5 (iconv reads it as CP950) and holds every word of an
independent text extractor's output (pdftotext for PDF, unrtf for RTF). Skipped (exit
77) while dist/ has no libpagecast.so or docpress.tpt.

    pagecast_oracle_test.py DIST_DIR DATA_DIR
"""
import os
import re
import subprocess
import sys
import tempfile

SKIP = 77


def oracle_words(path: str) -> list:
    if path.endswith(".pdf"):
        text = subprocess.run(["pdftotext", path, "-"], check=True, capture_output=True).stdout
    else:
        # unrtf writes the pictures it meets into its working directory.
        with tempfile.TemporaryDirectory() as scratch:
            text = subprocess.run(["unrtf", "--text", path], check=True, capture_output=True, cwd=scratch).stdout
        keep = [line for line in text.split(b"\n")
                if not line.startswith((b"###", b"TITLE:", b"AUTHOR:", b"---")) and not line.endswith(b".wmf")]
        text = b"\n".join(keep)
    return sorted(set(re.findall(rb"[A-Za-z0-9]{2,}", text)))


def main() -> int:
    dist, data = sys.argv[1], sys.argv[2]
    if not (os.path.exists(os.path.join(dist, "libpagecast.so")) and os.path.exists(os.path.join(dist, "docpress.tpt"))):
        print("no HTML export filter installed in", dist)
        return SKIP
    failures = 0
    for name in ("sample.pdf", "latin.rtf", "sample.rtf"):
        source = os.path.join(data, name)
        with tempfile.TemporaryDirectory() as work:
            run = subprocess.run([os.path.join(dist, "docpress"), source, "out.htm"], cwd=work, capture_output=True)
            out = os.path.join(work, "out.htm")
            html = open(out, "rb").read() if os.path.exists(out) else b""
            log = os.path.join(work, "Export.err")
            problems = []
            if run.returncode != 1:
                problems.append("exit code %d, log %r" % (run.returncode, open(log).read() if os.path.exists(log) else ""))
            if subprocess.run(["iconv", "-f", "CP950", "-t", "UTF-8"], input=html, capture_output=True).returncode:
                problems.append("the output is not Big5")
            if b"&#160;" in html:
                problems.append("an entity &#160; is left")
            # Words are looked for in the text between the tags (H<sub>2</sub>O is H2O).
            text = re.sub(rb"<[^>]*>", b"", html)
            missing = [w for w in oracle_words(source) if w not in text]
            if missing:
                problems.append("words missing: %r" % missing)
            for p in problems:
                print("%s: %s" % (name, p))
            failures += bool(problems)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
