#!/usr/bin/env python3
"""Checks Windows Installer packages as built.

usage: check_msi.py <package.msi>...
       check_msi.py --texts <source.wxs> <package.msi> [NAME=VALUE]...
The first form fails when a package's summary information asks for a newer Windows Installer
than 3.1: the page count holds the least version as major * 100 + minor, and Windows XP SP3's
3.1 refuses anything above 301.

The second reads every text of the package back (its tables in the database's code page, its
summary information in the summary's) and fails unless each text that the source gives to the
user (product name, manufacturer, description, messages), with the NAME=VALUE variables of the
build filled in, is there exactly. A build tool that drops or garbles characters it cannot store
fails here instead of in the field.
"""

import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

import olefile

OLDEST_INSTALLER = 301  # Windows Installer 3.1, as Windows XP SP3 has it
# The attributes of the source whose values a user reads.
TEXTS = {"Product": ("Name", "Manufacturer"), "Package": ("Description", "Comments",
         "Manufacturer"), "Condition": ("Message",), "MajorUpgrade": ("DowngradeErrorMessage",)}


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


def msiinfo(*args):
    return subprocess.run(["msiinfo"] + list(args), check=True, capture_output=True).stdout


def package_texts(path):
    """Every cell of every table, and the summary's strings, as a user's Windows reads them."""
    forced = msiinfo("export", path, "_ForceCodepage").split()
    codepage = int(forced[0]) if forced and forced[0].isdigit() else 0
    # Code page 0 is neutral: only ASCII reads the same everywhere.
    encoding = "cp%d" % codepage if codepage else "ascii"
    texts = set()
    for table in msiinfo("tables", path).decode("ascii").split():
        for line in msiinfo("export", path, table).splitlines():
            texts.update(line.decode(encoding, "replace").split("\t"))
    with olefile.OleFileIO(path) as package:
        summary = package.get_metadata()
    encoding = "cp%d" % summary.codepage if summary.codepage else "cp1252"
    for field in ("title", "subject", "author", "keywords", "comments"):
        value = getattr(summary, field)
        if value:
            texts.add(value.decode(encoding, "replace"))
    return texts


def read_back(wxs, path, variables):
    texts = package_texts(path)
    failed = 0
    for where, text in source_texts(wxs, variables):
        if text in texts:
            print("%s: %s reads back as %r" % (path, where, text))
        else:
            failed += 1
            near = sorted(t for t in texts if t and (t[:4] == text[:4] or "\ufffd" in t))
            print("%s: %s %r is not in the package as written; found %s" % (path, where, text,
                                                                          near[:3]))
    return failed


def main():
    if sys.argv[1] == "--texts":
        wxs, path = sys.argv[2:4]
        variables = dict(argument.split("=", 1) for argument in sys.argv[4:])
        failed = read_back(wxs, path, variables)
    else:
        failed = installer_versions(sys.argv[1:])
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
