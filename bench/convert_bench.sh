#!/usr/bin/env bash
# Conversion benchmark of the HTML export: converts documents with `kvxrun` (libkvx.so and
# libpagecast.so of a release build, the built-in template, docpress's options), one
# process per document as docpress does, beside a peer converter in the same run:
#   PDF   the English and Traditional Chinese manuals of debian-reference, against
#         `pdftohtml -noframes -i`;
#   RTF   a generated file of 2,000 pages (\page breaks, about 5 MB) with Big5 runs and
#         tables, against `unrtf --html`;
#   HTML  the pages of python3.11-doc, against `libreoffice --headless --convert-to html`
#         on 20 of them (one page is one document).
# Prints pages/s (documents/s for HTML), MB/s of input and the peak resident memory of the
# largest single process (/usr/bin/time %M).
#
#   bench/convert_bench.sh [--build-dir DIR] [--jobs N] [--html N] [--keep]
#
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --jobs N          parallel build jobs (default: the processor count)
#   --html N          HTML pages converted by kvxrun (default: all)
#   --keep            keep the work folder for a look afterwards
#
# Installs what it needs first (scripts/setup bench: scripts/packages/optional/bench.txt).
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$repo/build-bench"
html_limit=0
jobs=$(nproc)
keep=0
while (($#)); do
  case "$1" in
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift 2 ;;
    --html) html_limit=${2:?--html needs a number}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "convert_bench: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ "$html_limit" =~ ^[0-9]+$ ]] || { echo "convert_bench: --html takes a whole number" >&2; exit 2; }

die() { echo "convert_bench: $*" >&2; exit 1; }
. "$repo/bench/release_build.sh"
"$repo/scripts/setup" bench
for tool in pdftohtml pdfinfo unrtf libreoffice python3 /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/setup bench"
done
pdf_en=/usr/share/debian-reference/debian-reference.en.pdf
pdf_zh=/usr/share/debian-reference/debian-reference.zh-tw.pdf
html_root=/usr/share/doc/python3.11/html
for f in "$pdf_en" "$pdf_zh"; do [ -f "$f" ] || die "$f is missing (package debian-reference-en / -zh-tw)"; done
[ -d "$html_root" ] || die "$html_root is missing (package python3.11-doc)"

echo "== building the release kvxrun and libpagecast.so in $build_dir"
release_tree
release_build "$jobs" kvxrun pagecast
kvxrun="$build_dir/dist/kvxrun"
[ -x "$kvxrun" ] || die "$kvxrun was not built"
# docpress's options: text fallback, root-file callback, flavour 0, no pictures, numeric
# references, Big5 output in little-endian order, option 337890.
docpress_opts=(--set 2=1 --set 32=1 --set 7=0 --set 6=1998 --set 27=1 --set 1=0x13B60000 --set 31=2 --set 337890=1)

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-convert-bench-XXXXXX")
cleanup() { if ((keep)); then echo "work folder kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs one command under /usr/bin/time; appends "seconds peak_kb" to the named log.
timed() {  # <log> <command...>
  local log=$1; shift
  /usr/bin/time -f '%e %M' -o "$work/time.one" "$@" >/dev/null 2>&1 || echo "convert_bench: failed: $*" >&2
  cat "$work/time.one" >>"$log"
}

# Prints one result row from a time log: name, pages, input bytes.
report() {  # <name> <log> <pages> <bytes>
  python3 - "$@" <<'PY'
import sys
name, log, pages, size = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
rows = [l.split() for l in open(log) if l.strip()]
secs = sum(float(r[0]) for r in rows)
peak = max(int(r[1]) for r in rows) / 1024.0
secs = max(secs, 0.01)
print("%-34s %8.2f s %10.1f pages/s %8.2f MB/s %8.1f MB peak" % (name, secs, pages / secs, size / 1e6 / secs, peak))
PY
}

echo
echo "== PDF: the debian-reference manuals"
for pdf in "$pdf_en" "$pdf_zh"; do
  name=$(basename "$pdf" .pdf)
  pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
  size=$(stat -c %s "$pdf")
  mkdir -p "$work/pdf/$name.ours" "$work/pdf/$name.peer"
  timed "$work/pdf/$name.ours.log" "$kvxrun" "${docpress_opts[@]}" "$pdf" "$work/pdf/$name.ours/out.htm"
  timed "$work/pdf/$name.peer.log" pdftohtml -noframes -i "$pdf" "$work/pdf/$name.peer/out"
  report "$name ($pages pages) kvxrun" "$work/pdf/$name.ours.log" "$pages" "$size"
  report "$name pdftohtml" "$work/pdf/$name.peer.log" "$pages" "$size"
done

echo
echo "== RTF: a generated 2,000-page file with Big5 runs and tables"
python3 - "$work/big.rtf" <<'PY'
import sys
zh = "中文全文檢索系統測試段落，包含表格與多頁內容。".encode("cp950")
def rtf_bytes(b):
    return "".join("\\'%02x" % c if c >= 0x80 else chr(c) for c in b)
out = ["{\\rtf1\\ansi\\ansicpg950\\deff0{\\fonttbl{\\f0\\fnil\\fcharset136 MingLiU;}{\\f1\\fswiss Arial;}}\n"]
for page in range(2000):
    for para in range(7):
        out.append("\\pard\\f1 Page %d paragraph %d: the quick brown fox jumps over the lazy dog. " % (page + 1, para + 1))
        out.append("\\f0 " + rtf_bytes(zh) + "\\f1  {\\b bold} and {\\i italic} text.\\par\n")
    out.append("\\trowd\\cellx2000\\cellx4000\\cellx6000\n")
    for row in range(2):
        for col in range(3):
            out.append("\\pard\\intbl cell %d.%d \\f0 %s\\f1\\cell " % (row, col, rtf_bytes(zh[:8])))
        out.append("\\row\n")
    out.append("\\pard\\page\n")
out.append("}\n")
open(sys.argv[1], "w", encoding="ascii").write("".join(out))
PY
size=$(stat -c %s "$work/big.rtf")
mkdir -p "$work/rtf.ours"
timed "$work/rtf.ours.log" "$kvxrun" "${docpress_opts[@]}" "$work/big.rtf" "$work/rtf.ours/out.htm"
timed "$work/rtf.peer.log" sh -c "unrtf --html '$work/big.rtf' > '$work/rtf.peer.htm'"
report "RTF (2000 pages) kvxrun" "$work/rtf.ours.log" 2000 "$size"
report "RTF unrtf --html" "$work/rtf.peer.log" 2000 "$size"

echo
echo "== HTML: the python3.11-doc pages"
find -L "$html_root" -name '*.html' | sort >"$work/html.list"
((html_limit > 0)) && head -n "$html_limit" "$work/html.list" >"$work/html.tmp" && mv "$work/html.tmp" "$work/html.list"
count=$(wc -l <"$work/html.list")
bytes=0
while read -r page; do bytes=$((bytes + $(stat -L -c %s "$page"))); done <"$work/html.list"
mkdir -p "$work/html.ours"
# The whole loop is timed as one: GNU time's %e counts whole hundredths and drops the rest,
# so summing it over processes of a few milliseconds each would count most of them as 0.
# Its %M is still the largest single process (the children's peak).
cat >"$work/html.run" <<'RUN'
work=$1
shift
n=0
while read -r page; do
  n=$((n + 1))
  "$@" "$page" "$work/html.ours/$n.htm" >/dev/null 2>&1 || echo "$page" >>"$work/html.failed"
done <"$work/html.list"
RUN
timed "$work/html.ours.log" bash "$work/html.run" "$work" "$kvxrun" "${docpress_opts[@]}"
[ -s "$work/html.failed" ] && echo "convert_bench: kvxrun failed on $(wc -l <"$work/html.failed") pages" >&2
report "HTML ($count pages) kvxrun" "$work/html.ours.log" "$count" "$bytes"
head -n 20 "$work/html.list" >"$work/html20.list"
peer_bytes=0
while read -r page; do peer_bytes=$((peer_bytes + $(stat -L -c %s "$page"))); done <"$work/html20.list"
mkdir -p "$work/html.peer" "$work/lo-profile" "$work/html.warm"
# One untimed run first makes LibreOffice's profile, so the timed run converts only.
libreoffice -env:UserInstallation="file://$work/lo-profile" --headless --convert-to html \
  --outdir "$work/html.warm" "$(head -n 1 "$work/html20.list")" >/dev/null 2>&1 || true
timed "$work/html.peer.log" libreoffice -env:UserInstallation="file://$work/lo-profile" --headless \
  --convert-to html --outdir "$work/html.peer" $(cat "$work/html20.list")
report "HTML (20 pages) libreoffice" "$work/html.peer.log" 20 "$peer_bytes"
