#!/usr/bin/env python3
"""Reads and checks a publisher's settings once, for every kind of package.

usage: settings.py <folder>

The settings are environment variables (the README lists them); each one not given takes the
example's value. A file setting given as a relative path is found from the folder the workflow
was started from (this script's working folder). A setting that no package could carry stops
the build with a message naming the variable and what is wrong with it, before any package is
built. What the packages are made from goes to the folder, each file rewritten only when it
changes (so that what depends on it is rebuilt exactly then):

  settings.json   every setting, checked, with what follows from them
  settings.cmake  what the build itself needs (paths, versions, GUIDs)
  identity.nsh    the identity, for makensis (UTF-8)
  identity.iss    the identity, for Inno Setup (UTF-8 with a byte-order mark)
  programs.rc     the names in the version resources of the programs a package carries, for the
                  resource compiler (UTF-8)
  license.txt     the licence, when one is given, as the setups read it: UTF-8 with a
                  byte-order mark, lines ended by CR LF
  sign.sh         the build's signing command: scripts/sign.py with the signing settings, their
                  files found as above (no password, no PIN: those stay in their files)
"""

import json
import os
import re
import sys
import unicodedata
import uuid

EXAMPLE = {
    "DICREG_DICTIONARY": "",
    "DICREG_PRODUCT_NAME": "QelDat2012",
    "DICREG_PUBLISHER": "QelDat2012 publisher",
    "DICREG_PACKAGE_VERSION": "1.0.0",
    "DICREG_UPGRADE_CODE": "E024A941-65E8-4CCD-891C-610B6802AF52",
    "DICREG_ICON": "",
    "DICREG_URL": "",
    "DICREG_LICENSE": "",
}
# Windows Installer stores an MSI's texts in one code page; Japanese names need 932.
MSI_CODEPAGE = "cp932"
SIGN_SETTINGS = ["DICREG_SIGN_PKCS12", "DICREG_SIGN_PASSWORD_FILE", "DICREG_SIGN_PKCS11_MODULE",
                 "DICREG_SIGN_PKCS11_KEY", "DICREG_SIGN_CERT", "DICREG_SIGN_PIN_FILE",
                 "DICREG_SIGN_TIMESTAMP"]
# The signing settings that name files: sign.py reads them where the build runs.
SIGN_FILES = ["DICREG_SIGN_PKCS12", "DICREG_SIGN_PASSWORD_FILE", "DICREG_SIGN_PKCS11_MODULE",
              "DICREG_SIGN_CERT", "DICREG_SIGN_PIN_FILE"]
SIGN_PY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "sign.py")


class SettingError(Exception):
    pass


def character(c):
    name = unicodedata.name(c, "")
    return "「%s」 (U+%04X%s)" % (c, ord(c), " " + name if name else "")


def check_name(variable, text):
    """A name shown by every package: one line, and every character one that code page 932
    holds (and gives back the same), since that is how the MSI stores it."""
    if not text.strip():
        raise SettingError("%s is blank" % variable)
    for c in text:
        if unicodedata.category(c) in ("Cc", "Cf", "Zl", "Zp"):
            raise SettingError("%s holds the control character U+%04X: give one line of "
                               "visible text" % (variable, ord(c)))
        try:
            back = c.encode(MSI_CODEPAGE).decode(MSI_CODEPAGE)
        except UnicodeError:
            back = None
        if back != c:
            raise SettingError(
                "%s holds %s, which code page 932 %s. Windows Installer stores the MSI's texts "
                "in that code page, so the MSI cannot show this name, and no package is built: "
                "all of them show the same name. Write it with a character that code page 932 "
                "has" % (variable, character(c), "gives back as " + character(back) if back
                         else "lacks"))
    return text


def check_folder_name(variable, text):
    """A name that also names the Start menu's folder: one that Windows takes for a folder."""
    bad = [c for c in text if c in '\\/:*?"<>|']
    if bad or text.rstrip() != text or text.endswith("."):
        raise SettingError("%s is \"%s\": it names the Start menu's folder, so it may not hold "
                           "\\ / : * ? \" < > | nor end with a blank or a dot" % (variable, text))
    return text


def check_version(variable, text):
    # Windows Installer compares three fields: major and minor up to 255, the third to 65535.
    match = re.fullmatch(r"([0-9]+)\.([0-9]+)\.([0-9]+)", text)
    if not match or int(match[1]) > 255 or int(match[2]) > 255 or int(match[3]) > 65534:
        raise SettingError('%s is "%s": give three numbers, as 1.2.3 (at most 255.255.65534)' %
                           (variable, text))
    return "%d.%d.%d" % tuple(int(n) for n in match.groups())


def check_guid(variable, text):
    if not re.fullmatch(r"\{?[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}?", text) or (
            text.startswith("{") != text.endswith("}")):
        raise SettingError('%s is "%s": give a GUID' % (variable, text))
    return text.strip("{}").upper()


def check_file(variable, text, start):
    if not text:
        return ""
    path = os.path.normpath(os.path.join(start, text))
    if not os.path.isfile(path):
        raise SettingError("%s: %s is not a file" % (variable, path))
    return path


def check_icon(variable, text, start):
    """An icon file: the header of an .ico and a directory of images that fit in it."""
    path = check_file(variable, text, start)
    if path:
        data = open(path, "rb").read()
        count = int.from_bytes(data[4:6], "little") if len(data) >= 6 else 0
        entries = [data[6 + 16 * i:22 + 16 * i] for i in range(count)]
        if data[:4] != b"\0\0\1\0" or not count or any(
                len(entry) < 16 or int.from_bytes(entry[8:12], "little") +
                int.from_bytes(entry[12:16], "little") > len(data) for entry in entries):
            raise SettingError("%s: %s is not an icon file (.ico)" % (variable, path))
    return path


def check_url(variable, text):
    if text and not re.fullmatch(r"https?://[!-~]+", text):
        raise SettingError('%s is "%s": give the web page\'s address, starting with http:// or '
                           "https://, in ASCII (a Japanese domain name in its xn-- form)" %
                           (variable, text))
    return text


def read_license(variable, text, start):
    """The licence's text, from a UTF-8 file."""
    path = check_file(variable, text, start)
    if not path:
        return ""
    data = open(path, "rb").read()
    try:
        license_text = data.decode("utf-8-sig")
    except UnicodeError as error:
        raise SettingError("%s: %s is not UTF-8 (byte %d): save it as UTF-8" % (
            variable, path, error.start))
    if not license_text.strip():
        raise SettingError("%s: %s is empty" % (variable, path))
    return license_text


def read(environment, start):
    """The settings, checked, and what follows from them."""
    given = {name: environment.get(name) or default for name, default in EXAMPLE.items()}
    settings = {
        "dictionary": check_file("DICREG_DICTIONARY", given["DICREG_DICTIONARY"], start),
        "product": check_folder_name("DICREG_PRODUCT_NAME",
                                     check_name("DICREG_PRODUCT_NAME",
                                                given["DICREG_PRODUCT_NAME"])),
        "publisher": check_name("DICREG_PUBLISHER", given["DICREG_PUBLISHER"]),
        "version": check_version("DICREG_PACKAGE_VERSION", given["DICREG_PACKAGE_VERSION"]),
        "upgrade_code": check_guid("DICREG_UPGRADE_CODE", given["DICREG_UPGRADE_CODE"]),
        "icon": check_icon("DICREG_ICON", given["DICREG_ICON"], start),
        "url": check_url("DICREG_URL", given["DICREG_URL"]),
        "license_text": read_license("DICREG_LICENSE", given["DICREG_LICENSE"], start),
    }
    settings["copyright"] = "Copyright © %s" % settings["publisher"]
    # What the programs a package carries say they are, in the file's properties and in Task
    # Manager's list of startup programs (dicreport is the startup entry's program).
    settings["descriptions"] = {
        "dicreg": {"en": "%s: registration in ATOK 2012" % settings["product"],
                   "ja": "%s の ATOK 2012 への登録" % settings["product"]},
        "dicreport": {"en": "%s: status report and registration at sign-in" % settings["product"],
                      "ja": "%s の登録状況レポートと自動登録" % settings["product"]}}
    head, build = settings["version"].rsplit(".", 1)
    settings["next_version"] = "%s.%d" % (head, int(build) + 1)
    # The component's GUID follows from the UpgradeCode, so it stays the same for every version.
    settings["component_guid"] = str(uuid.uuid5(uuid.UUID(settings["upgrade_code"]),
                                                "dicreg and the dictionary")).upper()
    for language in ("ja", "en"):
        settings["menu_%s_guid" % language] = str(uuid.uuid5(uuid.UUID(
            settings["upgrade_code"]), "Start menu entries, " + language)).upper()
    settings["signing"] = {name: os.path.join(start, environment[name]) if name in SIGN_FILES
                           else environment[name] for name in SIGN_SETTINGS
                           if environment.get(name)}
    return settings


def cmake_string(text):
    return '"%s"' % re.sub(r'([\\"$])', r"\\\1", text)


def wine_path(path):
    """A Linux path as Wine's Z: drive shows it, for the programs that run under Wine."""
    return "Z:" + path.replace("/", "\\")


def nsis_string(text):
    return '"%s"' % text.replace("$", "$$").replace('"', '$\\"')


def inno_string(text):
    return '"%s"' % text.replace('"', '""')


def shell_string(text):
    return "'%s'" % text.replace("'", "'\\''")


def rc_string(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '""')


def programs_rc(settings):
    """The names of the programs' version resources, as cmake/program.rc.in reads them."""
    names = {"COMPANY": settings["publisher"], "PRODUCT": settings["product"],
             "COPYRIGHT": settings["copyright"]}
    lines = ["#define DICREG_%s %s" % (name, rc_string(text)) for name, text in names.items()]
    for program, said in settings["descriptions"].items():
        lines += ["#define %s_DESCRIPTION_%s %s" % (program.upper(), language.upper(),
                                                    rc_string(text))
                  for language, text in said.items()]
    return "// The publisher's names, written by examples/settings.py.\n" + "".join(
        line + "\n" for line in lines)


def sign_script(settings):
    given = settings["signing"]
    words = ["exec", "env"] + ["-u %s" % name for name in SIGN_SETTINGS if name not in given]
    words += [shell_string("%s=%s" % item) for item in sorted(given.items())]
    words += [shell_string(sys.executable), shell_string(os.path.normpath(SIGN_PY)), "--name",
              shell_string(settings["product"]), '"$@"']
    return "#!/bin/sh\n# Signs the files it is given with the key that the settings name.\n%s\n" % (
        " ".join(words))


def identity(settings, folder, string, define, windows=lambda path: path, verbatim=None):
    """The lines that define an engine's identity: names, icon, web page and licence (and the
    names again as verbatim strings, where the engine reads some strings without expanding)."""
    lines = []
    for name in ("PRODUCT", "PUBLISHER", "COPYRIGHT"):
        lines.append(define % (name, string(settings[name.lower()])))
        if verbatim:
            lines.append(define % ("VERBATIM_" + name, verbatim(settings[name.lower()])))
    if settings["icon"]:
        lines.append(define % ("ICON", string(windows(settings["icon"]))))
    if settings["url"]:
        lines.append(define % ("URL", string(settings["url"])))
    if settings["license_text"]:
        lines.append(define % ("LICENSE", string(windows(os.path.join(folder, "license.txt")))))
    return "".join(line + "\n" for line in lines)


def outputs(settings, folder):
    cmake = {"DICREG_DICTIONARY_FILE": settings["dictionary"],
             "DICREG_ICON_FILE": settings["icon"],
             "DICREG_LICENSE_FILE": os.path.join(folder, "license.txt") if settings[
                 "license_text"] else "",
             "DICREG_PACKAGE_VERSION": settings["version"],
             "DICREG_NEXT_VERSION": settings["next_version"],
             "DICREG_UPGRADE_CODE": settings["upgrade_code"],
             "DICREG_COMPONENT_GUID": settings["component_guid"],
             "DICREG_MENU_JA_GUID": settings["menu_ja_guid"],
             "DICREG_MENU_EN_GUID": settings["menu_en_guid"]}
    files = {
        "settings.json": json.dumps(settings, ensure_ascii=False, indent=1, sort_keys=True) + "\n",
        "settings.cmake": "".join("set(%s %s)\n" % (name, cmake_string(value))
                                  for name, value in cmake.items()),
        # makensis expands $$ in the strings it shows, not in the version resource's.
        "identity.nsh": identity(settings, folder, nsis_string, "!define %s %s",
                                 verbatim=lambda text: '"%s"' % text.replace('"', '$\\"')),
        "identity.iss": "\ufeff" + identity(settings, folder, inno_string, "#define %s %s",
                                             wine_path) + '#define APPGUID "%s"\n' % (
                                                 settings["upgrade_code"]),
        "sign.sh": sign_script(settings),
        "programs.rc": programs_rc(settings),
    }
    if settings["license_text"]:
        text = "\r\n".join(settings["license_text"].splitlines()) + "\r\n"
        files["license.txt"] = "\ufeff" + text
    return files


def write_if_changed(path, text):
    data = text.encode("utf-8")
    if os.path.exists(path) and open(path, "rb").read() == data:
        return
    with open(path, "wb") as out:
        out.write(data)


def main():
    folder = sys.argv[1]
    try:
        settings = read(os.environ, os.getcwd())
    except SettingError as error:
        print("settings: %s" % error, file=sys.stderr)
        return 1
    os.makedirs(folder, exist_ok=True)
    for name, text in outputs(settings, os.path.abspath(folder)).items():
        write_if_changed(os.path.join(folder, name), text)
    os.chmod(os.path.join(folder, "sign.sh"), 0o755)
    return 0


if __name__ == "__main__":
    sys.exit(main())
