"""Steps back are exact: after n steps of an example, n steps back pass through every earlier
state again (registers, IP, flag, step count, output length, all 4096 bytes of memory through
readMemory), down to the start; then n steps forward again reach the same states once more.
    step-back.py ADAPTER EXAMPLES_DIR"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dapclient import Client, given_input  # noqa: E402

STEPS = 300


def state(client):
    memory = client.call("readMemory", memoryReference="0", count=4096)["data"]
    return client.registers(), memory


def check(adapter, program, n, start):
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
    adapter, examples = sys.argv[1:3]
    # name: steps, and where to start (a line and its hit), or None for the start
    cases = [("fib", STEPS, None), ("fib", STEPS, (16, 12)), ("sort", STEPS, None),
             ("primes", STEPS, None), ("sum", 39, None), ("factorial", 52, None)]
    failed = 0
    for name, n, start in cases:
        verdict = check(adapter, os.path.join(examples, name + ".tas"), n, start)
        where = f" from line {start[0]}'s hit {start[1]}" if start else ""
        print(f"{name}{where}: {verdict or f'{n} steps back and forth are exact'}")
        failed += bool(verdict)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
