#include "CompareRules.h"

#include "Files.h"
#include "Handles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double TwoSeconds = 2.0 / 86400.0;
constexpr double HoursPerDay = 24.0;
// The largest shift between two time zones' clocks: UTC-12 against UTC+14.
constexpr double MaxTimeZoneShiftHours = 26.0;
// Day counts differing by less than this many units in the last place cannot be told apart:
// the conversion from file times rounds once or twice, on each side.
constexpr double DayCountRoundingUlps = 8.0;

double DayCountSlack(double LeftTime, double RightTime) {
  const double Magnitude = std::max({std::fabs(LeftTime), std::fabs(RightTime), 1.0});
  return DayCountRoundingUlps *
         (std::nextafter(Magnitude, std::numeric_limits<double>::infinity()) - Magnitude);
}

// Overlapped, for the exact comparison: both files' reads are then under way at once.
TFileHandle OpenForComparison(const std::wstring &Path, bool Overlapped) {
  return TFileHandle(
      ::CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_SEQUENTIAL_SCAN | (Overlapped ? FILE_FLAG_OVERLAPPED : 0), nullptr));
}

// Reads the next block; false when the system reports a failure.
bool ReadBlock(HANDLE Handle, uint8_t *Buffer, DWORD &Count) {
  Count = 0;
  return ::ReadFile(Handle, Buffer, static_cast<DWORD>(TCompareRules::BlockSize), &Count, nullptr) != FALSE;
}

// One block read, started at once and finished later, so that the reads of both files of a pair
// are under way together. At offsets, on a file opened for overlapped reads, the system returns
// while the disk works (a cached block comes back at once, without a thread of ours); on any
// other handle the read is done when Start returns. Without offsets the block is read from the
// handle's position, plainly: under wine a read given offsets costs a good deal more, which a
// small file pays in full. The block is filled to its end unless the file ends: a read may return
// less than asked for (a pipe, a share), which says nothing about the file's end.
class TBlockRead {
public:
  TBlockRead(HANDLE Handle, uint8_t *Buffer, size_t Size, uint64_t Offset, bool AtOffset)
      : FHandle(Handle), FBuffer(Buffer), FSize(Size), FOffset(Offset), FAtOffset(AtOffset) {
    Start();
  }
  ~TBlockRead() {
    if (FPending) {
      // Never left running into a buffer that is about to be reused or a file about to close.
      ::CancelIoEx(FHandle, &FOverlapped);
      DWORD Count = 0;
      ::GetOverlappedResult(FHandle, &FOverlapped, &Count, TRUE);
    }
  }
  TBlockRead(const TBlockRead &) = delete;
  TBlockRead &operator=(const TBlockRead &) = delete;

  // Whether a read met the end of the file: nothing follows the block.
  bool Ended() const { return FEnded; }
  // False when the system reported a failure; Count is then what came before it.
  bool Finish(DWORD &Count) {
    while (FOk && FPending) {
      DWORD Read = 0;
      FPending = false;
      if (!::GetOverlappedResult(FHandle, &FOverlapped, &Read, TRUE)) {
        FEnded = ::GetLastError() == ERROR_HANDLE_EOF;
        FOk = FEnded;
        break;
      }
      if (!Took(Read))
        break;
      Start();
    }
    Count = FCount;
    return FOk;
  }

private:
  void Start() {
    while (FCount < FSize) {
      if (!FAtOffset) {
        DWORD Read = 0;
        if (!::ReadFile(FHandle, FBuffer + FCount, static_cast<DWORD>(FSize - FCount), &Read, nullptr)) {
          FOk = false;
          return;
        }
        if (!Took(Read))
          return;
        continue;
      }
      FOverlapped = OVERLAPPED{};
      const uint64_t At = FOffset + FCount;
      FOverlapped.Offset = static_cast<DWORD>(At);
      FOverlapped.OffsetHigh = static_cast<DWORD>(At >> 32);
      DWORD Read = 0;
      if (!::ReadFile(FHandle, FBuffer + FCount, static_cast<DWORD>(FSize - FCount), &Read, &FOverlapped)) {
        const DWORD Error = ::GetLastError();
        FPending = Error == ERROR_IO_PENDING;
        FEnded = Error == ERROR_HANDLE_EOF;
        FOk = FPending || FEnded;
        return;
      }
      if (!Took(Read))
        return;
    }
  }
  // Counts a finished read; false at the end of the file.
  bool Took(DWORD Read) {
    FCount += Read;
    FEnded = Read == 0;
    return !FEnded;
  }

  HANDLE FHandle;
  uint8_t *FBuffer;
  size_t FSize;
  uint64_t FOffset;
  bool FAtOffset;
  size_t FCount = 0;
  OVERLAPPED FOverlapped{};
  bool FPending = false;
  bool FOk = true;
  bool FEnded = false;
};

// Byte classes of the ignoring comparison.
enum : uint8_t { bcOther = 0, bcWhitespace = 1, bcLineBreak = 2 };

struct TByteClasses {
  uint8_t Class[256] = {};
  constexpr TByteClasses() {
    for (uint8_t Byte : {9, 11, 12, 32})
      Class[Byte] = bcWhitespace;
    Class[10] = bcWhitespace | bcLineBreak;
    Class[13] = bcWhitespace | bcLineBreak;
  }
};
constexpr TByteClasses ByteClasses;

// One side of the ignoring comparison: the block read last, the next byte to look at, and
// whether the byte before it was a carriage return whose line feed (if any) is still to come.
struct TIgnoringSide {
  HANDLE Handle;
  uint8_t *Buffer;
  size_t Length = 1; // bytes valid; 0 once a read returned nothing
  size_t Position = 1;
  bool PendingCR = false;
  bool Failed = false;

  bool HasData() const { return Position < Length; }
  bool NeedsRefill() const { return Position >= Length && Length != 0; }
  bool AtEnd() const { return Length == 0; }
  uint8_t Current() const { return Buffer[Position]; }
  bool CurrentIs(uint8_t Class) const { return (ByteClasses.Class[Current()] & Class) != 0; }

  void Refill(int64_t &Done) {
    if (!NeedsRefill())
      return;
    DWORD Count = 0;
    if (!ReadBlock(Handle, Buffer, Count)) {
      Failed = true;
      return;
    }
    Length = Count;
    Position = 0;
    Done += Count;
  }
  void Skip(uint8_t Class) {
    while (HasData() && CurrentIs(Class))
      ++Position;
  }
};

// Advances both sides over equal bytes of no class in Stop; false at the first pair that
// differs. Stops where either side runs out of data or reaches a byte of class Stop.
bool MatchRun(TIgnoringSide &Left, TIgnoringSide &Right, uint8_t Stop) {
  const uint8_t *L = Left.Buffer + Left.Position;
  const uint8_t *R = Right.Buffer + Right.Position;
  const size_t Run = std::min(Left.Length - Left.Position, Right.Length - Right.Position);
  size_t I = 0;
  for (; I < Run; ++I) {
    const uint8_t A = L[I], B = R[I];
    if (A == B) {
      if (ByteClasses.Class[A] & Stop)
        break;
      continue;
    }
    if ((ByteClasses.Class[A] & Stop) || (ByteClasses.Class[B] & Stop))
      break;
    Left.Position += I;
    Right.Position += I;
    return false;
  }
  Left.Position += I;
  Right.Position += I;
  return true;
}

// Whitespace mode over both blocks at once: blanks are passed on either side as they come, every
// other byte must meet its equal. The same as matching runs of non-blanks and then skipping the
// blanks on each side, without a round trip per word.
bool MatchSkippingWhitespace(TIgnoringSide &Left, TIgnoringSide &Right) {
  const uint8_t *L = Left.Buffer, *R = Right.Buffer;
  size_t LeftPosition = Left.Position, RightPosition = Right.Position;
  const size_t LeftLength = Left.Length, RightLength = Right.Length;
  bool Same = true;
  while (LeftPosition < LeftLength && RightPosition < RightLength) {
    const uint8_t A = L[LeftPosition], B = R[RightPosition];
    if (A == B) {
      ++LeftPosition;
      ++RightPosition;
    } else if (ByteClasses.Class[A] & bcWhitespace)
      ++LeftPosition;
    else if (ByteClasses.Class[B] & bcWhitespace)
      ++RightPosition;
    else {
      Same = false;
      break;
    }
  }
  Left.Position = LeftPosition;
  Right.Position = RightPosition;
  return Same;
}

} // namespace

namespace {

// Whether the exact comparison reads a pair at offsets, with its files opened for overlapped
// reads: only a pair longer than one block has reads to overlap.
bool ReadsAtOffsets(int64_t LeftSize, int64_t RightSize) {
  return std::max(LeftSize, RightSize) >= static_cast<int64_t>(TCompareRules::ExactBlockSize);
}

// The exact comparison's block for a pair: one block when both fit (with room to see the end),
// else the large block.
size_t ExactBlockFor(int64_t LeftSize, int64_t RightSize) {
  const int64_t Largest = std::max<int64_t>({LeftSize, RightSize, 0});
  if (Largest >= static_cast<int64_t>(TCompareRules::ExactBlockSize))
    return TCompareRules::ExactBlockSize;
  const size_t Page = TCompareRules::BlockSize;
  return (static_cast<size_t>(Largest) / Page + 1) * Page;
}

} // namespace

TCompareRules::TCompareRules(const TVelmoraOptions &Options, TCompareProgress Progress)
    : FOptions(Options), FProgress(std::move(Progress)), FLeftBuffer(BlockSize), FRightBuffer(BlockSize) {}

TFileComparison TCompareRules::CompareFiles(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                                            const std::wstring &LeftRoot, const std::wstring &RightRoot,
                                            const std::wstring &RelativeDir, const std::wstring &Name) {
  // Comparing contents while ignoring differences means size and time say nothing.
  const bool ContentsOnly = FOptions.CompareContents && FOptions.CompareContentsIgnore;
  if (!ContentsOnly) {
    if (!SameSize(LeftInfo, RightInfo))
      return RecordDifference(LeftInfo, RightInfo, drSize);
    if (!SameTime(LeftInfo, RightInfo))
      return RecordDifference(LeftInfo, RightInfo, drTime);
    if (!SameNameCase(LeftInfo, RightInfo))
      return RecordDifference(LeftInfo, RightInfo, drFileName);
  }
  bool LeftFailed = false, RightFailed = false;
  if (SameContents(LeftInfo, RightInfo, LeftRoot, RightRoot, RelativeDir, Name, LeftFailed, RightFailed))
    return TFileComparison{};
  if (LeftFailed || RightFailed)
    return RecordFailure(LeftInfo, RightInfo, LeftFailed, RightFailed);
  return RecordDifference(LeftInfo, RightInfo, drContents);
}

TFileComparison TCompareRules::RecordDifference(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                                                TDifferenceReason Reason) const {
  // The direction follows the raw times: the newer copy is the one to keep.
  const double LeftTime = LeftInfo.GetTime(), RightTime = RightInfo.GetTime();
  TFileComparison Result{dtDifferent, Reason};
  if (LeftTime == RightTime) {
    LeftInfo.SetSelected(true);
    RightInfo.SetSelected(true);
  } else if (RightTime > LeftTime) {
    Result.DiffType = dtOlderLeft;
    RightInfo.SetSelected(true);
  } else {
    Result.DiffType = dtOlderRight;
    LeftInfo.SetSelected(true);
  }
  if (FOptions.SelectDifferencesOnBothPanels) {
    LeftInfo.SetSelected(true);
    RightInfo.SetSelected(true);
  }
  return Result;
}

TFileComparison TCompareRules::RecordFailure(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                                             bool LeftFailed, bool RightFailed) const {
  // The side that could be read is marked.
  TFileComparison Result{dtFailedBoth, drContents};
  if (LeftFailed && RightFailed) {
    LeftInfo.SetSelected(true);
    RightInfo.SetSelected(true);
  } else if (LeftFailed) {
    Result.DiffType = dtFailedLeft;
    RightInfo.SetSelected(true);
  } else {
    Result.DiffType = dtFailedRight;
    LeftInfo.SetSelected(true);
  }
  if (FOptions.SelectDifferencesOnBothPanels) {
    LeftInfo.SetSelected(true);
    RightInfo.SetSelected(true);
  }
  return Result;
}

bool TCompareRules::SameSize(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const {
  return !FOptions.CompareSize || LeftInfo.GetSize() == RightInfo.GetSize();
}

bool TCompareRules::SameTime(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const {
  if (!FOptions.CompareTime)
    return true;
  return SameTimeDays(LeftInfo.GetTime(), RightInfo.GetTime(), FOptions.LowPrecisionTime,
                      FOptions.IgnorePossibleTimeZoneDifferences);
}

bool TCompareRules::SameTimeDays(double LeftTime, double RightTime, bool LowPrecisionTime,
                                 bool IgnorePossibleTimeZoneDifferences) {
  if (!LowPrecisionTime && !IgnorePossibleTimeZoneDifferences)
    return LeftTime == RightTime;
  const double Tolerance = LowPrecisionTime ? TwoSeconds : 0.0;
  const double Difference = std::fabs(LeftTime - RightTime);
  double Hours = 0;
  if (IgnorePossibleTimeZoneDifferences)
    Hours = std::trunc(Difference * HoursPerDay + 0.5);
  // A larger whole number of hours than any two time zones are apart is a real difference (a file
  // saved days later at the same minute), never a shift.
  if (Hours > MaxTimeZoneShiftHours)
    Hours = 0;
  const double Residual = std::fabs(Difference - Hours / HoursPerDay);
  return Residual <= Tolerance + DayCountSlack(LeftTime, RightTime);
}

bool TCompareRules::SameNameCase(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const {
  return !FOptions.CompareFileNameCase || LeftInfo.GetFileName() == RightInfo.GetFileName();
}

bool TCompareRules::SameContents(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo,
                                 const std::wstring &LeftRoot, const std::wstring &RightRoot,
                                 const std::wstring &RelativeDir, const std::wstring &Name, bool &LeftFailed,
                                 bool &RightFailed) {
  LeftFailed = false;
  RightFailed = false;
  if (!FOptions.CompareContents)
    return true;

  const std::wstring LeftPath = LeftContentsPath(LeftRoot, RelativeDir, Name);
  const std::wstring RightPath = RightContentsPath(RightInfo, RightRoot, RelativeDir, Name);
  bool Same = false;
  if (FAhead && FAhead(LeftPath, RightPath, Same, LeftFailed, RightFailed)) {
    Progress(RemoveLongPathPrefix(LeftPath), RemoveLongPathPrefix(RightPath), 0, 0);
    return Same;
  }
  return SameContentsOfFiles(LeftPath, RightPath, LeftInfo.GetSize(), RightInfo.GetSize(), LeftFailed,
                             RightFailed);
}

std::wstring TCompareRules::LeftContentsPath(const std::wstring &LeftRoot, const std::wstring &RelativeDir,
                                             const std::wstring &Name) {
  return LeftRoot + RelativeDir + Name;
}

std::wstring TCompareRules::RightContentsPath(const TBaseFileInfo &RightInfo, const std::wstring &RightRoot,
                                              const std::wstring &RelativeDir, const std::wstring &Name) {
  // The pair was matched without regard to case; each side is opened by its own name, which
  // matters only in a case-sensitive directory.
  const std::wstring &RightName = RightInfo.GetFileName().empty() ? Name : RightInfo.GetFileName();
  return RightRoot + RelativeDir + RightName;
}

bool TCompareRules::ReadsContentsOf(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const {
  if (!FOptions.CompareContents)
    return false;
  return FOptions.CompareContentsIgnore || (SameSize(LeftInfo, RightInfo) && SameTime(LeftInfo, RightInfo) &&
                                            SameNameCase(LeftInfo, RightInfo));
}

bool TCompareRules::SameContentsOfFiles(const std::wstring &LeftPath, const std::wstring &RightPath,
                                        int64_t LeftSize, int64_t RightSize, bool &LeftFailed,
                                        bool &RightFailed) {
  LeftFailed = false;
  RightFailed = false;
  const std::wstring LeftText = RemoveLongPathPrefix(LeftPath);
  const std::wstring RightText = RemoveLongPathPrefix(RightPath);
  Progress(LeftText, RightText, 0, 0);

  const bool Overlapped = !FOptions.CompareContentsIgnore && ReadsAtOffsets(LeftSize, RightSize);
  TFileHandle Left = OpenForComparison(LeftPath, Overlapped);
  TFileHandle Right = OpenForComparison(RightPath, Overlapped);
  LeftFailed = !Left;
  RightFailed = !Right;
  if (LeftFailed || RightFailed)
    return false;

  if (FOptions.CompareContentsIgnore)
    return CompareContentsIgnoring(Left.Get(), Right.Get(), LeftText, RightText, LeftSize, RightSize,
                                   LeftFailed, RightFailed);
  return CompareContentsExact(Left.Get(), Right.Get(), LeftText, RightText, LeftSize, RightSize, LeftFailed,
                              RightFailed);
}

bool TCompareRules::CompareContentsExact(HANDLE LeftHandle, HANDLE RightHandle, const std::wstring &LeftPath,
                                         const std::wstring &RightPath, int64_t LeftSize, int64_t RightSize,
                                         bool &LeftFailed, bool &RightFailed) {
  const int64_t Total = LeftSize + RightSize;
  int64_t Done = 0;
  const size_t Block = ExactBlockFor(LeftSize, RightSize);
  if (FLeftBuffer.size() < Block) {
    FLeftBuffer.resize(Block);
    FRightBuffer.resize(Block);
  }
  uint8_t *LeftBlock = FLeftBuffer.data();
  uint8_t *RightBlock = FRightBuffer.data();
  const bool AtOffsets = ReadsAtOffsets(LeftSize, RightSize);
  uint64_t LeftOffset = 0, RightOffset = 0;
  bool Same = false;
  while (true) {
    Progress(LeftPath, RightPath, Done, Total);
    DWORD LeftCount = 0, RightCount = 0;
    bool BothEnded = false;
    {
      TBlockRead LeftRead(LeftHandle, LeftBlock, Block, LeftOffset, AtOffsets);
      TBlockRead RightRead(RightHandle, RightBlock, Block, RightOffset, AtOffsets);
      LeftFailed = !LeftRead.Finish(LeftCount);
      RightFailed = !RightRead.Finish(RightCount);
      BothEnded = LeftRead.Ended() && RightRead.Ended();
    }
    LeftOffset += LeftCount;
    RightOffset += RightCount;
    if (LeftFailed || RightFailed || LeftCount != RightCount)
      break;
    if (LeftCount == 0) {
      Same = true;
      break;
    }
    if (std::memcmp(LeftBlock, RightBlock, LeftCount) != 0)
      break;
    Done += LeftCount + RightCount;
    if (BothEnded) {
      // Both ends were met filling this block: no read is left to make, the bar is full.
      Progress(LeftPath, RightPath, Done, Total);
      Same = true;
      break;
    }
  }
  return Same;
}

bool TCompareRules::CompareContentsIgnoring(HANDLE LeftHandle, HANDLE RightHandle,
                                            const std::wstring &LeftPath, const std::wstring &RightPath,
                                            int64_t LeftSize, int64_t RightSize, bool &LeftFailed,
                                            bool &RightFailed) {
  const bool WhitespaceMode = FOptions.IgnoreWhitespace;
  const int64_t Total = LeftSize + RightSize;
  int64_t Done = 0;
  TIgnoringSide Left{LeftHandle, FLeftBuffer.data()};
  TIgnoringSide Right{RightHandle, FRightBuffer.data()};
  LeftFailed = false;
  RightFailed = false;
  while (true) {
    // Once per block read rather than once per run of matching bytes: text has short runs.
    if (Left.NeedsRefill() || Right.NeedsRefill())
      Progress(LeftPath, RightPath, Done, Total);
    Left.Refill(Done);
    Right.Refill(Done);
    LeftFailed = Left.Failed;
    RightFailed = Right.Failed;
    if (LeftFailed || RightFailed)
      return false;
    if (Left.AtEnd() && Right.AtEnd())
      return true;

    if (WhitespaceMode) {
      if (!MatchSkippingWhitespace(Left, Right))
        return false;
      Left.Skip(bcWhitespace);
      Right.Skip(bcWhitespace);
    } else {
      // Breaks are matched here as long as both blocks last; when one runs out, the outer loop
      // reads on, and a pending CR's line feed may then start the next block.
      while (true) {
        // The line feed of a CR LF pair, also when the pair is split across two blocks.
        for (TIgnoringSide *Side : {&Left, &Right})
          if (Side->PendingCR) {
            Side->PendingCR = false;
            if (Side->HasData() && Side->Current() == '\n')
              ++Side->Position;
          }
        if (!MatchRun(Left, Right, bcLineBreak))
          return false;
        if (!Left.HasData() || !Right.HasData())
          break;
        // Both stand on a byte that stopped the run; a break must meet a break.
        if (!Left.CurrentIs(bcLineBreak) || !Right.CurrentIs(bcLineBreak))
          return false;
        Left.PendingCR = Left.Current() == '\r';
        Right.PendingCR = Right.Current() == '\r';
        ++Left.Position;
        ++Right.Position;
        if (!Left.HasData() || !Right.HasData())
          break;
      }
    }

    // One side has bytes that count while the other has ended (a pending CR's line feed is
    // still allowed on the side that has it).
    if (Left.HasData() && Right.AtEnd() && !Left.PendingCR)
      return false;
    if (Right.HasData() && Left.AtEnd() && !Right.PendingCR)
      return false;
  }
}
