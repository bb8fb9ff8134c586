#pragma once

#include "FarDialog.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The controls of a TFarDialog. Each control stands for one FarDialogItem, which lives in the
// dialog's item buffer at the control's Index; the control never keeps a pointer to it, because
// the buffer moves when it grows. While the dialog is not built the properties read and write
// that stored item; while it is active they go to FAR, and the setters keep the stored item in
// step (values the user types are not copied back when the dialog is released).
class TFarDialog::TControl {
public:
  using TGotFocusEvent = std::function<void(TControl *Sender)>;
  // FocusTo starts empty; naming a control keeps the focus away from where it was going.
  using TKillFocusEvent = std::function<void(TControl *Sender, TControl *&FocusTo)>;
  using TKeyEvent =
      std::function<void(TControl *Sender, WORD VirtualKeyCode, DWORD ControlKeyState, bool &Handled)>;

  TControl(const TControl &) = delete;
  TControl &operator=(const TControl &) = delete;

  TFarDialog *GetDialog() const { return FDialog; }
  int GetIndex() const { return FIndex; }
  FARDIALOGITEMTYPES GetItemType() const;

  virtual int GetDisplayWidth() const;

  std::wstring GetText() const;
  void SetText(const std::wstring &Value);
  FARDIALOGITEMFLAGS GetFlags() const;
  void SetFlags(FARDIALOGITEMFLAGS Value);
  std::wstring GetMask() const;
  void SetMask(const std::wstring &Value);
  // An edit field's history: FAR keeps what was entered under Name and offers it again (empty:
  // none).
  void SetHistory(const std::wstring &Name);
  std::wstring GetHistory() const { return FHistory ? FHistory.get() : std::wstring(); }
  size_t GetMaxLength() const;
  void SetMaxLength(size_t Value);
  bool GetChecked() const;
  void SetChecked(bool Value);
  bool GetEnabled() const;
  void SetEnabled(bool Value);
  bool GetVisible() const;
  void SetVisible(bool Value);
  bool GetFocused() const;
  void SetFocused(bool Value);
  void SetShowAmpersand(bool Value);
  void SetCenterGroup(bool Value);

  // Relative to the dialog, as in FAR's item.
  void GetBounds(int &Left, int &Top, int &Width, int &Height) const;
  // A width or height of 0 or less stores 0 as the right or bottom edge.
  void SetBounds(int Left, int Top, int Width, int Height);
  int GetLeft() const;
  int GetTop() const;
  int GetWidth() const;
  int GetHeight() const;
  void SetLeft(int Value);
  void SetTop(int Value);
  void SetWidth(int Value);
  void SetHeight(int Value);

  // Layout: a negative Width stretches the control to the client area's right edge plus
  // Width + 1 (-1 reaches the edge); 0 keeps the control's own width.
  void PlaceBelow(const TControl *Other, int DX = 0, int DY = 0, int Width = -1);
  // The first row inside a box, two columns in from each side.
  void PlaceInBox(const TControl *Box);
  void PlaceRightOf(const TControl *Other, int Gap = 1, int Width = -1);
  void MoveTo(int Index);
  void MoveAfter(const TControl *Other);
  void MoveBefore(const TControl *Other);

  TGotFocusEvent OnGotFocus;
  TKillFocusEvent OnKillFocus;
  TKeyEvent OnKey;

protected:
  TControl(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType);
  // Removes the control from its dialog; only the dialog destroys controls.
  virtual ~TControl();

  // Called for every control, in index order, when FAR initialises the dialog.
  virtual void DialogInitialized() {}

  FarDialogItem &StoredItem() const;
  // Runs Action on a copy of FAR's item of this control; with Modify the copy is written back.
  // False when the dialog is not active or FAR refused.
  bool AccessLiveItem(bool Modify, const std::function<void(FarDialogItem &Item)> &Action) const;
  static FARDIALOGITEMFLAGS ChangeFlag(FARDIALOGITEMFLAGS Flags, FARDIALOGITEMFLAGS Flag, bool Value,
                                       FARDIALOGITEMFLAGS AlsoClear = 0);
  void WriteFlag(FARDIALOGITEMFLAGS Flag, bool Value, FARDIALOGITEMFLAGS AlsoClear = 0);
  bool IsActive() const { return FDialog->IsActive(); }
  intptr_t Send(intptr_t Msg, void *Param2) const { return FDialog->SendMessage(Msg, FIndex, Param2); }

private:
  TFarDialog *FDialog;
  int FIndex = -1;
  std::unique_ptr<wchar_t[]> FText;
  std::unique_ptr<wchar_t[]> FMask;
  std::unique_ptr<wchar_t[]> FHistory;

  friend class TFarDialog;
};

class TFarDialog::TLabelLikeControl : public TControl {
public:
  int GetDisplayWidth() const override;
  // Other values change nothing.
  void SetAlignment(int Value);

protected:
  TLabelLikeControl(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType, int Left, int Top, int Width, int Height,
                    const std::wstring &Text);
};

class TFarDialog::TDoubleBox : public TLabelLikeControl {
public:
  TDoubleBox(TFarDialog *Dialog, int Left, int Top, int Width, int Height, const std::wstring &Text);
};

class TFarDialog::TLabel : public TLabelLikeControl {
public:
  TLabel(TFarDialog *Dialog, int Left, int Top, int Width, const std::wstring &Text,
         TAlignment Alignment = taLeft);
};

class TFarDialog::TSeparator : public TLabel {
public:
  TSeparator(TFarDialog *Dialog, int Top);
};

class TFarDialog::TButtonLikeControl : public TControl {
public:
  int GetDisplayWidth() const override;

protected:
  TButtonLikeControl(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType, int Left, int Top,
                     const std::wstring &Text);
};

class TFarDialog::TButton : public TButtonLikeControl {
public:
  // Handled starts false; setting it keeps the dialog open.
  using TClickEvent = std::function<void(TButton *Sender, bool &Handled)>;

  TButton(TFarDialog *Dialog, int Left, int Top, const std::wstring &Text);
  void SetDefault(bool Value);
  bool GetDefault() const;
  void SetNoClose(bool Value);

  TClickEvent OnClick;
};

class TFarDialog::TCheckbox : public TButtonLikeControl {
public:
  // NewState: 0 unchecked, 1 checked, 2 undetermined. Allow starts true; clearing it makes FAR
  // keep the old state.
  using TClickEvent = std::function<void(TCheckbox *Sender, int NewState, bool &Allow)>;

  TCheckbox(TFarDialog *Dialog, int Left, int Top, const std::wstring &Text, bool Checked);

  TClickEvent OnClick;
};

class TFarDialog::TRadioButton : public TButtonLikeControl {
public:
  // Allow starts true; clearing it makes FAR keep the old selection.
  using TSelectEvent = std::function<void(TRadioButton *Sender, bool &Allow)>;

  TRadioButton(TFarDialog *Dialog, int Left, int Top, const std::wstring &Text, bool Checked);

  TSelectEvent OnSelect;
  TSelectEvent OnDeselect;
};

class TFarDialog::TCustomEdit : public TControl {
public:
  using TChangeEvent = std::function<void(TCustomEdit *Sender, bool &Allow)>;

  bool GetUnchanged() const { return FUnchanged; }
  // FAR's "unchanged" state: the first key typed replaces the whole text.
  void SetUnchanged(bool Value);

  TChangeEvent OnChange;

protected:
  TCustomEdit(TFarDialog *Dialog, FARDIALOGITEMTYPES ItemType, int Left, int Top, int Width,
              const std::wstring &Text);
  void DialogInitialized() override;

private:
  bool FUnchanged = true;
};

class TFarDialog::TEdit : public TCustomEdit {
public:
  TEdit(TFarDialog *Dialog, int Left, int Top, int Width, const std::wstring &Text);
};

// A list box with an owned list of texts. While the dialog is active the list operations go to
// FAR's copy of the list, so items the dialog adds or removes then are FAR's until release.
class TFarDialog::TListbox : public TControl {
public:
  using TChangeEvent = std::function<void(TListbox *Sender, intptr_t NewPosition, bool &Allow)>;

  TListbox(TFarDialog *Dialog, int Left, int Top, int Width, int Height);
  ~TListbox() override;

  int GetCount() const;
  std::wstring GetItem(int Index) const;
  void AddItem(const std::wstring &Text);
  void DeleteItem(int Index);
  void ClearItems();
  // The selected position; -1 when the list is empty.
  int GetItemIndex() const;
  void SetItemIndex(int Index);

  TChangeEvent OnChange;

private:
  // Points the stored item at a FarList built from the owned texts.
  void RebuildList();

  std::vector<std::wstring> FItems;
  int FItemIndex = -1;
  std::vector<FarListItem> FListItems;
  FarList FList{};
};
