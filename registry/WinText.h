// The program keeps its text as UTF-16 in std::u16string; Win32 takes the same code units as
// WCHAR (wchar_t on Windows).
#pragma once

#include <windows.h>

#include <string>

inline const WCHAR* Wide(const std::u16string& text) {
  return reinterpret_cast<const WCHAR*>(text.c_str());
}

inline std::u16string FromWide(const WCHAR* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}
