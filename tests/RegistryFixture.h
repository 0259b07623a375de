// Seeds and inspects the current user's registry through the Win32 API itself, so the same
// tests run over the host stand-in and over a real registry.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct Stored {
  DWORD type;
  std::vector<BYTE> data;
  bool operator==(const Stored&) const = default;
};

// Every value below a key: (key path, value name) -> what is stored.
using Tree = std::map<std::pair<std::u16string, std::u16string>, Stored>;

std::vector<BYTE> TextBytes(const std::u16string& text, bool withNul = true);

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 public:
  static void CreateKey(const std::u16string& path);
  static void SetRaw(const std::u16string& path, const std::u16string& name, DWORD type,
                     const std::vector<BYTE>& data);
  static void SetText(const std::u16string& path, const std::u16string& name,
                      const std::u16string& text);
  static void SetDword(const std::u16string& path, const std::u16string& name, DWORD number);
  static void DeleteValue(const std::u16string& path, const std::u16string& name);
  // The key's DACL grants only these rights from now on, KEY_READ or none (the key is made if
  // missing).
  static void AllowOnly(const std::u16string& path, REGSAM rights);
  static std::optional<Stored> Read(const std::u16string& path, const std::u16string& name);
  static Tree Dump(const std::u16string& path = u"Software");
};

// The value exists as type 1 holding exactly the text and its NUL.
::testing::AssertionResult HoldsText(const std::u16string& path, const std::u16string& name,
                                     const std::u16string& text);
::testing::AssertionResult IsMissing(const std::u16string& path, const std::u16string& name);
