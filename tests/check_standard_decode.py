#!/usr/bin/env python3
"""Checks formtidy-decode --decode standard against Python's own parser of
form data, urllib.parse.parse_qsl (keep_blank_values=True), on generated
inputs: the JSON pairs must be the same, and the text must be those pairs as
"name :: value" with CR LF CR LF between fields and between inputs."""

import json
import os
import random
import subprocess
import sys
import tempfile
from urllib.parse import parse_qsl

TOOL = sys.argv[1]

# Pieces that browsers write, and the malformed ones they do not.
PIECES = ["a", "b", "Z", "0", "7", "=", "=", "&", "&", "+", "+", "%", "%2", "%4", "%g",
          "%20", "%26", "%3D", "%3d", "%2B", "%25", "%40", "%0D%0A", "%0a", "%C3%A9",
          "%E2%82%AC", "%e9", "%FF", "%80", "%00", "\xe9", "\r\n", ";", " ", "\t", "~"]


def generate(rng):
    return "".join(rng.choice(PIECES) for _ in range(rng.randint(0, 60)))


def expected_pairs(text):
    """The pairs as bytes: latin-1 maps every byte to one character and back."""
    return [(n.encode("latin-1"), v.encode("latin-1"))
            for n, v in parse_qsl(text, keep_blank_values=True, encoding="latin-1")]


def as_json_text(data):
    """What the JSON output holds for bytes: UTF-8 as it is (NUL included),
    anything else as Windows-1252, each undefined byte standing for the
    control of that code."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        pass
    return "".join(bytes([b]).decode("cp1252") if b not in (0x81, 0x8D, 0x8F, 0x90, 0x9D)
                   else chr(b) for b in data)


def run(args):
    done = subprocess.run([TOOL, "--decode", "standard"] + args, capture_output=True,
                          check=False)
    if done.returncode != 0:
        sys.exit(f"{args[:3]}...: exit {done.returncode}: {done.stderr!r}")
    return done.stdout


def main():
    rng = random.Random(17)
    inputs = ["email=jose%40example.com&name=Jos%C3%A9"] + [generate(rng) for _ in range(400)]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        files = []
        for number, text in enumerate(inputs):
            path = os.path.join(folder, f"in{number}.txt")
            with open(path, "wb") as f:
                f.write(text.encode("latin-1"))
            files.append(path)

        lines = run(["--format", "json"] + files).decode("utf-8").splitlines()
        if len(lines) != len(inputs):
            sys.exit(f"{len(lines)} JSON lines for {len(inputs)} inputs")
        for text, line in zip(inputs, lines):
            got = [tuple(pair) for pair in json.loads(line)["fields"]]
            want = [(as_json_text(n), as_json_text(v)) for n, v in expected_pairs(text)]
            if got != want:
                failures += 1
                print(f"JSON of {text!r}:\n  got  {got!r}\n  want {want!r}")

        want = b"\r\n\r\n".join(b"\r\n\r\n".join(n + b" :: " + v for n, v in expected_pairs(t))
                                for t in inputs)
        got = run(files)
        if got != want:
            failures += 1
            print(f"text differs:\n  got  {got[:300]!r}\n  want {want[:300]!r}")

        if run(files[:1]) != "email :: jose@example.com\r\n\r\nname :: Jos\u00e9".encode():
            failures += 1
            print("the example of jose@example.com is not decoded as expected")
    print(f"{len(inputs)} inputs, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
