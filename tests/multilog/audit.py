#!/usr/bin/env python3
"""Checks each finding of the committee's 2017 reports against both logs' lines, without yolcheck:
does the other log bear the finding out, or does it show something else?

    audit.py --logs DIR --reports DIR [--revised DIR] [--list]

Prints the count of each (finding, evidence) pair; --list adds every finding that the logs do not
bear out, with the lines that show it. docs/multilog-agreement.md quotes the figures.
"""

from __future__ import annotations

import argparse
import collections
import datetime
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import official_reports as official  # noqa: E402

WINDOW = 3  # minutes, as in rules/plovdiv.toml
DUPE_AFTER = 30


class Contact:
    def __init__(self, log: str, c: official.LogContact):
        f = c.fields
        half = (len(f) - 1) // 2
        self.log, self.number, self.line, self.text = log, c.number, c.line, c.text.strip()
        self.readable = len(f) % 2 == 1  # as many sent as received tokens
        self.sent, self.call, self.received = f[:half], f[half].upper(), f[half + 1:]
        self.day = c.date
        self.minute = int(c.hhmm[:2]) * 60 + int(c.hhmm[2:])

    def at(self, other: "Contact") -> int:
        """Minutes from the other contact to this one, the date ignored."""
        return self.minute - other.minute


def numbers(tokens: list[str]) -> list[str]:
    return [t.lstrip("0") or "0" if t.isdigit() else t.upper() for t in tokens]


def load(logs_dir: str) -> dict[str, list[Contact]]:
    return {call: [Contact(call, c) for c in official.read_log(path)[1]]
            for call, path in official.list_logs(logs_dir).items()}


def near(logs, holder: str, call: str, of: Contact, window: int = WINDOW, same_day: bool = True):
    """Contacts in holder's log with call within the window of `of`, closest first."""
    found = [c for c in logs.get(holder, []) if c.call == call and abs(c.at(of)) <= window
             and (c.day == of.day or not same_day)]
    return sorted(found, key=lambda c: abs(c.at(of)))


def exchange_fits(a: Contact, b: Contact) -> bool:
    """a's received is b's sent and b's received is a's sent, as numbers."""
    return numbers(a.received) == numbers(b.sent) and numbers(b.received) == numbers(a.sent)


def evidence(logs, v: official.Verdict, entry: official.ReportLine | None, a: Contact) -> str:
    kinds = v.all_verdicts.split("+")
    if "OUT_OF_PERIOD" in kinds:
        return "logged at 11:00 or later" if a.minute >= 660 else "inside the period"
    if "DUPLICATE" in kinds:
        finding = next(f for f in entry.findings if f.kind == "DUPLICATE")
        return ("repeat within 4 minutes" if finding.offset_minutes < 5
                else f"repeat within {DUPE_AFTER} minutes (revised report)")
    if "NO_LOG" in kinds:
        if not a.readable:
            return "line with one sent serial misread: the call was read from the serial"
        return "no log from that call"
    if "NOT_IN_LOG" in kinds:
        if not a.readable:
            return "own line with one sent serial"
        if a.call not in logs:
            return "no log from that call"
        there = near(logs, a.call, a.log, a)
        if there:
            return "the other log has it within the window"
        other_day = [c for c in near(logs, a.call, a.log, a, same_day=False) if c.day != a.day]
        if other_day:
            return "the other log has it at the same time on another date"
        later = [c for c in logs[a.call] if c.call == a.log and exchange_fits(a, c)]
        if later:
            return "the other log has it, exchanges fitting, outside the window"
        unreadable = [c for c in logs[a.call] if not c.readable and abs(c.at(a)) <= WINDOW
                      and c.received and numbers(c.received[:1]) == numbers(a.sent[:1])]
        if unreadable:
            return "the other log has it on a line with one sent serial"
        return "not in the other log"
    partner = logs[v.partner][v.partner_qso - 1] if v.partner in logs and v.partner_qso else None
    if partner is None:
        return "no partner line named"
    if "PARTNER_BAD_CALL" in kinds:
        worked = partner.call  # the call the partner logged instead of this log's
        there = near(logs, worked, partner.log, partner)
        if any(exchange_fits(partner, c) for c in there):
            return "the partner's line is its contact with the station it names, whose log has it"
        if there:
            return "the station the partner names logged the partner then (exchange differs)"
        if worked in logs:
            return "the station the partner names has a log without the partner then"
        return "the station the partner names sent no log"
    if "BAD_CALL" in kinds:
        return ("the true station's log has this contact" if partner.call == a.log
                else "the true station's line names another call")
    if partner.call != a.log:
        return "the partner line names another call"
    if "RECEIVE_ERROR" in kinds:
        return ("received exchange differs from the partner's sent"
                if numbers(a.received) != numbers(partner.sent) else "received exchange agrees")
    if "PARTNER_ERROR" in kinds:
        return ("the partner's received exchange differs from the sent"
                if numbers(partner.received) != numbers(a.sent) else "exchanges agree")
    return "confirmed"


def audit(logs_dir: str, reports_dir: str, revised_dir: str | None):
    logs = load(logs_dir)
    reports = {call: official.parse_report(path)
               for call, path in official.list_reports(reports_dir, revised_dir).items()}
    counts: collections.Counter = collections.Counter()
    listed = []
    for v in official.verdicts(logs_dir, reports_dir, revised_dir):
        if v.verdict == official.CONFIRMED:
            continue
        entry = next(e for e in reports[v.log].lines if e.qso == v.qso)
        a = logs[v.log][v.qso - 1]
        why = evidence(logs, v, entry, a)
        counts[(v.verdict, why)] += 1
        listed.append((v, why, a))
    return counts, listed, logs


def _day(text: str) -> int:
    """Days since 0001-01-01 of "YYYY-MM-DD" (0 where it is no date)."""
    try:
        return datetime.date.fromisoformat(text).toordinal()
    except ValueError:
        return 0


def repeats(logs, verdicts: list[official.Verdict], only_confirmed: bool) -> list[Contact]:
    """Contacts the committee confirmed that come less than DUPE_AFTER minutes after the last
    contact with the same call in the same log that counts: any earlier contact not itself such
    a repeat, or (only_confirmed) only one the committee confirmed."""
    verdict = {(v.log, v.qso): v.verdict for v in verdicts}
    found = []
    for call, contacts in logs.items():
        last: dict[str, int] = {}
        for c in contacts:
            if not c.readable:
                continue
            minute = c.minute + 1440 * _day(c.day)
            v = verdict.get((call, c.number))
            prev = last.get(c.call)
            if prev is not None and abs(minute - prev) < DUPE_AFTER:
                if v == official.CONFIRMED:
                    found.append(c)
                continue
            if not only_confirmed or v == official.CONFIRMED:
                last[c.call] = minute
    return found


BORNE_OUT = {
    "logged at 11:00 or later", "repeat within 4 minutes", f"repeat within {DUPE_AFTER} minutes (revised report)",
    "no log from that call", "not in the other log",
    "the station the partner names sent no log",
    "the station the partner names has a log without the partner then",
    "the true station's log has this contact", "received exchange differs from the partner's sent",
    "the partner's received exchange differs from the sent",
}


def main(argv: list[str] | None = None) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--logs", required=True)
    p.add_argument("--reports", required=True)
    p.add_argument("--revised")
    p.add_argument("--list", action="store_true", help="list the findings the logs do not bear out")
    a = p.parse_args(argv)
    try:
        counts, listed, logs = audit(a.logs, a.reports, a.revised)
    except (official.ReportError, OSError) as e:
        print(f"audit: {e}", file=sys.stderr)
        return 1
    verdicts = official.verdicts(a.logs, a.reports, a.revised)
    for only_confirmed in (False, True):
        found = repeats(logs, verdicts, only_confirmed)
        print(f"{len(found):5d}  CONFIRMED          repeat within {DUPE_AFTER} minutes of the last "
              f"{'confirmed' if only_confirmed else 'counted'} contact with the station")
    for (verdict, why), n in sorted(counts.items()):
        mark = "" if why in BORNE_OUT else "  <- not borne out"
        print(f"{n:5d}  {verdict:18s} {why}{mark}")
    if a.list:
        for v, why, c in listed:
            if why in BORNE_OUT:
                continue
            print(f"\n{v.log} QSO {v.qso}: {v.detail or v.verdict} -- {why}\n    own:     {c.text}")
            if v.partner in logs and v.partner_qso:
                print(f"    partner: {logs[v.partner][v.partner_qso - 1].text}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
