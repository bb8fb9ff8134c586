// Copies over existing files, where the run spares itself the questions and looks it need not
// ask: what it still checks must still hold.

#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

using namespace SyncTask;

namespace {

class SynchronizeReplaceTest : public TSyncRunTest {
protected:
  // The clock never moves: the progress window is drawn only when a drawing is asked for.
  static void ClockStands() {
    TFarProgress::SetTickSource([]() -> DWORD { return 1000; });
  }
  // Older right-hand copies of each name, listed as lines to copy to the right.
  std::vector<std::wstring> OlderOnTheRight(const std::vector<std::wstring> &Files) {
    std::vector<std::wstring> Lines;
    for (const auto &Name : Files) {
      WriteFile(Left + L"\\" + Name, "new " + HostUtf8(Name));
      WriteFile(Right + L"\\" + Name, "old");
      Lines.push_back(Line(dtOlderRight, drTime, Name));
    }
    return Lines;
  }
};

// A system copy during which another program takes the run's temporary file away and puts its
// own file under that name, after which the copy fails.
std::wstring TakenName, TakenTo;
BOOL WINAPI NameTakenOverThenFails(LPCWSTR, LPCWSTR Target, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD) {
  TakenName = Target;
  ::MoveFileW(Target, TakenTo.c_str());
  WriteFile(Target, "theirs");
  ::SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

} // namespace

TEST_F(SynchronizeReplaceTest, ReplacingWithoutQuestionsDrawsTheProgressWindowOnlyOnce) {
  ClockStands();
  OpenDocument(OlderOnTheRight({L"a.txt", L"b.txt", L"c.txt"}));
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("new c.txt", ReadFile(Right + L"\\c.txt"));
  // A drawing from scratch (no kept background) for every file was what an unasked question cost.
  size_t Drawn = 0;
  for (const auto &Message : HostProgressMessages(Host))
    Drawn += (Message.Flags & FMSG_KEEPBACKGROUND) == 0 ? 1 : 0;
  EXPECT_EQ(1u, Drawn);
}

TEST_F(SynchronizeReplaceTest, AnOverwriteQuestionStillComesWhereNoAnswerIsRemembered) {
  ClockStands();
  OpenDocument(OlderOnTheRight({L"a.txt", L"b.txt"}));
  Synchronise();
  User().Press(Text(MSkip));
  User().Press(Text(MOverwrite));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("old", ReadFile(Right + L"\\a.txt"));
  EXPECT_EQ("new b.txt", ReadFile(Right + L"\\b.txt"));
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drTime, L"a.txt")}, RemainingLines());
}

TEST_F(SynchronizeReplaceTest, AFileAnotherProgramPutUnderTheTemporaryNameIsNeverRemoved) {
  TSynchronizeTask::SetCopyFileFunction(&NameTakenOverThenFails);
  TakenTo = Scratch.Path() + L"\\taken.tmp";
  OpenDocument(OlderOnTheRight({L"a.txt"}));
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  User().Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  ASSERT_FALSE(TakenName.empty());
  EXPECT_EQ("theirs", ReadFile(TakenName));
  EXPECT_TRUE(Exists(TakenTo));
  EXPECT_EQ("old", ReadFile(Right + L"\\a.txt"));
}

// Several copies into one existing directory, where the run lists it once instead of reading
// back each name: wherever a name may differ in letter case the target still ends up with the
// source's.
TEST_F(SynchronizeReplaceTest, CopiesIntoAListedDirectoryGiveEachTargetTheSourcesLetterCase) {
  struct TCase {
    const wchar_t *Why;
    std::vector<std::wstring> LeftNames, RightNames, Lines;
  };
  const TCase Cases[] = {
      {L"targets under another case",
       {L"a.txt", L"b.txt", L"c.txt", L"d.txt"},
       {L"A.TXT", L"b.txt", L"C.txt", L"d.txt"},
       {L"a.txt", L"b.txt", L"c.txt", L"d.txt"}},
      {L"lines under another case than the sources",
       {L"a.txt", L"B.txt", L"c.txt", L"D.TXT"},
       {L"a.txt", L"b.txt", L"c.txt", L"d.txt"},
       {L"a.txt", L"b.txt", L"c.txt", L"d.txt"}},
      {L"both",
       {L"a.txt", L"b.TXT", L"C.txt", L"d.txt"},
       {L"a.txt", L"B.txt", L"c.TXT", L"D.TXT"},
       {L"A.txt", L"b.txt", L"c.txt", L"d.TXT"}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(HostUtf8(Case.Why));
    const std::wstring From = Left + L"\\" + Case.Why, To = Right + L"\\" + Case.Why;
    MakeDir(From);
    MakeDir(To);
    std::vector<std::wstring> Lines;
    for (size_t I = 0; I < Case.LeftNames.size(); ++I) {
      WriteFile(From + L"\\" + Case.LeftNames[I], "new");
      WriteFile(To + L"\\" + Case.RightNames[I], "old");
      Lines.push_back(Line(dtOlderRight, drTime, std::wstring(Case.Why) + L"\\" + Case.Lines[I]));
    }
    OpenDocument(Lines);
    User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
    EXPECT_FALSE(CloseDocument());
    EXPECT_EQ(Case.LeftNames, Names(To));
    for (const auto &Name : Case.LeftNames)
      EXPECT_EQ("new", ReadFile(To + L"\\" + Name));
  }
}
