#!/usr/bin/env python3
"""Runs each command on FILE as a whole process, its output going to /dev/null,
and prints the best of RUNS elapsed times, the throughput, and the ratio to the
first command (give it `cat`, the floor of reading the file).

Usage: best_of.py RUNS FILE COMMAND [COMMAND ...]
   e.g. best_of.py 9 /tmp/py.txt cat "formtidy-decode" "formtidy-decode --decode standard"
"""
import os
import shlex
import subprocess
import sys
import time


def best(command, path, runs):
    fastest = float("inf")
    with open(os.devnull, "wb") as null:
        for _ in range(runs):
            start = time.perf_counter()
            subprocess.run(shlex.split(command) + [path], stdout=null, check=True)
            fastest = min(fastest, time.perf_counter() - start)
    return fastest


def main():
    runs, path, commands = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    megabytes = os.path.getsize(path) / 1e6
    floor = None
    for command in commands:
        rate = megabytes / best(command, path, runs)
        floor = floor or rate
        print(f"{command:45.45s} {megabytes / rate * 1e3:8.1f} ms {rate:8.0f} MB/s "
              f"{rate / floor:6.3f} of the first")


if __name__ == "__main__":
    main()
