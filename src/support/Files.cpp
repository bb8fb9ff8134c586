#include "Files.h"

#include "Handles.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>
#include <vector>

namespace {

using TGetFileInformationByHandleEx = BOOL(WINAPI *)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
using TGetVolumePathNameW = BOOL(WINAPI *)(LPCWSTR, LPWSTR, DWORD);
using TSetFileInformationByHandle = BOOL(WINAPI *)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// These entries are missing on older systems; they are looked up once when the module starts.
// Real-path resolution and removing a link on its own depend on them.
class TOptionalFunctions {
public:
  TOptionalFunctions() : FKernel(::LoadLibraryW(L"kernel32.dll")) {
    if (!FKernel)
      return;
    GetFileInformationByHandleEx = reinterpret_cast<TGetFileInformationByHandleEx>(
        reinterpret_cast<void *>(::GetProcAddress(FKernel.Get(), "GetFileInformationByHandleEx")));
    GetVolumePathNameW = reinterpret_cast<TGetVolumePathNameW>(
        reinterpret_cast<void *>(::GetProcAddress(FKernel.Get(), "GetVolumePathNameW")));
    SetFileInformationByHandle = reinterpret_cast<TSetFileInformationByHandle>(
        reinterpret_cast<void *>(::GetProcAddress(FKernel.Get(), "SetFileInformationByHandle")));
  }
  ~TOptionalFunctions() {
    GetFileInformationByHandleEx = nullptr;
    GetVolumePathNameW = nullptr;
    SetFileInformationByHandle = nullptr;
  }
  TOptionalFunctions(const TOptionalFunctions &) = delete;
  TOptionalFunctions &operator=(const TOptionalFunctions &) = delete;

  TGetFileInformationByHandleEx GetFileInformationByHandleEx = nullptr;
  TGetVolumePathNameW GetVolumePathNameW = nullptr;
  TSetFileInformationByHandle SetFileInformationByHandle = nullptr;

private:
  TModuleHandle FKernel;
};

TOptionalFunctions OptionalFunctions;

bool StartsWith(const std::wstring &Text, const wchar_t *Prefix) {
  return Text.starts_with(Prefix);
}

bool StartsWithNoCase(const std::wstring &Text, const std::wstring &Prefix) {
  if (Text.size() < Prefix.size())
    return false;
  return ::CompareStringOrdinal(Text.data(), static_cast<int>(Prefix.size()), Prefix.data(),
                                static_cast<int>(Prefix.size()), TRUE) == CSTR_EQUAL;
}

// Days from 1 January 1970 to a civil date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t Year, unsigned Month, unsigned Day) {
  Year -= Month <= 2 ? 1 : 0;
  const int64_t Era = (Year >= 0 ? Year : Year - 399) / 400;
  const unsigned YearOfEra = static_cast<unsigned>(Year - Era * 400);
  const unsigned DayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const unsigned DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
  return Era * 146097 + static_cast<int64_t>(DayOfEra) - 719468;
}

constexpr int64_t DaysFrom1899To1970 = 25569;
constexpr double DaysPerNanosecond = 1.1574074074074074e-14;

uint64_t FileTimeValue(const FILETIME &Time) {
  return (static_cast<uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime;
}

TFileHandle OpenForAttributes(const std::wstring &FileName, DWORD Flags) {
  return TFileHandle(::CreateFileW(FileName.c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, Flags, nullptr));
}

// The directory entry of FileName; a trailing backslash is dropped so that "dir\" finds the
// directory itself rather than nothing.
bool FindEntry(const std::wstring &FileName, WIN32_FIND_DATAW &Data) {
  std::wstring Name = FileName;
  if (Name.size() > 1 && Name.back() == L'\\' && Name[Name.size() - 2] != L':')
    Name.pop_back();
  TFindHandle Find(::FindFirstFileW(Name.c_str(), &Data));
  return Find.IsValid();
}

// Balances a successful COM initialisation; a failed one (a thread already set up differently)
// must not be undone, or the host's own initialisation would be.
class TComScope {
public:
  TComScope() : FResult(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~TComScope() {
    if (SUCCEEDED(FResult))
      ::CoUninitialize();
  }
  TComScope(const TComScope &) = delete;
  TComScope &operator=(const TComScope &) = delete;

private:
  HRESULT FResult;
};

// The shell's file operation object; declared here, as the import library may lack it.
constexpr CLSID FileOperationClass = {
    0x3ad05575, 0x8857, 0x4850, {0x92, 0x77, 0x11, 0xb8, 0x5b, 0xdb, 0x8e, 0x09}};

// Watches a deletion by the file operation object: an item about to go for good instead of into
// the Recycle Bin is refused, and so is everything after it.
class TRecycleOnlySink final : public IFileOperationProgressSink {
public:
  bool Refused = false;
  bool Asked = false;

  // It lives on the caller's stack for the one operation.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void **Object) override {
    if (Id == __uuidof(IUnknown) || Id == __uuidof(IFileOperationProgressSink)) {
      *Object = this;
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD Flags, IShellItem *) override {
    Asked = true;
    if (!Refused && (Flags & TSF_DELETE_RECYCLE_IF_POSSIBLE))
      return S_OK;
    Refused = true;
    return HRESULT_FROM_WIN32(ERROR_CANCELLED);
  }
  HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem *, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem *, LPCWSTR, HRESULT, IShellItem *) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem *, IShellItem *, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem *, IShellItem *, LPCWSTR, HRESULT,
                                         IShellItem *) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem *, IShellItem *, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem *, IShellItem *, LPCWSTR, HRESULT,
                                         IShellItem *) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem *, HRESULT, IShellItem *) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem *, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem *, LPCWSTR, LPCWSTR, DWORD, HRESULT,
                                        IShellItem *) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }
};

// Releases a COM interface however the caller leaves.
template <class T> struct TComPointer {
  T *Pointer = nullptr;
  ~TComPointer() {
    if (Pointer)
      Pointer->Release();
  }
  TComPointer() = default;
  TComPointer(const TComPointer &) = delete;
  TComPointer &operator=(const TComPointer &) = delete;
};

// The deletion through the file operation object; false when the system has none that works
// (wine's answers E_NOTIMPL), and then nothing was done.
bool RecycleThroughFileOperation(const std::wstring &Path, TRecycleResult &Result) {
  TComPointer<IFileOperation> Operation;
  TComPointer<IShellItem> Item;
  if (FAILED(::CoCreateInstance(FileOperationClass, nullptr, CLSCTX_ALL, __uuidof(IFileOperation),
                                reinterpret_cast<void **>(&Operation.Pointer))) ||
      FAILED(Operation.Pointer->SetOperationFlags(FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT |
                                                  FOF_NOERRORUI | FOFX_EARLYFAILURE)) ||
      FAILED(::SHCreateItemFromParsingName(Path.c_str(), nullptr, __uuidof(IShellItem),
                                           reinterpret_cast<void **>(&Item.Pointer))))
    return false;
  TRecycleOnlySink Sink;
  if (FAILED(Operation.Pointer->DeleteItem(Item.Pointer, &Sink)))
    return false;
  const HRESULT Performed = Operation.Pointer->PerformOperations();
  if (Performed == E_NOTIMPL && !Sink.Asked)
    return false;
  BOOL Aborted = FALSE;
  Operation.Pointer->GetAnyOperationsAborted(&Aborted);
  if (Sink.Refused)
    Result = rrRefused;
  else
    Result = SUCCEEDED(Performed) && !Aborted && ::GetFileAttributesW(Path.c_str()) == INVALID_FILE_ATTRIBUTES
                 ? rrRecycled
                 : rrFailed;
  return true;
}

// The shell's own deletion, which recycles where it can and deletes for good elsewhere.
bool ShellDelete(const std::wstring &Path) {
  std::wstring From = Path;
  From.push_back(L'\0'); // a list of names, ending in an empty one
  SHFILEOPSTRUCTW Operation{};
  Operation.wFunc = FO_DELETE;
  Operation.pFrom = From.c_str();
  Operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
  return ::SHFileOperationW(&Operation) == 0 && !Operation.fAnyOperationsAborted &&
         ::GetFileAttributesW(Path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

} // namespace

TRecycleResult RecycleWithShell(const std::wstring &Path) {
  // The shell takes no path of the long form.
  const std::wstring Plain = RemoveLongPathPrefix(Path);
  TComScope Com;
  TRecycleResult Result = rrFailed;
  if (RecycleThroughFileOperation(Plain, Result))
    return Result;
  return ShellDelete(Plain) ? rrRecycled : rrFailed;
}

bool RecycleBinTakesFrom(const std::wstring &Directory) {
  // The probe is a small tree: a shell may take files into its bin from where it cannot take a
  // directory (wine moves files between file systems, not directories), and deletes those for good.
  const std::wstring Plain = IncludeTrailingBackslash(RemoveLongPathPrefix(Directory));
  wchar_t Name[32];
  swprintf(Name, 32, L"~vlm%08lx.tmp", ::GetTickCount() ^ (::GetCurrentProcessId() << 16));
  const std::wstring Probe = Plain + Name, Inside = Probe + L"\\probe";
  if (!::CreateDirectoryW(Probe.c_str(), nullptr))
    return false;
  struct TCleanUp {
    const std::wstring &Probe, &Inside;
    // A probe the shell refused or could not move is still there.
    ~TCleanUp() {
      ::DeleteFileW(Inside.c_str());
      ::RemoveDirectoryW(Probe.c_str());
    }
  } CleanUp{Probe, Inside};
  TFileHandle(
      ::CreateFileW(Inside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  TComScope Com;
  TRecycleResult Result = rrFailed;
  if (RecycleThroughFileOperation(Probe, Result))
    return Result == rrRecycled;
  // Without the object only the bin itself tells whether the probe went there or for good.
  SHQUERYRBINFO Before{sizeof Before, 0, 0}, After{sizeof After, 0, 0};
  const std::wstring Root = Plain.substr(0, Plain.find(L'\\') + 1);
  return SUCCEEDED(::SHQueryRecycleBinW(Root.c_str(), &Before)) && ShellDelete(Probe) &&
         SUCCEEDED(::SHQueryRecycleBinW(Root.c_str(), &After)) && After.i64NumItems > Before.i64NumItems;
}

std::wstring ExpandFileName(const std::wstring &Path) {
  if (Path.empty())
    return Path;
  std::vector<wchar_t> Buffer(MAX_PATH + 1);
  for (;;) {
    DWORD Length =
        ::GetFullPathNameW(Path.c_str(), static_cast<DWORD>(Buffer.size()), Buffer.data(), nullptr);
    if (Length == 0)
      return Path;
    if (Length < Buffer.size())
      return std::wstring(Buffer.data(), Length);
    Buffer.resize(Length + 1);
  }
}

std::wstring LongPathName(const std::wstring &Path) {
  std::wstring Full = ExpandFileName(Path);
  if (StartsWith(Full, L"\\\\?\\") || StartsWith(Full, L"\\\\.\\"))
    return Full;
  if (StartsWith(Full, L"\\\\"))
    return L"\\\\?\\UNC\\" + Full.substr(2);
  return L"\\\\?\\" + Full;
}

std::wstring RemoveLongPathPrefix(const std::wstring &Path) {
  if (StartsWithNoCase(Path, L"\\\\?\\UNC\\"))
    return L"\\\\" + Path.substr(8);
  if (StartsWith(Path, L"\\\\?\\"))
    return Path.substr(4);
  return Path;
}

std::wstring IncludeTrailingBackslash(const std::wstring &Path) {
  if (!Path.empty() && Path.back() != L'\\')
    return Path + L'\\';
  return Path;
}

std::wstring ExcludeTrailingBackslash(const std::wstring &Path) {
  size_t Length = Path.size();
  while (Length > 1 && Path[Length - 1] == L'\\')
    --Length;
  return Path.substr(0, Length);
}

std::wstring ExtractParentPath(const std::wstring &Path) {
  size_t Last = Path.rfind(L'\\');
  if (Last == std::wstring::npos || Last == 0)
    return {};
  return Path.substr(0, Last);
}

bool RemoveLink(const std::wstring &Path) {
  if (!OptionalFunctions.GetFileInformationByHandleEx || !OptionalFunctions.SetFileInformationByHandle)
    return false;
  TFileHandle Link(::CreateFileW(Path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
  if (!Link)
    return false;
  // The handle must be the link's own: where the system opened what the link leads to, deleting
  // it would delete that.
  FILE_ATTRIBUTE_TAG_INFO Tag{};
  if (!OptionalFunctions.GetFileInformationByHandleEx(Link.Get(), FileAttributeTagInfo, &Tag, sizeof Tag) ||
      (Tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return false;
  return DeleteOpenFile(Link.Get(), Tag.FileAttributes);
}

bool OpensElsewhere(const std::wstring &Path) {
  const size_t Split = Path.rfind(L'\\');
  if (!RealPathResolutionAvailable() || Split == std::wstring::npos || Split == 0)
    return false;
  const std::wstring Real = RealPathName(Path);
  const std::wstring Expected =
      IncludeTrailingBackslash(RealPathName(Path.substr(0, Split))) + Path.substr(Split + 1);
  return ::CompareStringOrdinal(Real.data(), static_cast<int>(Real.size()), Expected.data(),
                                static_cast<int>(Expected.size()), TRUE) != CSTR_EQUAL;
}

bool DeleteOpenFile(HANDLE File, DWORD Attributes) {
  if (!OptionalFunctions.SetFileInformationByHandle)
    return false;
  constexpr DWORD Protecting = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (Attributes & Protecting) {
    FILE_BASIC_INFO Basic{};
    Basic.FileAttributes = Attributes & ~Protecting;
    if (Basic.FileAttributes == 0) // zero would mean "leave them as they are"
      Basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    OptionalFunctions.SetFileInformationByHandle(File, FileBasicInfo, &Basic, sizeof Basic);
  }
  FILE_DISPOSITION_INFO Dispose{TRUE};
  return OptionalFunctions.SetFileInformationByHandle(File, FileDispositionInfo, &Dispose, sizeof Dispose) !=
         FALSE;
}

bool RealPathResolutionAvailable() {
  return OptionalFunctions.GetFileInformationByHandleEx && OptionalFunctions.GetVolumePathNameW;
}

std::wstring RealPathName(const std::wstring &Path) {
  if (!RealPathResolutionAvailable())
    return ExpandFileName(Path);
  DWORD Attributes = ::GetFileAttributesW(Path.c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES)
    return ExpandFileName(Path);

  TFileHandle File = OpenForAttributes(Path, (Attributes & FILE_ATTRIBUTE_DIRECTORY)
                                                 ? FILE_FLAG_BACKUP_SEMANTICS
                                                 : FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL);
  if (!File)
    return ExpandFileName(Path);

  // A 4-byte length followed by the name; most names fit the small buffer, the rest get room for
  // the longest name there is. Neither buffer is cleared: only what the system wrote is read.
  union {
    FILE_NAME_INFO Info;
    wchar_t Room[(sizeof(DWORD) + 1024 * sizeof(wchar_t)) / sizeof(wchar_t)];
  } Small;
  std::unique_ptr<DWORD[]> Large;
  const FILE_NAME_INFO *Info = &Small.Info;
  DWORD InfoSize = sizeof Small;
  if (!OptionalFunctions.GetFileInformationByHandleEx(File.Get(), FileNameInfo, &Small, InfoSize)) {
    if (::GetLastError() != ERROR_MORE_DATA)
      return ExpandFileName(Path);
    InfoSize = 131076;
    Large.reset(new DWORD[InfoSize / sizeof(DWORD)]);
    if (!OptionalFunctions.GetFileInformationByHandleEx(File.Get(), FileNameInfo, Large.get(), InfoSize))
      return ExpandFileName(Path);
    Info = reinterpret_cast<const FILE_NAME_INFO *>(Large.get());
  }
  const size_t NameLength =
      std::min<size_t>(Info->FileNameLength / sizeof(wchar_t), (InfoSize - sizeof(DWORD)) / sizeof(wchar_t));
  std::wstring Name(Info->FileName, NameLength);

  wchar_t SmallVolume[MAX_PATH + 1];
  std::unique_ptr<wchar_t[]> LargeVolume;
  const wchar_t *Volume = SmallVolume;
  if (!OptionalFunctions.GetVolumePathNameW(Path.c_str(), SmallVolume, MAX_PATH + 1)) {
    LargeVolume.reset(new wchar_t[65537]);
    if (!OptionalFunctions.GetVolumePathNameW(Path.c_str(), LargeVolume.get(), 65537))
      return ExpandFileName(Path);
    Volume = LargeVolume.get();
  }
  std::wstring VolumePath(Volume);
  if (!VolumePath.empty() && VolumePath.back() == L'\\')
    VolumePath.pop_back();

  if (StartsWith(Path, L"\\\\?\\") && !StartsWith(VolumePath, L"\\\\?\\")) {
    if (Path.compare(4, 4, L"UNC\\") == 0)
      VolumePath = L"\\\\?\\UNC\\" + VolumePath;
    else
      VolumePath = L"\\\\?\\" + VolumePath;
  }
  return VolumePath + Name;
}

double FileTimeToDays(const FILETIME &FileTime, bool ToLocal) {
  FILETIME Converted = FileTime;
  if (ToLocal && !::FileTimeToLocalFileTime(&FileTime, &Converted))
    return 0;
  SYSTEMTIME System;
  if (!::FileTimeToSystemTime(&Converted, &System))
    return 0;
  const double Date =
      static_cast<double>(DaysFromCivil(System.wYear, System.wMonth, System.wDay) + DaysFrom1899To1970);
  const double Milliseconds =
      ((System.wHour * 60.0 + System.wMinute) * 60.0 + System.wSecond) * 1000.0 + System.wMilliseconds;
  const double BelowMillisecond =
      static_cast<double>(FileTimeValue(Converted) % 10000) * 100.0 * DaysPerNanosecond;
  return Date + Milliseconds / 86400000.0 + BelowMillisecond;
}

int64_t GetFileSizeByName(const std::wstring &FileName) {
  {
    TFileHandle File = OpenForAttributes(FileName, FILE_ATTRIBUTE_NORMAL);
    if (File) {
      DWORD High = 0;
      ::SetLastError(NO_ERROR);
      DWORD Low = ::GetFileSize(File.Get(), &High);
      if (Low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR)
        return static_cast<int64_t>((static_cast<uint64_t>(High) << 32) | Low);
    }
  }
  WIN32_FIND_DATAW Data;
  if (FindEntry(FileName, Data))
    return static_cast<int64_t>((static_cast<uint64_t>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow);
  return -1;
}

bool GetFileTimesByName(const std::wstring &FileName, double &Created, double &Written, double &Accessed,
                        bool ToLocal) {
  Created = 0;
  Written = 0;
  Accessed = 0;
  FILETIME Creation, LastWrite, LastAccess;
  bool Found = false;
  {
    TFileHandle File = OpenForAttributes(FileName, FILE_ATTRIBUTE_NORMAL);
    Found = File && ::GetFileTime(File.Get(), &Creation, &LastAccess, &LastWrite);
  }
  if (!Found) {
    WIN32_FIND_DATAW Data;
    if (!FindEntry(FileName, Data))
      return false;
    Creation = Data.ftCreationTime;
    LastWrite = Data.ftLastWriteTime;
    LastAccess = Data.ftLastAccessTime;
  }
  Created = FileTimeToDays(Creation, ToLocal);
  Written = FileTimeToDays(LastWrite, ToLocal);
  Accessed = FileTimeToDays(LastAccess, ToLocal);
  return true;
}

std::wstring ExpandEnvironment(const std::wstring &Text) {
  std::vector<wchar_t> Buffer(16384);
  for (;;) {
    DWORD Length =
        ::ExpandEnvironmentStringsW(Text.c_str(), Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (Length == 0)
      return Text;
    // A result that does not fit is retried at the size the system asked for, rather than cut.
    if (Length > Buffer.size()) {
      Buffer.resize(Length);
      continue;
    }
    return std::wstring(Buffer.data(), Length - 1);
  }
}

int32_t ShellOpen(const std::wstring &FileName, const std::wstring &Parameters) {
  size_t Last = FileName.find_last_of(L"\\:");
  std::wstring Directory = Last == std::wstring::npos ? std::wstring() : FileName.substr(0, Last + 1);
  return ShellOpenIn(FileName, Parameters, Directory);
}

int32_t ShellOpenIn(const std::wstring &FileName, const std::wstring &Parameters,
                    const std::wstring &Directory) {
  return ShellOpenShow(FileName, Parameters, Directory, SW_SHOWNORMAL);
}

int32_t ShellOpenShow(const std::wstring &FileName, const std::wstring &Parameters,
                      const std::wstring &Directory, int ShowCommand) {
  SHELLEXECUTEINFOW Info{};
  Info.cbSize = sizeof(Info);
  Info.fMask = SEE_MASK_NOZONECHECKS | SEE_MASK_UNICODE | SEE_MASK_CONNECTNETDRV;
  Info.lpFile = FileName.c_str();
  Info.lpParameters = Parameters.empty() ? nullptr : Parameters.c_str();
  Info.lpDirectory = Directory.empty() ? nullptr : Directory.c_str();
  Info.nShow = ShowCommand;

  BOOL Started;
  DWORD Error = NO_ERROR;
  {
    TComScope Com;
    Started = ::ShellExecuteExW(&Info);
    if (!Started)
      Error = ::GetLastError();
  }
  if (Started) {
    auto Instance = static_cast<int32_t>(reinterpret_cast<INT_PTR>(Info.hInstApp));
    // A success must never look like a failure code to the caller.
    return Instance > 32 ? Instance : 33;
  }
  // A failure must never look like success.
  return Error >= 32 ? 5 : static_cast<int32_t>(Error);
}
