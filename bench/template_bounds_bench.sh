#!/usr/bin/env bash
# Template bounds benchmark: the hostile templates that the HTML export's bounds answer
# (statements nested 20,000 deep, six VELMREPs over 30 sheets around element content,
# counting, an include, a link and conditions, three VELMREPs that write a 256 KB body
# each pass, /dev/zero, /dev/urandom and a FIFO as the template), each exported once by
# kvxrun from a Release build with a time limit; prints
# the wall time, the peak resident memory, the exit and the export's status of each. The
# built-in template over 2,000 sections is the ordinary case beside them.
#
#   bench/template_bounds_bench.sh [--build-dir DIR] [--dist DIR] [--limit SECONDS]
#
#   --build-dir DIR   release build tree to use or make (default <repo>/build-bench)
#   --dist DIR        an installed layout to time instead of building one (an older
#                     build's dist/, to compare before and after with one script)
#   --limit SECONDS   time limit of one export (default 30); a run past it is killed
#
# Everything happens in a temporary folder that is removed at the end. Not a test.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$repo/build-bench"
dist=
limit=30
while (($#)); do
  case "$1" in
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
    --dist) dist=$(cd "${2:?--dist needs a folder}" && pwd); shift 2 ;;
    --limit) limit=${2:?--limit needs seconds}; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
if [[ -z $dist ]]; then
  cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" --target kvxrun pagecast kvx >/dev/null
  dist="$build_dir/dist"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" "$dist/kvxrun" "$limit" <<'EOF'
import os, resource, subprocess, sys, time
work, kvxrun, limit = sys.argv[1], sys.argv[2], float(sys.argv[3])
def put(name, text):
    with open(os.path.join(work, name), "w") as f:
        f.write(text)
    return os.path.join(work, name)
sheet = 'section ss "S%d"\ncolumns 1\ncells 1\ncell\ntext cp1252 "x"\n'
sheets = put("sheets30.kvx", "kvx-chunks 1\n" + "".join(sheet % i for i in range(30)))
one = put("one.kvx", 'kvx-chunks 1\nsection wp "One"\ntext cp1252 "a"\npara\n')
many = put("sections2000.kvx", "kvx-chunks 1\n" + "".join(
    'section wp "S%d"\ntext cp1252 "text of section %d"\npara\n' % (i, i) for i in range(2000)))
big = put("body_sheets.kvx", "kvx-chunks 1\n" + 'section wp "W"\n' +
          "".join('text cp1252 "%s"\npara\n' % ("word " * 200) for _ in range(256)) +
          "".join(sheet % i for i in range(30)))
put("leaf.tpt", "<{VELMINS NUMBER=Sheets.Count}>")
rep = lambda body: "<html>" + "{VELMREP ELEMENT=Sheets}" * 6 + body + "{/VELMREP}" * 6
cases = [
    ("20,000 nested VELMIF", put("ifs.tpt", "{VELMIF ELEMENT=Sections}" * 20000 + "x" + "{/VELMIF}" * 20000), one),
    ("6 VELMREP, element content", put("rep_ins.tpt", rep("<p>{VELMINS ELEMENT=Sheets.Current.Body}</p>")), sheets),
    ("6 VELMREP, NUMBER=Sheets.Count", put("rep_count.tpt", rep("{VELMINS NUMBER=Sheets.Count}")), sheets),
    ("6 VELMREP, VELMINCLUDE", put("rep_inc.tpt", rep("{VELMINCLUDE TEMPLATE=leaf.tpt}")), sheets),
    ("6 VELMREP, VELMLINK", put("rep_link.tpt", rep("{VELMLINK TEMPLATE=leaf.tpt}")), sheets),
    ("6 VELMREP, VELMIF/ELSEIF", put("rep_if.tpt", rep(
        "{VELMIF ELEMENT=Sheets.Current.Body}a{VELMELSEIF ELEMENT=Sections.2}b{VELMELSE}c{/VELMIF}")), sheets),
    ("3 VELMREP, a 256 KB body each pass", put("rep_body.tpt", "{VELMREP ELEMENT=Sheets}" * 3 +
        "{VELMINS ELEMENT=Sections.1.Body}" + "{/VELMREP}" * 3), big),
    ("/dev/zero", "/dev/zero", one),
    ("/dev/urandom", "/dev/urandom", one),
    ("FIFO", None, one),
    ("built-in template, 2,000 sections", "", many),
]
fifo = os.path.join(work, "fifo.tpt")
os.mkfifo(fifo)
print("%-36s %9s %9s  %s" % ("template", "seconds", "peak MB", "result"))
for name, tpl, doc in cases:
    tpl = fifo if tpl is None else tpl
    args = [kvxrun] + (["--set-text", "3=" + tpl] if tpl else []) + [doc, os.path.join(work, "out.htm")]
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.time()
    # Each run in a process of its own, so that the peak is its own.
    p = subprocess.Popen(["python3", "-c",
        "import resource,subprocess,sys\n"
        "def cap(): resource.setrlimit(resource.RLIMIT_AS, (8 << 30, 8 << 30))\n"
        "p = subprocess.Popen(sys.argv[2:], preexec_fn=cap, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)\n"
        "try:\n  _, e = p.communicate(timeout=float(sys.argv[1])); r = 'exit %d' % p.returncode\n"
        "except subprocess.TimeoutExpired:\n  p.kill(); _, e = p.communicate(); r = 'killed at the limit'\n"
        "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, r, e.decode(errors='replace').strip()[-60:])",
        str(limit)] + args, stdout=subprocess.PIPE)
    out = p.communicate()[0].decode().strip()
    seconds = time.time() - start
    peak, _, result = out.partition(" ")
    print("%-36s %9.2f %9d  %s" % (name, seconds, int(peak) // 1024, result))
EOF
