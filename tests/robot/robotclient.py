"""Starting yolrobot on a free port and talking to it with Python's standard library
(the end-to-end, crash and browser tests and bench/robot_load.py share it)."""
import hashlib
import http.client
import json
import os
import re
import subprocess
import time
import uuid


class Robot:
    """A yolrobot process on a free port of 127.0.0.1 with its own data folder."""

    def __init__(self, binary, data, *args):
        self.binary, self.data, self.args = binary, data, list(args)
        self.token = None
        self.start()

    def start(self):
        self.proc = subprocess.Popen([self.binary, "--port", "0", "--data", self.data] + self.args,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.time() + 20
        while time.time() < deadline:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("yolrobot ended: " + self.proc.stderr.read())
            token = re.search(r"committee token .*: ([0-9a-f]+)$", line.strip())
            if token:
                self.token = token.group(1)
            url = re.search(r"serving http://([\d.]+):(\d+)/", line)
            if url:
                self.host, self.port = url.group(1), int(url.group(2))
                return
        raise RuntimeError("yolrobot printed no address")

    def kill(self):
        self.proc.kill()
        self.proc.wait()

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.kill()

    def request(self, method, path, body=None, headers=None, timeout=30):
        """(status, headers as a dict with lower-case names, body bytes)."""
        conn = http.client.HTTPConnection(self.host, self.port, timeout=timeout)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
            return resp.status, {k.lower(): v for k, v in resp.getheaders()}, resp.read()
        finally:
            conn.close()

    def submit(self, data, filename="my.log", call=None, path="/submit", extra=None, timeout=30):
        body, ctype = multipart({"log": (filename, data), **({"call": call} if call else {}), **(extra or {})})
        return self.request("POST", path, body, {"Content-Type": ctype}, timeout)

    def committee(self, path):
        return self.request("GET", path, headers={"Authorization": "Bearer " + self.token})


class Checks:
    """Failed checks named as they happen; status() ends a test script with them."""

    def __init__(self, name):
        self.name, self.failures = name, []

    def __call__(self, ok, what):
        if not ok:
            self.failures.append(what)
            print("FAIL:", what)

    def status(self):
        print(self.name + ":", "ok" if not self.failures else f"{len(self.failures)} failures")
        return 1 if self.failures else 0


def multipart(fields):
    """A multipart/form-data body: values are text, or (file name, bytes) for files."""
    boundary = "----yolrobot" + uuid.uuid4().hex
    out = []
    for name, value in fields.items():
        if isinstance(value, tuple):
            filename, data = value
            out.append(f'--{boundary}\r\nContent-Disposition: form-data; name="{name}"; filename="{filename}"\r\n'
                       f"Content-Type: application/octet-stream\r\n\r\n".encode() + data + b"\r\n")
        else:
            out.append(f'--{boundary}\r\nContent-Disposition: form-data; name="{name}"\r\n\r\n{value}\r\n'.encode())
    out.append(f"--{boundary}--\r\n".encode())
    return b"".join(out), "multipart/form-data; boundary=" + boundary


def receipt(body):
    """The fields of a plain-text answer: {'accepted': bool, 'sha256': ..., 'reasons': [...], ...}."""
    lines = body.decode("utf-8", "replace").splitlines()
    facts = {"accepted": bool(lines) and lines[0] == "accepted", "reasons": [], "warnings": []}
    for line in lines[1:]:
        key, _, value = line.partition(": ")
        if key == "reason":
            facts["reasons"].append(value)
        elif key == "warning":
            facts["warnings"].append(value)
        else:
            facts[key] = value
    return facts


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def received(robot):
    status, _, body = robot.request("GET", "/received.json")
    assert status == 200, status
    return json.loads(body)


def free_env():
    return dict(os.environ, LC_ALL="C")
