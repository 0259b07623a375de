// Lists a key's values and subkeys through RegEnumValueW and RegEnumKeyExW, for the tests and
// the end-to-end driver that dump registry trees.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct EnumeratedValue {
  std::u16string name;
  DWORD type;
  std::vector<BYTE> data;
};

inline std::vector<EnumeratedValue> EnumValues(HKEY key) {
  std::vector<EnumeratedValue> values;
  std::vector<char16_t> name(16384);
  std::vector<BYTE> data(1 << 20);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key, i, reinterpret_cast<WCHAR*>(name.data()), &nameLength, nullptr, &type,
                      data.data(), &size) != ERROR_SUCCESS) {
      return values;
    }
    values.push_back({std::u16string(name.data(), nameLength), type,
                      std::vector<BYTE>(data.begin(), data.begin() + size)});
  }
}

inline std::vector<std::u16string> EnumSubkeys(HKEY key) {
  std::vector<std::u16string> names;
  std::vector<char16_t> name(256);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, reinterpret_cast<WCHAR*>(name.data()), &nameLength, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS) {
      return names;
    }
    names.emplace_back(name.data(), nameLength);
  }
}
