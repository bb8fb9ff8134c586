#pragma once

#include "FarDialog.h"

// The shape of every dialog of the plug-in: a double frame titled with the plug-in's title, the
// content, a separator and a row of centred buttons under it. The item order is always: frame,
// content controls (CreateClientControls), separator, buttons (CreateButtons); FAR's Tab order
// follows it. Layout runs on every SetSize (at Build and on every console resize) and places
// every control from scratch.
class TButtonsDialog : public TFarDialog {
public:
  explicit TButtonsDialog(const GUID &Id);

  TDoubleBox *GetBox() const { return Box; }
  TSeparator *GetButtonSeparator() const { return ButtonSeparator; }

  void ClearControls() override;
  // Inside the frame: for W x H, left 5, top 2, width W - 10, height H - 4.
  void GetClientArea(int &Left, int &Top, int &Width, int &Height) const override;
  // Frame at column 3, row 1, W - 6 by H - 2; separator on row H - 4.
  void SetSize(int Width, int Height) override;
  const wchar_t *ClassName() const override { return L"TButtonsDialog"; }

protected:
  // Builds the controls (the work a descendant's constructor would otherwise do too early).
  void AfterConstruction() override;
  // Creates the whole control list in the fixed order.
  virtual void BuildControls();
  virtual void CreateClientControls() {}
  virtual void CreateButtons() {}
  // Runs at the end of every layout.
  virtual void AfterLayout() {}

  TDoubleBox *Box = nullptr;
  TSeparator *ButtonSeparator = nullptr;
};

// A button dialog with OK (the default button) and Cancel.
class TOkCancelDialog : public TButtonsDialog {
public:
  explicit TOkCancelDialog(const GUID &Id);

  TButton *GetOkButton() const { return OkButton; }
  TButton *GetCancelButton() const { return CancelButton; }
  // True only when the dialog was closed with OK.
  bool ExecuteOk();

  void ClearControls() override;
  // The buttons go on the row under the separator.
  void SetSize(int Width, int Height) override;
  const wchar_t *ClassName() const override { return L"TOkCancelDialog"; }

protected:
  void CreateButtons() override;

  TButton *OkButton = nullptr;
  TButton *CancelButton = nullptr;
};
