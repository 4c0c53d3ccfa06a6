#!/usr/bin/env python3
"""Runs our readers and converters and the peers' side by side, each as a
whole process, and prints one Markdown table.

    run.py --versit-build DIR --peers-build DIR --workloads DIR [--runs N]

Every row is run N times (default 5), in N rounds of one run of each row,
and the best run kept: the least
wall-clock time of the whole process (start to exit, file reading and
library loading included) and the least time the program reports for its
own work once the file is in memory ("in-process"). Peak RSS is the largest
resident size of the process. The ratio column divides our best time by the
fastest peer's on the same task and file, for the whole process and
in-process: below 1 we are faster. On the calendars the task is reading
and extracting every event and to-do, so the peers compared are those
that build their calendar objects; libicalvcal's bare parse is shown
("parse only") but not compared.

The card import is also run on a clean copy of the cards (every
quoted-printable continuation indented, which the generated file leaves
unindented on most cards): there both readers read the same cards, so
the tolerant reader's price over the strict one, printed under the
table for both texts, is compared like for like.
"""
import argparse
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import time

MB = 1e6  # MB/s in decimal megabytes, as the file sizes are given


class Row:
    def __init__(self, task, path, workload, argv, side, note=""):
        self.task = task  # rows of one task and workload are compared
        self.path = path
        self.workload = workload
        self.argv = argv
        # "ours", "peer", "ceiling", or "parse only": a calendar peer that
        # stops before building calendar objects, shown beside the others
        # but not compared, since extracting the items is half the task
        self.side = side
        self.note = note
        self.process = None
        self.inprocess = None
        self.rss = None
        self.items = None
        self.failure = None


def run_once(argv):
    """Wall seconds, stdout, stderr and exit code of one run. The child
    writes to files, not pipes, so nothing of ours runs while it does."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, out.fileno(), 1),
                                           (os.POSIX_SPAWN_DUP2, err.fileno(), 2)])
        _, status = os.waitpid(pid, 0)
        wall = time.perf_counter() - start
        out.seek(0)
        err.seek(0)
        return (wall, out.read().decode(errors="replace"), err.read().decode(errors="replace"),
                os.waitstatus_to_exitcode(status))


def peak_rss(argv):
    """Peak resident bytes of one more run, through /usr/bin/time: Linux
    keeps the largest size a process had before exec, so a child spawned
    straight from this Python process would report at least Python's."""
    with tempfile.NamedTemporaryFile(mode="r") as report:
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        text = report.read().strip().splitlines()
        return int(text[-1]) * 1024 if text and text[-1].isdigit() else None


def measure_once(row):
    wall, out, err, rc = run_once(row.argv)
    # The tool exits 1 when a card lost something; its output is still
    # complete, so only 2 and above (or a peer's 1) is a failure.
    ok = rc == 0 or (row.side == "ours" and rc == 1)
    if not ok:
        lines = [l for l in err.splitlines() if l.strip()]
        row.failure = lines[-1] if lines else "exit %d" % rc
        return
    row.process = wall if row.process is None else min(row.process, wall)
    got = re.search(r"items=(\d+) parse_seconds=([0-9.]+)", out)
    if got:
        row.items = int(got.group(1))
        seconds = float(got.group(2))
        row.inprocess = seconds if row.inprocess is None else min(row.inprocess, seconds)


def convert_bench(row, program, name):
    """The in-process figure of bench/convert_bench (Google Benchmark)."""
    argv = [program, "--benchmark_filter=^BM_Convert/%s$" % name, "--benchmark_format=json"]
    done = subprocess.run(argv, capture_output=True, text=True)
    if done.returncode != 0:
        row.failure = "convert_bench failed"
        return
    for b in json.loads(done.stdout)["benchmarks"]:
        if b["name"] == "BM_Convert/" + name:
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
            row.inprocess = b["real_time"] * scale
            row.items = int(b["items"]) if "items" in b else None


CLEAN_CARDS = "vcards-10k-clean.vcf"


def make_clean_cards(workloads):
    """Writes CLEAN_CARDS beside vcards-10k.vcf: each line after a
    quoted-printable soft break indented, so that no card needs a repair."""
    source = os.path.join(workloads, "vcards-10k.vcf")
    target = os.path.join(workloads, CLEAN_CARDS)
    if os.path.exists(target) and os.path.getmtime(target) >= os.path.getmtime(source):
        return
    with open(source, "rb") as f:
        lines = f.read().split(b"\r\n")
    out = []
    quoted_printable = soft_break = False
    for line in lines:
        indented = line[:1] in (b" ", b"\t")
        if soft_break and not indented:
            line = b" " + line
        elif not soft_break and not indented:
            quoted_printable = b"QUOTED-PRINTABLE" in line.split(b":", 1)[0]
        soft_break = quoted_printable and line.endswith(b"=")
        out.append(line)
    with open(target + ".part", "wb") as f:
        f.write(b"\r\n".join(out))
    os.replace(target + ".part", target)


def rows(versit, peers, workloads):
    tool = os.path.join(versit, "tools", "versit")
    p = lambda name: os.path.join(peers, name)
    w = lambda name: os.path.join(workloads, name)
    cards = "vcards-10k.vcf"
    r = []
    # vCard import
    r += [
        Row("read", "ours: strict import (VI_readCard)", cards, [p("ours_vcard"), "strict", w(cards)], "ours"),
        Row("read", "ours: tolerant import (VI_readCardTolerantly)", cards, [p("ours_vcard"), "tolerant", w(cards)], "ours"),
        Row("read", "ours: strict import + VI_exportCard", cards, [p("ours_vcard"), "export", w(cards)], "ours"),
        Row("read", "ours: `versit vcard -o /dev/null` (read, verify, write)", cards, [tool, "vcard", "-o", "/dev/null", w(cards)], "ours"),
        Row("read", "libicalvcal: Parse_MIME, whole file", cards, [p("peer_libical"), "parse", w(cards)], "peer"),
        Row("read", "libicalvcal: Parse_MIME, card by card", cards, [p("peer_libical"), "each", w(cards)], "peer"),
        Row("read", "KContacts: parseVCards", cards, [p("peer_kcontacts"), "parse", w(cards)], "peer"),
        Row("read", "ceiling: memchr line count", cards, [p("ceiling_lines"), w(cards)], "ceiling"),
        Row("read", "ours: strict import (VI_readCard)", CLEAN_CARDS, [p("ours_vcard"), "strict", w(CLEAN_CARDS)], "ours"),
        Row("read", "ours: tolerant import (VI_readCardTolerantly)", CLEAN_CARDS, [p("ours_vcard"), "tolerant", w(CLEAN_CARDS)], "ours"),
    ]
    # vCalendar read and extraction
    for cal in ("vcal-5k.vcs", "vcal-5k-1block.vcs"):
        r += [
            Row("read", "ours: exact reader, byte callback + VI_takeItem", cal, [p("ours_vcal"), "strict", w(cal)], "ours"),
            Row("read", "ours: exact reader, text in memory (VI_readCalendarText) + VI_takeItem", cal, [p("ours_vcal"), "text", w(cal)], "ours"),
            Row("read", "ours: tolerant reader + VI_takeItemTolerantly", cal, [p("ours_vcal"), "tolerant", w(cal)], "ours"),
            Row("read", "libicalvcal: Parse_MIME + icalvcal_convert", cal, [p("peer_libical"), "convert", w(cal)], "peer"),
            Row("read", "libicalvcal: Parse_MIME + icalvcal_convert, block by block", cal, [p("peer_libical"), "convert-each", w(cal)], "peer"),
            Row("read", "libicalvcal: Parse_MIME only, whole file", cal, [p("peer_libical"), "parse", w(cal)], "parse only"),
            Row("read", "libicalvcal: Parse_MIME only, block by block", cal, [p("peer_libical"), "each", w(cal)], "parse only"),
            Row("read", "KCalendarCore: VCalFormat into MemoryCalendar", cal, [p("peer_kcalendar"), "parse", w(cal)], "peer"),
            Row("read", "ceiling: memchr line count", cal, [p("ceiling_lines"), w(cal)], "ceiling"),
        ]
    # Conversion
    cal = "vcal-5k.vcs"
    r += [
        Row("vcard4", "ours: `versit convert --to vcard4`", cards, [tool, "convert", "--to", "vcard4", "-o", "/dev/null", w(cards)], "ours"),
        Row("vcard4", "ours: VI_convert to vCard 4.0", cards, [p("ours_convert"), "vcard4", w(cards)], "ours"),
        Row("vcard4", "ours: convert_bench vcard21_to_vcard4", cards, None, "ours", "vcard21_to_vcard4"),
        Row("vcard4", "KContacts: parseVCards + exportVCards(v4_0)", cards, [p("peer_kcontacts"), "vcard4", w(cards)], "peer"),
        Row("ical", "ours: `versit convert --to ical`", cal, [tool, "convert", "--to", "ical", "-o", "/dev/null", w(cal)], "ours"),
        Row("ical", "ours: VI_convert to iCalendar", cal, [p("ours_convert"), "ical", w(cal)], "ours"),
        Row("ical", "ours: convert_bench vcal10_to_ical", cal, None, "ours", "vcal10_to_ical"),
        Row("ical", "libical: Parse_MIME + icalvcal_convert + iCalendar text", cal, [p("peer_libical"), "ical", w(cal)], "peer"),
        Row("ical", "KCalendarCore: VCalFormat + ICalFormat::toString", cal, [p("peer_kcalendar"), "ical", w(cal)], "peer"),
    ]
    return r


def fmt_seconds(s):
    return "—" if s is None else "%.4f" % s


def fmt_rate(size, s):
    return "—" if not s else "%.0f" % (size / MB / s)


def ratio(ours, peers, key):
    times = [getattr(p, key) for p in peers if getattr(p, key)]
    mine = getattr(ours, key)
    if peers and all(p.failure for p in peers):
        return "peers refuse"
    if not times or not mine:
        return "—"
    return "%.2f" % (mine / min(times))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--versit-build", required=True)
    ap.add_argument("--peers-build", required=True)
    ap.add_argument("--workloads", required=True)
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()

    load_before = os.getloadavg()
    make_clean_cards(args.workloads)
    table = rows(args.versit_build, args.peers_build, args.workloads)
    bench = os.path.join(args.versit_build, "bench", "convert_bench")
    # Round by round, every row once a round: a slow spell of a shared
    # machine then slows ours and the peers' alike, where row after row it
    # would fall on some of them only.
    for n in range(args.runs):
        for row in table:
            if row.argv is not None and row.failure is None:
                measure_once(row)
        print("round %d of %d measured" % (n + 1, args.runs), file=sys.stderr)
    for row in table:
        if row.argv is None:
            convert_bench(row, bench, row.note)
        elif row.failure is None:
            row.rss = peak_rss(row.argv)
    load_after = os.getloadavg()

    print("Run %s on %s (%d cores); load average before %.2f %.2f %.2f, after %.2f %.2f %.2f."
          % (datetime.date.today().isoformat(), os.uname().nodename, os.cpu_count(),
             *load_before, *load_after))
    print("Best of %d runs. process: wall clock of the whole process (start to exit, file "
          "read and libraries loaded included); in-process: the program's own clock around "
          "the work named in the row, the file already in memory. MB = 10^6 bytes. "
          "ours/peer: our time over the fastest peer's on the same task and file, "
          "process / in-process (below 1: ours is faster)." % args.runs)
    print()
    print("| path | workload | MB | items | process s | process MB/s | in-process s "
          "| in-process MB/s | peak RSS MB | ours/peer |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|---|")
    for row in table:
        size = os.path.getsize(os.path.join(args.workloads, row.workload))
        peers = [p for p in table
                 if p.side == "peer" and p.task == row.task and p.workload == row.workload]
        if row.failure:
            print("| %s | %s | %.2f | — | refused: %s | | | | | |"
                  % (row.path, row.workload, size / MB, row.failure.replace("|", "/")))
            continue
        if row.side == "ours" and peers and all(p.failure for p in peers):
            cmp = "peers refuse"
        elif row.side == "ours":
            cmp = "%s / %s" % (ratio(row, peers, "process"), ratio(row, peers, "inprocess"))
        else:
            cmp = row.side
        print("| %s | %s | %.2f | %s | %s | %s | %s | %s | %s | %s |" % (
            row.path, row.workload, size / MB,
            "—" if row.items is None else row.items,
            fmt_seconds(row.process), fmt_rate(size, row.process),
            fmt_seconds(row.inprocess), fmt_rate(size, row.inprocess),
            "—" if row.rss is None else "%.0f" % (row.rss / 2**20), cmp))
    print()
    for workload in ("vcards-10k.vcf", CLEAN_CARDS):
        import_rows = {r.argv[1]: r for r in table
                       if r.workload == workload and r.argv is not None
                       and os.path.basename(r.argv[0]) == "ours_vcard"}
        strict, tolerant = import_rows.get("strict"), import_rows.get("tolerant")
        if strict is None or tolerant is None or not strict.process or not strict.inprocess:
            continue
        print("Tolerant over strict card import, %s: %.2f process / %.2f in-process."
              % (workload, tolerant.process / strict.process, tolerant.inprocess / strict.inprocess))


if __name__ == "__main__":
    main()
