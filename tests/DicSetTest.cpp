// Registration and removal over dictionary-set layouts.
#include "../dicset/Layout.h"
#include "../startup/Form1.h"
#include "AtokLayout.h"

#ifndef _WIN32
#include "HostWin.h"
#endif

namespace {

const std::u16string kEntry = u"ON,0,C:\\DIC\\QELDAT2012.DIC";

class DicSetTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    form.DicName = u"QelDat2012";
    form.DicNameEx = u"QelDat";
    form.DicPath = u"C:\\Dic\\QelDat2012.dic";
  }

  void Install() {
    form.DelAtok25();
    form.SetAtok25();
  }

  // The host records message boxes; on Windows the end-to-end suite watches the real ones.
  void ExpectFailureBoxes(std::size_t count) {
#ifndef _WIN32
    ASSERT_EQ(hostwin::MessageBoxes().size(), count);
    for (const auto& box : hostwin::MessageBoxes()) {
      EXPECT_EQ(box.caption, u"辞書登録エラー");
      EXPECT_EQ(box.text,
                u"ATOK2012のユーザー情報が未設定の可能性があります。\r\n詳しくは、ヴェルノア"
                u"のホームページから「Q&A ATOK版 ソルベリアについて」を参照してください。");
      EXPECT_EQ(box.type, 16u);
      EXPECT_EQ(box.owner, nullptr);
    }
#else
    (void)count;
#endif
  }

  Form1 form;
};

TEST_F(DicSetTest, SlotNamesEndInFullWidthDigits) {
  EXPECT_EQ(dicset::SlotName(1), u"システム辞書１");
  EXPECT_EQ(dicset::SlotName(2), u"システム辞書２");
  EXPECT_EQ(dicset::SlotName(9), u"システム辞書９");
  EXPECT_EQ(dicset::SetKeys(u"User0")[8],
            u"Software\\Justsystem\\ATOK\\25.0\\Profile\\User0\\DicSet9");
}

TEST_F(DicSetTest, UpperCaseFollowsTheLocaleMapping) {
  EXPECT_EQ(dicset::Upper(u"c:\\dic\\qeldat2012.dic"), u"C:\\DIC\\QELDAT2012.DIC");
  EXPECT_EQ(dicset::Upper(u"ｑｅｌ\\é\\辞書"), u"ＱＥＬ\\É\\辞書");
  EXPECT_TRUE(dicset::RefersTo(u"on,0,c:\\dic\\qeldat2012.dic", u"QelDat2012"));
  EXPECT_FALSE(dicset::RefersTo(u"ON,0,C:\\DIC\\QEL_DAT.DIC", u"QelDat"));
}

TEST_F(DicSetTest, NoAtokSettingsGivesOneMessageAndWritesNothing) {
  form.DelAtok25();
  ExpectFailureBoxes(0);
  form.SetAtok25();
  EXPECT_EQ(form.exFlag, Form1::kFalse);
  ExpectFailureBoxes(1);
  EXPECT_EQ(Dump(), Tree());
}

TEST_F(DicSetTest, EveryInUseSetOfEveryProfileGetsOneEntry) {
  const auto a1 = InUseSet(u"Atkms", 1);
  const auto a2 = InUseSet(u"Atkms", 2);
  const auto u1 = InUseSet(u"User0", 1);
  CreateKey(SetKey(u"Atkms", 3));  // exists, but slot 1 is missing
  Install();
  EXPECT_EQ(form.exFlag, Form1::kTrue);
  ExpectFailureBoxes(0);
  for (const auto& key : {a1, a2, u1}) EXPECT_TRUE(HoldsText(key, Slot(2), kEntry));
  EXPECT_EQ(Dump().size(), 6u);  // three slot 1 values and three entries
}

TEST_F(DicSetTest, AllNineProfilesAreVisited) {
  for (const auto& profile : dicset::kProfiles) InUseSet(profile, 9);
  InUseSet(u"Atok99", 1);
  Install();
  for (const auto& profile : dicset::kProfiles) {
    EXPECT_TRUE(HoldsText(SetKey(profile, 9), Slot(2), kEntry));
  }
  EXPECT_TRUE(IsMissing(SetKey(u"Atok99", 1), Slot(2)));
}

TEST_F(DicSetTest, OlderEditionIsEmptiedAndItsSlotReused) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), kOtherDic);
  SetText(key, Slot(3), u"ON,0,C:\\OLD\\QELDAT2011.DIC");
  form.DelAtok25();
  EXPECT_TRUE(HoldsText(key, Slot(3), u""));
  form.SetAtok25();
  EXPECT_TRUE(HoldsText(key, Slot(2), kOtherDic));
  EXPECT_TRUE(HoldsText(key, Slot(3), kEntry));
  EXPECT_TRUE(IsMissing(key, Slot(4)));
}

TEST_F(DicSetTest, LowerCaseEntryIsThisEditionAndThisFamily) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), kOtherDic);
  SetText(key, Slot(3), u"on,0,c:\\dic\\qeldat2012.dic");
  EXPECT_EQ(form.FoundSpace(key), Slot(3));
  form.DelDicSet(key);
  EXPECT_TRUE(HoldsText(key, Slot(3), u""));
}

TEST_F(DicSetTest, FirstFreeSlotWinsOverTheEditionFurtherOn) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, Slot(2), kOtherDic);
  SetText(key, Slot(4), u"");
  SetText(key, Slot(6), u"ON,0,D:\\QELDAT2012.DIC");
  EXPECT_EQ(form.FoundSpace(key), Slot(3));
  SetText(key, Slot(3), kOtherDic);
  EXPECT_EQ(form.FoundSpace(key), Slot(4));
  SetText(key, Slot(4), kOtherDic);
  SetText(key, Slot(5), kOtherDic);
  EXPECT_EQ(form.FoundSpace(key), Slot(6));
}

TEST_F(DicSetTest, MissingSlot2IsCreated) {
  const auto key = InUseSet(u"Atkms", 1);
  EXPECT_EQ(form.FoundSpace(key), u"システム辞書２");
  form.SetDicSet(key);
  EXPECT_TRUE(HoldsText(key, Slot(2), kEntry));
}

TEST_F(DicSetTest, SetWithoutSlot1IsLeftAlone) {
  const auto empty = SetKey(u"Atkms", 1);
  const auto missing = SetKey(u"Atkms", 2);
  const auto binary = SetKey(u"Atkms", 3);
  SetText(empty, Slot(1), u"");
  SetRaw(binary, Slot(1), REG_BINARY, {1, 2});
  for (const auto& key : {empty, missing, binary}) {
    for (int k = 2; k <= 9; ++k) SetText(key, Slot(k), u"ON,0,C:\\QELDAT2011.DIC");
  }
  const Tree before = Dump();
  Install();
  EXPECT_EQ(Dump(), before);
  ExpectFailureBoxes(1);
}

TEST_F(DicSetTest, FullSetsGetNothingAndOneMessage) {
  for (int set : {1, 5}) {
    const auto key = InUseSet(u"Atokw", set);
    for (int k = 2; k <= 9; ++k) SetText(key, Slot(k), kOtherDic);
  }
  const Tree before = Dump();
  Install();
  EXPECT_EQ(form.exFlag, Form1::kFalse);
  EXPECT_EQ(Dump(), before);
  ExpectFailureBoxes(1);
}

TEST_F(DicSetTest, RemovalEmptiesEveryFamilyEntryAndKeepsTheValues) {
  const auto key = InUseSet(u"User0", 4);
  SetText(key, Slot(2), u"ON,0,C:\\QELDAT2010.DIC");
  SetText(key, Slot(3), kOtherDic);
  SetText(key, Slot(5), u"ON,0,C:\\DIC\\QelDat2012.dic");
  SetText(key, Slot(9), u"OFF,0,C:\\qeldat.dic");
  form.DelAtok25();
  EXPECT_TRUE(HoldsText(key, Slot(2), u""));
  EXPECT_TRUE(HoldsText(key, Slot(3), kOtherDic));
  EXPECT_TRUE(HoldsText(key, Slot(5), u""));
  EXPECT_TRUE(HoldsText(key, Slot(9), u""));
  EXPECT_TRUE(HoldsText(key, Slot(1), kSystemDic));
  ExpectFailureBoxes(0);
}

TEST_F(DicSetTest, NamesWithPlainDigitsAreOtherValues) {
  const auto key = InUseSet(u"Atkms", 1);
  SetText(key, u"システム辞書2", u"ON,0,C:\\QELDAT2011.DIC");
  SetText(key, u"システム辞書1", kOtherDic);
  Install();
  EXPECT_TRUE(HoldsText(key, u"システム辞書2", u"ON,0,C:\\QELDAT2011.DIC"));
  EXPECT_TRUE(HoldsText(key, Slot(2), kEntry));
}

TEST_F(DicSetTest, TextWithoutNulIsNotAFreeSlot) {
  const auto key = InUseSet(u"Atkms", 1);
  SetRaw(key, Slot(2), REG_SZ, TextBytes(kOtherDic, false));
  SetRaw(key, Slot(3), REG_SZ, TextBytes(u"ON,0,C:\\QELDAT2011.DIC", false));
  Install();
  EXPECT_EQ(Read(key, Slot(2)), (Stored{REG_SZ, TextBytes(kOtherDic, false)}));
  EXPECT_TRUE(HoldsText(key, Slot(3), kEntry));
}

TEST_F(DicSetTest, IntegerInSlot1MeansInUse) {
  const auto key = SetKey(u"Atxl", 2);
  SetDword(key, Slot(1), 0);
  Install();
  EXPECT_TRUE(HoldsText(key, Slot(2), kEntry));
}

TEST_F(DicSetTest, OtherVersionsAndSetsAreNotVisited) {
  const std::u16string v24 = u"Software\\Justsystem\\ATOK\\24.0\\Profile\\Atkms\\DicSet1";
  SetText(v24, Slot(1), kSystemDic);
  SetText(v24, Slot(2), u"ON,0,C:\\QELDAT2011.DIC");
  for (const auto* name : {u"DicSet0", u"DicSetA", u"DicSet10"}) {
    SetText(kProfileRoot + u"Atkms\\" + name, Slot(1), kSystemDic);
  }
  const Tree before = Dump();
  Install();
  EXPECT_EQ(Dump(), before);
  ExpectFailureBoxes(1);
}

}  // namespace
