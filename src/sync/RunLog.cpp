#include "RunLog.h"

#include "Confirmations.h"
#include "Differences.h"
#include "FarPlugin.h"
#include "Files.h"
#include "Streams.h"
#include "Strings.h"

#include <algorithm>
#include <cwchar>

namespace {

const wchar_t LogPrefix[] = L"Velmora3-";
const wchar_t LogSuffix[] = L".log";

std::wstring LocalTimeText(const SYSTEMTIME &Time, const wchar_t *Pattern) {
  wchar_t Text[64];
  swprintf(Text, 64, Pattern, Time.wYear, Time.wMonth, Time.wDay, Time.wHour, Time.wMinute, Time.wSecond,
           Time.wMilliseconds);
  return Text;
}

std::wstring Now() {
  SYSTEMTIME Time;
  ::GetLocalTime(&Time);
  return LocalTimeText(Time, L"%04u-%02u-%02u %02u:%02u:%02u");
}

// The records in the folder, oldest first (their names begin with the time they were made).
std::vector<std::wstring> Records(const std::wstring &Folder) {
  std::vector<std::wstring> Names;
  WIN32_FIND_DATAW Found;
  HANDLE Search = ::FindFirstFileW((Folder + LogPrefix + L"*" + LogSuffix).c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE)
    return Names;
  do {
    if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      Names.push_back(Found.cFileName);
  } while (::FindNextFileW(Search, &Found));
  ::FindClose(Search);
  std::sort(Names.begin(), Names.end());
  return Names;
}

bool MakeFolders(const std::wstring &Folder) {
  // Each level from the profile down; the profile itself is FAR's.
  for (size_t At = Folder.find(L'\\', 3); At != std::wstring::npos; At = Folder.find(L'\\', At + 1)) {
    const std::wstring Level = Folder.substr(0, At);
    if (!::CreateDirectoryW(Level.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return true;
}

} // namespace

TRunLog::TRunLog() = default;

std::wstring TRunLog::DurationText(uint64_t Milliseconds) {
  wchar_t Text[32];
  swprintf(Text, 32, L"%llu.%01llu s", Milliseconds / 1000, Milliseconds % 1000 / 100);
  return Text;
}

TRunLog::~TRunLog() = default;

std::wstring TRunLog::Folder() {
  const std::wstring Folder = PluginDataFolder(FarPlugin().GetPluginGuid());
  return Folder.empty() ? Folder : Folder + L"\\";
}

std::wstring TRunLog::LastLog() {
  const std::wstring Directory = Folder();
  if (Directory.empty())
    return std::wstring();
  const std::vector<std::wstring> Names = Records(Directory);
  return Names.empty() ? std::wstring() : Directory + Names.back();
}

void TRunLog::Begin(const std::wstring &LeftRoot, const std::wstring &RightRoot) {
  FActive = true;
  FLeftRoot = LeftRoot;
  FRightRoot = RightRoot;
  FFileName.clear();
  FProblem.clear();
  FStream.reset();
  FTotals = TTotals{};
  FStarted = ::GetTickCount64();
  const std::wstring Directory = Folder();
  if (Directory.empty()) {
    FProblem = L"FAR names no profile folder (%FARLOCALPROFILE%)";
    return;
  }
  if (!MakeFolders(Directory)) {
    Fail(SystemErrorMessage(::GetLastError()));
    return;
  }
  SYSTEMTIME Time;
  ::GetLocalTime(&Time);
  // Named by the time it began, to the millisecond; a name taken gets a counter.
  const std::wstring Stamp = LocalTimeText(Time, L"%04u%02u%02u-%02u%02u%02u-%03u");
  for (int Attempt = 0; Attempt < 100 && FFileName.empty(); ++Attempt) {
    const std::wstring Name = Directory + LogPrefix + Stamp +
                              (Attempt ? L"-" + std::to_wstring(Attempt) : std::wstring()) + LogSuffix;
    if (::GetFileAttributesW(Name.c_str()) == INVALID_FILE_ATTRIBUTES)
      FFileName = Name;
  }
  try {
    FStream = std::make_unique<TTextStream>(FFileName, fmCreate);
    FStream->SetEncoding(teUtf8);
  } catch (const Exception &E) {
    Fail(E.Message());
    return;
  }
  Write(L"Velmora3 synchronisation run");
  Write(L"Started:  " + Now());
  Write(L"Left:     " + RemoveLongPathPrefix(LeftRoot));
  Write(L"Right:    " + RemoveLongPathPrefix(RightRoot));
  Write(std::wstring());
}

void TRunLog::Fail(const std::wstring &Problem) {
  FProblem = Problem.empty() ? L"?" : Problem;
  FStream.reset();
  if (!FFileName.empty())
    ::DeleteFileW(FFileName.c_str());
  FFileName.clear();
}

void TRunLog::Write(const std::wstring &Line) {
  if (!FStream)
    return;
  try {
    FStream->WriteLine(Line);
  } catch (const Exception &E) {
    Fail(E.Message());
  }
}

std::wstring TRunLog::Where(const std::wstring &Path) const {
  for (const bool Left : {true, false}) {
    const std::wstring &Root = Left ? FLeftRoot : FRightRoot;
    if (Path.size() >= Root.size() && _wcsnicmp(Path.c_str(), Root.c_str(), Root.size()) == 0)
      return std::wstring(Left ? L"left   " : L"right  ") + Path.substr(Root.size());
  }
  return RemoveLongPathPrefix(Path);
}

void TRunLog::Copied(const std::wstring &Target, int64_t Size, bool Replaced) {
  if (!FActive)
    return;
  ++FTotals.Copied;
  FTotals.CopiedBytes += Size;
  // One line per file of the run: built without asking the system anything (plain digits).
  const std::wstring Place = Where(Target);
  const bool ToLeft = Place.compare(0, 4, L"left") == 0;
  Write(std::wstring(ToLeft ? L"copy to left    " : L"copy to right   ") +
        (Replaced ? L"replaced  " : L"new       ") + Place + L"  (" + std::to_wstring(Size) + L" bytes)");
}

void TRunLog::Deleted(const std::wstring &Path, bool Recycled, bool IsDirectory) {
  if (!FActive)
    return;
  ++FTotals.Deleted;
  if (Recycled)
    ++FTotals.Recycled;
  Write(std::wstring(L"delete          ") + (Recycled ? L"recycled  " : L"permanent ") + Where(Path) +
        (IsDirectory ? L"\\*" : L""));
}

void TRunLog::Failed(const std::wstring &What, DWORD Error, const std::wstring &Path,
                     const std::wstring &Path2) {
  if (!FActive)
    return;
  ++FTotals.Failed;
  std::wstring Line = L"failed          " + What + L": " + Where(Path);
  if (!Path2.empty())
    Line += L" -> " + Where(Path2);
  if (Error != 0)
    Line += L": " + SystemErrorMessage(Error);
  Write(Line);
}

void TRunLog::Stopped() {
  if (FActive)
    Write(L"stopped         by the user");
}

bool TRunLog::End(const TDifferenceList &Undone, const std::wstring &Failure) {
  if (!FActive)
    return false;
  FActive = false;
  FTotals.Milliseconds = ::GetTickCount64() - FStarted;
  FTotals.Undone = static_cast<int64_t>(Undone.Count());
  if (!Failure.empty())
    Write(L"run failed      " + Failure.substr(0, Failure.find(L'\n')) + L": " +
          Failure.substr(Failure.find(L'\n') + 1));
  for (const auto &Item : Undone)
    Write(L"left undone     " + Item->FormatLine());
  Write(std::wstring());
  Write(L"Copied:   " + FormatGroupedNumber(FTotals.Copied) + L" files, " +
        FormatGroupedNumber(FTotals.CopiedBytes) + L" bytes");
  Write(L"Deleted:  " + FormatGroupedNumber(FTotals.Deleted) + L" entries, " +
        FormatGroupedNumber(FTotals.Recycled) + L" of them to the Recycle Bin");
  Write(L"Failed:   " + FormatGroupedNumber(FTotals.Failed));
  Write(L"Undone:   " + FormatGroupedNumber(FTotals.Undone));
  Write(L"Finished: " + Now() + L", after " + DurationText(FTotals.Milliseconds));
  if (!FStream)
    return false;
  try {
    FStream->Flush();
    FStream.reset();
  } catch (const Exception &E) {
    Fail(E.Message());
    return false;
  }
  // Only the newest records are kept.
  const std::wstring Directory = Folder();
  std::vector<std::wstring> Names = Records(Directory);
  for (size_t I = 0; I + KeptRuns < Names.size(); ++I)
    ::DeleteFileW((Directory + Names[I]).c_str());
  return true;
}
