"""dicreport under Wine, installed beside dicreg as the packages install it: over seeded and
random registry states, in English and in Japanese, its report is checked set by set against
what the model of dicreg reads in each set, and the registry must stay byte for byte the same;
"/register" must leave what the model's install leaves.
"""

import os
import random

from atoklayout import OTHER_DIC, SYSTEM_DIC, set_key, slot
from e2e import in_use, in_use_sets, model, random_registry, read_text, typical
from winesession import PROFILE, Registry, text_value

FOLDER = "C:\\Program Files\\Qel"
INSTALLED = FOLDER + "\\QelDat2012.dic"
REPORT = FOLDER + "\\dicreport.exe"
WRITTEN = "C:\\report.txt"
ELSEWHERE = "C:\\Old\\QelDat2012.dic"  # an older install's copy, which exists
LOCALES = {"en": "en_US.UTF-8", "ja": "ja_JP.UTF-8"}
# What the report says of a set in use, part by part, and its other lines that the cases check.
SAYS = {
    "en": {"installed": "registered in slot {k}, the installed dictionary",
           "elsewhere": "registered in slot {k}, a file in another folder",
           "gone": "registered in slot {k}, but that file no longer exists",
           "edition": "slot {k} holds another edition of QelDat, which registering again takes out",
           "next": "not registered; registering again puts it in slot {k}",
           "full": "not registered; slots 2 to 9 all hold other dictionaries",
           "read only": "this account may not change it (Windows error 5)",
           "and": "; ", "end": "", "not in use": "Dictionary sets not in use: {n} of 81.",
           "file": "QelDat2012 status.txt", "windows": "Windows: ",
           "again": "Registering again ran just before this report: dicreg.exe ended with "
                    "status 0 ",
           "no atok": "ATOK 2012's settings are not there for this Windows user"},
    "ja": {"installed": "スロット {k} に登録済み（インストールした辞書）",
           "elsewhere": "スロット {k} に登録済み（別のフォルダーの辞書）",
           "gone": "スロット {k} に登録済み。ただし、その辞書ファイルが見つかりません",
           "edition": "スロット {k} に QelDat の別の版が登録されています（再登録すると、この登録は"
                      "解除されます）",
           "next": "未登録。再登録するとスロット {k} に登録されます",
           "full": "未登録。スロット 2〜9 がすべてほかの辞書で埋まっています",
           "read only": "このアカウントには変更が許可されていません（Windows のエラー 5）",
           "and": "。", "end": "。", "not in use": "使用中でない辞書セット: 81 個中 {n} 個",
           "file": "QelDat2012 登録状況.txt", "windows": "Windows: ",
           "again": "このレポートの作成直前に再登録を実行しました（dicreg.exe の終了コード: 0、",
           "no atok": "ATOK 2012 の設定情報がありません"},
}


def entry_path(text):
    return text.split(",", 2)[2] if text.count(",") >= 2 else text


def expected_sets(reg):
    """For each set in use, in dicreg's order: its name, the parts of its line (as keys of SAYS
    with the slot), and its slot lines; and the exit status the report must end with: 0 when
    every set holds it from a file that exists, 4 when no set could take it, 1 otherwise."""
    sets, fine, can_take = [], bool(list(in_use_sets(reg))), False
    for path in in_use_sets(reg):
        texts = [read_text(reg, path, slot(k)) for k in range(10)]
        registered = [("installed" if entry_path(texts[k]).upper() == INSTALLED.upper() else
                       "elsewhere" if entry_path(texts[k]).upper() == ELSEWHERE.upper() else
                       "gone", k) for k in range(2, 10) if "QELDAT2012" in texts[k].upper()]
        parts = registered + [("edition", k) for k in range(2, 10) if "QELDAT" in
                              texts[k].upper() and "QELDAT2012" not in texts[k].upper()]
        free = [k for k in range(2, 10) if texts[k] == "" or "QELDAT" in texts[k].upper()]
        writable = path not in reg.read_only
        if not registered and writable:
            parts.append(("next", free[0]) if free else ("full", 0))
        if not writable:
            parts.append(("read only", 0))
        if not registered or any(kind == "gone" for kind, _ in registered):
            fine = False
        can_take |= writable and bool(free)
        lines = ["  %d: %s" % (k, texts[k]) for k in range(1, 10) if texts[k]]
        sets.append(("\\".join(path.split("\\")[-2:]), parts, lines))
    return sets, 0 if fine else 1 if can_take else 4


def said_sets(text):
    """The report's sets as it lists them: (line, slot lines)."""
    found, lines = [], text.split("\r\n")
    for i, line in enumerate(lines):
        if "\\DicSet" in line and ": " in line and not line.startswith("- "):
            block = []
            for more in lines[i + 1:]:
                if not more.startswith("  "):
                    break
                block.append(more)
            found.append((line, block))
    return found


class Reports:
    """The report cases of one program (dicreg.exe, with dicreport.exe beside it)."""

    def __init__(self, suite, program):
        self.suite, self.session = suite, suite.session
        self.linux = self.session.linux
        folder = self.linux(FOLDER)
        os.makedirs(folder, exist_ok=True)
        os.makedirs(os.path.dirname(self.linux(ELSEWHERE)), exist_ok=True)
        reporter = os.path.join(os.path.dirname(program),
                                os.path.basename(program).replace("dicreg", "dicreport"))
        for source, name in [(program, "dicreg.exe"), (reporter, "dicreport.exe")]:
            with open(source, "rb") as data, open(os.path.join(folder, name), "wb") as out:
                out.write(data.read())
        for path in (INSTALLED, ELSEWHERE):
            with open(self.linux(path), "wb") as out:
                out.write(b"QelDat2012")

    def case(self, name, seed, argument, language, expected=None, checks=()):
        """Runs dicreport with the argument ("" for none) as a user of the language; checks its
        report against the model, and the registry against expected (unchanged, if None)."""
        said = self.linux(WRITTEN if argument not in ("", "/register") else
                          PROFILE + "\\Desktop\\" + SAYS[language]["file"])
        if os.path.exists(said):
            os.remove(said)
        line = '"%s"%s' % (REPORT, " " + argument if argument else "")
        outcome = self.session.run(REPORT, seed, [line], lang=LOCALES[language])
        after = expected or seed
        sets, status = expected_sets(after)

        def read(_):
            if not os.path.exists(said):
                return "no report at %s" % said
            text = open(said, encoding="utf-16", newline="").read()
            words = SAYS[language]
            wanted = [("%s: %s%s" % (name, words["and"].join(words[kind].format(k=k)
                                                             for kind, k in parts), words["end"]),
                       lines) for name, parts, lines in sets]
            problems = ["lists %r, expected %r" % (got, want) for got, want in zip(
                said_sets(text), wanted) if got != want]
            if len(said_sets(text)) != len(wanted):
                problems.append("lists %d sets, expected %d" % (len(said_sets(text)),
                                                               len(wanted)))
            for check in [words["not in use"].format(n=81 - len(sets))] + list(checks):
                if words.get(check, check) not in text:
                    problems.append("does not say %r" % words.get(check, check))
            return "; ".join(problems) or None
        self.suite.judge("dicreport %s (%s)" % (name, language), seed, outcome, after,
                         [status], 0, [read])

    def run(self, seed_number, count):
        reg = in_use(("Atkms", 1), slots={2: OTHER_DIC, 3: "ON,0," + INSTALLED.upper()})
        reg.set(set_key("Atkms", 2), slot(1), text_value(SYSTEM_DIC))
        reg.set(set_key("Atkms", 2), slot(2), text_value("ON,0," + ELSEWHERE))
        reg.set(set_key("Atkms", 2), slot(4), text_value("ON,0,C:\\OLD\\QELDAT2011.DIC"))
        full = in_use(("User0", 1), slots={k: OTHER_DIC for k in range(2, 10)})
        reg.keys.update(full.keys)
        reg.set(set_key("Atwd", 1), slot(1), text_value(SYSTEM_DIC))
        reg.read_only.add(set_key("Atwd", 1))
        reg.set(set_key("Atokw", 3), slot(1), text_value(SYSTEM_DIC))
        reg.set(set_key("Atokw", 3), slot(2), text_value("on,0,e:\\gone\\qeldat2012.dic"))
        for language in ("en", "ja"):
            self.case("with every state", reg, WRITTEN, language)
        registered, _, _ = model(typical(), INSTALLED)
        self.case("/register", typical(), "/register", "ja", registered, ["again"])
        self.case("with no ATOK 2012 settings", Registry(), "", "en", checks=["no atok"])
        # A script's report file that cannot be written: status 3, and no box waits for anybody.
        unwritable = '"%s" "C:\\No such folder\\report.txt"' % REPORT
        self.suite.judge("dicreport to a file it cannot write", typical(),
                         self.session.run(REPORT, typical(), [unwritable]), typical(), [3], 0)
        rng = random.Random(seed_number)
        for i in range(count):
            self.case("random #%d (seed %d)" % (i, seed_number), random_registry(rng), WRITTEN,
                      "en")

    def on_oldest(self, windows):
        """Registering again and the report, on the prefix's Windows, which it must name."""
        registered, _, _ = model(typical(), INSTALLED)
        self.case("/register on " + windows, typical(), "/register", "en", registered,
                  ["again", "Windows: %s " % {"winxp": "Windows XP", "vista": "Windows Vista"}[
                      windows]])
