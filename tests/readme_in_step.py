#!/usr/bin/env python3
"""A page and its Japanese version (README.md and README.ja.md, docs/packaging.md and
docs/packaging.ja.md) stay in step: the same sections, the same table rows, and the same
commands in their code blocks (comments after '#' may differ)."""

import re
import sys


def outline(path):
    text = open(path, encoding="utf-8").read()
    blocks = [[re.sub(r"\s+#.*$", "", line) for line in block.splitlines()]
              for block in re.findall(r"^```\n(.*?)^```$", text, re.M | re.S)]
    sections = len(re.findall(r"^##+ ", text, re.M))
    rows = len(re.findall(r"^\|", text, re.M))
    return blocks, sections, rows


def main():
    english, japanese = sys.argv[1:3]
    (blocks, sections, rows), (ja_blocks, ja_sections, ja_rows) = outline(english), outline(japanese)
    problems = []
    if sections != ja_sections:
        problems.append("%d sections, %d in the Japanese" % (sections, ja_sections))
    if rows != ja_rows:
        problems.append("%d table rows, %d in the Japanese" % (rows, ja_rows))
    if blocks != ja_blocks:
        problems.append("the code blocks differ")
    for problem in problems:
        print("%s out of step: %s" % (japanese, problem))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
