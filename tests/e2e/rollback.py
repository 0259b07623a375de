"""Windows Installer's rollback, which Wine's msi logs and does not run: a copy of a package that
fails on demand, the rollback custom actions Windows Installer would run then, and which of the
package's own work a rollback undoes.

The copy carries two deferred actions that fail (cmd.exe /c exit 1) when the property QELDAT_FAIL
is set: one just after the last deferred custom action of an install, repair or upgrade, one just
after that of a removal. Windows then runs, newest first, every rollback custom action that the
script had reached and whose condition held; and undoes the standard actions of its transaction,
which begins at InstallInitialize: an older version that RemoveExistingProducts removed before it
was removed for good.
"""

import os
import re
import shutil
import subprocess
import tempfile

DEFERRED, ROLLBACK = 0x400, 0x100
FAILS = "[WindowsFolder]system32\\cmd.exe /c exit 1"
INSTALL_INITIALIZE = 1500


def exported(package, name):
    return subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True,
                          text=True).stdout.splitlines()


def table(package, name):
    """A table's rows as dicts of its columns."""
    lines = exported(package, name)
    return [dict(zip(lines[0].split("\t"), line.split("\t"))) for line in lines[3:] if line]


def imported(header, rows):
    """A table as msibuild imports it: the exported header and the rows, by column."""
    columns = header[0].split("\t")
    return "".join(line + "\r\n" for line in header[:3]) + "".join(
        "\t".join(str(row.get(column, "")) for column in columns) + "\r\n" for row in rows)


def holds(condition, properties):
    """Evaluates the packages' conditions: NOT, AND, a property alone, and X~="ALL"."""
    if not condition:
        return True
    for part in condition.split(" AND "):
        part = part.strip()
        negated = part.startswith("NOT ")
        part = part[4:] if negated else part
        match = re.fullmatch(r'(\w+)~="(.*)"', part)
        value = properties.get(match.group(1), "").upper() == match.group(2).upper() if match \
            else bool(properties.get(part))
        if value == negated:
            return False
    return True


def failing_copy(package, work):
    """A copy of the package that fails, when QELDAT_FAIL is set, right after the last deferred
    custom action of an install and of a removal (moved down to make room where needed)."""
    copy = os.path.join(work, "failing-" + os.path.basename(package))
    shutil.copyfile(package, copy)
    actions = {row["Action"]: row for row in table(copy, "CustomAction")}
    sequence = table(copy, "InstallExecuteSequence")
    taken = {int(row["Sequence"]) for row in sequence if row["Sequence"]}
    deferred = [row for row in sequence if row["Action"] in actions and
                int(actions[row["Action"]]["Type"]) & DEFERRED and
                not int(actions[row["Action"]]["Type"]) & ROLLBACK]
    rows = []
    for removing in (False, True):
        last = max((row for row in deferred if ("REMOVE" in row["Condition"] and
                                                "NOT REMOVE" not in row["Condition"]) == removing),
                   key=lambda row: int(row["Sequence"]))
        at = int(last["Sequence"]) + 1
        if at in taken:  # room is made by moving the action and its rollback action down
            for row in sequence:
                if row["Sequence"] and at - 3 <= int(row["Sequence"]) < at:
                    row["Sequence"] = str(int(row["Sequence"]) - 1)
            at -= 1
        name = "QelDatFailsRemoving" if removing else "QelDatFailsInstalling"
        rows.append((name, 'QELDAT_FAIL AND %sREMOVE~="ALL"' % ("" if removing else "NOT "), at))
    with tempfile.TemporaryDirectory() as tables:
        custom = imported(exported(copy, "CustomAction"), list(actions.values()) + [
            {"Action": name, "Type": 34 | DEFERRED, "Source": "INSTALLDIR", "Target": FAILS}
            for name, _, _ in rows])
        order = imported(exported(copy, "InstallExecuteSequence"), sequence + [
            {"Action": name, "Condition": condition, "Sequence": at}
            for name, condition, at in rows])
        for name, text in (("CustomAction", custom), ("InstallExecuteSequence", order)):
            with open(os.path.join(tables, name + ".idt"), "wb") as out:
                out.write(text.encode("utf-8"))
        subprocess.run(["msibuild", copy, "-i", os.path.join(tables, "CustomAction.idt"), "-i",
                        os.path.join(tables, "InstallExecuteSequence.idt")], check=True,
                       capture_output=True)
    return copy


def rolled_back(package, properties, removing):
    """The command lines (program's file name, arguments) of the rollback custom actions that
    Windows Installer runs when the copy fails, newest first."""
    actions = {row["Action"]: row for row in table(package, "CustomAction")}
    files = {row["File"]: row["FileName"].split("|")[-1] for row in table(package, "File")}
    product = {row["Property"]: row["Value"] for row in table(package, "Property")}["ProductName"]
    failing = "QelDatFailsRemoving" if removing else "QelDatFailsInstalling"
    sequence = sorted((int(row["Sequence"]), row["Action"], row["Condition"])
                      for row in table(package, "InstallExecuteSequence") if row["Sequence"])
    fails_at = [number for number, action, _ in sequence if action == failing][0]
    found = []
    for number, action, condition in sequence:
        kind = int(actions[action]["Type"]) if action in actions else 0
        if (INSTALL_INITIALIZE < number < fails_at and kind & ROLLBACK and kind & DEFERRED and
                holds(condition, properties)):
            found.append((files[actions[action]["Source"]],
                          actions[action]["Target"].replace("[ProductName]", product)))
    return list(reversed(found))


def program(package, name, work):
    """The package's own copy of a program it installs, as a rollback action runs it: Windows
    runs rollback actions before it deletes the files it installed, and Wine's msi deletes them
    as soon as an install fails."""
    folder = os.path.join(work, "files-" + os.path.basename(package))
    if not os.path.isdir(folder):
        subprocess.run(["msiextract", "-C", folder, package], check=True, capture_output=True)
    found = [os.path.join(top, name) for top, _, names in os.walk(folder) if name in names]
    return found[0]


def removes_older_for_good(package):
    """Whether an upgrade removes the older version outside the transaction that a failure rolls
    back: RemoveExistingProducts before InstallInitialize."""
    for row in table(package, "InstallExecuteSequence"):
        if row["Action"] == "RemoveExistingProducts":
            return int(row["Sequence"]) < INSTALL_INITIALIZE
    return False
