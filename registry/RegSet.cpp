#include "RegSet.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "UniqueHkey.h"
#include "WinText.h"

namespace RegSet {
namespace {

// An unopenable key gives no handle at all, so nothing is ever called on a failed open.
UniqueHkey OpenCurrentUserKey(const std::u16string& keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(keyPath), 0, kKeyAccess, &key) != ERROR_SUCCESS) {
    return UniqueHkey();
  }
  return UniqueHkey(key);
}

std::u16string AsText(const Variant& value) {
  if (const auto* text = std::get_if<std::u16string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return DecimalText(*number);
  return std::u16string();
}

std::int32_t AsInteger(const Variant& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  const std::u16string text = AsText(value);
  if (text.empty()) return 0;
  std::string narrow;
  for (char16_t c : text) {
    if (c > 0x7F) throw std::invalid_argument("value is not a 32-bit integer");
    narrow += static_cast<char>(c);
  }
  std::size_t used = 0;
  long long number = 0;
  try {
    number = std::stoll(narrow, &used, 10);
  } catch (const std::logic_error&) {
    throw std::invalid_argument("value is not a 32-bit integer");
  }
  if (used != narrow.size() || number < INT32_MIN || number > INT32_MAX) {
    throw std::invalid_argument("value is not a 32-bit integer");
  }
  return static_cast<std::int32_t>(number);
}

}  // namespace

std::u16string DecimalText(std::int32_t number) {
  const std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

void PutKeyValue(const std::u16string& keyPath, const std::u16string& valueName,
                 const Variant& value, std::int32_t type) {
  const UniqueHkey key = OpenCurrentUserKey(keyPath);
  if (key) PutValue(key.get(), valueName, type, value);
}

std::u16string GetKeyValue(const std::u16string& keyPath, const std::u16string& valueName) {
  Variant holder;
  if (const UniqueHkey key = OpenCurrentUserKey(keyPath)) GetValue(key.get(), valueName, holder);
  return AsText(holder);
}

std::int32_t PutValue(HKEY key, const std::u16string& valueName, std::int32_t type,
                      const Variant& value) {
  if (type == kTypeText) {
    const std::u16string text = AsText(value);
    const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));  // NUL included
    return RegSetValueExW(key, Wide(valueName), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), size);
  }
  if (type == kTypeInteger) {
    const DWORD number = static_cast<DWORD>(AsInteger(value));
    BYTE bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(number >> (8 * i));
    return RegSetValueExW(key, Wide(valueName), 0, REG_DWORD, bytes, sizeof bytes);
  }
  return 0;
}

std::int32_t GetValue(HKEY key, const std::u16string& valueName, Variant& holder) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(key, Wide(valueName), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return 0;
  }
  if (type == REG_SZ) {
    // One spare unit keeps an odd byte count inside the buffer.
    std::vector<char16_t> buffer(size / sizeof(char16_t) + 1, u'\0');
    DWORD got = size;
    const LSTATUS status = RegQueryValueExW(key, Wide(valueName), nullptr, &type,
                                            reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (status != ERROR_SUCCESS) {
      holder = std::u16string();
      return status;
    }
    // Text stored without its NUL is still the whole text; a NUL inside ends it.
    const std::u16string text(buffer.data(), got / sizeof(char16_t));
    holder = text.substr(0, text.find(u'\0'));
    return 0;
  }
  if (type == REG_DWORD) {
    BYTE bytes[4] = {};
    DWORD got = sizeof bytes;
    const LSTATUS status = RegQueryValueExW(key, Wide(valueName), nullptr, &type, bytes, &got);
    if (status != ERROR_SUCCESS) return status;
    DWORD number = 0;
    for (int i = 0; i < 4; ++i) number |= static_cast<DWORD>(bytes[i]) << (8 * i);
    holder = static_cast<std::int32_t>(number);
    return 0;
  }
  return kUnsupportedType;
}

}  // namespace RegSet
