"""yolrobot killed (SIGKILL) in the middle of a stream of uploads and started again: every log
it gave a receipt for is there, byte for byte, under the SHA-256 the receipt named."""
import argparse
import os
import shutil
import sys
import threading
import time

from robotclient import Checks, Robot, receipt, sha256


def log_of(n):
    call = f"UA{n % 10}C{n:04d}".replace("C0", "CA")
    lines = [f"START-OF-LOG: 3.0\r\nCONTEST: YOL\r\nCALLSIGN: {call}\r\nCATEGORY-OPERATOR: SINGLE-OP\r\n"]
    for i in range(50 + n % 400):
        lines.append(f"QSO: 14012 CW 2026-12-12 {12 + i // 60:02d}{i % 60:02d} {call} 599 {i + 1:03d} "
                     f"DL{i % 9}AB 599 {n:03d}\r\n")
    lines.append("END-OF-LOG:\r\n")
    return "".join(lines).encode()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--robot", required=True)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    data = os.path.join(a.work, "data")
    robot = Robot(a.robot, data, "--window-end", "2100-01-01 00:00", "--per-minute", "0")
    token = robot.token
    receipts, lock, counter = {}, threading.Lock(), iter(range(100000))
    stop = threading.Event()

    def stream():
        while not stop.is_set():
            with lock:
                n = next(counter)
            body = log_of(n)
            try:
                status, _, answer = robot.submit(body, f"{n}.log")
            except OSError:
                return  # the service is gone
            r = receipt(answer)
            if status == 200 and r["accepted"]:
                with lock:
                    receipts[r["sha256"]] = (r["call"], body)

    threads = [threading.Thread(target=stream) for _ in range(6)]
    for t in threads:
        t.start()
    deadline = time.time() + 20
    while len(receipts) < 40 and time.time() < deadline:
        time.sleep(0.02)
    robot.kill()  # SIGKILL, uploads in flight
    stop.set()
    for t in threads:
        t.join()
    with lock:
        kept = dict(receipts)
    print(f"{len(kept)} receipts before the kill")

    robot = Robot(a.robot, data, "--window-end", "2100-01-01 00:00", "--per-minute", "0")
    robot.token = token
    check = Checks("crash test")
    try:
        for sha, (call, body) in kept.items():
            status, _, stored = robot.committee("/committee/file?sha256=" + sha)
            check(status == 200 and sha256(stored) == sha and stored == body,
                  f"{call}: receipted {sha}, kept {status} {sha256(stored) if stored else ''}")
            status, _, history = robot.committee("/committee/log?call=" + call.replace("/", "%2F"))
            check(sha.encode() in history, f"{call}: {sha} in its history")
        leftovers = [n for n in os.listdir(os.path.join(data, "logs")) if not n.isalnum()]
        check(not leftovers, f"no half-written files left: {leftovers}")
    finally:
        robot.stop()
    check(len(kept) >= 10, "enough receipts to say something")
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
