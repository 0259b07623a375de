#!/usr/bin/env python3
"""The example packages as a person installs them: double-clicked and clicked through in a Wine
desktop window under Xvfb, in a prefix whose user speaks Japanese and in one whose user speaks
English. Each case checks the pages' texts, leaves a screenshot of every page in the work folder,
and compares the registry with the model, as the silent cases do; every case runs for each
setup program of the folder (engines.py).
"""

import argparse
import os
import re
import sys

from atoklayout import OTHER_DIC
from e2e import report, in_use, model
from packages import CHOSEN, Packages
from person import RELAY, Person, PageMissing
from reporting import SAYS
from winesession import WineSession, text_value

LOCALES = {"ja": ("ja_JP.UTF-8", "00000411"), "en": ("en_US.UTF-8", "00000409")}
NOTEPAD = {"ja": "メモ帳", "en": "Notepad"}  # its title, after the file's name
OTHERS = ["MEDICAL", "LAW", "IT", "FINANCE", "PLACES", "NAMES", "ENGLISH", "KANJI"]


class Interactive(Packages):
    """The cases of one prefix, whose user speaks the given language."""

    def __init__(self, session, folder, language, shots):
        super().__init__(session, folder)
        self.language, self.shots = language, shots
        self.suite.program = "interactive-" + language

    def check_locale(self):
        """Wine falls back to English when the locale is missing: the user's must be the one
        asked for."""
        key = "Control Panel\\International"
        outcome = self.session.run("C:\\none.exe", None, [], trace=False, also_dump=(key,))
        wanted = LOCALES[self.language][1]
        if outcome.registry.get(key, "Locale") != text_value(wanted):
            raise RuntimeError("the prefix's user locale is %r, not %s: is %s generated?" % (
                outcome.registry.get(key, "Locale"), wanted, LOCALES[self.language][0]))

    def clicked(self, name, seed, program, line, expected, boxes, steps, checks=(), exit=0):
        """Runs one command line with a person going through steps; checks as a silent step."""
        label = "%s-%s" % (self.language, re.sub(r"[^a-z0-9]+", "-", name).strip("-"))
        person = Person(self.session, self.shots, label, steps)
        name = "%s: %s" % (self.language, name)
        try:
            return self.step(name, seed, program, [line], expected, [exit], boxes,
                             list(checks) + [lambda _: "; ".join(person.problems) or None],
                             person)
        except PageMissing as missing:
            self.suite.record(name, ["%s (see %s)" % (missing, person.pictures[-1])])
            return None

    def setup(self, engine, seed, folder=None, box=False):
        """The setup double-clicked and clicked through (typing folder on the folder page): its
        finish page, or its log, tells whether the dictionary is registered. When it is not,
        the finish page offers the report, checked, and the report opens in Notepad; the finish
        page says that a sign-in registers it once ATOK 2012 can take it, and the startup entry
        that does it waits."""
        t = engine.pages[self.language]
        steps = [("title", t["title"]), ("page", "welcome", t["welcome"]), ("key", "Return")]
        if engine.settings["license_text"]:
            texts, keys = t["license"]
            steps += [("page", "license", texts)] + [("key", key) for key in keys]
        steps.append(("page", "folder", t["folder"]))
        if folder:
            steps.append(("type", folder))
        steps.append(("key", "Return"))
        if box:
            steps.append(("box", "辞書登録エラー"))
        answer = "not yet" if box else "registered"
        steps += [("page", "finish", t["finish"] + [t[answer]] if t[answer] else t["finish"]),
                  ("key", "Return")]
        if box:
            steps.append(("after", "%s - %s" % (SAYS[self.language]["file"],
                                                NOTEPAD[self.language]), "alt+F4"))
        where = folder or self.default
        expected, _, shown = model(seed, where + "\\" + engine.dictionary())
        setup, line = engine.started()
        return self.clicked("%s setup%s" % (engine.name, ", no set in use" if box else ""), seed,
                            setup, line, expected, shown, steps,
                            [self.files(engine, where, True), self.waiting(where, box),
                             self.said(engine, where, answer, [self.language])])

    def uninstall(self, engine, installed, folder):
        """Its uninstaller, started from the installed programs."""
        program, line = engine.uninstall(installed, quiet=False)
        removed, _, _ = model(installed, "/uninst")
        self.clicked("%s uninstall" % engine.name, installed, program, line, removed, 0,
                     engine.pages[self.language]["uninstall"],
                     [self.files(engine, folder, False)])

    def uninstall_quietly(self, engine, installed, variant=""):
        program, line = engine.uninstall(installed, variant=variant)
        self.session.run(program, None, [line], children=True, trace=False)

    def downgrade(self, engine, seed):
        """The next version installed, then this one started over it: a box says why it stops,
        in the user's language, and nothing changes."""
        expected, _, _ = model(seed, self.default + "\\" + engine.dictionary("-next"))
        program, line = engine.install(variant="-next")
        newer = self.step("%s: %s, the next version" % (self.language, engine.name), seed,
                          program, [line], expected, [0], 0, [])
        program, line = engine.started()
        self.clicked("%s older over newer" % engine.name, newer, program, line, newer, 0,
                     [engine.pages[self.language]["refused"]],
                     [self.files(engine, self.default, True, variant="-next")],
                     exit=engine.refused_status)
        self.uninstall_quietly(engine, newer, variant="-next")

    def msi_basic_ui(self, engine, seed):
        """msiexec /qb: a progress window on Windows, nothing to click (Wine's msiexec shows
        none)."""
        expected, _, _ = model(seed, self.default + "\\" + engine.dictionary())
        program, line = engine.started()
        installed = self.clicked("msi /qb", seed, program, line, expected, 0, [],
                                 [self.files(engine, self.default, True)])
        if installed is not None:  # leave the prefix as it was
            self.uninstall_quietly(engine, installed)

    def run(self):
        self.check_locale()
        typical = in_use(("Atkms", 1), ("User0", 1), slots={2: OTHER_DIC})
        for engine in self.engines:
            if "refused" in engine.pages[self.language]:
                self.downgrade(engine, typical)
            if engine.msi:
                if self.language == "ja":
                    self.msi_basic_ui(engine, typical)
                continue
            if self.language == "en":
                installed = self.setup(engine, typical)
                if installed is not None:
                    self.uninstall_quietly(engine, installed)
                continue
            installed = self.setup(engine, typical, CHOSEN)
            if installed is not None:
                self.uninstall(engine, installed, CHOSEN)
            # Its one set in use is full, which the report shows.
            full = in_use(("User0", 1), slots={k: "ON,0,C:\\DICS\\%s.DIC" % name for k, name in
                                               zip(range(2, 10), OTHERS)})
            installed = self.setup(engine, full, box=True)
            if installed is not None:
                # ATOK 2012's user information set up, with another set in use: the next
                # sign-in registers it where it can.
                set_up = installed.copy()
                set_up.keys.update(typical.keys)
                registered, _, _ = model(set_up, self.default + "\\" + engine.dictionary())
                installed = self.sign_in("%s: %s, ATOK set up: the next sign-in registers it" % (
                    self.language, engine.name), installed, set_up, registered,
                    [self.waiting(self.default, False, done=True)])
                self.uninstall_quietly(engine, installed)
        return self.suite


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--packages", required=True, help="a folder of packages")
    parser.add_argument("--work", required=True, help="folder for the prefixes")
    parser.add_argument("--shots", required=True, help="folder for the screenshots")
    parser.add_argument("--engine", action="append",
                        help="only this engine's packages (nsis, msi, inno5, inno6)")
    args = parser.parse_args()
    Packages.only = args.engine

    suites = []
    for language in ("ja", "en"):
        session = WineSession(os.path.join(args.work, language), args.driver, relay=RELAY,
                              lang=LOCALES[language][0], desktop=True)
        try:
            suites.append(Interactive(session, args.packages, language, args.shots).run())
        finally:
            session.close()
    return report("interactive", suites)


if __name__ == "__main__":
    sys.exit(main())
