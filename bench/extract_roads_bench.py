#!/usr/bin/env python3
"""Text extraction of the index builder's converted kinds, road against road.

For each office format, every document of a corpus made by LibreOffice from system texts
(the GNU and other licences of /usr/share/common-licenses, READMEs of /usr/share/doc, the
Traditional Chinese vim tutor, GnuPG help and AR PL licence; the sheets from the same texts
cut into cells and from distro-info's CSV tables) and the PDFs under /usr/share/doc is
turned into text by each road, one process per document as the indexer runs them:
  today's outside converters: catdoc (doc), xls2csv (xls), unrtf --html (rtf),
  pdftotext (pdf);
  the framework's readers: kvxdump --text --by-content (antiword for doc, FreeXL for xls,
  our RTF reader, poppler for pdf; docx, xlsx, odt and ods only here).
Prints per road: documents, the words of the sources found in the text (distinct words per
document: ASCII letter and digit runs of two or more, and every Chinese character), the
documents per second (one after the other, wall clock; the roads take turns document by
document), the CPU time per document (user and system of the whole process tree, /usr/bin/time's
own start included) and the peak
resident memory of the largest single process.

  bench/extract_roads_bench.py --dist DIR [--corpus DIR] [--keep]

  --dist DIR     a release build's dist/ (kvxdump)
  --corpus DIR   where the corpus is or is made (default: a temporary folder, removed)

Needs LibreOffice's text and spreadsheet parts to make the corpus (scripts/setup bench
fixtures). Not a test.
"""
import argparse
import csv
import glob
import gzip
import html
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time

WORD = re.compile(r"[A-Za-z0-9]{2,}|[\u4e00-\u9fff]")


def words(text):
    return {w.lower() for w in WORD.findall(text)}


def system_texts(out):
    os.makedirs(out, exist_ok=True)
    for f in sorted(glob.glob("/usr/share/common-licenses/*")):
        name = os.path.basename(f)
        if os.path.isfile(f) and not os.path.islink(f) and name not in ("GPL", "LGPL", "GFDL"):
            shutil.copy(f, os.path.join(out, "lic-%s.txt" % name))
    for f in sorted(glob.glob("/usr/share/doc/*/README*"))[:40]:
        if os.path.islink(f) or not os.path.isfile(f):
            continue
        data = gzip.open(f).read() if f.endswith(".gz") else open(f, "rb").read()
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            continue
        pkg = os.path.basename(os.path.dirname(f))
        with open(os.path.join(out, "doc-%s-%s.txt" % (pkg, os.path.basename(f).replace(".gz", ""))), "wb") as fh:
            fh.write(data)
    for src, name in (("/usr/share/vim/vim90/tutor/tutor.zh_tw.utf-8", "zh-vimtutor"),
                      ("/usr/share/gnupg/help.zh_TW.txt", "zh-gnupg"),
                      ("/usr/share/doc/fonts-arphic-uming/license/zh_TW.utf-8/ARPHICPL.txt.gz", "zh-arphic")):
        if os.path.exists(src):
            data = gzip.open(src).read() if src.endswith(".gz") else open(src, "rb").read()
            with open(os.path.join(out, name + ".txt"), "wb") as fh:
                fh.write(data)


def sheet_sources(texts, out):
    os.makedirs(out, exist_ok=True)
    for f in sorted(glob.glob(os.path.join(texts, "*.txt"))):
        base = os.path.basename(f)
        if not (base.startswith("lic-") or base.startswith("zh-")):
            continue
        with open(f, encoding="utf-8") as src, open(os.path.join(out, base[:-4] + ".csv"), "w", encoding="utf-8", newline="") as dst:
            w = csv.writer(dst)
            for line in src:
                if line.strip():
                    w.writerow(line.split())
    for f in glob.glob("/usr/share/distro-info/*.csv"):
        shutil.copy(f, out)


def soffice(infilter, fmt, outdir, files):
    os.makedirs(outdir, exist_ok=True)
    env = dict(os.environ, HOME=os.path.join(os.path.dirname(outdir), ".lohome"))
    subprocess.run(["soffice", "--headless", "--infilter=" + infilter, "--convert-to", fmt, "--outdir", outdir] + files,
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False, timeout=1800)


def make_corpus(root):
    texts, sheets = os.path.join(root, "src"), os.path.join(root, "sheetsrc")
    system_texts(texts)
    sheet_sources(texts, sheets)
    tfiles = sorted(glob.glob(os.path.join(texts, "*.txt")))
    for ext, fmt in (("docx", "docx:MS Word 2007 XML"), ("odt", "odt:writer8"), ("doc", "doc:MS Word 97"),
                     ("rtf", "rtf:Rich Text Format"), ("pdf", "pdf:writer_pdf_Export")):
        if not glob.glob(os.path.join(root, ext, "*")):
            soffice("Text (encoded):UTF8,LF,,,", fmt, os.path.join(root, ext), tfiles)
    sfiles = sorted(glob.glob(os.path.join(sheets, "*.csv")))
    for ext, fmt in (("xlsx", "xlsx:Calc MS Excel 2007 XML"), ("ods", "ods:calc8"), ("xls", "xls:MS Excel 97")):
        if not glob.glob(os.path.join(root, ext, "*")):
            soffice("Text - txt - csv (StarCalc):44,34,76,1", fmt, os.path.join(root, ext), sfiles)


def source_of(root, doc):
    base = os.path.splitext(os.path.basename(doc))[0]
    for d, ext in (("src", ".txt"), ("sheetsrc", ".csv")):
        p = os.path.join(root, d, base + ext)
        if os.path.exists(p) and (d == "sheetsrc") == (os.path.basename(os.path.dirname(doc)) in ("xlsx", "ods", "xls")):
            return p
    return None


def run(argv):
    """Output text, the peak resident KiB of the process (and of the children it waited
    for, as /usr/bin/time counts them), its CPU seconds (user and system, children
    included), its wall seconds and whether it exited with 0."""
    with tempfile.TemporaryFile() as out, tempfile.NamedTemporaryFile("r") as mem:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", mem.name] + argv, stdout=out,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, check=False)
        wall = time.monotonic() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
        out.seek(0)
        data = out.read()
        peak = int((mem.read().strip().splitlines() or ["0"])[-1] or 0)
    return data.decode("utf-8", "replace"), peak, cpu, wall, p.returncode == 0


def roads(dist):
    kvx = [os.path.join(dist, "kvxdump"), "--text", "--by-content"]
    return {
        "doc": [("catdoc", ["catdoc", "-d", "utf-8"]), ("framework", kvx)],
        "xls": [("xls2csv", ["xls2csv", "-d", "utf-8"]), ("framework", kvx)],
        "rtf": [("unrtf", ["unrtf", "--nopict", "--html"]), ("framework", kvx)],
        "pdf": [("pdftotext", None), ("framework", kvx)],
        "docx": [("framework", kvx)], "xlsx": [("framework", kvx)],
        "odt": [("framework", kvx)], "ods": [("framework", kvx)],
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dist", required=True)
    ap.add_argument("--corpus")
    ap.add_argument("--keep", action="store_true")
    a = ap.parse_args()
    root = a.corpus or tempfile.mkdtemp(prefix="qm-roads-")
    try:
        make_corpus(root)
        print("%-5s %-10s %5s %17s %8s %9s %9s %6s" % ("kind", "road", "docs", "words found", "docs/s",
                                                      "CPU ms", "peak KiB", "failed"))
        for kind, ways in roads(a.dist).items():
            docs = sorted(glob.glob(os.path.join(root, kind, "*." + kind)))
            if kind == "pdf":
                docs += sorted(glob.glob("/usr/share/doc/**/*.pdf", recursive=True))
            totals = {name: [0, 0, 0, 0, 0.0, 0.0] for name, _ in ways}  # found, want, peak, failed, cpu, wall
            # The roads take turns document by document, so a change of load meets both.
            for doc in docs:
                src = source_of(root, doc)
                want = None
                if src is not None:
                    want = words(open(src, encoding="utf-8", errors="replace").read())
                else:  # the PDFs of /usr/share/doc: pdftotext's words are the measure
                    want = words(run(["pdftotext", "-q", "-enc", "UTF-8", doc, "-"])[0])
                for name, argv in ways:
                    cmd = ["pdftotext", "-q", "-enc", "UTF-8", doc, "-"] if argv is None else argv + [doc]
                    text, rss, cpu, wall, ok = run(cmd)
                    if name == "unrtf":
                        text = html.unescape(re.sub(r"<[^>]*>", " ", text))
                    t = totals[name]
                    t[0] += len(want & words(text))
                    t[1] += len(want)
                    t[2] = max(t[2], rss)
                    t[3] += not ok
                    t[4] += cpu
                    t[5] += wall
            for name, _ in ways:
                found, want, peak, failed, cpu, wall = totals[name]
                print("%-5s %-10s %5d %8d/%-8d %8.1f %9.1f %9d %6d" % (
                    kind, name, len(docs), found, want, len(docs) / wall if wall else 0,
                    1000 * cpu / len(docs) if docs else 0, peak, failed))
                sys.stdout.flush()
    finally:
        if not a.corpus and not a.keep:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
