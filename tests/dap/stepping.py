"""Stepping through tavro-dap, example by example, held to what must come out.

    stepping.py trace ADAPTER TAVRO EXAMPLES_DIR
Every example runs under tavro -t and under tavro-dap one stepIn at a time; before each step
the registers, IP and below flag that the adapter reports must equal the matching trace line,
the run must take as many steps, and the output events must equal tavro's output byte for
byte. dice.tas is left out: tavro seeds its random port from the clock.

    stepping.py back ADAPTER EXAMPLES_DIR
Steps back are exact: after n steps of an example, n steps back pass through every earlier
state again (registers, IP, flag, step count, output length, all 4096 bytes of memory through
readMemory), down to the start; then n steps forward again reach the same states once more."""
import glob
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dapclient import Client, given_input  # noqa: E402

TRACE_PREFIX = ". . . . . . . "
# Steps back: an example, its steps, and where to start (a line and its hit), or None.
BACK = [("fib", 300, None), ("fib", 300, (16, 12)), ("sort", 300, None), ("primes", 300, None),
        ("sum", 39, None), ("factorial", 52, None)]


def tavro_trace(tavro, program, input_path):
    with open(input_path or os.devnull, "rb") as stdin:
        run = subprocess.run([tavro, "-t", program], stdin=stdin, capture_output=True, timeout=60)
    if run.returncode != 0:
        return None, None
    states, output = [], b""
    for line in run.stdout.splitlines(keepends=True):
        if line.startswith(TRACE_PREFIX.encode()):
            fields = line.decode().split()
            ip = fields[7].rstrip(":")
            ax, bx, cx, dx, flag = fields[-5:]
            states.append({"IP": ip, "AX": ax, "BX": bx, "CX": cx, "DX": dx,
                           "below": "1" if flag == "B" else "0"})
        else:
            output += line
    return states, output.decode()


def against_trace(adapter, tavro, program):
    states, expected_output = tavro_trace(tavro, program, given_input(program))
    if states is None:
        return None  # tavro refuses it: nothing to run
    client = Client(adapter)
    client.start(program, stopOnEntry=True, input=given_input(program))
    client.stopped()
    try:
        # An instruction fetched outside the code fails without a trace line: one step more.
        for step in range(len(states) + 1):
            registers = client.registers()
            if step < len(states):
                reported = {name: registers[name] for name in states[step]}
                if reported != states[step]:
                    return f"step {step}: tavro -t shows {states[step]}, the adapter {reported}"
            event = client.step("stepIn")["event"]
            if event == "terminated":
                if step < len(states) - 1:
                    return f"the run ended after {step + 1} steps, tavro's after {len(states)}"
                break
        if event != "terminated":
            return f"the run goes on after tavro's {len(states)} steps"
        output = client.output("stdout")
        if output != expected_output:
            return f"output differs:\n{expected_output!r}\n{output!r}"
    finally:
        client.close()
    return ""


def state(client):
    memory = client.call("readMemory", memoryReference="0", count=4096)["data"]
    return client.registers(), memory


def back_and_forth(adapter, program, n, start):
    client = Client(adapter)
    client.start(program, stopOnEntry=True, seed=7, input=given_input(program))
    client.stopped()
    try:
        if start:  # first run on to a later hit of a line, past the undo history's first snapshots
            line, hit = start
            client.call("setBreakpoints", source={"path": program},
                        breakpoints=[{"line": line, "hitCondition": f"== {hit}"}])
            client.call("continue", threadId=1)
            client.stopped()
            client.call("setBreakpoints", source={"path": program}, breakpoints=[])
        states = [state(client)]
        for _ in range(n):
            client.step("stepIn")
            states.append(state(client))
        for back in range(n - 1, -1, -1):
            client.step("stepBack")
            if state(client) != states[back]:
                return f"after {n} steps, {n - back} steps back differ from step {back}"
        if not start and client.step("stepBack")["body"].get("reason") != "entry":
            return "a step back from the start is not reported as the entry"
        for forward in range(1, n + 1):
            client.step("stepIn")
            if state(client) != states[forward]:
                return f"stepping forward again, step {forward} differs"
    finally:
        client.close()
    return ""


def main():
    mode, adapter, examples = sys.argv[1], sys.argv[2], sys.argv[-1]
    failed = 0
    if mode == "trace":
        for program in sorted(glob.glob(os.path.join(examples, "*.tas")) +
                              glob.glob(os.path.join(examples, "errors", "*.tas"))):
            if os.path.basename(program) == "dice.tas":
                continue
            verdict = against_trace(adapter, sys.argv[3], program)
            failed += bool(verdict)
            shown = "not runnable, skipped" if verdict is None else verdict or "every step agrees"
            print(f"{os.path.relpath(program, examples)}: {shown}")
    else:
        for name, n, start in BACK:
            verdict = back_and_forth(adapter, os.path.join(examples, name + ".tas"), n, start)
            failed += bool(verdict)
            where = f" from line {start[0]}'s hit {start[1]}" if start else ""
            print(f"{name}{where}: {verdict or f'{n} steps back and forth are exact'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
