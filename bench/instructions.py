"""Instructions per call of the command layer, counted by callgrind, and where
they go: a single tier call, a single score call (the README's examples) and
one item of a tier-batch of realistic items. Each figure is the difference
between two runs of bench/instructions.cpp that differ only in how many calls
(or items) they make, counting only inside the command layer's entry, so
start-up cancels out. Counts repeat exactly from run to run, unlike timings.

    python3 bench/instructions.py [--build DIR] [--cmake-arg ARG ...] [--mix NAME]
                                  [--python [EXE]]

The cost is split by phase (PHASES below) from callgrind's self cost of each
source file and function; the driver is built with -g, which changes no
instruction, so that the code a function inlines from another file is counted
to that file. --mix chooses the items of the batch (payloads.MIXES). --python
also counts the same calls made from Python through the installed module's
`run`, binding the arguments and making the result str included. Counts do
not depend on the processor, but the runs are pinned to one all the same
(one_processor.py), as every benchmark's are.
"""

import argparse
import collections
import fnmatch
import hashlib
import os
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))

from one_processor import pin  # noqa: E402
from payloads import MIXES, SCORE_EXAMPLE, TIER_EXAMPLE  # noqa: E402

READING = "reading the record text"
NUMBERS = "numbers"
EXP = "exp"
LOG = "log"
FORMULA = "formula and decision"
DIGITS = "shortest digits"
NUMBER_TEXT = "number text"
DECISION_TEXT = "decision text, buffer, commas"
REST = "batch loop and the rest"
OTHER = "other"
ORDER = (READING, NUMBERS, EXP, LOG, FORMULA, DIGITS, NUMBER_TEXT, DECISION_TEXT, REST, OTHER)

# Where each instruction goes: the first row whose place pattern matches the
# source file (or, where the object has no line information, the object) and
# whose function pattern matches the function (its name without parameters)
# names the phase. Files come first, so that code inlined into another
# function still counts where it was written; rows by function name alone
# take what is inlined from headers of no phase of their own (the compiler's
# intrinsics, the standard library, src/platform/), and what they leave goes
# with the file the function itself is in. Anything still untaken is
# "other", and is listed.
PHASES = (
    # phase, places, functions
    (EXP, ("*/e_exp*", "*/w_exp*", "*/math_err.c"), ("*",)),
    (EXP, ("*/libm.so*", "*/libm-*", "*/math_config.h"), ("*exp*",)),
    # Underflow is reported by errno; of the formula's calls only exp can
    # underflow (log's arguments are at least 1).
    (EXP, ("*/libm.so*", "*/libm-*"), ("*xflow*", "*errno*", "__math_*")),
    (LOG, ("*/e_log*", "*/w_log*"), ("*",)),
    (LOG, ("*/libm.so*", "*/libm-*", "*/math_config.h"), ("*log*",)),
    (LOG, ("*/src/scoring/retention.*",), ("*log_table*",)),
    (NUMBERS, ("*/src/json/number_reader.*",), ("*",)),
    (READING, ("*/src/json/record_reader.*", "*/src/json/record.*", "*/src/json/syntax.*",
               "*/src/json/string_scan.*", "*/src/commands/batch.hpp",
               "*/src/commands/handlers.hpp", "*/src/scoring/*_input.*"), ("*",)),
    (FORMULA, ("*/src/scoring/retention.*", "*/src/scoring/tier_decision.*",
               "*/src/platform/float_select.*"), ("*",)),
    (DECISION_TEXT, ("*/src/scoring/decision_text.*", "*/src/json/buffer.*"), ("*",)),
    (DIGITS, ("*/src/json/shortest_decimal.*",), ("*",)),
    (NUMBER_TEXT, ("*/src/json/number_text.*", "*/src/platform/digit_text.*"), ("*",)),
    (NUMBERS, ("*",), ("*read_double*", "*_number", "*read_number*")),
    (DIGITS, ("*",), ("*shortest_decimal*",)),
    (NUMBER_TEXT, ("*",), ("*write_double*", "*write_decimal*", "*double_digits*",
                           "*write_exponent*", "*write_other_double*")),
    (DECISION_TEXT, ("*",), ("*decision_to_json*",)),
    (FORMULA, ("*",), ("*retention_of*", "*compute_retention*", "*decide_tier*", "*score_of*")),
    (READING, ("*",), ("*read_object*", "*read_array*", "*read_*_input*", "*scan_*",
                       "*walk_batch*", "*take_items*", "*read_payload*")),
    (REST, ("*/src/commands/*",), ("*",)),
    (REST, ("*",), ("mnemo::commands::*",)),
)

# Calls from Python are counted inside CPython's call of a functools.partial
# of `run` (the installed module is stripped, so its own `run` has no name to
# toggle on; a partial adds a few instructions per call and nothing at
# start-up calls one). The payload comes on standard input, so that the
# driver calls nothing else of the kind.
PYTHON_ENTRY = "partial_vectorcall"
PYTHON_DRIVER = """
import functools, sys
import mnemoweaver_engine_native as engine
command, repeats = sys.argv[1], int(sys.argv[2])
payload = sys.stdin.read()
run = functools.partial(engine.run, command)
for _ in map(run, [payload] * repeats):
    pass
"""


def build(directory, cmake_args):
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(directory), "-DMNEMO_PYTHON_MODULE=OFF",
                    "-DMNEMO_BUILD_BENCH=ON", "-DCMAKE_CXX_FLAGS=-g", *cmake_args], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(directory), "--target", "instructions"], check=True,
                   stdout=subprocess.DEVNULL)
    return directory / "instructions"


def self_costs(path):
    """Callgrind's self cost (the first event, Ir) of each (object, source
    file, the function's own file, function) in an output file, the source
    file being the one of the code inlined there (fi=, fe=). The costs add
    up to the run's total."""
    names = {}  # compressed names: (kind, id) -> name
    costs = collections.Counter()
    obj = source = file_of_function = function = "???"
    skip_next = False
    summary = None
    cost_field = 1  # after the position (a line number)

    def name(kind, value):
        match = re.match(r"\((\d+)\)(?: (.*))?$", value)
        if not match:
            return value
        if match.group(2) is not None:
            names[kind, match.group(1)] = match.group(2)
        return names[kind, match.group(1)]

    with open(path) as lines:
        for line in lines:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            head = line[0]
            if head.isdigit() or head in "+-*":
                if skip_next:  # the inclusive cost of a call
                    skip_next = False
                    continue
                fields = line.split()
                if len(fields) > cost_field:
                    costs[obj, source, file_of_function, function] += int(fields[cost_field])
                continue
            key, _, value = line.partition("=")
            if key == "ob":
                obj = name("ob", value)
            elif key == "fl":
                source = file_of_function = name("fl", value)
            elif key in ("fi", "fe"):
                source = name("fl", value)
            elif key == "fn":
                function = name("fn", value)
                source = file_of_function
            elif key == "cob":
                name("ob", value)
            elif key in ("cfi", "cfl"):
                name("fl", value)
            elif key == "cfn":
                name("fn", value)
            elif key == "calls":
                skip_next = True
            elif line.startswith("positions:"):
                cost_field = len(line.split()) - 1
            elif line.startswith(("summary:", "totals:")):
                summary = int(line.split()[1])
    if summary is not None and summary != sum(costs.values()):
        raise SystemExit(f"{path}: self costs add up to {sum(costs.values())}, not {summary}")
    return costs


def callgrind(command, toggle, stdin=None):
    """Self costs of one run of `command`, counted only inside `toggle`."""
    with tempfile.TemporaryDirectory() as out, open(stdin or os.devnull) as given:
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}/cg.out",
                        f"--toggle-collect={toggle}", *command],
                       stdin=given, capture_output=True, text=True, check=True)
        return self_costs(f"{out}/cg.out")


def per_unit(runs, units):
    """The difference of two runs' costs, per unit (call or item)."""
    a, b = runs
    return {key: (b[key] - a[key]) / units for key in a.keys() | b.keys() if b[key] != a[key]}


def bare_function(function):
    """A function's name without its parameter list."""
    function = function.replace("(anonymous namespace)", "{anonymous}")
    return function.split("(", 1)[0]


def phase_of(obj, source, own_file, function):
    """The phase of code from `source` in `function`; code inlined from a
    file that no row takes goes with the function's own file."""
    bare = bare_function(function)
    for place in dict.fromkeys((source, own_file)):
        places = (place, obj) if place != "???" else (obj,)
        for phase, place_patterns, function_patterns in PHASES:
            if (any(fnmatch.fnmatchcase(p, pattern) for p in places for pattern in place_patterns)
                    and any(fnmatch.fnmatchcase(bare, pattern) for pattern in function_patterns)):
                return phase
    return OTHER


def by_phase(costs):
    phases = dict.fromkeys(ORDER, 0.0)
    others = {}
    for (obj, source, own_file, function), cost in costs.items():
        phase = phase_of(obj, source, own_file, function)
        phases[phase] += cost
        if phase == OTHER:
            others[f"{source if source != '???' else obj}:{bare_function(function)}"] = cost
    return phases, others


def by_object(costs):
    objects = collections.Counter()
    for (obj, *_), cost in costs.items():
        objects[os.path.basename(obj)] += cost
    return objects


def print_table(title, columns, rows, total):
    print(f"\n{title}\n")
    print("| " + " | ".join(["", *columns]) + " |")
    print("|---|" + "---:|" * len(columns))
    for label, values in rows:
        print(f"| {label} | " + " | ".join(f"{v:.1f}" for v in values) + " |")
    print("| **total** | " + " | ".join(f"**{v:.1f}**" for v in total) + " |")


def measure(cases, run_of, toggle, payload_on_stdin=False):
    """Per-unit self costs of each case: (label, command, payload files a
    and b, repeats a and b, units)."""
    return {label: per_unit([callgrind(run_of(command, path, repeats), toggle,
                                       path if payload_on_stdin else None)
                             for path, repeats in ((path_a, repeats_a), (path_b, repeats_b))], units)
            for label, command, path_a, path_b, repeats_a, repeats_b, units in cases}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", help="build directory (default: one under build/ for each set "
                                         "of --cmake-arg, so that no option stays in a cache)")
    parser.add_argument("--cmake-arg", action="append", default=[])
    parser.add_argument("--mix", choices=sorted(MIXES), default="bench",
                        help="the items of the batch (default: %(default)s)")
    parser.add_argument("--python", nargs="?", const=sys.executable, metavar="EXE",
                        help="also count the calls made from Python through the module "
                             "installed for EXE (default: this interpreter)")
    args = parser.parse_args()
    print(pin() + "\n")
    directory = pathlib.Path(args.build or ROOT / "build" / "instructions")
    if args.cmake_arg and not args.build:
        options = hashlib.sha1("\0".join(args.cmake_arg).encode()).hexdigest()[:8]
        directory = directory.with_name(f"instructions-{options}")
    driver = build(directory, args.cmake_arg)
    make_batch = MIXES[args.mix]
    with tempfile.TemporaryDirectory() as tmp:
        files = {}
        for name, text in {"tier": TIER_EXAMPLE, "score": SCORE_EXAMPLE,
                           "batch1000": make_batch(1000), "batch2000": make_batch(2000)}.items():
            files[name] = pathlib.Path(tmp) / name
            files[name].write_text(text)
        # The first 1000 items of both batches are the same (one seed).
        cases = (("tier call", "tier", files["tier"], files["tier"], 1000, 2000, 1000),
                 ("score call", "score", files["score"], files["score"], 1000, 2000, 1000),
                 ("batch item", "tier-batch", files["batch1000"], files["batch2000"], 1, 1, 1000))
        native = measure(cases, lambda c, p, n: [str(driver), c, str(p), str(n)], "*run_command*")
        python = None
        if args.python:
            python = measure(cases, lambda c, _, n: [args.python, "-c", PYTHON_DRIVER, c, str(n)],
                             PYTHON_ENTRY, payload_on_stdin=True)

    labels = [case[0] for case in cases]
    split = {label: by_phase(native[label]) for label in labels}
    totals = [sum(native[label].values()) for label in labels]
    print_table(f"Instructions in the command layer by phase (callgrind; batch items: mix {args.mix!r})",
                labels, [(phase, [split[label][0][phase] for label in labels]) for phase in ORDER],
                totals)
    others = sorted({key for label in labels for key in split[label][1]},
                    key=lambda key: -max(abs(split[label][1].get(key, 0.0)) for label in labels))
    if others:
        print(f"\n{OTHER}, by file and function, per unit:\n")
        for key in others:
            print("  " + " ".join(f"{split[label][1].get(key, 0.0):8.2f}" for label in labels) + f"  {key}")
    if python is not None:
        if not any(python[label] for label in labels):
            raise SystemExit(f"nothing counted inside {PYTHON_ENTRY}: does {args.python} have its symbols?")
        objects = {label: by_object(python[label]) for label in labels}
        names = sorted({o for label in labels for o in objects[label]},
                       key=lambda o: -sum(objects[label][o] for label in labels))
        print_table(f"Seen from Python ({args.python}), the whole call by object",
                    labels, [(name, [objects[label][name] for label in labels]) for name in names],
                    [sum(python[label].values()) for label in labels])
    print()
    print(f"tier        {totals[0]:8.1f} instructions per call")
    print(f"score       {totals[1]:8.1f} instructions per call")
    print(f"batch item  {totals[2]:8.1f} instructions per item (items 1001-2000 of a batch)")
    if python is not None:
        print(f"from Python {sum(python['batch item'].values()):8.1f} instructions per item")


if __name__ == "__main__":
    main()
