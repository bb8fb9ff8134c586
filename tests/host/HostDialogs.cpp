// FAR's dialogs as the host plays them: DialogInit, DialogRun, DialogFree, SendDlgMessage and
// DefDlgProc, plus InputBox and ColorDialog.
//
// Nothing is implemented yet: each member records an unimplemented call and returns FAR's
// failure value (DialogInit: INVALID_HANDLE_VALUE). Replace the members here; scripted dialog
// actions belong in steps derived from THostStep (HostScript.h).
#include "Host.h"

namespace {

HANDLE WINAPI UnimplementedDialogInit(const UUID *, const UUID *, intptr_t, intptr_t, intptr_t, intptr_t,
                                      const wchar_t *, const FarDialogItem *, size_t, intptr_t,
                                      FARDIALOGFLAGS, FARWINDOWPROC, void *) {
  TFarHost::Active().Unimplemented(L"DialogInit");
  return INVALID_HANDLE_VALUE;
}

intptr_t WINAPI UnimplementedDialogRun(HANDLE) {
  TFarHost::Active().Unimplemented(L"DialogRun");
  return -1;
}

} // namespace

void InstallHostDialogs(TFarHost &host) {
  PluginStartupInfo &info = host.StartupInfo();
  info.DialogInit = UnimplementedDialogInit;
  info.DialogRun = UnimplementedDialogRun;
  VELMORA_HOST_STUB(info, DialogFree);
  VELMORA_HOST_STUB(info, SendDlgMessage);
  VELMORA_HOST_STUB(info, DefDlgProc);
  VELMORA_HOST_STUB(info, InputBox);
  VELMORA_HOST_STUB(info, ColorDialog);
}
