#!/usr/bin/env python3
"""Counts system calls by kind in each round of a benchmark run under WINEDEBUG=+relay.

A benchmark marks its rounds with OutputDebugStringW("velmora-bench: <name>") and
"velmora-bench: round over"; this prints, per round name, the ntdll calls (what costs a trip to
the kernel, or to wine's server) and the kernel32 calls the program made, per unit given.
    WINEDEBUG=+relay wine64 SyncCopyBench.exe --files 40 --rounds 1 2>relay.log
    python3 scripts/calls.py relay.log 40
"""
import collections
import re
import sys

log, per = sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
rounds = collections.OrderedDict()
current = None
for line in open(log, errors="replace"):
    mark = re.search(r'Call KERNEL32\.OutputDebugStringW\(.*L"velmora-bench: ([^"]*)"', line)
    if mark:
        current = None if mark.group(1) == "round over" else rounds.setdefault(
            mark.group(1), (collections.Counter(), collections.Counter()))
        continue
    if current is None:
        continue
    call = re.search(r":Call (ntdll|KERNEL32)\.(\w+)\(", line)
    if call:
        current[0 if call.group(1) == "ntdll" else 1][call.group(2)] += 1
for name, (nt, k32) in rounds.items():
    print(f"{name}: {sum(nt.values()) / per:.1f} ntdll calls per unit")
    for call, count in nt.most_common(12):
        print(f"  {count / per:7.2f} {call}")
    print("  kernel32:")
    for call, count in k32.most_common(16):
        if call != "HeapFree":
            print(f"  {count / per:7.2f} {call}")
