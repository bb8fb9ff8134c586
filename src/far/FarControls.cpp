#include "FarControls.h"

#include <cstring>

namespace {

std::unique_ptr<wchar_t[]> NewCopy(const std::wstring &Text) {
  auto Copy = std::make_unique<wchar_t[]>(Text.size() + 1);
  std::memcpy(Copy.get(), Text.c_str(), (Text.size() + 1) * sizeof(wchar_t));
  return Copy;
}

constexpr FARDIALOGITEMFLAGS AlignmentFlags = DIF_CENTERTEXT | DIF_LEFTTEXT | DIF_RIGHTTEXT;

} // namespace

using TControl = TFarDialog::TControl;

// ---- TControl ----

TControl::TControl(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType) : FDialog(Dialog) {
  FIndex = FDialog->AddControl(this);
  StoredItem().Type = ItemType;
}

TControl::~TControl() {
  FDialog->RemoveControl(this);
}

FarDialogItem &TControl::StoredItem() const {
  return FDialog->StoredItem(FIndex);
}

FARDIALOGITEMTYPES TControl::GetItemType() const {
  return StoredItem().Type;
}

int TControl::GetDisplayWidth() const {
  return GetWidth();
}

bool TControl::AccessLiveItem(bool Modify, const std::function<void(FarDialogItem &Item)> &Action) const {
  if (!IsActive())
    return false;
  intptr_t Size = Send(DM_GETDLGITEM, nullptr);
  if (Size <= 0)
    return false;
  // Aligned storage: FAR puts the item at the start and its strings behind it.
  std::vector<FarDialogItem> Buffer((static_cast<size_t>(Size) + sizeof(FarDialogItem) - 1) /
                                    sizeof(FarDialogItem));
  FarGetDialogItem Request{};
  Request.StructSize = sizeof(Request);
  Request.Size = static_cast<size_t>(Size);
  Request.Item = Buffer.data();
  if (Send(DM_GETDLGITEM, &Request) == 0)
    return false;
  FarDialogItem &Item = Buffer.front();
  if (Item.Type != GetItemType())
    throw EFarDialogError(L"Control type mismatch");
  Action(Item);
  if (!Modify)
    return true;
  if (Item.Type != GetItemType())
    throw EFarDialogError(L"Can't modify control type");
  return Send(DM_SETDLGITEM, &Item) != 0;
}

FARDIALOGITEMFLAGS TControl::ChangeFlag(FARDIALOGITEMFLAGS Flags, FARDIALOGITEMFLAGS Flag, bool Value,
                                        FARDIALOGITEMFLAGS AlsoClear) {
  return Value ? (Flags & ~AlsoClear) | Flag : Flags & ~(Flag | AlsoClear);
}

void TControl::WriteFlag(FARDIALOGITEMFLAGS Flag, bool Value, FARDIALOGITEMFLAGS AlsoClear) {
  SetFlags(ChangeFlag(GetFlags(), Flag, Value, AlsoClear));
}

std::wstring TControl::GetText() const {
  if (!IsActive())
    return FromPChar(StoredItem().Data);
  intptr_t Length = Send(DM_GETTEXT, nullptr);
  if (Length <= 0)
    return std::wstring();
  // FAR writes a terminating zero behind the text it copies: room for it too.
  std::vector<wchar_t> Buffer(static_cast<size_t>(Length) + 1, L'\0');
  FarDialogItemData Data{};
  Data.StructSize = sizeof(Data);
  Data.PtrLength = static_cast<size_t>(Length);
  Data.PtrData = Buffer.data();
  intptr_t Copied = Send(DM_GETTEXT, &Data);
  if (Copied <= 0)
    return std::wstring();
  return std::wstring(Buffer.data(), std::min<size_t>(static_cast<size_t>(Copied), Data.PtrLength));
}

void TControl::SetText(const std::wstring &Value) {
  FText.reset();
  if (!Value.empty())
    FText = NewCopy(Value);
  StoredItem().Data = FText.get();
  if (IsActive()) {
    FarDialogItemData Data{};
    Data.StructSize = sizeof(Data);
    Data.PtrLength = Value.size();
    Data.PtrData = FText ? FText.get() : const_cast<wchar_t *>(L"");
    Send(DM_SETTEXT, &Data);
  }
}

FARDIALOGITEMFLAGS TControl::GetFlags() const {
  FARDIALOGITEMFLAGS Result = StoredItem().Flags;
  AccessLiveItem(false, [&](FarDialogItem &Item) { Result = Item.Flags; });
  return Result;
}

void TControl::SetFlags(FARDIALOGITEMFLAGS Value) {
  StoredItem().Flags = Value;
  AccessLiveItem(true, [&](FarDialogItem &Item) { Item.Flags = Value; });
}

std::wstring TControl::GetMask() const {
  std::wstring Result = FromPChar(StoredItem().Mask);
  AccessLiveItem(false, [&](FarDialogItem &Item) { Result = FromPChar(Item.Mask); });
  return Result;
}

void TControl::SetMask(const std::wstring &Value) {
  FMask = NewCopy(Value);
  FarDialogItem &Stored = StoredItem();
  Stored.Flags = ChangeFlag(Stored.Flags, DIF_MASKEDIT, !Value.empty());
  Stored.Mask = FMask.get();
  const wchar_t *Mask = FMask.get();
  AccessLiveItem(true, [&](FarDialogItem &Item) {
    Item.Flags = ChangeFlag(Item.Flags, DIF_MASKEDIT, !Value.empty());
    Item.Mask = Mask;
  });
}

void TControl::SetHistory(const std::wstring &Name) {
  FHistory = NewCopy(Name);
  FarDialogItem &Stored = StoredItem();
  Stored.Flags = ChangeFlag(Stored.Flags, DIF_HISTORY, !Name.empty());
  Stored.History = Name.empty() ? nullptr : FHistory.get();
}

size_t TControl::GetMaxLength() const {
  size_t Result = StoredItem().MaxLength;
  AccessLiveItem(false, [&](FarDialogItem &Item) { Result = Item.MaxLength; });
  return Result;
}

void TControl::SetMaxLength(size_t Value) {
  StoredItem().MaxLength = Value;
  AccessLiveItem(true, [&](FarDialogItem &Item) { Item.MaxLength = Value; });
}

bool TControl::GetChecked() const {
  if (IsActive())
    return Send(DM_GETCHECK, nullptr) != 0;
  return StoredItem().Selected != 0;
}

void TControl::SetChecked(bool Value) {
  StoredItem().Selected = Value ? 1 : 0;
  if (IsActive())
    Send(DM_SETCHECK,
         reinterpret_cast<void *>(static_cast<intptr_t>(Value ? BSTATE_CHECKED : BSTATE_UNCHECKED)));
}

bool TControl::GetEnabled() const {
  if (IsActive())
    return Send(DM_ENABLE, reinterpret_cast<void *>(intptr_t(-1))) != 0;
  return (StoredItem().Flags & DIF_DISABLE) == 0;
}

void TControl::SetEnabled(bool Value) {
  WriteFlag(DIF_DISABLE, !Value);
  if (IsActive())
    Send(DM_ENABLE, reinterpret_cast<void *>(intptr_t(Value ? 1 : 0)));
}

bool TControl::GetVisible() const {
  if (IsActive())
    return Send(DM_SHOWITEM, reinterpret_cast<void *>(intptr_t(-1))) != 0;
  return (StoredItem().Flags & DIF_HIDDEN) == 0;
}

void TControl::SetVisible(bool Value) {
  WriteFlag(DIF_HIDDEN, !Value);
  if (IsActive())
    Send(DM_SHOWITEM, reinterpret_cast<void *>(intptr_t(Value ? 1 : 0)));
}

bool TControl::GetFocused() const {
  if (IsActive())
    return FDialog->GetFocusedControl() == this;
  return (StoredItem().Flags & DIF_FOCUS) != 0;
}

void TControl::SetFocused(bool Value) {
  WriteFlag(DIF_FOCUS, Value);
  if (IsActive() && Value)
    Send(DM_SETFOCUS, nullptr);
}

void TControl::SetShowAmpersand(bool Value) {
  WriteFlag(DIF_SHOWAMPERSAND, Value);
}

void TControl::SetCenterGroup(bool Value) {
  WriteFlag(DIF_CENTERGROUP, Value);
}

// ---- Geometry ----

void TControl::GetBounds(int &Left, int &Top, int &Width, int &Height) const {
  const FarDialogItem &Item = StoredItem();
  intptr_t X1 = Item.X1, Y1 = Item.Y1, X2 = Item.X2, Y2 = Item.Y2;
  if (IsActive()) {
    SMALL_RECT Rect{};
    if (Send(DM_GETITEMPOSITION, &Rect) != 0) {
      X1 = Rect.Left;
      Y1 = Rect.Top;
      X2 = Rect.Right;
      Y2 = Rect.Bottom;
    }
  }
  Left = static_cast<int>(X1);
  Top = static_cast<int>(Y1);
  Width = static_cast<int>(X2 - X1 + 1);
  Height = static_cast<int>(Y2 - Y1 + 1);
}

void TControl::SetBounds(int Left, int Top, int Width, int Height) {
  FarDialogItem &Item = StoredItem();
  Item.X1 = Left;
  Item.Y1 = Top;
  Item.X2 = Width <= 0 ? 0 : Left + Width - 1;
  Item.Y2 = Height <= 0 ? 0 : Top + Height - 1;
  if (IsActive()) {
    SMALL_RECT Rect{static_cast<SHORT>(Item.X1), static_cast<SHORT>(Item.Y1), static_cast<SHORT>(Item.X2),
                    static_cast<SHORT>(Item.Y2)};
    Send(DM_SETITEMPOSITION, &Rect);
  }
}

int TControl::GetLeft() const {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  return Left;
}

int TControl::GetTop() const {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  return Top;
}

int TControl::GetWidth() const {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  return Width;
}

int TControl::GetHeight() const {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  return Height;
}

void TControl::SetLeft(int Value) {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  SetBounds(Value, Top, Width, Height);
}

void TControl::SetTop(int Value) {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  SetBounds(Left, Value, Width, Height);
}

void TControl::SetWidth(int Value) {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  SetBounds(Left, Top, Value, Height);
}

void TControl::SetHeight(int Value) {
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  SetBounds(Left, Top, Width, Value);
}

namespace {

// The width that makes a control starting at Left satisfy the layout rule for Requested.
int LayoutWidth(const TFarDialog *Dialog, int Left, int Requested, int Own) {
  if (Requested > 0)
    return Requested;
  if (Requested == 0)
    return Own;
  int ClientLeft, ClientTop, ClientWidth, ClientHeight;
  Dialog->GetClientArea(ClientLeft, ClientTop, ClientWidth, ClientHeight);
  int Right = ClientLeft + ClientWidth - 1 + Requested + 1;
  return Right - Left + 1;
}

} // namespace

void TControl::PlaceBelow(const TControl *Other, int DX, int DY, int Width) {
  int OtherLeft, OtherTop, OtherWidth, OtherHeight;
  Other->GetBounds(OtherLeft, OtherTop, OtherWidth, OtherHeight);
  int OwnLeft, OwnTop, OwnWidth, OwnHeight;
  GetBounds(OwnLeft, OwnTop, OwnWidth, OwnHeight);
  int Left = OtherLeft + DX;
  SetBounds(Left, OtherTop + DY + 1, LayoutWidth(FDialog, Left, Width, OwnWidth), OwnHeight);
}

void TControl::PlaceInBox(const TControl *Box) {
  PlaceBelow(Box, 2, 0, Box->GetWidth() - 4);
}

void TControl::PlaceRightOf(const TControl *Other, int Gap, int Width) {
  int OtherLeft, OtherTop, OtherWidth, OtherHeight;
  Other->GetBounds(OtherLeft, OtherTop, OtherWidth, OtherHeight);
  int OwnLeft, OwnTop, OwnWidth, OwnHeight;
  GetBounds(OwnLeft, OwnTop, OwnWidth, OwnHeight);
  int Left = OtherLeft + Other->GetDisplayWidth() + Gap;
  SetBounds(Left, OtherTop, LayoutWidth(FDialog, Left, Width, OwnWidth), OwnHeight);
}

void TControl::MoveTo(int Index) {
  FDialog->MoveControl(FIndex, Index);
}

void TControl::MoveAfter(const TControl *Other) {
  MoveTo(Other->FIndex + 1);
}

void TControl::MoveBefore(const TControl *Other) {
  MoveTo(Other->FIndex);
}

// ---- Labels and boxes ----

TFarDialog::TLabelLikeControl::TLabelLikeControl(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType, int Left,
                                                 int Top, int Width, int Height, const std::wstring &Text)
    : TControl(Dialog, ItemType) {
  SetBounds(Left, Top, Width, Height);
  SetText(Text);
  SetAlignment(taCentre);
  SetShowAmpersand(false);
}

int TFarDialog::TLabelLikeControl::GetDisplayWidth() const {
  return static_cast<int>(GetText().size());
}

void TFarDialog::TLabelLikeControl::SetAlignment(int Value) {
  switch (Value) {
  case taCentre:
    WriteFlag(DIF_CENTERTEXT, true, AlignmentFlags);
    break;
  case taLeft:
    WriteFlag(DIF_LEFTTEXT, true, AlignmentFlags);
    break;
  case taRight:
    WriteFlag(DIF_RIGHTTEXT, true, AlignmentFlags);
    break;
  default:
    break;
  }
}

TFarDialog::TDoubleBox::TDoubleBox(TFarDialog *Dialog, int Left, int Top, int Width, int Height,
                                   const std::wstring &Text)
    : TLabelLikeControl(Dialog, DI_DOUBLEBOX, Left, Top, Width, Height, Text) {}

TFarDialog::TLabel::TLabel(TFarDialog *Dialog, int Left, int Top, int Width, const std::wstring &Text,
                           TAlignment Alignment)
    : TLabelLikeControl(Dialog, DI_TEXT, Left, Top, Width, 1, Text) {
  SetAlignment(Alignment);
}

TFarDialog::TSeparator::TSeparator(TFarDialog *Dialog, int Top)
    : TLabel(Dialog, 0, Top, 0, std::wstring(), taLeft) {
  WriteFlag(DIF_SEPARATOR, true);
}

// ---- Buttons, check boxes, radio buttons ----

TFarDialog::TButtonLikeControl::TButtonLikeControl(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType, int Left,
                                                   int Top, const std::wstring &Text)
    : TControl(Dialog, ItemType) {
  SetBounds(Left, Top, 0, 1);
  SetText(Text);
  SetCenterGroup(false);
  SetShowAmpersand(false);
}

int TFarDialog::TButtonLikeControl::GetDisplayWidth() const {
  return static_cast<int>(GetText().size()) + 4;
}

TFarDialog::TButton::TButton(TFarDialog *Dialog, int Left, int Top, const std::wstring &Text)
    : TButtonLikeControl(Dialog, DI_BUTTON, Left, Top, Text) {
  SetNoClose(false);
  SetCenterGroup(true);
}

void TFarDialog::TButton::SetDefault(bool Value) {
  FarDialogItem &Stored = StoredItem();
  Stored.Flags = ChangeFlag(Stored.Flags, DIF_DEFAULTBUTTON, Value);
  AccessLiveItem(true,
                 [&](FarDialogItem &Item) { Item.Flags = ChangeFlag(Item.Flags, DIF_DEFAULTBUTTON, Value); });
}

bool TFarDialog::TButton::GetDefault() const {
  return (GetFlags() & DIF_DEFAULTBUTTON) != 0;
}

void TFarDialog::TButton::SetNoClose(bool Value) {
  WriteFlag(DIF_BTNNOCLOSE, Value);
}

TFarDialog::TCheckbox::TCheckbox(TFarDialog *Dialog, int Left, int Top, const std::wstring &Text,
                                 bool Checked)
    : TButtonLikeControl(Dialog, DI_CHECKBOX, Left, Top, Text) {
  SetChecked(Checked);
}

TFarDialog::TRadioButton::TRadioButton(TFarDialog *Dialog, int Left, int Top, const std::wstring &Text,
                                       bool Checked)
    : TButtonLikeControl(Dialog, DI_RADIOBUTTON, Left, Top, Text) {
  SetChecked(Checked);
}

// ---- Edit fields ----

TFarDialog::TCustomEdit::TCustomEdit(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType, int Left, int Top,
                                     int Width, const std::wstring &Text)
    : TControl(Dialog, ItemType) {
  SetBounds(Left, Top, Width, 1);
  SetText(Text);
  WriteFlag(DIF_EDITOR, false);
  WriteFlag(DIF_READONLY, false);
  FUnchanged = true;
}

void TFarDialog::TCustomEdit::SetUnchanged(bool Value) {
  FUnchanged = Value;
  if (IsActive())
    Send(DM_EDITUNCHANGEDFLAG, reinterpret_cast<void *>(intptr_t(Value ? 1 : 0)));
}

void TFarDialog::TCustomEdit::DialogInitialized() {
  if (IsActive() && !FUnchanged)
    Send(DM_EDITUNCHANGEDFLAG, nullptr);
}

TFarDialog::TEdit::TEdit(TFarDialog *Dialog, int Left, int Top, int Width, const std::wstring &Text)
    : TCustomEdit(Dialog, DI_EDIT, Left, Top, Width, Text) {}

// ---- List box ----

TFarDialog::TListbox::TListbox(TFarDialog *Dialog, int Left, int Top, int Width, int Height)
    : TControl(Dialog, DI_LISTBOX) {
  SetBounds(Left, Top, Width, Height);
  RebuildList();
}

TFarDialog::TListbox::~TListbox() {
  StoredItem().ListItems = nullptr;
}

void TFarDialog::TListbox::RebuildList() {
  FListItems.assign(FItems.size(), FarListItem{});
  for (size_t I = 0; I < FItems.size(); ++I) {
    FListItems[I].Text = FItems[I].c_str();
    if (static_cast<int>(I) == FItemIndex)
      FListItems[I].Flags = LIF_SELECTED;
  }
  FList.StructSize = sizeof(FList);
  FList.ItemsNumber = FListItems.size();
  FList.Items = FListItems.empty() ? nullptr : FListItems.data();
  StoredItem().ListItems = &FList;
}

int TFarDialog::TListbox::GetCount() const {
  if (IsActive()) {
    FarListInfo Info{};
    Info.StructSize = sizeof(Info);
    if (Send(DM_LISTINFO, &Info) != 0)
      return static_cast<int>(Info.ItemsNumber);
  }
  return static_cast<int>(FItems.size());
}

std::wstring TFarDialog::TListbox::GetItem(int Index) const {
  if (IsActive()) {
    FarListGetItem Item{};
    Item.StructSize = sizeof(Item);
    Item.ItemIndex = Index;
    if (Send(DM_LISTGETITEM, &Item) != 0)
      return FromPChar(Item.Item.Text);
    return std::wstring();
  }
  if (Index < 0 || Index >= static_cast<int>(FItems.size()))
    throw EListError(L"Index out of bounds");
  return FItems[Index];
}

void TFarDialog::TListbox::AddItem(const std::wstring &Text) {
  FItems.push_back(Text);
  if (FItemIndex < 0)
    FItemIndex = 0;
  RebuildList();
  if (IsActive())
    Send(DM_LISTADDSTR, const_cast<wchar_t *>(Text.c_str()));
}

void TFarDialog::TListbox::DeleteItem(int Index) {
  if (IsActive()) {
    FarListDelete Delete{};
    Delete.StructSize = sizeof(Delete);
    Delete.StartIndex = Index;
    Delete.Count = 1;
    Send(DM_LISTDELETE, &Delete);
  }
  if (Index < 0 || Index >= static_cast<int>(FItems.size()))
    return;
  FItems.erase(FItems.begin() + Index);
  if (FItemIndex >= static_cast<int>(FItems.size()))
    FItemIndex = static_cast<int>(FItems.size()) - 1;
  RebuildList();
}

void TFarDialog::TListbox::ClearItems() {
  FItems.clear();
  FItemIndex = -1;
  RebuildList();
  if (IsActive())
    Send(DM_LISTDELETE, nullptr);
}

int TFarDialog::TListbox::GetItemIndex() const {
  if (IsActive())
    return static_cast<int>(Send(DM_LISTGETCURPOS, nullptr));
  return FItemIndex;
}

void TFarDialog::TListbox::SetItemIndex(int Index) {
  if (Index >= 0 && Index < static_cast<int>(FItems.size()))
    FItemIndex = Index;
  RebuildList();
  if (IsActive()) {
    FarListPos Position{};
    Position.StructSize = sizeof(Position);
    Position.SelectPos = Index;
    Position.TopPos = -1;
    Send(DM_LISTSETCURPOS, &Position);
  }
}
