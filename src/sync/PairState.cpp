#include "PairState.h"

#include "FarPlugin.h"

#include "FarFormat.h"
#include "Files.h"
#include "Handles.h"
#include "Streams.h"
#include "SynchronizeDirectories.h"
#include "Velmora.h"
#include "VelmoraMessages.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr char Magic[4] = {'V', 'M', 'P', 'S'};
constexpr uint32_t FormatVersion = 1;
constexpr uint32_t FlagDirectory = 1, FlagContentsEqual = 2;
// No path of the file system is longer; a larger count is damage, not a path.
constexpr uint32_t MaxPathUnits = 32767;

uint64_t Fnv1a(const void *Data, size_t Size, uint64_t Hash = 14695981039346656037ULL) {
  const auto *Bytes = static_cast<const uint8_t *>(Data);
  for (size_t I = 0; I < Size; ++I) {
    Hash ^= Bytes[I];
    Hash *= 1099511628211ULL;
  }
  return Hash;
}

std::wstring UpperCase(std::wstring Text) {
  if (!Text.empty())
    ::CharUpperBuffW(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

std::wstring NormalRoot(const std::wstring &Root) {
  return UpperCase(ExcludeTrailingBackslash(RemoveLongPathPrefix(Root)));
}

class TWriter {
public:
  template <class T> void Put(const T &Value) {
    const auto *Bytes = reinterpret_cast<const uint8_t *>(&Value);
    FData.insert(FData.end(), Bytes, Bytes + sizeof(T));
  }
  void PutText(std::wstring_view Text) {
    Put(static_cast<uint32_t>(Text.size()));
    const auto *Bytes = reinterpret_cast<const uint8_t *>(Text.data());
    FData.insert(FData.end(), Bytes, Bytes + Text.size() * sizeof(wchar_t));
  }
  std::vector<uint8_t> &Data() { return FData; }

private:
  std::vector<uint8_t> FData;
};

// The state file read front to back through a small buffer, its checksum taken on the way: a
// large state is never held whole, which costs a fresh block of memory as large as the file.
class TReader {
public:
  // Size: the bytes before the checksum.
  TReader(HANDLE File, uint64_t Size) : FFile(File), FLeft(Size), FBuffer(BufferSize) {}
  template <class T> bool Get(T &Value) { return Read(&Value, sizeof(T)); }
  bool GetText(std::wstring &Text) {
    uint32_t Units = 0;
    if (!GetUnits(Units))
      return false;
    Text.resize(Units);
    return Read(Text.data(), Units * sizeof(wchar_t));
  }
  // A text's length, checked against what is left.
  bool GetUnits(uint32_t &Units) {
    return Get(Units) && Units <= MaxPathUnits && FLeft / sizeof(wchar_t) >= Units;
  }
  bool GetUnits(wchar_t *Text, uint32_t Units) { return Read(Text, Units * sizeof(wchar_t)); }
  bool AtEnd() const { return FLeft == 0; }
  // Once all is read: whether the checksum that follows is the one of what was read, and nothing
  // follows it.
  bool SumMatches() {
    uint64_t Stored = 0;
    FLeft = sizeof(Stored);
    const uint64_t Sum = FSum;
    if (!Read(&Stored, sizeof(Stored)) || Stored != Sum || FPos != FEnd)
      return false;
    DWORD More = 0;
    uint8_t Byte;
    return ::ReadFile(FFile, &Byte, 1, &More, nullptr) && More == 0;
  }

private:
  static constexpr size_t BufferSize = StorageBlockBytes;
  bool Read(void *Target, size_t Count) {
    if (Count > FLeft)
      return false;
    auto *Out = static_cast<uint8_t *>(Target);
    while (Count > 0) {
      if (FPos == FEnd) {
        DWORD Got = 0;
        if (!::ReadFile(FFile, FBuffer.data(), static_cast<DWORD>(FBuffer.size()), &Got, nullptr) || Got == 0)
          return false;
        FPos = 0;
        FEnd = Got;
      }
      const size_t Take = std::min(Count, FEnd - FPos);
      std::memcpy(Out, FBuffer.data() + FPos, Take);
      FSum = Fnv1a(FBuffer.data() + FPos, Take, FSum);
      FPos += Take;
      Out += Take;
      Count -= Take;
      FLeft -= Take;
    }
    return true;
  }

  HANDLE FFile;
  uint64_t FLeft;
  std::vector<uint8_t> FBuffer;
  size_t FPos = 0, FEnd = 0;
  uint64_t FSum = 14695981039346656037ULL;
};

void MakeFolders(const std::wstring &Path) {
  if (Path.empty() || ::GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES)
    return;
  const std::wstring Parent = ExtractParentPath(Path);
  if (!Parent.empty() && Parent != Path)
    MakeFolders(ExcludeTrailingBackslash(Parent));
  ::CreateDirectoryW(Path.c_str(), nullptr);
}

std::wstring SystemErrorText(DWORD Error) {
  wchar_t *Buffer = nullptr;
  const DWORD Length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, Error, 0, reinterpret_cast<wchar_t *>(&Buffer), 0, nullptr);
  std::wstring Text = Length && Buffer ? std::wstring(Buffer, Length) : L"Error " + std::to_wstring(Error);
  if (Buffer)
    ::LocalFree(Buffer);
  while (!Text.empty() && (Text.back() == L'\n' || Text.back() == L'\r' || Text.back() == L' '))
    Text.pop_back();
  return Text;
}

TPairRecord RecordOf(const TBaseFileInfo &Info, bool ContentsEqual) {
  return {Info.IsDirectory(), ContentsEqual && !Info.IsDirectory(), Info.IsDirectory() ? 0 : Info.GetSize(),
          Info.IsDirectory() ? 0 : Info.GetTime()};
}

// The entry at Path as a directory listing reports it; false when there is none.
bool FindEntry(const std::wstring &Path, std::unique_ptr<TFileInfoFromFileSystem> &Info) {
  WIN32_FIND_DATAW Found;
  TFindHandle Search(
      ::FindFirstFileExW(Path.c_str(), FindExInfoBasic, &Found, FindExSearchNameMatch, nullptr, 0));
  if (!Search.IsValid())
    return false;
  Info = std::make_unique<TFileInfoFromFileSystem>(Found);
  return true;
}

} // namespace

// ---- The state file ----

TPairState::TPairState(const std::wstring &LeftRoot, const std::wstring &RightRoot)
    : FFirstRoot(NormalRoot(LeftRoot)), FSecondRoot(NormalRoot(RightRoot)) {
  if (FSecondRoot < FFirstRoot)
    FFirstRoot.swap(FSecondRoot);
  const std::wstring Folder = DataFolder();
  if (Folder.empty())
    return;
  const std::wstring Pair = FFirstRoot + L'|' + FSecondRoot;
  wchar_t Name[32];
  swprintf(Name, 32, L"%016llX.pair",
           static_cast<unsigned long long>(Fnv1a(Pair.data(), Pair.size() * sizeof(wchar_t))));
  FFileName = IncludeTrailingBackslash(Folder) + Name;
}

std::wstring TPairState::DataFolder() {
  return PluginDataFolder(VelmoraPluginGuid);
}

std::wstring TPairState::Key(const std::wstring &RelativePath) {
  // Most paths are plain ASCII: those need no call into the system, which loading a large state
  // would otherwise make once per entry.
  std::wstring Result(RelativePath);
  for (wchar_t &C : Result) {
    if (C >= 0x80)
      return UpperCase(RelativePath);
    if (C >= L'a' && C <= L'z')
      C = static_cast<wchar_t>(C - (L'a' - L'A'));
  }
  return Result;
}

TPairState::TStatus TPairState::Load() {
  Clear();
  FLastSynchronized = 0;
  if (FFileName.empty() || !FileExists())
    return psMissing;
  TFileHandle File(::CreateFileW(FFileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER Size{};
  if (!File.IsValid() || !::GetFileSizeEx(File.Get(), &Size) ||
      Size.QuadPart < static_cast<LONGLONG>(sizeof(Magic) + sizeof(uint64_t)))
    return psDamaged;
  const uint64_t Bytes = static_cast<uint64_t>(Size.QuadPart);
  TReader Reader(File.Get(), Bytes - sizeof(uint64_t));
  char FileMagic[sizeof(Magic)];
  uint32_t Version = 0, Count = 0;
  std::wstring First, Second;
  if (!Reader.Get(FileMagic) || std::memcmp(FileMagic, Magic, sizeof(Magic)) != 0 || !Reader.Get(Version) ||
      Version != FormatVersion || !Reader.Get(FLastSynchronized) || !Reader.GetText(First) ||
      !Reader.GetText(Second) || First != FFirstRoot || Second != FSecondRoot || !Reader.Get(Count)) {
    FLastSynchronized = 0;
    return psDamaged;
  }
  // No more entries than the bytes can hold: a damaged count must not reserve gigabytes.
  if (Count > Bytes / 24) {
    FLastSynchronized = 0;
    return psDamaged;
  }
  Reindex(Count);
  for (uint32_t I = 0; I < Count; ++I) {
    uint32_t Flags = 0, Units = 0;
    TPairRecord Record;
    // Written as keys: read as they are, straight into the key buffer.
    if (!Reader.Get(Flags) || !Reader.Get(Record.Size) || !Reader.Get(Record.Time) ||
        !Reader.GetUnits(Units) || Units == 0) {
      Clear();
      FLastSynchronized = 0;
      return psDamaged;
    }
    Record.IsDirectory = (Flags & FlagDirectory) != 0;
    Record.ContentsEqual = (Flags & FlagContentsEqual) != 0;
    uint32_t Offset = 0;
    if (!Reader.GetUnits(FKeys.Extend(Units, Offset), Units)) {
      Clear();
      FLastSynchronized = 0;
      return psDamaged;
    }
    const std::wstring_view K = FKeys.View(Offset, Units);
    const uint64_t Hash = KeyHash(K);
    // A key written twice (never by this unit): the later record holds, the earlier key's units
    // stay unused.
    if (TEntry *Found = Lookup(K, Hash)) {
      Found->Record = Record;
      continue;
    }
    FEntries.push_back({Offset, Units, Record, true, 0});
    ++FLive;
    Place(static_cast<uint32_t>(FEntries.size() - 1), Hash);
  }
  // The checksum is known only now: a mismatch undoes what was read.
  if (!Reader.AtEnd() || !Reader.SumMatches()) {
    Clear();
    FLastSynchronized = 0;
    return psDamaged;
  }
  return psLoaded;
}

void TPairState::Save() {
  if (FFileName.empty())
    throw EPairStateError(L"FAR tells no local profile folder (FARLOCALPROFILE)");
  TWriter Writer;
  Writer.Data().reserve(64 + FKeys.Units() * sizeof(wchar_t) + FEntries.size() * 24);
  Writer.Data().insert(Writer.Data().end(), Magic, Magic + sizeof(Magic));
  Writer.Put(FormatVersion);
  Writer.Put(FLastSynchronized);
  Writer.PutText(FFirstRoot);
  Writer.PutText(FSecondRoot);
  Writer.Put(static_cast<uint32_t>(FLive));
  for (size_t Index = 0; Index < FEntries.size(); ++Index) {
    const TEntry &Entry = FEntries[Index];
    if (!Entry.Live)
      continue;
    const TPairRecord &Record = Entry.Record;
    Writer.Put(static_cast<uint32_t>((Record.IsDirectory ? FlagDirectory : 0) |
                                     (Record.ContentsEqual ? FlagContentsEqual : 0)));
    Writer.Put(Record.Size);
    Writer.Put(Record.Time);
    Writer.PutText(KeyOf(Entry));
  }
  Writer.Put(Fnv1a(Writer.Data().data(), Writer.Data().size()));

  MakeFolders(ExcludeTrailingBackslash(ExtractParentPath(FFileName)));
  const std::wstring Temporary = FFileName + L".new";
  {
    TFileHandle File(::CreateFileW(Temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!File.IsValid())
      throw EPairStateError(FFileName + L"\n" + SystemErrorText(::GetLastError()));
    const std::vector<uint8_t> &Data = Writer.Data();
    size_t Done = 0;
    while (Done < Data.size()) {
      DWORD Written = 0;
      if (!::WriteFile(File.Get(), Data.data() + Done, static_cast<DWORD>(Data.size() - Done), &Written,
                       nullptr) ||
          Written == 0) {
        const DWORD Error = ::GetLastError();
        File.Reset();
        ::DeleteFileW(Temporary.c_str());
        throw EPairStateError(FFileName + L"\n" + SystemErrorText(Error));
      }
      Done += Written;
    }
    if (!::FlushFileBuffers(File.Get())) {
      const DWORD Error = ::GetLastError();
      File.Reset();
      ::DeleteFileW(Temporary.c_str());
      throw EPairStateError(FFileName + L"\n" + SystemErrorText(Error));
    }
  }
  if (!::MoveFileExW(Temporary.c_str(), FFileName.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD Error = ::GetLastError();
    ::DeleteFileW(Temporary.c_str());
    throw EPairStateError(FFileName + L"\n" + SystemErrorText(Error));
  }
}

bool TPairState::Forget() {
  Clear();
  FLastSynchronized = 0;
  return FFileName.empty() || ::DeleteFileW(FFileName.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::vector<std::wstring> TPairState::RememberedFiles() {
  std::vector<std::wstring> Files;
  const std::wstring Folder = DataFolder();
  if (Folder.empty())
    return Files;
  WIN32_FIND_DATAW Found;
  TFindHandle Search(::FindFirstFileExW((IncludeTrailingBackslash(Folder) + L"*.pair").c_str(),
                                        FindExInfoBasic, &Found, FindExSearchNameMatch, nullptr, 0));
  if (!Search.IsValid())
    return Files;
  do {
    // The pattern also matches longer extensions on some systems: only NAME.pair is a state.
    const std::wstring Name = Found.cFileName;
    if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && Name.size() > 5 &&
        _wcsicmp(Name.c_str() + Name.size() - 5, L".pair") == 0)
      Files.push_back(IncludeTrailingBackslash(Folder) + Name);
  } while (::FindNextFileW(Search.Get(), &Found));
  return Files;
}

bool TPairState::FileExists() const {
  return !FFileName.empty() && ::GetFileAttributesW(FFileName.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint64_t TPairState::KeyHash(std::wstring_view Key) {
  uint64_t Hash = 14695981039346656037ULL;
  for (const wchar_t C : Key) {
    Hash ^= static_cast<uint16_t>(C);
    Hash *= 1099511628211ULL;
  }
  return Hash;
}

void TPairState::Clear() {
  FKeys.clear();
  FEntries.clear();
  FSlots.clear();
  FLive = 0;
}

const std::wstring &TPairState::Probe(std::wstring_view RelativeDir, std::wstring_view Name) const {
  FProbe.assign(RelativeDir);
  FProbe.append(Name);
  bool Ascii = true;
  for (wchar_t &C : FProbe) {
    if (C >= 0x80)
      Ascii = false;
    else if (C >= L'a' && C <= L'z')
      C = static_cast<wchar_t>(C - (L'a' - L'A'));
  }
  if (!Ascii)
    FProbe = Key(FProbe);
  return FProbe;
}

TPairState::TEntry *TPairState::Lookup(std::wstring_view Key, uint64_t Hash) const {
  if (FSlots.empty())
    return nullptr;
  const size_t Mask = FSlots.size() - 1;
  for (size_t Slot = Hash & Mask;; Slot = (Slot + 1) & Mask) {
    const uint32_t Index = FSlots[Slot];
    if (Index == 0)
      return nullptr;
    TEntry &Entry = FEntries[Index - 1];
    if (KeyOf(Entry) == Key)
      return &Entry;
  }
}

void TPairState::Place(uint32_t Index, uint64_t Hash) {
  const size_t Mask = FSlots.size() - 1;
  size_t Slot = Hash & Mask;
  while (FSlots[Slot] != 0)
    Slot = (Slot + 1) & Mask;
  FSlots[Slot] = Index + 1;
}

void TPairState::Reindex(size_t Entries) {
  // At most half full, so that a probe ends soon.
  size_t Size = 64;
  while (Size < 2 * Entries + 2)
    Size *= 2;
  FSlots.assign(Size, 0);
  for (uint32_t Index = 0; Index < FEntries.size(); ++Index)
    Place(Index, KeyHash(KeyOf(FEntries[Index])));
}

void TPairState::Insert(std::wstring_view K, const TPairRecord &Record, uint8_t Marks) {
  const uint64_t Hash = KeyHash(K);
  if (TEntry *Found = Lookup(K, Hash)) {
    Found->Record = Record;
    Found->Marks |= Marks;
    if (!Found->Live) {
      Found->Live = true;
      ++FLive;
    }
    return;
  }
  if (2 * (FEntries.size() + 1) + 2 > FSlots.size())
    Reindex(2 * FEntries.size() + 16);
  FEntries.push_back({FKeys.Append(K), static_cast<uint32_t>(K.size()), Record, true, Marks});
  ++FLive;
  Place(static_cast<uint32_t>(FEntries.size() - 1), Hash);
}

const TPairRecord *TPairState::Find(const std::wstring &RelativeDir, const std::wstring &Name) const {
  const TEntry *Entry = Lookup(Probe(RelativeDir, Name));
  return Entry && Entry->Live ? &Entry->Record : nullptr;
}

void TPairState::Record(const std::wstring &RelativePath, const TPairRecord &Record) {
  Insert(Probe(RelativePath, std::wstring()), Record, 0);
}

bool TPairState::Mark(const std::wstring &RelativeDir, const std::wstring &Name, uint8_t Marks) {
  TEntry *Entry = Lookup(Probe(RelativeDir, Name));
  if (!Entry || !Entry->Live)
    return false;
  Entry->Marks |= Marks;
  return true;
}

void TPairState::RecordSeen(const std::wstring &RelativeDir, const std::wstring &Name,
                            const TPairRecord &Record) {
  Insert(Probe(RelativeDir, Name), Record, pmSeen);
}

void TPairState::RecordSeen(std::wstring_view RelativePath, const TPairRecord &Record) {
  Insert(Probe(RelativePath, std::wstring_view()), Record, pmSeen);
}

void TPairState::Remove(const std::wstring &RelativePath) {
  const std::wstring K = Probe(RelativePath, std::wstring());
  TEntry *Found = Lookup(K);
  const bool Directory = !Found || !Found->Live || Found->Record.IsDirectory;
  if (Found && Found->Live) {
    Found->Live = false;
    --FLive;
  }
  if (!Directory)
    return;
  const std::wstring Prefix = K + L'\\';
  for (size_t Index = 0; Index < FEntries.size(); ++Index)
    if (TEntry &Entry = FEntries[Index]; Entry.Live && KeyOf(Entry).substr(0, Prefix.size()) == Prefix) {
      Entry.Live = false;
      --FLive;
    }
}

// ---- Judging with memory ----

TPairMemory::TPairMemory(const std::wstring &LeftRoot, const std::wstring &RightRoot, const TRules &Rules,
                         const TNameFilter &Filter)
    : FState(LeftRoot, RightRoot), FRules(Rules), FFilter(Filter) {}

std::vector<std::wstring> TPairMemory::HeaderLines() const {
  std::vector<std::wstring> Lines;
  if (FStatus == TPairState::psDamaged)
    Lines.push_back(Format(TFarModule::GetMsg(MDocumentMemoryDamaged), {FState.GetFileName()}));
  else if (FState.GetLastSynchronized() == 0)
    Lines.push_back(TFarModule::GetMsg(MDocumentMemoryFirst));
  else {
    FILETIME Utc, Local;
    Utc.dwLowDateTime = static_cast<DWORD>(FState.GetLastSynchronized());
    Utc.dwHighDateTime = static_cast<DWORD>(FState.GetLastSynchronized() >> 32);
    SYSTEMTIME Time{};
    ::FileTimeToLocalFileTime(&Utc, &Local);
    ::FileTimeToSystemTime(&Local, &Time);
    wchar_t Text[32];
    swprintf(Text, 32, L"%02u.%02u.%04u %02u:%02u:%02u", Time.wDay, Time.wMonth, Time.wYear, Time.wHour,
             Time.wMinute, Time.wSecond);
    Lines.push_back(Format(TFarModule::GetMsg(MDocumentMemoryLast), {std::wstring(Text)}));
  }
  if (FRules.Legend) {
    Lines.push_back(TFarModule::GetMsg(MDocumentMemoryLegend1));
    Lines.push_back(TFarModule::GetMsg(MDocumentMemoryLegend2));
  }
  return Lines;
}

void TPairMemory::WriteHeader(TTextStream &Stream) const {
  for (const std::wstring &Line : HeaderLines())
    Stream.WriteLine(Line);
  Stream.WriteLine(std::wstring());
}

bool TPairMemory::Changed(const TPairRecord &Record, const TPairRecord &Found) const {
  if (Record.IsDirectory != Found.IsDirectory)
    return true;
  if (Record.IsDirectory)
    return false;
  // Without size and time there is nothing to tell a change by: it counts as one, which keeps
  // the work rather than deleting it.
  const bool BySize = FRules.CompareSize || !FRules.CompareTime;
  const bool ByTime = FRules.CompareTime || !FRules.CompareSize;
  if (BySize && Record.Size != Found.Size)
    return true;
  return ByTime &&
         !TCompareRules::SameTimeDays(Record.Time, Found.Time, FRules.CompareTime && FRules.LowPrecisionTime,
                                      FRules.CompareTime && FRules.IgnoreTimeZone);
}

bool TPairMemory::SameFiles(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const {
  return !Changed(RecordOf(LeftInfo, false), RecordOf(RightInfo, false));
}

void TPairMemory::NoteLevel(const std::wstring &RelativeDir) {
  // A part of the top level (only the selected items) says nothing of what is not there.
  if (RelativeDir.empty() && FRules.ProcessSelected)
    return;
  FLevels.insert(TPairState::KeyHash(TPairState::Key(RelativeDir)));
}

TPairMemory::~TPairMemory() {
  if (FLoader.joinable())
    FLoader.join();
}

void TPairMemory::StartLoading(std::function<void(const std::wstring &Line)> Write) {
  FWrite = std::move(Write);
  FDrained = false;
  FLoaded = false;
  auto Load = [this] {
    TPairState::TStatus Status = TPairState::psDamaged;
    try {
      Status = FState.Load();
    } catch (...) {
      // Out of memory reading it: judged as the first time, as for a damaged file.
      FState.Clear();
    }
    FStatus = Status;
    FLoaded.store(true, std::memory_order_release);
  };
  try {
    FLoader = std::thread(Load);
  } catch (const std::system_error &) {
    Load(); // no thread to be had: read now
  }
}

bool TPairMemory::Ready() {
  if (FDrained)
    return true;
  if (!FLoaded.load(std::memory_order_acquire))
    return false;
  Drain();
  return true;
}

void TPairMemory::FinishWalk() {
  if (!FDrained)
    Drain();
}

void TPairMemory::Drain() {
  if (FLoader.joinable())
    FLoader.join();
  FDrained = true;
  for (size_t Index = 0; Index < FSeen.size(); ++Index)
    FState.RecordSeen(FSeenPaths.View(FSeen[Index].Offset, FSeen[Index].Length), FSeen[Index].Record);
  FSeen.clear();
  FSeenPaths.clear();
  for (const std::wstring &Line : HeaderLines())
    FWrite(Line);
  FWrite(std::wstring());
  std::vector<THeld> Held;
  Held.swap(FHeld);
  for (THeld &Entry : Held)
    Judge(Entry);
}

void TPairMemory::Judge(THeld &Held) {
  if (Held.Kind == THeld::hkOneSided)
    JudgeOneSided(Held);
  else if (Held.Kind == THeld::hkPair)
    JudgePair(Held);
  else
    FWrite(Held.Item.FormatLine());
}

void TPairMemory::Add(const TDifferenceItem &Item) {
  THeld Held;
  Held.Item = Item;
  if (Ready())
    Judge(Held);
  else
    FHeld.push_back(std::move(Held));
}

void TPairMemory::AddOneSided(const TBaseFileInfo &Info, bool OnLeft, const std::wstring &SideRoot,
                              const std::wstring &RelativeDir) {
  THeld Held;
  Held.Item = {OnLeft ? dtMissingRight : dtMissingLeft, drFile, RelativeDir + Info.GetFileName(),
               Info.IsDirectory()};
  Held.Kind = THeld::hkOneSided;
  Held.OnLeft = OnLeft;
  Held.Link = (Info.GetAttributes() & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  Held.Left = RecordOf(Info, false);
  Held.SideRoot = SideRoot;
  if (Ready())
    Judge(Held);
  else
    FHeld.push_back(std::move(Held));
}

void TPairMemory::AddPair(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo, const std::wstring &RelativeDir,
                          const std::wstring &Name, const TFileComparison &Result) {
  if (!Result.IsDifferent()) {
    Seen(RelativeDir, Name, RecordOf(LeftInfo, FRules.CompareContents));
    return;
  }
  THeld Held;
  Held.Item = {Result.DiffType, Result.Reason, RelativeDir + Name, false};
  Held.Kind = THeld::hkPair;
  Held.Left = RecordOf(LeftInfo, false);
  Held.Right = RecordOf(RightInfo, false);
  const bool Now = Ready();
  // Below the top the entries' selection says nothing and their lists are gone by the time a
  // held line is judged.
  if (Now || RelativeDir.empty()) {
    Held.LeftInfo = &LeftInfo;
    Held.RightInfo = &RightInfo;
  }
  if (Now)
    Judge(Held);
  else
    FHeld.push_back(std::move(Held));
}

void TPairMemory::NoteEqualDirectory(const std::wstring &RelativeDir, const std::wstring &Name,
                                     const TBaseFileInfo &Info) {
  Seen(RelativeDir, Name, RecordOf(Info, false));
}

void TPairMemory::Seen(const std::wstring &RelativeDir, const std::wstring &Name, const TPairRecord &Record) {
  if (Ready()) {
    FState.RecordSeen(RelativeDir, Name, Record);
    return;
  }
  FSeen.push_back({FSeenPaths.Append(RelativeDir, Name),
                   static_cast<uint32_t>(RelativeDir.size() + Name.size()), Record});
}

TPairMemory::TTreeState TPairMemory::JudgeTree(const std::wstring &Path, const std::wstring &RelativePath,
                                               bool OnLeft, std::vector<TDifferenceItem> &Lines) const {
  TFileInfoList List;
  if (!List.LoadFromDirectory(Path))
    return tsUnreadable;
  FFilter.Apply(List);
  List.SortByFileName();
  const TDifferenceType Copy = OnLeft ? dtMissingRight : dtMissingLeft;
  const TDifferenceType Delete = OnLeft ? dtDeleteLeft : dtDeleteRight;
  const size_t Start = Lines.size();
  bool Unchanged = true;
  for (size_t I = 0; I < List.Count(); ++I) {
    const TBaseFileInfo &Info = List[I];
    const std::wstring Relative = RelativePath + L'\\' + Info.GetFileName();
    const bool Directory = Info.IsDirectory();
    const TPairRecord *Record = FState.Find(Relative);
    // Added since: copied as new. Changed since, or a link, which is never walked: copied back.
    if (!Record || Changed(*Record, RecordOf(Info, false)) ||
        (Directory && (Info.GetAttributes() & FILE_ATTRIBUTE_REPARSE_POINT))) {
      Lines.push_back({Copy, Record ? drConflict : drFile, Relative, Directory});
      Unchanged = false;
      continue;
    }
    const TTreeState Inside =
        Directory ? JudgeTree(IncludeTrailingBackslash(Path) + Info.GetFileName(), Relative, OnLeft, Lines)
                  : tsUnchanged;
    if (Inside == tsUnchanged)
      Lines.push_back({Delete, drDeleted, Relative, Directory});
    else if (Inside == tsUnreadable)
      Lines.push_back({Copy, drConflict, Relative, Directory});
    Unchanged = Unchanged && Inside == tsUnchanged;
  }
  if (!Unchanged)
    return tsChanged;
  Lines.resize(Start);
  return tsUnchanged;
}

void TPairMemory::JudgeOneSided(THeld &Held) {
  TDifferenceItem &Item = Held.Item;
  if (!FState.Mark(Item.RelativePath, std::wstring(), TPairState::pmListed)) {
    FWrite(Item.FormatLine());
    return;
  }
  const TPairRecord Record = *FState.Find(Item.RelativePath);
  std::vector<TDifferenceItem> Inside;
  TTreeState Tree =
      Changed(Record, Held.Left) || (Item.IsDirectory && Held.Link) ? tsUnreadable : tsUnchanged;
  if (Tree == tsUnchanged && Item.IsDirectory)
    Tree = JudgeTree(Held.SideRoot + Item.RelativePath, Item.RelativePath, Held.OnLeft, Inside);
  if (Tree == tsUnchanged) {
    // Deleted on the other side, and nothing here changed since: deleted here too.
    Item.DiffType = Held.OnLeft ? dtDeleteLeft : dtDeleteRight;
    Item.Reason = drDeleted;
  } else if (Tree == tsUnreadable) {
    Item.Reason = drConflict; // changed here, deleted there: copied back
  } else {
    // A directory with changes inside: each entry is judged, and copying one makes the
    // directory again on the other side.
    for (const TDifferenceItem &Entry : Inside)
      FWrite(Entry.FormatLine());
    return;
  }
  FWrite(Item.FormatLine());
}

void TPairMemory::JudgePair(THeld &Held) {
  TDifferenceItem &Item = Held.Item;
  if (!FState.Mark(Item.RelativePath, std::wstring(), TPairState::pmListed) ||
      (Item.DiffType != dtOlderLeft && Item.DiffType != dtOlderRight && Item.DiffType != dtDifferent)) {
    FWrite(Item.FormatLine());
    return;
  }
  const TPairRecord &Record = *FState.Find(Item.RelativePath);
  const bool LeftChanged = Changed(Record, Held.Left), RightChanged = Changed(Record, Held.Right);
  if (LeftChanged == RightChanged) {
    if (!LeftChanged) {
      FWrite(Item.FormatLine()); // neither changed: judged as without memory
      return;
    }
    Item.DiffType = dtDifferent;
    Item.Reason = drConflict;
  } else {
    // The side that changed wins, older or not: a restored file is a change too.
    Item.DiffType = LeftChanged ? dtOlderRight : dtOlderLeft;
  }
  // The side that holds the copy to keep is selected, as the comparison selects it.
  if (Held.LeftInfo)
    Held.LeftInfo->SetSelected(Item.DiffType != dtOlderLeft || FRules.SelectBoth);
  if (Held.RightInfo)
    Held.RightInfo->SetSelected(Item.DiffType != dtOlderRight || FRules.SelectBoth);
  FWrite(Item.FormatLine());
}

void TPairMemory::FinishComparison() {
  // What a walked level no longer holds on either side is gone, and so is what was below it. A
  // key's level is hashed as the key is read: no string is made for a record that stays.
  std::unordered_set<uint64_t> Gone;
  auto LevelHash = [](std::wstring_view K) {
    const size_t Slash = K.find_last_of(L'\\');
    return TPairState::KeyHash(Slash == std::wstring_view::npos ? std::wstring_view()
                                                                : K.substr(0, Slash + 1));
  };
  FState.Sweep([&](std::wstring_view K, const TPairRecord &Record, uint8_t Marks) {
    if (Marks != 0 || !FLevels.count(LevelHash(K)))
      return false;
    const size_t Slash = K.find_last_of(L'\\');
    if (!FFilter.Passes(std::wstring(Slash == std::wstring_view::npos ? K : K.substr(Slash + 1)),
                        Record.IsDirectory))
      return false;
    if (Record.IsDirectory)
      Gone.insert(TPairState::KeyHash(std::wstring(K) + L'\\'));
    return true;
  });
  if (!Gone.empty())
    FState.Sweep([&](std::wstring_view K, const TPairRecord &, uint8_t) {
      for (size_t Slash = K.find(L'\\'); Slash != std::wstring_view::npos; Slash = K.find(L'\\', Slash + 1))
        if (Gone.count(TPairState::KeyHash(K.substr(0, Slash + 1))))
          return true;
      return false;
    });
  FLevels.clear();
}

void TPairMemory::RecordTrees(const std::wstring &LeftPath, const std::wstring &RightPath,
                              const std::wstring &RelativeDir) {
  TFileInfoList LeftList, RightList;
  if (!LeftList.LoadFromDirectory(LeftPath) || !RightList.LoadFromDirectory(RightPath))
    return;
  FFilter.Apply(LeftList);
  FFilter.Apply(RightList);
  std::unordered_map<std::wstring, const TBaseFileInfo *> OnRight;
  for (size_t I = 0; I < RightList.Count(); ++I)
    OnRight[TPairState::Key(RightList[I].GetFileName())] = &RightList[I];
  for (size_t I = 0; I < LeftList.Count(); ++I) {
    const TBaseFileInfo &Left = LeftList[I];
    const std::wstring Relative = RelativeDir + L'\\' + Left.GetFileName();
    const auto Found = OnRight.find(TPairState::Key(Left.GetFileName()));
    if (Found == OnRight.end() || Found->second->IsDirectory() != Left.IsDirectory() ||
        (!Left.IsDirectory() && !SameFiles(Left, *Found->second))) {
      FState.Remove(Relative);
      continue;
    }
    FState.Record(Relative, RecordOf(Left, !Left.IsDirectory()));
    if (Left.IsDirectory() && !(Left.GetAttributes() & FILE_ATTRIBUTE_REPARSE_POINT))
      RecordTrees(IncludeTrailingBackslash(LeftPath) + Left.GetFileName(),
                  IncludeTrailingBackslash(RightPath) + Left.GetFileName(), Relative);
  }
}

void TPairMemory::Refresh(const std::wstring &LeftRoot, const std::wstring &RightRoot,
                          const TDifferenceItem &Item) {
  std::unique_ptr<TFileInfoFromFileSystem> Left, Right;
  const bool OnLeft = FindEntry(LeftRoot + Item.RelativePath, Left);
  const bool OnRight = FindEntry(RightRoot + Item.RelativePath, Right);
  // An entry on one side only or of two kinds after its line was done is not known to be equal.
  if (!OnLeft || !OnRight || Left->IsDirectory() != Right->IsDirectory()) {
    FState.Remove(Item.RelativePath);
    return;
  }
  if (!Left->IsDirectory()) {
    if (SameFiles(*Left, *Right))
      FState.Record(Item.RelativePath, RecordOf(*Left, true));
    else
      FState.Remove(Item.RelativePath);
    return;
  }
  FState.Record(Item.RelativePath, RecordOf(*Left, false));
  if (!(Left->GetAttributes() & FILE_ATTRIBUTE_REPARSE_POINT))
    RecordTrees(LeftRoot + Item.RelativePath, RightRoot + Item.RelativePath, Item.RelativePath);
}

void TPairMemory::FinishRun(const std::vector<TDifferenceItem> &Before, const TDifferenceList &Undone,
                            const std::wstring &LeftRoot, const std::wstring &RightRoot) {
  // An entry left undone, or with something undone inside it, keeps its earlier record.
  std::unordered_set<std::wstring> Kept;
  for (const auto &Item : Undone) {
    std::wstring K = TPairState::Key(Item->RelativePath);
    for (size_t Slash = K.find(L'\\'); Slash != std::wstring::npos; Slash = K.find(L'\\', Slash + 1))
      Kept.insert(K.substr(0, Slash));
    Kept.insert(std::move(K));
  }
  for (const TDifferenceItem &Item : Before)
    if (!Kept.count(TPairState::Key(Item.RelativePath)) &&
        TSynchronizeTask::IsSafeRelativePath(Item.RelativePath))
      Refresh(IncludeTrailingBackslash(LeftRoot), IncludeTrailingBackslash(RightRoot), Item);
  SaveNow();
}

void TPairMemory::ReportNotSaved(const Exception &E) {
  // The files are as the run left them; only the next comparison knows less.
  std::vector<std::wstring> Lines{TFarModule::GetMsg(MTitle), TFarModule::GetMsg(MPairStateNotSaved)};
  for (const std::wstring &Line : SplitMessageLines(E.Message()))
    Lines.push_back(Line);
  Lines.push_back(TFarModule::GetMsg(MOk));
  TFarModule::ShowMessage(Lines, FMSG_WARNING, 1);
}

void TPairMemory::SaveNow() {
  FILETIME Now;
  ::GetSystemTimeAsFileTime(&Now);
  FState.SetLastSynchronized((static_cast<uint64_t>(Now.dwHighDateTime) << 32) | Now.dwLowDateTime);
  FState.Save();
}

// ---- The run's side ----

void TSynchronizeTask::RememberRun(const std::vector<TDifferenceItem> &Before,
                                   const TDifferenceList &Undone) {
  try {
    FMemory->FinishRun(Before, Undone, FLeftDirectory, FRightDirectory);
  } catch (const Exception &E) {
    TPairMemory::ReportNotSaved(E);
  }
}
