#!/usr/bin/env python3
"""Fails when a source file includes from a layer above its own, runs over 400 lines, or speaks
to one operating system outside the places that stand between the program and the system.

The layers, from the ground up: platform, lang, link, device, panels, report, then views / config /
cli (side by side: none includes another), then shell. A file may include from its own layer or
below; only shell/ knows every panel. The one crossing: the command-line tool writes and reads
the same configuration files as the menu, through config/config_file.h, which uses no widgets.
"""
import pathlib
import re
import sys

RANK = {"platform": 0, "lang": 1, "link": 2, "device": 3, "panels": 4, "report": 4.5,
        "views": 5, "config": 5, "cli": 5, "shell": 6}
INCLUDE = re.compile(r'^\s*#\s*include\s+"(([a-z_]+)/[^"]+)"')
CROSSINGS = {("cli", "config/config_file.h")}
LONGEST = 400
SOURCES = (".cpp", ".h", ".py", ".sh")
# Where the program may ask which system it runs on: the platform layer, the command line's
# process handling, the simulator's transports.
SYSTEM_TEST = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|Q_OS_WIN|__linux__|Q_OS_LINUX)\b")
SYSTEM_PLACES = ("src/platform/", "cli/main.cpp", "cli/stop_signals.cpp", "sim/transports.cpp", "sim/simulator.h")


def layer_of(path, root):
    parts = path.relative_to(root).parts
    if parts[0] == "src" and len(parts) > 2:
        return parts[1]
    if parts[0] == "cli":
        return "cli"
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    faults = []
    for path in sorted(list(root.glob("src/**/*")) + list(root.glob("cli/**/*"))):
        if path.suffix not in (".cpp", ".h") or not path.is_file():
            continue
        own = layer_of(path, root)
        if own not in RANK:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m or m.group(2) not in RANK or (own, m.group(1)) in CROSSINGS:
                continue
            target = m.group(2)
            upward = RANK[target] > RANK[own]
            sideways = RANK[target] == RANK[own] == 5 and target != own
            if upward or sideways:
                where = path.relative_to(root)
                faults.append(f"{where}:{number}: {own}/ includes {target}/ ({line.strip()})")
    for path in sorted(list(root.glob("src/**/*")) + list(root.glob("cli/**/*")) + list(root.glob("sim/**/*"))):
        where = str(path.relative_to(root))
        if path.suffix in (".cpp", ".h") and path.is_file() and not where.startswith(SYSTEM_PLACES):
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                if SYSTEM_TEST.match(line):
                    faults.append(f"{where}:{number}: asks which system it runs on outside platform/ ({line.strip()})")
    # A file a reader cannot hold in mind is split along a concern, not at a line count.
    for folder in ("src", "cli", "sim", "tools", "bench", "tests"):
        for path in sorted(root.glob(folder + "/**/*")):
            if path.suffix in SOURCES and path.is_file() and "corpus" not in path.parts:
                lines = len(path.read_text(encoding="utf-8").splitlines())
                if lines > LONGEST:
                    faults.append(f"{path.relative_to(root)}: {lines} lines, over {LONGEST}")
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) reach up or across the layers, system test(s) out of place, or file(s) too long")
        return 1
    print(f"every include stays in its layer or below, and no file is over {LONGEST} lines")
    return 0


if __name__ == "__main__":
    sys.exit(main())
