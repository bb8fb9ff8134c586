#pragma once

#include "Exceptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

class TDifferenceList;
class TTextStream;

// The record of one synchronisation run: a plain-text file in the plug-in's data folder of FAR's
// local profile (%FARLOCALPROFILE%\PluginsData\<plug-in GUID>\), one per run, the last
// KeptRuns kept. Lines are written through a buffer as the run goes, so keeping the record costs
// the run next to nothing; a record that cannot be written is given up quietly and its reason
// kept for the run's final message; the run itself never fails for it.
class TRunLog {
public:
  static constexpr size_t KeptRuns = 20;

  struct TTotals {
    int64_t Copied = 0, CopiedBytes = 0;
    int64_t Deleted = 0, Recycled = 0;
    int64_t Failed = 0, Undone = 0;
    uint64_t Milliseconds = 0;
  };

  TRunLog();
  ~TRunLog();
  TRunLog(const TRunLog &) = delete;
  TRunLog &operator=(const TRunLog &) = delete;

  // A new record for a run between the two roots (with trailing backslashes).
  void Begin(const std::wstring &LeftRoot, const std::wstring &RightRoot);
  // What the run did; outside a run (between End and Begin) nothing is recorded.
  void Copied(const std::wstring &Target, int64_t Size, bool Replaced);
  void Deleted(const std::wstring &Path, bool Recycled, bool IsDirectory);
  // What failed, the system's error of it and the paths concerned (Path2 may be empty).
  void Failed(const std::wstring &What, DWORD Error, const std::wstring &Path, const std::wstring &Path2);
  void Stopped();
  // Closes the record with what is left undone, the run's own failure (may be empty) and the
  // totals. True when the file is complete on disk.
  bool End(const TDifferenceList &Undone, const std::wstring &Failure);

  bool IsActive() const { return FActive; }
  const TTotals &GetTotals() const { return FTotals; }
  const std::wstring &GetFileName() const { return FFileName; }
  // Why the record could not be written; empty when it was.
  const std::wstring &GetProblem() const { return FProblem; }

  // %FARLOCALPROFILE%\PluginsData\<GUID>\ (FARPROFILE's where FAR names no local profile);
  // empty when FAR names neither.
  static std::wstring Folder();
  // The newest record in the folder; empty when there is none.
  static std::wstring LastLog();
  // A run's time as seconds with tenths ("2.1 s").
  static std::wstring DurationText(uint64_t Milliseconds);

private:
  void Write(const std::wstring &Line);
  // The path as the log shows it: the side and the path under its root.
  std::wstring Where(const std::wstring &Path) const;
  void Fail(const std::wstring &Problem);

  bool FActive = false;
  std::wstring FLeftRoot, FRightRoot;
  std::wstring FFileName;
  std::wstring FProblem;
  std::unique_ptr<TTextStream> FStream;
  uint64_t FStarted = 0;
  TTotals FTotals;
};
