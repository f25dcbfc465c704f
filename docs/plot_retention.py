"""Draws docs/retention.png: retention against days since recall for several
retrieval counts, each point computed by the engine's "score" command.

    python3 -m pip install . matplotlib && python3 docs/plot_retention.py
"""

from __future__ import annotations

import json
import pathlib

from matplotlib.figure import Figure

import mnemoweaver_engine_native as engine

OUT = pathlib.Path(__file__).resolve().parent / "retention.png"
COUNTS = (1, 3, 10, 30, 100, 1000, 100_000)
# Retention thresholds of the tier rules, with the side of the line to label.
THRESHOLDS = (
    (0.8, "0.8 long-term semantic", 3),
    (0.65, "0.65 spaced repetition", -10),
    (0.4, "0.4 archive below", -10),
)
AGE_LIMITS = (7.0, 30.0, 180.0)


def retention(days: float, count: float, importance: float = 0.5, frequency: float = 0.5) -> float:
    item = [days, count, importance, frequency]
    result = json.loads(engine.run("score", json.dumps(item)))["result"]
    value: float = result["retention"]
    return value


def main() -> None:
    fig = Figure(figsize=(11, 4.6), layout="constrained")
    near, far = fig.subplots(1, 2)
    for axes, span, log in ((near, 14.0, False), (far, 200.0, True)):
        days = [span * i / 400 for i in range(401)]
        for count in COUNTS:
            values = [retention(d, count) for d in days]
            if log:  # a retention of exactly 0 has no place on a log scale
                values = [v if v > 0 else float("nan") for v in values]
            label = f"{count:,} retrieval{'s' if count != 1 else ''}"
            axes.plot(days, values, label=label)
        for level, text, offset in THRESHOLDS:
            axes.axhline(level, color="grey", linestyle="--", linewidth=0.8)
            if log:
                axes.annotate(
                    text,
                    (span, level),
                    xytext=(-4, offset),
                    textcoords="offset points",
                    ha="right",
                    fontsize=7,
                    color="dimgrey",
                )
        for limit in AGE_LIMITS:
            if limit < span:
                axes.axvline(limit, color="grey", linestyle=":", linewidth=0.8)
                axes.annotate(
                    f"{limit:g} d",
                    (limit, 1),
                    xycoords=("data", "axes fraction"),
                    xytext=(2, -10),
                    textcoords="offset points",
                    fontsize=7,
                    color="dimgrey",
                )
        axes.set_xlim(0, span)
        axes.set_xlabel("days since recall")
        axes.grid(alpha=0.25)
    near.set_ylim(0, 10.5)
    near.set_ylabel("retention (importance 0.5, frequency 0.5)")
    near.set_title("The first two weeks")
    near.legend(fontsize=8)
    far.set_yscale("log")
    far.set_ylim(1e-3, 15)
    far.set_title("200 days, logarithmic scale: thresholds of the tier rules")
    fig.savefig(OUT, dpi=110)
    print(f"wrote {OUT}")


if __name__ == "__main__":
    main()
