// Restricts what may be done with a registry key, as an administrator's DACL would, for the
// Windows tests and the end-to-end driver. The owner may always rewrite a key's DACL, so full
// access can be given back (kFullAccess) before the key is deleted.
#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <sddl.h>

#include "../registry/UniqueHkey.h"

inline const wchar_t kReadOnly[] = L"D:P(A;;KR;;;WD)";
inline const wchar_t kNoAccess[] = L"D:P";
inline const wchar_t kFullAccess[] = L"D:P(A;;KA;;;WD)";

// Gives the key (a path under HKEY_CURRENT_USER) the DACL written in SDDL; true when it took.
inline bool SetKeyDacl(const wchar_t* path, const wchar_t* sddl) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
  const UniqueHkey owned(key);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return false;
  }
  const bool set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
  LocalFree(descriptor);
  return set;
}
