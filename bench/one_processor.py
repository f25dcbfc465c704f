"""Every benchmark here runs on one processor, and so does every contender it
times: the engine, orjson, Python and the floor alike, in one process pinned
with os.sched_setaffinity (the processes it starts inherit the pinning). The
engine starts no threads, but a contender might, and a figure that lets one
side use more processors than the other is not a figure.

`pin()` pins the process and returns the line that heads its figures: the
interpreter, the processor's model and what was pinned."""

import os
import pathlib
import platform
import sys


def processor_model():
    """The processor's model as the system names it (Linux: /proc/cpuinfo)."""
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith(("model name", "Processor", "cpu model")):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine() or "an unnamed processor"


def pin():
    if not hasattr(os, "sched_setaffinity"):
        where = (f"not pinned: {sys.platform} has no os.sched_setaffinity, so the contenders may use "
                 f"any of {os.cpu_count()} processors")
    else:
        allowed = sorted(os.sched_getaffinity(0))
        # The last processor allowed: the first is where most systems steer
        # their interrupts.
        cpu = allowed[-1]
        os.sched_setaffinity(0, {cpu})
        where = f"pinned to processor {cpu} of {os.cpu_count()}"
    return f"Python {sys.version.split()[0]} on {processor_model()}, {where}"
