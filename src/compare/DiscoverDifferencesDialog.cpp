#include "DiscoverDifferencesDialog.h"

#include "FarMasks.h"
#include "FarPanel.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"

#include <algorithm>
#include <cwchar>
#include <limits>

namespace {

// {8D1F5B27-C43E-4A96-B07D-2E91A6C5F830}
constexpr GUID DiscoverDifferencesDialogGuid = {
    0x8d1f5b27, 0xc43e, 0x4a96, {0xb0, 0x7d, 0x2e, 0x91, 0xa6, 0xc5, 0xf8, 0x30}};

const wchar_t MaxScanDepthMask[] = L"99999";
// The masks fields share their history with no other dialog.
const wchar_t IncludeMasksHistory[] = L"Velmora3.IncludeMasks";
const wchar_t ExcludeMasksHistory[] = L"Velmora3.ExcludeMasks";

// The depth field's text as a number: digits only, as its mask allows (surrounding blanks are
// ignored). False for anything else, a sign included, and for numbers beyond 32 bits.
bool ParseDepth(const std::wstring &Text, int32_t &Value) {
  size_t Start = Text.find_first_not_of(L' ');
  if (Start == std::wstring::npos)
    return false;
  size_t End = Text.find_last_not_of(L' ');
  long long Result = 0;
  for (size_t I = Start; I <= End; ++I) {
    if (Text[I] < L'0' || Text[I] > L'9')
      return false;
    Result = Result * 10 + (Text[I] - L'0');
    if (Result > std::numeric_limits<int32_t>::max())
      return false;
  }
  Value = static_cast<int32_t>(Result);
  return true;
}

} // namespace

TDiscoverDifferencesDialog::TDiscoverDifferencesDialog() : TOkCancelDialog(DiscoverDifferencesDialogGuid) {
  SetHelpTopic(VelmoraHelp::CompareDialog);
  EnsureConstructed();
}

void TDiscoverDifferencesDialog::CreateClientControls() {
  auto Refresh = [this](TCheckbox *Sender, int NewState, bool &) { RefreshEnabling(Sender, NewState); };

  ScanLabel = AddLabel(0, 0, 0, GetMsg(MDiscoverScanGroup), taLeft);
  ProcessSubfoldersCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverProcessSubfolders), false);
  ProcessSubfoldersCheckbox->OnClick = Refresh;
  UseMaxScanDepthCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverUseMaxScanDepth), false);
  UseMaxScanDepthCheckbox->OnClick = Refresh;
  MaxScanDepthEdit = AddEdit(0, 0, 0, L"99");
  MaxScanDepthEdit->SetMask(MaxScanDepthMask);
  MaxScanDepthEdit->SetMaxLength(std::wcslen(MaxScanDepthMask));
  MaxScanDepthEdit->SetWidth(static_cast<int>(MaxScanDepthEdit->GetMaxLength()) + 1);
  ProcessSelectedCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverProcessSelected), false);
  IncludeMasksLabel = AddLabel(0, 0, 0, GetMsg(MDiscoverIncludeMasks), taLeft);
  IncludeMasksEdit = AddEdit(0, 0, 0, std::wstring());
  IncludeMasksEdit->SetHistory(IncludeMasksHistory);
  ExcludeMasksLabel = AddLabel(0, 0, 0, GetMsg(MDiscoverExcludeMasks), taLeft);
  ExcludeMasksEdit = AddEdit(0, 0, 0, std::wstring());
  ExcludeMasksEdit->SetHistory(ExcludeMasksHistory);
  ScanSeparator = AddSeparator(0);
  CompareLabel = AddLabel(0, 0, 0, GetMsg(MDiscoverCompareGroup), taLeft);
  CompareFileNameCaseCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverCompareFileNameCase), false);
  CompareTimeCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverCompareTime), false);
  CompareTimeCheckbox->OnClick = Refresh;
  LowPrecisionTimeCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverLowPrecisionTime), false);
  IgnoreTimeZoneCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverIgnoreTimeZone), false);
  CompareSizeCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverCompareSize), false);
  CompareContentsCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverCompareContents), false);
  CompareContentsCheckbox->OnClick = Refresh;
  CompareContentsIgnoreCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverCompareContentsIgnore), false);
  CompareContentsIgnoreCheckbox->OnClick = Refresh;
  IgnoreNewLinesRadio = AddRadioButton(0, 0, GetMsg(MDiscoverIgnoreNewLines), false);
  IgnoreWhitespaceRadio = AddRadioButton(0, 0, GetMsg(MDiscoverIgnoreWhitespace), false);
  SelectSeparator = AddSeparator(0);
  SelectBothCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverSelectOnBothPanels), false);
  RememberPairCheckbox = AddCheckbox(0, 0, GetMsg(MDiscoverRememberPair), false);
}

void TDiscoverDifferencesDialog::ClearControls() {
  TOkCancelDialog::ClearControls();
  ScanLabel = nullptr;
  ProcessSubfoldersCheckbox = nullptr;
  UseMaxScanDepthCheckbox = nullptr;
  MaxScanDepthEdit = nullptr;
  ProcessSelectedCheckbox = nullptr;
  IncludeMasksLabel = nullptr;
  IncludeMasksEdit = nullptr;
  ExcludeMasksLabel = nullptr;
  ExcludeMasksEdit = nullptr;
  ScanSeparator = nullptr;
  CompareLabel = nullptr;
  CompareFileNameCaseCheckbox = nullptr;
  CompareTimeCheckbox = nullptr;
  LowPrecisionTimeCheckbox = nullptr;
  IgnoreTimeZoneCheckbox = nullptr;
  CompareSizeCheckbox = nullptr;
  CompareContentsCheckbox = nullptr;
  CompareContentsIgnoreCheckbox = nullptr;
  IgnoreNewLinesRadio = nullptr;
  IgnoreWhitespaceRadio = nullptr;
  SelectSeparator = nullptr;
  SelectBothCheckbox = nullptr;
  RememberPairCheckbox = nullptr;
}

void TDiscoverDifferencesDialog::AdjustSize(int &Width, int &Height) {
  TOkCancelDialog::AdjustSize(Width, Height);
  Width = 66;
  Height = 25;
}

void TDiscoverDifferencesDialog::SetSize(int Width, int Height) {
  TOkCancelDialog::SetSize(Width, Height);
  if (ScanLabel == nullptr)
    return;
  ScanLabel->PlaceInBox(Box);
  ProcessSubfoldersCheckbox->PlaceBelow(ScanLabel);
  UseMaxScanDepthCheckbox->PlaceBelow(ProcessSubfoldersCheckbox, 4);
  MaxScanDepthEdit->PlaceRightOf(UseMaxScanDepthCheckbox, 2, 0);
  MaxScanDepthEdit->SetWidth(static_cast<int>(MaxScanDepthEdit->GetMaxLength()) + 1);
  ProcessSelectedCheckbox->PlaceBelow(ProcessSubfoldersCheckbox, 0, 1);
  // Both fields start in one column, after the longer of the two labels.
  IncludeMasksLabel->PlaceBelow(ProcessSelectedCheckbox);
  ExcludeMasksLabel->PlaceBelow(IncludeMasksLabel);
  // The hotkey marker takes no column.
  auto TextWidth = [](const TLabel *Label) {
    const std::wstring Text = Label->GetText();
    return static_cast<int>(Text.size() - std::count(Text.begin(), Text.end(), L'&'));
  };
  const int LabelWidth = std::max(TextWidth(IncludeMasksLabel), TextWidth(ExcludeMasksLabel));
  const int FieldLeft = IncludeMasksLabel->GetLeft() + LabelWidth + 1;
  const int FieldWidth = ScanLabel->GetLeft() + ScanLabel->GetWidth() - FieldLeft;
  for (auto [Edit, Label] :
       {std::pair{IncludeMasksEdit, IncludeMasksLabel}, std::pair{ExcludeMasksEdit, ExcludeMasksLabel}}) {
    Label->SetWidth(LabelWidth);
    Edit->SetTop(Label->GetTop());
    Edit->SetLeft(FieldLeft);
    Edit->SetWidth(FieldWidth);
  }
  ScanSeparator->PlaceBelow(ExcludeMasksLabel);
  CompareLabel->PlaceBelow(ExcludeMasksLabel, 0, 1);
  CompareFileNameCaseCheckbox->PlaceBelow(CompareLabel);
  CompareTimeCheckbox->PlaceBelow(CompareFileNameCaseCheckbox);
  LowPrecisionTimeCheckbox->PlaceBelow(CompareTimeCheckbox, 4);
  IgnoreTimeZoneCheckbox->PlaceBelow(LowPrecisionTimeCheckbox);
  CompareSizeCheckbox->PlaceBelow(CompareTimeCheckbox, 0, 2);
  CompareContentsCheckbox->PlaceBelow(CompareSizeCheckbox);
  CompareContentsIgnoreCheckbox->PlaceBelow(CompareContentsCheckbox, 4);
  IgnoreNewLinesRadio->PlaceBelow(CompareContentsIgnoreCheckbox, 4);
  IgnoreWhitespaceRadio->PlaceBelow(IgnoreNewLinesRadio);
  SelectSeparator->PlaceBelow(CompareContentsCheckbox, 0, 3);
  SelectBothCheckbox->PlaceBelow(CompareContentsCheckbox, 0, 4);
  // Beside the short "only selected" box, so that the dialog keeps its size.
  RememberPairCheckbox->PlaceBelow(ProcessSubfoldersCheckbox, 0, 1);
  RememberPairCheckbox->SetLeft(ScanLabel->GetLeft() + 30);
}

bool TDiscoverDifferencesDialog::AnyPluginPanel() const {
  return (LeftPanel != nullptr && LeftPanel->IsPluginPanel()) ||
         (RightPanel != nullptr && RightPanel->IsPluginPanel());
}

bool TDiscoverDifferencesDialog::AnySelected() const {
  return (LeftPanel != nullptr && LeftPanel->AnySelected()) ||
         (RightPanel != nullptr && RightPanel->AnySelected());
}

bool TDiscoverDifferencesDialog::EffectivelyChecked(const TCheckbox *Box, const TControl *ClickedControl,
                                                    int NewState) const {
  if (Box == ClickedControl)
    return NewState == BSTATE_CHECKED;
  return Box->GetChecked();
}

void TDiscoverDifferencesDialog::RefreshEnabling(TControl *ClickedControl, int NewState) {
  auto Parent = [&](const TCheckbox *Box) {
    return Box->GetEnabled() && EffectivelyChecked(Box, ClickedControl, NewState);
  };
  ProcessSubfoldersCheckbox->SetEnabled(!AnyPluginPanel());
  UseMaxScanDepthCheckbox->SetEnabled(Parent(ProcessSubfoldersCheckbox));
  MaxScanDepthEdit->SetEnabled(Parent(UseMaxScanDepthCheckbox));
  ProcessSelectedCheckbox->SetEnabled(AnySelected());
  bool TimeDetails = Parent(CompareTimeCheckbox);
  LowPrecisionTimeCheckbox->SetEnabled(TimeDetails);
  IgnoreTimeZoneCheckbox->SetEnabled(TimeDetails);
  CompareContentsCheckbox->SetEnabled(!AnyPluginPanel());
  CompareContentsIgnoreCheckbox->SetEnabled(Parent(CompareContentsCheckbox));
  bool IgnoreModes = Parent(CompareContentsIgnoreCheckbox);
  IgnoreNewLinesRadio->SetEnabled(IgnoreModes);
  IgnoreWhitespaceRadio->SetEnabled(IgnoreModes);
  // A plug-in's panel has no directories to keep a state of.
  RememberPairCheckbox->SetEnabled(!AnyPluginPanel());
}

void TDiscoverDifferencesDialog::LoadControls() {
  ProcessSubfoldersCheckbox->SetChecked(Options->ProcessSubfolders);
  UseMaxScanDepthCheckbox->SetChecked(Options->UseMaxScanDepth);
  MaxScanDepthEdit->SetText(std::to_wstring(Options->MaxScanDepth));
  ProcessSelectedCheckbox->SetChecked(AnySelected());
  IncludeMasksEdit->SetText(Options->IncludeMasks);
  ExcludeMasksEdit->SetText(Options->ExcludeMasks);
  CompareFileNameCaseCheckbox->SetChecked(Options->CompareFileNameCase);
  CompareTimeCheckbox->SetChecked(Options->CompareTime);
  LowPrecisionTimeCheckbox->SetChecked(Options->LowPrecisionTime);
  IgnoreTimeZoneCheckbox->SetChecked(Options->IgnorePossibleTimeZoneDifferences);
  CompareSizeCheckbox->SetChecked(Options->CompareSize);
  CompareContentsCheckbox->SetChecked(Options->CompareContents);
  CompareContentsIgnoreCheckbox->SetChecked(Options->CompareContentsIgnore);
  IgnoreNewLinesRadio->SetChecked(Options->IgnoreNewLines || !Options->IgnoreWhitespace);
  IgnoreWhitespaceRadio->SetChecked(Options->IgnoreWhitespace && !Options->IgnoreNewLines);
  SelectBothCheckbox->SetChecked(Options->SelectDifferencesOnBothPanels);
  RememberPairCheckbox->SetChecked(Options->RememberPair);
  RefreshEnabling();
}

void TDiscoverDifferencesDialog::StoreControls(TVelmoraOptions &Target, bool Raw) {
  auto Value = [Raw](const TControl *Control) {
    return Control->GetChecked() && (Raw || Control->GetEnabled());
  };
  Target.ProcessSubfolders = Value(ProcessSubfoldersCheckbox);
  Target.UseMaxScanDepth = Value(UseMaxScanDepthCheckbox) && (Raw || Target.ProcessSubfolders);
  int32_t Depth = 0;
  if (ParseDepth(MaxScanDepthEdit->GetText(), Depth))
    Target.MaxScanDepth = Depth;
  Target.ProcessSelected = Value(ProcessSelectedCheckbox);
  Target.IncludeMasks = IncludeMasksEdit->GetText();
  Target.ExcludeMasks = ExcludeMasksEdit->GetText();
  Target.CompareFileNameCase = Value(CompareFileNameCaseCheckbox);
  Target.CompareTime = Value(CompareTimeCheckbox);
  Target.LowPrecisionTime = Value(LowPrecisionTimeCheckbox) && (Raw || Target.CompareTime);
  Target.IgnorePossibleTimeZoneDifferences = Value(IgnoreTimeZoneCheckbox) && (Raw || Target.CompareTime);
  Target.CompareSize = Value(CompareSizeCheckbox);
  Target.CompareContents = Value(CompareContentsCheckbox);
  Target.CompareContentsIgnore = Value(CompareContentsIgnoreCheckbox) && (Raw || Target.CompareContents);
  Target.IgnoreNewLines = Value(IgnoreNewLinesRadio) && (Raw || Target.CompareContentsIgnore);
  Target.IgnoreWhitespace = Value(IgnoreWhitespaceRadio) && (Raw || Target.CompareContentsIgnore);
  Target.SelectDifferencesOnBothPanels = Value(SelectBothCheckbox);
  Target.RememberPair = Value(RememberPairCheckbox);
}

bool TDiscoverDifferencesDialog::CloseQuery(intptr_t ExitCode) {
  if (OkButton == nullptr || ExitCode != OkButton->GetIndex())
    return true;
  for (TEdit *Edit : {IncludeMasksEdit, ExcludeMasksEdit}) {
    const std::wstring Masks = Edit->GetText();
    if (!TFarMasks::IsValid(Masks)) {
      ShowMessage({GetMsg(MTitle), GetMsg(MInvalidMasks), Masks, GetMsg(MOk)}, FMSG_WARNING, 1,
                  VelmoraHelp::CompareDialog);
      SetFocusedControl(Edit);
      return false;
    }
  }
  return true;
}

bool TDiscoverDifferencesDialog::EditOptions() {
  if (Options == nullptr)
    throw EFarDialogError(L"The comparison dialog has no options to edit");
  WorkingOptions.Assign(*Options);
  LoadControls();
  if (!ExecuteOk())
    return false;
  StoreControls(*Options, true);
  StoreControls(WorkingOptions, false);
  return true;
}
