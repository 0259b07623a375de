// Builds ATOK 2012 dictionary-set layouts for the tests.
#pragma once

#include <string>

#include "RegistryFixture.h"

inline const std::u16string kProfileRoot = u"Software\\Justsystem\\ATOK\\25.0\\Profile\\";
inline const std::u16string kSystemDic = u"ON,0,C:\\Program Files\\JustSystems\\ATOK25\\ATOK25.DIC";
inline const std::u16string kOtherDic = u"ON,0,C:\\DICS\\MEDICAL.DIC";

inline std::u16string SetKey(const std::u16string& profile, int set) {
  return kProfileRoot + profile + u"\\DicSet" + static_cast<char16_t>(u'0' + set);
}

// Slot names end in a full-width digit: U+FF11 for 1.
inline std::u16string Slot(int k) {
  return u"システム辞書" + std::u16string(1, static_cast<char16_t>(0xFF10 + k));
}

// A set in use: slot 1 holds the system dictionary.
inline std::u16string InUseSet(const std::u16string& profile, int set) {
  const std::u16string key = SetKey(profile, set);
  RegistryTest::SetText(key, Slot(1), kSystemDic);
  return key;
}
