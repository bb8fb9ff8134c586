// The file operations of a synchronisation run: copying files and trees through a temporary
// name, deleting files and trees, and the checks that keep both away from what links lead to.

#include "SynchronizeDirectories.h"

#include "Files.h"
#include "Handles.h"
#include "SynchronizeUI.h"
#include "VelmoraMessages.h"
#include "VisitedDirectories.h"

#include <cstring>
#include <cwchar>
#include <shellapi.h>

namespace {

constexpr DWORD ProtectingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD CarriedDirectoryAttributes = ProtectingAttributes | FILE_ATTRIBUTE_ARCHIVE;
constexpr int NoLabel = -1;
// Names of other programs' files that happen to match ours are stepped over, a few times.
constexpr int TemporaryNameAttempts = 16;
// The most entries of one directory listed for the copies in and out of it.
constexpr size_t MaxListedEntries = 4096;
// The error a copy reports when it did not read back as its source.
constexpr DWORD VerifyFailedError = ERROR_CRC;

TSynchronizeTask::TCopyFileFunction CopyFileFunction = &::CopyFileExW;
TSynchronizeTask::TMoveFileFunction MoveFileFunction = &::MoveFileExW;

// Fixed disks may keep a Recycle Bin; shares, removable and RAM disks do not. Whether it keeps
// what the shell is given there is tried, as a file system of its own may have none.
bool VolumeHasRecycleBin(const std::wstring &Path) {
  wchar_t Volume[MAX_PATH + 1];
  if (!::GetVolumePathNameW(RemoveLongPathPrefix(Path).c_str(), Volume, MAX_PATH))
    return false;
  return ::GetDriveTypeW(Volume) == DRIVE_FIXED && RecycleBinTakesFrom(Path);
}

TSynchronizeTask::TRecycleBinProbe RecycleBinProbe = &VolumeHasRecycleBin;
TSynchronizeTask::TRecycleFunction RecycleFunction = &RecycleWithShell;
// The size of each read of a verified copy: large reads, aligned for reads past the cache.
constexpr DWORD VerifyBlock = 1 << 20;

// Everything up to and including the last backslash or colon.
std::wstring DirectoryPart(const std::wstring &Path) {
  const size_t Split = Path.find_last_of(L"\\:");
  return Split == std::wstring::npos ? std::wstring() : Path.substr(0, Split + 1);
}

bool IsDots(const wchar_t *Name) {
  return Name[0] == L'.' && (Name[1] == 0 || (Name[1] == L'.' && Name[2] == 0));
}

// The source's entry as its directory lists it (its name's letter case and its attributes).
bool LookUp(const std::wstring &Path, WIN32_FIND_DATAW &Found) {
  TFindHandle Search(
      ::FindFirstFileExW(Path.c_str(), FindExInfoBasic, &Found, FindExSearchNameMatch, nullptr, 0));
  return Search.IsValid();
}

bool IsNameTaken(DWORD Error) {
  return Error == ERROR_FILE_EXISTS || Error == ERROR_ALREADY_EXISTS;
}

std::wstring UpperCase(std::wstring Text) {
  if (!Text.empty())
    ::CharUpperBuffW(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

// Creates Path and every missing directory above it.
void ForceDirectories(const std::wstring &Path) {
  const std::wstring Bare = ExcludeTrailingBackslash(Path);
  DWORD Attributes;
  if (Bare.empty() || TSynchronizeTask::QueryAttributes(Bare, Attributes))
    return;
  const std::wstring Parent = ExtractParentPath(Bare);
  if (!Parent.empty() && Parent.size() < Bare.size())
    ForceDirectories(Parent);
  ::CreateDirectoryW(Bare.c_str(), nullptr);
}

// Deletes the file at Path itself (never what a link leads to), read-only or not, when Ours says
// the file found there is the run's own.
template <class TOurs> void RemoveFileIf(const std::wstring &Path, TOurs Ours) noexcept {
  TFileHandle File(::CreateFileW(Path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION Info{};
  if (File && ::GetFileInformationByHandle(File.Get(), &Info) && Ours(Info))
    DeleteOpenFile(File.Get(), Info.dwFileAttributes);
}

// A file a copy writes, made by the run itself under a name that did not exist. The run holds it
// open (for its attributes only, which stands in no one's way) from then on, so no other file can
// be given its number: a file under the name with that number is the run's own. The number is
// read from the held handle only when the file is to go, which spares every copy that succeeds a
// question the system answers slowly. Unless it took its place, it goes on every way out of the
// copy (a failure, Esc, an exception), so nothing partial stays.
class TOwnFile {
public:
  TOwnFile() = default;
  TOwnFile(const TOwnFile &) = delete;
  TOwnFile &operator=(const TOwnFile &) = delete;
  ~TOwnFile() { Remove(); }

  // Makes Path, which must not exist yet; false (with the system's error) when it could not.
  bool Create(const std::wstring &Path) {
    FHeld.Reset(::CreateFileW(Path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FHeld)
      return false;
    FPath = Path;
    return true;
  }
  // The file took its place under another name: it is no longer the run's to remove.
  void Keep() {
    FPath.clear();
    FHeld.Reset();
  }
  void Remove() noexcept {
    // A file someone else put under the name after ours was gone is never touched.
    BY_HANDLE_FILE_INFORMATION Own{};
    if (!FPath.empty() && ::GetFileInformationByHandle(FHeld.Get(), &Own))
      RemoveFileIf(FPath, [&Own](const BY_HANDLE_FILE_INFORMATION &Info) {
        return Info.dwVolumeSerialNumber == Own.dwVolumeSerialNumber &&
               Info.nFileIndexHigh == Own.nFileIndexHigh && Info.nFileIndexLow == Own.nFileIndexLow;
      });
    Keep();
  }

private:
  std::wstring FPath;
  TFileHandle FHeld;
};

} // namespace

// ---- Entries left undone inside a directory item ----

void TSynchronizeTask::NoteUndone(const std::wstring &Path, bool IsDirectory) {
  if (!FUndone || Path.size() <= FUndone->Root.size() ||
      Path.compare(0, FUndone->Root.size(), FUndone->Root) != 0)
    return;
  std::wstring Relative = ExcludeTrailingBackslash(Path.substr(FUndone->Root.size()));
  FUndone->Items.push_back(
      TDifferenceItem(FUndone->DiffType, FUndone->Reason, std::move(Relative), IsDirectory));
}

size_t TSynchronizeTask::UndoneCount() const {
  return FUndone ? FUndone->Items.size() : 0;
}

void TSynchronizeTask::ForgetUndoneFrom(size_t Count) {
  if (FUndone && FUndone->Items.size() > Count)
    FUndone->Items.resize(Count);
}

// ---- Links ----

std::wstring TSynchronizeTask::LinkOnTheWay(const std::wstring &Root, const std::wstring &RelativePath) {
  for (size_t Split = RelativePath.find(L'\\'); Split != std::wstring::npos;
       Split = RelativePath.find(L'\\', Split + 1)) {
    std::wstring Directory = Root + RelativePath.substr(0, Split);
    if (FPlainDirectories.count(Directory))
      continue;
    const DWORD Attributes = ::GetFileAttributesW(Directory.c_str());
    // Nothing exists from here on: whatever the run makes there is a plain directory.
    if (Attributes == INVALID_FILE_ATTRIBUTES)
      return std::wstring();
    if (Attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      return Directory;
    FPlainDirectories.insert(std::move(Directory));
  }
  return std::wstring();
}

bool TSynchronizeTask::NoLinkOnTheWay(const std::wstring &Root, const std::wstring &RelativePath) {
  for (;;) {
    const std::wstring Link = LinkOnTheWay(Root, RelativePath);
    if (Link.empty())
      return true;
    ForceProgressRedraw();
    if (!FSynchronizeUI->AskThroughLink(MFailureThroughLink, MFailureLinkIs, Root + RelativePath, Link))
      return false;
  }
}

// ---- Copying ----

const WIN32_FIND_DATAW *TSynchronizeTask::ListedEntry(TListedDirectory &Listing, const std::wstring &Path) {
  const std::wstring Directory = DirectoryPart(Path);
  const std::wstring Key = UpperCase(Directory);
  if (Listing.Directory != Key) {
    Listing.Forget();
    // A directory asked about once is not listed: a single file in a large one would cost a
    // whole listing.
    if (Listing.LastAsked != Key) {
      Listing.LastAsked = Key;
      return nullptr;
    }
    Listing.Directory = Key;
    WIN32_FIND_DATAW Found;
    TFindHandle Search(::FindFirstFileExW((Directory + L"*").c_str(), FindExInfoBasic, &Found,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    // Names past the limit are looked up one by one: an exact name found in part of the listing
    // is still the file its path opens.
    for (size_t Count = 0; Search.IsValid() && Count < MaxListedEntries; ++Count) {
      if (!IsDots(Found.cFileName))
        Listing.Entries.emplace(Found.cFileName, Found);
      if (!::FindNextFileW(Search.Get(), &Found))
        break;
    }
  }
  const auto Entry = Listing.Entries.find(Path.substr(Directory.size()));
  return Entry == Listing.Entries.end() ? nullptr : &Entry->second;
}

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
  return CopyListedFile(Source, Target, ToLeft, nullptr, nullptr);
}

bool TSynchronizeTask::CopyListedFile(const std::wstring &Source, const std::wstring &Target, bool ToLeft,
                                      const WIN32_FIND_DATAW *Listed, const std::wstring *Building) {
  ShowProgress(Source, Target, 0, 1, MCopyProgressSource, MCopyProgressTarget);
  for (;; Listed = nullptr) { // after a question nothing is taken from the listing any more
    DWORD TargetAttributes = 0, SourceAttributes = 0;
    bool TargetExists = !Building && QueryAttributes(Target, TargetAttributes);
    // An answer the user gave before (or silent mode's) needs no question, and so no redrawing
    // of the progress window nor a second look at the target.
    const int Remembered =
        TargetExists ? FSynchronizeUI->RememberedOverwrite(Target, ToLeft, TargetAttributes) : 1;
    if (Remembered == 0)
      return false;
    if (Remembered < 0) {
      // Nobody is asked to overwrite a file with one that is not there.
      if (!Listed && !QueryAttributes(Source, SourceAttributes)) {
        ForceProgressRedraw();
        if (FSynchronizeUI->AskNotFound(MFailureSourceNotFound, Source))
          continue;
        return false;
      }
      ForceProgressRedraw();
      if (!FSynchronizeUI->ConfirmOverwrite(Source, Target, ToLeft))
        return false;
      TargetExists = QueryAttributes(Target, TargetAttributes);
    }
    DWORD LastError = 0;
    if (Building ? CopyIntoBuilding(Source, *Building, Target, Listed, LastError)
                 : CopyKnownFile(Source, Target, Listed, TargetExists, TargetAttributes, LastError))
      return true;
    // The user was already told where a finished copy was left.
    if (LastError == ERROR_CANCELLED)
      return false;
    if (!QueryAttributes(Source, SourceAttributes)) {
      ForceProgressRedraw();
      if (FSynchronizeUI->AskNotFound(MFailureSourceNotFound, Source))
        continue;
      return false;
    }

    int Message = MFailureCopy;
    if (LastError == VerifyFailedError) {
      Message = MFailureVerify;
    } else {
      TFileHandle SourceFile(
          ::CreateFileW(Source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      if (!SourceFile.IsValid()) {
        Message = MFailureOpenSource;
      } else {
        SourceFile.Reset();
        TFileHandle TargetFile(::CreateFileW((Building ? *Building : Target).c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
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

std::wstring TSynchronizeTask::NextTemporaryName(const std::wstring &Directory) {
  // The process and the task tell runs apart, the counter the copies of a run.
  static const unsigned Seed = ::GetCurrentProcessId() << 16;
  wchar_t Name[32];
  swprintf(Name, 32, L"~vlm%08x.tmp",
           Seed ^ (static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)) >> 4) ^ ++FTemporaryCounter);
  return Directory + Name;
}

bool TSynchronizeTask::PutCopyInPlace(const std::wstring &Partial, const std::wstring &Target,
                                      bool TargetExists, DWORD TargetAttributes, bool NameKept,
                                      DWORD &LastError) {
  if (!TargetExists) {
    if (MoveFileFunction(Partial.c_str(), FCopyTarget.c_str(), 0))
      return true;
    LastError = ::GetLastError();
    return false;
  }
  // The copy replaces the old file in one step: at no moment is the old contents anywhere but
  // under the target's name.
  if (TargetAttributes & ProtectingAttributes)
    ::SetFileAttributesW(Target.c_str(), TargetAttributes & ~ProtectingAttributes);
  if (!MoveFileFunction(Partial.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    LastError = ::GetLastError();
    if (TargetAttributes & ProtectingAttributes)
      ::SetFileAttributesW(Target.c_str(), TargetAttributes);
    return false;
  }
  // The name as the file system kept it: a replace may keep the old name's letter case, and
  // the target then is given the source's by a rename through a free name. Only the new contents
  // ever moves.
  WIN32_FIND_DATAW Kept;
  const wchar_t *Wanted = FCopyTarget.c_str() + DirectoryPart(FCopyTarget).size();
  if (NameKept || !LookUp(FCopyTarget, Kept) || std::wcscmp(Kept.cFileName, Wanted) == 0)
    return true;
  FListed[1].Forget();
  const std::wstring Aside = NextTemporaryName(DirectoryPart(Target));
  if (!MoveFileFunction(Target.c_str(), Aside.c_str(), 0)) {
    // The new contents is in place, under the old name's case: not done until it has the new.
    LastError = ::GetLastError();
    return false;
  }
  if (MoveFileFunction(Aside.c_str(), FCopyTarget.c_str(), 0))
    return true;
  LastError = ::GetLastError();
  while (!MoveFileFunction(Aside.c_str(), Target.c_str(), 0)) {
    ForceProgressRedraw();
    if (!FSynchronizeUI->AskFailure(MFailureCopyKeptAs, MFailureCopyTarget, Aside, Target,
                                    TRememberedAction::frCopy)) {
      LastError = ERROR_CANCELLED;
      return false;
    }
  }
  return true;
}

bool TSynchronizeTask::CopyOneFile(const std::wstring &Source, const std::wstring &Target, DWORD &LastError) {
  DWORD TargetAttributes = 0;
  const bool TargetExists = QueryAttributes(Target, TargetAttributes);
  return CopyKnownFile(Source, Target, nullptr, TargetExists, TargetAttributes, LastError);
}

bool TSynchronizeTask::CopyKnownFile(const std::wstring &Source, const std::wstring &Target,
                                     const WIN32_FIND_DATAW *Listed, bool TargetExists,
                                     DWORD TargetAttributes, DWORD &LastError) {
  // The source's name (for its letter case) and attributes, from its listing or looked up.
  WIN32_FIND_DATAW Found;
  if (!Listed) {
    if (const WIN32_FIND_DATAW *Entry = ListedEntry(FListed[0], Source))
      Found = *Entry;
    else if (!LookUp(Source, Found))
      return false;
    Listed = &Found;
  }
  if (TargetExists && (TargetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    // A directory in the way is never replaced by a file.
    LastError = ERROR_ACCESS_DENIED;
    return false;
  }

  const std::wstring Directory = DirectoryPart(Target);
  FCopySource = Source;
  FCopyTarget = Directory + Listed->cFileName;
  FCopyCancelled = false;
  FCopyFailure = nullptr;
  // A target its directory lists under the source's very name, replaced under that name, keeps
  // it: only a name that may differ in letter case is read back after the copy.
  const bool NameKept = TargetExists && Target == FCopyTarget && ListedEntry(FListed[1], FCopyTarget);
  // The copy changes its directory: a listing of it for copies out of it is out of date.
  if (FListed[0].Directory == UpperCase(Directory))
    FListed[0].Forget();

  // The copy is made under a name of its own, which the run itself creates, so the target stays
  // whole until the copy is and whatever is left under that name is known to be the run's.
  TOwnFile Partial;
  std::wstring PartialName;
  bool DirectoryMade = false;
  for (int Attempt = 1;; ++Attempt) {
    PartialName = NextTemporaryName(Directory);
    if (Partial.Create(PartialName)) {
      if (CopyFileFunction(FCopySource.c_str(), PartialName.c_str(), &CopyProgressRoutine, this, nullptr, 0))
        break;
      LastError = ::GetLastError();
      Partial.Remove();
    } else {
      LastError = ::GetLastError();
      // A file whose directory is not on this side (the rest of it was deleted here) makes the
      // directory again.
      if (LastError == ERROR_PATH_NOT_FOUND && !DirectoryMade) {
        DirectoryMade = true;
        ForceDirectories(Directory);
        continue;
      }
    }
    // Someone else's file holds the name: it is left alone and the next name tried.
    if (IsNameTaken(LastError) && !FCopyCancelled && !FCopyFailure && Attempt < TemporaryNameAttempts)
      continue;
    PassOnCopyInterruption();
    return false;
  }
  if (!VerifiedOrRemoved(FCopySource, PartialName, LastError) ||
      !PutCopyInPlace(PartialName, Target, TargetExists, TargetAttributes, NameKept, LastError))
    return false;
  Partial.Keep();
  CopyCompleted(FCopyTarget, *Listed, Target, TargetExists);
  return true;
}

void TSynchronizeTask::CopyCompleted(const std::wstring &Copy, const WIN32_FIND_DATAW &Listed,
                                     const std::wstring &Target, bool Replaced) {
  // The system's copy carries the source's attributes and marks a new file for archiving: only
  // other attributes need setting.
  if (Listed.dwFileAttributes != FILE_ATTRIBUTE_ARCHIVE)
    ::SetFileAttributesW(Copy.c_str(), Listed.dwFileAttributes);
  const int64_t Size = (static_cast<int64_t>(Listed.nFileSizeHigh) << 32) | Listed.nFileSizeLow;
  EntryDone(Size);
  FRunLog.Copied(Target, Size, Replaced);
}

bool TSynchronizeTask::CopyIntoBuilding(const std::wstring &Source, const std::wstring &Building,
                                        const std::wstring &Target, const WIN32_FIND_DATAW *Listed,
                                        DWORD &LastError) {
  // Inside a directory being built nothing is in the way, and the copy needs no name of its own:
  // the directory itself appears only once complete.
  WIN32_FIND_DATAW Found;
  if (!Listed && !LookUp(Source, Found))
    return false;
  if (!Listed)
    Listed = &Found;
  FCopySource = Source;
  FCopyTarget = Target;
  FCopyCancelled = false;
  FCopyFailure = nullptr;
  // Everything in the directory being built is the run's own, so the copy needs no file of its
  // own made first: the system's copy makes it, refusing a name already there (which is left
  // alone), and a file that fails goes at once, so that no partial file stands under its name when
  // the directory takes its own.
  struct TPartial {
    const std::wstring &Path;
    bool Ours = false;
    ~TPartial() {
      if (Ours)
        RemoveFileIf(Path, [](const BY_HANDLE_FILE_INFORMATION &) { return true; });
    }
  } Partial{Building};
  if (!CopyFileFunction(Source.c_str(), Building.c_str(), &CopyProgressRoutine, this, nullptr,
                        COPY_FILE_FAIL_IF_EXISTS)) {
    LastError = ::GetLastError();
    Partial.Ours = !IsNameTaken(LastError);
    PassOnCopyInterruption();
    return false;
  }
  Partial.Ours = true;
  if (!VerifiedOrRemoved(Source, Building, LastError))
    return false;
  Partial.Ours = false;
  CopyCompleted(Building, *Listed, Target, false);
  return true;
}

void TSynchronizeTask::PassOnCopyInterruption() {
  if (FCopyFailure) {
    std::exception_ptr Failure = FCopyFailure;
    FCopyFailure = nullptr;
    std::rethrow_exception(Failure);
  }
  if (FCopyCancelled)
    throw EAbort();
}

DWORD CALLBACK TSynchronizeTask::CopyProgressRoutine(LARGE_INTEGER TotalFileSize,
                                                     LARGE_INTEGER TotalBytesTransferred, LARGE_INTEGER,
                                                     LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                                                     LPVOID Data) {
  if (!Data)
    return PROGRESS_CONTINUE;
  auto *Task = static_cast<TSynchronizeTask *>(Data);
  Task->FRun.CurrentBytes = TotalBytesTransferred.QuadPart;
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

void TSynchronizeTask::SetMoveFileFunction(TMoveFileFunction Function) {
  MoveFileFunction = Function ? Function : &::MoveFileExW;
}

void TSynchronizeTask::SetRecycleBinProbe(TRecycleBinProbe Probe) {
  RecycleBinProbe = Probe ? Probe : &VolumeHasRecycleBin;
}

void TSynchronizeTask::SetRecycleFunction(TRecycleFunction Function) {
  RecycleFunction = Function ? Function : &RecycleWithShell;
}

bool TSynchronizeTask::VerifiedOrRemoved(const std::wstring &Source, const std::wstring &Copy,
                                         DWORD &LastError) {
  // A copy that does not read back as its source never takes the target's place (the caller's
  // guard removes it).
  if (!FVerify || VerifyCopy(Source, Copy))
    return true;
  LastError = VerifyFailedError;
  return false;
}

bool TSynchronizeTask::VerifyCopy(const std::wstring &Source, const std::wstring &Copy) {
  if (!FVerifyBuffer) {
    FVerifyBuffer.reset(static_cast<char *>(
        ::VirtualAlloc(nullptr, 2 * VerifyBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
    if (!FVerifyBuffer)
      return false;
  }
  TFileHandle In(::CreateFileW(Source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  // The copy is read from the disk itself where the system allows it, not from what the copy
  // left in memory.
  TFileHandle Back(::CreateFileW(Copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_NO_BUFFERING, nullptr));
  if (!Back.IsValid())
    Back.Reset(::CreateFileW(Copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER Size{}, BackSize{};
  if (!In.IsValid() || !Back.IsValid() || !::GetFileSizeEx(In.Get(), &Size) ||
      !::GetFileSizeEx(Back.Get(), &BackSize) || Size.QuadPart != BackSize.QuadPart)
    return false;
  char *Mine = FVerifyBuffer.get(), *Theirs = FVerifyBuffer.get() + VerifyBlock;
  for (int64_t Done = 0;;) {
    // The user knows the copy by its target's name, not by the temporary one it is read back under.
    ShowProgress(Source, FCopyTarget, Done, Size.QuadPart, MVerifyProgress, MCopyProgressTarget);
    DWORD Read = 0, ReadBack = 0;
    if (!::ReadFile(In.Get(), Mine, VerifyBlock, &Read, nullptr) ||
        !::ReadFile(Back.Get(), Theirs, VerifyBlock, &ReadBack, nullptr) || Read != ReadBack)
      return false;
    if (Read == 0)
      return Done == Size.QuadPart;
    if (std::memcmp(Mine, Theirs, Read) != 0)
      return false;
    Done += Read;
  }
}

bool TSynchronizeTask::TargetInsideSource(const std::wstring &SourceKey, const std::wstring &Target) {
  // A target that does not exist yet is judged by its nearest existing ancestor.
  std::wstring Existing = ExcludeTrailingBackslash(Target);
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
      ExcludeTrailingBackslash(TVisitedDirectories::CanonicalKey(Existing)) + UpperCase(Rest);
  return TargetKey == SourceKey ||
         (TargetKey.size() > SourceKey.size() && TargetKey.compare(0, SourceKey.size(), SourceKey) == 0 &&
          (TargetKey[SourceKey.size()] == L'\\' || SourceKey.back() == L'\\'));
}

bool TSynchronizeTask::CopyDirectoryTree(const std::wstring &RelativeName, const std::wstring &Source,
                                         const std::wstring &Target, bool ToLeft,
                                         TVisitedDirectories *Visited) {
  std::unique_ptr<TVisitedDirectories> OwnVisited;
  if (!Visited) {
    OwnVisited = std::make_unique<TVisitedDirectories>();
    Visited = OwnVisited.get();
  }
  return CopyListedTree(RelativeName, Source, Target, ToLeft, *Visited,
                        TVisitedDirectories::CanonicalKey(Source), nullptr, nullptr);
}

bool TSynchronizeTask::CopyListedTree(const std::wstring &RelativeName, const std::wstring &Source,
                                      const std::wstring &Target, bool ToLeft, TVisitedDirectories &Visited,
                                      const std::wstring &SourceKey, const WIN32_FIND_DATAW *Listed,
                                      const std::wstring *Building) {
  FProgressItem = RelativeName;
  ShowProgress(Source, Target, 0, 1, MCopyProgressSource, MCopyProgressTarget);
  // A directory leading back into the tree is reported and left out: copying it would copy
  // the tree into itself. Nothing more can be done about it, so it counts as done.
  if (Visited.ContainsKey(SourceKey)) {
    ShowMessageWithTitle(
        {GetMsg(MDirectoryLoopBefore), RemoveLongPathPrefix(Source), GetMsg(MDirectoryLoopAfter)});
    return true;
  }
  TVisitedKeyScope Scope(Visited, SourceKey);
  const bool Top = Listed == nullptr;

  for (;; Listed = nullptr) { // after a question nothing is taken from the listing any more
    DWORD SourceAttributes = 0, TargetAttributes = 0;
    if (Listed) {
      SourceAttributes = Listed->dwFileAttributes;
    } else if (!QueryAttributes(Source, SourceAttributes)) {
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
    if (Building) {
      // A directory inside one being built is new too.
      if (!::CreateDirectoryW(Building->c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        ForceProgressRedraw();
        if (FSynchronizeUI->AskMakeDirectoryFailure(MFailureMakeDirectory, Target))
          continue;
        return false;
      }
      CarryDirectoryAttributes(*Building, FILE_ATTRIBUTE_DIRECTORY, SourceAttributes);
      if (CopyTreeLevel(RelativeName, Source, Target, ToLeft, Visited, SourceKey, Building))
        return true;
      // Nothing of it could be listed: no empty directory stands for it.
      RemoveBuiltTree(*Building);
      return false;
    }
    // A tree copied into itself would grow with every level it creates. Below the top the
    // target is a directory this copy walks, never a link, so it cannot lead there.
    if (Top && TargetInsideSource(SourceKey, Target)) {
      ShowMessageWithTitle(
          {GetMsg(MDirectoryLoopBefore), RemoveLongPathPrefix(Target), GetMsg(MDirectoryLoopAfter)});
      return false;
    }
    if (!QueryAttributes(Target, TargetAttributes)) {
      bool Done = false;
      if (CopyTreeBuilt(RelativeName, Source, Target, ToLeft, Visited, SourceKey, SourceAttributes, Done))
        return Done;
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
    // Nothing is ever copied into what a link leads to.
    if (TargetAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      ForceProgressRedraw();
      if (FSynchronizeUI->AskThroughLink(MFailureThroughLink, MFailureLinkIs, Target, Target))
        continue;
      return false;
    }
    CarryDirectoryAttributes(Target, TargetAttributes, SourceAttributes);
    return CopyTreeLevel(RelativeName, Source, Target, ToLeft, Visited, SourceKey, nullptr);
  }
}

bool TSynchronizeTask::CopyTreeBuilt(const std::wstring &RelativeName, const std::wstring &Source,
                                     const std::wstring &Target, bool ToLeft, TVisitedDirectories &Visited,
                                     const std::wstring &SourceKey, DWORD SourceAttributes, bool &Done) {
  // A directory that is not there yet is built under a name of its own beside it and takes its
  // name once complete: a copy cut short never leaves a half tree under the real name, and the
  // files inside need no names of their own.
  const std::wstring Final = ExcludeTrailingBackslash(Target);
  const std::wstring Parent = DirectoryPart(Final);
  ForceDirectories(Parent);
  const std::wstring Building = NextTemporaryName(Parent);
  if (!::CreateDirectoryW(Building.c_str(), nullptr))
    return false;
  CarryDirectoryAttributes(Building, FILE_ATTRIBUTE_DIRECTORY, SourceAttributes);
  const size_t UndoneBefore = UndoneCount();
  try {
    Done = CopyTreeLevel(RelativeName, Source, Target, ToLeft, Visited, SourceKey, &Building);
  } catch (...) {
    // What was copied before the user stopped stays: every file in it is whole. Without it, the
    // whole directory is still to copy.
    if (!MoveFileFunction(Building.c_str(), Final.c_str(), 0)) {
      RemoveBuiltTree(Building);
      ForgetUndoneFrom(UndoneBefore);
      NoteUndone(Final, true);
    }
    throw;
  }
  // Nothing of it could be listed: no empty directory stands for it.
  if (!Done) {
    RemoveBuiltTree(Building);
    return true;
  }
  if (MoveFileFunction(Building.c_str(), Final.c_str(), 0))
    return true;
  // Something took the name meanwhile: the copy goes into it file by file instead.
  RemoveBuiltTree(Building);
  ForgetUndoneFrom(UndoneBefore);
  return false;
}

bool TSynchronizeTask::CopyTreeLevel(const std::wstring &RelativeName, const std::wstring &Source,
                                     const std::wstring &Target, bool ToLeft, TVisitedDirectories &Visited,
                                     const std::wstring &SourceKey, const std::wstring *Building) {
  const std::wstring Prefix = IncludeTrailingBackslash(RelativeName);
  const std::wstring SourceDir = IncludeTrailingBackslash(Source);
  const std::wstring TargetDir = IncludeTrailingBackslash(Target);
  const std::wstring BuildingDir = Building ? IncludeTrailingBackslash(*Building) : std::wstring();
  WIN32_FIND_DATAW Found;
  TFindHandle Search;
  for (;;) {
    Search.Reset(::FindFirstFileExW((SourceDir + L"*").c_str(), FindExInfoBasic, &Found,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (Search.IsValid())
      break;
    // An empty drive root has no entries at all; anything else means the listing failed and
    // nothing was copied: the user is told which directory.
    const DWORD Error = ::GetLastError();
    if (Error == ERROR_FILE_NOT_FOUND || Error == ERROR_NO_MORE_FILES)
      return true;
    ForceProgressRedraw();
    ::SetLastError(Error);
    if (!FSynchronizeUI->AskFailure(MFailureListDirectory, NoLabel, Source, std::wstring(),
                                    TRememberedAction::frCopy))
      return false;
  }
  std::wstring EntryBuilding;
  do {
    if (IsDots(Found.cFileName) ||
        !FFilter.Passes(Found.cFileName, (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
      continue;
    const std::wstring EntryTarget = TargetDir + Found.cFileName;
    if (Building)
      EntryBuilding = BuildingDir + Found.cFileName;
    const std::wstring *EntryBuildingPath = Building ? &EntryBuilding : nullptr;
    const size_t UndoneBefore = UndoneCount();
    try {
      if ((Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const std::wstring EntrySource = SourceDir + Found.cFileName;
        // An ordinary subdirectory really is where its parent is, under its listed name; only a
        // link needs finding out where it leads.
        const std::wstring EntryKey =
            (Found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                ? TVisitedDirectories::CanonicalKey(EntrySource)
                : IncludeTrailingBackslash(SourceKey) + TVisitedDirectories::KeyOfRealPath(Found.cFileName);
        const std::wstring SubBuilding = EntryBuilding;
        if (!CopyListedTree(Prefix + Found.cFileName, EntrySource, EntryTarget, ToLeft, Visited, EntryKey,
                            &Found, Building ? &SubBuilding : nullptr))
          NoteUndone(EntryTarget, true);
      } else if (!CopyListedFile(SourceDir + Found.cFileName, EntryTarget, ToLeft, &Found,
                                 EntryBuildingPath)) {
        NoteUndone(EntryTarget, false);
      }
    } catch (...) {
      NoteRestOfLevel(Search.Get(), Found, TargetDir, UndoneBefore);
      throw;
    }
  } while (::FindNextFileW(Search.Get(), &Found));
  return true;
}

void TSynchronizeTask::NoteRestOfLevel(HANDLE Search, WIN32_FIND_DATAW &Found, const std::wstring &TargetDir,
                                       size_t UndoneBefore) {
  // The entry in hand, unless its own walk noted what it left, and the rest of the listing.
  if (UndoneCount() == UndoneBefore)
    NoteUndone(TargetDir + Found.cFileName, (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  while (::FindNextFileW(Search, &Found)) {
    const bool IsDirectory = (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!IsDots(Found.cFileName) && FFilter.Passes(Found.cFileName, IsDirectory))
      NoteUndone(TargetDir + Found.cFileName, IsDirectory);
  }
}

void TSynchronizeTask::CarryDirectoryAttributes(const std::wstring &Target, DWORD TargetAttributes,
                                                DWORD SourceAttributes) {
  if ((SourceAttributes & CarriedDirectoryAttributes) != (TargetAttributes & CarriedDirectoryAttributes))
    ::SetFileAttributesW(Target.c_str(), (TargetAttributes & ~CarriedDirectoryAttributes) |
                                             (SourceAttributes & CarriedDirectoryAttributes));
}

void TSynchronizeTask::RemoveBuiltTree(const std::wstring &Path) {
  ::SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
  // Only copies this run made are in it.
  const std::wstring Directory = IncludeTrailingBackslash(Path);
  {
    WIN32_FIND_DATAW Found;
    TFindHandle Search(::FindFirstFileExW((Directory + L"*").c_str(), FindExInfoBasic, &Found,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (Search.IsValid()) {
      do {
        if (IsDots(Found.cFileName))
          continue;
        const std::wstring Entry = Directory + Found.cFileName;
        ::SetFileAttributesW(Entry.c_str(), Found.dwFileAttributes & ~ProtectingAttributes);
        if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveBuiltTree(Entry);
        else
          ::DeleteFileW(Entry.c_str());
      } while (::FindNextFileW(Search.Get(), &Found));
    }
  }
  ::RemoveDirectoryW(Path.c_str());
}

// ---- Deleting ----

TSynchronizeTask::TRecycleOutcome TSynchronizeTask::Recycle(const std::wstring &Path, bool OnLeft,
                                                            bool IsDirectory, bool Whole) {
  if (!FRecycle || FPermanentAgreed)
    return roPermanent;
  int &Has = FHasRecycleBin[OnLeft ? 0 : 1];
  if (Has < 0)
    Has = RecycleBinProbe(OnLeft ? FLeftDirectory : FRightDirectory) ? 1 : 0;
  // The shell takes no path of the long form: a longer one is asked about as one without a bin.
  const bool TooLong = RemoveLongPathPrefix(Path).size() >= MAX_PATH;
  if (Has && !TooLong) {
    if (!Whole)
      return roWalk;
    // Where the shell would delete for good it is refused, and nothing is gone until the user
    // agreed.
    const TRecycleResult Result = RecycleFunction(Path);
    if (Result != rrRefused)
      return Result == rrRecycled ? roRecycled : roFailed;
  }
  ForceProgressRedraw();
  return FSynchronizeUI->ConfirmPermanentDelete(Path, OnLeft, IsDirectory, Has && TooLong) ? roPermanent
                                                                                           : roDeclined;
}

bool TSynchronizeTask::RemoveFile(const std::wstring &Path, bool OnLeft) {
  ShowProgress(Path, std::wstring(), 0, 1, MDeleteFileProgress, NoLabel);
  DWORD Attributes;
  while (QueryAttributes(Path, Attributes)) {
    ForceProgressRedraw();
    if (!FSynchronizeUI->ConfirmDelete(Path, OnLeft))
      return false;
    int Failure = MFailureDeleteFile;
    if ((Attributes & FILE_ATTRIBUTE_REPARSE_POINT) || OpensElsewhere(Path)) {
      // A link to a file goes on its own, as a link to a directory does: the system's deletion
      // (or the Recycle Bin's) may reach what it leads to, which is never touched.
      if (RemoveLink(Path)) {
        EntryDone(0);
        FRunLog.Deleted(Path, false, false);
        break;
      }
      Failure = MFailureLinkNotRemovable;
    } else {
      const TRecycleOutcome Outcome = Recycle(Path, OnLeft, false, true);
      if (Outcome == roDeclined)
        return false;
      if (Outcome == roRecycled) {
        EntryDone(0);
        FRunLog.Deleted(Path, true, false);
        break;
      }
      if (Outcome == roPermanent) {
        ::SetFileAttributesW(Path.c_str(), Attributes & ~ProtectingAttributes);
        if (::DeleteFileW(Path.c_str())) {
          EntryDone(0);
          FRunLog.Deleted(Path, false, false);
          break;
        }
      }
    }
    ForceProgressRedraw();
    if (!FSynchronizeUI->AskDeleteFailure(Failure, Path))
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
    const size_t UndoneBefore = UndoneCount();
    int Failure = MFailureRemoveDirectory;
    if (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link goes on its own; what it leads to is never walked nor touched.
      if (RemoveLink(Path)) {
        EntryDone(0);
        FRunLog.Deleted(Path, false, true);
        return true;
      }
      Failure = MFailureLinkNotRemovable;
    } else {
      // The Recycle Bin takes a tree in one piece, unless the masks keep part of it here; then
      // each entry goes on its own. Where there is none, the user's answer covers the tree.
      const TRecycleOutcome Outcome = Recycle(Path, OnLeft, true, FFilter.Empty());
      if (Outcome == roDeclined)
        return false;
      if (Outcome == roRecycled) {
        EntryDone(0);
        FRunLog.Deleted(Path, true, true);
        return true;
      }
      bool AllRemoved = Outcome != roFailed, Kept = false, KeptBelow = false;
      const bool AgreedBefore = FPermanentAgreed;
      struct TRestore {
        bool &Flag;
        bool Value;
        ~TRestore() { Flag = Value; }
      } Restore{FPermanentAgreed, AgreedBefore};
      FPermanentAgreed = AgreedBefore || (FRecycle && Outcome == roPermanent);
      const std::wstring Directory = IncludeTrailingBackslash(Path);
      WIN32_FIND_DATAW Found{};
      TFindHandle Search(AllRemoved ? ::FindFirstFileW((Directory + L"*.*").c_str(), &Found)
                                    : INVALID_HANDLE_VALUE);
      if (Search.IsValid()) {
        do {
          const std::wstring Entry = Directory + Found.cFileName;
          const bool IsDirectory = (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
          if (IsDirectory && IsDots(Found.cFileName))
            continue;
          // What the masks leave out is not the run's to delete; the directory stays for it.
          if (!FFilter.Passes(Found.cFileName, IsDirectory)) {
            Kept = true;
            continue;
          }
          if (IsDirectory) {
            const size_t Before = UndoneCount();
            FKeptForMasks = false;
            if (!RemoveDirectoryTree(Entry, OnLeft)) {
              // A directory kept for what the masks leave out keeps this one, as those would.
              if (FKeptForMasks) {
                KeptBelow = true;
                continue;
              }
              AllRemoved = false;
              // A directory kept only for what stays inside it is not listed itself.
              if (UndoneCount() == Before)
                NoteUndone(Entry, true);
            }
          } else if (!RemoveFile(Entry, OnLeft)) {
            AllRemoved = false;
            NoteUndone(Entry, false);
          }
        } while (::FindNextFileW(Search.Get(), &Found));
      }
      if (AllRemoved && (Kept || KeptBelow)) {
        // Not done: the directory stays, and comes back, for what the masks leave out in it.
        if (Kept)
          ShowMessageWithTitle(
              {GetMsg(MKeptForMasksBefore), RemoveLongPathPrefix(Path), GetMsg(MKeptForMasksAfter)});
        FKeptForMasks = true;
        return false;
      }
      if (AllRemoved) {
        ::SetFileAttributesW(Path.c_str(), Attributes & ~ProtectingAttributes);
        if (::RemoveDirectoryW(Path.c_str())) {
          EntryDone(0);
          FRunLog.Deleted(Path, false, true);
          return true;
        }
      }
    }
    ForceProgressRedraw();
    if (!FSynchronizeUI->AskDeleteFailure(Failure, Path))
      return false;
    // Another attempt walks the directory again and notes afresh what stays.
    ForgetUndoneFrom(UndoneBefore);
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
