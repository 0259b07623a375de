#!/usr/bin/env python3
"""Builds an MSI with wixl, its texts stored as Windows Installer reads them: in code page 932.

usage: wixl.py --settings <settings.json> [-D NAME=VALUE]... -a <arch> -o <package.msi>
               <source.wxs>

wixl (0.101) takes only ASCII: a Japanese product name stops it, a Japanese message crashes it,
and it leaves the database without a code page; it stops at a component's Condition; and it
makes a custom action of Execute="rollback" an immediate one. So wixl compiles a copy of the
source with the variables filled in, every text that is not ASCII replaced by a placeholder and
the components' conditions taken out. msibuild then puts the texts back, into the tables and the
summary, with the conditions into the Component table and the rollback actions' type bits into
the CustomAction table, and sets the database's code page in the same call (it crashes on a Japanese value in a database without
one); the summary's texts are stored as Shift-JIS bytes, with its code page 932 too. The summary's
title becomes the product's name. Run it in the folder that the source's file paths start from,
as wixl.

The settings file (from examples/settings.py) gives the variables ProductName and Publisher, and
Icon and Url where the publisher gave them; <?ifdef NAME?> ... <?endif?> keeps what it encloses
only where NAME is given.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

CODEPAGE = 932
ENCODING = "cp%d" % CODEPAGE
WIX = "http://schemas.microsoft.com/wix/2006/wi"
TITLE, TEMPLATE = "2", "7"  # summary properties
# A custom action's type bits for Execute="rollback": in the script (deferred), as a rollback.
ROLLBACK = 0x400 | 0x100


class BuildError(Exception):
    pass


def run(argv, what):
    done = subprocess.run(argv, capture_output=True)
    if done.returncode != 0:
        said = (done.stdout + done.stderr).decode("utf-8", "replace").strip().splitlines()
        raise BuildError("%s failed (status %d): %s" % (what, done.returncode,
                                                         " / ".join(said[-4:])))
    return done.stdout


def ascii_source(source, variables):
    """The source with the variables filled in, each text that is not ASCII a placeholder and
    no component condition; the placeholders' texts, each component's condition, and the custom
    actions that roll back."""
    ElementTree.register_namespace("", WIX)
    text = open(source, encoding="utf-8").read()
    text = re.sub(r"<\?ifdef\s+(\w+)\s*\?>(.*?)<\?endif\s*\?>",
                  lambda m: m.group(2) if m.group(1) in variables else "", text, flags=re.S)
    tree = ElementTree.ElementTree(ElementTree.fromstring(text.encode("utf-8")))
    texts = {}
    conditions = {}
    for component in tree.iter("{%s}Component" % WIX):
        for condition in component.findall("{%s}Condition" % WIX):
            conditions[component.get("Id")] = condition.text.strip()
            component.remove(condition)
    rollbacks = {action.get("Id") for action in tree.iter("{%s}CustomAction" % WIX)
                 if action.get("Execute") == "rollback"}

    def fill(match):
        if match.group(1) not in variables:
            raise BuildError("%s uses $(var.%s), which is not given" % (source, match.group(1)))
        return variables[match.group(1)]
    for element in tree.iter():
        for name, value in element.attrib.items():
            value = re.sub(r"\$\(var\.(\w+)\)", fill, value)
            if not value.isascii():
                try:
                    value.encode(ENCODING)
                except UnicodeError as error:
                    raise BuildError("%s: %s=%r has %r, which code page %d lacks" % (
                        element.tag.split("}")[-1], name, value, value[error.start], CODEPAGE))
                placeholder = "@@%d@@" % (len(texts) + 1)
                texts[placeholder] = value
                value = placeholder
            element.set(name, value)
    return tree, texts, conditions, rollbacks


def restore(text, texts):
    return re.sub(r"@@\d+@@", lambda m: texts[m.group(0)], text)


def export(package, table):
    return run(["msiinfo", "export", package, table], "msiinfo export %s" % table).decode("ascii")


def edit_rows(exported, keys, value, column):
    """An exported table with the column set to value(row) in each row whose key is in keys."""
    rows = [line.split("\t") for line in exported.split("\r\n")]
    for row in rows[3:]:
        if row[0] in keys:
            row[column] = value(row)
    return "\r\n".join("\t".join(row) for row in rows)


def mend(package, texts, conditions, rollbacks, title, work):
    """The tables' and the summary's texts back in place, the components' conditions, the
    rollback actions' type, the code page 932, and the title."""
    tables = []
    codepage = os.path.join(work, "_ForceCodepage.idt")
    with open(codepage, "wb") as out:
        out.write(b"\r\n\r\n%d\t_ForceCodepage\r\n" % CODEPAGE)
    tables.append(codepage)
    names = run(["msiinfo", "tables", package], "msiinfo tables").decode("ascii").split()
    for table in names:
        if table.startswith("_"):
            continue
        exported = export(package, table)
        if table == "Component":
            # Component, ComponentId, Directory_, Attributes, Condition
            exported = edit_rows(exported, conditions, lambda row: conditions[row[0]], 4)
        elif table == "CustomAction":
            # Action, Type: the rollback actions' bits added
            exported = edit_rows(exported, rollbacks, lambda row: str(int(row[1]) | ROLLBACK), 1)
        elif "@@" not in exported:
            continue
        path = os.path.join(work, table + ".idt")
        with open(path, "wb") as out:
            out.write(restore(exported, texts).encode("utf-8"))
        tables.append(path)
    language = dict(line.split("\t", 1) for line in export(package, "Property").splitlines()
                    if "\t" in line)["ProductLanguage"]
    lines = export(package, "_SummaryInformation").split("\r\n")
    summary = []
    for line in lines:
        key, tab, value = line.partition("\t")
        if key == "1":
            value = str(CODEPAGE)
        elif key == TITLE:
            value = title
        elif key == TEMPLATE:
            value = "%s;%s" % (value.split(";")[0], language)
        summary.append(key + tab + restore(value, texts))
    path = os.path.join(work, "_SummaryInformation.idt")
    with open(path, "wb") as out:
        out.write("\r\n".join(summary).encode(ENCODING))
    tables.append(path)
    argv = ["msibuild", package]
    for table in tables:
        argv += ["-i", table]
    run(argv, "msibuild, storing the texts at code page %d," % CODEPAGE)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--settings", required=True)
    parser.add_argument("-D", action="append", default=[], metavar="NAME=VALUE")
    parser.add_argument("-a", required=True, metavar="ARCH")
    parser.add_argument("-o", required=True, metavar="PACKAGE")
    parser.add_argument("source")
    args = parser.parse_args()
    settings = json.load(open(args.settings, encoding="utf-8"))
    variables = dict(ProductName=settings["product"], Publisher=settings["publisher"])
    if settings["icon"]:
        variables["Icon"] = os.path.relpath(settings["icon"])  # wixl takes no absolute path
    if settings["url"]:
        variables["Url"] = settings["url"]
    variables.update(define.split("=", 1) for define in args.D)
    try:
        tree, texts, conditions, rollbacks = ascii_source(args.source, variables)
        with tempfile.TemporaryDirectory() as work:
            ascii_copy = os.path.join(work, os.path.basename(args.source))
            tree.write(ascii_copy, encoding="utf-8", xml_declaration=True)
            if os.path.exists(args.o):
                os.remove(args.o)
            run(["wixl", "-a", args.a, "-o", args.o, ascii_copy], "wixl")
            mend(args.o, texts, conditions, rollbacks, settings["product"], work)
    except BuildError as error:
        if os.path.exists(args.o):
            os.remove(args.o)
        print("wixl.py: %s: %s" % (args.o, error), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
