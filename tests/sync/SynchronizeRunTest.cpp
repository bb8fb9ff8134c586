// Closing a differences document in the host: the synchronise dialog, the copies and deletions
// on real folders, the questions with remembered answers, silent mode, aborting, and the new
// document of what was left undone.

#include "SyncTaskTestSupport.h"

#include "HostScreen.h"
#include "VelmoraMessages.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace SyncTask;

namespace {

// A file copy as Windows makes it, in chunks with a progress report before the first and after
// each; cancelling removes the partial target. (The test system's own copy reports no progress.)
int ChunksCopied = 0;
BOOL WINAPI ChunkedCopy(LPCWSTR Source, LPCWSTR Target, LPPROGRESS_ROUTINE Progress, LPVOID Data, LPBOOL,
                        DWORD Flags) {
  HANDLE In = ::CreateFileW(Source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (In == INVALID_HANDLE_VALUE)
    return FALSE;
  HANDLE Out = ::CreateFileW(Target, GENERIC_WRITE, 0, nullptr,
                             (Flags & COPY_FILE_FAIL_IF_EXISTS) ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
  if (Out == INVALID_HANDLE_VALUE) {
    const DWORD Error = ::GetLastError();
    ::CloseHandle(In);
    ::SetLastError(Error);
    return FALSE;
  }
  LARGE_INTEGER Total{}, Done{}, Zero{};
  ::GetFileSizeEx(In, &Total);
  static char Buffer[1 << 20];
  DWORD Reason = CALLBACK_STREAM_SWITCH;
  for (;;) {
    if (Progress && Progress(Total, Done, Total, Done, 1, Reason, In, Out, Data) == PROGRESS_CANCEL) {
      ::CloseHandle(In);
      ::CloseHandle(Out);
      ::DeleteFileW(Target);
      ::SetLastError(ERROR_REQUEST_ABORTED);
      return FALSE;
    }
    DWORD Read = 0, Written = 0;
    if (!::ReadFile(In, Buffer, sizeof(Buffer), &Read, nullptr) || Read == 0)
      break;
    ::WriteFile(Out, Buffer, Read, &Written, nullptr);
    Done.QuadPart += Read;
    ++ChunksCopied;
    Reason = CALLBACK_CHUNK_FINISHED;
  }
  (void)Zero;
  ::CloseHandle(In);
  ::CloseHandle(Out);
  return TRUE;
}

BOOL WINAPI FailingCopy(LPCWSTR, LPCWSTR, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD) {
  throw EStreamError(L"The disk went away");
}

using SynchronizeRunTest = TSyncRunTest;

} // namespace

TEST_F(SynchronizeRunTest, CopiesOneSidedItemsBothWaysAndRereadsThePanels) {
  WriteFile(Left + L"\\a.txt", "left a");
  MakeDir(Right + L"\\d");
  MakeDir(Right + L"\\d\\e");
  WriteFile(Right + L"\\d\\e\\deep.txt", "deep");
  WriteFile(Right + L"\\d\\f.txt", "f");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt"), Line(dtMissingLeft, drFile, L"d", true)});
  const size_t UpdatesBefore = HostPanels().Panel(THostSide::Left).Updates;
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("left a", ReadFile(Right + L"\\a.txt"));
  EXPECT_EQ("deep", ReadFile(Left + L"\\d\\e\\deep.txt"));
  EXPECT_EQ("f", ReadFile(Left + L"\\d\\f.txt"));
  EXPECT_EQ(0u, Editors().OpenCount());
  EXPECT_GT(HostPanels().Panel(THostSide::Left).Updates, UpdatesBefore);
  EXPECT_GT(HostPanels().Panel(THostSide::Right).Updates, 0u);
  EXPECT_FALSE(HasTemporaryFiles(Left) || HasTemporaryFiles(Right));
  EXPECT_EQ(0u, TFarEditorManaged::RegisteredCount());
}

TEST_F(SynchronizeRunTest, AFileCopiedIntoADirectoryMissingOnTheTargetSideMakesTheDirectory) {
  MakeDir(Left + L"\\gone");
  MakeDir(Left + L"\\gone\\deeper");
  WriteFile(Left + L"\\gone\\deeper\\kept.txt", "kept");
  OpenDocument({Line(dtMissingRight, drFile, L"gone\\deeper\\kept.txt")});
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("kept", ReadFile(Right + L"\\gone\\deeper\\kept.txt"));
  EXPECT_FALSE(HasTemporaryFiles(Right + L"\\gone\\deeper"));
}

TEST_F(SynchronizeRunTest, ADocumentWithoutDifferenceLinesClosesWithoutTheDialog) {
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  THostEditorWindow &W = Window();
  W.DeleteLine(HeaderLines);
  ASSERT_TRUE(W.Save());
  EXPECT_FALSE(CloseDocument());
  EXPECT_TRUE(Host.Part<THostDialogs>().Runs.empty());
}

TEST_F(SynchronizeRunTest, BackToTheListReopensTheDocumentWithItsEditsAndCancelClosesIt) {
  WriteFile(Left + L"\\a.txt", "a");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt"), Line(dtMissingRight, drFile, L"b.txt")});
  THostEditorWindow &W = Window();
  W.DeleteLine(HeaderLines + 1);
  ASSERT_TRUE(W.Save());
  User().Press(Text(MSyncBackToDocument));
  W.Close();
  ASSERT_EQ(1u, Editors().OpenCount());
  EXPECT_EQ(std::vector<std::wstring>{Line(dtMissingRight, drFile, L"a.txt")}, RemainingLines());
  EXPECT_FALSE(Exists(Right + L"\\a.txt"));

  User().Press(Text(MCancel));
  Editors().Current()->Close();
  EXPECT_EQ(0u, Editors().OpenCount());
  EXPECT_FALSE(Exists(Right + L"\\a.txt"));
}

TEST_F(SynchronizeRunTest, DeletionWinsOverCopyingAndIsConfirmed) {
  WriteFile(Right + L"\\only-right.txt", "r");
  MakeDir(Right + L"\\tree");
  WriteFile(Right + L"\\tree\\inner.txt", "i");
  WriteFile(Left + L"\\only-left.txt", "l");
  OpenDocument({Line(dtMissingLeft, drFile, L"only-right.txt"), Line(dtMissingLeft, drFile, L"tree", true),
                Line(dtMissingRight, drFile, L"only-left.txt")});
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  User().Press(Text(MDelete)); // only-right.txt
  User().Press(Text(MDelete)); // tree, and with it everything inside
  EXPECT_FALSE(CloseDocument());
  EXPECT_FALSE(Exists(Right + L"\\only-right.txt"));
  EXPECT_FALSE(Exists(Right + L"\\tree"));
  EXPECT_FALSE(Exists(Left + L"\\only-right.txt"));
  // Not chosen for the left: copied instead.
  EXPECT_EQ("l", ReadFile(Right + L"\\only-left.txt"));
}

TEST_F(SynchronizeRunTest, DeclinedItemsComeBackInANewDocumentInTheirOrder) {
  WriteFile(Left + L"\\a.txt", "new a");
  WriteFile(Right + L"\\a.txt", "old a");
  WriteFile(Left + L"\\b.txt", "b");
  WriteFile(Right + L"\\c.txt", "new c");
  WriteFile(Left + L"\\c.txt", "old c");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt"), Line(dtFailedBoth, drContents, L"x.txt"),
                Line(dtMissingRight, drFile, L"b.txt"), Line(dtOlderLeft, drTime, L"c.txt")});
  User().Clear(Text(MSyncCopyToLeft)).Press(Text(MOk));
  User().Press(Text(MSkip)); // overwrite a.txt on the right? no
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("old a", ReadFile(Right + L"\\a.txt"));
  EXPECT_EQ("b", ReadFile(Right + L"\\b.txt"));
  EXPECT_EQ("old c", ReadFile(Left + L"\\c.txt"));
  EXPECT_EQ((std::vector<std::wstring>{Line(dtOlderRight, drTime, L"a.txt"),
                                       Line(dtFailedBoth, drContents, L"x.txt"),
                                       Line(dtOlderLeft, drTime, L"c.txt")}),
            RemainingLines());
  // The new document is the one the registry holds, with the same roots.
  TSynchronizeTask *Next = TSynchronizeTask::FindForEditor(-1);
  ASSERT_NE(nullptr, Next);
  EXPECT_EQ(Left + L"\\", Next->GetLeftDirectory());
  EXPECT_EQ(HeaderLines, Editors().Current()->CurLine());
  EXPECT_EQ(1u, TFarEditorManaged::RegisteredCount());
}

TEST_F(SynchronizeRunTest, OverwriteForAllInADirectoryIsNotAskedAgainThere) {
  MakeDir(Left + L"\\s");
  MakeDir(Right + L"\\s");
  for (const wchar_t *Name : {L"\\s\\1.txt", L"\\s\\2.txt", L"\\3.txt"}) {
    WriteFile(Left + Name, "new");
    WriteFile(Right + Name, "old");
  }
  OpenDocument({Line(dtOlderRight, drTime, L"s\\1.txt"), Line(dtOlderRight, drTime, L"s\\2.txt"),
                Line(dtOlderRight, drTime, L"3.txt")});
  Synchronise();
  User().Check(Text(MRememberForDirectory)).Press(Text(MOverwrite)); // s\1.txt, for all of s
  User().Press(Text(MSkip));                                         // 3.txt is outside s
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("new", ReadFile(Right + L"\\s\\1.txt"));
  EXPECT_EQ("new", ReadFile(Right + L"\\s\\2.txt"));
  EXPECT_EQ("old", ReadFile(Right + L"\\3.txt"));
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drTime, L"3.txt")}, RemainingLines());

  // Remembered answers last one run: the new document asks again.
  Synchronise();
  User().Press(Text(MOverwrite));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("new", ReadFile(Right + L"\\3.txt"));
}

TEST_F(SynchronizeRunTest, ConfirmationsSwitchedOffInTheDialogOverwriteWithoutAsking) {
  WriteFile(Left + L"\\a.txt", "new");
  WriteFile(Right + L"\\a.txt", "old");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt")});
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("new", ReadFile(Right + L"\\a.txt"));
}

TEST_F(SynchronizeRunTest, SilentModeDefersQuestionsToASecondPass) {
  WriteFile(Left + L"\\a.txt", "new a");
  WriteFile(Right + L"\\a.txt", "old a");
  WriteFile(Left + L"\\b.txt", "b");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt"), Line(dtMissingRight, drFile, L"b.txt")});
  User().Check(Text(MSyncSilentMode)).Press(Text(MOk));
  // Asked only once b.txt, which needed no question, is done.
  User()
      .Inspect([&](THostDialog &) { EXPECT_EQ("b", ReadFile(Right + L"\\b.txt")); })
      .Press(Text(MOverwrite));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("new a", ReadFile(Right + L"\\a.txt"));
}

TEST_F(SynchronizeRunTest, WithoutSilentModeADeclinedItemIsNotAskedTwice) {
  WriteFile(Left + L"\\a.txt", "new a");
  WriteFile(Right + L"\\a.txt", "old a");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt")});
  Synchronise();
  User().Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ(1u, RemainingLines().size());
}

TEST_F(SynchronizeRunTest, OverwritingCarriesTheSourcesAttributesAndNameCase) {
  WriteFile(Left + L"\\Data.TXT", "new");
  ::SetFileAttributesW((Left + L"\\Data.TXT").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  WriteFile(Right + L"\\data.txt", "old");
  ::SetFileAttributesW((Right + L"\\data.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
  OpenDocument({Line(dtOlderRight, drTime, L"data.txt")});
  // A read-only target is asked about even with overwriting confirmed off.
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  User().Press(Text(MOverwrite));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ(std::vector<std::wstring>{L"Data.TXT"}, Names(Right));
  EXPECT_EQ("new", ReadFile(Right + L"\\Data.TXT"));
  EXPECT_EQ(Attributes(Left + L"\\Data.TXT") & 0x27, Attributes(Right + L"\\Data.TXT") & 0x27);
  EXPECT_TRUE(Attributes(Right + L"\\Data.TXT") & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(SynchronizeRunTest, DeletingReadOnlyHiddenAndSystemItems) {
  MakeDir(Left + L"\\t");
  WriteFile(Left + L"\\t\\ro.txt", "x");
  ::SetFileAttributesW((Left + L"\\t\\ro.txt").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  WriteFile(Left + L"\\h.txt", "x");
  ::SetFileAttributesW((Left + L"\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  OpenDocument({Line(dtMissingRight, drFile, L"t", true), Line(dtMissingRight, drFile, L"h.txt")});
  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  User().Press(Text(MDelete)); // the directory
  User().Press(Text(MDelete)); // its read-only file is asked about on its own
  User().Press(Text(MDelete)); // h.txt
  EXPECT_FALSE(CloseDocument());
  EXPECT_TRUE(Names(Left).empty());
}

TEST_F(SynchronizeRunTest, ACopyThatFailsLeavesTheExistingTargetAsItWas) {
  WriteFile(Left + L"\\a.txt", "new");
  WriteFile(Right + L"\\a.txt", "old target");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt")});
  // The source is held open without sharing: the copy cannot read it.
  HANDLE Lock =
      ::CreateFileW((Left + L"\\a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, Lock);
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  User().Press(Text(MRetry));
  User().Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  ::CloseHandle(Lock);
  EXPECT_EQ("old target", ReadFile(Right + L"\\a.txt"));
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, Names(Right));
  EXPECT_EQ(1u, RemainingLines().size());
  // The failure question named the source as the file that could not be opened.
  bool AskedAboutSource = false;
  for (const auto &Run : Host.Part<THostDialogs>().Runs)
    for (const auto &Row : Run.DrawingAtStart)
      if (Row.find(Text(MFailureOpenSource)) != std::wstring::npos)
        AskedAboutSource = true;
  EXPECT_TRUE(AskedAboutSource);
}

TEST_F(SynchronizeRunTest, EscDuringALargeCopyKeepsTheOldTargetAndOffersTheRest) {
  std::wstring Why;
  ConsoleReady = THostConsole::Ensure(&Why);
  if (!ConsoleReady)
    GTEST_SKIP() << HostUtf8(Why);
  THostConsole::Flush();
  TSynchronizeTask::SetCopyFileFunction(&ChunkedCopy);
  ChunksCopied = 0;
  WriteFile(Left + L"\\big.bin", std::string(8 << 20, 'B'));
  WriteFile(Right + L"\\big.bin", "old");
  WriteFile(Left + L"\\later.txt", "later");
  OpenDocument({Line(dtOlderRight, drSize, L"big.bin"), Line(dtMissingRight, drFile, L"later.txt")});
  Synchronise();
  // The user presses Esc while answering the question; the copy's first progress report sees it.
  User().Inspect([](THostDialog &) { THostConsole::PushKey(VK_ESCAPE); }).Press(Text(MOverwrite));
  Host.Script().AnswerMessage(0, Host.Msg(MAbortText));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ(0, ChunksCopied);
  EXPECT_EQ("old", ReadFile(Right + L"\\big.bin"));
  EXPECT_FALSE(Exists(Right + L"\\later.txt"));
  EXPECT_FALSE(HasTemporaryFiles(Right));
  EXPECT_EQ((std::vector<std::wstring>{Line(dtOlderRight, drSize, L"big.bin"),
                                       Line(dtMissingRight, drFile, L"later.txt")}),
            RemainingLines());
  EXPECT_GT(HostPanels().Panel(THostSide::Right).Updates, 0u);
  // The progress window named the copy.
  bool Shown = false;
  for (const auto &M : HostProgressMessages(Host))
    for (const auto &L : M.Lines)
      if (L.find(L"big.bin") != std::wstring::npos)
        Shown = true;
  EXPECT_TRUE(Shown);
}

TEST_F(SynchronizeRunTest, RefusingTheAbortLetsTheCopyFinish) {
  std::wstring Why;
  ConsoleReady = THostConsole::Ensure(&Why);
  if (!ConsoleReady)
    GTEST_SKIP() << HostUtf8(Why);
  THostConsole::Flush();
  TSynchronizeTask::SetCopyFileFunction(&ChunkedCopy);
  ChunksCopied = 0;
  WriteFile(Left + L"\\big.bin", std::string(4 << 20, 'B'));
  OpenDocument({Line(dtMissingRight, drFile, L"big.bin")});
  User().Inspect([](THostDialog &) { THostConsole::PushKey(VK_ESCAPE); }).Press(Text(MOk));
  Host.Script().AnswerMessage(1, Host.Msg(MAbortText));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ(4, ChunksCopied);
  EXPECT_EQ(size_t(4 << 20), ReadFile(Right + L"\\big.bin").size());
}

TEST_F(SynchronizeRunTest, HandEditedPathsOutsideTheTreesAreNeverActedOn) {
  WriteFile(Scratch.Path() + L"\\outside.txt", "outside");
  WriteFile(Left + L"\\ok.txt", "ok");
  const std::vector<std::wstring> Unsafe = {
      Line(dtMissingRight, drFile, L"..\\outside.txt"),      Line(dtMissingLeft, drFile, L"..\\left\\ok.txt"),
      Line(dtMissingRight, drFile, L"C:\\Windows\\win.ini"), Line(dtMissingRight, drFile, L"\\x.txt"),
      Line(dtMissingRight, drFile, L"sub/../../x.txt"),      Line(dtMissingRight, drFile, L"*.txt"),
      Line(dtMissingRight, drFile, L"a\\\\b.txt"),           Line(dtMissingRight, drFile, L".\\ok.txt"),
      Line(dtMissingRight, drFile, L"ok.txt:stream")};
  std::vector<std::wstring> Lines = Unsafe;
  Lines.push_back(Line(dtMissingRight, drFile, L"ok.txt"));
  OpenDocument(Lines);
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("outside", ReadFile(Scratch.Path() + L"\\outside.txt"));
  EXPECT_EQ("ok", ReadFile(Left + L"\\ok.txt"));
  EXPECT_EQ(std::vector<std::wstring>{L"ok.txt"}, Names(Right));
  EXPECT_FALSE(Exists(Right + L"\\..\\outside.txt") &&
               ReadFile(Scratch.Path() + L"\\outside.txt") != "outside");
  // Everything refused stays in the document, the safe line is done.
  std::vector<std::wstring> Remaining = RemainingLines();
  for (const auto &L : Unsafe) {
    TDifferenceItem Item;
    if (Item.ParseLine(L)) {
      EXPECT_NE(Remaining.end(), std::find(Remaining.begin(), Remaining.end(), L)) << HostUtf8(L);
    }
  }
  EXPECT_EQ(Remaining.end(),
            std::find(Remaining.begin(), Remaining.end(), Line(dtMissingRight, drFile, L"ok.txt")));
}

TEST_F(SynchronizeRunTest, SafePathCheck) {
  EXPECT_TRUE(TSynchronizeTask::IsSafeRelativePath(L"a.txt"));
  EXPECT_TRUE(TSynchronizeTask::IsSafeRelativePath(L"sub\\..name\\file..txt"));
  for (const wchar_t *Path : {L"", L"\\", L"..", L".", L"a\\..\\b", L"a\\.\\b", L"a\\", L"a\\\\b", L"C:x",
                              L"a/b", L"a?", L"a*", L"\\\\server\\share", L"a\tb"})
    EXPECT_FALSE(TSynchronizeTask::IsSafeRelativePath(Path)) << HostUtf8(Path);
}

TEST_F(SynchronizeRunTest, ADirectoryIsNeverCopiedIntoItself) {
  // The right root lies inside the left one: copying left\b to the right would nest it forever.
  const std::wstring Outer = Left;
  const std::wstring Inner = Left + L"\\b";
  MakeDir(Inner);
  WriteFile(Inner + L"\\file.txt", "f");
  OpenDocument({Line(dtMissingRight, drFile, L"b", true)}, Outer, Inner);
  Synchronise();
  Host.Script().AnswerMessage(0, Host.Msg(MDirectoryLoopBefore));
  ASSERT_TRUE(CloseDocument());
  EXPECT_FALSE(Exists(Inner + L"\\b"));
  EXPECT_EQ(std::vector<std::wstring>{Line(dtMissingRight, drFile, L"b", true)}, RemainingLines());
}

TEST_F(SynchronizeRunTest, AskedAboutADifferingDirectoryCopyCopiesTheTreeConfirmingEachOverwrite) {
  MakeDir(Left + L"\\d");
  MakeDir(Right + L"\\d");
  WriteFile(Left + L"\\d\\x.txt", "left x");
  WriteFile(Right + L"\\d\\x.txt", "right x");
  WriteFile(Right + L"\\d\\y.txt", "right y");
  WriteFile(Left + L"\\f.txt", "left f");
  WriteFile(Right + L"\\f.txt", "right f");
  OpenDocument({Line(dtDifferent, drContents, L"d", true), Line(dtDifferent, drContents, L"f.txt")});
  Synchronise();
  User().Press(Text(MCopyToLeftAction)); // d: from the right
  // A file inside that would replace another is confirmed as any copy to the left is.
  User().Press(Text(MSkip));              // d\x.txt
  User().Press(Text(MCopyToRightAction)); // f.txt
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("left x", ReadFile(Left + L"\\d\\x.txt"));
  EXPECT_EQ("right y", ReadFile(Left + L"\\d\\y.txt"));
  EXPECT_EQ("left f", ReadFile(Right + L"\\f.txt"));
  // The declined file comes back on its own line, going the way the directory went.
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderLeft, drContents, L"d\\x.txt")}, RemainingLines());
}

TEST_F(SynchronizeRunTest, DifferingFilesFollowTheDialogsChoice) {
  WriteFile(Left + L"\\f.txt", "left f");
  WriteFile(Right + L"\\f.txt", "right f");
  WriteFile(Left + L"\\g.txt", "left g");
  WriteFile(Right + L"\\g.txt", "right g");
  OpenDocument({Line(dtDifferent, drContents, L"f.txt"), Line(dtDifferent, drContents, L"g.txt")});
  User().Select(Text(MSyncDifferentCopyToLeft)).Clear(Text(MSyncConfirmOverwriteLeft)).Press(Text(MOk));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("right f", ReadFile(Left + L"\\f.txt"));
  EXPECT_EQ("right g", ReadFile(Left + L"\\g.txt"));

  WriteFile(Left + L"\\f.txt", "left f");
  OpenDocument({Line(dtDifferent, drContents, L"f.txt")});
  User().Select(Text(MSyncDifferentSkip)).Press(Text(MOk));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("left f", ReadFile(Left + L"\\f.txt"));
}

TEST_F(SynchronizeRunTest, FailedItemsAreCopiedOnlyAsFiles) {
  WriteFile(Right + L"\\f.txt", "right f");
  MakeDir(Right + L"\\d");
  OpenDocument({Line(dtFailedLeft, drContents, L"f.txt"), Line(dtFailedLeft, drContents, L"d", true)});
  Synchronise();
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("right f", ReadFile(Left + L"\\f.txt"));
  EXPECT_FALSE(Exists(Left + L"\\d"));
  EXPECT_EQ(std::vector<std::wstring>{Line(dtFailedLeft, drContents, L"d", true)}, RemainingLines());
}

TEST_F(SynchronizeRunTest, AMissingSourceIsReportedAndSkipped) {
  OpenDocument({Line(dtMissingRight, drFile, L"vanished.txt")});
  Synchronise();
  User()
      .Inspect([&](THostDialog &D) {
        EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text(MFailureSourceNotFound)));
      })
      .Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ(1u, RemainingLines().size());
}

TEST_F(SynchronizeRunTest, AFileInTheWayOfADirectoryIsReported) {
  MakeDir(Left + L"\\d");
  WriteFile(Left + L"\\d\\x.txt", "x");
  WriteFile(Right + L"\\d", "a file");
  OpenDocument({Line(dtOlderRight, drFile, L"d", true)});
  Synchronise();
  User().Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("a file", ReadFile(Right + L"\\d"));
}

TEST_F(SynchronizeRunTest, AnErrorInTheMiddleOfTheRunEndsItAsAnAbortDoes) {
  WriteFile(Left + L"\\a.txt", "a");
  WriteFile(Left + L"\\b.txt", "b");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt"), Line(dtMissingRight, drFile, L"b.txt")});
  TSynchronizeTask::SetCopyFileFunction(&FailingCopy);
  Synchronise();
  Host.Script().AnswerMessage(0, L"The disk went away");
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ((std::vector<std::wstring>{Line(dtMissingRight, drFile, L"a.txt"),
                                       Line(dtMissingRight, drFile, L"b.txt")}),
            RemainingLines());
  EXPECT_GT(HostPanels().Panel(THostSide::Right).Updates, 0u);
  ASSERT_FALSE(Host.Messages().empty());
  const THostMessage &Report = Host.Messages().back();
  EXPECT_EQ(FARMESSAGEFLAGS(FMSG_WARNING | FMSG_ERRORTYPE), Report.Flags);
  EXPECT_EQ(L"EStreamError", Report.Items.at(1));
  EXPECT_FALSE(HasTemporaryFiles(Right));
}

TEST_F(SynchronizeRunTest, ALinkBackIntoTheCopiedTreeIsReportedOnceAndTheRestCopied) {
  MakeDir(Left + L"\\d");
  WriteFile(Left + L"\\d\\x.txt", "x");
  if (!MakeDirectoryLink(Left + L"\\d\\loop", Left + L"\\d"))
    GTEST_SKIP() << "no directory links on this system";
  OpenDocument({Line(dtMissingRight, drFile, L"d", true)});
  Synchronise();
  Host.Script().AnswerMessage(0, Host.Msg(MDirectoryLoopAfter));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("x", ReadFile(Right + L"\\d\\x.txt"));
  EXPECT_FALSE(Exists(Right + L"\\d\\loop\\x.txt"));
}

TEST_F(SynchronizeRunTest, DeletingATreeRemovesALinkInsideItButNeverWhatItLeadsTo) {
  // What the link leads to is empty: a removal that went through the link would take it away.
  const std::wstring Kept = Scratch.Path() + L"\\kept";
  MakeDir(Kept);
  MakeDir(Left + L"\\t");
  WriteFile(Left + L"\\t\\a.txt", "a");
  if (!MakeDirectoryLink(Left + L"\\t\\link", Kept))
    GTEST_SKIP() << "no directory links on this system";
  OpenDocument({Line(dtMissingRight, drFile, L"t", true)});
  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  User().Press(Text(MDelete));
  // wine opens what one of its Unix links leads to, never the link itself: it cannot go alone.
  const bool LinkGoesAlone = !UnderWine();
  if (!LinkGoesAlone) {
    User()
        .Inspect([&](THostDialog &D) {
          EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text(MFailureLinkNotRemovable)));
        })
        .Press(Text(MSkip));
    User().Press(Text(MSkip)); // so t cannot go either
  }
  EXPECT_EQ(!LinkGoesAlone, CloseDocument());
  EXPECT_TRUE(Exists(Kept));
  EXPECT_FALSE(Exists(Left + L"\\t\\a.txt"));
  if (LinkGoesAlone)
    EXPECT_FALSE(Exists(Left + L"\\t"));
  else
    EXPECT_EQ((std::vector<std::wstring>{Line(dtMissingRight, drFile, L"t\\link", true),
                                         Line(dtMissingRight, drFile, L"t", true)}),
              RemainingLines());
}

TEST_F(SynchronizeRunTest, GloballyRememberedAnswersHoldInEveryDirectory) {
  MakeDir(Left + L"\\p");
  MakeDir(Right + L"\\p");
  MakeDir(Left + L"\\q");
  MakeDir(Right + L"\\q");
  for (const wchar_t *Name : {L"\\p\\1.txt", L"\\q\\2.txt"}) {
    WriteFile(Left + Name, "new");
    WriteFile(Right + Name, "old");
  }
  OpenDocument({Line(dtOlderRight, drTime, L"p\\1.txt"), Line(dtOlderRight, drTime, L"q\\2.txt")});
  User().Check(Text(MGlobalRemember)).Press(Text(MOk));
  User().Check(Text(MRememberGlobal)).Press(Text(MOverwrite));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("new", ReadFile(Right + L"\\p\\1.txt"));
  EXPECT_EQ("new", ReadFile(Right + L"\\q\\2.txt"));
}

TEST_F(SynchronizeRunTest, SkippingAllFailuresOfADirectorySkipsTheNextWithoutAsking) {
  MakeDir(Left + L"\\s");
  WriteFile(Left + L"\\s\\1.txt", "1");
  WriteFile(Left + L"\\s\\2.txt", "2");
  WriteFile(Left + L"\\3.txt", "3");
  OpenDocument({Line(dtMissingRight, drFile, L"s", true), Line(dtMissingRight, drFile, L"3.txt")});
  HANDLE Lock1 =
      ::CreateFileW((Left + L"\\s\\1.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE Lock2 =
      ::CreateFileW((Left + L"\\s\\2.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Synchronise();
  // The failures are remembered by the target's directory.
  User().Check(Text(MRememberForDirectory)).Press(Text(MSkip));
  // The directory was made and walked; the two files it could not copy are left to do.
  ASSERT_TRUE(CloseDocument());
  std::vector<std::wstring> Remaining = RemainingLines(); // in the order the listing gave them
  std::sort(Remaining.begin(), Remaining.end());
  EXPECT_EQ((std::vector<std::wstring>{Line(dtOlderRight, drFile, L"s\\1.txt"),
                                       Line(dtOlderRight, drFile, L"s\\2.txt")}),
            Remaining);
  ::CloseHandle(Lock1);
  ::CloseHandle(Lock2);
  EXPECT_TRUE(Exists(Right + L"\\s"));
  EXPECT_FALSE(Exists(Right + L"\\s\\1.txt"));
  EXPECT_FALSE(Exists(Right + L"\\s\\2.txt"));
  EXPECT_EQ("3", ReadFile(Right + L"\\3.txt"));
  EXPECT_FALSE(HasTemporaryFiles(Right + L"\\s"));
}
