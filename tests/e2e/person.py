"""A person at the screen: goes through a program's windows page by page, as a user would.

Pages are recognised by the texts the program puts on them, read from Wine's relay trace of the
calls that set window texts; each page must come up within a time limit and leaves a screenshot.
The person presses keys and types with xdotool, through the X server as a keyboard would, into
whatever window has the focus.
"""

import os
import re
import subprocess
import time

from winesession import parse_boxes, parse_debugstr

# The calls whose texts the person reads, and the message boxes.
RELAY = "user32.MessageBoxW;user32.SetWindowTextW;user32.SetDlgItemTextW;user32.CreateWindowExW"
TEXT_CALL = re.compile(r"Call user32\.(?:SetWindowTextW|SetDlgItemTextW|CreateWindowExW)\((.*)$")
PAGE_TIME = 60  # seconds a page may take to come up


def texts(trace):
    """Every text that the traced calls put on a window, in order."""
    found = []
    for line in trace.splitlines():
        call = TEXT_CALL.search(line)
        rest = call.group(1) if call else ""
        while ' L"' in rest:
            text, rest, _ = parse_debugstr(rest.split(' L"', 1)[1])
            found.append(text)
    return found


class PageMissing(Exception):
    pass


class Person:
    """Steps, in order: ("title", window title), ("page", name, texts), ("key", key),
    ("type", text), ("box", title), ("answer", title, key[, text]), ("window", title, key),
    ("after", title, key).
    The title step waits for the program's window; a page waits for all its texts (each within a
    text set since the last page) and takes a screenshot; a box waits for dicreg's message box of
    that title, takes a screenshot, checks that it is in front of the program's window and
    presses Enter on it; an answer does the same for a message box of the program's own (not
    dicreg's: own lists its titles), pressing key, and checks that its text holds text, when
    given; a window does so for a window of the program's that the trace does not show being
    made; after, for a window of another program that it started, which may outlive it."""

    def __init__(self, session, shots, label, steps):
        self.session, self.shots, self.label, self.steps = session, shots, label, steps
        self.seen = 0  # texts of the trace already matched by a page
        self.title = None
        self.pictures = []
        self.problems = []
        self.answered = []  # the windows of the boxes already answered
        self.own_boxes = []
        self.own = set()

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.session.env,
                              capture_output=True, text=True).stdout.split()

    def screenshot(self, name):
        os.makedirs(self.shots, exist_ok=True)
        path = os.path.join(self.shots, "%s-%02d-%s.png" % (self.label, len(self.pictures) + 1,
                                                            name))
        time.sleep(0.5)  # let the page paint
        subprocess.run(["import", "-window", "root", path], env=self.session.env,
                       capture_output=True)
        self.pictures.append(path)

    def wait(self, name, ready, proc, shown=(), outlive=False):
        deadline = time.monotonic() + PAGE_TIME
        while not ready():
            if time.monotonic() > deadline or (proc.poll() is not None and not outlive):
                self.screenshot(name + "-missing")
                raise PageMissing("%s: page %r did not come up; texts since the last page: %s"
                                  % (self.label, name, shown[self.seen:][-12:]))
            time.sleep(0.2)

    def page(self, proc, trace_file, name, wanted):
        shown = []

        def ready():
            trace_file.seek(0)
            shown[:] = texts(trace_file.read().decode("utf-8", "replace"))
            for at in range(self.seen, len(shown)):
                window = shown[self.seen:at + 1]
                if all(any(text in line for line in window) for text in wanted):
                    self.seen = at + 1
                    return True
            return False
        try:
            self.wait(name, ready, proc, shown)
        except PageMissing:
            # Every text the trace showed, for a page that came up on the screen and not in it.
            with open(self.pictures[-1][:-4] + ".txt", "w", encoding="utf-8") as out:
                out.write("\n".join(repr(text) for text in shown) + "\n")
            raise
        self.screenshot(name)

    def window(self, proc, title, outlive=False):
        found = []

        def ready():
            # Another program's window may get the X id of a box answered before.
            found[:] = self.windows(title, every=outlive)
            return found
        self.wait(title, ready, proc, outlive=outlive)
        return found[0]

    def box(self, proc, windows, title):
        box = self.window(proc, title)
        windows.append((box, title))
        self.answered.append(box)
        self.screenshot("messagebox")
        # xwininfo lists siblings topmost first: the box must come before the program's window.
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=self.session.env,
                              capture_output=True, text=True).stdout
        order = [int(i, 16) for i in re.findall(r"^\s+(0x[0-9a-f]+) ", tree, re.M)]
        behind = [int(w) for w in self.xdotool("search", "--name", "^" + re.escape(self.title))]
        if int(box) not in order or any(w in order and order.index(w) < order.index(int(box))
                                        for w in behind):
            self.problems.append("the message box %r is not in front of %r" % (title,
                                                                              self.title))
        self.xdotool("key", "Return")

    def answer(self, proc, trace_file, title, key, text=None):
        # The program may have other windows of that title (a progress window): its box is the
        # newest one, once the trace shows the call that makes it.
        asked = sum(1 for window in self.answered if window in self.own_boxes) + 1

        boxes = []

        def called():
            trace_file.seek(0)
            boxes[:] = [box for box in parse_boxes(trace_file.read().decode("utf-8", "replace"))
                        if box.caption == title]
            return len(boxes) >= asked
        self.wait(title, called, proc)
        said = boxes[asked - 1].text
        if text is not None and text not in said:
            self.problems.append("its box %r said %r, expected %r" % (title, said, text))
        self.window(proc, title)
        box = max(self.windows(title), key=int)
        self.answered.append(box)
        self.own_boxes.append(box)
        self.own.add(title)
        self.screenshot("box")
        self.xdotool("key", key)

    def close(self, proc, title, key, outlive=False):
        self.answered.append(self.window(proc, title, outlive))
        self.own.add(title)
        self.screenshot("report" if outlive else "window")
        self.xdotool("key", key)

    def windows(self, title, every=False):
        return [window for window in self.xdotool("search", "--name", "^%s$" % re.escape(title))
                if every or window not in self.answered]

    def __call__(self, proc, windows, timeout, trace_file):
        try:
            for step in self.steps:
                kind, what = step[0], step[1:]
                if kind == "page":
                    self.page(proc, trace_file, *what)
                elif kind == "title":
                    self.title = what[0]
                    self.window(proc, what[0])
                elif kind == "box":
                    self.box(proc, windows, what[0])
                elif kind == "answer":
                    self.answer(proc, trace_file, *what)
                elif kind in ("window", "after"):
                    self.close(proc, *what, outlive=kind == "after")
                elif kind == "type":
                    # xdotool types a character that no key has by remapping a spare key:
                    # typed fast, a busy program reads it under the next one's mapping.
                    self.xdotool("type", "--delay", "100", what[0])
                else:
                    self.xdotool("key", what[0])
            deadline = time.monotonic() + timeout
            while proc.poll() is None and time.monotonic() < deadline:
                time.sleep(0.2)
            if proc.poll() is None:
                self.screenshot("still-running")
                raise PageMissing("%s: still running after its last page" % self.label)
        except PageMissing:
            proc.kill()
            proc.wait()
            raise
