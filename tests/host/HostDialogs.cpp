// FAR's dialogs as the host plays them: DialogInit, DialogRun, DialogFree, SendDlgMessage and
// DefDlgProc, and the engine behind them (notifications, focus, closing, placement). The answers to
// the DM_* messages are in HostDialogMessages.cpp; the drawing and the scripted user's actions in
// HostDialogUser.cpp. InputBox and ColorDialog are not played yet (recorded as unimplemented).
#include "HostDialogs.h"

#include <algorithm>
#include <cstring>

namespace {

const wchar_t *MessageName(intptr_t msg) {
  switch (msg) {
  case DN_BTNCLICK:
    return L"DN_BTNCLICK";
  case DN_EDITCHANGE:
    return L"DN_EDITCHANGE";
  case DN_GOTFOCUS:
    return L"DN_GOTFOCUS";
  case DN_INITDIALOG:
    return L"DN_INITDIALOG";
  case DN_KILLFOCUS:
    return L"DN_KILLFOCUS";
  case DN_LISTCHANGE:
    return L"DN_LISTCHANGE";
  case DN_RESIZECONSOLE:
    return L"DN_RESIZECONSOLE";
  case DN_CONTROLINPUT:
    return L"DN_CONTROLINPUT";
  case DN_CLOSE:
    return L"DN_CLOSE";
  default:
    return L"DN_?";
  }
}

// The columns an item shows on its row (for centred groups).
int VisibleWidth(const THostDialogItem &item) {
  int text = static_cast<int>(HostStripHotKey(item.Data).size());
  if ((item.Item.Flags & DIF_SHOWAMPERSAND) != 0)
    text = static_cast<int>(item.Data.size());
  switch (item.Item.Type) {
  case DI_BUTTON:
    return (item.Item.Flags & DIF_NOBRACKETS) != 0 ? text : text + 4;
  case DI_CHECKBOX:
  case DI_RADIOBUTTON:
    return text + 4;
  default:
    return text;
  }
}

THostDialog *Lookup(HANDLE hDlg, const wchar_t *service) {
  TFarHost &host = TFarHost::Active();
  THostDialog *dialog = host.Part<THostDialogs>().Find(hDlg);
  if (!dialog)
    host.Fail(std::wstring(service) + L" with a handle that is no live dialog");
  return dialog;
}

// ---- The table members ----

HANDLE WINAPI HostDialogInit(const UUID *PluginId, const UUID *Id, intptr_t X1, intptr_t Y1, intptr_t X2,
                             intptr_t Y2, const wchar_t *HelpTopic, const FarDialogItem *Item,
                             size_t ItemsNumber, intptr_t Reserved, FARDIALOGFLAGS Flags,
                             FARWINDOWPROC DlgProc, void *Param) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"DialogInit");
  if (!host.CheckPluginId(PluginId, L"DialogInit"))
    return INVALID_HANDLE_VALUE;
  if (Reserved != 0) {
    host.Fail(L"DialogInit with a non-zero Reserved argument");
    return INVALID_HANDLE_VALUE;
  }
  if (ItemsNumber > 0 && !Item) {
    host.Fail(L"DialogInit with items but a null item array");
    return INVALID_HANDLE_VALUE;
  }
  auto &dialogs = host.Part<THostDialogs>();
  auto dialog = std::make_unique<THostDialog>();
  dialog->Handle = reinterpret_cast<HANDLE>(dialogs.NextHandle += 0x10);
  dialog->PluginId = *PluginId;
  dialog->Id = Id ? *Id : GUID{};
  dialog->X1 = X1;
  dialog->Y1 = Y1;
  dialog->X2 = X2;
  dialog->Y2 = Y2;
  dialog->CentredX = X1 < 0;
  dialog->CentredY = Y1 < 0;
  dialog->Width = static_cast<int>(X1 < 0 ? X2 : X2 - X1 + 1);
  dialog->Height = static_cast<int>(Y1 < 0 ? Y2 : Y2 - Y1 + 1);
  dialog->Left = static_cast<int>(X1);
  dialog->Top = static_cast<int>(Y1);
  dialog->HelpTopic = HostText(HelpTopic);
  dialog->Flags = Flags;
  dialog->Proc = DlgProc;
  dialog->Param = Param;
  dialog->Items.resize(ItemsNumber);
  for (size_t i = 0; i < ItemsNumber; ++i)
    dialog->Items[i].Assign(Item[i]);
  for (size_t i = 0; i < ItemsNumber && dialog->Focus < 0; ++i)
    if ((Item[i].Flags & DIF_FOCUS) != 0 && dialog->CanFocus(static_cast<intptr_t>(i)))
      dialog->Focus = static_cast<intptr_t>(i);
  for (size_t i = 0; i < ItemsNumber && dialog->Focus < 0; ++i)
    if (dialog->CanFocus(static_cast<intptr_t>(i)))
      dialog->Focus = static_cast<intptr_t>(i);
  dialog->Place(dialogs.Console);
  HANDLE handle = dialog->Handle;
  dialogs.Live[handle] = std::move(dialog);
  ++dialogs.InitCount;
  return handle;
}

intptr_t WINAPI HostDialogRun(HANDLE hDlg) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"DialogRun");
  THostDialog *dialog = Lookup(hDlg, L"DialogRun");
  if (!dialog)
    return -1;
  if (dialog->Running) {
    host.Fail(L"DialogRun on a dialog that is already running");
    return -1;
  }
  dialog->Running = true;
  dialog->Closed = false;
  dialog->ExitCode = -1;
  dialog->Initialising = true;
  dialog->Notify(DN_INITDIALOG, dialog->Focus, dialog->Param);
  dialog->Initialising = false;
  if (dialog->Focus >= 0 && !dialog->Closed)
    dialog->Notify(DN_GOTFOCUS, dialog->Focus, nullptr);

  THostDialogRun run;
  run.Id = dialog->Id;
  run.Title = dialog->Title();
  run.HelpTopic = dialog->HelpTopic;
  run.DrawingAtStart = dialog->Draw();
  while (!dialog->Closed) {
    std::wstring why;
    auto step = host.Script().Take<THostDialogAction>(L"the dialog \"" + dialog->Title() + L"\"", why);
    if (!step) {
      host.Fail(why + L"; the dialog is closed as with Esc");
      if (!dialog->TryClose(-1)) {
        host.Fail(L"the dialog refused to close on Esc; closed anyway");
        dialog->Closed = true;
        dialog->ExitCode = -1;
      }
      break;
    }
    step->Perform(*dialog, host);
  }
  dialog->Running = false;
  run.ExitCode = dialog->ExitCode;
  run.DrawingAtEnd = dialog->Draw();
  run.FinalItems = dialog->Items;
  run.Notifications = dialog->Notifications;
  host.Part<THostDialogs>().Runs.push_back(std::move(run));
  return dialog->ExitCode;
}

void WINAPI HostDialogFree(HANDLE hDlg) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"DialogFree");
  auto &dialogs = host.Part<THostDialogs>();
  auto it = dialogs.Live.find(hDlg);
  if (it == dialogs.Live.end()) {
    host.Fail(L"DialogFree with a handle that is no live dialog");
    return;
  }
  if (it->second->Running) {
    host.Fail(L"DialogFree while the dialog is running");
    return;
  }
  dialogs.Live.erase(it);
  ++dialogs.FreeCount;
}

intptr_t WINAPI HostSendDlgMessage(HANDLE hDlg, intptr_t Msg, intptr_t Param1, void *Param2) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"SendDlgMessage");
  THostDialog *dialog = Lookup(hDlg, L"SendDlgMessage");
  return dialog ? dialog->Message(Msg, Param1, Param2) : 0;
}

intptr_t WINAPI HostDefDlgProc(HANDLE hDlg, intptr_t Msg, intptr_t Param1, void *Param2) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"DefDlgProc");
  THostDialog *dialog = Lookup(hDlg, L"DefDlgProc");
  return dialog ? dialog->DefaultProc(Msg, Param1, Param2) : 0;
}

} // namespace

// ---- Names and items ----

std::wstring HostStripHotKey(const std::wstring &text) {
  std::wstring result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&') {
      if (i + 1 < text.size() && text[i + 1] == L'&') {
        result += L'&';
        ++i;
      }
      continue;
    }
    result += text[i];
  }
  return result;
}

std::wstring THostDialogTarget::Describe() const {
  return Index >= 0 ? L"item " + std::to_wstring(Index) : L"\"" + Text + L"\"";
}

THostDialogItem::THostDialogItem(const THostDialogItem &other) {
  *this = other;
}

THostDialogItem &THostDialogItem::operator=(const THostDialogItem &other) {
  if (this == &other)
    return *this;
  Item = other.Item;
  Data = other.Data;
  Mask = other.Mask;
  History = other.History;
  ListTexts = other.ListTexts;
  ListItems = other.ListItems;
  ListPos = other.ListPos;
  Unchanged = other.Unchanged;
  Sync();
  return *this;
}

void THostDialogItem::Assign(const FarDialogItem &source) {
  Item = source;
  Data = HostText(source.Data);
  Mask = HostText(source.Mask);
  History = HostText(source.History);
  ListTexts.clear();
  ListItems.clear();
  ListPos = -1;
  if (HostHasList(source.Type) && source.ListItems) {
    for (size_t i = 0; i < source.ListItems->ItemsNumber; ++i) {
      const FarListItem &entry = source.ListItems->Items[i];
      ListTexts.push_back(HostText(entry.Text));
      ListItems.push_back(entry);
      if ((entry.Flags & LIF_SELECTED) != 0 && ListPos < 0)
        ListPos = static_cast<intptr_t>(i);
    }
    if (ListPos < 0 && !ListTexts.empty())
      ListPos = 0;
  }
  Sync();
}

void THostDialogItem::Sync() {
  Item.Data = Data.c_str();
  Item.Mask = Mask.empty() && !(Item.Flags & DIF_MASKEDIT) ? nullptr : Mask.c_str();
  Item.History = History.empty() ? nullptr : History.c_str();
  if (HostHasList(Item.Type)) {
    for (size_t i = 0; i < ListItems.size(); ++i) {
      ListItems[i].Text = ListTexts[i].c_str();
      ListItems[i].Flags =
          (ListItems[i].Flags & ~LIF_SELECTED) | (static_cast<intptr_t>(i) == ListPos ? LIF_SELECTED : 0);
    }
    List.StructSize = sizeof(List);
    List.ItemsNumber = ListItems.size();
    List.Items = ListItems.empty() ? nullptr : ListItems.data();
    Item.ListItems = &List;
  }
}

THostDialog *THostDialogs::Find(HANDLE handle) {
  auto it = Live.find(handle);
  return it == Live.end() ? nullptr : it->second.get();
}

// ---- The engine ----

intptr_t THostDialog::Notify(intptr_t msg, intptr_t param1, void *param2) {
  intptr_t result = Proc ? Proc(Handle, msg, param1, param2) : DefaultProc(msg, param1, param2);
  std::wstring line = std::wstring(MessageName(msg)) + L" " + std::to_wstring(param1);
  if (msg == DN_BTNCLICK || msg == DN_LISTCHANGE)
    line += L" " + std::to_wstring(reinterpret_cast<intptr_t>(param2));
  Notifications.push_back(line + L" -> " + std::to_wstring(result));
  return result;
}

intptr_t THostDialog::DefaultProc(intptr_t msg, intptr_t param1, void *param2) {
  if (msg < DN_FIRST)
    return Message(msg, param1, param2);
  switch (msg) {
  case DN_BTNCLICK:
    if (param1 >= 0 && param1 < static_cast<intptr_t>(Items.size()) && Items[param1].Item.Type == DI_BUTTON)
      return (Items[param1].Item.Flags & DIF_BTNNOCLOSE) != 0 ? TRUE : FALSE;
    return TRUE;
  case DN_CLOSE:
  case DN_EDITCHANGE:
  case DN_LISTCHANGE:
  case DN_HOTKEY:
  case DN_RESIZECONSOLE:
  case DN_DRAWDIALOG:
    return TRUE;
  case DN_KILLFOCUS:
    return -1;
  case DN_HELP:
    return reinterpret_cast<intptr_t>(param2);
  default:
    return 0;
  }
}

int THostDialog::Find(const THostDialogTarget &target) const {
  TFarHost &host = TFarHost::Active();
  if (target.Index >= 0) {
    if (target.Index < static_cast<int>(Items.size()))
      return target.Index;
    host.Fail(L"the dialog \"" + Title() + L"\" has no " + target.Describe());
    return -1;
  }
  std::wstring wanted = HostStripHotKey(target.Text);
  for (size_t i = 0; i < Items.size(); ++i)
    if (HostStripHotKey(Items[i].Data) == wanted)
      return static_cast<int>(i);
  int found = -1;
  for (size_t i = 0; i < Items.size(); ++i)
    if (!wanted.empty() && HostStripHotKey(Items[i].Data).find(wanted) != std::wstring::npos) {
      if (found >= 0) {
        host.Fail(L"the dialog \"" + Title() + L"\" has several items with " + target.Describe());
        return -1;
      }
      found = static_cast<int>(i);
    }
  if (found < 0)
    host.Fail(L"the dialog \"" + Title() + L"\" has no item " + target.Describe());
  return found;
}

bool THostDialog::CanFocus(intptr_t index) const {
  if (index < 0 || index >= static_cast<intptr_t>(Items.size()))
    return false;
  const FarDialogItem &item = Items[index].Item;
  if ((item.Flags & (DIF_DISABLE | DIF_HIDDEN | DIF_NOFOCUS)) != 0)
    return false;
  switch (item.Type) {
  case DI_TEXT:
  case DI_VTEXT:
  case DI_SINGLEBOX:
  case DI_DOUBLEBOX:
    return false;
  default:
    return true;
  }
}

bool THostDialog::MoveFocus(intptr_t index) {
  if (index == Focus)
    return true;
  if (!CanFocus(index))
    return false;
  if (Focus >= 0) {
    intptr_t redirect = Notify(DN_KILLFOCUS, Focus, nullptr);
    if (redirect >= 0) {
      // The item keeps the focus, or hands it to the one the procedure named.
      if (redirect == Focus || !CanFocus(redirect))
        return false;
      index = redirect;
    }
    Items[Focus].Item.Flags &= ~DIF_FOCUS;
  }
  Focus = index;
  Items[Focus].Item.Flags |= DIF_FOCUS;
  Notify(DN_GOTFOCUS, Focus, nullptr);
  return true;
}

bool THostDialog::TryClose(intptr_t exitCode) {
  if (Closed)
    return true;
  if (Notify(DN_CLOSE, exitCode, nullptr) == 0)
    return false;
  Closed = true;
  ExitCode = exitCode;
  return true;
}

void THostDialog::Place(COORD console) {
  if (CentredX)
    Left = std::max(0, (console.X - Width) / 2);
  if (CentredY)
    Top = std::max(0, (console.Y - Height) / 2);
  ProcessCenterGroups();
}

void THostDialog::ProcessCenterGroups() {
  // Consecutive items with DIF_CENTERGROUP on one row stand side by side, one column apart, the
  // whole group centred in the dialog.
  size_t i = 0;
  while (i < Items.size()) {
    if ((Items[i].Item.Flags & DIF_CENTERGROUP) == 0) {
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < Items.size() && (Items[end].Item.Flags & DIF_CENTERGROUP) != 0 &&
           Items[end].Item.Y1 == Items[i].Item.Y1)
      ++end;
    int total = 0;
    for (size_t k = i; k < end; ++k)
      if ((Items[k].Item.Flags & DIF_HIDDEN) == 0)
        total += VisibleWidth(Items[k]) + (total > 0 ? 1 : 0);
    int x = std::max(0, (Width - total) / 2);
    for (size_t k = i; k < end; ++k) {
      if ((Items[k].Item.Flags & DIF_HIDDEN) != 0)
        continue;
      int w = VisibleWidth(Items[k]);
      Items[k].Item.X1 = x;
      Items[k].Item.X2 = x + w - 1;
      x += w + 1;
    }
    i = end;
  }
}

std::wstring THostDialog::Title() const {
  for (const auto &item : Items)
    if (item.Item.Type == DI_DOUBLEBOX || item.Item.Type == DI_SINGLEBOX)
      return HostStripHotKey(item.Data);
  return std::wstring();
}

void InstallHostDialogs(TFarHost &host) {
  PluginStartupInfo &info = host.StartupInfo();
  info.DialogInit = HostDialogInit;
  info.DialogRun = HostDialogRun;
  info.DialogFree = HostDialogFree;
  info.SendDlgMessage = HostSendDlgMessage;
  info.DefDlgProc = HostDefDlgProc;
  VELMORA_HOST_STUB(info, InputBox);
  VELMORA_HOST_STUB(info, ColorDialog);

  // FAR's window is the console the dialogs are placed on.
  host.OnAdvControl(ACTL_GETFARRECT, [&host](const GUID *, intptr_t, void *param2) -> intptr_t {
    auto *rect = static_cast<SMALL_RECT *>(param2);
    if (!rect)
      return FALSE;
    COORD console = host.Part<THostDialogs>().Console;
    *rect = SMALL_RECT{0, 0, static_cast<SHORT>(console.X - 1), static_cast<SHORT>(console.Y - 1)};
    return TRUE;
  });
}
