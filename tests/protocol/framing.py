#!/usr/bin/env python3
"""One table of bad frames fed to a real protocol server, tavro-lsp or tavro-dap, over stdio.

    framing.py lsp|dap SERVER

Each row starts the server, writes its bytes, then a valid request, and waits (with a time
limit) for the answer: the server must answer it, after exactly the row's number of fault
answers (a ParseError with a null id from tavro-lsp, an error response from tavro-dap). An
oversized frame must get a fault answer and end the server with a non-zero status while its
input stays open; a frame cut short by the end of the input must not keep the server waiting.
Then the command line: --log records every message and fault, a usage error exits with 1.
"""
import os
import queue
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import frames  # noqa: E402
from frames import encode as body, frame  # noqa: E402

TIMEOUT = 10

PROTOCOLS = {
    # (a valid request with id or seq 7, is it its answer, is it a framing fault's answer)
    "lsp": (body({"jsonrpc": "2.0", "id": 7, "method": "initialize",
                  "params": {"capabilities": {}}}),
            lambda m: m.get("id") == 7 and "result" in m,
            lambda m: m.get("id", 0) is None and m.get("error", {}).get("code") == -32700),
    "dap": (body({"seq": 7, "type": "request", "command": "initialize",
                  "arguments": {"adapterID": "tavro"}}),
            lambda m: m.get("request_seq") == 7 and m.get("success") is True,
            lambda m: m.get("request_seq") == 0 and m.get("success") is False
            and m.get("message", "").startswith("Malformed frame")),
}

NOT_A_REQUEST = frame(body({"seq": 0}))  # a whole frame; its answer is no framing fault's
# (name, bytes before the valid request or a function that frames it, fault answers expected
# before its answer)
TABLE = [
    ("CR LF header", b"", 0),
    ("bare LF header", lambda request: frame(request, b"\n"), 0),
    ("CR LF and LF mixed", lambda request: b"Content-Length: %d\r\n\n" % len(request) + request, 0),
    ("lower-case field, other fields",
     lambda request: b"content-type: x\r\ncontent-length:%d\r\n\r\n" % len(request) + request, 0),
    ("line ends between frames", b"\r\n\r\n\n", 0),
    ("Content-Length: abc, then stray bytes", b"Content-Length: abc\r\nstray bytes", 1),
    ("Content-Length: abc with bare LF", b"Content-Length: abc\n\n", 1),
    ("Content-Length: -1", b"Content-Length: -1\r\n\r\n", 1),
    ("Content-Length: 1.5", b"Content-Length: 1.5\r\n\r\n", 1),
    ("Content-Length: 0x10", b"Content-Length: 0x10\r\n\r\n", 1),
    ("empty Content-Length", b"Content-Length: \r\n\r\n", 1),
    ("two Content-Lengths that disagree", b"Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}", 1),
    ("missing Content-Length", b"Content-Type: application/json\r\n\r\n{}", 1),
    ("stray bytes before a frame", b"stray", 1),
    ("stray bytes between frames", NOT_A_REQUEST + b"}{", 1),
    ("a line that is not a field", b"{\"seq\": 1}\r\n\r\n", 1),
    ("two bad headers in a row", b"X: 1\r\n\r\nContent-Length: x\r\n\r\n", 2),
    ("header that never ends", b"Content-Type: " + b"a" * 10000, 1),
    ("body shorter than its Content-Length", b"Content-Length: 500\r\n\r\n{\"seq\":", 1),
    ("valid frame split across many reads", lambda request: [frame(request)[i:i + 7] for i in
                                                             range(0, len(frame(request)), 7)], 0),
]


class Server(frames.Server):
    def __init__(self, command):
        super().__init__(command, TIMEOUT, stderr=subprocess.PIPE)

    def finish(self):
        """Closes the input and returns the exit status and standard error."""
        try:
            self.process.stdin.close()
        except BrokenPipeError:
            pass
        try:
            self.process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None, b""
        return self.process.returncode, self.process.stderr.read()


def answer_after(server, answers, faults):
    """Waits for the valid request's answer; returns the number of fault answers before it."""
    count = 0
    while True:
        message = server.next()
        if faults(message):
            count += 1
        elif answers(message):
            return count


def run_row(command, protocol, data):
    request, answers, faults = PROTOCOLS[protocol]
    server = Server(command)
    try:
        data = data(request) if callable(data) else data + frame(request)
        for piece in data if isinstance(data, list) else [data]:
            server.write(piece)
            time.sleep(0.002)
        return answer_after(server, answers, faults)
    finally:
        server.finish()


def check(command, protocol):
    failures = []
    request, answers, faults = PROTOCOLS[protocol]
    for name, data, expected in TABLE:
        try:
            count = run_row(command, protocol, data)
            if count != expected:
                failures.append(f"{name}: {count} fault answers, not {expected}")
        except (queue.Empty, EOFError) as error:
            failures.append(f"{name}: the valid request after it got no answer ({error!r})")

    # An oversized frame: a fault answer, then the server ends by itself with a non-zero status.
    for length in (b"1000000000000", b"67108865", b"99999999999999999999999999"):
        server = Server(command)
        server.write(b"Content-Length: " + length + b"\r\n\r\n{}")
        try:
            if not faults(server.next()):
                failures.append(f"Content-Length {length}: the first answer is not a fault")
            server.process.wait(timeout=TIMEOUT)
            if server.process.returncode == 0:
                failures.append(f"Content-Length {length}: the server ended with status 0")
        except (queue.Empty, EOFError, subprocess.TimeoutExpired) as error:
            failures.append(f"Content-Length {length}: no fault answer and end ({error!r})")
        server.finish()

    # A body cut short by the end of the input: the request before it is answered, and the
    # server ends without waiting for bytes that never come.
    server = Server(command)
    server.write(frame(request) + b"Content-Length: 50\r\n\r\n{\"seq\"")
    try:
        answer_after(server, answers, faults)
    except (queue.Empty, EOFError) as error:
        failures.append(f"body cut short at the end: the request before it ({error!r})")
    status, errors = server.finish()
    if status is None or b"ended inside a frame" not in errors:
        failures.append(f"body cut short at the end: status {status}, standard error {errors!r}")

    # --log records what came in, what went out and the fault, one line each.
    with tempfile.TemporaryDirectory() as directory:
        log = os.path.join(directory, "log")
        try:
            run_row(command + ["--log", log], protocol, b"Content-Length: abc\r\n\r\n")
            with open(log) as f:
                kinds = [line.split()[1] for line in f]
        except (queue.Empty, EOFError, OSError) as error:
            kinds = repr(error)
        if kinds[:1] != ["start"] or not {"in", "out", "fault"} <= set(kinds):
            failures.append(f"--log recorded {kinds}")
        # A usage error, and a log file that cannot be opened, exit with 1.
        for arguments, status in ((["--bogus"], 1), (["extra"], 1), (["--help"], 0),
                                  (["--log", os.path.join(directory, "no/such/dir")], 1)):
            got = subprocess.run(command + arguments, capture_output=True, stdin=subprocess.DEVNULL)
            if got.returncode != status:
                failures.append(f"{' '.join(arguments)}: status {got.returncode}, not {status}")
    return failures


def main():
    protocol, server = sys.argv[1], os.path.abspath(sys.argv[2])
    failures = check([server], protocol)
    for failure in failures:
        print(f"{protocol}: {failure}")
    print(f"{protocol}: {len(TABLE)} rows, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
