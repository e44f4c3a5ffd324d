#!/usr/bin/env bash
# docpress benchmark, against LibreOffice on the same documents: the office fixtures of
# the framework's tests (RTF, PDF, DOCX, ODT, XLSX, ODS, DOC, XLS, PPT) N times, and
# documents nobody here wrote: DOC, DOCX, ODT, RTF and PDF that LibreOffice makes from
# system texts (man pages of manpages-zh, pages of python3.11-doc), XLS, XLSX and ODS
# from tables of those texts, and the PDFs shipped under /usr/share/doc. Our docpress
# converts them one process per document (as the mail gateway runs it),
# `libreoffice --headless --convert-to html` in one process for the set (its own way,
# the start paid once), both into fresh folders, interleaved round by round after a
# warm-up round. Rates count the documents each side really wrote a page for. Then the
# fixed cost of a docpress run (an empty text converted) against a bare process start
# (/bin/true), both started from the same loop, paired.
#
#   bench/docpress_bench.sh [--copies N] [--rounds N] [--build-dir DIR] [--dist DIR] [--keep]
#
#   --copies N        copies of each fixture (default 10)
#   --rounds N        timed rounds after the warm-up round (default 3)
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --dist DIR        an installed layout to time instead of building one (a copy of an
#                     older build's dist/, to compare before and after with one script)
#   --keep            keep the work folder for a look afterwards
#
# Installs what it needs first (scripts/setup bench). Everything happens in a temporary
# folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
copies=10
rounds=3
build_dir="$repo/build-bench"
keep=0
dist=
while (($#)); do
  case "$1" in
    --copies) copies=${2:?--copies needs a number}; shift 2 ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --dist) dist=$(cd "${2:?--dist needs a folder}" && pwd); shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "docpress_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

die() { echo "docpress_bench: $*" >&2; exit 1; }
. "$repo/bench/release_build.sh"
"$repo/scripts/setup" bench
command -v libreoffice >/dev/null || die "libreoffice is not installed; run scripts/setup bench"
if [[ -z $dist ]]; then
  release_tree
  release_build "$(nproc)" docpress pagecast kvx
  dist="$build_dir/dist"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/docpress-bench.XXXXXX")
cleanup() { if ((keep)); then echo "work folder: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM
. "$repo/bench/system_docs.sh"

# ---- the documents: fixtures, LibreOffice's own from system texts, shipped PDFs ---------
echo "== making the documents"
data="$repo/filters/framework/tests/data"
mkdir -p "$work/docs"
for f in office.rtf office.pdf office.docx office.odt office.xlsx office.ods office.doc office.xls office.ppt; do
  # Names differ before the extension: LibreOffice names its output after the base name.
  for ((i = 1; i <= copies; ++i)); do cp "$data/$f" "$work/docs/${i}_${f%.*}_${f##*.}.${f##*.}"; done
done
system_texts "$work/texts" 20
system_sheets "$work/sheets" 10
for format in doc docx odt rtf pdf; do
  lo_convert "$format" "$work/made-$format" "$work"/texts/*.txt
  for f in "$work/made-$format"/*; do cp "$f" "$work/docs/made_$(basename "${f%.*}")_$format.$format"; done
done
for format in xls xlsx ods; do
  lo_convert "$format" "$work/made-$format" "$work"/sheets/*.csv
  for f in "$work/made-$format"/*; do cp "$f" "$work/docs/made_$(basename "${f%.*}")_$format.$format"; done
done
while read -r pdf; do cp "$pdf" "$work/docs/shipped_$(basename "${pdf%.*}")_pdf.pdf"; done < <(shipped_pdfs)
count=$(find "$work/docs" -type f | wc -l)
echo "   $count documents: $(find "$work/docs" -type f | sed 's/.*\.//' | sort | uniq -c | awk '{printf "%s %s, ", $1, $2}')"

# ---- the runs ---------------------------------------------------------------------------
# docpress: one process per document, each in a folder of its own (docpress writes
# Export.err in its working folder when a conversion fails). The folders are made by the
# untimed preparation, so the timed loop is one subshell and one docpress per document.
find "$work/docs" -type f | sort >"$work/docs.list"
cat >"$work/docpress.run" <<'RUN'
n=0
while read -r f; do
  n=$((n + 1))
  (cd "$2/$n" && exec "$1" "$f" out.htm >/dev/null 2>&1) || true
done <"$3"
RUN
prepare_qm="rm -rf $work/out-qm && mkdir -p \$(seq -f '$work/out-qm/%g' 1 $count)"
prepare_lo="rm -rf $work/out-lo && mkdir -p $work/out-lo"
runs=$work/runs.tsv
printf 'docpress\t%s\tbash %q %q %q %q\n' "$prepare_qm" "$work/docpress.run" "$dist/docpress" "$work/out-qm" \
  "$work/docs.list" >"$runs"
printf 'libreoffice\t%s\tlibreoffice -env:UserInstallation=file://%q --headless --convert-to html --outdir %q %q/*\n' \
  "$prepare_lo" "$work/lo-profile" "$work/out-lo" "$work/docs" >>"$runs"
echo "== timing: a warm-up round and $rounds rounds, interleaved"
python3 "$repo/bench/interleave.py" --rounds "$rounds" --ratio docpress:libreoffice "$runs"

# Pages written in the last round: docpress's out.htm of each folder, LibreOffice's
# <name>.html; a document is converted when its page is there and not empty.
written_qm=$(find "$work/out-qm" -name out.htm -size +0 | wc -l)
written_lo=$(find "$work/out-lo" -maxdepth 1 -name '*.htm*' -size +0 | wc -l)
echo
echo "documents: $count; pages written: docpress $written_qm, libreoffice $written_lo"
for kind in rtf pdf docx odt xlsx ods doc xls ppt; do
  total=$(grep -c "\\.$kind\$" "$work/docs.list" || true)
  qm=0 lo=0 n=0
  while read -r f; do
    n=$((n + 1))
    [[ $f == *.$kind ]] || continue
    [ -s "$work/out-qm/$n/out.htm" ] && qm=$((qm + 1))
    b=$(basename "${f%.*}")
    [ -s "$work/out-lo/$b.html" ] && lo=$((lo + 1))
  done <"$work/docs.list"
  printf '  %-5s %4d documents: docpress %4d pages, libreoffice %4d pages\n' "$kind" "$total" "$qm" "$lo"
done
awk -F'\t' -v q="$written_qm" -v l="$written_lo" '$1 == "median" { t[$2] = $3 } END {
  printf "documents/s, pages written over the median wall: docpress %.1f, libreoffice %.1f, ratio %.2f\n",
         q / t["docpress"], l / t["libreoffice"], (q / t["docpress"]) / (l / t["libreoffice"]) }' "$runs.medians"

# ---- the fixed cost of one run: an empty text against a bare process ---------------------
echo
echo "== fixed cost: 200 runs of docpress on an empty text against 200 of /bin/true"
: >"$work/empty.txt"
mkdir -p "$work/empty-out"
cat >"$work/loop.run" <<'RUN'
cd "$1"
for ((i = 0; i < 200; ++i)); do "${@:2}" >/dev/null 2>&1 || true; done
RUN
printf 'docpress, empty text\t\tbash %q %q %q %q out.htm\n' "$work/loop.run" "$work/empty-out" "$dist/docpress" \
  "$work/empty.txt" >"$work/fixed.tsv"
printf 'bare process (/bin/true)\t\tbash %q %q /bin/true\n' "$work/loop.run" "$work/empty-out" >>"$work/fixed.tsv"
python3 "$repo/bench/interleave.py" --rounds 5 --ratio "docpress, empty text:bare process (/bin/true)" "$work/fixed.tsv"
if command -v perf >/dev/null && perf stat -e task-clock true >/dev/null 2>&1; then
  for cmd in "/bin/true" "$dist/docpress $work/empty.txt $work/empty-out/p.htm"; do
    printf '  perf stat -r 50, task-clock of %s: ' "${cmd%% *}"
    # shellcheck disable=SC2086
    perf stat -r 50 -x, -e task-clock $cmd 2>&1 >/dev/null | awk -F, '{print $1 " ms"}'
  done
fi
echo "Goals: docpress's fixed cost at most twice a bare process start (the paired ratio above)."
