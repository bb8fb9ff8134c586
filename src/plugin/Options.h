#pragma once

#include "FarConfig.h"

#include <cstdint>
#include <string>

// Every persistent option of the plug-in, kept as typed values in the root key of the plug-in's
// own settings. Users create a short-lived object, Load it, read or change the fields, Save when
// needed and free it; no object is shared between operations.
class TVelmoraOptions : public TFarConfig {
public:
  // The store is not opened; every field starts at its default.
  TVelmoraOptions();
  TVelmoraOptions(const TVelmoraOptions &) = delete;
  TVelmoraOptions &operator=(const TVelmoraOptions &) = delete;

  void Reset();
  // Reads every key that is present and of the right type; the others keep the field's value.
  // A store that cannot be opened leaves every field as it was.
  void Load();
  // Writes every field; a failing write does not stop the others. Nothing is reported.
  void Save();
  void Assign(const TVelmoraOptions &Source);

  // The depth a comparison walks: 0 without subfolders, MaxScanDepth when limited, else unlimited.
  int32_t GetScanDepth() const;

  static constexpr int32_t UnlimitedScanDepth = 2147483647;

  bool ProcessSubfolders;
  bool UseMaxScanDepth;
  int32_t MaxScanDepth;
  bool ProcessSelected;
  bool CompareTime;
  bool LowPrecisionTime;
  bool IgnorePossibleTimeZoneDifferences;
  bool CompareSize;
  bool CompareFileNameCase;
  bool CompareContents;
  bool CompareContentsIgnore;
  bool IgnoreNewLines;
  bool IgnoreWhitespace;
  bool SelectDifferencesOnBothPanels;
  std::wstring CompareCommand;
  std::wstring CompareCommandArguments;
  bool CompareCommandAcceptsNTFileNames;
  bool SilentModeByDefault;
  bool ShowDescriptionIsSyncFile;
  bool GlobalRemember;
  // File masks in FAR's syntax: only files matching IncludeMasks are compared (empty: all), and
  // no file or directory matching ExcludeMasks (empty: none).
  std::wstring IncludeMasks;
  std::wstring ExcludeMasks;
  // The safety nets of a run: deleting into the Recycle Bin (by default as FAR itself deletes),
  // reading every copy back, a warning before a run deletes most of a side or deletes while the
  // other side is empty, and a warning when the copies will not fit.
  bool DeleteToRecycleBin;
  bool VerifyCopies;
  bool ConfirmMassDeletion;
  bool CheckFreeSpace;
  // "Remember this pair": the comparison judges by the state of the last run, which the run keeps.
  bool RememberPair;
  // Threads a comparison lists directories and reads small files on (1 to MaxCompareWorkers);
  // 1 walks on FAR's thread alone. Measured, more threads gained nothing where every listing is
  // served from the system's cache, and lost where small files are read: they pay where each
  // listing waits on a disk or a share, which the user knows and sets.
  int32_t CompareWorkers;
  static constexpr int32_t MaxCompareWorkers = 16;
  static constexpr int32_t DefaultCompareWorkers = 1;
  // The differences document coloured by what the run will do with each line.
  bool ColourDocument;
  // A message with the totals of each run at its end, offering its log.
  bool ShowRunSummary;

  // FAR's own "Delete to Recycle Bin" setting; true when FAR does not tell.
  static bool FarDeletesToRecycleBin();
};
