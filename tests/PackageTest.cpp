// The packages' rules that dicreport keeps for every engine: the command that deletes a held
// dictionary at a sign-in within Windows' limit, the status a package reads, and putting back
// what an install or removal changed.
#include "../report/Package.h"
#include "../report/Pending.h"
#include "AtokLayout.h"

namespace {

const std::u16string kCmd = u"C:\\WINDOWS\\system32\\cmd.exe";

TEST(CleanupCommand, NamesTheFolderOnceAndKeepsWithinWindowsLimit) {
  const std::u16string folder = u"C:\\Users\\yamada\\AppData\\Local\\QelDat2012";
  EXPECT_EQ(report::CleanupCommand(kCmd, folder, u"1.0.0"),
            u"\"C:\\WINDOWS\\system32\\cmd.exe\" /d /c cd /d \"" + folder +
                u"\" && (del \"1.0.0\\QelDat2012.dic\" & rmdir \"1.0.0\" & cd .. & rmdir "
                u"\"QelDat2012\")");
  EXPECT_EQ(report::CleanupCommand(kCmd, u"D:\\", u""),
            u"\"C:\\WINDOWS\\system32\\cmd.exe\" /d /c cd /d \"D:\\\" && (del \"QelDat2012.dic\")");
  EXPECT_EQ(report::ProfileRelative(folder, u"C:\\USERS\\Yamada"),
            u"%USERPROFILE%\\AppData\\Local\\QelDat2012");
  EXPECT_EQ(report::ProfileRelative(u"C:\\Users\\yamada2\\Q", u"C:\\Users\\yamada"),
            u"C:\\Users\\yamada2\\Q");
  // cmd would take any other percent sign for a variable's.
  EXPECT_EQ(report::CleanupCommand(kCmd, u"D:\\100%\\Q", u"1.0.0"), u"");
  EXPECT_NE(report::CleanupCommand(kCmd, u"%USERPROFILE%\\Q", u"1.0.0"), u"");

  // Windows XP's default folder for a user name of 20 characters, the longest it takes, and
  // the longest version fits even written out; the profile's variable comes first.
  const std::u16string profile = u"C:\\Documents and Settings\\" + std::u16string(20, u'n');
  const std::u16string xp = profile + u"\\Local Settings\\Application Data\\QelDat2012";
  EXPECT_LE(report::CleanupCommand(kCmd, xp, u"255.255.65534").size(), report::kLongestCommand);
  const std::u16string fits = report::FirstThatFits(
      {report::CleanupCommand(kCmd, report::ProfileRelative(xp, profile), u"255.255.65534"),
       report::CleanupCommand(kCmd, xp, u"255.255.65534")});
  EXPECT_EQ(fits.find(u"cd /d \"%USERPROFILE%\\Local Settings\\"), 36u);
  // A folder chosen as long as Windows lets one be: nothing fits, and the package says so.
  const std::u16string chosen = u"D:\\" + std::u16string(200, u'x');
  EXPECT_EQ(report::FirstThatFits({report::CleanupCommand(kCmd, chosen, u"1.0.0"), u""}), u"");
}

TEST(PackageStatus, StaysBelowTheTopBitWhateverDicregEndedWith) {
  EXPECT_EQ(report::PackageStatus(report::kWaits, report::kLogOff), 0x42u);
  EXPECT_EQ(report::PackageStatus(report::kFailed, report::kHeldOpen, 3), 0x30015u);
  EXPECT_EQ(report::PackageStatus(report::kFailed, 0, 0xC0000005), 0x7FFF0005u);
  EXPECT_EQ(report::PackageStatus(report::kRegistered, report::kLeftBehind, 7), 0x20u);
}

// What a failed MSI's rollback action puts back: the slots dicreg wrote or emptied, the Run and
// RunOnce values and the marker, as the record found them; nothing else is written.
TEST_F(RegistryTest, RecordPutsBackWhatAPackageChanged) {
  const auto set = InUseSet(u"Atkms", 1);
  SetText(set, Slot(2), kOtherDic);
  SetText(set, Slot(3), u"ON,0,C:\\OLD\\QELDAT2011.DIC");
  SetText(InUseSet(u"User0", 2), Slot(9), u"");
  SetText(report::kRunKey, u"Other", u"other.exe");
  SetText(report::kRunOnceKey, u"Qel (1.0.0)", u"cmd");
  const Tree before = Dump();
  const std::u16string record = report::RecordChanges();

  SetText(set, Slot(3), u"");
  SetText(set, Slot(4), u"ON,0,C:\\DIC\\QELDAT2012.DIC");
  DeleteValue(SetKey(u"User0", 2), Slot(9));
  SetText(report::kRunKey, u"Other", u"changed.exe");
  ASSERT_TRUE(report::LeaveStartup(u"Qel", u"\"C:\\Q\\dicreport.exe\" /signin"));
  DeleteValue(report::kRunOnceKey, u"Qel (1.0.0)");
  report::PutBack(record);
  EXPECT_EQ(Dump(), before);
}

}  // namespace
