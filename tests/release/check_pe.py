#!/usr/bin/env python3
"""Checks a shipped program's PE headers, imports and resources.

usage: check_pe.py <program> <PE32|PE32+> <version>
Fails unless the program is a GUI program of the given kind, imports from no DLL but KERNEL32,
ADVAPI32, USER32 and msvcrt, is under 300 KiB, has no time stamp, and carries an asInvoker
manifest and a version resource of the given version.
"""

import os
import struct
import sys

ALLOWED_DLLS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll"}
RT_VERSION, RT_MANIFEST = 16, 24


class PE:
    def __init__(self, data):
        self.data = data
        lfanew = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[lfanew:lfanew + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        coff = lfanew + 4
        self.machine, sections, self.timestamp = struct.unpack_from("<HHI", data, coff)
        optional_size = struct.unpack_from("<H", data, coff + 16)[0]
        opt = coff + 20
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        dirs = opt + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            _, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), raw))

    def offset(self, rva):
        for vaddr, size, raw in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raw
        raise ValueError("RVA %#x outside every section" % rva)

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        rva, _ = self.directories[1]
        names, pos = [], self.offset(rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, pos)
            if not any(fields):
                return names
            names.append(self.cstring(fields[3]))
            pos += 20

    def resources(self):
        """{type id: [data bytes, ...]} from the resource tree (type / name / language)."""
        base = self.directories[2][0]
        found = {}
        if base == 0:
            return found

        def entries(directory_rva):
            pos = self.offset(directory_rva)
            named, ids = struct.unpack_from("<HH", self.data, pos + 12)
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, pos + 16 + 8 * i)
                yield ident, target

        def leaves(target):
            if target & 0x80000000:
                for _, sub in entries(base + (target & 0x7FFFFFFF)):
                    yield from leaves(sub)
            else:
                rva, size = struct.unpack_from("<II", self.data, self.offset(base + target))
                yield self.data[self.offset(rva):self.offset(rva) + size]

        for ident, target in entries(base):
            found[ident] = list(leaves(target))
        return found


def check(path, kind, version):
    problems = []
    data = open(path, "rb").read()
    pe = PE(data)
    want_magic, want_machine = {"PE32": (0x10B, 0x14C), "PE32+": (0x20B, 0x8664)}[kind]
    if (pe.magic, pe.machine) != (want_magic, want_machine):
        problems.append("magic %#x machine %#x, expected %s" % (pe.magic, pe.machine, kind))
    if pe.subsystem != 2:
        problems.append("subsystem %d, expected 2 (Windows GUI)" % pe.subsystem)
    if pe.timestamp != 0:
        problems.append("time stamp %#x in the header" % pe.timestamp)
    extra = [dll for dll in pe.imports() if dll.lower() not in ALLOWED_DLLS]
    if extra:
        problems.append("imports from %s" % ", ".join(extra))
    if len(data) >= 300 * 1024:
        problems.append("%d bytes, limit 300 KiB" % len(data))
    resources = pe.resources()
    manifests = resources.get(RT_MANIFEST, [])
    if len(manifests) != 1 or b'level="asInvoker"' not in manifests[0] \
            or b'uiAccess="false"' not in manifests[0]:
        problems.append("no manifest with asInvoker and uiAccess false")
    versions = resources.get(RT_VERSION, [])
    name = os.path.basename(path)
    wanted = [("FileVersion", version), ("ProductVersion", version), ("OriginalFilename", name),
              ("InternalName", "dicreg")]
    for key, value in wanted:
        pair = (key + "\0").encode("utf-16-le")
        block = versions[0] if versions else b""
        at = block.find(pair)
        if at < 0:
            problems.append("version resource lacks %s" % key)
            continue
        at += len(pair)
        at += -at % 4  # values start on a 32-bit boundary of the block
        text = block[at:].decode("utf-16-le", "ignore").split("\0")[0]
        if text != value:
            problems.append("%s is %r, expected %r" % (key, text, value))
    if b"FileDescription" not in (versions[0] if versions else b"").replace(b"\0", b""):
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
