#!/usr/bin/env python3
"""End-to-end cases of the example packages (the NSIS setup, the MSI, and the Inno Setup setups
where they are built), installed and removed silently under Wine as a publisher's users would.

Each step seeds HKCU (or goes on from the step before), runs the installer or the uninstaller
through the driver, and compares the whole Justsystem tree with the model of dicreg fed the path
where the package put the dictionary; the files, the folder and the entry in the user's
installed programs are looked at too. Every case runs for every engine (engines.py). A sign-in is
a new Wine session, and a dictionary in use is held open by the driver as an input method holds
it.
"""

import argparse
import contextlib
import os
import re
import shlex
import shutil
import subprocess
import sys
import time

from atoklayout import OTHER_DIC, set_key, slot
from e2e import Suite, in_use, in_use_sets, model, read_text, report, typical
import guide
from engines import (CMD, DICTIONARY, ENTRIES, MARKER, MSIEXEC, PROGRAM_FILES, RUN, RUNONCE,
                     Msi, built_with, engines)
from reporting import SAYS
import rollback
from signin import APPROVED, KEYS as SIGN_IN_KEYS, SignIn
from winesession import (PROFILE, WINDOWS_VERSIONS, Registry, WineSession, hexw, text_value,
                         windows_path)

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
CHECK_PE = os.path.join(ROOT, "tests", "release", "check_pe.py")
# Where the publisher's settings show: the uninstall entry's values, the MSI's properties.
ENTRY_SETTINGS = {"DisplayName": "DICREG_PRODUCT_NAME", "Publisher": "DICREG_PUBLISHER",
                  "DisplayVersion": "DICREG_PACKAGE_VERSION"}
MSI_SETTINGS = {"ProductName": "DICREG_PRODUCT_NAME", "Manufacturer": "DICREG_PUBLISHER",
                "ProductVersion": "DICREG_PACKAGE_VERSION", "UpgradeCode": "DICREG_UPGRADE_CODE"}
PRODUCTS_KEY = "Software\\Microsoft\\Installer\\Products"  # a user's Windows Installer products
ARP_VALUES = ("DisplayName", "UninstallString", "QuietUninstallString")
CHOSEN = "C:\\QelDat テスト\\私の 辞書"  # a folder the user chose: blanks and Japanese characters
# A long folder the user chose: a command that named it three times, as the held dictionary's
# cleanup once did, would be longer than Windows runs at a sign-in.
LONG = ("C:\\QelDat2012 のために選んだ長い名前のフォルダー\\辞書とその関連ファイルをまとめて入れて"
        "おくためのフォルダー\\お客様が選んだインストール先のフォルダー\\QelDat 2012 医療辞書")
WINDOWS = {"winxp": (5, 1), "vista": (6, 0)}


@contextlib.contextmanager
def held(session, path):
    """An input method that holds a dictionary open while the block runs, as it does while it
    runs: reading, sharing reading only, so that the file can be neither written, deleted nor
    renamed."""
    stop, ready = (os.path.join(session.work_dir, name) for name in ("stop-holding", "holding"))
    for flag in (stop, ready):
        if os.path.exists(flag):
            os.remove(flag)
    proc = subprocess.Popen([session.wine, session.driver, "hold", hexw(path), windows_path(ready),
                             windows_path(stop)], env=session.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while not os.path.exists(ready):
        if proc.poll() is not None or time.monotonic() > deadline:
            proc.kill()
            raise RuntimeError("could not hold %s open" % path)
        time.sleep(0.1)
    try:
        yield
    finally:
        open(stop, "w").close()
        proc.wait(timeout=30)


def msi_properties(package):
    """The Property table of an MSI package."""
    exported = subprocess.run(["msiinfo", "export", package, "Property"], check=True,
                              capture_output=True, text=True).stdout
    return dict(line.split("\t", 1) for line in exported.splitlines() if "\t" in line)


class Packages:
    """The packages built with one kind of dicreg program (build/installers/<arch>)."""

    only = None  # the names of the engines to try, or None for all
    # The engines whose customer's-PC cases ran: once for each, whichever dicreg it packs.
    unattended_done = set()

    def __init__(self, session, folder):
        self.session = session
        self.folder = folder
        self.engines = [engine for engine in engines(folder)
                        if not self.only or engine.name in self.only]
        self.suite = Suite(session, "packages-" + os.path.basename(os.path.normpath(folder)))
        self.default = PROFILE + "\\AppData\\Local\\QelDat2012"
        # What the packages were built with.
        built = built_with(folder)
        self.product = built["product"]
        self.menu = (PROFILE + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\" +
                     self.product)
        self.versions = {"": built["version"], "-next": built["next_version"]}
        self.next_dictionary = os.path.join(folder, "..", "next", DICTIONARY)
        self.also_dump = (PRODUCTS_KEY, Msi.products, MARKER[0]) + SIGN_IN_KEYS + tuple(
            e.entry_key for e in self.engines if e.entry_key)

    def linux(self, where):
        return self.session.linux(where)

    def entries(self):
        """The Windows paths of the Start menu's entries (report, register again), in the
        language they were made in; None when they are not all there."""
        folder = self.linux(self.menu)
        found = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        for names in ENTRIES.values():
            if found == sorted(name + ".lnk" for name in names):
                return ["%s\\%s.lnk" % (self.menu, name) for name in names]
        return None

    def dictionaries(self, where):
        """The dictionary files below the folder, as paths relative to it."""
        linux = self.linux(where)
        return sorted(os.path.relpath(os.path.join(folder, name), linux).replace("/", "\\")
                      for folder, _, names in os.walk(linux) for name in names
                      if name == DICTIONARY)

    def files(self, engine, where, present, emptied=False, variant=""):
        """Checks that the files (the variant's dictionary, and no other), the folder, the Start
        menu's entries and the uninstall entry are there, or are all gone, with nothing left that
        runs at sign-in (with emptied, the folder may still be there, empty, and must go within
        5 s)."""
        linux = self.linux(where)
        wanted = engine.files + [engine.dictionary(variant)]

        def check(registry):
            if present and not self.entries():
                return "the Start menu's folder %s does not hold the two entries" % self.menu
            if not present and os.path.exists(self.linux(self.menu)):
                return "the Start menu's folder %s is still there" % self.menu
            found = [n for n in wanted if os.path.exists(os.path.join(linux, *n.split("\\")))]
            if present and len(found) != len(wanted):
                return "installed files in %s: %s, expected %s" % (where, found, wanted)
            if present and self.dictionaries(where) != [engine.dictionary(variant)]:
                return "dictionaries in %s: %s" % (where, self.dictionaries(where))
            if not present and self.waiting(where, False)(registry):
                return self.waiting(where, False)(registry)
            if not present and os.path.exists(linux):
                if os.listdir(linux) or not emptied:
                    return "%s is still there, with %s" % (where, os.listdir(linux))
                deadline = time.monotonic() + 5
                while os.path.exists(linux) and time.monotonic() < deadline:
                    time.sleep(0.1)
                if os.path.exists(linux):
                    return "%s, emptied, is still there 5 s later" % where
            if engine.entry_key:
                entry = [registry.get(engine.entry_key, name) is not None for name in ARP_VALUES]
                if entry != [present] * len(ARP_VALUES):
                    return "uninstall entry %s: %s" % ("incomplete" if present else "left behind",
                                                       dict(zip(ARP_VALUES, entry)))
            return None
        return check

    def at_sign_in(self, registry, where, keys=(RUN, RUNONCE)):
        """The values of the user's Run and RunOnce keys that name the folder."""
        return ["%s: %r" % (name, value) for key in keys
                for name, value in registry.keys.get(registry.find_key(key), {}).items()
                if where.upper() in value.data.decode("utf-16-le", "replace").upper()]

    def waiting(self, where, waits, cleanup=False, done=False):
        """Checks that the startup entry, named after the product, that registers the dictionary
        at a later sign-in is there, with the marker that a registration waits (waits), or that
        nothing of the package runs at sign-in and no marker is left (with cleanup, but RunOnce
        values that delete what was held open; with done, but the startup entry, which a sign-in
        may not take away, left with nothing to do)."""
        wanted = text_value('"%s\\dicreport.exe" /signin' % where)

        def check(registry):
            left = self.at_sign_in(registry, where, (RUN,) if cleanup else (RUN, RUNONCE))
            if done:
                left = [said for said in left if not said.startswith(self.product + ": ")]
            if waits and registry.get(RUN, self.product) != wanted:
                return "startup entry %r is %r, expected %r" % (
                    self.product, registry.get(RUN, self.product), wanted)
            if waits != (registry.get(*MARKER) is not None):
                return "the marker that a registration waits is %s" % (
                    "missing" if waits else "left")
            if not waits and left:
                return "left to run at sign-in: %s" % left
            return None
        return check

    def said(self, engine, where, answer, languages=None):
        """Checks that the engine's own log, where it keeps one, says dicreg's answer ("registered"
        or "not yet") in one of the languages (any, unless given), in the words of the prefix's
        Windows."""
        language_texts = [self.session.in_windows_words(pages["logged"][answer])
                          for language, pages in engine.pages.items()
                          if "logged" in pages and language in (languages or [language])]

        def check(_):
            log = engine.said(self.session.prefix, self.linux(where))
            if log is not None and not any(text in log for text in language_texts):
                return "its log says none of %s" % language_texts
            return None
        return check

    def step(self, name, seed, program, lines, expected, exits, boxes, checks, person=None,
             children=True, forget=(), lang=None, steps=()):
        outcome = self.session.run(program, seed, lines, children=children, timeout=120,
                                   also_dump=self.also_dump, person=person, forget=forget,
                                   lang=lang, steps=steps)
        if person:
            # The boxes of the program's own that the person answered are not dicreg's.
            outcome.boxes = [box for box in outcome.boxes if box.caption not in person.own]
        self.suite.judge(name, seed, outcome, expected, exits, boxes, checks)
        return outcome.registry

    def script(self, name, lines):
        """The command line that runs the lines as a batch file, as a script holds them."""
        path = os.path.join(self.session.work_dir, name + ".cmd")
        with open(path, "w", encoding="ascii", newline="\r\n") as out:
            out.write("\n".join(lines) + "\n")
        return 'cmd /d /c "%s"' % windows_path(path)

    def sign_in(self, name, before, seed, expected, checks):
        """A restart and a sign-in, by the rules Explorer keeps (signin.py): a new Wine session,
        the file renames Windows was asked for, the user's RunOnce values, then the Run values.
        before: the registry the step before left."""
        self.session.new_session()
        sign_in = SignIn(before)
        return self.step(name, seed, None, [], expected, sign_in.exits, 0,
                         [lambda _: "; ".join(sign_in.problems) or None, sign_in.untouched] +
                         list(checks), steps=sign_in.lines)

    def remove(self, engine, label, installed, folder, scripted=False, variant="", held=False):
        """The uninstall entry's quiet command, or msiexec /x: everything goes (held: no entry,
        and nothing registers it at sign-in). Scripted, the commands a deployment script runs
        instead: everything is gone when they return."""
        removed, _, _ = model(installed, "/uninst")
        if scripted:
            self.step("%s, %s: removed by a script" % (engine.name, label), installed, CMD,
                      [self.script("removal", engine.scripted_removal())], removed, [0], 0,
                      [self.files(engine, folder, False, emptied=engine.lingers)], children=False)
            return None
        program, line = engine.uninstall(installed, variant=variant)
        return self.step("%s, %s: uninstall" % (engine.name, label), installed, program, [line],
                         removed, [0], 0, [self.waiting(folder, False, cleanup=True) if held
                                           else self.files(engine, folder, False)])

    def install_and_remove(self, engine, label, seed, where=None, times=1, checks=(),
                           scripted=False):
        """Installs (times times), then removes the package, checking after each (and with
        checks after the install)."""
        folder = where or self.default
        expected, boxes = seed, 0
        for _ in range(times):
            expected, _, shown = model(expected, folder + "\\" + engine.dictionary())
            boxes += shown
        program, line = engine.install(where)
        installed = self.step("%s, %s: install" % (engine.name, label), seed, program,
                              [line] * times, expected, [0] * times, boxes,
                              [self.files(engine, folder, True)] + list(checks))
        self.remove(engine, label, installed, folder, scripted)

    def exists(self, path):
        """Whether a Windows path, in any letter case (as entries write it), names a file of the
        prefix."""
        here = os.path.join(self.session.prefix, "dosdevices", path[:2].lower())
        for part in path[3:].split("\\"):
            names = os.listdir(here) if os.path.isdir(here) else []
            found = [name for name in names if name.upper() == part.upper()]
            if not found:
                return False
            here = os.path.join(here, found[0])
        return os.path.isfile(here)

    def named_files_exist(self, files=None):
        """Checks that every entry of the dictionary in a set in use names a file that exists
        (given files, one of those, as Windows would leave them: upper-cased paths)."""
        def check(registry):
            missing = ["%s: %s" % (path.rsplit("\\", 2)[-2], text) for path in in_use_sets(
                registry) for text in (read_text(registry, path, slot(k)) for k in range(2, 10))
                if "QELDAT2012" in text.upper() and not (
                    self.exists(text.split(",", 2)[2]) if files is None
                    else text.split(",", 2)[2].upper() in files)]
            return "entries name files that are not there: %s" % missing if missing else None
        return check

    def reported(self, said):
        """Checks that the report on the desktop (in either language) says said, a key of
        reporting.SAYS."""
        def check(_):
            for words in SAYS.values():
                report = self.linux(PROFILE + "\\Desktop\\" + words["file"])
                if os.path.exists(report) and words[said] in open(report, encoding="utf-16").read():
                    os.remove(report)
                    return None
            return "no report on the desktop says %r" % SAYS["en"][said]
        return check

    def start_menu(self, engine):
        """Installed before ATOK 2012 is set up, then ATOK set up: the Start menu's entry that
        registers again does what the model's install does and shows the report; its report
        entry changes nothing; removal takes both away."""
        program, line = engine.install()
        self.step("%s, no set in use: install" % engine.name, Registry(), program, [line],
                  Registry(), [0], 0, [self.files(engine, self.default, True),
                                       self.said(engine, self.default, "not yet"),
                                       self.waiting(self.default, True)])
        report, again = self.entries() or ["C:\\none.lnk"] * 2
        registered, _, _ = model(typical(), self.default + "\\" + engine.dictionary())
        self.step("%s, ATOK set up: the Start menu registers again" % engine.name, typical(),
                  again, [""], registered, [0], 0, [self.reported("again"),
                                                    self.waiting(self.default, False)])
        after = self.step("%s: the Start menu's report" % engine.name, registered, report, [""],
                          registered, [0], 0, [self.reported("windows")])
        self.remove(engine, "the Start menu's entries used", after, self.default)

    def register_again(self, engine, where=CHOSEN):
        """Installed before ATOK 2012 is set up (dicreg's box comes up, and the setup's log says
        so), then, ATOK set up, the setup run again without a folder or the MSI repaired: the
        dictionary is registered, from the folder first installed to."""
        program, line = engine.install(where)
        self.step("%s, no set in use: install" % engine.name, Registry(), program, [line],
                  Registry(), [0], 0, [self.files(engine, where, True),
                                       self.said(engine, where, "not yet"),
                                       self.waiting(where, True)])
        typical = in_use(("Atkms", 1), ("User0", 1), slots={2: OTHER_DIC})
        expected, _, _ = model(typical, where + "\\" + engine.dictionary())
        program, line = engine.again()
        stray = self.linux(self.default)
        checks = [self.files(engine, where, True), self.waiting(where, False), lambda _: (
            "%s was made" % self.default if os.path.exists(stray) else None)]
        if engine.msi:
            hidden = "ARPNOREPAIR" in msi_properties(engine.path())
            checks += [lambda _: "the MSI hides Repair" if hidden else None, self.repair_logged()]
        registered = self.step(
            "%s, ATOK set up: %s" % (engine.name, "repair" if engine.msi else "run again"),
            typical, program, [line], expected, [0], 0, checks)
        self.remove(engine, "ATOK set up", registered, where)

    def repair_logged(self):
        """Checks that the support page's repair left its log, which names dicreg's action."""
        log = self.linux(PROFILE + "\\Temp\\QelDat2012-repair.log")

        def check(_):
            said = open(log, "rb").read() if os.path.exists(log) else b""
            if b"RegisterDictionary" not in said and "RegisterDictionary".encode(
                    "utf-16-le") not in said:
                return "%s does not name RegisterDictionary" % log
            os.remove(log)
            return None
        return check

    def logon_script(self, engine, xp=False):
        """The publisher's guide's blocks for shared PCs, as they stand, each run as a batch file:
        the logon script (with the setup's own path) installs once, and the script's report says
        the dictionary is registered everywhere; then the support page's: registering again after
        ATOK set up a set more, and the report to the desktop. With xp, on Windows XP, which has no
        %LOCALAPPDATA% and keeps the user's local application data in "Local Settings\\Application
        Data": Wine sets the variable even there, so each script removes it first, and Wine's
        shell folder is moved there first."""
        first = ["set LOCALAPPDATA="] if xp else []
        folder = self.default
        if xp:
            local = PROFILE + "\\Local Settings\\Application Data"
            folder = local + "\\QelDat2012"
            shell = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
            self.session.run(CMD, None, ['cmd /d /c reg add "%s%s" /v "Local AppData" /d "%s" /f' %
                                         (shell, key, local)
                                         for key in ("User Shell Folders", "Shell Folders")],
                             trace=False, dump=False)
        logon = self.script("logon", first + [line.replace("\\\\server\\share", windows_path(
            self.folder)) for line in guide.block("if not exist")])
        report = self.script("status", first + guide.block("QelDat2012-status.txt"))
        expected, _, _ = model(typical(), folder + "\\" + engine.dictionary())
        log = os.path.join(self.linux(folder), "setup.log")
        once = lambda _: None if open(log, encoding="utf-16").read().count("\n") == 1 else (
            "setup.log holds %r, not one run" % open(log, encoding="utf-16").read())
        status = self.linux(PROFILE + "\\Temp\\QelDat2012-status.txt")
        written = lambda _: None if os.path.exists(status) else "no report at %s" % status
        installed = self.step("%s: the guide's logon script, twice, and its report%s" % (
            engine.name, " without %LOCALAPPDATA%" if xp else ""), typical(), CMD,
            [logon, logon, report], expected, [0, 0, 0], 0,
            [self.files(engine, folder, True), once, written])
        more = in_use(("Atokw", 3))
        more.keys.update(installed.copy().keys)
        again, _, _ = model(more, folder + "\\" + engine.dictionary())
        commands = [self.script("support-%d" % n, first + guide.block(holding, "support.md"))
                    for n, holding in enumerate(("dicreport.exe\" /register", "dicreport.exe\"\n"))]
        after = self.step("%s: the support page's register again and report" % engine.name, more,
                          CMD, commands, again, [0, 0], 0, [self.reported("windows")])
        self.remove(engine, "the guide's logon script", after, folder)

    def built_as_the_guide_says(self, engine):
        """The guide's makensis line, as it stands but for the signing, run as a publisher runs it
        on Windows: in a folder of the script, the programs and the dictionary, with no
        -INPUTCHARSET (the installers workflow gives none either). The script must carry its
        byte-order mark, without which makensis on Windows reads its Japanese texts in the
        system's code page; the setup it makes installs, and speaks Japanese to a Japanese
        user."""
        work = os.path.join(self.session.work_dir, "guide-build")
        os.makedirs(work, exist_ok=True)
        sources = {"QelDat2012.nsi": os.path.join(ROOT, "examples", "nsis", "QelDat2012.nsi"),
                   "dicreg.exe": os.path.join(ROOT, "dist", "dicreg.exe"),
                   "dicreport.exe": os.path.join(ROOT, "dist", "dicreport.exe"),
                   DICTIONARY: os.path.join(self.folder, "..", DICTIONARY)}
        for name, source in sources.items():
            shutil.copyfile(source, os.path.join(work, name))
        lines = {line.replace(" -DSIGN=sign.cmd", "") for block in ("makensis -D", "-DSIGN=")
                 for line in guide.block(block) if line.startswith("makensis ")}
        problems = [] if len(lines) == 1 else ["the guide's makensis lines differ: %s" % lines]
        if open(sources["QelDat2012.nsi"], "rb").read(3) != b"\xef\xbb\xbf":
            problems.append("QelDat2012.nsi has no byte-order mark")
        setup = os.path.join(work, "QelDat2012-setup.exe")
        if os.path.exists(setup):
            os.remove(setup)
        built = subprocess.run(shlex.split(sorted(lines)[0]), cwd=work, capture_output=True,
                               text=True)
        if built.returncode != 0 or not os.path.exists(setup):
            problems.append("makensis: %s" % (built.stdout + built.stderr).strip()[-300:])
        self.suite.record("nsis: built with the guide's line", problems)
        if problems:
            return
        expected, _, _ = model(typical(), self.default + "\\" + engine.dictionary())
        installed = self.step("nsis, built with the guide's line: install in Japanese", typical(),
                              setup, ['"%s" /S' % windows_path(setup)], expected, [0], 0,
                              [self.files(engine, self.default, True),
                               self.said(engine, self.default, "registered", ["ja"])],
                              lang="ja_JP.UTF-8")
        self.remove(engine, "built with the guide's line", installed, self.default)

    def unattended(self, engine):
        """A customer's PC, in a long folder the customer chose: installed silently before ATOK
        2012 is set up, no window comes up and a startup entry waits; ATOK set up (one set full),
        the next sign-in registers it without writing the Run key, and the entry is left with
        nothing to do; an entry the customer takes out stays out. Then an input method holds the
        dictionary open while the next version is installed silently, which takes the entry
        away: every entry names the new dictionary, the only one left after the holder ends and a
        restart. Held again and removed: no entry, nothing left that runs at sign-in, and a
        setup's folder gone after the next sign-in (Windows Installer's is, at the restart;
        Wine's leaves it). Every sign-in keeps Explorer's rules (signin.py)."""
        name, folder = engine.name, LONG
        program, line = engine.install(folder)
        waiting = self.step("%s, nobody at the screen, no set in use: install" % name, Registry(),
                            program, [line], Registry(), [0], 0,
                            [self.files(engine, folder, True), self.waiting(folder, True),
                             self.said(engine, folder, "not yet")])
        set_up = typical()
        set_up.keys.update(in_use(("User0", 2), slots={k: OTHER_DIC for k in range(2, 10)}).keys)
        registered, _, _ = model(set_up, folder + "\\" + engine.dictionary())
        after = self.sign_in("%s, ATOK set up: the next sign-in registers it" % name, waiting,
                             set_up, registered, [self.waiting(folder, False, done=True)])
        edited = after.copy()
        edited.set(set_key("Atkms", 2), slot(3), text_value(""))
        self.sign_in("%s: an entry taken out stays out at the next sign-in" % name, edited, edited,
                     edited, [])

        program, line = engine.install(variant="-next")
        upgraded, _, _ = model(edited, folder + "\\" + engine.dictionary("-next"))
        with held(self.session, folder + "\\" + engine.dictionary()):
            upgraded = self.step("%s: the next version, installed while the dictionary is held"
                                 % name, edited, program, [line], upgraded, engine.held_statuses,
                                 0, [self.said(engine, folder, "held")])
        installed = self.linux(folder + "\\" + engine.dictionary("-next"))
        new = lambda _: None if open(installed, "rb").read() == open(
            self.next_dictionary, "rb").read() else "%s holds the earlier dictionary" % installed
        upgraded = self.sign_in("%s: after a restart, the next version's dictionary alone" % name,
                                upgraded, upgraded, upgraded,
                                [self.files(engine, folder, True, variant="-next"), new])
        with held(self.session, folder + "\\" + engine.dictionary("-next")):
            removed = self.remove(engine, "the dictionary held", upgraded, folder,
                                  variant="-next", held=True)
        self.sign_in("%s, removed while held: the next sign-in" % name, removed, removed, removed,
                     [self.waiting(folder, False)] + (
                         [] if engine.msi else [self.files(engine, folder, False)]))

    def unchangeable(self, engine):
        """A dictionary set this user may read but not change (an administrator locked it) holds
        the installed version's entry: the next version installed silently keeps the earlier
        dictionary that the set names, says so, and leaves no startup entry, which could never
        register it; removed, dicreg ends /uninst with 4 and the uninstaller keeps that file too.
        No entry ever names a missing file. Windows Installer deletes its own files whatever
        dicreg says, so the MSI is not tried."""
        locked = set_key("Atkms", 1)
        program, line = engine.install()
        installed, _, _ = model(in_use(("Atkms", 1)), self.default + "\\" + engine.dictionary())
        installed = self.step("%s, a set the user will not be let change: install" % engine.name,
                              in_use(("Atkms", 1)), program, [line], installed, [0], 0,
                              [self.files(engine, self.default, True)])
        installed.read_only.add(locked)
        program, line = engine.install(variant="-next")
        upgraded = self.step("%s, that set locked: the next version" % engine.name, installed,
                             program, [line], installed, [0], 0,
                             [self.waiting(self.default, False), self.named_files_exist(),
                              self.said(engine, self.default, "kept")])
        upgraded.read_only.add(locked)
        program, line = engine.uninstall(upgraded, variant="-next")
        self.step("%s, that set locked: uninstall" % engine.name, upgraded, program, [line],
                  upgraded, [0], 0, [self.waiting(self.default, False),
                                     self.named_files_exist()])
        shutil.rmtree(self.linux(self.default), ignore_errors=True)

    def switched_off(self, engine):
        """A startup entry the customer switched off in Task Manager (Windows keeps that across a
        new install): installed again before ATOK 2012 is set up, the package does not say that
        a sign-in registers it, the next sign-in does not start it, and the report says so."""
        approved = "HKCU\\" + APPROVED
        self.session.run(CMD, None, ['cmd /d /c reg add "%s" /v "%s" /t REG_BINARY /d %s /f' % (
            approved, self.product, "03" + "00" * 11)], trace=False, dump=False)
        program, line = engine.install()
        waiting = self.step("%s, its startup entry switched off: install" % engine.name,
                            Registry(), program, [line], Registry(), [0], 0,
                            [self.waiting(self.default, True),
                             self.said(engine, self.default, "switched off")])
        set_up = typical()
        after = self.sign_in("%s, ATOK set up: the entry switched off registers nothing" %
                             engine.name, waiting, set_up, set_up, [self.waiting(self.default,
                                                                                 True)])
        report = self.default + "\\dicreport.exe"
        written = self.linux("C:\\switched-off.txt")
        said = lambda _: None if "switch it on in Task Manager" in open(
            written, encoding="utf-16").read() else "the report does not name the entry switched off"
        self.step("%s: the report names it" % engine.name, set_up, report,
                  ['"%s" C:\\switched-off.txt' % report], set_up, [1], 0, [said])
        self.session.run(CMD, None, ['cmd /d /c reg delete "%s" /v "%s" /f' % (
            approved, self.product)], trace=False, dump=False)
        self.remove(engine, "its startup entry switched off", after, self.default)

    def msi_rollback(self, engine):
        """Windows Installer's rollback (rollback.py), for an install, a repair, a removal and an
        upgrade from this version to the next: a copy of the package fails just after its last
        deferred custom action, the rollback custom actions Windows would run then run, newest
        first, and the PC is as it was: the same entries in every set, the same Run and RunOnce
        values and marker, the product installed or not as before, and no entry naming a file
        that Windows would not leave."""
        work = os.path.join(self.session.work_dir, "rollback")
        os.makedirs(work, exist_ok=True)
        this = rollback.failing_copy(engine.path(), work)
        following = rollback.failing_copy(engine.path("-next"), work)
        dictionary = (self.default + "\\" + DICTIONARY).upper()

        def run(lines, seed=None, program=MSIEXEC):
            return self.session.run(program, seed, lines, trace=False, children=True,
                                    also_dump=self.also_dump)

        def msiexec(verb, package, extra=""):
            return 'msiexec %s "%s" /qn%s' % (verb, windows_path(package), extra)

        def scenario(name, package, before, line, removing, files, kept=True):
            """Runs the failing line over the registry before (the prefix's as it is), then the
            rollback actions, and compares."""
            failed = run([line], before)
            actions = rollback.rolled_back(package, {"REMOVE": "ALL" if removing else ""},
                                           removing)
            back = ['"%s\\%s" %s' % (self.default, program, arguments)
                    for program, arguments in actions]
            # The programs are still there when Windows runs its rollback actions.
            put = [self.linux(self.default + "\\" + program) for program, _ in actions]
            put = [path for path in put if not os.path.exists(path)]
            for path in put:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                shutil.copyfile(rollback.program(package, os.path.basename(path), work), path)
            outcome = run(back, program=None)
            for path in put:
                os.remove(path)
            after = outcome.registry
            # Windows ends a failed install with 1603; Wine's msi with 1603 or 1627.
            problems = [] if failed.exits and failed.exits[0] in (1603, 1627) else [
                "the failing %s ended with %s, expected a failure" % (name, failed.exits)]
            problems += ["%s: %s" % (key.rsplit("\\", 1)[-1], difference)
                         for key in (RUN, RUNONCE) for difference in self.differences(
                             before, after, key)]
            if before.get(*MARKER) != after.get(*MARKER):
                problems.append("the marker is %r, expected %r" % (after.get(*MARKER),
                                                                   before.get(*MARKER)))
            if not kept:
                problems.append("the older version was removed outside the transaction that "
                                "is rolled back: nothing is left installed")
            problems.append(self.named_files_exist(files)(after))
            self.suite.judge("msi rolled back: %s" % name, before, outcome, before,
                             [None] * len(back), 0,
                             [lambda _: "; ".join(p for p in problems if p) or None])

        def clean(*packages):
            run([msiexec("/x", package) for package in packages])
            shutil.rmtree(self.linux(self.default), ignore_errors=True)

        clean(this)
        scenario("install", this, run([], typical()).registry, msiexec("/i", this,
                 " QELDAT_FAIL=1"), False, set())
        clean(this)
        registered = run([msiexec("/i", this)], typical()).registry
        edited = registered.copy()
        edited.set(set_key("Atkms", 2), slot(3), text_value(""))
        scenario("repair", this, run([], edited).registry, msiexec(
            "/i", this, " REINSTALL=ALL REINSTALLMODE=omus QELDAT_FAIL=1"), False, {dictionary})
        scenario("removal", this, run([], registered).registry, msiexec(
            "/x", this, " QELDAT_FAIL=1"), True, {dictionary})
        clean(this)
        registered = run([msiexec("/i", this)], typical()).registry
        # Windows Installer removes the older version as an upgrade does (Wine's msi does not
        # set UPGRADINGPRODUCTCODE), then installs the next, which fails.
        run([msiexec("/x", this, " UPGRADINGPRODUCTCODE={5C0E8D2A-0B1D-4C55-9D7A-2F1E6B2A1013}")])
        for_good = rollback.removes_older_for_good(following)
        scenario("upgrade to the next version", following, registered,
                 msiexec("/i", following, " QELDAT_FAIL=1"), False,
                 set() if for_good else {dictionary}, kept=not for_good)
        clean(following, this)

    def differences(self, before, after, key):
        """The values of the key that differ between two registries."""
        def values(registry):
            return registry.keys.get(registry.find_key(key), {})
        return ["%s is %r, was %r" % (name, values(after).get(name), values(before).get(name))
                for name in set(values(before)) | set(values(after))
                if values(before).get(name) != values(after).get(name)]

    def products(self, count):
        """Checks that the user has count Windows Installer products of this name."""
        def check(registry):
            below = PRODUCTS_KEY.upper() + "\\"
            names = [path for path in registry.keys
                     if path.upper().startswith(below) and "\\" not in path[len(below):]
                     and registry.get(path, "ProductName") == text_value(self.product)]
            if len(names) != count:
                return "%d products named %s, expected %d" % (len(names), self.product, count)
        return check

    def upgrade(self, engine, seed):
        """This version, then the next over it (for the MSI, also this version built again over
        it): one copy in the same folder, the dictionary registered; removing it takes it out."""
        first = engine.install()[1]
        variants = [("the next version", "-next")]
        if engine.msi:
            variants.append(("the same version rebuilt", "-rebuilt"))
        for then, variant in variants:
            expected, _, _ = model(seed, self.default + "\\" + engine.dictionary(variant))
            checks = [self.files(engine, self.default, True, variant=variant)]
            if engine.msi:
                checks.append(self.products(1))
            program, line = engine.install(variant=variant)
            upgraded = self.step("%s: upgrade to %s" % (engine.name, then), seed, program,
                                 [first, line], expected, [0, 0], 0, checks)
            self.remove(engine, "after the upgrade to " + then, upgraded, self.default,
                        variant=variant)

    def version(self, engine, variant):
        """Checks that the entry in the installed programs shows the variant's version."""
        def check(registry):
            shown = engine.entry(registry, ["DisplayVersion"])["DisplayVersion"]
            wanted = text_value(self.versions[variant])
            return None if shown == wanted else "version %r, expected %r" % (shown, wanted)
        return check

    def downgrade(self, engine, seed):
        """The next version installed, then this one over it: refused with a status that says
        so, and nothing changes."""
        expected, _, _ = model(seed, self.default + "\\" + engine.dictionary("-next"))
        program, line = engine.install(variant="-next")
        newer = self.step("%s: the next version" % engine.name, seed, program, [line], expected,
                          [0], 0, [self.version(engine, "-next")])
        program, line = engine.install()
        kept = self.step("%s: an older version over it is refused" % engine.name, newer, program,
                         [line], newer, [engine.refused_status], 0,
                         [self.files(engine, self.default, True, variant="-next"),
                          self.version(engine, "-next")])
        self.remove(engine, "the next version", kept, self.default, variant="-next")

    def msi_removal_in_upgrade(self, engine, seed):
        """Windows Installer removes the old version with UPGRADINGPRODUCTCODE set (Wine's msi
        does not set it), and that removal must leave the entry alone."""
        expected, _, _ = model(seed, self.default + "\\" + engine.dictionary())
        _, as_upgrade = engine.msiexec(
            "/x", extra=" UPGRADINGPRODUCTCODE={5C0E8D2A-0B1D-4C55-9D7A-2F1E6B2A1013}")
        self.step("msi: the removal an upgrade runs keeps the entry", seed, MSIEXEC,
                  [engine.install()[1], as_upgrade], expected, [0, 0], 0,
                  [self.files(engine, self.default, False)])

    def face(self, engine, url, icon):
        """Checks that the entry in the installed programs shows the publisher's web page, the
        size of the installed files, and (for a setup) the icon, in the program it names."""
        def check(registry):
            entry = engine.entry(registry, ["URLInfoAbout", "HelpLink", "DisplayIcon",
                                            "EstimatedSize"])
            problems = ["%s is %r, expected %r" % (name, entry[name], url)
                        for name in ("URLInfoAbout", "HelpLink")
                        if entry[name] != text_value(url)]
            if engine.msi:  # Windows Installer adds these from what it installed; Wine does not
                return "; ".join(problems) or None
            size = sum(os.path.getsize(self.linux(self.default + "\\" + name))
                       for name in PROGRAM_FILES + [engine.dictionary()])
            shown = int.from_bytes(entry["EstimatedSize"].data, "little") if entry[
                "EstimatedSize"] else 0
            if shown < size // 1024:
                problems.append("EstimatedSize %d KB, the files are %d KB" % (shown, size // 1024))
            path = entry["DisplayIcon"].data.decode("utf-16-le").rstrip("\0").rsplit(",", 1)[0] \
                if entry["DisplayIcon"] else "C:\\none"
            done = subprocess.run(["/usr/bin/python3", CHECK_PE, "--icon", self.linux(path), icon],
                                  capture_output=True, text=True)
            if done.returncode != 0:
                problems.append("DisplayIcon %s: %s" % (path, (done.stdout + done.stderr).strip()))
            return "; ".join(problems) or None
        return check

    def run_as_publisher(self, settings):
        """Built with a publisher's settings: each package installs their dictionary and shows
        their name, publisher, version, web page and icon; the MSI carries their UpgradeCode."""
        typical = in_use(("Atkms", 1), slots={2: OTHER_DIC})
        dictionary = open(settings["DICREG_DICTIONARY"], "rb").read()

        def identity(engine):
            def check(registry):
                installed = self.linux(self.default + "\\" + engine.dictionary())
                if open(installed, "rb").read() != dictionary:
                    return "the installed dictionary is not DICREG_DICTIONARY's"
                # The programs it installed name the publisher, as the file's properties and
                # Task Manager show them.
                for program in PROGRAM_FILES:
                    done = subprocess.run(["/usr/bin/python3", CHECK_PE, "--program", self.linux(
                        self.default + "\\" + program), os.path.join(
                            self.folder, "..", "settings.json")], capture_output=True, text=True)
                    if done.returncode != 0:
                        return "%s: %s" % (program, done.stdout.strip())
                shown = engine.entry(registry, ENTRY_SETTINGS)
                wanted = {name: text_value(settings[var]) for name, var in ENTRY_SETTINGS.items()}
                if shown != wanted:
                    return "installed programs' entry %s, expected %s" % (shown, wanted)
                return self.products(1)(registry) if engine.msi else None
            return check
        for engine in self.engines:
            self.install_and_remove(engine, "publisher's settings", typical, checks=[
                identity(engine), self.face(engine, settings["DICREG_URL"],
                                            settings["DICREG_ICON"])])
        properties = msi_properties(os.path.join(self.folder, "QelDat2012.msi"))
        wanted = {prop: settings[var] for prop, var in MSI_SETTINGS.items()}
        wanted["UpgradeCode"] = "{%s}" % wanted["UpgradeCode"].strip("{}").upper()
        found = {prop: properties.get(prop) for prop in wanted}
        self.suite.record("msi properties", [] if found == wanted else [
            "%s, expected %s" % (found, wanted)], str(found))
        return self.suite

    def loads_on_oldest(self, engine):
        """Checks that the uninstaller a setup writes loads on the prefix's Windows too."""
        def check(_):
            written = [os.path.join(self.linux(self.default), name) for name in engine.files
                       if name.endswith(".exe") and name not in PROGRAM_FILES]
            for path in written:
                done = subprocess.run(["/usr/bin/python3", CHECK_PE, "--loads-on-oldest", path,
                                       "PE32", "%d.%d" % WINDOWS[self.session.windows]],
                                      capture_output=True, text=True)
                if done.returncode != 0:
                    return done.stdout.strip()
            return None
        return check

    def run_on_oldest(self):
        """One install and uninstall of each package whose setup starts on the prefix's
        Windows."""
        for engine in self.engines:
            if engine.oldest <= WINDOWS[self.session.windows]:
                self.install_and_remove(engine, "on " + self.session.windows, typical(),
                                        checks=[self.loads_on_oldest(engine)])
        if self.session.windows == "winxp":
            # Last: it moves the user's local application data where Windows XP keeps it.
            self.logon_script([engine for engine in self.engines if engine.name == "nsis"][0],
                              xp=True)
        return self.suite

    def customer_export(self):
        """The support page's command that exports a customer's dictionary sets, run on the
        registry its example shows: the export holds the example's lines. Where there is no
        ATOK 2012 key, it fails and writes nothing, and the page's reg query names the versions
        there are."""
        example = guide.block("[HKEY_CURRENT_USER\\Software\\Justsystem", "support.md")
        seed, key = Registry(), None
        for line in example:
            if line.startswith("[HKEY_CURRENT_USER\\"):
                key = line[len("[HKEY_CURRENT_USER\\"):-1]
                seed.add_key(key)
            elif line.startswith('"'):
                name, value = re.fullmatch(r'"(.*)"="(.*)"', line).groups()
                seed.set(key, name, text_value(value.replace("\\\\", "\\")))
        where = PROFILE
        exported = os.path.join(self.linux(where), "atok.reg")
        if os.path.exists(exported):
            os.remove(exported)
        command = guide.block("reg export", "support.md")[0]
        outcome = self.session.run(CMD, seed, ['cmd /d /c cd /d "%s" & %s' % (where, command)],
                                   trace=False)
        text = open(exported, encoding="utf-16").read() if os.path.exists(exported) else ""
        missing = [line for line in example if line and line not in text.splitlines()]
        self.suite.record("the support page's reg export of a customer's dictionary sets", (
            ["exit status %s" % outcome.exits] if outcome.exits != [0] else []) + [
            "the export lacks %r" % line for line in missing[:4]])
        os.remove(exported)
        other = Registry()
        other.add_key("Software\\Justsystem\\ATOK\\26.0\\Profile\\User0\\DicSet1")
        query = guide.block("reg query", "support.md")[0]
        listed = os.path.join(self.linux(where), "versions.txt")
        outcome = self.session.run(CMD, other, ['cmd /d /c cd /d "%s" & %s' % (where, command),
                                                'cmd /d /c cd /d "%s" & %s > versions.txt' % (
                                                    where, query)], trace=False)
        said = open(listed, "rb").read().decode("utf-8", "replace") if os.path.exists(
            listed) else ""
        self.suite.record("the support page's reg export and reg query without ATOK 2012", (
            ["exit statuses %s, expected export to fail" % outcome.exits]
            if outcome.exits[0] == 0 or outcome.exits[1] != 0 else []) + (
            ["the export wrote %s" % exported] if os.path.exists(exported) else []) + (
            [] if "ATOK\\26.0" in said else ["reg query said %r" % said]))

    def run(self):
        self.customer_export()
        for engine in self.engines:
            self.install_and_remove(engine, "default folder", typical(), scripted=True)
            self.install_and_remove(engine, "chosen folder", typical(), CHOSEN)
            self.start_menu(engine)
            if engine.name == "nsis":
                self.logon_script(engine)
                # The guide's line makes a 32-bit setup around the 32-bit programs.
                if os.path.basename(os.path.normpath(self.folder)) == "x86":
                    self.built_as_the_guide_says(engine)
            # One set in use full: the dictionary is registered, but not everywhere.
            partly = typical()
            partly.keys.update(in_use(("User0", 2), slots={k: OTHER_DIC for k in range(2, 10)})
                               .keys)
            self.install_and_remove(engine, "installed twice, one set full", partly, times=2,
                                    checks=[self.said(engine, self.default, "partly")])
            self.register_again(engine)
            self.upgrade(engine, typical())
            if engine.refused_status:
                self.downgrade(engine, typical())
            if engine.msi:
                self.msi_removal_in_upgrade(engine, typical())
            # What needs a customer's PC runs once for each engine, whichever dicreg it packs.
            if engine.name not in Packages.unattended_done:
                Packages.unattended_done.add(engine.name)
                self.unattended(engine)
                self.switched_off(engine)
                if engine.msi:
                    self.msi_rollback(engine)
                else:
                    self.unchangeable(engine)
        return self.suite


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--packages", action="append", required=True,
                        help="a folder of packages built with one kind of program")
    parser.add_argument("--work", required=True, help="folder for the Wine prefix and artifacts")
    parser.add_argument("--publisher", action="store_true",
                        help="the packages were built with the publisher's settings in the "
                        "environment (DICREG_DICTIONARY and the rest): check that they carry them")
    parser.add_argument("--windows", choices=sorted(WINDOWS_VERSIONS),
                        help="only one install and uninstall of each package, in a prefix set to "
                        "this Windows")
    parser.add_argument("--engine", action="append",
                        help="only this engine's packages (nsis, msi, inno5, inno6)")
    args = parser.parse_args()
    if args.engine:
        Packages.only = args.engine

    session = WineSession(args.work, args.driver, windows=args.windows)
    try:
        if args.publisher:
            settings = {var: os.environ[var] for var in set(ENTRY_SETTINGS.values()) | set(
                MSI_SETTINGS.values()) | {"DICREG_DICTIONARY", "DICREG_URL", "DICREG_ICON"}}
            suites = [Packages(session, folder).run_as_publisher(settings)
                      for folder in args.packages]
        elif args.windows:
            suites = [Packages(session, folder).run_on_oldest() for folder in args.packages]
        else:
            suites = [Packages(session, folder).run() for folder in args.packages]
    finally:
        session.close()
    return report("packages", suites)

if __name__ == "__main__":
    sys.exit(main())
