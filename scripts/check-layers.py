#!/usr/bin/env python3
"""Fails when a source file includes from a layer above its own.

Layers, bottom up: core < batch < convert < ui and app < cli < serve < main.
app holds start-up and the unattended run; cli the convert spelling of the
command line; serve the HTTP service, which reads its flags and a request's
options through cli's parser; main, the thin entry, wires every road. Inside convert, the automation layer sits below
the printer and office layers, and all three below the converter chain.
Prints every offending include as file:line and exits 1; exits 0 when clean.
"""
import pathlib
import re
import sys

# Folder (relative to src/) -> folders it may include from besides itself.
CONVERT = {"convert", "convert/automation", "convert/office", "convert/printer"}
ALLOWED = {
    "core": set(),
    "batch": {"core"},
    "convert/automation": {"core"},
    "convert/printer": {"core", "batch", "convert/automation"},
    "convert/office": {"core", "batch", "convert/automation", "convert/printer"},
    "convert": {"core", "batch"} | CONVERT,
    "ui": {"core", "batch"} | CONVERT,
    "app": {"core", "batch"} | CONVERT,
    "cli": {"core", "batch", "app"} | CONVERT,
    "serve": {"core", "batch", "app", "cli"} | CONVERT,
    "main": {"core", "batch", "ui", "app", "cli", "serve"} | CONVERT,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(rel: str) -> str | None:
    """The most specific known layer holding the path (relative to src/)."""
    parts = rel.split("/")
    for n in range(len(parts) - 1, 0, -1):
        folder = "/".join(parts[:n])
        if folder in ALLOWED:
            return folder
    return None


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                       pathlib.Path(__file__).resolve().parent.parent / "src")
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in {".h", ".cpp"}:
            continue
        rel = path.relative_to(src).as_posix()
        own = layer_of(rel)
        if own is None:
            faults.append(f"{rel}: in no known layer")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m or "/" not in m.group(1):
                continue
            target = layer_of(m.group(1))
            if target is None or target == own or target in ALLOWED[own]:
                continue
            faults.append(f"{rel}:{number}: {own} includes {m.group(1)} from {target}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
