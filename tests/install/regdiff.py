#!/usr/bin/env python3
"""Compares two copies of a Wine prefix's registry (system.reg and user.reg,
as saved when its wineserver ended) after an uninstall.

Fails when a key or value of ours is left (names matching --ours, or the
packed or plain form of a --guid), or when a value that was there before and
is not ours is gone or changed (outside the few keys Wine itself rewrites on
every start), or when a --keep key is missing afterwards.

Usage: regdiff.py BEFORE_DIR AFTER_DIR [--ours REGEX] [--guid GUID]... [--keep KEY]...
Prints what differs; the last line says ok or what failed.
"""
import argparse
import re
import sys

# Keys Wine updates by itself (devices, their driver dates).
VOLATILE = re.compile(r"^(system\\\\currentcontrolset|system\\\\controlset|hardware\\\\|"
                      r"software\\\\microsoft\\\\windows nt\\\\currentversion\\\\networkcards)", re.I)


def entries(folder):
    """(file, key, value line) for every value, (file, key, None) for every key."""
    found = set()
    for name in ("system.reg", "user.reg"):
        key = None
        pending = ""
        with open(f"{folder}/{name}", encoding="utf-8", errors="replace") as f:
            for raw in f:
                line = pending + raw.rstrip("\n")
                if line.endswith("\\") and not line.endswith("\\\\"):
                    pending = line[:-1]
                    continue
                pending = ""
                if line.startswith("["):
                    key = re.sub(r"\]\s+\d+$", "]", line)[1:-1].lower()
                    found.add((name, key, None))
                elif key is not None and line and not line.startswith("#"):
                    found.add((name, key, line))
    return found


def packed(guid):
    """Windows Installer's packed form of a GUID, as its registry keys use it."""
    g = guid.strip("{}").replace("-", "").upper()
    swap = lambda s: "".join(s[i + 1] + s[i] for i in range(0, len(s), 2))
    return g[7::-1] + g[11:7:-1] + g[15:11:-1] + swap(g[16:])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--ours", action="append", default=[])
    parser.add_argument("--guid", action="append", default=[])
    parser.add_argument("--keep", action="append", default=[])
    args = parser.parse_args()
    patterns = args.ours + [re.escape(g.strip("{}")) for g in args.guid] + [packed(g) for g in args.guid]
    ours = re.compile("|".join(patterns), re.I) if patterns else None
    before, after = entries(args.before), entries(args.after)
    is_ours = lambda e: ours is not None and (ours.search(e[1]) or (e[2] and ours.search(e[2])))

    problems = []
    for e in sorted(after - before, key=str):
        if is_ours(e):
            problems.append(f"left behind: [{e[1]}] {e[2] or ''}")
        else:
            print(f"regdiff: added, not ours: {e[0]} [{e[1]}] {e[2] or ''}")
    for e in sorted(before - after, key=str):
        if is_ours(e):
            continue
        if e[2] is None or VOLATILE.search(e[1]):
            print(f"regdiff: gone, not ours: {e[0]} [{e[1]}] {e[2] or ''}")
        else:
            problems.append(f"removed or changed: {e[0]} [{e[1]}] {e[2]}")
    keys = {e[1] for e in after if e[2] is None}
    for k in args.keep:
        if k.lower().replace("\\", "\\\\") not in keys:
            problems.append(f"missing: [{k}]")
    for p in problems:
        print(f"regdiff: {p}")
    print("regdiff: ok" if not problems else f"regdiff: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
