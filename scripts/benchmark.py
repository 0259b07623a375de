#!/usr/bin/env python3
"""Benchmark of the release programs under Wine.

Times an install on two registries, a typical one (2 profiles, 3 sets in use) and the worst case
(all 81 sets in use, slots 2 to 9 all holding entries of the family), against a do-nothing GUI
program in the same run, as the median of several runs. Counts the registry calls of one install
from Wine's relay trace and checks them: at most 285 (typical) and 5,751 (worst case) calls,
every key opened with access 0x3F, no call on a key whose open failed, and no slot read twice in
one visit. Exits non-zero when a check fails; the times are only reported.
"""

import argparse
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from atoklayout import PROFILES, SYSTEM_DIC, set_key, slot  # noqa: E402
from e2e import typical  # noqa: E402
from winesession import WINE, Registry, WineSession, text_value  # noqa: E402

CALLS = ["RegOpenKeyExW", "RegQueryValueExW", "RegSetValueExW", "RegCloseKey"]
COMMAND_LINE = '"C:\\Program Files\\Qel\\dicreg.exe" "C:\\Program Files\\Qel\\QelDat2012.dic"'


def worst_case():
    reg = Registry()
    for profile in PROFILES:
        for n in range(1, 10):
            path = set_key(profile, n)
            reg.set(path, slot(1), text_value(SYSTEM_DIC))
            for k in range(2, 10):
                reg.set(path, slot(k), text_value("ON,0,C:\\OLD\\QELDAT%d.DIC" % (2000 + k)))
    return reg


CALL = re.compile(r"^([0-9a-f]+):Call [\w.]+\.(Reg\w+)\((.*)\) ret=")
RET = re.compile(r"^([0-9a-f]+):Ret  [\w.]+\.(Reg\w+)\(\) retval=([0-9a-f]+)")
STRING = re.compile(r'L"((?:[^"\\]|\\.)*)"')


def analyse(trace):
    """Counts the calls and checks how keys are opened and used."""
    calls, problems = [], []
    for line in trace.splitlines():
        m = CALL.match(line)
        if m:
            calls.append({"name": m.group(2), "args": m.group(3)})
            continue
        m = RET.match(line)
        if m and calls and calls[-1]["name"] == m.group(2):
            calls[-1]["result"] = int(m.group(3), 16)
    reads = {}
    key, failed_open, first_query = None, False, False
    for call in calls:
        args = call["args"].split(",")
        if call["name"] == "RegOpenKeyExW":
            if int(args[-2], 16) != 0x3F:
                problems.append("key opened with access %s" % args[-2])
            key = STRING.search(call["args"]).group(1)
            failed_open = call.get("result", 0) != 0
            first_query = True
        elif failed_open:
            problems.append("%s on a key whose open failed (%s)" % (call["name"], key))
        elif call["name"] == "RegQueryValueExW" and first_query:
            first_query = False
            name = STRING.search(call["args"]).group(1)
            reads[(key, name)] = reads.get((key, name), 0) + 1
    # An install visits every set twice: once to remove, once to register.
    for (key, name), count in reads.items():
        if count > 2:
            problems.append("%s : %s read %d times" % (key, name, count))
    return len(calls), problems


def median_ms(session, program, seed, runs):
    outcome = session.run(program, seed, [COMMAND_LINE] * runs, trace=False, reseed=True)
    return statistics.median(outcome.micros) / 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--program", action="append", required=True)
    parser.add_argument("--noop", action="append", required=True,
                        help="the do-nothing program to compare each program with")
    parser.add_argument("--runs", type=int, default=11)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="dicreg-bench-")
    session = WineSession(work, os.path.abspath(args.driver), display=False,
                          relay=";".join(CALLS))
    limits = {"typical": 285, "worst case": 5751}
    failures = []
    try:
        print("%-16s %-11s %10s %10s %7s %15s" % ("program", "registry", "median ms", "noop ms",
                                                   "ratio", "calls (limit)"))
        for program, noop in zip(args.program, args.noop):
            for label, seed in [("typical", typical()), ("worst case", worst_case())]:
                session.run(program, seed, [], trace=False)
                traced = session.run(program, None, [COMMAND_LINE], dump=False)
                calls, problems = analyse(traced.trace)
                if traced.exits != [0]:
                    problems.append("exit status %s" % traced.exits)
                if calls > limits[label]:
                    problems.append("%d registry calls, limit %d" % (calls, limits[label]))
                ms = median_ms(session, os.path.abspath(program), seed, args.runs)
                base = median_ms(session, os.path.abspath(noop), seed, args.runs)
                name = os.path.basename(program)
                print("%-16s %-11s %10.1f %10.1f %7.2f %8d (%d)" % (
                    name, label, ms, base, ms / base, calls, limits[label]))
                failures += ["%s, %s: %s" % (name, label, p) for p in problems[:10]]
    finally:
        session.close()
        shutil.rmtree(work, ignore_errors=True)
    cpu = "unknown processor"
    if os.path.exists("/proc/cpuinfo"):
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    wine = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()
    print("median of %d runs; %s, %d cores, %s, %s" % (args.runs, cpu, os.cpu_count(),
                                                       platform.system(), wine))
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
