// FAR's screen and windows as the host plays them: SaveScreen, RestoreScreen, FreeScreen, Text
// and the AdvControl commands about FAR itself, its windows and the taskbar progress.
//
// Register further AdvControl commands here with host.OnAdvControl(ACTL_..., handler).
#include "HostScreen.h"

namespace {

HANDLE WINAPI HostSaveScreen(intptr_t, intptr_t, intptr_t, intptr_t) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"SaveScreen");
  auto &screen = host.Part<THostScreen>();
  HANDLE handle = reinterpret_cast<HANDLE>(screen.NextHandle += 0x10);
  screen.Saved.insert(handle);
  ++screen.SaveCount;
  return handle;
}

void ReleaseScreen(const wchar_t *name, HANDLE handle, bool restore) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(name);
  auto &screen = host.Part<THostScreen>();
  if (!handle) {
    if (restore)
      ++screen.FullRedraws;
    return;
  }
  if (!screen.Saved.erase(handle)) {
    host.Fail(std::wstring(name) +
              L" with a handle SaveScreen did not give out or that was already released");
    return;
  }
  if (restore)
    ++screen.RestoreCount;
}

void WINAPI HostRestoreScreen(HANDLE handle) {
  ReleaseScreen(L"RestoreScreen", handle, true);
}
void WINAPI HostFreeScreen(HANDLE handle) {
  ReleaseScreen(L"FreeScreen", handle, false);
}

} // namespace

void InstallHostScreen(TFarHost &host) {
  PluginStartupInfo &info = host.StartupInfo();
  info.SaveScreen = HostSaveScreen;
  info.RestoreScreen = HostRestoreScreen;
  info.FreeScreen = HostFreeScreen;
  VELMORA_HOST_STUB(info, Text);

  host.OnAdvControl(ACTL_GETFARMANAGERVERSION, [](const GUID *, intptr_t, void *param2) -> intptr_t {
    if (!param2)
      return FALSE;
    *static_cast<VersionInfo *>(param2) = VersionInfo{3, 0, 0, 6682, VS_RELEASE};
    return TRUE;
  });
  host.OnAdvControl(ACTL_REDRAWALL, [&host](const GUID *, intptr_t, void *) -> intptr_t {
    ++host.Part<THostScreen>().FullRedraws;
    return TRUE;
  });
}
