#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The program's folders are layers: each may include its own headers and those
of the layers it stands on (LAYERS below, read transitively), never one above
or beside it. A folder's `ui/` subfolder holds that feature's windows, which
stand on the feature's logic and on the controls. Tests, benchmarks and fuzz
targets are not layers and may include anything.

Usage: check_layers.py [source root]   (prints one line per fault; exit 1)
"""
import os
import re
import sys

# Each layer and the layers directly beneath it. This table is the one place
# that says how the folders stack; docs/architecture.md draws it.
LAYERS = {
    # logic, from the bottom
    "driver/common": [],                        # freestanding, also in the driver
    "base": [],                                 # settings, registry, paths, text, handle owners
    "res": [],                                  # the program's resource ids
    "rules": ["base", "res", "driver/common"],  # operation kinds, parameter lists, rule model and file
    "log": ["rules"],                           # records carry a request's parameter list
    "names": ["base", "driver/common"],         # canonical file, key and image names
    "sysview": ["base", "res"],                 # process, module, handle and registry queries
    "net": ["base", "res"],                     # download, signatures, serials, safe names
    "update": ["net"],                          # manifest, update run
    "promo": ["net"],                           # promotion feed
    "sensor": ["names", "driver/common"],       # the sensor DLL loaded into guarded processes
    "watch": ["log", "rules", "sensor", "driver/common"], # driver link and decisions
    # programs beside the guard
    "driver": ["driver/common"],
    "tools": ["sensor", "driver/common"],
    "updater": ["update"],
    # windows, from the bottom
    "ui": ["base"],                             # the window layer
    "controls": ["ui"],                         # reusable controls: no program ids, no features
    "rules/ui": ["controls", "rules", "sysview"],
    "sysview/ui": ["controls", "sysview"],
    "update/ui": ["controls", "update"],
    "watch/ui": ["controls", "watch"],
    "helpview": ["controls", "res"],
    "monitor": ["helpview", "rules/ui", "sysview/ui", "update/ui", "watch/ui", "promo"],
    "app": ["monitor"],
}

# Includes that break the order today and are removed by work under way
# elsewhere; each names why it is still here. Keep this list short.
PENDING = {
    # Error and warning boxes take their captions from the string table;
    # they leave base/ once no logic shows a message box any more.
    ("base/Strings.cpp", "res"),
}

# Top-level folders that are not layers of the program.
NOT_LAYERS = {"tests", "bench", "fuzz", "scripts", "cmake", "docs", "installer", "build", "cmake-build"}

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    """The layer of a path relative to the root, or None outside every layer."""
    parts = path.split("/")
    if len(parts) > 2 and "/".join(parts[:2]) in LAYERS:
        return "/".join(parts[:2])
    return parts[0] if len(parts) > 1 and parts[0] in LAYERS else None


def beneath(layer, seen=None):
    """Every layer that `layer` stands on, directly or not."""
    seen = set() if seen is None else seen
    for lower in LAYERS[layer]:
        if lower not in seen:
            seen.add(lower)
            beneath(lower, seen)
    return seen


def faults(root):
    found = []
    below = {layer: beneath(layer) for layer in LAYERS}
    for top in sorted(os.listdir(root)):
        if top.startswith(".") or top in NOT_LAYERS or top in LAYERS or not os.path.isdir(os.path.join(root, top)):
            continue
        if any(n.endswith(SOURCE_SUFFIXES) for _, _, names in os.walk(os.path.join(root, top)) for n in names):
            found.append(f"{top}/: holds sources but has no layer; give it a line in LAYERS")
    for top in sorted({name.split("/")[0] for name in LAYERS}):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                full = os.path.join(folder, name)
                source = os.path.relpath(full, root).replace(os.sep, "/")
                own = layer_of(source)
                with open(full, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = match.group(1)
                        # A name next to the including file (resource scripts, the driver).
                        beside = os.path.normpath(os.path.join(folder, target))
                        if os.path.exists(beside):
                            target = os.path.relpath(beside, root).replace(os.sep, "/")
                        other = layer_of(target)
                        if other is None:
                            if "/" in target:
                                found.append(f"{source}:{number}: includes {target}, which is in no layer")
                            continue
                        if other == own or other in below[own]:
                            continue
                        if (own, other) in PENDING or (source, other) in PENDING:
                            continue
                        found.append(f"{source}:{number}: {own} includes {target} of {other}, "
                                     f"which is not beneath it")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    listed = faults(os.path.abspath(root))
    for line in listed:
        print(line)
    return 1 if listed else 0


if __name__ == "__main__":
    sys.exit(main())
