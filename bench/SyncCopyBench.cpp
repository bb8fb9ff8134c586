// Time the synchronisation needs to copy a tree of files of mixed sizes, beside plain
// CopyFileExW of the same files into a fresh folder, measured in the same run (best of three
// rounds each, alternating, the cache written out before each). Not a test: it prints its numbers and leaves
// judging them to the reader. The plug-in runs in the test host, as in FAR, without a progress window.
//
//   SyncCopyBench.exe [megabytes]     (default 2048)
#include "FarExports.h"
#include "FarPlugin.h"
#include "Host.h"
#include "SynchronizeDirectories.h"
#include "Velmora.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

void RemoveTree(const std::wstring &Path) {
  WIN32_FIND_DATAW Found{};
  HANDLE Search = ::FindFirstFileW((Path + L"\\*").c_str(), &Found);
  if (Search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring Name = Found.cFileName;
      if (Name == L"." || Name == L"..")
        continue;
      const std::wstring Child = Path + L"\\" + Name;
      if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(Child);
      else
        ::DeleteFileW(Child.c_str());
    } while (::FindNextFileW(Search, &Found));
    ::FindClose(Search);
  }
  ::RemoveDirectoryW(Path.c_str());
}

// Relative names of the files written.
std::vector<std::wstring> MakeTree(const std::wstring &Root, uint64_t TotalBytes) {
  // Many small files, some middling, a few large: roughly what a source tree with its build
  // output holds.
  static const uint64_t Sizes[] = {1 << 10,  4 << 10,  16 << 10, 64 << 10,  1 << 10,   256 << 10,
                                   8 << 10,  2 << 20,  32 << 10, 1 << 10,   16 << 20,  128 << 10,
                                   12 << 10, 64 << 20, 3 << 10,  512 << 10, 200 << 20, 40 << 10};
  std::vector<std::wstring> Files;
  std::vector<char> Buffer(1 << 20);
  for (size_t i = 0; i < Buffer.size(); ++i)
    Buffer[i] = static_cast<char>(i * 131 + (i >> 9));
  ::CreateDirectoryW(Root.c_str(), nullptr);
  uint64_t Written = 0;
  for (size_t Index = 0; Written < TotalBytes; ++Index) {
    const std::wstring Folder = L"d" + std::to_wstring(Index / 40);
    ::CreateDirectoryW((Root + L"\\" + Folder).c_str(), nullptr);
    const std::wstring Name = Folder + L"\\f" + std::to_wstring(Index) + L".bin";
    uint64_t Size =
        std::min<uint64_t>(Sizes[Index % (sizeof(Sizes) / sizeof(Sizes[0]))], TotalBytes - Written);
    HANDLE File =
        ::CreateFileW((Root + L"\\" + Name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (File == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot write the source tree\n");
      std::exit(1);
    }
    for (uint64_t Left = Size; Left > 0;) {
      const DWORD Chunk = static_cast<DWORD>(std::min<uint64_t>(Left, Buffer.size()));
      DWORD Done = 0;
      ::WriteFile(File, Buffer.data(), Chunk, &Done, nullptr);
      Left -= Chunk;
    }
    ::CloseHandle(File);
    Written += Size;
    Files.push_back(Name);
  }
  return Files;
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
  ::Sleep(500);
}

double PlainCopy(const std::wstring &Source, const std::wstring &Target,
                 const std::vector<std::wstring> &Files) {
  RemoveTree(Target);
  Settle();
  const double Start = Now();
  ::CreateDirectoryW(Target.c_str(), nullptr);
  std::wstring LastFolder;
  for (const auto &Name : Files) {
    const std::wstring Folder = Name.substr(0, Name.find(L'\\'));
    if (Folder != LastFolder) {
      ::CreateDirectoryW((Target + L"\\" + Folder).c_str(), nullptr);
      LastFolder = Folder;
    }
    if (!::CopyFileExW((Source + L"\\" + Name).c_str(), (Target + L"\\" + Name).c_str(), nullptr, nullptr,
                       nullptr, 0)) {
      std::fprintf(stderr, "plain copy failed\n");
      std::exit(1);
    }
  }
  return Now() - Start;
}

double SynchronisedCopy(const std::wstring &Source, const std::wstring &Target) {
  RemoveTree(Target);
  Settle();
  TSynchronizeTask Task(Source, Target);
  const double Start = Now();
  const bool Done = Task.CopyDirectoryTree(L"tree", Source, Target, false, nullptr);
  const double Seconds = Now() - Start;
  if (!Done) {
    std::fprintf(stderr, "synchronised copy failed\n");
    std::exit(1);
  }
  return Seconds;
}

} // namespace

int main(int argc, char **argv) {
  const uint64_t Megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2048;

  TFarHost Host;
  THostExports Exports;
  Exports.SetStartupInfoW = &SetStartupInfoW;
  Exports.GetGlobalInfoW = &GetGlobalInfoW;
  Exports.GetPluginInfoW = &GetPluginInfoW;
  Exports.OpenW = &OpenW;
  Exports.ConfigureW = &ConfigureW;
  Exports.ExitFARW = &ExitFARW;
  Exports.ProcessEditorEventW = &ProcessEditorEventW;
  Exports.ProcessEditorInputW = &ProcessEditorInputW;
  FreePlugin();
  RegisterPlugin(std::make_unique<TVelmoraPlugin>());
  Host.AttachInProcess(Exports);
  Host.CallGetGlobalInfo();
  Host.CallSetStartupInfo();

  wchar_t Temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, Temp);
  const std::wstring Root =
      std::wstring(Temp) + L"velmora-syncbench-" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(Root.c_str(), nullptr);
  const std::wstring Source = Root + L"\\source", Plain = Root + L"\\plain", Synced = Root + L"\\synced";

  std::printf("writing %llu MB of files...\n", static_cast<unsigned long long>(Megabytes));
  const std::vector<std::wstring> Files = MakeTree(Source, Megabytes << 20);
  std::printf("%zu files\n", Files.size());

  double BestPlain = 1e30, BestSynced = 1e30;
  for (int Round = 0; Round < 3; ++Round) {
    if (Round % 2 == 0) {
      BestPlain = std::min(BestPlain, PlainCopy(Source, Plain, Files));
      BestSynced = std::min(BestSynced, SynchronisedCopy(Source, Synced));
    } else {
      BestSynced = std::min(BestSynced, SynchronisedCopy(Source, Synced));
      BestPlain = std::min(BestPlain, PlainCopy(Source, Plain, Files));
    }
  }
  const double Mb = static_cast<double>(Megabytes);
  std::printf("plain CopyFileExW  %8.2f s  %8.1f MB/s\n", BestPlain, Mb / BestPlain);
  std::printf("synchronisation    %8.2f s  %8.1f MB/s\n", BestSynced, Mb / BestSynced);
  std::printf("ratio              %8.2f x\n", BestSynced / BestPlain);

  RemoveTree(Root);
  TFarEditorManaged::FreeAdopted();
  FreePlugin();
  Host.Unload();
  return 0;
}
