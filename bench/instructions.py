"""Instructions per call of the command layer, counted by callgrind: a single
tier call, a single score call (the README's examples) and one item of a
tier-batch of realistic items. Each figure is the difference between two runs
of bench/instructions.cpp that differ only in how many calls (or items) they
make, counting only inside the command layer's entry, so start-up cancels out. Counts repeat
exactly from run to run, unlike timings.

    python3 bench/instructions.py [--build DIR] [--cmake-arg ARG ...]
"""

import argparse
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))

from payloads import SCORE_EXAMPLE, TIER_EXAMPLE, batch  # noqa: E402


def build(directory, cmake_args):
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(directory), "-DMNEMO_PYTHON_MODULE=OFF",
                    "-DMNEMO_BUILD_BENCH=ON", *cmake_args], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(directory), "--target", "instructions"], check=True,
                   stdout=subprocess.DEVNULL)
    return directory / "instructions"


def count(driver, command, payload_file, repeats):
    with tempfile.TemporaryDirectory() as out:
        result = subprocess.run(
            ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}/cg.out",
             "--toggle-collect=*run_command*",
             str(driver), command, str(payload_file), str(repeats)],
            capture_output=True, text=True, check=True)
    return int(re.search(r"Collected : (\d+)", result.stderr).group(1))


def per_unit(driver, command, payload_a, payload_b, repeats_a, repeats_b, units):
    return (count(driver, command, payload_b, repeats_b) - count(driver, command, payload_a, repeats_a)) / units


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "instructions"))
    parser.add_argument("--cmake-arg", action="append", default=[])
    args = parser.parse_args()
    driver = build(pathlib.Path(args.build), args.cmake_arg)
    with tempfile.TemporaryDirectory() as tmp:
        files = {}
        for name, text in {"tier": TIER_EXAMPLE, "score": SCORE_EXAMPLE,
                           "batch1000": batch(1000), "batch2000": batch(2000)}.items():
            files[name] = pathlib.Path(tmp) / name
            files[name].write_text(text)
        tier = per_unit(driver, "tier", files["tier"], files["tier"], 1000, 2000, 1000)
        score = per_unit(driver, "score", files["score"], files["score"], 1000, 2000, 1000)
        # The first 1000 items of both batches are the same (one seed).
        item = per_unit(driver, "tier-batch", files["batch1000"], files["batch2000"], 1, 1, 1000)
    print(f"tier        {tier:8.1f} instructions per call")
    print(f"score       {score:8.1f} instructions per call")
    print(f"batch item  {item:8.1f} instructions per item (items 1001-2000 of a batch)")


if __name__ == "__main__":
    main()
