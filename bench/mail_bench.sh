#!/usr/bin/env bash
# Mail database benchmark, our indexer against notmuch on the same messages: generates a
# mailbox with Python's email module (bodies from the Traditional Chinese man pages of
# manpages-zh, 40% of them in Big5, and the English text of the Python documentation;
# every tenth message carries one real attachment: a PDF or RTF that LibreOffice made
# from those system texts, or a PDF shipped under /usr/share/doc) and a Maildir copy of
# it. Then, interleaved round by round after a warm-up round: `indexer -ncl` (no
# attachments), `indexer -mail -ncl` (every PDF and RTF converted by docpress through
# libpostbridge.so) and `notmuch new` with XAPIAN_CJK_NGRAM=1 (Chinese indexed in
# n-grams, as ours indexes it; notmuch reads no attachments). Each run starts from an
# empty database. Prints medians, messages/s, peak memory and the load average, and the
# attachment sections the -mail database holds.
#
#   bench/mail_bench.sh [--messages N] [--rounds N] [--build-dir DIR] [--no-notmuch] [--keep]
#
#   --messages N      messages in the mailbox (default 20000)
#   --rounds N        timed rounds after the warm-up round (default 3)
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --dist DIR        an installed layout to time instead of building one
#   --compare DIR     also time `indexer -mail -ncl` of another installed layout (an older
#                     build's dist/), in the same rounds: before and after side by side
#   --no-notmuch      skip notmuch (our own before/after comparisons)
#   --keep            keep the work folder for a look afterwards
#
# Installs what it needs first (scripts/setup bench: scripts/packages/optional/bench.txt).
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
messages=20000
rounds=3
build_dir="$repo/build-bench"
dist=
compare=
keep=0
notmuch=1
while (($#)); do
  case "$1" in
    --messages) messages=${2:?--messages needs a number}; shift 2 ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --dist) dist=$(cd "${2:?--dist needs a folder}" && pwd); shift 2 ;;
    --compare) compare=$(cd "${2:?--compare needs a folder}" && pwd); shift 2 ;;
    --no-notmuch) notmuch=0; shift ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "mail_bench: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ "$messages" =~ ^[1-9][0-9]*$ ]] || { echo "mail_bench: --messages takes a number from 1" >&2; exit 2; }
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "mail_bench: --rounds takes a number from 1" >&2; exit 2; }

die() { echo "mail_bench: $*" >&2; exit 1; }
. "$repo/bench/release_build.sh"
"$repo/scripts/setup" bench
for tool in groff iconv notmuch libreoffice python3 cmake; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/setup bench"
done
[ -d /usr/share/man/zh_TW ] || die "/usr/share/man/zh_TW is missing (package manpages-zh)"
[ -d /usr/share/doc/python3.11/html ] || die "python3.11-doc is missing"

if [[ -z $dist ]]; then
  echo "== building the release indexer, gateway and converter in $build_dir"
  release_tree
  release_build "$(nproc)" indexer postbridge docpress kvx pagecast
  dist="$build_dir/dist"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-mail-bench-XXXXXX")
cleanup() { if ((keep)); then echo "work folder kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM
. "$repo/bench/system_docs.sh"

# ---- attachments: LibreOffice's PDF and RTF of 60 system texts, and the shipped PDFs ----
echo "== making the attachments with LibreOffice"
system_texts "$work/texts" 60
lo_convert pdf "$work/attach" "$work"/texts/*.txt
lo_convert rtf "$work/attach" "$work"/texts/*.txt
while read -r pdf; do cp "$pdf" "$work/attach/"; done < <(shipped_pdfs)
echo "   $(find "$work/attach" -type f | wc -l) documents ($(du -sh "$work/attach" | cut -f1))"

# ---- bodies: man pages in Big5 (and UTF-8 for the text), Python documentation -----------
echo "== rendering the body texts"
system_texts "$work/bodies" 400

# ---- the mailbox ("From - " separators, as our reader reads) and the Maildir copy --------
echo "== generating $messages messages"
python3 - "$messages" "$work/inbox.mbox" "$work/Maildir" "$work/bodies" "$work/attach" <<'PY'
import email.message, email.policy, os, sys
count, mbox, maildir, bodies, attach = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
for d in ("cur", "new", "tmp"): os.makedirs(os.path.join(maildir, d), exist_ok=True)
zh = [open(os.path.join(bodies, n), encoding="utf-8").read() for n in sorted(os.listdir(bodies)) if n.startswith("zh")]
en = [open(os.path.join(bodies, n), encoding="utf-8").read() for n in sorted(os.listdir(bodies)) if n.startswith("en")]
docs = [os.path.join(attach, n) for n in sorted(os.listdir(attach))]
kinds = {"pdf": ("application", "pdf"), "rtf": ("application", "rtf")}
policy = email.policy.default.clone(linesep="\n")
with open(mbox, "wb") as out:
    for i in range(count):
        m = email.message.EmailMessage(policy=policy)
        m["From"] = "Sender %d <s%d@example.com>" % (i % 97, i % 97)
        m["To"] = "reader@example.com"
        m["Subject"] = "message %d" % i
        m["Date"] = "Mon, 13 Mar 2000 10:%02d:00 +0800" % (i % 60)
        if i % 5 < 2:  # 40% Big5
            text = zh[i % len(zh)]
            text = text.encode("big5", "ignore").decode("big5")
            m.set_content(text, charset="big5", cte="8bit")
        else:
            text = en[i % len(en)].encode("ascii", "ignore").decode("ascii")
            m.set_content(text, charset="us-ascii", cte="7bit")
        if i % 10 == 3:
            doc = docs[(i // 10) % len(docs)]
            ext = doc.rsplit(".", 1)[1]
            m.add_attachment(open(doc, "rb").read(), maintype=kinds[ext][0], subtype=kinds[ext][1],
                             filename="att%d.%s" % (i, ext))
        raw = m.as_bytes(policy=policy)
        escaped = b"\n".join(b">" + l if l.startswith(b"From ") else l for l in raw.split(b"\n"))
        out.write(b"From - Mon Mar 13 10:00:00 2000\n" + escaped + b"\n")
        with open(os.path.join(maildir, "cur", "%d.bench:2,S" % i), "wb") as f:
            f.write(raw)
PY
bytes=$(stat -c %s "$work/inbox.mbox")
attachments=$(( (messages + 6) / 10 ))
echo "   $(awk -v b="$bytes" 'BEGIN {printf "%.1f", b / 1e6}') MB, $attachments attachments"

# ---- the program folder and the runs ---------------------------------------------------
# A program folder of the layout: the indexer, the gateway and the converter with its
# libraries, and a vesprin.ini of one mail database in <folder>/db.
program_folder() {  # <layout> <folder>
  local from=$1 prog=$2 f
  mkdir -p "$prog"
  for f in indexer libpostbridge.so docpress docpress.tpt libkvx.so libkvxpdf.so libkvxzip.so libpagecast.so libpaglet.so; do
    [ -e "$from/$f" ] && cp "$from/$f" "$prog/"
  done
  {
    echo "[VESPRIN]"; echo "[INDEX]"; echo "1=1"
    echo "[DB-1]"; echo "HtmlDir=$work/inbox.mbox"; echo "WorkDir=$prog/db/"; echo "Mail=1"
    echo "DataInputPort=$prog/postbridge.dll;$work/inbox.mbox;$prog/db/"
  } >"$prog/vesprin.ini"
}
prog=$work/program
program_folder "$dist" "$prog"
printf '[database]\npath=%s\n[new]\ntags=\n[maildir]\nsynchronize_flags=false\n' "$work/Maildir" >"$work/notmuch.cfg"

runs=$work/runs.tsv
printf 'indexer -ncl\trm -rf %q\t%q -ncl -w0 -f10 -x1\n' "$prog/db" "$prog/indexer" >"$runs"
printf 'indexer -mail -ncl\trm -rf %q\t%q -mail -ncl -w0 -f10 -x1\n' "$prog/db" "$prog/indexer" >>"$runs"
ratio=()
if [[ -n $compare ]]; then
  program_folder "$compare" "$work/compared"
  printf 'indexer -mail -ncl (compared layout)\trm -rf %q\t%q -mail -ncl -w0 -f10 -x1\n' "$work/compared/db" \
    "$work/compared/indexer" >>"$runs"
  ratio+=(--ratio "indexer -mail -ncl:indexer -mail -ncl (compared layout)")
fi
if ((notmuch)); then
  printf 'notmuch new (CJK n-grams)\trm -rf %q\tNOTMUCH_CONFIG=%q XAPIAN_CJK_NGRAM=1 notmuch new --quiet\n' \
    "$work/Maildir/.notmuch" "$work/notmuch.cfg" >>"$runs"
  ratio+=(--ratio "indexer -mail -ncl:notmuch new (CJK n-grams)" --ratio "indexer -ncl:notmuch new (CJK n-grams)")
fi
echo "== timing: a warm-up round and $rounds rounds, interleaved"
python3 "$repo/bench/interleave.py" --rounds "$rounds" "${ratio[@]}" "$runs"
echo
awk -F'\t' -v n="$messages" -v b="$bytes" '$1 == "median" {
  printf "%-28s %8.1f messages/s %7.2f MB/s  peak %6.1f MB\n", $2, n / $3, b / 1e6 / $3, $4 / 1024 }' "$runs.medians"

# A last -mail run's database: every attachment converted is one AttachInfo.db record
# (266 bytes, mail/side_files_format.h) and one section of its message's page.
rm -rf "$prog/db"
"$prog/indexer" -mail -ncl -w0 -f10 -x1 >/dev/null 2>&1
echo "attachments in the mailbox: $attachments; converted and indexed: $(( $(stat -c %s "$prog/db/AttachInfo.db") / 266 ))"
if [[ -n $compare ]]; then
  rm -rf "$work/compared/db"
  "$work/compared/indexer" -mail -ncl -w0 -f10 -x1 >/dev/null 2>&1
  if diff -r "$prog/db" "$work/compared/db" >/dev/null; then
    echo "the two layouts' -mail databases (index files, side files, Attach/) are byte for byte the same"
  else
    echo "the two layouts' -mail databases differ"
  fi
fi
echo "Goal: indexer -mail -ncl at least twice notmuch's messages/s."
