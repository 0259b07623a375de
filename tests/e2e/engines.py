"""The example packages' installer engines, as the tests drive them, in one place: the files each
builds, the command lines that install it and remove it silently, what it installs and where it
lists itself, and the pages a person goes through. The cases of packages.py and interactive.py
are written once and run for every engine a folder of packages holds."""

import glob
import json
import os
import re

import guide
from signin import RUN, RUNONCE
from winesession import windows_path

MSIEXEC = "C:\\windows\\system32\\msiexec.exe"
CMD = "C:\\windows\\system32\\cmd.exe"
UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
PROGRAM_FILES = ["dicreg.exe", "dicreport.exe"]
DICTIONARY = "QelDat2012.dic"
# The marker that a registration waits for a sign-in (the startup entry is a value of RUN).
MARKER = ("Software\\QelDat2012", "RegisterAtSignIn")
# The Start menu entries, in the product's folder: the report, and registering again.
ENTRIES = {"en": ["Dictionary status report", "Register in ATOK 2012 again"],
           "ja": ["登録状況レポート", "ATOK 2012 に再登録"]}

# What both setups' logs keep of dicreg's answer: the same texts.
LOGGED = {"ja": {"registered": "{product} を ATOK 2012 に登録しました。",
                 "partly": "{product} を ATOK 2012 に登録しましたが、使用中の辞書セットの一部には"
                           "登録できませんでした。",
                 "not yet": "ATOK 2012 に {product} を登録できる辞書セットがまだありません。登録"
                            "できるようになったあと、最初のサインインで自動的に登録されます。",
                 "switched off": "自動的に登録するスタートアップの項目が無効になっているか、"
                                 "作成できなかったため、サインイン時には登録されません。",
                 "held": "以前のバージョンの辞書を ATOK 2012 が開いたままにしています。Windows から"
                         "サインアウトしてサインインし直すと、ATOK 2012 が新しい辞書を使うように"
                         "なります。",
                 "kept": "変更できない辞書セットに以前のバージョンの辞書が登録されているため、その"
                         "辞書は残してあります。"},
          "en": {"registered": "{product} is registered in ATOK 2012.",
                 "partly": "{product} is registered in ATOK 2012, but not in every dictionary "
                           "set in use.",
                 "not yet": "ATOK 2012 has no dictionary set to take {product} yet: it registers "
                            "by itself at the first sign-in after one can.",
                 "switched off": "and its startup entry is switched off",
                 "held": "The previous version's dictionary is held open by ATOK 2012: ATOK 2012 "
                         "uses the new one after you sign out of Windows and sign in again.",
                 "kept": "The previous version's dictionary stays, as a dictionary set that cannot "
                         "be changed still names it"}}
# What each setup's pages say, in each language, for the product "{product}": the window's title,
# and for each page texts that its traced calls set (its heading, its buttons); with them, the
# keys that accept the licence. "registered" and "not yet" are what the finish page says after
# dicreg answered (None where the trace does not show it: Inno Setup sets its finish text with
# WM_SETTEXT), "logged" what the setup's log keeps of it. "uninstall" is what a person does in
# the uninstaller started from the installed programs, "refused" the person's step that closes
# the box that stops an older version installed over a newer one ({next}), with a part of its
# text where the trace shows it (NSIS shows it with MessageBoxIndirectW, whose text the relay
# trace does not show).
NSIS_PAGES = {
    "ja": {"title": "{product} セットアップ",
           "welcome": ["{product} セットアップへようこそ", "次へ(&N) >", "キャンセル"],
           "license": (["同意する(&A)", "契約のすべての条件に同意するなら"], ["Return"]),
           "folder": ["インストール先のフォルダ", "インストール(&I)", "< 戻る(&B)"],
           "finish": ["{product} セットアップの完了"],
           "uninstall": [("page", "confirm", ["{product} アンインストール", "ｱﾝｲﾝｽﾄｰﾙ(&U)"]),
                         ("key", "Return"), ("page", "removed", ["閉じる(&C)"]),
                         ("key", "Return")],
           "registered": "ATOK 2012 に登録しました。", "not yet": "まだ登録されていません",
           "logged": LOGGED["ja"],
           "refused": ("window", "{product} セットアップ", "Return")},
    "en": {"title": "{product} Setup",
           "welcome": ["Welcome to {product} Setup", "&Next >", "Cancel"],
           "license": (["I &Agree", "If you accept the terms of the agreement"], ["Return"]),
           "folder": ["Destination Folder", "&Install", "< &Back"],
           "finish": ["Completing {product} Setup"],
           "registered": "registered in ATOK 2012. ATOK 2012 uses it once it reads its settings",
           "not yet": "not registered in ATOK 2012 yet",
           "logged": LOGGED["en"],
           "refused": ("window", "{product} Setup", "Return")},
}
INNO_PAGES = {
    "ja": {"title": "{product} セットアップ",
           "welcome": ["{product} セットアップウィザードの開始", "キャンセル"],
           "license": (["同意する(&A)", "以下の使用許諾契約書をお読みください。"],
                       ["alt+a", "space", "Return"]),
           "folder": ["{product} をインストールするフォルダ", "参照(&R)"],
           "finish": ["{product} セットアップウィザードの完了"],
           # Its own boxes: are you sure (はい: Y), and removed (OK).
           "uninstall": [("answer", "{product} アンインストール", "y"),
                         ("answer", "{product} アンインストール", "Return")],
           "registered": None, "not yet": None,
           "logged": LOGGED["ja"],
           "refused": ("answer", "セットアップ", "Return",
                       "{product} の新しいバージョン（{next}）が")},
    "en": {"title": "Setup - {product}",
           "welcome": ["Welcome to the {product} Setup Wizard", "Cancel"],
           "license": (["I &accept the agreement", "Please read the following License Agreement."],
                       ["alt+a", "space", "Return"]),
           "folder": ["Setup will install {product} into the following folder.", "B&rowse..."],
           "finish": ["Completing the {product} Setup Wizard"],
           "registered": None, "not yet": None,
           "logged": LOGGED["en"],
           "refused": ("answer", "Setup", "Return",
                       "A newer version of {product} ({next}) is already")},
}
# What Windows Installer says when a newer version is installed (Wine's caption).
MSI_PAGES = {"ja": {"refused": ("answer", "Install Failed", "Return",
                                "{product} の新しいバージョンがすでにインストールされています。")},
             "en": {"refused": ("answer", "Install Failed", "Return",
                                "A newer version of {product} is already installed.")}}


def built_with(folder):
    """The settings a folder of packages was built with (examples/settings.py's)."""
    return json.load(open(os.path.join(folder, "..", "settings.json"), encoding="utf-8"))


def filled(pages, values):
    """The pages with the product's name and the versions put in."""
    def fill(item):
        if isinstance(item, str):
            for name, value in values.items():
                item = item.replace("{%s}" % name, value)
            return item
        if isinstance(item, dict):
            return {key: fill(value) for key, value in item.items()}
        if isinstance(item, (list, tuple)):
            return type(item)(fill(part) for part in item)
        return item
    return fill(pages)


class Engine:
    """One engine's packages in a folder of built packages."""

    msi = False
    # The oldest Windows the engine's setup starts on, as (major, minor).
    oldest = (5, 1)
    # Whether the installed folder, emptied, may outlive the command that removed the package.
    lingers = False
    # The status with which it refuses to install over a newer version (None: it does not).
    refused_status = None
    # What the guide's commands for a deployment script start with, for this engine: they remove
    # the package from its default folder and return only once it is gone.
    removal = None
    # Where it puts the dictionary below the folder it installs to.
    placed = DICTIONARY
    # The statuses with which it ends an install that replaces a held file at the next restart.
    held_statuses = [0]

    def __init__(self, name, folder):
        self.name, self.folder = name, folder
        self.settings = built_with(folder)
        self.pages = filled(self.pages, {"product": self.settings["product"],
                                         "next": self.settings["next_version"]})

    def scripted_removal(self):
        """The guide's commands for a script that removes the package."""
        return guide.block(self.removal)

    def path(self, variant=""):
        return os.path.join(self.folder, self.package % variant)

    def version(self, variant=""):
        return self.settings["next_version" if variant == "-next" else "version"]

    def dictionary(self, variant=""):
        """The installed dictionary, relative to the folder installed to."""
        return self.placed.format(version=self.version(variant))

    def said(self, prefix, folder):
        """What the engine's log says of its last runs (folder: where it installed), or None
        where it keeps no log of its own."""
        return None


class Setup(Engine):
    """A setup program that lists itself in the user's installed programs, under entry_key; each
    version's dictionary goes into a folder named after the version."""

    placed = "{version}\\" + DICTIONARY

    def __init__(self, name, folder, package, silent, chosen, files, pages, entry_key,
                 refused_status):
        self.pages = pages
        super().__init__(name, folder)
        self.package, self.silent, self.chosen = package, silent, chosen
        self.files, self.entry_key = files, entry_key
        self.refused_status = refused_status

    def install(self, where=None, variant=""):
        """Program and command line that install the package into where (None: the default,
        or the folder of the installed copy)."""
        setup = self.path(variant)
        return setup, '"%s" %s%s' % (windows_path(setup), self.silent,
                                     " " + self.chosen % where if where else "")

    def started(self, variant=""):
        """Program and command line that start the package as a person does: double-clicked."""
        setup = self.path(variant)
        return setup, '"%s"' % windows_path(setup)

    def again(self):
        """Registers the dictionary again, once ATOK 2012 is set up: the setup run again."""
        return self.install()

    def entry(self, registry, names):
        """The values of the package's entry in the user's installed programs."""
        return {name: registry.get(self.entry_key, name) for name in names}

    def uninstall(self, registry, quiet=True, variant=""):
        """What the user's installed programs run to remove the package, quietly or not."""
        value = registry.get(self.entry_key,
                             "QuietUninstallString" if quiet else "UninstallString")
        line = value.data.decode("utf-16-le").rstrip("\0") if value else ""
        program = re.match(r'"([^"]*)"', line)
        return (program.group(1) if program else "C:\\missing.exe"), line


class Nsis(Setup):
    removal = 'start "" /wait "%LOCALAPPDATA%\\QelDat2012\\uninstall.exe"'

    def __init__(self, folder):
        super().__init__("nsis", folder, "QelDat2012-setup%s.exe", "/S", "/D=%s",
                         PROGRAM_FILES + ["uninstall.exe", "setup.log"], NSIS_PAGES,
                         UNINSTALL + "QelDat2012", 2)

    def said(self, prefix, folder):
        """Its setup.log, in the installed folder."""
        log = os.path.join(folder, "setup.log")
        return open(log, encoding="utf-16").read() if os.path.exists(log) else ""


class Inno(Setup):
    # The uninstaller returns once the files are gone; its copy in %TEMP% removes the empty
    # folder a moment later.
    lingers = True
    removal = 'start "" /wait "%LOCALAPPDATA%\\QelDat2012\\unins000.exe"'

    def __init__(self, name, folder, package, oldest):
        super().__init__(name, folder, package, "/VERYSILENT /SUPPRESSMSGBOXES", '"/DIR=%s"',
                         PROGRAM_FILES + ["unins000.exe", "unins000.dat"], INNO_PAGES, None, 1)
        # Its AppId is the UpgradeCode it was built with.
        self.entry_key = UNINSTALL + "{%s}_is1" % self.settings["upgrade_code"]
        self.oldest = oldest

    def said(self, prefix, folder):
        """Its newest log: every run of the setup writes one to %TEMP%."""
        logs = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "Temp", "Setup Log *.txt"))
        if not logs:
            return ""
        return open(max(logs, key=os.path.getmtime), encoding="utf-8-sig").read()


class Msi(Engine):
    msi = True
    package = "QelDat2012%s.msi"
    files = PROGRAM_FILES
    entry_key = None
    pages = MSI_PAGES
    refused_status = 1603
    # Windows Installer replaces a file in use at the next restart, and says so with 3010.
    held_statuses = [3010]
    removal = 'start "" /wait msiexec /x'
    # Where Windows Installer keeps the user's products' entries (InstallProperties).
    products = ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\"
                "UserData")

    def entry(self, registry, names):
        found = [path for path in registry.keys if path.startswith(self.products)
                 and path.endswith("\\InstallProperties")]
        return {name: registry.get(found[0], name) if len(found) == 1 else None
                for name in names}

    def scripted_removal(self):
        """The guide's command, run in the folder that holds the package, as it says."""
        return ['cd /d "%s"' % windows_path(self.folder)] + guide.block(self.removal)

    def msiexec(self, verb, variant="", extra="", ui="/qn"):
        """An msiexec command line for one of the MSI packages, quiet unless ui says."""
        return MSIEXEC, 'msiexec %s "%s" %s%s' % (verb, windows_path(self.path(variant)), ui,
                                                 extra)

    def install(self, where=None, variant=""):
        return self.msiexec("/i", variant, ' INSTALLDIR="%s"' % where if where else "")

    def started(self, variant=""):
        """With the basic UI, as a double-click does."""
        return self.msiexec("/i", variant, ui="/qb")

    def again(self):
        """What Repair does, with a log: the support page's command, in the folder of the
        package (Wine's msiexec has no /f for a package)."""
        line = guide.block("REINSTALL=ALL", "support.md")[0]
        return CMD, 'cmd /d /c cd /d "%s" & %s' % (windows_path(self.folder), line)

    def uninstall(self, registry, quiet=True, variant=""):
        return self.msiexec("/x", variant)


def engines(folder):
    """The engines of a folder of packages: Inno Setup's setups are 32-bit programs, built only
    around the 32-bit dicreg."""
    found = [Nsis(folder), Msi("msi", folder)]
    if os.path.basename(os.path.normpath(folder)) == "x86":
        found += [Inno("inno5", folder, "QelDat2012-inno-setup%s.exe", (5, 1)),
                  Inno("inno6", folder, "QelDat2012-inno6-setup%s.exe", (6, 1))]
    return found
