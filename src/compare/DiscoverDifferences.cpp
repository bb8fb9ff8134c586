#include "DiscoverDifferences.h"

#include "Confirmations.h"
#include "DiscoverDifferencesDialog.h"
#include "FarFormat.h"
#include "Files.h"
#include "PairState.h"
#include "Streams.h"
#include "SynchronizeDirectories.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"
#include "VisitedDirectories.h"

#include <windows.h>

namespace {

std::wstring WithTrailingBackslash(std::wstring Path) {
  if (Path.empty() || Path.back() != L'\\')
    Path += L'\\';
  return Path;
}

std::wstring WithoutTrailingBackslash(std::wstring Path) {
  if (Path.size() > 1 && Path.back() == L'\\' && Path[Path.size() - 2] != L':')
    Path.pop_back();
  return Path;
}

bool IsAbsolutePath(const std::wstring &Path) {
  if (Path.size() >= 3 && Path[1] == L':' && Path[2] == L'\\' &&
      ((Path[0] >= L'A' && Path[0] <= L'Z') || (Path[0] >= L'a' && Path[0] <= L'z')))
    return true;
  // "\\server\share", "\\?\C:\..." and "\\?\UNC\...".
  return Path.size() >= 3 && Path[0] == L'\\' && Path[1] == L'\\' && Path[2] != L'\\';
}

// The walk's roots: the panel's directory in FAR's native form with a trailing backslash.
std::wstring WalkRoot(const TFarPanel &Panel) {
  std::wstring Root = TFarModule::ConvertToNativePath(Panel.GetDirectoryName());
  if (Root.empty())
    Root = LongPathName(Panel.GetDirectoryName());
  return WithTrailingBackslash(Root);
}

// A plug-in's panel with real names may list files of other directories by their full paths;
// such an item has no place below either root.
void KeepPlainNames(TFileInfoList &List) {
  for (size_t I = List.Count(); I > 0; --I)
    if (List[I - 1].GetFileName().find_first_of(L"\\/:") != std::wstring::npos)
      List.Delete(I - 1);
}

// What is known of the level being walked (its real path, its relative name), replaced for a
// sublevel and put back after it.
class TLevelScope {
public:
  TLevelScope(std::wstring &Level, const std::wstring &Sublevel) : FLevel(Level), FSaved(Level) {
    FLevel = Sublevel;
  }
  ~TLevelScope() { FLevel.swap(FSaved); }
  TLevelScope(const TLevelScope &) = delete;
  TLevelScope &operator=(const TLevelScope &) = delete;

private:
  std::wstring &FLevel;
  std::wstring FSaved;
};

// The taskbar and the console title go back to what they were however the walk ends.
class TWalkScreenScope {
public:
  explicit TWalkScreenScope(TFarProgress &Progress)
      : FProgress(Progress), FTitle(TFarScreen::GetConsoleTitle()) {
    FProgress.SetTaskbarState(TBPS_INDETERMINATE);
  }
  ~TWalkScreenScope() {
    try {
      FProgress.Hide();
      TFarScreen::SetConsoleTitle(FTitle);
      FProgress.SetTaskbarState(TBPS_NOPROGRESS);
    } catch (...) {
      // The run's own error, if any, is the one worth reporting.
    }
  }
  TWalkScreenScope(const TWalkScreenScope &) = delete;
  TWalkScreenScope &operator=(const TWalkScreenScope &) = delete;

private:
  TFarProgress &FProgress;
  std::wstring FTitle;
};

// The walk's listing service for as long as the walk lasts.
class TListingScope {
public:
  TListingScope(TListingService *&Current, TListingService &Service) : FCurrent(Current) {
    FCurrent = &Service;
  }
  ~TListingScope() { FCurrent = nullptr; }
  TListingScope(const TListingScope &) = delete;
  TListingScope &operator=(const TListingScope &) = delete;

private:
  TListingService *&FCurrent;
};

} // namespace

TDiscoverDifferences::TDiscoverDifferences()
    : Progress(std::make_unique<TFarProgress>()),
      Rules(Options, [this](const std::wstring &LeftText, const std::wstring &RightText, int64_t Done,
                            int64_t Total) { ShowProgress(LeftText, RightText, Done, Total); }) {
  Progress->SetAllowAbort(true);
  Progress->SetOnAbortQuery([this](TFarProgress &Sender, bool &Abort) { ConfirmAbort(Sender, Abort); });
  Rules.SetContentsAhead([this](const std::wstring &LeftPath, const std::wstring &RightPath, bool &Same,
                                bool &LeftFailed, bool &RightFailed) {
    return Listing && Listing->TakeContents(LeftPath, RightPath, Same, LeftFailed, RightFailed);
  });
}

TDiscoverDifferences::~TDiscoverDifferences() {
  LeftVisited.reset();
  RightVisited.reset();
  Progress.reset();
  Output.reset();
  LeftPanel.reset();
  RightPanel.reset();
  Task.reset();
}

intptr_t TDiscoverDifferences::Run() {
  try {
    SelectPanels();
    const bool Virtual = IsVirtualPanel(*LeftPanel) || IsVirtualPanel(*RightPanel);
    if (!(IsFilePanel(*LeftPanel) || IsVirtualPanel(*LeftPanel)) ||
        !(IsFilePanel(*RightPanel) || IsVirtualPanel(*RightPanel))) {
      ShowMessage({GetMsg(MTitle), GetMsg(MNotFilePanels), GetMsg(MOk)}, FMSG_WARNING, 1,
                  VelmoraHelp::CompareDialog);
      return 0;
    }
    Options.Reset();
    Options.Load();
    if (!AskOptions())
      return 0;
    if (!Virtual)
      OfferToForget();
    if (Virtual) {
      SelectDifferencesOnly();
      return 0;
    }

    Task = std::make_unique<TSynchronizeTask>(LongPathName(LeftPanel->GetDirectoryName()),
                                              LongPathName(RightPanel->GetDirectoryName()), Filter);
    Output = std::make_unique<TTextStream>(Task->GetFileName(), fmOpenReadWrite | fmShareDenyWrite);
    Output->SetPosition(Output->GetSize());
    if (Options.RememberPair)
      StartMemory();

    bool Found = false;
    {
      TWalkScreenScope Screen(*Progress);
      ComparePanels(*LeftPanel, *RightPanel, Options.GetScanDepth(), Options.ProcessSelected, Found);
    }
    // A line still in the buffer must reach the file before anyone reads it, and a failing write
    // must be reported rather than lost in the destructor.
    Output->Flush();
    Output.reset();

    // When the document was opened, the editor registry owns it from now on.
    FinishRun(Found);
  } catch (const EAbort &) {
    // The user stopped the run; the document goes with the task.
  } catch (const Exception &E) {
    std::vector<std::wstring> Lines{GetMsg(MTitle), E.ClassName()};
    for (const std::wstring &Line : SplitMessageLines(E.Message()))
      Lines.push_back(Line);
    Lines.push_back(GetMsg(MOk));
    Output.reset();
    Task.reset();
    ShowMessage(Lines, FMSG_WARNING | FMSG_ERRORTYPE, 1);
  }
  Output.reset();
  Task.reset();
  LeftVisited.reset();
  RightVisited.reset();
  return 0;
}

void TDiscoverDifferences::SelectPanels() {
  LeftPanel.reset();
  RightPanel.reset();
  auto Active = std::make_unique<TFarPanel>(true, true);
  auto Passive = std::make_unique<TFarPanel>(false, true);
  if (Active->HasFlag(PFLAGS_PANELLEFT)) {
    LeftPanel = std::move(Active);
    RightPanel = std::move(Passive);
  } else {
    LeftPanel = std::move(Passive);
    RightPanel = std::move(Active);
  }
}

bool TDiscoverDifferences::IsFilePanel(const TFarPanel &Panel) {
  // A panel FAR told nothing about has no directory; the walk would take the current one.
  const std::wstring &Directory = Panel.GetDirectoryName();
  if (Panel.GetPanelType() != PTYPE_FILEPANEL || !IsAbsolutePath(Directory))
    return false;
  if (!Panel.IsPluginPanel())
    return true;
  if (!Panel.HasFlag(PFLAGS_REALNAMES))
    return false;
  const DWORD Attributes = ::GetFileAttributesW(LongPathName(Directory).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TDiscoverDifferences::IsVirtualPanel(const TFarPanel &Panel) {
  return Panel.GetPanelType() == PTYPE_FILEPANEL && Panel.IsPluginPanel() && !IsFilePanel(Panel);
}

void TDiscoverDifferences::SelectDifferencesOnly() {
  // Nothing below the top and no contents: the items are the plug-in's, not files to open.
  Options.ProcessSubfolders = false;
  Options.CompareContents = false;
  SelectedDifferences = 0;
  bool Found = false;
  {
    TWalkScreenScope Screen(*Progress);
    ComparePanels(*LeftPanel, *RightPanel, 0, Options.ProcessSelected, Found);
  }
  if (!Found) {
    FinishRun(false);
    return;
  }
  ShowMessage({GetMsg(MTitle),
               Format(GetMsg(MSelectedDifferences), {static_cast<long long>(SelectedDifferences)}),
               GetMsg(MSynchronizeNeedsDirectories), GetMsg(MSynchronizeNeedsDirectories2), GetMsg(MOk)},
              0, 1, VelmoraHelp::CompareDialog);
}

bool TDiscoverDifferences::AskOptions() {
  TDiscoverDifferencesDialog Dialog;
  Dialog.Options = &Options;
  Dialog.LeftPanel = LeftPanel.get();
  Dialog.RightPanel = RightPanel.get();
  if (!Dialog.EditOptions())
    return false;
  Options.Save();
  Options.Assign(Dialog.GetWorkingOptions());
  Filter = TNameFilter(Options.IncludeMasks, Options.ExcludeMasks);
  return true;
}

void TDiscoverDifferences::ComparePanels(TFarPanel &Left, TFarPanel &Right, int32_t Depth,
                                         bool ProcessSelectedOnly, bool &Found) {
  // A plug-in's directory is no path of the file system: it is shown, never looked up.
  const std::wstring LeftRoot =
      IsVirtualPanel(Left) ? WithTrailingBackslash(Left.GetDirectoryName()) : WalkRoot(Left);
  const std::wstring RightRoot =
      IsVirtualPanel(Right) ? WithTrailingBackslash(Right.GetDirectoryName()) : WalkRoot(Right);
  WalkStarted = TFarProgress::Ticks();
  EntriesCompared = 0;
  DifferencesFound = 0;
  ShowProgress(RemoveLongPathPrefix(LeftRoot) + L"*", RemoveLongPathPrefix(RightRoot) + L"*", 0, 0);
  // Waiting for the workers, the window keeps its texts and Esc is looked for.
  TListingService Service(Options, Options.CompareWorkers,
                          [this] { ShowProgress(ShownLeft, ShownRight, 0, 0); });
  TListingScope ServiceScope(Listing, Service);

  if (!LeftVisited)
    LeftVisited = std::make_unique<TVisitedDirectories>();
  if (!RightVisited)
    RightVisited = std::make_unique<TVisitedDirectories>();
  LeftLevelReal = IsVirtualPanel(Left) ? LeftRoot : RealPathName(WithoutTrailingBackslash(LeftRoot));
  RightLevelReal = IsVirtualPanel(Right) ? RightRoot : RealPathName(WithoutTrailingBackslash(RightRoot));
  TVisitedKeyScope LeftScope(*LeftVisited, TVisitedDirectories::KeyOfRealPath(LeftLevelReal));
  TVisitedKeyScope RightScope(*RightVisited, TVisitedDirectories::KeyOfRealPath(RightLevelReal));

  TFileInfoList LeftList, RightList;
  LeftList.LoadFromPanel(Left);
  RightList.LoadFromPanel(Right);
  KeepPlainNames(LeftList);
  KeepPlainNames(RightList);
  Filter.Apply(LeftList);
  Filter.Apply(RightList);
  LeftList.SortByFileName();
  RightList.SortByFileName();

  if (ProcessSelectedOnly) {
    // Keep what is selected, and the namesake of anything selected on the other side.
    size_t L = 0, R = 0;
    auto Keep = [](TFileInfoList &List, size_t &Index) {
      if (List[Index].GetSelected())
        ++Index;
      else
        List.Delete(Index);
    };
    for (;;) {
      const bool LeftLeft = L < LeftList.Count(), RightLeft = R < RightList.Count();
      if (!LeftLeft && !RightLeft)
        break;
      if (!LeftLeft) {
        Keep(RightList, R);
        continue;
      }
      if (!RightLeft) {
        Keep(LeftList, L);
        continue;
      }
      const int Order = CompareFileNames(LeftList[L], RightList[R]);
      if (Order < 0)
        Keep(LeftList, L);
      else if (Order > 0)
        Keep(RightList, R);
      else if (LeftList[L].GetSelected() || RightList[R].GetSelected()) {
        ++L;
        ++R;
      } else {
        LeftList.Delete(L);
        RightList.Delete(R);
      }
    }
  }

  CompareLists(LeftList, RightList, LeftRoot, RightRoot, L"", Depth, Found);
  if (Memory)
    Memory->FinishWalk();

  Left.ApplySelection();
  Right.ApplySelection();
}

void TDiscoverDifferences::CompareLists(TFileInfoList &LeftList, TFileInfoList &RightList,
                                        const std::wstring &LeftRoot, const std::wstring &RightRoot,
                                        const std::wstring &RelativeDir, int32_t Depth, bool &Found) {
  // The console title names this directory from the progress window's next drawing on, and its
  // parent again once it is done.
  TLevelScope Title(CurrentDirectory, RelativeDir);
  if (Memory)
    Memory->NoteLevel(RelativeDir);
  LeftList.SortByFileNameDescending();
  RightList.SortByFileNameDescending();
  TListingService::TLevel Ahead(
      *Listing, Listing->Workers() > 1
                    ? RequestsAhead(LeftList, RightList, LeftRoot, RightRoot, RelativeDir, Depth)
                    : std::vector<TListingService::TRequest>());

  // Walked from the end: ascending order, and each level's lists are only read.
  size_t L = LeftList.Count(), R = RightList.Count();
  while (L > 0 && R > 0) {
    TBaseFileInfo &LeftInfo = LeftList[L - 1];
    TBaseFileInfo &RightInfo = RightList[R - 1];
    ++EntriesCompared;
    LeftInfo.SetSelected(false);
    RightInfo.SetSelected(false);
    if (Progress->NeedsUpdate())
      ShowProgress(RelativeDir + LeftInfo.GetFileName(), RelativeDir + RightInfo.GetFileName(), 0, 0);
    const int Order = CompareFileNames(LeftInfo, RightInfo);
    if (Order < 0) {
      AddOneSided(LeftInfo, true, LeftRoot, RelativeDir);
      LeftInfo.SetSelected(true);
      Found = true;
      --L;
    } else if (Order > 0) {
      AddOneSided(RightInfo, false, RightRoot, RelativeDir);
      RightInfo.SetSelected(true);
      Found = true;
      --R;
    } else {
      CompareItems(LeftInfo, RightInfo, LeftRoot, RightRoot, RelativeDir, LeftInfo.GetFileName(), Depth,
                   Found);
      --L;
      --R;
    }
  }
  for (; L > 0; --L) {
    TBaseFileInfo &LeftInfo = LeftList[L - 1];
    ++EntriesCompared;
    AddOneSided(LeftInfo, true, LeftRoot, RelativeDir);
    LeftInfo.SetSelected(true);
    Found = true;
  }
  for (; R > 0; --R) {
    TBaseFileInfo &RightInfo = RightList[R - 1];
    ++EntriesCompared;
    AddOneSided(RightInfo, false, RightRoot, RelativeDir);
    RightInfo.SetSelected(true);
    Found = true;
  }
}

void TDiscoverDifferences::CompareItems(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                                        const std::wstring &LeftRoot, const std::wstring &RightRoot,
                                        const std::wstring &RelativeDir, const std::wstring &Name,
                                        int32_t Depth, bool &Found) {
  const bool LeftIsDirectory = LeftInfo.IsDirectory(), RightIsDirectory = RightInfo.IsDirectory();
  if (LeftIsDirectory && RightIsDirectory) {
    CompareDirectories(LeftInfo, RightInfo, LeftRoot, RightRoot, RelativeDir, Name, Depth, Found);
  } else if (LeftIsDirectory) {
    AddDifference(dtOlderRight, drFile, RelativeDir, Name, true);
    LeftInfo.SetSelected(true);
    Found = true;
  } else if (RightIsDirectory) {
    AddDifference(dtOlderLeft, drFile, RelativeDir, Name, true);
    RightInfo.SetSelected(true);
    Found = true;
  } else {
    CompareFiles(LeftInfo, RightInfo, LeftRoot, RightRoot, RelativeDir, Name, Found);
  }
}

void TDiscoverDifferences::CompareDirectories(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                                              const std::wstring &LeftRoot, const std::wstring &RightRoot,
                                              const std::wstring &RelativeDir, const std::wstring &Name,
                                              int32_t Depth, bool &Found) {
  if (Depth <= 0)
    return;
  const std::wstring LeftPath = LeftRoot + RelativeDir + Name;
  const std::wstring RightPath = RightRoot + RelativeDir + Name;
  // Each side is resolved once: the same real path serves the identity test and the chain.
  const std::wstring LeftReal = SubdirectoryRealPath(LeftInfo, LeftPath, LeftLevelReal);
  const std::wstring RightReal = SubdirectoryRealPath(RightInfo, RightPath, RightLevelReal);
  if (LeftReal == RightReal) {
    AddDifference(dtEqual, drNone, RelativeDir, Name, true);
    return;
  }

  const std::wstring LeftKey = TVisitedDirectories::KeyOfRealPath(LeftReal);
  const std::wstring RightKey = TVisitedDirectories::KeyOfRealPath(RightReal);
  const bool LeftLoops = LeftVisited->ContainsKey(LeftKey);
  const bool RightLoops = RightVisited->ContainsKey(RightKey);
  if (LeftLoops && RightLoops)
    return;
  if (LeftLoops || RightLoops) {
    AddDifference(dtDifferent, drFile, RelativeDir, Name, true);
    Found = true;
    LeftInfo.SetSelected(true);
    RightInfo.SetSelected(true);
    return;
  }

  TVisitedKeyScope LeftScope(*LeftVisited, LeftKey);
  TVisitedKeyScope RightScope(*RightVisited, RightKey);
  TFileInfoList LeftList, RightList;
  const bool LeftFailed = !Listing->List(LeftPath, LeftList);
  const bool RightFailed = !Listing->List(RightPath, RightList);
  Filter.Apply(LeftList);
  Filter.Apply(RightList);
  if (!LeftFailed && !RightFailed) {
    if (Memory)
      Memory->NoteEqualDirectory(RelativeDir, Name, LeftInfo);
    bool SubFound = false;
    TLevelScope LeftLevel(LeftLevelReal, LeftReal), RightLevel(RightLevelReal, RightReal);
    CompareLists(LeftList, RightList, LeftRoot, RightRoot, RelativeDir + Name + L"\\", Depth - 1, SubFound);
    if (SubFound) {
      Found = true;
      LeftInfo.SetSelected(true);
      RightInfo.SetSelected(true);
    }
    return;
  }

  Found = true;
  if (LeftFailed || Options.SelectDifferencesOnBothPanels)
    RightInfo.SetSelected(true);
  if (RightFailed || Options.SelectDifferencesOnBothPanels)
    LeftInfo.SetSelected(true);
  const TDifferenceType DiffType = LeftFailed && RightFailed ? dtFailedBoth
                                   : LeftFailed              ? dtFailedLeft
                                                             : dtFailedRight;
  AddDifference(DiffType, drContents, RelativeDir, Name, true);
}

void TDiscoverDifferences::CompareFiles(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                                        const std::wstring &LeftRoot, const std::wstring &RightRoot,
                                        const std::wstring &RelativeDir, const std::wstring &Name,
                                        bool &Found) {
  TFileComparison Result = Rules.CompareFiles(LeftInfo, RightInfo, LeftRoot, RightRoot, RelativeDir, Name);
  if (Memory) {
    Memory->AddPair(LeftInfo, RightInfo, RelativeDir, Name, Result);
    if (Result.IsDifferent()) {
      ++DifferencesFound;
      Found = true;
    }
    return;
  }
  if (!Result.IsDifferent())
    return;
  AddDifference(Result.DiffType, Result.Reason, RelativeDir, Name, false);
  Found = true;
}

void TDiscoverDifferences::AddOneSided(const TBaseFileInfo &Info, bool OnLeft, const std::wstring &SideRoot,
                                       const std::wstring &RelativeDir) {
  if (Memory) {
    ++DifferencesFound;
    Memory->AddOneSided(Info, OnLeft, SideRoot, RelativeDir);
    return;
  }
  AddDifference(OnLeft ? dtMissingRight : dtMissingLeft, drFile, RelativeDir, Info.GetFileName(),
                Info.IsDirectory());
}

void TDiscoverDifferences::AddDifference(TDifferenceType DiffType, TDifferenceReason Reason,
                                         const std::wstring &RelativeDir, const std::wstring &Name,
                                         bool IsDirectory) {
  if (DiffType == dtEqual)
    return;
  ++DifferencesFound;
  if (!Task) { // a run that only selects
    ++SelectedDifferences;
    return;
  }
  if (!Output)
    throw EStreamError(L"The differences document is not open");
  const TDifferenceItem Item(DiffType, Reason, RelativeDir + Name, IsDirectory);
  if (Memory)
    Memory->Add(Item); // in its turn with the lines memory judges
  else
    Output->WriteLine(Item.FormatLine());
}

void TDiscoverDifferences::ShowProgress(const std::wstring &LeftText, const std::wstring &RightText,
                                        int64_t Done, int64_t Total) {
  if (!Progress->NeedsUpdate())
    return;
  // A console call costs a trip to the console: the title follows the half-second redraw too.
  TFarScreen::SetConsoleTitle(GetMsg(MTitle) + L": " + CurrentDirectory);
  // The window fixes its width when it is first shown; the first texts are fitted to the width
  // it is going to take.
  const int Width = Progress->IsShown() ? Progress->GetWidth() : TFarScreen::Width() - 14;
  ShownLeft = LeftText;
  ShownRight = RightText;
  const std::wstring Counts =
      Format(GetMsg(MCompareProgressCounts),
             {FormatGroupedNumber(EntriesCompared), FormatGroupedNumber(DifferencesFound),
              FormatDuration(static_cast<uint32_t>(TFarProgress::Ticks() - WalkStarted) / 1000)});
  Progress->Show({GetMsg(MTitle), GetMsg(MCompareProgressLeft), FitToWidth(LeftText, Width),
                  GetMsg(MCompareProgressRight), FitToWidth(RightText, Width),
                  Progress->ProgressBar(Done, Total), std::wstring(), FitToWidth(Counts, Width)});
}

std::vector<TListingService::TRequest>
TDiscoverDifferences::RequestsAhead(const TFileInfoList &LeftList, const TFileInfoList &RightList,
                                    const std::wstring &LeftRoot, const std::wstring &RightRoot,
                                    const std::wstring &RelativeDir, int32_t Depth) const {
  // The pairs as the walk will meet them (both lists run from the end), and what it will ask of
  // the file system for each: the listings of a pair of directories, the contents of a pair of
  // files that are not told apart before being read.
  std::vector<TListingService::TRequest> Requests;
  size_t L = LeftList.Count(), R = RightList.Count();
  while (L > 0 && R > 0) {
    const TBaseFileInfo &LeftInfo = LeftList[L - 1];
    const TBaseFileInfo &RightInfo = RightList[R - 1];
    const int Order = CompareFileNames(LeftInfo, RightInfo);
    if (Order != 0) {
      (Order < 0 ? L : R) -= 1;
      continue;
    }
    --L;
    --R;
    const std::wstring &Name = LeftInfo.GetFileName();
    if (LeftInfo.IsDirectory() && RightInfo.IsDirectory()) {
      if (Depth > 0) {
        Requests.push_back({TListingService::TRequest::rkList, LeftRoot + RelativeDir + Name, {}, 0, 0});
        Requests.push_back({TListingService::TRequest::rkList, RightRoot + RelativeDir + Name, {}, 0, 0});
      }
    } else if (!LeftInfo.IsDirectory() && !RightInfo.IsDirectory() &&
               Rules.ReadsContentsOf(LeftInfo, RightInfo) &&
               LeftInfo.GetSize() <= TListingService::AheadContentsLimit &&
               RightInfo.GetSize() <= TListingService::AheadContentsLimit) {
      Requests.push_back({TListingService::TRequest::rkContents,
                          TCompareRules::LeftContentsPath(LeftRoot, RelativeDir, Name),
                          TCompareRules::RightContentsPath(RightInfo, RightRoot, RelativeDir, Name),
                          LeftInfo.GetSize(), RightInfo.GetSize()});
    }
  }
  return Requests;
}

void TDiscoverDifferences::ConfirmAbort(TFarProgress &, bool &Abort) {
  Abort = ShowMessage({GetMsg(MAbortTitle), GetMsg(MAbortText), GetMsg(MOk), GetMsg(MCancel)}, FMSG_WARNING,
                      2, VelmoraHelp::CompareDialog) == 0;
}

std::wstring TDiscoverDifferences::SubdirectoryRealPath(const TBaseFileInfo &Info, const std::wstring &Path,
                                                        const std::wstring &LevelReal) {
  // Only a link or junction can lead anywhere but below its parent: an ordinary directory is
  // where its parent really is, under the name its listing reports. That spares opening every
  // directory of the tree once more.
  if ((Info.GetAttributes() & FILE_ATTRIBUTE_REPARSE_POINT) || LevelReal.empty())
    return RealPathName(Path);
  return WithTrailingBackslash(LevelReal) + Info.GetFileName();
}

bool TDiscoverDifferences::FinishRun(bool Found) {
  if (Memory && Task) {
    Memory->FinishComparison();
    if (Found) {
      Task->SetMemory(Memory);
    } else {
      try {
        Memory->SaveNow();
      } catch (const Exception &E) {
        TPairMemory::ReportNotSaved(E);
      }
    }
  }
  if (!Found) {
    ShowMessage({GetMsg(MNoDifferencesTitle), GetMsg(MNoDifferencesText), GetMsg(MOk)}, 0, 1,
                VelmoraHelp::CompareDialog);
    return false;
  }
  if (!Task)
    return false;
  if (Task->ShowDocument(true)) {
    TFarEditorManaged::Adopt(std::move(Task));
    return true;
  }
  bool KeepOpen = false;
  Task->Synchronize(KeepOpen);
  Task.reset();
  return false;
}

void TDiscoverDifferences::StartMemory() {
  TPairMemory::TRules Rules;
  Rules.CompareSize = Options.CompareSize;
  Rules.CompareTime = Options.CompareTime;
  Rules.LowPrecisionTime = Options.LowPrecisionTime;
  Rules.IgnoreTimeZone = Options.IgnorePossibleTimeZoneDifferences;
  Rules.CompareContents = Options.CompareContents;
  Rules.ProcessSelected = Options.ProcessSelected;
  Rules.SelectBoth = Options.SelectDifferencesOnBothPanels;
  Rules.Legend = Options.ShowDescriptionIsSyncFile;
  Memory = std::make_shared<TPairMemory>(Task->GetLeftDirectory(), Task->GetRightDirectory(), Rules, Filter);
  Memory->StartLoading([this](const std::wstring &Line) {
    if (!Output)
      throw EStreamError(L"The differences document is not open");
    Output->WriteLine(Line);
  });
}

void TDiscoverDifferences::OfferToForget() {
  if (Options.RememberPair)
    return;
  TPairState State(LongPathName(LeftPanel->GetDirectoryName()), LongPathName(RightPanel->GetDirectoryName()));
  if (!State.FileExists())
    return;
  if (ShowMessage(
          {GetMsg(MTitle), GetMsg(MForgetPairQuestion), RemoveLongPathPrefix(LeftPanel->GetDirectoryName()),
           RemoveLongPathPrefix(RightPanel->GetDirectoryName()), GetMsg(MForgetPair), GetMsg(MKeepPair)},
          0, 2, VelmoraHelp::Memory) != 0)
    return;
  if (!State.Forget())
    ShowMessage({GetMsg(MTitle), GetMsg(MForgetPairFailed), State.GetFileName(), GetMsg(MOk)},
                FMSG_WARNING | FMSG_ERRORTYPE, 1);
}
