"""Golden sessions: each NAME.session in a directory is a script of requests that runs against
the real tavro-dap; every message sent and received is written to a transcript, which must
equal NAME.golden byte for byte. With TAVRO_BLESS=1 the golden files are rewritten instead:
read every blessed file before committing it.
    run-sessions.py ADAPTER DIR [NAME...]
A script is a JSON list of steps:
    {"send": COMMAND, "arguments": {...}}   a request; waits for its response
    {"wait": EVENT}                         waits for the next event of that name
    {"raw": TEXT}                           writes TEXT as it is; waits for the next response
The adapter runs inside DIR, so programs are named relative to it; absolute paths in the
transcript are written relative to DIR."""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dapclient import Client  # noqa: E402


def transcript(adapter, directory, name):
    with open(os.path.join(directory, name + ".session")) as f:
        steps = json.load(f)
    client = Client(adapter, cwd=directory)
    lines = []
    here = os.path.realpath(directory) + "/"

    def record(arrow, message):
        message = {k: v for k, v in message.items() if k != "seq"}
        lines.append(arrow + " " + json.dumps(message, sort_keys=True).replace(here, ""))

    client.on_message = lambda message: record("<-", message)
    try:
        for step in steps:
            if "send" in step:
                arguments = step.get("arguments", {})
                record("->", {"command": step["send"], "arguments": arguments})
                client.request(step["send"], **arguments)
            elif "wait" in step:
                lines.append("   (waits for " + step["wait"] + ")")
                client.event(step["wait"])
            else:
                record("->", {"raw": step["raw"]})
                client.write(step["raw"].encode())
                client.response()
    finally:
        client.close()
    return "\n".join(lines) + "\n"


def main():
    adapter, directory = os.path.abspath(sys.argv[1]), sys.argv[2]
    names = sys.argv[3:] or sorted(f[:-8] for f in os.listdir(directory) if f.endswith(".session"))
    failed = 0
    for name in names:
        actual = transcript(adapter, directory, name)
        golden = os.path.join(directory, name + ".golden")
        if os.environ.get("TAVRO_BLESS") == "1":
            with open(golden, "w") as f:
                f.write(actual)
            continue
        expected = open(golden).read() if os.path.exists(golden) else ""
        if actual != expected:
            failed += 1
            print(f"--- {name}: the transcript differs from {name}.golden")
            import difflib
            sys.stdout.writelines(difflib.unified_diff(
                expected.splitlines(True), actual.splitlines(True), "expected", "actual"))
    print(f"{len(names) - failed} of {len(names)} sessions as expected")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
