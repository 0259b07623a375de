#include "RegSet.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "UniqueHkey.h"
#include "WinText.h"

namespace RegSet {
namespace {

// Reads of one value that another process keeps rewriting give up after this many attempts.
constexpr int kReadAttempts = 4;

// An unopenable key gives no handle at all, so nothing is ever called on a failed open.
UniqueHkey OpenForChange(const std::u16string& keyPath, LSTATUS& status) {
  return OpenCurrentUserKey(keyPath, kKeyAccess, status);
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

// Fills the holder from what the data query returned, judged by the type that query reported:
// the value may have changed type since its size was asked.
std::int32_t Take(DWORD type, const std::vector<char16_t>& buffer, DWORD got, Variant& holder) {
  if (type == REG_SZ) {
    // Text stored without its NUL is still the whole text; a NUL inside ends it.
    const std::u16string text(buffer.data(), got / sizeof(char16_t));
    holder = text.substr(0, text.find(u'\0'));
    return 0;
  }
  if (type == REG_DWORD) {
    // More than four bytes do not fit a 32-bit integer: the read fails as a short buffer does.
    if (got > 4) return ERROR_MORE_DATA;
    const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
    DWORD number = 0;
    for (int i = 0; i < 4; ++i) number |= static_cast<DWORD>(bytes[i]) << (8 * i);
    holder = static_cast<std::int32_t>(number);
    return 0;
  }
  return kUnsupportedType;
}

}  // namespace

UniqueHkey OpenCurrentUserKey(const std::u16string& keyPath, REGSAM access, LSTATUS& status) {
  HKEY key = nullptr;
  status = RegOpenKeyExW(HKEY_CURRENT_USER, Wide(keyPath), 0, access, &key);
  return status == ERROR_SUCCESS ? UniqueHkey(key) : UniqueHkey();
}

std::u16string ValueText(HKEY key, const std::u16string& valueName) {
  Variant holder;
  GetValue(key, valueName, holder);
  return AsText(holder);
}

std::u16string DecimalText(std::int32_t number) {
  const std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

LSTATUS PutKeyValue(const std::u16string& keyPath, const std::u16string& valueName,
                    const Variant& value, std::int32_t type) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueHkey key = OpenForChange(keyPath, status);
  return key ? PutValue(key.get(), valueName, type, value) : status;
}

std::u16string GetKeyValue(const std::u16string& keyPath, const std::u16string& valueName) {
  LSTATUS opened = ERROR_SUCCESS;
  return GetKeyValue(keyPath, valueName, opened);
}

std::u16string GetKeyValue(const std::u16string& keyPath, const std::u16string& valueName,
                           LSTATUS& opened) {
  const UniqueHkey key = OpenForChange(keyPath, opened);
  return key ? ValueText(key.get(), valueName) : std::u16string();
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
  for (int attempt = 1;; ++attempt) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, Wide(valueName), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return 0;
    }
    if (type != REG_SZ && type != REG_DWORD) return kUnsupportedType;
    // Room for the reported size (an integer's four bytes at least) and one spare unit that
    // keeps an odd byte count inside the buffer; zeroed, so a short integer reads its low bytes.
    const DWORD asked = type == REG_SZ ? size : std::max<DWORD>(size, 4);
    std::vector<char16_t> buffer(std::max<DWORD>(asked, 4) / sizeof(char16_t) + 1, u'\0');
    DWORD dataType = REG_NONE;
    DWORD got = asked;
    const LSTATUS status = RegQueryValueExW(key, Wide(valueName), nullptr, &dataType,
                                            reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (status == ERROR_SUCCESS) return Take(dataType, buffer, got, holder);
    // The value grew since its size was asked: another process rewrote it. Ask again.
    if (status == ERROR_MORE_DATA && attempt < kReadAttempts) continue;
    // Gone meanwhile, or still growing after every attempt: text reads as empty.
    if (type == REG_SZ) holder = std::u16string();
    return status;
  }
}

}  // namespace RegSet
