// Reading and writing single values: what each stored shape reads as, and what a write stores.
#include "../registry/RegSet.h"

#include "RegistryFixture.h"

namespace {

const std::u16string kKey = u"Software\\Justsystem\\ATOK\\25.0\\Profile\\Atkms\\DicSet1";
const std::u16string kSlot = u"システム辞書２";

class RegSetTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    CreateKey(kKey);
  }
};

TEST_F(RegSetTest, MissingValueOrKeyReadsAsEmptyText) {
  EXPECT_EQ(RegSet::GetKeyValue(kKey, kSlot), u"");
  EXPECT_EQ(RegSet::GetKeyValue(kKey + u"\\Nowhere", kSlot), u"");
  EXPECT_EQ(RegSet::GetKeyValue(u"Software\\Nobody\\Home", u"x"), u"");
}

TEST_F(RegSetTest, IntegerReadsAsItsDecimalText) {
  SetDword(kKey, u"n", 42);
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"n"), u"42");
  SetDword(kKey, u"n", 0xFFFFFFFF);
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"n"), u"-1");
  SetDword(kKey, u"n", 0x80000000);
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"n"), u"-2147483648");
}

TEST_F(RegSetTest, OtherValueTypesReadAsEmptyText) {
  SetRaw(kKey, u"expand", REG_EXPAND_SZ, TextBytes(u"%TEMP%\\QelDat2012.dic"));
  SetRaw(kKey, u"binary", REG_BINARY, {1, 2, 3, 4});
  SetRaw(kKey, u"multi", REG_MULTI_SZ, TextBytes(std::u16string(u"a\0b\0", 4)));
  SetRaw(kKey, u"qword", REG_QWORD, {42, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"expand"), u"");
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"binary"), u"");
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"multi"), u"");
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"qword"), u"");
}

TEST_F(RegSetTest, GetValueReportsStatusAndKeepsHolderWhenNothingIsRead) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const WCHAR*>(kKey.c_str()), 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  SetRaw(kKey, u"binary", REG_BINARY, {1});
  SetText(kKey, u"text", u"ON,0,C:\\DIC\\A.DIC");
  SetDword(kKey, u"number", 7);

  RegSet::Variant holder = std::u16string(u"before");
  EXPECT_EQ(RegSet::GetValue(key, u"missing", holder), 0);
  EXPECT_EQ(holder, RegSet::Variant(std::u16string(u"before")));
  EXPECT_EQ(RegSet::GetValue(key, u"binary", holder), RegSet::kUnsupportedType);
  EXPECT_EQ(holder, RegSet::Variant(std::u16string(u"before")));
  EXPECT_EQ(RegSet::GetValue(key, u"text", holder), 0);
  EXPECT_EQ(holder, RegSet::Variant(std::u16string(u"ON,0,C:\\DIC\\A.DIC")));
  EXPECT_EQ(RegSet::GetValue(key, u"number", holder), 0);
  EXPECT_EQ(holder, RegSet::Variant(std::int32_t{7}));
  RegCloseKey(key);
}

TEST_F(RegSetTest, EmptyTextIsStoredAsItsNulAlone) {
  RegSet::PutKeyValue(kKey, kSlot, std::u16string(), RegSet::kTypeText);
  const auto stored = Read(kKey, kSlot);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored->data, (std::vector<BYTE>{0, 0}));
  EXPECT_EQ(RegSet::GetKeyValue(kKey, kSlot), u"");
}

TEST_F(RegSetTest, JapanesePathIsStoredAsUtf16WithItsNul) {
  const std::u16string entry = u"ON,0,C:\\辞書\\QELDAT2012.DIC";
  RegSet::PutKeyValue(kKey, kSlot, entry, RegSet::kTypeText);
  const auto stored = Read(kKey, kSlot);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->data.size(), 52u);
  EXPECT_TRUE(HoldsText(kKey, kSlot, entry));
  EXPECT_EQ(RegSet::GetKeyValue(kKey, kSlot), entry);
}

TEST_F(RegSetTest, CharactersOutsideAnyCodePageSurvive) {
  const std::u16string entry = u"ON,0,C:\\DICS\\Ω😀\\QELDAT2012.DIC";
  RegSet::PutKeyValue(kKey, kSlot, entry, RegSet::kTypeText);
  EXPECT_TRUE(HoldsText(kKey, kSlot, entry));
  EXPECT_EQ(RegSet::GetKeyValue(kKey, kSlot), entry);
}

TEST_F(RegSetTest, TextStoredWithoutNulReadsWhole) {
  SetRaw(kKey, kSlot, REG_SZ, TextBytes(u"ON,0,C:\\OTHER\\X.DIC", false));
  EXPECT_EQ(RegSet::GetKeyValue(kKey, kSlot), u"ON,0,C:\\OTHER\\X.DIC");
}

TEST_F(RegSetTest, NulInsideTextEndsIt) {
  SetRaw(kKey, kSlot, REG_SZ, TextBytes(std::u16string(u"ON,0,A\0QELDAT", 13)));
  EXPECT_EQ(RegSet::GetKeyValue(kKey, kSlot), u"ON,0,A");
}

TEST_F(RegSetTest, TextOfNoBytesReadsAsEmptyText) {
  SetRaw(kKey, kSlot, REG_SZ, {});
  EXPECT_EQ(RegSet::GetKeyValue(kKey, kSlot), u"");
}

TEST_F(RegSetTest, KeyAndValueNamesMatchWhateverTheirCase) {
  SetText(kKey, u"Slot", u"ON,0,X");
  EXPECT_EQ(
      RegSet::GetKeyValue(u"SOFTWARE\\JUSTSYSTEM\\atok\\25.0\\PROFILE\\ATKMS\\dicset1", u"sLOT"),
      u"ON,0,X");
  RegSet::PutKeyValue(kKey, u"SLOT", u"ON,0,Y", RegSet::kTypeText);
  EXPECT_TRUE(HoldsText(kKey, u"Slot", u"ON,0,Y"));
  EXPECT_EQ(Dump().size(), 1u);
}

TEST_F(RegSetTest, WriteIntoMissingKeyCreatesNothing) {
  const std::u16string missing = u"Software\\Justsystem\\ATOK\\25.0\\Profile\\User0\\DicSet1";
  RegSet::PutKeyValue(missing, kSlot, u"ON,0,X", RegSet::kTypeText);
  EXPECT_TRUE(IsMissing(missing, kSlot));
  EXPECT_EQ(Dump(u"Software\\Justsystem\\ATOK\\25.0\\Profile\\User0"), Tree());
}

TEST_F(RegSetTest, WriteReplacesValueOfAnotherType) {
  SetDword(kKey, kSlot, 5);
  RegSet::PutKeyValue(kKey, kSlot, std::u16string(), RegSet::kTypeText);
  EXPECT_TRUE(HoldsText(kKey, kSlot, u""));
}

TEST_F(RegSetTest, IntegerWritesFourLittleEndianBytes) {
  RegSet::PutKeyValue(kKey, u"n", std::int32_t{-2}, RegSet::kTypeInteger);
  EXPECT_EQ(Read(kKey, u"n"), (Stored{REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}}));
  RegSet::PutKeyValue(kKey, u"n", std::u16string(u"258"), RegSet::kTypeInteger);
  EXPECT_EQ(Read(kKey, u"n"), (Stored{REG_DWORD, {2, 1, 0, 0}}));
  EXPECT_EQ(RegSet::GetKeyValue(kKey, u"n"), u"258");
}

TEST_F(RegSetTest, TextThatIsNoIntegerIsAFailureNotAWrite) {
  EXPECT_THROW(RegSet::PutKeyValue(kKey, u"n", std::u16string(u"4x"), RegSet::kTypeInteger),
               std::invalid_argument);
  EXPECT_THROW(RegSet::PutKeyValue(kKey, u"n", std::u16string(u"2147483648"), RegSet::kTypeInteger),
               std::invalid_argument);
  EXPECT_TRUE(IsMissing(kKey, u"n"));
}

TEST_F(RegSetTest, OtherTypesWriteNothing) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const WCHAR*>(kKey.c_str()), 0,
                          RegSet::kKeyAccess, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSet::PutValue(key, u"b", REG_BINARY, std::u16string(u"x")), 0);
  EXPECT_EQ(RegSet::PutValue(key, u"e", REG_EXPAND_SZ, std::u16string(u"x")), 0);
  RegCloseKey(key);
  EXPECT_EQ(Dump(), Tree());
}

}  // namespace
