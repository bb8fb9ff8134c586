// Time of a whole comparison run through the test host (plug-ins menu, dialog confirmed, walk of
// both trees without contents, document opened) against a plain recursive FindFirstFileW walk of
// the same two trees, measured in the same run. Not a test: it prints its numbers.
//
//   DiscoverBench.exe [files] [directories] [folder]
//
// Defaults: 100000 files in 5000 directories per side, one side with 1% of the files changed;
// the trees are made in a fresh folder under the temporary folder and removed afterwards.
#include "Differences.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostPanels.h"
#include "HostSettings.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Now() {
  static const double Frequency = [] {
    LARGE_INTEGER Value;
    ::QueryPerformanceFrequency(&Value);
    return static_cast<double>(Value.QuadPart);
  }();
  LARGE_INTEGER Value;
  ::QueryPerformanceCounter(&Value);
  return static_cast<double>(Value.QuadPart) / Frequency;
}

size_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS Counters{};
  Counters.cb = sizeof Counters;
  return ::GetProcessMemoryInfo(::GetCurrentProcess(), &Counters, sizeof Counters)
             ? Counters.PeakWorkingSetSize
             : 0;
}

bool WriteSmallFile(const std::wstring &Path, const char *Text, size_t Length, const FILETIME &Time) {
  HANDLE File = ::CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return false;
  DWORD Written = 0;
  bool Ok = ::WriteFile(File, Text, static_cast<DWORD>(Length), &Written, nullptr) != FALSE;
  Ok = ::SetFileTime(File, nullptr, nullptr, &Time) && Ok;
  ::CloseHandle(File);
  return Ok;
}

// Directories Count in a two-level layout (about sqrt(Count) folders of folders), Files spread
// evenly over them. Every hundredth file of the right side differs in size.
bool MakeTree(const std::wstring &Root, size_t Files, size_t Directories, bool Changed) {
  if (!::CreateDirectoryW(Root.c_str(), nullptr))
    return false;
  const size_t Top = std::max<size_t>(1, static_cast<size_t>(std::sqrt(static_cast<double>(Directories))));
  FILETIME Time{0x5A000000, 0x01DAB300};
  size_t File = 0;
  for (size_t Directory = 0; Directory < Directories; ++Directory) {
    const std::wstring Parent = Root + L"\\group" + std::to_wstring(Directory % Top);
    if (Directory < Top && !::CreateDirectoryW(Parent.c_str(), nullptr))
      return false;
    const std::wstring Folder = Parent + L"\\folder" + std::to_wstring(Directory);
    if (!::CreateDirectoryW(Folder.c_str(), nullptr))
      return false;
    const size_t Here = Files / Directories + (Directory < Files % Directories ? 1 : 0);
    for (size_t I = 0; I < Here; ++I, ++File) {
      const bool Differs = Changed && File % 100 == 0;
      if (!WriteSmallFile(Folder + L"\\file" + std::to_wstring(I) + L".txt", "sample contents!",
                          Differs ? 16 : 15, Time))
        return false;
    }
  }
  return true;
}

void RemoveTree(const std::wstring &Path) {
  WIN32_FIND_DATAW Data;
  HANDLE Find = ::FindFirstFileExW((Path + L"\\*").c_str(), FindExInfoBasic, &Data, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (Find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring Name = Data.cFileName;
      if (Name == L"." || Name == L"..")
        continue;
      if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(Path + L"\\" + Name);
      else
        ::DeleteFileW((Path + L"\\" + Name).c_str());
    } while (::FindNextFileW(Find, &Data));
    ::FindClose(Find);
  }
  ::RemoveDirectoryW(Path.c_str());
}

// The baselines: every entry of the tree listed once, nothing else. Basic: the search level the
// comparison uses (no short names, large fetches). ListFirst: each directory is listed to its end
// and its search closed before the walk descends, as the comparison does.
enum TWalkKind { wkPlain, wkBasic, wkListFirst };

size_t PlainWalk(const std::wstring &Directory, TWalkKind Kind = wkPlain) {
  size_t Entries = 0;
  WIN32_FIND_DATAW Data;
  const std::wstring Pattern = Directory + L"\\*.*";
  HANDLE Find = Kind == wkPlain
                    ? ::FindFirstFileW(Pattern.c_str(), &Data)
                    : ::FindFirstFileExW(Pattern.c_str(), FindExInfoBasic, &Data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (Find == INVALID_HANDLE_VALUE)
    return 0;
  std::vector<std::wstring> Subdirectories;
  do {
    if (Data.cFileName[0] == L'.' &&
        (Data.cFileName[1] == 0 || (Data.cFileName[1] == L'.' && Data.cFileName[2] == 0)))
      continue;
    ++Entries;
    if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (Kind == wkListFirst)
        Subdirectories.push_back(Directory + L"\\" + Data.cFileName);
      else
        Entries += PlainWalk(Directory + L"\\" + Data.cFileName, Kind);
    }
  } while (::FindNextFileW(Find, &Data));
  ::FindClose(Find);
  for (const std::wstring &Subdirectory : Subdirectories)
    Entries += PlainWalk(Subdirectory, Kind);
  return Entries;
}

} // namespace

int main(int argc, char **argv) {
  const size_t Files = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const size_t Directories = argc > 2 ? std::max<size_t>(1, std::strtoul(argv[2], nullptr, 10)) : 5000;
  std::wstring Base;
  if (argc > 3) {
    std::string Arg = argv[3];
    Base.assign(Arg.begin(), Arg.end());
  } else {
    wchar_t Temp[MAX_PATH + 1];
    Base.assign(Temp, ::GetTempPathW(MAX_PATH + 1, Temp));
  }
  if (!Base.empty() && Base.back() == L'\\')
    Base.pop_back();
  const std::wstring Root = Base + L"\\velmora-discover-bench-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring Left = Root + L"\\left", Right = Root + L"\\right";

  std::printf("Building two trees of %zu files in %zu directories each ...\n", Files, Directories);
  std::fflush(stdout);
  double Start = Now();
  if (!::CreateDirectoryW(Root.c_str(), nullptr) || !MakeTree(Left, Files, Directories, false) ||
      !MakeTree(Right, Files, Directories, true)) {
    std::printf("could not build the trees\n");
    RemoveTree(Root);
    return 1;
  }
  std::printf("  built in %.1f s\n", Now() - Start);

  int Result = 0;
  {
    // The plug-in as FAR loads it.
    TFarHost Host;
    if (!Host.Start()) {
      std::printf("the plug-in could not be started\n");
      RemoveTree(Root);
      return 1;
    }
    HostSettings().SetNumber(Host.PluginGuid(), L"", L"ProcessSubfolders", 1);
    HostSettings().SetNumber(Host.PluginGuid(), L"", L"CompareContents", 0);
    HostPanels().SetFolder(THostSide::Left, Left);
    HostPanels().SetFolder(THostSide::Right, Right);

    // Warm the system's caches the same way for both contestants.
    const size_t Entries = PlainWalk(Left) + PlainWalk(Right);
    // The contestants take turns, so that neither profits from running later (the system may
    // still be writing the fresh trees back when the first walk starts).
    double Baseline[3] = {1e30, 1e30, 1e30};
    const size_t PeakBefore = PeakWorkingSet();
    double Run = 1e30;
    size_t Lines = 0;
    for (int Round = 0; Round < 3; ++Round) {
      for (int Kind = wkPlain; Kind <= wkListFirst; ++Kind) {
        const std::wstring Prefix = Kind == wkListFirst ? L"\\\\?\\" : L"";
        Start = Now();
        PlainWalk(Prefix + Left, TWalkKind(Kind));
        PlainWalk(Prefix + Right, TWalkKind(Kind));
        Baseline[Kind] = std::min(Baseline[Kind], Now() - Start);
      }
      THostDialogUser(Host.Script()).Press(L"OK");
      Start = Now();
      Host.OpenFromPluginsMenu();
      Run = std::min(Run, Now() - Start);
      Lines = 0;
      if (THostEditorWindow *Document = THostEditor::Of(Host).Current())
        for (const std::wstring &Line : Document->Lines()) {
          TDifferenceItem Item;
          Lines += Item.ParseLine(Line) ? 1 : 0;
        }
      Host.ClearRecords();
    }
    const size_t PeakAfter = PeakWorkingSet();

    std::printf("Entries per run: %zu (both trees), differences found: %zu (expected %zu)\n", Entries, Lines,
                (Files + 99) / 100);
    std::printf("  walk of both trees, FindFirstFileW:                   %8.3f s\n", Baseline[wkPlain]);
    std::printf("  the same with FindFirstFileExW, basic level:         %8.3f s\n", Baseline[wkBasic]);
    std::printf("  the same, listed before descending, \\\\?\\ paths:     %8.3f s\n", Baseline[wkListFirst]);
    std::printf("  comparison run through the host:                     %8.3f s\n", Run);
    std::printf("  the run against the three walks: %.2fx, %.2fx, %.2fx\n", Run / Baseline[wkPlain],
                Run / Baseline[wkBasic], Run / Baseline[wkListFirst]);
    std::printf("  peak working set: %.1f MB before the runs, %.1f MB after\n", PeakBefore / 1048576.0,
                PeakAfter / 1048576.0);
    if (!Host.Failures().empty()) {
      std::printf("the host recorded %zu fault(s)\n", Host.Failures().size());
      Result = 1;
    }
  }
  RemoveTree(Root);
  return Result;
}
