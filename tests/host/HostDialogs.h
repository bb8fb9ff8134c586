#pragma once

// FAR's dialog engine as the host plays it. DialogInit takes its own copy of the items (as FAR
// does: later changes to the plug-in's array have no effect); DialogRun sends DN_INITDIALOG and
// then plays the scripted user, one THostDialogAction step after another, as the DN_*
// notifications FAR would send through the plug-in's dialog procedure, honouring what the
// procedure answers. SendDlgMessage reads and changes the host's items; DefDlgProc does what
// FAR's default procedure does. A dialog can be drawn as text at any time.
//
// A test scripts a dialog with THostDialogUser:
//
//   THostDialogUser(host.Script()).Check(L"Process subfolders").Type(4, L"7").Press(L"OK");
//
// Controls are named by index or by text (the '&' of hot keys ignored; an exact match first,
// else the one item whose text contains it). When the steps run out while a dialog is open, or
// the next step is no dialog action, the failure is recorded and the dialog closed as with Esc.

#include "Host.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Which control of the dialog a scripted action means.
struct THostDialogTarget {
  THostDialogTarget(int index) : Index(index) {}
  THostDialogTarget(const wchar_t *text) : Text(text) {}
  THostDialogTarget(std::wstring text) : Text(std::move(text)) {}
  std::wstring Describe() const;

  int Index = -1;
  std::wstring Text;
};

// FAR's copy of one item; Item's pointers point into the strings and the list here.
struct THostDialogItem {
  FarDialogItem Item{};
  std::wstring Data, Mask, History;
  std::vector<std::wstring> ListTexts;
  std::vector<FarListItem> ListItems;
  FarList List{};
  intptr_t ListPos = -1;
  bool Unchanged = true;

  THostDialogItem() = default;
  THostDialogItem(const THostDialogItem &other);
  THostDialogItem &operator=(const THostDialogItem &other);
  // Takes the strings and the list of a plug-in's item.
  void Assign(const FarDialogItem &source);
  // Points Item's pointers at the strings and the list of this object.
  void Sync();
};

class THostDialog {
public:
  HANDLE Handle = nullptr;
  GUID PluginId{};
  GUID Id{};
  intptr_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0; // as DialogInit was given them
  int Width = 0, Height = 0;
  bool CentredX = false, CentredY = false;
  int Left = 0, Top = 0; // on the console
  std::wstring HelpTopic;
  FARDIALOGFLAGS Flags = 0;
  FARWINDOWPROC Proc = nullptr;
  void *Param = nullptr;
  std::vector<THostDialogItem> Items;
  intptr_t Focus = -1;
  int RedrawLock = 0;
  size_t Redraws = 0;
  bool Running = false;
  bool Initialising = false;
  bool Closed = false;
  intptr_t ExitCode = -1;
  // Every notification sent to the plug-in's procedure: "DN_BTNCLICK 3 1 -> 1".
  std::vector<std::wstring> Notifications;

  // Sends a notification through the plug-in's procedure (FAR's default one without).
  intptr_t Notify(intptr_t msg, intptr_t param1, void *param2);
  // FAR's answer to a DM_* message.
  intptr_t Message(intptr_t msg, intptr_t param1, void *param2);
  // FAR's default procedure.
  intptr_t DefaultProc(intptr_t msg, intptr_t param1, void *param2);

  // The index of the item the target names; -1 (and a failure) when there is none.
  int Find(const THostDialogTarget &target) const;
  bool CanFocus(intptr_t index) const;
  // As the user moves the focus: DN_KILLFOCUS to the old item, DN_GOTFOCUS to the new.
  bool MoveFocus(intptr_t index);
  // As FAR closes: DN_CLOSE, and the dialog ends when the procedure agrees.
  bool TryClose(intptr_t exitCode);
  // Places the dialog on the console (centring where asked) and the centred button groups.
  void Place(COORD console);
  void ProcessCenterGroups();

  // The dialog as text: Height lines of Width characters.
  std::vector<std::wstring> Draw() const;
  std::wstring DrawnText() const;
  std::wstring Title() const;
};

// One finished DialogRun.
struct THostDialogRun {
  GUID Id{};
  intptr_t ExitCode = -1;
  std::wstring Title;
  std::wstring HelpTopic; // as DialogInit was given it
  // The dialog as drawn after DN_INITDIALOG and as it was when it closed.
  std::vector<std::wstring> DrawingAtStart, DrawingAtEnd;
  std::vector<THostDialogItem> FinalItems;
  std::vector<std::wstring> Notifications;
};

class THostDialogs : public THostPart {
public:
  // FAR's window size (ACTL_GETFARRECT; changed by a resize step).
  COORD Console{80, 25};
  std::map<HANDLE, std::unique_ptr<THostDialog>> Live;
  std::vector<THostDialogRun> Runs;
  size_t InitCount = 0, FreeCount = 0;
  uintptr_t NextHandle = 0xD1A000;

  THostDialog *Find(HANDLE handle);
};

// A user action inside a running dialog.
class THostDialogAction : public THostStep {
public:
  virtual void Perform(THostDialog &dialog, TFarHost &host) = 0;
};

// Sets a check box to State (0, 1, 2), as a click does.
class TDialogSetCheck : public THostDialogAction {
public:
  TDialogSetCheck(THostDialogTarget target, int state) : Target(std::move(target)), State(state) {}
  std::wstring Describe() const override;
  void Perform(THostDialog &dialog, TFarHost &host) override;
  THostDialogTarget Target;
  int State;
};

// Picks a radio button of its group.
class TDialogSelectRadio : public THostDialogAction {
public:
  explicit TDialogSelectRadio(THostDialogTarget target) : Target(std::move(target)) {}
  std::wstring Describe() const override;
  void Perform(THostDialog &dialog, TFarHost &host) override;
  THostDialogTarget Target;
};

// Replaces the text of an edit field (cut to its MaxLength), one DN_EDITCHANGE.
class TDialogType : public THostDialogAction {
public:
  TDialogType(THostDialogTarget target, std::wstring text)
      : Target(std::move(target)), Text(std::move(text)) {}
  std::wstring Describe() const override;
  void Perform(THostDialog &dialog, TFarHost &host) override;
  THostDialogTarget Target;
  std::wstring Text;
};

class TDialogFocus : public THostDialogAction {
public:
  explicit TDialogFocus(THostDialogTarget target) : Target(std::move(target)) {}
  std::wstring Describe() const override;
  void Perform(THostDialog &dialog, TFarHost &host) override;
  THostDialogTarget Target;
};

// Presses a button: DN_BTNCLICK, and unless the procedure handled it (or DIF_BTNNOCLOSE), the
// dialog closes with that button.
class TDialogPress : public THostDialogAction {
public:
  explicit TDialogPress(THostDialogTarget target) : Target(std::move(target)) {}
  std::wstring Describe() const override;
  void Perform(THostDialog &dialog, TFarHost &host) override;
  THostDialogTarget Target;
};

// Enter: presses the focused button, else closes with the default button.
class TDialogEnter : public THostDialogAction {
public:
  std::wstring Describe() const override { return L"press Enter in a dialog"; }
  void Perform(THostDialog &dialog, TFarHost &host) override;
};

class TDialogEscape : public THostDialogAction {
public:
  std::wstring Describe() const override { return L"press Esc in a dialog"; }
  void Perform(THostDialog &dialog, TFarHost &host) override;
};

// The console changes size: DN_RESIZECONSOLE with the new size.
class TDialogResize : public THostDialogAction {
public:
  TDialogResize(int width, int height) : Width(width), Height(height) {}
  std::wstring Describe() const override;
  void Perform(THostDialog &dialog, TFarHost &host) override;
  int Width, Height;
};

// An input event on a control: DN_CONTROLINPUT.
class TDialogInput : public THostDialogAction {
public:
  TDialogInput(THostDialogTarget target, INPUT_RECORD record) : Target(std::move(target)), Record(record) {}
  std::wstring Describe() const override;
  void Perform(THostDialog &dialog, TFarHost &host) override;
  THostDialogTarget Target;
  INPUT_RECORD Record;
};

// Runs a test's code inside the running dialog (to look at it, draw it, send it messages).
class TDialogInspect : public THostDialogAction {
public:
  explicit TDialogInspect(std::function<void(THostDialog &)> action) : Action(std::move(action)) {}
  std::wstring Describe() const override { return L"look at a dialog"; }
  void Perform(THostDialog &dialog, TFarHost &) override { Action(dialog); }
  std::function<void(THostDialog &)> Action;
};

// The scripted user's side of a dialog, as a chain of steps added to the host's script.
class THostDialogUser {
public:
  explicit THostDialogUser(THostScript &script) : FScript(script) {}
  THostDialogUser &Check(THostDialogTarget target, bool checked = true) {
    return SetState(std::move(target), checked ? 1 : 0);
  }
  THostDialogUser &Clear(THostDialogTarget target) { return SetState(std::move(target), 0); }
  THostDialogUser &SetState(THostDialogTarget target, int state) {
    FScript.Then<TDialogSetCheck>(std::move(target), state);
    return *this;
  }
  THostDialogUser &Select(THostDialogTarget target) {
    FScript.Then<TDialogSelectRadio>(std::move(target));
    return *this;
  }
  THostDialogUser &Type(THostDialogTarget target, std::wstring text) {
    FScript.Then<TDialogType>(std::move(target), std::move(text));
    return *this;
  }
  THostDialogUser &Focus(THostDialogTarget target) {
    FScript.Then<TDialogFocus>(std::move(target));
    return *this;
  }
  THostDialogUser &Press(THostDialogTarget target) {
    FScript.Then<TDialogPress>(std::move(target));
    return *this;
  }
  THostDialogUser &Enter() {
    FScript.Then<TDialogEnter>();
    return *this;
  }
  THostDialogUser &Escape() {
    FScript.Then<TDialogEscape>();
    return *this;
  }
  THostDialogUser &Resize(int width, int height) {
    FScript.Then<TDialogResize>(width, height);
    return *this;
  }
  // A key going down (or, with keyDown false, coming up) on a control.
  THostDialogUser &Key(THostDialogTarget target, WORD virtualKey, DWORD controlState = 0,
                       bool keyDown = true);
  THostDialogUser &Input(THostDialogTarget target, const INPUT_RECORD &record) {
    FScript.Then<TDialogInput>(std::move(target), record);
    return *this;
  }
  THostDialogUser &Inspect(std::function<void(THostDialog &)> action) {
    FScript.Then<TDialogInspect>(std::move(action));
    return *this;
  }

private:
  THostScript &FScript;
};

inline bool HostIsEditItem(FARDIALOGITEMTYPES type) {
  return type == DI_EDIT || type == DI_FIXEDIT || type == DI_PSWEDIT || type == DI_COMBOBOX;
}
inline bool HostHasList(FARDIALOGITEMTYPES type) {
  return type == DI_LISTBOX || type == DI_COMBOBOX;
}
inline std::wstring HostText(const wchar_t *text) {
  return text ? std::wstring(text) : std::wstring();
}

// Text with FAR's hot-key marks removed ("&OK" -> "OK", "&&" -> "&").
std::wstring HostStripHotKey(const std::wstring &text);
