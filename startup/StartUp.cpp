#include "StartUp.h"

#include <windows.h>

#include <exception>

#include "../registry/WinText.h"

namespace startup {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

void ReportFailure(const char* what) {
  std::u16string text = u"予期しないエラーのため、辞書の登録または登録の解除を中断しました。\r\n";
  for (const char* p = what; *p; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    text += byte < 0x80 ? static_cast<char16_t>(byte) : u'?';
  }
  MessageBoxW(nullptr, Wide(text), Wide(u"dicreg"), MB_OK | MB_ICONSTOP);
}

std::u16string ArgumentText(const std::u16string& commandLine) {
  std::size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == u'"') {
    const std::size_t close = commandLine.find(u'"', 1);
    i = close == std::u16string::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && commandLine[i] > u' ') ++i;
  }
  while (i < commandLine.size() && commandLine[i] != 0 && commandLine[i] <= u' ') ++i;
  return commandLine.substr(i);
}

std::u16string CleanArgument(std::u16string argument) {
  while (!argument.empty() && IsBlank(argument.back())) argument.pop_back();
  if (argument.size() >= 2 && argument.front() == u'"' && argument.back() == u'"') {
    argument = argument.substr(1, argument.size() - 2);
  }
  return argument;
}

int Run(Form1& form, const std::u16string& commandLine) {
  try {
    form.DicName = kDicName;
    form.DicNameEx = kDicNameEx;
    form.DicPath = CleanArgument(ArgumentText(commandLine));
    // A double-click gives no argument: removing then would be a surprise, and registering
    // "ON,0," entries that nothing could remove later would be worse.
    if (form.DicPath.find_first_not_of(u" \t") == std::u16string::npos) return kRefused;
    form.DelAtok25();
    if (form.DicPath == kUninstallSwitch) return form.keptFlag ? kKept : kDone;
    form.SetAtok25();
    return form.exFlag == Form1::kFalse ? kNoSetFound : kDone;
  } catch (const std::exception& failure) {
    ReportFailure(failure.what());
  } catch (...) {
    ReportFailure("unknown failure");
  }
  return kFailed;
}

}  // namespace startup

void StartUp() {
  Form1 form;
  const int status = startup::Run(form, FromWide(GetCommandLineW()));
  ExitProcess(static_cast<UINT>(status));
}
