#!/usr/bin/env python3
"""Writes the seed corpora of the two fuzzers, one file per input.

  OUT/json/     payloads, for fuzz_json
  OUT/command/  command, byte 0xFF, payload; and bare payloads, which the
                command harness gives to each command
  OUT/json.dict the fuzzers' dictionary: the tokens of fuzz/json.dict, then
                the commands and the keys of the records' fields

Sources: the calls recorded from the Python tests (--calls, written by
record_calls.py), the files of a JSON conformance suite (--suite, when the
directory exists), and a few payloads written here so that a corpus is never
empty.
"""

import argparse
import hashlib
import json
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

from engine_model import COMMANDS, RETENTION_INPUT, TIER_INPUT  # noqa: E402

SEPARATOR = b"\xff"

BUILT_IN = [
    ("tier", '{"days_since_recall": 2, "retrieval_count": 1, "importance": 0.5, "frequency": 0.5}'),
    ("tier", '[10, 3, 0, 0, true, false]'),
    ("tier", '{"days_since_recall": 1000, "retrieval_count": 0, "importance": 0, '
             '"frequency": 0, "is_procedural": false, "keep_forever": true, "note": [1, {"x": null}]}'),
    ("tier-batch", '{"items": [[0, 0, 0, 0], [40, 680, 0, 0], {"days_since_recall": 180, '
                   '"retrieval_count": 640000, "importance": 0, "frequency": 0}], "note": 1}'),
    ("score", '[2, 1, 0.5, 1]'),
    ("score", '{"days_since_recall": -5, "retrieval_count": 1e308, "importance": -1, "frequency": 2}'),
    ("score", '["a\\nb\\"c\\u00e9\\ud83d\\ude00\\u0000", 1, 2, 3]'),
    ("", '[-0, 18446744073709551615, 18446744073709551616, -9223372036854775808, 1e-400, 5e-324]'),
    ("tier", '\r\n {"Importance": 1, "z\\/": "\\b\\f\\t", "": {}} \n'),
    ("tiér", "[[[[[]]]]]"),
]


def write_entry(directory, data):
    name = hashlib.sha1(data).hexdigest()
    (directory / name).write_bytes(data)


def write_dictionary(path):
    """The tokens of json.dict, and the names the engine knows, as libFuzzer
    dictionary entries."""
    names = [*COMMANDS, *(f'"{name}"' for name in
                          dict.fromkeys(TIER_INPUT.names + RETENTION_INPUT.names))]
    entries = [json.dumps(name) for name in names]
    path.write_text((HERE / "json.dict").read_text(encoding="utf-8") + "\n".join(entries) + "\n",
                    encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, type=pathlib.Path)
    parser.add_argument("--calls", type=pathlib.Path, action="append", default=[])
    parser.add_argument("--suite", type=pathlib.Path)
    args = parser.parse_args()

    calls = list(BUILT_IN)
    for path in args.calls:
        with open(path, encoding="utf-8") as lines:
            calls += [(c["command"], c["payload"]) for c in map(json.loads, lines)]

    json_dir, command_dir = args.out / "json", args.out / "command"
    for d in (json_dir, command_dir):
        d.mkdir(parents=True, exist_ok=True)
    for command, payload in calls:
        data = payload.encode("utf-8")
        write_entry(json_dir, data)
        write_entry(command_dir, command.encode("utf-8") + SEPARATOR + data)

    write_dictionary(args.out / "json.dict")
    suite = 0
    if args.suite and args.suite.is_dir():
        for path in sorted(args.suite.iterdir()):
            data = path.read_bytes()
            write_entry(json_dir, data)
            write_entry(command_dir, data)
            suite += 1
    print(f"seeds: {len(calls)} calls ({len(calls) - len(BUILT_IN)} recorded from the tests), "
          f"{suite} conformance files, in {args.out}")


if __name__ == "__main__":
    main()
