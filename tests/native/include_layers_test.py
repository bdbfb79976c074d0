#!/usr/bin/env python3
"""Checks that every include in the DLL's sources points down the layers:
a file may include headers of its own subsystem and of the layers below
it, never of a subsystem that builds on it. The DLL never includes the
host, the tools or the tests; the host includes only itself and res/.

usage: include_layers_test.py SOURCE_ROOT
"""
import os
import re
import sys

# Lower numbers lie lower; a subsystem may include its own layer or below.
LAYERS = {"res": 0, "src/instance.h": 0, "src/settings": 1, "src/placement": 1,
          "src/about": 2, "src/dialog": 3, "src/entry": 4}


def layer_of(path):
    for prefix, layer in LAYERS.items():
        if path == prefix or path.startswith(prefix + "/"):
            return prefix, layer
    return None, None


def main(root):
    faults = []
    for top in ("src", "host"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root)
                for line in open(os.path.join(root, path), encoding="utf-8"):
                    m = re.match(r'#include "([^"]+)"', line)
                    if not m:
                        continue
                    target = os.path.relpath(os.path.normpath(os.path.join(folder, m.group(1))), root)
                    if top == "host":
                        if not target.startswith(("host/", "res/")):
                            faults.append(f"{path} includes {target}: the host uses only itself and res/")
                        continue
                    here, mine = layer_of(path)
                    there, theirs = layer_of(target)
                    if theirs is None:
                        faults.append(f"{path} includes {target}, outside the DLL")
                    elif here != there and theirs >= mine:
                        faults.append(f"{path} ({here}) includes {target} ({there}), which is not below it")
    for fault in faults:
        print("FAIL:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
