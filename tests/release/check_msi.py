#!/usr/bin/env python3
"""Checks that Windows Installer packages install with the Windows Installer of Windows XP SP3.

usage: check_msi.py <package.msi>...
Fails when a package's summary information asks for a newer Windows Installer than 3.1: the
page count holds the least version as major * 100 + minor, and 3.1 refuses anything above 301.
"""

import sys

import olefile

OLDEST_INSTALLER = 301  # Windows Installer 3.1, as Windows XP SP3 has it


def main():
    failed = 0
    for path in sys.argv[1:]:
        with olefile.OleFileIO(path) as package:
            least = package.get_metadata().num_pages
        if least is None or least > OLDEST_INSTALLER:
            failed += 1
            print("%s: needs Windows Installer %s, more than %d" % (path, least, OLDEST_INSTALLER))
        else:
            print("%s: needs Windows Installer %d, at most %d" % (path, least, OLDEST_INSTALLER))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
