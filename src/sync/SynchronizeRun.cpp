// The synchronisation run of a differences document: reading it back, the dialog, the passes
// over the items, and the file operations with their questions.

#include "SynchronizeDirectories.h"

#include "FarPanel.h"
#include "Files.h"
#include "Handles.h"
#include "Streams.h"
#include "SynchronizeDirectoriesDialog.h"
#include "SynchronizeUI.h"
#include "VelmoraMessages.h"
#include "VisitedDirectories.h"

#include <cwctype>

namespace {

constexpr DWORD ProtectingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD CarriedDirectoryAttributes = ProtectingAttributes | FILE_ATTRIBUTE_ARCHIVE;
constexpr int NoLabel = -1;

TSynchronizeTask::TCopyFileFunction CopyFileFunction = &::CopyFileExW;

std::wstring WithTrailingBackslash(const std::wstring &Path) {
  if (!Path.empty() && Path.back() != L'\\')
    return Path + L'\\';
  return Path;
}

std::wstring WithoutTrailingBackslash(const std::wstring &Path) {
  std::wstring Result = Path;
  while (Result.size() > 1 && Result.back() == L'\\')
    Result.pop_back();
  return Result;
}

// Everything up to and including the last backslash or colon.
std::wstring DirectoryPart(const std::wstring &Path) {
  const size_t Split = Path.find_last_of(L"\\:");
  return Split == std::wstring::npos ? std::wstring() : Path.substr(0, Split + 1);
}

bool IsDots(const wchar_t *Name) {
  return Name[0] == L'.' && (Name[1] == 0 || (Name[1] == L'.' && Name[2] == 0));
}

std::wstring TrimControl(const std::wstring &Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && Text[First] < 33)
    ++First;
  while (Last > First && Text[Last - 1] < 33)
    --Last;
  return Text.substr(First, Last - First);
}

std::wstring UpperCase(std::wstring Text) {
  if (!Text.empty())
    ::CharUpperBuffW(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

// A name beside Directory that nothing uses yet, for a copy in progress or a replaced file.
std::wstring UnusedNameIn(const std::wstring &Directory) {
  static unsigned Counter = 0;
  const unsigned Seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
  for (int Attempt = 0; Attempt < 10000; ++Attempt) {
    wchar_t Name[32];
    swprintf(Name, 32, L"~vlm%08x.tmp", Seed + ++Counter);
    DWORD Attributes;
    if (!TSynchronizeTask::QueryAttributes(Directory + Name, Attributes))
      return Directory + Name;
  }
  return std::wstring();
}

void DeleteFileForced(const std::wstring &Path) {
  ::SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(Path.c_str());
}

// Creates Path and every missing directory above it.
void ForceDirectories(const std::wstring &Path) {
  const std::wstring Bare = WithoutTrailingBackslash(Path);
  DWORD Attributes;
  if (Bare.empty() || TSynchronizeTask::QueryAttributes(Bare, Attributes))
    return;
  const std::wstring Parent = ExtractParentPath(Bare);
  if (!Parent.empty() && Parent.size() < Bare.size())
    ForceDirectories(Parent);
  ::CreateDirectoryW(Bare.c_str(), nullptr);
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
      return false;
    }

    TSynchronizeDirectoriesDialog Dialog;
    Dialog.SilentMode = FSynchronizeUI->GetSilentMode();
    Dialog.GlobalRemember = FSynchronizeUI->GetGlobalRemember();
    for (int Type = dtEqual; Type <= dtDifferent; ++Type)
      Dialog.SetDiffTypePresent(static_cast<TDifferenceType>(Type),
                                List.HasDifference(static_cast<TDifferenceType>(Type)));
    switch (Dialog.ExecuteSynchronize()) {
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
      try {
        RunPasses(List, Dialog);
      } catch (const EAbort &) {
      } catch (const Exception &E) {
        Failure = std::wstring(E.ClassName()) + L'\n' + E.Message();
      } catch (const std::exception &) {
        Failure = L"Exception\nUnexpected error";
      }
      TFarScreen::SetTaskbarState(TBPS_NOPROGRESS);
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
    if (!Failure.empty()) {
      const size_t Split = Failure.find(L'\n');
      ShowMessage({GetMsg(MTitle), Failure.substr(0, Split), Failure.substr(Split + 1), GetMsg(MOk)},
                  FMSG_WARNING | FMSG_ERRORTYPE, 1);
    }
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

void TSynchronizeTask::RunPasses(TDifferenceList &List, const TSynchronizeDirectoriesDialog &Dialog) {
  for (;;) {
    const int64_t Total = static_cast<int64_t>(List.Count());
    int64_t Done = 0;
    size_t Index = 0;
    while (Index < List.Count()) {
      const TDifferenceItem &Item = List[Index];
      TFarScreen::SetTaskbarProgress(TBPS_NORMAL, Done, Total);
      TFarScreen::SetConsoleTitle(GetMsg(MTitle) + L": " + TrimControl(Item.RelativePath));
      if (SynchronizeItem(Item, Dialog))
        List.Delete(Index);
      else
        ++Index;
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
  auto Remaining = std::make_unique<TSynchronizeTask>(FLeftDirectory, FRightDirectory);
  {
    TTextStream Stream(Remaining->GetFileName(), fmOpenReadWrite | fmShareDenyWrite);
    Stream.Seek(0, soEnd);
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

bool TSynchronizeTask::SynchronizeItem(const TDifferenceItem &Item,
                                       const TSynchronizeDirectoriesDialog &Dialog) {
  // A hand-edited line must not reach beyond the two trees.
  if (!IsSafeRelativePath(Item.RelativePath))
    return false;
  switch (Item.DiffType) {
  case dtMissingLeft:
    if (Dialog.DeleteOnRight)
      return RemoveItem(Item, false);
    return Dialog.CopyToLeft && CopyItem(Item, true);
  case dtMissingRight:
    if (Dialog.DeleteOnLeft)
      return RemoveItem(Item, true);
    return Dialog.CopyToRight && CopyItem(Item, false);
  case dtOlderLeft:
    return Dialog.CopyToLeft && CopyItem(Item, true);
  case dtOlderRight:
    return Dialog.CopyToRight && CopyItem(Item, false);
  case dtFailedLeft:
    return Dialog.CopyToLeft && !Item.IsDirectory && CopyItem(Item, true);
  case dtFailedRight:
    return Dialog.CopyToRight && !Item.IsDirectory && CopyItem(Item, false);
  case dtDifferent:
    switch (Dialog.DifferentFilesAction) {
    case dfaCopyToLeft:
      return CopyItem(Item, true);
    case dfaCopyToRight:
      return CopyItem(Item, false);
    case dfaAsk:
      ForceProgressRedraw();
      switch (FSynchronizeUI->AskDifferentFiles(FLeftDirectory, FRightDirectory, Item.RelativePath)) {
      case 1:
        return CopyItemOverwriting(Item, true);
      case 2:
        return CopyItemOverwriting(Item, false);
      default:
        return false;
      }
    default:
      return false;
    }
  default:
    return false;
  }
}

bool TSynchronizeTask::CopyItem(const TDifferenceItem &Item, bool ToLeft) {
  const std::wstring &SourceRoot = ToLeft ? FRightDirectory : FLeftDirectory;
  const std::wstring &TargetRoot = ToLeft ? FLeftDirectory : FRightDirectory;
  if (Item.IsDirectory)
    return CopyDirectoryTree(Item.RelativePath, SourceRoot + Item.RelativePath,
                             TargetRoot + Item.RelativePath, ToLeft, nullptr);
  return CopyFileConfirmed(SourceRoot + Item.RelativePath, TargetRoot + Item.RelativePath, ToLeft);
}

bool TSynchronizeTask::CopyItemOverwriting(const TDifferenceItem &Item, bool ToLeft) {
  if (!Item.IsDirectory) {
    const std::wstring &SourceRoot = ToLeft ? FRightDirectory : FLeftDirectory;
    const std::wstring &TargetRoot = ToLeft ? FLeftDirectory : FRightDirectory;
    return CopyFileOverwriting(SourceRoot + Item.RelativePath, TargetRoot + Item.RelativePath, ToLeft);
  }
  // The user asked for this directory to be copied over the other one: its files are
  // overwritten as a single file would be.
  const TRememberedAction::TOverwriteAction Saved =
      FSynchronizeUI->GetAction(std::wstring()).GetOverwriteAction(ToLeft, false);
  FSynchronizeUI->GetAction(std::wstring()).SetOverwriteAction(ToLeft, false, TRememberedAction::oaYes);
  try {
    const bool Result = CopyItem(Item, ToLeft);
    FSynchronizeUI->GetAction(std::wstring()).SetOverwriteAction(ToLeft, false, Saved);
    return Result;
  } catch (...) {
    FSynchronizeUI->GetAction(std::wstring()).SetOverwriteAction(ToLeft, false, Saved);
    throw;
  }
}

bool TSynchronizeTask::RemoveItem(const TDifferenceItem &Item, bool OnLeft) {
  const std::wstring Path = (OnLeft ? FLeftDirectory : FRightDirectory) + Item.RelativePath;
  return Item.IsDirectory ? RemoveDirectoryTree(Path, OnLeft) : RemoveFile(Path, OnLeft);
}

// ---- Copying ----

bool TSynchronizeTask::CopyFileOverwriting(const std::wstring &Source, const std::wstring &Target,
                                           bool ToLeft) {
  TRememberedAction Saved;
  Saved.Assign(FSynchronizeUI->GetAction(std::wstring()));
  FSynchronizeUI->GetAction(std::wstring()).SetOverwriteAction(ToLeft, false, TRememberedAction::oaYes);
  auto Restore = [&]() {
    FSynchronizeUI->GetAction(std::wstring())
        .SetOverwriteAction(ToLeft, false, Saved.GetOverwriteAction(ToLeft, false));
  };
  try {
    const bool Result = CopyFileConfirmed(Source, Target, ToLeft);
    Restore();
    return Result;
  } catch (...) {
    Restore();
    throw;
  }
}

bool TSynchronizeTask::CopyFileConfirmed(const std::wstring &Source, const std::wstring &Target,
                                         bool ToLeft) {
  ShowProgress(Source, Target, 0, 1, MCopyProgressSource, MCopyProgressTarget);
  for (;;) {
    DWORD Attributes;
    if (!QueryAttributes(Source, Attributes)) {
      ForceProgressRedraw();
      if (FSynchronizeUI->AskNotFound(MFailureSourceNotFound, Source))
        continue;
      return false;
    }
    if (QueryAttributes(Target, Attributes)) {
      ForceProgressRedraw();
      if (!FSynchronizeUI->ConfirmOverwrite(Source, Target, ToLeft))
        return false;
    }
    DWORD LastError = 0;
    if (CopyOneFile(Source, Target, LastError))
      return true;

    int Message = MFailureCopy;
    {
      TFileHandle SourceFile(
          ::CreateFileW(Source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      if (!SourceFile.IsValid()) {
        Message = MFailureOpenSource;
      } else {
        SourceFile.Reset();
        TFileHandle TargetFile(::CreateFileW(Target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        if (!TargetFile.IsValid())
          Message = ::GetLastError() == ERROR_FILE_NOT_FOUND ? MFailureTargetMissing : MFailureOpenTarget;
      }
    }
    ::SetLastError(LastError);
    ForceProgressRedraw();
    if (!FSynchronizeUI->AskCopyFailure(Message, MFailureCopyTarget, Source, Target))
      return false;
  }
}

bool TSynchronizeTask::CopyOneFile(const std::wstring &Source, const std::wstring &Target, DWORD &LastError) {
  WIN32_FIND_DATAW Found{};
  {
    TFindHandle Search(::FindFirstFileW(Source.c_str(), &Found));
    if (!Search.IsValid())
      return false;
  }
  DWORD TargetAttributes = 0;
  const bool TargetExists = QueryAttributes(Target, TargetAttributes);
  if (TargetExists && (TargetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    // A directory in the way is never moved aside for a file.
    LastError = ERROR_ACCESS_DENIED;
    return false;
  }

  const std::wstring Directory = DirectoryPart(Target);
  FCopySource = Source;
  FCopyTarget = Directory + Found.cFileName;
  FCopyCancelled = false;
  FCopyFailure = nullptr;

  // The copy is made under a name of its own, so the target stays whole until the copy is.
  const std::wstring Partial = UnusedNameIn(Directory);
  if (Partial.empty()) {
    LastError = ERROR_FILE_EXISTS;
    return false;
  }
  const BOOL Copied = CopyFileFunction(FCopySource.c_str(), Partial.c_str(), &CopyProgressRoutine, this,
                                       nullptr, COPY_FILE_FAIL_IF_EXISTS);
  LastError = Copied ? 0 : ::GetLastError();
  if (!Copied) {
    DWORD Attributes;
    if (QueryAttributes(Partial, Attributes))
      DeleteFileForced(Partial);
    if (FCopyFailure) {
      std::exception_ptr Failure = FCopyFailure;
      FCopyFailure = nullptr;
      std::rethrow_exception(Failure);
    }
    if (FCopyCancelled)
      throw EAbort();
    return false;
  }

  if (TargetExists) {
    // The old file steps aside under a spare name and comes back should the new one not take
    // its place.
    const std::wstring Aside = UnusedNameIn(Directory);
    if (Aside.empty() || !::MoveFileW(Target.c_str(), Aside.c_str())) {
      LastError = Aside.empty() ? ERROR_FILE_EXISTS : ::GetLastError();
      DeleteFileForced(Partial);
      return false;
    }
    if (!::MoveFileW(Partial.c_str(), FCopyTarget.c_str())) {
      LastError = ::GetLastError();
      ::MoveFileW(Aside.c_str(), Target.c_str());
      DeleteFileForced(Partial);
      return false;
    }
    DeleteFileForced(Aside);
  } else if (!::MoveFileW(Partial.c_str(), FCopyTarget.c_str())) {
    LastError = ::GetLastError();
    DeleteFileForced(Partial);
    return false;
  }
  ::SetFileAttributesW(FCopyTarget.c_str(), Found.dwFileAttributes);
  return true;
}

DWORD CALLBACK TSynchronizeTask::CopyProgressRoutine(LARGE_INTEGER TotalFileSize,
                                                     LARGE_INTEGER TotalBytesTransferred, LARGE_INTEGER,
                                                     LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                                                     LPVOID Data) {
  if (!Data)
    return PROGRESS_CONTINUE;
  auto *Task = static_cast<TSynchronizeTask *>(Data);
  try {
    Task->ShowProgress(Task->FCopySource, Task->FCopyTarget, TotalBytesTransferred.QuadPart,
                       TotalFileSize.QuadPart, MCopyProgressSource, MCopyProgressTarget);
  } catch (const EAbort &) {
    Task->FCopyCancelled = true;
    return PROGRESS_CANCEL;
  } catch (const Exception &) {
    // A progress window that cannot be drawn is no reason to stop a copy.
  } catch (...) {
    // Nothing may unwind through the system's copy: it is handed over once the copy returned.
    Task->FCopyFailure = std::current_exception();
    return PROGRESS_CANCEL;
  }
  return PROGRESS_CONTINUE;
}

void TSynchronizeTask::SetCopyFileFunction(TCopyFileFunction Function) {
  CopyFileFunction = Function ? Function : &::CopyFileExW;
}

bool TSynchronizeTask::TargetInsideSource(const std::wstring &Source, const std::wstring &Target) {
  const std::wstring SourceKey = TVisitedDirectories::CanonicalKey(WithoutTrailingBackslash(Source));
  // A target that does not exist yet is judged by its nearest existing ancestor.
  std::wstring Existing = WithoutTrailingBackslash(Target);
  std::wstring Rest;
  DWORD Attributes;
  while (!Existing.empty() && !QueryAttributes(Existing, Attributes)) {
    const std::wstring Parent = ExtractParentPath(Existing);
    if (Parent.empty() || Parent.size() >= Existing.size())
      return false;
    Rest = Existing.substr(Parent.size()) + Rest;
    Existing = Parent;
  }
  if (Existing.empty())
    return false;
  const std::wstring TargetKey =
      WithoutTrailingBackslash(TVisitedDirectories::CanonicalKey(Existing)) + UpperCase(Rest);
  return TargetKey == SourceKey ||
         (TargetKey.size() > SourceKey.size() && TargetKey.compare(0, SourceKey.size(), SourceKey) == 0 &&
          (TargetKey[SourceKey.size()] == L'\\' || SourceKey.back() == L'\\'));
}

bool TSynchronizeTask::CopyDirectoryTree(const std::wstring &RelativeName, const std::wstring &Source,
                                         const std::wstring &Target, bool ToLeft,
                                         TVisitedDirectories *Visited) {
  TFarScreen::SetConsoleTitle(GetMsg(MTitle) + L": " + RelativeName);
  ShowProgress(Source, Target, 0, 1, MCopyProgressSource, MCopyProgressTarget);
  std::unique_ptr<TVisitedDirectories> OwnVisited;
  if (!Visited) {
    OwnVisited = std::make_unique<TVisitedDirectories>();
    Visited = OwnVisited.get();
  }
  if (Visited->Contains(Source)) {
    ShowMessageWithTitle(
        {GetMsg(MDirectoryLoopBefore), RemoveLongPathPrefix(Source), GetMsg(MDirectoryLoopAfter)});
    return false;
  }
  TVisitedDirectoryScope Scope(*Visited, Source);
  const std::wstring Prefix = WithTrailingBackslash(RelativeName);

  for (;;) {
    DWORD SourceAttributes = 0, TargetAttributes = 0;
    if (!QueryAttributes(Source, SourceAttributes)) {
      ForceProgressRedraw();
      if (FSynchronizeUI->AskNotFound(MFailureSourceNotFound, Source))
        continue;
      return false;
    }
    if ((SourceAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ForceProgressRedraw();
      if (FSynchronizeUI->AskNotDirectory(MFailureSourceNotDirectory, Source))
        continue;
      return false;
    }
    // A tree copied into itself would grow with every level it creates.
    if (TargetInsideSource(Source, Target)) {
      ShowMessageWithTitle(
          {GetMsg(MDirectoryLoopBefore), RemoveLongPathPrefix(Target), GetMsg(MDirectoryLoopAfter)});
      return false;
    }
    if (!QueryAttributes(Target, TargetAttributes)) {
      ForceDirectories(Target);
      if (!QueryAttributes(Target, TargetAttributes)) {
        ForceProgressRedraw();
        if (FSynchronizeUI->AskMakeDirectoryFailure(MFailureMakeDirectory, Target))
          continue;
        return false;
      }
    }
    if ((TargetAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ForceProgressRedraw();
      if (FSynchronizeUI->AskNotDirectory(MFailureTargetNotDirectory, Target))
        continue;
      return false;
    }
    if ((SourceAttributes & CarriedDirectoryAttributes) != (TargetAttributes & CarriedDirectoryAttributes))
      ::SetFileAttributesW(Target.c_str(), (TargetAttributes & ~CarriedDirectoryAttributes) |
                                               (SourceAttributes & CarriedDirectoryAttributes));

    const std::wstring SourceDir = WithTrailingBackslash(Source);
    const std::wstring TargetDir = WithTrailingBackslash(Target);
    WIN32_FIND_DATAW Found{};
    TFindHandle Search(::FindFirstFileW((SourceDir + L"*.*").c_str(), &Found));
    if (!Search.IsValid()) {
      // An empty drive root has no entries at all; anything else means the listing failed and
      // nothing was copied.
      const DWORD Error = ::GetLastError();
      return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_NO_MORE_FILES;
    }
    do {
      if ((Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (!IsDots(Found.cFileName))
          CopyDirectoryTree(Prefix + Found.cFileName, SourceDir + Found.cFileName,
                            TargetDir + Found.cFileName, ToLeft, Visited);
      } else {
        CopyFileConfirmed(SourceDir + Found.cFileName, TargetDir + Found.cFileName, ToLeft);
      }
    } while (::FindNextFileW(Search.Get(), &Found));
    return true;
  }
}

// ---- Deleting ----

bool TSynchronizeTask::RemoveFile(const std::wstring &Path, bool OnLeft) {
  ShowProgress(Path, std::wstring(), 0, 1, MDeleteFileProgress, NoLabel);
  DWORD Attributes;
  while (QueryAttributes(Path, Attributes)) {
    ForceProgressRedraw();
    if (!FSynchronizeUI->ConfirmDelete(Path, OnLeft))
      return false;
    ::SetFileAttributesW(Path.c_str(), Attributes & ~ProtectingAttributes);
    if (::DeleteFileW(Path.c_str()))
      break;
    ForceProgressRedraw();
    if (!FSynchronizeUI->AskDeleteFailure(MFailureDeleteFile, Path))
      return false;
  }
  return true;
}

bool TSynchronizeTask::RemoveDirectoryTree(const std::wstring &Path, bool OnLeft) {
  ShowProgress(Path, std::wstring(), 0, 1, MDeleteDirectoryProgress, NoLabel);
  for (;;) {
    DWORD Attributes;
    if (!QueryAttributes(Path, Attributes))
      return true;
    ForceProgressRedraw();
    if (!FSynchronizeUI->ConfirmDelete(Path, OnLeft))
      return false;
    bool AllRemoved = true;
    if ((Attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      const std::wstring Directory = WithTrailingBackslash(Path);
      WIN32_FIND_DATAW Found{};
      TFindHandle Search(::FindFirstFileW((Directory + L"*.*").c_str(), &Found));
      if (Search.IsValid()) {
        do {
          if ((Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (!IsDots(Found.cFileName) && !RemoveDirectoryTree(Directory + Found.cFileName, OnLeft))
              AllRemoved = false;
          } else if (!RemoveFile(Directory + Found.cFileName, OnLeft)) {
            AllRemoved = false;
          }
        } while (::FindNextFileW(Search.Get(), &Found));
      }
    }
    if (AllRemoved) {
      ::SetFileAttributesW(Path.c_str(), Attributes & ~ProtectingAttributes);
      if (::RemoveDirectoryW(Path.c_str()))
        return true;
    }
    ForceProgressRedraw();
    if (!FSynchronizeUI->AskDeleteFailure(MFailureRemoveDirectory, Path))
      return false;
  }
}

bool TSynchronizeTask::QueryAttributes(const std::wstring &Path, DWORD &Attributes) {
  Attributes = ::GetFileAttributesW(Path.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES)
    return true;
  const DWORD Error = ::GetLastError();
  if (Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND || Error == ERROR_INVALID_NAME)
    return false;
  // Some files refuse their attributes (in use, no rights) but still show up in a search.
  WIN32_FIND_DATAW Found{};
  TFindHandle Search(::FindFirstFileW(Path.c_str(), &Found));
  if (!Search.IsValid())
    return false;
  Attributes = Found.dwFileAttributes;
  return true;
}

// ---- Progress ----

void TSynchronizeTask::ShowProgress(const std::wstring &Path1, const std::wstring &Path2, int64_t Done,
                                    int64_t Total, int Label1, int Label2) {
  if (!FProgress || !FProgress->NeedsUpdate())
    return;
  if (!FProgress->IsShown())
    FProgress->Show({}); // fixes the window's width, which FitText needs
  FProgress->Show({GetMsg(MTitle), GetMsg(Label1), FProgress->FitText(RemoveLongPathPrefix(Path1)),
                   Label2 == NoLabel ? std::wstring() : GetMsg(Label2),
                   Path2.empty() ? std::wstring() : FProgress->FitText(RemoveLongPathPrefix(Path2)),
                   FProgress->ProgressBar(Done, Total)});
}

void TSynchronizeTask::ForceProgressRedraw() {
  if (FProgress)
    FProgress->RequestFullRedraw();
}

bool TSynchronizeTask::ConfirmAbort() {
  return ShowMessage({GetMsg(MAbortTitle), GetMsg(MAbortText), GetMsg(MOk), GetMsg(MCancel)}, FMSG_WARNING,
                     2) == 0;
}
