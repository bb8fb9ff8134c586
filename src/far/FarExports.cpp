// The functions FAR calls. Each forwards to the plug-in object under the exception guard; the
// log names are the ones the error report shows.

#include "FarExports.h"

#include "FarPlugin.h"

#include <cstring>

namespace {

// The part of GlobalInfo every FAR 3 build has; FAR presets the rest (Instance) itself.
constexpr size_t GlobalInfoSize = sizeof(GlobalInfo88);
// The part of PluginInfo every FAR 3 build has.
constexpr size_t PluginInfoSize = sizeof(PluginInfo96);

} // namespace

extern "C" {

void WINAPI SetStartupInfoW(const PluginStartupInfo *Info) noexcept {
  FarGuardVoid(L"SetStartupInfo", true, [&] {
    if (!Info)
      return;
    TFarPlugin &Plugin = FarPlugin();
    Plugin.SetStartupInfo(*Info);
    Plugin.OnStartup();
  });
}

void WINAPI GetGlobalInfoW(GlobalInfo *Info) noexcept {
  FarGuardVoid(L"GetGlobalInfoW", true, [&] {
    if (!Info)
      return;
    TFarPlugin &Plugin = FarPlugin();
    GlobalInfo88 Filled{};
    Filled.StructSize = GlobalInfoSize;
    Filled.MinFarVersion = Plugin.GetMinFarVersion();
    Filled.Version = Plugin.GetVersion();
    Filled.Guid = Plugin.GetPluginGuid();
    TGlobalInfo_Static Names;
    Plugin.GetPluginNames(Names.Title, Names.Description, Names.Author);
    GlobalInfo_Static = std::move(Names);
    // FAR keeps these pointers beyond the call; the copies stay for the life of the process.
    Filled.Title = TFarModule::NewPChar(GlobalInfo_Static.Title);
    Filled.Description = TFarModule::NewPChar(GlobalInfo_Static.Description);
    Filled.Author = TFarModule::NewPChar(GlobalInfo_Static.Author);
    std::memcpy(Info, &Filled, GlobalInfoSize);
  });
}

void WINAPI GetPluginInfoW(PluginInfo *Info) noexcept {
  FarGuardVoid(L"GetPluginInfoW", true, [&] {
    if (!Info)
      return;
    PluginInfo96 Filled{};
    if (!FarPlugin().GetPluginInfo(Filled)) {
      Filled = PluginInfo96{};
      Filled.StructSize = PluginInfoSize;
    }
    std::memcpy(Info, &Filled, PluginInfoSize);
  });
}

HANDLE WINAPI OpenW(const OpenInfo *Info) noexcept {
  intptr_t Result = FarGuard(L"OpenW", true, intptr_t(0), [&]() -> intptr_t {
    if (!Info)
      return 0;
    return FarPlugin().Open(Info->OpenFrom, Info->Guid, Info->Data);
  });
  return reinterpret_cast<HANDLE>(Result);
}

intptr_t WINAPI ConfigureW(const ConfigureInfo *Info) noexcept {
  return FarGuard(L"ConfigureW", true, intptr_t(0), [&]() -> intptr_t {
    if (!Info || Info->StructSize < 16)
      return 0;
    return FarPlugin().Configure(Info->Guid) ? 1 : 0;
  });
}

void WINAPI ExitFARW(const ExitInfo *) noexcept {
  FarGuardVoid(L"ExitFARW", true, [&] { FarPlugin().OnExit(); });
}

intptr_t WINAPI ProcessEditorEventW(const ProcessEditorEventInfo *Info) noexcept {
  // Called for every event of every editor: no log lines.
  return FarGuard(L"ProcessEditorEventW", false, intptr_t(0), [&]() -> intptr_t {
    if (!Info)
      return 0;
    return FarPlugin().ProcessEditorEvent(*Info);
  });
}

intptr_t WINAPI ProcessEditorInputW(const ProcessEditorInputInfo *Info) noexcept {
  return FarGuard(L"ProcessEditorInputW", false, intptr_t(0), [&]() -> intptr_t {
    if (!Info)
      return 0;
    return FarPlugin().ProcessEditorInput(*Info);
  });
}

} // extern "C"
