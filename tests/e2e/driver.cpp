// Runs one end-to-end case inside Wine: seeds HKEY_CURRENT_USER, starts the program with an exact
// command line through CreateProcessW, waits for it and dumps the registry tree it left.
//
// Usage: e2edriver <case file> <result file>. The case file is UTF-8, one command a line, fields
// separated by tabs, texts as hex of their UTF-16 code units (data as hex bytes):
//   clear <path>                      delete the key and everything below it
//   key <path>                        create the key
//   value <path> <name> <type> <data> create or replace a value
//   readonly <path>                   give the key a DACL that grants only reading, until the
//                                     driver ends
//   delete <path> <name>              delete a value
//   run <program> <command line>      start the program and wait for it (an empty program: the
//                                     one the command line starts with, found as Windows finds it)
//   runall <program> <command line>   the same, and wait for the processes it left running too
//   start <program> <command line>    start the program and go on, as Explorer starts a Run value
//   wait                              wait for every program started so far and for what each
//                                     left running; "exit" for each, in the order they started
//   shortcut <.lnk file>              start what the shortcut names, as the shell does (its
//                                     target, arguments and working folder), and wait for it
//   dump <path>                       write every key and value below the key to the result
//                                     (a path that starts HKEY_LOCAL_MACHINE\ is under it)
// The result file gets "exit <status> <microseconds>" for each run, "K <path>" for each key and
// "V <path> <name> <type> <data>" for each value, in the same encoding.
//
// Usage: e2edriver hold <file> <ready file> <stop file>. Holds the file (its path as hex of its
// UTF-16 code units) open as an input method holds a dictionary it uses (reading, sharing reading
// only: no writing, deleting or renaming), writes the ready file once it does, and lets go once
// the stop file exists.
#include <windows.h>
// After windows.h, which they build on.
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../../registry/UniqueHkey.h"
#include "../KeyRights.h"
#include "../RegEnum.h"

namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) fields.push_back(field);
  return fields;
}

std::vector<BYTE> Bytes(const std::string& hex) {
  std::vector<BYTE> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::wstring Text(const std::string& hex) {
  const auto bytes = Bytes(hex);
  std::wstring text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
  }
  return text;
}

std::string Hex(const BYTE* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += digits[data[i] >> 4];
    hex += digits[data[i] & 15];
  }
  return hex;
}

std::string Hex(const std::wstring& text) {
  return Hex(reinterpret_cast<const BYTE*>(text.data()), text.size() * sizeof(wchar_t));
}

UniqueHkey Open(HKEY parent, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return UniqueHkey();
  return UniqueHkey(key);
}

UniqueHkey Create(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return UniqueHkey();
  }
  return UniqueHkey(key);
}

// Writes the tree below path, each key named as root followed by its path.
void Dump(HKEY parent, const std::wstring& root, const std::wstring& path, std::ostream& out) {
  const UniqueHkey key = Open(parent, path);
  if (!key) return;
  const std::string shown = Hex(root + path);
  out << "K\t" << shown << "\n";
  for (const auto& value : EnumValues(key.get())) {
    out << "V\t" << shown << "\t" << Hex(std::wstring(value.name.begin(), value.name.end())) << "\t"
        << value.type << "\t" << Hex(value.data.data(), value.data.size()) << "\n";
  }
  for (const auto& name : EnumSubkeys(key.get())) {
    Dump(parent, root, path + L"\\" + std::wstring(name.begin(), name.end()), out);
  }
}

// Sole owner of a kernel handle.
struct UniqueHandle {
  HANDLE handle;
  explicit UniqueHandle(HANDLE h) : handle(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// When the process was started.
ULONGLONG StartedAt(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// Waits for the processes that the given one started and left running, as an NSIS uninstaller
// that hands over to a copy of itself in TEMP does. Wine hands out process ids again at once, so
// a process that started before the parent (a Wine service whose own parent is long gone) only
// names the same id and is not waited for; nor is Wine's desktop process.
void WaitForChildren(DWORD parentId, HANDLE parent) {
  const ULONGLONG parentStarted = StartedAt(parent);
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.handle, &entry); more;
       more = Process32NextW(snapshot.handle, &entry)) {
    if (entry.th32ParentProcessID != parentId || _wcsicmp(entry.szExeFile, L"explorer.exe") == 0) {
      continue;
    }
    const UniqueHandle child(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID));
    if (child.handle && StartedAt(child.handle) >= parentStarted) {
      WaitForSingleObject(child.handle, 120000);
    }
  }
}

template <class Interface>
struct ComReleaser {
  void operator()(Interface* object) const { object->Release(); }
};
template <class Interface>
using UniqueCom = std::unique_ptr<Interface, ComReleaser<Interface>>;

// What a shortcut starts: its target and arguments as a command line, and its working folder.
std::pair<std::wstring, std::wstring> Shortcut(const std::wstring& file) {
  // Only here: COM reads the registry, whose calls the benchmark counts in the driver's trace.
  static const HRESULT com = CoInitialize(nullptr);
  (void)com;
  IShellLinkW* created = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&created)))) {
    return {};
  }
  const UniqueCom<IShellLinkW> link(created);
  IPersistFile* persist = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) return {};
  const UniqueCom<IPersistFile> stored(persist);
  if (FAILED(stored->Load(file.c_str(), STGM_READ))) return {};
  wchar_t target[MAX_PATH] = L"", arguments[4096] = L"", folder[MAX_PATH] = L"";
  link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  link->GetArguments(arguments, 4096);
  link->GetWorkingDirectory(folder, MAX_PATH);
  return {L"\"" + std::wstring(target) + L"\" " + arguments, folder};
}

// A program started and not yet waited for: its process, and its id for its children.
struct Started {
  std::unique_ptr<UniqueHandle> process;
  DWORD id = 0;
};

// Starts the program; a program of nullptr is found from the command line. No process on failure.
Started Launch(const wchar_t* program, std::wstring commandLine, const wchar_t* folder = nullptr) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder && *folder ? folder : nullptr, &startup, &process)) {
    return {};
  }
  const UniqueHandle thread(process.hThread);
  return {std::make_unique<UniqueHandle>(process.hProcess), process.dwProcessId};
}

// Waits for a started program (and with children, for what it left running); gives its exit
// status, or -1 when it never started.
int Finish(const Started& started, bool children) {
  if (!started.process) return -1;
  WaitForSingleObject(started.process->handle, INFINITE);
  if (children) WaitForChildren(started.id, started.process->handle);
  DWORD status = 0;
  GetExitCodeProcess(started.process->handle, &status);
  return static_cast<int>(status);
}

// Starts the program and waits for it (and with children, for what it left running); gives its
// exit status and how long it took.
std::pair<int, long long> Run(const wchar_t* program, std::wstring commandLine, bool children,
                              const wchar_t* folder = nullptr) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const int status = Finish(Launch(program, std::move(commandLine), folder), children);
  QueryPerformanceCounter(&end);
  return {status, status == -1 ? 0 : (end.QuadPart - start.QuadPart) * 1000000 /
                                         frequency.QuadPart};
}

}  // namespace

int Hold(const std::wstring& file, const char* ready, const char* stop) {
  const UniqueHandle held(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (held.handle == INVALID_HANDLE_VALUE) return 1;
  std::ofstream(ready) << "held\n";
  while (GetFileAttributesA(stop) == INVALID_FILE_ATTRIBUTES) Sleep(100);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "hold") return Hold(Text(argv[2]), argv[3], argv[4]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: e2edriver <case file> <result file>\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  std::ofstream out(argv[2], std::ios::binary);
  std::vector<std::wstring> readOnly;
  std::vector<Started> started;
  std::string line;
  while (std::getline(in, line)) {
    const auto f = Split(line);
    if (f.empty()) continue;
    if (f[0] == "clear" && f.size() == 2) {
      RegDeleteTreeW(HKEY_CURRENT_USER, Text(f[1]).c_str());
    } else if (f[0] == "key" && f.size() == 2) {
      Create(Text(f[1]));
    } else if (f[0] == "value" && f.size() >= 4) {
      const UniqueHkey key = Create(Text(f[1]));
      auto data = Bytes(f.size() > 4 ? f[4] : "");
      const DWORD size = static_cast<DWORD>(data.size());
      // A non-NUL guard keeps Windows from appending a NUL to text stored without one.
      data.insert(data.end(), {'X', 0, 'X', 0});
      RegSetValueExW(key.get(), Text(f[2]).c_str(), 0, std::stoul(f[3]), data.data(), size);
    } else if (f[0] == "readonly" && f.size() == 2) {
      readOnly.push_back(Text(f[1]));
      SetKeyDacl(readOnly.back().c_str(), kReadOnly);
    } else if ((f[0] == "run" || f[0] == "runall") && f.size() == 3) {
      const std::wstring program = Text(f[1]);
      const auto [status, micros] =
          Run(program.empty() ? nullptr : program.c_str(), Text(f[2]), f[0] == "runall");
      out << "exit\t" << status << "\t" << micros << "\n";
    } else if (f[0] == "delete" && f.size() == 3) {
      const UniqueHkey key = Create(Text(f[1]));
      RegDeleteValueW(key.get(), Text(f[2]).c_str());
    } else if (f[0] == "start" && f.size() == 3) {
      const std::wstring program = Text(f[1]);
      started.push_back(Launch(program.empty() ? nullptr : program.c_str(), Text(f[2])));
    } else if (f[0] == "wait" && f.size() == 1) {
      for (const auto& one : started) out << "exit\t" << Finish(one, true) << "\t0\n";
      started.clear();
    } else if (f[0] == "shortcut" && f.size() == 2) {
      const auto [commandLine, folder] = Shortcut(Text(f[1]));
      const auto [status, micros] = commandLine.empty()
                                        ? std::pair<int, long long>(-1, 0)
                                        : Run(nullptr, commandLine, false, folder.c_str());
      out << "exit\t" << status << "\t" << micros << "\n";
    } else if (f[0] == "dump" && f.size() == 2) {
      const std::wstring path = Text(f[1]), machine = L"HKEY_LOCAL_MACHINE\\";
      if (path.rfind(machine, 0) == 0) {
        Dump(HKEY_LOCAL_MACHINE, machine, path.substr(machine.size()), out);
      } else {
        Dump(HKEY_CURRENT_USER, L"", path, out);
      }
    } else {
      std::fprintf(stderr, "e2edriver: bad line: %s\n", line.c_str());
      return 2;
    }
  }
  // Full access again, so that the next case can clear the key.
  for (const auto& path : readOnly) SetKeyDacl(path.c_str(), kFullAccess);
  return 0;
}
