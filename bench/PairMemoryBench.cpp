// What "Remember this pair" costs: a whole comparison run through the test host with the pair's
// state loaded and every entry judged against it, against the same comparison with memory off,
// measured in the same run (the contestants take turns, best of several rounds); and saving and
// loading the state of 100,000 entries against writing and reading a file of the same size with
// the bare system calls. Not a test: it prints the ratios. Run it with scripts/bench.sh.
//
//   PairMemoryBench.exe [--files N] [--dirs N] [--rounds R] [--folder F]
//
// Defaults: 20,000 files in 1,000 directories per side; the state is recorded while both trees
// are equal, then 1% of the right side's files change.
#include "Differences.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostPanels.h"
#include "HostSettings.h"
#include "PairState.h"

#include "BenchSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bench::Now;

// Time: the file's modification time; none: the data is flushed to the disk, as a state is.
bool WriteBytes(const std::wstring &Path, const void *Data, size_t Size, const FILETIME *Time) {
  HANDLE File = ::CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return false;
  DWORD Written = 0;
  bool Ok = ::WriteFile(File, Data, static_cast<DWORD>(Size), &Written, nullptr) != FALSE;
  if (Time)
    Ok = ::SetFileTime(File, nullptr, nullptr, Time) && Ok;
  else
    Ok = ::FlushFileBuffers(File) && Ok;
  ::CloseHandle(File);
  return Ok;
}

size_t ReadBytes(const std::wstring &Path, std::vector<char> &Buffer) {
  HANDLE File =
      ::CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return 0;
  DWORD Read = 0;
  ::ReadFile(File, Buffer.data(), static_cast<DWORD>(Buffer.size()), &Read, nullptr);
  ::CloseHandle(File);
  return Read;
}

// Files spread over Directories folders of one level.
bool MakeTree(const std::wstring &Root, size_t Files, size_t Directories) {
  if (!::CreateDirectoryW(Root.c_str(), nullptr))
    return false;
  const FILETIME Time{0x5A000000, 0x01DAB300};
  for (size_t Directory = 0; Directory < Directories; ++Directory)
    if (!::CreateDirectoryW((Root + L"\\folder" + std::to_wstring(Directory)).c_str(), nullptr))
      return false;
  for (size_t File = 0; File < Files; ++File)
    if (!WriteBytes(Root + L"\\folder" + std::to_wstring(File % Directories) + L"\\file" +
                        std::to_wstring(File) + L".txt",
                    "sample contents", 15, &Time))
      return false;
  return true;
}

// The bare walk of a tree, as the comparison lists it: the scale the comparison's times are read on.
size_t Walk(const std::wstring &Directory) {
  size_t Entries = 0;
  std::vector<std::wstring> Subdirectories;
  Bench::ForEachEntry(Directory, [&](const WIN32_FIND_DATAW &Data) {
    ++Entries;
    if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      Subdirectories.push_back(Directory + L"\\" + Data.cFileName);
  });
  for (const std::wstring &Subdirectory : Subdirectories)
    Entries += Walk(Subdirectory);
  return Entries;
}

void RemoveTree(const std::wstring &Path) {
  WIN32_FIND_DATAW Data;
  HANDLE Find = ::FindFirstFileW((Path + L"\\*").c_str(), &Data);
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

std::wstring Wide(const char *Text) {
  return std::wstring(Text, Text + std::strlen(Text));
}

// Saving and loading the state of 100,000 entries, against the same bytes written and read back.
void StateFileRounds(const std::wstring &Root, int Rounds) {
  TPairState State(Root + L"\\a", Root + L"\\b");
  for (int I = 0; I < 100000; ++I)
    State.Record(L"folder" + std::to_wstring(I % 1000) + L"\\file" + std::to_wstring(I) + L".txt",
                 {false, false, 15, 45000.25 + I});
  double Save = 1e30, Load = 1e30, Write = 1e30, Read = 1e30;
  std::vector<char> Bytes;
  const std::wstring Plain = Root + L"\\plain.bin";
  for (int Round = 0; Round < Rounds; ++Round) {
    double Start = Now();
    State.Save();
    Save = std::min(Save, Now() - Start);
    if (Bytes.empty()) {
      Bytes.resize(1 << 24);
      Bytes.resize(ReadBytes(State.GetFileName(), Bytes));
    }
    Start = Now();
    WriteBytes(Plain, Bytes.data(), Bytes.size(), nullptr);
    Write = std::min(Write, Now() - Start);
    std::vector<char> Back(Bytes.size());
    Start = Now();
    ReadBytes(Plain, Back);
    Read = std::min(Read, Now() - Start);
    TPairState Loaded(Root + L"\\b", Root + L"\\a");
    Start = Now();
    const bool Ok = Loaded.Load() == TPairState::psLoaded && Loaded.Count() == 100000;
    Load = std::min(Load, Now() - Start);
    if (!Ok)
      std::printf("the state did not read back\n");
  }
  std::printf("State of 100,000 entries (%zu bytes), best of %d rounds:\n", Bytes.size(), Rounds);
  std::printf("  save %8.3f s, the same bytes written and flushed  %8.3f s: %6.2f x\n", Save, Write,
              Save / std::max(Write, 1e-6));
  std::printf("  load %8.3f s, the same bytes read with ReadFile      %8.3f s: %6.2f x\n", Load, Read,
              Load / std::max(Read, 1e-6));
  TPairState(Root + L"\\a", Root + L"\\b").Forget();
}

} // namespace

int main(int argc, char **argv) {
  size_t Files = 20000, Directories = 1000;
  int Rounds = 5;
  std::wstring Base;
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
    else {
      std::fprintf(stderr, "unknown argument %s\n", argv[I]);
      return 2;
    }
  }
  Base = Bench::Folder(Base);
  const std::wstring Root = Base + L"\\velmora-memory-bench-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring Left = Root + L"\\left", Right = Root + L"\\right";

  std::printf("Building two trees of %zu files in %zu directories each ...\n", Files, Directories);
  std::fflush(stdout);
  if (!::CreateDirectoryW(Root.c_str(), nullptr) || !MakeTree(Left, Files, Directories) ||
      !MakeTree(Right, Files, Directories)) {
    std::printf("could not build the trees\n");
    RemoveTree(Root);
    return 1;
  }

  int Result = 0;
  {
    TFarHost Host;
    if (!Host.Start()) {
      std::printf("the plug-in could not be started\n");
      RemoveTree(Root);
      return 1;
    }
    StateFileRounds(Root, Rounds);

    HostSettings().SetNumber(Host.PluginGuid(), L"", L"ProcessSubfolders", 1);
    HostPanels().SetFolder(THostSide::Left, Left);
    HostPanels().SetFolder(THostSide::Right, Right);
    // The state is recorded while nothing differs; then every hundredth file changes on the right.
    HostSettings().SetNumber(Host.PluginGuid(), L"", L"RememberPair", 1);
    THostDialogUser(Host.Script()).Press(L"OK");
    Host.Script().AnswerMessage(0);
    Host.OpenFromPluginsMenu();
    const FILETIME Later{0x5B000000, 0x01DAB300};
    for (size_t File = 0; File < Files; File += 100)
      WriteBytes(Right + L"\\folder" + std::to_wstring(File % Directories) + L"\\file" +
                     std::to_wstring(File) + L".txt",
                 "sample contents, changed", 24, &Later);
    TPairState State(Left, Right);
    const std::wstring StateFile = State.GetFileName(), Aside = StateFile + L".aside";
    if (State.Load() != TPairState::psLoaded) {
      std::printf("no state was recorded\n");
      Result = 1;
    }
    std::printf("Entries remembered: %zu\n", State.Count());

    double Off = 0, On = 0;
    size_t LinesOff = 0, LinesOn = 0;
    auto Comparison = [&](bool Remember) {
      HostSettings().SetNumber(Host.PluginGuid(), L"", L"RememberPair", Remember ? 1 : 0);
      // Off, the state is out of the way: the comparison would otherwise offer to forget it.
      if (!Remember)
        ::MoveFileW(StateFile.c_str(), Aside.c_str());
      // The last run's selection would tick "Only selected items": every run compares the whole
      // trees.
      HostPanels().ClearSelection(THostSide::Left);
      HostPanels().ClearSelection(THostSide::Right);
      THostDialogUser(Host.Script()).Press(L"OK");
      const double Start = Now();
      Host.OpenFromPluginsMenu();
      (Remember ? On : Off) = Now() - Start;
      size_t &Found = Remember ? LinesOn : LinesOff;
      Found = 0;
      if (THostEditorWindow *Document = THostEditor::Of(Host).Current())
        for (const std::wstring &Line : Document->Lines()) {
          TDifferenceItem Item;
          Found += Item.ParseLine(Line) ? 1 : 0;
        }
      if (!Remember)
        ::MoveFileW(Aside.c_str(), StateFile.c_str());
      Host.ClearRecords();
    };
    // Warmed up once each; then the contestants take turns, in the order ABBA, so that neither
    // profits from running later, and each round gives a ratio of its own.
    Comparison(false);
    Comparison(true);
    std::vector<double> Offs, Ons, Ratios;
    double Bare = 1e30;
    for (int Round = 0; Round < Rounds; ++Round) {
      Comparison(Round % 2 == 0);
      Comparison(Round % 2 != 0);
      const double Start = Now();
      Walk(Left);
      Walk(Right);
      Bare = std::min(Bare, Now() - Start);
      Offs.push_back(Off);
      Ons.push_back(On);
      Ratios.push_back(On / Off);
    }
    std::printf("Comparison of both trees (%zu differences, %zu lines off, %zu on), %d rounds; the bare"
                " FindFirstFileExW walk of both trees: %.3f s\n",
                (Files + 99) / 100, LinesOff, LinesOn, Rounds, Bare);
    for (int Round = 0; Round < Rounds; ++Round)
      std::printf("  round %d: memory off %8.3f s, memory on %8.3f s: %6.3f x\n", Round + 1, Offs[Round],
                  Ons[Round], Ratios[Round]);
    std::sort(Ratios.begin(), Ratios.end());
    std::printf("  best off %8.3f s, best on %8.3f s: %6.3f x; median of the rounds' ratios %6.3f x\n",
                *std::min_element(Offs.begin(), Offs.end()), *std::min_element(Ons.begin(), Ons.end()),
                *std::min_element(Ons.begin(), Ons.end()) / *std::min_element(Offs.begin(), Offs.end()),
                Ratios[Ratios.size() / 2]);
    for (const std::wstring &Failure : Host.Failures()) {
      std::printf("the host recorded a fault: %ls\n", Failure.c_str());
      Result = 1;
    }
  }
  RemoveTree(Root);
  return Result;
}
