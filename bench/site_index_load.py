#!/usr/bin/python3
"""Times the results index in headless chromium: load, then a sort by score.

    site_index_load.py SITE/index.html [--runs N]

Prints, per run, the page's own load time (navigation start to the end of the
load event), the time one click on the Score header takes to sort the biggest
table, and the wall-clock time from asking for the page to the sorted table.
"""
import argparse
import os
import pathlib
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "browser"))
from browser import Browser  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("index", type=pathlib.Path)
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    url = args.index.resolve().as_uri()
    with Browser() as b:
        d = b.driver
        for run in range(args.runs):
            d.get("about:blank")
            t0 = time.monotonic()
            d.get(url)
            load_ms = d.execute_script(
                "var t = performance.getEntriesByType('navigation')[0]; return t.loadEventEnd - t.startTime")
            sort_ms, rows, ok = d.execute_script("""
                var tables = Array.prototype.slice.call(document.querySelectorAll('table.results'));
                tables.sort(function (a, b) { return b.tBodies[0].rows.length - a.tBodies[0].rows.length; });
                var t = tables[0], th = t.querySelector('th[data-key=score]'), i = th.cellIndex;
                var start = performance.now();
                th.querySelector('button').click();
                var ms = performance.now() - start;
                var rows = t.tBodies[0].rows, ok = true;
                for (var r = 1; r < rows.length; r++)
                  if (+rows[r - 1].cells[i].textContent < +rows[r].cells[i].textContent) { ok = false; break; }
                return [ms, rows.length, ok];""")
            wall = time.monotonic() - t0
            total_rows = d.execute_script("return document.querySelectorAll('table.results tbody tr').length")
            print(f"run {run + 1}: {total_rows} rows; loaded in {load_ms:.0f} ms; sort of {rows} rows by score "
                  f"{sort_ms:.0f} ms ({'sorted' if ok else 'NOT SORTED'}); asked to sorted {wall:.2f} s")
            if not ok:
                return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
