"""A scratch Wine prefix in which the Windows programs run for real.

One prefix is created per test run and reused; a persistent wineserver keeps each case fast.
Cases go through e2edriver.exe, which seeds HKEY_CURRENT_USER, starts the program with an exact
command line through CreateProcessW and dumps the registry afterwards. Message boxes are seen
twice: as real windows under Xvfb (found by title and answered by xdotool), and as the exact
arguments of MessageBoxW in Wine's relay trace.
"""

import getpass
import os
import re
import shutil
import subprocess
import tempfile
import time

JUSTSYSTEM = "Software\\Justsystem"
# The Windows user's own folder in every prefix (Wine names the user after the Linux one).
PROFILE = "C:\\users\\" + getpass.getuser()
# The 64-bit loader, called directly: the "wine" wrapper always takes the 32-bit loader when it is
# installed, and that one cannot start on a kernel without 32-bit emulation. wine64 still hands a
# 32-bit program to the 32-bit loader where that works.
WINE = "/usr/lib/wine/wine64"
# A prefix of 32-bit Windows only (Windows XP was never 64-bit here) needs the 32-bit loader.
WINE32 = "/usr/lib/wine/wine"
# The Windows versions a prefix can be set to report, and what "ver" then says.
WINDOWS_VERSIONS = {"winxp": "5.1.", "vista": "6.0."}
BOX_TITLES = ("辞書登録エラー", "dicreg")


def hexw(text):
    return text.encode("utf-16-le", "surrogatepass").hex()


def unhexw(hex_text):
    return bytes.fromhex(hex_text).decode("utf-16-le", "surrogatepass")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Value:
    """A registry value as stored: its type code and raw data bytes."""

    def __init__(self, type_code, data):
        self.type = type_code
        self.data = bytes(data)

    def __eq__(self, other):
        return isinstance(other, Value) and (self.type, self.data) == (other.type, other.data)

    def __repr__(self):
        if self.type == 1 and len(self.data) % 2 == 0:
            return "REG_SZ(%r)" % self.data.decode("utf-16-le", "surrogatepass")
        return "type%d(%s)" % (self.type, self.data.hex())


def text_value(text, nul=True):
    return Value(1, (text + ("\0" if nul else "")).encode("utf-16-le", "surrogatepass"))


def dword_value(number):
    return Value(4, (number & 0xFFFFFFFF).to_bytes(4, "little"))


class Registry:
    """A registry tree: key paths (as created) with their values, names kept as written."""

    def __init__(self):
        self.keys = {}  # path -> {value name -> Value}
        self.read_only = set()  # keys whose DACL grants only reading, while the case runs

    def copy(self):
        other = Registry()
        other.keys = {path: dict(values) for path, values in self.keys.items()}
        other.read_only = set(self.read_only)
        return other

    def find_key(self, path):
        wanted = path.upper()
        for existing in self.keys:
            if existing.upper() == wanted:
                return existing
        return None

    def add_key(self, path):
        parts = path.split("\\")
        for i in range(1, len(parts) + 1):
            sub = "\\".join(parts[:i])
            if self.find_key(sub) is None:
                self.keys[sub] = {}
        return self.find_key(path)

    def set(self, path, name, value):
        key = self.add_key(path)
        values = self.keys[key]
        for existing in list(values):
            if existing.upper() == name.upper():
                values[existing] = value
                return
        values[name] = value

    def get(self, path, name):
        key = self.find_key(path)
        if key is None:
            return None
        for existing, value in self.keys[key].items():
            if existing.upper() == name.upper():
                return value
        return None

    def flat(self):
        """{(KEY PATH UPPER, value name): Value} plus the set of upper-cased key paths."""
        root = JUSTSYSTEM.upper()
        paths = [p for p in self.keys if p.upper() == root or p.upper().startswith(root + "\\")]
        values = {}
        for path in paths:
            for name, value in self.keys[path].items():
                values[(path.upper(), name)] = value
        return values, {path.upper() for path in paths}

    def seed_lines(self):
        """The driver's lines that make the Justsystem tree this one's (a tree dumped after a
        run also holds other keys, which stay as the run left them)."""
        lines = ["clear\t" + hexw(JUSTSYSTEM)]
        for path, entries in self.keys.items():
            if not (path.upper() + "\\").startswith(JUSTSYSTEM.upper() + "\\"):
                continue
            lines.append("key\t" + hexw(path))
            for name, value in entries.items():
                lines.append("value\t%s\t%s\t%d\t%s" % (hexw(path), hexw(name), value.type,
                                                       value.data.hex()))
        return lines + ["readonly\t" + hexw(path) for path in sorted(self.read_only)]


class Box:
    def __init__(self, owner, text, text_complete, caption, style):
        self.owner, self.text, self.text_complete = owner, text, text_complete
        self.caption, self.style = caption, style

    def __repr__(self):
        return "MessageBoxW(%s, %r%s, %r, %#x)" % (self.owner, self.text,
                                                  "" if self.text_complete else "...",
                                                  self.caption, self.style)


class Outcome:
    def __init__(self, exits, micros, registry, boxes, windows, trace):
        self.exits = exits  # exit status of each run
        self.micros = micros  # how long each run took, in microseconds
        self.registry = registry  # the Justsystem tree after the last run
        self.boxes = boxes  # MessageBoxW calls seen in the relay trace
        self.windows = windows  # titles of the box windows that appeared on the display
        self.trace = trace  # Wine's relay trace of the run


def parse_debugstr(s):
    """Decodes Wine's debugstr_w form (after L"), returns (text, rest, complete)."""
    out, i = [], 0
    while i < len(s):
        c = s[i]
        if c == '"':
            complete = not s[i + 1:].startswith("...")
            return "".join(out).encode("utf-16-le", "surrogatepass").decode(
                "utf-16-le", "surrogatepass"), s[i + 1:], complete
        if c == "\\":
            nxt = s[i + 1]
            if nxt in "nrt":
                out.append({"n": "\n", "r": "\r", "t": "\t"}[nxt])
                i += 2
            elif nxt in "\\\"":
                out.append(nxt)
                i += 2
            elif nxt == "x":
                out.append(chr(int(s[i + 2:i + 4], 16)))
                i += 4
            else:
                out.append(chr(int(s[i + 1:i + 5], 16)))
                i += 5
        else:
            out.append(c)
            i += 1
    raise ValueError("unterminated string in trace: " + s)


CALL = re.compile(r"Call user32\.MessageBoxW\(([0-9a-f]+),[0-9a-f]+ L\"(.*)$")


def parse_boxes(trace):
    boxes = []
    for line in trace.splitlines():
        m = CALL.search(line)
        if not m:
            continue
        text, rest, complete = parse_debugstr(m.group(2))
        m2 = re.match(r"(?:\.\.\.)?,[0-9a-f]+ L\"(.*)$", rest)
        caption, rest, _ = parse_debugstr(m2.group(1))
        style = int(re.match(r"(?:\.\.\.)?,([0-9a-f]+)\)", rest).group(1), 16)
        boxes.append(Box(int(m.group(1), 16), text, complete, caption, style))
    return boxes


class WineSession:
    def __init__(self, work_dir, driver, display=True, relay="user32.MessageBoxW", windows=None,
                 lang=None, desktop=False):
        """windows: the Windows version the prefix reports (winxp: a 32-bit prefix, for which
        the driver must be 32-bit), or None for Wine's default. lang: the user's locale (a
        locale of this machine, as ja_JP.UTF-8). desktop: programs run in a Wine desktop
        window, so that their windows have title bars as on Windows."""
        self.relay = relay
        self.work_dir = os.path.abspath(work_dir)
        self.driver = driver
        self.windows = windows
        os.makedirs(self.work_dir, exist_ok=True)
        self.prefix = os.path.join(self.work_dir, "prefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.desktop = desktop
        if lang:
            for name in [name for name in self.env if name.startswith("LC_")]:
                del self.env[name]
            self.env.update(LANG=lang, LC_ALL=lang)
        self.wine = WINE
        if windows == "winxp":
            self.wine = WINE32
            self.env["WINEARCH"] = "win32"
        self.env.pop("DISPLAY", None)
        self.xvfb = None
        self.screenshot = None
        self.case_no = 0
        self.logs_off = None  # whether the prefix's Windows says log on and log off
        if display:
            self._start_xvfb()
        self._prepare_prefix()

    def _start_xvfb(self):
        if not shutil.which("Xvfb"):
            raise RuntimeError("Xvfb is missing (package xvfb)")
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_fd)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def _prepare_prefix(self):
        # Wine's desktop process starts with the first program and keeps the display it saw, so
        # every Wine process of the session gets the same environment.
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        if not os.path.isdir(self.prefix):
            self._create_prefix()
        if self.windows:
            self._check_version()
        subprocess.run(["wineserver", "-p"], env=self.env)  # already running is fine
        # Trace only the calls asked for (MessageBoxW by default), and give the dialog fonts a
        # face with Japanese glyphs.
        settings = [
            ("Software\\Wine\\Debug", "RelayInclude", self.relay),
            ("Software\\Wine\\Fonts\\Replacements", "MS Shell Dlg", "IPAGothic"),
            ("Software\\Wine\\Fonts\\Replacements", "MS Shell Dlg 2", "IPAGothic"),
            ("Software\\Wine\\Fonts\\Replacements", "Tahoma", "IPAGothic"),
        ]
        if self.desktop:
            settings += [("Software\\Wine\\Explorer", "Desktop", "Default"),
                         ("Software\\Wine\\Explorer\\Desktops", "Default", "1024x768")]
        case_file = os.path.join(self.work_dir, "settings.txt")
        with open(case_file, "w", encoding="utf-8") as f:
            for key, name, data in settings:
                f.write("value\t%s\t%s\t1\t%s\n" % (hexw(key), hexw(name),
                                                     text_value(data).data.hex()))
        subprocess.run([self.wine, self.driver, windows_path(case_file),
                        windows_path(os.path.join(self.work_dir, "settings.out"))], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        if self.desktop:
            # The desktop process already running was started without a desktop window.
            self.new_session()

    def new_session(self):
        """Ends every Wine process of the prefix and starts its server again, persistent as
        before: what a restart is to Windows, and a new sign-in."""
        for flag in ("-k", "-w", "-p"):
            subprocess.run(["wineserver", flag], env=self.env)

    def _create_prefix(self):
        """Makes the prefix, set to the Windows asked for. Wine now and then fails to make one
        ("could not load kernel32.dll"): that prefix goes, and Wine starts again from nothing."""
        log = os.path.join(self.work_dir, "wine.log")
        for _ in range(3):
            with open(log, "ab") as out:
                steps = [["wineboot", "-i"]] + ([["winecfg", "/v", self.windows]]
                                                if self.windows else [])
                made = all(subprocess.run([self.wine] + step, env=self.env, stdout=out,
                                          stderr=out).returncode == 0 for step in steps)
            # Let the start-up services of a new prefix settle (or a failed one end).
            subprocess.run(["wineserver", "-w"], env=self.env)
            if made:
                return
            shutil.rmtree(self.prefix, ignore_errors=True)
        raise RuntimeError("Wine did not make the prefix %s in 3 attempts: see %s" % (
            self.prefix, log))

    def _check_version(self):
        """Fails unless the prefix reports the Windows it was set to."""
        said = os.path.join(self.work_dir, "ver.txt")
        errors = os.path.join(self.work_dir, "ver.err")
        # cmd in a new prefix has once printed nothing in CI, likely on a full disk: ask again
        # before calling the prefix wrong, and keep what cmd said on stderr for the message.
        for _ in range(3):
            with open(said, "wb") as out, open(errors, "wb") as err:
                done = subprocess.run([self.wine, "cmd", "/c", "ver"], env=self.env,
                                      stdout=out, stderr=err)
            text = open(said, "rb").read().decode("ascii", "replace").strip()
            if text:
                break
            time.sleep(2)
        if "Windows " + WINDOWS_VERSIONS[self.windows] not in text:
            complaint = open(errors, "rb").read().decode("utf-8", "replace")[-600:]
            raise RuntimeError("the prefix was set to %s but says %r (exit %d, %r)" %
                               (self.windows, text, done.returncode, complaint))
        print("Wine prefix set to %s: %s" % (self.windows, text))

    # Before Windows 8, Windows speaks of logging on and off: the packages and the report say it
    # so, in these words in place of the later ones.
    LOG_ON_WORDS = [("sign out of Windows", "log off Windows"), ("sign out", "log off"),
                    ("signed in", "logged on"), ("sign-in", "logon"), ("sign in", "log on"),
                    ("サインイン", "ログオン"), ("サインアウト", "ログオフ")]

    def in_windows_words(self, text):
        """The text as the packages write it on the prefix's Windows."""
        if self.logs_off is None:
            said = os.path.join(self.work_dir, "ver.txt")
            with open(said, "wb") as out:
                subprocess.run([self.wine, "cmd", "/c", "ver"], env=self.env, stdout=out,
                               stderr=subprocess.DEVNULL)
            version = re.search(r"(\d+)\.(\d+)\.\d+", open(said, "rb").read().decode(
                "ascii", "replace"))
            self.logs_off = not version or (int(version[1]), int(version[2])) < (6, 2)
        for later, earlier in self.LOG_ON_WORDS if self.logs_off else []:
            text = text.replace(later, earlier)
        return text

    def linux(self, path):
        """Where a path on drive C (C:\\...) is on Linux, inside the prefix."""
        return os.path.join(self.prefix, "drive_c", *path[3:].split("\\"))

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    def _what_is_shown(self):
        """The titles of the windows on the display, and a screenshot of it."""
        if "DISPLAY" not in self.env:
            return ""
        picture = os.path.join(self.work_dir, "timeout-%d.png" % self.case_no)
        subprocess.run(["import", "-window", "root", picture], env=self.env, capture_output=True)
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                               env=self.env, capture_output=True, text=True).stdout.split()
        titles = [subprocess.run(["xdotool", "getwindowname", window], env=self.env,
                                 capture_output=True, text=True).stdout.strip()
                  for window in found]
        return ", with windows %s on the display (see %s)" % (titles, picture)

    def _answer_boxes(self, proc, titles_seen, timeout):
        """Waits for the driver; presses OK on every box window that shows up meanwhile."""
        deadline = time.monotonic() + timeout
        first_seen = {}
        while proc.poll() is None:
            if time.monotonic() > deadline:
                proc.kill()
                raise RuntimeError("case timed out%s" % self._what_is_shown())
            if "DISPLAY" in self.env:
                for title in BOX_TITLES:
                    found = subprocess.run(["xdotool", "search", "--name", "^%s$" % title],
                                           env=self.env, capture_output=True, text=True)
                    for window in found.stdout.split():
                        if window not in [w for w, _ in titles_seen]:
                            titles_seen.append((window, title))
                            first_seen[window] = time.monotonic()
                            time.sleep(0.3)  # let it paint before the picture
                            if self.screenshot and title == BOX_TITLES[0]:
                                subprocess.run(["import", "-window", "root", self.screenshot],
                                               env=self.env, capture_output=True)
                                self.screenshot = None
                        subprocess.run(["xdotool", "key", "--window", window, "Return"],
                                       env=self.env, capture_output=True)
                        # Wine hands a key to the foreground window, which the box may not be
                        # (another program's window may hold it): a click on its OK button (the
                        # box's only one, centred at the bottom) reaches it wherever the
                        # foreground is.
                        if time.monotonic() - first_seen[window] > 1.5:
                            self._click_ok(window)
            time.sleep(0.1)

    def _click_ok(self, window):
        shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                               env=self.env, capture_output=True, text=True).stdout
        size = dict(line.split("=", 1) for line in shape.split() if "=" in line)
        if "WIDTH" in size and "HEIGHT" in size:
            subprocess.run(["xdotool", "mousemove", "--window", window,
                            str(int(size["WIDTH"]) // 2), str(int(size["HEIGHT"]) - 20),
                            "click", "1"], env=self.env, capture_output=True)

    def run(self, program, seed, command_lines, screenshot=None, timeout=60, trace=True,
            reseed=False, dump=True, children=False, also_dump=(), person=None, lang=None,
            forget=(), steps=()):
        """Seeds the registry (unless seed is None), deletes the keys in forget, runs the program
        once per command line (seeding again before each run with reseed), and dumps the tree
        (and the keys in also_dump). A program of None is the one each command line starts with.
        With trace, Wine's relay trace of the chosen calls is kept in the outcome.
        With children, each run also waits for the processes the program left running. The
        program is a Linux path, or a Windows one (C:\\...) as it is. A person, when given, is
        called as person(proc, windows, timeout, trace_file) to use the program's windows while
        it runs, instead of OK being pressed on each message box; it lists the boxes it saw in
        windows. A program that is a shortcut (.lnk, a Windows path) is started as the shell
        starts it, once for each command line, which is not used. lang: the user's locale for
        this run alone. steps: the driver's own lines (as signin.py writes them), after the
        command lines."""
        self.case_no += 1
        case_file = os.path.join(self.work_dir, "case.txt")
        result_file = os.path.join(self.work_dir, "result.txt")
        seeding = seed.seed_lines() if seed is not None else []
        lines = ([] if reseed else list(seeding)) + ["clear\t" + hexw(key) for key in forget]
        where = "" if program is None else program if re.match(r"^[A-Za-z]:\\", program) \
            else windows_path(program)
        for command_line in command_lines:
            if reseed:
                lines += seeding
            if where.lower().endswith(".lnk"):
                lines.append("shortcut\t" + hexw(program))
            else:
                lines.append("%s\t%s\t%s" % ("runall" if children else "run", hexw(where),
                                              hexw(command_line)))
        lines += list(steps)
        if dump:
            lines += ["dump\t" + hexw(path) for path in (JUSTSYSTEM,) + tuple(also_dump)]
        with open(case_file, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        if os.path.exists(result_file):
            os.remove(result_file)
        self.screenshot = screenshot
        env = dict(self.env, WINEDEBUG="-all,+relay" if trace else "-all")
        if lang:
            env.update(LANG=lang, LC_ALL=lang)
        with tempfile.TemporaryFile() as trace_file:
            proc = subprocess.Popen([self.wine, self.driver, windows_path(case_file),
                                     windows_path(result_file)], env=env,
                                    stdout=subprocess.DEVNULL, stderr=trace_file)
            windows = []
            if person:
                person(proc, windows, timeout, trace_file)
            else:
                self._answer_boxes(proc, windows, timeout)
            trace_file.seek(0)
            trace_text = trace_file.read().decode("utf-8", "replace")
            boxes = parse_boxes(trace_text)
        if proc.returncode != 0:
            raise RuntimeError("e2edriver failed with status %d: %s" % (
                proc.returncode, "\n".join(trace_text.splitlines()[-20:])))
        exits, micros, registry = [], [], Registry()
        with open(result_file, encoding="utf-8") as f:
            for line in f.read().splitlines():
                fields = line.split("\t")
                if fields[0] == "exit":
                    exits.append(int(fields[1]))
                    micros.append(int(fields[2]))
                elif fields[0] == "K":
                    registry.keys.setdefault(unhexw(fields[1]), {})
                elif fields[0] == "V":
                    registry.keys.setdefault(unhexw(fields[1]), {})[unhexw(fields[2])] = Value(
                        int(fields[3]), bytes.fromhex(fields[4]) if len(fields) > 4 else b"")
        return Outcome(exits, micros, registry, boxes, [title for _, title in windows],
                       trace_text)
