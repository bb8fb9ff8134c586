// Time of a whole comparison run through the test host (plug-ins menu, dialog confirmed, walk of
// both trees, document opened) against bare walks of the same two trees, measured in the same
// run: the contestants take turns, best of several rounds. Not a test: it prints the ratios. Run it
// in a real console (scripts/bench.sh does, in a detached tmux session), where every console call
// costs what it costs in FAR.
//
//   DiscoverBench.exe [--files N] [--dirs N] [--contents] [--rounds R] [--folder F] [--workers W[,W...]]
//
// Defaults: 20,000 files in 1,000 directories per side, one side with 1% of the files changed.
// --contents compares contents too, against a bare walk that also reads every file of both trees
// in 64 KiB blocks. The trees are made in a fresh folder under the temporary folder (or F) and
// removed afterwards. --workers runs the comparison once per round for each number of worker
// threads listed (default: the option's default), each against the same baselines.
#include "Differences.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostPanels.h"
#include "HostSettings.h"

#include "BenchSupport.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bench::Now;

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
// evenly over them. Every hundredth file of the right side differs in its contents only, or
// (without contents compared) in size too.
bool MakeTree(const std::wstring &Root, size_t Files, size_t Directories, bool Changed, bool SameSize) {
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
      const char *Text = Differs && SameSize ? "sample Contents!" : "sample contents!";
      if (!WriteSmallFile(Folder + L"\\file" + std::to_wstring(I) + L".txt", Text,
                          Differs && !SameSize ? 16 : 15, Time))
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

// Reads a file to its end in 64 KiB blocks.
void ReadWhole(const std::wstring &Path) {
  thread_local char Buffer[64 << 10];
  HANDLE File = ::CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return;
  DWORD Read = 0;
  while (::ReadFile(File, Buffer, sizeof Buffer, &Read, nullptr) && Read > 0) {
  }
  ::CloseHandle(File);
}

// The baselines: every entry of the tree listed once. Basic: the search level the comparison uses
// (no short names, large fetches). ListFirst: each directory is listed to its end and its search
// closed before the walk descends, as the comparison does. Reading: the basic walk reading every
// file as well.
enum TWalkKind { wkPlain, wkBasic, wkListFirst, wkReading };

size_t PlainWalk(const std::wstring &Directory, TWalkKind Kind = wkPlain) {
  size_t Entries = 0;
  WIN32_FIND_DATAW Data;
  const std::wstring Pattern = Directory + L"\\*";
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
    } else if (Kind == wkReading) {
      ReadWhole(Directory + L"\\" + Data.cFileName);
    }
  } while (::FindNextFileW(Find, &Data));
  ::FindClose(Find);
  for (const std::wstring &Subdirectory : Subdirectories)
    Entries += PlainWalk(Subdirectory, Kind);
  return Entries;
}

// The bare walk on Threads threads sharing the directories of both trees as they are found (and
// reading every file, with Reading): the floor that threads can reach on this machine, whatever
// walks with them.
size_t PoolWalk(const std::vector<std::wstring> &Roots, int Threads, bool Reading) {
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::wstring> Queue(Roots.begin(), Roots.end());
  int Busy = 0;
  std::atomic<size_t> Entries{0};
  auto Work = [&] {
    std::unique_lock<std::mutex> Guard(Lock);
    for (;;) {
      Changed.wait(Guard, [&] { return !Queue.empty() || Busy == 0; });
      if (Queue.empty())
        return;
      std::wstring Directory = std::move(Queue.front());
      Queue.pop_front();
      ++Busy;
      Guard.unlock();
      std::vector<std::wstring> Found;
      Bench::ForEachEntry(Directory, [&](const WIN32_FIND_DATAW &Data) {
        ++Entries;
        if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Found.push_back(Directory + L"\\" + Data.cFileName);
        else if (Reading)
          ReadWhole(Directory + L"\\" + Data.cFileName);
      });
      Guard.lock();
      for (std::wstring &Subdirectory : Found)
        Queue.push_back(std::move(Subdirectory));
      --Busy;
      Changed.notify_all();
    }
  };
  std::vector<std::thread> Pool;
  for (int I = 0; I < Threads; ++I)
    Pool.emplace_back(Work);
  for (std::thread &Thread : Pool)
    Thread.join();
  return Entries;
}

std::wstring Wide(const char *Text) {
  return std::wstring(Text, Text + std::strlen(Text));
}

} // namespace

int main(int argc, char **argv) {
  size_t Files = 20000, Directories = 1000;
  int Rounds = 3;
  bool Contents = false;
  std::wstring Base;
  std::vector<int> Workers;
  for (int I = 1; I < argc; ++I) {
    const char *Value = I + 1 < argc ? argv[I + 1] : "0";
    if (!std::strcmp(argv[I], "--files"))
      Files = std::strtoul(Value, nullptr, 10), ++I;
    else if (!std::strcmp(argv[I], "--dirs"))
      Directories = std::max<size_t>(1, std::strtoul(Value, nullptr, 10)), ++I;
    else if (!std::strcmp(argv[I], "--rounds"))
      Rounds = std::max(1, std::atoi(Value)), ++I;
    else if (!std::strcmp(argv[I], "--folder"))
      Base = Wide(Value), ++I;
    else if (!std::strcmp(argv[I], "--contents"))
      Contents = true;
    else if (!std::strcmp(argv[I], "--workers")) {
      for (const char *Next = Value; *Next;) {
        char *End = nullptr;
        Workers.push_back(std::max(1, static_cast<int>(std::strtol(Next, &End, 10))));
        Next = *End == ',' ? End + 1 : End;
        if (End == Next && *End)
          break;
      }
      ++I;
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argv[I]);
      return 2;
    }
  }
  Base = Bench::Folder(Base);
  const std::wstring Root = Base + L"\\velmora-discover-bench-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring Left = Root + L"\\left", Right = Root + L"\\right";

  std::printf("Building two trees of %zu files in %zu directories each ...\n", Files, Directories);
  std::fflush(stdout);
  double Start = Now();
  if (!::CreateDirectoryW(Root.c_str(), nullptr) || !MakeTree(Left, Files, Directories, false, Contents) ||
      !MakeTree(Right, Files, Directories, true, Contents)) {
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
    HostSettings().SetNumber(Host.PluginGuid(), L"", L"CompareContents", Contents ? 1 : 0);
    HostPanels().SetFolder(THostSide::Left, Left);
    HostPanels().SetFolder(THostSide::Right, Right);

    // Warm the system's caches the same way for every contestant.
    const size_t Entries = PlainWalk(Left, wkReading) + PlainWalk(Right, wkReading);
    const std::vector<TWalkKind> Kinds =
        Contents ? std::vector<TWalkKind>{wkReading} : std::vector<TWalkKind>{wkBasic, wkPlain, wkListFirst};
    std::vector<double> Baseline(wkReading + 1, 1e30);
    // The bare walk on as many threads as each contestant lists with.
    std::vector<double> PoolBaseline(Workers.empty() ? 1 : Workers.size(), 1e30);
    const size_t PeakBefore = PeakWorkingSet();
    if (Workers.empty())
      Workers.push_back(0);
    std::vector<double> Runs(Workers.size(), 1e30);
    size_t Lines = 0;
    auto Walks = [&] {
      for (TWalkKind Kind : Kinds) {
        const std::wstring Prefix = Kind == wkListFirst ? L"\\\\?\\" : L"";
        ::OutputDebugStringW(L"velmora-bench: walk");
        Start = Now();
        PlainWalk(Prefix + Left, Kind);
        PlainWalk(Prefix + Right, Kind);
        Baseline[Kind] = std::min(Baseline[Kind], Now() - Start);
        ::OutputDebugStringW(L"velmora-bench: round over");
      }
      for (size_t I = 0; I < Workers.size(); ++I)
        if (Workers[I] > 1) {
          Start = Now();
          PoolWalk({Left, Right}, Workers[I], Contents);
          PoolBaseline[I] = std::min(PoolBaseline[I], Now() - Start);
        }
    };
    auto Comparison = [&](size_t Contestant) {
      if (Workers[Contestant] > 0)
        HostSettings().SetNumber(Host.PluginGuid(), L"", L"CompareWorkers", Workers[Contestant]);
      // The last run's selection would tick "Only selected items": every run compares the whole
      // trees.
      HostPanels().ClearSelection(THostSide::Left);
      HostPanels().ClearSelection(THostSide::Right);
      THostDialogUser(Host.Script()).Press(L"OK");
      ::OutputDebugStringW(L"velmora-bench: comparison");
      Start = Now();
      Host.OpenFromPluginsMenu();
      Runs[Contestant] = std::min(Runs[Contestant], Now() - Start);
      ::OutputDebugStringW(L"velmora-bench: round over");
      Lines = 0;
      if (THostEditorWindow *Document = THostEditor::Of(Host).Current())
        for (const std::wstring &Line : Document->Lines()) {
          TDifferenceItem Item;
          Lines += Item.ParseLine(Line) ? 1 : 0;
        }
      Host.ClearRecords();
    };
    // The contestants take turns, in the order ABBA, so that neither profits from running later.
    auto Comparisons = [&](bool Backwards) {
      for (size_t I = 0; I < Workers.size(); ++I)
        Comparison(Backwards ? Workers.size() - 1 - I : I);
    };
    for (int Round = 0; Round < Rounds; ++Round) {
      if (Round % 2 == 0) {
        Walks();
        Comparisons(false);
      } else {
        Comparisons(true);
        Walks();
      }
    }
    const size_t PeakAfter = PeakWorkingSet();
    // Measured as often as the comparison: the walk the comparison's own listing matches.
    const double Floor = Baseline[Contents ? wkReading : wkBasic];

    std::printf(
        "Entries per run: %zu (both trees), differences found: %zu (expected %zu); best of %d rounds\n",
        Entries, Lines, (Files + 99) / 100, Rounds);
    if (Contents) {
      std::printf("  walk of both trees reading every file, 64 KiB blocks: %8.3f s\n", Baseline[wkReading]);
    } else {
      std::printf("  walk of both trees, FindFirstFileW:                   %8.3f s\n", Baseline[wkPlain]);
      std::printf("  the same with FindFirstFileExW, basic level:         %8.3f s\n", Baseline[wkBasic]);
      std::printf("  the same, listed before descending, \\\\?\\ paths:     %8.3f s\n",
                  Baseline[wkListFirst]);
    }
    for (size_t I = 0; I < Workers.size(); ++I) {
      const std::string Who = Workers[I] > 0 ? ", " + std::to_string(Workers[I]) + " worker(s)" : "";
      std::printf("  comparison run through the host%s%s: %8.3f s\n", Contents ? ", contents" : "",
                  Who.c_str(), Runs[I]);
      std::printf("  ratio to the %s:           %8.3f x\n",
                  Contents ? "walk reading every file" : "FindFirstFileExW walk  ", Runs[I] / Floor);
      if (PoolBaseline[I] < 1e30)
        std::printf("    (the bare walk%s on %d threads: %.3f s, %.3f x the one-thread walk; the comparison"
                    " is %.3f x it)\n",
                    Contents ? " reading every file" : "", Workers[I], PoolBaseline[I],
                    PoolBaseline[I] / Floor, Runs[I] / PoolBaseline[I]);
    }
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
