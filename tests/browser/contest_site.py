#!/usr/bin/python3
"""The results site of a real check, checked in headless chromium.

    contest_site.py --yolcheck PATH --yolscore PATH --work DIR --artifacts DIR --rules FILE
                    (--loggen PATH --stations N --seed S | --logs DIR)

Writes a simulated contest with yolloggen --out (or takes the logs of a
real one), runs yolcheck --out DIR/out --html DIR/site over it (the site
carries results.csv and verdicts.csv beside its pages) and yolscore
--html DIR/own over its first log, and runs check_site.py over both folders:
screenshots into the artifacts folder. With --logs naming a folder that is
not there (the real logs live outside the repository), exits 77 (skipped)
with a message. A browser that does not start fails the test.
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys

SKIP = 77
HERE = pathlib.Path(__file__).resolve().parent


def run(args, allowed=(0,)):
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, errors="replace")
    if done.returncode not in allowed:
        sys.stderr.write(done.stdout + done.stderr)
        raise SystemExit(f"FAILED: {' '.join(map(str, args))} exited {done.returncode}")
    return done


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--yolcheck", required=True)
    ap.add_argument("--yolscore", required=True)
    ap.add_argument("--rules", required=True)
    ap.add_argument("--work", type=pathlib.Path, required=True)
    ap.add_argument("--artifacts", type=pathlib.Path, required=True)
    ap.add_argument("--loggen")
    ap.add_argument("--stations", type=int, default=60)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--logs", type=pathlib.Path)
    args = ap.parse_args()

    if args.logs is not None and not args.logs.is_dir():
        print(f"skipped: no logs at {args.logs} (the real contest's logs are not in this checkout)")
        return SKIP
    shutil.rmtree(args.work, ignore_errors=True)
    args.work.mkdir(parents=True)
    logs = args.logs
    if logs is None:
        if not args.loggen:
            ap.error("--loggen or --logs is needed")
        run([args.loggen, "--out", args.work / "contest", "--stations", args.stations, "--seed", args.seed])
        logs = args.work / "contest" / "logs"

    out, site = args.work / "out", args.work / "site"
    # 1: some lines not read, the rest checked (real logs have such lines). The site
    # carries results.csv, results.json, verdicts.csv and the reports itself.
    checked = run([args.yolcheck, "--rules", args.rules, "--out", out, "--html", site, logs], allowed=(0, 1))
    print(checked.stdout.strip())
    first = sorted(p for p in logs.iterdir() if p.is_file() and not p.name.startswith("."))[0]
    own = args.work / "own"
    run([args.yolscore, "--html", own, first], allowed=(0, 1))

    check = [sys.executable, HERE / "check_site.py", "--site", site, "--own", own, "--artifacts", args.artifacts]
    return subprocess.run([str(a) for a in check]).returncode


if __name__ == "__main__":
    sys.exit(main())
