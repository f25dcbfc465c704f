"""The commands written in Python, as a caller would write them without the
engine: load the payload, score and decide in Python (with the one Python
model of the formula and the rules, tests/engine_model.py), dump the
response with sorted keys. `Model(orjson.loads, ...)` and
`Model(json.loads, ...)` are the two anchors the engine is compared with."""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))

from engine_model import READS, decide, score


def _fields(item, record):
    """The item's values by field name, as a caller would decode them: the
    required numbers, then the flags given (false where absent)."""
    names = record.names
    if isinstance(item, dict):
        values = {f.name: item.get(f.name, None if f.required else False) for f in record.fields}
    elif isinstance(item, list) and record.required <= len(item) <= len(names):
        values = dict(zip(names, item, strict=False))
        values.update(dict.fromkeys(names[len(item):], False))
    else:
        raise ValueError("invalid item")
    for f in record.fields:
        v = values[f.name]
        if f.kind == "f64":
            if isinstance(v, bool) or not isinstance(v, (int, float)):
                raise ValueError("invalid number")
            values[f.name] = float(v)
    return values


class Model:
    def __init__(self, loads, dumps_sorted):
        self.loads = loads
        self.dumps = dumps_sorted

    def run(self, command, payload):
        data = self.loads(payload)
        record = READS[command].record
        if command == "tier":
            result = decide(**_fields(data, record))
        elif command == "tier-batch":
            result = {"decisions": [decide(**_fields(item, record)) for item in data["items"]]}
        elif command == "score":
            r, stability, boost = score(**_fields(data, record))
            result = {"retention": r, "stability": stability, "boost": boost}
        else:
            raise ValueError("unknown command")
        return self.dumps({"ok": True, "result": result})


def orjson_model():
    import orjson

    return Model(orjson.loads, lambda obj: orjson.dumps(obj, option=orjson.OPT_SORT_KEYS).decode())


def json_model():
    import json

    return Model(json.loads, lambda obj: json.dumps(obj, sort_keys=True, separators=(",", ":")))
