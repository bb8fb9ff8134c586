// FAR's answers to the DM_* messages a plug-in sends to a dialog the host runs: texts, check
// states, enabling, visibility, focus, positions, the items themselves and list boxes.
#include "HostDialogs.h"

#include <algorithm>
#include <cstring>

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
    std::wstring text = HostHasList(raw.Type) && raw.Type == DI_LISTBOX
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
    if (raw.MaxLength > 0 && HostIsEditItem(raw.Type) && target->Data.size() > raw.MaxLength)
      target->Data.resize(raw.MaxLength);
    target->Sync();
    ProcessCenterGroups();
    return static_cast<intptr_t>(target->Data.size());
  }
  case DM_SETTEXTPTR:
    target->Data = HostText(static_cast<const wchar_t *>(param2));
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
    bool listType = HostHasList(raw.Type);
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

  if (HostHasList(raw.Type)) {
    auto &texts = target->ListTexts;
    auto &entries = target->ListItems;
    auto size = static_cast<intptr_t>(texts.size());
    auto insert = [&](intptr_t at, const FarListItem &entry) {
      at = std::clamp<intptr_t>(at, 0, static_cast<intptr_t>(texts.size()));
      texts.insert(texts.begin() + at, HostText(entry.Text));
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
      texts[request->Index] = HostText(request->Item.Text);
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
