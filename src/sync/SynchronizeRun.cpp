// The synchronisation run of a differences document: reading it back, the dialog, the passes
// over the items and what each item asks for. The file operations are in SynchronizeFiles.cpp.

#include "SynchronizeDirectories.h"

#include "Confirmations.h"
#include "FarFormat.h"
#include "FarPanel.h"
#include "Files.h"
#include "Options.h"
#include "PairState.h"
#include "Streams.h"
#include "SynchronizeDirectoriesDialog.h"
#include "SynchronizeUI.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"

#include <algorithm>
#include <cwchar>
#include <unordered_map>

namespace {

constexpr int NoLabel = -1;

std::wstring TrimControl(const std::wstring &Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && Text[First] < 33)
    ++First;
  while (Last > First && Text[Last - 1] < 33)
    --Last;
  return Text.substr(First, Last - First);
}

// Puts the console title back however the run ends.
class TConsoleTitleScope {
public:
  TConsoleTitleScope() : FTitle(TFarScreen::GetConsoleTitle()) {}
  ~TConsoleTitleScope() {
    try {
      TFarScreen::SetConsoleTitle(FTitle);
    } catch (...) {
    }
  }
  TConsoleTitleScope(const TConsoleTitleScope &) = delete;
  TConsoleTitleScope &operator=(const TConsoleTitleScope &) = delete;

private:
  std::wstring FTitle;
};

} // namespace

// ---- The run ----

bool TSynchronizeTask::Synchronize(bool &KeepOpen) {
  KeepOpen = true;
  try {
    TDifferenceList List;
    List.LoadFromTextFile(GetFileName());
    if (List.Empty()) {
      KeepOpen = false;
      if (FMemory)
        RememberRun({}, List);
      return false;
    }

    TRunPlan Plan;
    MeasureRun(List, Plan);
    TSynchronizeDirectoriesDialog Dialog;
    Dialog.List = &List;
    Dialog.Plan = &Plan;
    Dialog.SilentMode = FSynchronizeUI->GetSilentMode();
    Dialog.GlobalRemember = FSynchronizeUI->GetGlobalRemember();
    for (int Type = dtEqual; Type <= dtDifferent; ++Type)
      Dialog.SetDiffTypePresent(static_cast<TDifferenceType>(Type),
                                List.HasDifference(static_cast<TDifferenceType>(Type)));
    // The dialog, then the warnings; either may send the user back to the document or cancel.
    int Way = Dialog.ExecuteSynchronize();
    const TRunChoices Choices = Dialog.GetChoices();
    const TRunTotals Totals = Plan.Totals(List, Choices);
    if (Way == 0)
      Way = ConfirmSafety(Totals);
    switch (Way) {
    case 0:
      break;
    case 1:
      return false;
    default:
      KeepOpen = false;
      return false;
    }

    KeepOpen = false;
    std::wstring Failure;
    {
      TConsoleTitleScope TitleScope;
      FProgress = std::make_unique<TFarProgress>();
      struct TProgressScope {
        std::unique_ptr<TFarProgress> &Progress;
        ~TProgressScope() { Progress.reset(); }
      } ProgressScope{FProgress};
      FProgress->SetAllowAbort(true);
      FProgress->SetOnAbortQuery([this](TFarProgress &, bool &Abort) { Abort = ConfirmAbort(); });

      FSynchronizeUI->ClearActions();
      TRememberedAction &Global = FSynchronizeUI->GetAction(std::wstring());
      if (!Dialog.ConfirmOverwriteLeft)
        Global.SetOverwriteAction(true, false, TRememberedAction::oaYes);
      if (!Dialog.ConfirmOverwriteRight)
        Global.SetOverwriteAction(false, false, TRememberedAction::oaYes);
      FSynchronizeUI->SetSilentMode(Dialog.SilentMode);
      FSynchronizeUI->SetGlobalRemember(Dialog.GlobalRemember);

      // A failure in the middle of the run ends it as an abort does: what was not done is
      // offered again and the panels show what was.
      std::vector<TDifferenceItem> Before; // what a remembered pair's state is brought up to date with
      if (FMemory)
        for (const auto &Item : List)
          Before.push_back(*Item);
      FRunLog.Begin(FLeftDirectory, FRightDirectory);
      FSynchronizeUI->SetRunLog(&FRunLog);
      try {
        RunPasses(List, Choices, Totals);
      } catch (const EAbort &) {
        FRunLog.Stopped();
      } catch (const Exception &E) {
        Failure = std::wstring(E.ClassName()) + L'\n' + E.Message();
      } catch (const std::exception &) {
        Failure = L"Exception\nUnexpected error";
      }
      TFarScreen::SetTaskbarState(TBPS_NOPROGRESS);
      if (FMemory)
        RememberRun(Before, List);
      if (!List.Empty()) {
        try {
          OfferRemaining(List);
        } catch (const Exception &E) {
          if (Failure.empty())
            Failure = std::wstring(E.ClassName()) + L'\n' + E.Message();
        }
      }
    }
    TFarPanel::UpdatePanel(true);
    TFarPanel::UpdatePanel(false);
    FSynchronizeUI->SetRunLog(nullptr);
    FRunLog.End(List, Failure);
    if (!Failure.empty()) {
      const size_t Split = Failure.find(L'\n');
      ShowMessage({GetMsg(MTitle), Failure.substr(0, Split), Failure.substr(Split + 1), GetMsg(MOk)},
                  FMSG_WARNING | FMSG_ERRORTYPE, 1);
    }
    ReportRun();
    return true;
  } catch (const EAbort &) {
    return false;
  } catch (const Exception &E) {
    try {
      ShowMessage({GetMsg(MTitle), E.ClassName(), E.Message(), GetMsg(MOk)}, FMSG_WARNING | FMSG_ERRORTYPE,
                  1);
    } catch (...) {
    }
    return false;
  } catch (const std::exception &) {
    try {
      ShowMessage({GetMsg(MTitle), L"Exception", L"Unexpected error", GetMsg(MOk)},
                  FMSG_WARNING | FMSG_ERRORTYPE, 1);
    } catch (...) {
    }
    return false;
  }
}

void TSynchronizeTask::RunPasses(TDifferenceList &List, const TRunChoices &Choices,
                                 const TRunTotals &Totals) {
  {
    TVelmoraOptions Options;
    Options.Load();
    FRecycle = Options.DeleteToRecycleBin;
    FVerify = Options.VerifyCopies;
  }
  FHasRecycleBin[0] = FHasRecycleBin[1] = -1;
  FRun = TRunProgress{};
  FRun.Files = Totals.ToLeft.Files + Totals.ToRight.Files + Totals.DeleteLeft + Totals.DeleteRight;
  FRun.Bytes = Totals.ToLeft.Bytes + Totals.ToRight.Bytes;
  FRun.Started = ::GetTickCount64();
  // Entries that took a directory's place are done the way the directory was, whatever the
  // dialog says about their own kind.
  std::unordered_map<const TDifferenceItem *, TPlannedAction> Inherited;
  for (;;) {
    FPlainDirectories.clear();
    ForgetListings();
    const int64_t Total = static_cast<int64_t>(List.Count());
    int64_t Done = 0;
    size_t Index = 0;
    while (Index < List.Count()) {
      const TDifferenceItem &Item = List[Index];
      // Shown with the progress window's next drawing, at most every half second.
      FProgressItem = TrimControl(Item.RelativePath);
      FPassDone = Done;
      FPassTotal = Total;
      TUndoneEntries Undone;
      struct TUndoneScope {
        TUndoneEntries *&Current;
        ~TUndoneScope() { Current = nullptr; }
      } UndoneScope{FUndone = &Undone};
      const auto Found = Inherited.find(&Item);
      bool ItemDone = false;
      try {
        ItemDone = Found == Inherited.end() ? SynchronizeItem(Item, Choices) : CarryOut(Item, Found->second);
      } catch (...) {
        // A tree copy stopped half way: what it copied is done, and only what it did not comes back.
        if (!Undone.Items.empty() && (Undone.Action == paCopyToLeft || Undone.Action == paCopyToRight))
          List.Replace(Index, std::move(Undone.Items));
        throw;
      }
      if (Undone.Items.empty()) {
        if (ItemDone) {
          Inherited.erase(&Item);
          List.Delete(Index);
        } else {
          ++Index;
        }
      } else {
        // What inside a directory was not done takes the directory's place; a directory that
        // is still to be removed follows its contents, so that it goes once they are gone.
        if (!ItemDone)
          Undone.Items.push_back(Item);
        Inherited.erase(&Item);
        const size_t Count = Undone.Items.size();
        List.Replace(Index, std::move(Undone.Items));
        for (size_t Added = 0; Added < Count; ++Added)
          Inherited[&List[Index + Added]] = Undone.Action;
        Index += Count;
      }
      ++Done;
    }
    if (!FSynchronizeUI->GetSilentMode())
      return;
    // What silent mode declined is asked about now.
    FSynchronizeUI->SetSilentMode(false);
    if (List.Empty())
      return;
  }
}

void TSynchronizeTask::OfferRemaining(const TDifferenceList &List) {
  auto Remaining = std::make_unique<TSynchronizeTask>(FLeftDirectory, FRightDirectory, FFilter);
  Remaining->SetMemory(FMemory);
  {
    TTextStream Stream(Remaining->GetFileName(), fmOpenReadWrite | fmShareDenyWrite);
    Stream.Seek(0, soEnd);
    if (FMemory)
      FMemory->WriteHeader(Stream);
    for (const auto &Item : List)
      Stream.WriteLine(Item->FormatLine());
    Stream.Flush();
  }
  if (Remaining->ShowDocument(true))
    Adopt(std::move(Remaining));
}

bool TSynchronizeTask::IsSafeRelativePath(const std::wstring &Path) {
  if (Path.empty() || Path.front() == L'\\')
    return false;
  size_t Start = 0;
  for (;;) {
    const size_t End = Path.find(L'\\', Start);
    const std::wstring Component =
        Path.substr(Start, End == std::wstring::npos ? std::wstring::npos : End - Start);
    if (Component.empty() || Component == L"." || Component == L"..")
      return false;
    for (wchar_t C : Component)
      if (C < 32 || C == L':' || C == L'/' || C == L'*' || C == L'?' || C == L'<' || C == L'>' || C == L'"' ||
          C == L'|')
        return false;
    if (End == std::wstring::npos)
      return true;
    Start = End + 1;
  }
}

bool TSynchronizeTask::SynchronizeItem(const TDifferenceItem &Item, const TRunChoices &Choices) {
  // A hand-edited line must not reach beyond the two trees.
  if (!IsSafeRelativePath(Item.RelativePath))
    return false;
  const TPlannedAction Action = PlannedAction(Item, Choices);
  if (Action != paAsk)
    return CarryOut(Item, Action);
  ForceProgressRedraw();
  switch (FSynchronizeUI->AskDifferentFiles(FLeftDirectory, FRightDirectory, Item.RelativePath)) {
  case 1:
    return CopyItemOverwriting(Item, true);
  case 2:
    return CopyItemOverwriting(Item, false);
  default:
    return false;
  }
}

bool TSynchronizeTask::CarryOut(const TDifferenceItem &Item, TPlannedAction Action) {
  switch (Action) {
  case paCopyToLeft:
  case paCopyToRight:
    return CopyItem(Item, Action == paCopyToLeft);
  case paDeleteOnLeft:
  case paDeleteOnRight:
    return RemoveItem(Item, Action == paDeleteOnLeft);
  default:
    return false;
  }
}

bool TSynchronizeTask::CopyItem(const TDifferenceItem &Item, bool ToLeft) {
  const std::wstring &SourceRoot = ToLeft ? FRightDirectory : FLeftDirectory;
  const std::wstring &TargetRoot = ToLeft ? FLeftDirectory : FRightDirectory;
  if (!NoLinkOnTheWay(TargetRoot, Item.RelativePath))
    return false;
  if (FUndone)
    *FUndone = TUndoneEntries{TargetRoot,
                              ToLeft ? dtOlderLeft : dtOlderRight,
                              Item.Reason,
                              ToLeft ? paCopyToLeft : paCopyToRight,
                              {}};
  if (Item.IsDirectory) {
    TListingsScope Scope(*this);
    return CopyDirectoryTree(Item.RelativePath, SourceRoot + Item.RelativePath,
                             TargetRoot + Item.RelativePath, ToLeft, nullptr);
  }
  return CopyFileConfirmed(SourceRoot + Item.RelativePath, TargetRoot + Item.RelativePath, ToLeft);
}

bool TSynchronizeTask::CopyItemOverwriting(const TDifferenceItem &Item, bool ToLeft) {
  // A directory is copied as every copy in that direction is: each file inside it that would
  // replace another is confirmed (or not) as the dialog and the remembered answers say.
  if (Item.IsDirectory)
    return CopyItem(Item, ToLeft);
  const std::wstring &SourceRoot = ToLeft ? FRightDirectory : FLeftDirectory;
  const std::wstring &TargetRoot = ToLeft ? FLeftDirectory : FRightDirectory;
  if (!NoLinkOnTheWay(TargetRoot, Item.RelativePath))
    return false;
  return CopyFileOverwriting(SourceRoot + Item.RelativePath, TargetRoot + Item.RelativePath, ToLeft);
}

bool TSynchronizeTask::RemoveItem(const TDifferenceItem &Item, bool OnLeft) {
  const std::wstring &Root = OnLeft ? FLeftDirectory : FRightDirectory;
  if (!NoLinkOnTheWay(Root, Item.RelativePath))
    return false;
  if (FUndone)
    *FUndone =
        TUndoneEntries{Root, Item.DiffType, Item.Reason, OnLeft ? paDeleteOnLeft : paDeleteOnRight, {}};
  const std::wstring Path = Root + Item.RelativePath;
  TListingsScope Scope(*this);
  return Item.IsDirectory ? RemoveDirectoryTree(Path, OnLeft) : RemoveFile(Path, OnLeft);
}

// ---- Before the run ----

void TSynchronizeTask::MeasureRun(const TDifferenceList &List, TRunPlan &Plan) {
  TFarProgress Progress;
  Progress.SetAllowAbort(true); // Esc stops the counting, without a question
  const DWORD Started = TFarProgress::Ticks();
  Plan.Measure(List, FLeftDirectory, FRightDirectory, FFilter, [&](const std::wstring &Path) {
    // Only a count that takes a while is shown (and can be stopped).
    if (!Progress.IsShown()) {
      if (TFarProgress::Ticks() - Started < Progress.GetUpdateInterval())
        return;
      Progress.Show({}); // fixes the window's width, which FitText needs
    }
    Progress.Show({GetMsg(MTitle), GetMsg(MSyncCounting), Progress.FitText(RemoveLongPathPrefix(Path))});
  });
}

namespace {

// What tells volumes apart: the root of the volume a directory is on, and its size (two file
// systems mounted under one drive letter, as wine shows them, differ in that). A directory whose
// volume is unknown is a volume of its own.
std::wstring VolumeKey(const std::wstring &Directory) {
  wchar_t Root[MAX_PATH + 1] = {};
  if (!::GetVolumePathNameW(Directory.c_str(), Root, MAX_PATH))
    return Directory;
  ULARGE_INTEGER Total{};
  ::GetDiskFreeSpaceExW(Directory.c_str(), nullptr, &Total, nullptr);
  std::wstring Key = RemoveLongPathPrefix(Root);
  if (!Key.empty())
    ::CharUpperBuffW(Key.data(), static_cast<DWORD>(Key.size()));
  return Key + L'|' + std::to_wstring(Total.QuadPart);
}

} // namespace

int TSynchronizeTask::ConfirmSafety(const TRunTotals &Totals) {
  TVelmoraOptions Options;
  Options.Load();
  std::vector<std::wstring> Lines{GetMsg(MTitle)};
  // A count stopped with Esc never silences a warning: what was counted is shown as "at least".
  bool Stopped = false;
  if (Options.ConfirmMassDeletion) {
    for (const bool OnLeft : {true, false}) {
      const int64_t Deleting = OnLeft ? Totals.DeleteLeft : Totals.DeleteRight;
      const bool Partial = OnLeft ? Totals.DeleteLeftPartial : Totals.DeleteRightPartial;
      if (Deleting == 0 && !Partial)
        continue;
      // Deleting to match a side that is empty or gone (a drive not there, a share not mounted)
      // is most likely not what the user wants.
      if (TRunPlan::CountEntries(OnLeft ? FRightDirectory : FLeftDirectory, FFilter, 0) <= 0) {
        Lines.push_back(GetMsg(OnLeft ? MEmptySideRight : MEmptySideLeft));
        Lines.push_back(Format(GetMsg(MEmptySideDeletes), {FormatGroupedNumber(Deleting)}));
        Stopped = Stopped || Partial;
        continue;
      }
      int64_t Entries =
          TRunPlan::CountEntries(OnLeft ? FLeftDirectory : FRightDirectory, FFilter, 2 * Deleting);
      // A hand-written line may name what the masks leave out, which the side's count passes by.
      Entries = Entries < 0 ? Entries : std::max(Entries, Deleting);
      if (Partial) {
        Lines.push_back(Format(GetMsg(OnLeft ? MDeleteAtLeastLeft : MDeleteAtLeastRight),
                               {FormatGroupedNumber(Deleting)}));
        Stopped = true;
      } else if (Entries >= 0 && 2 * Deleting > Entries) {
        Lines.push_back(Format(GetMsg(OnLeft ? MMassDeletionLeft : MMassDeletionRight),
                               {FormatGroupedNumber(Deleting), FormatGroupedNumber(Entries)}));
      }
    }
  }
  if (Options.CheckFreeSpace) {
    // Copies in both directions onto one volume fill it together. A replacing copy is written
    // beside its old file, so the largest of them counts in full on top of what the side gains.
    struct TVolumeNeed {
      int64_t Growth = 0, Overlap = 0;
      bool Partial = false, Left = false, Right = false;
      std::wstring Directory;
    };
    std::vector<std::pair<std::wstring, TVolumeNeed>> Volumes;
    for (const bool ToLeft : {true, false}) {
      const TCopyCounts &Copies = ToLeft ? Totals.ToLeft : Totals.ToRight;
      if (Copies.Growth + Copies.Overlap <= 0 && !Copies.Partial)
        continue;
      const std::wstring &Directory = ToLeft ? FLeftDirectory : FRightDirectory;
      const std::wstring Key = VolumeKey(Directory);
      auto Volume =
          std::find_if(Volumes.begin(), Volumes.end(), [&](const auto &V) { return V.first == Key; });
      if (Volume == Volumes.end())
        Volume = Volumes.insert(Volumes.end(), {Key, TVolumeNeed{0, 0, false, false, false, Directory}});
      TVolumeNeed &Need = Volume->second;
      Need.Growth += Copies.Growth;
      Need.Overlap = std::max(Need.Overlap, Copies.Overlap);
      Need.Partial = Need.Partial || Copies.Partial;
      (ToLeft ? Need.Left : Need.Right) = true;
    }
    for (const auto &[Key, Need] : Volumes) {
      const int64_t Needed = Need.Growth + Need.Overlap;
      ULARGE_INTEGER Free{};
      // A volume that does not tell its free space is not warned about.
      if (!::GetDiskFreeSpaceExW(Need.Directory.c_str(), &Free, nullptr, nullptr))
        continue;
      const std::wstring Bytes = FormatGroupedNumber(Needed),
                         FreeBytes = FormatGroupedNumber(static_cast<int64_t>(Free.QuadPart));
      const int Side = Need.Left && Need.Right ? 2 : Need.Left ? 0 : 1;
      if (Need.Partial) {
        static constexpr int AtLeast[] = {MSpaceAtLeastLeft, MSpaceAtLeastRight, MSpaceAtLeastBoth};
        Lines.push_back(Format(GetMsg(AtLeast[Side]), {Bytes, FreeBytes}));
        Stopped = true;
      } else if (static_cast<uint64_t>(Needed) > Free.QuadPart) {
        static constexpr int NoSpace[] = {MNoSpaceLeft, MNoSpaceRight, MNoSpaceBoth};
        Lines.push_back(Format(GetMsg(NoSpace[Side]), {Bytes, FreeBytes}));
      }
    }
  }
  if (Lines.size() == 1)
    return 0;
  if (Stopped)
    Lines.insert(Lines.begin() + 1, GetMsg(MCountStopped));
  Lines.insert(Lines.end(),
               {GetMsg(MGuardQuestion), GetMsg(MGoOn), GetMsg(MSyncBackToDocument), GetMsg(MCancel)});
  const intptr_t Answer = ShowMessage(Lines, FMSG_WARNING, 3, VelmoraHelp::SynchronizeDialog);
  return Answer == 0 || Answer == 1 ? static_cast<int>(Answer) : 2;
}

// ---- Progress ----

std::wstring FormatDuration(uint64_t Seconds) {
  wchar_t Text[32];
  if (Seconds >= 3600)
    swprintf(Text, 32, L"%llu:%02llu:%02llu", Seconds / 3600, Seconds / 60 % 60, Seconds % 60);
  else
    swprintf(Text, 32, L"%llu:%02llu", Seconds / 60, Seconds % 60);
  return Text;
}

void TSynchronizeTask::ShowProgress(const std::wstring &Path1, const std::wstring &Path2, int64_t Done,
                                    int64_t Total, int Label1, int Label2) {
  if (!FProgress || !FProgress->NeedsUpdate())
    return;
  TFarScreen::SetConsoleTitle(GetMsg(MTitle) + L": " + FProgressItem);
  // The whole run, by its bytes where it copies any, else by its entries.
  const int64_t BytesDone = std::min(FRun.BytesDone + FRun.CurrentBytes, FRun.Bytes);
  const int64_t FilesDone = std::min(FRun.FilesDone, FRun.Files);
  const bool ByBytes = FRun.Bytes > 0;
  const int64_t RunDone = ByBytes ? BytesDone : FilesDone, RunTotal = ByBytes ? FRun.Bytes : FRun.Files;
  if (RunTotal > 0)
    TFarScreen::SetTaskbarProgress(TBPS_NORMAL, RunDone, RunTotal);
  else
    TFarScreen::SetTaskbarProgress(TBPS_NORMAL, FPassDone, FPassTotal);
  if (!FProgress->IsShown())
    FProgress->Show({}); // fixes the window's width, which FitText needs
  std::vector<std::wstring> Lines{GetMsg(MTitle),
                                  GetMsg(Label1),
                                  FProgress->FitText(RemoveLongPathPrefix(Path1)),
                                  Label2 == NoLabel ? std::wstring() : GetMsg(Label2),
                                  Path2.empty() ? std::wstring()
                                                : FProgress->FitText(RemoveLongPathPrefix(Path2)),
                                  FProgress->ProgressBar(Done, Total)};
  if (RunTotal > 0) {
    const uint64_t Elapsed = ::GetTickCount64() - FRun.Started;
    // The time left goes by the pace so far, rounded up to a second; none is guessed before
    // anything was done.
    const double Remaining =
        static_cast<double>(Elapsed) * (RunTotal - RunDone) / std::max<int64_t>(RunDone, 1);
    const std::wstring Left =
        RunDone > 0 ? FormatDuration(static_cast<uint64_t>(Remaining / 1000.0 + 0.999)) : L"?";
    Lines.push_back(std::wstring());
    Lines.push_back(FProgress->FitText(
        Format(GetMsg(MProgressTotal), {FormatGroupedNumber(FilesDone), FormatGroupedNumber(FRun.Files),
                                        FormatGroupedNumber(BytesDone), FormatGroupedNumber(FRun.Bytes)})));
    Lines.push_back(FProgress->ProgressBar(RunDone, RunTotal));
    Lines.push_back(
        FProgress->FitText(Format(GetMsg(MProgressTime), {FormatDuration(Elapsed / 1000), Left})));
  }
  FProgress->Show(Lines);
}

void TSynchronizeTask::ForceProgressRedraw() {
  // A question follows, while which anything may change.
  ForgetListings();
  if (FProgress)
    FProgress->RequestFullRedraw();
}

bool TSynchronizeTask::ConfirmAbort() {
  return ShowMessage({GetMsg(MAbortTitle), GetMsg(MAbortText), GetMsg(MOk), GetMsg(MCancel)}, FMSG_WARNING, 2,
                     VelmoraHelp::SynchronizeDialog) == 0;
}
