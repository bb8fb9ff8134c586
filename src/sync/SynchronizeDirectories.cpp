#include "SynchronizeDirectories.h"

#include "DocumentColours.h"
#include "FarPanel.h"
#include "Files.h"
#include "Options.h"
#include "Streams.h"
#include "SynchronizeUI.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"

#include <cmath>
#include <cwchar>

namespace {

// {8D3F6A21-C47B-4E15-9B02-6E1A5C7D9F38}
const GUID CommandMenuGuid = {0x8D3F6A21, 0xC47B, 0x4E15, {0x9B, 0x02, 0x6E, 0x1A, 0x5C, 0x7D, 0x9F, 0x38}};

constexpr EDITOR_FLAGS DocumentFlags =
    EF_NONMODAL | EF_DISABLEHISTORY | EF_IMMEDIATERETURN | EF_DELETEONLYFILEONCLOSE | EF_DISABLESAVEPOS;
constexpr EDITOR_FLAGS FileEditorFlags = EF_NONMODAL | EF_IMMEDIATERETURN;
constexpr uintptr_t DocumentCodePage = CP_UTF8;
constexpr DWORD CtrlKeys = LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED;
constexpr DWORD AltKeys = LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED;

std::wstring WithTrailingBackslash(const std::wstring &Path) {
  if (!Path.empty() && Path.back() != L'\\')
    return Path + L'\\';
  return Path;
}

// A panel directory as the document's title names it: the display form, without the trailing
// backslash a document of what was left undone is made with, except where it is a drive's root.
std::wstring TitleDirectory(const std::wstring &Path) {
  std::wstring Shown = RemoveLongPathPrefix(Path);
  if (Shown.size() > 3 && Shown.back() == L'\\')
    Shown.pop_back();
  return Shown;
}

std::wstring NewDocumentFileName() {
  std::wstring Name = TFarModule::MakeTempFileName();
  if (Name.empty())
    throw ESynchronizeTaskError(L"No temporary file name for the differences document");
  return Name;
}

// Digits grouped by threes with the user's thousands separator.
std::wstring GroupDigits(uint64_t Value) {
  wchar_t Separator[8] = L",";
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, Separator, 8) <= 0)
    wcscpy(Separator, L",");
  std::wstring Digits = std::to_wstring(Value);
  std::wstring Result;
  for (size_t i = 0; i < Digits.size(); ++i) {
    if (i > 0 && (Digits.size() - i) % 3 == 0)
      Result += Separator;
    Result += Digits[i];
  }
  return Result;
}

std::wstring SizeText(int64_t Size) {
  if (Size < 0)
    return TFarModule::GetMsg(MFileInfoNotAvailable);
  if (Size >= 1000000000000LL)
    return GroupDigits(static_cast<uint64_t>(Size) / 1048576) + L" MiB";
  return GroupDigits(static_cast<uint64_t>(Size));
}

// A day count as "dd.mm.yyyy hh:nn:ss".
std::wstring TimeText(double Days) {
  if (Days == 0)
    return TFarModule::GetMsg(MFileInfoNotAvailable);
  double Whole = std::floor(Days);
  int64_t Seconds = static_cast<int64_t>(std::floor((Days - Whole) * 86400.0 + 1e-6));
  if (Seconds >= 86400) {
    Seconds -= 86400;
    Whole += 1;
  }
  // Civil date from the days since 1 March 0000; day 0 of the count, 30 December 1899, is day
  // 693899 of that era count.
  const int64_t Z = static_cast<int64_t>(Whole) + 693899;
  const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const int64_t DayOfEra = Z - Era * 146097;
  const int64_t YearOfEra = (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
  const int64_t DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  const int64_t MonthIndex = (5 * DayOfYear + 2) / 153;
  const int64_t Day = DayOfYear - (153 * MonthIndex + 2) / 5 + 1;
  const int64_t Month = MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9;
  const int64_t Year = YearOfEra + Era * 400 + (Month <= 2 ? 1 : 0);
  wchar_t Buffer[64];
  swprintf(Buffer, 64, L"%02d.%02d.%04d %02d:%02d:%02d", static_cast<int>(Day), static_cast<int>(Month),
           static_cast<int>(Year), static_cast<int>(Seconds / 3600), static_cast<int>(Seconds / 60 % 60),
           static_cast<int>(Seconds % 60));
  return Buffer;
}

std::wstring InfoRow(const std::wstring &Label, const std::wstring &Left, const std::wstring &Right) {
  return Format(L"%-20.20s %20.20s %20.20s", {Label, Left, Right});
}

bool ConcernsLeft(TDifferenceType Type) {
  return Type == dtMissingLeft || Type == dtOlderLeft || Type == dtFailedLeft || Type == dtFailedBoth ||
         Type == dtDifferent || Type == dtDeleteLeft;
}

bool ConcernsRight(TDifferenceType Type) {
  return Type == dtMissingRight || Type == dtOlderRight || Type == dtFailedRight || Type == dtFailedBoth ||
         Type == dtDifferent || Type == dtDeleteRight;
}

} // namespace

// ---- Life ----

TSynchronizeTask::TSynchronizeTask(const std::wstring &LeftDir, const std::wstring &RightDir,
                                   const TNameFilter &Filter)
    : TFarEditorManaged(NewDocumentFileName()), FLeftDirectory(WithTrailingBackslash(LeftDir)),
      FRightDirectory(WithTrailingBackslash(RightDir)), FFilter(Filter),
      FSynchronizeUI(std::make_unique<TSynchronizeUI>()) {
  bool ShowDescription;
  {
    TVelmoraOptions Options;
    Options.Load();
    FSynchronizeUI->SetSilentMode(Options.SilentModeByDefault);
    FSynchronizeUI->SetGlobalRemember(Options.GlobalRemember);
    ShowDescription = Options.ShowDescriptionIsSyncFile;
    FColoured = Options.ColourDocument;
  }
  try {
    TTextStream Stream(GetFileName(), fmCreate);
    Stream.SetEncoding(teUtf8);
    Stream.WriteLine(Format(GetMsg(MDocumentTitle), {TitleDirectory(LeftDir), TitleDirectory(RightDir)}));
    if (!FFilter.GetIncludeMasks().empty())
      Stream.WriteLine(Format(GetMsg(MDocumentIncludeMasks), {FFilter.GetIncludeMasks()}));
    if (!FFilter.GetExcludeMasks().empty())
      Stream.WriteLine(Format(GetMsg(MDocumentExcludeMasks), {FFilter.GetExcludeMasks()}));
    if (ShowDescription) {
      Stream.WriteLine(GetMsg(MDocumentDescription1));
      for (int Id = MDocumentDescription2; Id <= MDocumentDescription12; ++Id)
        Stream.WriteLine(GetMsg(Id));
      Stream.WriteLine(GetMsg(MDocumentDescription13));
    }
    Stream.WriteLine(std::wstring());
    Stream.Flush();
  } catch (...) {
    ::DeleteFileW(GetFileName().c_str());
    throw;
  }
}

TSynchronizeTask::~TSynchronizeTask() {
  FProgress.reset();
  FSynchronizeUI.reset();
  if (!GetFileName().empty())
    ::DeleteFileW(GetFileName().c_str());
}

TSynchronizeTask *TSynchronizeTask::FindForEditor(intptr_t EditorId) {
  return dynamic_cast<TSynchronizeTask *>(Find(EditorId));
}

bool TSynchronizeTask::FindForEditor(intptr_t EditorId, TSynchronizeTask *&Task) {
  Task = FindForEditor(EditorId);
  return Task != nullptr;
}

// ---- The editor window ----

bool TSynchronizeTask::ShowDocument(bool PositionOnFirstDifference) {
  if (!Show(GetMsg(MTitle), 0, 0, -1, -1, DocumentFlags, 0, 1, DocumentCodePage))
    return false;
  if (PositionOnFirstDifference) {
    intptr_t First = -1;
    {
      TTextStream Stream(GetFileName(), fmOpenRead | fmShareDenyWrite);
      std::wstring Line;
      TDifferenceItem Item;
      for (intptr_t Number = 0; Stream.ReadLine(Line); ++Number)
        if (Item.ParseLine(Line)) {
          First = Number;
          break;
        }
    }
    if (First > 0)
      GotoLine(First);
  }
  return true;
}

void TSynchronizeTask::EditorShown() {
  TFarEditorManaged::EditorShown();
  SetKeyBar({
      {VK_F1, CtrlKeys, GetMsg(MKeyBarEditLeft), GetMsg(MKeyBarEditLeftLong)},
      {VK_F2, CtrlKeys, GetMsg(MKeyBarEditRight), GetMsg(MKeyBarEditRightLong)},
      {VK_F1, AltKeys, GetMsg(MKeyBarChangeToLeft), GetMsg(MKeyBarChangeToLeftLong)},
      {VK_F2, AltKeys, GetMsg(MKeyBarChangeToRight), GetMsg(MKeyBarChangeToRightLong)},
      {VK_F3, AltKeys, GetMsg(MKeyBarCompare), GetMsg(MKeyBarCompareLong)},
      {VK_F3, CtrlKeys, GetMsg(MKeyBarFileInfo), GetMsg(MKeyBarFileInfoLong)},
      {VK_F5, AltKeys, GetMsg(MKeyBarNextDifferenceLeft), GetMsg(MKeyBarNextDifferenceLeftLong)},
      {VK_F6, AltKeys, GetMsg(MKeyBarNextDifferenceRight), GetMsg(MKeyBarNextDifferenceRightLong)},
      {VK_F5, CtrlKeys, GetMsg(MKeyBarGotoLeft), GetMsg(MKeyBarGotoLeftLong)},
      {VK_F6, CtrlKeys, GetMsg(MKeyBarGotoRight), GetMsg(MKeyBarGotoRightLong)},
      {VK_F9, CtrlKeys, GetMsg(MKeyBarDeleteLeft), GetMsg(MKeyBarDeleteLeftLong)},
      {VK_F10, CtrlKeys, GetMsg(MKeyBarDeleteRight), GetMsg(MKeyBarDeleteRightLong)},
  });
}

void TSynchronizeTask::EditorRedraw() {
  if (FColoured)
    DocumentColours::ColourVisibleLines(*this);
}

void TSynchronizeTask::EditorClosing(bool &FreeObject, intptr_t &Result) {
  TFarEditorManaged::EditorClosing(FreeObject, Result);
  Result = 0;
  bool KeepOpen = true;
  Synchronize(KeepOpen);
  FreeObject = !KeepOpen;
}

bool TSynchronizeTask::ProcessKey(const KEY_EVENT_RECORD &Key) {
  if (!Key.bKeyDown)
    return false;
  const DWORD Modifiers = Key.dwControlKeyState & 0x1F;
  int Command = 0;
  if (Modifiers == LEFT_ALT_PRESSED || Modifiers == RIGHT_ALT_PRESSED) {
    switch (Key.wVirtualKeyCode) {
    case VK_F1:
      Command = scChangeToLeft;
      break;
    case VK_F2:
      Command = scChangeToRight;
      break;
    case VK_F3:
      Command = scCompare;
      break;
    case VK_F5:
      Command = scNextLeft;
      break;
    case VK_F6:
      Command = scNextRight;
      break;
    }
  } else if (Modifiers == LEFT_CTRL_PRESSED || Modifiers == RIGHT_CTRL_PRESSED) {
    switch (Key.wVirtualKeyCode) {
    case VK_F1:
      Command = scEditLeft;
      break;
    case VK_F2:
      Command = scEditRight;
      break;
    case VK_F3:
      Command = scFileInfo;
      break;
    case VK_F5:
      Command = scGotoLeft;
      break;
    case VK_F6:
      Command = scGotoRight;
      break;
    case VK_F9:
      Command = scDeleteLeft;
      break;
    case VK_F10:
      Command = scDeleteRight;
      break;
    }
  }
  if (Command == 0 || !ExecuteCommand(Command))
    return false;
  Redraw();
  return true;
}

// ---- Commands ----

void TSynchronizeTask::ShowCommandMenu() {
  static const int Commands[] = {scChangeToLeft, scChangeToRight, scCompare,    scEditLeft,
                                 scEditRight,    scFileInfo,      scNextLeft,   scNextRight,
                                 scGotoLeft,     scGotoRight,     scDeleteLeft, scDeleteRight};
  int Index = -1;
  if (!ShowMenu(CommandMenuGuid, GetMsg(MTitle), VelmoraHelp::Document,
                {GetMsg(MMenuChangeToLeft), GetMsg(MMenuChangeToRight), GetMsg(MMenuCompare),
                 GetMsg(MMenuEditLeft), GetMsg(MMenuEditRight), GetMsg(MMenuFileInfo),
                 GetMsg(MMenuNextDifferenceLeft), GetMsg(MMenuNextDifferenceRight), GetMsg(MMenuGotoLeft),
                 GetMsg(MMenuGotoRight), GetMsg(MMenuDeleteLeft), GetMsg(MMenuDeleteRight)},
                Index))
    return;
  if (Index >= 0 && Index < static_cast<int>(std::size(Commands)))
    ExecuteCommand(Commands[Index]);
}

bool TSynchronizeTask::ExecuteCommand(int Number) {
  switch (Number) {
  case scChangeToLeft:
    return ChangeDirection(true);
  case scChangeToRight:
    return ChangeDirection(false);
  case scCompare:
    return CompareFiles();
  case scEditLeft:
    return EditFile(true);
  case scEditRight:
    return EditFile(false);
  case scFileInfo:
    return ShowFileInfo();
  case scGotoLeft:
    return GotoFile(true);
  case scGotoRight:
    return GotoFile(false);
  case scNextLeft:
    return NextDifference(true);
  case scNextRight:
    return NextDifference(false);
  case scDeleteLeft:
    return MarkDeletion(true);
  case scDeleteRight:
    return MarkDeletion(false);
  case scNextEither:
    // Every difference line concerns one side or both: the nearest one, whichever side it is.
    return NextDifferenceWhere([](TDifferenceType) { return true; });
  default:
    return false;
  }
}

bool TSynchronizeTask::CurrentItem(TDifferenceItem &Item) const {
  if (!IsShowing())
    return false;
  EditorInfo Info;
  std::wstring Line;
  return GetInfo(Info) && GetString(Info.CurLine, Line) && Item.ParseLine(Line);
}

bool TSynchronizeTask::ChangeDirection(bool ToLeft) {
  EditorInfo Info;
  if (!IsShowing() || !GetInfo(Info))
    return false;
  const bool Block = Info.BlockType != BTYPE_NONE;
  const TDifferenceType NewType = ToLeft ? dtOlderLeft : dtOlderRight;
  auto Convertible = [&](TDifferenceType Type) {
    if (Type == dtDifferent || Type == (ToLeft ? dtOlderRight : dtOlderLeft))
      return true;
    // A deletion turned round keeps the entry: it is copied to the other side.
    if (Type == (ToLeft ? dtDeleteRight : dtDeleteLeft))
      return true;
    return !Block && (Type == dtFailedBoth || Type == (ToLeft ? dtFailedRight : dtFailedLeft));
  };
  auto Convert = [&](intptr_t LineNumber, const std::wstring &Line) {
    TDifferenceItem Item;
    if (!Item.ParseLine(Line) || !Convertible(Item.DiffType))
      return;
    Item.DiffType = NewType;
    Item.Reason = drNone;
    SetString(LineNumber, Item.FormatLine());
  };

  if (!Block) {
    std::wstring Line;
    if (GetString(Info.CurLine, Line))
      Convert(Info.CurLine, Line);
    return true;
  }

  for (intptr_t LineNumber = Info.BlockStartLine; LineNumber < Info.TotalLines; ++LineNumber) {
    std::wstring Line;
    intptr_t SelStart = 0, SelLength = 0;
    if (!GetString(LineNumber, Line, SelStart, SelLength))
      break;
    if (SelStart == 0) {
      // The block is behind us.
      if (LineNumber > Info.BlockStartLine)
        break;
      continue;
    }
    // A line selected from its first column is meant as a whole, even when the block ends inside
    // it: converting only the selected part would cut the path.
    if (SelStart == 1 && SelLength > 0)
      Convert(LineNumber, Line);
  }
  SetPosition(Info.CurLine, -1, -1, Info.TopScreenLine);
  return true;
}

bool TSynchronizeTask::MarkDeletion(bool OnLeft) {
  EditorInfo Info;
  std::wstring Line;
  TDifferenceItem Item;
  if (!IsShowing() || !GetInfo(Info) || !GetString(Info.CurLine, Line) || !Item.ParseLine(Line))
    return false;
  const TDifferenceType Type = Item.DiffType;
  // Only a line whose entry that side has; a failed read is no ground for a deletion.
  if (Type != (OnLeft ? dtMissingRight : dtMissingLeft) && Type != dtOlderLeft && Type != dtOlderRight &&
      Type != dtDifferent)
    return false;
  Item.DiffType = OnLeft ? dtDeleteLeft : dtDeleteRight;
  Item.Reason = drNone;
  SetString(Info.CurLine, Item.FormatLine());
  return true;
}

bool TSynchronizeTask::NextDifference(bool Left) {
  return NextDifferenceWhere(Left ? ConcernsLeft : ConcernsRight);
}

bool TSynchronizeTask::NextDifferenceWhere(bool (*Concerns)(TDifferenceType)) {
  EditorInfo Info;
  if (!IsShowing() || !GetInfo(Info))
    return false;
  for (intptr_t LineNumber = Info.CurLine + 1; LineNumber < Info.TotalLines; ++LineNumber) {
    std::wstring Line;
    TDifferenceItem Item;
    if (!GetString(LineNumber, Line) || !Item.ParseLine(Line))
      continue;
    if (Concerns(Item.DiffType)) {
      GotoLine(LineNumber);
      return true;
    }
  }
  return false;
}

bool TSynchronizeTask::CompareFiles() {
  TDifferenceItem Item;
  if (!CurrentItem(Item))
    return false;
  RunCompareCommand(FLeftDirectory + Item.RelativePath, FRightDirectory + Item.RelativePath);
  return true;
}

bool TSynchronizeTask::EditFile(bool Left) {
  TDifferenceItem Item;
  if (!CurrentItem(Item))
    return false;
  intptr_t Id = -1;
  OpenEditor(Id, (Left ? FLeftDirectory : FRightDirectory) + Item.RelativePath, GetMsg(MTitle), 0, 0, -1, -1,
             FileEditorFlags, 0, 1, static_cast<uintptr_t>(-1));
  return true;
}

bool TSynchronizeTask::ShowFileInfo() {
  TDifferenceItem Item;
  if (!CurrentItem(Item))
    return false;
  const std::wstring LeftPath = FLeftDirectory + Item.RelativePath;
  const std::wstring RightPath = FRightDirectory + Item.RelativePath;
  double LeftTimes[3] = {}, RightTimes[3] = {};
  GetFileTimesByName(LeftPath, LeftTimes[0], LeftTimes[1], LeftTimes[2], true);
  GetFileTimesByName(RightPath, RightTimes[0], RightTimes[1], RightTimes[2], true);
  ShowMessage({GetMsg(MTitle), GetMsg(MFileInfoHeading), FitToWidth(Item.RelativePath, 63), std::wstring(),
               InfoRow(std::wstring(), GetMsg(MFileInfoLeft), GetMsg(MFileInfoRight)),
               InfoRow(GetMsg(MFileInfoSize), SizeText(GetFileSizeByName(LeftPath)),
                       SizeText(GetFileSizeByName(RightPath))),
               InfoRow(GetMsg(MFileInfoCreationTime), TimeText(LeftTimes[0]), TimeText(RightTimes[0])),
               InfoRow(GetMsg(MFileInfoLastWriteTime), TimeText(LeftTimes[1]), TimeText(RightTimes[1])),
               InfoRow(GetMsg(MFileInfoLastAccessTime), TimeText(LeftTimes[2]), TimeText(RightTimes[2])),
               std::wstring(), GetMsg(MOk)},
              0, 1);
  return true;
}

bool TSynchronizeTask::GotoFile(bool Left) {
  TDifferenceItem Item;
  if (!CurrentItem(Item))
    return false;
  std::wstring Path = (Left ? FLeftDirectory : FRightDirectory) + Item.RelativePath;
  if (Item.IsDirectory)
    Path = WithTrailingBackslash(Path) + L"*";
  Path = RemoveLongPathPrefix(Path);

  auto Panel = std::make_unique<TFarPanel>(true, true);
  if (Panel->HasFlag(PFLAGS_PANELLEFT) != Left)
    Panel = std::make_unique<TFarPanel>(false, true);

  const size_t Split = Path.find_last_of(L"\\:");
  const std::wstring Directory = Split == std::wstring::npos ? std::wstring() : Path.substr(0, Split + 1);
  const std::wstring Name = Split == std::wstring::npos ? Path : Path.substr(Split + 1);
  std::wstring Bare = Directory;
  if (!Bare.empty() && Bare.back() == L'\\')
    Bare.pop_back();

  bool Success = false;
  if (Panel->GetDirectoryName() == Bare || Panel->SetDirectory(Directory)) {
    if (Name == L"*") {
      Success = true;
    } else {
      size_t Index = 0;
      if (Panel->FindItem(Name, Index, false))
        Success = Panel->SetCurrentItem(Index) && Panel->GetCurrentItem() == Index;
    }
  }
  if (!Success)
    return false;
  Panel->SetActive();
  TFarPanel::ActivatePanelsWindow();
  return true;
}
