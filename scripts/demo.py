#!/usr/bin/env python3
"""Shows the program's main job in a throwaway Wine prefix, without a display: the dictionary
sets of a sample ATOK 2012 profile before, after an install, and after "/uninst"."""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from atoklayout import ROOT, SYSTEM_DIC, slot  # noqa: E402
from winesession import Registry, WineSession, text_value  # noqa: E402

def sample_profile():
    reg = Registry()
    for path, slots in [
        (ROOT + "Atok25\\DicSet1", {}),  # not one of the profiles the program knows
        (ROOT + "Atkms\\DicSet1", {1: SYSTEM_DIC, 2: "ON,0,C:\\DICS\\MEDICAL.DIC",
                                   3: "ON,0,C:\\OLD\\QELDAT2011.DIC"}),
        (ROOT + "Atkms\\DicSet2", {1: SYSTEM_DIC}),
        (ROOT + "Atkms\\DicSet3", {1: "", 2: "ON,0,C:\\OLD\\QELDAT2011.DIC"}),
        (ROOT + "User0\\DicSet1", {1: SYSTEM_DIC, 2: "ON,0,C:\\DICS\\LAW.DIC"}),
    ]:
        reg.add_key(path)
        for k, text in slots.items():
            reg.set(path, slot(k), text_value(text))
    return reg


def show(title, reg):
    print("== %s ==" % title)
    for path in sorted(reg.keys):
        if not path.upper().startswith(ROOT.upper()) or "DICSET" not in path.upper():
            continue
        print("  " + path[len(ROOT):])
        for name, value in sorted(reg.keys[path].items()):
            shown = repr(value)
            if value.type == 1:
                shown = '"%s"' % value.data.decode("utf-16-le").rstrip("\0")
            print("    %s = %s" % (name, shown))
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--program", required=True)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="dicreg-demo-")
    session = WineSession(work, os.path.abspath(args.driver), display=False)
    try:
        program = os.path.abspath(args.program)
        before = sample_profile()
        show("before", before)
        install = '"C:\\Program Files\\Qel\\dicreg.exe" "C:\\Program Files\\Qel\\QelDat2012.dic"'
        print("> " + install)
        installed = session.run(program, before, [install])
        print("exit status %d\n" % installed.exits[0])
        show("after the install", installed.registry)
        uninstall = '"C:\\Program Files\\Qel\\dicreg.exe" /uninst'
        print("> " + uninstall)
        removed = session.run(program, installed.registry, [uninstall])
        print("exit status %d\n" % removed.exits[0])
        show("after /uninst", removed.registry)
    finally:
        session.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
