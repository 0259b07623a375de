#!/usr/bin/env python3
"""The installers workflow signing everything it builds, with a throwaway certificate and no
network: from a PKCS#12 file with a time stamp from an RFC 3161 responder on 127.0.0.1, and
from the same key held by SoftHSM2 through PKCS#11. Every signed file must verify, the setup's
uninstaller and program as a silent install writes them too, and the signed packages install and
uninstall under Wine with the registry equal to the model. Faulty settings, and names that no
package could carry, must fail the workflow, naming the variable, with no package left in dist/;
the password and the PIN must appear nowhere in the build tree or the output. Last, the workflow
without a key builds unsigned packages again.
"""

import argparse
import glob
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading

from atoklayout import OTHER_DIC
from e2e import Suite, in_use, report
from engines import engines
from packages import Packages
from winesession import WineSession

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
PASSWORD = "pw-7f3a9c-throwaway"
PIN = "pin-52817-throwaway"
SOFTHSM = "/usr/lib/softhsm/libsofthsm2.so"
KEY_URI = "pkcs11:token=dicreg;object=signer;type=private"
DIST_PACKAGES = ("QelDat2012-setup.exe", "QelDat2012.msi")
# Built where 32-bit programs run: Inno Setup's compiler is one.
INNO_PACKAGE = "QelDat2012-inno-setup.exe"


def is_signed(path):
    return subprocess.run(["osslsigncode", "verify", "-in", path],
                          capture_output=True).returncode == 0


def openssl(work, *args):
    subprocess.run(["openssl"] + list(args), cwd=work, check=True, capture_output=True)


def make_keys(work):
    """A code-signing certificate (PKCS#12 and SoftHSM2), and a time-stamping authority."""
    write = lambda name, text: open(os.path.join(work, name), "w").write(text)
    openssl(work, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
            "/CN=dicreg throwaway signer", "-addext", "extendedKeyUsage=codeSigning",
            "-keyout", "key.pem", "-out", "cert.pem")
    write("password.txt", PASSWORD)
    write("pin.txt", PIN)
    write("wrong.txt", "not the password")
    write("garbage.pem", "not a certificate\n")
    openssl(work, "pkcs12", "-export", "-inkey", "key.pem", "-in", "cert.pem", "-out",
            "signer.pfx", "-passout", "file:password.txt")
    openssl(work, "pkcs8", "-topk8", "-nocrypt", "-in", "key.pem", "-out", "key8.pem")
    os.makedirs(os.path.join(work, "tokens"))
    write("softhsm2.conf", "directories.tokendir = %s\nobjectstore.backend = file\n" %
          os.path.join(work, "tokens"))
    env = dict(os.environ, SOFTHSM2_CONF=os.path.join(work, "softhsm2.conf"))
    for argv in (["--init-token", "--free", "--label", "dicreg", "--pin", PIN, "--so-pin",
                  "so-" + PIN],
                 ["--import", "key8.pem", "--token", "dicreg", "--label", "signer", "--id", "01",
                  "--pin", PIN]):
        subprocess.run(["softhsm2-util"] + argv, cwd=work, env=env, check=True,
                       capture_output=True)
    openssl(work, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
            "/CN=throwaway TSA CA", "-keyout", "tsaca.key", "-out", "tsaca.pem")
    openssl(work, "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=throwaway TSA",
            "-keyout", "tsa.key", "-out", "tsa.csr")
    write("tsa.ext", "extendedKeyUsage=critical,timeStamping\n")
    openssl(work, "x509", "-req", "-in", "tsa.csr", "-CA", "tsaca.pem", "-CAkey", "tsaca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "tsa.ext", "-out", "tsa.pem")
    write("tsaserial", "01\n")
    write("tsa.cnf", "[tsa]\ndefault_tsa = here\n[here]\nserial = tsaserial\n"
          "signer_cert = tsa.pem\nsigner_key = tsa.key\ncerts = tsa.pem\nsigner_digest = sha256\n"
          "default_policy = 1.2.3.4.1\ndigests = sha256, sha1\ness_cert_id_alg = sha256\n")
    return env["SOFTHSM2_CONF"]


def start_timestamp_server(work):
    """An RFC 3161 responder on 127.0.0.1: openssl ts -reply behind a few lines of HTTP."""
    class Responder(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            with tempfile.TemporaryDirectory() as scratch:
                open(os.path.join(scratch, "query"), "wb").write(query)
                subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile",
                                os.path.join(scratch, "query"), "-out",
                                os.path.join(scratch, "reply")], cwd=work, check=True,
                               capture_output=True)
                reply = open(os.path.join(scratch, "reply"), "rb").read()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass
    server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class Signing:
    def __init__(self, session, work, packages, softhsm_conf, timestamp_url):
        self.session, self.work, self.packages = session, work, packages
        self.suite = Suite(session, "signing")
        self.base = dict(os.environ, SOFTHSM2_CONF=softhsm_conf)
        for name in [n for n in self.base if n.startswith("DICREG_SIGN_")]:
            del self.base[name]
        # The files as a publisher names them: relative to the folder the workflow starts in.
        key = lambda name: os.path.relpath(os.path.join(work, name), ROOT)
        self.pkcs12 = {"DICREG_SIGN_PKCS12": key("signer.pfx"),
                       "DICREG_SIGN_PASSWORD_FILE": key("password.txt"),
                       "DICREG_SIGN_TIMESTAMP": timestamp_url}
        self.pkcs11 = {"DICREG_SIGN_PKCS11_MODULE": SOFTHSM, "DICREG_SIGN_PKCS11_KEY": KEY_URI,
                       "DICREG_SIGN_CERT": key("cert.pem"), "DICREG_SIGN_PIN_FILE": key("pin.txt")}
        self.output = ""
        self.dist_packages = DIST_PACKAGES + ((INNO_PACKAGE,) if any(
            engine.name.startswith("inno") for engine in engines(packages)) else ())

    def workflow(self, settings):
        done = subprocess.run(["cmake", "--workflow", "--preset", "installers"], cwd=ROOT,
                              env=dict(self.base, **settings), capture_output=True, text=True)
        self.output += done.stdout + done.stderr
        return done

    def verify(self, path, timestamped):
        argv = ["osslsigncode", "verify", "-CAfile", os.path.join(self.work, "cert.pem"),
                "-in", path]
        if timestamped:
            argv += ["-TSA-CAfile", os.path.join(self.work, "tsaca.pem")]
        done = subprocess.run(argv, capture_output=True, text=True)
        said = done.stdout + done.stderr
        if done.returncode != 0:
            return "%s does not verify: %s" % (path, said.strip().splitlines()[-1:])
        if timestamped and "Timestamp Server Signature verification: ok" not in said:
            return "%s has no verified time stamp" % path
        return None

    def built(self):
        """Every file the workflow signs."""
        found = [os.path.join(ROOT, "dist", name) for name in self.dist_packages]
        for pattern in ("build/installers/signed/*.exe", "build/installers/x*/*.exe",
                        "build/installers/x*/*.msi"):
            found += sorted(glob.glob(os.path.join(ROOT, pattern)))
        return found

    def signed_workflow(self, label, settings, timestamped):
        done = self.workflow(settings)
        if done.returncode != 0:
            self.suite.record(label, ["the workflow failed:"] + done.stderr.splitlines()[-8:])
            return False
        built = self.built()
        problems = [p for p in (self.verify(f, timestamped) for f in built) if p]
        for program in ("dicreg.exe", "dicreport.exe"):
            if is_signed(os.path.join(ROOT, "dist", program)):
                problems.append("dist/%s is signed: it must stay the unsigned release build" %
                                program)
        self.suite.record("%s: %d files verify" % (label, len(built)), problems)
        return not problems

    def installed_files_verify(self, packages, engine):
        def check(registry):
            folder = packages.linux(packages.default)
            problems = [self.verify(os.path.join(folder, name), True)
                        for name in engine.files if name.endswith(".exe")]
            return "; ".join(p for p in problems if p) or None
        return check

    def installs(self):
        """The signed packages installed and removed under Wine; the programs that they write
        (dicreg, dicreport and the uninstallers) verify."""
        packages = Packages(self.session, self.packages)
        packages.suite = self.suite
        typical = in_use(("Atkms", 1), ("User0", 1), slots={2: OTHER_DIC})
        for engine in packages.engines:
            packages.install_and_remove(engine, "signed", typical,
                                        checks=[self.installed_files_verify(packages, engine)])

    def refused(self, label, settings, variable, what=""):
        done = self.workflow(settings)
        left = [name for name in self.dist_packages
                if os.path.exists(os.path.join(ROOT, "dist", name))]
        problems = []
        if done.returncode == 0:
            problems.append("the workflow succeeded")
        said = done.stdout + done.stderr
        if variable not in said or what not in said:
            problems.append("no message names %s %s: %s" % (variable, what,
                                                            done.stderr.strip()[-300:]))
        if left:
            problems.append("dist/ still holds %s" % left)
        self.suite.record("%s: refused, naming %s" % (label, variable), problems)

    def secrets_kept(self):
        leaks = []
        for folder, _, files in os.walk(os.path.join(ROOT, "build", "installers")):
            for name in files:
                path = os.path.join(folder, name)
                # The compiler's Wine prefix links to devices.
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                data = open(path, "rb").read()
                leaks += [path for secret in (PASSWORD, PIN)
                          if secret.encode() in data]
        leaks += ["the workflow's output" for secret in (PASSWORD, PIN) if secret in self.output]
        self.suite.record("the password and the PIN are in no file of the build and no output",
                          ["found in %s" % leak for leak in leaks])

    def run(self):
        if self.signed_workflow("PKCS#12 with a time stamp, files given relative", self.pkcs12,
                                True):
            self.installs()
        self.signed_workflow("PKCS#11 (SoftHSM2), files given relative", self.pkcs11, False)
        self.secrets_kept()
        key = lambda name: os.path.join(self.work, name)
        self.refused("wrong password", dict(self.pkcs12, DICREG_SIGN_PASSWORD_FILE=key(
            "wrong.txt")), "DICREG_SIGN_PASSWORD_FILE")
        self.refused("wrong PIN", dict(self.pkcs11, DICREG_SIGN_PIN_FILE=key("wrong.txt")),
                     "DICREG_SIGN_PIN_FILE")
        self.refused("unreadable certificate", dict(self.pkcs11, DICREG_SIGN_CERT=key(
            "garbage.pem")), "DICREG_SIGN_CERT")
        self.refused("missing module", dict(self.pkcs11, DICREG_SIGN_PKCS11_MODULE=key(
            "no-such-module.so")), "DICREG_SIGN_PKCS11_MODULE")
        # Names that a package cannot carry stop the workflow before any package is built.
        self.refused("a name with a character code page 932 lacks",
                     {"DICREG_PUBLISHER": "𠮷野家辞書"}, "DICREG_PUBLISHER", "U+20BB7")
        self.refused("a name of two lines", {"DICREG_PRODUCT_NAME": "QelDat2012\n辞書"},
                     "DICREG_PRODUCT_NAME", "U+000A")
        # Without a key: unsigned packages, as before.
        done = self.workflow({})
        signed = [name for name in self.dist_packages
                  if is_signed(os.path.join(ROOT, "dist", name))]
        self.suite.record("no key: unsigned packages", ["the workflow failed"] if done.returncode
                          else ["%s is signed" % name for name in signed])
        return self.suite


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--packages", required=True,
                        help="the folder of packages to install (build/installers/x86 or x64)")
    parser.add_argument("--work", required=True, help="folder for the keys and the Wine prefix")
    args = parser.parse_args()

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    keys = os.path.join(work, "keys")
    os.makedirs(keys)
    softhsm_conf = make_keys(keys)
    server = start_timestamp_server(keys)
    session = WineSession(os.path.join(work, "wine"), args.driver)
    try:
        url = "http://127.0.0.1:%d" % server.server_address[1]
        suites = [Signing(session, keys, os.path.abspath(args.packages), softhsm_conf, url)
                  .run()]
    finally:
        session.close()
        server.shutdown()
    return report("signing", suites)


if __name__ == "__main__":
    sys.exit(main())
