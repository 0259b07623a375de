#include "Layout.h"

#include <windows.h>

#include <stdexcept>

#include "../registry/WinText.h"

namespace dicset {
namespace {

char16_t HexDigit(int n) { return u"0123456789ABCDEF"[n]; }

}  // namespace

std::array<std::u16string, kSetCount> SetKeys(const std::u16string& profile) {
  std::array<std::u16string, kSetCount> keys;
  for (int n = 1; n <= kSetCount; ++n) {
    keys[n - 1] = kProfileRoot + profile + u"\\DicSet" + HexDigit(n);
  }
  return keys;
}

std::u16string SlotName(int slot) {
  // Full-width forms of '0' to '9' start at U+FF10.
  return u"システム辞書" +
         std::u16string(1, static_cast<char16_t>(0xFF10 + (HexDigit(slot) - u'0')));
}

std::u16string Upper(const std::u16string& text) {
  if (text.empty()) return text;
  std::u16string upper(text.size(), u'\0');
  const int length = static_cast<int>(text.size());
  if (LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, Wide(text), length,
                   reinterpret_cast<WCHAR*>(upper.data()), length) != length) {
    throw std::runtime_error("LCMapStringW failed to upper-case a text");
  }
  return upper;
}

bool RefersTo(const std::u16string& slotText, const std::u16string& name) {
  return Upper(slotText).find(Upper(name)) != std::u16string::npos;
}

}  // namespace dicset
