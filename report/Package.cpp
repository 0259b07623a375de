#include "Package.h"

#include <algorithm>
#include <cstdlib>

#include "../dicset/Layout.h"
#include "../registry/RegSet.h"
#include "../registry/WinText.h"
#include "Pending.h"
#include "Report.h"

namespace report {
namespace {

constexpr DWORD kLargestStatus = 0x7FFF;

// A value as stored, or none.
struct Raw {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool operator==(const Raw&) const = default;
};

Raw ReadRaw(HKEY key, const std::u16string& name) {
  Raw raw;
  DWORD size = 0;
  if (RegQueryValueExW(key, Wide(name), nullptr, &raw.type, nullptr, &size) != ERROR_SUCCESS) {
    return raw;
  }
  raw.data.resize(size);
  raw.present = RegQueryValueExW(key, Wide(name), nullptr, &raw.type, raw.data.data(), &size) ==
                ERROR_SUCCESS;
  raw.data.resize(size);
  return raw;
}

std::u16string Hex(const BYTE* data, std::size_t size) {
  std::u16string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += u"0123456789abcdef"[data[i] >> 4];
    hex += u"0123456789abcdef"[data[i] & 15];
  }
  return hex;
}

std::u16string Hex(const std::u16string& text) {
  return Hex(reinterpret_cast<const BYTE*>(text.data()), text.size() * sizeof(char16_t));
}

std::vector<BYTE> Bytes(const std::u16string& hex) {
  const auto digit = [](char16_t c) {
    return c >= u'a' ? c - u'a' + 10 : c >= u'A' ? c - u'A' + 10 : c - u'0';
  };
  std::vector<BYTE> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<BYTE>(digit(hex[i]) << 4 | digit(hex[i + 1])));
  }
  return bytes;
}

std::u16string Text(const std::u16string& hex) {
  const auto bytes = Bytes(hex);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
  }
  return text;
}

std::vector<std::u16string> Fields(const std::u16string& line) {
  std::vector<std::u16string> fields(1);
  for (char16_t c : line) {
    if (c == u'\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// One line of the record: a value as it was ("V"), or that it was not there ("A").
std::u16string Line(const std::u16string& key, const std::u16string& name, const Raw& raw) {
  if (!raw.present) return u"A\t" + Hex(key) + u"\t" + Hex(name) + u"\r\n";
  return u"V\t" + Hex(key) + u"\t" + Hex(name) + u"\t" + RegSet::DecimalText(raw.type) + u"\t" +
         Hex(raw.data.data(), raw.data.size()) + u"\r\n";
}

// Sets the value back as it was; a key that lacks it is made only for a value to write.
void Put(const std::u16string& key, const std::u16string& name, const Raw& raw) {
  LSTATUS status = ERROR_SUCCESS;
  const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE;
  const UniqueHkey owned =
      raw.present ? CreateKey(key, access) : RegSet::OpenCurrentUserKey(key, access, status);
  if (!owned || ReadRaw(owned.get(), name) == raw) return;
  if (raw.present) {
    RegSetValueExW(owned.get(), Wide(name), 0, raw.type, raw.data.data(),
                   static_cast<DWORD>(raw.data.size()));
  } else {
    RegDeleteValueW(owned.get(), Wide(name));
  }
}

}  // namespace

DWORD PackageStatus(Outcome outcome, DWORD flags, DWORD dicregStatus) {
  const DWORD kept = outcome == kFailed ? std::min(dicregStatus, kLargestStatus) : 0;
  return outcome | flags | kept << 16;
}

std::u16string ProfileRelative(const std::u16string& folder, const std::u16string& profile) {
  const std::u16string start = dicset::Upper(profile) + u"\\";
  if (profile.empty() || dicset::Upper(folder).rfind(start, 0) != 0) return folder;
  return u"%USERPROFILE%" + folder.substr(profile.size());
}

std::u16string CleanupCommand(const std::u16string& cmd, const std::u16string& folder,
                              const std::u16string& subfolder) {
  // Told the folder once: cd fails when it is gone, and then nothing else runs. Every percent
  // sign but the profile's would be taken by cmd for a variable's.
  const std::size_t profile = folder.rfind(u"%USERPROFILE%", 0) == 0 ? 13 : 0;
  if (folder.find(u'%', profile) != std::u16string::npos) return std::u16string();
  std::u16string steps;
  if (subfolder.empty()) {
    steps = u"del \"QelDat2012.dic\"";
  } else {
    steps = u"del \"" + subfolder + u"\\QelDat2012.dic\" & rmdir \"" + subfolder + u"\"";
  }
  const std::size_t leaf = folder.find_last_of(u'\\');
  if (leaf != std::u16string::npos && leaf + 1 < folder.size()) {
    steps += u" & cd .. & rmdir \"" + folder.substr(leaf + 1) + u"\"";
  }
  return u"\"" + cmd + u"\" /d /c cd /d \"" + folder + u"\" && (" + steps + u")";
}

std::u16string FirstThatFits(const std::vector<std::u16string>& commands) {
  for (const auto& command : commands) {
    if (!command.empty() && command.size() <= kLongestCommand) return command;
  }
  return std::u16string();
}

bool Named(const Survey& survey, const std::u16string& path) {
  const std::u16string wanted = dicset::Upper(path);
  for (const auto& set : survey.sets) {
    if (!set.InUse()) continue;
    for (int k = dicset::kFirstFillableSlot; k <= dicset::kLastSlot; ++k) {
      if (!set.slots[k].empty() && dicset::Upper(EntryPath(set.slots[k])) == wanted) return true;
    }
  }
  return false;
}

bool AllRegistered(const std::vector<Finding>& findings) {
  bool any = false;
  for (const auto& finding : findings) {
    if (StateOf(finding) != SetState::Registered) return false;
    any |= finding.set->InUse();
  }
  return any;
}

std::u16string RecordChanges() {
  std::u16string record;
  for (const auto& profile : dicset::kProfiles) {
    for (const auto& key : dicset::SetKeys(profile)) {
      LSTATUS status = ERROR_SUCCESS;
      const UniqueHkey set = RegSet::OpenCurrentUserKey(key, KEY_QUERY_VALUE, status);
      if (!set) continue;
      for (int k = dicset::kFirstFillableSlot; k <= dicset::kLastSlot; ++k) {
        record += Line(key, dicset::SlotName(k), ReadRaw(set.get(), dicset::SlotName(k)));
      }
    }
  }
  // The Run and RunOnce keys whole ("W": a value the record lacks is one to delete).
  for (const auto& key : {kRunKey, kRunOnceKey}) {
    record += u"W\t" + Hex(key) + u"\r\n";
    LSTATUS status = ERROR_SUCCESS;
    if (const UniqueHkey run = RegSet::OpenCurrentUserKey(key, KEY_QUERY_VALUE, status)) {
      for (const auto& name : ValueNames(run.get())) {
        record += Line(key, name, ReadRaw(run.get(), name));
      }
    }
  }
  LSTATUS status = ERROR_SUCCESS;
  const UniqueHkey marker = RegSet::OpenCurrentUserKey(kMarkerKey, KEY_QUERY_VALUE, status);
  record += Line(kMarkerKey, kMarkerName, marker ? ReadRaw(marker.get(), kMarkerName) : Raw());
  return record;
}

void PutBack(const std::u16string& record) {
  std::vector<std::pair<std::u16string, std::u16string>> recorded;
  std::vector<std::u16string> whole;
  std::size_t start = 0;
  while (start < record.size()) {
    std::size_t end = record.find(u"\r\n", start);
    if (end == std::u16string::npos) end = record.size();
    const auto f = Fields(record.substr(start, end - start));
    start = end + 2;
    if (f[0] == u"W" && f.size() == 2) {
      whole.push_back(Text(f[1]));
    } else if ((f[0] == u"A" && f.size() == 3) || (f[0] == u"V" && f.size() == 5)) {
      Raw raw;
      if (f[0] == u"V") {
        std::string digits(f[3].begin(), f[3].end());
        raw = {true, static_cast<DWORD>(std::strtoul(digits.c_str(), nullptr, 10)), Bytes(f[4])};
      }
      Put(Text(f[1]), Text(f[2]), raw);
      recorded.emplace_back(dicset::Upper(Text(f[1])), dicset::Upper(Text(f[2])));
    }
  }
  for (const auto& key : whole) {
    LSTATUS status = ERROR_SUCCESS;
    const UniqueHkey opened =
        RegSet::OpenCurrentUserKey(key, KEY_QUERY_VALUE | KEY_SET_VALUE, status);
    if (!opened) continue;
    for (const auto& name : ValueNames(opened.get())) {
      const std::pair<std::u16string, std::u16string> at(dicset::Upper(key), dicset::Upper(name));
      if (std::find(recorded.begin(), recorded.end(), at) == recorded.end()) {
        RegDeleteValueW(opened.get(), Wide(name));
      }
    }
  }
}

}  // namespace report
