#!/usr/bin/env python3
"""Fails when a source file includes from a layer above its own.

Layers, bottom up: core < batch < convert < ui and app (start-up, the
unattended run, the command line and main). Inside convert, the automation
layer sits below the office and printer layers and below the converter chain.
Prints every offending include as file:line and exits 1; exits 0 when clean.
"""
import pathlib
import re
import sys

# Folder (relative to src/) -> folders it may include from besides itself.
ALLOWED = {
    "core": set(),
    "batch": {"core"},
    "convert/automation": {"core"},
    "convert/office": {"core", "batch", "convert/automation", "convert/printer"},
    "convert/printer": {"core", "batch", "convert/automation"},
    "convert/pdf": {"core"},
    "convert": {"core", "batch", "convert/automation", "convert/office",
                "convert/printer", "convert/pdf"},
    "ui": {"core", "batch", "convert", "convert/automation", "convert/office",
           "convert/printer", "convert/pdf"},
    "app": {"core", "batch", "convert", "convert/automation", "convert/office",
            "convert/printer", "convert/pdf", "ui"},
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
