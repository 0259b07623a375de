#include <windows.h>

#include "../registry/RegSet.h"
#include "../registry/WinText.h"
#include "../startup/Form1.h"
#include "Layout.h"

using dicset::kFirstFillableSlot;
using dicset::kLastSlot;
using dicset::kProfiles;
using dicset::kSlot1;

namespace {

// A set whose key refuses removal's open may still hold entries of the family, which then
// cannot be emptied: read for reading only, it tells /uninst so.
bool HoldsUnchangeable(const std::u16string& setKey, const std::u16string& family) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueHkey key = RegSet::OpenCurrentUserKey(setKey, KEY_READ, status);
  if (!key || RegSet::ValueText(key.get(), kSlot1).empty()) return false;
  for (int k = kFirstFillableSlot; k <= kLastSlot; ++k) {
    if (dicset::RefersTo(RegSet::ValueText(key.get(), dicset::SlotName(k)), family)) return true;
  }
  return false;
}

}  // namespace

void Form1::SetAtok25() {
  exFlag = kFalse;
  for (const auto& profile : kProfiles) SetSub(profile);
  if (exFlag == kFalse) {
    MessageBoxW(nullptr, Wide(dicset::kFailureText), Wide(dicset::kFailureTitle),
                dicset::kFailureStyle);
  }
}

void Form1::SetSub(const std::u16string& profile) {
  for (const auto& setKey : dicset::SetKeys(profile)) SetDicSet(setKey);
}

void Form1::SetDicSet(const std::u16string& setKey) {
  const std::u16string slot = FoundSpace(setKey);
  if (slot.empty()) return;
  // A write that fails (the key deleted or locked since it was read) took nothing: only a set
  // that really holds the entry keeps the failure box away.
  if (RegSet::PutKeyValue(setKey, slot, dicset::kEntryPrefix + dicset::Upper(DicPath),
                          RegSet::kTypeText) == ERROR_SUCCESS) {
    exFlag = kTrue;
  }
}

std::u16string Form1::FoundSpace(const std::u16string& setKey) {
  if (RegSet::GetKeyValue(setKey, kSlot1).empty()) return std::u16string();
  for (int k = kFirstFillableSlot; k <= kLastSlot; ++k) {
    std::u16string name = dicset::SlotName(k);
    // Each slot is read once: the same text decides "this edition" and "free".
    const std::u16string text = RegSet::GetKeyValue(setKey, name);
    if (dicset::RefersTo(text, DicName) || text.empty()) return name;
  }
  return std::u16string();
}

void Form1::DelAtok25() {
  for (const auto& profile : kProfiles) DelSub(profile);
}

void Form1::DelSub(const std::u16string& profile) {
  for (const auto& setKey : dicset::SetKeys(profile)) DelDicSet(setKey);
}

void Form1::DelDicSet(const std::u16string& setKey) {
  LSTATUS opened = ERROR_SUCCESS;
  if (RegSet::GetKeyValue(setKey, kSlot1, opened).empty()) {
    // Only a set that refuses the open is read again: every other run makes the same calls.
    if (opened == ERROR_ACCESS_DENIED && HoldsUnchangeable(setKey, DicNameEx)) keptFlag = true;
    return;
  }
  for (int k = kFirstFillableSlot; k <= kLastSlot; ++k) {
    const std::u16string name = dicset::SlotName(k);
    // Emptied, not deleted: the value stays with the empty text.
    if (dicset::RefersTo(RegSet::GetKeyValue(setKey, name), DicNameEx) &&
        RegSet::PutKeyValue(setKey, name, std::u16string(), RegSet::kTypeText) != ERROR_SUCCESS) {
      keptFlag = true;
    }
  }
}
