"""Reads one file as JSON with every leniency of Python's json module turned off.

Usage: strict_json.py FILE
Exit 0: the file is one valid JSON text; the value is printed compactly with ASCII escapes.
Exit 1: it is not; the reason is printed.

Usage: strict_json.py --lines FILE
Judges each line of the file (split at LF) as one JSON text; prints 1 or 0 for each, one a line.
"""
import json
import sys


def no_constants(name):
    raise ValueError(f"{name} is not JSON")


def unique_members(pairs):
    seen = set()
    for key, _ in pairs:
        if key in seen:
            raise ValueError(f"member {key!r} appears twice")
        seen.add(key)
    return dict(pairs)


def parse(data):
    # No byte order mark, no other encoding, no byte that is not UTF-8.
    text = data.decode("utf-8", errors="strict")
    return json.loads(text, parse_constant=no_constants, object_pairs_hook=unique_members)


def main():
    if sys.argv[1] == "--lines":
        with open(sys.argv[2], "rb") as f:
            lines = f.read().split(b"\n")
        for line in lines:
            try:
                parse(line)
                print(1)
            except (ValueError, RecursionError):
                print(0)
        return 0
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    try:
        value = parse(data)
    except ValueError as e:  # UnicodeDecodeError and JSONDecodeError are ValueErrors
        print(e)
        return 1
    print(json.dumps(value, ensure_ascii=True, separators=(",", ":")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
