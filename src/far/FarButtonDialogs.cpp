#include "FarButtonDialogs.h"

// ---- TButtonsDialog ----

TButtonsDialog::TButtonsDialog(const GUID &Id) : TFarDialog(Id) {}

void TButtonsDialog::AfterConstruction() {
  BuildControls();
  TFarDialog::AfterConstruction();
}

void TButtonsDialog::BuildControls() {
  ClearControls();
  Box = AddDoubleBox(0, 0, 0, 0, FarPlugin().GetStandardText(stTitle));
  CreateClientControls();
  ButtonSeparator = AddSeparator(0);
  CreateButtons();
}

void TButtonsDialog::ClearControls() {
  TFarDialog::ClearControls();
  Box = nullptr;
  ButtonSeparator = nullptr;
}

void TButtonsDialog::GetClientArea(int &Left, int &Top, int &Width, int &Height) const {
  if (Box == nullptr) {
    TFarDialog::GetClientArea(Left, Top, Width, Height);
    return;
  }
  Box->GetBounds(Left, Top, Width, Height);
  Left += 2;
  Top += 1;
  Width -= 4;
  Height -= 2;
}

void TButtonsDialog::SetSize(int Width, int Height) {
  TFarDialog::SetSize(Width, Height);
  if (Box != nullptr) {
    Box->SetLeft(3);
    Box->SetWidth(Width - 6);
    Box->SetTop(1);
    Box->SetHeight(Height - 2);
    if (ButtonSeparator != nullptr)
      ButtonSeparator->SetTop(Box->GetTop() + Box->GetHeight() - 3);
  }
  AfterLayout();
}

// ---- TOkCancelDialog ----

TOkCancelDialog::TOkCancelDialog(const GUID &Id) : TButtonsDialog(Id) {}

void TOkCancelDialog::CreateButtons() {
  TButtonsDialog::CreateButtons();
  OkButton = AddButton(0, 0, FarPlugin().GetStandardText(stOK));
  OkButton->SetDefault(true);
  CancelButton = AddButton(0, 0, FarPlugin().GetStandardText(stCancel));
}

void TOkCancelDialog::ClearControls() {
  TButtonsDialog::ClearControls();
  OkButton = nullptr;
  CancelButton = nullptr;
}

void TOkCancelDialog::SetSize(int Width, int Height) {
  TButtonsDialog::SetSize(Width, Height);
  if (OkButton != nullptr && ButtonSeparator != nullptr)
    OkButton->SetTop(ButtonSeparator->GetTop() + 1);
  if (CancelButton != nullptr && OkButton != nullptr)
    CancelButton->SetTop(OkButton->GetTop());
}

bool TOkCancelDialog::ExecuteOk() {
  TButton *Button = nullptr;
  return Execute(Button) && Button == OkButton;
}
