#!/usr/bin/python3
"""Checks a written results site in headless chromium.

    check_site.py --site DIR --artifacts DIR      (DIR holds results.csv and verdicts.csv beside the pages)
    check_site.py --demo PATH/yolsitedemo --work DIR --artifacts DIR

Every page loads with no console error and no failed resource and fetches
nothing from elsewhere; the index has one row per log of results.csv with the
same numbers; clicking a header sorts; the filter finds a call; each log page
has its plots, and their numbers are those of verdicts.csv and results.csv;
the tables read with scripts off; nothing overflows a phone-width screen.
Screenshots of the index, one log page and the summary at desktop and phone
width go to the artifacts folder. Exit status 1 on any failure, including a
browser that does not start.
"""
import argparse
import collections
import csv
import os
import pathlib
import re
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser  # noqa: E402

from selenium.webdriver.common.by import By  # noqa: E402

# Columns of the index (data-key of the header) and the results CSV's names for them.
INDEX_TO_CSV = {
    "call": ["call"], "class": ["category"], "claimed": ["claimed", "claimed_score"],
    "contacts": ["final_contacts", "contacts"], "points": ["points", "final_points"],
    "mults": ["multipliers", "mults", "final_multipliers"], "score": ["score", "final_score"],
    "reduction": ["reduction_pct", "reduction", "reduction_percent"],
    "errors": ["error_rate_pct", "error_rate", "error_rate_percent"],
}
PERCENT = {"reduction", "errors"}

# verdicts.csv names bands as the host does ("14"); the pages as people do ("20m").
HOST_BANDS = {
    "0.136": "2190m", "0.472": "630m", "0.501": "560m", "1.8": "160m", "3.5": "80m", "5": "60m", "7": "40m",
    "10": "30m", "14": "20m", "18": "17m", "21": "15m", "24": "12m", "28": "10m", "40": "8m", "50": "6m",
    "54": "5m", "70": "4m", "144": "2m", "222": "1.25m", "432": "70cm", "902": "33cm", "1.2G": "23cm",
    "2.3G": "13cm", "3.4G": "9cm", "5.7G": "6cm", "10G": "3cm", "24G": "1.25cm",
}


def band_name(band):
    return HOST_BANDS.get(band, band)


class Failures:
    def __init__(self):
        self.items = []

    def check(self, ok, message):
        if not ok:
            self.items.append(message)
        return ok


def place_number(text):
    """A place as the index shows it: "1st", "11th", a shared one "=2nd"."""
    m = re.fullmatch(r"(=?)([0-9]+)(st|nd|rd|th)", text.strip())
    if not m:
        return None
    n = int(m.group(2))
    suffix = "th" if n % 100 in (11, 12, 13) else {1: "st", 2: "nd", 3: "rd"}.get(n % 10, "th")
    return n if m.group(3) == suffix else None


def number(text):
    text = text.strip().replace("\u202f", "").replace("\u2212", "-")
    if text in ("", "\u2014"):
        return None
    return float(text)


def read_results(site):
    with open(site / "results.csv", newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f))


def read_verdicts(site):
    per_log = collections.defaultdict(list)
    with open(site / "verdicts.csv", newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            per_log[row["log"]].append(row)
    return per_log


def page_name(call):
    out = []
    for ch in call:
        if ch.isascii() and ch.isalnum():
            out.append(ch)
        elif ch == "/":
            out.append("-")
        else:
            out.extend("_%02X" % b for b in ch.encode("utf-8"))
    return "".join(out or ["_"]) + ".html"


def load(browser, path, fails):
    """Opens a page; console errors, failed resources and outside references are failures."""
    browser.console_errors()  # drop what earlier pages left
    browser.driver.get(path.resolve().as_uri())
    d = browser.driver
    fails.check(d.execute_script("return document.readyState") == "complete", f"{path.name}: did not finish loading")
    for e in browser.console_errors():
        fails.check(False, f"{path.name}: console error: {e.get('message')}")
    fails.check(d.execute_script("return document.characterSet") == "UTF-8", f"{path.name}: not read as UTF-8")
    outside = d.execute_script("""
        var bad = [];
        document.querySelectorAll('[src],[href]').forEach(function (e) {
          var v = e.getAttribute('src') || e.getAttribute('href');
          if (/^[a-z][a-z0-9+.-]*:/i.test(v) && !/^data:/i.test(v)) bad.push(v);
        });
        return bad;""")
    fails.check(not outside, f"{path.name}: refers outside the site: {outside[:3]}")
    # The site's style sets the body's width limit; an unapplied style sheet leaves it at "none".
    styled = d.execute_script("return getComputedStyle(document.body).maxWidth")
    fails.check(styled not in ("none", ""), f"{path.name}: the style sheet is not applied")
    text = d.execute_script("return document.body.innerText")
    fails.check("\ufffd" not in text, f"{path.name}: replacement characters in the text")
    fails.check("\u00d0\u00a0" not in text and "Ð¸" not in text, f"{path.name}: mojibake in the text")


# The tables of the contest's classes (the overall table repeats their rows).
CLASS_TABLES = "section.cat:not(#overall) table.results"


def ranked(results):
    """The rows of results.csv that get a place: all but the checklogs."""
    return [r for r in results if r.get("category") != "CHECKLOG"]


def index_rows(d):
    return d.execute_script("var CLASS_TABLES = arguments[0];" + """
        var out = [];
        document.querySelectorAll(CLASS_TABLES).forEach(function (t) {
          var keys = Array.prototype.map.call(t.tHead.rows[0].cells, function (c) { return c.getAttribute('data-key'); });
          Array.prototype.forEach.call(t.tBodies[0].rows, function (r) {
            var row = {};
            keys.forEach(function (k, i) { row[k] = r.cells[i].textContent; });
            row.href = r.querySelector('a') ? r.querySelector('a').getAttribute('href') : '';
            out.push(row);
          });
        });
        return out;""", CLASS_TABLES)


def check_index(browser, site, results, fails):
    d = browser.driver
    load(browser, site / "index.html", fails)
    rows = index_rows(d)
    checklogs = [r for r in results if r not in ranked(results)]
    results = ranked(results)
    fails.check(len(rows) == len(results), f"index: {len(rows)} rows for {len(results)} ranked logs")
    listed = d.execute_script(
        "return Array.prototype.map.call(document.querySelectorAll('#checklogs li a'), function (a) {"
        " return [a.textContent, a.getAttribute('href')]; })")
    fails.check(sorted(listed) == sorted([r["call"], "log/" + page_name(r["call"])] for r in checklogs),
                f"index: checklogs listed {listed}, results.csv has {[r['call'] for r in checklogs]}")
    overall = d.execute_script("""
        var t = document.querySelector('#overall table.results');
        if (!t) return null;
        return Array.prototype.map.call(t.tBodies[0].rows, function (r) {
          return [r.cells[0].textContent, r.cells[1].textContent, r.cells[2].textContent]; });""")
    if overall is not None:
        fails.check(sorted(c for _, c, _ in overall) == sorted(r["call"] for r in results),
                    "index: the overall table does not hold every ranked log once")
        places = [place_number(p) for p, _, _ in overall]
        fails.check(None not in places, f"index: a place that is no ordinal in {[p for p, _, _ in overall][:8]}")
        # A shared place is marked on each log that shares it, and only there.
        for k, (p, _, _) in enumerate(overall):
            shared = any(0 <= j < len(overall) and place_number(overall[j][0]) == place_number(p) for j in (k - 1, k + 1))
            fails.check(p.strip().startswith("=") == shared, f"index: place {p!r} of {overall[k][1]} (tie marked?)")
        scores = [number(v) for _, _, v in overall]
        fails.check(places == sorted(places) and places[:1] == [1], f"index: overall places {places[:8]}...")
        fails.check(scores == sorted(scores, reverse=True), "index: the overall table is not by score")
    columns = results[0].keys() if results else []
    for key, names in INDEX_TO_CSV.items():
        fails.check(not results or any(n in columns for n in names),
                    f"results.csv has no column for the index's {key} (one of {names})")
    by_call = {r["call"]: r for r in rows}
    for res in results:
        row = by_call.get(res["call"])
        if not fails.check(row is not None, f"index: no row for {res['call']}"):
            continue
        fails.check(row["href"] == "log/" + page_name(res["call"]), f"index: {res['call']} links to {row['href']}")
        for key, names in INDEX_TO_CSV.items():
            name = next((n for n in names if n in res), None)
            if name is None:
                continue  # said above
            if key in ("call", "class"):
                fails.check(row[key].strip() == res[name], f"index: {res['call']} {key} {row[key]!r} != {res[name]!r}")
                continue
            want = number(res[name]) if res[name] != "" else None
            got = number(row[key])
            ok = (want is None and got is None) or (
                want is not None and got is not None and abs(want - got) <= (0.051 if key in PERCENT else 0))
            fails.check(ok, f"index: {res['call']} {key} shows {row[key]!r}, results.csv has {res[name]!r}")

    # Sorting: the score column of the first table, then the call column.
    def column(table, key):
        return d.execute_script("""
            var t = document.querySelectorAll('table.results')[arguments[0]];
            var keys = Array.prototype.map.call(t.tHead.rows[0].cells, function (c) { return c.getAttribute('data-key'); });
            var i = keys.indexOf(arguments[1]);
            return Array.prototype.map.call(t.tBodies[0].rows, function (r) { return r.cells[i].textContent.trim(); });""",
            table, key)

    tables = d.find_elements(By.CSS_SELECTOR, "table.results")
    biggest = max(range(len(tables)), key=lambda i: len(tables[i].find_elements(By.CSS_SELECTOR, "tbody tr")))
    table = tables[biggest]
    score_head = table.find_element(By.CSS_SELECTOR, "th[data-key=score] button")
    score_head.click()
    scores = [number(v) for v in column(biggest, "score")]
    fails.check(scores == sorted(scores, reverse=True), "index: first click on Score does not sort biggest first")
    fails.check(table.find_element(By.CSS_SELECTOR, "th[data-key=score]").get_attribute("aria-sort") == "descending",
                "index: sorted column not marked aria-sort=descending")
    score_head.click()
    scores = [number(v) for v in column(biggest, "score")]
    fails.check(scores == sorted(scores), "index: second click on Score does not sort smallest first")
    table.find_element(By.CSS_SELECTOR, "th[data-key=call] button").click()
    calls = column(biggest, "call")
    fails.check(calls == sorted(calls, key=str.lower), "index: click on Call does not sort by call")
    table.find_element(By.CSS_SELECTOR, "th[data-key=reduction] button").click()
    red = [number(v) for v in column(biggest, "reduction")]
    fails.check(red == sorted(red, reverse=True), "index: click on Reduction % does not sort by it")

    # The filter: a part of one call finds that call and only calls holding it.
    target = results[min(2, len(results) - 1)]["call"]
    probe = target[1:5].lower()
    box = d.find_element(By.ID, "filter")
    fails.check(box.is_displayed(), "index: the filter is not shown with scripts on")
    box.send_keys(probe)
    shown = d.execute_script("""
        return Array.prototype.filter.call(document.querySelectorAll(arguments[0] + ' tbody tr'),
          function (r) { return r.offsetParent !== null; }).map(function (r) { return r.querySelector('td.call').textContent; });""", CLASS_TABLES)
    expected = sorted(r["call"] for r in results if probe.upper() in r["call"].upper())
    fails.check(sorted(shown) == expected, f"index: filter {probe!r} shows {sorted(shown)[:5]}, expected {expected[:5]}")
    fails.check(target in shown, f"index: filter {probe!r} does not find {target}")
    box.clear()
    box.send_keys("\u0008")  # an input event on the emptied box
    d.execute_script("document.getElementById('filter').dispatchEvent(new Event('input'))")
    visible = d.execute_script(
        "return Array.prototype.filter.call(document.querySelectorAll(arguments[0] + ' tbody tr'),"
        " function (r) { return r.offsetParent !== null; }).length", CLASS_TABLES)
    fails.check(visible == len(results), f"index: {visible} rows shown after clearing the filter")


def check_log_page(browser, page, call, contacts, result, fails):
    d = browser.driver
    load(browser, page, fails)
    name = page.name
    info = d.execute_script("""
        function plot(id) { return document.getElementById(id); }
        var out = {};
        ['hourly', 'activity', 'score', 'verdicts'].forEach(function (id) {
          var s = plot(id);
          out[id] = s ? {title: (s.querySelector('title') || {}).textContent || '',
                         desc: (s.querySelector('desc') || {}).textContent || '',
                         w: s.getBoundingClientRect().width, data: Object.assign({}, s.dataset)} : null;
        });
        out.bars = Array.prototype.map.call(document.querySelectorAll('#hourly g.bar'), function (g) {
          return {hour: g.dataset.hour, count: +g.dataset.count,
                  bands: Array.prototype.map.call(g.querySelectorAll('rect'), function (r) { return [r.dataset.band, +r.dataset.count]; })};
        });
        out.cells = [];
        document.querySelectorAll('#activity g.row').forEach(function (g) {
          g.dataset.cells.split(' ').forEach(function (c) {
            var p = c.split(':');
            out.cells.push([g.dataset.band, +p[0], +p[1]]);
          });
        });
        out.segs = Array.prototype.map.call(document.querySelectorAll('#verdicts g.seg'), function (g) {
          return [g.dataset.verdict, +g.dataset.count];
        });
        var score = document.querySelector('table.facts td[data-key=score]');
        out.factScore = score ? score.textContent : null;
        out.h1 = document.querySelector('h1').textContent;
        return out;""")
    for plot in ("hourly", "activity", "score", "verdicts"):
        p = info[plot]
        if not fails.check(p is not None, f"{name}: no {plot} plot"):
            continue
        fails.check(p["title"].strip() and p["desc"].strip(), f"{name}: {plot} plot lacks <title> or <desc>")
        fails.check(p["w"] > 100, f"{name}: {plot} plot is not drawn ({p['w']} px wide)")
    fails.check(call in info["h1"], f"{name}: heading {info['h1']!r} lacks {call}")

    # The bars are as long as the plot says (10 minutes for a short contest, up to an hour).
    minutes = int(info["hourly"]["data"].get("minutes", 60)) if info["hourly"] else 60

    def slot(utc):
        import datetime
        t = datetime.datetime.strptime(utc[:16], "%Y-%m-%d %H:%M")
        t -= datetime.timedelta(minutes=(t.hour * 60 + t.minute) % minutes)
        return t.strftime("%Y-%m-%d %H:%M")

    hours = collections.Counter(slot(r["utc"]) for r in contacts)
    by_hour_band = collections.Counter((slot(r["utc"]), band_name(r["band"])) for r in contacts)
    bars = info["bars"]
    fails.check(len(bars) == len(hours), f"{name}: {len(bars)} bars for {len(hours)} active spans")
    fails.check(info["hourly"] and int(info["hourly"]["data"].get("bars", -1)) == len(hours),
                f"{name}: hourly plot says {info['hourly'] and info['hourly']['data'].get('bars')} bars")
    for bar in bars:
        hour = bar["hour"][:16]
        fails.check(bar["count"] == hours.get(hour), f"{name}: bar {hour} shows {bar['count']}, log has {hours.get(hour)}")
        for band, n in bar["bands"]:
            fails.check(n == by_hour_band.get((hour, band)), f"{name}: bar {hour} {band} shows {n}")
        fails.check(sum(n for _, n in bar["bands"]) == bar["count"], f"{name}: bar {hour} parts do not add up")

    def quarter(utc):
        day, hm = utc.split(" ")
        y, mo, dd = (int(x) for x in day.split("-"))
        h, mi = (int(x) for x in hm.split(":"))
        import datetime
        t = datetime.datetime(y, mo, dd, h, mi, tzinfo=datetime.timezone.utc)
        return int(t.timestamp()) // 60 // 15 * 15

    cells = collections.Counter((band_name(r["band"]), quarter(r["utc"])) for r in contacts)
    shown = {(b, t): n for b, t, n in info["cells"]}
    fails.check(shown == dict(cells), f"{name}: activity map cells differ from the log "
                                      f"({len(shown)} shown, {len(cells)} active)")

    verdicts = collections.Counter(r["verdict"] for r in contacts)
    fails.check(dict(info["segs"]) == dict(verdicts), f"{name}: verdict bar {info['segs']} != {dict(verdicts)}")
    if result is not None:
        final = number(result.get("score", result.get("final_score", "")))
        fails.check(info["score"] and number(info["score"]["data"]["final"]) == final,
                    f"{name}: running score ends at {info['score'] and info['score']['data']['final']}, score is {final}")
        fails.check(info["factScore"] is not None and number(info["factScore"]) == final,
                    f"{name}: summary shows score {info['factScore']}, results.csv {final}")


def check_phone(browser, site, fails):
    """On a phone the call and the score of every row are in view without scrolling sideways."""
    browser.emulate(375, 812, True)
    try:
        browser.driver.get((site / "index.html").resolve().as_uri())
        hidden = browser.driver.execute_script("""
            var out = [], width = window.innerWidth;
            document.querySelectorAll('table.results').forEach(function (t) {
              var keys = Array.prototype.map.call(t.tHead.rows[0].cells, function (c) { return c.getAttribute('data-key'); });
              var call = keys.indexOf('call'), score = keys.indexOf('score');
              Array.prototype.slice.call(t.tBodies[0].rows, 0, 5).forEach(function (r) {
                [call, score].forEach(function (i) {
                  var b = r.cells[i].getBoundingClientRect();
                  if (b.width === 0 || b.left < 0 || b.right > width) out.push(r.cells[call].textContent + ' ' + keys[i]);
                });
              });
            });
            return out;""")
        fails.check(not hidden, f"index on a phone: not in view: {hidden[:5]}")
    finally:
        browser.emulate(1280, 900, False)


def check_new_pages(browser, site, results, fails):
    """Each ranked log's page gives its place; the summary has the committee's lists."""
    d = browser.driver
    for res in ranked(results)[:3]:
        load(browser, site / "log" / page_name(res["call"]), fails)
        place = d.execute_script("var p = document.querySelector('td[data-key=place]'); return p && p.textContent")
        fails.check(place and " overall" in place, f"{res['call']}: page gives no place ({place!r})")
    if (site / "summary.html").exists():
        load(browser, site / "summary.html", fails)
        for part in ("by-error-rate", "many-nil", "uniques"):
            fails.check(d.find_elements(By.ID, part) != [], f"summary.html: no #{part}")


def check_scripts_off(site, results, fails):
    with Browser(scripts=False) as b:
        b.driver.get((site / "index.html").resolve().as_uri())
        rows = b.driver.execute_script(
            "return Array.prototype.filter.call(document.querySelectorAll(arguments[0] + ' tbody tr'),"
            " function (r) { return r.offsetParent !== null; }).length", CLASS_TABLES)
        fails.check(rows == len(ranked(results)), f"scripts off: {rows} rows readable of {len(ranked(results))}")
        hidden = b.driver.execute_script("var f = document.querySelector('form.filter'); return !f || f.hidden")
        fails.check(hidden, "scripts off: the filter shows although it cannot work")


def screenshots(browser, site, log_page, artifacts, fails):
    artifacts.mkdir(parents=True, exist_ok=True)
    pages = [("index", site / "index.html"), ("log", log_page)]
    if (site / "summary.html").exists():
        pages.append(("summary", site / "summary.html"))
    for label, width, height, mobile in (("desktop", 1280, 900, False), ("phone", 375, 812, True)):
        browser.emulate(width, height, mobile)
        for name, page in pages:
            browser.driver.get(page.resolve().as_uri())
            over = browser.driver.execute_script("return document.documentElement.scrollWidth")
            fails.check(over <= width, f"{page.name} at {width} px: the page is {over} px wide")
            browser.full_screenshot(str(artifacts / f"site-{name}-{label}.png"), width=width, height=height,
                                    mobile=mobile)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--site", type=pathlib.Path)
    ap.add_argument("--demo", help="yolsitedemo, to write a fresh synthetic site first")
    ap.add_argument("--work", type=pathlib.Path, help="where --demo writes the site")
    ap.add_argument("--artifacts", type=pathlib.Path, required=True)
    ap.add_argument("--own", type=pathlib.Path, help="a folder yolscore --html wrote, checked too")
    args = ap.parse_args()
    site = args.site
    if args.demo:
        site = args.work
        subprocess.run([args.demo, "--out", str(site), "--logs", "12", "--seed", "7"], check=True,
                       stdout=subprocess.DEVNULL)
    if site is None:
        ap.error("--site or --demo is needed")
    fails = Failures()
    started = time.monotonic()
    try:
        results = read_results(site)
        verdicts = read_verdicts(site)
        by_call = {r["call"]: r for r in results}
        with Browser() as b:
            check_index(b, site, results, fails)
            check_phone(b, site, fails)
            check_new_pages(b, site, results, fails)
            if (site / "summary.html").exists():
                load(b, site / "summary.html", fails)
            pages = 0
            for call, contacts in verdicts.items():
                page = site / "log" / page_name(call)
                if fails.check(page.exists(), f"no page for {call}"):
                    check_log_page(b, page, call, contacts, by_call.get(call), fails)
                    pages += 1
            own = args.own / "index.html" if args.own else None
            if own and fails.check(own.exists(), f"{own}: not written"):
                load(b, own, fails)
                fails.check(b.driver.find_elements(By.CSS_SELECTOR, "#hourly g.bar") != [], "own.html: no hourly plot")
                fails.check(b.driver.find_elements(By.ID, "verdicts") == [], "own.html: shows cross-check verdicts")
            first = site / "log" / page_name(results[0]["call"])
            screenshots(b, site, first, args.artifacts, fails)
        check_scripts_off(site, results, fails)
    except Exception:
        traceback.print_exc()
        print("FAILED: the check could not run (browser did not start or a page broke it)")
        return 1
    for f in fails.items:
        print("FAIL:", f)
    print(f"{len(results)} logs, {pages} log pages checked in {time.monotonic() - started:.1f} s; "
          f"{len(fails.items)} failures; screenshots in {args.artifacts}")
    return 1 if fails.items else 0


if __name__ == "__main__":
    sys.exit(main())
