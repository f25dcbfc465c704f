"""Peak memory of one call, measured in a fresh process.

Usage: python memory_peak.py PAYLOAD_FILE engine|orjson

Reads the payload into a str, resets the kernel's high-water mark of the
resident set (/proc/self/clear_refs), makes one call and prints, as JSON, the
resident set before the call, the high-water mark during it, and the sizes of
the payload and of the result. The payload str is ASCII, so the engine's UTF-8
view of it is the str's own storage, not a copy."""

import gc
import json
import pathlib
import sys


def status(field):
    with open("/proc/self/status") as lines:
        for line in lines:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise KeyError(field)


def main(path, mode):
    payload = pathlib.Path(path).read_text()
    if mode == "engine":
        import mnemoweaver_engine_native

        def call():
            return mnemoweaver_engine_native.run("tier-batch", payload)
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


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
