"""The deadline rush against yolrobot: ENTRANTS different stations upload a log of about
SIZE bytes each within one minute, the first BURST of them at the same instant. Prints the
answer times (median, 99th percentile, worst), that every upload was answered and kept,
the service's peak memory and CPU time. A measurement, never a test.

    python3 bench/robot_load.py --robot build/bench/tools/robot/yolrobot [--entrants 500] ...
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "robot"))
from robotclient import Robot, receipt, sha256  # noqa: E402


def log_of(n, size):
    """A Cabrillo log of about `size` bytes for the n-th station (all calls distinct)."""
    call = f"UA{n % 10}Z{chr(65 + n // 260 % 26)}{chr(65 + n // 10 % 26)}{chr(65 + n % 10)}"
    head = f"START-OF-LOG: 3.0\r\nCONTEST: YOL\r\nCALLSIGN: {call}\r\nCATEGORY-OPERATOR: SINGLE-OP\r\n" \
           f"CLAIMED-SCORE: {n}\r\n"
    lines, total, i = [head], len(head), 0
    while total < size:
        line = (f"QSO: {14000 + i % 300} CW 2026-12-12 {12 + i // 60 % 24:02d}{i % 60:02d} {call} 599 "
                f"{i % 1000:03d} DL{i % 10}{chr(65 + i % 26)}{chr(65 + i // 26 % 26)} 599 {i % 50:03d}\r\n")
        lines.append(line)
        total += len(line)
        i += 1
    lines.append("END-OF-LOG:\r\n")
    return call, "".join(lines).encode()


def peak_memory_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--robot", required=True)
    ap.add_argument("--entrants", type=int, default=500)
    ap.add_argument("--burst", type=int, default=50)
    ap.add_argument("--seconds", type=float, default=60)
    ap.add_argument("--size", type=int, default=1 << 20)
    ap.add_argument("--threads", default="8", help="yolrobot --threads")
    ap.add_argument("--concurrent", default="16", help="yolrobot --concurrent-uploads")
    a = ap.parse_args()

    work = tempfile.mkdtemp(prefix="yolrobot-load-")
    robot = Robot(a.robot, os.path.join(work, "data"), "--per-minute", "0", "--threads", a.threads,
                  "--concurrent-uploads", a.concurrent, "--window-end", "2100-01-01 00:00",
                  "--max-upload", str(2 * a.size // 1024 + 64))
    print(f"{a.entrants} entrants, logs of {a.size / 2**20:.2f} MiB, {a.burst} at once, "
          f"the rest over {a.seconds:.0f} s; yolrobot --threads {a.threads} --concurrent-uploads {a.concurrent}")
    logs = [log_of(n, a.size) for n in range(a.entrants)]
    results, lock = [], threading.Lock()
    start_gate = threading.Barrier(a.burst + 1)

    def upload(n, at):
        if n < a.burst:
            start_gate.wait()
        else:
            time.sleep(max(0.0, at - time.time()))
        call, data = logs[n]
        tries, begun = 0, time.time()
        while True:  # a 503 (too many at once) is answered at once; a program sends again
            tries += 1
            try:
                status, _, body = robot.submit(data, f"{call}.log", timeout=120)
            except OSError as e:
                status, body = 0, str(e).encode()
            if status != 503:
                break
            time.sleep(0.5)
        took = time.time() - begun
        r = receipt(body)
        with lock:
            results.append((n, status, took, tries, r.get("sha256") == sha256(data)))

    t0 = time.time() + 0.5
    spread = a.seconds / max(1, a.entrants - a.burst)
    threads = [threading.Thread(target=upload, args=(n, t0 + (n - a.burst) * spread)) for n in range(a.entrants)]
    cpu0 = cpu_seconds(robot.proc.pid)
    for t in threads:
        t.start()
    start_gate.wait()
    for t in threads:
        t.join()
    elapsed = time.time() - t0
    cpu = cpu_seconds(robot.proc.pid) - cpu0
    memory = peak_memory_kib(robot.proc.pid)
    robot.stop()
    # Kept: every log under its SHA-256 in the data folder.
    kept = sum(1 for _, data in logs if os.path.exists(os.path.join(work, "data", "logs", sha256(data))))
    shutil.rmtree(work, ignore_errors=True)

    times = sorted(t for _, _, t, _, _ in results)
    burst = sorted(t for n, _, t, _, _ in results if n < a.burst)
    ok = sum(1 for _, s, _, _, good in results if s == 200 and good)
    retried = sum(1 for *_, tries, _ in results if tries > 1)

    def pct(values, p):
        return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]

    print(f"answered: {len(results)} of {a.entrants}, accepted with the right receipt: {ok}, kept on disk: {kept}, "
          f"sent again after a 503: {retried}")
    print(f"answer time, all: median {statistics.median(times):.3f} s, p99 {pct(times, 99):.3f} s, "
          f"worst {times[-1]:.3f} s")
    print(f"answer time, the {a.burst} at once: median {statistics.median(burst):.3f} s, "
          f"p99 {pct(burst, 99):.3f} s, worst {burst[-1]:.3f} s")
    print(f"whole run {elapsed:.1f} s; yolrobot CPU {cpu:.1f} s ({cpu / a.entrants * 1000:.0f} ms per upload); "
          f"peak memory {memory / 1024:.0f} MiB")
    return 0 if ok == a.entrants == kept else 1


if __name__ == "__main__":
    sys.exit(main())
