// Time of a whole synchronisation into an empty right side (comparison from the plug-ins menu,
// the document closed, the synchronise dialog confirmed) beside a bare recursive copy of the same
// tree with CopyFileExW (each directory created, then its files copied), and the same
// synchronisation with every copy read back and compared ("Verify copies"), measured in the same
// run: the three take turns, best of several rounds, with the system's cache written out before
// each.
// Not a test: it prints the ratio. Run it in a real console (scripts/bench.sh does, in a detached
// tmux session), where every console call costs what it costs in FAR.
//
//   SyncCopyBench.exe [small|large] [replace] [--files N] [--dirs N] [--min-kb K] [--max-kb K]
//                     [--total-mb M] [--file-mb M] [--rounds R]
//
// small (the default): 4,000 files of 1 to 64 KB in 200 directories.
// large: 2,048 MB in files of 64 MB.
// replace: the right side (and the bare copy's target) holds an older copy of every file, which
// each copy replaces (the bare copy then lets CopyFileExW overwrite).
#include "Host.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostPanels.h"
#include "HostSettings.h"

#include "BenchSupport.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bench::Now;

// Calls Visit(Child, Found) for each entry of the directory Path but the dots.
template <class TVisit> void ForEachEntry(const std::wstring &Path, TVisit Visit) {
  WIN32_FIND_DATAW Found{};
  HANDLE Search = ::FindFirstFileW((Path + L"\\*").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE)
    return;
  do {
    const std::wstring Name = Found.cFileName;
    if (Name != L"." && Name != L"..")
      Visit(Path + L"\\" + Name, Found);
  } while (::FindNextFileW(Search, &Found));
  ::FindClose(Search);
}

void RemoveContents(const std::wstring &Path) {
  ForEachEntry(Path, [](const std::wstring &Child, const WIN32_FIND_DATAW &Found) {
    if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveContents(Child);
      ::RemoveDirectoryW(Child.c_str());
    } else {
      ::DeleteFileW(Child.c_str());
    }
  });
}

void RemoveTree(const std::wstring &Path) {
  RemoveContents(Path);
  ::RemoveDirectoryW(Path.c_str());
}

struct TTreeShape {
  size_t Files = 4000, Directories = 200;
  uint64_t MinBytes = 1 << 10, MaxBytes = 64 << 10;
};

// Directories in two levels (about the square root of them at the top), the files spread evenly,
// sizes spread evenly between the two bounds.
uint64_t MakeTree(const std::wstring &Root, const TTreeShape &Shape) {
  std::vector<char> Buffer(1 << 20);
  for (size_t I = 0; I < Buffer.size(); ++I)
    Buffer[I] = static_cast<char>(I * 131 + (I >> 9));
  ::CreateDirectoryW(Root.c_str(), nullptr);
  size_t Top = 1;
  while ((Top + 1) * (Top + 1) <= Shape.Directories)
    ++Top;
  uint64_t Total = 0;
  size_t File = 0;
  for (size_t Directory = 0; Directory < Shape.Directories; ++Directory) {
    const std::wstring Group = Root + L"\\group" + std::to_wstring(Directory % Top);
    ::CreateDirectoryW(Group.c_str(), nullptr);
    const std::wstring Folder = Group + L"\\folder" + std::to_wstring(Directory);
    ::CreateDirectoryW(Folder.c_str(), nullptr);
    const size_t Here =
        Shape.Files / Shape.Directories + (Directory < Shape.Files % Shape.Directories ? 1 : 0);
    for (size_t I = 0; I < Here; ++I, ++File) {
      const uint64_t Span = Shape.MaxBytes - Shape.MinBytes;
      const uint64_t Size = Shape.MinBytes + (Span ? (File * 7919) % (Span + 1) : 0);
      HANDLE Out = ::CreateFileW((Folder + L"\\file" + std::to_wstring(I) + L".bin").c_str(), GENERIC_WRITE,
                                 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (Out == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot write the source tree\n");
        std::exit(1);
      }
      for (uint64_t Left = Size; Left > 0;) {
        const DWORD Chunk = static_cast<DWORD>(std::min<uint64_t>(Left, Buffer.size()));
        DWORD Done = 0;
        ::WriteFile(Out, Buffer.data(), Chunk, &Done, nullptr);
        Left -= Chunk;
      }
      ::CloseHandle(Out);
      Total += Size;
    }
  }
  return Total;
}

// Lets the system write out what the last round left in the cache, so that no round pays for
// the one before. Where there is no such program (outside wine) the round just starts.
void Settle() {
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  PROCESS_INFORMATION Process{};
  wchar_t Command[] = L"Z:\\bin\\sync";
  if (::CreateProcessW(L"Z:\\bin\\sync", Command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup,
                       &Process)) {
    ::WaitForSingleObject(Process.hProcess, 120000);
    ::CloseHandle(Process.hThread);
    ::CloseHandle(Process.hProcess);
  }
  ::Sleep(300);
}

// A copy of the tree ten minutes older than its source (whole hours would pass for a time zone's
// difference), for copies to replace.
void MakeOlderCopy(const std::wstring &Source, const std::wstring &Target) {
  ::CreateDirectoryW(Target.c_str(), nullptr);
  ForEachEntry(Source, [&](const std::wstring &From, const WIN32_FIND_DATAW &Found) {
    const std::wstring To = Target + L"\\" + Found.cFileName;
    if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      MakeOlderCopy(From, To);
      return;
    }
    HANDLE Out = ::CopyFileExW(From.c_str(), To.c_str(), nullptr, nullptr, nullptr, 0)
                     ? ::CreateFileW(To.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                     : INVALID_HANDLE_VALUE;
    if (Out == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot write the older copies\n");
      std::exit(1);
    }
    ULARGE_INTEGER Time{{Found.ftLastWriteTime.dwLowDateTime, Found.ftLastWriteTime.dwHighDateTime}};
    Time.QuadPart -= 6000000000ull;
    const FILETIME Older{Time.LowPart, Time.HighPart};
    ::SetFileTime(Out, nullptr, nullptr, &Older);
    ::CloseHandle(Out);
  });
}

// The floor: the source walked once, each directory created, each file copied by the system.
void BareCopy(const std::wstring &Source, const std::wstring &Target, bool Replace) {
  ::CreateDirectoryW(Target.c_str(), nullptr);
  WIN32_FIND_DATAW Found{};
  HANDLE Search = ::FindFirstFileExW((Source + L"\\*").c_str(), FindExInfoBasic, &Found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (Search == INVALID_HANDLE_VALUE)
    return;
  do {
    const wchar_t *Name = Found.cFileName;
    if (Name[0] == L'.' && (Name[1] == 0 || (Name[1] == L'.' && Name[2] == 0)))
      continue;
    if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      BareCopy(Source + L"\\" + Name, Target + L"\\" + Name, Replace);
    // Told the target is new where it is: the faster way for the system, which need not cut short
    // a file that may be there.
    else if (!::CopyFileExW((Source + L"\\" + Name).c_str(), (Target + L"\\" + Name).c_str(), nullptr,
                            nullptr, nullptr, Replace ? 0 : COPY_FILE_FAIL_IF_EXISTS)) {
      std::fprintf(stderr, "the bare copy failed\n");
      std::exit(1);
    }
  } while (::FindNextFileW(Search, &Found));
  ::FindClose(Search);
}

// Files and bytes below Path.
size_t CountFiles(const std::wstring &Path, uint64_t *Bytes = nullptr) {
  size_t Count = 0;
  ForEachEntry(Path, [&](const std::wstring &Child, const WIN32_FIND_DATAW &Found) {
    if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Count += CountFiles(Child, Bytes);
    } else {
      ++Count;
      if (Bytes)
        *Bytes += (uint64_t(Found.nFileSizeHigh) << 32) | Found.nFileSizeLow;
    }
  });
  return Count;
}

// The whole road as a FAR user takes it: F11, OK in the comparison dialog, the document closed,
// OK in the synchronise dialog (where replacing, without a question for each file).
bool Synchronise(TFarHost &Host, bool Replace) {
  THostDialogUser(Host.Script()).Press(L"OK");
  Host.OpenFromPluginsMenu();
  THostEditorWindow *Document = THostEditor::Of(Host).Current();
  if (!Document)
    return false;
  if (Replace)
    THostDialogUser(Host.Script()).Clear(L"Confirm overwriting on the right");
  THostDialogUser(Host.Script()).Press(L"OK");
  Document->Close();
  Host.ClearRecords();
  return THostEditor::Of(Host).OpenCount() == 0;
}

uint64_t Number(const char *Text) {
  return std::strtoull(Text, nullptr, 10);
}

} // namespace

int main(int argc, char **argv) {
  TTreeShape Shape;
  int Rounds = 3;
  bool Large = false, Replace = false;
  uint64_t TotalMb = 2048, FileMb = 64;
  bool Record = true;
  for (int I = 1; I < argc; ++I) {
    const char *Arg = argv[I];
    const char *Value = I + 1 < argc ? argv[I + 1] : "0";
    if (!std::strcmp(Arg, "large")) {
      Large = true;
    } else if (!std::strcmp(Arg, "small")) {
      Large = false;
    } else if (!std::strcmp(Arg, "replace")) {
      Replace = true;
    } else if (!std::strcmp(Arg, "--files")) {
      Shape.Files = Number(Value), ++I;
    } else if (!std::strcmp(Arg, "--dirs")) {
      Shape.Directories = std::max<uint64_t>(1, Number(Value)), ++I;
    } else if (!std::strcmp(Arg, "--min-kb")) {
      Shape.MinBytes = Number(Value) << 10, ++I;
    } else if (!std::strcmp(Arg, "--max-kb")) {
      Shape.MaxBytes = Number(Value) << 10, ++I;
    } else if (!std::strcmp(Arg, "--total-mb")) {
      TotalMb = Number(Value), ++I;
    } else if (!std::strcmp(Arg, "--file-mb")) {
      FileMb = std::max<uint64_t>(1, Number(Value)), ++I;
    } else if (!std::strcmp(Arg, "--no-record")) {
      Record = false;
    } else if (!std::strcmp(Arg, "--rounds")) {
      Rounds = std::max(1, std::atoi(Value)), ++I;
    } else {
      std::fprintf(stderr, "unknown argument %s\n", Arg);
      return 2;
    }
  }
  if (Large) {
    Shape.Files = static_cast<size_t>(std::max<uint64_t>(1, TotalMb / FileMb));
    Shape.Directories = std::min<size_t>(Shape.Files, 4);
    Shape.MinBytes = Shape.MaxBytes = FileMb << 20;
  }
  Shape.MaxBytes = std::max(Shape.MaxBytes, Shape.MinBytes);

  wchar_t Temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, Temp);
  const std::wstring Root =
      std::wstring(Temp) + L"velmora-syncbench-" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(Root.c_str(), nullptr);
  const std::wstring Source = Root + L"\\left", Bare = Root + L"\\bare", Right = Root + L"\\right";
  ::CreateDirectoryW(Right.c_str(), nullptr);

  std::printf("Writing %zu files of %llu to %llu KB in %zu directories ...\n", Shape.Files,
              static_cast<unsigned long long>(Shape.MinBytes >> 10),
              static_cast<unsigned long long>(Shape.MaxBytes >> 10), Shape.Directories);
  std::fflush(stdout);
  const uint64_t Bytes = MakeTree(Source, Shape);

  int Result = 0;
  {
    TFarHost Host;
    if (!Host.Start()) {
      std::printf("the plug-in could not be started\n");
      RemoveTree(Root);
      return 1;
    }
    HostSettings().SetNumber(Host.PluginGuid(), L"", L"ProcessSubfolders", 1);
    HostSettings().SetNumber(Host.PluginGuid(), L"", L"CompareContents", 0);
    // The message at the end of a run waits for the user; the record of the run is written unless
    // the run is told of no profile folder (--no-record, to measure what the record costs).
    HostSettings().SetNumber(Host.PluginGuid(), L"", L"ShowRunSummary", 0);
    if (!Record) {
      ::SetEnvironmentVariableW(L"FARLOCALPROFILE", nullptr);
      ::SetEnvironmentVariableW(L"FARPROFILE", nullptr);
    }
    HostPanels().SetFolder(THostSide::Left, Source);
    HostPanels().SetFolder(THostSide::Right, Right);

    double BestBare = 1e30, BestSync = 1e30, BestVerified = 1e30;
    for (int Round = 0; Round < 3 * Rounds; ++Round) {
      // Each group of three rounds starts with the next kind, so none always runs first.
      const int Kind = (Round + Round / 3) % 3;
      const bool BareTurn = Kind == 0, Verified = Kind == 2;
      HostSettings().SetNumber(Host.PluginGuid(), L"", L"VerifyCopies", Verified ? 1 : 0);
      RemoveTree(Bare);
      RemoveContents(Right);
      if (Replace)
        MakeOlderCopy(Source, BareTurn ? Bare : Right);
      HostPanels().SetFolder(THostSide::Right, Right);
      Settle();
      // A mark a call trace can split the rounds at (WINEDEBUG=+relay under wine).
      ::OutputDebugStringW(BareTurn   ? L"velmora-bench: bare copy"
                           : Verified ? L"velmora-bench: verified synchronisation"
                                      : L"velmora-bench: synchronisation");
      const double Start = Now();
      if (BareTurn) {
        BareCopy(Source, Bare, Replace);
        BestBare = std::min(BestBare, Now() - Start);
        ::OutputDebugStringW(L"velmora-bench: round over");
      } else {
        if (!Synchronise(Host, Replace)) {
          std::printf("the synchronisation did not finish\n");
          Result = 1;
          break;
        }
        (Verified ? BestVerified : BestSync) = std::min(Verified ? BestVerified : BestSync, Now() - Start);
        ::OutputDebugStringW(L"velmora-bench: round over");
        uint64_t Copied = 0;
        if (CountFiles(Right, &Copied) != Shape.Files || Copied != Bytes) {
          std::printf("the synchronisation copied %zu files of %zu, %llu bytes of %llu\n", CountFiles(Right),
                      Shape.Files, static_cast<unsigned long long>(Copied),
                      static_cast<unsigned long long>(Bytes));
          Result = 1;
          break;
        }
      }
    }
    PROCESS_MEMORY_COUNTERS Memory{};
    Memory.cb = sizeof Memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &Memory, sizeof Memory);
    const double Mb = static_cast<double>(Bytes) / 1048576.0;
    std::printf("%zu files, %.1f MB; best of %d rounds each, taking turns; %s%s\n", Shape.Files, Mb, Rounds,
                Record ? "each run writes its record" : "no run record",
                Replace ? "; every copy replaces an older file" : "");
    std::printf("  bare recursive CopyFileExW      %8.3f s  %8.1f MB/s\n", BestBare, Mb / BestBare);
    std::printf("  synchronisation, whole road     %8.3f s  %8.1f MB/s\n", BestSync, Mb / BestSync);
    std::printf("  ratio                           %8.3f x\n", BestSync / BestBare);
    std::printf("  with Verify copies              %8.3f s  %8.1f MB/s\n", BestVerified, Mb / BestVerified);
    std::printf("  ratio, verified                 %8.3f x  (%.3f x the plain run)\n",
                BestVerified / BestBare, BestVerified / BestSync);
    std::printf("  peak working set                %8.1f MB\n", Memory.PeakWorkingSetSize / 1048576.0);
    if (!Host.Failures().empty()) {
      std::printf("the host recorded %zu fault(s):\n", Host.Failures().size());
      for (const auto &Failure : Host.Failures())
        std::printf("  %ls\n", Failure.c_str());
      Result = 1;
    }
  }
  RemoveTree(Root);
  return Result;
}
