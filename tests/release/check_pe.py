#!/usr/bin/env python3
"""Checks a shipped program's PE headers, imports and resources.

usage: check_pe.py <program> <PE32|PE32+> <version>
Fails unless the program is a GUI program of the given kind, imports from no DLL but KERNEL32,
ADVAPI32, USER32 and msvcrt, is under 300 KiB, has no time stamp, and carries an asInvoker
manifest and a version resource of the given version.
"""

import os
import sys

import pefile

ALLOWED_DLLS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll"}
KINDS = {"PE32": (0x10B, 0x14C), "PE32+": (0x20B, 0x8664)}  # optional header magic, machine
GUI = 2


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


def version_strings(pe):
    """The StringFileInfo entries of the version resource, as text."""
    strings = {}
    for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        for table in getattr(info, "StringTable", []):
            for key, value in table.entries.items():
                strings[key.decode("utf-8", "replace")] = value.decode("utf-8", "replace")
    return strings


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
    extra = [dll for dll in dlls if dll.lower() not in ALLOWED_DLLS]
    if extra:
        problems.append("imports from %s" % ", ".join(extra))
    if len(data) >= 300 * 1024:
        problems.append("%d bytes, limit 300 KiB" % len(data))
    manifests = resources(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"])
    if len(manifests) != 1 or b'level="asInvoker"' not in manifests[0] \
            or b'uiAccess="false"' not in manifests[0]:
        problems.append("no manifest with asInvoker and uiAccess false")
    strings = version_strings(pe)
    wanted = [("FileVersion", version), ("ProductVersion", version),
              ("OriginalFilename", os.path.basename(path)), ("InternalName", "dicreg")]
    for key, value in wanted:
        if key not in strings:
            problems.append("version resource lacks %s" % key)
        elif strings[key] != value:
            problems.append("%s is %r, expected %r" % (key, strings[key], value))
    if not strings.get("FileDescription"):
        problems.append("version resource lacks FileDescription")
    return problems


def main():
    path, kind, version = sys.argv[1:4]
    problems = check(path, kind, version)
    for problem in problems:
        print("%s: %s" % (path, problem))
    if not problems:
        print("%s: %s, GUI, imports only Windows' own DLLs, manifest and version %s" % (
            path, kind, version))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
