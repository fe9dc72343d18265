#!/usr/bin/env python3
"""The start-up layout helps only while its list names the tool's functions and the linker
follows it. Fails when fewer than nine in ten listed names are functions of the built tool, or
when the listed functions do not lie together (at least four fifths of the range from the first
to the last of them is theirs).

Usage: check_startup_order.py TOOL LIST
"""
import subprocess
import sys

tool, listing = sys.argv[1], sys.argv[2]
with open(listing) as f:
    wanted = {line.strip() for line in f if line.strip()}
functions = {}
nm = subprocess.run(["nm", "-S", "--defined-only", tool], capture_output=True, text=True, check=True)
for line in nm.stdout.splitlines():
    fields = line.split()
    if len(fields) == 4 and fields[2] in "tTwW":
        functions[fields[3]] = (int(fields[0], 16), int(fields[1], 16))
placed = [functions[name] for name in wanted if name in functions]
if not placed:
    sys.exit(f"none of the {len(wanted)} listed start-up functions is in {tool}")
first = min(start for start, _ in placed)
last = max(start + size for start, size in placed)
size = sum(size for _, size in placed)
print(f"{len(placed)} of {len(wanted)} listed start-up functions are in the tool, "
      f"{size} bytes in a range of {last - first}")
if len(placed) * 10 < len(wanted) * 9:
    sys.exit("the list is stale: run scripts/startup-order.sh")
if size * 5 < (last - first) * 4:
    sys.exit("the linker did not lay the listed functions out together")
