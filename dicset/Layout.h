// Where ATOK 2012 keeps its per-user dictionary sets, and how slots are named and matched.
#pragma once

#include <array>
#include <string>

namespace dicset {

// The dictionary served: a slot naming the edition is this very dictionary, one naming the family
// is any edition of it.
inline const std::u16string kDicName = u"QelDat2012";
inline const std::u16string kDicNameEx = u"QelDat";

// The key of ATOK 2012's profiles, and the start of every profile's key below it.
inline const std::u16string kProfileKey = u"Software\\Justsystem\\ATOK\\25.0\\Profile";
inline const std::u16string kProfileRoot = kProfileKey + u"\\";

// Every run visits the profiles in this order.
inline const std::array<std::u16string, 9> kProfiles = {
    u"Atkms", u"Atkmsi", u"Atmswd", u"Atmsxl", u"Atokit", u"Atokw", u"Atwd", u"Atxl", u"User0"};

inline constexpr int kSetCount = 9;
inline constexpr int kFirstFillableSlot = 2;
inline constexpr int kLastSlot = 9;

// Slot 1 tells whether a set is in use; it is only ever read.
inline const std::u16string kSlot1 = u"システム辞書１";

inline const std::u16string kEntryPrefix = u"ON,0,";

inline const std::u16string kFailureTitle = u"辞書登録エラー";
inline const std::u16string kFailureText =
    u"ATOK2012のユーザー情報が未設定の可能性があります。\r\n"
    u"詳しくは、ヴェルノアのホームページから「Q&A ATOK版 ソルベリアについて」を参照してください。";
inline constexpr unsigned kFailureStyle = 16;  // OK button, stop icon

// The nine set keys of a profile, DicSet1 to DicSet9.
std::array<std::u16string, kSetCount> SetKeys(const std::u16string& profile);

// "システム辞書" and the slot number as a full-width hexadecimal digit (U+FF11 for 1).
std::u16string SlotName(int slot);

// Upper case by the system locale's mapping.
std::u16string Upper(const std::u16string& text);

// Whether the slot's text contains the name, both upper-cased.
bool RefersTo(const std::u16string& slotText, const std::u16string& name);

}  // namespace dicset
