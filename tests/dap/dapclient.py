"""A small Debug Adapter Protocol client for the tests: it starts tavro-dap, sends requests
and collects every response and event, with a time limit on each wait so that a hang fails."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from frames import encode, frame, Server  # noqa: E402


def given_input(program):
    """NAME.in beside NAME.tas, the input of its runs, or None."""
    path = program[:-4] + ".in"
    return path if os.path.exists(path) else None


class Client(Server):
    def __init__(self, adapter, timeout=20, cwd=None):
        super().__init__([adapter], timeout, cwd=cwd)
        self.on_message = None  # called with every message as it is taken
        self.seq = 0  # the last request's
        self.events = []  # every event received, in order

    def _next(self):
        message = self.next()
        if self.on_message:
            self.on_message(message)
        if message["type"] == "event":
            self.events.append(message)
        return message

    def response(self, seq=None):
        """Waits for the response to request seq, or to any request when seq is None."""
        while True:
            message = self._next()
            if message["type"] == "response" and seq in (None, message["request_seq"]):
                return message

    def request(self, command, **arguments):
        """Sends a request and returns its response (success or not)."""
        self.seq += 1
        self.write(frame(encode({"seq": self.seq, "type": "request", "command": command,
                                 "arguments": arguments})))
        return self.response(self.seq)

    def call(self, command, **arguments):
        """Sends a request that must succeed and returns its body."""
        reply = self.request(command, **arguments)
        assert reply["success"], f"{command} failed: {reply.get('message')}"
        return reply.get("body", {})

    def event(self, *names):
        """Takes the first event not yet taken of one of names, waiting for it if need be."""
        for index, message in enumerate(self.events):
            if message["event"] in names:
                return self.events.pop(index)
        while True:
            message = self._next()
            if message["type"] == "event" and message["event"] in names:
                self.events.remove(message)
                return message

    def output(self, category):
        """The text of every output event of a category received so far."""
        return "".join(e["body"]["output"] for e in self.events
                       if e["event"] == "output" and e["body"]["category"] == category)

    def start(self, program, **launch):
        """initialize, launch (leaving out attributes given as None), configurationDone."""
        self.call("initialize", adapterID="tavro", linesStartAt1=True, columnsStartAt1=True)
        self.call("launch", program=program, **{k: v for k, v in launch.items() if v is not None})
        self.event("initialized")
        self.call("configurationDone")

    def registers(self):
        variables = self.call("variables", variablesReference=1)["variables"]
        return {v["name"]: v["value"] for v in variables}

    def stopped(self):
        return self.event("stopped")["body"]

    def step(self, command):
        """Sends a step of thread 1 and takes the event that ends it: stopped or terminated."""
        self.call(command, threadId=1)
        return self.event("stopped", "terminated")

    def close(self):
        try:
            if self.process.poll() is None:
                self.request("disconnect")
        except Exception:
            pass
        try:
            self.process.wait(timeout=self.timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise
