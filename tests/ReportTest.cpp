// The report: what it finds in each dictionary set, what it says of it in both languages, and
// that reading the sets changes nothing.
#include <string>

#include "../report/Package.h"
#include "../report/Pending.h"
#include "../report/Report.h"
#include "AtokLayout.h"

#ifndef _WIN32
#include "HostWin.h"
#endif

namespace {

using report::FileState;
using report::Language;

const std::u16string kInstalled = u"C:\\Users\\yamada\\AppData\\Local\\QelDat2012\\QelDat2012.dic";
const std::u16string kEntry = u"ON,0,C:\\USERS\\YAMADA\\APPDATA\\LOCAL\\QELDAT2012\\QELDAT2012.DIC";
const std::u16string kElsewhere = u"D:\\OLD\\QELDAT2012.DIC";

// The report's text holds the part, lines and all.
::testing::AssertionResult Says(const report::Report& report, const std::u16string& part) {
  if (report.text.find(part) != std::u16string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the report lacks " << ::testing::PrintToString(part)
                                       << "; it says " << ::testing::PrintToString(report.text);
}

class ReportTest : public RegistryTest {
 protected:
  // Reads the sets as the program does; of the paths entries name, only kElsewhere and (unless
  // a case takes it away) the installed dictionary exist.
  std::vector<report::Finding> Survey() {
    survey = report::TakeSurvey();
    return report::Find(survey, kInstalled, [this](const std::u16string& path) {
      return path == kElsewhere ||
             (facts.dictionaryPresent && dicset::Upper(path) == kEntry.substr(5));
    });
  }

  void SetUp() override {
    RegistryTest::SetUp();
    facts.made = u"2026-12-08 10:36";
    facts.windows = {u"Windows 10", u"10.0.19045", true};
    facts.user = u"yamada";
    facts.version = u"1.0.0";
    facts.dicregPath = u"C:\\Users\\yamada\\AppData\\Local\\QelDat2012\\dicreg.exe";
    facts.dicregVersion = u"1.0.0";
    facts.dictionary = kInstalled;
    facts.dictionaryPresent = true;
  }

  report::Report Text(Language language) {
    const auto findings = Survey();
    return report::Write(survey, findings, facts, language);
  }

  // Every state a set in use can be in, once, and sets the report must pass over.
  void SeedEveryState() {
    SetText(InUseSet(u"Atkms", 1), Slot(2), kOtherDic);
    SetText(SetKey(u"Atkms", 1), Slot(3), kEntry);
    SetText(InUseSet(u"Atkms", 2), Slot(2), u"ON,0," + kElsewhere);
    SetText(SetKey(u"Atkms", 2), Slot(4), u"ON,0,C:\\OLD\\QELDAT2011.DIC");
    SetText(InUseSet(u"Atkms", 3), Slot(5), u"on,0,e:\\gone\\qeldat2012.dic");
    SetText(SetKey(u"Atkms", 4), Slot(1), u"");  // not in use
    SetText(SetKey(u"Atkms", 4), Slot(2), kEntry);
    SetText(InUseSet(u"Atokw", 1), Slot(2), kOtherDic);
    SetText(SetKey(u"Atokw", 1), Slot(3), u"ON,0,C:\\OLD\\QELDAT2011.DIC");
    SetText(InUseSet(u"Atokw", 2), Slot(2), kOtherDic);
    SetText(SetKey(u"Atokw", 2), Slot(3), kOtherDic);
    SetText(SetKey(u"Atokw", 2), Slot(4), u"");
    for (int k = 2; k <= 9; ++k) SetText(InUseSet(u"User0", 1), Slot(k), kOtherDic);
    InUseSet(u"Atwd", 1);
    AllowOnly(SetKey(u"Atwd", 1), KEY_READ);
    InUseSet(u"Atxl", 1);
    AllowOnly(SetKey(u"Atxl", 1), 0);
  }

  report::Survey survey;
  report::Facts facts;
};

TEST_F(ReportTest, FindsEveryStateAndChangesNothing) {
  SeedEveryState();
  const Tree before = Dump();
#ifndef _WIN32
  hostwin::ClearRegCalls();
#endif
  const auto found = Survey();
  EXPECT_EQ(Dump(), before);
#ifndef _WIN32
  for (const auto& call : hostwin::RegCalls()) {
    EXPECT_NE(call.api, "RegSetValueExW");
    if (call.api == "RegOpenKeyExW") {
      EXPECT_TRUE(call.detail == KEY_READ || call.detail == 0x3F);
    }
  }
#endif
  EXPECT_TRUE(survey.atok2012);
  std::vector<std::u16string> names;
  for (const auto& finding : found) names.push_back(finding.set->Name());
  ASSERT_EQ(names, (std::vector<std::u16string>{
                       u"Atkms\\DicSet1", u"Atkms\\DicSet2", u"Atkms\\DicSet3", u"Atokw\\DicSet1",
                       u"Atokw\\DicSet2", u"Atwd\\DicSet1", u"Atxl\\DicSet1", u"User0\\DicSet1"}));
  const auto registered = [&](std::size_t i) {
    const auto& entries = found[i].registered;
    return entries.size() == 1 ? std::make_pair(entries[0].slot, entries[0].file)
                               : std::make_pair(0, FileState::Missing);
  };
  EXPECT_EQ(registered(0), std::make_pair(3, FileState::Installed));
  EXPECT_EQ(registered(1), std::make_pair(2, FileState::Elsewhere));
  EXPECT_EQ(found[1].otherEditions, std::vector<int>{4});
  EXPECT_EQ(registered(2), std::make_pair(5, FileState::Missing));
  EXPECT_EQ(found[2].registered[0].path, u"e:\\gone\\qeldat2012.dic");
  // Registering again empties the other edition first, and so takes its slot.
  EXPECT_EQ(found[3].nextSlot, 3);
  EXPECT_EQ(found[4].nextSlot, 4);
  EXPECT_FALSE(found[5].writable);
  EXPECT_EQ(found[5].set->writeStatus, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(found[6].set->Unreadable());
  EXPECT_EQ(found[7].nextSlot, 0);
  using State = report::SetState;
  std::vector<State> states;
  for (const auto& finding : found) states.push_back(report::StateOf(finding));
  EXPECT_EQ(states, (std::vector<State>{State::Registered, State::Registered, State::FileMissing,
                                        State::Free, State::Free, State::ReadOnly,
                                        State::Unreadable, State::Full}));
}

// What each set's own line says is checked under Wine, set by set against the model.
TEST_F(ReportTest, SaysTheVerdictAndWhatToDoInBothLanguages) {
  SeedEveryState();
  const auto english = Text(Language::English);
  EXPECT_EQ(english.status, report::kSomethingToDo);
  for (const std::u16string& line : std::initializer_list<std::u16string>{
           u"QelDat2012 is registered in 2 of the 7 dictionary sets in use. The lines below say "
           u"what to do.\r\n",
           u"- Atkms\\DicSet3 names a file that no longer exists (e:\\gone\\qeldat2012.dic)",
           u"- Atokw\\DicSet1 does not hold it: choose \"Register in ATOK 2012 again\" in the "
           u"Start menu; it goes into slot 3.\r\n",
           u"- This account may not change Atwd\\DicSet1 (Windows error 5)",
           u"- Atxl\\DicSet1 cannot be read (Windows error 5)",
           u"- User0\\DicSet1 has no free slot",
           u"\r\nDictionary sets not in use: 73 of 81.\r\n"}) {
    EXPECT_TRUE(Says(english, line));
  }
  const auto japanese = Text(Language::Japanese);
  for (const std::u16string& line : std::initializer_list<std::u16string>{
           u"QelDat2012 は、使用中の辞書セット 7 個のうち 2 個に登録されています。"
           u"対処方法は以下のとおりです。\r\n",
           u"\r\n- User0\\DicSet1 には空きがありません（",
           u"\r\n- このアカウントには Atwd\\DicSet1 の変更が許可されていないため"
           u"（Windows のエラー 5）",
           // Each state of a set is a sentence, the last one too.
           u"\r\nAtkms\\DicSet2: スロット 2 に登録済み（別のフォルダーの辞書）。"
           u"スロット 4 に QelDat の別の版が登録されています（再登録すると、この登録は"
           u"解除されます）。\r\n",
           u"\r\nAtwd\\DicSet1: このアカウントには変更が許可されていません"
           u"（Windows のエラー 5）。\r\n",
           u"\r\nAtxl\\DicSet1: 読み取れません（Windows のエラー 5）。\r\n",
           u"使用中でない辞書セット: 81 個中 73 個\r\n"}) {
    EXPECT_TRUE(Says(japanese, line));
  }
  EXPECT_EQ(japanese.text.find(u"registered"), std::u16string::npos);
}

TEST_F(ReportTest, AllSetsRegisteredIsTheOneGoodVerdict) {
  for (const auto& profile : {u"Atkms", u"User0"}) SetText(InUseSet(profile, 1), Slot(2), kEntry);
  const auto said = Text(Language::English);
  EXPECT_EQ(said.status, report::kAllRegistered);
  EXPECT_TRUE(
      Says(said,
           u"\r\n\r\nQelDat2012 is registered in all 2 dictionary sets in use. Nothing needs "
           u"to be done.\r\n\r\n"));
  EXPECT_TRUE(Says(said, u"\r\nWindows: Windows 10 (10.0.19045), 64-bit\r\n"));
  EXPECT_TRUE(
      Says(Text(Language::Japanese), u"\r\nWindows: Windows 10（10.0.19045）、64 ビット\r\n"));
}

TEST_F(ReportTest, MissingInstalledDictionaryIsNeverAllRegistered) {
  for (const auto& profile : {u"Atkms", u"User0"}) SetText(InUseSet(profile, 1), Slot(2), kEntry);
  facts.dictionaryPresent = false;
  const auto said = Text(Language::English);
  EXPECT_EQ(said.status, report::kSomethingToDo);
  EXPECT_TRUE(Says(said, u"\r\nQelDat2012 is not registered in any of the 2 dictionary sets"));
  EXPECT_TRUE(Says(said, u"\r\n- Atkms\\DicSet1 names a file that no longer exists ("));
  EXPECT_TRUE(Says(said, u"\r\n- The installed dictionary is missing (" + kInstalled + u")"));
}

// Status 4 is what the packages ask before they run dicreg unattended: no set could take it.
TEST_F(ReportTest, NoSetThatCanTakeItIsStatus4) {
  EXPECT_EQ(Text(Language::English).status, report::kNoSetCanTake);
  for (int k = 2; k <= 9; ++k) SetText(InUseSet(u"User0", 1), Slot(k), kOtherDic);
  InUseSet(u"Atwd", 1);
  AllowOnly(SetKey(u"Atwd", 1), KEY_READ);
  facts.startup = {{u"QelDat2012"}, {}, true};
  const auto said = Text(Language::English);
  EXPECT_EQ(said.status, report::kNoSetCanTake);
  EXPECT_TRUE(Says(said,
                   u"\r\n- QelDat2012 registers by itself at the first sign-in to Windows "
                   u"after a dictionary set in use can take it (startup entry QelDat2012)."));
  SetText(SetKey(u"User0", 1), Slot(9), u"ON,0,C:\\OLD\\QELDAT2011.DIC");
  const auto now = Text(Language::English);
  EXPECT_EQ(now.status, report::kSomethingToDo);
  EXPECT_TRUE(Says(now,
                   u"\r\n- A dictionary set in use can take QelDat2012 now: it registers by "
                   u"itself at the next sign-in"));
}

// Each set's one state decides the status: sets that hold it but may not be changed are
// registered, and only a set that could take it makes registering again worth it.
TEST_F(ReportTest, StatusFollowsEachSetsOneState) {
  SetText(InUseSet(u"Atkms", 1), Slot(2), kEntry);
  AllowOnly(SetKey(u"Atkms", 1), KEY_READ);
  EXPECT_EQ(Text(Language::English).status, report::kAllRegistered);
  for (int k = 2; k <= 9; ++k) SetText(InUseSet(u"User0", 1), Slot(k), kOtherDic);
  EXPECT_EQ(Text(Language::English).status, report::kNoSetCanTake);
  SetText(SetKey(u"User0", 1), Slot(9), u"");
  EXPECT_EQ(Text(Language::English).status, report::kSomethingToDo);
}

// A folder moved by hand leaves entries naming its old place while the report runs from the
// new one: registering again from the Start menu would not work, so the advice differs.
TEST_F(ReportTest, AMovedFolderIsToldApartFromAMissingFile) {
  facts.folder = u"D:\\Dic\\QelDat2012";
  facts.dictionary = facts.folder + u"\\1.0.1\\QelDat2012.dic";
  const std::u16string old =
      u"C:\\USERS\\YAMADA\\APPDATA\\LOCAL\\QELDAT2012\\1.0.1\\QELDAT2012.DIC";
  SetText(InUseSet(u"Atkms", 1), Slot(2), u"ON,0," + old);
  SetText(InUseSet(u"User0", 1), Slot(2), u"ON,0,D:\\DIC\\QELDAT2012\\1.0.0\\QELDAT2012.DIC");
  const auto said = Text(Language::English);
  EXPECT_TRUE(Says(said, u"- Atkms\\DicSet1 names a file that no longer exists (" + old +
                             u"), while the dictionary is in this report's folder (D:\\Dic\\"
                             u"QelDat2012): the folder seems to have been moved"));
  EXPECT_TRUE(Says(said,
                   u"- User0\\DicSet1 names a file that no longer exists (D:\\DIC\\"
                   u"QELDAT2012\\1.0.0\\QELDAT2012.DIC): choose \"Register in ATOK 2012 "
                   u"again\""));
  facts.dictionaryPresent = false;
  EXPECT_FALSE(Says(Text(Language::English), u"moved"));
}

// The startup entry and the marker: whether a sign-in will register it, in the words of the
// Windows the report runs on.
TEST_F(ReportTest, StartupEntryLineSaysWhetherASignInRegistersIt) {
  InUseSet(u"Atkms", 1);
  const auto says = [&](const report::Startup& startup, const std::u16string& part) {
    facts.startup = startup;
    return Says(Text(Language::English), part);
  };
  EXPECT_TRUE(says({{u"Qel"}, {}, true},
                   u"registers by itself at the next sign-in to Windows "
                   u"(startup entry Qel)"));
  EXPECT_TRUE(says({{u"Qel"}, {u"Qel"}, true},
                   u"its startup entry (Qel) is switched off, so nothing registers it: switch "
                   u"it on in Task Manager's list of startup programs (on Windows 10 and 11"));
  facts.configured = {u"Qel"};
  EXPECT_TRUE(says({{}, {}, true},
                   u"its startup entry (Qel) is switched off in System "
                   u"Configuration (msconfig)"));
  // Japanese Windows names msconfig's window 「システム構成」 from Vista on, and
  // 「システム構成ユーティリティ」 on Windows XP; the English words stay the same.
  facts.windows = {u"Windows 7", u"6.1.7601 Service Pack 1", false};
  EXPECT_TRUE(Says(Text(Language::Japanese), u"（Qel）が「システム構成」（msconfig）で無効"));
  facts.windows = {u"Windows XP", u"5.1.2600 Service Pack 3", false};
  EXPECT_TRUE(
      Says(Text(Language::Japanese), u"（Qel）が「システム構成ユーティリティ」（msconfig）で無効"));
  EXPECT_TRUE(says({{}, {}, true}, u"switched off in System Configuration (msconfig)"));
  facts.configured.clear();
  EXPECT_TRUE(says({{}, {}, true}, u"its startup entry is not there"));
  EXPECT_TRUE(says({{u"Qel"}, {}, false}, u"The startup entry Qel has nothing left to do"));
  EXPECT_FALSE(says({{}, {}, false}, u"startup entry"));
  facts.logOff = true;
  EXPECT_TRUE(says({{u"Qel"}, {}, true}, u"registers by itself at the next logon to Windows"));
  facts.startup = {{u"Qel"}, {}, true};
  EXPECT_TRUE(Says(Text(Language::Japanese), u"次に Windows にログオンしたときに"));
  // Names stay as they are: only the report's own words change.
  facts.startup = {{u"サインイン時の登録"}, {}, true};
  EXPECT_TRUE(Says(Text(Language::Japanese), u"スタートアップの項目（サインイン時の登録）"));
}

TEST_F(ReportTest, OtherVersionsAreNamedBesideAtok2012) {
  SetText(InUseSet(u"Atkms", 1), Slot(2), kEntry);
  SetText(u"Software\\Justsystem\\ATOK\\24.0\\Profile\\Atkms\\DicSet1", Slot(1), kSystemDic);
  const auto said = Text(Language::English);
  EXPECT_TRUE(
      Says(said,
           u"QelDat2012 is registered in the dictionary set in use. Nothing needs to be "
           u"done.\r\n- Settings of other ATOK versions were found: 24.0. QelDat2012 works in "
           u"ATOK 2012 (version 25.0) only"));
  facts.stale = {u"C:\\Q\\1.0.0\\QelDat2012.dic"};
  EXPECT_TRUE(
      Says(Text(Language::Japanese), u"\r\n- 以前のバージョンの辞書ファイルが残っています"));
  EXPECT_TRUE(Says(Text(Language::English), u"an earlier version is still there"));
  // One a set names stays on purpose: the report never asks to delete it.
  SetText(InUseSet(u"Atkms", 2), Slot(2), u"ON,0,C:\\Q\\1.0.0\\QELDAT2012.DIC");
  EXPECT_FALSE(Says(Text(Language::English), u"an earlier version is still there"));
}

TEST_F(ReportTest, NoSetInUseIsOneLineWithWhatToDo) {
  EXPECT_TRUE(Says(Text(Language::English),
                   u"\r\n\r\nATOK 2012's settings are not there for this Windows user (yamada): "
                   u"ATOK 2012 is probably not installed, or this user has not started it "
                   u"yet. Start ATOK 2012 once while signed in as this user"));
  SetText(u"Software\\Justsystem\\ATOK\\26.0\\Profile\\User0\\DicSet1", Slot(1), kSystemDic);
  EXPECT_TRUE(Says(Text(Language::English),
                   u"\r\n- Settings of other ATOK versions were found: 26.0. QelDat2012 works in "
                   u"ATOK 2012 (version 25.0) only"));
  SetText(SetKey(u"User0", 1), Slot(1), u"");
  const auto japanese = Text(Language::Japanese);
  EXPECT_EQ(japanese.status, report::kNoSetCanTake);
  EXPECT_TRUE(Says(japanese,
                   u"\r\n\r\nこの Windows ユーザー（yamada）には、ATOK 2012 の使用中の"
                   u"辞書セットがありません。"));
  EXPECT_TRUE(Says(japanese, u"使用中でない辞書セット: 81 個中 81 個\r\n"));
}

TEST(ReportTexts, AreFilledInOnePassAndStatusesFromTheTopBitInHex) {
  EXPECT_EQ(report::Fill(u"{1} ({2}) {1}", {u"C:\\{2}\\x", u"5"}), u"C:\\{2}\\x (5) C:\\{2}\\x");
  EXPECT_EQ(report::Fill(u"{3} {", {u"a"}), u"{3} {");
  EXPECT_EQ(report::StatusText(3), u"3");
  EXPECT_EQ(report::StatusText(0x7FFFFFFF), u"2147483647");
  EXPECT_EQ(report::StatusText(0xC0000005), u"0xC0000005");
}

TEST(NewestVersion, ComparesEachNumber) {
  EXPECT_EQ(report::NewestVersion({u"1.0.9", u"1.0.10", u"2.x", u"3..1", u"", u"."}), u"1.0.10");
  EXPECT_EQ(report::NewestVersion({u"setup", u"..", u"4."}), u"");
}

// The startup entries are the Run values that start this program, found by its long or short
// path whatever their switch; Task Manager's mark switches one off; the marker comes and goes
// with them, and its key with it when nothing else is in it.
TEST_F(ReportTest, StartupEntriesAreTheRunValuesThatStartThisProgram) {
  const std::u16string program = u"C:\\Users\\yamada\\AppData\\Local\\QelDat2012\\dicreport.exe";
  const std::vector<std::u16string> programs = {program,
                                                u"C:\\Users\\yamada\\APPDAT~1\\dicreport.exe"};
  SetText(report::kRunKey, u"Other", u"\"D:\\QelDat2012\\dicreport.exe\" /signin");
  SetText(report::kRunKey, u"Longer", u"\"" + program + u"x\" /signin");
  EXPECT_TRUE(report::LeaveStartup(u"QelDat2012", report::StartupCommand(program)));
  SetText(report::kRunKey, u"辞書", u"\"" + dicset::Upper(programs[1]) + u"\" /QUIET");
  SetRaw(report::kApprovedKey, u"辞書", REG_BINARY, {3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});
  SetRaw(report::kApprovedKey, u"QelDat2012", REG_BINARY, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  auto startup = report::ReadStartup(programs);
  EXPECT_EQ(startup.entries, (std::vector<std::u16string>{u"QelDat2012", u"辞書"}));
  EXPECT_EQ(startup.switchedOff, std::vector<std::u16string>{u"辞書"});
  EXPECT_TRUE(startup.waiting);
  EXPECT_TRUE(HoldsText(report::kRunKey, u"QelDat2012", u"\"" + program + u"\" /signin"));
  report::ClearMarker();
  EXPECT_FALSE(report::ReadStartup(programs).waiting);
  EXPECT_EQ(Dump(report::kMarkerKey), Tree());
  SetText(report::kMarkerKey, u"InstallDir", u"C:\\Q");
  EXPECT_TRUE(report::LeaveStartup(u"QelDat2012", report::StartupCommand(program)));
  report::ForgetStartup(programs);
  startup = report::ReadStartup(programs);
  EXPECT_TRUE(startup.entries.empty());
  EXPECT_FALSE(startup.waiting);
  EXPECT_TRUE(HoldsText(report::kMarkerKey, u"InstallDir", u"C:\\Q"));
  EXPECT_EQ(Dump(report::kRunKey).size(), 2u);  // Other and Longer stay
}

TEST(EntryPath, IsWhatFollowsTheFirstTwoFields) {
  EXPECT_EQ(report::EntryPath(u"ON,0,C:\\DIC\\QELDAT2012.DIC"), u"C:\\DIC\\QELDAT2012.DIC");
  EXPECT_EQ(report::EntryPath(u"ON,0,C:\\A,B\\X.DIC"), u"C:\\A,B\\X.DIC");
  EXPECT_EQ(report::EntryPath(u"QELDAT2012.DIC"), u"QELDAT2012.DIC");
}

}  // namespace
