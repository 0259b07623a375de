#!/usr/bin/env python3
"""End-to-end suite: the shipped programs under Wine, from an exact command line to the registry.
dicreport's cases, beside each dicreg, are in reporting.py.

Every case seeds HKEY_CURRENT_USER, runs the program, and compares the whole
HKCU\\Software\\Justsystem tree, value by value and type by type, the exit status and the message
boxes with what a model of the program written here (and nowhere else) expects. Randomized cases
draw registry states from a seed that is printed, so a failure can be replayed.
"""

import argparse
import os
import random
import sys

from atoklayout import OTHER_DIC, PROFILES, ROOT, SYSTEM_DIC, set_key, slot
from winesession import (WINDOWS_VERSIONS, Registry, Value, WineSession, dword_value,
                         text_value)

TITLE = "辞書登録エラー"
TEXT = ("ATOK2012のユーザー情報が未設定の可能性があります。\r\n"
        "詳しくは、ヴェルノアのホームページから「Q&A ATOK版 ソルベリアについて」を参照してください。")
PROGRAM_NAME = '"C:\\Program Files\\Qel\\dicreg.exe"'


# ---------------------------------------------------------------------------------------------
# The model: what the program must leave behind.

def read_text(reg, path, name):
    value = reg.get(path, name)
    if value is None:
        return ""
    if value.type == 1:
        even = value.data[:len(value.data) // 2 * 2]
        return even.decode("utf-16-le", "surrogatepass").split("\0")[0]
    if value.type == 4 and len(value.data) == 4:
        return str(int.from_bytes(value.data, "little", signed=True))
    return ""


def in_use_sets(reg, writable=False):
    """The sets in use, in dicreg's order; with writable, only those whose key lets the user
    change them (dicreg's open of the others fails, and it passes them over)."""
    for profile in PROFILES:
        for n in range(1, 10):
            path = set_key(profile, n)
            if reg.find_key(path) is not None and read_text(reg, path, slot(1)) != "" and (
                    not writable or reg.find_key(path) not in reg.read_only):
                yield path


def model(before, argument):
    """argument: the dictionary path, "/uninst", or None when the run must be refused.
    Gives (registry after, exit status, number of failure boxes)."""
    reg = before.copy()
    if argument is None:
        return reg, 2, 0
    for path in in_use_sets(reg, writable=True):
        for k in range(2, 10):
            if "QELDAT" in read_text(reg, path, slot(k)).upper():
                reg.set(path, slot(k), text_value(""))
    if argument == "/uninst":
        kept = any("QELDAT" in read_text(reg, path, slot(k)).upper()
                   for path in in_use_sets(reg) for k in range(2, 10))
        return reg, 4 if kept else 0, 0
    took = False
    for path in in_use_sets(reg, writable=True):
        for k in range(2, 10):
            text = read_text(reg, path, slot(k))
            if "QELDAT2012" in text.upper() or text == "":
                reg.set(path, slot(k), text_value("ON,0," + argument.upper()))
                took = True
                break
    return reg, (0 if took else 1), (0 if took else 1)


# ---------------------------------------------------------------------------------------------
# Checking one case.

def may_change(key_upper, name):
    """Only slots 2 to 9 of the nine profiles' sets 1 to 9 may ever be written."""
    for profile in PROFILES:
        for n in range(1, 10):
            if key_upper == set_key(profile, n).upper():
                return name in [slot(k) for k in range(2, 10)]
    return False


def compare(expected, actual):
    problems = []
    want, want_keys = expected.flat()
    got, got_keys = actual.flat()
    for where in sorted(set(want) | set(got)):
        if want.get(where) != got.get(where):
            problems.append("%s : %s is %r, expected %r" % (where[0], where[1], got.get(where),
                                                           want.get(where)))
    if want_keys != got_keys:
        problems.append("keys differ: extra %s, missing %s" % (sorted(got_keys - want_keys),
                                                              sorted(want_keys - got_keys)))
    return problems


class Suite:
    def __init__(self, session, program):
        self.session, self.program = session, program
        self.passed, self.failed = 0, []

    def case(self, name, seed, command_lines, arguments, checks=(), screenshot=None):
        """Runs the command lines one after another on the seeded registry and checks the result
        against the model fed with the arguments the program should have taken from them."""
        outcome = self.session.run(self.program, seed, command_lines, screenshot=screenshot)
        reg, exits, boxes = seed, [], 0
        for argument in arguments:
            reg, status, shown = model(reg, argument)
            exits.append(status)
            boxes += shown
        self.judge(name, seed, outcome, reg, exits, boxes, checks)

    def judge(self, name, seed, outcome, reg, exits, boxes, checks=()):
        """Compares what a run left (outcome) with what was expected: the tree reg, the exit
        statuses, the number of failure boxes, and what each check says."""
        problems = compare(reg, outcome.registry)
        before, _ = seed.flat()
        after, _ = outcome.registry.flat()
        for where in set(before) | set(after):
            if before.get(where) != after.get(where) and not may_change(*where):
                problems.append("changed where nothing may change: %s : %s" % where)
        # An expected status of None takes any.
        if len(outcome.exits) != len(exits) or any(
                wanted is not None and wanted != got for wanted, got in zip(exits, outcome.exits)):
            problems.append("exit status %s, expected %s" % (outcome.exits, exits))
        if len(outcome.boxes) != boxes:
            problems.append("%d message boxes, expected %d: %s" % (len(outcome.boxes), boxes,
                                                                  outcome.boxes))
        for box in outcome.boxes:
            text_ok = box.text == TEXT if box.text_complete else TEXT.startswith(box.text)
            if box.caption != TITLE or box.style != 16 or box.owner != 0 or not text_ok:
                problems.append("wrong message box: %r" % box)
        if "DISPLAY" in self.session.env and len(outcome.windows) != boxes:
            problems.append("%d box windows appeared, expected %d: %s" % (
                len(outcome.windows), boxes, outcome.windows))
        for check in checks:
            problem = check(outcome.registry)
            if problem:
                problems.append(problem)
        self.record(name, problems, "(exit %s, %d box)" % (exits, boxes))

    def record(self, name, problems, detail=""):
        """Counts a case as passed when it found no problem, and prints it either way."""
        label = "%s: %s" % (os.path.basename(self.program), name)
        if problems:
            self.failed.append(label)
            print("FAIL " + label)
            for problem in problems[:12]:
                print("     " + problem)
        else:
            self.passed += 1
            print("ok   %s%s" % (label, " " + detail if detail else ""))


def report(name, suites):
    """Prints the count of the suites' cases and the failed ones; gives the exit status."""
    failed = [label for suite in suites for label in suite.failed]
    print("%s: %d passed, %d failed" % (name, sum(suite.passed for suite in suites), len(failed)))
    for label in failed:
        print("failed: " + label)
    return 1 if failed else 0


def holds(path, k, text):
    def check(reg):
        value = reg.get(path, slot(k))
        if value != text_value(text):
            return "%s slot %d holds %r, expected %r" % (path, k, value, text_value(text))
    return check


def in_use(*sets, slots=None):
    reg = Registry()
    for profile, n in sets:
        reg.set(set_key(profile, n), slot(1), text_value(SYSTEM_DIC))
        for k, text in (slots or {}).items():
            reg.set(set_key(profile, n), slot(k), text_value(text))
    return reg


def typical():
    """A typical user's registry: 2 profiles, 3 sets in use, another dictionary in each."""
    return in_use(("Atkms", 1), ("Atkms", 2), ("User0", 1), slots={2: OTHER_DIC})


def explicit_cases(suite, screenshot):
    install = PROGRAM_NAME + " C:\\Dic\\QelDat2012.dic"
    entry = "ON,0,C:\\DIC\\QELDAT2012.DIC"
    a1 = set_key("Atkms", 1)

    suite.case("no ATOK settings: install shows the message once", Registry(), [install],
               ["C:\\Dic\\QelDat2012.dic"], screenshot=screenshot)
    suite.case("no ATOK settings: removal changes and shows nothing", Registry(),
               [PROGRAM_NAME + " /uninst"], ["/uninst"])

    reg = in_use(("Atkms", 1), ("Atkms", 2), ("User0", 1))
    reg.add_key(set_key("Atkms", 3))
    suite.case("three in-use sets get three entries", reg, [install], ["C:\\Dic\\QelDat2012.dic"],
               [holds(a1, 2, entry), holds(set_key("Atkms", 2), 2, entry),
                holds(set_key("User0", 1), 2, entry)])

    reg = in_use(("Atkms", 1), slots={2: OTHER_DIC, 3: "ON,0,C:\\OLD\\QELDAT2011.DIC"})
    suite.case("older edition in slot 3 is emptied, then slot 3 is reused", reg, [install],
               ["C:\\Dic\\QelDat2012.dic"], [holds(a1, 2, OTHER_DIC), holds(a1, 3, entry)])

    reg = in_use(("Atkms", 1), slots={2: OTHER_DIC, 3: "on,0,c:\\dic\\qeldat2012.dic"})
    suite.case("lower-case entry is removed by /uninst", reg, [PROGRAM_NAME + " /uninst"],
               ["/uninst"], [holds(a1, 3, "")])

    reg = in_use(("Atkms", 1), slots={k: OTHER_DIC for k in range(2, 10)})
    reg.set(set_key("Atkms", 2), slot(1), text_value(""))
    reg.set(set_key("Atkms", 2), slot(3), text_value("ON,0,C:\\QELDAT2011.DIC"))
    suite.case("full sets and sets not in use: nothing written, one message", reg, [install],
               ["C:\\Dic\\QelDat2012.dic"])

    reg = in_use(("Atkms", 1), ("User0", 1), slots={2: "ON,0,C:\\DIC\\QELDAT2012.DIC"})
    reg.read_only.add(set_key("User0", 1))
    suite.case("a set the user may only read keeps its entry: /uninst ends with 4", reg,
               [PROGRAM_NAME + " /uninst"], ["/uninst"],
               [holds(a1, 2, ""), holds(set_key("User0", 1), 2, "ON,0,C:\\DIC\\QELDAT2012.DIC")])

    reg = in_use(("Atkms", 1), slots={2: "ON,0,C:\\DIC\\QELDAT2012.DIC"})
    suite.case("/UNINST is a path, not the switch", reg, [PROGRAM_NAME + " /UNINST"], ["/UNINST"],
               [holds(a1, 2, "ON,0,/UNINST")])
    suite.case("quoted /uninst removes", reg, [PROGRAM_NAME + ' "/uninst"'], ["/uninst"],
               [holds(a1, 2, "")])
    suite.case("path with blanks arrives whole", in_use(("Atkms", 1)),
               ["dicreg.exe C:\\My Dics\\QelDat2012.dic"], ["C:\\My Dics\\QelDat2012.dic"],
               [holds(a1, 2, "ON,0,C:\\MY DICS\\QELDAT2012.DIC")])
    suite.case("quoted path with trailing blanks and tab", in_use(("Atkms", 1)),
               [PROGRAM_NAME + '\t"C:\\My Dics\\QelDat2012.dic"  \t '],
               ["C:\\My Dics\\QelDat2012.dic"],
               [holds(a1, 2, "ON,0,C:\\MY DICS\\QELDAT2012.DIC")])
    for label, line in [("no argument", PROGRAM_NAME), ("blanks only", PROGRAM_NAME + "   \t"),
                        ("empty quotes", PROGRAM_NAME + ' ""'),
                        ("quoted blanks", PROGRAM_NAME + ' "   "')]:
        suite.case("refused: " + label, reg, [line], [None])
    path = "C:\\ユーザー\\辞書\\𠮷野家\\qeldat2012.dic"
    suite.case("Japanese and non-BMP characters in the path", in_use(("User0", 9)),
               [PROGRAM_NAME + ' "' + path + '"'], [path],
               [holds(set_key("User0", 9), 2, "ON,0,C:\\ユーザー\\辞書\\𠮷野家\\QELDAT2012.DIC")])
    suite.case("full-width letters are upper-cased too", in_use(("Atxl", 4)),
               [PROGRAM_NAME + " C:\\ｄｉｃ\\QelDat2012.dic"], ["C:\\ｄｉｃ\\QelDat2012.dic"],
               [holds(set_key("Atxl", 4), 2, "ON,0,C:\\ＤＩＣ\\QELDAT2012.DIC")])
    reg = in_use(("Atkms", 1), ("Atokw", 3), slots={2: OTHER_DIC})
    suite.case("two installs in a row leave one entry per set", reg,
               [install, PROGRAM_NAME + " D:\\New\\QelDat2012.dic"],
               ["C:\\Dic\\QelDat2012.dic", "D:\\New\\QelDat2012.dic"],
               [holds(a1, 3, "ON,0,D:\\NEW\\QELDAT2012.DIC")])
    reg = in_use(("Atkms", 1))
    reg.set(a1, slot(2), Value(1, "ON,0,C:\\OTHER.DIC".encode("utf-16-le")))
    reg.set(a1, slot(3), Value(1, "ON,0,A\0QELDAT".encode("utf-16-le") + b"\0\0"))
    reg.set(a1, "システム辞書4", text_value("ON,0,C:\\QELDAT2011.DIC"))
    suite.case("text without NUL is taken, NUL inside ends the text, plain digits ignored", reg,
               [install], ["C:\\Dic\\QelDat2012.dic"], [holds(a1, 4, entry)])
    reg = in_use(("Atwd", 2))
    reg.set(set_key("Atwd", 2), slot(1), text_value("ON,0,C:\\DIC\\QELDAT2012.DIC"))
    suite.case("slot 1 is never written, even when it holds the dictionary", reg, [install],
               ["C:\\Dic\\QelDat2012.dic"], [holds(set_key("Atwd", 2), 2, entry)])
    suite.case("slot 1 is never emptied by /uninst", reg, [PROGRAM_NAME + " /uninst"], ["/uninst"],
               [holds(set_key("Atwd", 2), 1, "ON,0,C:\\DIC\\QELDAT2012.DIC")])
    reg = in_use(*[(p, 5) for p in PROFILES])
    reg.set(set_key("Atok99", 1), slot(1), text_value(SYSTEM_DIC))
    reg.set("Software\\Justsystem\\ATOK\\24.0\\Profile\\Atkms\\DicSet1", slot(1),
            text_value(SYSTEM_DIC))
    suite.case("all nine profiles and no other", reg, [install], ["C:\\Dic\\QelDat2012.dic"],
               [holds(set_key(p, 5), 2, entry) for p in PROFILES])


# ---------------------------------------------------------------------------------------------
# Randomized registry states.

COMMAND_LINES = [
    (PROGRAM_NAME + " C:\\Dic\\QelDat2012.dic", "C:\\Dic\\QelDat2012.dic"),
    (PROGRAM_NAME + ' "C:\\Program Files\\Qel Dic\\qeldat2012.DIC" ',
     "C:\\Program Files\\Qel Dic\\qeldat2012.DIC"),
    ("dicreg.exe D:\\辞書\\QelDat2012.dic", "D:\\辞書\\QelDat2012.dic"),
    (PROGRAM_NAME + " /uninst", "/uninst"),
    ('dicreg.exe "/uninst"\t', "/uninst"),
    (PROGRAM_NAME + " /Uninst", "/Uninst"),
    (PROGRAM_NAME + "  ", None),
]


def oldest_windows_case(suite):
    """One install and its removal, for a prefix set to the program's oldest Windows."""
    dictionary = "C:\\Dic\\QelDat2012.dic"
    suite.case("on %s: install" % suite.session.windows, typical(),
               [PROGRAM_NAME + " " + dictionary], [dictionary])
    installed, _, _ = model(typical(), dictionary)
    suite.case("on %s: /uninst" % suite.session.windows, installed, [PROGRAM_NAME + " /uninst"],
               ["/uninst"])


def random_slot_value(rng):
    edition = rng.choice(["QelDat2009", "QELDAT2011", "qeldat2012", "QelDat2012", "QelDat2013"])
    family = "ON,0,C:\\%s\\%s.dic" % (rng.choice(["Dic", "ｄｉｃ", "辞書"]), edition)
    kind = rng.randrange(12)
    if kind == 0:
        return None
    if kind == 1:
        return text_value("")
    if kind in (2, 3):
        return text_value(rng.choice([OTHER_DIC, "ON,0,C:\\DICS\\LAW.DIC", "OFF,0,C:\\QEL.DIC"]))
    if kind in (4, 5):
        return text_value(family)
    if kind == 6:
        return dword_value(rng.choice([0, 42, -1]))
    if kind == 7:
        return Value(rng.choice([2, 3, 7]), family.encode("utf-16-le") + b"\0\0")
    if kind == 8:
        return text_value(rng.choice([family, OTHER_DIC]), nul=False)
    if kind == 9:
        return Value(1, ("ON,0,X\0" + family + "\0").encode("utf-16-le"))
    if kind == 10:
        return Value(1, b"")
    return text_value(family.lower())


def random_registry(rng):
    reg = Registry()
    # A scarce registry has few sets, mostly full: often none takes the dictionary.
    scarce = rng.random() < 0.3
    for profile in PROFILES + ["Atok99"]:
        if rng.random() < (0.85 if scarce else 0.5):
            continue
        written = rng.choice([profile, profile.upper(), profile.lower()])
        reg.add_key(ROOT + written)
        for n in list(range(1, 10)) + ["A"]:
            if rng.random() < 0.5:
                continue
            path = ROOT + written + "\\DicSet" + str(n)
            reg.add_key(path)
            first = rng.randrange(10)
            if first < 6:
                reg.set(path, slot(1), text_value(SYSTEM_DIC))
            elif first == 6:
                reg.set(path, slot(1), text_value(""))
            elif first == 7:
                reg.set(path, slot(1), dword_value(1))
            elif first == 8:
                reg.set(path, slot(1), Value(3, b"\1"))
            elif rng.random() < 0.5:
                reg.set(path, slot(1), text_value("ON,0,C:\\DIC\\QelDat2012.dic"))
            full = rng.random() < (0.8 if scarce else 0.25)
            for k in range(2, 10):
                value = text_value(OTHER_DIC) if full else random_slot_value(rng)
                if value is not None:
                    reg.set(path, slot(k), value)
            if rng.random() < 0.3:
                reg.set(path, "システム辞書" + str(rng.randrange(2, 10)),
                        text_value("ON,0,C:\\QELDAT2011.DIC"))
    if rng.random() < 0.3:
        path = "Software\\Justsystem\\ATOK\\24.0\\Profile\\Atkms\\DicSet1"
        reg.set(path, slot(1), text_value(SYSTEM_DIC))
        reg.set(path, slot(2), text_value("ON,0,C:\\QELDAT2011.DIC"))
    return reg


def random_cases(suite, seed, count):
    rng = random.Random(seed)
    for i in range(count):
        reg = random_registry(rng)
        line, argument = rng.choice(COMMAND_LINES)
        suite.case("random #%d (seed %d)" % (i, seed), reg, [line], [argument])


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--program", action="append", required=True)
    parser.add_argument("--work", required=True, help="folder for the Wine prefix and artifacts")
    parser.add_argument("--seed", type=int, default=int(os.environ.get("E2E_SEED", "2012")))
    parser.add_argument("--random", type=int, default=int(os.environ.get("E2E_RANDOM", "40")))
    parser.add_argument("--windows", choices=sorted(WINDOWS_VERSIONS),
                        help="only one install and removal, in a prefix set to this Windows")
    args = parser.parse_args()

    from reporting import Reports  # it builds on this module's model
    session = WineSession(args.work, args.driver, windows=args.windows)
    suites = []
    try:
        for program in args.program:
            suites.append(Suite(session, program))
            reports = Reports(suites[-1], program)
            if args.windows:
                oldest_windows_case(suites[-1])
                reports.on_oldest(args.windows)
                continue
            shot = os.path.join(os.path.abspath(args.work), "messagebox-%s.png" %
                                os.path.splitext(os.path.basename(program))[0])
            explicit_cases(suites[-1], shot)
            random_cases(suites[-1], args.seed, args.random)
            reports.run(args.seed, args.random // 6)
    finally:
        session.close()
    print("end-to-end suite, random seed %d" % args.seed)
    return report("e2e", suites)

if __name__ == "__main__":
    sys.exit(main())
