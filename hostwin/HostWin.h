// Test-side controls of the host stand-ins: seed the command line, look at the message boxes
// and registry calls made, make a key refuse to open, and inject an unexpected failure.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace hostwin {

// Thrown by the stand-in ExitProcess so a test can see the status instead of losing the process.
struct ProcessExit {
  UINT code;
};

struct MessageBoxCall {
  HWND owner;
  std::u16string text;
  std::u16string caption;
  UINT type;
};

struct RegCall {
  std::string api;  // "RegOpenKeyExW", "RegQueryValueExW", "RegSetValueExW", "RegCloseKey"
  HKEY key;         // the handle the call was made on
  std::u16string name;
  LSTATUS result;
  DWORD detail;  // open: the access asked for; set: the data size in bytes
};

// Empties the registry, the logs and the command line; forgets every handle.
void Reset();

void SetCommandLine(const std::u16string& commandLine);
const std::vector<MessageBoxCall>& MessageBoxes();

// Calls of the four functions the program uses on keys (open, query, set, close).
const std::vector<RegCall>& RegCalls();
void ClearRegCalls();
std::size_t OpenHandleCount();

// Opening this key (path under HKEY_CURRENT_USER) with any access fails with ERROR_ACCESS_DENIED.
void DenyOpen(const std::u16string& keyPath);

// Opening this key with any right beyond these fails with ERROR_ACCESS_DENIED, as its DACL would.
void Allow(const std::u16string& keyPath, REGSAM rights);

// Runs before every RegQueryValueExW that fetches data, so a test can change the value after
// its size was asked, as another process would. Calls made from inside it do not run it again.
void BeforeDataQuery(std::function<void(const std::u16string& valueName)> change);

// The next RegQueryValueExW throws std::bad_alloc, as a failed allocation deep in a run would.
void FailNextQuery();

}  // namespace hostwin
