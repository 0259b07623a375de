#!/usr/bin/env python3
"""Signs Windows programs and MSI packages in place with osslsigncode (Authenticode, SHA-256),
with the key that the environment names:

  a PKCS#12 file:   DICREG_SIGN_PKCS12, DICREG_SIGN_PASSWORD_FILE (an empty file for none)
  a PKCS#11 token:  DICREG_SIGN_PKCS11_MODULE, DICREG_SIGN_PKCS11_KEY (a pkcs11: URI),
                    DICREG_SIGN_CERT (the certificate chain), DICREG_SIGN_PIN_FILE
  either:           DICREG_SIGN_TIMESTAMP, an RFC 3161 time-stamp server (optional)

usage: sign.py [--name NAME] --check <a program>
                                      check the settings by signing a scratch copy of the
                                      program; prints "pkcs12", "pkcs11" or "none"
       sign.py [--name NAME] <file>...

The password and the PIN are read from their files by osslsigncode itself: they appear on no
command line and in no output. A fault in the settings ends with a message naming the variable.
"""

import os
import shutil
import subprocess
import sys
import tempfile

PKCS12 = ("DICREG_SIGN_PKCS12", "DICREG_SIGN_PASSWORD_FILE")
PKCS11 = ("DICREG_SIGN_PKCS11_MODULE", "DICREG_SIGN_PKCS11_KEY", "DICREG_SIGN_CERT",
          "DICREG_SIGN_PIN_FILE")


class SettingsError(Exception):
    pass


def kind():
    """Which kind of key the environment gives: "pkcs12", "pkcs11" or "none"."""
    given = {name for name in PKCS12 + PKCS11 if os.environ.get(name)}
    if not given:
        return "none"
    if given & set(PKCS12) and given & set(PKCS11):
        raise SettingsError("%s and %s: give the variables of one kind of key only" % (
            sorted(given & set(PKCS12))[0], sorted(given & set(PKCS11))[0]))
    wanted = PKCS12 if given & set(PKCS12) else PKCS11
    for name in wanted:
        if name not in given:
            raise SettingsError("%s is not set (with %s)" % (name, ", ".join(sorted(given))))
    for name in wanted:
        if name == "DICREG_SIGN_PKCS11_KEY":
            continue
        path = os.environ[name]
        if not os.path.isfile(path) or not os.access(path, os.R_OK):
            raise SettingsError("%s: cannot read %s" % (name, path))
    return "pkcs12" if wanted == PKCS12 else "pkcs11"


def key_arguments(which):
    env = os.environ
    if which == "pkcs12":
        return ["-pkcs12", env["DICREG_SIGN_PKCS12"], "-readpass", env["DICREG_SIGN_PASSWORD_FILE"]]
    return ["-pkcs11module", env["DICREG_SIGN_PKCS11_MODULE"], "-certs", env["DICREG_SIGN_CERT"],
            "-key", env["DICREG_SIGN_PKCS11_KEY"], "-readpass", env["DICREG_SIGN_PIN_FILE"]]


def run(argv, what):
    done = subprocess.run(argv, capture_output=True, text=True)
    if done.returncode != 0:
        raise SettingsError("%s\n%s" % (what, (done.stdout + done.stderr).strip()))


def check_key(which):
    """Faults that osslsigncode would report less clearly: a wrong password, a certificate
    that does not parse."""
    env = os.environ
    if which == "pkcs12":
        run(["openssl", "pkcs12", "-in", env["DICREG_SIGN_PKCS12"], "-noout", "-passin",
             "file:" + env["DICREG_SIGN_PASSWORD_FILE"]],
            "DICREG_SIGN_PASSWORD_FILE: its password does not open DICREG_SIGN_PKCS12 (%s), or "
            "that is no PKCS#12 file" % env["DICREG_SIGN_PKCS12"])
    else:
        run(["openssl", "x509", "-in", env["DICREG_SIGN_CERT"], "-noout"],
            "DICREG_SIGN_CERT: %s holds no PEM certificate" % env["DICREG_SIGN_CERT"])
        if not os.path.isfile(env["DICREG_SIGN_PKCS11_MODULE"]):
            raise SettingsError("DICREG_SIGN_PKCS11_MODULE: no module at %s" %
                                env["DICREG_SIGN_PKCS11_MODULE"])


def sign(paths, name, which, timestamp=True, report=True):
    argv = ["osslsigncode", "sign"] + key_arguments(which) + ["-h", "sha256", "-n", name]
    blame = ("DICREG_SIGN_PASSWORD_FILE and DICREG_SIGN_PKCS12" if which == "pkcs12" else
             "DICREG_SIGN_PIN_FILE, DICREG_SIGN_PKCS11_KEY and DICREG_SIGN_PKCS11_MODULE")
    if timestamp and os.environ.get("DICREG_SIGN_TIMESTAMP"):
        argv += ["-ts", os.environ["DICREG_SIGN_TIMESTAMP"]]
        blame += ", or DICREG_SIGN_TIMESTAMP"
    for path in paths:
        with tempfile.TemporaryDirectory() as work:
            signed = os.path.join(work, "signed")
            run(argv + ["-in", path, "-out", signed], "signing %s failed: check %s" % (path, blame))
            shutil.copyfile(signed, path)
        if report:
            print("signed %s" % path)


def main():
    args = sys.argv[1:]
    name = "dicreg"
    if args[:1] == ["--name"]:
        name, args = args[1], args[2:]
    try:
        which = kind()
        if args[:1] == ["--check"]:
            if which != "none":
                check_key(which)
                with tempfile.TemporaryDirectory() as work:
                    scratch = os.path.join(work, os.path.basename(args[1]))
                    shutil.copyfile(args[1], scratch)
                    sign([scratch], "check", which, timestamp=False, report=False)
            print(which)
            return 0
        if which == "none":
            raise SettingsError("no signing key is set (DICREG_SIGN_PKCS12 or "
                                "DICREG_SIGN_PKCS11_MODULE)")
        sign(args, name, which)
        return 0
    except SettingsError as error:
        print("sign.py: %s" % error, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
