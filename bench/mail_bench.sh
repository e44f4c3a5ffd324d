#!/usr/bin/env bash
# Mail database benchmark: generates a large mailbox (messages whose bodies are the
# Traditional Chinese man pages of manpages-zh in Big5 and the English text of the
# Python documentation, 5% with a text attachment, one 30 MB and one 40 MB message) and a
# Maildir copy of it, then builds a mail database with our `indexer -ncl` and
# `indexer -mail -ncl` (through libpostbridge.so) and indexes the copy with `notmuch new`.
# Prints messages/s, MB/s, peak memory and index size of each, and the average time
# attachments add. A second, smaller run shows whether peak memory depends on the count.
#
#   bench/mail_bench.sh [--messages N] [--small N] [--build-dir DIR] [--no-notmuch] [--keep]
#
#   --messages N      messages in the large mailbox (default 50000, about 500 MB)
#   --small N         messages in the comparison run (default 10000; 0 skips it)
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --no-notmuch      skip the notmuch runs (our own before/after comparisons)
#   --keep            keep the work folder for a look afterwards
#
# Installs what it needs first (scripts/setup bench: scripts/packages/optional/bench.txt).
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
messages=50000
small=10000
build_dir="$repo/build-bench"
keep=0
notmuch=1
while (($#)); do
  case "$1" in
    --messages) messages=${2:?--messages needs a number}; shift 2 ;;
    --small) small=${2:?--small needs a number}; shift 2 ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --no-notmuch) notmuch=0; shift ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "mail_bench: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ "$messages" =~ ^[1-9][0-9]*$ ]] || { echo "mail_bench: --messages takes a number from 1" >&2; exit 2; }
[[ "$small" =~ ^[0-9]+$ ]] || { echo "mail_bench: --small takes a whole number" >&2; exit 2; }

die() { echo "mail_bench: $*" >&2; exit 1; }
. "$repo/bench/release_build.sh"
"$repo/scripts/setup" bench
for tool in groff iconv notmuch python3 /usr/bin/time cmake; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/setup bench"
done
man_root=/usr/share/man/zh_TW
html_root=/usr/share/doc/python3.11/html
[ -d "$man_root" ] || die "$man_root is missing (package manpages-zh)"
[ -d "$html_root" ] || die "$html_root is missing (package python3.11-doc)"

echo "== building the release indexer and gateway in $build_dir"
release_tree
release_build "$(nproc)" indexer postbridge

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-mail-bench-XXXXXX")
cleanup() { if ((keep)); then echo "work folder kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- texts: man pages as Big5 text, Python documentation as plain text ---------------------
echo "== rendering the texts"
mkdir -p "$work/texts"
find "$man_root" -type f -name '*.gz' | sort | head -2000 | while read -r src; do
  zcat "$src" 2>/dev/null | groff -k -mandoc -Tutf8 -P-cbou -rLL=78n 2>/dev/null |
    iconv -f UTF-8 -t CP950 -c 2>/dev/null >>"$work/texts/zh.txt" || true
done
python3 - "$html_root" "$work/texts/en.txt" <<'PY'
import html.parser, os, sys
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
with open(sys.argv[2], "w", encoding="ascii", errors="ignore") as out:
    for root, _, files in sorted(os.walk(sys.argv[1])):
        for name in sorted(files):
            if name.endswith(".html"):
                t = Text(); t.feed(open(os.path.join(root, name), encoding="utf-8", errors="replace").read())
                out.write("".join(t.out))
PY

# ---- mailboxes: an mbox of "From - " messages and a Maildir copy ---------------------------
make_mail() {  # <count> <mbox> <maildir>
  python3 - "$1" "$2" "$3" "$work/texts/zh.txt" "$work/texts/en.txt" <<'PY'
import base64, os, sys
count, mbox, maildir = int(sys.argv[1]), sys.argv[2], sys.argv[3]
zh, en = open(sys.argv[4], "rb").read(), open(sys.argv[5], "rb").read()
for d in ("cur", "new", "tmp"): os.makedirs(os.path.join(maildir, d), exist_ok=True)
def chunk(src, at, size):
    at %= max(1, len(src) - size)
    return src[at:at + size]
def escape(body):
    return b"\n".join(b">" + l if l.startswith(b"From ") else l for l in body.split(b"\n"))
big = {count // 3: 30 << 20, (2 * count) // 3: 40 << 20}
with open(mbox, "wb") as out:
    for i in range(count):
        zh_body = i % 2 == 0
        size = big.get(i, 9000)
        src = zh if zh_body else en
        body = escape(b"".join(chunk(src, i * 7919 + k * size, min(size, len(src) - 1))
                               for k in range(max(1, size // max(1, len(src) - 1) + 1)))[:size])
        head = [b"From: Sender %d <s%d@example.com>" % (i % 97, i % 97),
                b"To: reader@example.com",
                b"Subject: message %d" % i,
                b"Date: Mon, 13 Mar 2000 10:%02d:00 +0800" % (i % 60),
                b"MIME-Version: 1.0"]
        charset = b"big5" if zh_body else b"us-ascii"
        if i % 20 == 7:
            att = base64.encodebytes(chunk(en, i * 104729, 20000))
            msg = b"\n".join(head + [b'Content-Type: multipart/mixed; boundary="qmb"', b"",
                                     b"--qmb", b"Content-Type: text/plain; charset=" + charset, b"", body,
                                     b"--qmb", b'Content-Type: text/plain; name="notes%d.txt"' % i,
                                     b"Content-Transfer-Encoding: base64",
                                     b'Content-Disposition: attachment; filename="notes%d.txt"' % i, b"",
                                     att, b"--qmb--", b""])
        else:
            msg = b"\n".join(head + [b"Content-Type: text/plain; charset=" + charset, b"", body, b""])
        out.write(b"From - Mon Mar 13 10:00:00 2000\n" + msg + b"\n")
        with open(os.path.join(maildir, "cur", "%d.bench:2,S" % i), "wb") as m:
            m.write(msg)
PY
}

prog=$work/program
mkdir -p "$prog"
cp "$build_dir/dist/indexer" "$build_dir/dist/libpostbridge.so" "$prog/"

run_measured() {  # <log> <command...>: globals wall, rss_kb
  local log=$1; shift
  local times=$work/time.out start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$times" "$@" >"$log" 2>&1 || { echo "command failed: $*" >&2; tail -5 "$log" >&2; return 1; }
  end=$(date +%s.%N)
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", b - a}')
  rss_kb=$(tail -1 "$times")
}
index_bytes() { du -sb "$1" | cut -f1; }
report() {  # <label> <messages> <bytes> <index folder>
  awk -v l="$1" -v n="$2" -v b="$3" -v w="$wall" -v r="$rss_kb" -v i="$(index_bytes "$4")" 'BEGIN {
    printf "%-22s %8d msgs %8.1f s %9.0f msgs/s %7.2f MB/s  peak %6.1f MB  index %7.1f MB\n",
           l, n, w, n / w, b / 1e6 / w, r / 1024, i / 1e6 }'
}

run_set() {  # <count>
  local count=$1 dir=$work/run-$1
  mkdir -p "$dir"
  echo "== generating $count messages"
  make_mail "$count" "$dir/inbox.mbox" "$dir/Maildir"
  local bytes; bytes=$(stat -c %s "$dir/inbox.mbox")
  {
    echo "[VESPRIN]"; echo "[INDEX]"; echo "1=1"
    echo "[DB-1]"; echo "HtmlDir=$dir/inbox.mbox"; echo "WorkDir=$dir/db/"; echo "Mail=1"
    echo "DataInputPort=$prog/postbridge.dll;$dir/inbox.mbox;$dir/db/"
  } >"$prog/vesprin.ini"
  run_measured "$dir/ncl.log" "$prog/indexer" -ncl -w0 -f10 -x1
  report "indexer -ncl" "$count" "$bytes" "$dir/db"; local ncl_wall=$wall
  run_measured "$dir/mail.log" "$prog/indexer" -mail -ncl -w0 -f10 -x1
  report "indexer -mail -ncl" "$count" "$bytes" "$dir/db"
  awk -v a="$wall" -v b="$ncl_wall" -v n="$((count / 20))" 'BEGIN {
    if (n > 0) printf "%-22s %.1f ms per attachment\n", "attachments", (a - b) * 1000 / n }'
  if ((notmuch)); then
    printf '[database]\npath=%s\n[new]\ntags=\n[maildir]\nsynchronize_flags=false\n' "$dir/Maildir" >"$dir/notmuch.cfg"
    run_measured "$dir/notmuch.log" env NOTMUCH_CONFIG="$dir/notmuch.cfg" notmuch new --quiet
    report "notmuch new" "$count" "$bytes" "$dir/Maildir/.notmuch"
  fi
  ((keep)) || rm -rf "$dir"  # --keep keeps the mailboxes and databases too
}

run_set "$messages"
if ((small > 0)); then run_set "$small"; fi
echo "Goals: -ncl at least 4x notmuch's messages/s; peak under 300 MB and the same for both runs;"
echo "attachments under 200 ms each on average."
