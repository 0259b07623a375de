// In-memory registry, message box recorder and process stand-ins. The registry follows Win32:
// case-insensitive key and value names, sizes in bytes, ERROR_MORE_DATA with the needed size,
// access checked against the rights a handle was opened with, closed handles rejected.
#include "HostWin.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>

namespace {

char16_t UpperChar(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;                     // full-width Latin letters
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;                       // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

std::u16string Upper(std::u16string s) {
  for (auto& c : s) c = UpperChar(c);
  return s;
}

struct Value {
  std::u16string name;
  DWORD type;
  std::vector<BYTE> data;
};

struct Key {
  std::u16string name;
  REGSAM allowed = ~REGSAM{0};  // the rights an open may ask for, as the key's DACL grants them
  std::vector<Value> values;    // in creation order
  std::map<std::u16string, std::unique_ptr<Key>> subkeys;  // by upper-cased name
};

struct Handle {
  Key* key;
  REGSAM access;
};

struct State {
  Key currentUser;
  std::map<HKEY, Handle> handles;
  std::uintptr_t nextHandle = 0x1000;
  std::vector<hostwin::RegCall> regCalls;
  std::vector<hostwin::MessageBoxCall> boxes;
  std::u16string commandLine;
  bool failNextQuery = false;
  std::function<void(const std::u16string&)> beforeDataQuery;
  bool changing = false;
};

State& S() {
  static State state;
  return state;
}

std::u16string Str(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

LSTATUS Log(const char* api, HKEY key, LPCWSTR name, LSTATUS result, DWORD detail = 0) {
  S().regCalls.push_back({api, key, Str(name), result, detail});
  return result;
}

// Resolves a handle to its key and rights; the predefined root has every right.
const Handle* Resolve(HKEY key) {
  static Handle root;
  if (key == HKEY_CURRENT_USER) {
    root = {&S().currentUser, KEY_ALL_ACCESS};
    return &root;
  }
  auto it = S().handles.find(key);
  return it == S().handles.end() ? nullptr : &it->second;
}

std::vector<std::u16string> SplitPath(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Walks (and with create, makes) the path below a key; a leading backslash is refused.
LSTATUS Walk(Key* from, LPCWSTR subKey, bool create, Key** found) {
  Key* key = from;
  for (const auto& part : SplitPath(Str(subKey))) {
    if (part.empty()) return ERROR_BAD_PATHNAME;
    auto& slot = key->subkeys[Upper(part)];
    if (!slot) {
      if (!create) {
        key->subkeys.erase(Upper(part));
        return ERROR_FILE_NOT_FOUND;
      }
      slot = std::make_unique<Key>();
      slot->name = part;
    }
    key = slot.get();
  }
  *found = key;
  return ERROR_SUCCESS;
}

HKEY NewHandle(Key* key, REGSAM access) {
  HKEY h = reinterpret_cast<HKEY>(S().nextHandle);
  S().nextHandle += 4;
  S().handles[h] = {key, access};
  return h;
}

Value* FindValue(Key* key, LPCWSTR name) {
  const auto upper = Upper(Str(name));
  for (auto& v : key->values) {
    if (Upper(v.name) == upper) return &v;
  }
  return nullptr;
}

bool Contains(const Key* tree, const Key* key) {
  if (tree == key) return true;
  for (const auto& [name, sub] : tree->subkeys) {
    if (Contains(sub.get(), key)) return true;
  }
  return false;
}

// Copies a name out the way RegEnum*W does: length in characters without the NUL.
LSTATUS CopyName(const std::u16string& name, LPWSTR out, LPDWORD length) {
  if (!out || !length) return ERROR_INVALID_PARAMETER;
  if (*length <= name.size()) return ERROR_MORE_DATA;
  std::copy(name.begin(), name.end(), out);
  out[name.size()] = 0;
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

LSTATUS CopyData(const Value& v, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  if (type) *type = v.type;
  if (!size) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(v.data.size());
  if (data && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data && needed) std::memcpy(data, v.data.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
  const Handle* parent = Resolve(key);
  if (!parent) return Log("RegOpenKeyExW", key, subKey, ERROR_INVALID_HANDLE, access);
  if (!result) return Log("RegOpenKeyExW", key, subKey, ERROR_INVALID_PARAMETER, access);
  Key* found = nullptr;
  LSTATUS status = Walk(parent->key, subKey, false, &found);
  if (status == ERROR_SUCCESS && (access & ~found->allowed)) status = ERROR_ACCESS_DENIED;
  if (status == ERROR_SUCCESS) *result = NewHandle(found, access);
  return Log("RegOpenKeyExW", key, subKey, status, access);
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access, void*,
                        PHKEY result, LPDWORD disposition) {
  const Handle* parent = Resolve(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  if (!result) return ERROR_INVALID_PARAMETER;
  Key* existing = nullptr;
  const bool existed = Walk(parent->key, subKey, false, &existing) == ERROR_SUCCESS;
  Key* found = nullptr;
  const LSTATUS status = Walk(parent->key, subKey, true, &found);
  if (status != ERROR_SUCCESS) return status;
  if (access & ~found->allowed) return ERROR_ACCESS_DENIED;
  *result = NewHandle(found, access);
  if (disposition) *disposition = existed ? 2 : 1;
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
  if (S().failNextQuery) {
    S().failNextQuery = false;
    throw std::bad_alloc();
  }
  if (data && S().beforeDataQuery && !S().changing) {
    S().changing = true;
    S().beforeDataQuery(Str(valueName));
    S().changing = false;
  }
  const Handle* h = Resolve(key);
  if (!h) return Log("RegQueryValueExW", key, valueName, ERROR_INVALID_HANDLE);
  if (reserved) return Log("RegQueryValueExW", key, valueName, ERROR_INVALID_PARAMETER);
  if (!(h->access & KEY_QUERY_VALUE)) {
    return Log("RegQueryValueExW", key, valueName, ERROR_ACCESS_DENIED);
  }
  const Value* v = FindValue(h->key, valueName);
  if (!v) return Log("RegQueryValueExW", key, valueName, ERROR_FILE_NOT_FOUND);
  return Log("RegQueryValueExW", key, valueName, CopyData(*v, type, data, dataSize));
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize) {
  const auto fail = [&](LSTATUS status) {
    return Log("RegSetValueExW", key, valueName, status, dataSize);
  };
  const Handle* h = Resolve(key);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (reserved) return fail(ERROR_INVALID_PARAMETER);
  if (!(h->access & KEY_SET_VALUE)) return fail(ERROR_ACCESS_DENIED);
  if (dataSize && !data) return fail(ERROR_INVALID_PARAMETER);
  const DWORD givenSize = dataSize;
  // Windows adds the terminating NUL to a string whose given size left it out but whose buffer
  // holds it right after.
  if (dataSize >= 2 && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
    const std::size_t units = dataSize / 2;
    char16_t last = 0;
    char16_t next = 0;
    std::memcpy(&last, data + (units - 1) * 2, 2);
    if (last != 0) {
      std::memcpy(&next, data + units * 2, 2);
      if (next == 0) dataSize = static_cast<DWORD>((units + 1) * 2);
    }
  }
  std::vector<BYTE> bytes(data, data + dataSize);
  if (Value* v = FindValue(h->key, valueName)) {
    v->type = type;
    v->data = std::move(bytes);
  } else {
    h->key->values.push_back({Str(valueName), type, std::move(bytes)});
  }
  return Log("RegSetValueExW", key, valueName, ERROR_SUCCESS, givenSize);
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  const Handle* h = Resolve(key);
  if (!h) return ERROR_INVALID_HANDLE;
  if (!(h->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  auto& values = h->key->values;
  const auto upper = Upper(Str(valueName));
  const auto it = std::find_if(values.begin(), values.end(),
                               [&](const Value& v) { return Upper(v.name) == upper; });
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  values.erase(it);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER) return Log("RegCloseKey", key, nullptr, ERROR_SUCCESS);
  const bool known = S().handles.erase(key) == 1;
  return Log("RegCloseKey", key, nullptr, known ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
  const Handle* h = Resolve(key);
  if (!h) return ERROR_INVALID_HANDLE;
  const auto parts = SplitPath(Str(subKey));
  Key* parent = h->key;
  if (parts.empty()) {
    parent->values.clear();
    parent->subkeys.clear();
    return ERROR_SUCCESS;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = parent->subkeys.find(Upper(parts[i]));
    if (it == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
    parent = it->second.get();
  }
  auto it = parent->subkeys.find(Upper(parts.back()));
  if (it == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
  for (auto hi = S().handles.begin(); hi != S().handles.end();) {
    hi = Contains(it->second.get(), hi->second.key) ? S().handles.erase(hi) : std::next(hi);
  }
  parent->subkeys.erase(it);
  return ERROR_SUCCESS;
}

// As Win32's: a key with subkeys is refused; its values go with it.
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  const Handle* h = Resolve(key);
  if (!h) return ERROR_INVALID_HANDLE;
  Key* found = nullptr;
  const LSTATUS status = Walk(h->key, subKey, false, &found);
  if (status != ERROR_SUCCESS) return status;
  if (!found->subkeys.empty()) return ERROR_ACCESS_DENIED;
  return RegDeleteTreeW(key, subKey);
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPWSTR,
                      LPDWORD, void*) {
  const Handle* h = Resolve(key);
  if (!h) return ERROR_INVALID_HANDLE;
  if (index >= h->key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  auto it = std::next(h->key->subkeys.begin(), index);
  return CopyName(it->second->name, name, nameLength);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD dataSize) {
  const Handle* h = Resolve(key);
  if (!h) return ERROR_INVALID_HANDLE;
  if (index >= h->key->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value& v = h->key->values[index];
  const LSTATUS status = CopyName(v.name, name, nameLength);
  if (status != ERROR_SUCCESS) return status;
  return CopyData(v, type, data, dataSize);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  S().boxes.push_back({owner, Str(text), Str(caption), type});
  return IDOK;
}

LPWSTR GetCommandLineW() { return S().commandLine.data(); }

int LCMapStringW(LCID, DWORD flags, LPCWSTR source, int sourceLength, LPWSTR dest, int destLength) {
  if (!source || sourceLength == 0 || flags != LCMAP_UPPERCASE || destLength < 0) return 0;
  const std::size_t n =
      sourceLength < 0 ? std::char_traits<char16_t>::length(source) + 1 : sourceLength;
  if (destLength == 0) return static_cast<int>(n);
  if (static_cast<std::size_t>(destLength) < n || !dest) return 0;
  for (std::size_t i = 0; i < n; ++i) dest[i] = UpperChar(source[i]);
  return static_cast<int>(n);
}

void ExitProcess(UINT exitCode) { throw hostwin::ProcessExit{exitCode}; }

namespace hostwin {

void Reset() {
  S().currentUser.values.clear();
  S().currentUser.subkeys.clear();
  S().handles.clear();
  S().regCalls.clear();
  S().boxes.clear();
  S().commandLine.clear();
  S().failNextQuery = false;
  S().beforeDataQuery = nullptr;
  S().changing = false;
}

void SetCommandLine(const std::u16string& commandLine) { S().commandLine = commandLine; }
const std::vector<MessageBoxCall>& MessageBoxes() { return S().boxes; }
const std::vector<RegCall>& RegCalls() { return S().regCalls; }
void ClearRegCalls() { S().regCalls.clear(); }
std::size_t OpenHandleCount() { return S().handles.size(); }
void FailNextQuery() { S().failNextQuery = true; }
void BeforeDataQuery(std::function<void(const std::u16string&)> change) {
  S().beforeDataQuery = std::move(change);
}

void DenyOpen(const std::u16string& keyPath) { Allow(keyPath, 0); }

void Allow(const std::u16string& keyPath, REGSAM rights) {
  Key* key = nullptr;
  if (Walk(&S().currentUser, keyPath.c_str(), true, &key) == ERROR_SUCCESS) key->allowed = rights;
}

}  // namespace hostwin
