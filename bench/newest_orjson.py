"""The orjson the benchmark compares with: the newest the package index
serves, installed by pip into bench/build/orjson/ (git-ignored), a directory
that holds nothing else and is put first on sys.path, so that neither the
interpreter's own orjson nor the project's environment decides which version
is measured. Each run asks the index again; without an answer it uses the
version installed there before, and says so."""

import pathlib
import subprocess
import sys

TARGET = pathlib.Path(__file__).resolve().parent / "build" / "orjson"


def load():
    """The newest orjson, imported from TARGET."""
    if "orjson" in sys.modules:
        raise RuntimeError("orjson was imported before the benchmark's own")
    installed = subprocess.run(
        [sys.executable, "-m", "pip", "install", "--quiet", "--disable-pip-version-check",
         "--upgrade", "--target", str(TARGET), "orjson"],
        capture_output=True, text=True)
    if installed.returncode != 0:
        if not (TARGET / "orjson").is_dir():
            raise SystemExit(f"could not install orjson into {TARGET}:\n{installed.stderr}")
        print(f"warning: the package index did not answer; using the orjson installed in {TARGET} "
              "before", file=sys.stderr)
    sys.path.insert(0, str(TARGET))
    import orjson

    if not pathlib.Path(orjson.__file__).is_relative_to(TARGET):
        raise RuntimeError(f"orjson came from {orjson.__file__}, not {TARGET}")
    return orjson
