"""Peak memory of one call, each measured in a fresh process.

    python3 bench/memory_peak.py                 the table of hostile shapes
    python3 bench/memory_peak.py PAYLOAD_FILE engine|orjson [COMMAND]

With no arguments, makes each payload of the table below, runs one call of it
in a fresh process and prints the payload's size, the engine's peak extra
resident memory during the call, and the bound it must stay within: the
payload's size plus twice the response's (the engine's buffer and the
returned str) plus 4 MiB.

With a payload file, reads it into a str, resets the kernel's high-water mark
of the resident set (/proc/self/clear_refs), makes one call (tier-batch unless
COMMAND is given; orjson.loads for the orjson mode) and prints, as JSON, the
resident set before the call, the high-water mark during it, and the sizes of
the payload and of the answer (the response, or the message of the error it
raised). The payload str is ASCII, so the engine's UTF-8 view of it is the
str's own storage, not a copy. Every call runs pinned to one processor
(one_processor.py), as the other benchmarks' do."""

import gc
import json
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from one_processor import pin

MIB = 1 << 20
FIELDS = '"days_since_recall":1,"retrieval_count":2,"importance":0.5,"frequency":0.5'
ZEROS = ",".join(["0"] * 10_000_000)  # 20 MB

# (name, command, payload)
SHAPES = [
    ("tier: 20 MB array [0,0,...] (invalid length)", "tier", lambda: f"[{ZEROS}]"),
    ("tier-batch: the same array as an ignored member", "tier-batch",
     lambda: f'{{"ignored":[{ZEROS}],"items":[]}}'),
    ("tier-batch: the same array as one item", "tier-batch", lambda: f'{{"items":[[{ZEROS}]]}}'),
    ("tier: 1,000,000 unknown keys", "tier",
     lambda: "{" + "".join(f'"k{i}":0,' for i in range(1_000_000)) + FIELDS + "}"),
    ("tier: 1,000,000 duplicate keys", "tier",
     lambda: "{" + '"days_since_recall":0,' * 1_000_000 + FIELDS + "}"),
    ("tier: a 50 MB string member", "tier", lambda: '{"note":"' + "a" * 50_000_000 + '",' + FIELDS + "}"),
    ("tier-batch: 1,000,000 records in a later member", "tier-batch",
     lambda: '{"items":[[1,2,0.5,0.5]],"held":[' + ",".join(["[1,2,0.5,0.5]"] * 1_000_000) + "]}"),
    ("tier-batch: 1,000,000 items", "tier-batch", None),
]


def status(field):
    with open("/proc/self/status") as lines:
        for line in lines:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise KeyError(field)


def measure(path, mode, command="tier-batch"):
    payload = pathlib.Path(path).read_text()
    if mode == "engine":
        import mnemoweaver_engine_native

        def call():
            try:
                return mnemoweaver_engine_native.run(command, payload)
            except RuntimeError as error:
                return error.args[0]
    else:
        import orjson

        def call():
            return orjson.loads(payload)

    gc.collect()
    gc.disable()
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    before = status("VmRSS")
    result = call()
    peak = status("VmHWM")
    print(json.dumps({
        "payload_bytes": len(payload),
        "rss_before": before,
        "peak": peak,
        "result_bytes": len(result) if isinstance(result, str) else None,
    }))


def table():
    from payloads import batch

    print(pin() + "\n")
    print(f"{'shape':52} {'payload':>9} {'peak extra':>11} {'bound':>9}")
    with tempfile.TemporaryDirectory() as tmp:
        for name, command, make in SHAPES:
            path = pathlib.Path(tmp) / "payload.json"
            path.write_text(make() if make else batch(1_000_000))
            out = subprocess.run([sys.executable, __file__, str(path), "engine", command],
                                 capture_output=True, text=True, check=True).stdout
            m = json.loads(out)
            extra = m["peak"] - m["rss_before"]
            bound = m["payload_bytes"] + 2 * m["result_bytes"] + 4 * MIB
            flag = "" if extra <= bound else "  over the bound"
            print(f"{name:52} {m['payload_bytes'] / MIB:7.1f} MiB {extra / MIB:7.1f} MiB"
                  f" {bound / MIB:5.1f} MiB{flag}")


if __name__ == "__main__":
    pin()
    if len(sys.argv) == 1:
        table()
    else:
        measure(*sys.argv[1:])
