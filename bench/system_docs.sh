# Shared by the benchmark drivers (mail_bench.sh, docpress_bench.sh, convert_bench.sh),
# sourced after they set $work and define die: documents that nobody here wrote, made by
# LibreOffice from system texts (the Traditional Chinese man pages of manpages-zh and the
# English pages of python3.11-doc), and the PDF files shipped under /usr/share/doc. Not
# run on its own.

# system_texts DIR COUNT: COUNT plain UTF-8 texts in DIR (zh-N.txt and en-N.txt in turn),
# each one man page or one documentation page, 2-40 KB.
system_texts() {
  local dir=$1 count=$2
  mkdir -p "$dir"
  python3 - "$dir" "$count" <<'PY'
import gzip, html.parser, os, subprocess, sys
out, count = sys.argv[1], int(sys.argv[2])
class Text(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(); self.out = []; self.skip = 0
    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style"): self.skip += 1
    def handle_endtag(self, tag):
        if tag in ("script", "style") and self.skip: self.skip -= 1
        if tag in ("p", "div", "li", "pre", "h1", "h2", "h3"): self.out.append("\n\n")
    def handle_data(self, data):
        if not self.skip: self.out.append(data)
def man_pages():
    root = "/usr/share/man/zh_TW"
    for d, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            if not name.endswith(".gz"): continue
            src = gzip.open(os.path.join(d, name)).read()
            if src.lstrip().startswith(b".so "): continue
            r = subprocess.run(["groff", "-k", "-mandoc", "-Tutf8", "-P-cbou", "-rLL=78n"], input=src,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            text = r.stdout.decode("utf-8", "replace")
            if 2000 <= len(text.encode()) <= 40000: yield text
def doc_pages():
    root = "/usr/share/doc/python3.11/html/library"
    for name in sorted(os.listdir(root)):
        if not name.endswith(".html"): continue
        t = Text(); t.feed(open(os.path.join(root, name), encoding="utf-8", errors="replace").read())
        text = "".join(t.out)
        if 2000 <= len(text.encode()) <= 40000: yield text
zh, en = man_pages(), doc_pages()
for i in range(count):
    kind, src = ("zh", zh) if i % 2 == 0 else ("en", en)
    text = next(src, None)
    if text is None: break
    open(os.path.join(out, "%s-%04d.txt" % (kind, i)), "w", encoding="utf-8").write(text)
PY
}

# system_sheets DIR COUNT: COUNT CSV tables in DIR made of the same texts (one line a row:
# its number, its first word, its length and the line), for LibreOffice's spreadsheets.
system_sheets() {
  local dir=$1 count=$2 texts=$1/.texts
  system_texts "$texts" "$count"
  python3 - "$texts" "$dir" <<'PY'
import csv, os, sys
src, out = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(src)):
    lines = [l.strip() for l in open(os.path.join(src, name), encoding="utf-8") if l.strip()][:300]
    with open(os.path.join(out, name[:-4] + ".csv"), "w", encoding="utf-8", newline="") as f:
        w = csv.writer(f)
        for n, l in enumerate(lines):
            w.writerow([n + 1, l.split()[0], len(l), l])
PY
  rm -rf "$texts"
}

# lo_convert FORMAT OUTDIR FILE...: LibreOffice converts the files (one process for all).
lo_convert() {
  local format=$1 outdir=$2
  shift 2
  mkdir -p "$outdir"
  libreoffice -env:UserInstallation="file://$work/lo-make-profile" --headless --convert-to "$format" \
    --outdir "$outdir" "$@" >/dev/null 2>&1 || true
}

# shipped_pdfs: the PDF files under /usr/share/doc of at most 2 MB, one path a line.
shipped_pdfs() { find /usr/share/doc -name '*.pdf' -size -2M -type f 2>/dev/null | sort; }
