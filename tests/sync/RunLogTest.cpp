// The record of each run: its lines for a run that copies, deletes, fails and skips, the message
// that ends the run and opens the record in FAR's viewer, the last twenty records kept, a record
// that cannot be written, and the macro command that names the newest record.

#include "RunLog.h"
#include "FarFormat.h"
#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

using namespace SyncTask;

namespace {

class RunLogTest : public TSyncRunTest {
protected:
  void SetUp() override {
    TSyncRunTest::SetUp();
    SetOption(&TVelmoraOptions::ShowRunSummary, true);
  }
  static std::wstring LogFolder() { return TRunLog::Folder(); }
  static std::vector<std::wstring> LogNames() {
    std::vector<std::wstring> Result;
    for (const std::wstring &Name : Names(LogFolder()))
      if (Name.rfind(L"Velmora3-", 0) == 0)
        Result.push_back(Name);
    return Result;
  }
  // The record's lines, without the byte order mark.
  static std::vector<std::string> LogLines(const std::wstring &Path) {
    std::string Text = ReadFile(Path);
    if (Text.rfind("\xEF\xBB\xBF", 0) == 0)
      Text.erase(0, 3);
    std::vector<std::string> Lines;
    size_t Start = 0;
    for (size_t End; (End = Text.find("\r\n", Start)) != std::string::npos; Start = End + 2)
      Lines.push_back(Text.substr(Start, End - Start));
    return Lines;
  }
  static bool HasLine(const std::vector<std::string> &Lines, const std::string &Line) {
    return std::find(Lines.begin(), Lines.end(), Line) != Lines.end();
  }
  const THostMessage *Summary() {
    for (const THostMessage &Message : Host.Messages())
      if (Message.Body().find(Host.Msg(MRunSummaryCopied).substr(0, 6)) != std::wstring::npos)
        return &Message;
    return nullptr;
  }
};

} // namespace

TEST_F(RunLogTest, TheRecordHasEveryCopyDeletionFailureAndWhatWasLeftAndTheMessageOpensIt) {
  WriteFile(Left + L"\\a.txt", "aaaa");  // new on the right
  WriteFile(Left + L"\\b.txt", "new b"); // replaces the right's
  WriteFile(Right + L"\\b.txt", "old");
  WriteFile(Right + L"\\c.txt", "c"); // deleted on the right
  WriteFile(Left + L"\\d.txt", "d1"); // differs: skipped
  WriteFile(Right + L"\\d.txt", "d22");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt"), Line(dtOlderRight, drTime, L"b.txt"),
                Line(dtMissingLeft, drFile, L"c.txt"), Line(dtDifferent, drSize, L"d.txt"),
                Line(dtOlderRight, drTime, L"gone.txt")});
  User().Check(Text(MSyncDeleteOnRight)).Select(Text(MSyncDifferentSkip)).Press(Text(MOk));
  User().Press(Text(MOverwrite));                                          // b.txt
  User().Press(Text(MDelete));                                             // c.txt
  User().Press(Text(MSkip));                                               // gone.txt is not there to copy
  Host.Script().AnswerMessage(1, Host.Msg(MRunSummaryDone).substr(0, 10)); // View log
  EXPECT_TRUE(CloseDocument());                                            // d.txt and gone.txt come back

  const std::vector<std::wstring> Logs = LogNames();
  ASSERT_EQ(1u, Logs.size());
  const std::wstring LogPath = LogFolder() + Logs[0];
  const std::vector<std::string> Lines = LogLines(LogPath);
  EXPECT_EQ("Velmora3 synchronisation run", Lines.at(0));
  EXPECT_TRUE(HasLine(Lines, "copy to right   new       right  a.txt  (4 bytes)"));
  EXPECT_TRUE(HasLine(Lines, "copy to right   replaced  right  b.txt  (5 bytes)"));
  EXPECT_TRUE(HasLine(Lines, "delete          permanent right  c.txt"));
  size_t Failures = 0;
  for (const std::string &L : Lines)
    if (L.rfind("failed          ", 0) == 0) {
      ++Failures;
      EXPECT_NE(std::string::npos, L.find("left   gone.txt")) << L;
      EXPECT_NE(std::string::npos, L.find(HostUtf8(Host.Msg(MFailureSourceNotFound)))) << L;
    }
  EXPECT_EQ(1u, Failures);
  EXPECT_TRUE(HasLine(Lines, "left undone     " + HostUtf8(Line(dtDifferent, drSize, L"d.txt"))));
  EXPECT_TRUE(HasLine(Lines, "left undone     " + HostUtf8(Line(dtOlderRight, drTime, L"gone.txt"))));
  EXPECT_TRUE(HasLine(Lines, "Copied:   2 files, 9 bytes"));
  EXPECT_TRUE(HasLine(Lines, "Deleted:  1 entries, 0 of them to the Recycle Bin"));
  EXPECT_TRUE(HasLine(Lines, "Failed:   1"));
  EXPECT_TRUE(HasLine(Lines, "Undone:   2"));
  EXPECT_EQ(0u, Lines.back().rfind("Finished: ", 0));

  // The message gave the same totals and the record's place, and "View log" opened it.
  const THostMessage *Message = Summary();
  ASSERT_NE(nullptr, Message);
  EXPECT_NE(std::wstring::npos, Message->Body().find(Format(Host.Msg(MRunSummaryCopied), {L"2", L"9"})));
  EXPECT_NE(std::wstring::npos, Message->Body().find(Format(Host.Msg(MRunSummaryFailed), {L"1", L"2"})));
  EXPECT_NE(std::wstring::npos, Message->Body().find(Logs[0]));
  ASSERT_EQ(1u, Editors().ViewerCalls().size());
  EXPECT_EQ(LogPath, Editors().ViewerCalls()[0].FileName);
  EXPECT_EQ(1, Editors().ViewerCalls()[0].Result);
  EXPECT_TRUE(Editors().ViewerCalls()[0].Flags & VF_NONMODAL);

  // The macro command names it.
  const TFarHost::TMacroResult Result = Host.CallMacro({[] {
    FarMacroValue V{};
    V.Type = FMVT_STRING;
    V.String = L"last_log";
    return V;
  }()});
  ASSERT_EQ(1u, Result.Texts.size());
  EXPECT_EQ(FMVT_STRING, Result.Types[0]);
  EXPECT_EQ(LogPath, Result.Texts[0]);
  EXPECT_TRUE(Result.CallbackCalled);
}

TEST_F(RunLogTest, OnlyTheLastTwentyRecordsAreKept) {
  ASSERT_FALSE(LogFolder().empty());
  // Twenty-five older records, named as the runs name them.
  for (int I = 0; I < 25; ++I) {
    MakeDir(Host.TempFolder() + L"\\LocalProfile\\PluginsData");
    MakeDir(LogFolder());
    wchar_t Name[64];
    swprintf(Name, 64, L"Velmora3-20260101-0000%02d-000.log", I);
    WriteFile(LogFolder() + Name, "old");
  }
  WriteFile(Left + L"\\a.txt", "a");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  Synchronise();
  Host.Script().AnswerMessage(0);
  EXPECT_FALSE(CloseDocument());
  const std::vector<std::wstring> Logs = LogNames();
  ASSERT_EQ(TRunLog::KeptRuns, Logs.size());
  // The oldest went; this run's record is among those kept.
  EXPECT_FALSE(Exists(LogFolder() + L"Velmora3-20260101-000005-000.log"));
  EXPECT_TRUE(Exists(LogFolder() + L"Velmora3-20260101-000006-000.log"));
  EXPECT_EQ(TRunLog::LastLog(), LogFolder() + Logs.back());
  EXPECT_EQ("Velmora3 synchronisation run", LogLines(TRunLog::LastLog()).at(0));
}

TEST_F(RunLogTest, ARecordThatCannotBeWrittenIsSaidAndTheRunStillDone) {
  // A file where the data folder should be: nothing can be made under it.
  MakeDir(Host.TempFolder() + L"\\LocalProfile\\PluginsData");
  const std::wstring Folder = LogFolder();
  WriteFile(Folder.substr(0, Folder.size() - 1), "in the way");
  WriteFile(Left + L"\\a.txt", "a");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  Synchronise();
  // Only OK: there is no record to view.
  Host.Script().AnswerMessage(0, Host.Msg(MRunSummaryNoLog).substr(0, 10));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("a", ReadFile(Right + L"\\a.txt"));
  const THostMessage *Message = Summary();
  ASSERT_NE(nullptr, Message);
  EXPECT_EQ(1u, Message->Buttons.size());
  EXPECT_TRUE(Editors().ViewerCalls().empty());
  // The macro command finds no record.
  FarMacroValue Word{};
  Word.Type = FMVT_STRING;
  Word.String = L"last_log";
  EXPECT_FALSE(Host.CallMacro({Word}).Truth);
}

TEST_F(RunLogTest, WithTheSummaryOffTheRecordIsStillWrittenAndNothingIsAsked) {
  SetOption(&TVelmoraOptions::ShowRunSummary, false);
  WriteFile(Left + L"\\a.txt", "a");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ(nullptr, Summary());
  ASSERT_EQ(1u, LogNames().size());
  EXPECT_TRUE(HasLine(LogLines(TRunLog::LastLog()), "Copied:   1 files, 1 bytes"));
}
