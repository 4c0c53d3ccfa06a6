#!/usr/bin/python3
"""What the converter writes from the real-world files, read by readers
that are not ours.

  check_corpus.py ical VERSIT ICAL_CHECK CORPUS [KNOWN]
      every vCalendar file: the iCalendar we write parses in libical (and
      passes its restriction check) with the same events and to-dos, the
      same start times in UTC, and each rule's first year of occurrences
      as our own expansion gives them. Files where times differ are
      listed; more than KNOWN of them (default 0) fail the check: the
      known ones are where our exact reader and iCalendar part ways: the
      reader applies TZ but not DAYLIGHT (5 files); it expands no weekly
      rule without weekdays (4) and a rule whose end comes before its
      start (1); it starts a yearly rule a day early across midnight (2);
      it takes another of several RRULEs (2); and libical does not honour
      WKST, which our weekly rules with an interval need (1).
  check_corpus.py roundtrip VERSIT CORPUS [KNOWN]
      every vCalendar file: what our library hands its clients of each
      item (every field of `versit vcal items --json`: times in UTC,
      texts, codes, occurrences) is the same read from the file as read
      from the file written as iCalendar and that written as vCalendar
      1.0 again. Only times may differ, and only in calendars with
      DAYLIGHT: our exact reader applies TZ but not DAYLIGHT, where the
      VTIMEZONE we write honours it (5 files); and it starts the rule of
      a zoned item across midnight a day before the item's own start,
      where the round trip, all in UTC, does not (2 files). More than
      KNOWN (default 0) such files fail the check, as any other
      difference does.
  check_corpus.py rewrite VERSIT CORPUS [KNOWN]
      every vCalendar file through `versit vcal rewrite` (1.0 to 1.0):
      every line of what it writes ends in CR LF, our exact reader reads
      it without errors, and the items are those of the file, as in
      roundtrip (the same KNOWN files differ in times by DAYLIGHT, which
      the rewrite writes back beside times in UTC).
  check_corpus.py vcard VERSIT CHECK_VCARD CORPUS
      every vCard file: the vCard 3.0 and 4.0 we write parse in
      python3-vobject, and the jCard in Python's JSON reader, with as many
      cards as our reader reads.

Exit 0 when every file passes (or the corpus is absent), 1 otherwise."""
import glob
import json
import os
import subprocess
import sys
import tempfile
from datetime import datetime, timedelta


def run(args, **kw):
    kw.setdefault("stdout", subprocess.PIPE)
    return subprocess.run(args, stderr=subprocess.PIPE, **kw)


def compact(stamp):
    return stamp.replace("-", "").replace(":", "")


def minute(word):
    """A libical time as our reader has it: to the minute, and a time
    without a zone taken as UTC, as our reader takes it."""
    stamp = word.lstrip("-")
    if len(stamp) == 8 and stamp.isdigit():
        stamp += "T000000"
    if len(stamp) >= 15 and stamp[8] == "T":
        stamp = stamp[:13] + "00Z"
        return ("-" if word.startswith("-") else "") + stamp
    return word


def year_after(stamp):
    start = datetime.strptime(stamp, "%Y%m%dT%H%M%SZ")
    return (start + timedelta(days=365)).strftime("%Y%m%dT%H%M%SZ")


def our_items(versit, path):
    out = run([versit, "vcal", "items", "--json", path])
    if out.returncode == 2:
        return None
    items = []
    for calendar in json.loads(out.stdout)["calendars"]:
        for kind, key in (("VEVENT", "events"), ("VTODO", "todos")):
            for item in calendar[key]:
                start = compact(item["start"]) if "start" in item else None
                occurrences = [compact(o["start"]) for o in item.get("occurrences", [])]
                if start and occurrences:
                    end = year_after(start)
                    occurrences = sorted(o for o in occurrences if o < end)
                items.append((kind, start, occurrences))
    return items


def libical_items(ical_check, text_path):
    out = run([ical_check, "--expand", text_path], text=True)
    if out.returncode != 0:
        return None, out.stderr.strip()
    items = []
    for line in out.stdout.splitlines():
        # Our reader takes a time without a zone as UTC; libical keeps it
        # floating.
        # Our times have no seconds.
        words = [minute(w) for w in line.split()]
        if not words or words[0] not in ("VEVENT", "VTODO"):
            continue
        start = words[1] if len(words) > 1 and words[1] != "-" else None
        excluded = {w[1:] for w in words[2:] if w.startswith("-")}
        occurrences = {w for w in words[2:] if not w.startswith("-")} - excluded
        if start and occurrences:
            end = year_after(start)
            occurrences = sorted(o for o in occurrences if o < end)
        else:
            occurrences = []
        items.append((words[0], start, occurrences))
    return items, ""


def check_ical(versit, ical_check, corpus, known):
    failures = differing = 0
    files = sorted(glob.glob(os.path.join(corpus, "vcal10", "*.vcs")))
    compared = rules = 0
    with tempfile.TemporaryDirectory() as tmp:
        for path in files:
            ours = our_items(versit, path)
            if ours is None:
                continue
            ics = os.path.join(tmp, "out.ics")
            with open(ics, "wb") as out:
                converted = run([versit, "convert", "--to", "ical", path], stdout=out)
            if converted.returncode == 2:
                print(f"{path}: not converted: {converted.stderr.decode(errors='replace')}")
                failures += 1
                continue
            theirs, why = libical_items(ical_check, ics)
            if theirs is None:
                print(f"{path}: libical refuses our iCalendar: {why}")
                failures += 1
                continue
            # Our expansion stops after a fixed number of periods (the
            # client's lists are bounded); libical's does not: ours may
            # be the start of libical's list.
            key = lambda item: (item[0], item[1] or "")
            theirs = sorted(theirs, key=key)
            ours = sorted(ours, key=key)
            if len(ours) == len(theirs):
                theirs = [(b[0], b[1], a[2]) if a[:2] == b[:2] and a[2] and
                          b[2][:len(a[2])] == a[2] else b for a, b in zip(ours, theirs)]
            key = lambda item: (item[0], item[1] or "", item[2])
            if sorted(ours, key=key) != sorted(theirs, key=key):
                mine = sorted(ours, key=key)
                other = sorted(theirs, key=key)
                diff = next((a, b) for a, b in zip(mine + [None] * len(other),
                                                    other + [None] * len(mine)) if a != b)
                print(f"{path}: {len(ours)} items read, {len(theirs)} in libical; first "
                      f"difference: ours {str(diff[0])[:300]} libical {str(diff[1])[:300]}")
                if len(ours) != len(theirs):
                    failures += 1
                else:
                    differing += 1
                continue
            compared += len(ours)
            rules += sum(1 for item in ours if item[2])
    print(f"{len(files)} files, {compared} items with the same start times in libical, "
          f"{rules} rules with the same first year, {differing} files with times that "
          f"differ (known: {known}), {failures} files failed")
    return failures + (differing > known)


def jcard_count(text):
    """The number of jCards in our JSON (one alone, or an array of them);
    None when the JSON or a jCard's shape is wrong."""
    try:
        data = json.loads(text)
    except ValueError:
        return None
    cards = data if data and isinstance(data[0], list) else ([data] if data else [])
    for card in cards:
        if not (isinstance(card, list) and len(card) == 2 and card[0] == "vcard"
                and all(isinstance(p, list) and len(p) >= 4 and isinstance(p[0], str)
                        and isinstance(p[1], dict) and isinstance(p[2], str)
                        for p in card[1])):
            return None
    return len(cards)


TIMES = {"start", "end", "due", "completed", "audioAlarm", "displayAlarm", "occurrences"}


def client_items(versit, text):
    """The items of the text as our library hands them out, or None."""
    out = run([versit, "vcal", "items", "--json", "-"], input=text)
    if out.returncode == 2:
        return None
    return [item for calendar in json.loads(out.stdout)["calendars"]
            for key in ("events", "todos") for item in calendar[key]]


def check_roundtrip(versit, corpus, known, direct=False):
    """1.0 -> iCalendar -> 1.0, or (direct) 1.0 -> 1.0 by vcal rewrite."""
    failures = timed = items = 0
    files = sorted(glob.glob(os.path.join(corpus, "vcal10", "*.vcs")))
    for path in files:
        with open(path, "rb") as f:
            original = f.read()
        ours = client_items(versit, original)
        # A file without items has nothing to rewrite (vcal rewrite exits 2).
        if ours is None or (direct and not ours):
            continue
        name = os.path.basename(path)
        if direct:
            back = run([versit, "vcal", "rewrite", "-"], input=original)
            text = back.stdout
            if back.returncode != 2 and text.replace(b"\r\n", b"").find(b"\n") >= 0:
                print(f"{name}: a line of the rewrite does not end in CR LF")
                failures += 1
                continue
            checked = run([versit, "vcal", "check", "--strict", "-"], input=text)
            if back.returncode != 2 and checked.returncode == 2:
                print(f"{name}: our exact reader finds errors in the rewrite: "
                      f"{checked.stdout.decode(errors='replace').strip()[:300]}")
                failures += 1
                continue
        else:
            ical = run([versit, "convert", "--to", "ical", "-"], input=original)
            back = run([versit, "convert", "--to", "vcal10", "-"], input=ical.stdout)
        again = client_items(versit, back.stdout) if back.returncode != 2 else None
        if again is None or len(again) != len(ours):
            print(f"{name}: {len(ours)} items read, "
                  f"{'none' if again is None else len(again)} after the round trip")
            failures += 1
            continue
        differing = [(key, a.get(key), b.get(key)) for a, b in zip(ours, again)
                     for key in sorted(set(a) | set(b)) if a.get(key) != b.get(key)]
        items += len(ours)
        if not differing:
            continue
        key, a, b = differing[0]
        print(f"{name}: {len(differing)} fields differ; first {key}: "
              f"{str(a)[:120]} | {str(b)[:120]}")
        daylight = b"DAYLIGHT:TRUE" in original.upper()
        if daylight and all(d[0] in TIMES for d in differing):
            timed += 1
        else:
            failures += 1
    print(f"{len(files)} files, {items} items compared, {timed} files whose times differ "
          f"by DAYLIGHT (known: {known}), {failures} files failed")
    return failures + (timed > known)


def check_vcard(versit, check_vcard_py, corpus):
    failures = 0
    files = sorted(glob.glob(os.path.join(corpus, "vcard21", "*.vcf")))
    cards = 0
    for path in files:
        counted = run([versit, "vcard", "--count", path])
        if counted.returncode == 2:
            continue
        expected = int(counted.stdout.split()[-1])
        for target in ("vcard3", "vcard4", "jcard"):
            converted = run([versit, "convert", "--to", target, path])
            if converted.returncode == 2:
                print(f"{path}: not converted to {target}: "
                      f"{converted.stderr.decode(errors='replace')}")
                failures += 1
                break
            if target == "jcard":
                read = jcard_count(converted.stdout)
                if read is None:
                    print(f"{path}: our jCard is no JSON of jCards")
                    failures += 1
                    break
            else:
                checked = run([sys.executable, check_vcard_py], input=converted.stdout)
                if checked.returncode != 0:
                    print(f"{path}: vobject refuses our {target}: "
                          f"{checked.stderr.decode(errors='replace').strip()}")
                    failures += 1
                    break
                read = int(checked.stdout.split()[-1])
            if read != expected:
                print(f"{path}: {expected} cards read, {read} in {target}")
                failures += 1
                break
        else:
            cards += expected
    print(f"{len(files)} files, {cards} cards read back by vobject (vCard 3.0 and 4.0) "
          f"and as jCard, {failures} files failed")
    return failures


def main():
    mode, versit = sys.argv[1:3]
    args = sys.argv[3:]
    checker = args.pop(0) if mode not in ("roundtrip", "rewrite") else None
    corpus = args.pop(0)
    if not os.path.isdir(corpus):
        print(f"no corpus at {corpus}: nothing to check")
        return 0
    known = int(args[0]) if args else 0
    if mode in ("roundtrip", "rewrite"):
        failed = check_roundtrip(versit, corpus, known, direct=mode == "rewrite")
    elif mode == "ical":
        failed = check_ical(versit, checker, corpus, known)
    else:
        failed = check_vcard(versit, checker, corpus)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
