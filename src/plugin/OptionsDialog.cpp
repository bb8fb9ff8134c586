#include "OptionsDialog.h"

#include "FarFormat.h"
#include "Options.h"
#include "PairState.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"

#include <algorithm>
#include <cwchar>

namespace {

// {3E9A4C61-7B25-4D8F-A1C3-5F60E2B9D417}
constexpr GUID OptionsDialogGuid = {
    0x3e9a4c61, 0x7b25, 0x4d8f, {0xa1, 0xc3, 0x5f, 0x60, 0xe2, 0xb9, 0xd4, 0x17}};

const wchar_t WorkersMask[] = L"99";

// The workers field as a number of workers: what it holds, brought into 1..MaxCompareWorkers;
// Current when it holds no number.
int32_t ParseWorkers(const std::wstring &Text, int32_t Current) {
  int32_t Value = 0;
  bool Digits = false;
  for (wchar_t Char : Text)
    if (Char >= L'0' && Char <= L'9') {
      Value = Value * 10 + (Char - L'0');
      Digits = true;
    }
  return Digits ? std::clamp(Value, 1, TVelmoraOptions::MaxCompareWorkers) : Current;
}

// Deletes the state of every remembered pair, when the user confirms it.
void ForgetRememberedPairs() {
  const std::vector<std::wstring> Files = TPairState::RememberedFiles();
  if (Files.empty()) {
    TFarModule::ShowMessage(
        {TFarModule::GetMsg(MTitle), TFarModule::GetMsg(MNoPairsRemembered), TFarModule::GetMsg(MOk)}, 0, 1,
        VelmoraHelp::Memory);
    return;
  }
  if (TFarModule::ShowMessage(
          {TFarModule::GetMsg(MTitle),
           Format(TFarModule::GetMsg(MForgetAllPairsQuestion), {std::to_wstring(Files.size())}),
           TFarModule::GetMsg(MForgetPair), TFarModule::GetMsg(MKeepPair)},
          0, 2, VelmoraHelp::Memory) != 0)
    return;
  for (const std::wstring &File : Files)
    if (!::DeleteFileW(File.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      TFarModule::ShowMessage(
          {TFarModule::GetMsg(MTitle), TFarModule::GetMsg(MForgetPairFailed), File, TFarModule::GetMsg(MOk)},
          FMSG_WARNING | FMSG_ERRORTYPE, 1);
      return;
    }
}

} // namespace

TOptionsDialog::TOptionsDialog() : TOkCancelDialog(OptionsDialogGuid) {
  SetHelpTopic(VelmoraHelp::Config);
  EnsureConstructed();
}

void TOptionsDialog::CreateClientControls() {
  CommandLabel = AddLabel(0, 0, 0, GetMsg(MOptionsCompareCommand), taLeft);
  CommandEdit = AddEdit(0, 0, 0, std::wstring());
  ArgumentsLabel = AddLabel(0, 0, 0, GetMsg(MOptionsCompareArguments), taLeft);
  ArgumentsEdit = AddEdit(0, 0, 0, std::wstring());
  NTFileNamesCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsAcceptsNTFileNames), false);
  ShowDescriptionCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsShowDescription), true);
  SilentModeCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsSilentModeByDefault), false);
  GlobalRememberCheckbox = AddCheckbox(0, 0, GetMsg(MGlobalRemember), false);
  SafetySeparator = AddSeparator(0);
  RecycleBinCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsDeleteToRecycleBin), true);
  VerifyCopiesCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsVerifyCopies), false);
  MassDeletionCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsConfirmMassDeletion), true);
  FreeSpaceCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsCheckFreeSpace), true);
  ColourCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsColourDocument), true);
  RunSummaryCheckbox = AddCheckbox(0, 0, GetMsg(MOptionsShowRunSummary), true);
  WorkersLabel = AddLabel(0, 0, 0, GetMsg(MOptionsCompareWorkers), taLeft);
  WorkersEdit = AddEdit(0, 0, 0, std::wstring());
  WorkersEdit->SetMask(WorkersMask);
  WorkersEdit->SetMaxLength(std::wcslen(WorkersMask));
  ForgetPairsButton = AddButton(0, 0, GetMsg(MOptionsForgetPairs));
  ForgetPairsButton->SetNoClose(true);
  ForgetPairsButton->SetCenterGroup(false);
  ForgetPairsButton->OnClick = [](TButton *, bool &Handled) {
    Handled = true; // the dialog stays open
    ForgetRememberedPairs();
  };
}

void TOptionsDialog::ClearControls() {
  TOkCancelDialog::ClearControls();
  CommandLabel = nullptr;
  CommandEdit = nullptr;
  ArgumentsLabel = nullptr;
  ArgumentsEdit = nullptr;
  NTFileNamesCheckbox = nullptr;
  ShowDescriptionCheckbox = nullptr;
  SilentModeCheckbox = nullptr;
  GlobalRememberCheckbox = nullptr;
  SafetySeparator = nullptr;
  RecycleBinCheckbox = nullptr;
  VerifyCopiesCheckbox = nullptr;
  MassDeletionCheckbox = nullptr;
  FreeSpaceCheckbox = nullptr;
  WorkersLabel = nullptr;
  WorkersEdit = nullptr;
  ColourCheckbox = nullptr;
  RunSummaryCheckbox = nullptr;
  ForgetPairsButton = nullptr;
}

void TOptionsDialog::AdjustSize(int &Width, int &Height) {
  TOkCancelDialog::AdjustSize(Width, Height);
  Height = 22;
}

void TOptionsDialog::SetSize(int Width, int Height) {
  TOkCancelDialog::SetSize(Width, Height);
  if (CommandLabel == nullptr)
    return;
  CommandLabel->PlaceInBox(Box);
  CommandEdit->PlaceBelow(CommandLabel);
  ArgumentsLabel->PlaceBelow(CommandEdit);
  ArgumentsEdit->PlaceBelow(ArgumentsLabel);
  NTFileNamesCheckbox->PlaceBelow(ArgumentsEdit);
  ShowDescriptionCheckbox->PlaceBelow(NTFileNamesCheckbox);
  SilentModeCheckbox->PlaceBelow(ShowDescriptionCheckbox);
  GlobalRememberCheckbox->PlaceBelow(SilentModeCheckbox);
  SafetySeparator->PlaceBelow(GlobalRememberCheckbox);
  RecycleBinCheckbox->PlaceBelow(SafetySeparator);
  VerifyCopiesCheckbox->PlaceBelow(RecycleBinCheckbox);
  MassDeletionCheckbox->PlaceBelow(VerifyCopiesCheckbox);
  FreeSpaceCheckbox->PlaceBelow(MassDeletionCheckbox);
  ColourCheckbox->PlaceBelow(FreeSpaceCheckbox);
  RunSummaryCheckbox->PlaceBelow(ColourCheckbox);
  WorkersLabel->PlaceBelow(RunSummaryCheckbox, 0, 0, static_cast<int>(WorkersLabel->GetText().size()));
  WorkersEdit->PlaceRightOf(WorkersLabel, 1, static_cast<int>(WorkersEdit->GetMaxLength()) + 1);
  // At the right end of the threads' row, inside the box's border and its space.
  int BoxLeft, BoxTop, BoxWidth, BoxHeight;
  Box->GetBounds(BoxLeft, BoxTop, BoxWidth, BoxHeight);
  // FAR shows the hotkey's '&' as an underline, not a column.
  const int ButtonWidth = ForgetPairsButton->GetDisplayWidth() -
                          (ForgetPairsButton->GetText().find(L'&') != std::wstring::npos ? 1 : 0);
  ForgetPairsButton->SetBounds(BoxLeft + BoxWidth - 2 - ButtonWidth, WorkersLabel->GetTop(), ButtonWidth, 1);
}

bool TOptionsDialog::Execute() {
  if (Options == nullptr)
    throw EFarDialogError(L"The options dialog has no options to edit");
  CommandEdit->SetText(Options->CompareCommand);
  ArgumentsEdit->SetText(Options->CompareCommandArguments);
  NTFileNamesCheckbox->SetChecked(Options->CompareCommandAcceptsNTFileNames);
  ShowDescriptionCheckbox->SetChecked(Options->ShowDescriptionIsSyncFile);
  SilentModeCheckbox->SetChecked(Options->SilentModeByDefault);
  GlobalRememberCheckbox->SetChecked(Options->GlobalRemember);
  RecycleBinCheckbox->SetChecked(Options->DeleteToRecycleBin);
  VerifyCopiesCheckbox->SetChecked(Options->VerifyCopies);
  MassDeletionCheckbox->SetChecked(Options->ConfirmMassDeletion);
  FreeSpaceCheckbox->SetChecked(Options->CheckFreeSpace);
  WorkersEdit->SetText(std::to_wstring(Options->CompareWorkers));
  ColourCheckbox->SetChecked(Options->ColourDocument);
  RunSummaryCheckbox->SetChecked(Options->ShowRunSummary);

  if (!ExecuteOk())
    return false;

  // The values are read from FAR before anything else runs: they are lost with the host dialog.
  std::wstring Command = CommandEdit->GetText();
  std::wstring Arguments = ArgumentsEdit->GetText();
  bool NTFileNames = NTFileNamesCheckbox->GetChecked();
  bool ShowDescription = ShowDescriptionCheckbox->GetChecked();
  bool SilentMode = SilentModeCheckbox->GetChecked();
  bool GlobalRemember = GlobalRememberCheckbox->GetChecked();
  bool RecycleBin = RecycleBinCheckbox->GetChecked();
  bool VerifyCopies = VerifyCopiesCheckbox->GetChecked();
  bool MassDeletion = MassDeletionCheckbox->GetChecked();
  bool FreeSpace = FreeSpaceCheckbox->GetChecked();
  std::wstring Workers = WorkersEdit->GetText();
  bool Colour = ColourCheckbox->GetChecked();
  bool RunSummary = RunSummaryCheckbox->GetChecked();

  Options->Load();
  Options->CompareCommand = Command;
  Options->CompareCommandArguments = Arguments;
  Options->CompareCommandAcceptsNTFileNames = NTFileNames;
  Options->ShowDescriptionIsSyncFile = ShowDescription;
  Options->SilentModeByDefault = SilentMode;
  Options->GlobalRemember = GlobalRemember;
  Options->DeleteToRecycleBin = RecycleBin;
  Options->VerifyCopies = VerifyCopies;
  Options->ConfirmMassDeletion = MassDeletion;
  Options->CheckFreeSpace = FreeSpace;
  Options->CompareWorkers = ParseWorkers(Workers, Options->CompareWorkers);
  Options->ColourDocument = Colour;
  Options->ShowRunSummary = RunSummary;
  Options->Save();
  return true;
}
