// A dialog the host runs, drawn as text, and the scripted user's actions inside it.
#include "HostDialogs.h"

#include <algorithm>

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
