#!/usr/bin/python3
"""No text of a log runs as script on the results site.

    hostile_site.py --yolcheck PATH --rules FILE --work DIR

Writes three Cabrillo logs with a script payload in every field a page shows
(the station's call, name, club, category, the calls worked and every
exchange token, with a mistake in each contact so that both lines are set
against each other), runs yolcheck --html over them and opens every page
written in headless chromium: no payload may run (each sets a flag on the
window), no page may log an error or fetch anything.
"""
import argparse
import pathlib
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from browser import Browser  # noqa: E402

PAYLOADS = [
    "<svg/onload=window.__ran=1>",
    "\"><script>window.__ran=2</script>",
    "'><img/src/onerror=window.__ran=3>",
    "<script>window.__ran=4</script>",
]


def log(call, name, club, category, qsos):
    lines = ["START-OF-LOG: 3.0", f"CALLSIGN: {call}", f"NAME: {name}", f"CLUB: {club}", f"CATEGORY: {category}",
             f"CATEGORY-POWER: {PAYLOADS[3]}"]
    lines += [f"QSO: 14025 CW 2026-12-05 {t} {call} 599 {nr} {reg} {other} 599 {rnr} {rreg}"
              for t, nr, reg, other, rnr, rreg in qsos]
    return "\r\n".join(lines + ["END-OF-LOG:", ""])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--yolcheck", required=True)
    ap.add_argument("--rules", required=True)
    ap.add_argument("--work", type=pathlib.Path, required=True)
    args = ap.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    logs = args.work / "logs"
    logs.mkdir(parents=True)
    a, b, c = "UA3AAA", PAYLOADS[0], "UA3CCC"
    p1, p2, p3 = PAYLOADS[1], PAYLOADS[2], PAYLOADS[3]
    (logs / "a.log").write_text(log(a, p1, p2, "SINGLE-OP " + p3, [
        ("1200", "001", p1, b, "001", p2), ("1201", "002", "MO", c, "001", "LE"), ("1203", "003", "MO", p3, "001", p1)]))
    (logs / "b.log").write_text(log(b, p2, p1, p1, [
        ("1200", "001", p3, a, "002", "MO"), ("1202", "002", p3, c, "002", p2)]))
    (logs / "c.log").write_text(log(c, p3, p3, p2, [
        ("1201", "001", "LE", a, "002", p2), ("1202", "002", "LE", "UA3AAB", "002", p3)]))
    site = args.work / "site"
    done = subprocess.run([args.yolcheck, "--rules", args.rules, "--out", str(args.work / "out"), "--html", str(site),
                           str(logs)], capture_output=True, text=True, errors="replace")
    pages = sorted(site.rglob("*.html"))
    if done.returncode not in (0, 1) or len(pages) < 5:
        sys.stderr.write(done.stdout + done.stderr)
        print(f"FAILED: yolcheck exited {done.returncode} and wrote {len(pages)} pages")
        return 1
    failures = []
    with Browser() as browser:
        d = browser.driver
        for page in pages:
            d.get(page.resolve().as_uri())
            ran = d.execute_script("return window.__ran || null")
            if ran is not None:
                failures.append(f"{page.name}: payload {ran} ran")
            outside = d.execute_script(
                "return performance.getEntriesByType('resource').map(function (e) { return e.name; })"
                ".filter(function (n) { return n.indexOf('file:') !== 0 && n.indexOf('data:') !== 0; })")
            if outside:
                failures.append(f"{page.name}: fetched {outside}")
            errors = browser.console_errors()
            if errors:
                failures.append(f"{page.name}: console {errors}")
            # The payload is shown as text where the page shows the field.
            shown = d.execute_script("return document.body.innerText").upper()
            if page.name == "index.html" and PAYLOADS[0].upper() not in shown:
                failures.append("index.html: the payload call is not shown as text")
    for f in failures:
        print("FAIL:", f)
    print(f"{len(pages)} pages opened, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
