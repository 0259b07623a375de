#!/usr/bin/env python3
"""End-to-end cases of the example packages: the NSIS setup program and the MSI package of
QelDat2012, installed and removed silently under Wine as a publisher's users would.

Each step seeds HKCU (or goes on from the step before), runs the installer or the uninstaller
through the driver, and compares the whole Justsystem tree with the model of dicreg fed the path
where the package put the dictionary; the files, the folder and the entry in the user's
installed programs are looked at too. Then the README's signing command, with a throwaway
certificate, must give a program that osslsigncode verifies and that still passes a case.
"""

import argparse
import getpass
import os
import re
import shlex
import shutil
import subprocess
import sys

from atoklayout import OTHER_DIC
from e2e import PROGRAM_NAME, Suite, in_use, model, report
from winesession import WINDOWS_VERSIONS, Registry, WineSession, windows_path

MSIEXEC = "C:\\windows\\system32\\msiexec.exe"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QelDat2012"
ARP_VALUES = ("DisplayName", "UninstallString", "QuietUninstallString")
CHOSEN = "C:\\QelDat テスト\\私の 辞書"  # a folder the user chose: blanks and Japanese characters
README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")


class Packages:
    """The packages built with one kind of dicreg program (build/installers/<arch>)."""

    def __init__(self, session, folder):
        self.session = session
        self.folder = folder
        self.suite = Suite(session, "packages-" + os.path.basename(os.path.normpath(folder)))
        self.default = "C:\\users\\%s\\AppData\\Local\\QelDat2012" % getpass.getuser()

    def msiexec(self, verb, package, extra=""):
        """A quiet msiexec command line for one of the MSI packages."""
        path = windows_path(os.path.join(self.folder, package))
        return 'msiexec %s "%s" /qn%s' % (verb, path, extra)

    def install(self, kind, where):
        """Program and command line that install the package into where (None: the default)."""
        if kind == "nsis":
            setup = os.path.join(self.folder, "QelDat2012-setup.exe")
            return setup, '"%s" /S%s' % (windows_path(setup), " /D=" + where if where else "")
        chosen = ' INSTALLDIR="%s"' % where if where else ""
        return MSIEXEC, self.msiexec("/i", "QelDat2012.msi", chosen)

    def uninstall(self, kind, registry):
        """What the user's installed programs run to remove the package quietly."""
        if kind == "nsis":
            value = registry.get(UNINSTALL_KEY, "QuietUninstallString")
            line = value.data.decode("utf-16-le").rstrip("\0") if value else ""
            program = re.match(r'"([^"]*)"', line)
            return (program.group(1) if program else "C:\\missing.exe"), line
        return MSIEXEC, self.msiexec("/x", "QelDat2012.msi")

    def files(self, where, present, kind):
        """Checks that the files, the folder and (for NSIS) the uninstall entry are there, or
        are all gone."""
        linux = os.path.join(self.session.prefix, "drive_c", *where[3:].split("\\"))
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

    def step(self, name, seed, program, lines, expected, exits, boxes, checks):
        outcome = self.session.run(program, seed, lines, children=True, also_dump=(UNINSTALL_KEY,))
        self.suite.judge(name, seed, outcome, expected, exits, boxes, checks)
        return outcome.registry

    def install_and_remove(self, kind, label, seed, where=None, times=1):
        """Installs (times times), then removes the package, checking after each."""
        folder = where or self.default
        expected, boxes = seed, 0
        for _ in range(times):
            expected, _, shown = model(expected, folder + "\\QelDat2012.dic")
            boxes += shown
        program, line = self.install(kind, where)
        installed = self.step("%s, %s: install" % (kind, label), seed, program, [line] * times,
                              expected, [0] * times, boxes, [self.files(folder, True, kind)])
        removed, _, _ = model(installed, "/uninst")
        program, line = self.uninstall(kind, installed)
        self.step("%s, %s: uninstall" % (kind, label), installed, program, [line], removed, [0],
                  0, [self.files(folder, False, kind)])

    def msi_upgrade(self, seed):
        """1.0.0, then 1.0.1 over it: the dictionary stays registered; removing 1.0.1 takes it
        out. Windows Installer removes the old version with UPGRADINGPRODUCTCODE set (Wine's
        msi does not set it), and that removal must leave the entry alone."""
        dictionary = self.default + "\\QelDat2012.dic"
        expected, _, _ = model(seed, dictionary)
        first = self.msiexec("/i", "QelDat2012.msi")
        upgraded = self.step("msi: 1.0.0 then 1.0.1", seed, MSIEXEC,
                             [first, self.msiexec("/i", "QelDat2012-1.0.1.msi")], expected,
                             [0, 0], 0, [self.files(self.default, True, "msi")])
        removed, _, _ = model(upgraded, "/uninst")
        self.step("msi: uninstall 1.0.1", upgraded, MSIEXEC,
                  [self.msiexec("/x", "QelDat2012-1.0.1.msi")], removed, [0], 0,
                  [self.files(self.default, False, "msi")])
        as_upgrade = self.msiexec("/x", "QelDat2012.msi",
                                  " UPGRADINGPRODUCTCODE={5C0E8D2A-0B1D-4C55-9D7A-2F1E6B2A1013}")
        self.step("msi: the removal an upgrade runs keeps the entry", seed, MSIEXEC,
                  [first, as_upgrade], expected, [0, 0], 0,
                  [self.files(self.default, False, "msi")])

    def run_on_oldest(self):
        """One install and uninstall of each package, for a prefix set to its oldest Windows."""
        typical = in_use(("Atkms", 1), ("Atkms", 2), ("User0", 1), slots={2: OTHER_DIC})
        for kind in ("nsis", "msi"):
            self.install_and_remove(kind, "on " + self.session.windows, typical)
        return self.suite

    def run(self):
        typical = in_use(("Atkms", 1), ("Atkms", 2), ("User0", 1), slots={2: OTHER_DIC})
        for kind in ("nsis", "msi"):
            self.install_and_remove(kind, "default folder", typical)
            self.install_and_remove(kind, "chosen folder", typical, CHOSEN)
            self.install_and_remove(kind, "no set in use", Registry())
            self.install_and_remove(kind, "installed twice", typical, times=2)
        self.msi_upgrade(typical)
        return self.suite


def signed_program(session, program, work):
    """Signs a copy of the program with the README's command and a throwaway certificate (no
    time stamp: there is no network), verifies it and runs one case with it."""
    readme = open(README, encoding="utf-8").read()
    command = re.search(r"^osslsigncode sign (?:.*\\\n)*.*$", readme, re.M).group(0)
    command = command.replace("\\\n", " ").replace("-t <timestamp URL>", "")
    folder = os.path.join(work, "signing")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "dist"))
    shutil.copy(program, os.path.join(folder, "dist", "dicreg.exe"))
    steps = [
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/CN=dicreg throwaway signer", "-keyout", "key.pem", "-out", "cert.pem"],
        ["openssl", "pkcs12", "-export", "-inkey", "key.pem", "-in", "cert.pem",
         "-out", "certificate.pfx", "-passout", "pass:throwaway"],
        shlex.split(command.replace("<password>", "throwaway")),
        ["osslsigncode", "verify", "-CAfile", "cert.pem", "-in", "dicreg-signed.exe"],
    ]
    suite = Suite(session, os.path.join(folder, "dicreg-signed.exe"))
    for argv in steps:
        done = subprocess.run(argv, cwd=folder, capture_output=True, text=True)
        if done.returncode != 0:
            print("FAIL signing: %s gave %d\n%s" % (" ".join(argv), done.returncode,
                                                    done.stdout + done.stderr))
            suite.failed.append("signing")
            return suite
    print("ok   signing: osslsigncode verify accepts the program signed by the README's command")
    suite.case("signed program installs", in_use(("Atkms", 1)),
               [PROGRAM_NAME + " C:\\Dic\\QelDat2012.dic"], ["C:\\Dic\\QelDat2012.dic"])
    suite.passed += 1
    return suite


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--packages", action="append", required=True,
                        help="a folder of packages built with one kind of program")
    parser.add_argument("--sign", help="the program to sign")
    parser.add_argument("--work", required=True, help="folder for the Wine prefix and artifacts")
    parser.add_argument("--windows", choices=sorted(WINDOWS_VERSIONS),
                        help="only one install and uninstall of each package, in a prefix set to "
                        "this Windows")
    args = parser.parse_args()

    session = WineSession(args.work, args.driver, windows=args.windows)
    try:
        if args.windows:
            suites = [Packages(session, folder).run_on_oldest() for folder in args.packages]
        else:
            suites = [Packages(session, folder).run() for folder in args.packages]
        if args.sign:
            suites.append(signed_program(session, args.sign, os.path.abspath(args.work)))
    finally:
        session.close()
    return report("packages", suites)

if __name__ == "__main__":
    sys.exit(main())
