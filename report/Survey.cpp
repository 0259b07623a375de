#include "Survey.h"

#include <algorithm>

#include "../registry/RegSet.h"
#include "../registry/WinText.h"
#include "Pending.h"

namespace report {
namespace {

const std::u16string kVersionsKey = u"Software\\Justsystem\\ATOK";
const std::u16string kAtok2012 = u"25.0";

bool KeyExists(const std::u16string& path) {
  LSTATUS status = ERROR_SUCCESS;
  return static_cast<bool>(RegSet::OpenCurrentUserKey(path, kReadAccess, status));
}

std::vector<std::u16string> Subkeys(const std::u16string& path) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueHkey key = RegSet::OpenCurrentUserKey(path, kReadAccess, status);
  return key ? SubkeyNames(key.get()) : std::vector<std::u16string>();
}

// The numbers of a version's fields (digits, parted by dots), or none when the name is no
// version.
std::vector<unsigned long> VersionFields(const std::u16string& name) {
  std::vector<unsigned long> fields;
  bool digits = false;
  for (char16_t c : name + u'.') {
    if (c == u'.') {
      if (!digits) return {};
      digits = false;
    } else if (c >= u'0' && c <= u'9') {
      if (!digits) fields.push_back(0);
      digits = true;
      fields.back() = std::min(fields.back() * 10 + (c - u'0'), 999999UL);
    } else {
      return {};
    }
  }
  return fields;
}

SetReading ReadSet(const std::u16string& key) {
  SetReading set;
  set.key = key;
  const UniqueHkey opened = RegSet::OpenCurrentUserKey(key, kReadAccess, set.readStatus);
  if (!opened) return set;
  for (int k = 1; k <= dicset::kLastSlot; ++k) {
    set.slots[k] = RegSet::ValueText(opened.get(), dicset::SlotName(k));
  }
  // Asked, never used: the key is closed at once.
  if (set.InUse()) RegSet::OpenCurrentUserKey(key, RegSet::kKeyAccess, set.writeStatus);
  return set;
}

}  // namespace

Survey TakeSurvey() {
  Survey survey;
  survey.atok2012 = KeyExists(dicset::kProfileKey);
  for (auto& version : Subkeys(kVersionsKey)) {
    if (version != kAtok2012) survey.otherVersions.push_back(std::move(version));
  }
  for (const auto& profile : dicset::kProfiles) {
    for (const auto& key : dicset::SetKeys(profile)) survey.sets.push_back(ReadSet(key));
  }
  return survey;
}

std::u16string EntryPath(const std::u16string& text) {
  const std::size_t first = text.find(u',');
  const std::size_t second = first == std::u16string::npos ? first : text.find(u',', first + 1);
  return second == std::u16string::npos ? text : text.substr(second + 1);
}

std::vector<Finding> Find(const Survey& survey, const std::u16string& installed,
                          const FileExists& exists) {
  std::vector<Finding> findings;
  for (const auto& set : survey.sets) {
    if (!set.InUse() && !set.Unreadable()) continue;
    Finding finding;
    finding.set = &set;
    finding.writable = set.writeStatus == ERROR_SUCCESS;
    for (int k = dicset::kFirstFillableSlot; k <= dicset::kLastSlot; ++k) {
      const std::u16string& text = set.slots[k];
      const bool family = dicset::RefersTo(text, dicset::kDicNameEx);
      if (dicset::RefersTo(text, dicset::kDicName)) {
        Entry entry{k, EntryPath(text), FileState::Missing};
        if (exists(entry.path)) {
          entry.file = dicset::Upper(entry.path) == dicset::Upper(installed) ? FileState::Installed
                                                                             : FileState::Elsewhere;
        }
        finding.registered.push_back(entry);
      } else if (family) {
        finding.otherEditions.push_back(k);
      }
      // dicreg first empties the family's slots, then takes the first empty one.
      if (finding.nextSlot == 0 && (text.empty() || family)) finding.nextSlot = k;
    }
    findings.push_back(std::move(finding));
  }
  return findings;
}

bool AnyCanTake(const std::vector<Finding>& findings) {
  for (const auto& finding : findings) {
    if (finding.CanTake()) return true;
  }
  return false;
}

std::u16string NewestVersion(const std::vector<std::u16string>& names) {
  std::u16string newest;
  std::vector<unsigned long> highest;
  for (const auto& name : names) {
    const auto fields = VersionFields(name);
    if (!fields.empty() && (newest.empty() || fields > highest)) {
      newest = name;
      highest = fields;
    }
  }
  return newest;
}

}  // namespace report
