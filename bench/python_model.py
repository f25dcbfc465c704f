"""The commands written in Python, as a caller would write them without the
engine: load the payload, score and decide in Python, dump the response with
sorted keys. `Model(orjson.loads, ...)` and `Model(json.loads, ...)` are the
two anchors the engine is compared with."""

import math

FIELDS = ("days_since_recall", "retrieval_count", "importance", "frequency")


def _clamp_unit(x):
    c = 0.0 if x < 0.0 else x
    return 1.0 if c > 1.0 else c


def retention(days, count, importance, frequency):
    r = count if count > 0 else 0.0
    s = math.log(r + 1.0)
    stability = s if s > 0.001 else 0.001
    age = days if days > 0 else 0.0
    decay = math.exp((-age) / stability)
    boost = ((r * 0.45 + 1.0) + _clamp_unit(importance) * 0.3) + _clamp_unit(frequency) * 0.25
    p = decay * boost
    value = 0.0 if p < 0.0 else p
    return (10.0 if value > 10.0 else value), stability, boost


def _numbers(item):
    if isinstance(item, dict):
        values = [item.get(name) for name in FIELDS]
        flags = (item.get("is_procedural", False), item.get("keep_forever", False))
    elif isinstance(item, list) and 4 <= len(item) <= 6:
        values = item[:4]
        flags = ((*tuple(item[4:6]), False, False))[:2]
    else:
        raise ValueError("invalid item")
    for v in values:
        if isinstance(v, bool) or not isinstance(v, (int, float)):
            raise ValueError("invalid number")
    return [float(v) for v in values], flags


def decide(item):
    (days, count, importance, frequency), (procedural, forever) = _numbers(item)
    if forever:
        return {"tier": "warm_semantic", "action": "keep_forever_tag", "retention": 1.0}
    r = retention(days, count, importance, frequency)[0]
    if days <= 7.0 and count > 0.0:
        tier, action = "hot", "inject_to_prompt"
    elif count >= 3.0 and procedural:
        tier, action = "warm_procedural", "keep_procedural"
    elif r >= 0.8:
        tier, action = "warm_semantic", "long_term_semantic"
    elif days <= 30.0 and r >= 0.65:
        tier, action = "warm_episodic", "spaced_repetition"
    elif days >= 180.0 or r < 0.4:
        tier, action = "cold", "archive_on_demand"
    else:
        tier, action = "warm_episodic", "maintain_warm"
    return {"tier": tier, "action": action, "retention": r}


class Model:
    def __init__(self, loads, dumps_sorted):
        self.loads = loads
        self.dumps = dumps_sorted

    def run(self, command, payload):
        data = self.loads(payload)
        if command == "tier":
            result = decide(data)
        elif command == "tier-batch":
            result = {"decisions": [decide(item) for item in data["items"]]}
        elif command == "score":
            (days, count, importance, frequency), _ = _numbers(data)
            r, stability, boost = retention(days, count, importance, frequency)
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
