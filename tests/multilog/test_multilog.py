#!/usr/bin/env python3
"""Tests of the official-report reader and the comparison with yolcheck's verdicts.

    test_multilog.py unit          hand-made reports, logs and verdict files
    test_multilog.py real DATA     the 2017 logs and reports under DATA (../shared/testdata);
                                   exits 77 (skipped) with a message when they are absent
    test_multilog.py yolcheck DATA YOLCHECK RULES EXPECT
                                   yolcheck on the 2017 logs (exit status 0) against the official
                                   verdicts, held to the figures pinned in EXPECT (JSON), and on
                                   the 2016 logs (every log read); skipped likewise
"""

from __future__ import annotations

import collections
import contextlib
import csv
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import audit  # noqa: E402
import compare  # noqa: E402
import official_reports as official  # noqa: E402

SKIP = 77

LOG_AA = """START-OF-LOG: 2.0\r
CALLSIGN: LZ0AA\r
QSO:  3532 CW 2017-08-19 0702 LZ0AA         001 000       LZ0AT         005 005      \r
QSO:  3532 CW 2017-08-19 0702 LZ0AA         002 005       LZ0DY         006 004      \r
QSO:  3532 CW 2017-08-19 0705 LZ0AA         003 006       LZ0DN         007 006      \r
QSO:  3532 CW 2017-08-19 0706 LZ0AA         004 007       LZ0DN         008 007      \r
QSO:  3544 CW 2017-08-19 1100 LZ0AA         005 008       LZ0FC         009 008      \r
END-OF-LOG:\r
"""
LOG_AT = """START-OF-LOG: 3.0\r
CALLSIGN: LZ0AT\r
QSO:  3532 CW 2017-08-19 0702 LZ0AT         005 005       LZ0AA         001 000      \r
QSO:  3532 CW 2017-08-19 0703 LZ0AT         006 001       LZ0DX         041 017      \r
END-OF-LOG:\r
"""
BOM = "\ufeff"
REPORT_AA = BOM + """CALLSIGN : LZ0AA\r
NAME : Иванов\r
\r
------------------------------------------------------------------------------------\r
Score summary (score/extra/total): 2/-/2\r
QSO summary (total/confirmed): 5/1 [20,0%]\r
------------------------------------------------------------------------------------\r
\r
UBN reports:\r
\r
QSO   2 : 3532\tCW\t0702\tLZ0DY\t: [LZ0DY QSO:6], Partner bad callsign (LZ0DP/LZ0AA [2]), Partner error (064 073/002 005)\r
QSO   3 : 3532\tCW\t0705\tLZ0DN\t: [LZ0DN QSO:4], Receive error (007 006/017 006)\r
QSO   4 : 3532\tCW\t0706\tLZ0DN\t: Duplicate [QSO 3] 1 minute(s) offset\r
QSO   5 : 3544\tCW\t1100\tLZ0FC\t: Time not in tournament range\r
"""
REPORT_AT = BOM + """CALLSIGN : LZ0AT\r
QSO summary (total/confirmed): 2/1 [50,0%]\r
QSO   2 : 3532\tCW\t0703\tLZ0DX\t: NotInLog [LZ0DX]\r
"""


def write(folder: str, name: str, text: str, encoding: str = "utf-8") -> str:
    path = os.path.join(folder, name)
    with open(path, "w", encoding=encoding, newline="") as f:
        f.write(text)
    return path


class ContestFolder:
    """logs/, reports/ and revised/ in a temporary folder."""

    def __init__(self, test: unittest.TestCase):
        self._tmp = tempfile.TemporaryDirectory()
        test.addCleanup(self._tmp.cleanup)
        self.root = self._tmp.name
        for sub in ("logs", "reports", "revised"):
            os.mkdir(os.path.join(self.root, sub))
        self.logs = os.path.join(self.root, "logs")
        self.reports = os.path.join(self.root, "reports")
        self.revised = os.path.join(self.root, "revised")
        write(self.logs, "LZ0AA.log", LOG_AA, "cp1251")
        write(self.logs, "LZ0AT.LOG", LOG_AT)
        write(self.reports, "LZ0AA.UBN", REPORT_AA)
        write(self.reports, "LZ0AT.UBN", REPORT_AT)


class ReportReading(unittest.TestCase):
    def test_every_finding_of_a_line_and_the_summary(self):
        c = ContestFolder(self)
        r = official.parse_report(os.path.join(c.reports, "LZ0AA.UBN"))
        self.assertEqual((r.call, r.score, r.total, r.confirmed), ("LZ0AA", 2, 5, 1))
        self.assertEqual([e.qso for e in r.lines], [2, 3, 4, 5])
        first = r.lines[0]
        self.assertEqual((first.frequency, first.mode, first.hhmm, first.call), ("3532", "CW", "0702", "LZ0DY"))
        self.assertEqual((first.partner, first.partner_qso), ("LZ0DY", 6))
        bad_call, exchange = first.findings
        self.assertEqual((bad_call.kind, bad_call.logged, bad_call.truth, bad_call.distance),
                         ("PARTNER_BAD_CALL", "LZ0DP", "LZ0AA", 2))
        self.assertEqual((exchange.kind, exchange.logged, exchange.truth),
                         ("PARTNER_ERROR", "064 073", "002 005"))
        dupe = r.lines[2].findings[0]
        self.assertEqual((dupe.kind, dupe.first_qso, dupe.offset_minutes), ("DUPLICATE", 3, 1))
        self.assertEqual(r.lines[3].findings[0].kind, "OUT_OF_PERIOD")
        self.assertEqual(official.parse_report(os.path.join(c.reports, "LZ0AT.UBN")).lines[0]
                         .findings[0].logged, "LZ0DX")

    def test_one_verdict_per_contact_tied_to_the_log_line(self):
        c = ContestFolder(self)
        rows = official.verdicts(c.logs, c.reports)
        self.assertEqual([(v.log, v.line, v.verdict) for v in rows], [
            ("LZ0AA", 3, "CONFIRMED"), ("LZ0AA", 4, "PARTNER_BAD_CALL"),
            ("LZ0AA", 5, "RECEIVE_ERROR"), ("LZ0AA", 6, "DUPLICATE"),
            ("LZ0AA", 7, "OUT_OF_PERIOD"), ("LZ0AT", 3, "CONFIRMED"), ("LZ0AT", 4, "NOT_IN_LOG")])
        second = rows[1]
        self.assertEqual(second.all_verdicts, "PARTNER_BAD_CALL+PARTNER_ERROR")
        self.assertEqual((second.utc, second.band, second.call), ("2017-08-19 07:02", "80m", "LZ0DY"))

    def test_a_revised_report_replaces_the_first(self):
        c = ContestFolder(self)
        write(c.revised, "LZ0AT.UBN", REPORT_AT.replace("2/1 [50,0%]", "2/0 [0,0%]") +
              "QSO   1 : 3532\tCW\t0702\tLZ0AA\t: [LZ0AA QSO:1], Receive error (005 006/005 005)\r\n")
        rows = [v for v in official.verdicts(c.logs, c.reports, c.revised) if v.log == "LZ0AT"]
        self.assertEqual([v.verdict for v in rows], ["RECEIVE_ERROR", "NOT_IN_LOG"])

    def test_bad_reports_are_refused_naming_file_and_line(self):
        cases = {
            "unknown verdict": ("QSO   2 : 3532\tCW\t0703\tLZ0DX\t: NotInLog [LZ0DX]",
                                "QSO   2 : 3532\tCW\t0703\tLZ0DX\t: Lost in transit", "LZ0AT.UBN:3"),
            "mangled line": ("QSO   2 : 3532\tCW\t0703\tLZ0DX\t:", "QSO two", "LZ0AT.UBN:3"),
            "summary disagrees": ("2/1 [", "2/2 [", "LZ0AT.UBN"),
            "time differs from the log": ("0703\tLZ0DX", "0704\tLZ0DX", "LZ0AT.UBN:3"),
            "QSO beyond the log": ("QSO   2 :", "QSO   9 :", "LZ0AT.UBN:3"),
            "call not on the line": ("LZ0DX\t: NotInLog", "LZ0DZ\t: NotInLog", "LZ0AT.UBN:3"),
        }
        for name, (old, new, where) in cases.items():
            with self.subTest(name):
                c = ContestFolder(self)
                write(c.reports, "LZ0AT.UBN", REPORT_AT.replace(old, new))
                with self.assertRaises(official.ReportError) as e:
                    official.verdicts(c.logs, c.reports)
                self.assertIn(where, str(e.exception))

    def test_a_report_without_a_log_or_two_logs_for_a_call(self):
        c = ContestFolder(self)
        write(c.reports, "LZ0FX.UBN", BOM + "CALLSIGN : LZ0FX\r\nQSO summary (total/confirmed): 0/0\r\n")
        with self.assertRaisesRegex(official.ReportError, "LZ0FX.UBN:1: no submitted log"):
            official.verdicts(c.logs, c.reports)
        c = ContestFolder(self)
        write(c.logs, "LZ0AA_.log", LOG_AA)
        with self.assertRaisesRegex(official.ReportError, "LZ0AA_.log:1: a second log for LZ0AA"):
            official.verdicts(c.logs, c.reports)

    def test_the_script_writes_csv(self):
        c = ContestFolder(self)
        out = os.path.join(c.root, "official.csv")
        self.assertEqual(official.main(["--logs", c.logs, "--reports", c.reports, "--out", out]), 0)
        with open(out, encoding="utf-8") as f:
            rows = list(csv.DictReader(f))
        self.assertEqual(len(rows), 7)
        self.assertEqual((rows[3]["file"], rows[3]["line"], rows[3]["verdict"]),
                         ("LZ0AA.log", "6", "DUPLICATE"))


def verdict_row(log, file, line, verdict, other_line="", blamed="", call=""):
    return {"log": log, "file": file, "line": str(line), "utc": "", "band": "3.5", "mode": "CW",
            "call": call, "verdict": verdict, "blamed": blamed, "other_call": "",
            "other_line": other_line, "minutes_off": "", "points": "", "detail": ""}


def write_verdicts(path: str, rows) -> str:
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.DictWriter(f, fieldnames=list(verdict_row("", "", 0, "").keys()))
        w.writeheader()
        w.writerows(rows)
    return path


def as_verdict_rows(rows: list[official.Verdict]):
    """Official verdicts written as yolcheck would write the same findings."""
    back = {v: k for k, v in compare.CODE_TO_OFFICIAL.items() if k != "NOLOG"}
    out = []
    for v in rows:
        if v.verdict in ("PARTNER_ERROR", "PARTNER_BAD_CALL"):
            # a partner row pointing at a made-up row of the other log with the matching verdict,
            # which logged another call where the partner busted this one
            ghost = f"ghost/{v.log}-{v.line}:1"
            busted = v.verdict == "PARTNER_BAD_CALL"
            out.append(verdict_row(v.log, v.file, v.line, "PARTNER", ghost, "other"))
            out.append(verdict_row("GHOST", ghost.rsplit(":", 1)[0], 1, "BUSTED" if busted else "EXCHANGE",
                                   call="LZ0XX" if busted else v.log))
        else:
            out.append(verdict_row(v.log, v.file, v.line, back[v.verdict]))
    return out


class Comparison(unittest.TestCase):
    def setUp(self):
        self.c = ContestFolder(self)
        self.official = official.verdicts(self.c.logs, self.c.reports)

    def run_compare(self, rows):
        return compare.compare(self.official, compare.ours(rows))

    def test_the_committee_verdicts_agree_with_themselves(self):
        table, confusion, disagreements = self.run_compare(as_verdict_rows(self.official))
        self.assertEqual(disagreements, [])
        self.assertEqual(sum(r["reason"] for r in table.values()), 7)
        self.assertEqual(confusion["PARTNER_BAD_CALL"]["PARTNER_BAD_CALL"], 1)

    def test_partner_is_told_apart_by_the_other_log_row(self):
        rows = as_verdict_rows(self.official)
        partner = next(r for r in rows if r["verdict"] == "PARTNER")
        ghost = next(r for r in rows if r["log"] == "GHOST")
        # the other side logged this call and miscopied the exchange
        ghost["verdict"], ghost["call"] = "EXCHANGE", "LZ0AA"
        table, confusion, disagreements = self.run_compare(rows)
        # PARTNER_ERROR is among the committee's findings for that contact: still the same verdict
        self.assertEqual(confusion["PARTNER_BAD_CALL"]["PARTNER_ERROR"], 1)
        self.assertEqual(disagreements, [])
        # a line that logged another call is the partner's bad callsign whatever its own verdict
        # (a checklog's, or a repeat of its own that is DUPE)
        for verdict in ("CHECKLOG", "DUPE"):
            ghost["verdict"], ghost["call"] = verdict, "lz0dp"
            self.assertEqual(compare.ours(rows)[("LZ0AA", 4)], "PARTNER_BAD_CALL")
        ghost["call"] = "LZ0AA"
        self.assertEqual(compare.ours(rows)[("LZ0AA", 4)], "PARTNER_ERROR")
        partner["other_line"] = ""  # no other row: a partner error
        self.assertEqual(compare.ours(rows)[("LZ0AA", 4)], "PARTNER_ERROR")

    def test_outcome_and_reason_counted_apart(self):
        rows = as_verdict_rows(self.official)
        by = {(r["log"], r["line"]): r for r in rows}
        by[("LZ0AA", "5")]["verdict"] = "NIL"  # official Receive error: removed either way
        by[("LZ0AA", "3")]["verdict"] = "DUPE"  # official confirmed: outcome differs
        del rows[rows.index(by[("LZ0AT", "4")])]  # no row at all
        table, _, disagreements = self.run_compare(rows)
        self.assertEqual([(v.log, v.line, term, same) for v, term, same in disagreements], [
            ("LZ0AA", 3, "DUPLICATE", False), ("LZ0AA", 5, "NOT_IN_LOG", True),
            ("LZ0AT", 4, "MISSING", False)])
        self.assertEqual((table["RECEIVE_ERROR"]["reason"], table["RECEIVE_ERROR"]["outcome"]), (0, 1))
        self.assertEqual(table["CONFIRMED"]["outcome"], 1)  # LZ0AT's first contact

    def test_checklog_contacts_are_left_out(self):
        rows = as_verdict_rows(self.official)
        for r in rows:
            if r["log"] == "LZ0AT":
                r["verdict"] = "CHECKLOG"
        table, _, disagreements = self.run_compare(rows)
        self.assertEqual(disagreements, [])
        self.assertEqual((table["CONFIRMED"]["compared"], table["CONFIRMED"]["checklog"]), (1, 1))
        self.assertEqual(table["NOT_IN_LOG"]["checklog"], 1)

    def test_pinned_figures_and_the_command_line(self):
        rows = as_verdict_rows(self.official)
        rows[0]["verdict"] = "NIL"
        path = write_verdicts(os.path.join(self.c.root, "verdicts.csv"), rows)
        good = {"official": {"CONFIRMED": 2, "NOT_IN_LOG": 1}, "compared": 7,
                "agree_reason": {"DUPLICATE": 1}, "min_agree_outcome": 0.85}
        bad = {"official": {"CONFIRMED": 3}, "compared": 8, "agree_reason": {"CONFIRMED": 2},
               "min_agree_outcome": 0.9, "min_agree_reason": 0.9}
        args = ["--logs", self.c.logs, "--reports", self.c.reports, "--verdicts", path]
        for expect, status in ((good, 0), (bad, 1)):
            exp = write(self.c.root, "expect.json", json.dumps(expect))
            err = io.StringIO()
            with contextlib.redirect_stderr(err):
                self.assertEqual(compare.main(args + ["--expect", exp]), status)
            if status:
                self.assertEqual(len(err.getvalue().strip().splitlines()), 5, err.getvalue())
        md = os.path.join(self.c.root, "table.md")
        dis = os.path.join(self.c.root, "dis.txt")
        self.assertEqual(compare.main(args + ["--markdown", md, "--disagreements", dis]), 0)
        with open(md, encoding="utf-8") as f:
            table = f.read()
        self.assertIn("| confirmed | 2 | 2 | 1 (50.0 %) | 1 (50.0 %) |", table)
        with open(dis, encoding="utf-8") as f:
            text = f.read()
        self.assertIn("LZ0AA QSO 1 (LZ0AA.log:3): official CONFIRMED, yolcheck NOT_IN_LOG", text)
        self.assertIn("own:     QSO:  3532 CW 2017-08-19 0702 LZ0AA", text)


# The committee's verdicts of 2017 as read and checked against the logs (every listed line
# agrees with its log line in frequency, mode, time and call; totals agree with the summaries).
OFFICIAL_2017 = {"CONFIRMED": 11111, "RECEIVE_ERROR": 265, "PARTNER_ERROR": 223,
                 "PARTNER_BAD_CALL": 70, "NOT_IN_LOG": 102, "BAD_CALL": 8, "NO_LOG": 6,
                 "DUPLICATE": 5, "OUT_OF_PERIOD": 6}


class Official2017(unittest.TestCase):
    data = ""

    def folders(self):
        d = os.path.join(self.data, "multilog", "plovdiv-2017")
        return (os.path.join(d, "logs"), os.path.join(d, "official-reports"),
                os.path.join(d, "official-reports-revised"))

    def test_verdict_counts(self):
        rows = official.verdicts(*self.folders())
        counts = {}
        for v in rows:
            counts[v.verdict] = counts.get(v.verdict, 0) + 1
        self.assertEqual(counts, OFFICIAL_2017)
        self.assertEqual(len({v.log for v in rows}), 47)
        # the revised reports add one Duplicate each to LZ0DG and LZ0DV
        dupes = sorted((v.log, v.qso) for v in rows if v.verdict == "DUPLICATE")
        self.assertEqual(dupes, [("LZ0AA", 67), ("LZ0AC", 31), ("LZ0AW", 33), ("LZ0DG", 291),
                                 ("LZ0DV", 103)])

    def test_scores_are_two_points_per_confirmed_contact(self):
        logs, first, revised = self.folders()
        for call, path in official.list_reports(first, revised).items():
            r = official.parse_report(path)
            if r.score is not None:
                self.assertEqual(r.score, 2 * r.confirmed, call)

    def test_the_committee_agrees_with_itself(self):
        rows = official.verdicts(*self.folders())
        _, _, disagreements = compare.compare(rows, compare.ours(as_verdict_rows(rows)))
        self.assertEqual(disagreements, [])


    def test_findings_the_logs_bear_out_and_those_they_do_not(self):
        counts, _, logs = audit.audit(*self.folders())
        borne = sum(n for (_, why), n in counts.items() if why in audit.BORNE_OUT)
        self.assertEqual((borne, sum(counts.values())), (520, 685))
        self.assertEqual(counts[("NOT_IN_LOG", "the other log has it at the same time on another date")], 90)
        self.assertEqual(counts[("NO_LOG", "line with one sent serial misread: the call was read "
                                           "from the serial")], 4)
        self.assertEqual(sum(n for (v, why), n in counts.items() if v in ("PARTNER_BAD_CALL", "RECEIVE_ERROR")
                             and why.startswith("the partner's line is its contact")), 59)
        verdicts = official.verdicts(*self.folders())
        self.assertEqual(len(audit.repeats(logs, verdicts, only_confirmed=False)), 85)
        confirmed_only = audit.repeats(logs, verdicts, only_confirmed=True)
        self.assertEqual(len(confirmed_only), 59)
        # the six revised reports keep to the 30-minute rule counted from confirmed contacts
        self.assertFalse({c.log for c in confirmed_only} &
                         {"LZ0AG", "LZ0DG", "LZ0DJ", "LZ0DV", "LZ0DW", "LZ0DY"})


def run_yolcheck(data: str, yolcheck: str, rules: str, expect: str) -> int:
    """yolcheck over the 2017 logs with their shipped rules: every line read, exit status 0,
    its verdicts compared with the committee's and held to the figures pinned in `expect`;
    then over the 2016 logs, two of them UTF-16, every log read."""
    d = os.path.join(data, "multilog", "plovdiv-2017")
    logs = os.path.join(d, "logs")
    with tempfile.TemporaryDirectory() as out:
        done = subprocess.run([yolcheck, "--rules", rules, "--out", out, logs],
                              capture_output=True, text=True)
        verdicts = os.path.join(out, "verdicts.csv")
        if done.returncode != 0 or not os.path.exists(verdicts):
            print(f"yolcheck on the 2017 logs exited {done.returncode} (0 expected):\n{done.stderr}")
            return 1
        print(done.stderr, end="")
        status = compare.main(["--logs", logs, "--reports", os.path.join(d, "official-reports"),
                               "--revised", os.path.join(d, "official-reports-revised"),
                               "--verdicts", verdicts, "--markdown", "-", "--expect", expect])
    return status or run_yolcheck_2016(data, yolcheck, os.path.join(os.path.dirname(rules), "plovdiv-2016.toml"))


def run_yolcheck_2016(data: str, yolcheck: str, rules: str) -> int:
    """The 2016 logs: LZ0DW's and LZ0FU's are UTF-16 with a byte-order mark and are read like
    the rest; the one thing refused is LZ0AA's second submission."""
    logs = os.path.join(data, "multilog", "plovdiv-2016", "logs")
    if not os.path.isdir(logs):
        print("2016: skipped, no logs")
        return 0
    with tempfile.TemporaryDirectory() as out:
        done = subprocess.run([yolcheck, "--rules", rules, "--out", out, logs], capture_output=True, text=True)
        errors = [line for line in done.stderr.splitlines() if line.strip()]
        expected = [e for e in errors if "LZ0AA_.CBR:1: a second log for LZ0AA" in e]
        with open(os.path.join(out, "verdicts.csv"), newline="", encoding="utf-8") as f:
            read = collections.Counter(row["log"] for row in csv.DictReader(f))
    if done.returncode != 1 or len(expected) != 1 or len(errors) != 1 or not (read["LZ0DW"] and read["LZ0FU"]):
        print(f"yolcheck on the 2016 logs: status {done.returncode}, LZ0DW {read['LZ0DW']} and "
              f"LZ0FU {read['LZ0FU']} contacts read; stderr:\n{done.stderr}")
        return 1
    print(f"2016: LZ0DW {read['LZ0DW']} and LZ0FU {read['LZ0FU']} contacts read (UTF-16)")
    return 0


def main(argv: list[str]) -> int:
    if len(argv) >= 2 and argv[1] in ("real", "yolcheck"):
        data = argv[2] if len(argv) > 2 else ""
        if not os.path.isdir(os.path.join(data, "multilog", "plovdiv-2017")):
            print(f"skipped: no multilog test data under {data!r}")
            return SKIP
        if argv[1] == "yolcheck":
            return run_yolcheck(data, *argv[3:6])
    if len(argv) >= 2 and argv[1] == "real":
        data = argv[2] if len(argv) > 2 else ""
        if not os.path.isdir(os.path.join(data, "multilog", "plovdiv-2017")):
            print(f"skipped: no multilog test data under {data!r}")
            return SKIP
        Official2017.data = data
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(Official2017)
    else:
        suite = unittest.TestSuite(unittest.defaultTestLoader.loadTestsFromTestCase(c)
                                   for c in (ReportReading, Comparison))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
