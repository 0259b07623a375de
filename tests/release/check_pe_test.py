#!/usr/bin/env python3
"""Each check of check_pe.py fails on a copy of a good program broken in just that way.

usage: check_pe_test.py <a PE32 program that passes check_pe.py> <version>
"""

import os
import sys
import tempfile

import pefile

from check_pe import check


def header(field, value):
    def breaking(data):
        pe = pefile.PE(data=data)
        setattr(pe.FILE_HEADER if field == "TimeDateStamp" else pe.OPTIONAL_HEADER, field, value)
        return bytes(pe.write())
    return breaking


def replacing(old, new, after=b""):
    def breaking(data):
        at = data.index(old, data.index(after) if after else 0)
        return data[:at] + new + data[at + len(old):]
    return breaking


def importing(function):
    """Renames the program's import of DeleteCriticalSection (a longer name) to function."""
    old = b"DeleteCriticalSection\0"
    return replacing(old, function.encode("ascii").ljust(len(old), b"\0"))


def wide(text):
    return text.encode("utf-16-le")


def main():
    program, version = sys.argv[1:3]
    good = open(program, "rb").read()
    # (what breaks, how, the kind asked for, words that the problems must contain: one word
    # each, in this order)
    pinned = "pinned list"
    breakages = [
        ("console program", header("Subsystem", 3), "PE32", ["subsystem"]),
        ("time stamp", header("TimeDateStamp", 0x5F5E1000), "PE32", ["time stamp"]),
        ("another DLL", replacing(b"USER32.dll", b"USERXX.dll"), "PE32",
         ["from USERXX.dll", pinned]),
        ("too big", lambda data: data + bytes(300 * 1024), "PE32", ["limit"]),
        ("not asInvoker", replacing(b'"asInvoker"', b'"asInvokex"'), "PE32", ["manifest"]),
        ("other version", replacing(wide(version), wide("9.9.9"), wide("FileVersion")), "PE32",
         ["FileVersion"]),
        ("other kind", lambda data: data, "PE32+", ["magic"]),
        # An import that Windows XP has, but not in the list.
        ("another import", importing("GetCurrentProcessId"), "PE32",
         ["+KERNEL32.dll GetCurrentProcessId"]),
        ("GetTickCount64", importing("GetTickCount64"), "PE32",
         [pinned, "GetTickCount64 is not declared for Windows 5.1"]),
        ("made for Vista", header("MajorOperatingSystemVersion", 6), "PE32",
         ["OperatingSystem version 6.0"]),
        ("subsystem 6.0", header("MajorSubsystemVersion", 6), "PE32", ["Subsystem version 6"]),
    ]
    failed = 0
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, os.path.basename(program))
        for label, breaking, kind, words in breakages:
            with open(path, "wb") as f:
                f.write(breaking(good))
            problems = check(path, kind, version)
            if len(problems) == len(words) and all(w in p for w, p in zip(words, problems)):
                print("ok   %s: %s" % (label, "; ".join(problems)))
            else:
                failed += 1
                print("FAIL %s: %s" % (label, problems))
    print("%d passed, %d failed" % (len(breakages) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
