#!/usr/bin/env python3
"""The committee's per-log error reports of the 2017 contest in ../shared/testdata/multilog,
turned into one verdict per contact, each tied to its line in the submitted log.

A report (UTF-8 with BOM, CRLF) holds the station, a score summary, and one line per faulted
contact; every other contact of the log counts as confirmed:

    CALLSIGN : LZ0AA
    Score summary (score/extra/total): 492/-/492
    QSO summary (total/confirmed): 258/246 [95,3%]
    QSO  18 : 3532<TAB>CW<TAB>0728<TAB>LZ0FY<TAB>: [LZ0FY QSO:31], Partner error (017 006/018 006)

The QSO number is the contact's place among the QSO: lines of the log. A revised report, where one
exists, replaces the first. Run as a script it writes the verdicts as CSV (see main()).
"""

from __future__ import annotations

import argparse
import csv
import dataclasses
import os
import re
import sys
from typing import Iterable

# The committee's verdicts, as they appear in a report, and the short codes used here.
KINDS = {
    "Partner error": "PARTNER_ERROR",  # the other side miscopied what this side sent
    "Receive error": "RECEIVE_ERROR",  # this side miscopied what the other side sent
    "Partner bad callsign": "PARTNER_BAD_CALL",  # the other side logged a wrong call for this side
    "BadCallsign": "BAD_CALL",  # this side logged a wrong call; the true one is given
    "Duplicate": "DUPLICATE",
    "NotInLog": "NOT_IN_LOG",  # the other station sent a log without this contact
    "NoLog": "NO_LOG",  # the other station sent no log
    "Time not in tournament range": "OUT_OF_PERIOD",
}
CONFIRMED = "CONFIRMED"

# Order for choosing the one verdict of a contact the committee faulted for several reasons:
# this side's own errors first, then the other side's.
PRIMARY_ORDER = ["OUT_OF_PERIOD", "DUPLICATE", "NO_LOG", "NOT_IN_LOG", "BAD_CALL",
                 "RECEIVE_ERROR", "PARTNER_BAD_CALL", "PARTNER_ERROR"]


class ReportError(Exception):
    """A report or log line this parser does not understand; the message names file and line."""


@dataclasses.dataclass
class Finding:
    kind: str  # one of KINDS' values
    text: str  # the finding as the report words it
    logged: str = ""  # first value in "(a/b)": what the log holding the error has
    truth: str = ""  # second value: what it should have been
    distance: int | None = None  # "[n]" of a call finding
    offset_minutes: int | None = None  # Duplicate: minutes after the first contact
    first_qso: int | None = None  # Duplicate: the QSO number of the first contact


@dataclasses.dataclass
class ReportLine:
    qso: int
    frequency: str
    mode: str
    hhmm: str
    call: str
    partner: str = ""  # "[LZ0FY QSO:31]": the other station and its QSO number
    partner_qso: int | None = None
    findings: list[Finding] = dataclasses.field(default_factory=list)
    place: int = 0  # line in the report file


@dataclasses.dataclass
class Report:
    path: str
    call: str
    score: int | None = None
    total: int | None = None
    confirmed: int | None = None
    lines: list[ReportLine] = dataclasses.field(default_factory=list)


@dataclasses.dataclass
class LogContact:
    number: int  # place among the QSO: lines, from 1
    line: int  # line in the file, from 1
    frequency: str
    mode: str
    date: str
    hhmm: str
    own_call: str
    fields: list[str]  # everything after the own call
    text: str  # the line as in the file


@dataclasses.dataclass
class Verdict:
    log: str
    file: str
    line: int
    qso: int
    utc: str  # "YYYY-MM-DD HH:MM"
    band: str
    call: str
    verdict: str  # primary code (CONFIRMED or one of KINDS' values)
    all_verdicts: str  # every finding's code, "+"-joined, in the report's order
    partner: str
    partner_qso: int | None
    detail: str


_LINE = re.compile(r"^QSO\s+(\d+)\s*:\s*(\S+)\t(\S+)\t(\d{3,4})\t([^\t]*)\t:\s*(.*)$")
_PARTNER = re.compile(r"^\[(\S+) QSO:(\d+)\],?\s*")
_FINDING = re.compile(
    r"(Partner error|Receive error|Partner bad callsign|BadCallsign)\s*\(([^/()]*)/([^()]*?)"
    r"(?:\s*\[(\d+)\])?\)"
    r"|(NotInLog|NoLog)\s*\[([^\]]*)\]"
    r"|Duplicate \[QSO (\d+)\] (\d+) minute\(s\) offset"
    r"|(Time not in tournament range)")
_SUMMARY_SCORE = re.compile(r"^Score summary \(score/extra/total\):\s*(\d+)/")
_SUMMARY_QSO = re.compile(r"^QSO summary \(total/confirmed\):\s*(\d+)/(\d+)")


def _read_text(path: str) -> str:
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("cp1251")


def _findings(text: str, where: str) -> list[Finding]:
    found: list[Finding] = []
    pos = 0
    while pos < len(text):
        while pos < len(text) and text[pos] in " ,":
            pos += 1
        if pos >= len(text):
            break
        m = _FINDING.match(text, pos)
        if not m:
            raise ReportError(f"{where}: verdict not understood: {text[pos:]!r}")
        if m.group(1):
            found.append(Finding(KINDS[m.group(1)], m.group(0), m.group(2).strip(),
                                 m.group(3).strip(),
                                 int(m.group(4)) if m.group(4) else None))
        elif m.group(5):
            found.append(Finding(KINDS[m.group(5)], m.group(0), m.group(6).strip()))
        elif m.group(7):
            found.append(Finding("DUPLICATE", m.group(0), first_qso=int(m.group(7)),
                                 offset_minutes=int(m.group(8))))
        else:
            found.append(Finding("OUT_OF_PERIOD", m.group(0)))
        pos = m.end()
    if not found:
        raise ReportError(f"{where}: no verdict on the line")
    return found


def parse_report(path: str) -> Report:
    """Reads one report. Raises ReportError naming the file and line for anything unknown."""
    report = Report(path=path, call="")
    for number, raw in enumerate(_read_text(path).splitlines(), start=1):
        line = raw.rstrip()
        where = f"{path}:{number}"
        if line.startswith("CALLSIGN"):
            report.call = line.split(":", 1)[1].strip().upper()
        elif m := _SUMMARY_SCORE.match(line):
            report.score = int(m.group(1))
        elif m := _SUMMARY_QSO.match(line):
            report.total, report.confirmed = int(m.group(1)), int(m.group(2))
        elif line.startswith("QSO "):
            m = _LINE.match(line)
            if not m:
                raise ReportError(f"{where}: QSO line not understood: {line!r}")
            entry = ReportLine(int(m.group(1)), m.group(2), m.group(3), m.group(4).zfill(4),
                               m.group(5).strip().upper(), place=number)
            rest = m.group(6)
            if p := _PARTNER.match(rest):
                entry.partner, entry.partner_qso = p.group(1).upper(), int(p.group(2))
                rest = rest[p.end():]
            entry.findings = _findings(rest, where)
            report.lines.append(entry)
    if not report.call:
        raise ReportError(f"{path}:1: no CALLSIGN line")
    if report.total is None or report.confirmed is None:
        raise ReportError(f"{path}:1: no QSO summary line")
    if report.total - report.confirmed != len(report.lines):
        raise ReportError(f"{path}: {report.total} contacts, {report.confirmed} confirmed, "
                          f"but {len(report.lines)} listed")
    return report


def read_log(path: str) -> tuple[str, list[LogContact]]:
    """The header call and the QSO: lines of a submitted Cabrillo log, in file order."""
    call = ""
    contacts: list[LogContact] = []
    for number, raw in enumerate(_read_text(path).splitlines(), start=1):
        line = raw.strip()
        upper = line.upper()
        if upper.startswith("CALLSIGN:") and not call:
            words = line[9:].split()
            call = words[0].upper() if words else ""
        elif upper.startswith("QSO:"):
            f = line[4:].split()
            if len(f) < 6:
                raise ReportError(f"{path}:{number}: QSO: line with {len(f)} fields")
            contacts.append(LogContact(len(contacts) + 1, number, f[0], f[1], f[2], f[3].zfill(4),
                                       f[4].upper(), f[5:], raw.rstrip("\r\n")))
    if not call and contacts:
        call = contacts[0].own_call
    if not call:
        raise ReportError(f"{path}:1: no CALLSIGN: line and no QSO: lines")
    return call, contacts


def band_of(frequency: str) -> str:
    """The band of a Cabrillo frequency in kHz (this contest was held on 80 m only)."""
    try:
        khz = float(frequency)
    except ValueError:
        return frequency
    for low, high, band in [(1800, 2000, "160m"), (3500, 4000, "80m"), (7000, 7300, "40m"),
                            (14000, 14350, "20m"), (21000, 21450, "15m"), (28000, 29700, "10m")]:
        if low <= khz <= high:
            return band
    return frequency


def primary(kinds: Iterable[str]) -> str:
    kinds = list(kinds)
    for code in PRIMARY_ORDER:
        if code in kinds:
            return code
    return CONFIRMED


def list_reports(reports_dir: str, revised_dir: str | None) -> dict[str, str]:
    """Report path per station call (from the file name), revised ones replacing the first."""
    paths: dict[str, str] = {}
    for folder in [reports_dir] + ([revised_dir] if revised_dir else []):
        if not folder or not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            if name.upper().endswith(".UBN"):
                paths[os.path.splitext(name)[0].upper()] = os.path.join(folder, name)
    return paths


def list_logs(logs_dir: str) -> dict[str, str]:
    """Log path per header call."""
    logs: dict[str, str] = {}
    for name in sorted(os.listdir(logs_dir)):
        path = os.path.join(logs_dir, name)
        if os.path.isfile(path):
            call, _ = read_log(path)
            if call in logs:
                raise ReportError(f"{path}:1: a second log for {call} (first {logs[call]})")
            logs[call] = path
    return logs


def verdicts(logs_dir: str, reports_dir: str, revised_dir: str | None = None) -> list[Verdict]:
    """One verdict per contact of every log that has a report, in log and file order.

    Each listed report line is checked against the log line it names (frequency, mode, time
    and call must agree); a mismatch raises ReportError."""
    reports = list_reports(reports_dir, revised_dir)
    logs = list_logs(logs_dir)
    out: list[Verdict] = []
    for call in sorted(reports):
        report = parse_report(reports[call])
        if report.call != call:
            raise ReportError(f"{report.path}:1: CALLSIGN {report.call} in a report named {call}")
        if call not in logs:
            raise ReportError(f"{report.path}:1: no submitted log for {call}")
        log_path = logs[call]
        _, contacts = read_log(log_path)
        if report.total != len(contacts):
            raise ReportError(f"{report.path}: {report.total} contacts in the summary, "
                              f"{len(contacts)} QSO: lines in {log_path}")
        listed: dict[int, ReportLine] = {}
        for entry in report.lines:
            where = f"{report.path}:{entry.place}"
            if not 1 <= entry.qso <= len(contacts):
                raise ReportError(f"{where}: QSO {entry.qso} is not in {log_path}")
            c = contacts[entry.qso - 1]
            logged_call = c.fields[len(c.fields) // 2].upper() if c.fields else ""
            if (c.frequency, c.mode, c.hhmm) != (entry.frequency, entry.mode, entry.hhmm):
                raise ReportError(f"{where}: QSO {entry.qso} differs from {log_path}:{c.line}")
            if entry.call not in [f.upper() for f in c.fields]:
                raise ReportError(f"{where}: call {entry.call} is not on {log_path}:{c.line}"
                                  f" (read {logged_call})")
            if entry.qso in listed:
                raise ReportError(f"{where}: QSO {entry.qso} listed twice")
            listed[entry.qso] = entry
        for c in contacts:
            entry = listed.get(c.number)
            utc = f"{c.date} {c.hhmm[:2]}:{c.hhmm[2:]}"
            # the worked call as the report names it, else the middle field after the own call
            worked = entry.call if entry else c.fields[(len(c.fields) - 1) // 2].upper()
            if entry is None:
                out.append(Verdict(call, log_path, c.line, c.number, utc, band_of(c.frequency),
                                   worked, CONFIRMED, CONFIRMED, "", None, ""))
                continue
            kinds = [f.kind for f in entry.findings]
            out.append(Verdict(call, log_path, c.line, c.number, utc, band_of(c.frequency),
                               worked, primary(kinds), "+".join(kinds), entry.partner,
                               entry.partner_qso, "; ".join(f.text for f in entry.findings)))
    return out


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--logs", required=True, help="folder of the submitted logs")
    parser.add_argument("--reports", required=True, help="folder of the official reports")
    parser.add_argument("--revised", help="folder of the revised reports")
    parser.add_argument("--out", default="-", help="CSV to write (default standard output)")
    args = parser.parse_args(argv)
    try:
        rows = verdicts(args.logs, args.reports, args.revised)
    except (ReportError, OSError) as e:
        print(f"official_reports: {e}", file=sys.stderr)
        return 1
    out = sys.stdout if args.out == "-" else open(args.out, "w", newline="", encoding="utf-8")
    try:
        w = csv.writer(out, lineterminator="\n")
        w.writerow(["log", "file", "line", "qso", "utc", "band", "call", "verdict", "all_verdicts",
                    "partner", "partner_qso", "detail"])
        for v in rows:
            w.writerow([v.log, os.path.basename(v.file), v.line, v.qso, v.utc, v.band, v.call,
                        v.verdict, v.all_verdicts, v.partner,
                        "" if v.partner_qso is None else v.partner_qso, v.detail])
    finally:
        if out is not sys.stdout:
            out.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
