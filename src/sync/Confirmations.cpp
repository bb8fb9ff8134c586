#include "Confirmations.h"

#include "Files.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"

#include <cmath>
#include <cstdio>

namespace {

// {3C1D7E92-4A6B-4F08-9E25-81B7D04C6A13}
const GUID OverwriteDialogGuid = {
    0x3C1D7E92, 0x4A6B, 0x4F08, {0x9E, 0x25, 0x81, 0xB7, 0xD0, 0x4C, 0x6A, 0x13}};
// {7E40B2A5-1C93-4D6E-A8F1-52C9E0B37D24}
const GUID DeleteDialogGuid = {0x7E40B2A5, 0x1C93, 0x4D6E, {0xA8, 0xF1, 0x52, 0xC9, 0xE0, 0xB3, 0x7D, 0x24}};
// {A95C3F18-6D27-4B01-B3E6-0F84A2C59E35}
const GUID RetryDialogGuid = {0xA95C3F18, 0x6D27, 0x4B01, {0xB3, 0xE6, 0x0F, 0x84, 0xA2, 0xC5, 0x9E, 0x35}};
// {D2B86A04-9F5C-4E73-8C1A-6B3E7F20D846}
const GUID Retry2DialogGuid = {0xD2B86A04, 0x9F5C, 0x4E73, {0x8C, 0x1A, 0x6B, 0x3E, 0x7F, 0x20, 0xD8, 0x46}};
// {58F1C9B7-2E40-4A9D-96B5-C7D3A18E4F57}
const GUID DifferentFilesDialogGuid = {
    0x58F1C9B7, 0x2E40, 0x4A9D, {0x96, 0xB5, 0xC7, 0xD3, 0xA1, 0x8E, 0x4F, 0x57}};

std::wstring WithoutTrailingBackslash(const std::wstring &Path) {
  if (!Path.empty() && Path.back() == L'\\')
    return Path.substr(0, Path.size() - 1);
  return Path;
}

std::wstring LocaleText(LCTYPE Type, const wchar_t *Fallback) {
  wchar_t Buffer[16];
  int Length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, Type, Buffer, 16);
  if (Length <= 1)
    return Fallback;
  return std::wstring(Buffer, Length - 1);
}

std::wstring TwoDigits(int Value) {
  wchar_t Buffer[8];
  std::swprintf(Buffer, 8, L"%02d", Value);
  return Buffer;
}

// The civil date of a day number counted from 1970-01-01.
void CivilFromDays(int64_t Days, int &Year, int &Month, int &Day) {
  Days += 719468;
  const int64_t Era = (Days >= 0 ? Days : Days - 146096) / 146097;
  const int64_t DayOfEra = Days - Era * 146097;
  const int64_t YearOfEra = (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
  const int64_t DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  const int64_t MonthIndex = (5 * DayOfYear + 2) / 153;
  Day = static_cast<int>(DayOfYear - (153 * MonthIndex + 2) / 5 + 1);
  Month = static_cast<int>(MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9);
  Year = static_cast<int>(YearOfEra + Era * 400 + (Month <= 2 ? 1 : 0));
}

} // namespace

// ---- Number and date texts ----

std::wstring FormatGroupedNumber(int64_t Value) {
  const std::wstring Separator = LocaleText(LOCALE_STHOUSAND, L",");
  const bool Negative = Value < 0;
  uint64_t Magnitude = Negative ? 0 - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
  std::wstring Digits = std::to_wstring(Magnitude);
  std::wstring Result;
  for (size_t I = 0; I < Digits.size(); ++I) {
    if (I > 0 && (Digits.size() - I) % 3 == 0)
      Result += Separator;
    Result += Digits[I];
  }
  return Negative ? L"-" + Result : Result;
}

std::wstring FormatFileSizeText(int64_t Size, const std::wstring &Unknown) {
  if (Size < 0)
    return Unknown;
  if (Size >= 1000000000000LL)
    return FormatGroupedNumber(Size / 1048576) + L" MiB";
  return FormatGroupedNumber(Size);
}

std::wstring FormatDayCountText(double Days) {
  double Whole = std::floor(Days);
  int64_t Milliseconds = std::llround((Days - Whole) * 86400000.0);
  int64_t DayNumber = static_cast<int64_t>(Whole);
  if (Milliseconds >= 86400000) {
    Milliseconds -= 86400000;
    ++DayNumber;
  }
  // Day 0 is 30 December 1899, which is 25569 days before 1 January 1970.
  int Year, Month, Day;
  CivilFromDays(DayNumber - 25569, Year, Month, Day);
  const int64_t Seconds = Milliseconds / 1000;
  const std::wstring TimeSeparator = LocaleText(LOCALE_STIME, L":");
  wchar_t YearText[16];
  std::swprintf(YearText, 16, L"%04d", Year);
  return TwoDigits(Day) + L"." + TwoDigits(Month) + L"." + YearText + L" " +
         TwoDigits(static_cast<int>(Seconds / 3600)) + TimeSeparator +
         TwoDigits(static_cast<int>(Seconds / 60 % 60)) + TimeSeparator +
         TwoDigits(static_cast<int>(Seconds % 60));
}

// ---- TConfirmationDialog ----

TConfirmationDialog::TConfirmationDialog(const GUID &Id) : TButtonsDialog(Id) {
  SetHelpTopic(VelmoraHelp::Questions);
}

void TConfirmationDialog::AfterConstruction() {
  TButtonsDialog::AfterConstruction();
  // Every confirmation uses FAR's warning colours.
  SetFlags(FDLG_WARNING);
}

std::wstring TConfirmationDialog::GetDirectory() const {
  return FGlobal ? std::wstring() : FDirectory;
}

void TConfirmationDialog::SetDirectory(const std::wstring &Value) {
  FDirectory = WithoutTrailingBackslash(Value);
}

void TConfirmationDialog::SetGlobal(bool Value) {
  if (Value == FGlobal)
    return;
  FGlobal = Value;
  int Left, Top, Width, Height;
  GetBounds(Left, Top, Width, Height);
  SetHeight(Value ? Height - 1 : Height + 1);
}

std::wstring TConfirmationDialog::GetMessage() const {
  return MessageLabel->GetText();
}

void TConfirmationDialog::SetMessage(const std::wstring &Value) {
  MessageLabel->SetText(Value);
}

void TConfirmationDialog::CreateClientControls() {
  MessageLabel = AddLabel(0, 0, 0, std::wstring(), taCentre);
  RememberSeparator = AddSeparator(0);
  RememberCheckbox = AddCheckbox(0, 0, GetMsg(MRememberForDirectory), false);
  RememberCheckbox->OnClick = [this](TCheckbox *, int NewState, bool &) { RememberClicked(NewState); };
  RememberCheckbox->OnKey = [this](TControl *, WORD Key, DWORD State, bool &Handled) {
    RememberKey(Key, State, Handled);
  };
  DirectoryEdit = AddEdit(0, 0, 0, std::wstring());
}

void TConfirmationDialog::CreateButtons() {
  CompareButton = AddButton(0, 0, GetMsg(MCompare));
  CompareButton->SetNoClose(true);
  CompareButton->OnClick = [this](TButton *, bool &Handled) {
    // The question stays open while the user looks at the two files.
    Handled = true;
    if (OnCompare)
      OnCompare(this);
    RememberCheckbox->SetFocused(true);
  };
  CancelButton = AddButton(0, 0, GetMsg(MCancel));
}

void TConfirmationDialog::ClearControls() {
  TButtonsDialog::ClearControls();
  MessageLabel = nullptr;
  RememberSeparator = nullptr;
  RememberCheckbox = nullptr;
  DirectoryEdit = nullptr;
  CompareButton = nullptr;
  CancelButton = nullptr;
}

void TConfirmationDialog::AdjustSize(int &Width, int &Height) {
  TButtonsDialog::AdjustSize(Width, Height);
  Height = FGlobal ? 10 : 11;
}

void TConfirmationDialog::SetSize(int Width, int Height) {
  TButtonsDialog::SetSize(Width, Height);
  const int ButtonRow = ButtonSeparator->GetTop() + 1;
  MessageLabel->PlaceInBox(Box);
  CompareButton->SetTop(ButtonRow);
  CancelButton->SetTop(ButtonRow);
  RememberCheckbox->PlaceBelow(MessageLabel);
  RememberCheckbox->SetTop(ButtonSeparator->GetTop() - (FGlobal ? 1 : 2));
  if (FGlobal) {
    DirectoryEdit->SetVisible(false);
  } else {
    DirectoryEdit->SetVisible(true);
    DirectoryEdit->PlaceBelow(RememberCheckbox, 4);
  }
  DirectoryEdit->SetEnabled(RememberCheckbox->GetChecked() && DirectoryEdit->GetVisible());
  RememberSeparator->SetTop(RememberCheckbox->GetTop() - 1);
}

bool TConfirmationDialog::ExecuteConfirmation(TButton *&Button) {
  FRemember = false;
  RememberCheckbox->SetChecked(false);
  RememberCheckbox->SetText(GetMsg(FGlobal ? MRememberGlobal : MRememberForDirectory));
  DirectoryEdit->SetVisible(!FGlobal);
  DirectoryEdit->SetEnabled(RememberCheckbox->GetChecked() && DirectoryEdit->GetVisible());
  DirectoryEdit->SetText(RemoveLongPathPrefix(GetDirectory()));
  DirectoryEdit->SetUnchanged(false);
  CompareButton->SetVisible(static_cast<bool>(OnCompare));
  CompareButton->SetEnabled(CompareButton->GetVisible());
  if (!Execute(Button))
    return false;
  FRemember = RememberCheckbox->GetChecked();
  FDirectory = FGlobal ? std::wstring() : KeyOfShownDirectory(DirectoryEdit->GetText());
  return true;
}

std::wstring TConfirmationDialog::KeyOfShownDirectory(const std::wstring &Shown) const {
  // The user sees and edits the display form while the run's paths, and so the keys of its
  // answers, are in the long form.
  std::wstring Directory = WithoutTrailingBackslash(Shown);
  if (!Directory.empty() && RemoveLongPathPrefix(FDirectory) != FDirectory)
    return WithoutTrailingBackslash(LongPathName(Directory));
  return Directory;
}

void TConfirmationDialog::RememberClicked(int NewState) {
  DirectoryEdit->SetEnabled(NewState == 1 && DirectoryEdit->GetVisible());
  DirectoryEdit->SetUnchanged(false);
}

void TConfirmationDialog::RememberKey(WORD VirtualKeyCode, DWORD ControlKeyState, bool &Handled) {
  // Alt, Ctrl and Shift combinations are FAR's.
  if (ControlKeyState & 0x1F)
    return;
  switch (VirtualKeyCode) {
  case VK_BACK:
    DirectoryEdit->SetText(ExtractParentPath(DirectoryEdit->GetText()));
    break;
  case VK_DELETE:
    DirectoryEdit->SetText(std::wstring());
    break;
  case VK_F5:
    DirectoryEdit->SetText(RemoveLongPathPrefix(GetDirectory()));
    break;
  default:
    return;
  }
  DirectoryEdit->SetUnchanged(false);
  Handled = true;
}

std::wstring TConfirmationDialog::FitPath(const std::wstring &Path, const TLabel *Label) {
  return FitToWidth(RemoveLongPathPrefix(Path), Label->GetWidth());
}

std::wstring TConfirmationDialog::FormatFileLine(int MessageId, const std::wstring &Path, int Width) {
  std::wstring SizeText;
  DWORD Attributes = ::GetFileAttributesW(Path.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY))
    SizeText = GetMsg(MDirectorySize);
  else
    SizeText = FormatFileSizeText(GetFileSizeByName(Path), L"?");
  double Created = 0, Written = 0, Accessed = 0;
  std::wstring DateText = L"?";
  if (GetFileTimesByName(Path, Created, Written, Accessed, true) && Written != 0)
    DateText = FormatDayCountText(Written);

  const int CaptionWidth = Width - 40 > 0 ? Width - 40 : 0;
  std::wstring Caption = GetMsg(MessageId).substr(0, CaptionWidth);
  Caption.resize(CaptionWidth, L' ');
  auto RightAligned = [](std::wstring Text, size_t Columns) {
    if (Text.size() > Columns)
      Text.resize(Columns);
    return std::wstring(Columns - Text.size(), L' ') + Text;
  };
  return Caption + L"   " + RightAligned(SizeText, 15) + L" " + RightAligned(DateText, 21);
}

// ---- TTwoButtonConfirmationDialog ----

void TTwoButtonConfirmationDialog::CreateClientControls() {
  HeaderLabel = AddLabel(0, 0, 0, std::wstring(), taLeft);
  HeaderLabel->SetShowAmpersand(true);
  if (LabelCount() > 0) {
    LabelSeparator = AddSeparator(0);
    for (int I = 0; I < LabelCount(); ++I) {
      TLabel *Row = AddLabel(0, 0, 0, std::wstring(), taLeft);
      Row->SetShowAmpersand(true);
      Labels.push_back(Row);
    }
  }
  TConfirmationDialog::CreateClientControls();
  MessageLabel->MoveBefore(HeaderLabel);
}

void TTwoButtonConfirmationDialog::CreateButtons() {
  YesButton = AddButton(0, 0, GetMsg(MYes));
  YesButton->SetDefault(true);
  NoButton = AddButton(0, 0, GetMsg(MNo));
  TConfirmationDialog::CreateButtons();
}

void TTwoButtonConfirmationDialog::ClearControls() {
  TConfirmationDialog::ClearControls();
  YesButton = nullptr;
  NoButton = nullptr;
  HeaderLabel = nullptr;
  LabelSeparator = nullptr;
  Labels.clear();
}

void TTwoButtonConfirmationDialog::AdjustSize(int &Width, int &Height) {
  TConfirmationDialog::AdjustSize(Width, Height);
  if (LabelCount() > 0)
    Height += LabelCount() + 1;
  if (HeaderLabel && !HeaderLabel->GetVisible())
    --Height;
  if (LabelSeparator && !LabelSeparator->GetVisible())
    --Height;
}

void TTwoButtonConfirmationDialog::SetSize(int Width, int Height) {
  TConfirmationDialog::SetSize(Width, Height);
  HeaderLabel->PlaceBelow(MessageLabel);
  if (LabelCount() > 0) {
    LabelSeparator->PlaceBelow(HeaderLabel);
    // Rows start under the separator, or take the place of a hidden header and separator.
    const int Shift = -1 + (HeaderLabel->GetVisible() ? 1 : 0) + (LabelSeparator->GetVisible() ? 1 : 0);
    for (int I = 0; I < static_cast<int>(Labels.size()); ++I)
      Labels[I]->PlaceBelow(HeaderLabel, 0, I + Shift);
  }
  YesButton->SetTop(CancelButton->GetTop());
  NoButton->SetTop(CancelButton->GetTop());
  UpdateLabels();
}

TFarDialog::TLabel *TTwoButtonConfirmationDialog::GetLabelInfo(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(Labels.size()))
    throw EListError(L"List index out of bounds");
  return Labels[Index];
}

TConfirmationAnswer TTwoButtonConfirmationDialog::Ask() {
  UpdateLabels();
  TButton *Button = nullptr;
  if (!ExecuteConfirmation(Button))
    return caCancel;
  if (Button == YesButton)
    return GetRemember() ? caFirstRemember : caFirst;
  if (Button == NoButton)
    return GetRemember() ? caSecondRemember : caSecond;
  return caCancel;
}

// ---- The concrete questions ----

TOverwriteConfirmationDialog::TOverwriteConfirmationDialog()
    : TTwoButtonConfirmationDialog(OverwriteDialogGuid) {
  EnsureConstructed();
}

void TOverwriteConfirmationDialog::CreateButtons() {
  TTwoButtonConfirmationDialog::CreateButtons();
  YesButton->SetText(GetMsg(MOverwrite));
  NoButton->SetText(GetMsg(MSkip));
}

void TOverwriteConfirmationDialog::UpdateLabels() {
  int Message = ReadOnly ? (ToLeft ? MReadOnlyFileLeft : MReadOnlyFileRight)
                         : (ToLeft ? MOverwriteLeft : MOverwriteRight);
  SetMessage(GetMsg(Message));
  HeaderLabel->SetText(FitPath(TargetFileName, HeaderLabel));
  Labels[0]->SetText(FormatFileLine(MOverwriteSourceRow, SourceFileName, Labels[0]->GetWidth()));
  Labels[1]->SetText(FormatFileLine(MOverwriteTargetRow, TargetFileName, Labels[1]->GetWidth()));
}

TDeleteConfirmationDialog::TDeleteConfirmationDialog() : TTwoButtonConfirmationDialog(DeleteDialogGuid) {
  EnsureConstructed();
}

void TDeleteConfirmationDialog::CreateButtons() {
  TTwoButtonConfirmationDialog::CreateButtons();
  YesButton->SetText(GetMsg(MDelete));
  NoButton->SetText(GetMsg(MSkip));
}

void TDeleteConfirmationDialog::UpdateLabels() {
  int Message;
  if (Permanent && TooLong)
    Message = OnLeft ? MDeleteTooLongLeft : MDeleteTooLongRight;
  else if (Permanent)
    Message = OnLeft ? MDeletePermanentlyLeft : MDeletePermanentlyRight;
  else if (ReadOnly)
    Message = OnLeft ? (IsDirectory ? MDeleteReadOnlyDirectoryLeft : MReadOnlyFileLeft)
                     : (IsDirectory ? MDeleteReadOnlyDirectoryRight : MReadOnlyFileRight);
  else
    Message = OnLeft ? (IsDirectory ? MDeleteDirectoryLeft : MDeleteFileLeft)
                     : (IsDirectory ? MDeleteDirectoryRight : MDeleteFileRight);
  SetMessage(GetMsg(Message));
  HeaderLabel->SetText(FitPath(FileName, HeaderLabel));
  Labels[0]->SetText(
      FormatFileLine(IsDirectory ? MDeleteDirectoryRow : MDeleteFileRow, FileName, Labels[0]->GetWidth()));
}

TRetrySkipCancelDialog::TRetrySkipCancelDialog() : TTwoButtonConfirmationDialog(RetryDialogGuid) {}

TRetrySkipCancelDialog::TRetrySkipCancelDialog(const GUID &Id) : TTwoButtonConfirmationDialog(Id) {}

void TRetrySkipCancelDialog::CreateClientControls() {
  TTwoButtonConfirmationDialog::CreateClientControls();
  // The failure's message is the question; the file rows follow it directly.
  HeaderLabel->SetVisible(false);
  LabelSeparator->SetVisible(false);
}

void TRetrySkipCancelDialog::CreateButtons() {
  TTwoButtonConfirmationDialog::CreateButtons();
  YesButton->SetText(GetMsg(MRetry));
  NoButton->SetText(GetMsg(MSkip));
}

void TRetrySkipCancelDialog::UpdateLabels() {
  MessageLabel->SetAlignment(taLeft);
  SetMessage(GetMsg(MessageId));
  Labels[0]->SetText(FitPath(FileName, Labels[0]));
}

TRetrySkipCancelDialog2::TRetrySkipCancelDialog2() : TRetrySkipCancelDialog(Retry2DialogGuid) {
  EnsureConstructed();
}

void TRetrySkipCancelDialog2::UpdateLabels() {
  TRetrySkipCancelDialog::UpdateLabels();
  Labels[1]->SetText(GetMsg(SecondMessageId));
  Labels[2]->SetText(FitPath(SecondFileName, Labels[2]));
}

// ---- TWhatToDoWithDifferentFilesDialog ----

TWhatToDoWithDifferentFilesDialog::TWhatToDoWithDifferentFilesDialog()
    : TConfirmationDialog(DifferentFilesDialogGuid) {
  EnsureConstructed();
}

void TWhatToDoWithDifferentFilesDialog::CreateClientControls() {
  HeaderLabel = AddLabel(0, 0, 0, std::wstring(), taLeft);
  HeaderLabel->SetShowAmpersand(true);
  LabelSeparator = AddSeparator(0);
  for (int I = 0; I < LabelCount; ++I) {
    TLabel *Row = AddLabel(0, 0, 0, std::wstring(), taLeft);
    Row->SetShowAmpersand(true);
    Labels.push_back(Row);
  }
  TConfirmationDialog::CreateClientControls();
  MessageLabel->MoveBefore(HeaderLabel);
}

void TWhatToDoWithDifferentFilesDialog::CreateButtons() {
  FirstButton = AddButton(0, 0, GetMsg(MCopyToLeftAction));
  SecondButton = AddButton(0, 0, GetMsg(MCopyToRightAction));
  SkipButton = AddButton(0, 0, GetMsg(MSkip));
  // Leaving both files as they are is the safe answer to Enter.
  SkipButton->SetDefault(true);
  TConfirmationDialog::CreateButtons();
}

void TWhatToDoWithDifferentFilesDialog::ClearControls() {
  TConfirmationDialog::ClearControls();
  FirstButton = nullptr;
  SecondButton = nullptr;
  SkipButton = nullptr;
  HeaderLabel = nullptr;
  LabelSeparator = nullptr;
  Labels.clear();
}

void TWhatToDoWithDifferentFilesDialog::AdjustSize(int &Width, int &Height) {
  TConfirmationDialog::AdjustSize(Width, Height);
  Height += LabelCount + 1;
}

void TWhatToDoWithDifferentFilesDialog::SetSize(int Width, int Height) {
  TConfirmationDialog::SetSize(Width, Height);
  HeaderLabel->PlaceBelow(MessageLabel);
  LabelSeparator->PlaceBelow(HeaderLabel);
  for (int I = 0; I < static_cast<int>(Labels.size()); ++I)
    Labels[I]->PlaceBelow(HeaderLabel, 0, I + 1);
  FirstButton->SetTop(CancelButton->GetTop());
  SecondButton->SetTop(CancelButton->GetTop());
  SkipButton->SetTop(CancelButton->GetTop());
  UpdateLabels();
}

TFarDialog::TLabel *TWhatToDoWithDifferentFilesDialog::GetLabelInfo(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(Labels.size()))
    throw EListError(L"List index out of bounds");
  return Labels[Index];
}

void TWhatToDoWithDifferentFilesDialog::UpdateLabels() {
  SetMessage(GetMsg(MDifferentFilesQuestion));
  HeaderLabel->SetText(FitPath(FileName, HeaderLabel));
  Labels[0]->SetText(FormatFileLine(MDifferentFilesLeftRow, LeftPath, Labels[0]->GetWidth()));
  Labels[1]->SetText(FormatFileLine(MDifferentFilesRightRow, RightPath, Labels[1]->GetWidth()));
}

TDifferentFilesAnswer TWhatToDoWithDifferentFilesDialog::Ask() {
  UpdateLabels();
  TButton *Button = nullptr;
  if (!ExecuteConfirmation(Button))
    return waCancel;
  if (Button == FirstButton)
    return GetRemember() ? waFirstRemember : waFirst;
  if (Button == SecondButton)
    return GetRemember() ? waSecondRemember : waSecond;
  if (Button == SkipButton)
    return GetRemember() ? waSkipRemember : waSkip;
  return waCancel;
}
