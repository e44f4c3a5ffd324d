#!/usr/bin/env bash
# Search benchmark at scale: our `searcher` against Xapian's Omega CGI on the same
# documents, at 1x and at N times a corpus of Debian documentation (Traditional Chinese
# man pages as Big5 text, the Traditional Chinese Debian Reference in HTML, Python's
# English HTML). Both sides run one process per query, as a web server starts them.
#
#   bench/search_scale.sh [--scale N] [--runs N] [--clients N] [--seconds N]
#                         [--build-dir DIR] [--work DIR] [--keep]
#
#   --scale N       copies of the corpus in the large run (default 10)
#   --runs N        timed runs of each query, the two programs interleaved (default 7)
#   --clients N     clients of the throughput run (default 8)
#   --seconds N     length of each throughput run (default 20)
#   --build-dir DIR release build tree to use or make (default <repo>/build-release)
#   --work DIR      work folder to use (kept; an existing corpus and indexes are reused)
#   --keep          keep the temporary work folder
#
# Prints, for each corpus size, per query class the median and p95 wall time of both
# programs, their ratio and the ratio with a bare process start taken off both, the hit
# counts side by side, queries per second with N
# clients, and the peak resident memory; then the start-up time of `searcher` with an
# empty query against a bare process, paired. Installs what it needs (scripts/setup
# bench). Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
scale=10 runs=7 clients=8 seconds=20 keep=0 work=""
build_dir="$repo/build-release"
while (($#)); do
  case "$1" in
    --scale) scale=${2:?}; shift 2 ;;
    --runs) runs=${2:?}; shift 2 ;;
    --clients) clients=${2:?}; shift 2 ;;
    --seconds) seconds=${2:?}; shift 2 ;;
    --build-dir) build_dir=${2:?}; shift 2 ;;
    --work) work=${2:?}; keep=1; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "search_scale: unknown option $1" >&2; exit 2 ;;
  esac
done
for v in "$scale" "$runs" "$clients" "$seconds"; do
  [[ "$v" =~ ^[1-9][0-9]*$ ]] || { echo "search_scale: numbers from 1 expected" >&2; exit 2; }
done
die() { echo "search_scale: $*" >&2; exit 1; }

"$repo/scripts/setup" bench
omega_cgi=/usr/lib/cgi-bin/omega/omega
man_root=/usr/share/man/zh_TW
ref_root=/usr/share/debian-reference
html_root=/usr/share/doc/python3.11/html
for tool in groff iconv omindex python3 cmake "$omega_cgi"; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/setup bench"
done

echo "== release build in $build_dir"
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DQM_SANITIZE=OFF >/dev/null
fi
grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build_dir/CMakeCache.txt" || die "$build_dir is not a Release tree"
cmake --build "$build_dir" -j"$(nproc)" --target searcher indexer >/dev/null || die "the build failed"

if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/qm-search-scale-XXXXXX")
else
  mkdir -p "$work"; work=$(cd "$work" && pwd)
fi
cleanup() { if ((keep)); then echo "work folder kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- corpus: ours gets the man pages in Big5, Omega the same pages in UTF-8 --------------
corpus=$work/corpus
if [ ! -f "$corpus/.done" ]; then
  echo "== building the corpus"
  rm -rf "$corpus"
  mkdir -p "$corpus/qm/man" "$corpus/omega/man" "$corpus/qm/ref" "$corpus/omega/ref"
  render_page() {  # <source .gz> <corpus>
    local src=$1 out=$2 rel name text
    rel=${src#"$man_root"/}; name=${rel%.gz}.txt
    if zcat "$src" | grep -v '^\.\\"' | head -1 | grep -q '^\.so '; then return 0; fi
    text=$(zcat "$src" | groff -k -mandoc -Tutf8 -P-cbou -rLL=78n 2>/dev/null) || return 0
    [ -n "$text" ] || return 0
    mkdir -p "$out/qm/man/$(dirname "$rel")" "$out/omega/man/$(dirname "$rel")"
    printf '%s\n' "$text" >"$out/omega/man/$name"
    printf '%s\n' "$text" | iconv -f UTF-8 -t CP950 -c >"$out/qm/man/$name" 2>/dev/null || true
  }
  export -f render_page; export man_root
  find "$man_root" -type f -name '*.gz' -print0 |
    xargs -0 -P "$(nproc)" -I{} bash -c 'render_page "$1" "$2"' _ {} "$corpus"
  cp "$ref_root"/*.zh-tw.html "$corpus/omega/ref/"
  cp -l "$corpus/omega/ref/"*.html "$corpus/qm/ref/"
  mkdir -p "$corpus/omega/py"
  (cd "$html_root" && find . -type f -name '*.html' -exec cp --parents -t "$corpus/omega/py" {} +)
  cp -al "$corpus/omega/py" "$corpus/qm/py"
  for side in qm omega; do
    mkdir -p "$corpus/x$scale-$side"
    for ((k = 1; k <= scale; ++k)); do cp -al "$corpus/$side" "$corpus/x$scale-$side/copy-$k"; done
  done
  touch "$corpus/.done"
fi

# ---- our site: a program folder with the searcher, its data and templates --------------
site=$work/site
mkdir -p "$site"
for f in searcher big5.dat big5.ref search_result.htm search_next.htm zero_hit.htm error.htm; do
  [ -e "$build_dir/dist/$f" ] && cp -f "$build_dir/dist/$f" "$site/"
done
cp -f "$build_dir/dist/indexer" "$site/"
{
  echo "[VESPRIN]"; echo "Searcher=/cgi-bin/searcher"; echo "HomePage=/index.htm"; echo "SystemAdm=admin"
  echo "TmplFirstQuery=search_result.htm"; echo "TmplNextQuery=search_next.htm"
  echo "TmplZeroHit=zero_hit.htm"; echo "TmplError=error.htm"
  echo "[INDEX]"; echo "1=1"; echo "2=1"
  echo "[DB-1]"; echo "HtmlDir=$corpus/qm"; echo "WorkDir=$work/qm-x1/"; echo "LocalFileType=txt,html"
  echo "HomeUrl=/docs/"; echo "Description=x1"
  echo "[DB-2]"; echo "HtmlDir=$corpus/x$scale-qm"; echo "WorkDir=$work/qm-x$scale/"
  echo "LocalFileType=txt,html"; echo "HomeUrl=/docs/"; echo "Description=x$scale"
} >"$site/vesprin.ini"

# ---- indexes ----------------------------------------------------------------------------
mkdir -p "$work/xapian"
index_once() {  # <label> <done mark> <command...>
  local label=$1 mark=$2; shift 2
  [ -f "$mark" ] && return 0
  echo "   $label"
  local start end
  start=$(date +%s.%N)
  "$@" >"$work/$label.log" 2>&1 || { tail -5 "$work/$label.log" >&2; die "$label failed"; }
  end=$(date +%s.%N)
  echo "   $label: $(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.1f", b - a}') s"
  touch "$mark"
}
echo "== indexing"
index_once qm-x1 "$work/qm-x1.done" "$site/indexer" -w0 -f10 -x1
index_once qm-x$scale "$work/qm-x$scale.done" "$site/indexer" -w0 -f10 -x2
index_once omindex-x1 "$work/omindex-x1.done" env XAPIAN_CJK_NGRAM=1 omindex --overwrite \
  --db "$work/xapian/x1" --url / "$corpus/omega"
index_once omindex-x$scale "$work/omindex-x$scale.done" env XAPIAN_CJK_NGRAM=1 omindex --overwrite \
  --db "$work/xapian/x$scale" --url / "$corpus/x$scale-omega"
printf 'database_dir %s\ntemplate_dir /usr/share/xapian-omega/templates\nlog_dir %s\ncdb_dir /var/lib/xapian-omega/cdb\n' \
  "$work/xapian" "$work" >"$work/omega.conf"

# ---- queries and timing -----------------------------------------------------------------
export QM_SITE=$site QM_WORK=$work QM_SCALE=$scale QM_RUNS=$runs QM_CLIENTS=$clients QM_SECONDS=$seconds
export QM_OMEGA=$omega_cgi
python3 "$repo/bench/search_scale.py"
