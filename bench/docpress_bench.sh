#!/usr/bin/env bash
# docpress benchmark: the office fixtures of the framework's tests (RTF, PDF, DOCX, ODT,
# XLSX, ODS, DOC, XLS, PPT), each copied N times, converted to HTML by our docpress (one
# process per document, as postbridge runs it) and by `libreoffice --headless
# --convert-to html` (one process for the whole set); then an HTML set with pictures (the
# fixture page with its GIF, PNG and JPEG files, N copies) through docpress, whose reader
# decodes every picture. Prints documents/s of each and the ratio (goal: docpress at least
# 10 times LibreOffice's documents/s).
#
#   bench/docpress_bench.sh [--copies N] [--build-dir DIR] [--dist DIR] [--keep]
#
#   --copies N        copies of each fixture (default 50)
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --dist DIR        an installed layout to time instead of building one (a copy of an
#                     older build's dist/, to compare before and after with one script)
#   --keep            keep the work folder for a look afterwards
#
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
copies=50
build_dir="$repo/build-bench"
keep=0
dist=
while (($#)); do
  case "$1" in
    --copies) copies=${2:?--copies needs a number}; shift 2 ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --dist) dist=$(cd "${2:?--dist needs a folder}" && pwd); shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done

command -v libreoffice >/dev/null || { echo "libreoffice is not installed" >&2; exit 1; }
if [[ -z $dist ]]; then
  cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" --target docpress pagecast gfxcast kvx >/dev/null
  dist="$build_dir/dist"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/docpress-bench.XXXXXX")
cleanup() { if ((keep)); then echo "work folder: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT

data="$repo/filters/framework/tests/data"
mkdir -p "$work/office" "$work/pages" "$work/out-qm" "$work/out-lo" "$work/out-pages"
for f in office.rtf office.pdf office.docx office.odt office.xlsx office.ods office.doc office.xls office.ppt; do
  # Names differ before the extension: LibreOffice names its output after the base name.
  for ((i = 1; i <= copies; ++i)); do cp "$data/$f" "$work/office/${i}_${f%.*}_${f##*.}.${f##*.}"; done
done
for ((i = 1; i <= copies; ++i)); do
  mkdir -p "$work/pages/$i"
  cp "$data/pictures/"* "$work/pages/$i/"
done

now() { date +%s.%N; }
rate() { awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { t = b - a; printf "%d documents in %.2f s: %.1f documents/s\n", n, t, n / t }'; }

# docpress: one process per document, each into a folder of its own (docpress writes
# Export.err in its working folder when a conversion fails). The documents are listed and
# their folders made before the clock starts, so the timed loop is one subshell and one
# docpress per document.
docs=()
prepare() {  # source folder, output folder, file pattern
  docs=()
  while IFS= read -r -d '' f; do docs+=("$f"); done < <(find "$1" -type f -name "$3" -print0 | sort -z)
  local dirs=() i
  for ((i = 1; i <= ${#docs[@]}; ++i)); do dirs+=("$2/$i"); done
  if ((${#dirs[@]})); then mkdir -p "${dirs[@]}"; fi
}
run_docpress() {  # output folder
  local n=0 failed=0 f
  for f in "${docs[@]}"; do
    n=$((n + 1))
    local code=0
    (cd "$1/$n" && "$dist/docpress" "$f" out.htm >/dev/null) || code=$?
    ((code == 1)) || failed=$((failed + 1))  # docpress exits 1 on success
  done
  echo "$n $failed"
}

count=$(find "$work/office" -type f | wc -l)
prepare "$work/office" "$work/out-qm" '*'
t0=$(now)
read -r n_qm failed_qm < <(run_docpress "$work/out-qm")
t1=$(now)
echo "docpress, office fixtures x $copies: $(rate "$n_qm" "$t0" "$t1") ($failed_qm failed)"

t2=$(now)
libreoffice -env:UserInstallation="file://$work/lo-profile" --headless --convert-to html --outdir "$work/out-lo" \
  "$work"/office/* >/dev/null 2>&1 || true
t3=$(now)
n_lo=$(find "$work/out-lo" -name '*.htm*' | wc -l)
echo "libreoffice, the same $count documents: $(rate "$count" "$t2" "$t3") ($n_lo HTML files written)"
awk -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v n="$n_qm" -v m="$count" \
  'BEGIN { printf "ratio (docpress / libreoffice documents/s): %.1f\n", (n / (b - a)) / (m / (d - c)) }'

prepare "$work/pages" "$work/out-pages" 'page.html'
t4=$(now)
read -r n_pages failed_pages < <(run_docpress "$work/out-pages")
t5=$(now)
echo "docpress, HTML pages with 5 pictures each x $copies: $(rate "$n_pages" "$t4" "$t5") ($failed_pages failed)"
