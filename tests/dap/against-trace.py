"""The differential test: every example runs under tavro -t and under tavro-dap one stepIn at a
time; before each step the registers, IP and below flag that the adapter reports must equal the
matching trace line, the run must take as many steps, and the output events must equal tavro's
output byte for byte. dice.tas is left out: tavro seeds its random port from the clock.
    against-trace.py ADAPTER TAVRO EXAMPLES_DIR"""
import glob
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dapclient import Client, given_input  # noqa: E402

TRACE_PREFIX = ". . . . . . . "


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


def check(adapter, tavro, program):
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


def main():
    adapter, tavro, examples = sys.argv[1:4]
    programs = sorted(glob.glob(os.path.join(examples, "*.tas")) +
                      glob.glob(os.path.join(examples, "errors", "*.tas")))
    failed = 0
    for program in programs:
        if os.path.basename(program) == "dice.tas":
            continue
        verdict = check(adapter, tavro, program)
        name = os.path.relpath(program, examples)
        if verdict is None:
            print(f"{name}: not runnable, skipped")
        elif verdict:
            failed += 1
            print(f"{name}: {verdict}")
        else:
            print(f"{name}: every step agrees")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
