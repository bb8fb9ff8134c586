#pragma once

#include "Differences.h"
#include "FileInfo.h"
#include "Options.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What judging one pair of files found: dtEqual, or the kind and reason of its difference line.
struct TFileComparison {
  TDifferenceType DiffType = dtEqual;
  TDifferenceReason Reason = drNone;

  bool IsDifferent() const { return DiffType != dtEqual; }
};

// One progress update of a contents comparison: the two files (display form), and how many of
// the bytes of both files have been read (0 of 0 when nothing is measured yet). May raise EAbort.
using TCompareProgress = std::function<void(const std::wstring &LeftText, const std::wstring &RightText,
                                            int64_t Done, int64_t Total)>;
// A pair of files whose contents were compared ahead (the two paths as SameContents makes them):
// true with the result when it was, false to have the pair read now.
using TContentsAhead = std::function<bool(const std::wstring &LeftPath, const std::wstring &RightPath,
                                          bool &Same, bool &LeftFailed, bool &RightFailed)>;

// How the comparison run judges two files of the same name, one on each side: size, time and
// letter case first (no file is opened for them), then the contents, exactly or ignoring line
// breaks or whitespace. The run keeps one object, so its two read buffers serve every pair.
class TCompareRules {
public:
  // The ignoring modes' blocks: their cost is the byte loop, not the reads.
  static constexpr size_t BlockSize = 4096;
  // The exact comparison's blocks: large sequential reads, both files' reads under way at once.
  static constexpr size_t ExactBlockSize = 1 << 20;

  // Options must outlive this object; the run may change them before the walk starts.
  explicit TCompareRules(const TVelmoraOptions &Options, TCompareProgress Progress = {});
  TCompareRules(const TCompareRules &) = delete;
  TCompareRules &operator=(const TCompareRules &) = delete;

  // Judges the pair and marks (selects) the items that the difference calls for. The roots are
  // absolute directory names with a trailing backslash; RelativeDir is empty or ends in a
  // backslash. A file that cannot be opened or read gives a failure kind with drContents.
  TFileComparison CompareFiles(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                               const std::wstring &LeftRoot, const std::wstring &RightRoot,
                               const std::wstring &RelativeDir, const std::wstring &Name);

  bool SameSize(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const;
  bool SameTime(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const;
  bool SameNameCase(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const;
  // Whether CompareFiles is going to read the pair: contents are compared and nothing cheaper
  // tells them apart first.
  bool ReadsContentsOf(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const;
  // The paths SameContents opens for a pair.
  static std::wstring LeftContentsPath(const std::wstring &LeftRoot, const std::wstring &RelativeDir,
                                       const std::wstring &Name);
  static std::wstring RightContentsPath(const TBaseFileInfo &RightInfo, const std::wstring &RightRoot,
                                        const std::wstring &RelativeDir, const std::wstring &Name);
  // Asked first by SameContents for every pair it would read.
  void SetContentsAhead(TContentsAhead Ahead) { FAhead = std::move(Ahead); }
  // True when equal or not compared. Both opens are always attempted, so both flags tell.
  bool SameContents(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo,
                    const std::wstring &LeftRoot, const std::wstring &RightRoot,
                    const std::wstring &RelativeDir, const std::wstring &Name, bool &LeftFailed,
                    bool &RightFailed);
  // The same for two files by their paths (shown without the long-path prefix).
  bool SameContentsOfFiles(const std::wstring &LeftPath, const std::wstring &RightPath, int64_t LeftSize,
                           int64_t RightSize, bool &LeftFailed, bool &RightFailed);

  // The two open files from their beginnings; the paths are only shown. A failing read sets its
  // side's flag (both reads are attempted) and gives false. Progress comes once per block pair,
  // on the calling thread. A pair of sizes under ExactBlockSize is read plainly and needs handles
  // not opened for overlapped reads.
  bool CompareContentsExact(HANDLE LeftHandle, HANDLE RightHandle, const std::wstring &LeftPath,
                            const std::wstring &RightPath, int64_t LeftSize, int64_t RightSize,
                            bool &LeftFailed, bool &RightFailed);
  // Whitespace mode (IgnoreWhitespace): tab, LF, VT, FF, CR and space are skipped wherever they
  // stand. Line-break mode: CR LF, LF and a lone CR all match each other, one for one.
  bool CompareContentsIgnoring(HANDLE LeftHandle, HANDLE RightHandle, const std::wstring &LeftPath,
                               const std::wstring &RightPath, int64_t LeftSize, int64_t RightSize,
                               bool &LeftFailed, bool &RightFailed);

  // The time rule on two day counts. The tolerances (2 seconds, whole hours) are exact at their
  // limits: day counts near today's dates carry a rounding error of about a microsecond, which
  // is not allowed to push "exactly 2 seconds" or "exactly 1 hour" to either side by chance.
  static bool SameTimeDays(double LeftTime, double RightTime, bool LowPrecisionTime,
                           bool IgnorePossibleTimeZoneDifferences);

private:
  TFileComparison RecordDifference(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo,
                                   TDifferenceReason Reason) const;
  TFileComparison RecordFailure(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo, bool LeftFailed,
                                bool RightFailed) const;
  void Progress(const std::wstring &LeftText, const std::wstring &RightText, int64_t Done,
                int64_t Total) const {
    if (FProgress)
      FProgress(LeftText, RightText, Done, Total);
  }

  const TVelmoraOptions &FOptions;
  TCompareProgress FProgress;
  TContentsAhead FAhead;
  std::vector<uint8_t> FLeftBuffer;
  std::vector<uint8_t> FRightBuffer;
};
