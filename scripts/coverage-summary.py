#!/usr/bin/env python3
"""Line coverage of src/ per module, from the JSON summary gcovr writes (--json-summary).

A module is a folder directly below src/; files directly in src/ count under their own name.
Prints the table and writes it to --out as well.
"""
import argparse
import json
import sys
from collections import defaultdict


def module_of(filename):
    parts = filename.replace("\\", "/").split("/")
    if "src" not in parts:
        return None
    rest = parts[parts.index("src") + 1:]
    return rest[0] if rest else None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("summary", help="gcovr's --json-summary file")
    parser.add_argument("--out", help="also write the table here")
    args = parser.parse_args()

    with open(args.summary, encoding="utf-8") as f:
        summary = json.load(f)
    covered = defaultdict(int)
    total = defaultdict(int)
    for entry in summary["files"]:
        module = module_of(entry["filename"])
        if module is None:
            continue
        covered[module] += entry["line_covered"]
        total[module] += entry["line_total"]

    rows = [(m, covered[m], total[m]) for m in sorted(total)]
    rows.append(("src (all)", sum(covered.values()), sum(total.values())))
    lines = [f"{'module':<12} {'lines':>7} {'covered':>8} {'percent':>8}"]
    for module, hit, lines_total in rows:
        percent = 100.0 * hit / lines_total if lines_total else 0.0
        lines.append(f"{module:<12} {lines_total:>7} {hit:>8} {percent:>7.1f}%")
    table = "\n".join(lines) + "\n"
    sys.stdout.write(table)
    if args.out:
        with open(args.out, "w", encoding="utf-8") as f:
            f.write(table)
    return 0


if __name__ == "__main__":
    sys.exit(main())
