#!/usr/bin/env python3
"""The engine's answers to a fixed set of payloads, for comparing machines
byte for byte (tools/compare_platforms.sh).

  platform_answers.py make PAYLOADS [--count N]
      Writes N payloads per command (default 8,000: 24,000 in all), made
      from a fixed seed, one JSON line [command, payload] each.
  platform_answers.py answer PAYLOADS ANSWERS
      Runs every payload through mnemoweaver_engine_native.run and writes one
      line per payload: the SHA-256 of its answer (the response, or the
      exception's type and message), then a last line with the SHA-256 of
      all answers in order.

The payloads reach every way through the reader and the commands: objects
with fields in order and out of order, with unknown keys and escaped keys,
arrays of every length the record allows, compact, spaced and irregular
layouts, numbers of every length (more than eight bytes on either side of the
point, exponents, signs, at the very end of the text), full-precision and
random-bit doubles, batches of one to forty items in mixed forms, and
faults: truncations, changed bytes, wrong types, missing fields, values out
of range.
"""

import argparse
import hashlib
import json
import math
import pathlib
import random
import struct
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))
from engine_model import READS

SEED = 20261209


def digits(rng, count):
    return "".join(rng.choice("0123456789") for _ in range(count))


def number_text(rng):
    """A JSON number, of any of the forms the reader tells apart."""
    kind = rng.randrange(10)
    sign = "-" if rng.random() < 0.1 else ""
    if kind == 0:  # whole, 1 to 21 digits (past 2**64 too)
        return sign + str(int(digits(rng, rng.randint(1, 21))))
    if kind == 1:  # short decimal, the most common form
        return sign + f"{rng.randint(0, 999)}.{digits(rng, rng.randint(1, 3))}"
    if kind == 2:  # long integer and fraction runs, more than eight bytes
        return (sign + str(int(digits(rng, rng.randint(1, 12)))) + "."
                + digits(rng, rng.randint(1, 20)))
    if kind == 3:  # exponents, every spelling
        mantissa = str(rng.randint(0, 99999))
        if rng.random() < 0.5:
            mantissa += "." + digits(rng, rng.randint(1, 6))
        return (sign + mantissa + rng.choice("eE") + rng.choice(("", "+", "-"))
                + str(rng.randint(0, 330)))
    if kind == 4:  # full-precision doubles
        return sign + repr(rng.random() * 10 ** rng.randint(-3, 6))
    if kind == 5:  # any finite double, from random bits
        while True:
            x = struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0]
            if math.isfinite(x):
                return repr(x)
    if kind == 6:  # the edges
        return rng.choice(("0", "-0", "0.0", "1e308", "1e400", "-1e400", "5e-324", "2.5e-324",
                           "4.9406564584124654e-324", "1.7976931348623157e308",
                           "18446744073709551615", "18446744073709551616",
                           "-9223372036854775808", "-9223372036854775809", "1e-400",
                           "0.30000000000000004", "123456789012345678901234567890"))
    if kind == 7:  # counts as stores send them
        return str(rng.choice((0, 1, 2, 3, 5, 8, 13, 255, 256, 1023, 1024, 640000)))
    if kind == 8:  # unit interval at two decimals
        return f"{rng.randint(0, 100) / 100}"
    return sign + str(rng.randint(0, 400))


def value_text(rng, field, odd):
    if field.kind == "boolean":
        return rng.choice(("true", "false")) if rng.random() >= odd else rng.choice(
            ("null", "0", '"true"'))
    if rng.random() < odd:  # wrong type
        return rng.choice(('"1"', "true", "null", "[]", "{}", '"a\\u00e9\\n"'))
    return number_text(rng)


def separators(rng, layout):
    if layout == 0:
        return ",", ":"
    if layout == 1:
        return ", ", ": "
    blanks = lambda: "".join(rng.choice(" \t\r\n") for _ in range(rng.randint(0, 3)))  # noqa: E731
    return blanks() + "," + blanks(), blanks() + ":" + blanks()


def key_text(rng, name):
    if rng.random() < 0.03:  # the same key, escaped
        i = rng.randrange(len(name))
        return '"' + name[:i] + f"\\u{ord(name[i]):04x}" + name[i + 1:] + '"'
    return '"' + name + '"'


def record_text(rng, record, layout, odd):
    """One item of the record, in object or array form; odd: the chance of a
    wrong length and of each value's wrong type."""
    fields = record.fields
    lengths = range(record.required, len(fields) + 1)
    if rng.random() >= odd:
        count = rng.choice(lengths)
    else:
        count = rng.choice((0, 1, record.required - 1, len(fields) + 1))
    comma, colon = separators(rng, layout)
    values = [value_text(rng, fields[i % len(fields)], odd) for i in range(count)]
    if rng.random() < 0.25:
        return "[" + comma.join(values) + "]"
    members = [key_text(rng, fields[i].name) + colon + values[i]
               for i in range(min(count, len(fields)))]
    if rng.random() < 0.15:
        rng.shuffle(members)
    if rng.random() < 0.1:
        extra = rng.choice(('"note"' + colon + '"a\\"b\\u00e9\\ud83d\\ude00"',
                            '"x"' + colon + '[1, {"y": null}]', '"n\\u00f6"' + colon + "-1.5e-3"))
        members.insert(rng.randint(0, len(members)), extra)
    return "{" + comma.join(members) + "}"


def fault(rng, text):
    """The text truncated, or one byte changed, inserted or removed."""
    i = rng.randrange(len(text) + 1)
    how = rng.randrange(4)
    if how == 0:
        return text[:i]
    if how == 1:
        return text[:i] + rng.choice('x,:]}"0.e-\\ \x00\u00e9') + text[i + 1:]
    if how == 2:
        return text[:i] + rng.choice('x,:[{"0.-\\') + text[i:]
    return text[:i] + text[i + 1:]


def payloads(count):
    rng = random.Random(SEED)
    for command, reads in READS.items():
        for _ in range(count):
            layout = rng.randrange(3)
            if reads.batch:
                comma, colon = separators(rng, layout)
                items = [record_text(rng, reads.record, layout, 0.001)
                         for _ in range(rng.randint(1, 40))]
                text = "{" + '"items"' + colon + "[" + comma.join(items) + "]}"
            else:
                text = record_text(rng, reads.record, layout, 0.02)
            if rng.random() < 0.08:
                text = fault(rng, text)
            yield command, text


def answer(engine, command, payload):
    try:
        return engine.run(command, payload)
    except Exception as e:  # every failure is part of the answer
        return f"{type(e).__name__}: {e}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="step", required=True)
    make = sub.add_parser("make")
    make.add_argument("payloads")
    make.add_argument("--count", type=int, default=8000)
    run = sub.add_parser("answer")
    run.add_argument("payloads")
    run.add_argument("answers")
    args = parser.parse_args()

    if args.step == "make":
        with open(args.payloads, "w", encoding="utf-8") as out:
            for call in payloads(args.count):
                out.write(json.dumps(call) + "\n")
        return

    import mnemoweaver_engine_native as engine

    total = hashlib.sha256()
    with open(args.payloads, encoding="utf-8") as lines, \
            open(args.answers, "w", encoding="utf-8") as out:
        for line in lines:
            command, payload = json.loads(line)
            text = answer(engine, command, payload).encode("utf-8", "surrogatepass")
            total.update(hashlib.sha256(text).digest())
            out.write(hashlib.sha256(text).hexdigest() + "\n")
        out.write("all " + total.hexdigest() + "\n")


if __name__ == "__main__":
    main()
