#include "FarDialog.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

// A function of FAR's table; EFarPluginError when FAR did not supply it.
template <class T> T Far(T PluginStartupInfo::*Member) {
  return FarPlugin().Api(Member);
}

intptr_t AdvControl(ADVANCED_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
  GUID PluginGuid = FarPlugin().GetPluginGuid();
  return Far(&PluginStartupInfo::AdvControl)(&PluginGuid, Command, Param1, Param2);
}

// The dialogs that are built, so the one dialog procedure finds the object behind a host handle.
// One lock for the whole list; it is never held while anything else is called.
struct TDialogRegistry {
  std::mutex Lock;
  std::vector<TFarDialog *> Dialogs;
};

TDialogRegistry &DialogRegistry() {
  static TDialogRegistry Registry;
  return Registry;
}

void Register(TFarDialog *Dialog) {
  TDialogRegistry &Registry = DialogRegistry();
  std::lock_guard<std::mutex> Guard(Registry.Lock);
  Registry.Dialogs.push_back(Dialog);
}

void Unregister(TFarDialog *Dialog) {
  TDialogRegistry &Registry = DialogRegistry();
  std::lock_guard<std::mutex> Guard(Registry.Lock);
  auto &List = Registry.Dialogs;
  List.erase(std::remove(List.begin(), List.end(), Dialog), List.end());
}

std::wstring Format(const wchar_t *Pattern, int Value) {
  wchar_t Buffer[128];
  std::swprintf(Buffer, std::size(Buffer), Pattern, Value);
  return Buffer;
}

} // namespace

TFarDialog::TFarDialog(const GUID &Id) : FId(Id) {}

TFarDialog::~TFarDialog() {
  try {
    ReleaseHandle();
  } catch (...) {
    // Without the plug-in object there is no FAR left to free the dialog in; a destructor must
    // not raise, so the handle is only forgotten.
    Unregister(this);
    FHandle = INVALID_HANDLE_VALUE;
  }
  TFarDialog::ClearControls();
}

void TFarDialog::EnsureConstructed() const {
  if (FConstructed)
    return;
  FConstructed = true;
  const_cast<TFarDialog *>(this)->AfterConstruction();
}

void TFarDialog::AfterConstruction() {
  if (FWidth <= 0 || FHeight <= 0) {
    int ScreenWidth = 80;
    int ScreenHeight = 25;
    SMALL_RECT Rect{};
    if (AdvControl(ACTL_GETFARRECT, 0, &Rect) != 0) {
      ScreenWidth = Rect.Right - Rect.Left + 1;
      ScreenHeight = Rect.Bottom - Rect.Top + 1;
    }
    if (FWidth <= 0)
      FWidth = ScreenWidth;
    if (FHeight <= 0)
      FHeight = ScreenHeight;
  }
  AdjustSize(FWidth, FHeight);
  FWidth = std::max(FWidth, 1);
  FHeight = std::max(FHeight, 1);
}

// ---- Description ----

int TFarDialog::AddControl(TControl *Control) {
  EnsureConstructed();
  if (IsActive())
    throw EFarDialogError(L"Can't add controls to an active dialog");
  if (FControlCount >= static_cast<int>(FControls.size())) {
    size_t Capacity = FControls.size() + CapacityStep;
    FControls.resize(Capacity, nullptr);
    FItemBuffer.resize(Capacity, FarDialogItem{});
  }
  int Index = FControlCount++;
  FControls[Index] = Control;
  FItemBuffer[Index] = FarDialogItem{};
  return Index;
}

void TFarDialog::RemoveControl(TControl *Control) {
  auto End = FControls.begin() + FControlCount;
  auto Found = std::find(FControls.begin(), End, Control);
  if (Found == End)
    return;
  int Index = static_cast<int>(Found - FControls.begin());
  for (int I = Index; I + 1 < FControlCount; ++I) {
    FControls[I] = FControls[I + 1];
    FItemBuffer[I] = FItemBuffer[I + 1];
    FControls[I]->FIndex = I;
  }
  --FControlCount;
  FControls[FControlCount] = nullptr;
  FItemBuffer[FControlCount] = FarDialogItem{};
}

void TFarDialog::DeleteControl(TControl *Control) {
  if (Control == nullptr)
    return;
  if (IsActive())
    throw EFarDialogError(L"Can't remove controls from an active dialog");
  delete Control;
}

void TFarDialog::MoveControl(int From, int To) {
  if (IsActive())
    throw EFarError(L"Cannot move controls while the dialog is active");
  if (From < 0 || From >= FControlCount || To < 0 || To >= FControlCount)
    throw EListError(L"List index out of bounds");
  if (From == To)
    return;
  TControl *Control = FControls[From];
  FarDialogItem Item = FItemBuffer[From];
  int Step = From < To ? 1 : -1;
  for (int I = From; I != To; I += Step) {
    FControls[I] = FControls[I + Step];
    FItemBuffer[I] = FItemBuffer[I + Step];
    FControls[I]->FIndex = I;
  }
  FControls[To] = Control;
  FItemBuffer[To] = Item;
  Control->FIndex = To;
}

TFarDialog::TControl *TFarDialog::GetControl(int Index) const {
  if (Index < 0 || Index >= FControlCount)
    throw EListError(L"Index out of bounds");
  return FControls[Index];
}

FarDialogItem &TFarDialog::StoredItem(int Index) {
  if (Index < 0 || Index >= FControlCount)
    throw EListError(L"Index out of bounds");
  return FItemBuffer[Index];
}

const FarDialogItem &TFarDialog::StoredItem(int Index) const {
  if (Index < 0 || Index >= FControlCount)
    throw EListError(L"Index out of bounds");
  return FItemBuffer[Index];
}

TFarDialog::TButton *TFarDialog::AddButton(int X, int Y, const std::wstring &Text) {
  return Add<TButton>(X, Y, Text);
}

TFarDialog::TCheckbox *TFarDialog::AddCheckbox(int X, int Y, const std::wstring &Text, bool Checked) {
  return Add<TCheckbox>(X, Y, Text, Checked);
}

TFarDialog::TRadioButton *TFarDialog::AddRadioButton(int X, int Y, const std::wstring &Text, bool Checked) {
  return Add<TRadioButton>(X, Y, Text, Checked);
}

TFarDialog::TDoubleBox *TFarDialog::AddDoubleBox(int X, int Y, int Width, int Height,
                                                 const std::wstring &Text) {
  return Add<TDoubleBox>(X, Y, Width, Height, Text);
}

TFarDialog::TEdit *TFarDialog::AddEdit(int X, int Y, int Width, const std::wstring &Text) {
  return Add<TEdit>(X, Y, Width, Text);
}

TFarDialog::TLabel *TFarDialog::AddLabel(int X, int Y, int Width, const std::wstring &Text,
                                         TAlignment Alignment) {
  return Add<TLabel>(X, Y, Width, Text, Alignment);
}

TFarDialog::TSeparator *TFarDialog::AddSeparator(int Y) {
  return Add<TSeparator>(Y);
}

void TFarDialog::SetFlags(FARDIALOGFLAGS Flags) {
  EnsureConstructed();
  if (IsActive())
    throw EFarDialogError(L"Can't change flags in an active dialog");
  FFlags = Flags;
}

// ---- Geometry ----

void TFarDialog::GetBounds(int &Left, int &Top, int &Width, int &Height) const {
  EnsureConstructed();
  Left = FLeft;
  Top = FTop;
  Width = FWidth;
  Height = FHeight;
  if (IsActive()) {
    SMALL_RECT Rect{};
    if (SendMessage(DM_GETDLGRECT, 0, &Rect) != 0) {
      Left = Rect.Left;
      Top = Rect.Top;
      Width = Rect.Right - Rect.Left + 1;
      Height = Rect.Bottom - Rect.Top + 1;
    }
  }
}

void TFarDialog::SetPosition(int Left, int Top) {
  EnsureConstructed();
  FLeft = Left;
  FTop = Top;
  if (IsActive()) {
    COORD Position{static_cast<SHORT>(Left < 0 ? -1 : Left), static_cast<SHORT>(Top < 0 ? -1 : Top)};
    SendMessage(DM_MOVEDIALOG, 1, &Position);
  }
}

void TFarDialog::SetSize(int Width, int Height) {
  EnsureConstructed();
  if (Width <= 0)
    throw EFarDialogError(Format(L"Invalid value for dialog width (%d)", Width));
  if (Height <= 0)
    throw EFarDialogError(Format(L"Invalid value for dialog height (%d)", Height));
  FWidth = Width;
  FHeight = Height;
  if (IsActive()) {
    COORD Size{static_cast<SHORT>(Width), static_cast<SHORT>(Height)};
    SendMessage(DM_RESIZEDIALOG, 0, &Size);
  }
}

void TFarDialog::SetHeight(int Height) {
  int Left, Top, Width, OldHeight;
  GetBounds(Left, Top, Width, OldHeight);
  SetSize(Width, Height);
}

void TFarDialog::AdjustSize(int &Width, int &Height) {
  Width -= 4;
  Height -= 4;
}

void TFarDialog::GetClientArea(int &Left, int &Top, int &Width, int &Height) const {
  GetBounds(Left, Top, Width, Height);
  Left += 3;
  Top += 1;
  Width -= 6;
  Height -= 2;
}

// ---- Focus and redraw ----

TFarDialog::TControl *TFarDialog::GetFocusedControl() const {
  if (IsActive()) {
    intptr_t Index = SendMessage(DM_GETFOCUS, 0, nullptr);
    return Index >= 0 && Index < FControlCount ? FControls[Index] : nullptr;
  }
  for (int I = 0; I < FControlCount; ++I)
    if ((FItemBuffer[I].Flags & DIF_FOCUS) != 0)
      return FControls[I];
  return nullptr;
}

void TFarDialog::SetFocusedControl(TControl *Control) {
  if (Control == nullptr)
    return;
  // The new focus first: while active, FAR moves its focus at DM_SETFOCUS, and clearing the old
  // flag afterwards must not take it away again.
  for (int I = 0; I < FControlCount; ++I)
    if (FControls[I] != Control)
      FControls[I]->SetFocused(false);
  Control->SetFocused(true);
}

void TFarDialog::DisableRedraw() {
  SendMessage(DM_ENABLEREDRAW, 0, nullptr);
  ++FRedrawLock;
}

void TFarDialog::EnableRedraw() {
  SendMessage(DM_ENABLEREDRAW, 1, nullptr);
  if (--FRedrawLock <= 0)
    Redraw();
}

void TFarDialog::Redraw() {
  if (IsActive())
    SendMessage(DM_REDRAW, 0, nullptr);
}

intptr_t TFarDialog::SendMessage(intptr_t Msg, intptr_t Param1, void *Param2) const {
  // A described dialog has no host side: nothing to tell FAR.
  if (!IsActive())
    return 0;
  return Far(&PluginStartupInfo::SendDlgMessage)(FHandle, Msg, Param1, Param2);
}

// ---- Running ----

bool TFarDialog::Build() {
  EnsureConstructed();
  ReleaseHandle();
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  SetSize(Width, Height);
  intptr_t X1 = Left;
  intptr_t Y1 = Top;
  intptr_t X2 = Left < 0 ? Width : Left + Width - 1;
  intptr_t Y2 = Top < 0 ? Height : Top + Height - 1;
  GUID PluginGuid = FarPlugin().GetPluginGuid();
  HANDLE Handle = Far(&PluginStartupInfo::DialogInit)(
      &PluginGuid, &FId, X1, Y1, X2, Y2, FHelpTopic.empty() ? nullptr : FHelpTopic.c_str(),
      FItemBuffer.data(), static_cast<size_t>(FControlCount), 0, FFlags, &DialogProcThunk, this);
  if (Handle == INVALID_HANDLE_VALUE || Handle == nullptr)
    return false;
  FHandle = Handle;
  FRun = false;
  Register(this);
  return true;
}

bool TFarDialog::Execute(TButton *&Button) {
  Button = nullptr;
  if ((!IsActive() || FRun) && !Build())
    throw EFarDialogError(std::wstring(L"Failed to build dialog ") + ClassName());
  FPendingException = nullptr;
  FRun = true;
  intptr_t ExitCode = Far(&PluginStartupInfo::DialogRun)(FHandle);
  bool Result = false;
  if (ExitCode >= 0 && ExitCode < FControlCount) {
    Button = dynamic_cast<TButton *>(FControls[ExitCode]);
    Result = Button != nullptr;
  }
  AdvControl(ACTL_REDRAWALL, 0, nullptr);
  if (FPendingException) {
    std::exception_ptr Pending = FPendingException;
    FPendingException = nullptr;
    Button = nullptr;
    std::rethrow_exception(Pending);
  }
  return Result;
}

bool TFarDialog::Execute() {
  TButton *Button = nullptr;
  return Execute(Button);
}

void TFarDialog::ReleaseHandle() {
  if (!IsActive())
    return;
  HANDLE Handle = FHandle;
  Unregister(this);
  FHandle = INVALID_HANDLE_VALUE;
  Far (&PluginStartupInfo::DialogFree)(Handle);
}

void TFarDialog::ClearControls() {
  ReleaseHandle();
  while (FControlCount > 0)
    delete FControls[FControlCount - 1];
  FControls.clear();
  FItemBuffer.clear();
  FControlCount = 0;
}

TFarDialog *TFarDialog::FindDialog(HANDLE Dialog) {
  TDialogRegistry &Registry = DialogRegistry();
  std::lock_guard<std::mutex> Guard(Registry.Lock);
  for (TFarDialog *Candidate : Registry.Dialogs)
    if (Candidate->FHandle == Dialog && Candidate->IsActive())
      return Candidate;
  return nullptr;
}

// ---- Events ----

intptr_t WINAPI TFarDialog::DialogProcThunk(HANDLE Dialog, intptr_t Msg, intptr_t Param1, void *Param2) {
  TFarDialog *Object = FindDialog(Dialog);
  if (Object != nullptr && !Object->FPendingException) {
    try {
      intptr_t Result = 0;
      if (Object->DialogProc(Msg, Param1, Param2, Result))
        return Result;
    } catch (...) {
      // No exception may unwind FAR's own frames: keep it for Execute and end the dialog.
      Object->FPendingException = std::current_exception();
      Far (&PluginStartupInfo::SendDlgMessage)(Dialog, DM_CLOSE, -1, nullptr);
    }
  }
  return Far(&PluginStartupInfo::DefDlgProc)(Dialog, Msg, Param1, Param2);
}

bool TFarDialog::DialogProc(intptr_t Msg, intptr_t Param1, void *Param2, intptr_t &Result) {
  switch (Msg) {
  case DN_BTNCLICK:
    return DoButtonClick(Param1, Param2, Result);
  case DN_EDITCHANGE:
    return DoEditChange(Param1, Param2, Result);
  case DN_GOTFOCUS:
    return DoGotFocus(Param1, Param2, Result);
  case DN_INITDIALOG:
    return DoInitDialog(Param1, Param2, Result);
  case DN_KILLFOCUS:
    return DoKillFocus(Param1, Param2, Result);
  case DN_LISTCHANGE:
    return DoListChange(Param1, Param2, Result);
  case DN_RESIZECONSOLE: {
    COORD Size{};
    if (Param2 != nullptr)
      Size = *static_cast<const COORD *>(Param2);
    return DoResizeConsole(Param1, Size, Result);
  }
  case DN_CONTROLINPUT:
    return DoControlInput(Param1, static_cast<const INPUT_RECORD *>(Param2), Result);
  case DN_CLOSE:
    Result = CloseQuery(Param1) ? TRUE : FALSE;
    return true;
  default:
    return false;
  }
}

bool TFarDialog::CloseQuery(intptr_t) {
  return true;
}

TFarDialog::TControl *TFarDialog::EventControl(intptr_t Index) const {
  if (Index < 0 || Index >= FControlCount)
    return nullptr;
  return FControls[Index];
}

bool TFarDialog::DoInitDialog(intptr_t, void *, intptr_t &) {
  for (int I = 0; I < FControlCount; ++I)
    FControls[I]->DialogInitialized();
  return false;
}

bool TFarDialog::DoButtonClick(intptr_t Index, void *Param2, intptr_t &Result) {
  TControl *Control = EventControl(Index);
  if (Control == nullptr)
    return false;
  intptr_t State = reinterpret_cast<intptr_t>(Param2);
  try {
    if (auto *Button = dynamic_cast<TButton *>(Control)) {
      if (!Button->OnClick)
        return false;
      bool Handled = false;
      Button->OnClick(Button, Handled);
      Result = Handled ? 1 : 0;
      return true;
    }
    if (auto *Checkbox = dynamic_cast<TCheckbox *>(Control)) {
      if (!Checkbox->OnClick || State < 0 || State > 2)
        return false;
      bool Allow = true;
      Checkbox->OnClick(Checkbox, static_cast<int>(State), Allow);
      Result = Allow ? 1 : 0;
      return true;
    }
    if (auto *Radio = dynamic_cast<TRadioButton *>(Control)) {
      auto &Handler = State != 0 ? Radio->OnSelect : Radio->OnDeselect;
      if (!Handler)
        return false;
      bool Allow = true;
      Handler(Radio, Allow);
      Result = Allow ? 1 : 0;
      return true;
    }
  } catch (const EAbort &) {
    return false;
  }
  return false;
}

bool TFarDialog::DoEditChange(intptr_t Index, void *, intptr_t &Result) {
  auto *Edit = dynamic_cast<TCustomEdit *>(EventControl(Index));
  if (Edit == nullptr || !Edit->OnChange)
    return false;
  try {
    bool Allow = true;
    Edit->OnChange(Edit, Allow);
    Result = Allow ? 1 : 0;
    return true;
  } catch (const EAbort &) {
    return false;
  }
}

bool TFarDialog::DoGotFocus(intptr_t Index, void *, intptr_t &Result) {
  TControl *Control = EventControl(Index);
  if (Control == nullptr || !Control->OnGotFocus)
    return false;
  try {
    Control->OnGotFocus(Control);
    Result = 0;
    return true;
  } catch (const EAbort &) {
    return false;
  }
}

bool TFarDialog::DoKillFocus(intptr_t Index, void *, intptr_t &Result) {
  TControl *Control = EventControl(Index);
  if (Control == nullptr || !Control->OnKillFocus)
    return false;
  try {
    TControl *FocusTo = nullptr;
    Control->OnKillFocus(Control, FocusTo);
    Result = FocusTo != nullptr ? FocusTo->GetIndex() : -1;
    return true;
  } catch (const EAbort &) {
    return false;
  }
}

bool TFarDialog::DoListChange(intptr_t Index, void *Param2, intptr_t &Result) {
  auto *List = dynamic_cast<TListbox *>(EventControl(Index));
  if (List == nullptr || !List->OnChange)
    return false;
  try {
    bool Allow = true;
    List->OnChange(List, reinterpret_cast<intptr_t>(Param2), Allow);
    Result = Allow ? 1 : 0;
    return true;
  } catch (const EAbort &) {
    return false;
  }
}

bool TFarDialog::DoControlInput(intptr_t Index, const INPUT_RECORD *Record, intptr_t &Result) {
  TControl *Control = EventControl(Index);
  if (Control == nullptr || !Control->OnKey || Record == nullptr)
    return false;
  if (Record->EventType != KEY_EVENT || !Record->Event.KeyEvent.bKeyDown)
    return false;
  try {
    bool Handled = false;
    Control->OnKey(Control, Record->Event.KeyEvent.wVirtualKeyCode, Record->Event.KeyEvent.dwControlKeyState,
                   Handled);
    if (!Handled)
      return false;
    Result = 1;
    return true;
  } catch (const EAbort &) {
    return false;
  }
}

bool TFarDialog::DoResizeConsole(intptr_t, COORD Size, intptr_t &Result) {
  DisableRedraw();
  try {
    int Width = Size.X;
    int Height = Size.Y;
    AdjustSize(Width, Height);
    SetSize(Width, Height);
    SetPosition(FLeft, FTop);
  } catch (...) {
    EnableRedraw();
    throw;
  }
  EnableRedraw();
  Result = 1;
  return true;
}
