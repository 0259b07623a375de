#!/usr/bin/env python3
"""Checks Windows Installer packages as built.

usage: check_msi.py <package.msi>...
       check_msi.py --texts <source.wxs> <package.msi> <settings.json> [NAME=VALUE]...
       check_msi.py --per-user <package.msi>...
       check_msi.py --rollback <package.msi>...
       check_msi.py --no-restart <package.msi>... -- <page>...
The first form fails when a package's summary information asks for a newer Windows Installer
than 3.1: the page count holds the least version as major * 100 + minor, and Windows XP SP3's
3.1 refuses anything above 301.

The second reads every text of the package back as Windows Installer does, from the bytes it
stores: the tables' strings by the database's code page, the summary's by its own. Both code
pages must be 932, and each text that the source gives the user (product name, manufacturer,
description, comments, messages), with the settings' names and the NAME=VALUE variables of the
build filled in, must be there exactly; the summary's title must be the product's name. A build
tool that drops or garbles a text, or stores it in another encoding, fails here instead of in
the field. Where the settings give an icon and a web page, the package must carry the icon's
file as its ARPPRODUCTICON, and the page as ARPURLINFOABOUT and ARPHELPLINK.

The third keeps a per-user package to Windows Installer's validation rules for data in the user's
profile, which Wine does not enforce: a component in the profile has an HKCU registry value for
its key path (ICE38), so does a component with a shortcut that is not advertised (ICE43), no
component holds both per-user and per-machine data (ICE57), and every folder made in the profile
is removed on uninstall by a RemoveFile row (ICE64).

The fourth checks that a failed or cancelled install or removal leaves the registration as it
found it, which Wine cannot show (its Windows Installer runs no rollback action): every deferred
action that registers the dictionary has, just before it in the sequence and on the same
condition, a rollback action that removes it (dicreg.exe /uninst), and every deferred removal one
that registers it again; and no commit action, which does not run where a policy switches
rollback off.
"""

import json
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import olefile

OLDEST_INSTALLER = 301  # Windows Installer 3.1, as Windows XP SP3 has it
CODEPAGE = 932
# The attributes of the source whose values a user reads.
TEXTS = {"Product": ("Name", "Manufacturer"), "Package": ("Description", "Comments",
         "Manufacturer"), "Condition": ("Message",), "MajorUpgrade": ("DowngradeErrorMessage",),
         "Shortcut": ("Name",)}
# The folders of the user's profile that a package may install to.
PROFILE = {"AppDataFolder", "LocalAppDataFolder", "ProgramMenuFolder", "StartMenuFolder",
           "StartupFolder", "DesktopFolder", "PersonalFolder", "FavoritesFolder", "SendToFolder",
           "TemplateFolder", "RecentFolder", "NetHoodFolder", "PrintHoodFolder",
           "MyPicturesFolder"}
HKCU, HKLM = "1", "2"  # the Registry table's roots
# A custom action's type bits: where it runs from the script, as a rollback or commit action.
DEFERRED, ROLLBACK, COMMIT = 0x400, 0x100, 0x200
# Where the summary takes its texts from.
SUMMARY = {"title": "Product/@Name", "subject": "Package/@Description",
           "author": "Package/@Manufacturer", "comments": "Package/@Comments"}


def installer_versions(paths):
    failed = 0
    for path in paths:
        with olefile.OleFileIO(path) as package:
            least = package.get_metadata().num_pages
        if least is None or least > OLDEST_INSTALLER:
            failed += 1
            print("%s: needs Windows Installer %s, more than %d" % (path, least, OLDEST_INSTALLER))
        else:
            print("%s: needs Windows Installer %d, at most %d" % (path, least, OLDEST_INSTALLER))
    return failed


def source_texts(wxs, variables):
    """(where, text) for each text of the source, with $(var.NAME) filled in."""
    found = []
    for element in ElementTree.parse(wxs).iter():
        tag = element.tag.split("}")[-1]
        for attribute in TEXTS.get(tag, ()):
            if attribute in element.attrib:
                text = re.sub(r"\$\(var\.(\w+)\)", lambda m: variables[m.group(1)],
                              element.attrib[attribute])
                found.append(("%s/@%s" % (tag, attribute), text))
    return found


def stream_name(name):
    """An MSI stream's name as stored, decoded: tables' names come two characters to one."""
    def char(x):
        return "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"[x]
    out = ""
    for c in map(ord, name):
        if 0x3800 <= c < 0x4800:
            out += char((c - 0x3800) & 0x3F) + char((c - 0x3800) >> 6)
        elif 0x4800 <= c < 0x4840:
            out += char(c - 0x4800)
        elif c == 0x4840:
            out += "!"
        else:
            out += chr(c)
    return out


def named_streams(package):
    """The package's streams by their decoded names."""
    return {stream_name(entry[0]): entry for entry in package.listdir()}


def string_pool(package):
    """The database's code page and its strings, as bytes: what every table refers to."""
    streams = named_streams(package)
    pool = package.openstream(streams["!_StringPool"]).read()
    data = package.openstream(streams["!_StringData"]).read()
    codepage = struct.unpack_from("<I", pool, 0)[0] & 0x7FFFFFFF
    strings, at, i = [], 0, 4
    while i + 4 <= len(pool):
        length, refs = struct.unpack_from("<HH", pool, i)
        i += 4
        if length == 0 and refs:  # a long string: its length goes on in the next entry
            low, _ = struct.unpack_from("<HH", pool, i)
            length, i = refs << 16 | low, i + 4
        strings.append(data[at:at + length])
        at += length
    return codepage, strings


def properties(path):
    return {row["Property"]: row["Value"] for row in table(path, "Property")}


def branding(package, path, settings):
    """What keeps the package from showing the publisher's icon and web page in its entry."""
    problems = []
    shown = properties(path)
    if settings["url"]:
        problems += ["%s is %r, expected %r" % (name, shown.get(name), settings["url"])
                     for name in ("ARPURLINFOABOUT", "ARPHELPLINK")
                     if shown.get(name) != settings["url"]]
    if settings["icon"]:
        icon = named_streams(package).get("Icon." + shown.get("ARPPRODUCTICON", ""))
        if not icon or package.openstream(icon).read() != open(settings["icon"], "rb").read():
            problems.append("ARPPRODUCTICON (%r) is not the icon %s" % (
                shown.get("ARPPRODUCTICON"), settings["icon"]))
    return problems


def read_back(wxs, path, variables, settings):
    problems = []
    with olefile.OleFileIO(path) as package:
        codepage, strings = string_pool(package)
        summary = package.get_metadata()
        problems += branding(package, path, settings)
    if codepage != CODEPAGE:
        problems.append("the database's code page is %d, not %d" % (codepage, CODEPAGE))
    if summary.codepage != CODEPAGE:
        problems.append("the summary's code page is %s, not %d" % (summary.codepage, CODEPAGE))
    texts = {raw.decode("cp%d" % codepage if codepage else "ascii", "replace") for raw in strings}
    expected = source_texts(wxs, variables)
    for where, text in expected:
        if where.startswith("Package/"):
            continue  # the summary's, below
        if text in texts:
            print("%s: %s reads back as %r" % (path, where, text))
        else:
            near = sorted(t for t in texts if t and (t[:4] == text[:4] or "\ufffd" in t))
            problems.append("%s %r is not in the package as written; found %s" % (where, text,
                                                                               near[:3]))
    sources = dict(expected)
    for field, where in SUMMARY.items():
        stored = getattr(summary, field) or b""
        shown = stored.decode("cp%s" % summary.codepage, "replace") if summary.codepage else ""
        if shown == sources.get(where):
            print("%s: the summary's %s reads back as %r" % (path, field, shown))
        else:
            problems.append("the summary's %s reads %r (%r), expected %r, the source's %s" % (
                field, shown, stored, sources.get(where), where))
    for problem in problems:
        print("%s: %s" % (path, problem))
    return len(problems)


def table(path, name):
    """A table's rows as dicts of its columns (none when the package lacks it)."""
    done = subprocess.run(["msiinfo", "export", path, name], capture_output=True, text=True)
    lines = done.stdout.splitlines() if done.returncode == 0 else []
    columns = lines[0].split("\t") if lines else []
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def per_user(path):
    """What breaks the rules for per-user data (ICE38, ICE43, ICE57, ICE64)."""
    parents = {row["Directory"]: row["Directory_Parent"] for row in table(path, "Directory")}

    def in_profile(directory):
        while directory:
            if directory in PROFILE:
                return True
            directory = parents.get(directory)
        return False
    registry = {row["Registry"]: row for row in table(path, "Registry")}
    files = {row["File"]: row for row in table(path, "File")}
    shortcuts = {row["Component_"] for row in table(path, "Shortcut")
                 if row["Target"].startswith("[")}
    removed = {row["DirProperty"] for row in table(path, "RemoveFile") if not row["FileName"]}
    problems = []
    for component in table(path, "Component"):
        name, key = component["Component"], component["KeyPath"]
        hkcu_key = key in registry and registry[key]["Root"] == HKCU
        if in_profile(component["Directory_"]) and not hkcu_key:
            problems.append("ICE38: %s is in the user's profile, its key path %r is no HKCU "
                            "registry value" % (name, key))
        if name in shortcuts and not hkcu_key:
            problems.append("ICE43: %s has a shortcut that is not advertised, its key path %r "
                            "is no HKCU registry value" % (name, key))
        roots = {row["Root"] for row in registry.values() if row["Component_"] == name}
        per_machine = HKLM in roots or (key in files and not in_profile(component["Directory_"]))
        if per_machine and (HKCU in roots or in_profile(component["Directory_"])):
            problems.append("ICE57: %s holds per-user and per-machine data" % name)
    for directory in parents:
        if directory not in PROFILE and in_profile(directory) and directory not in removed:
            problems.append("ICE64: %s is made in the user's profile and not removed" % directory)
    for problem in problems:
        print("%s: %s" % (path, problem))
    if not problems:
        print("%s: keeps to ICE38, ICE43, ICE57 and ICE64" % path)
    return len(problems)


def what_it_does(action):
    """"register", "remove", "put back" or None: what a custom action does with the
    registration (dicreport's /rollback puts back what the action before it recorded)."""
    source, target = action["Source"], action["Target"].strip()
    switch = target.split(" ")[0].lower()
    if source == "dicreg.exe":
        return "remove" if target == "/uninst" else "register"
    if source == "dicreport.exe":
        return {"/quiet": "register", "/register": "register", "/install": "register",
                "/uninstall": "remove", "/rollback": "put back"}.get(switch)
    return None


def rollback(path):
    """What leaves a registration behind when an install or a removal is rolled back."""
    actions = {row["Action"]: row for row in table(path, "CustomAction")}
    sequence = sorted((int(row["Sequence"]), row["Action"], row["Condition"])
                      for row in table(path, "InstallExecuteSequence") if row["Sequence"])
    problems = ["%s is a commit action" % name for name, row in actions.items()
                if int(row["Type"]) & COMMIT and not int(row["Type"]) & ROLLBACK]
    undone = {"register": ("remove", "put back"), "remove": ("register", "put back")}
    for at, (number, name, condition) in enumerate(sequence):
        kind = int(actions[name]["Type"]) if name in actions else 0
        does = what_it_does(actions[name]) if name in actions else None
        if does not in undone or not kind & DEFERRED or kind & ROLLBACK:
            continue
        before = sequence[at - 1] if at else (0, "", "")
        back = actions.get(before[1])
        if not (back and int(back["Type"]) & ROLLBACK and before[2] == condition and
                what_it_does(back) in undone[does]):
            problems.append("%s (%d) does %s, but the action before it, %s, is no rollback "
                            "action that undoes it on the same condition" % (
                                name, number, does, before[1] or "none"))
    for problem in problems:
        print("%s: %s" % (path, problem))
    if not problems:
        print("%s: every registration and removal can be rolled back" % path)
    return len(problems)


def no_restart(paths, pages):
    """What lets Windows Installer restart the PC by itself: ATOK 2012 nearly always holds the
    dictionary, a file in use is replaced at the next restart, and without REBOOT=ReallySuppress
    a silent install, upgrade or removal restarts the PC at its end. The package must set it (and
    keep Restart Manager from closing the programs that hold the file), schedule no restart, and
    every msiexec command that a page or the package's source gives must say it too, for a
    package built otherwise."""
    problems = []
    for path in paths:
        shown = properties(path)
        for name, value in (("REBOOT", "ReallySuppress"), ("MSIRESTARTMANAGERCONTROL", "Disable")):
            if shown.get(name) != value:
                problems.append("%s: %s is %r, expected %r" % (path, name, shown.get(name), value))
        for sequence in ("InstallExecuteSequence", "InstallUISequence"):
            problems += ["%s: %s schedules %s" % (path, sequence, row["Action"])
                         for row in table(path, sequence)
                         if row["Action"] in ("ForceReboot", "ScheduleReboot")]
    for page in pages:
        text = open(page, encoding="utf-8").read()
        commands = re.findall(r"msiexec(?:\.exe)? +/[ixf][^`\n]*", text, re.I)
        problems += ["%s: %r lacks REBOOT=ReallySuppress" % (os.path.relpath(page), command)
                     for command in commands if "REBOOT=ReallySuppress" not in command]
        print("%s: %d msiexec commands" % (os.path.relpath(page), len(commands)))
    for problem in problems:
        print(problem)
    if not problems:
        print("no package and no command lets Windows Installer restart the PC")
    return len(problems)


def main():
    if sys.argv[1] == "--no-restart":
        split = sys.argv.index("--")
        failed = no_restart(sys.argv[2:split], sys.argv[split + 1:])
    elif sys.argv[1] == "--rollback":
        failed = sum(rollback(path) for path in sys.argv[2:])
    elif sys.argv[1] == "--per-user":
        failed = sum(per_user(path) for path in sys.argv[2:])
    elif sys.argv[1] == "--texts":
        wxs, path, settings = sys.argv[2:5]
        settings = json.load(open(settings, encoding="utf-8"))
        variables = dict(ProductName=settings["product"], Publisher=settings["publisher"])
        variables.update(argument.split("=", 1) for argument in sys.argv[5:])
        failed = read_back(wxs, path, variables, settings)
    else:
        failed = installer_versions(sys.argv[1:])
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
