#!/usr/bin/env python3
"""The example packages as a person installs them: double-clicked and clicked through in a Wine
desktop window under Xvfb, in a prefix whose user speaks Japanese and in one whose user speaks
English. Each case checks the pages' texts, leaves a screenshot of every page in the work folder,
and compares the registry with the model, as the silent cases do.
"""

import argparse
import os
import re
import sys

from atoklayout import OTHER_DIC
from e2e import report, in_use, model
from packages import CHOSEN, MSIEXEC, Packages
from person import RELAY, Person, PageMissing
from winesession import Registry, WineSession, text_value, windows_path

LOCALES = {"ja": ("ja_JP.UTF-8", "00000411"), "en": ("en_US.UTF-8", "00000409")}
# What each page of the NSIS setup says, in each language: its title and the texts of its
# buttons, where the setup sets them with a traced call (the finish page's button takes
# WM_SETTEXT, which the trace does not show).
PAGES = {
    "ja": {"welcome": ["QelDat2012 セットアップへようこそ", "次へ(&N) >", "キャンセル"],
           "folder": ["インストール先のフォルダ", "インストール(&I)", "< 戻る(&B)"],
           "finish": ["QelDat2012 セットアップの完了"],
           "confirm": ["QelDat2012 アンインストール", "ｱﾝｲﾝｽﾄｰﾙ(&U)"],
           "removed": ["閉じる(&C)"],
           "title": "QelDat2012 セットアップ",
           "registered": "ATOK 2012 に登録しました。", "not yet": "まだ登録していません"},
    "en": {"welcome": ["Welcome to QelDat2012 Setup", "&Next >", "Cancel"],
           "folder": ["Destination Folder", "&Install", "< &Back"],
           "finish": ["Completing QelDat2012 Setup"],
           "title": "QelDat2012 Setup",
           "registered": "registered in ATOK 2012. It is ready to use."},
}


class Interactive(Packages):
    """The cases of one prefix, whose user speaks the given language."""

    def __init__(self, session, folder, language, shots):
        super().__init__(session, folder)
        self.language, self.shots = language, shots
        self.suite.program = "interactive-" + language
        self.texts = PAGES[language]

    def check_locale(self):
        """Wine falls back to English when the locale is missing: the user's must be the one
        asked for."""
        key = "Control Panel\\International"
        outcome = self.session.run("C:\\none.exe", None, [], trace=False, also_dump=(key,))
        wanted = LOCALES[self.language][1]
        if outcome.registry.get(key, "Locale") != text_value(wanted):
            raise RuntimeError("the prefix's user locale is %r, not %s: is %s generated?" % (
                outcome.registry.get(key, "Locale"), wanted, LOCALES[self.language][0]))

    def clicked(self, name, seed, program, line, expected, boxes, steps, checks=()):
        """Runs one command line with a person going through steps; checks as a silent step."""
        label = "%s-%s" % (self.language, re.sub(r"[^a-z0-9]+", "-", name).strip("-"))
        person = Person(self.session, self.shots, label, steps)
        name = "%s: %s" % (self.language, name)
        try:
            return self.step(name, seed, program, [line], expected, [0], boxes, list(checks) + [
                lambda _: "; ".join(person.problems) or None], person)
        except PageMissing as missing:
            self.suite.record(name, ["%s (see %s)" % (missing, person.pictures[-1])])
            return None

    def setup_steps(self, folder=None, box=False):
        t = self.texts
        steps = [("title", t["title"]), ("page", "welcome", t["welcome"]), ("key", "Return"),
                 ("page", "folder", t["folder"])]
        if folder:
            steps.append(("type", folder))
        steps.append(("key", "Return"))
        if box:
            steps.append(("box", "辞書登録エラー"))
        finish = t["not yet"] if box else t["registered"]
        return steps + [("page", "finish", t["finish"] + [finish]), ("key", "Return")]

    def nsis(self, seed, folder=None, box=False):
        """The setup double-clicked and clicked through (typing folder on the folder page)."""
        where = folder or self.default
        setup = os.path.join(self.folder, "QelDat2012-setup.exe")
        expected, _, shown = model(seed, where + "\\QelDat2012.dic")
        return self.clicked("nsis setup" + (", no set in use" if box else ""), seed, setup,
                            '"%s"' % windows_path(setup), expected, shown,
                            self.setup_steps(folder, box), [self.files(where, True, "nsis")])

    def nsis_uninstall(self, installed, folder):
        program, line = self.uninstall("nsis", installed, quiet=False)
        removed, _, _ = model(installed, "/uninst")
        steps = [("page", "confirm", self.texts["confirm"]), ("key", "Return"),
                 ("page", "removed", self.texts["removed"]), ("key", "Return")]
        self.clicked("nsis uninstall", installed, program, line, removed, 0, steps,
                     [self.files(folder, False, "nsis")])

    def msi_basic_ui(self, seed):
        """msiexec /qb: a progress window on Windows, nothing to click (Wine's msiexec shows
        none)."""
        expected, _, _ = model(seed, self.default + "\\QelDat2012.dic")
        installed = self.clicked("msi /qb", seed, MSIEXEC,
                                 self.msiexec("/i", "QelDat2012.msi", ui="/qb"), expected, 0, [],
                                 [self.files(self.default, True, "msi")])
        if installed is not None:  # leave the prefix as it was
            self.session.run(MSIEXEC, None, [self.msiexec("/x", "QelDat2012.msi")],
                             children=True, trace=False)

    def run(self):
        self.check_locale()
        typical = in_use(("Atkms", 1), ("User0", 1), slots={2: OTHER_DIC})
        if self.language == "en":
            installed = self.nsis(typical)
            if installed is not None:
                self.nsis_uninstall_quietly(installed)
            return self.suite
        installed = self.nsis(typical, CHOSEN)
        if installed is not None:
            self.nsis_uninstall(installed, CHOSEN)
        installed = self.nsis(Registry(), box=True)
        if installed is not None:
            self.nsis_uninstall_quietly(installed)
        self.msi_basic_ui(typical)
        return self.suite

    def nsis_uninstall_quietly(self, installed):
        program, line = self.uninstall("nsis", installed)
        self.session.run(program, None, [line], children=True, trace=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--packages", required=True, help="a folder of packages")
    parser.add_argument("--work", required=True, help="folder for the prefixes")
    parser.add_argument("--shots", required=True, help="folder for the screenshots")
    args = parser.parse_args()

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
