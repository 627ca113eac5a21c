#!/usr/bin/env python3
"""Fails when the files of one source folder include one another in a circle.

    include_circles.py src/BxCode

A header and the source file of the same name count as one unit, since a circle through a .cpp
ties the units together as much as one through headers. Prints each circle found.
"""
import pathlib
import re
import sys


def includes(folder):
    units = {}
    pattern = re.compile(r'#include\s+"' + re.escape(folder.name) + r'/(\w+)\.h"')
    for path in sorted(folder.glob("*.[hc]*")):
        used = set(pattern.findall(path.read_text(errors="replace"))) - {path.stem}
        units.setdefault(path.stem, set()).update(used)
    return units


def circles(units):
    found, done = [], set()

    def walk(unit, trail):
        if unit in trail:
            found.append(trail[trail.index(unit):] + [unit])
            return
        if unit in done:
            return
        for used in sorted(units.get(unit, ())):
            walk(used, trail + [unit])
        done.add(unit)

    for unit in sorted(units):
        walk(unit, [])
    return found


def main():
    found = circles(includes(pathlib.Path(sys.argv[1])))
    for circle in found:
        print(" -> ".join(circle))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
