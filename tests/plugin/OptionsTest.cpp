// The options against the host's settings store: defaults, what Load takes and leaves, what Save
// writes, and the depth a comparison uses.

#include "Options.h"
#include "HostInProcess.h"
#include "HostSettings.h"
#include "Velmora.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const wchar_t *const BooleanKeys[] = {L"ProcessSubfolders",
                                      L"UseMaxScanDepth",
                                      L"ProcessSelected",
                                      L"CompareTime",
                                      L"LowPrecisionTime",
                                      L"IgnorePossibleTimeZoneDifferences",
                                      L"CompareSize",
                                      L"CompareFileNameCase",
                                      L"CompareContents",
                                      L"CompareContentsIgnore",
                                      L"IgnoreNewLines",
                                      L"IgnoreWhitespace",
                                      L"SelectDifferencesOnBothPanels",
                                      L"CompareCommandAcceptsNTFileNames",
                                      L"SilentModeByDefault",
                                      L"ShowDescriptionIsSyncFile",
                                      L"GlobalRemember",
                                      L"DeleteToRecycleBin",
                                      L"VerifyCopies",
                                      L"ConfirmMassDeletion",
                                      L"CheckFreeSpace",
                                      L"RememberPair",
                                      L"ColourDocument",
                                      L"ShowRunSummary"};

void ExpectDefaults(const TVelmoraOptions &O) {
  EXPECT_FALSE(O.ProcessSubfolders);
  EXPECT_FALSE(O.UseMaxScanDepth);
  EXPECT_EQ(O.MaxScanDepth, 99);
  EXPECT_FALSE(O.ProcessSelected);
  EXPECT_TRUE(O.CompareTime);
  EXPECT_TRUE(O.LowPrecisionTime);
  EXPECT_TRUE(O.IgnorePossibleTimeZoneDifferences);
  EXPECT_TRUE(O.CompareSize);
  EXPECT_FALSE(O.CompareFileNameCase);
  EXPECT_FALSE(O.CompareContents);
  EXPECT_FALSE(O.CompareContentsIgnore);
  EXPECT_TRUE(O.IgnoreNewLines);
  EXPECT_FALSE(O.IgnoreWhitespace);
  EXPECT_FALSE(O.SelectDifferencesOnBothPanels);
  EXPECT_EQ(O.CompareCommand, L"winmerge");
  EXPECT_EQ(O.CompareCommandArguments, L"${LEFTFILE} ${RIGHTFILE}");
  EXPECT_FALSE(O.CompareCommandAcceptsNTFileNames);
  EXPECT_FALSE(O.SilentModeByDefault);
  EXPECT_TRUE(O.ShowDescriptionIsSyncFile);
  EXPECT_FALSE(O.GlobalRemember);
  EXPECT_EQ(O.IncludeMasks, L"");
  EXPECT_EQ(O.ExcludeMasks, L"");
  EXPECT_TRUE(O.DeleteToRecycleBin);
  EXPECT_FALSE(O.VerifyCopies);
  EXPECT_TRUE(O.ConfirmMassDeletion);
  EXPECT_TRUE(O.CheckFreeSpace);
  EXPECT_FALSE(O.RememberPair);
  EXPECT_EQ(O.CompareWorkers, TVelmoraOptions::DefaultCompareWorkers);
  EXPECT_TRUE(O.ColourDocument);
  EXPECT_TRUE(O.ShowRunSummary);
}

// Every field away from its default.
void SetAllOtherThanDefault(TVelmoraOptions &O) {
  O.ProcessSubfolders = true;
  O.UseMaxScanDepth = true;
  O.MaxScanDepth = 7;
  O.ProcessSelected = true;
  O.CompareTime = false;
  O.LowPrecisionTime = false;
  O.IgnorePossibleTimeZoneDifferences = false;
  O.CompareSize = false;
  O.CompareFileNameCase = true;
  O.CompareContents = true;
  O.CompareContentsIgnore = true;
  O.IgnoreNewLines = false;
  O.IgnoreWhitespace = true;
  O.SelectDifferencesOnBothPanels = true;
  O.CompareCommand = L"%ProgramFiles%\\Diff\\diff.exe";
  O.CompareCommandArguments = L"-x ${RIGHTFILE} ${LEFTFILE}";
  O.CompareCommandAcceptsNTFileNames = true;
  O.SilentModeByDefault = true;
  O.ShowDescriptionIsSyncFile = false;
  O.GlobalRemember = true;
  O.IncludeMasks = L"*.cpp,*.h";
  O.ExcludeMasks = L"obj,\"a,b\"";
  O.DeleteToRecycleBin = false;
  O.VerifyCopies = true;
  O.ConfirmMassDeletion = false;
  O.CheckFreeSpace = false;
  O.RememberPair = true;
  O.CompareWorkers = 9;
  O.ColourDocument = false;
  O.ShowRunSummary = false;
}

void ExpectAllOtherThanDefault(const TVelmoraOptions &O) {
  TVelmoraOptions Expected;
  SetAllOtherThanDefault(Expected);
  EXPECT_EQ(O.ProcessSubfolders, Expected.ProcessSubfolders);
  EXPECT_EQ(O.UseMaxScanDepth, Expected.UseMaxScanDepth);
  EXPECT_EQ(O.MaxScanDepth, Expected.MaxScanDepth);
  EXPECT_EQ(O.ProcessSelected, Expected.ProcessSelected);
  EXPECT_EQ(O.CompareTime, Expected.CompareTime);
  EXPECT_EQ(O.LowPrecisionTime, Expected.LowPrecisionTime);
  EXPECT_EQ(O.IgnorePossibleTimeZoneDifferences, Expected.IgnorePossibleTimeZoneDifferences);
  EXPECT_EQ(O.CompareSize, Expected.CompareSize);
  EXPECT_EQ(O.CompareFileNameCase, Expected.CompareFileNameCase);
  EXPECT_EQ(O.CompareContents, Expected.CompareContents);
  EXPECT_EQ(O.CompareContentsIgnore, Expected.CompareContentsIgnore);
  EXPECT_EQ(O.IgnoreNewLines, Expected.IgnoreNewLines);
  EXPECT_EQ(O.IgnoreWhitespace, Expected.IgnoreWhitespace);
  EXPECT_EQ(O.SelectDifferencesOnBothPanels, Expected.SelectDifferencesOnBothPanels);
  EXPECT_EQ(O.CompareCommand, Expected.CompareCommand);
  EXPECT_EQ(O.CompareCommandArguments, Expected.CompareCommandArguments);
  EXPECT_EQ(O.CompareCommandAcceptsNTFileNames, Expected.CompareCommandAcceptsNTFileNames);
  EXPECT_EQ(O.SilentModeByDefault, Expected.SilentModeByDefault);
  EXPECT_EQ(O.ShowDescriptionIsSyncFile, Expected.ShowDescriptionIsSyncFile);
  EXPECT_EQ(O.GlobalRemember, Expected.GlobalRemember);
  EXPECT_EQ(O.IncludeMasks, Expected.IncludeMasks);
  EXPECT_EQ(O.ExcludeMasks, Expected.ExcludeMasks);
  EXPECT_EQ(O.DeleteToRecycleBin, Expected.DeleteToRecycleBin);
  EXPECT_EQ(O.VerifyCopies, Expected.VerifyCopies);
  EXPECT_EQ(O.ConfirmMassDeletion, Expected.ConfirmMassDeletion);
  EXPECT_EQ(O.CheckFreeSpace, Expected.CheckFreeSpace);
  EXPECT_EQ(O.RememberPair, Expected.RememberPair);
  EXPECT_EQ(O.CompareWorkers, Expected.CompareWorkers);
  EXPECT_EQ(O.ColourDocument, Expected.ColourDocument);
  EXPECT_EQ(O.ShowRunSummary, Expected.ShowRunSummary);
}

class OptionsTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  THostSettings &Store() { return Host.Part<THostSettings>(); }
};

TEST_F(OptionsTest, ANewObjectHoldsTheDefaultsWithoutTouchingTheStore) {
  size_t Before = Host.CallCount(L"SettingsControl");
  TVelmoraOptions Options;
  ExpectDefaults(Options);
  EXPECT_FALSE(Options.IsOpen());
  EXPECT_EQ(Host.CallCount(L"SettingsControl"), Before);
}

TEST_F(OptionsTest, LoadFromAnEmptyStoreKeepsEveryDefaultAndClosesTheStore) {
  TVelmoraOptions Options;
  Options.Load();
  ExpectDefaults(Options);
  EXPECT_FALSE(Options.IsOpen());
  EXPECT_EQ(Store().OpenHandles(), 0u);
}

TEST_F(OptionsTest, SaveThenLoadOnAFreshObjectReproducesEveryField) {
  {
    TVelmoraOptions Options;
    SetAllOtherThanDefault(Options);
    Options.Save();
    EXPECT_FALSE(Options.IsOpen());
  }
  TVelmoraOptions Loaded;
  Loaded.Load();
  ExpectAllOtherThanDefault(Loaded);
  EXPECT_EQ(Store().OpenHandles(), 0u);
}

TEST_F(OptionsTest, SaveWritesEveryKeyWithItsTypeInTheRootKey) {
  TVelmoraOptions Options;
  Options.Save();
  std::vector<std::wstring> Names = Store().ValueNames(VelmoraPluginGuid, L"");
  EXPECT_EQ(Names.size(), 30u);
  for (const wchar_t *Key : BooleanKeys) {
    const THostSettingsValue *Value = Store().Find(VelmoraPluginGuid, L"", Key);
    ASSERT_NE(Value, nullptr) << Key;
    EXPECT_EQ(Value->Type, FST_QWORD);
    EXPECT_LE(Value->Number, 1u);
  }
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"", L"MaxScanDepth"), 99u);
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"", L"CompareTime"), 1u);
  EXPECT_EQ(Store().GetString(VelmoraPluginGuid, L"", L"CompareCommand"), L"winmerge");
  EXPECT_EQ(Store().GetString(VelmoraPluginGuid, L"", L"CompareCommandArguments"),
            L"${LEFTFILE} ${RIGHTFILE}");
}

TEST_F(OptionsTest, ABooleanStoredAsTwoLoadsAsTrueAndIsSavedBackAsOne) {
  Store().SetNumber(VelmoraPluginGuid, L"", L"ProcessSubfolders", 2);
  Store().SetNumber(VelmoraPluginGuid, L"", L"CompareTime", 0);
  TVelmoraOptions Options;
  Options.Load();
  EXPECT_TRUE(Options.ProcessSubfolders);
  EXPECT_FALSE(Options.CompareTime);
  Options.Save();
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"", L"ProcessSubfolders"), 1u);
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"", L"CompareTime"), 0u);
}

TEST_F(OptionsTest, AKeyOfAnotherTypeOrMissingKeepsTheFieldsValue) {
  Store().SetString(VelmoraPluginGuid, L"", L"CompareTime", L"0");
  Store().SetNumber(VelmoraPluginGuid, L"", L"CompareCommand", 5);
  Store().SetData(VelmoraPluginGuid, L"", L"MaxScanDepth", {1, 0, 0, 0});
  Store().SetNumber(VelmoraPluginGuid, L"", L"GlobalRemember", 1);
  TVelmoraOptions Options;
  Options.CompareCommandArguments = L"changed before the load";
  Options.Load();
  EXPECT_TRUE(Options.CompareTime);
  EXPECT_EQ(Options.CompareCommand, L"winmerge");
  EXPECT_EQ(Options.MaxScanDepth, 99);
  EXPECT_EQ(Options.CompareCommandArguments, L"changed before the load");
  EXPECT_TRUE(Options.GlobalRemember);
}

TEST_F(OptionsTest, WithoutItsOwnKeyTheRecycleBinFollowsFar) {
  TVelmoraOptions Options;
  for (uint64_t Far : {0u, 1u}) {
    Store().SetFarNumber(FSSF_SYSTEM, L"DeleteToRecycleBin", Far);
    Options.Load();
    EXPECT_EQ(Far != 0, Options.DeleteToRecycleBin);
  }
  // Once chosen, the plug-in's own choice holds.
  Store().SetNumber(VelmoraPluginGuid, L"", L"DeleteToRecycleBin", 1);
  Options.Load();
  EXPECT_TRUE(Options.DeleteToRecycleBin);
}

TEST_F(OptionsTest, KeysInASubkeyAreNotOptions) {
  Store().SetNumber(VelmoraPluginGuid, L"Other", L"ProcessSubfolders", 1);
  TVelmoraOptions Options;
  Options.Load();
  EXPECT_FALSE(Options.ProcessSubfolders);
}

TEST_F(OptionsTest, LoadFromAStoreLeftOpenAtASubkeyStillReadsTheRootKey) {
  Store().SetNumber(VelmoraPluginGuid, L"", L"ProcessSelected", 1);
  TVelmoraOptions Options;
  ASSERT_TRUE(Options.Open(L"Some\\Key"));
  Options.Load();
  EXPECT_TRUE(Options.ProcessSelected);
  EXPECT_FALSE(Options.IsOpen());
}

TEST_F(OptionsTest, AStoreThatCannotBeOpenedLeavesTheFieldsAndWritesNothing) {
  Store().SetNumber(VelmoraPluginGuid, L"", L"ProcessSubfolders", 1);
  Store().RefuseCreate = true;
  TVelmoraOptions Options;
  Options.CompareCommand = L"mine";
  Options.Load();
  EXPECT_FALSE(Options.ProcessSubfolders);
  EXPECT_EQ(Options.CompareCommand, L"mine");
  Options.Save();
  EXPECT_FALSE(Store().Find(VelmoraPluginGuid, L"", L"CompareCommand"));
}

TEST_F(OptionsTest, ARefusedWriteDoesNotStopTheOthers) {
  Store().RefuseWrites = {L"ProcessSubfolders", L"CompareCommand"};
  TVelmoraOptions Options;
  SetAllOtherThanDefault(Options);
  Options.Save();
  EXPECT_FALSE(Store().Find(VelmoraPluginGuid, L"", L"ProcessSubfolders"));
  EXPECT_FALSE(Store().Find(VelmoraPluginGuid, L"", L"CompareCommand"));
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"", L"GlobalRemember"), 1u);
  EXPECT_EQ(Store().ValueNames(VelmoraPluginGuid, L"").size(), 28u);
  EXPECT_EQ(Store().OpenHandles(), 0u);
}

TEST_F(OptionsTest, ResetAndAssignCoverEveryField) {
  TVelmoraOptions Source;
  SetAllOtherThanDefault(Source);
  TVelmoraOptions Copy;
  Copy.Assign(Source);
  ExpectAllOtherThanDefault(Copy);
  Copy.Assign(Copy);
  ExpectAllOtherThanDefault(Copy);
  Copy.Reset();
  ExpectDefaults(Copy);
}

TEST_F(OptionsTest, TheScanDepthFollowsTheThreeFields) {
  TVelmoraOptions Options;
  Options.MaxScanDepth = 5;
  EXPECT_EQ(Options.GetScanDepth(), 0);
  Options.ProcessSubfolders = true;
  EXPECT_EQ(Options.GetScanDepth(), 2147483647);
  Options.UseMaxScanDepth = true;
  EXPECT_EQ(Options.GetScanDepth(), 5);

  Store().SetNumber(VelmoraPluginGuid, L"", L"ProcessSubfolders", 1);
  Store().SetNumber(VelmoraPluginGuid, L"", L"UseMaxScanDepth", 1);
  Store().SetNumber(VelmoraPluginGuid, L"", L"MaxScanDepth", 0);
  TVelmoraOptions Stored;
  Stored.Load();
  EXPECT_EQ(Stored.GetScanDepth(), 0);
}

} // namespace

TEST_F(OptionsTest, AWorkerCountOutOfRangeIsTakenAsTheNearestAllowed) {
  const std::pair<uint64_t, int32_t> Cases[] = {{0, 1}, {1, 1}, {16, 16}, {17, 16}, {~0ull, 1}};
  for (const auto &[Stored, Expected] : Cases) {
    Store().SetNumber(VelmoraPluginGuid, L"", L"CompareWorkers", Stored);
    TVelmoraOptions Options;
    Options.Load();
    EXPECT_EQ(Options.CompareWorkers, Expected) << Stored;
  }
}
