#include "FarErrors.h"

#include "FarPlugin.h"

#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>
#include <windows.h>

namespace {

// A narrow text of the C++ runtime as UTF-16; the runtime's texts are ASCII in practice, other
// bytes are read in the ANSI code page.
std::wstring WidenRuntimeText(const char *Text) {
  if (!Text || !*Text)
    return std::wstring();
  int Length = MultiByteToWideChar(CP_ACP, 0, Text, -1, nullptr, 0);
  if (Length <= 1)
    return std::wstring();
  std::wstring Result(static_cast<size_t>(Length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, Text, -1, Result.data(), Length);
  Result.resize(static_cast<size_t>(Length - 1));
  return Result;
}

void ReportWithoutPlugin(const std::wstring &ClassName, const std::wstring &Message,
                         const std::wstring &FunctionName) {
  std::wstring Text = L"Exception occurred in " + FunctionName + L"\r\n" + ClassName + L"\r\n" + Message;
  MessageBoxW(nullptr, Text.c_str(), L"Plugin error", MB_TASKMODAL | MB_ICONERROR);
}

} // namespace

std::vector<std::wstring> SplitMessageLines(const std::wstring &Text) {
  std::vector<std::wstring> Lines;
  size_t Start = 0;
  size_t I = 0;
  while (I < Text.size()) {
    wchar_t C = Text[I];
    if (C == L'\r' || C == L'\n') {
      Lines.push_back(Text.substr(Start, I - Start));
      I += (C == L'\r' && I + 1 < Text.size() && Text[I + 1] == L'\n') ? 2 : 1;
      Start = I;
    } else {
      ++I;
    }
  }
  if (Start < Text.size())
    Lines.push_back(Text.substr(Start));
  return Lines;
}

std::wstring StdExceptionClassName(const std::exception &E) {
  const char *Mangled = typeid(E).name();
  int Status = 0;
  char *Demangled = abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status);
  std::wstring Result = WidenRuntimeText(Status == 0 && Demangled ? Demangled : Mangled);
  std::free(Demangled);
  return Result.empty() ? std::wstring(L"std::exception") : Result;
}

std::wstring StdExceptionMessage(const std::exception &E) {
  return WidenRuntimeText(E.what());
}

void ReportException(const Exception &E, const std::wstring &FunctionName) {
  if (dynamic_cast<const EAbort *>(&E))
    return;
  ReportException(E.ClassName(), E.Message(), FunctionName);
}

void ReportException(const std::wstring &ClassName, const std::wstring &Message,
                     const std::wstring &FunctionName) {
  if (!PluginExists()) {
    ReportWithoutPlugin(ClassName, Message, FunctionName);
    return;
  }
  TFarPlugin &Plugin = FarPlugin();
  try {
    Plugin.LogFmt(L"%s: Exception %s: %s", {FunctionName, ClassName, Message});
  } catch (...) {
    // The user still gets the message when the log sink fails.
  }
  try {
    std::vector<std::wstring> Items;
    Items.push_back(Plugin.GetStandardText(stTitle));
    Items.push_back(Format(Plugin.GetStandardText(stExceptionInFunction), {FunctionName}));
    Items.push_back(ClassName);
    for (std::wstring &Line : SplitMessageLines(Message))
      Items.push_back(std::move(Line));
    Items.push_back(Plugin.GetStandardText(stOK));
    TFarModule::ShowMessage(Items, FMSG_WARNING, 1);
  } catch (...) {
    TFarModule::ShowMessage({Plugin.GetStandardText(stTitle),
                             Format(Plugin.GetStandardText(stExceptionInFunction), {FunctionName}), ClassName,
                             Message, Plugin.GetStandardText(stOK)},
                            FMSG_WARNING, 1);
  }
}

void LogEntryPoint(const wchar_t *Name, const wchar_t *Suffix) noexcept {
  try {
    if (PluginExists())
      FarPlugin().Log(std::wstring(Name) + Suffix);
  } catch (...) {
    // A failing log sink must not change the entry point's result.
  }
}
