#include "SynchronizeDirectoriesDialog.h"

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
  FBackButton = nullptr;
}

void TSynchronizeDirectoriesDialog::AdjustSize(int &Width, int &Height) {
  Width = 76;
  Height = 19;
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
