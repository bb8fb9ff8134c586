// The questions of a synchronisation run: answers remembered for a directory subtree or for the
// whole run, silent mode, the confirmation dialogs as the user answers them, and the external
// compare command launched for real.

#include "SynchronizeUI.h"
#include "Confirmations.h"
#include "Options.h"
#include "QuestionTestSupport.h"
#include "VelmoraMessages.h"

#include <chrono>
#include <thread>

namespace {

using A = TRememberedAction;

TEST(RememberedActionTest, StartsAskingAndAssignCopiesEveryAnswer) {
  TRememberedAction Action(L"C:\\x");
  for (bool Left : {false, true}) {
    for (int T = 0; T < A::TargetTypeCount; ++T)
      EXPECT_EQ(Action.GetDeleteAction(Left, static_cast<A::TTargetType>(T)), A::daAsk);
    for (bool ReadOnly : {false, true})
      EXPECT_EQ(Action.GetOverwriteAction(Left, ReadOnly), A::oaAsk);
  }
  for (int R = 0; R < A::FailureReasonCount; ++R)
    EXPECT_EQ(Action.GetFailureAction(static_cast<A::TFailureReason>(R)), A::faAsk);
  EXPECT_EQ(Action.DifferentFilesAction, dfaAsk);

  // Every slot is its own: set one per index and read them all back.
  Action.SetDeleteAction(true, A::ttDirectoriesReadOnly, A::daYes);
  Action.SetDeleteAction(false, A::ttFiles, A::daNo);
  Action.SetOverwriteAction(true, false, A::oaNo);
  Action.SetOverwriteAction(false, true, A::oaYes);
  Action.SetFailureAction(A::frNotDirectory, A::faSkip);
  Action.DifferentFilesAction = dfaCopyToRight;
  EXPECT_EQ(Action.GetDeleteAction(true, A::ttDirectories), A::daAsk);
  EXPECT_EQ(Action.GetDeleteAction(false, A::ttDirectoriesReadOnly), A::daAsk);
  EXPECT_EQ(Action.GetOverwriteAction(true, true), A::oaAsk);

  TRememberedAction Copy(L"other");
  Copy.Assign(Action);
  EXPECT_EQ(Copy.GetDirectory(), L"C:\\x");
  EXPECT_EQ(Copy.GetDeleteAction(true, A::ttDirectoriesReadOnly), A::daYes);
  EXPECT_EQ(Copy.GetDeleteAction(false, A::ttFiles), A::daNo);
  EXPECT_EQ(Copy.GetOverwriteAction(true, false), A::oaNo);
  EXPECT_EQ(Copy.GetOverwriteAction(false, true), A::oaYes);
  EXPECT_EQ(Copy.GetFailureAction(A::frNotDirectory), A::faSkip);
  EXPECT_EQ(Copy.DifferentFilesAction, dfaCopyToRight);
  Copy.Assign(static_cast<const TRememberedAction *>(nullptr));
  EXPECT_EQ(Copy.GetDirectory(), L"C:\\x");
  EXPECT_EQ(A::TargetTypeOf(true, true), A::ttDirectoriesReadOnly);
  EXPECT_EQ(A::TargetTypeOf(false, true), A::ttFilesReadOnly);
}

TEST(SynchronizeUIActionsTest, OneSortedActionPerKeyRegardlessOfCase) {
  TSynchronizeUI UI;
  TRememberedAction &Upper = UI.GetAction(L"C:\\A");
  UI.GetAction(L"C:\\B");
  UI.GetAction(L"");
  UI.GetAction(L"C:\\A\\b");
  EXPECT_EQ(&UI.GetAction(L"c:\\a"), &Upper);
  ASSERT_EQ(UI.GetActionCount(), 4u);
  for (size_t I = 1; I < UI.GetActionCount(); ++I)
    EXPECT_LT(TDirectoryActionComparer::CompareKeys(UI.GetActionAt(I - 1).GetDirectory(),
                                                    UI.GetActionAt(I).GetDirectory()),
              0);
  TRememberedAction *Found = nullptr;
  EXPECT_TRUE(UI.FindAction(L"C:\\a\\B", Found));
  EXPECT_EQ(Found->GetDirectory(), L"C:\\A\\b");
  EXPECT_FALSE(UI.FindAction(L"C:\\A\\c", Found));
  UI.ClearActions();
  EXPECT_EQ(UI.GetActionCount(), 0u);
}

// The lookups, with answers put in place by the test; silent mode shows what would be asked:
// such a question is declined without a dialog.
class RememberedAnswersTest : public QuestionTest {
protected:
  void SetUp() override {
    QuestionTest::SetUp();
    UI.SetSilentMode(true);
  }
  void TearDown() override {
    EXPECT_TRUE(Dialogs().Runs.empty()) << "silent mode asked the user";
    QuestionTest::TearDown();
  }
  TSynchronizeUI UI;
};

TEST_F(RememberedAnswersTest, TheDeepestAnswerWinsAndKeysIgnoreCase) {
  std::wstring Deep = MakeFile(L"A\\b\\c\\file.txt");
  std::wstring Shallow = MakeFile(L"A\\other.txt");
  UI.GetAction(Under(L"a")).SetOverwriteAction(false, false, A::oaYes);
  UI.GetAction(Under(L"A\\B")).SetOverwriteAction(false, false, A::oaNo);
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Shallow, false)) << "yes remembered for A, in any case";
  EXPECT_FALSE(UI.ConfirmOverwrite(L"src", Deep, false)) << "no for A\\b wins over yes for A";
  EXPECT_FALSE(UI.ConfirmOverwrite(L"src", Shallow, true)) << "the other side was never answered";
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Under(L"A\\missing.txt"), false)) << "nothing to overwrite";
}

TEST_F(RememberedAnswersTest, AnOverwriteYesForReadOnlyTargetsCoversNormalOnesOnly) {
  std::wstring Normal = MakeFile(L"R\\normal.txt");
  std::wstring ReadOnly = MakeFile(L"R\\readonly.txt", "x", true);
  UI.GetAction(Under(L"R")).SetOverwriteAction(false, true, A::oaYes);
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Normal, false));
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", ReadOnly, false));

  UI.ClearActions();
  UI.GetAction(Under(L"R")).SetOverwriteAction(false, false, A::oaYes);
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Normal, false));
  EXPECT_FALSE(UI.ConfirmOverwrite(L"src", ReadOnly, false))
      << "a yes for normal targets is no yes for read-only";
}

TEST_F(RememberedAnswersTest, DeletingADirectoryCoversItsFilesButNotReadOnlyOnes) {
  std::wstring File = MakeFile(L"D\\sub\\file.txt");
  std::wstring ReadOnly = MakeFile(L"D\\sub\\locked.txt", "x", true);
  UI.GetAction(Under(L"D\\sub")).SetDeleteAction(true, A::ttDirectories, A::daYes);
  EXPECT_TRUE(UI.ConfirmDelete(File, true));
  EXPECT_FALSE(UI.ConfirmDelete(ReadOnly, true)) << "a read-only file inside is asked about";
  EXPECT_FALSE(UI.ConfirmDelete(File, false)) << "answers are per side";

  UI.GetAction(Under(L"D\\sub")).SetDeleteAction(true, A::ttDirectoriesReadOnly, A::daYes);
  EXPECT_TRUE(UI.ConfirmDelete(ReadOnly, true)) << "the directory itself was read-only";
  EXPECT_TRUE(UI.ConfirmDelete(Under(L"D\\gone.txt"), true)) << "nothing to delete";
}

TEST_F(RememberedAnswersTest, TheEverywhereKeyIsLookedAtLast) {
  std::wstring File = MakeFile(L"G\\x\\file.txt");
  UI.GetAction(L"").SetFailureAction(A::frDelete, A::faSkip);
  UI.GetAction(L"").SetFailureAction(A::frMakeDirectory, A::faRetry);
  UI.GetAction(Under(L"G")).SetFailureAction(A::frMakeDirectory, A::faSkip);
  EXPECT_FALSE(UI.AskDeleteFailure(MFailureDeleteFile, File));
  EXPECT_FALSE(UI.AskMakeDirectoryFailure(MFailureMakeDirectory, File)) << "G's skip is deeper";
  EXPECT_TRUE(UI.AskMakeDirectoryFailure(MFailureMakeDirectory, L"Z:\\elsewhere\\dir"));
  // A copy failure is remembered for the target's directory.
  UI.GetAction(Under(L"G\\x")).SetFailureAction(A::frCopy, A::faRetry);
  EXPECT_TRUE(UI.AskCopyFailure(MFailureCopy, MFailureCopyTarget, L"Z:\\src\\file.txt", File));
  EXPECT_FALSE(UI.AskCopyFailure(MFailureCopy, MFailureCopyTarget, File, L"Z:\\src\\file.txt"));
}

TEST_F(RememberedAnswersTest, DifferingFilesAreKeyedByRelativeDirectory) {
  MakeFile(L"L\\sub\\deep\\f.txt");
  MakeFile(L"R\\sub\\deep\\f.txt");
  MakeFile(L"L\\top.txt");
  MakeFile(L"R\\top.txt");
  const std::wstring Left = Under(L"L\\"), Right = Under(L"R\\");
  UI.GetAction(L"***\\sub").DifferentFilesAction = dfaCopyToLeft;
  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"sub\\deep\\f.txt"), 1);
  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"top.txt"), 0) << "silent: skipped";
  UI.GetAction(L"***\\").DifferentFilesAction = dfaCopyToRight;
  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"top.txt"), 2);
  UI.GetAction(L"***\\sub\\deep").DifferentFilesAction = dfaSkip;
  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"sub\\deep\\f.txt"), 0);
  // An absolute key of the same name is another question's.
  UI.ClearActions();
  UI.GetAction(L"sub").DifferentFilesAction = dfaCopyToLeft;
  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"sub\\deep\\f.txt"), 0);
}

TEST_F(RememberedAnswersTest, SilentModeDeclinesEveryQuestion) {
  std::wstring File = MakeFile(L"S\\file.txt");
  MakeFile(L"S2\\file.txt");
  EXPECT_FALSE(UI.ConfirmDelete(File, true));
  EXPECT_FALSE(UI.ConfirmOverwrite(L"src", File, false));
  EXPECT_FALSE(UI.AskNotFound(139, File));
  EXPECT_FALSE(UI.AskNotDirectory(140, File));
  EXPECT_EQ(UI.AskDifferentFiles(Under(L"S\\"), Under(L"S2\\"), L"file.txt"), 0);
  EXPECT_EQ(UI.GetActionCount(), 0u) << "declining remembers nothing";
}

// ---- Asking through the dialogs ----

class QuestionDialogTest : public QuestionTest {
protected:
  std::wstring Text(int Message) { return HostStripHotKey(Host.Msg(Message)); }
  TSynchronizeUI UI;
};

TEST_F(QuestionDialogTest, OverwriteForAllIsRememberedForTheEditedDirectory) {
  std::wstring Target = MakeFile(L"T\\a\\b\\file.txt");
  std::wstring Sibling = MakeFile(L"T\\a\\c\\file.txt");
  std::wstring Inner = MakeFile(L"T\\a\\b\\d\\file.txt");
  // The user widens the scope from T\a\b to T\a (with a trailing backslash).
  User().Check(Text(MRememberForDirectory)).Type(8, Under(L"T\\a\\")).Press(Text(MOverwrite));
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Target, true));
  ASSERT_EQ(Dialogs().Runs.size(), 1u);
  TRememberedAction *Action = nullptr;
  ASSERT_TRUE(UI.FindAction(Under(L"T\\a"), Action));
  EXPECT_EQ(Action->GetOverwriteAction(true, false), A::oaYes);
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Sibling, true));
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Inner, true));
  EXPECT_EQ(Dialogs().Runs.size(), 1u) << "no further question under T\\a";
}

TEST_F(QuestionDialogTest, AnswersWithoutRememberAskAgain) {
  std::wstring Target = MakeFile(L"N\\file.txt");
  User().Press(Text(MSkip));
  User().Press(Text(MOverwrite));
  EXPECT_FALSE(UI.ConfirmOverwrite(L"src", Target, false));
  EXPECT_TRUE(UI.ConfirmOverwrite(L"src", Target, false));
  EXPECT_EQ(Dialogs().Runs.size(), 2u);
  EXPECT_EQ(UI.GetActionCount(), 0u);
}

TEST_F(QuestionDialogTest, GlobalRememberAppliesTheAnswerEverywhere) {
  std::wstring First = MakeFile(L"F1\\x\\a.txt");
  std::wstring Second = MakeFile(L"F2\\y\\b.txt");
  UI.SetGlobalRemember(true);
  User().Check(Text(MRememberGlobal)).Press(Text(MSkip));
  EXPECT_FALSE(UI.AskDeleteFailure(MFailureDeleteFile, First));
  EXPECT_FALSE(UI.AskDeleteFailure(MFailureDeleteFile, Second)) << "skipped without a question";
  EXPECT_EQ(Dialogs().Runs.size(), 1u);
  TRememberedAction *Everywhere = nullptr;
  ASSERT_TRUE(UI.FindAction(L"", Everywhere));
  EXPECT_EQ(Everywhere->GetFailureAction(A::frDelete), A::faSkip);
}

TEST_F(QuestionDialogTest, DeletingADirectoryRemembersTheAnswerForItsContents) {
  std::wstring Directory = MakeDirectory(L"Del\\dir");
  std::wstring Inside = MakeFile(L"Del\\dir\\file.txt");
  User().Press(Text(MDelete));
  EXPECT_TRUE(UI.ConfirmDelete(Directory, false));
  EXPECT_TRUE(UI.ConfirmDelete(Inside, false)) << "covered by the answer for the directory";
  EXPECT_EQ(Dialogs().Runs.size(), 1u);

  std::wstring Kept = MakeDirectory(L"Del\\kept");
  std::wstring KeptInside = MakeFile(L"Del\\kept\\file.txt");
  User().Press(Text(MSkip));
  EXPECT_FALSE(UI.ConfirmDelete(Kept, false));
  EXPECT_FALSE(UI.ConfirmDelete(KeptInside, false));
  EXPECT_EQ(Dialogs().Runs.size(), 2u);
}

TEST_F(QuestionDialogTest, RetryIsNeverRememberedAndCancelAborts) {
  std::wstring File = MakeFile(L"Ret\\file.txt");
  User().Check(Text(MRememberForDirectory)).Press(Text(MRetry));
  EXPECT_TRUE(UI.AskNotFound(139, File));
  EXPECT_EQ(UI.GetActionCount(), 0u);
  User().Escape();
  EXPECT_THROW(UI.AskNotFound(139, File), EAbort);
  User().Escape();
  EXPECT_THROW(UI.ConfirmOverwrite(L"src", File, false), EAbort);
  User().Escape();
  EXPECT_THROW(UI.ConfirmDelete(File, false), EAbort);
}

TEST_F(QuestionDialogTest, DifferingFilesRememberedForTheRelativeDirectory) {
  MakeFile(L"L\\sub\\one.txt", "left");
  MakeFile(L"R\\sub\\one.txt", "right!");
  MakeFile(L"L\\sub\\two.txt");
  MakeFile(L"R\\sub\\two.txt");
  const std::wstring Left = Under(L"L\\"), Right = Under(L"R\\");
  User().Check(Text(MRememberForDirectory)).Press(Text(MCopyToRightAction));
  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"sub\\one.txt"), 2);
  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"sub\\two.txt"), 2);
  EXPECT_EQ(Dialogs().Runs.size(), 1u);
  TRememberedAction *Action = nullptr;
  ASSERT_TRUE(UI.FindAction(L"***\\sub", Action));
  EXPECT_EQ(Action->DifferentFilesAction, dfaCopyToRight);

  EXPECT_EQ(UI.AskDifferentFiles(Left, Right, L"sub\\gone.txt"), 0) << "no question for a missing file";
  EXPECT_EQ(Dialogs().Runs.size(), 1u);
}

// ---- The external compare command ----

TEST(CompareArgumentsTest, PlaceholdersInAnyCaseAndQuotesDoubled) {
  EXPECT_EQ(FormatCompareArguments(L"${LEFTFILE} ${RIGHTFILE}", L"C:\\a b", L"D:\\c"),
            L"\"C:\\a b\" \"D:\\c\"");
  EXPECT_EQ(FormatCompareArguments(L"/l ${leftfile} /r ${RightFile} ${LEFTFILE}", L"x", L"y"),
            L"/l \"x\" /r \"y\" \"x\"");
  EXPECT_EQ(FormatCompareArguments(L"${LEFTFILE}", L"C:\\say \"hi\".txt", L""),
            L"\"C:\\say \"\"hi\"\".txt\"");
  EXPECT_EQ(FormatCompareArguments(L"-no placeholders ${LEFT}", L"x", L"y"), L"-no placeholders ${LEFT}");
}

TEST(CompareArgumentsTest, AFileNameHoldingAPlaceholderIsNotSubstitutedAgain) {
  EXPECT_EQ(FormatCompareArguments(L"${LEFTFILE} ${RIGHTFILE}", L"C:\\${RIGHTFILE}.txt", L"D:\\r.txt"),
            L"\"C:\\${RIGHTFILE}.txt\" \"D:\\r.txt\"");
  EXPECT_EQ(FormatCompareArguments(L"${RIGHTFILE}|${LEFTFILE}", L"l", L"${LEFTFILE}"),
            L"\"${LEFTFILE}\"|\"l\"");
}

class CompareCommandTest : public QuestionTest {
protected:
  void SetUp() override {
    QuestionTest::SetUp();
    Record = Host.TempFolder() + L"\\args.txt";
    SetEnvironmentVariableW(L"VELMORA_RECORD_ARGS_FILE", Record.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"VELMORA_RECORD_ARGS_FILE", nullptr);
    QuestionTest::TearDown();
  }
  void Configure(const std::wstring &Command, const std::wstring &Arguments, bool AcceptsNT = false) {
    TVelmoraOptions Options;
    Options.Load();
    Options.CompareCommand = Command;
    Options.CompareCommandArguments = Arguments;
    Options.CompareCommandAcceptsNTFileNames = AcceptsNT;
    Options.Save();
  }
  static std::wstring RecordArgsProgram() { return TFarHost::ProgramFolder() + L"\\RecordArgs.exe"; }
  // The command line the stand-in recorded; empty when it did not run within a few seconds.
  std::wstring Recorded() {
    for (int I = 0; I < 200; ++I) {
      std::ifstream In(std::filesystem::path(Record), std::ios::binary);
      if (In) {
        std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        int N = MultiByteToWideChar(CP_UTF8, 0, Bytes.data(), static_cast<int>(Bytes.size()), nullptr, 0);
        std::wstring Text(N, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, Bytes.data(), static_cast<int>(Bytes.size()), Text.data(), N);
        return Text;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::wstring();
  }
  std::wstring Record;
};

TEST_F(CompareCommandTest, StartsTheProgramWithBothFilesQuotedInDisplayForm) {
  std::wstring Left = MakeFile(L"left side.txt");
  std::wstring Right = MakeFile(L"right.txt");
  Configure(RecordArgsProgram(), L"-l ${LEFTFILE} -r ${RIGHTFILE}");
  RunCompareCommand(L"\\\\?\\" + Left, L"\\\\?\\" + Right);
  EXPECT_EQ(Recorded(), L"-l \"" + Left + L"\" -r \"" + Right + L"\"");
}

TEST_F(CompareCommandTest, LongNamesAreKeptWhenTheProgramAcceptsThem) {
  std::wstring Left = MakeFile(L"a.txt");
  std::wstring Right = MakeFile(L"b.txt");
  Configure(RecordArgsProgram(), L"${LEFTFILE} ${RIGHTFILE}", true);
  RunCompareCommand(L"\\\\?\\" + Left, Right);
  EXPECT_EQ(Recorded(), L"\"\\\\?\\" + Left + L"\" \"" + Right + L"\"");
}

TEST_F(CompareCommandTest, NoArgumentsGivesTheWarningInsteadOfAStart) {
  Configure(RecordArgsProgram(), L"");
  Host.Script().AnswerMessage(0, Host.Msg(MNoCompareCommandText));
  RunCompareCommand(L"C:\\a", L"C:\\b");
  ASSERT_EQ(Host.Messages().size(), 1u);
  EXPECT_EQ(Host.Messages()[0].Title(), Host.Msg(MNoCompareCommandTitle));
  EXPECT_TRUE(Host.Messages()[0].Flags & FMSG_WARNING);
  EXPECT_EQ(GetFileAttributesW(Record.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CompareCommandTest, TheCompareButtonComparesLeftFileFirstAndKeepsTheQuestionOpen) {
  std::wstring Source = MakeFile(L"right\\f.txt", "new");
  std::wstring Target = MakeFile(L"left\\f.txt", "old");
  Configure(RecordArgsProgram(), L"${LEFTFILE} ${RIGHTFILE}");
  TSynchronizeUI UI;
  // The existing file is on the left: it is the left file of the comparison.
  User().Press(HostStripHotKey(Host.Msg(MCompare))).Press(HostStripHotKey(Host.Msg(MSkip)));
  EXPECT_FALSE(UI.ConfirmOverwrite(Source, Target, true));
  EXPECT_EQ(Recorded(), L"\"" + Target + L"\" \"" + Source + L"\"");
  EXPECT_EQ(Dialogs().Runs.size(), 1u);
}

} // namespace
