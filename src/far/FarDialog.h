#pragma once

#include "FarApi.h"
#include "FarErrors.h"
#include "FarPlugin.h"

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// windows.h maps SendMessage to SendMessageW; the dialog's own SendMessage is meant here.
#undef SendMessage

// An index outside a list of the framework.
VELMORA_DECLARE_EXCEPTION(EListError, Exception);

// Alignment of the text of labels, boxes and separators.
enum TAlignment { taCentre = 0, taLeft = 1, taRight = 2 };

// One FAR dialog as an ordered list of control objects. The dialog keeps, in step with the
// controls, the FarDialogItem array FAR's DialogInit consumes; it builds the host dialog, runs
// it and routes FAR's notifications to virtual methods and to the controls' handlers.
//
// Two states: described (not built; controls read and write their stored item) and active
// (built; controls talk to FAR through SendDlgMessage). Execute leaves the dialog active so the
// caller can read what the user entered; ReleaseHandle, ClearControls, a new Build or the
// destructor end that.
//
// Creating a dialog: C++ does not dispatch virtual calls to a descendant while its base is being
// constructed, so the work that needs the complete object (building the controls of a button
// dialog, deriving the size from the FAR window) runs in AfterConstruction. A final class calls
// EnsureConstructed() at the end of its constructor; any other class is created through
// TFarDialog::Create<T>(...). As a last resort the first use of the dialog (adding a control,
// asking or setting its bounds, building it) completes the construction.
class TFarDialog : public TFarCommonModule {
public:
  class TControl;
  class TLabelLikeControl;
  class TDoubleBox;
  class TLabel;
  class TSeparator;
  class TButtonLikeControl;
  class TButton;
  class TCheckbox;
  class TRadioButton;
  class TCustomEdit;
  class TEdit;
  class TListbox;

  explicit TFarDialog(const GUID &Id);
  ~TFarDialog() override;
  TFarDialog(const TFarDialog &) = delete;
  TFarDialog &operator=(const TFarDialog &) = delete;

  // Constructs a dialog of class T and completes its construction.
  template <class T, class... A> static std::unique_ptr<T> Create(A &&...Args) {
    std::unique_ptr<T> Dialog(new T(std::forward<A>(Args)...));
    Dialog->EnsureConstructed();
    return Dialog;
  }
  // Runs AfterConstruction once; later calls do nothing.
  void EnsureConstructed() const;

  // ---- Description ----
  // Called by the control constructors; the dialog owns the control from then on.
  int AddControl(TControl *Control);
  // Destroys a control; the controls after it move up one place.
  void DeleteControl(TControl *Control);
  void MoveControl(int From, int To);
  TControl *GetControl(int Index) const;
  int GetControlCount() const { return FControlCount; }

  // Creates a control of class T on this dialog (the arguments after the dialog).
  template <class T, class... A> T *Add(A &&...Args) { return new T(this, std::forward<A>(Args)...); }
  TButton *AddButton(int X, int Y, const std::wstring &Text);
  TCheckbox *AddCheckbox(int X, int Y, const std::wstring &Text, bool Checked);
  TRadioButton *AddRadioButton(int X, int Y, const std::wstring &Text, bool Checked);
  TDoubleBox *AddDoubleBox(int X, int Y, int Width, int Height, const std::wstring &Text);
  TEdit *AddEdit(int X, int Y, int Width, const std::wstring &Text);
  TLabel *AddLabel(int X, int Y, int Width, const std::wstring &Text, TAlignment Alignment = taLeft);
  TSeparator *AddSeparator(int Y);

  void SetFlags(FARDIALOGFLAGS Flags);
  FARDIALOGFLAGS GetFlags() const { return FFlags; }
  const GUID &GetId() const { return FId; }
  HANDLE GetHandle() const { return FHandle; }
  bool IsActive() const { return FHandle != INVALID_HANDLE_VALUE; }
  const std::wstring &GetHelpTopic() const { return FHelpTopic; }
  void SetHelpTopic(const std::wstring &Topic) { FHelpTopic = Topic; }
  // The stored items (FAR's DialogInit array), one per control in index order.
  const FarDialogItem *GetItemBuffer() const { return FItemBuffer.data(); }

  // ---- Geometry ----
  // The stored position and size; while active, FAR's rectangle.
  void GetBounds(int &Left, int &Top, int &Width, int &Height) const;
  // -1 centres on that axis.
  void SetPosition(int Left, int Top);
  virtual void SetSize(int Width, int Height);
  void SetHeight(int Height);
  // Turns a screen size into this dialog's size.
  virtual void AdjustSize(int &Width, int &Height);
  // The area inside the frame where content goes.
  virtual void GetClientArea(int &Left, int &Top, int &Width, int &Height) const;
  int GetLeft() const { return FLeft; }
  int GetTop() const { return FTop; }

  // ---- Focus and redraw ----
  TControl *GetFocusedControl() const;
  void SetFocusedControl(TControl *Control);
  void DisableRedraw();
  void EnableRedraw();
  void Redraw();
  int GetRedrawLock() const { return FRedrawLock; }
  intptr_t SendMessage(intptr_t Msg, intptr_t Param1, void *Param2) const;

  // ---- Running ----
  bool Build();
  // Runs the dialog modally; true when a button closed it (that button in Button). The dialog
  // stays active afterwards; a dialog that has already run is built afresh from its description.
  bool Execute(TButton *&Button);
  bool Execute();
  void ReleaseHandle();
  // Releases the host dialog and destroys every control.
  virtual void ClearControls();

  // The built dialog whose host handle is Dialog, or null.
  static TFarDialog *FindDialog(HANDLE Dialog);
  virtual const wchar_t *ClassName() const { return L"TFarDialog"; }

protected:
  virtual void AfterConstruction();
  // Dispatches FAR's notifications; true when the event was handled (Result is returned).
  virtual bool DialogProc(intptr_t Msg, intptr_t Param1, void *Param2, intptr_t &Result);
  virtual bool DoInitDialog(intptr_t Param1, void *Param2, intptr_t &Result);
  virtual bool DoButtonClick(intptr_t Index, void *Param2, intptr_t &Result);
  virtual bool DoEditChange(intptr_t Index, void *Param2, intptr_t &Result);
  virtual bool DoGotFocus(intptr_t Index, void *Param2, intptr_t &Result);
  virtual bool DoKillFocus(intptr_t Index, void *Param2, intptr_t &Result);
  virtual bool DoListChange(intptr_t Index, void *Param2, intptr_t &Result);
  virtual bool DoControlInput(intptr_t Index, const INPUT_RECORD *Record, intptr_t &Result);
  // FAR is about to close the dialog with ExitCode (the index of the item that closes it, -1 for
  // Esc); false keeps it open.
  virtual bool CloseQuery(intptr_t ExitCode);
  virtual bool DoResizeConsole(intptr_t Param1, COORD Size, intptr_t &Result);

private:
  static constexpr int CapacityStep = 64;

  FarDialogItem &StoredItem(int Index);
  const FarDialogItem &StoredItem(int Index) const;
  void RemoveControl(TControl *Control);
  // The control at Param1 of a notification, or null when Param1 is no control's index.
  TControl *EventControl(intptr_t Index) const;
  static intptr_t WINAPI DialogProcThunk(HANDLE Dialog, intptr_t Msg, intptr_t Param1, void *Param2);

  GUID FId;
  HANDLE FHandle = INVALID_HANDLE_VALUE;
  std::vector<FarDialogItem> FItemBuffer;
  std::vector<TControl *> FControls;
  int FControlCount = 0;
  int FLeft = -1;
  int FTop = -1;
  int FWidth = 0;
  int FHeight = 0;
  std::wstring FHelpTopic;
  FARDIALOGFLAGS FFlags = 0;
  int FRedrawLock = 0;
  // Set once DialogRun has run the host dialog: running it again needs a fresh one.
  bool FRun = false;
  mutable bool FConstructed = false;
  // An exception raised by a handler while FAR runs the dialog: FAR's frames must not be unwound,
  // so the dialog is closed and the exception raised again once DialogRun has returned.
  std::exception_ptr FPendingException;

  friend class TControl;
};

#include "FarControls.h"
