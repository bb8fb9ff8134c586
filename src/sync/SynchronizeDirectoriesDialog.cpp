#include "SynchronizeDirectoriesDialog.h"

#include "Confirmations.h"
#include "FarFormat.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"

namespace {

// {B6E2D9A3-5F18-4C70-9A4D-E31C8B27F05A}
const GUID SynchronizeDialogGuid = {
    0xB6E2D9A3, 0x5F18, 0x4C70, {0x9A, 0x4D, 0xE3, 0x1C, 0x8B, 0x27, 0xF0, 0x5A}};

} // namespace

TSynchronizeDirectoriesDialog::TSynchronizeDirectoriesDialog() : TOkCancelDialog(SynchronizeDialogGuid) {
  SetHelpTopic(VelmoraHelp::SynchronizeDialog);
  EnsureConstructed();
}

void TSynchronizeDirectoriesDialog::CreateClientControls() {
  FCopyLabel = AddLabel(0, 0, 0, GetMsg(MSyncCopyGroup), taLeft);
  FCopyToLeftCheck = AddCheckbox(0, 0, GetMsg(MSyncCopyToLeft), false);
  FConfirmLeftCheck = AddCheckbox(0, 0, GetMsg(MSyncConfirmOverwriteLeft), false);
  FCopyToRightCheck = AddCheckbox(0, 0, GetMsg(MSyncCopyToRight), false);
  FConfirmRightCheck = AddCheckbox(0, 0, GetMsg(MSyncConfirmOverwriteRight), false);
  FDifferentLabel = AddLabel(0, 0, 0, GetMsg(MSyncDifferentGroup), taLeft);
  FAskRadio = AddRadioButton(0, 0, GetMsg(MSyncDifferentAsk), true);
  FSkipRadio = AddRadioButton(0, 0, GetMsg(MSyncDifferentSkip), false);
  FCopyLeftRadio = AddRadioButton(0, 0, GetMsg(MSyncDifferentCopyToLeft), false);
  FCopyRightRadio = AddRadioButton(0, 0, GetMsg(MSyncDifferentCopyToRight), false);
  FDeleteLabel = AddLabel(0, 0, 0, GetMsg(MSyncDeleteGroup), taLeft);
  FDeleteLeftCheck = AddCheckbox(0, 0, GetMsg(MSyncDeleteOnLeft), false);
  FDeleteRightCheck = AddCheckbox(0, 0, GetMsg(MSyncDeleteOnRight), false);
  FSeparator = AddSeparator(0);
  FSilentCheck = AddCheckbox(0, 0, GetMsg(MSyncSilentMode), false);
  FGlobalCheck = AddCheckbox(0, 0, GetMsg(MGlobalRemember), false);
  FCountSeparator = AddSeparator(0);
  FCopyLeftCount = AddLabel(0, 0, 0, std::wstring(), taLeft);
  FCopyRightCount = AddLabel(0, 0, 0, std::wstring(), taLeft);
  FDeleteCount = AddLabel(0, 0, 0, std::wstring(), taLeft);

  auto Clicked = [this](TCheckbox *Sender, int NewState, bool &) { ShowCounts(Sender, NewState); };
  for (TCheckbox *Box : {FCopyToLeftCheck, FCopyToRightCheck, FDeleteLeftCheck, FDeleteRightCheck})
    Box->OnClick = Clicked;
  for (TRadioButton *Radio : {FAskRadio, FSkipRadio, FCopyLeftRadio, FCopyRightRadio})
    Radio->OnSelect = [this](TRadioButton *Sender, bool &) { ShowCounts(Sender, BSTATE_CHECKED); };
}

void TSynchronizeDirectoriesDialog::CreateButtons() {
  TOkCancelDialog::CreateButtons();
  FBackButton = AddButton(0, 0, GetMsg(MSyncBackToDocument));
  FBackButton->MoveAfter(OkButton);
}

void TSynchronizeDirectoriesDialog::ClearControls() {
  TOkCancelDialog::ClearControls();
  FCopyLabel = nullptr;
  FCopyToLeftCheck = nullptr;
  FConfirmLeftCheck = nullptr;
  FCopyToRightCheck = nullptr;
  FConfirmRightCheck = nullptr;
  FDifferentLabel = nullptr;
  FAskRadio = nullptr;
  FSkipRadio = nullptr;
  FCopyLeftRadio = nullptr;
  FCopyRightRadio = nullptr;
  FDeleteLabel = nullptr;
  FDeleteLeftCheck = nullptr;
  FDeleteRightCheck = nullptr;
  FSeparator = nullptr;
  FSilentCheck = nullptr;
  FGlobalCheck = nullptr;
  FCountSeparator = nullptr;
  FCopyLeftCount = nullptr;
  FCopyRightCount = nullptr;
  FDeleteCount = nullptr;
  FBackButton = nullptr;
}

void TSynchronizeDirectoriesDialog::AdjustSize(int &Width, int &Height) {
  Width = 76;
  Height = 23;
}

void TSynchronizeDirectoriesDialog::SetSize(int Width, int Height) {
  TOkCancelDialog::SetSize(Width, Height);
  FCopyLabel->PlaceInBox(Box);
  FCopyToLeftCheck->PlaceBelow(FCopyLabel);
  FConfirmLeftCheck->PlaceBelow(FCopyToLeftCheck, 4);
  FCopyToRightCheck->PlaceBelow(FCopyToLeftCheck, 0, 1);
  FConfirmRightCheck->PlaceBelow(FCopyToRightCheck, 4);
  FDifferentLabel->PlaceBelow(FCopyToRightCheck, 0, 1);
  FAskRadio->PlaceBelow(FDifferentLabel, 2);
  FSkipRadio->PlaceRightOf(FAskRadio);
  FCopyLeftRadio->PlaceRightOf(FSkipRadio);
  FCopyRightRadio->PlaceRightOf(FCopyLeftRadio);
  FDeleteLabel->PlaceBelow(FDifferentLabel, 0, 1);
  FDeleteLeftCheck->PlaceBelow(FDeleteLabel);
  FDeleteRightCheck->PlaceBelow(FDeleteLeftCheck);
  FSeparator->PlaceBelow(FDeleteRightCheck);
  FSilentCheck->PlaceBelow(FDeleteRightCheck, 0, 1);
  FGlobalCheck->PlaceBelow(FSilentCheck);
  FCountSeparator->PlaceBelow(FGlobalCheck);
  FCopyLeftCount->PlaceBelow(FCountSeparator);
  FCopyRightCount->PlaceBelow(FCopyLeftCount);
  FDeleteCount->PlaceBelow(FCopyRightCount);
  FBackButton->SetTop(OkButton->GetTop());
}

int TSynchronizeDirectoriesDialog::ExecuteSynchronize() {
  auto Present = [this](std::initializer_list<TDifferenceType> Types) {
    for (TDifferenceType Type : Types)
      if (FDiffTypePresent[Type])
        return true;
    return false;
  };
  const bool Different = Present({dtDifferent});
  FCopyToLeftCheck->SetEnabled(Present({dtMissingLeft, dtOlderLeft, dtFailedLeft}));
  // Differing files copied to a side overwrite there too, so their confirmation must stay
  // available in a document that holds nothing else.
  FConfirmLeftCheck->SetEnabled(FCopyToLeftCheck->GetEnabled() || Different);
  FCopyToRightCheck->SetEnabled(Present({dtMissingRight, dtOlderRight, dtFailedRight}));
  FConfirmRightCheck->SetEnabled(FCopyToRightCheck->GetEnabled() || Different);
  for (TRadioButton *Radio : {FAskRadio, FSkipRadio, FCopyLeftRadio, FCopyRightRadio})
    Radio->SetEnabled(Different);
  FDeleteLeftCheck->SetEnabled(Present({dtMissingRight}));
  FDeleteRightCheck->SetEnabled(Present({dtMissingLeft}));

  auto Show = [](TCheckbox *Box, bool Value) { Box->SetChecked(Value && Box->GetEnabled()); };
  Show(FCopyToLeftCheck, CopyToLeft);
  Show(FConfirmLeftCheck, ConfirmOverwriteLeft);
  Show(FCopyToRightCheck, CopyToRight);
  Show(FConfirmRightCheck, ConfirmOverwriteRight);
  Show(FDeleteLeftCheck, DeleteOnLeft);
  Show(FDeleteRightCheck, DeleteOnRight);
  FAskRadio->SetChecked(true);
  FSkipRadio->SetChecked(false);
  FCopyLeftRadio->SetChecked(false);
  FCopyRightRadio->SetChecked(false);
  FSilentCheck->SetChecked(SilentMode);
  FGlobalCheck->SetChecked(GlobalRemember);
  ShowCounts();

  TButton *Button = nullptr;
  if (!Execute(Button))
    return srCancel;
  if (Button == FBackButton)
    return srBackToDocument;
  if (Button != OkButton)
    return srCancel;

  CopyToLeft = FCopyToLeftCheck->GetChecked();
  ConfirmOverwriteLeft = FConfirmLeftCheck->GetChecked();
  CopyToRight = FCopyToRightCheck->GetChecked();
  ConfirmOverwriteRight = FConfirmRightCheck->GetChecked();
  DeleteOnLeft = FDeleteLeftCheck->GetChecked();
  DeleteOnRight = FDeleteRightCheck->GetChecked();
  if (FAskRadio->GetChecked())
    DifferentFilesAction = dfaAsk;
  else if (FCopyLeftRadio->GetChecked())
    DifferentFilesAction = dfaCopyToLeft;
  else if (FCopyRightRadio->GetChecked())
    DifferentFilesAction = dfaCopyToRight;
  else if (FSkipRadio->GetChecked())
    DifferentFilesAction = dfaSkip;
  else
    DifferentFilesAction = dfaAsk;
  SilentMode = FSilentCheck->GetChecked();
  GlobalRemember = FGlobalCheck->GetChecked();
  return srSynchronize;
}

TRunChoices TSynchronizeDirectoriesDialog::GetChoices() const {
  return {CopyToLeft, CopyToRight, DeleteOnLeft, DeleteOnRight, DifferentFilesAction};
}

void TSynchronizeDirectoriesDialog::ShowCounts(const TControl *Clicked, int NewState) {
  if (List == nullptr || Plan == nullptr)
    return;
  auto Checked = [&](const TControl *Box) {
    return Box == Clicked ? NewState == BSTATE_CHECKED : Box->GetChecked() && Box->GetEnabled();
  };
  // A radio button being selected takes the choice from the one selected so far.
  auto Selected = [&](const TRadioButton *Radio) {
    return Clicked == FAskRadio || Clicked == FSkipRadio || Clicked == FCopyLeftRadio ||
                   Clicked == FCopyRightRadio
               ? Radio == Clicked
               : Radio->GetChecked();
  };
  TRunChoices Choices{Checked(FCopyToLeftCheck), Checked(FCopyToRightCheck), Checked(FDeleteLeftCheck),
                      Checked(FDeleteRightCheck), dfaAsk};
  if (Selected(FSkipRadio))
    Choices.DifferentFiles = dfaSkip;
  else if (Selected(FCopyLeftRadio))
    Choices.DifferentFiles = dfaCopyToLeft;
  else if (Selected(FCopyRightRadio))
    Choices.DifferentFiles = dfaCopyToRight;
  const TRunTotals Totals = Plan->Totals(*List, Choices);
  FCountSeparator->SetText(Plan->IsPartial() ? L" " + GetMsg(MSyncCountsPartial) + L" " : std::wstring());
  FCopyLeftCount->SetText(Format(GetMsg(MSyncCountsCopyLeft), {FormatGroupedNumber(Totals.ToLeft.Files),
                                                               FormatGroupedNumber(Totals.ToLeft.Bytes)}));
  FCopyRightCount->SetText(Format(GetMsg(MSyncCountsCopyRight), {FormatGroupedNumber(Totals.ToRight.Files),
                                                                 FormatGroupedNumber(Totals.ToRight.Bytes)}));
  FDeleteCount->SetText(Format(GetMsg(MSyncCountsDelete), {FormatGroupedNumber(Totals.DeleteLeft),
                                                           FormatGroupedNumber(Totals.DeleteRight)}));
}
