"""yolrobot over HTTP: logs of a simulated contest and the real logs of ../shared/testdata (when
present) uploaded, hostile requests and logs, the public list, and the committee's download
checked by yolcheck exactly as the uploaded files are."""
import argparse
import io
import os
import shutil
import socket
import subprocess
import sys
import threading
import time
import zipfile

from robotclient import Checks, Robot, receipt, received, sha256

check = Checks("robot over HTTP")


def raw(robot, data, hold=0.0, read=True):
    """Sends bytes on a socket of its own; returns what comes back (b"" when closed)."""
    s = socket.create_connection((robot.host, robot.port), timeout=10)
    try:
        s.sendall(data)
        time.sleep(hold)
        if not read:
            return b""
        reply = b""
        while b"\r\n" not in reply:  # the status line is enough
            try:
                piece = s.recv(65536)
            except (ConnectionResetError, socket.timeout):
                break
            if not piece:
                break
            reply += piece
        return reply
    finally:
        s.close()


def served(robot, within=3.0):
    start = time.time()
    status, _, _ = robot.request("GET", "/received.json", timeout=within)
    return status == 200 and time.time() - start < within


def yolcheck(binary, rules, folder, out):
    run = subprocess.run([binary, "--rules", rules, "--out", out, folder], capture_output=True, text=True)
    with open(os.path.join(out, "results.csv"), encoding="utf-8") as f:
        return run.returncode, f.read()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--robot", required=True)
    ap.add_argument("--loggen", required=True)
    ap.add_argument("--yolcheck", required=True)
    ap.add_argument("--rules", required=True)
    ap.add_argument("--testdata", required=True)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    subprocess.run([a.loggen, "--contest", os.path.join(a.work, "sim"), "--stations", "30", "--seed", "11"],
                   check=True, capture_output=True)
    sim = os.path.join(a.work, "sim", "logs")

    robot = Robot(a.robot, os.path.join(a.work, "data"), "--rules", a.rules, "--window-end", "2100-01-01 00:00",
                  "--any-contest", "--max-upload", "1024", "--read-timeout", "2", "--per-minute", "0")
    try:
        # The simulated contest: every log accepted, each receipt the bytes' SHA-256.
        uploaded = {}
        for name in sorted(os.listdir(sim)):
            data = open(os.path.join(sim, name), "rb").read()
            status, _, body = robot.submit(data, name)
            r = receipt(body)
            check(status == 200 and r["accepted"], f"{name}: accepted ({status}: {body[:200]!r})")
            check(r.get("sha256") == sha256(data), f"{name}: receipt names the bytes' SHA-256")
            uploaded[r.get("call")] = (name, data)
        # A second log for one call replaces the first for the check (the history keeps both).
        name, data = uploaded[sorted(uploaded)[0]]
        again = data.replace(b"CREATED-BY: yolloggen", b"CREATED-BY: yolloggen again") if name.endswith(".log") \
            else data + b"\n"
        status, _, body = robot.submit(again, name)
        check(status == 200, "resubmission accepted")
        uploaded[receipt(body)["call"]] = (name, again)

        # The real logs: each answered (accepted or refused with reasons), none crashing anything.
        real = 0
        for sub in ("cabrillo", "adif"):
            folder = os.path.join(a.testdata, sub)
            if not os.path.isdir(folder):
                print(f"{folder} absent: real logs skipped")
                continue
            for name in sorted(os.listdir(folder)):
                if name.startswith("LICENSE"):
                    continue
                data = open(os.path.join(folder, name), "rb").read()
                status, _, body = robot.submit(data, name)
                r = receipt(body)
                check(status in (200, 413, 422) and (r["accepted"] or r["reasons"]),
                      f"real log {name}: answered ({status})")
                if r["accepted"]:
                    real += 1
        print(f"{real} real logs accepted")

        # Hostile logs.
        status, _, body = robot.submit(os.urandom(5000) + b"\0", "junk.bin")
        check(status == 422 and b"not a log" in body, "binary junk refused as no log")
        evil = "<script>alert(1)</script>"
        log = (f"START-OF-LOG: 3.0\r\nCONTEST: YOL\r\nCALLSIGN: UA1EVL\r\nCATEGORY-OPERATOR: {evil}\r\n"
               f"NAME: {evil}\r\nCLAIMED-SCORE: {evil}\r\nSOAPBOX: {evil}\r\n"
               "QSO: 14012 CW 2026-12-12 1300 UA1EVL 599 001 DL1ABC 599 002\r\n"
               f"QSO: {evil}\r\nEND-OF-LOG:\r\n").encode()
        status, _, body = robot.submit(log, evil + ".log", path="/upload")
        check(status == 200 and b"<script" not in body and b"&lt;script&gt;" in body, "script in headers escaped")
        status, _, page = robot.request("GET", "/received")
        check(status == 200 and b"<script" not in page and b"UA1EVL" in page, "public page shows it escaped")
        status, _, body = robot.submit(log, call="DL1ABC")
        check(status == 422 and b"not for DL1ABC" in body, "a log for another call than declared refused")
        # Every encoding the readers know: UTF-8 with BOM, UTF-16 both ways, .adx.
        base = log.replace(b"UA1EVL", b"UA1ENC").decode()
        for i, (enc, bom) in enumerate((("utf-8", b"\xef\xbb\xbf"), ("utf-16-le", b"\xff\xfe"), ("utf-16-be", b"\xfe\xff"))):
            status, _, body = robot.submit(bom + base.replace("UA1ENC", f"UA{i + 2}ENC").encode(enc))
            check(status == 200 and receipt(body)["accepted"], f"log in {enc} accepted")
        adx = (b'<?xml version="1.0"?><ADX><HEADER></HEADER><RECORDS><RECORD><STATION_CALLSIGN>UA1ADX'
               b"</STATION_CALLSIGN><CALL>DL1ABC</CALL><QSO_DATE>20261212</QSO_DATE><TIME_ON>1300</TIME_ON>"
               b"<BAND>20m</BAND><MODE>CW</MODE><SRX_STRING>599 002</SRX_STRING></RECORD></RECORDS></ADX>")
        status, _, body = robot.submit(adx, "x.adx")
        check(status == 200 and receipt(body)["accepted"], ".adx accepted")
        status, _, body = robot.submit(b"START-OF-LOG: 3.0\r\n" + b"X" * (1100 * 1024))
        check(status == 413, f"a log over the limit refused with 413 ({status})")

        # Hostile requests: the service answers or closes, and keeps serving others.
        check(raw(robot, b"GARBAGE\r\n\r\n").startswith(b"HTTP/1.1 400"), "malformed request line: 400")
        check(served(robot), "served after a malformed request")
        big = b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 20000 + b"\r\n\r\n"
        reply = raw(robot, big)
        check(not reply.startswith(b"HTTP/1.1 200"), "an oversized header is not served")
        # Slow clients: half a request line, and a body that never ends, held open.
        holders = [threading.Thread(target=raw, args=(robot, b"GET /rece", 2.5, False)),
                   threading.Thread(target=raw, args=(robot, b"POST /submit HTTP/1.1\r\nHost: x\r\n"
                                                      b"Content-Type: multipart/form-data; boundary=b\r\n"
                                                      b"Content-Length: 900000\r\n\r\n--b\r\n", 4.0, False))]
        for t in holders:
            t.start()
        time.sleep(0.5)
        check(served(robot), "served while slow clients hold connections")
        for t in holders:
            t.join()
        status, _, _ = robot.request("PUT", "/submit", b"x")
        check(status in (400, 404, 405), f"PUT refused ({status})")

        # The public list: call, class and time, nothing more.
        listed = {row["call"]: row for row in received(robot)}
        check(set(uploaded) <= set(listed), "every accepted sim log is listed")
        check(all(set(row) == {"call", "class", "received"} for row in listed.values()), "list fields")
        status, _, page = robot.request("GET", "/received")
        check(b"@" not in page and b"QSO:" not in page, "no e-mail, no contents in the public list")

        # The committee's download, checked by yolcheck exactly as the uploaded files are.
        status, _, _ = robot.request("GET", "/committee/set.zip")
        check(status == 401, "the download needs the token")
        status, headers, data = robot.committee("/committee/set.zip")
        check(status == 200 and headers.get("content-type") == "application/zip", "zip downloaded")
        down = os.path.join(a.work, "downloaded")
        zipfile.ZipFile(io.BytesIO(data)).extractall(down)
        # Only the simulated contest's logs go to the check (the real logs are other contests).
        for name in os.listdir(down):
            if os.path.splitext(name)[0].replace("-", "/") not in uploaded:
                os.remove(os.path.join(down, name))
        up = os.path.join(a.work, "uploaded")
        os.makedirs(up)
        for name, data in uploaded.values():
            open(os.path.join(up, name), "wb").write(data)
        check(sorted(os.path.splitext(n)[0].replace("-", "/") for n in os.listdir(down)) == sorted(uploaded),
              "one file per call, named by it")
        code_up, results_up = yolcheck(a.yolcheck, a.rules, up, os.path.join(a.work, "check-up"))
        code_down, results_down = yolcheck(a.yolcheck, a.rules, down, os.path.join(a.work, "check-down"))
        check(code_up == code_down and results_up == results_down, "yolcheck: downloaded set = uploaded set")
        status, _, body = robot.committee("/committee/log?call=" + sorted(uploaded)[0])
        check(status == 200 and body.count(b"/committee/file?sha256=") == 2, "history of a resubmitted call")
    finally:
        robot.stop()
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
