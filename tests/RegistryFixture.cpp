#include "RegistryFixture.h"

#include "../registry/UniqueHkey.h"
#include "../registry/WinText.h"
#include "RegEnum.h"

#ifdef _WIN32
#include "KeyRights.h"

#include <vector>

namespace {
// The tests get a scratch key of their own in place of HKEY_CURRENT_USER, so a run on a real
// machine never touches the user's settings.
const wchar_t kScratch[] = L"Software\\dicreg-unit-tests";
HKEY scratch = nullptr;
// Keys whose rights were taken away, which get full access back before the scratch key is deleted.
std::vector<std::u16string> restricted;
}  // namespace

void RegistryTest::SetUp() {
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &scratch, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, scratch), ERROR_SUCCESS);
}

void RegistryTest::TearDown() {
  for (const auto& path : restricted) SetKeyDacl(Wide(path), kFullAccess);
  restricted.clear();
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegCloseKey(scratch);
  scratch = nullptr;
  RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
}

void RegistryTest::AllowOnly(const std::u16string& path, REGSAM rights) {
  ASSERT_TRUE(rights == KEY_READ || rights == 0);
  CreateKey(path);
  ASSERT_TRUE(SetKeyDacl(Wide(path), rights ? kReadOnly : kNoAccess));
  restricted.push_back(path);
}
#else
#include "HostWin.h"

void RegistryTest::SetUp() { hostwin::Reset(); }
void RegistryTest::TearDown() {
  EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << "a key was left open";
}

void RegistryTest::AllowOnly(const std::u16string& path, REGSAM rights) {
  CreateKey(path);
  hostwin::Allow(path, rights);
}
#endif

namespace {

UniqueHkey Create(const std::u16string& path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  return UniqueHkey(key);
}

std::string Printable(const std::optional<Stored>& stored) {
  if (!stored) return "(missing)";
  std::string out = "type " + std::to_string(stored->type) + " [";
  for (BYTE b : stored->data) {
    out += "0123456789abcdef"[b >> 4];
    out += "0123456789abcdef"[b & 15];
  }
  return out + "]";
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      static const char hex[] = "0123456789abcdef";
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 15];
    }
  }
  return out;
}

void DumpInto(HKEY key, const std::u16string& path, Tree& tree) {
  for (auto& value : EnumValues(key)) {
    tree[{path, value.name}] = Stored{value.type, std::move(value.data)};
  }
  for (const auto& name : EnumSubkeys(key)) {
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, Wide(name), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      const UniqueHkey owned(sub);
      DumpInto(owned.get(), path + u"\\" + name, tree);
    }
  }
}

}  // namespace

std::vector<BYTE> TextBytes(const std::u16string& text, bool withNul) {
  std::vector<BYTE> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>(c >> 8));
  }
  if (withNul) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

void RegistryTest::CreateKey(const std::u16string& path) { Create(path); }

void RegistryTest::SetRaw(const std::u16string& path, const std::u16string& name, DWORD type,
                          const std::vector<BYTE>& data) {
  const UniqueHkey key = Create(path);
  // Windows appends the NUL of a string whose size left it out when the next unit is NUL; a
  // non-NUL guard after the data keeps what is stored exactly what was asked for.
  std::vector<BYTE> buffer = data;
  buffer.insert(buffer.end(), {'X', 0, 'X', 0});
  EXPECT_EQ(RegSetValueExW(key.get(), Wide(name), 0, type, buffer.data(),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
}

void RegistryTest::SetText(const std::u16string& path, const std::u16string& name,
                           const std::u16string& text) {
  SetRaw(path, name, REG_SZ, TextBytes(text));
}

void RegistryTest::SetDword(const std::u16string& path, const std::u16string& name, DWORD number) {
  SetRaw(path, name, REG_DWORD,
         {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
          static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)});
}

void RegistryTest::DeleteValue(const std::u16string& path, const std::u16string& name) {
  const UniqueHkey key = Create(path);
  EXPECT_EQ(RegDeleteValueW(key.get(), Wide(name)), ERROR_SUCCESS);
}

std::optional<Stored> RegistryTest::Read(const std::u16string& path, const std::u16string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const UniqueHkey owned(key);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, Wide(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<BYTE> data(size);
  if (RegQueryValueExW(key, Wide(name), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(size);
  return Stored{type, data};
}

Tree RegistryTest::Dump(const std::u16string& path) {
  Tree tree;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    const UniqueHkey owned(key);
    DumpInto(owned.get(), path, tree);
  }
  return tree;
}

::testing::AssertionResult HoldsText(const std::u16string& path, const std::u16string& name,
                                     const std::u16string& text) {
  const auto stored = RegistryTest::Read(path, name);
  const Stored expected{REG_SZ, TextBytes(text)};
  if (stored == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << Narrow(path) << " : " << Narrow(name) << " holds " << Printable(stored) << ", expected "
         << Printable(expected) << " (\"" << Narrow(text) << "\")";
}

::testing::AssertionResult IsMissing(const std::u16string& path, const std::u16string& name) {
  const auto stored = RegistryTest::Read(path, name);
  if (!stored) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << Narrow(path) << " : " << Narrow(name) << " exists as " << Printable(stored);
}
