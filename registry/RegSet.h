// Single registry values under HKEY_CURRENT_USER, read and written as text or 32-bit integers.
// Every key-level call opens its key, does one thing and closes it again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>

#include "UniqueHkey.h"

namespace RegSet {

using Variant = std::variant<std::monostate, std::u16string, std::int32_t>;

inline constexpr std::int32_t kTypeText = 1;     // REG_SZ
inline constexpr std::int32_t kTypeInteger = 4;  // REG_DWORD
// Query and set value, create and enumerate subkeys, notify, create link; no standard rights.
inline constexpr REGSAM kKeyAccess = 0x3F;
// Status of GetValue for a value whose type it does not read.
inline constexpr std::int32_t kUnsupportedType = -1;

// Opens an existing key under HKEY_CURRENT_USER with the access asked for; an empty owner when
// it cannot be opened, with the platform's reason in status.
UniqueHkey OpenCurrentUserKey(const std::u16string& keyPath, REGSAM access, LSTATUS& status);

// Reads one value of an open key as text, as GetKeyValue does.
std::u16string ValueText(HKEY key, const std::u16string& valueName);

// Writes one value into an existing key; gives ERROR_SUCCESS once it is written, or why it was
// not (the key could not be opened, or the write was refused).
LSTATUS PutKeyValue(const std::u16string& keyPath, const std::u16string& valueName,
                    const Variant& value, std::int32_t type);

// Reads one value as text: an integer as its decimal text; missing or unreadable as "".
std::u16string GetKeyValue(const std::u16string& keyPath, const std::u16string& valueName);

// The same, and why the key's open failed (ERROR_SUCCESS when it opened).
std::u16string GetKeyValue(const std::u16string& keyPath, const std::u16string& valueName,
                           LSTATUS& opened);

// Writes type 1 (text with its NUL) or type 4; any other type writes nothing and gives 0.
std::int32_t PutValue(HKEY key, const std::u16string& valueName, std::int32_t type,
                      const Variant& value);

// Fills the holder from a type 1 or type 4 value. A missing value leaves it as it was and
// gives 0; another type leaves it and gives kUnsupportedType. A value that grows between the
// query of its size and of its data is read again from the start, a few times at most.
std::int32_t GetValue(HKEY key, const std::u16string& valueName, Variant& holder);

std::u16string DecimalText(std::int32_t number);

}  // namespace RegSet
