"""A sign-in as Explorer makes it, by the rules Windows documents for the user's Run and RunOnce
keys, which Wine's wineboot does not keep: every engine's tests sign in through here.

- Each RunOnce value is deleted, then run and waited for, one after another.
- Then each Run value is started, unless Task Manager switched it off (its mark in
  Explorer\\StartupApproved\\Run has an odd first byte), and the sign-in waits for them all.
- A value whose command line is longer than 260 characters fails the sign-in: Windows runs no
  longer one, and says nothing of what it does with it.
- A program started from either key that writes either key while the sign-in's programs run fails
  the sign-in: whatever the keys hold once every program has ended must be what they held when the
  RunOnce values had been deleted.

A restart comes first (`wineboot -r` carries out the file renames Windows was asked for); the
values are those of the registry the step before left.
"""

from winesession import hexw

RUN = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUNONCE = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
APPROVED = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run"
LONGEST = 260  # characters in a Run or RunOnce value's command line
KEYS = (RUN, RUNONCE, APPROVED)  # what a sign-in needs dumped from the step before


def values(registry, key):
    """{name: command} of the key's text values."""
    found = registry.keys.get(registry.find_key(key), {})
    return {name: value.data.decode("utf-16-le", "replace").split("\0")[0]
            for name, value in found.items() if value.type in (1, 2)}


def switched_off(registry, name):
    value = registry.get(APPROVED, name)
    return value is not None and value.type == 3 and value.data[:1] and value.data[0] & 1


class SignIn:
    """The driver's lines of one sign-in over the registry before, the exit statuses it yields,
    and what is wrong with it before it runs."""

    def __init__(self, before):
        self.once = values(before, RUNONCE)
        self.run = values(before, RUN)
        self.problems = ["%s value %r is %d characters long, more than Windows runs (%d): %r" % (
            key.rsplit("\\", 1)[-1], name, len(command), LONGEST, command)
            for key, found in ((RUNONCE, self.once), (RUN, self.run))
            for name, command in found.items() if len(command) > LONGEST]
        self.started = {name: command for name, command in self.run.items()
                        if not switched_off(before, name) and len(command) <= LONGEST}
        self.lines = ["run\t%s\t%s" % (hexw(""), hexw("wineboot -r"))]
        for name, command in self.once.items():
            self.lines.append("delete\t%s\t%s" % (hexw(RUNONCE), hexw(name)))
            if len(command) <= LONGEST:
                self.lines.append("run\t%s\t%s" % (hexw(""), hexw(command)))
        self.lines += ["start\t%s\t%s" % (hexw(""), hexw(command))
                       for command in self.started.values()]
        self.lines.append("wait")
        # wineboot's, then every RunOnce value's and every Run value's, any status.
        self.exits = [0] + [None] * (sum(len(c) <= LONGEST for c in self.once.values()) +
                                     len(self.started))

    def untouched(self, after):
        """Checks that no program of the sign-in wrote the Run or RunOnce key."""
        written = ["%s: %s" % (key.rsplit("\\", 1)[-1], name)
                   for key, wanted in ((RUN, self.run), (RUNONCE, {}))
                   for name in set(wanted) | set(values(after, key))
                   if wanted.get(name) != values(after, key).get(name)]
        if written:
            return "a program started at the sign-in wrote the Run or RunOnce key: %s" % written
        return None
