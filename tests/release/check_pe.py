#!/usr/bin/env python3
"""Checks a shipped program's PE headers, imports and resources.

usage: check_pe.py <program> <PE32|PE32+> <version>
       check_pe.py --loads-on-oldest <program> <PE32|PE32+> [<Windows version, as 6.1>]
       check_pe.py --setup <setup program> <settings.json> <version>
       check_pe.py --icon <program> <icon.ico>
       check_pe.py --program <program> <settings.json>
Fails unless the program is a GUI program of the given kind, imports from no DLL but KERNEL32,
ADVAPI32, USER32 and msvcrt (and SHELL32, for dicreport), imports exactly what imports/<program>.txt lists, is under
its size limit (300 KiB; dicreport, which carries the report's texts in two languages and the
packages' rules, 400 KiB),
has no time stamp, carries an asInvoker manifest and a version resource of the given version, and
loads on the oldest Windows of its kind. With --loads-on-oldest (for other programs, such as a
setup) only the last is checked, against a newer Windows if one is given. With --setup, a setup
program must show the publisher's settings (examples/settings.py writes them): its version
resource their product name, publisher, copyright and the given version, and its icons every
image of their icon, if they give one. With --icon, only the last: a program's icons must hold
every image of the icon file. With --program, a program that a package carries must show the
publisher's settings in both tables of its version resource: their company, product and
copyright, and its description in that table's language.

Loads on the oldest Windows: the PE header asks for no newer Windows, and every function imported
from KERNEL32, USER32 and ADVAPI32 is declared by the MinGW-w64 headers compiled for that Windows
(they keep newer functions behind version guards).
"""

import json
import os
import re
import subprocess
import sys

import pefile

ALLOWED_DLLS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll"}
# The report finds the desktop and its arguments through the shell.
MORE_DLLS = {"dicreport": {"shell32.dll"}}
KINDS = {"PE32": (0x10B, 0x14C), "PE32+": (0x20B, 0x8664)}  # optional header magic, machine
GUI = 2
# The oldest Windows of each kind (Windows XP, Windows Vista x64): its version, and the
# compiler whose headers say what that Windows has.
OLDEST = {"PE32": ((5, 1), "i686-w64-mingw32-gcc"), "PE32+": ((6, 0), "x86_64-w64-mingw32-gcc")}
PROBED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll"}
# The version resource's tables: English first, which Windows shows any user but a Japanese one.
LANGUAGES = {"en": "040904b0", "ja": "041104b0"}
PINNED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "imports")


def resources(pe, type_id):
    """The data of every resource of the type, in every name and language."""
    found = []
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        if kind.id != type_id:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                found.append(pe.get_data(language.data.struct.OffsetToData,
                                         language.data.struct.Size))
    return found


def version_tables(pe):
    """The StringFileInfo tables of the version resource, by language and code page ("040904b0"),
    each as text."""
    tables = {}
    for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode("ascii", "replace").lower()] = {
                key.decode("utf-8", "replace"): value.decode("utf-8", "replace")
                for key, value in table.entries.items()}
    return tables


def version_strings(pe):
    """The StringFileInfo entries of the version resource, as text, all tables in one."""
    strings = {}
    for table in version_tables(pe).values():
        strings.update(table)
    return strings


def icon_images(path):
    """The images of an .ico file, each as it is stored in a program's RT_ICON resource."""
    data = open(path, "rb").read()
    entries = [data[6 + 16 * i:22 + 16 * i] for i in range(int.from_bytes(data[4:6], "little"))]
    return [data[int.from_bytes(e[12:16], "little"):][:int.from_bytes(e[8:12], "little")]
            for e in entries]


def shows_settings(pe, settings, version):
    """What keeps a setup program from showing the publisher's settings."""
    strings = {key: value.rstrip() for key, value in version_strings(pe).items()}
    wanted = {"ProductName": settings["product"], "CompanyName": settings["publisher"],
              "FileDescription": settings["product"] + " セットアップ", "FileVersion": version,
              "ProductVersion": version, "LegalCopyright": settings["copyright"]}
    problems = ["version resource %s is %r, expected %r" % (key, strings.get(key), value)
                for key, value in wanted.items() if strings.get(key) != value]
    return problems + (carries_icon(pe, settings["icon"]) if settings["icon"] else [])


def names_publisher(pe, path, settings):
    """What keeps a program a package carries from showing the publisher's names."""
    descriptions = settings["descriptions"][program_name(path)]
    problems = []
    for language, table in LANGUAGES.items():
        strings = version_tables(pe).get(table, {})
        wanted = {"CompanyName": settings["publisher"], "ProductName": settings["product"],
                  "LegalCopyright": settings["copyright"],
                  "FileDescription": descriptions[language]}
        problems += ["version resource %s %s is %r, expected %r" % (
            table, key, strings.get(key), value) for key, value in wanted.items()
            if strings.get(key) != value]
    return problems


def carries_icon(pe, icon):
    carried = resources(pe, pefile.RESOURCE_TYPE["RT_ICON"])
    missing = [image for image in icon_images(icon) if image not in carried]
    return ["the icons lack %d of the %d images of %s" % (len(missing), len(icon_images(icon)),
                                                          icon)] if missing else []


def imports(pe):
    """(DLL, function) for every function imported by name."""
    return [(entry.dll.decode("ascii", "replace"), item.name.decode("ascii", "replace"))
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
            for item in entry.imports if item.name]


def undeclared(functions, winnt, compiler):
    """The functions that the Windows headers do not declare at _WIN32_WINNT winnt."""
    if not functions:
        return []
    source = ("#define _WIN32_WINNT %#06x\n#define WINVER %#06x\n#include <windows.h>\n"
              "#include <sddl.h>\n#include <shellapi.h>\n#include <shlobj.h>\n" % (winnt, winnt))
    source += "void *probe[] = {\n%s};\n" % "".join("  (void *)&%s,\n" % f for f in functions)
    done = subprocess.run([compiler, "-fsyntax-only", "-x", "c", "-"], input=source,
                          capture_output=True, text=True)
    missing = re.findall(r"‘(\w+)’ undeclared|'(\w+)' undeclared", done.stderr)
    missing = sorted({a or b for a, b in missing})
    if done.returncode != 0 and not missing:
        raise RuntimeError("the import probe did not compile:\n" + done.stderr)
    return missing


def loads_on_oldest(pe, kind, windows=None):
    """What keeps the program from loading on the oldest Windows of its kind (or on the given
    Windows, (major, minor))."""
    problems = []
    (major, minor), compiler = OLDEST[kind]
    if windows:
        major, minor = windows
    header = pe.OPTIONAL_HEADER
    for what in ("OperatingSystem", "Subsystem"):
        wanted = tuple(getattr(header, "%s%sVersion" % (part, what)) for part in ("Major", "Minor"))
        if wanted > (major, minor):
            problems.append("%s version %d.%d in the header, newer than %d.%d" % (
                what, wanted[0], wanted[1], major, minor))
    probed = [(dll, f) for dll, f in imports(pe) if dll.lower() in PROBED_DLLS]
    missing = undeclared(sorted({f for _, f in probed}), major << 8 | minor, compiler)
    for dll, function in probed:
        if function in missing:
            problems.append("%s %s is not declared for Windows %d.%d (_WIN32_WINNT %#06x)" % (
                dll, function, major, minor, major << 8 | minor))
    return problems


def pinned_imports(pe, path):
    """The difference between what the program imports and its list in imports/."""
    listing = os.path.join(PINNED, os.path.basename(path) + ".txt")
    try:
        lines = open(listing, encoding="utf-8").read().splitlines()
    except OSError:
        return ["no pinned import list %s" % listing]
    pinned = {tuple(line.split()) for line in lines if line.strip() and not line.startswith("#")}
    actual = set(imports(pe))
    if actual == pinned:
        return []
    changes = ["+%s %s" % item for item in sorted(actual - pinned)]
    changes += ["-%s %s" % item for item in sorted(pinned - actual)]
    return ["imports differ from the pinned list %s: %s" % (
        os.path.relpath(listing), ", ".join(changes))]


def program_name(path):
    """dicreg or dicreport, whichever width the file is built for."""
    return re.sub(r"(-x64)?\.exe$", "", os.path.basename(path), flags=re.I)


def check(path, kind, version):
    problems = []
    data = open(path, "rb").read()
    pe = pefile.PE(data=data)
    magic, machine = pe.OPTIONAL_HEADER.Magic, pe.FILE_HEADER.Machine
    if (magic, machine) != KINDS[kind]:
        problems.append("magic %#x machine %#x, expected %s" % (magic, machine, kind))
    if pe.OPTIONAL_HEADER.Subsystem != GUI:
        problems.append("subsystem %d, expected 2 (Windows GUI)" % pe.OPTIONAL_HEADER.Subsystem)
    if pe.FILE_HEADER.TimeDateStamp != 0:
        problems.append("time stamp %#x in the header" % pe.FILE_HEADER.TimeDateStamp)
    dlls = [entry.dll.decode("ascii", "replace")
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    allowed = ALLOWED_DLLS | MORE_DLLS.get(program_name(path), set())
    extra = [dll for dll in dlls if dll.lower() not in allowed]
    if extra:
        problems.append("imports from %s" % ", ".join(extra))
    limit = 400 if program_name(path) == "dicreport" else 300
    if len(data) >= limit * 1024:
        problems.append("%d bytes, limit %d KiB" % (len(data), limit))
    manifests = resources(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"])
    if len(manifests) != 1 or b'level="asInvoker"' not in manifests[0] \
            or b'uiAccess="false"' not in manifests[0]:
        problems.append("no manifest with asInvoker and uiAccess false")
    tables = version_tables(pe)
    if sorted(tables) != sorted(LANGUAGES.values()):
        problems.append("version resource in %s, expected %s" % (sorted(tables),
                                                                 sorted(LANGUAGES.values())))
    wanted = [("FileVersion", version), ("ProductVersion", version),
              ("OriginalFilename", os.path.basename(path)), ("InternalName", program_name(path))]
    for language, strings in sorted(tables.items()):
        for key, value in wanted:
            if key not in strings:
                problems.append("version resource %s lacks %s" % (language, key))
            elif strings[key] != value:
                problems.append("%s %s is %r, expected %r" % (language, key, strings[key], value))
        if not strings.get("FileDescription"):
            problems.append("version resource %s lacks FileDescription" % language)
    return problems + pinned_imports(pe, path) + loads_on_oldest(pe, kind)


def main():
    if sys.argv[1] == "--icon":
        path, icon = sys.argv[2:4]
        problems = carries_icon(pefile.PE(path), icon)
        summary = "carries every image of %s" % icon
    elif sys.argv[1] == "--setup":
        path, settings, version = sys.argv[2:5]
        problems = shows_settings(pefile.PE(path), json.load(open(settings, encoding="utf-8")),
                                  version)
        summary = "shows the settings' product, publisher, copyright, icon and version %s" % (
            version)
    elif sys.argv[1] == "--program":
        path, settings = sys.argv[2:4]
        problems = names_publisher(pefile.PE(path), path,
                                   json.load(open(settings, encoding="utf-8")))
        summary = "names the settings' publisher, product and copyright in English and Japanese"
    elif sys.argv[1] == "--loads-on-oldest":
        path, kind = sys.argv[2:4]
        windows = tuple(int(n) for n in sys.argv[4].split(".")) if sys.argv[4:] else None
        problems = loads_on_oldest(pefile.PE(path), kind, windows)
        summary = "%s, loads on Windows %d.%d" % ((kind,) + (windows or OLDEST[kind][0]))
    else:
        path, kind, version = sys.argv[1:4]
        problems = check(path, kind, version)
        summary = ("%s, GUI, imports what is pinned from Windows' own DLLs, loads on Windows "
                   "%d.%d, manifest and version %s" % ((kind,) + OLDEST[kind][0] + (version,)))
    for problem in problems:
        print("%s: %s" % (path, problem))
    if not problems:
        print("%s: %s" % (path, summary))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
