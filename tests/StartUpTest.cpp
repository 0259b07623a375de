// From the command line to the registry: which run an argument starts, and the exit status.
#include "../startup/StartUp.h"

#include "AtokLayout.h"

namespace {

class StartUpTest : public RegistryTest {
 protected:
  int RunWith(const std::u16string& commandLine) {
    Form1 form;
    const int status = startup::Run(form, commandLine);
    dicPath = form.DicPath;
    return status;
  }
  std::u16string dicPath;
};

TEST(ArgumentText, IsEverythingAfterTheProgramName) {
  EXPECT_EQ(startup::ArgumentText(u"dicreg.exe C:\\Dic\\QelDat2012.dic"),
            u"C:\\Dic\\QelDat2012.dic");
  EXPECT_EQ(startup::ArgumentText(u"\"C:\\Program Files\\x\\dicreg.exe\"   /uninst"), u"/uninst");
  EXPECT_EQ(startup::ArgumentText(u"\"C:\\Program Files\\x\\dicreg.exe\"/uninst"), u"/uninst");
  EXPECT_EQ(startup::ArgumentText(u"dicreg.exe\tC:\\A B\\x.dic "), u"C:\\A B\\x.dic ");
  EXPECT_EQ(startup::ArgumentText(u"dicreg.exe"), u"");
  EXPECT_EQ(startup::ArgumentText(u"\"C:\\unclosed dicreg.exe x"), u"");
  EXPECT_EQ(startup::ArgumentText(u""), u"");
}

TEST(CleanArgument, DropsTrailingBlanksThenOneEnclosingPairOfQuotes) {
  EXPECT_EQ(startup::CleanArgument(u"C:\\My Dics\\QelDat2012.dic \t "),
            u"C:\\My Dics\\QelDat2012.dic");
  EXPECT_EQ(startup::CleanArgument(u"\"C:\\My Dics\\QelDat2012.dic\"  "),
            u"C:\\My Dics\\QelDat2012.dic");
  EXPECT_EQ(startup::CleanArgument(u"\"/uninst\""), u"/uninst");
  EXPECT_EQ(startup::CleanArgument(u"\"\"x\"\""), u"\"x\"");
  EXPECT_EQ(startup::CleanArgument(u"\""), u"\"");
  EXPECT_EQ(startup::CleanArgument(u"\"C:\\a.dic"), u"\"C:\\a.dic");
}

TEST_F(StartUpTest, UninstallOnlyRemoves) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), u"ON,0,C:\\DIC\\QELDAT2012.DIC");
  EXPECT_EQ(RunWith(u"dicreg.exe /uninst"), startup::kDone);
  EXPECT_TRUE(HoldsText(key, Slot(2), u""));
  EXPECT_TRUE(IsMissing(key, Slot(3)));
}

TEST_F(StartUpTest, UninstallWithNothingToRemoveSucceeds) {
  EXPECT_EQ(RunWith(u"dicreg.exe /uninst"), startup::kDone);
  EXPECT_EQ(Dump(), Tree());
}

// A set this user may read but not change keeps its entry: removal says so with 4, empties the
// rest, and registration passes the set over. A set it cannot even read holds nothing it sees.
TEST_F(StartUpTest, UninstallEndsWith4WhenAReadOnlySetKeepsAnEntry) {
  const auto locked = InUseSet(u"Atkms", 1);
  const auto open = InUseSet(u"User0", 1);
  const auto hidden = InUseSet(u"Atxl", 1);
  for (const auto& key : {locked, open, hidden}) {
    SetText(key, Slot(2), u"ON,0,C:\\DIC\\QELDAT2011.DIC");
  }
  AllowOnly(hidden, 0);
  EXPECT_EQ(RunWith(u"dicreg.exe /uninst"), startup::kDone);
  EXPECT_TRUE(HoldsText(locked, Slot(2), u""));
  SetText(locked, Slot(3), u"ON,0,C:\\DIC\\QELDAT2011.DIC");
  SetText(open, Slot(2), u"ON,0,C:\\DIC\\QELDAT2011.DIC");
  AllowOnly(locked, KEY_READ);
  EXPECT_EQ(RunWith(u"dicreg.exe /uninst"), startup::kKept);
  EXPECT_TRUE(HoldsText(open, Slot(2), u""));
  EXPECT_EQ(RunWith(u"dicreg.exe C:\\Dic\\QelDat2012.dic"), startup::kDone);
  EXPECT_TRUE(HoldsText(open, Slot(2), u"ON,0,C:\\DIC\\QELDAT2012.DIC"));
  EXPECT_TRUE(HoldsText(locked, Slot(3), u"ON,0,C:\\DIC\\QELDAT2011.DIC"));
}

TEST_F(StartUpTest, UpperCaseSwitchIsAPath) {
  const auto key = InUseSet(u"Atkms", 1);
  EXPECT_EQ(RunWith(u"dicreg.exe /UNINST"), startup::kDone);
  EXPECT_TRUE(HoldsText(key, Slot(2), u"ON,0,/UNINST"));
}

TEST_F(StartUpTest, QuotedSwitchRemoves) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), u"ON,0,C:\\DIC\\QELDAT2012.DIC");
  EXPECT_EQ(RunWith(u"\"C:\\Program Files\\App\\dicreg.exe\" \"/uninst\""), startup::kDone);
  EXPECT_TRUE(HoldsText(key, Slot(2), u""));
}

TEST_F(StartUpTest, PathWithBlanksArrivesWhole) {
  const auto key = InUseSet(u"Atkms", 1);
  EXPECT_EQ(RunWith(u"dicreg.exe C:\\My Dics\\QelDat2012.dic"), startup::kDone);
  EXPECT_EQ(dicPath, u"C:\\My Dics\\QelDat2012.dic");
  EXPECT_TRUE(HoldsText(key, Slot(2), u"ON,0,C:\\MY DICS\\QELDAT2012.DIC"));
}

TEST_F(StartUpTest, QuotedPathWithTrailingBlanksIsUnquoted) {
  const auto key = InUseSet(u"Atkms", 1);
  EXPECT_EQ(RunWith(u"\"C:\\Program Files\\App\\dicreg.exe\" \"C:\\My Dics\\QelDat2012.dic\" \t"),
            startup::kDone);
  EXPECT_TRUE(HoldsText(key, Slot(2), u"ON,0,C:\\MY DICS\\QELDAT2012.DIC"));
}

TEST_F(StartUpTest, InstallAlwaysRemovesFirst) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), kOtherDic);
  SetText(key, Slot(5), u"ON,0,C:\\OLD\\QELDAT2011.DIC");
  EXPECT_EQ(RunWith(u"dicreg.exe C:\\Dic\\QelDat2012.dic"), startup::kDone);
  EXPECT_EQ(RunWith(u"dicreg.exe D:\\New\\QelDat2012.dic"), startup::kDone);
  EXPECT_TRUE(HoldsText(key, Slot(3), u"ON,0,D:\\NEW\\QELDAT2012.DIC"));
  EXPECT_TRUE(HoldsText(key, Slot(5), u""));
  int family = 0;
  for (const auto& [where, stored] : Dump()) {
    family += stored == Stored{REG_SZ, TextBytes(u"ON,0,D:\\NEW\\QELDAT2012.DIC")};
    family += stored == Stored{REG_SZ, TextBytes(u"ON,0,C:\\DIC\\QELDAT2012.DIC")};
  }
  EXPECT_EQ(family, 1);
}

TEST_F(StartUpTest, NoSetToTakeTheDictionaryExitsWith1) {
  EXPECT_EQ(RunWith(u"dicreg.exe C:\\Dic\\QelDat2012.dic"), startup::kNoSetFound);
  EXPECT_EQ(Dump(), Tree());
}

TEST_F(StartUpTest, EmptyOrBlankArgumentIsRefused) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), u"ON,0,C:\\DIC\\QELDAT2012.DIC");
  const Tree before = Dump();
  for (const auto* commandLine :
       {u"dicreg.exe", u"dicreg.exe   ", u"dicreg.exe \t", u"dicreg.exe \"\"", u"dicreg.exe \"  \"",
        u"\"C:\\Program Files\\App\\dicreg.exe\"", u""}) {
    EXPECT_EQ(RunWith(commandLine), startup::kRefused);
  }
  EXPECT_EQ(Dump(), before);
}

}  // namespace
