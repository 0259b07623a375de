#include "Pending.h"

#include "../dicset/Layout.h"
#include "../registry/RegSet.h"
#include "../registry/WinText.h"

namespace report {
namespace {

// Whether the command starts one of the programs: "<program>" and a switch, or nothing more.
bool Starts(const std::u16string& command, const std::vector<std::u16string>& programs) {
  const std::u16string upper = dicset::Upper(command);
  for (const auto& program : programs) {
    const std::u16string quoted = u"\"" + dicset::Upper(program) + u"\"";
    if (upper.rfind(quoted, 0) == 0 &&
        (upper.size() == quoted.size() || upper[quoted.size()] == u' ')) {
      return true;
    }
  }
  return false;
}

std::vector<std::u16string> Entries(HKEY run, const std::vector<std::u16string>& programs) {
  std::vector<std::u16string> found;
  for (const auto& name : ValueNames(run)) {
    if (Starts(RegSet::ValueText(run, name), programs)) found.push_back(name);
  }
  return found;
}

// Task Manager marks an entry it switched off with an odd first byte (3; 2 when on).
bool SwitchedOff(HKEY approved, const std::u16string& name) {
  BYTE data[64] = {};
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  return RegQueryValueExW(approved, Wide(name), nullptr, &type, data, &size) == ERROR_SUCCESS &&
         type == REG_BINARY && size > 0 && (data[0] & 1);
}

}  // namespace

std::vector<std::u16string> ValueNames(HKEY key) {
  std::vector<std::u16string> names;
  std::vector<WCHAR> name(16384);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return names;
    }
    names.emplace_back(reinterpret_cast<const char16_t*>(name.data()), length);
  }
}

std::vector<std::u16string> SubkeyNames(HKEY key) {
  std::vector<std::u16string> names;
  WCHAR name[256];  // the longest key name Windows allows, and its terminator
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return names;
    }
    names.emplace_back(reinterpret_cast<const char16_t*>(name), length);
  }
}

UniqueHkey CreateKey(const std::u16string& keyPath, REGSAM access) {
  HKEY key = nullptr;
  return RegCreateKeyExW(HKEY_CURRENT_USER, Wide(keyPath), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         access, nullptr, &key, nullptr) == ERROR_SUCCESS
             ? UniqueHkey(key)
             : UniqueHkey();
}

std::u16string StartupCommand(const std::u16string& program) {
  return u"\"" + program + u"\" " + kSignInSwitch;
}

Startup ReadStartup(const std::vector<std::u16string>& programs) {
  Startup startup;
  LSTATUS status = ERROR_SUCCESS;
  if (const UniqueHkey run = RegSet::OpenCurrentUserKey(kRunKey, KEY_QUERY_VALUE, status)) {
    startup.entries = Entries(run.get(), programs);
  }
  if (const UniqueHkey approved = RegSet::OpenCurrentUserKey(kApprovedKey, KEY_READ, status)) {
    for (const auto& name : startup.entries) {
      if (SwitchedOff(approved.get(), name)) startup.switchedOff.push_back(name);
    }
  }
  if (const UniqueHkey marker = RegSet::OpenCurrentUserKey(kMarkerKey, KEY_QUERY_VALUE, status)) {
    startup.waiting = RegQueryValueExW(marker.get(), Wide(kMarkerName), nullptr, nullptr, nullptr,
                                       nullptr) == ERROR_SUCCESS;
  }
  return startup;
}

bool LeaveStartup(const std::u16string& name, const std::u16string& command) {
  const UniqueHkey marker = CreateKey(kMarkerKey, KEY_SET_VALUE);
  const UniqueHkey run = CreateKey(kRunKey, KEY_SET_VALUE);
  return marker && run &&
         RegSet::PutValue(run.get(), name, RegSet::kTypeText, command) == ERROR_SUCCESS &&
         RegSet::PutValue(marker.get(), kMarkerName, RegSet::kTypeText, command) == ERROR_SUCCESS;
}

void ForgetStartup(const std::vector<std::u16string>& programs) {
  LSTATUS status = ERROR_SUCCESS;
  if (const UniqueHkey run =
          RegSet::OpenCurrentUserKey(kRunKey, KEY_QUERY_VALUE | KEY_SET_VALUE, status)) {
    // Listed first, deleted after: deleting while enumerating would skip values.
    for (const auto& name : Entries(run.get(), programs)) RegDeleteValueW(run.get(), Wide(name));
  }
  ClearMarker();
}

void ClearMarker() {
  LSTATUS status = ERROR_SUCCESS;
  bool empty = false;
  if (const UniqueHkey marker =
          RegSet::OpenCurrentUserKey(kMarkerKey, KEY_READ | KEY_SET_VALUE, status)) {
    RegDeleteValueW(marker.get(), Wide(kMarkerName));
    empty = ValueNames(marker.get()).empty() && SubkeyNames(marker.get()).empty();
  }
  // A key the packages made for it alone goes with it; one an MSI keeps values in stays.
  if (empty) RegDeleteKeyW(HKEY_CURRENT_USER, Wide(kMarkerKey));
}

}  // namespace report
