#include "Pending.h"

#include <windows.h>

#include "../dicset/Layout.h"
#include "../registry/RegSet.h"
#include "../registry/WinText.h"

namespace report {
namespace {

std::vector<std::u16string> Entries(HKEY run, const std::u16string& program) {
  const std::u16string command = dicset::Upper(PendingCommand(program));
  std::vector<std::u16string> names;
  WCHAR name[16384];
  for (DWORD i = 0;; ++i) {
    DWORD length = 16384;
    if (RegEnumValueW(run, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return names;
    }
    const std::u16string found(reinterpret_cast<const char16_t*>(name), length);
    if (dicset::Upper(RegSet::ValueText(run, found)) == command) names.push_back(found);
  }
}

}  // namespace

std::u16string PendingCommand(const std::u16string& program) {
  return u"\"" + program + u"\" " + kQuietSwitch;
}

std::vector<std::u16string> PendingEntries(const std::u16string& program) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueHkey run = RegSet::OpenCurrentUserKey(kRunKey, KEY_QUERY_VALUE, status);
  return run ? Entries(run.get(), program) : std::vector<std::u16string>();
}

void ForgetPending(const std::u16string& program) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueHkey run =
      RegSet::OpenCurrentUserKey(kRunKey, KEY_QUERY_VALUE | KEY_SET_VALUE, status);
  if (!run) return;
  // Enumerated first, deleted after: deleting while enumerating would skip values.
  for (const auto& name : Entries(run.get(), program)) RegDeleteValueW(run.get(), Wide(name));
}

}  // namespace report
