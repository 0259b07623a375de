// What only the host stand-ins can observe: every registry call made, the message boxes, the
// ending of the process, an injected failure and a value changed between two calls.
#include <functional>

#include "../registry/RegSet.h"
#include "../registry/WinText.h"
#include "../startup/StartUp.h"
#include "AtokLayout.h"
#include "HostWin.h"

namespace {

using hostwin::RegCalls;

class HostOnlyTest : public RegistryTest {
 protected:
  // Runs the program as Windows would start it: StartUp never returns, it ends the process.
  UINT Start(const std::u16string& commandLine) {
    hostwin::SetCommandLine(commandLine);
    hostwin::ClearRegCalls();
    try {
      StartUp();
    } catch (const hostwin::ProcessExit& exit) {
      return exit.code;
    }
    ADD_FAILURE() << "StartUp returned instead of ending the process";
    return 99;
  }

  static Form1 QelDatForm() {
    Form1 form;
    form.DicName = u"QelDat2012";
    form.DicNameEx = u"QelDat";
    form.DicPath = u"C:\\Dic\\QelDat2012.dic";
    return form;
  }

  // Another process rewrites the slot before each of the program's data queries of it.
  static void WhileReading(const std::u16string& slot, std::function<void()> change) {
    hostwin::BeforeDataQuery([slot, change](const std::u16string& name) {
      if (name == slot) change();
    });
  }

  static std::size_t QueriesOf(const std::u16string& name) {
    std::size_t count = 0;
    for (const auto& call : RegCalls())
      count += call.api == "RegQueryValueExW" && call.name == name;
    return count;
  }
};

TEST_F(HostOnlyTest, FailedOpenIsTheOnlyCallMade) {
  EXPECT_EQ(RegSet::GetKeyValue(u"Software\\Missing", u"x"), u"");
  RegSet::PutKeyValue(u"Software\\Missing", u"x", std::u16string(u"y"), RegSet::kTypeText);
  ASSERT_EQ(RegCalls().size(), 2u);
  for (const auto& call : RegCalls()) {
    EXPECT_EQ(call.api, "RegOpenKeyExW");
    EXPECT_EQ(call.result, ERROR_FILE_NOT_FOUND);
  }
}

TEST_F(HostOnlyTest, KeyThatRefusesToOpenIsNeitherReadNorWritten) {
  const auto key = InUseSet(u"Atkms", 1);
  hostwin::DenyOpen(key);
  hostwin::ClearRegCalls();
  EXPECT_EQ(RegSet::GetKeyValue(key, Slot(1)), u"");
  RegSet::PutKeyValue(key, Slot(2), std::u16string(u"ON,0,X"), RegSet::kTypeText);
  ASSERT_EQ(RegCalls().size(), 2u);
  EXPECT_EQ(RegCalls()[1].result, ERROR_ACCESS_DENIED);
}

TEST_F(HostOnlyTest, KeysOpenWithAccess3FAndCloseAfterOneCall) {
  const auto key = InUseSet(u"Atkms", 1);
  hostwin::ClearRegCalls();
  EXPECT_EQ(RegSet::GetKeyValue(key, Slot(1)), kSystemDic);
  RegSet::PutKeyValue(key, Slot(2), std::u16string(u"ON,0,C:\\辞書\\QELDAT2012.DIC"),
                      RegSet::kTypeText);
  RegSet::PutKeyValue(key, Slot(3), std::u16string(), RegSet::kTypeText);
  std::vector<std::string> apis;
  for (const auto& call : RegCalls()) apis.push_back(call.api);
  EXPECT_EQ(apis, (std::vector<std::string>{"RegOpenKeyExW", "RegQueryValueExW", "RegQueryValueExW",
                                            "RegCloseKey", "RegOpenKeyExW", "RegSetValueExW",
                                            "RegCloseKey", "RegOpenKeyExW", "RegSetValueExW",
                                            "RegCloseKey"}));
  EXPECT_EQ(RegCalls()[0].detail, 0x3Fu);
  EXPECT_EQ(RegCalls()[5].detail, 52u);  // UTF-16 bytes with the NUL
  EXPECT_EQ(RegCalls()[8].detail, 2u);
}

TEST_F(HostOnlyTest, StartUpEndsTheProcessWithTheRunStatus) {
  InUseSet(u"Atkms", 1);
  EXPECT_EQ(Start(u"dicreg.exe C:\\Dic\\QelDat2012.dic"), 0u);
  EXPECT_TRUE(HoldsText(SetKey(u"Atkms", 1), Slot(2), u"ON,0,C:\\DIC\\QELDAT2012.DIC"));
  EXPECT_EQ(Start(u"dicreg.exe"), 2u);
  EXPECT_TRUE(RegCalls().empty());
  EXPECT_TRUE(hostwin::MessageBoxes().empty());
}

TEST_F(HostOnlyTest, UninstallShowsNoMessageEvenWhenNothingWasRemoved) {
  EXPECT_EQ(Start(u"dicreg.exe /uninst"), 0u);
  EXPECT_TRUE(hostwin::MessageBoxes().empty());
}

TEST_F(HostOnlyTest, InstallWithNoSetShowsTheMessageOnceThenExitsWith1) {
  EXPECT_EQ(Start(u"dicreg.exe C:\\Dic\\QelDat2012.dic"), 1u);
  ASSERT_EQ(hostwin::MessageBoxes().size(), 1u);
  EXPECT_EQ(hostwin::MessageBoxes()[0].caption, u"辞書登録エラー");
  EXPECT_EQ(hostwin::MessageBoxes()[0].type, 16u);
}

TEST_F(HostOnlyTest, UnexpectedFailureIsReportedAndExitsWith3) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), u"ON,0,C:\\QELDAT2011.DIC");
  hostwin::FailNextQuery();
  EXPECT_EQ(Start(u"dicreg.exe C:\\Dic\\QelDat2012.dic"), 3u);
  ASSERT_EQ(hostwin::MessageBoxes().size(), 1u);
  const auto& box = hostwin::MessageBoxes()[0];
  EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
  EXPECT_NE(box.text.find(u"bad_alloc"), std::u16string::npos);
  // The run stopped at once: nothing after the failure was written.
  EXPECT_TRUE(HoldsText(key, Slot(2), u"ON,0,C:\\QELDAT2011.DIC"));
}

TEST_F(HostOnlyTest, EachSlotIsReadOncePerVisit) {
  const auto key = InUseSet(u"Atkms", 1);
  for (int k = 2; k <= 9; ++k) SetText(key, Slot(k), kOtherDic);
  Form1 form = QelDatForm();
  hostwin::ClearRegCalls();
  EXPECT_EQ(form.FoundSpace(key), u"");
  std::size_t queries = 0;
  for (const auto& call : RegCalls()) queries += call.api == "RegQueryValueExW";
  EXPECT_EQ(queries, 2u * 9u);  // size then data, for slot 1 and each of slots 2 to 9
}

// A slot rewritten by another process (ATOK saving its settings) between the query of its size
// and the query of its data.

TEST_F(HostOnlyTest, SlotThatGrowsWhileReadIsReadAgainAndKeepsItsDictionary) {
  const auto key = InUseSet(u"Atkms", 1);
  const std::u16string longer = u"ON,0,C:\\DICS\\MEDICAL 2013\\MEDICAL.DIC";
  SetText(key, Slot(2), kOtherDic);
  Form1 form = QelDatForm();
  form.DelAtok25();
  int changes = 0;
  WhileReading(Slot(2), [&] {
    if (changes++ == 0) SetText(key, Slot(2), longer);
  });
  form.SetAtok25();
  hostwin::BeforeDataQuery(nullptr);
  EXPECT_EQ(changes, 2);  // read again once
  EXPECT_TRUE(HoldsText(key, Slot(2), longer));
  EXPECT_TRUE(HoldsText(key, Slot(3), u"ON,0,C:\\DIC\\QELDAT2012.DIC"));
}

TEST_F(HostOnlyTest, SlotThatKeepsGrowingReadsAsEmptyAfterAFewAttempts) {
  const auto key = InUseSet(u"Atkms", 1);
  std::u16string text = kOtherDic;
  SetText(key, Slot(2), text);
  WhileReading(Slot(2), [&] { SetText(key, Slot(2), text += u'X'); });
  hostwin::ClearRegCalls();
  EXPECT_EQ(RegSet::GetKeyValue(key, Slot(2)), u"");
  EXPECT_GT(QueriesOf(Slot(2)), 2u);
  EXPECT_LE(QueriesOf(Slot(2)), 10u);
}

TEST_F(HostOnlyTest, SlotThatChangesTypeIsJudgedByItsNewType) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), kOtherDic);
  WhileReading(Slot(2), [&] { SetDword(key, Slot(2), 42); });
  EXPECT_EQ(RegSet::GetKeyValue(key, Slot(2)), u"42");

  SetDword(key, Slot(3), 7);
  WhileReading(Slot(3), [&] { SetText(key, Slot(3), u"9"); });
  EXPECT_EQ(RegSet::GetKeyValue(key, Slot(3)), u"9");

  // Bytes of another type are never taken for text, even when they spell an entry.
  SetText(key, Slot(4), kOtherDic);
  WhileReading(Slot(4),
               [&] { SetRaw(key, Slot(4), REG_BINARY, TextBytes(u"ON,0,C:\\QELDAT2011.DIC")); });
  EXPECT_EQ(RegSet::GetKeyValue(key, Slot(4)), u"");
}

TEST_F(HostOnlyTest, SlotThatVanishesWhileReadIsMissing) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), kOtherDic);
  WhileReading(Slot(2), [&] { DeleteValue(key, Slot(2)); });
  hostwin::ClearRegCalls();
  EXPECT_EQ(RegSet::GetKeyValue(key, Slot(2)), u"");
  EXPECT_EQ(QueriesOf(Slot(2)), 2u);  // nothing to read again
}

// A set locked by its DACL (or deleted) between dicreg's read of a slot and its write there.

TEST_F(HostOnlyTest, WriteRefusedAfterTheReadTakesNothing) {
  const auto locked = InUseSet(u"Atkms", 1);
  SetText(locked, Slot(2), u"");
  WhileReading(Slot(2), [&] { hostwin::Allow(locked, KEY_READ); });
  Form1 form = QelDatForm();
  form.SetAtok25();
  EXPECT_EQ(form.exFlag, Form1::kFalse);
  EXPECT_EQ(hostwin::MessageBoxes().size(), 1u);
  EXPECT_TRUE(HoldsText(locked, Slot(2), u""));

  // Another set that takes it is enough, and shows no box.
  hostwin::Reset();
  const auto open = InUseSet(u"User0", 1);
  const auto gone = InUseSet(u"Atkms", 1);
  SetText(gone, Slot(2), u"");
  WhileReading(Slot(2), [&] { RegDeleteTreeW(HKEY_CURRENT_USER, Wide(gone)); });
  form.SetAtok25();
  EXPECT_EQ(form.exFlag, Form1::kTrue);
  EXPECT_TRUE(hostwin::MessageBoxes().empty());
  EXPECT_TRUE(HoldsText(open, Slot(2), u"ON,0,C:\\DIC\\QELDAT2012.DIC"));
}

TEST_F(HostOnlyTest, UninstallThatCannotEmptyAnEntryEndsWith4AndEmptiesTheRest) {
  const auto locked = InUseSet(u"Atkms", 1);
  const auto open = InUseSet(u"User0", 1);
  for (const auto& key : {locked, open}) SetText(key, Slot(2), u"ON,0,C:\\DIC\\QELDAT2012.DIC");
  SetText(locked, Slot(3), u"ON,0,C:\\OLD\\QELDAT2011.DIC");
  WhileReading(Slot(3), [&] { hostwin::Allow(locked, KEY_READ); });
  EXPECT_EQ(Start(u"dicreg.exe /uninst"), 4u);
  EXPECT_TRUE(hostwin::MessageBoxes().empty());
  EXPECT_TRUE(HoldsText(locked, Slot(2), u""));
  EXPECT_TRUE(HoldsText(locked, Slot(3), u"ON,0,C:\\OLD\\QELDAT2011.DIC"));
  EXPECT_TRUE(HoldsText(open, Slot(2), u""));
}

}  // namespace
