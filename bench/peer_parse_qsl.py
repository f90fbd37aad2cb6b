#!/usr/bin/env python3
"""bench_cli's peer: the form in FILE decoded by Python's urllib.parse.parse_qsl,
written as "name :: value" fields, byte for byte as --decode standard writes them."""
import sys
import urllib.parse

with open(sys.argv[1], encoding="latin-1") as f:
    pairs = urllib.parse.parse_qsl(f.read(), keep_blank_values=True, encoding="latin-1")
sys.stdout.buffer.write("\r\n\r\n".join(n + " :: " + v for n, v in pairs).encode("latin-1"))
