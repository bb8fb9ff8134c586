// FAR's dialogs as the host plays them: DialogInit, DialogRun, DialogFree, SendDlgMessage and
// DefDlgProc, the scripted user's actions inside a dialog, and the text drawing of a dialog.
// InputBox and ColorDialog are not played yet (recorded as unimplemented).
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

bool IsEdit(FARDIALOGITEMTYPES type) {
  return type == DI_EDIT || type == DI_FIXEDIT || type == DI_PSWEDIT || type == DI_COMBOBOX;
}

bool HasList(FARDIALOGITEMTYPES type) {
  return type == DI_LISTBOX || type == DI_COMBOBOX;
}

std::wstring Text(const wchar_t *p) {
  return p ? std::wstring(p) : std::wstring();
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
  dialog->HelpTopic = Text(HelpTopic);
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
  Data = Text(source.Data);
  Mask = Text(source.Mask);
  History = Text(source.History);
  ListTexts.clear();
  ListItems.clear();
  ListPos = -1;
  if (HasList(source.Type) && source.ListItems) {
    for (size_t i = 0; i < source.ListItems->ItemsNumber; ++i) {
      const FarListItem &entry = source.ListItems->Items[i];
      ListTexts.push_back(Text(entry.Text));
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
  if (HasList(Item.Type)) {
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

// ---- DM_* messages ----

intptr_t THostDialog::Message(intptr_t msg, intptr_t param1, void *param2) {
  TFarHost &host = TFarHost::Active();
  intptr_t count = static_cast<intptr_t>(Items.size());
  auto p2 = reinterpret_cast<intptr_t>(param2);
  // Messages about one item: FAR answers 0 for an index outside the items.
  auto item = [&]() -> THostDialogItem * { return param1 >= 0 && param1 < count ? &Items[param1] : nullptr; };

  switch (msg) {
  case DM_CLOSE:
    return TryClose(param1 == -1 ? Focus : param1) ? TRUE : FALSE;
  case DM_ENABLEREDRAW: {
    int previous = RedrawLock;
    if (param1 == 0)
      ++RedrawLock;
    else if (param1 == 1 && RedrawLock > 0 && --RedrawLock == 0)
      ++Redraws;
    return previous;
  }
  case DM_REDRAW:
    ++Redraws;
    return 0;
  case DM_GETDLGDATA:
    return reinterpret_cast<intptr_t>(Param);
  case DM_SETDLGDATA: {
    void *previous = Param;
    Param = param2;
    return reinterpret_cast<intptr_t>(previous);
  }
  case DM_GETDIALOGINFO: {
    auto *info = static_cast<DialogInfo *>(param2);
    if (!info || info->StructSize < sizeof(DialogInfo))
      return FALSE;
    info->Id = Id;
    info->Owner = PluginId;
    return TRUE;
  }
  case DM_GETDLGRECT: {
    auto *rect = static_cast<SMALL_RECT *>(param2);
    if (!rect)
      return FALSE;
    *rect = SMALL_RECT{static_cast<SHORT>(Left), static_cast<SHORT>(Top),
                       static_cast<SHORT>(Left + Width - 1), static_cast<SHORT>(Top + Height - 1)};
    return TRUE;
  }
  case DM_MOVEDIALOG: {
    auto *position = static_cast<COORD *>(param2);
    if (!position)
      return 0;
    COORD console = host.Part<THostDialogs>().Console;
    if (param1 == 1) {
      CentredX = position->X == -1;
      CentredY = position->Y == -1;
      if (!CentredX)
        Left = position->X;
      if (!CentredY)
        Top = position->Y;
    } else {
      CentredX = CentredY = false;
      Left += position->X;
      Top += position->Y;
    }
    Place(console);
    position->X = static_cast<SHORT>(Left);
    position->Y = static_cast<SHORT>(Top);
    return reinterpret_cast<intptr_t>(position);
  }
  case DM_RESIZEDIALOG: {
    auto *size = static_cast<COORD *>(param2);
    if (!size)
      return 0;
    Width = std::max<int>(1, size->X);
    Height = std::max<int>(1, size->Y);
    Place(host.Part<THostDialogs>().Console);
    size->X = static_cast<SHORT>(Width);
    size->Y = static_cast<SHORT>(Height);
    return reinterpret_cast<intptr_t>(size);
  }
  case DM_GETFOCUS:
    return Focus;
  default:
    break;
  }

  THostDialogItem *target = item();
  if (!target) {
    if (msg < DM_USER && msg != DM_KEY)
      return 0;
    host.Unimplemented(L"SendDlgMessage(" + std::to_wstring(msg) + L")");
    return 0;
  }
  FarDialogItem &raw = target->Item;
  switch (msg) {
  case DM_ENABLE: {
    intptr_t previous = (raw.Flags & DIF_DISABLE) == 0 ? TRUE : FALSE;
    if (p2 == 0)
      raw.Flags |= DIF_DISABLE;
    else if (p2 == 1)
      raw.Flags &= ~DIF_DISABLE;
    return previous;
  }
  case DM_SHOWITEM: {
    intptr_t previous = (raw.Flags & DIF_HIDDEN) == 0 ? TRUE : FALSE;
    if (p2 == 0)
      raw.Flags |= DIF_HIDDEN;
    else if (p2 == 1)
      raw.Flags &= ~DIF_HIDDEN;
    ProcessCenterGroups();
    return previous;
  }
  case DM_GETTEXT: {
    std::wstring text = HasList(raw.Type) && raw.Type == DI_LISTBOX
                            ? (target->ListPos >= 0 ? target->ListTexts[target->ListPos] : std::wstring())
                            : target->Data;
    auto *data = static_cast<FarDialogItemData *>(param2);
    if (!data)
      return static_cast<intptr_t>(text.size());
    // As FAR: PtrLength 0 asks for the whole text; otherwise at most PtrLength characters are
    // copied, and a terminating zero is written behind them.
    size_t copied = data->PtrLength == 0 ? text.size() : std::min(data->PtrLength, text.size());
    if (data->PtrLength == 0)
      data->PtrLength = text.size();
    if (data->PtrData) {
      std::memcpy(data->PtrData, text.data(), copied * sizeof(wchar_t));
      data->PtrData[copied] = L'\0';
    }
    return static_cast<intptr_t>(copied);
  }
  case DM_SETTEXT: {
    auto *data = static_cast<FarDialogItemData *>(param2);
    if (!data)
      return 0;
    if (!data->PtrData)
      target->Data.clear();
    else if (data->PtrLength)
      target->Data.assign(data->PtrData, data->PtrLength);
    else
      target->Data = data->PtrData;
    if (raw.MaxLength > 0 && IsEdit(raw.Type) && target->Data.size() > raw.MaxLength)
      target->Data.resize(raw.MaxLength);
    target->Sync();
    ProcessCenterGroups();
    return static_cast<intptr_t>(target->Data.size());
  }
  case DM_SETTEXTPTR:
    target->Data = Text(static_cast<const wchar_t *>(param2));
    target->Sync();
    ProcessCenterGroups();
    return static_cast<intptr_t>(target->Data.size());
  case DM_GETCONSTTEXTPTR:
    return reinterpret_cast<intptr_t>(target->Data.c_str());
  case DM_SETMAXTEXTLENGTH: {
    intptr_t previous = static_cast<intptr_t>(raw.MaxLength);
    raw.MaxLength = static_cast<size_t>(p2);
    return previous;
  }
  case DM_GETCHECK:
    return (raw.Type == DI_CHECKBOX || raw.Type == DI_RADIOBUTTON) ? raw.Selected : 0;
  case DM_SETCHECK: {
    if (raw.Type == DI_CHECKBOX) {
      intptr_t previous = raw.Selected;
      intptr_t state = p2 == BSTATE_TOGGLE ? (previous == BSTATE_CHECKED ? 0 : 1) : p2;
      raw.Selected = std::clamp<intptr_t>(state, 0, 2);
      return previous;
    }
    if (raw.Type == DI_RADIOBUTTON) {
      // The group: the consecutive radio buttons around this one; DIF_GROUP starts a new one.
      intptr_t first = param1;
      while (first > 0 && Items[first - 1].Item.Type == DI_RADIOBUTTON &&
             !(Items[first].Item.Flags & DIF_GROUP))
        --first;
      intptr_t last = param1;
      while (last + 1 < count && Items[last + 1].Item.Type == DI_RADIOBUTTON &&
             !(Items[last + 1].Item.Flags & DIF_GROUP))
        ++last;
      intptr_t previous = -1;
      for (intptr_t i = first; i <= last; ++i)
        if (Items[i].Item.Selected)
          previous = i;
      if (p2 != BSTATE_UNCHECKED) {
        for (intptr_t i = first; i <= last; ++i)
          Items[i].Item.Selected = i == param1 ? 1 : 0;
      } else {
        raw.Selected = 0;
      }
      return previous;
    }
    return 0;
  }
  case DM_SETFOCUS:
    if (!CanFocus(param1))
      return FALSE;
    if (Running && !Initialising)
      return MoveFocus(param1) ? TRUE : FALSE;
    if (Focus >= 0)
      Items[Focus].Item.Flags &= ~DIF_FOCUS;
    Focus = param1;
    raw.Flags |= DIF_FOCUS;
    return TRUE;
  case DM_GETITEMPOSITION: {
    auto *rect = static_cast<SMALL_RECT *>(param2);
    if (!rect)
      return FALSE;
    *rect = SMALL_RECT{static_cast<SHORT>(raw.X1), static_cast<SHORT>(raw.Y1), static_cast<SHORT>(raw.X2),
                       static_cast<SHORT>(raw.Y2)};
    return TRUE;
  }
  case DM_SETITEMPOSITION: {
    auto *rect = static_cast<SMALL_RECT *>(param2);
    if (!rect)
      return FALSE;
    raw.X1 = rect->Left;
    raw.Y1 = rect->Top;
    raw.X2 = rect->Right;
    raw.Y2 = rect->Bottom;
    ProcessCenterGroups();
    return TRUE;
  }
  case DM_GETDLGITEM: {
    size_t strings = (target->Data.size() + 1 + target->Mask.size() + 1 + target->History.size() + 1);
    size_t size = sizeof(FarDialogItem) + strings * sizeof(wchar_t);
    auto *request = static_cast<FarGetDialogItem *>(param2);
    if (!request)
      return static_cast<intptr_t>(size);
    if (request->StructSize < sizeof(FarGetDialogItem) || !request->Item || request->Size < size)
      return 0;
    FarDialogItem *copy = request->Item;
    *copy = raw;
    auto *text = reinterpret_cast<wchar_t *>(copy + 1);
    auto put = [&text](const std::wstring &s) {
      std::memcpy(text, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
      const wchar_t *start = text;
      text += s.size() + 1;
      return start;
    };
    copy->Data = put(target->Data);
    const wchar_t *mask = put(target->Mask);
    copy->Mask = raw.Mask ? mask : nullptr;
    const wchar_t *history = put(target->History);
    copy->History = raw.History ? history : nullptr;
    return static_cast<intptr_t>(size);
  }
  case DM_SETDLGITEM: {
    auto *source = static_cast<const FarDialogItem *>(param2);
    if (!source || source->Type != raw.Type)
      return FALSE;
    // The list stays FAR's; everything else is taken from the new item.
    std::vector<std::wstring> texts = target->ListTexts;
    std::vector<FarListItem> entries = target->ListItems;
    intptr_t position = target->ListPos;
    bool listType = HasList(raw.Type);
    target->Assign(*source);
    if (listType) {
      target->ListTexts = texts;
      target->ListItems = entries;
      target->ListPos = position;
      target->Sync();
    }
    ProcessCenterGroups();
    return TRUE;
  }
  case DM_EDITUNCHANGEDFLAG: {
    intptr_t previous = target->Unchanged ? 1 : 0;
    if (p2 == 0 || p2 == 1)
      target->Unchanged = p2 == 1;
    return previous;
  }
  case DM_GETITEMDATA:
    return raw.UserData;
  case DM_SETITEMDATA: {
    intptr_t previous = raw.UserData;
    raw.UserData = p2;
    return previous;
  }
  default:
    break;
  }

  if (HasList(raw.Type)) {
    auto &texts = target->ListTexts;
    auto &entries = target->ListItems;
    auto size = static_cast<intptr_t>(texts.size());
    auto insert = [&](intptr_t at, const FarListItem &entry) {
      at = std::clamp<intptr_t>(at, 0, static_cast<intptr_t>(texts.size()));
      texts.insert(texts.begin() + at, Text(entry.Text));
      entries.insert(entries.begin() + at, entry);
      if (target->ListPos < 0)
        target->ListPos = 0;
      else if (at <= target->ListPos && texts.size() > 1)
        ++target->ListPos;
    };
    intptr_t result = 0;
    switch (msg) {
    case DM_LISTADDSTR:
      insert(size, FarListItem{0, static_cast<const wchar_t *>(param2), 0, 0});
      result = size;
      break;
    case DM_LISTADD:
    case DM_LISTSET: {
      auto *list = static_cast<const FarList *>(param2);
      if (!list)
        return FALSE;
      if (msg == DM_LISTSET) {
        texts.clear();
        entries.clear();
        target->ListPos = -1;
      }
      for (size_t i = 0; i < list->ItemsNumber; ++i)
        insert(static_cast<intptr_t>(texts.size()), list->Items[i]);
      result = TRUE;
      break;
    }
    case DM_LISTDELETE: {
      auto *request = static_cast<const FarListDelete *>(param2);
      if (!request || (request->StartIndex == 0 && request->Count == 0)) {
        texts.clear();
        entries.clear();
        target->ListPos = -1;
      } else {
        intptr_t from = std::clamp<intptr_t>(request->StartIndex, 0, size);
        intptr_t to = std::clamp<intptr_t>(request->StartIndex + request->Count, from, size);
        texts.erase(texts.begin() + from, texts.begin() + to);
        entries.erase(entries.begin() + from, entries.begin() + to);
        if (target->ListPos >= static_cast<intptr_t>(texts.size()))
          target->ListPos = static_cast<intptr_t>(texts.size()) - 1;
      }
      result = TRUE;
      break;
    }
    case DM_LISTINSERT: {
      auto *request = static_cast<const FarListInsert *>(param2);
      if (!request)
        return -1;
      insert(request->Index, request->Item);
      result = static_cast<intptr_t>(texts.size());
      break;
    }
    case DM_LISTUPDATE: {
      auto *request = static_cast<const FarListUpdate *>(param2);
      if (!request || request->Index < 0 || request->Index >= size)
        return FALSE;
      texts[request->Index] = Text(request->Item.Text);
      entries[request->Index] = request->Item;
      result = TRUE;
      break;
    }
    case DM_LISTGETITEM: {
      auto *request = static_cast<FarListGetItem *>(param2);
      if (!request || request->ItemIndex < 0 || request->ItemIndex >= size)
        return FALSE;
      target->Sync();
      request->Item = entries[request->ItemIndex];
      return TRUE;
    }
    case DM_LISTGETCURPOS: {
      if (auto *position = static_cast<FarListPos *>(param2)) {
        position->SelectPos = target->ListPos;
        position->TopPos = 0;
      }
      return target->ListPos;
    }
    case DM_LISTSETCURPOS: {
      auto *position = static_cast<const FarListPos *>(param2);
      if (!position || size == 0)
        return target->ListPos;
      target->ListPos = std::clamp<intptr_t>(position->SelectPos, 0, size - 1);
      result = target->ListPos;
      break;
    }
    case DM_LISTINFO: {
      auto *info = static_cast<FarListInfo *>(param2);
      if (!info)
        return FALSE;
      info->ItemsNumber = texts.size();
      info->SelectPos = target->ListPos;
      info->TopPos = 0;
      return TRUE;
    }
    case DM_LISTFINDSTRING: {
      auto *find = static_cast<const FarListFind *>(param2);
      if (!find || !find->Pattern)
        return -1;
      for (intptr_t i = std::max<intptr_t>(0, find->StartIndex); i < size; ++i)
        if (texts[i] == find->Pattern)
          return i;
      return -1;
    }
    default:
      host.Unimplemented(L"SendDlgMessage(" + std::to_wstring(msg) + L") on a list");
      return 0;
    }
    target->Sync();
    return result;
  }

  host.Unimplemented(L"SendDlgMessage(" + std::to_wstring(msg) + L")");
  return 0;
}

// ---- Drawing ----

std::vector<std::wstring> THostDialog::Draw() const {
  std::vector<std::wstring> rows(std::max(Height, 0), std::wstring(std::max(Width, 0), L' '));
  auto put = [&](intptr_t x, intptr_t y, wchar_t c) {
    if (y >= 0 && y < Height && x >= 0 && x < Width)
      rows[y][x] = c;
  };
  auto write = [&](intptr_t x, intptr_t y, const std::wstring &s) {
    for (size_t i = 0; i < s.size(); ++i)
      put(x + static_cast<intptr_t>(i), y, s[i]);
  };
  auto label = [](const THostDialogItem &item) {
    return (item.Item.Flags & DIF_SHOWAMPERSAND) != 0 ? item.Data : HostStripHotKey(item.Data);
  };
  for (const auto &entry : Items) {
    const FarDialogItem &item = entry.Item;
    if ((item.Flags & DIF_HIDDEN) != 0)
      continue;
    std::wstring text = label(entry);
    switch (item.Type) {
    case DI_SINGLEBOX:
    case DI_DOUBLEBOX: {
      bool dbl = item.Type == DI_DOUBLEBOX;
      for (intptr_t x = item.X1 + 1; x < item.X2; ++x) {
        put(x, item.Y1, dbl ? L'═' : L'─');
        put(x, item.Y2, dbl ? L'═' : L'─');
      }
      for (intptr_t y = item.Y1 + 1; y < item.Y2; ++y) {
        put(item.X1, y, dbl ? L'║' : L'│');
        put(item.X2, y, dbl ? L'║' : L'│');
      }
      put(item.X1, item.Y1, dbl ? L'╔' : L'┌');
      put(item.X2, item.Y1, dbl ? L'╗' : L'┐');
      put(item.X1, item.Y2, dbl ? L'╚' : L'└');
      put(item.X2, item.Y2, dbl ? L'╝' : L'┘');
      if (!text.empty()) {
        std::wstring title = L" " + text + L" ";
        intptr_t inner = item.X2 - item.X1 - 1;
        if (static_cast<intptr_t>(title.size()) > inner)
          title.resize(std::max<intptr_t>(inner, 0));
        intptr_t x = (item.Flags & DIF_LEFTTEXT) != 0
                         ? item.X1 + 2
                         : item.X1 + 1 + (inner - static_cast<intptr_t>(title.size())) / 2;
        write(x, item.Y1, title);
      }
      break;
    }
    case DI_TEXT:
      if ((item.Flags & (DIF_SEPARATOR | DIF_SEPARATOR2)) != 0) {
        bool dbl = (item.Flags & DIF_SEPARATOR2) != 0;
        bool small = (Flags & FDLG_SMALLDIALOG) != 0;
        // As FAR: a separator runs across the dialog, joining the frame at columns 3 and W - 4.
        intptr_t from = small ? 0 : 3;
        intptr_t to = small ? Width - 1 : Width - 4;
        for (intptr_t x = from + 1; x < to; ++x)
          put(x, item.Y1, dbl ? L'═' : L'─');
        put(from, item.Y1, dbl ? L'╠' : L'╟');
        put(to, item.Y1, dbl ? L'╣' : L'╢');
        if (!text.empty()) {
          std::wstring middle = L" " + text + L" ";
          write(from + (to - from + 1 - static_cast<intptr_t>(middle.size())) / 2, item.Y1, middle);
        }
        break;
      }
      {
        intptr_t from = item.X1 < 0 ? 0 : item.X1;
        intptr_t to = item.X1 < 0 ? Width - 1 : (item.X2 >= item.X1 ? item.X2 : Width - 1);
        intptr_t room = to - from + 1;
        if (static_cast<intptr_t>(text.size()) > room)
          text.resize(std::max<intptr_t>(room, 0));
        intptr_t x = from;
        if (item.X1 < 0 || ((item.Flags & DIF_CENTERTEXT) != 0 && item.X2 > item.X1))
          x = from + (room - static_cast<intptr_t>(text.size())) / 2;
        else if ((item.Flags & DIF_RIGHTTEXT) != 0 && item.X2 > item.X1)
          x = to - static_cast<intptr_t>(text.size()) + 1;
        write(x, item.Y1, text);
      }
      break;
    case DI_CHECKBOX: {
      const wchar_t *mark = item.Selected == 1 ? L"[x] " : item.Selected == 2 ? L"[?] " : L"[ ] ";
      write(item.X1, item.Y1, mark + text);
      break;
    }
    case DI_RADIOBUTTON:
      write(item.X1, item.Y1, (item.Selected ? L"(•) " : L"( ) ") + text);
      break;
    case DI_BUTTON: {
      bool isDefault = (item.Flags & DIF_DEFAULTBUTTON) != 0;
      if ((item.Flags & DIF_NOBRACKETS) != 0)
        write(item.X1, item.Y1, text);
      else
        write(item.X1, item.Y1, (isDefault ? L"{ " : L"[ ") + text + (isDefault ? L" }" : L" ]"));
      break;
    }
    case DI_EDIT:
    case DI_FIXEDIT:
    case DI_PSWEDIT:
    case DI_COMBOBOX: {
      intptr_t width = std::max<intptr_t>(item.X2 - item.X1 + 1, 1);
      std::wstring shown = item.Type == DI_PSWEDIT ? std::wstring(entry.Data.size(), L'*') : entry.Data;
      if (item.Type == DI_COMBOBOX && width > 1)
        --width;
      shown.resize(static_cast<size_t>(width), L'░');
      if (item.Type == DI_COMBOBOX)
        shown += L'↓';
      write(item.X1, item.Y1, shown);
      break;
    }
    case DI_LISTBOX: {
      bool framed = (item.Flags & DIF_LISTNOBOX) == 0;
      intptr_t top = item.Y1 + (framed ? 1 : 0);
      intptr_t left = item.X1 + (framed ? 1 : 0);
      intptr_t width = item.X2 - item.X1 + 1 - (framed ? 2 : 0);
      if (framed) {
        for (intptr_t x = item.X1 + 1; x < item.X2; ++x) {
          put(x, item.Y1, L'─');
          put(x, item.Y2, L'─');
        }
        for (intptr_t y = item.Y1 + 1; y < item.Y2; ++y) {
          put(item.X1, y, L'│');
          put(item.X2, y, L'│');
        }
        put(item.X1, item.Y1, L'┌');
        put(item.X2, item.Y1, L'┐');
        put(item.X1, item.Y2, L'└');
        put(item.X2, item.Y2, L'┘');
      }
      for (size_t i = 0;
           i < entry.ListTexts.size() && top + static_cast<intptr_t>(i) <= item.Y2 - (framed ? 1 : 0); ++i) {
        std::wstring line = (static_cast<intptr_t>(i) == entry.ListPos ? L">" : L" ") + entry.ListTexts[i];
        line.resize(static_cast<size_t>(std::max<intptr_t>(width, 0)), L' ');
        write(left, top + static_cast<intptr_t>(i), line);
      }
      break;
    }
    default:
      break;
    }
  }
  return rows;
}

std::wstring THostDialog::DrawnText() const {
  std::wstring result;
  for (const auto &row : Draw())
    result += row + L"\n";
  return result;
}

// ---- The scripted user's actions ----

namespace {

// The item of an action, refusing what FAR's user could not reach.
int Reach(THostDialog &dialog, TFarHost &host, const THostDialogTarget &target, const THostStep &step,
          std::initializer_list<FARDIALOGITEMTYPES> types) {
  int index = dialog.Find(target);
  if (index < 0)
    return -1;
  const FarDialogItem &item = dialog.Items[index].Item;
  if (std::find(types.begin(), types.end(), item.Type) == types.end()) {
    host.Fail(L"cannot " + step.Describe() + L": the item is of another kind");
    return -1;
  }
  if ((item.Flags & DIF_DISABLE) != 0) {
    host.Fail(L"cannot " + step.Describe() + L": the item is disabled");
    return -1;
  }
  if ((item.Flags & DIF_HIDDEN) != 0) {
    host.Fail(L"cannot " + step.Describe() + L": the item is hidden");
    return -1;
  }
  return index;
}

} // namespace

std::wstring TDialogSetCheck::Describe() const {
  return L"set the check box " + Target.Describe() + L" to " + std::to_wstring(State);
}

void TDialogSetCheck::Perform(THostDialog &dialog, TFarHost &host) {
  int index = Reach(dialog, host, Target, *this, {DI_CHECKBOX});
  if (index < 0)
    return;
  dialog.MoveFocus(index);
  FarDialogItem &item = dialog.Items[index].Item;
  if (item.Selected == State)
    return;
  // FAR asks first and changes the state only when the procedure agrees.
  if (dialog.Notify(DN_BTNCLICK, index, reinterpret_cast<void *>(static_cast<intptr_t>(State))) != 0)
    dialog.Items[index].Item.Selected = State;
}

std::wstring TDialogSelectRadio::Describe() const {
  return L"select the radio button " + Target.Describe();
}

void TDialogSelectRadio::Perform(THostDialog &dialog, TFarHost &host) {
  int index = Reach(dialog, host, Target, *this, {DI_RADIOBUTTON});
  if (index < 0)
    return;
  dialog.MoveFocus(index);
  if (dialog.Items[index].Item.Selected)
    return;
  intptr_t first = index;
  while (first > 0 && dialog.Items[first - 1].Item.Type == DI_RADIOBUTTON &&
         !(dialog.Items[first].Item.Flags & DIF_GROUP))
    --first;
  intptr_t last = index;
  while (last + 1 < static_cast<intptr_t>(dialog.Items.size()) &&
         dialog.Items[last + 1].Item.Type == DI_RADIOBUTTON &&
         !(dialog.Items[last + 1].Item.Flags & DIF_GROUP))
    ++last;
  intptr_t previous = -1;
  for (intptr_t i = first; i <= last; ++i)
    if (dialog.Items[i].Item.Selected)
      previous = i;
  // Both buttons are asked: the one losing the selection, then the one gaining it.
  if (previous >= 0 && dialog.Notify(DN_BTNCLICK, previous, nullptr) == 0)
    return;
  if (dialog.Notify(DN_BTNCLICK, index, reinterpret_cast<void *>(intptr_t(1))) == 0)
    return;
  for (intptr_t i = first; i <= last; ++i)
    dialog.Items[i].Item.Selected = i == index ? 1 : 0;
}

std::wstring TDialogType::Describe() const {
  return L"type \"" + Text + L"\" into " + Target.Describe();
}

void TDialogType::Perform(THostDialog &dialog, TFarHost &host) {
  int index = Reach(dialog, host, Target, *this, {DI_EDIT, DI_FIXEDIT, DI_PSWEDIT, DI_COMBOBOX});
  if (index < 0)
    return;
  THostDialogItem &entry = dialog.Items[index];
  if ((entry.Item.Flags & DIF_READONLY) != 0) {
    host.Fail(L"cannot " + Describe() + L": the field is read-only");
    return;
  }
  dialog.MoveFocus(index);
  entry.Data = Text;
  if (entry.Item.MaxLength > 0 && entry.Data.size() > entry.Item.MaxLength)
    entry.Data.resize(entry.Item.MaxLength);
  entry.Unchanged = false;
  entry.Sync();
  FarDialogItem changed = entry.Item;
  dialog.Notify(DN_EDITCHANGE, index, &changed);
}

std::wstring TDialogFocus::Describe() const {
  return L"move the focus to " + Target.Describe();
}

void TDialogFocus::Perform(THostDialog &dialog, TFarHost &host) {
  int index = dialog.Find(Target);
  if (index < 0)
    return;
  if (!dialog.CanFocus(index)) {
    host.Fail(L"cannot " + Describe() + L": the item takes no focus");
    return;
  }
  dialog.MoveFocus(index);
}

std::wstring TDialogPress::Describe() const {
  return L"press the button " + Target.Describe();
}

void TDialogPress::Perform(THostDialog &dialog, TFarHost &host) {
  int index = Reach(dialog, host, Target, *this, {DI_BUTTON});
  if (index < 0)
    return;
  dialog.MoveFocus(index);
  if (dialog.Notify(DN_BTNCLICK, index, nullptr) != 0)
    return;
  if ((dialog.Items[index].Item.Flags & DIF_BTNNOCLOSE) == 0)
    dialog.TryClose(index);
}

void TDialogEnter::Perform(THostDialog &dialog, TFarHost &host) {
  if (dialog.Focus >= 0 && dialog.Items[dialog.Focus].Item.Type == DI_BUTTON) {
    TDialogPress(static_cast<int>(dialog.Focus)).Perform(dialog, host);
    return;
  }
  intptr_t exitCode = dialog.Focus;
  for (size_t i = 0; i < dialog.Items.size(); ++i)
    if ((dialog.Items[i].Item.Flags & DIF_DEFAULTBUTTON) != 0) {
      exitCode = static_cast<intptr_t>(i);
      break;
    }
  dialog.TryClose(exitCode);
}

void TDialogEscape::Perform(THostDialog &dialog, TFarHost &) {
  dialog.TryClose(-1);
}

std::wstring TDialogResize::Describe() const {
  return L"resize the console to " + std::to_wstring(Width) + L"x" + std::to_wstring(Height);
}

void TDialogResize::Perform(THostDialog &dialog, TFarHost &host) {
  auto &dialogs = host.Part<THostDialogs>();
  dialogs.Console = COORD{static_cast<SHORT>(Width), static_cast<SHORT>(Height)};
  dialog.Place(dialogs.Console);
  COORD size = dialogs.Console;
  dialog.Notify(DN_RESIZECONSOLE, 0, &size);
}

std::wstring TDialogInput::Describe() const {
  return L"send an input event (type " + std::to_wstring(Record.EventType) + L") to " + Target.Describe();
}

void TDialogInput::Perform(THostDialog &dialog, TFarHost &) {
  int index = dialog.Find(Target);
  if (index < 0)
    return;
  INPUT_RECORD record = Record;
  dialog.Notify(DN_CONTROLINPUT, index, &record);
}

THostDialogUser &THostDialogUser::Key(THostDialogTarget target, WORD virtualKey, DWORD controlState,
                                      bool keyDown) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = keyDown ? TRUE : FALSE;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
  record.Event.KeyEvent.dwControlKeyState = controlState;
  return Input(std::move(target), record);
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
