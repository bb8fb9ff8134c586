#include "HostPanels.h"

#include <algorithm>
#include <cstring>

namespace {

const wchar_t *TypeName(WINDOWINFO_TYPE Type) {
  switch (Type) {
  case WTYPE_DESKTOP:
    return L"Desktop";
  case WTYPE_PANELS:
    return L"Panels";
  case WTYPE_VIEWER:
    return L"View";
  case WTYPE_EDITOR:
    return L"Edit";
  case WTYPE_DIALOG:
    return L"Dialog";
  case WTYPE_VMENU:
    return L"Menu";
  case WTYPE_HELP:
    return L"Help";
  default:
    return L"";
  }
}

// FAR's two-call protocol for a text of WindowInfo: a null buffer asks for the size in
// characters (terminator included); a buffer gets as much as fits, always terminated.
void PutText(const std::wstring &Text, wchar_t *Buffer, intptr_t &Size) {
  if (!Buffer) {
    Size = static_cast<intptr_t>(Text.size() + 1);
    return;
  }
  if (Size <= 0)
    return;
  size_t Count = std::min(Text.size(), static_cast<size_t>(Size - 1));
  std::memcpy(Buffer, Text.c_str(), Count * sizeof(wchar_t));
  Buffer[Count] = 0;
}

} // namespace

THostWindows::THostWindows() {
  Add(WTYPE_PANELS, L"", true);
}

size_t THostWindows::Add(WINDOWINFO_TYPE Type, const std::wstring &Name, bool MakeCurrent) {
  THostWindow Window;
  Window.Id = FNextId++;
  Window.Type = Type;
  Window.TypeName = TypeName(Type);
  Window.Name = Name;
  Windows.push_back(Window);
  if (MakeCurrent)
    Current = Windows.size() - 1;
  return Windows.size() - 1;
}

void THostWindows::Remove(size_t Pos) {
  if (Pos >= Windows.size())
    return;
  Windows.erase(Windows.begin() + static_cast<ptrdiff_t>(Pos));
  if (Current > Pos || Current >= Windows.size())
    Current = Current > 0 ? Current - 1 : 0;
  Pending = -1;
}

intptr_t THostWindows::Find(WINDOWINFO_TYPE Type) const {
  for (size_t I = 0; I < Windows.size(); ++I)
    if (Windows[I].Type == Type)
      return static_cast<intptr_t>(I);
  return -1;
}

intptr_t THostWindows::Control(int Command, intptr_t Param1, void *Param2) {
  TFarHost &Host = TFarHost::Active();
  switch (Command) {
  case ACTL_GETWINDOWCOUNT:
    return static_cast<intptr_t>(Windows.size());
  case ACTL_GETWINDOWINFO: {
    auto *Info = static_cast<WindowInfo *>(Param2);
    if (!Info || Info->StructSize < sizeof(WindowInfo)) {
      Host.Fail(L"ACTL_GETWINDOWINFO: WindowInfo missing or StructSize too small");
      return FALSE;
    }
    intptr_t Pos = Info->Pos == -1 ? static_cast<intptr_t>(Current) : Info->Pos;
    if (Pos < 0 || static_cast<size_t>(Pos) >= Windows.size())
      return FALSE;
    const THostWindow &Window = Windows[static_cast<size_t>(Pos)];
    Info->Id = Window.Id;
    Info->Pos = Pos;
    Info->Type = Window.Type;
    Info->Flags = (static_cast<size_t>(Pos) == Current ? WIF_CURRENT : 0) |
                  (Window.Modified ? WIF_MODIFIED : 0) | (Window.Modal ? WIF_MODAL : 0);
    PutText(Window.TypeName, Info->TypeName, Info->TypeNameSize);
    PutText(Window.Name, Info->Name, Info->NameSize);
    return TRUE;
  }
  case ACTL_GETWINDOWTYPE: {
    auto *Type = static_cast<WindowType *>(Param2);
    if (!Type || Type->StructSize < sizeof(WindowType)) {
      Host.Fail(L"ACTL_GETWINDOWTYPE: WindowType missing or StructSize too small");
      return FALSE;
    }
    const THostWindow *Window = CurrentWindow();
    Type->Type = Window ? Window->Type : WTYPE_UNKNOWN;
    return Window ? TRUE : FALSE;
  }
  case ACTL_SETCURRENTWINDOW: {
    ++SwitchRequests;
    // FAR does not switch away from a modal window, nor to a position that does not exist.
    const THostWindow *Window = CurrentWindow();
    if (Param1 < 0 || static_cast<size_t>(Param1) >= Windows.size() || (Window && Window->Modal))
      return FALSE;
    Pending = Param1;
    return TRUE;
  }
  case ACTL_COMMIT:
    ++Commits;
    if (Pending >= 0 && static_cast<size_t>(Pending) < Windows.size())
      Current = static_cast<size_t>(Pending);
    Pending = -1;
    return TRUE;
  default:
    return FALSE;
  }
}

THostWindows &HostWindows() {
  return TFarHost::Active().Part<THostWindows>();
}

void InstallHostWindows(TFarHost &Host) {
  const int Commands[] = {ACTL_GETWINDOWCOUNT, ACTL_GETWINDOWINFO, ACTL_GETWINDOWTYPE, ACTL_SETCURRENTWINDOW,
                          ACTL_COMMIT};
  for (int Command : Commands)
    Host.OnAdvControl(Command, [Command](const GUID *, intptr_t Param1, void *Param2) {
      return HostWindows().Control(Command, Param1, Param2);
    });
}
