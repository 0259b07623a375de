// The report: what it finds in each dictionary set, what it says of it in both languages, and
// that reading the sets changes nothing.
#include <string>

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
  // Reads the sets as the program does; of the paths entries name, only kElsewhere exists.
  std::vector<report::Finding> Survey() {
    survey = report::TakeSurvey();
    return report::Find(survey, kInstalled,
                        [](const std::u16string& path) { return path == kElsewhere; });
  }

  report::Report Text(Language language) {
    const auto findings = Survey();
    report::Facts facts;
    facts.made = u"2026-12-08 10:36";
    facts.windows = u"Windows 10 (10.0.19045), 64-bit";
    facts.user = u"yamada";
    facts.version = u"1.0.0";
    facts.dicregPath = u"C:\\Users\\yamada\\AppData\\Local\\QelDat2012\\dicreg.exe";
    facts.dicregVersion = u"1.0.0";
    facts.dictionary = kInstalled;
    facts.dictionaryPresent = true;
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
  for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i].Problem(), i >= 2) << i;
}

// What each set's own line says is checked under Wine, set by set against the model.
TEST_F(ReportTest, SaysTheVerdictAndWhatToDoInBothLanguages) {
  SeedEveryState();
  const auto english = Text(Language::English);
  EXPECT_FALSE(english.allRegistered);
  for (const std::u16string& line : std::initializer_list<std::u16string>{
           u"QelDat2012 is registered in 3 of the 7 dictionary sets in use.\r\n",
           u"- Atkms\\DicSet3 names a file that no longer exists (e:\\gone\\qeldat2012.dic)",
           u"- Atokw\\DicSet1 does not hold it: choose \"Register in ATOK 2012 again\" in the "
           u"Start menu; it goes into slot 3.\r\n",
           u"- This Windows user may not change Atwd\\DicSet1 (Windows error 5)",
           u"- Atxl\\DicSet1 cannot be read (Windows error 5)",
           u"- User0\\DicSet1 has no free slot",
           u"\r\nDictionary sets not in use: 73 of 81.\r\n"}) {
    EXPECT_TRUE(Says(english, line));
  }
  const auto japanese = Text(Language::Japanese);
  for (const std::u16string& line : std::initializer_list<std::u16string>{
           u"QelDat2012 は、使用中の辞書セット 7 個のうち 3 個に登録されています。\r\n",
           u"\r\n- User0\\DicSet1 には空きスロットがありません（",
           u"使用中でない辞書セット: 81 個中 73 個\r\n"}) {
    EXPECT_TRUE(Says(japanese, line));
  }
  EXPECT_EQ(japanese.text.find(u"registered"), std::u16string::npos);
}

TEST_F(ReportTest, AllSetsRegisteredIsTheOneGoodVerdict) {
  for (const auto& profile : {u"Atkms", u"User0"}) SetText(InUseSet(profile, 1), Slot(2), kEntry);
  const auto said = Text(Language::English);
  EXPECT_TRUE(said.allRegistered);
  EXPECT_TRUE(
      Says(said, u"\r\n\r\nQelDat2012 is registered in all 2 dictionary sets in use.\r\n\r\n"));
}

TEST_F(ReportTest, NoSetInUseIsOneLineWithWhatToDo) {
  EXPECT_FALSE(Text(Language::English).allRegistered);
  EXPECT_TRUE(Says(Text(Language::English),
                   u"\r\n\r\nATOK 2012's settings are not there for this Windows user (yamada): "
                   u"ATOK 2012 is probably not installed, or this user has not started it "
                   u"yet.\r\n\r\n"));
  SetText(u"Software\\Justsystem\\ATOK\\26.0\\Profile\\User0\\DicSet1", Slot(1), kSystemDic);
  EXPECT_TRUE(Says(Text(Language::English),
                   u" Settings of other ATOK versions were found: 26.0. QelDat2012 is for ATOK "
                   u"2012 (version 25.0) only.\r\n"));
  SetText(SetKey(u"User0", 1), Slot(1), u"");
  const auto japanese = Text(Language::Japanese);
  EXPECT_FALSE(japanese.allRegistered);
  EXPECT_TRUE(Says(japanese,
                   u"\r\n\r\nこの Windows ユーザー（yamada）には、ATOK 2012 の使用中の"
                   u"辞書セットがありません。"));
  EXPECT_TRUE(Says(japanese, u"使用中でない辞書セット: 81 個中 81 個\r\n"));
}

TEST(EntryPath, IsWhatFollowsTheFirstTwoFields) {
  EXPECT_EQ(report::EntryPath(u"ON,0,C:\\DIC\\QELDAT2012.DIC"), u"C:\\DIC\\QELDAT2012.DIC");
  EXPECT_EQ(report::EntryPath(u"ON,0,C:\\A,B\\X.DIC"), u"C:\\A,B\\X.DIC");
  EXPECT_EQ(report::EntryPath(u"QELDAT2012.DIC"), u"QELDAT2012.DIC");
}

}  // namespace
