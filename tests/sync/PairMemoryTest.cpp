// Remembered pairs over two or three runs of the same pair of real folders: deletions told from
// creations, changes on both sides asked about, the state file kept in step, and the per-line
// deletion markers.

#include "PairState.h"
#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

using namespace SyncTask;

namespace {

constexpr int64_t Noon = 133000000000000000LL; // a fixed modification time
constexpr int64_t Second = 10000000LL;

class PairMemoryTest : public TSyncRunTest {
protected:
  void TearDown() override {
    TSynchronizeTask::SetRecycleBinProbe(nullptr);
    TSyncRunTest::TearDown();
  }
  // The comparison from the plug-ins menu with "Remember this pair" as given; the document it
  // opened, or null when nothing differed (the message saying so is answered).
  // Forget: the answer to the question whether to forget the pair (-1: none expected).
  THostEditorWindow *Compare(bool Remember = true, bool ExpectDifferences = true, int Forget = -1) {
    // The panels show the folders as they are now.
    HostPanels().SetFolder(THostSide::Left, Left);
    HostPanels().SetFolder(THostSide::Right, Right);
    User().SetState(Text(MDiscoverRememberPair), Remember ? 1 : 0).Press(Text(MOk));
    if (Forget >= 0)
      Host.Script().AnswerMessage(Forget, Host.Msg(MForgetPairQuestion));
    if (!ExpectDifferences)
      Host.Script().AnswerMessage(0, Host.Msg(MNoDifferencesText));
    const size_t Before = Editors().OpenCount();
    Host.OpenFromPluginsMenu();
    return Editors().OpenCount() > Before ? Editors().Current() : nullptr;
  }
  // The document's line of that path, or "" when it has none.
  static std::wstring LineOf(const THostEditorWindow &W, const std::wstring &Path) {
    for (const auto &L : DifferenceLines(W))
      if (L.size() > Path.size() &&
          L.compare(L.size() - Path.size() - 1, std::wstring::npos, L"\t" + Path) == 0)
        return L;
    return {};
  }
  // The synchronise dialog counts the one deletion on the left; it is confirmed, and the document
  // closes with nothing left.
  void SynchroniseDeletingOneOnTheLeft() {
    User()
        .Inspect([&](THostDialog &D) {
          EXPECT_NE(std::wstring::npos, D.DrawnText().find(L"Delete: entries on the left 1, on the right 0"));
        })
        .Press(Text(MOk));
    User().Press(Text(MDelete));
    EXPECT_FALSE(CloseDocument());
  }
  static std::wstring Marker(const std::wstring &Line) { return Line.substr(0, 5); }
  void Write(const std::wstring &Path, const std::string &Bytes, int64_t Time = Noon) {
    WriteFile(Path, Bytes);
    ASSERT_TRUE(SetWriteTime(Path, Time));
  }
  TPairState LoadedState(TPairState::TStatus Expected = TPairState::psLoaded) {
    TPairState State(Left, Right);
    EXPECT_EQ(Expected, State.Load());
    return State;
  }
};

TEST_F(PairMemoryTest, AFileDeletedOnTheRightIsDeletedOnTheLeftOnTheNextRun) {
  Write(Left + L"\\a.txt", "a");
  Write(Right + L"\\a.txt", "a");
  Write(Left + L"\\b.txt", "b");
  THostEditorWindow *First = Compare();
  ASSERT_NE(nullptr, First);
  EXPECT_EQ(L"==>>F", Marker(LineOf(*First, L"b.txt")));
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  ASSERT_TRUE(Exists(Right + L"\\b.txt"));
  EXPECT_NE(nullptr, LoadedState().Find(L"b.txt"));

  DeleteFileW((Right + L"\\b.txt").c_str());
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  EXPECT_EQ(L"<DELD", Marker(LineOf(*Second, L"b.txt")));
  SynchroniseDeletingOneOnTheLeft();
  EXPECT_FALSE(Exists(Left + L"\\b.txt"));
  EXPECT_TRUE(Exists(Left + L"\\a.txt"));

  EXPECT_EQ(nullptr, Compare(true, false));
  TPairState State = LoadedState();
  EXPECT_EQ(nullptr, State.Find(L"b.txt"));
  EXPECT_NE(nullptr, State.Find(L"a.txt"));
}

TEST_F(PairMemoryTest, AFileChangedOnBothSidesIsAskedAboutNotOverwritten) {
  Write(Left + L"\\c.txt", "same");
  Write(Right + L"\\c.txt", "same");
  EXPECT_EQ(nullptr, Compare(true, false)); // nothing differs: the state is recorded at once
  EXPECT_NE(nullptr, LoadedState().Find(L"c.txt"));

  Write(Left + L"\\c.txt", "left edit", Noon + 10 * Second);
  Write(Right + L"\\c.txt", "the right edit", Noon + 20 * Second);
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  EXPECT_EQ(L"<-->X", Marker(LineOf(*Second, L"c.txt")));
  Synchronise();
  User()
      .Inspect([&](THostDialog &D) {
        EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text(MDifferentFilesQuestion)));
      })
      .Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument()); // the conflict comes back
  EXPECT_EQ(L"<-->X", Marker(LineOf(Window(), L"c.txt")));
  EXPECT_EQ("left edit", ReadFile(Left + L"\\c.txt"));
  EXPECT_EQ("the right edit", ReadFile(Right + L"\\c.txt"));
  User().Press(Text(MCancel));
  CloseDocument();
}

TEST_F(PairMemoryTest, AFileChangedOnOneSideAndDeletedOnTheOtherIsCopiedBack) {
  Write(Left + L"\\d.txt", "d");
  Write(Right + L"\\d.txt", "d");
  EXPECT_EQ(nullptr, Compare(true, false));

  Write(Left + L"\\d.txt", "d, with the work of a day", Noon + 60 * Second);
  DeleteFileW((Right + L"\\d.txt").c_str());
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  EXPECT_EQ(L"==>>X", Marker(LineOf(*Second, L"d.txt")));
  // Even with deletion on the left ticked, a conflict is no deletion.
  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("d, with the work of a day", ReadFile(Left + L"\\d.txt"));
  EXPECT_EQ("d, with the work of a day", ReadFile(Right + L"\\d.txt"));
}

TEST_F(PairMemoryTest, AnOlderRestoredFileWinsOverTheUnchangedSide) {
  Write(Left + L"\\e.txt", "current");
  Write(Right + L"\\e.txt", "current");
  EXPECT_EQ(nullptr, Compare(true, false));

  Write(Left + L"\\e.txt", "restored", Noon - 86400 * Second);
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  EXPECT_EQ(L"--->", Marker(LineOf(*Second, L"e.txt")).substr(0, 4));
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("restored", ReadFile(Right + L"\\e.txt"));
  EXPECT_EQ(nullptr, Compare(true, false));
}

TEST_F(PairMemoryTest, ADamagedStateFileIsReportedAndIgnored) {
  Write(Left + L"\\f.txt", "f");
  Write(Right + L"\\f.txt", "f");
  Write(Left + L"\\g.txt", "g");
  ASSERT_NE(nullptr, Compare());
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  const std::wstring StateFile = TPairState(Left, Right).GetFileName();
  std::string Bytes = ReadFile(StateFile);
  ASSERT_GT(Bytes.size(), 40u);
  Bytes[Bytes.size() / 2] ^= 0x5A;
  WriteFile(StateFile, Bytes);
  LoadedState(TPairState::psDamaged);

  DeleteFileW((Right + L"\\g.txt").c_str());
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  const std::wstring Said = Format(Host.Msg(MDocumentMemoryDamaged), {StateFile});
  EXPECT_NE(Second->Lines().end(), std::find(Second->Lines().begin(), Second->Lines().end(), Said));
  // Judged as the first time: copied, not deleted.
  EXPECT_EQ(L"==>>F", Marker(LineOf(*Second, L"g.txt")));
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  EXPECT_TRUE(Exists(Left + L"\\g.txt"));
  EXPECT_TRUE(Exists(Right + L"\\g.txt"));
  EXPECT_NE(nullptr, LoadedState().Find(L"g.txt"));
}

TEST_F(PairMemoryTest, TheMasksLeaveTheStateOfWhatTheyExcludeAlone) {
  Write(Left + L"\\h.txt", "h");
  Write(Right + L"\\h.txt", "h");
  Write(Left + L"\\i.tmp", "i");
  Write(Right + L"\\i.tmp", "i");
  EXPECT_EQ(nullptr, Compare(true, false));

  DeleteFileW((Right + L"\\h.txt").c_str());
  DeleteFileW((Right + L"\\i.tmp").c_str());
  {
    TVelmoraOptions Options;
    Options.Load();
    Options.ExcludeMasks = L"*.tmp";
    Options.Save();
  }
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  EXPECT_EQ(L"<DELD", Marker(LineOf(*Second, L"h.txt")));
  EXPECT_EQ(L"", LineOf(*Second, L"i.tmp"));
  Synchronise();
  User().Press(Text(MDelete));
  EXPECT_FALSE(CloseDocument());
  EXPECT_FALSE(Exists(Left + L"\\h.txt"));
  EXPECT_TRUE(Exists(Left + L"\\i.tmp"));
  TPairState State = LoadedState();
  EXPECT_EQ(nullptr, State.Find(L"h.txt"));
  EXPECT_NE(nullptr, State.Find(L"i.tmp"));
}

TEST_F(PairMemoryTest, AnUndoneEntryKeepsItsRecordAndComesBack) {
  MakeDir(Left + L"\\sub");
  MakeDir(Right + L"\\sub");
  Write(Left + L"\\sub\\j.txt", "j");
  Write(Right + L"\\sub\\j.txt", "j");
  SetOption(&TVelmoraOptions::ProcessSubfolders, true);
  EXPECT_EQ(nullptr, Compare(true, false));
  EXPECT_NE(nullptr, LoadedState().Find(L"sub\\j.txt"));

  DeleteFileW((Right + L"\\sub\\j.txt").c_str());
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  EXPECT_EQ(L"<DELD", Marker(LineOf(*Second, L"sub\\j.txt")));
  Synchronise();
  User().Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ(L"<DELD", Marker(LineOf(Window(), L"sub\\j.txt")));
  EXPECT_TRUE(Exists(Left + L"\\sub\\j.txt"));
  EXPECT_NE(nullptr, LoadedState().Find(L"sub\\j.txt"));
  User().Press(Text(MCancel));
  CloseDocument();

  // The third run finds the same: the record was kept.
  THostEditorWindow *Third = Compare();
  ASSERT_NE(nullptr, Third);
  EXPECT_EQ(L"<DELD", Marker(LineOf(*Third, L"sub\\j.txt")));
  User().Press(Text(MCancel));
  CloseDocument();
}

TEST_F(PairMemoryTest, ADirectoryIsDeletedOnlyWhenNothingInsideItChangedOrWasAdded) {
  SetOption(&TVelmoraOptions::ProcessSubfolders, true);
  for (const wchar_t *Dir : {L"\\quiet", L"\\busy"}) {
    MakeDir(Left + Dir);
    MakeDir(Right + Dir);
    Write(Left + Dir + L"\\k.txt", "k");
    Write(Right + Dir + L"\\k.txt", "k");
  }
  EXPECT_EQ(nullptr, Compare(true, false));

  TScratchFolder::RemoveTree(Right + L"\\quiet");
  TScratchFolder::RemoveTree(Right + L"\\busy");
  Write(Left + L"\\busy\\new.txt", "added since");
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  // One line for the quiet directory; the busy one's entries each on their own.
  EXPECT_EQ((std::vector<std::wstring>{L"<DELD\tbusy\\k.txt", L"==>>F\tbusy\\new.txt", L"<DELD\tquiet\\*"}),
            DifferenceLines(*Second));
  Synchronise();
  for (int Deletion = 0; Deletion < 2; ++Deletion)
    User().Press(Text(MDelete));
  EXPECT_FALSE(CloseDocument());
  EXPECT_FALSE(Exists(Left + L"\\quiet"));
  EXPECT_FALSE(Exists(Left + L"\\busy\\k.txt"));
  EXPECT_EQ("added since", ReadFile(Left + L"\\busy\\new.txt"));
  EXPECT_EQ("added since", ReadFile(Right + L"\\busy\\new.txt"));
  EXPECT_EQ(nullptr, Compare(true, false));
}

TEST_F(PairMemoryTest, AFileChangedInADirectoryDeletedOnTheOtherSideComesBackWithItsDirectory) {
  SetOption(&TVelmoraOptions::ProcessSubfolders, true);
  for (const std::wstring &Side : {Left, Right}) {
    MakeDir(Side + L"\\work");
    MakeDir(Side + L"\\work\\kept");
    MakeDir(Side + L"\\work\\quiet");
    Write(Side + L"\\work\\a.txt", "a");
    Write(Side + L"\\work\\b.txt", "b");
    Write(Side + L"\\work\\kept\\c.txt", "c");
    Write(Side + L"\\work\\kept\\d.txt", "d");
    Write(Side + L"\\work\\quiet\\e.txt", "e");
  }
  EXPECT_EQ(nullptr, Compare(true, false));

  TScratchFolder::RemoveTree(Right + L"\\work");
  Write(Left + L"\\work\\kept\\c.txt", "c, with the work of a day", Noon + 60 * Second);
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  EXPECT_EQ(
      (std::vector<std::wstring>{L"<DELD\twork\\a.txt", L"<DELD\twork\\b.txt", L"==>>X\twork\\kept\\c.txt",
                                 L"<DELD\twork\\kept\\d.txt", L"<DELD\twork\\quiet\\*"}),
      DifferenceLines(*Second));
  Synchronise();
  for (int Deletion = 0; Deletion < 4; ++Deletion)
    User().Press(Text(MDelete));
  EXPECT_FALSE(CloseDocument());
  // The change is on both sides, in the directory made again for it; nothing else is left.
  EXPECT_EQ("c, with the work of a day", ReadFile(Left + L"\\work\\kept\\c.txt"));
  EXPECT_EQ("c, with the work of a day", ReadFile(Right + L"\\work\\kept\\c.txt"));
  EXPECT_EQ(std::vector<std::wstring>{L"kept"}, Names(Left + L"\\work"));
  EXPECT_EQ(std::vector<std::wstring>{L"c.txt"}, Names(Left + L"\\work\\kept"));
  // The third run finds the pair equal.
  EXPECT_EQ(nullptr, Compare(true, false));
}

TEST_F(PairMemoryTest, LinesKeepTheWalksOrderAndTheTopLevelSelectionFollowsTheJudgement) {
  SetOption(&TVelmoraOptions::ProcessSubfolders, true);
  // Enough records that reading them may well outlast the first lines of the walk.
  for (const std::wstring &Side : {Left, Right}) {
    for (int Dir = 0; Dir < 10; ++Dir) {
      const std::wstring Folder = Side + L"\\d" + std::to_wstring(Dir);
      MakeDir(Folder);
      for (int File = 0; File < 50; ++File)
        Write(Folder + L"\\f" + std::to_wstring(File) + L".txt", "same");
    }
    Write(Side + L"\\e.txt", "current");
  }
  EXPECT_EQ(nullptr, Compare(true, false));

  Write(Left + L"\\a.txt", "new");
  DeleteFileW((Right + L"\\d3\\f7.txt").c_str());
  Write(Left + L"\\e.txt", "restored", Noon - 86400 * Second);
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  const std::vector<std::wstring> Lines = DifferenceLines(*Second);
  ASSERT_EQ(3u, Lines.size());
  EXPECT_EQ(L"==>>F\ta.txt", Lines[0]);
  EXPECT_EQ(L"<DELD\td3\\f7.txt", Lines[1]);
  EXPECT_EQ(L"--->", Lines[2].substr(0, 4));
  EXPECT_EQ(L"\te.txt", Lines[2].substr(5));
  // The restored copy on the left is the one to keep: it is selected, the newer one is not.
  const std::vector<std::wstring> OnLeft = HostPanels().SelectedNames(THostSide::Left);
  const std::vector<std::wstring> OnRight = HostPanels().SelectedNames(THostSide::Right);
  EXPECT_NE(OnLeft.end(), std::find(OnLeft.begin(), OnLeft.end(), L"e.txt"));
  EXPECT_EQ(OnRight.end(), std::find(OnRight.begin(), OnRight.end(), L"e.txt"));
  User().Press(Text(MCancel));
  CloseDocument();
}

TEST_F(PairMemoryTest, DeletionMarkersAreSetByHandAndWithoutMemoryTheDocumentStaysAsItWas) {
  Write(Left + L"\\only-left.txt", "l");
  Write(Right + L"\\only-right.txt", "r");
  THostEditorWindow *W = Compare(false);
  ASSERT_NE(nullptr, W);
  // No memory: the header is the one without it, and no state is kept.
  EXPECT_EQ(L"==>>F\tonly-left.txt", W->Line(HeaderLines));
  EXPECT_FALSE(TPairState(Left, Right).FileExists());
  for (const auto &L : W->Lines())
    EXPECT_EQ(std::wstring::npos, L.find(L"<DEL")) << HostUtf8(L);

  const intptr_t LeftLine = HeaderLines, RightLine = HeaderLines + 1;
  // The entry is not on the right: nothing to delete there.
  W->MoveCursor(LeftLine, 0);
  EXPECT_FALSE(W->PressKey(VK_F10, LEFT_CTRL_PRESSED));
  EXPECT_TRUE(W->PressKey(VK_F9, LEFT_CTRL_PRESSED));
  EXPECT_EQ(L"<DEL\tonly-left.txt", W->Line(LeftLine));
  // The command menu's last item, and back to a copy with Alt+F1.
  W->MoveCursor(RightLine, 0);
  Host.Script().PickMenuItem(11);
  Host.OpenFromEditor();
  EXPECT_EQ(L"DEL>\tonly-right.txt", W->Line(RightLine));
  EXPECT_TRUE(W->PressKey(VK_F1, LEFT_ALT_PRESSED));
  EXPECT_EQ(L"<---\tonly-right.txt", W->Line(RightLine));
  ASSERT_TRUE(W->Save());

  SynchroniseDeletingOneOnTheLeft();
  EXPECT_FALSE(Exists(Left + L"\\only-left.txt"));
  EXPECT_EQ("r", ReadFile(Left + L"\\only-right.txt"));
  EXPECT_FALSE(TPairState(Left, Right).FileExists());
}

TEST_F(PairMemoryTest, TheHeaderSaysWhenThePairWasLastSynchronisedAndListsTheMarkers) {
  Write(Left + L"\\m.txt", "m");
  THostEditorWindow *First = Compare();
  ASSERT_NE(nullptr, First);
  const auto &Lines = First->Lines();
  EXPECT_NE(Lines.end(), std::find(Lines.begin(), Lines.end(), Host.Msg(MDocumentMemoryFirst)));
  EXPECT_NE(Lines.end(), std::find(Lines.begin(), Lines.end(), Host.Msg(MDocumentMemoryLegend1)));
  Synchronise();
  EXPECT_FALSE(CloseDocument());

  Write(Right + L"\\n.txt", "n");
  THostEditorWindow *Second = Compare();
  ASSERT_NE(nullptr, Second);
  const std::wstring Prefix =
      Host.Msg(MDocumentMemoryLast).substr(0, Host.Msg(MDocumentMemoryLast).find(L'%'));
  EXPECT_TRUE(std::any_of(Second->Lines().begin(), Second->Lines().end(),
                          [&](const std::wstring &L) { return L.rfind(Prefix, 0) == 0; }));
  User().Press(Text(MCancel));
  CloseDocument();
}

TEST_F(PairMemoryTest, UntickingRememberOffersToForgetThePair) {
  Write(Left + L"\\o.txt", "o");
  Write(Right + L"\\o.txt", "o");
  EXPECT_EQ(nullptr, Compare(true, false));
  ASSERT_TRUE(TPairState(Left, Right).FileExists());
  // Kept when the user says so, forgotten when asked to.
  EXPECT_EQ(nullptr, Compare(false, false, 1));
  EXPECT_TRUE(TPairState(Left, Right).FileExists());
  EXPECT_EQ(nullptr, Compare(false, false, 0));
  EXPECT_FALSE(TPairState(Left, Right).FileExists());
}

TEST_F(PairMemoryTest, PerLineDeletionsMeetTheMassDeletionWarningAndTheRecycleBin) {
  SetOption(&TVelmoraOptions::ConfirmMassDeletion, true);
  SetOption(&TVelmoraOptions::DeleteToRecycleBin, true);
  TSynchronizeTask::SetRecycleBinProbe([](const std::wstring &) { return false; });
  WriteFile(Left + L"\\a.txt", "a");
  WriteFile(Left + L"\\b.txt", "b");
  WriteFile(Right + L"\\b.txt", "b");
  OpenDocument({Line(dtDeleteLeft, drDeleted, L"a.txt"), Line(dtDeleteLeft, drNone, L"b.txt")});
  Synchronise();
  Host.Script().AnswerMessage(0, L"The run will delete 2 of 2 files and directories on the left");
  // No Recycle Bin on that volume: the user is asked before anything goes for good.
  for (int Entry = 0; Entry < 2; ++Entry) {
    User().Press(Text(MDelete));
    User()
        .Inspect([&](THostDialog &D) {
          EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text(MDeletePermanentlyLeft)));
        })
        .Press(Text(MSkip));
  }
  ASSERT_TRUE(CloseDocument());
  EXPECT_TRUE(Exists(Left + L"\\a.txt"));
  EXPECT_TRUE(Exists(Left + L"\\b.txt"));
  // What was not done comes back as it was.
  EXPECT_EQ((std::vector<std::wstring>{Line(dtDeleteLeft, drDeleted, L"a.txt"),
                                       Line(dtDeleteLeft, drNone, L"b.txt")}),
            RemainingLines());
  User().Press(Text(MCancel));
  CloseDocument();
}

// ---- The state file ----

class PairStateTest : public TSyncHostTest {};

TEST_F(PairStateTest, ThePairIsTheSameWithThePanelsSwappedAndItsRecordsRoundTrip) {
  TPairState State(Left, Right);
  EXPECT_EQ(State.GetFileName(), TPairState(Right + L"\\", Left).GetFileName());
  EXPECT_NE(State.GetFileName(), TPairState(Left, Right + L"2").GetFileName());
  EXPECT_EQ(0u, State.GetFileName().find(TPairState::DataFolder()));
  for (int I = 0; I < 100000; ++I)
    State.Record(L"dir" + std::to_wstring(I % 100) + L"\\File " + std::to_wstring(I) + L".txt",
                 {false, I % 2 == 0, I * 10LL, 45000.5 + I});
  State.Record(L"dir7", {true, false, 0, 0});
  State.SetLastSynchronized(1234567);
  State.Save();

  TPairState Back(Right, Left);
  ASSERT_EQ(TPairState::psLoaded, Back.Load());
  EXPECT_EQ(100001u, Back.Count());
  EXPECT_EQ(1234567u, Back.GetLastSynchronized());
  const TPairRecord *Record = Back.Find(L"DIR42\\file 4242.TXT");
  ASSERT_NE(nullptr, Record);
  EXPECT_EQ(42420, Record->Size);
  EXPECT_EQ(45000.5 + 4242, Record->Time);
  EXPECT_TRUE(Record->ContentsEqual);
  Back.Remove(L"dir7");
  EXPECT_EQ(nullptr, Back.Find(L"dir7\\File 7.txt"));
  EXPECT_NE(nullptr, Back.Find(L"dir8\\File 8.txt"));
}

TEST_F(PairStateTest, AKeyLongerThanAStorageBlockRoundTripsAmongShortOnes) {
  TPairState State(Left, Right);
  const std::wstring Long = L"deep\\" + std::wstring(20000, L'n') + L".txt";
  for (int I = 0; I < 6000; ++I) {
    State.Record(L"k" + std::to_wstring(I), {false, false, I, 1.0});
    if (I == 3000)
      State.Record(Long, {false, false, 42, 2.0});
  }
  State.Save();
  TPairState Back(Left, Right);
  ASSERT_EQ(TPairState::psLoaded, Back.Load());
  EXPECT_EQ(6001u, Back.Count());
  const TPairRecord *Record = Back.Find(Long);
  ASSERT_NE(nullptr, Record);
  EXPECT_EQ(42, Record->Size);
  for (int I : {0, 2999, 3001, 5999}) {
    Record = Back.Find(L"K" + std::to_wstring(I));
    ASSERT_NE(nullptr, Record) << I;
    EXPECT_EQ(I, Record->Size);
  }
}

TEST_F(PairStateTest, AMissingDamagedOrForeignFileMeansNoState) {
  TPairState State(Left, Right);
  EXPECT_EQ(TPairState::psMissing, State.Load());
  State.Record(L"a.txt", {false, false, 1, 2});
  State.Save();
  const std::string Good = ReadFile(State.GetFileName());
  const std::vector<std::string> Bad = {
      Good.substr(0, Good.size() - 1),         // cut short
      Good.substr(0, 4),                       // only the magic
      std::string(Good).replace(0, 4, "ABCD"), // another file
      Good + "x",                              // something after the checksum
      std::string(Good.size(), '\0'),          // zeros
  };
  for (const auto &Bytes : Bad) {
    WriteFile(State.GetFileName(), Bytes);
    TPairState Loaded(Left, Right);
    EXPECT_EQ(TPairState::psDamaged, Loaded.Load());
    EXPECT_EQ(0u, Loaded.Count());
  }
  // Another pair's file under this pair's name.
  TPairState Other(Left, Left + L"\\x");
  Other.Record(L"b.txt", {});
  Other.Save();
  CopyFileW(Other.GetFileName().c_str(), State.GetFileName().c_str(), FALSE);
  EXPECT_EQ(TPairState::psDamaged, TPairState(Left, Right).Load());
  EXPECT_TRUE(TPairState(Left, Right).Forget());
  EXPECT_FALSE(TPairState(Left, Right).FileExists());
}

} // namespace
