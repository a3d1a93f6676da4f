"""Step over agrees in the debug adapter and in the page's engine: every program given is
stepped over from its start to its end (or its 2000th stop) by tavro-dap ("next" after "next")
and by the engine in WebAssembly under Node (web/tests/step-over.mjs), and the lines of the
stops must be the same.
Both also take and refuse the same breakpoint conditions and hit counts, in the same words.
    step-over.py ADAPTER NODE STEP_SCRIPT SOURCE...
A SOURCE's NAME.in beside it, if any, is the input of both; without one, both meet the end
of input at the first IN."""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dap"))
from dapclient import Client, given_input  # noqa: E402


def adapter_stops(adapter, source, given):
    client = Client(adapter)
    try:
        client.start(os.path.abspath(source), stopOnEntry=True, seed=1, input=given or EMPTY)
        client.stopped()
        stops = []
        while len(stops) < 2000 and client.step("next")["event"] != "terminated":
            stops.append(client.call("stackTrace", threadId=1, levels=1)["stackFrames"][0]["line"])
        return stops
    finally:
        client.close()


EMPTY = os.path.join(tempfile.mkdtemp(), "empty.in")  # no input: IN meets its end at once
open(EMPTY, "w").close()


# Conditions and hit counts on a breakpoint of agreement/stack.tas: the refused with a reason
# each, names of every case and length, and numbers at and past their bounds.
CONDITIONS = [
    ("AX == 3", ""), ("ax", ""), ("[drop] != 0", ""), ("[DX+2] > 0", ""), ("BELOW", ""),
    ("IP >= 0x10", ""), ("Forever == 1", ""), ("AGAIN1234 < 0", ""), ("DOWNWARD", ""),
    ("   ", ""), ("", "3"), ("", "== 2"), ("", " % 4 "), ("AX", ">= 0"), ("[-2]", ""),
    ("[4094]", ""), ("[4095]", ""), ("0xFFFFFFFF", ""), ("0x100000000", ""), ("[BX+70000]", ""),
    ("AX = 3", ""), ("AX == ", ""), ("AX == 3 4", ""), ("AX <== 1", ""), ("RANDOM", ""),
    ("COUNT == 1", ""), ("[BX", ""), ("[BX+]", ""), ("\u00c4X == 1", ""), ("A_X == 1", ""),
    ("", "% 0"), ("", "x"), ("", "-1"), ("", "== 2 3"), ("AX", "!= 2"),
]


def condition_refusals(adapter, source):
    client = Client(adapter)
    try:
        client.start(os.path.abspath(source), stopOnEntry=True, input=EMPTY)
        answers = client.call("setBreakpoints", source={"path": os.path.abspath(source)},
                              breakpoints=[{"line": 4, "condition": c, "hitCondition": h}
                                           for c, h in CONDITIONS])["breakpoints"]
        return [a.get("message", "") if not a["verified"] else "" for a in answers]
    finally:
        client.close()


def main():
    adapter, node, script, sources = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    page_answer = lambda *args: json.loads(subprocess.run(  # noqa: E731
        [node, script, *args], check=True, capture_output=True, text=True).stdout)
    failed = 0
    for source in sources:
        if os.path.getsize(source) == 0:
            continue  # tavro and the adapter read no empty file
        given = given_input(source)
        page = page_answer(source, *([given] if given else []))
        if page is None:
            continue  # assembly errors: nothing to step
        dap = adapter_stops(adapter, source, given)
        # A source may state where the stops must be, so that the two cannot agree on a fault.
        with open(source, "rb") as f:
            stated = [line[8:].split() for line in f if line.startswith(b"; stops:")]
        if stated and [int(n) for n in stated[0]] != dap:
            failed += 1
            print(f"FAIL {source}\n  stated:  {stated[0]}\n  adapter: {dap}")
        elif page != dap:
            failed += 1
            print(f"FAIL {source}\n  page:    {page}\n  adapter: {dap}")
    for source in [s for s in sources if s.endswith(os.path.join("agreement", "stack.tas"))]:
        page = page_answer(source, "--conditions", json.dumps(CONDITIONS))
        dap = condition_refusals(adapter, source)
        if page != dap or all(dap) or not any(dap):
            failed += 1
            for (c, h), p, d in zip(CONDITIONS, page, dap):
                if p != d:
                    print(f"FAIL condition {c!r} hit {h!r}\n  page:    {p!r}\n  adapter: {d!r}")
    print(f"{len(sources) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


main()
