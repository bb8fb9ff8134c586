// The nets a run spreads under the user's files: the comparison's masks, the Recycle Bin, copies
// read back, a warning before much is deleted and one before the copies overfill a disk.

#include "Confirmations.h"
#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace SyncTask;

namespace {

class SynchronizeSafetyTest : public TSyncRunTest {
protected:
  void TearDown() override {
    TSynchronizeTask::SetRecycleBinProbe(nullptr);
    TSynchronizeTask::SetRecycleFunction(nullptr);
    TSyncRunTest::TearDown();
  }
  // The text the user sees in the dialog on screen.
  void ExpectShown(THostDialog &D, const std::wstring &Text) {
    EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text)) << HostUtf8(D.DrawnText());
  }
};

std::vector<std::wstring> Recycled;
TRecycleResult RecordedRecycle(const std::wstring &Path) {
  Recycled.push_back(Path.substr(Path.find_last_of(L'\\') + 1));
  return RecycleWithShell(Path);
}
bool WithRecycleBin(const std::wstring &) {
  return true;
}
bool WithoutRecycleBin(const std::wstring &) {
  return false;
}

// A copy that writes one byte wrong, as a failing disk or cable might.
BOOL WINAPI CorruptingCopy(LPCWSTR Source, LPCWSTR Target, LPPROGRESS_ROUTINE Progress, LPVOID Data,
                           LPBOOL Cancel, DWORD Flags) {
  if (!::CopyFileExW(Source, Target, Progress, Data, Cancel, Flags))
    return FALSE;
  std::string Bytes = ReadFile(Target);
  Bytes[0] ^= 1;
  WriteFile(Target, Bytes);
  return TRUE;
}

TEST_F(SynchronizeSafetyTest, WhatTheMasksLeaveOutIsNeitherCopiedNorDeleted) {
  MakeDir(Left + L"\\gone");
  MakeDir(Left + L"\\gone\\keep");
  WriteFile(Left + L"\\gone\\a.txt", "a");
  WriteFile(Left + L"\\gone\\b.tmp", "b");
  WriteFile(Left + L"\\gone\\keep\\x.txt", "x");
  MakeDir(Right + L"\\copied");
  MakeDir(Right + L"\\copied\\keep");
  WriteFile(Right + L"\\copied\\c.txt", "c");
  WriteFile(Right + L"\\copied\\d.tmp", "d");
  WriteFile(Right + L"\\copied\\keep\\y.txt", "y");
  OpenDocument({Line(dtMissingRight, drFile, L"gone", true), Line(dtMissingLeft, drFile, L"copied", true)},
               {}, {}, TNameFilter(L"", L"*.tmp,keep"));
  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  User().Press(Text(MDelete));
  // What stays is not the run's; the directory kept for it is not done.
  Host.Script().AnswerMessage(0, Host.Msg(MKeptForMasksAfter));
  EXPECT_TRUE(CloseDocument());
  EXPECT_EQ(std::vector<std::wstring>{Line(dtMissingRight, drFile, L"gone", true)}, RemainingLines());
  EXPECT_EQ((std::vector<std::wstring>{L"b.tmp", L"keep"}), Names(Left + L"\\gone"));
  EXPECT_EQ("x", ReadFile(Left + L"\\gone\\keep\\x.txt"));
  EXPECT_EQ((std::vector<std::wstring>{L"c.txt"}), Names(Left + L"\\copied"));
}

TEST_F(SynchronizeSafetyTest, TheDialogCountsWhatTheRunWillDoAsTheChoicesChange) {
  WriteFile(Left + L"\\a.txt", std::string(1500, 'a'));
  MakeDir(Right + L"\\d");
  WriteFile(Right + L"\\d\\b.txt", std::string(10, 'b'));
  WriteFile(Right + L"\\d\\c.txt", std::string(20, 'c'));
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt"), Line(dtMissingLeft, drFile, L"d", true)});
  User()
      .Inspect([&](THostDialog &D) {
        ExpectShown(D, L"Copy to the left: files 2, bytes 30");
        ExpectShown(D, L"Copy to the right: files 1, bytes 1,500");
        ExpectShown(D, L"Delete: entries on the left 0, on the right 0");
      })
      .Check(Text(MSyncDeleteOnRight))
      .Clear(Text(MSyncCopyToRight))
      .Inspect([&](THostDialog &D) {
        // Deleting wins over copying; the directory counts itself and its two files.
        ExpectShown(D, L"Copy to the left: files 0, bytes 0");
        ExpectShown(D, L"Copy to the right: files 0, bytes 0");
        ExpectShown(D, L"Delete: entries on the left 0, on the right 3");
      })
      .Escape();
  EXPECT_FALSE(CloseDocument());
  EXPECT_TRUE(Exists(Right + L"\\d\\b.txt"));
}

TEST_F(SynchronizeSafetyTest, EscStopsTheCountingAndTheDialogSaysSo) {
  std::wstring Why;
  ConsoleReady = THostConsole::Ensure(&Why);
  if (!ConsoleReady)
    GTEST_SKIP() << HostUtf8(Why);
  THostConsole::Flush();
  // Every look at the clock is a second later: the count shows its window at once.
  TFarProgress::SetTickSource([]() -> DWORD {
    static DWORD Now = 0;
    return Now += 1000;
  });
  MakeDir(Right + L"\\d");
  WriteFile(Right + L"\\d\\b.txt", "b");
  OpenDocument({Line(dtMissingLeft, drFile, L"d", true)});
  THostConsole::PushKey(VK_ESCAPE);
  User()
      .Inspect([&](THostDialog &D) {
        ExpectShown(D, Text(MSyncCountsPartial));
        ExpectShown(D, L"Copy to the left: files 0, bytes 0");
      })
      .Escape();
  CloseDocument();
  bool Counted = false;
  for (const auto &M : HostProgressMessages(Host))
    Counted = Counted || (M.Lines.size() > 1 && M.Lines[1].rfind(Host.Msg(MSyncCounting), 0) == 0);
  EXPECT_TRUE(Counted);
}

TEST_F(SynchronizeSafetyTest, TheProgressWindowShowsTheWholeRun) {
  TFarProgress::SetTickSource([]() -> DWORD {
    static DWORD Now = 0;
    return Now += 1000;
  });
  WriteFile(Left + L"\\a.txt", std::string(3000, 'a'));
  WriteFile(Left + L"\\b.txt", std::string(1000, 'b'));
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt"), Line(dtMissingRight, drFile, L"b.txt")});
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  std::vector<std::wstring> Totals;
  bool Timed = false;
  for (const auto &M : HostProgressMessages(Host))
    for (const auto &L : M.Lines) {
      if (L.rfind(L"Total: ", 0) == 0)
        Totals.push_back(L.substr(0, L.find_last_not_of(L' ') + 1));
      Timed = Timed || L.rfind(L"Elapsed ", 0) == 0;
    }
  ASSERT_FALSE(Totals.empty());
  EXPECT_EQ(L"Total: files 0 of 2, bytes 0 of 4,000", Totals.front());
  EXPECT_NE(Totals.end(),
            std::find(Totals.begin(), Totals.end(), L"Total: files 1 of 2, bytes 3,000 of 4,000"));
  EXPECT_TRUE(Timed);
  // The taskbar followed the run's bytes.
  const auto &Screen = Host.Part<THostScreen>();
  bool Whole = false;
  for (const auto &Call : Screen.TaskbarCalls)
    Whole = Whole || (Call.Command == ACTL_SETPROGRESSVALUE && Call.Total == 4000 && Call.Completed == 3000);
  EXPECT_TRUE(Whole);
}

TEST_F(SynchronizeSafetyTest, DeletedItemsGoToTheRecycleBinOneCallEach) {
  SetOption(&TVelmoraOptions::DeleteToRecycleBin, true);
  TSynchronizeTask::SetRecycleBinProbe(&WithRecycleBin);
  TSynchronizeTask::SetRecycleFunction(&RecordedRecycle);
  Recycled.clear();
  WriteFile(Right + L"\\only.txt", "o");
  MakeDir(Right + L"\\tree");
  MakeDir(Right + L"\\tree\\sub");
  WriteFile(Right + L"\\tree\\sub\\b.txt", "b");
  OpenDocument({Line(dtMissingLeft, drFile, L"only.txt"), Line(dtMissingLeft, drFile, L"tree", true)});
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  User().Press(Text(MDelete));
  User().Press(Text(MDelete));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ((std::vector<std::wstring>{L"only.txt", L"tree"}), Recycled);
  EXPECT_TRUE(Names(Right).empty());
}

TEST_F(SynchronizeSafetyTest, WithoutARecycleBinNothingIsDeletedForGoodUnasked) {
  SetOption(&TVelmoraOptions::DeleteToRecycleBin, true);
  TSynchronizeTask::SetRecycleBinProbe(&WithoutRecycleBin);
  for (const wchar_t *Name : {L"\\a.txt", L"\\b.txt", L"\\c.txt"})
    WriteFile(Right + Name, "x");
  OpenDocument({Line(dtMissingLeft, drFile, L"a.txt"), Line(dtMissingLeft, drFile, L"b.txt"),
                Line(dtMissingLeft, drFile, L"c.txt")});
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  User().Press(Text(MDelete));
  User().Inspect([&](THostDialog &D) { ExpectShown(D, Text(MDeletePermanentlyRight)); }).Press(Text(MSkip));
  User().Press(Text(MDelete));
  // Remembered for the directory: c.txt goes without this question.
  User().Check(Text(MRememberForDirectory)).Press(Text(MDelete));
  User().Press(Text(MDelete));
  EXPECT_TRUE(CloseDocument());
  EXPECT_EQ((std::vector<std::wstring>{L"a.txt"}), Names(Right));
  EXPECT_EQ((std::vector<std::wstring>{Line(dtMissingLeft, drFile, L"a.txt")}), RemainingLines());
}

TEST_F(SynchronizeSafetyTest, AVerifiedCopyThatDiffersNeverReplacesTheTarget) {
  SetOption(&TVelmoraOptions::VerifyCopies, true);
  TSynchronizeTask::SetCopyFileFunction(&CorruptingCopy);
  WriteFile(Left + L"\\a.txt", "new");
  WriteFile(Right + L"\\a.txt", "old");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt")});
  Synchronise();
  User().Press(Text(MOverwrite));
  User().Inspect([&](THostDialog &D) { ExpectShown(D, Text(MFailureVerify)); }).Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("old", ReadFile(Right + L"\\a.txt"));
  EXPECT_FALSE(HasTemporaryFiles(Right));
  // A sound copy reads back as its source and takes the target's place.
  TSynchronizeTask::SetCopyFileFunction(nullptr);
  Synchronise();
  User().Press(Text(MOverwrite));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("new", ReadFile(Right + L"\\a.txt"));
}

TEST_F(SynchronizeSafetyTest, DeletingMostOfASideIsWarnedAboutBeforeAnythingIsDone) {
  SetOption(&TVelmoraOptions::ConfirmMassDeletion, true);
  for (const wchar_t *Name : {L"\\a.txt", L"\\b.txt", L"\\c.txt"})
    WriteFile(Right + Name, "x");
  WriteFile(Left + L"\\c.txt", "x");
  OpenDocument({Line(dtMissingLeft, drFile, L"a.txt"), Line(dtMissingLeft, drFile, L"b.txt")});
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  Host.Script().AnswerMessage(1, L"The run will delete 2 of 3 files and directories on the right");
  // Back to the document: it stays open and nothing was touched.
  CloseDocument();
  EXPECT_EQ(1u, Editors().OpenCount());
  EXPECT_EQ(3u, Names(Right).size());
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  Host.Script().AnswerMessage(0);
  User().Press(Text(MDelete));
  User().Press(Text(MDelete));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ((std::vector<std::wstring>{L"c.txt"}), Names(Right));
  const THostMessage &Warning = Host.Messages()[0];
  EXPECT_EQ(FMSG_WARNING, Warning.Flags & FMSG_WARNING);
  EXPECT_EQ((std::vector<std::wstring>{Host.Msg(MGoOn), Host.Msg(MSyncBackToDocument), Host.Msg(MCancel)}),
            Warning.Buttons);
}

TEST_F(SynchronizeSafetyTest, DeletingWhileTheOtherSideIsEmptyIsWarnedAbout) {
  SetOption(&TVelmoraOptions::ConfirmMassDeletion, true);
  MakeDir(Right + L"\\many");
  for (int I = 0; I < 5; ++I)
    WriteFile(Right + L"\\many\\" + std::to_wstring(I), "x");
  for (int I = 0; I < 20; ++I)
    WriteFile(Right + L"\\kept" + std::to_wstring(I), "x");
  OpenDocument({Line(dtMissingLeft, drFile, L"many", true)});
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  Host.Script().AnswerMessage(2, Host.Msg(MEmptySideLeft));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ(0u, Editors().OpenCount());
  EXPECT_EQ(5u, Names(Right + L"\\many").size());
  EXPECT_NE(std::wstring::npos, Host.Messages()[0].Body().find(L"on the other side: 6"));
}

TEST_F(SynchronizeSafetyTest, CopiesThatDoNotFitAreWarnedAboutWithBothFigures) {
  std::wstring Why;
  const std::wstring Disk = FullDiskFolder(Why);
  if (Disk.empty())
    GTEST_SKIP() << HostUtf8(Why);
  const std::wstring Full = Disk + L"\\space";
  MakeDir(Full);
  ULARGE_INTEGER Free{};
  ASSERT_TRUE(::GetDiskFreeSpaceExW(Full.c_str(), &Free, nullptr, nullptr));
  const size_t Size = static_cast<size_t>(Free.QuadPart) + 4096;
  WriteFile(Left + L"\\big.bin", std::string(Size, 'b'));
  OpenDocument({Line(dtMissingRight, drFile, L"big.bin")}, Left, Full);
  Synchronise();
  Host.Script().AnswerMessage(2, L"Not enough space on the right: " + FormatGroupedNumber(int64_t(Size)) +
                                     L" bytes to copy, " + FormatGroupedNumber(int64_t(Free.QuadPart)) +
                                     L" bytes free");
  EXPECT_FALSE(CloseDocument());
  EXPECT_TRUE(Names(Full).empty());
  ::RemoveDirectoryW(Full.c_str());
  ::RemoveDirectoryW(Disk.c_str());
}

} // namespace
