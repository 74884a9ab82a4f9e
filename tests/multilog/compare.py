#!/usr/bin/env python3
"""Compares yolcheck's per-contact verdicts (verdicts.csv) with the committee's official ones.

    compare.py --logs DIR --reports DIR [--revised DIR] --verdicts OUT/verdicts.csv
               [--markdown FILE] [--disagreements FILE] [--expect FILE]

Each contact of a log that has an official report is looked up in verdicts.csv by its log's call
and line. yolcheck's codes are put in the committee's terms (EXCHANGE is a Receive error, BUSTED
a BadCallsign, NIL NotInLog, UNIQUE or NOLOG NoLog, DUPE Duplicate, PERIOD Time not in
tournament range; PARTNER is a Partner bad callsign where the other log's contact logged another
call than this log's, else a Partner error). A contact agrees on the reason when that term is among the committee's findings
for it, and on the outcome when both keep it or both take it off.

--expect names a JSON file of pinned figures ({"official": {verdict: count}, "compared": n,
"agree_reason": {verdict: count}, "min_agree_outcome": share, ...}); the exit status is 1 when
the comparison falls short of them.
"""

from __future__ import annotations

import argparse
import collections
import csv
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import official_reports as official  # noqa: E402

# yolcheck's verdict codes in the committee's terms; PARTNER is resolved by the other row.
CODE_TO_OFFICIAL = {
    "OK": official.CONFIRMED,
    "EXCHANGE": "RECEIVE_ERROR",
    "BUSTED": "BAD_CALL",
    "NIL": "NOT_IN_LOG",
    "UNIQUE": "NO_LOG",
    "NOLOG": "NO_LOG",
    "DUPE": "DUPLICATE",
    "PERIOD": "OUT_OF_PERIOD",
    "INVALID": "INVALID",
}
KEPT = {official.CONFIRMED}
NOT_COMPARED = "CHECKLOG"  # yolcheck does not score a checklog; the committee did

ORDER = [official.CONFIRMED, "RECEIVE_ERROR", "PARTNER_ERROR", "BAD_CALL", "PARTNER_BAD_CALL",
         "NOT_IN_LOG", "NO_LOG", "DUPLICATE", "OUT_OF_PERIOD"]

NAMES = {
    official.CONFIRMED: "confirmed",
    "RECEIVE_ERROR": "Receive error",
    "PARTNER_ERROR": "Partner error",
    "BAD_CALL": "BadCallsign",
    "PARTNER_BAD_CALL": "Partner bad callsign",
    "NOT_IN_LOG": "NotInLog",
    "NO_LOG": "NoLog",
    "DUPLICATE": "Duplicate",
    "OUT_OF_PERIOD": "Time not in tournament range",
    "INVALID": "band or mode not allowed",
    "MISSING": "no row in verdicts.csv",
}


class CompareError(Exception):
    pass


def read_verdicts(path: str) -> list[dict[str, str]]:
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    need = {"log", "file", "line", "verdict", "blamed", "other_call", "other_line"}
    if rows and not need <= set(rows[0]):
        raise CompareError(f"{path}:1: columns {sorted(need - set(rows[0]))} missing")
    return rows


def _place(file_line: str) -> tuple[str, int] | None:
    """"dir/LZ0AA.log:57" -> ("LZ0AA.LOG", 57)."""
    file, _, line = file_line.rpartition(":")
    if not file or not line.isdigit():
        return None
    return os.path.basename(file).upper(), int(line)


def ours(rows: list[dict[str, str]]) -> dict[tuple[str, int], str]:
    """yolcheck's verdict per (log call, line) in the committee's terms."""
    by_place = {(os.path.basename(r["file"]).upper(), int(r["line"])): r for r in rows}
    out: dict[tuple[str, int], str] = {}
    for r in rows:
        code = r["verdict"]
        if code == "PARTNER":
            other = by_place.get(_place(r["other_line"]) or ("", 0))
            # the other side logged another call than this log's (its line BUSTED, or
            # a repeat of its own that is DUPE, or a checklog's)
            busted = other is not None and other["call"].upper() != r["log"].upper()
            term = "PARTNER_BAD_CALL" if busted else "PARTNER_ERROR"
        elif code == NOT_COMPARED:
            term = NOT_COMPARED
        else:
            term = CODE_TO_OFFICIAL.get(code, code)
        out[(r["log"].upper(), int(r["line"]))] = term
    return out


def compare(official_rows: list[official.Verdict], our_terms: dict[tuple[str, int], str]):
    table: dict[str, collections.Counter] = collections.defaultdict(collections.Counter)
    confusion: dict[str, collections.Counter] = collections.defaultdict(collections.Counter)
    disagreements = []
    for v in official_rows:
        term = our_terms.get((v.log, v.line), "MISSING")
        if term == NOT_COMPARED:
            table[v.verdict]["checklog"] += 1
            continue
        row = table[v.verdict]
        row["compared"] += 1
        confusion[v.verdict][term] += 1
        same_reason = term in v.all_verdicts.split("+")
        same_outcome = (term in KEPT) == (v.verdict in KEPT) and term != "MISSING"
        row["reason"] += same_reason
        row["outcome"] += same_outcome
        if not same_reason:
            disagreements.append((v, term, same_outcome))
    return table, confusion, disagreements


def markdown(table, confusion) -> str:
    terms = [t for t in ORDER + ["INVALID", "MISSING"] if any(c[t] for c in confusion.values())]
    lines = ["| official verdict | contacts | compared | same verdict | same outcome | "
             + " | ".join(NAMES[t] for t in terms) + " |",
             "|---|---:|---:|---:|---:|" + "---:|" * len(terms)]
    total = collections.Counter()
    for verdict in ORDER:
        row = table.get(verdict)
        if not row:
            continue
        n = row["compared"] + row["checklog"]
        cells = [NAMES[verdict], str(n), str(row["compared"]),
                 f"{row['reason']} ({_pct(row['reason'], row['compared'])})",
                 f"{row['outcome']} ({_pct(row['outcome'], row['compared'])})"]
        cells += [str(confusion[verdict][t] or "") for t in terms]
        lines.append("| " + " | ".join(cells) + " |")
        total.update({"n": n, "compared": row["compared"], "reason": row["reason"],
                      "outcome": row["outcome"]})
    lines.append(f"| all | {total['n']} | {total['compared']} | {total['reason']} "
                 f"({_pct(total['reason'], total['compared'])}) | {total['outcome']} "
                 f"({_pct(total['outcome'], total['compared'])}) |" + " |" * len(terms))
    return "\n".join(lines) + "\n"


def _pct(a: int, b: int) -> str:
    return f"{100.0 * a / b:.1f} %" if b else "-"


def disagreement_text(disagreements, logs: dict[str, str]) -> str:
    """Each disagreement with the log's own line and the partner line the committee named."""
    cache: dict[str, list[official.LogContact]] = {}

    def contacts(call: str) -> list[official.LogContact]:
        if call not in cache:
            cache[call] = official.read_log(logs[call])[1] if call in logs else []
        return cache[call]

    out = []
    for v, term, same_outcome in disagreements:
        own = contacts(v.log)[v.qso - 1]
        out.append(f"{v.log} QSO {v.qso} ({os.path.basename(v.file)}:{v.line}): official "
                   f"{v.all_verdicts}, yolcheck {term}"
                   f"{'' if same_outcome else ' [outcome differs]'}")
        out.append(f"    own:     {own.text.strip()}")
        if v.detail:
            out.append(f"    report:  {v.detail}")
        if v.partner and v.partner_qso and v.partner_qso <= len(contacts(v.partner)):
            out.append(f"    partner: {contacts(v.partner)[v.partner_qso - 1].text.strip()}")
    return "\n".join(out) + ("\n" if out else "")


def check_expectations(table, expect: dict) -> list[str]:
    problems = []
    counts = {k: table[k]["compared"] + table[k]["checklog"] for k in table}
    for verdict, n in expect.get("official", {}).items():
        if counts.get(verdict, 0) != n:
            problems.append(f"official {verdict}: {counts.get(verdict, 0)} contacts, pinned {n}")
    compared = sum(r["compared"] for r in table.values())
    if "compared" in expect and compared != expect["compared"]:
        problems.append(f"{compared} contacts compared, pinned {expect['compared']}")
    for verdict, n in expect.get("agree_reason", {}).items():
        got = table[verdict]["reason"] if verdict in table else 0
        if got < n:
            problems.append(f"{verdict}: {got} contacts with the same verdict, at least {n} pinned")
    outcome = sum(r["outcome"] for r in table.values())
    if compared and outcome / compared < expect.get("min_agree_outcome", 0):
        problems.append(f"same outcome for {outcome} of {compared}, below the pinned share "
                        f"{expect['min_agree_outcome']}")
    reason = sum(r["reason"] for r in table.values())
    if compared and reason / compared < expect.get("min_agree_reason", 0):
        problems.append(f"same verdict for {reason} of {compared}, below the pinned share "
                        f"{expect['min_agree_reason']}")
    return problems


def main(argv: list[str] | None = None) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--logs", required=True)
    p.add_argument("--reports", required=True)
    p.add_argument("--revised")
    p.add_argument("--verdicts", required=True, help="yolcheck's verdicts.csv")
    p.add_argument("--markdown", help="write the agreement table here ('-': standard output)")
    p.add_argument("--disagreements", help="write every disagreement with its log lines here")
    p.add_argument("--expect", help="JSON of pinned figures to check")
    a = p.parse_args(argv)
    try:
        off = official.verdicts(a.logs, a.reports, a.revised)
        table, confusion, disagreements = compare(off, ours(read_verdicts(a.verdicts)))
        if a.markdown:
            text = markdown(table, confusion)
            if a.markdown == "-":
                sys.stdout.write(text)
            else:
                with open(a.markdown, "w", encoding="utf-8") as f:
                    f.write(text)
        if a.disagreements:
            with open(a.disagreements, "w", encoding="utf-8") as f:
                f.write(disagreement_text(disagreements, official.list_logs(a.logs)))
        if a.expect:
            with open(a.expect, encoding="utf-8") as f:
                problems = check_expectations(table, json.load(f))
            for problem in problems:
                print(f"compare: {problem}", file=sys.stderr)
            return 1 if problems else 0
    except (official.ReportError, CompareError, OSError, ValueError, KeyError) as e:
        print(f"compare: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
