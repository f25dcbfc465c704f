"""pytest plugin that records the arguments of every call of
``mnemoweaver_engine_native.run`` made by the tests, as seeds for the fuzzers.

Load it with ``-p record_calls`` (this directory on PYTHONPATH) and name the
output file in MNEMO_RECORD_CALLS; each line is a JSON object with
"command" and "payload". Calls whose arguments are not both str, hold a lone
surrogate or are larger than MAX_BYTES are left out, and each pair is
recorded once. The wrapper replaces ``run``, so tests that inspect the
function object itself fail in a recording run: only the calls matter here.
"""

import json
import os

MAX_BYTES = 64 * 1024


def pytest_configure(config):
    path = os.environ.get("MNEMO_RECORD_CALLS")
    if not path:
        return
    import mnemoweaver_engine_native as engine

    original = engine.run
    seen = set()
    out = open(path, "w", encoding="utf-8")  # noqa: SIM115 - open for the whole session
    config.add_cleanup(out.close)

    def record(command, payload):
        if not (isinstance(command, str) and isinstance(payload, str)):
            return
        if len(command) + len(payload) > MAX_BYTES or (command, payload) in seen:
            return
        try:
            command.encode("utf-8")
            payload.encode("utf-8")
        except UnicodeEncodeError:
            return
        seen.add((command, payload))
        out.write(json.dumps({"command": command, "payload": payload}) + "\n")

    def recording_run(*args, **kwargs):
        bound = dict(zip(("command", "payload_json"), args, strict=False))
        bound.update(kwargs)
        record(bound.get("command"), bound.get("payload_json"))
        return original(*args, **kwargs)

    engine.run = recording_run
