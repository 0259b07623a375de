#include "Machine.h"

#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <vector>

#include "../registry/RegSet.h"
#include "../registry/WinText.h"
#include "Pending.h"

namespace report {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct LibraryFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<HINSTANCE__, LibraryFreer>;

struct LocalFreer {
  void operator()(LPWSTR* memory) const { LocalFree(memory); }
};

struct FindCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

const std::u16string kDicreg = u"dicreg.exe";
const std::u16string kDictionary = u"QelDat2012.dic";
const std::u16string kRegisterSwitch = u"/register";
// Windows replaces or deletes these files at the next restart (what Windows Installer asks for a
// file in use).
const std::u16string kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::u16string kPendingRenames = u"PendingFileRenameOperations";

enum class Mode { Desktop, Register, Quiet, File, Bad };

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

// A number in decimal, at least width digits.
std::u16string Digits(unsigned number, std::size_t width = 1) {
  std::u16string digits = RegSet::DecimalText(static_cast<std::int32_t>(number));
  return std::u16string(digits.size() < width ? width - digits.size() : 0, u'0') + digits;
}

std::u16string OwnPath() {
  std::vector<WCHAR> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  return std::u16string(reinterpret_cast<const char16_t*>(path.data()), length);
}

// The version in a program's version resource, read without running or loading it as code.
std::u16string FileVersion(const std::u16string& path) {
  const UniqueLibrary module(LoadLibraryExW(Wide(path), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return std::u16string();
  const HRSRC found = FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
  const HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
  const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD size = found ? SizeofResource(module.get(), found) : 0;
  // VS_FIXEDFILEINFO starts with its signature, on a four-byte boundary.
  for (DWORD at = 0; data && at + 16 <= size; at += 4) {
    DWORD words[4];
    std::memcpy(words, data + at, sizeof words);
    if (words[0] != 0xFEEF04BD) continue;
    const unsigned build = words[3] & 0xFFFF;
    return Digits(words[2] >> 16) + u"." + Digits(words[2] & 0xFFFF) + u"." +
           Digits(words[3] >> 16) + (build ? u"." + Digits(build) : u"");
  }
  return std::u16string();
}

bool Exists(const std::u16string& path) {
  return GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
}

WindowsVersion Windows() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
  const unsigned major = version.dwMajorVersion, minor = version.dwMinorVersion;
  const char* name = "Windows";
  if (version.wProductType != VER_NT_WORKSTATION) {
    name = "Windows Server";
  } else if (major == 5 && minor == 1) {
    name = "Windows XP";
  } else if (major == 5 && minor == 2) {
    name = "Windows XP x64";
  } else if (major == 6) {
    name = minor == 0   ? "Windows Vista"
           : minor == 1 ? "Windows 7"
           : minor == 2 ? "Windows 8"
                        : "Windows 8.1";
  } else if (major == 10) {
    name = version.dwBuildNumber >= 22000 ? "Windows 11" : "Windows 10";
  }
  SYSTEM_INFO system = {};
  GetNativeSystemInfo(&system);
  const bool wide = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                    system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64 ||
                    system.wProcessorArchitecture == 12;  // ARM64
  std::u16string number =
      Digits(major) + u"." + Digits(minor) + u"." + Digits(version.dwBuildNumber);
  if (version.szCSDVersion[0]) number += u" " + FromWide(version.szCSDVersion);
  return {Ascii(name), number, wide};
}

std::u16string UserName() {
  WCHAR name[257];
  DWORD length = 257;
  return GetUserNameW(name, &length) ? FromWide(name) : std::u16string(u"?");
}

std::u16string Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return Digits(now.wYear, 4) + u"-" + Digits(now.wMonth, 2) + u"-" + Digits(now.wDay, 2) + u" " +
         Digits(now.wHour, 2) + u":" + Digits(now.wMinute, 2);
}

Language UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese
                                                                    : Language::English;
}

// Starts a program; with wait, waits for it and gives its exit status.
Registration Start(const std::u16string& program, const std::u16string& arguments,
                   const std::u16string& folder, bool wait) {
  std::u16string line = u"\"" + program + u"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, reinterpret_cast<LPWSTR>(line.data()), nullptr, nullptr, FALSE, 0,
                      nullptr, Wide(folder), &startup, &process)) {
    return {false, GetLastError()};
  }
  const UniqueHandle thread(process.hThread);
  const UniqueHandle owned(process.hProcess);
  DWORD status = 0;
  if (wait) {
    WaitForSingleObject(owned.get(), INFINITE);
    GetExitCodeProcess(owned.get(), &status);
  }
  return {true, status};
}

// Writes the text as UTF-16 with its byte-order mark, which Notepad reads right on every
// Windows; gives the Windows error, or 0.
DWORD Save(const std::u16string& path, const std::u16string& text) {
  const HANDLE created = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return GetLastError();
  const UniqueHandle file(created);
  const std::u16string data = u"\xFEFF" + text;
  const DWORD size = static_cast<DWORD>(data.size() * sizeof(char16_t));
  DWORD written = 0;
  if (!WriteFile(file.get(), data.data(), size, &written, nullptr)) return GetLastError();
  return written == size ? 0 : ERROR_WRITE_FAULT;
}

std::u16string Desktop() {
  WCHAR path[MAX_PATH];
  if (FAILED(
          SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return std::u16string();
  }
  return FromWide(path);
}

// Where the packages put the dictionary: each version into a folder of its own, so that a new
// one never has to replace a file that ATOK 2012 holds open; the MSI beside the programs. The
// installed one is in the newest version's folder; the others wait to be deleted.
struct Installation {
  std::u16string dictionary;
  std::vector<std::u16string> stale;
};

Installation Look(const std::u16string& folder) {
  std::vector<std::u16string> versions;
  WIN32_FIND_DATAW found;
  const HANDLE first = FindFirstFileW(Wide(folder + u"*"), &found);
  const UniqueFind search(first == INVALID_HANDLE_VALUE ? nullptr : first);
  for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found)) {
    const std::u16string name = FromWide(found.cFileName);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !NewestVersion({name}).empty() &&
        Exists(folder + name + u"\\" + kDictionary)) {
      versions.push_back(name);
    }
  }
  const std::u16string newest = NewestVersion(versions);
  Installation installed;
  installed.dictionary = folder + (newest.empty() ? u"" : newest + u"\\") + kDictionary;
  for (const auto& name : versions) {
    if (name != newest) {
      installed.stale.push_back(folder + name + u"\\" + kDictionary);
    }
  }
  if (!newest.empty() && Exists(folder + kDictionary))
    installed.stale.push_back(folder + kDictionary);
  return installed;
}

// Whether Windows is to replace or delete a file of the folder at the next restart.
bool RenamedAtRestart(const std::u16string& folder) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kSessionManager), 0, KEY_QUERY_VALUE, &opened) !=
      ERROR_SUCCESS) {
    return false;
  }
  const UniqueHkey key(opened);
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), Wide(kPendingRenames), nullptr, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::vector<char16_t> data(size / sizeof(char16_t) + 1, u'\0');
  if (RegQueryValueExW(key.get(), Wide(kPendingRenames), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    return false;
  }
  // Its names are NUL-parted, each after "\??\": the folder's text is looked for in them all.
  std::u16string names(data.begin(), data.end());
  for (auto& c : names) c = c ? c : u'|';
  return dicset::Upper(names).find(dicset::Upper(folder)) != std::u16string::npos;
}

std::vector<std::u16string> Arguments() {
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalFreer> arguments(
      CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::u16string> found;
  for (int i = 1; arguments && i < count; ++i) found.push_back(FromWide(arguments.get()[i]));
  return found;
}

Mode ModeOf(const std::vector<std::u16string>& arguments) {
  if (arguments.empty()) return Mode::Desktop;
  if (arguments.size() > 1) return Mode::Bad;
  const std::u16string upper = dicset::Upper(arguments[0]);
  if (upper == dicset::Upper(kRegisterSwitch)) return Mode::Register;
  if (upper == dicset::Upper(kQuietSwitch)) return Mode::Quiet;
  // A mistyped switch is no file to write to.
  return arguments[0].rfind(u'/', 0) == 0 ? Mode::Bad : Mode::File;
}

}  // namespace

int Run() {
  const Language language = UserLanguage();
  const std::vector<std::u16string> arguments = Arguments();
  const Mode mode = ModeOf(arguments);
  if (mode == Mode::Bad) {
    MessageBoxW(nullptr, Wide(UsageText(language)), Wide(u"dicreport"), MB_OK | MB_ICONSTOP);
    return kBadArguments;
  }
  const std::u16string own = OwnPath();
  const std::u16string folder = own.substr(0, own.find_last_of(u'\\') + 1);
  const Installation installed = Look(folder);
  Facts facts;
  facts.dicregPath = folder + kDicreg;
  facts.dictionary = installed.dictionary;
  Survey survey = TakeSurvey();
  // Unattended, dicreg runs only where it will not show its box: when a set can take the
  // dictionary, which is there to register.
  if (mode == Mode::Register || (mode == Mode::Quiet && Exists(facts.dictionary) &&
                                 AnyCanTake(Find(survey, facts.dictionary, Exists)))) {
    facts.registration = Start(facts.dicregPath, u"\"" + facts.dictionary + u"\"", folder, true);
    if (facts.registration->started && facts.registration->code == 0) ForgetPending(own);
    // Read again, so that the report shows what dicreg left.
    survey = TakeSurvey();
  }
  facts.made = Now();
  facts.windows = Windows();
  facts.user = UserName();
  facts.version = FileVersion(own);
  facts.dicregVersion = FileVersion(facts.dicregPath);
  facts.dictionaryPresent = Exists(facts.dictionary);
  facts.pending = PendingEntries(own);
  facts.signInAgain = !installed.stale.empty();
  facts.restart = RenamedAtRestart(folder);
  const Report report = Write(survey, Find(survey, facts.dictionary, Exists), facts, language);
  if (mode == Mode::Quiet) return report.status;

  const bool toDesktop = mode != Mode::File;
  const std::u16string desktop = toDesktop ? Desktop() : std::u16string();
  const std::u16string path = toDesktop ? desktop + u"\\" + FileName(language) : arguments[0];
  const DWORD error = toDesktop && desktop.empty() ? ERROR_PATH_NOT_FOUND : Save(path, report.text);
  // A script that gave the file learns it from the exit status: it may run where nobody could
  // close a box.
  if (error && toDesktop) {
    MessageBoxW(nullptr, Wide(NotSavedText(language, path, error)), Wide(u"dicreport"),
                MB_OK | MB_ICONSTOP);
  }
  if (error) return kNotWritten;
  // Shown, never waited for: the customer reads it while the program has ended.
  if (toDesktop && !Start(u"notepad.exe", u"\"" + path + u"\"", desktop, false).started) {
    MessageBoxW(nullptr, Wide(SavedText(language, path)), Wide(u"dicreport"),
                MB_OK | MB_ICONINFORMATION);
  }
  return report.status;
}

}  // namespace report
