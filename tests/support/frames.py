"""The Content-Length framing that tavro-lsp and tavro-dap speak, for the tests' clients: a
frame made, a server's whole output split into messages, and a server run with a thread that
reads its frames, so that every wait has a time limit and a hang fails."""
import json
import queue
import subprocess
import threading


def frame(body, end=b"\r\n"):
    """One frame around body (bytes), its header's lines ended by end."""
    return b"Content-Length: %d%s%s%s" % (len(body), end, end, body)


def encode(message):
    return json.dumps(message).encode()


def split(data):
    """Splits a server's output into messages; fails on anything that is not a frame."""
    messages = []
    while data:
        header, sep, rest = data.partition(b"\r\n\r\n")
        if not sep or not header.startswith(b"Content-Length: "):
            raise ValueError("not a frame: %r" % data[:80])
        length = int(header[len(b"Content-Length: "):])
        messages.append(json.loads(rest[:length]))
        data = rest[length:]
    return messages


class Server:
    """A server on standard input and output; its messages come in through next()."""

    def __init__(self, command, timeout, **popen):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        **popen)
        self.timeout = timeout
        self.messages = queue.Queue()  # every message read, then None at the end of the output
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        out = self.process.stdout
        while True:
            header = b""
            while not header.endswith(b"\r\n\r\n"):
                byte = out.read(1)
                if not byte:
                    self.messages.put(None)
                    return
                header += byte
            self.messages.put(json.loads(out.read(int(header.split(b":")[1]))))

    def write(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def next(self):
        """The next message; queue.Empty after the time limit, EOFError once the output ends."""
        message = self.messages.get(timeout=self.timeout)
        if message is None:
            raise EOFError("the server ended its output")
        return message
