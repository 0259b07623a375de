"""The publisher's guide, docs/packaging.md, as the tests read it: the commands they run are the
ones it gives, as it writes them."""

import os
import re

GUIDE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                     "packaging.md")


def block(holding):
    """The lines of the guide's first code block that holds the text."""
    text = open(GUIDE, encoding="utf-8").read()
    for found in re.findall(r"^```\n(.*?)^```$", text, re.M | re.S):
        if holding in found:
            return found.splitlines()
    raise LookupError("%s has no code block with %r" % (GUIDE, holding))
