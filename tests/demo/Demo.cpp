// The main job: the plug-in, loaded and started in the test host as FAR would start it.
// For now it shows what FAR learns about the plug-in when it loads it.
#include "Host.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

void Print(const std::wstring &text) {
  std::string out;
  if (!text.empty()) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(n);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  }
  fputs(out.c_str(), stdout);
  fputc('\n', stdout);
}

std::wstring Version(const VersionInfo &v) {
  static const wchar_t *stages[] = {L"release",           L"alpha",   L"beta",
                                    L"release candidate", L"special", L"private"};
  std::wstring stage = unsigned(v.Stage) < 6 ? stages[v.Stage] : L"stage " + std::to_wstring(int(v.Stage));
  return std::to_wstring(v.Major) + L"." + std::to_wstring(v.Minor) + L"." + std::to_wstring(v.Revision) +
         L"." + std::to_wstring(v.Build) + L" (" + stage + L")";
}

std::wstring Text(const wchar_t *p) {
  return p ? L"\"" + std::wstring(p) + L"\"" : L"(none)";
}

std::wstring Flags(PLUGIN_FLAGS flags) {
  static const std::pair<PLUGIN_FLAGS, const wchar_t *> names[] = {
      {PF_PRELOAD, L"PF_PRELOAD"}, {PF_DISABLEPANELS, L"PF_DISABLEPANELS"}, {PF_EDITOR, L"PF_EDITOR"},
      {PF_VIEWER, L"PF_VIEWER"},   {PF_FULLCMDLINE, L"PF_FULLCMDLINE"},     {PF_DIALOG, L"PF_DIALOG"}};
  std::wstring out;
  for (const auto &[flag, name] : names)
    if (flags & flag)
      out += (out.empty() ? L"" : L" | ") + std::wstring(name);
  return out.empty() ? L"none" : out;
}

void PrintMenu(const wchar_t *name, const PluginMenuItem &menu) {
  Print(std::wstring(L"  ") + name + L": " + std::to_wstring(menu.Count) + L" entr" +
        (menu.Count == 1 ? L"y" : L"ies"));
  for (size_t i = 0; i < menu.Count; ++i)
    Print(L"    " + Text(menu.Strings ? menu.Strings[i] : nullptr) + L"  " +
          (menu.Guids ? HostGuidText(menu.Guids[i]) : L"(no GUID)"));
}

} // namespace

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring dll = argc > 1 && argv ? argv[1] : TFarHost::DefaultPluginPath();
  LocalFree(argv);
  TFarHost host;
  Print(L"Velmora3 in the test host");
  Print(L"Plug-in DLL: " + dll);
  bool started = host.Start(dll);
  if (started) {
    const GlobalInfo &global = host.Global();
    Print(L"");
    Print(L"Global information (GetGlobalInfoW):");
    Print(L"  Title:           " + Text(global.Title));
    Print(L"  Description:     " + Text(global.Description));
    Print(L"  Author:          " + Text(global.Author));
    Print(L"  GUID:            " + HostGuidText(global.Guid));
    Print(L"  Version:         " + Version(global.Version));
    Print(L"  Needs FAR:       " + Version(global.MinFarVersion));
    Print(L"  StructSize:      " + std::to_wstring(global.StructSize));

    PluginInfo info = host.CallGetPluginInfo();
    Print(L"");
    Print(L"Plug-in information (GetPluginInfoW):");
    Print(L"  StructSize:      " + std::to_wstring(info.StructSize));
    Print(L"  Flags:           " + Flags(info.Flags));
    PrintMenu(L"Disks menu", info.DiskMenu);
    PrintMenu(L"Plug-ins menu", info.PluginMenu);
    PrintMenu(L"Configuration menu", info.PluginConfig);
    Print(L"  Command prefix:  " + Text(info.CommandPrefix));

    if (const THostLanguageFile *language = host.Language())
      Print(L"\nLanguage file:     " + language->Path() + L" (" + language->LanguageName() + L", " +
            std::to_wstring(language->Messages().size()) + L" messages)");
  }
  if (started)
    host.ExitFAR();
  Print(L"");
  if (host.Failures().empty()) {
    Print(L"The host saw no faults.");
    return started ? 0 : 1;
  }
  Print(L"The host recorded " + std::to_wstring(host.Failures().size()) + L" fault(s):");
  for (const auto &failure : host.Failures())
    Print(L"  " + failure);
  return 1;
}
