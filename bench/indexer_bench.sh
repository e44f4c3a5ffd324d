#!/usr/bin/env bash
# Index builder benchmark: builds a corpus of Traditional Chinese man pages (as UTF-8
# text and as Big5 text) and the English HTML of the Python documentation, indexes it
# with our `indexer` (release build) and with Xapian's omindex (CJK n-grams on), and
# prints throughput, peak memory and index size of each. A second, larger run indexes
# the corpus copied N times (hard links) to show that peak memory stays bounded.
#
#   bench/indexer_bench.sh [--scale N] [--repeat N] [--scale-omindex] [--build-dir DIR]
#                          [--keep]
#
#   --scale N         copies of the corpus in the large run (default 16, about 1 GB;
#                     0 skips the large run)
#   --repeat N        runs of each small build; the fastest is shown (default 3)
#   --scale-omindex   run omindex on the large run too (slow)
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --keep            keep the work folder (corpus and indexes) for a look afterwards
#
# Installs what it needs first (scripts/setup bench: scripts/packages/optional/bench.txt).
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
scale=16
repeat=3
scale_omindex=0
build_dir="$repo/build-bench"
keep=0
while (($#)); do
  case "$1" in
    --scale) scale=${2:?--scale needs a number}; shift 2 ;;
    --scale=*) scale=${1#*=}; shift ;;
    --scale-omindex) scale_omindex=1; shift ;;
    --repeat) repeat=${2:?--repeat needs a number}; shift 2 ;;
    --repeat=*) repeat=${1#*=}; shift ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --build-dir=*) build_dir=${1#*=}; shift ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "indexer_bench: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ "$scale" =~ ^[0-9]+$ ]] || { echo "indexer_bench: --scale takes a whole number" >&2; exit 2; }
[[ "$repeat" =~ ^[1-9][0-9]*$ ]] || { echo "indexer_bench: --repeat takes a number from 1" >&2; exit 2; }

die() { echo "indexer_bench: $*" >&2; exit 1; }
. "$repo/bench/release_build.sh"
"$repo/scripts/setup" bench
for tool in groff iconv omindex /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/setup bench"
done
man_root=/usr/share/man/zh_TW
html_root=/usr/share/doc/python3.11/html
[ -d "$man_root" ] || die "$man_root is missing (package manpages-zh); run scripts/setup bench"
[ -d "$html_root" ] || die "$html_root is missing (package python3.11-doc); run scripts/setup bench"

# ---- release build ------------------------------------------------------------------------
echo "== building the release indexer in $build_dir"
release_tree
grep -q '^QM_SANITIZE:BOOL=ON$' "$build_dir/CMakeCache.txt" &&
  die "$build_dir is built with sanitizers; give a plain release tree"
release_build "$(nproc)" indexer

# ---- work folder --------------------------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-indexer-bench-XXXXXX")
cleanup() {
  if ((keep)); then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

corpus=$work/corpus
mkdir -p "$corpus/utf8/zh" "$corpus/utf8/en" "$corpus/big5/zh"

# ---- corpus: man pages as text, UTF-8 and Big5 -------------------------------------------
echo "== building the corpus"
render_page() {  # <source .gz> <corpus folder>
  local src=$1 out=$2 rel name text
  rel=${src#"$man_root"/}
  name=${rel%.gz}.txt
  # Pages that only include another page (".so") are left out: their target is indexed.
  if zcat "$src" | grep -v '^\.\\"' | head -1 | grep -q '^\.so '; then return 0; fi
  text=$(zcat "$src" | groff -k -mandoc -Tutf8 -P-cbou -rLL=78n 2>/dev/null) || return 0
  [ -n "$text" ] || return 0
  printf '%s\n' "$text" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 || return 0
  mkdir -p "$out/utf8/zh/$(dirname "$rel")" "$out/big5/zh/$(dirname "$rel")"
  printf '%s\n' "$text" >"$out/utf8/zh/$name"
  printf '%s\n' "$text" | iconv -f UTF-8 -t CP950 -c >"$out/big5/zh/$name" 2>/dev/null || true
}
export -f render_page
export man_root
find "$man_root" -type f -name '*.gz' -print0 |
  xargs -0 -P "$(nproc)" -I{} bash -c 'render_page "$1" "$2"' _ {} "$corpus"

# ---- corpus: English HTML (only the pages; no scripts, style sheets or sources) -----------
(cd "$html_root" && find . -type f -name '*.html' -exec cp --parents -t "$corpus/utf8/en" {} +)

bytes_of() { find "$@" -type f -printf '%s\n' | awk '{s += $1} END {printf "%d", s}'; }
files_of() { find "$@" -type f | wc -l; }
mb() { awk -v b="$1" 'BEGIN {printf "%.1f", b / 1e6}'; }

# ---- our indexer: a program folder of its own --------------------------------------------
prog=$work/program
mkdir -p "$prog"
cp "$build_dir/dist/indexer" "$prog/"
{
  echo "[VESPRIN]"
  echo "[INDEX]"
  echo "1=1"; echo "2=1"; echo "3=1"
  echo "[DB-1]"; echo "HtmlDir=$corpus/utf8"; echo "WorkDir=$work/qm-utf8"
  echo "LocalFileType=txt,html"
  echo "[DB-2]"; echo "HtmlDir=$corpus"; echo "WorkDir=$work/qm-all"
  echo "LocalFileType=txt,html"
  echo "[DB-3]"; echo "HtmlDir=$work/scaled"; echo "WorkDir=$work/qm-scaled"
  echo "LocalFileType=txt,html"
} >"$prog/vesprin.ini"

now() { date +%s.%N; }

# run_measured <log> <command...>: wall seconds, peak RSS (KiB), user+sys seconds
# into the globals wall, rss_kb, cpu.
run_measured() {
  local log=$1; shift
  local times=$work/time.out start end
  start=$(now)
  /usr/bin/time -f '%M %U %S' -o "$times" "$@" >"$log" 2>&1 || {
    echo "command failed: $*" >&2; tail -5 "$log" >&2; return 1; }
  end=$(now)
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", b - a}')
  read -r rss_kb user sys <"$times"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.2f", u + s}')
}

# Results, one line each: label docs bytes wall rss_kb cpu index_bytes
results=()

# Over repeated runs: the shortest wall time (with its CPU time) and the highest peak.
keep_best() {
  if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN {exit !(a < b)}'; then
    best_wall=$wall; best_cpu=$cpu
  fi
  ((rss_kb > peak_kb)) && peak_kb=$rss_kb
  return 0
}

run_qm() {  # <label> <db id> <document folder> <index folder> <times>
  local label=$1 id=$2 docs=$3 out=$4 times=$5 log=$work/$1.log
  local best_wall="" best_cpu="" peak_kb=0 last indexed k
  for ((k = 0; k < times; ++k)); do
    rm -rf "$out"
    sync
    run_measured "$log" "$prog/indexer" -w0 -f10 "-x$id"
    if ! tail -c 2 "$log" | cmp -s - <(printf '\x1a\x1a'); then
      tr '\r' '\n' <"$log" | tail -5 >&2
      die "$label: the indexer ended without its end mark"
    fi
    keep_best
  done
  last=$(tr '\r' '\n' <"$log" | grep -a '^1 .* documents indexed' | tail -1)
  indexed=${last#1 }; indexed=${indexed%% *}
  results+=("$label $indexed $(bytes_of "$docs") $best_wall $peak_kb $best_cpu $(du -sb "$out" | cut -f1)")
  echo "   $label: ${last#1 }"
}

run_omindex() {  # <label> <document folder> <database> <times>
  local label=$1 docs=$2 db=$3 times=$4 log=$work/$1.log
  local best_wall="" best_cpu="" peak_kb=0 added k
  for ((k = 0; k < times; ++k)); do
    rm -rf "$db"
    sync
    run_measured "$log" env XAPIAN_CJK_NGRAM=1 omindex -v --overwrite --db "$db" --url / "$docs"
    keep_best
  done
  added=$(grep -c ' \.\.\. added$' "$log" || true)
  results+=("$label $added $(bytes_of "$docs") $best_wall $peak_kb $best_cpu $(du -sb "$db" | cut -f1)")
  echo "   $label: $added documents added"
}

echo "== corpus: $(files_of "$corpus/utf8/zh") man pages ($(mb "$(bytes_of "$corpus/utf8/zh")") MB UTF-8," \
     "$(mb "$(bytes_of "$corpus/big5/zh")") MB Big5), $(files_of "$corpus/utf8/en") HTML pages" \
     "($(mb "$(bytes_of "$corpus/utf8/en")") MB)"

echo "== indexing the UTF-8 documents (the set omindex reads too)"
run_qm qm-utf8 1 "$corpus/utf8" "$work/qm-utf8" "$repeat"
run_omindex omindex-utf8 "$corpus/utf8" "$work/xapian-utf8" "$repeat"
echo "== indexing the whole corpus (UTF-8 and Big5)"
run_qm qm-all 2 "$corpus" "$work/qm-all" "$repeat"

if ((scale > 0)); then
  echo "== large run: the whole corpus $scale times"
  mkdir -p "$work/scaled"
  for ((k = 1; k <= scale; ++k)); do cp -al "$corpus" "$work/scaled/copy-$(printf %03d "$k")"; done
  run_qm "qm-x$scale" 3 "$work/scaled" "$work/qm-scaled" 1
  rm -rf "$work/qm-scaled"
  if ((scale_omindex)); then
    # omindex gets the UTF-8 copies only.
    mkdir -p "$work/scaled-utf8"
    for ((k = 1; k <= scale; ++k)); do
      cp -al "$corpus/utf8" "$work/scaled-utf8/copy-$(printf %03d "$k")"
    done
    run_omindex "omindex-x$scale" "$work/scaled-utf8" "$work/xapian-scaled" 1
    rm -rf "$work/xapian-scaled"
  fi
fi

# ---- report -------------------------------------------------------------------------------
echo
echo "== results ($(nproc) CPUs, $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)" \
     "memory; MB = 10^6 bytes of input files)"
printf '%-16s %7s %9s %8s %8s %8s %10s %10s\n' run docs "input MB" "wall s" "MB/s" "CPU s" \
  "peak MB" "index MB"
declare -A speed rss
for line in "${results[@]}"; do
  read -r label docs bytes w k c size <<<"$line"
  speed[$label]=$(awk -v b="$bytes" -v w="$w" 'BEGIN {printf "%.2f", (w > 0 ? b / 1e6 / w : 0)}')
  rss[$label]=$(awk -v k="$k" 'BEGIN {printf "%.1f", k * 1024 / 1e6}')
  printf '%-16s %7s %9s %8s %8s %8s %10s %10s\n' "$label" "$docs" "$(mb "$bytes")" "$w" \
    "${speed[$label]}" "$c" "${rss[$label]}" "$(mb "$size")"
done

echo
ratio=$(awk -v a="${speed[qm-utf8]}" -v b="${speed[omindex-utf8]}" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
mem_ratio=$(awk -v a="${rss[qm-utf8]}" -v b="${rss[omindex-utf8]}" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
echo "throughput qm / omindex (same UTF-8 documents): ${ratio}x"
echo "peak memory qm / omindex:                       ${mem_ratio}x"
peak=0
for label in "${!rss[@]}"; do
  [[ $label == qm-* ]] || continue
  peak=$(awk -v a="$peak" -v b="${rss[$label]}" 'BEGIN {print ((b > a) ? b : a)}')
done
speed_ok=$(awk -v r="$ratio" 'BEGIN {print ((r >= 2) ? "yes" : "NO")}')
mem_ok=$(awk -v p="$peak" 'BEGIN {print ((p < 300) ? "yes" : "NO")}')
echo "goal: at least 2x omindex's throughput ... $speed_ok (${ratio}x)"
echo "goal: peak memory under 300 MB .......... $mem_ok (largest qm run: $peak MB)"
