#include "Options.h"

#include <algorithm>

namespace {

// Closes the store on every way out of a load or a save.
class TCloseOnExit {
public:
  explicit TCloseOnExit(TFarConfig &Config) : FConfig(Config) {}
  ~TCloseOnExit() { FConfig.Close(); }
  TCloseOnExit(const TCloseOnExit &) = delete;
  TCloseOnExit &operator=(const TCloseOnExit &) = delete;

private:
  TFarConfig &FConfig;
};

// The plug-in's root key, whichever key the store was left open at.
const wchar_t RootKey[] = L"\\";

} // namespace

TVelmoraOptions::TVelmoraOptions() : TFarConfig(false) {
  Reset();
}

void TVelmoraOptions::Reset() {
  ProcessSubfolders = false;
  UseMaxScanDepth = false;
  MaxScanDepth = 99;
  ProcessSelected = false;
  CompareTime = true;
  LowPrecisionTime = true;
  IgnorePossibleTimeZoneDifferences = true;
  CompareSize = true;
  CompareFileNameCase = false;
  CompareContents = false;
  CompareContentsIgnore = false;
  IgnoreNewLines = true;
  IgnoreWhitespace = false;
  SelectDifferencesOnBothPanels = false;
  CompareCommand = L"winmerge";
  CompareCommandArguments = L"${LEFTFILE} ${RIGHTFILE}";
  CompareCommandAcceptsNTFileNames = false;
  SilentModeByDefault = false;
  ShowDescriptionIsSyncFile = true;
  GlobalRemember = false;
  IncludeMasks.clear();
  ExcludeMasks.clear();
  DeleteToRecycleBin = true; // until Load finds out how FAR itself deletes
  VerifyCopies = false;
  ConfirmMassDeletion = true;
  CheckFreeSpace = true;
  RememberPair = false;
  CompareWorkers = DefaultCompareWorkers;
  ColourDocument = true;
  ShowRunSummary = true;
}

bool TVelmoraOptions::FarDeletesToRecycleBin() {
  int64_t Value = 1;
  try {
    TFarConfig::ReadFarNumber(FSSF_SYSTEM, L"DeleteToRecycleBin", Value);
  } catch (const Exception &) {
    // No FAR to ask (the plug-in is not started): the safer way.
  }
  return Value != 0;
}

void TVelmoraOptions::Load() {
  if (!Open(RootKey, false))
    return;
  TCloseOnExit Closer(*this);
  ProcessSubfolders = ReadBool(L"ProcessSubfolders", ProcessSubfolders);
  UseMaxScanDepth = ReadBool(L"UseMaxScanDepth", UseMaxScanDepth);
  MaxScanDepth = static_cast<int32_t>(ReadNumber(L"MaxScanDepth", MaxScanDepth));
  ProcessSelected = ReadBool(L"ProcessSelected", ProcessSelected);
  CompareTime = ReadBool(L"CompareTime", CompareTime);
  LowPrecisionTime = ReadBool(L"LowPrecisionTime", LowPrecisionTime);
  IgnorePossibleTimeZoneDifferences =
      ReadBool(L"IgnorePossibleTimeZoneDifferences", IgnorePossibleTimeZoneDifferences);
  CompareSize = ReadBool(L"CompareSize", CompareSize);
  CompareFileNameCase = ReadBool(L"CompareFileNameCase", CompareFileNameCase);
  CompareContents = ReadBool(L"CompareContents", CompareContents);
  CompareContentsIgnore = ReadBool(L"CompareContentsIgnore", CompareContentsIgnore);
  IgnoreNewLines = ReadBool(L"IgnoreNewLines", IgnoreNewLines);
  IgnoreWhitespace = ReadBool(L"IgnoreWhitespace", IgnoreWhitespace);
  SelectDifferencesOnBothPanels = ReadBool(L"SelectDifferencesOnBothPanels", SelectDifferencesOnBothPanels);
  CompareCommand = ReadString(L"CompareCommand", CompareCommand);
  CompareCommandArguments = ReadString(L"CompareCommandArguments", CompareCommandArguments);
  CompareCommandAcceptsNTFileNames =
      ReadBool(L"CompareCommandAcceptsNTFileNames", CompareCommandAcceptsNTFileNames);
  SilentModeByDefault = ReadBool(L"SilentModeByDefault", SilentModeByDefault);
  ShowDescriptionIsSyncFile = ReadBool(L"ShowDescriptionIsSyncFile", ShowDescriptionIsSyncFile);
  GlobalRemember = ReadBool(L"GlobalRemember", GlobalRemember);
  IncludeMasks = ReadString(L"IncludeMasks", IncludeMasks);
  ExcludeMasks = ReadString(L"ExcludeMasks", ExcludeMasks);
  // Never chosen here: the plug-in deletes as FAR does.
  if (!TryReadBool(L"DeleteToRecycleBin", DeleteToRecycleBin))
    DeleteToRecycleBin = FarDeletesToRecycleBin();
  VerifyCopies = ReadBool(L"VerifyCopies", VerifyCopies);
  ConfirmMassDeletion = ReadBool(L"ConfirmMassDeletion", ConfirmMassDeletion);
  CheckFreeSpace = ReadBool(L"CheckFreeSpace", CheckFreeSpace);
  RememberPair = ReadBool(L"RememberPair", RememberPair);
  // A number out of range (edited by hand) is taken as the nearest one allowed.
  CompareWorkers = static_cast<int32_t>(
      std::clamp<int64_t>(ReadNumber(L"CompareWorkers", CompareWorkers), 1, MaxCompareWorkers));
  ColourDocument = ReadBool(L"ColourDocument", ColourDocument);
  ShowRunSummary = ReadBool(L"ShowRunSummary", ShowRunSummary);
}

void TVelmoraOptions::Save() {
  if (!Open(RootKey, false))
    return;
  TCloseOnExit Closer(*this);
  // A refused write is not reported; the remaining keys are still written.
  WriteBool(L"ProcessSubfolders", ProcessSubfolders);
  WriteBool(L"UseMaxScanDepth", UseMaxScanDepth);
  WriteNumber(L"MaxScanDepth", MaxScanDepth);
  WriteBool(L"ProcessSelected", ProcessSelected);
  WriteBool(L"CompareTime", CompareTime);
  WriteBool(L"LowPrecisionTime", LowPrecisionTime);
  WriteBool(L"IgnorePossibleTimeZoneDifferences", IgnorePossibleTimeZoneDifferences);
  WriteBool(L"CompareSize", CompareSize);
  WriteBool(L"CompareFileNameCase", CompareFileNameCase);
  WriteBool(L"CompareContents", CompareContents);
  WriteBool(L"CompareContentsIgnore", CompareContentsIgnore);
  WriteBool(L"IgnoreNewLines", IgnoreNewLines);
  WriteBool(L"IgnoreWhitespace", IgnoreWhitespace);
  WriteBool(L"SelectDifferencesOnBothPanels", SelectDifferencesOnBothPanels);
  WriteString(L"CompareCommand", CompareCommand);
  WriteString(L"CompareCommandArguments", CompareCommandArguments);
  WriteBool(L"CompareCommandAcceptsNTFileNames", CompareCommandAcceptsNTFileNames);
  WriteBool(L"SilentModeByDefault", SilentModeByDefault);
  WriteBool(L"ShowDescriptionIsSyncFile", ShowDescriptionIsSyncFile);
  WriteBool(L"GlobalRemember", GlobalRemember);
  WriteString(L"IncludeMasks", IncludeMasks);
  WriteString(L"ExcludeMasks", ExcludeMasks);
  WriteBool(L"DeleteToRecycleBin", DeleteToRecycleBin);
  WriteBool(L"VerifyCopies", VerifyCopies);
  WriteBool(L"ConfirmMassDeletion", ConfirmMassDeletion);
  WriteBool(L"CheckFreeSpace", CheckFreeSpace);
  WriteBool(L"RememberPair", RememberPair);
  WriteNumber(L"CompareWorkers", CompareWorkers);
  WriteBool(L"ColourDocument", ColourDocument);
  WriteBool(L"ShowRunSummary", ShowRunSummary);
}

void TVelmoraOptions::Assign(const TVelmoraOptions &Source) {
  if (&Source == this)
    return;
  ProcessSubfolders = Source.ProcessSubfolders;
  UseMaxScanDepth = Source.UseMaxScanDepth;
  MaxScanDepth = Source.MaxScanDepth;
  ProcessSelected = Source.ProcessSelected;
  CompareTime = Source.CompareTime;
  LowPrecisionTime = Source.LowPrecisionTime;
  IgnorePossibleTimeZoneDifferences = Source.IgnorePossibleTimeZoneDifferences;
  CompareSize = Source.CompareSize;
  CompareFileNameCase = Source.CompareFileNameCase;
  CompareContents = Source.CompareContents;
  CompareContentsIgnore = Source.CompareContentsIgnore;
  IgnoreNewLines = Source.IgnoreNewLines;
  IgnoreWhitespace = Source.IgnoreWhitespace;
  SelectDifferencesOnBothPanels = Source.SelectDifferencesOnBothPanels;
  CompareCommand = Source.CompareCommand;
  CompareCommandArguments = Source.CompareCommandArguments;
  CompareCommandAcceptsNTFileNames = Source.CompareCommandAcceptsNTFileNames;
  SilentModeByDefault = Source.SilentModeByDefault;
  ShowDescriptionIsSyncFile = Source.ShowDescriptionIsSyncFile;
  GlobalRemember = Source.GlobalRemember;
  IncludeMasks = Source.IncludeMasks;
  ExcludeMasks = Source.ExcludeMasks;
  DeleteToRecycleBin = Source.DeleteToRecycleBin;
  VerifyCopies = Source.VerifyCopies;
  ConfirmMassDeletion = Source.ConfirmMassDeletion;
  CheckFreeSpace = Source.CheckFreeSpace;
  RememberPair = Source.RememberPair;
  CompareWorkers = Source.CompareWorkers;
  ColourDocument = Source.ColourDocument;
  ShowRunSummary = Source.ShowRunSummary;
}

int32_t TVelmoraOptions::GetScanDepth() const {
  if (!ProcessSubfolders)
    return 0;
  return UseMaxScanDepth ? MaxScanDepth : UnlimitedScanDepth;
}
