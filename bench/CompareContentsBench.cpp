// Throughput of the contents comparison on two identical 100 MB files, beside a raw ReadFile of
// the same two files in the same run, one block of each after the other (4096-byte blocks, and
// 1 MB blocks: the bare sequential reading the exact comparison is measured against; it reads the
// right file on a thread of its own meanwhile). The exact comparison should reach at least half
// of the raw 4096-byte rate.
//
//   CompareContentsBench.exe [megabytes] [folder]
#include "CompareRules.h"
#include "Handles.h"
#include "Options.h"

#include "BenchSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bench::Now;

TFileHandle Open(const std::wstring &Name) {
  return TFileHandle(CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Text-like data: words, blanks and line breaks, so the ignoring modes have work to do.
bool MakeFile(const std::wstring &Name, int64_t Size) {
  TFileHandle File(CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!File)
    return false;
  std::mt19937 Random(42);
  std::string Block(1 << 20, ' ');
  for (char &C : Block) {
    unsigned R = Random() % 64;
    C = R < 4 ? ' ' : R == 4 ? '\r' : R == 5 ? '\n' : R == 6 ? '\t' : char('a' + R % 26);
  }
  for (int64_t Written = 0; Written < Size;) {
    DWORD Chunk = DWORD(std::min<int64_t>(Block.size(), Size - Written)), Count = 0;
    if (!WriteFile(File.Get(), Block.data(), Chunk, &Count, nullptr) || Count != Chunk)
      return false;
    Written += Count;
  }
  return true;
}

// Both files in blocks of BlockSize, alternately, as the comparison reads them.
bool RawRead(const std::wstring &Left, const std::wstring &Right, DWORD BlockSize) {
  TFileHandle L = Open(Left), R = Open(Right);
  if (!L || !R)
    return false;
  std::vector<char> A(BlockSize), B(BlockSize);
  volatile char Sink = 0;
  while (true) {
    DWORD CountA = 0, CountB = 0;
    if (!ReadFile(L.Get(), A.data(), BlockSize, &CountA, nullptr) ||
        !ReadFile(R.Get(), B.data(), BlockSize, &CountB, nullptr))
      return false;
    if (CountA == 0 && CountB == 0)
      return true;
    Sink = Sink + A[0] + B[0];
  }
}

// Megabytes of both files per second of the best run.
struct TMeasure {
  const char *Name;
  std::function<bool()> Work;
  double Best = 1e30;
  bool Failed = false;
};

double Rate(int64_t Bytes, const TMeasure &Measure) {
  return Measure.Failed ? 0 : double(Bytes) / (1024.0 * 1024.0) / Measure.Best;
}

} // namespace

int main(int argc, char **argv) {
  const int64_t Megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
  const int64_t Size = Megabytes * 1024 * 1024;
  std::wstring Folder;
  if (argc > 2) {
    std::string Arg = argv[2];
    Folder.assign(Arg.begin(), Arg.end());
  } else {
    wchar_t Temp[MAX_PATH + 1];
    Folder.assign(Temp, GetTempPathW(MAX_PATH + 1, Temp));
  }
  if (!Folder.empty() && Folder.back() != L'\\')
    Folder += L'\\';
  const std::wstring Left = Folder + L"velmora-bench-left.bin", Right = Folder + L"velmora-bench-right.bin";
  std::printf("Two identical files of %lld MB; rates count the bytes of both files.\n", (long long)Megabytes);
  if (!MakeFile(Left, Size) || !MakeFile(Right, Size)) {
    std::printf("cannot write the files\n");
    return 2;
  }

  TVelmoraOptions Options;
  Options.CompareContents = true;
  // What the run's progress costs per block when no redraw is due: one tick reading.
  volatile DWORD LastTick = 0;
  TCompareRules Rules(Options, [&](const std::wstring &, const std::wstring &, int64_t, int64_t) {
    LastTick = GetTickCount();
  });
  auto Compare = [&](bool Ignore, bool Whitespace) {
    Options.CompareContentsIgnore = Ignore;
    Options.IgnoreWhitespace = Whitespace;
    TFileHandle L = Open(Left), R = Open(Right);
    bool LeftFailed = false, RightFailed = false;
    bool Same = Ignore ? Rules.CompareContentsIgnoring(L.Get(), R.Get(), Left, Right, Size, Size, LeftFailed,
                                                       RightFailed)
                       : Rules.CompareContentsExact(L.Get(), R.Get(), Left, Right, Size, Size, LeftFailed,
                                                    RightFailed);
    return Same && !LeftFailed && !RightFailed;
  };

  const int64_t Bytes = 2 * Size;
  RawRead(Left, Right, 1 << 20); // into the cache
  std::vector<TMeasure> Measures = {
      {"raw 4096", [&] { return RawRead(Left, Right, 4096); }},
      {"raw 1 MB", [&] { return RawRead(Left, Right, 1 << 20); }},
      {"exact", [&] { return Compare(false, false); }},
      {"line breaks", [&] { return Compare(true, false); }},
      {"whitespace", [&] { return Compare(true, true); }},
  };
  // Interleaved, so that a busy moment of the machine falls on all of them alike; best of five.
  for (int Run = 0; Run < 5; ++Run)
    for (TMeasure &Measure : Measures) {
      const double Start = Now();
      Measure.Failed = Measure.Failed || !Measure.Work();
      Measure.Best = std::min(Measure.Best, Now() - Start);
    }
  const double Raw4K = Rate(Bytes, Measures[0]), Raw1M = Rate(Bytes, Measures[1]);
  const double Exact = Rate(Bytes, Measures[2]), LineBreaks = Rate(Bytes, Measures[3]);
  const double Whitespace = Rate(Bytes, Measures[4]);

  std::printf("%-36s %9.1f MB/s\n", "raw ReadFile, 4096-byte blocks", Raw4K);
  std::printf("%-36s %9.1f MB/s\n", "raw ReadFile, 1 MB blocks", Raw1M);
  std::printf("%-36s %9.1f MB/s  %5.2f of raw 4096, time %5.3f x raw 1 MB\n", "exact comparison", Exact,
              Exact / Raw4K, Raw1M / Exact);
  std::printf("%-36s %9.1f MB/s  %5.2f of raw 4096\n", "ignoring line breaks", LineBreaks,
              LineBreaks / Raw4K);
  std::printf("%-36s %9.1f MB/s  %5.2f of raw 4096\n", "ignoring whitespace", Whitespace, Whitespace / Raw4K);
  const bool Met = Exact >= 0.5 * Raw4K;
  std::printf("exact comparison %s half of the raw rate\n", Met ? "reaches" : "DOES NOT REACH");

  DeleteFileW(Left.c_str());
  DeleteFileW(Right.c_str());
  return Met ? 0 : 1;
}
