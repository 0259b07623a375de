#!/usr/bin/env python3
"""End-to-end cases of the example packages: the NSIS setup program and the MSI package of
QelDat2012, installed and removed silently under Wine as a publisher's users would.

Each step seeds HKCU (or goes on from the step before), runs the installer or the uninstaller
through the driver, and compares the whole Justsystem tree with the model of dicreg fed the path
where the package put the dictionary; the files, the folder and the entry in the user's
installed programs are looked at too.
"""

import argparse
import getpass
import os
import re
import subprocess
import sys

from atoklayout import OTHER_DIC
from e2e import Suite, in_use, model, report, typical
from winesession import WINDOWS_VERSIONS, Registry, WineSession, text_value, windows_path

MSIEXEC = "C:\\windows\\system32\\msiexec.exe"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QelDat2012"
# Where the publisher's settings show: the NSIS uninstall entry's values, the MSI's properties.
ENTRY_SETTINGS = {"DisplayName": "DICREG_PRODUCT_NAME", "Publisher": "DICREG_PUBLISHER",
                  "DisplayVersion": "DICREG_PACKAGE_VERSION"}
MSI_SETTINGS = {"ProductName": "DICREG_PRODUCT_NAME", "Manufacturer": "DICREG_PUBLISHER",
                "ProductVersion": "DICREG_PACKAGE_VERSION", "UpgradeCode": "DICREG_UPGRADE_CODE"}
PRODUCTS_KEY = "Software\\Microsoft\\Installer\\Products"  # a user's Windows Installer products
ARP_VALUES = ("DisplayName", "UninstallString", "QuietUninstallString")
CHOSEN = "C:\\QelDat テスト\\私の 辞書"  # a folder the user chose: blanks and Japanese characters


def msi_properties(package):
    """The Property table of an MSI package."""
    exported = subprocess.run(["msiinfo", "export", package, "Property"], check=True,
                              capture_output=True, text=True).stdout
    return dict(line.split("\t", 1) for line in exported.splitlines() if "\t" in line)


class Packages:
    """The packages built with one kind of dicreg program (build/installers/<arch>)."""

    def __init__(self, session, folder, product="QelDat2012"):
        self.session = session
        self.folder = folder
        self.product = product
        self.suite = Suite(session, "packages-" + os.path.basename(os.path.normpath(folder)))
        self.default = "C:\\users\\%s\\AppData\\Local\\QelDat2012" % getpass.getuser()

    def msiexec(self, verb, package, extra="", ui="/qn"):
        """An msiexec command line for one of the MSI packages, quiet unless ui says."""
        path = windows_path(os.path.join(self.folder, package))
        return 'msiexec %s "%s" %s%s' % (verb, path, ui, extra)

    def install(self, kind, where):
        """Program and command line that install the package into where (None: the default)."""
        if kind == "nsis":
            setup = os.path.join(self.folder, "QelDat2012-setup.exe")
            return setup, '"%s" /S%s' % (windows_path(setup), " /D=" + where if where else "")
        chosen = ' INSTALLDIR="%s"' % where if where else ""
        return MSIEXEC, self.msiexec("/i", "QelDat2012.msi", chosen)

    def uninstall(self, kind, registry, quiet=True):
        """What the user's installed programs run to remove the package, quietly or not."""
        if kind == "nsis":
            value = registry.get(UNINSTALL_KEY,
                                 "QuietUninstallString" if quiet else "UninstallString")
            line = value.data.decode("utf-16-le").rstrip("\0") if value else ""
            program = re.match(r'"([^"]*)"', line)
            return (program.group(1) if program else "C:\\missing.exe"), line
        return MSIEXEC, self.msiexec("/x", "QelDat2012.msi")

    def linux(self, where):
        return os.path.join(self.session.prefix, "drive_c", *where[3:].split("\\"))

    def files(self, where, present, kind):
        """Checks that the files, the folder and (for NSIS) the uninstall entry are there, or
        are all gone."""
        linux = self.linux(where)
        names = ["dicreg.exe", "QelDat2012.dic"] + (["uninstall.exe"] if kind == "nsis" else [])

        def check(registry):
            found = [n for n in names if os.path.exists(os.path.join(linux, n))]
            if present and len(found) != len(names):
                return "installed files in %s: %s, expected %s" % (where, found, names)
            if not present and os.path.exists(linux):
                return "%s is still there, with %s" % (where, os.listdir(linux))
            if kind == "nsis":
                entry = [registry.get(UNINSTALL_KEY, name) is not None for name in ARP_VALUES]
                if entry != [present] * len(ARP_VALUES):
                    return "uninstall entry %s: %s" % ("incomplete" if present else "left behind",
                                                       dict(zip(ARP_VALUES, entry)))
            return None
        return check

    def step(self, name, seed, program, lines, expected, exits, boxes, checks, person=None):
        outcome = self.session.run(program, seed, lines, children=True, timeout=120,
                                   also_dump=(UNINSTALL_KEY, PRODUCTS_KEY), person=person)
        self.suite.judge(name, seed, outcome, expected, exits, boxes, checks)
        return outcome.registry

    def install_and_remove(self, kind, label, seed, where=None, times=1, checks=()):
        """Installs (times times), then removes the package, checking after each (and with
        checks after the install)."""
        folder = where or self.default
        expected, boxes = seed, 0
        for _ in range(times):
            expected, _, shown = model(expected, folder + "\\QelDat2012.dic")
            boxes += shown
        program, line = self.install(kind, where)
        installed = self.step("%s, %s: install" % (kind, label), seed, program, [line] * times,
                              expected, [0] * times, boxes,
                              [self.files(folder, True, kind)] + list(checks))
        removed, _, _ = model(installed, "/uninst")
        program, line = self.uninstall(kind, installed)
        self.step("%s, %s: uninstall" % (kind, label), installed, program, [line], removed, [0],
                  0, [self.files(folder, False, kind)])

    def register_again(self, kind, where=None):
        """Installed before ATOK 2012 is set up (dicreg's box comes up), then, ATOK set up, the
        setup run again without /D= or the MSI repaired: the dictionary is registered, from the
        folder first installed to."""
        folder = where or self.default
        program, line = self.install(kind, where)
        self.step("%s, no set in use: install" % kind, Registry(), program, [line], Registry(),
                  [0], 1, [self.files(folder, True, kind)])
        typical = in_use(("Atkms", 1), ("User0", 1), slots={2: OTHER_DIC})
        expected, _, _ = model(typical, folder + "\\QelDat2012.dic")
        program, line = self.install(kind, None)
        if kind == "msi":
            # What Repair does; Wine's msiexec has no /f for a package.
            line = self.msiexec("/i", "QelDat2012.msi", " REINSTALL=ALL REINSTALLMODE=omus")
        stray = self.linux(self.default) if where else None
        checks = [self.files(folder, True, kind), lambda _: (
            "%s was made" % self.default if stray and os.path.exists(stray) else None)]
        if kind == "msi":
            hidden = "ARPNOREPAIR" in msi_properties(os.path.join(self.folder, "QelDat2012.msi"))
            checks.append(lambda _: "the MSI hides Repair" if hidden else None)
        registered = self.step(
            "%s, ATOK set up: %s" % (kind, "run again" if kind == "nsis" else "repair"), typical,
            program, [line], expected, [0], 0, checks)
        removed, _, _ = model(registered, "/uninst")
        program, line = self.uninstall(kind, registered)
        self.step("%s, ATOK set up: uninstall" % kind, registered, program, [line], removed, [0],
                  0, [self.files(folder, False, kind)])

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

    def msi_upgrade(self, seed):
        """1.0.0, then 1.0.1 over it (and then 1.0.0 built again over 1.0.0): one product, the
        dictionary stays registered; removing the second takes it out. Windows Installer removes
        the old version with UPGRADINGPRODUCTCODE set (Wine's msi does not set it), and that
        removal must leave the entry alone."""
        dictionary = self.default + "\\QelDat2012.dic"
        expected, _, _ = model(seed, dictionary)
        first = self.msiexec("/i", "QelDat2012.msi")
        for then, package, second in (("1.0.1", "QelDat2012-next.msi", "1.0.1"),
                                      ("1.0.0 rebuilt", "QelDat2012-rebuilt.msi",
                                       "the rebuilt 1.0.0")):
            upgraded = self.step("msi: 1.0.0 then " + then, seed, MSIEXEC,
                                 [first, self.msiexec("/i", package)], expected, [0, 0], 0,
                                 [self.files(self.default, True, "msi"), self.products(1)])
            removed, _, _ = model(upgraded, "/uninst")
            self.step("msi: uninstall " + second, upgraded, MSIEXEC,
                      [self.msiexec("/x", package)], removed, [0], 0,
                      [self.files(self.default, False, "msi"), self.products(0)])
        as_upgrade = self.msiexec("/x", "QelDat2012.msi",
                                  " UPGRADINGPRODUCTCODE={5C0E8D2A-0B1D-4C55-9D7A-2F1E6B2A1013}")
        self.step("msi: the removal an upgrade runs keeps the entry", seed, MSIEXEC,
                  [first, as_upgrade], expected, [0, 0], 0,
                  [self.files(self.default, False, "msi")])

    def run_as_publisher(self, settings):
        """Built with a publisher's settings: each package installs their dictionary and shows
        their name, publisher and version; the MSI carries their UpgradeCode."""
        typical = in_use(("Atkms", 1), slots={2: OTHER_DIC})
        dictionary = open(settings["DICREG_DICTIONARY"], "rb").read()

        def identity(kind):
            def check(registry):
                installed = os.path.join(self.linux(self.default), "QelDat2012.dic")
                if open(installed, "rb").read() != dictionary:
                    return "the installed dictionary is not DICREG_DICTIONARY's"
                if kind == "msi":
                    return self.products(1)(registry)
                shown = {name: registry.get(UNINSTALL_KEY, name) for name in ENTRY_SETTINGS}
                wanted = {name: text_value(settings[var]) for name, var in ENTRY_SETTINGS.items()}
                return None if shown == wanted else "uninstall entry %s, expected %s" % (shown,
                                                                                        wanted)
            return check
        for kind in ("nsis", "msi"):
            self.install_and_remove(kind, "publisher's settings", typical,
                                    checks=[identity(kind)])
        properties = msi_properties(os.path.join(self.folder, "QelDat2012.msi"))
        wanted = {prop: settings[var] for prop, var in MSI_SETTINGS.items()}
        wanted["UpgradeCode"] = "{%s}" % wanted["UpgradeCode"].strip("{}").upper()
        found = {prop: properties.get(prop) for prop in wanted}
        self.suite.record("msi properties", [] if found == wanted else [
            "%s, expected %s" % (found, wanted)], str(found))
        return self.suite

    def run_on_oldest(self):
        """One install and uninstall of each package, for a prefix set to its oldest Windows."""
        for kind in ("nsis", "msi"):
            self.install_and_remove(kind, "on " + self.session.windows, typical())
        return self.suite

    def run(self):
        for kind in ("nsis", "msi"):
            self.install_and_remove(kind, "default folder", typical())
            self.install_and_remove(kind, "chosen folder", typical(), CHOSEN)
            self.install_and_remove(kind, "no set in use", Registry())
            self.install_and_remove(kind, "installed twice", typical(), times=2)
        self.register_again("nsis", CHOSEN)
        self.register_again("msi")
        self.msi_upgrade(typical())
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
    args = parser.parse_args()

    session = WineSession(args.work, args.driver, windows=args.windows)
    try:
        if args.publisher:
            settings = {var: os.environ[var] for var in set(ENTRY_SETTINGS.values()) | set(
                MSI_SETTINGS.values()) | {"DICREG_DICTIONARY"}}
            suites = [Packages(session, folder, settings["DICREG_PRODUCT_NAME"]).run_as_publisher(
                settings) for folder in args.packages]
        elif args.windows:
            suites = [Packages(session, folder).run_on_oldest() for folder in args.packages]
        else:
            suites = [Packages(session, folder).run() for folder in args.packages]
    finally:
        session.close()
    return report("packages", suites)

if __name__ == "__main__":
    sys.exit(main())
