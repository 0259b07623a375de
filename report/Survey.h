// What the current user's ATOK 2012 dictionary sets hold, read without changing anything, and
// where the dictionary stands in each set that is in use.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "../dicset/Layout.h"

namespace report {

// Reading only; an open with dicreg's access (0x3F) is made only to learn whether it would work.
inline constexpr REGSAM kReadAccess = KEY_READ;

// One dictionary set as read: its key, whether it could be read, and its slots' texts.
struct SetReading {
  std::u16string key;
  LSTATUS readStatus = ERROR_FILE_NOT_FOUND;  // the read-only open of the set's key
  LSTATUS writeStatus = ERROR_SUCCESS;        // dicreg's open; asked only of sets in use
  std::array<std::u16string, dicset::kLastSlot + 1> slots;  // slots 1 to 9, as dicreg reads them

  bool Unreadable() const {
    return readStatus != ERROR_SUCCESS && readStatus != ERROR_FILE_NOT_FOUND;
  }
  bool InUse() const { return readStatus == ERROR_SUCCESS && !slots[1].empty(); }
  // "Atkms\DicSet1", as the registry names the set below the profiles' key.
  std::u16string Name() const { return key.substr(dicset::kProfileRoot.size()); }
};

struct Survey {
  bool atok2012 = false;                      // the ATOK 2012 (25.0) profiles' key exists
  std::vector<std::u16string> otherVersions;  // keys of other ATOK versions beside 25.0
  std::vector<SetReading> sets;               // all 81, in the order dicreg visits them
};

Survey TakeSurvey();

enum class FileState { Installed, Elsewhere, Missing };

// A slot that names this edition: its number, the path it names and where that file is.
struct Entry {
  int slot = 0;
  std::u16string path;
  FileState file = FileState::Missing;
};

// Where the dictionary stands in one set that is in use (or that could not be read).
struct Finding {
  const SetReading* set = nullptr;
  std::vector<Entry> registered;   // slots naming this edition
  std::vector<int> otherEditions;  // slots naming another edition of the family
  int nextSlot = 0;                // where registering again writes; 0: slots 2 to 9 all taken
  bool writable = true;            // dicreg can open the set

  // dicreg would write the dictionary into this set: it is in use, open to dicreg and has a
  // slot that is free or holds the family.
  bool CanTake() const { return set->InUse() && writable && nextSlot != 0; }
};

// Whether a file exists; the report asks the file system, the tests answer for it.
using FileExists = std::function<bool(const std::u16string& path)>;

// The findings of every set in use or unreadable, in the order of the survey. installed is the
// path of the installed dictionary, compared without regard to letter case.
std::vector<Finding> Find(const Survey& survey, const std::u16string& installed,
                          const FileExists& exists);

// Whether dicreg would write the dictionary into any of the sets found.
bool AnyCanTake(const std::vector<Finding>& findings);

// The path an entry names: what follows its first two fields ("ON,0,").
std::u16string EntryPath(const std::u16string& text);

// Of folder names, the one that is the highest version (numbers and dots, as 1.0.10), or "".
std::u16string NewestVersion(const std::vector<std::u16string>& names);

}  // namespace report
