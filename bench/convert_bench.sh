#!/usr/bin/env bash
# Conversion benchmark of the HTML export: converts documents with `kvxrun` (libkvx.so and
# libpagecast.so of a release build, the built-in template, docpress's options), one
# process per document as docpress does, beside a peer converter given the same
# documents, interleaved round by round after a warm-up round (medians, peak memory, load):
#   PDF   the English and Traditional Chinese manuals of debian-reference, against
#         `pdftohtml -noframes -i`;
#   RTF   one long RTF that LibreOffice makes from system texts (the man pages of
#         manpages-zh and pages of python3.11-doc run together), against `unrtf --html`;
#   HTML  N pages of python3.11-doc, the same N for both, against
#         `libreoffice --headless --convert-to html` (one process for the N pages).
# Prints pages/s (documents/s for HTML) over the median wall time and MB/s of input.
#
#   bench/convert_bench.sh [--build-dir DIR] [--jobs N] [--html N] [--rounds N] [--keep]
#
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --jobs N          parallel build jobs (default: the processor count)
#   --html N          HTML pages converted by both sides (default 100)
#   --rounds N        timed rounds after the warm-up round (default 3)
#   --keep            keep the work folder for a look afterwards
#
# Installs what it needs first (scripts/setup bench: scripts/packages/optional/bench.txt).
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$repo/build-bench"
html_limit=100
rounds=3
jobs=$(nproc)
keep=0
while (($#)); do
  case "$1" in
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift 2 ;;
    --html) html_limit=${2:?--html needs a number}; shift 2 ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "convert_bench: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ "$html_limit" =~ ^[1-9][0-9]*$ ]] || { echo "convert_bench: --html takes a number from 1" >&2; exit 2; }
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "convert_bench: --rounds takes a number from 1" >&2; exit 2; }

die() { echo "convert_bench: $*" >&2; exit 1; }
. "$repo/bench/release_build.sh"
"$repo/scripts/setup" bench
for tool in pdftohtml pdfinfo unrtf libreoffice python3 cmake; do
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
docpress_opts="--set 2=1 --set 32=1 --set 7=0 --set 6=1998 --set 27=1 --set 1=0x13B60000 --set 31=2 --set 337890=1"

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-convert-bench-XXXXXX")
cleanup() { if ((keep)); then echo "work folder kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM
. "$repo/bench/system_docs.sh"

# Times the commands of a runs file interleaved; then one row per command: pages/s and MB/s over
# its median wall time.
timed() {  # <runs file> <count> <bytes> [unit, default pages]
  python3 "$repo/bench/interleave.py" --rounds "$rounds" "$1"
  awk -F'\t' -v n="$2" -v b="$3" -v u="${4:-pages}" '$1 == "median" {
    printf "%-34s %10.1f %s/s %8.2f MB/s %8.1f MB peak\n", $2, n / $3, u, b / 1e6 / $3, $4 / 1024 }' "$1.medians"
}
echo
echo "== PDF: the debian-reference manuals"
for pdf in "$pdf_en" "$pdf_zh"; do
  name=$(basename "$pdf" .pdf)
  pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
  mkdir -p "$work/pdf/$name.ours" "$work/pdf/$name.peer"
  {
    printf '%s kvxrun\t\t%q %s %q %q\n' "$name" "$kvxrun" "$docpress_opts" "$pdf" "$work/pdf/$name.ours/out.htm"
    printf '%s pdftohtml\t\tpdftohtml -q -noframes -i %q %q\n' "$name" "$pdf" "$work/pdf/$name.peer/out"
  } >"$work/pdf-$name.tsv"
  echo "-- $name: $pages pages"
  timed "$work/pdf-$name.tsv" "$pages" "$(stat -c %s "$pdf")"
done

echo
echo "== RTF: one long RTF made by LibreOffice from system texts"
system_texts "$work/texts" 60
cat "$work"/texts/*.txt >"$work/long.txt"
lo_convert rtf "$work/rtf" "$work/long.txt"
rtf=$work/rtf/long.rtf
[ -s "$rtf" ] || die "LibreOffice made no RTF"
mkdir -p "$work/rtf.ours"
{
  printf 'RTF kvxrun\t\t%q %s %q %q\n' "$kvxrun" "$docpress_opts" "$rtf" "$work/rtf.ours/out.htm"
  printf 'RTF unrtf --html\t\tunrtf --html %q >%q\n' "$rtf" "$work/rtf.peer.htm"
} >"$work/rtf.tsv"
# How many pages LibreOffice laid the text out on is not known here: the rate is per
# document and per MB.
echo "-- $(stat -c %s "$rtf") bytes of RTF from $(stat -c %s "$work/long.txt") bytes of text"
timed "$work/rtf.tsv" 1 "$(stat -c %s "$rtf")" documents

echo
echo "== HTML: $html_limit pages of python3.11-doc, the same for both"
find -L "$html_root" -name '*.html' | sort | head -n "$html_limit" >"$work/html.list"
count=$(wc -l <"$work/html.list")
bytes=0
while read -r page; do bytes=$((bytes + $(stat -L -c %s "$page"))); done <"$work/html.list"
cat >"$work/html.run" <<'RUN'
n=0
while read -r page; do
  n=$((n + 1))
  "$@" "$page" "$OUT/$n.htm" >/dev/null 2>&1 || echo "$page" >>"$OUT.failed"
done <"$LIST"
RUN
{
  printf 'HTML kvxrun\trm -rf %q; mkdir -p %q\tOUT=%q LIST=%q bash %q %q %s\n' "$work/html.ours" "$work/html.ours" \
    "$work/html.ours" "$work/html.list" "$work/html.run" "$kvxrun" "$docpress_opts"
  printf 'HTML libreoffice\trm -rf %q; mkdir -p %q\tlibreoffice -env:UserInstallation=file://%q --headless --convert-to html --outdir %q $(cat %q)\n' \
    "$work/html.peer" "$work/html.peer" "$work/lo-profile" "$work/html.peer" "$work/html.list"
} >"$work/html.tsv"
timed "$work/html.tsv" "$count" "$bytes" documents
echo "pages written: kvxrun $(find "$work/html.ours" -name '*.htm' -size +0 | wc -l), libreoffice $(find "$work/html.peer" -name '*.htm*' -size +0 | wc -l) of $count"
