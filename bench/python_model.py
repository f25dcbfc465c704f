"""The commands written in Python, as a caller would write them without the
engine: load the payload, score and decide in Python (with the one Python
model of the formula and the rules, tests/engine_model.py), dump the
response with sorted keys. `Model(orjson.loads, ...)` and
`Model(json.loads, ...)` are the two anchors the engine is compared with."""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))

from engine_model import decide, score

FIELDS = ("days_since_recall", "retrieval_count", "importance", "frequency")


def _fields(item):
    """The values of an item's fields in order, as a caller would decode
    them: four numbers, then the flags given."""
    if isinstance(item, dict):
        values = [item.get(name) for name in FIELDS]
        flags = (item.get("is_procedural", False), item.get("keep_forever", False))
    elif isinstance(item, list) and 4 <= len(item) <= 6:
        values = item[:4]
        flags = item[4:6]
    else:
        raise ValueError("invalid item")
    for v in values:
        if isinstance(v, bool) or not isinstance(v, (int, float)):
            raise ValueError("invalid number")
    return (*map(float, values), *flags)


class Model:
    def __init__(self, loads, dumps_sorted):
        self.loads = loads
        self.dumps = dumps_sorted

    def run(self, command, payload):
        data = self.loads(payload)
        if command == "tier":
            result = decide(*_fields(data))
        elif command == "tier-batch":
            result = {"decisions": [decide(*_fields(item)) for item in data["items"]]}
        elif command == "score":
            r, stability, boost = score(*_fields(data)[:4])
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
