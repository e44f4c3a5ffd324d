# Timing part of bench/search_scale.sh (started by it, with the work folder set up):
# the 40 queries, one process per query for `searcher` and for Omega, interleaved; the
# throughput runs with several clients; peak RSS; the paired start-up timing.
import multiprocessing
import os
import re
import statistics
import subprocess
import time
import urllib.parse

SITE = os.environ["QM_SITE"]
WORK = os.environ["QM_WORK"]
SCALE = int(os.environ["QM_SCALE"])
RUNS = int(os.environ["QM_RUNS"])
CLIENTS = int(os.environ["QM_CLIENTS"])
SECONDS = int(os.environ["QM_SECONDS"])
OMEGA = os.environ["QM_OMEGA"]
SEARCHER = os.path.join(SITE, "searcher")

# (class, our query, Omega's query), the same meaning on both sides. Our "*" is "in one
# document" (as the typed "&" is), "+" "or", "-" "and not"; Omega's AND, OR and AND NOT
# work on documents too. Our paragraph operator ("~" typed) has no Omega counterpart and is
# left out.
CHINESE = ["使用", "檔案", "系統", "命令", "選項", "程式", "設定", "目錄", "輸出", "參數",
           "執行", "網路", "伺服器", "核心", "套件", "編碼", "權限", "壓縮", "鍵盤", "印表機"]
ENGLISH = ["python", "function", "socket", "module", "return", "class", "thread", "unicode",
           "decorator", "asyncio"]
PHRASES = ["standard library", "return value", "regular expression", "keyword argument",
           "file object"]
BOOLEAN = [("檔案 * 系統", "檔案 AND 系統"), ("python * socket", "python AND socket"),
           ("使用 * 設定", "使用 AND 設定"), ("命令 - 選項", "命令 AND NOT 選項"),
           ("(thread + process) * lock", "(thread OR process) AND lock")]
QUERIES = ([("chinese", w, w) for w in CHINESE] + [("english", w, w) for w in ENGLISH] +
           [("phrase", p, '"%s"' % p) for p in PHRASES] + [("boolean", a, b) for a, b in BOOLEAN])
CLASSES = ["chinese", "english", "phrase", "boolean"]


def ours_command(db, query):
    big5 = query.encode("cp950")
    qs = "s=%d&p=%s" % (db, urllib.parse.quote_from_bytes(big5))
    return [SEARCHER], {"REQUEST_METHOD": "GET", "QUERY_STRING": qs}


def omega_command(db, query):
    env = {"OMEGA_CONFIG_FILE": os.path.join(WORK, "omega.conf"), "XAPIAN_CJK_NGRAM": "1",
           "REQUEST_METHOD": "GET", "GATEWAY_INTERFACE": "CGI/1.1",
           "QUERY_STRING": "DB=%s&DEFAULTOP=and&P=%s" % (db, urllib.parse.quote(query))}
    return [OMEGA], env


def run(cmd, rss=False):
    """Runs one process; wall seconds, its output and (with rss) its peak RSS in KiB,
    taken by /usr/bin/time (the rusage of a forked child includes the parent's pages)."""
    argv, env = cmd
    if rss:
        argv = ["/usr/bin/time", "-f", "%M", "-o", os.path.join(WORK, "rss.out")] + argv
    start = time.perf_counter()
    p = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, cwd=SITE)
    wall = time.perf_counter() - start
    peak = int(open(os.path.join(WORK, "rss.out")).read().split()[-1]) if rss else 0
    return wall, peak, p.stdout


def ours_hits(page):
    m = re.search(rb"<b>(\d+)</b> hits for", page)
    return int(m.group(1)) if m else 0


def omega_hits(page):
    m = re.search(rb"(?:of|about) ([\d,]+) matches", page)
    if m:
        return int(m.group(1).replace(b",", b""))
    return 0 if b"No documents" in page or b"no matches" in page.lower() else -1


def percentile(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p * (len(v) - 1))))]


def table(title, header, rows):
    print(title)
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---:" if i else "---" for i in range(len(header))) + "|")
    for r in rows:
        print("| " + " | ".join(str(c) for c in r) + " |")
    print()


def timed_runs(size, ours_db, omega_db, bare):
    ours_t = {q: [] for q in range(len(QUERIES))}
    omega_t = {q: [] for q in range(len(QUERIES))}
    rss = [0, 0]
    hits = {}
    for r in range(RUNS + 1):  # the first round warms the page cache and is not counted
        for q, (_, mine, theirs) in enumerate(QUERIES):
            pair = [(0, ours_command(ours_db, mine)), (1, omega_command(omega_db, theirs))]
            if (r + q) % 2:
                pair.reverse()
            for side, cmd in pair:
                wall, maxrss, out = run(cmd, rss=(r == 0))
                rss[side] = max(rss[side], maxrss)
                if r == 0:
                    hits.setdefault(q, [0, 0])[side] = ours_hits(out) if side == 0 else omega_hits(out)
                else:
                    (ours_t if side == 0 else omega_t)[q].append(wall * 1000)
    rows = []
    for cls in CLASSES + ["all"]:
        idx = [q for q, (c, _, _) in enumerate(QUERIES) if cls in ("all", c)]
        a = [statistics.median(ours_t[q]) for q in idx]
        b = [statistics.median(omega_t[q]) for q in idx]
        ma, mb = statistics.median(a), statistics.median(b)
        above = (ma - bare) / (mb - bare) if mb > bare else float("nan")
        rows.append([cls, len(idx), "%.1f" % ma, "%.1f" % mb, "%.2f" % (ma / mb), "%.2f" % above,
                     "%.1f" % percentile(a, 0.95), "%.1f" % percentile(b, 0.95)])
    table("### %s: wall ms per query (medians of %d runs; class median and p95 over queries; "
          "above start: both less a bare process start, %.2f ms)" % (size, RUNS, bare),
          ["class", "queries", "ours median", "Omega median", "ratio", "ratio above start", "ours p95",
           "Omega p95"], rows)
    rows = []
    for q, (cls, mine, theirs) in enumerate(QUERIES):
        rows.append([cls, mine, hits[q][0], hits[q][1], "%.1f" % statistics.median(ours_t[q]),
                     "%.1f" % statistics.median(omega_t[q])])
    table("### %s: per query (hits: documents; ms: median)" % size,
          ["class", "query", "ours hits", "Omega hits (its estimate)", "ours ms", "Omega ms"], rows)
    return rss


def client(k, ours_db, omega_db, side, stop, done):
    """One client: queries in turn until the stop time; its count into done[k]."""
    q, n = k, 0
    while time.time() < stop:
        _, mine, theirs = QUERIES[q % len(QUERIES)]
        run(ours_command(ours_db, mine) if side == 0 else omega_command(omega_db, theirs))
        n += 1
        q += 1
    done[k] = n


def throughput(ours_db, omega_db, side):
    # Each client is a process of its own: threads of one interpreter share its lock and
    # start processes one at a time, which capped the rate near 900 queries/s whatever
    # the program ran.
    done = multiprocessing.Array("i", CLIENTS)
    start = time.time()
    stop = start + SECONDS
    clients = [multiprocessing.Process(target=client, args=(k, ours_db, omega_db, side, stop, done))
               for k in range(CLIENTS)]
    for c in clients:
        c.start()
    for c in clients:
        c.join()
    return sum(done) / (time.time() - start)


def startup():
    bare = ["/bin/true"], {"REQUEST_METHOD": "GET", "QUERY_STRING": ""}
    empty = [SEARCHER], {"REQUEST_METHOD": "GET", "QUERY_STRING": ""}
    diffs, a, b = [], [], []
    for _ in range(300):
        t1 = run(empty)[0]
        t0 = run(bare)[0]
        diffs.append((t1 - t0) * 1000)
        a.append(t1 * 1000)
        b.append(t0 * 1000)
    table("### start-up: searcher with an empty query against /bin/true, 300 pairs",
          ["what", "median ms", "p95 ms"],
          [["searcher, empty query", "%.2f" % statistics.median(a), "%.2f" % percentile(a, 0.95)],
           ["bare process", "%.2f" % statistics.median(b), "%.2f" % percentile(b, 0.95)],
           ["difference (paired)", "%.2f" % statistics.median(diffs), "%.2f" % percentile(diffs, 0.95)]])
    return statistics.median(b)


def main():
    print("load average before: %s" % open("/proc/loadavg").read().strip())
    bare = startup()
    for size, ours_db, omega_db in [("1x", 1, "x1"), ("%dx" % SCALE, 2, "x%d" % SCALE)]:
        rss = timed_runs(size, ours_db, omega_db, bare)
        qa = throughput(ours_db, omega_db, 0)
        qb = throughput(ours_db, omega_db, 1)
        table("### %s: %d clients, %d s each; peak RSS of one process" % (size, CLIENTS, SECONDS),
              ["", "ours", "Omega", "ratio"],
              [["queries/s", "%.1f" % qa, "%.1f" % qb, "%.2f" % (qa / qb)],
               ["peak RSS MB", "%.1f" % (rss[0] / 1024), "%.1f" % (rss[1] / 1024),
                "%.2f" % (rss[0] / rss[1])]])
    print("load average after: %s" % open("/proc/loadavg").read().strip())


main()
