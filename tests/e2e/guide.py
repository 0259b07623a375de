"""The guides, docs/packaging.md and docs/support.md, as the tests read them: the commands they
run are the ones the guides give, as they write them."""

import os
import re

DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs")


def block(holding, page="packaging.md"):
    """The lines of the page's first code block that holds the text."""
    path = os.path.join(DOCS, page)
    text = open(path, encoding="utf-8").read()
    for found in re.findall(r"^```\n(.*?)^```$", text, re.M | re.S):
        if holding in found:
            return found.splitlines()
    raise LookupError("%s has no code block with %r" % (path, holding))
