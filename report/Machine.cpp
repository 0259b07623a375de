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
#include "Package.h"
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
const std::u16string kRollbackSwitch = u"/rollback";
const std::u16string kInstallSwitch = u"/install";
const std::u16string kUninstallSwitch = u"/uninstall";
const std::u16string kSilentSwitch = u"/silent";
const std::u16string kUninstSwitch = u"/uninst";
// Where System Configuration keeps the startup entries it switched off.
const std::u16string kConfiguredKey = u"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
// Windows replaces or deletes these files at the next restart (what Windows Installer asks for a
// file in use).
const std::u16string kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::u16string kPendingRenames = u"PendingFileRenameOperations";

enum class Mode { Desktop, Register, Quiet, File, Install, Uninstall, SignIn, Rollback, Bad };

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
  // dicreg's box comes up in front of the setup that started this program, which may hand on
  // its right to the foreground.
  if (wait) AllowSetForegroundWindow(ASFW_ANY);
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
// installed one is in the newest version's folder; the others are earlier ones, to be deleted.
struct Installation {
  std::u16string dictionary;
  std::vector<std::u16string> earlier;
  // Every dictionary the setups put there (the installed one included), as the uninstall
  // deletes them; none where the MSI keeps its one beside the programs.
  std::vector<std::u16string> setups;
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
    installed.setups.push_back(folder + name + u"\\" + kDictionary);
    if (name != newest) installed.earlier.push_back(installed.setups.back());
  }
  // Beside versions' folders, one beside the programs is an earlier package's.
  if (!newest.empty() && Exists(folder + kDictionary)) {
    installed.earlier.push_back(folder + kDictionary);
    installed.setups.push_back(folder + kDictionary);
  }
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

// The program's startup entries that System Configuration (msconfig, Windows XP to 7) switched
// off: it moves them out of the user's Run key into a key of its own below the machine's, which
// a 32-bit program on 64-bit Windows must ask for in its 64-bit view.
std::vector<std::u16string> Configured(const std::vector<std::u16string>& programs) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kConfiguredKey), 0,
                    KEY_READ | (wow64 ? KEY_WOW64_64KEY : 0), &opened) != ERROR_SUCCESS) {
    return {};
  }
  const UniqueHkey key(opened);
  std::vector<std::u16string> names;
  for (const auto& name : SubkeyNames(key.get())) {
    HKEY entry = nullptr;
    if (RegOpenKeyExW(key.get(), Wide(name), 0, KEY_QUERY_VALUE, &entry) != ERROR_SUCCESS) {
      continue;
    }
    const UniqueHkey item(entry);
    const std::u16string command = dicset::Upper(RegSet::ValueText(item.get(), u"command"));
    for (const auto& program : programs) {
      if (dicset::Upper(RegSet::ValueText(item.get(), u"hkey")) == u"HKCU" &&
          command.rfind(u"\"" + dicset::Upper(program) + u"\"", 0) == 0) {
        names.push_back(name);
        break;
      }
    }
  }
  return names;
}

std::vector<std::u16string> Arguments() {
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalFreer> arguments(
      CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::u16string> found;
  for (int i = 1; arguments && i < count; ++i) found.push_back(FromWide(arguments.get()[i]));
  return found;
}

struct Command {
  Mode mode = Mode::Bad;
  std::u16string product;  // the startup entry's name, for /install and /uninstall
  bool silent = false;     // /install: nobody at the screen
};

bool Is(const std::u16string& argument, const std::u16string& name) {
  return dicset::Upper(argument) == dicset::Upper(name);
}

Command CommandOf(const std::vector<std::u16string>& arguments) {
  Command command;
  if (arguments.empty()) {
    command.mode = Mode::Desktop;
  } else if (arguments.size() == 1) {
    const std::u16string& only = arguments[0];
    command.mode = Is(only, kRegisterSwitch)   ? Mode::Register
                   : Is(only, kQuietSwitch)    ? Mode::Quiet
                   : Is(only, kSignInSwitch)   ? Mode::SignIn
                   : Is(only, kRollbackSwitch) ? Mode::Rollback
                   // A mistyped switch is no file to write to.
                   : only.rfind(u'/', 0) == 0 ? Mode::Bad
                                              : Mode::File;
  } else if (arguments.size() <= 3 && !arguments[1].empty() && arguments[1][0] != u'/') {
    command.product = arguments[1];
    command.silent = arguments.size() == 3 && Is(arguments[2], kSilentSwitch);
    if (Is(arguments[0], kInstallSwitch) && (arguments.size() == 2 || command.silent)) {
      command.mode = Mode::Install;
    } else if (Is(arguments[0], kUninstallSwitch) && arguments.size() == 2) {
      command.mode = Mode::Uninstall;
    }
  }
  return command;
}

// Where /install and /uninstall write what they change, for /rollback to put back: the user's
// temporary folder, as the MSI's actions and their rollback actions see it.
std::u16string RecordPath() {
  WCHAR temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return std::u16string();
  return FromWide(temp) + u"QelDat2012 rollback " + UserName() + u".txt";
}

std::u16string Load(const std::u16string& path) {
  const HANDLE opened = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return std::u16string();
  const UniqueHandle file(opened);
  std::u16string text;
  char16_t buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) {
    text.append(buffer, got / sizeof(char16_t));
  }
  return text.empty() || text[0] != u'\xFEFF' ? text : text.substr(1);
}

std::u16string ShortPath(const std::u16string& path) {
  WCHAR shorter[MAX_PATH + 1];
  const DWORD length = GetShortPathNameW(Wide(path), shorter, MAX_PATH + 1);
  return length && length <= MAX_PATH ? FromWide(shorter) : path;
}

// Before Windows 8, Windows speaks of logging on and off rather than signing in and out.
bool LogsOff() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExW(&version);
  return version.dwMajorVersion < 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion < 2);
}

// What a package's run has to do with the files and the programs: the folder, the programs by
// their paths, and the dictionaries found there.
struct Here {
  std::u16string own;                    // dicreport.exe, as Windows started it
  std::u16string folder;                 // with its trailing backslash
  std::vector<std::u16string> programs;  // its long and its short path, for the startup entry
  Installation installed;

  std::u16string Dicreg() const { return folder + kDicreg; }
};

Here LookHere() {
  Here here;
  here.own = OwnPath();
  here.folder = here.own.substr(0, here.own.find_last_of(u'\\') + 1);
  here.programs = {here.own};
  const std::u16string shorter = ShortPath(here.own);
  if (dicset::Upper(shorter) != dicset::Upper(here.own)) here.programs.push_back(shorter);
  here.installed = Look(here.folder);
  return here;
}

// Runs dicreg with the installed dictionary, when the rule for the mode says so: nobody at the
// screen, only when a set can take it (so that its box cannot come up); with somebody there,
// unless no set can take it and every set holds it already (its box would say otherwise).
std::optional<Registration> Register(const Here& here, const Survey& survey, bool silent) {
  const auto findings = Find(survey, here.installed.dictionary, Exists);
  const bool canTake = AnyCanTake(findings);
  if (silent ? !(canTake && Exists(here.installed.dictionary))
             : !canTake && AllRegistered(findings)) {
    return std::nullopt;
  }
  return Start(here.Dicreg(), u"\"" + here.installed.dictionary + u"\"", here.folder, true);
}

// Deletes the dictionaries that no set in use names. One that stays because ATOK 2012 holds it
// open is left to the next sign-in through a RunOnce value (named after the product and the
// version's folder), when Windows can run a command that short; the flags say what stayed.
DWORD DeleteDictionaries(const Here& here, const std::vector<std::u16string>& dictionaries,
                         const Survey& survey, const std::u16string& product) {
  DWORD flags = 0;
  WCHAR system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  const std::u16string cmd = FromWide(system).substr(0, length) + u"\\cmd.exe";
  WCHAR profile[MAX_PATH];
  const DWORD profileLength = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
  const std::u16string home = profileLength && profileLength < MAX_PATH ? FromWide(profile) : u"";
  const std::u16string folder = here.folder.substr(0, here.folder.size() - 1);
  for (const auto& dictionary : dictionaries) {
    if (!Exists(dictionary)) continue;
    if (Named(survey, dictionary)) {
      flags |= kLeftBehind;
      continue;
    }
    const std::u16string inside = dictionary.substr(0, dictionary.find_last_of(u'\\'));
    const std::u16string subfolder =
        inside.size() > folder.size() ? inside.substr(folder.size() + 1) : std::u16string();
    DeleteFileW(Wide(dictionary));
    if (!subfolder.empty()) RemoveDirectoryW(Wide(inside));
    if (!Exists(dictionary)) continue;
    const std::u16string command =
        FirstThatFits({CleanupCommand(cmd, ProfileRelative(folder, home), subfolder),
                       CleanupCommand(cmd, folder, subfolder),
                       CleanupCommand(cmd, ShortPath(folder), subfolder)});
    const std::u16string name = subfolder.empty() ? product : product + u" (" + subfolder + u")";
    const UniqueHkey once = CreateKey(kRunOnceKey, KEY_SET_VALUE);
    if (!command.empty() && once &&
        RegSet::PutValue(once.get(), name, RegSet::kTypeText, command) == ERROR_SUCCESS) {
      flags |= kHeldOpen;
    } else {
      flags |= kNoCleanup;
    }
  }
  return flags;
}

DWORD Install(const Here& here, const std::u16string& product, bool silent) {
  Save(RecordPath(), RecordChanges());
  // A sign-in must not delete what this install uses.
  const std::u16string installedIn =
      here.installed.dictionary.substr(0, here.installed.dictionary.find_last_of(u'\\'));
  const std::u16string version =
      installedIn.size() + 1 > here.folder.size() ? installedIn.substr(here.folder.size()) : u"";
  LSTATUS status = ERROR_SUCCESS;
  if (const UniqueHkey once = RegSet::OpenCurrentUserKey(kRunOnceKey, KEY_SET_VALUE, status)) {
    RegDeleteValueW(once.get(), Wide(version.empty() ? product : product + u" (" + version + u")"));
  }
  const std::optional<Registration> run = Register(here, TakeSurvey(), silent);
  const Survey survey = TakeSurvey();
  const auto findings = Find(survey, here.installed.dictionary, Exists);
  DWORD flags = LogsOff() ? DWORD{kLogOff} : 0;
  Outcome outcome = kRegistered;
  if (run && (!run->started || run->code > 1)) {
    outcome = run->started ? kFailed : kNotStarted;
  } else if (AllRegistered(findings) || (run && run->code == 0)) {
    ForgetStartup(here.programs);
    outcome = AllRegistered(findings) ? kRegistered : kPartly;
  } else {
    // Not registered for want of a set: a sign-in does it once one can, unless the entry is
    // switched off or too long for Windows to run.
    const std::u16string command =
        FirstThatFits({StartupCommand(here.own), StartupCommand(ShortPath(here.own))});
    ForgetStartup(here.programs);
    const bool left = !command.empty() && LeaveStartup(product, command);
    const Startup startup = ReadStartup(here.programs);
    outcome = left && startup.switchedOff.empty() ? kWaits : kCannotWait;
  }
  flags |= DeleteDictionaries(here, here.installed.earlier, survey, product);
  return PackageStatus(outcome, flags, run ? run->code : 0);
}

DWORD Uninstall(const Here& here, const std::u16string& product) {
  Save(RecordPath(), RecordChanges());
  const Registration run = Start(here.Dicreg(), kUninstSwitch, here.folder, true);
  ForgetStartup(here.programs);
  const DWORD flags = (LogsOff() ? DWORD{kLogOff} : 0) |
                      DeleteDictionaries(here, here.installed.setups, TakeSurvey(), product);
  const Outcome outcome = !run.started ? kNotStarted : run.code ? kFailed : kRegistered;
  return PackageStatus(outcome, flags, run.code);
}

// At a sign-in: registers when a registration waits and a set can take it, then clears the
// marker. It writes neither the Run nor the RunOnce key, and deletes an earlier dictionary only
// as a file; the entry itself goes with a later registration made outside a sign-in.
DWORD SignIn(const Here& here) {
  if (!ReadStartup(here.programs).waiting) return kAllRegistered;
  const std::optional<Registration> run = Register(here, TakeSurvey(), true);
  if (!run) return kNoSetCanTake;
  if (!run->started || run->code != 0) return kSomethingToDo;
  ClearMarker();
  const Survey survey = TakeSurvey();
  for (const auto& dictionary : here.installed.earlier) {
    if (Named(survey, dictionary)) continue;
    DeleteFileW(Wide(dictionary));
    const std::u16string inside = dictionary.substr(0, dictionary.find_last_of(u'\\'));
    if (inside.size() + 1 > here.folder.size()) RemoveDirectoryW(Wide(inside));
  }
  return kAllRegistered;
}

}  // namespace

int Run() {
  const Language language = UserLanguage();
  const Command command = CommandOf(Arguments());
  if (command.mode == Mode::Bad) {
    MessageBoxW(nullptr, Wide(UsageText(language)), Wide(u"dicreport"), MB_OK | MB_ICONSTOP);
    return kBadArguments;
  }
  const Here here = LookHere();
  switch (command.mode) {
    case Mode::Install:
      return static_cast<int>(Install(here, command.product, command.silent));
    case Mode::Uninstall:
      return static_cast<int>(Uninstall(here, command.product));
    case Mode::SignIn:
      return static_cast<int>(SignIn(here));
    case Mode::Rollback: {
      const std::u16string path = RecordPath();
      const std::u16string record = Load(path);
      if (record.empty()) return kNotWritten;
      PutBack(record);
      DeleteFileW(Wide(path));
      return kAllRegistered;
    }
    default:
      break;
  }
  const std::u16string& folder = here.folder;
  Facts facts;
  facts.folder = folder.substr(0, folder.size() - 1);
  facts.dicregPath = here.Dicreg();
  facts.dictionary = here.installed.dictionary;
  Survey survey = TakeSurvey();
  const Mode mode = command.mode;
  // /quiet runs dicreg only where it will not show its box: when a set can take the dictionary,
  // which is there to register.
  if (mode == Mode::Register || mode == Mode::Quiet) {
    facts.registration = Register(here, survey, mode == Mode::Quiet);
    if (facts.registration && facts.registration->started && facts.registration->code == 0) {
      ForgetStartup(here.programs);
    }
    // Read again, so that the report shows what dicreg left.
    survey = TakeSurvey();
  }
  facts.made = Now();
  facts.windows = Windows();
  facts.logOff = LogsOff();
  facts.user = UserName();
  facts.version = FileVersion(here.own);
  facts.dicregVersion = FileVersion(facts.dicregPath);
  facts.dictionaryPresent = Exists(facts.dictionary);
  facts.startup = ReadStartup(here.programs);
  if (facts.startup.entries.empty()) facts.configured = Configured(here.programs);
  facts.stale = here.installed.earlier;
  facts.restart = RenamedAtRestart(folder);
  const Report report = Write(survey, Find(survey, facts.dictionary, Exists), facts, language);
  if (mode == Mode::Quiet) return report.status;

  const bool toDesktop = mode != Mode::File;
  const std::u16string desktop = toDesktop ? Desktop() : std::u16string();
  const std::u16string path = toDesktop ? desktop + u"\\" + FileName(language) : Arguments()[0];
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
