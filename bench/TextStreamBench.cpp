// Throughput of TTextStream line by line against raw ReadFile/WriteFile on the same 50 MB of
// text, measured in the same run. Not a test: it prints its numbers and leaves judging them to
// the reader.
//
// Two raw baselines: 64 KiB blocks, and 16 KiB blocks, the text stream's own block size. Where
// each system call costs much (under wine, on a virtual disk), the second is the floor the stream
// can reach, since it must write its blocks one by one.
//
//   TextStreamBench.exe [megabytes]
#include "Files.h"
#include "Streams.h"
#include "Strings.h"

#include "BenchSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bench::Now;

// Lines like the differences document's: a marker, a tab and a relative path, with a few
// characters outside ASCII.
std::vector<std::wstring> MakeLines(size_t Bytes) {
  static const wchar_t *Words[] = {L"src",     L"documents", L"Bilder", L"\u00E9t\u00E9", L"\u6587\u4EF6",
                                   L"release", L"build",     L"notes",  L"caf\u00E9",     L"\U0001F600"};
  static const wchar_t *Markers[] = {L"==>>", L"<<==", L"<-->", L"-->>", L"<<--"};
  std::vector<std::wstring> Lines;
  size_t Total = 0;
  unsigned Seed = 12345;
  while (Total < Bytes) {
    std::wstring Line = Markers[Seed % 5];
    Line += L" ST\t";
    const unsigned Parts = 3 + Seed % 6;
    for (unsigned Part = 0; Part < Parts; ++Part) {
      Seed = Seed * 1103515245 + 12345;
      Line += Words[(Seed >> 16) % 10];
      Line += Part + 1 < Parts ? L"\\" : L".txt";
    }
    Line += std::wstring(20 + Seed % 40, L'x');
    Total += Line.size() + 2;
    Lines.push_back(std::move(Line));
  }
  return Lines;
}

struct TResult {
  double Seconds;
  double Megabytes;
  double Rate() const { return Megabytes / Seconds; }
};

void Report(const char *What, const TResult &Result, const TResult *Baseline = nullptr,
            const TResult *BlockBaseline = nullptr) {
  std::printf("%-34s %8.1f MB in %7.3f s = %8.1f MB/s", What, Result.Megabytes, Result.Seconds,
              Result.Rate());
  if (Baseline)
    std::printf("   (%.1fx the time of raw", Result.Seconds / Baseline->Seconds);
  if (BlockBaseline)
    std::printf(", %.1fx of raw in 16 KiB blocks", Result.Seconds / BlockBaseline->Seconds);
  if (Baseline)
    std::printf(")");
  std::printf("\n");
}

TResult RawWrite(const std::wstring &Name, const std::string &Bytes, size_t Chunk) {
  const double Start = Now();
  TFileHandle File(
      ::CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!File) {
    std::fprintf(stderr, "cannot create the file\n");
    std::exit(1);
  }
  for (size_t Offset = 0; Offset < Bytes.size(); Offset += Chunk) {
    DWORD Done = 0;
    const DWORD Count = static_cast<DWORD>(std::min(Chunk, Bytes.size() - Offset));
    if (!::WriteFile(File.Get(), Bytes.data() + Offset, Count, &Done, nullptr) || Done != Count) {
      std::fprintf(stderr, "write failed\n");
      std::exit(1);
    }
  }
  File.Reset();
  return {Now() - Start, Bytes.size() / 1e6};
}

TResult RawRead(const std::wstring &Name, size_t &Lines, size_t Chunk) {
  const double Start = Now();
  TFileHandle File(::CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  std::vector<char> Buffer(Chunk);
  size_t Total = 0;
  Lines = 0;
  DWORD Done = 0;
  // Counting line feeds keeps the loop from being a bare copy.
  while (::ReadFile(File.Get(), Buffer.data(), static_cast<DWORD>(Buffer.size()), &Done, nullptr) &&
         Done > 0) {
    for (DWORD Index = 0; Index < Done; ++Index)
      Lines += Buffer[Index] == '\n';
    Total += Done;
  }
  return {Now() - Start, Total / 1e6};
}

bool FileHolds(const std::wstring &Name, const std::string &Bytes) {
  TFileHandle File(::CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string Contents(Bytes.size() + 1, '\0');
  DWORD Done = 0;
  size_t Total = 0;
  while (Total < Contents.size() &&
         ::ReadFile(File.Get(), Contents.data() + Total, static_cast<DWORD>(Contents.size() - Total), &Done,
                    nullptr) &&
         Done > 0)
    Total += Done;
  Contents.resize(Total);
  return Contents == Bytes;
}

TResult StreamWrite(const std::wstring &Name, const std::vector<std::wstring> &Lines,
                    TTextEncoding Encoding) {
  const double Start = Now();
  {
    TTextStream Output(Name, fmCreate);
    Output.SetEncoding(Encoding);
    for (const std::wstring &Line : Lines)
      Output.WriteLine(Line);
    Output.Flush();
  }
  const double Seconds = Now() - Start;
  return {Seconds, GetFileSizeByName(Name) / 1e6};
}

TResult StreamRead(const std::wstring &Name, size_t &Lines, size_t &Characters) {
  const double Start = Now();
  TTextStream Input(Name, fmOpenRead | fmShareDenyWrite);
  std::wstring Line;
  Lines = 0;
  Characters = 0;
  while (Input.ReadLine(Line)) {
    ++Lines;
    Characters += Line.size();
  }
  return {Now() - Start, Input.GetSize() / 1e6};
}

} // namespace

int main(int argc, char **argv) {
  const size_t Megabytes = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 50;
  wchar_t Temp[MAX_PATH + 1];
  ::GetTempPathW(MAX_PATH + 1, Temp);
  const std::wstring Name =
      std::wstring(Temp) + L"velmora-textstream-bench-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";

  const std::vector<std::wstring> Lines = MakeLines(Megabytes * 1000000);
  size_t Expected = 0;
  for (const std::wstring &Line : Lines)
    Expected += Line.size();
  std::printf("%zu lines, %zu UTF-16 code units\n", Lines.size(), Expected);

  try {
    for (TTextEncoding Encoding : {teUtf8, teUtf16}) {
      const char *Label = Encoding == teUtf8 ? "UTF-8" : "UTF-16";
      // The same bytes as the stream writes, encoded beforehand for the raw baseline.
      std::string Bytes = Encoding == teUtf8 ? std::string("\xEF\xBB\xBF") : std::string("\xFF\xFE");
      for (const std::wstring &Line : Lines) {
        if (Encoding == teUtf8)
          Bytes += UnicodeToUtf8(Line) + "\r\n";
        else
          Bytes.append(reinterpret_cast<const char *>((Line + L"\r\n").data()), (Line.size() + 2) * 2);
      }
      std::printf("\n%s\n", Label);
      const TResult RawWritten = RawWrite(Name, Bytes, 65536);
      Report("raw WriteFile (64 KiB blocks)", RawWritten);
      const TResult RawBlocksWritten = RawWrite(Name, Bytes, TTextStream::TextBufferSize);
      Report("raw WriteFile (16 KiB blocks)", RawBlocksWritten);
      const TResult Written = StreamWrite(Name, Lines, Encoding);
      Report("TTextStream::WriteLine", Written, &RawWritten, &RawBlocksWritten);
      if (!FileHolds(Name, Bytes))
        std::printf("MISMATCH: the stream wrote other bytes than the baseline\n");
      size_t RawLines = 0, RawBlockLines = 0;
      const TResult RawReadResult = RawRead(Name, RawLines, 65536);
      Report("raw ReadFile (64 KiB blocks)", RawReadResult);
      const TResult RawBlocksRead = RawRead(Name, RawBlockLines, TTextStream::TextBufferSize);
      Report("raw ReadFile (16 KiB blocks)", RawBlocksRead);
      size_t ReadLines = 0, Characters = 0;
      const TResult ReadResult = StreamRead(Name, ReadLines, Characters);
      Report("TTextStream::ReadLine", ReadResult, &RawReadResult, &RawBlocksRead);
      if (ReadLines != Lines.size() || RawLines != Lines.size() || RawBlockLines != Lines.size() ||
          Characters != Expected)
        std::printf("MISMATCH: %zu lines (%zu by raw count), %zu code units read back\n", ReadLines, RawLines,
                    Characters);
    }
  } catch (const Exception &Error) {
    std::fprintf(stderr, "failed: %ls\n", Error.Message().c_str());
    ::DeleteFileW(Name.c_str());
    return 1;
  }
  ::DeleteFileW(Name.c_str());
  return 0;
}
