// The comparison run end to end: two real folders on the host's panels, the plug-ins menu, the
// comparison dialog answered by the scripted user, and what comes out: the differences document
// in the host's editor, the panels' selection and the messages.

#include "DiscoverDifferences.h"
#include "CompareRules.h"
#include "FarEditor.h"
#include "FarFormat.h"
#include "FarProgress.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostInProcess.h"
#include "HostPanels.h"
#include "HostScreen.h"
#include "HostSettings.h"
#include "ScratchFiles.h"
#include "Velmora.h"
#include "VelmoraMessages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// 1 June 2024, 12:00 UTC, in FILETIME ticks.
constexpr int64_t BaseTime = 133617168000000000LL;
constexpr int64_t Second = 10000000LL;
constexpr int64_t Minute = 60 * Second;

using Lines = std::vector<std::wstring>;

class DiscoverDifferencesTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    Left = Scratch / L"left";
    Right = Scratch / L"right";
    ASSERT_TRUE(CreateDirectoryW(Left.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Right.c_str(), nullptr));
  }
  void TearDown() override {
    TFarProgress::SetTickSource(nullptr);
    if (ConsoleReady)
      THostConsole::Flush();
    TFarEditorManaged::FreeAdopted();
    TInProcessPluginTest<TVelmoraPlugin>::TearDown();
  }

  void Option(const wchar_t *Name, uint64_t Value) {
    HostSettings().SetNumber(VelmoraPluginGuid, L"", Name, Value);
  }

  void File(const std::wstring &Path, const std::string &Bytes, int64_t TimeOffset = 0) {
    ASSERT_TRUE(WriteBytes(Path, Bytes)) << HostUtf8(Path);
    ASSERT_TRUE(SetWriteTime(Path, BaseTime + TimeOffset)) << HostUtf8(Path);
  }
  void Folder(const std::wstring &Path) {
    ASSERT_TRUE(CreateDirectoryW(Path.c_str(), nullptr)) << HostUtf8(Path);
  }
  // The same file on both sides.
  void Both(const std::wstring &Name, const std::string &Bytes, int64_t TimeOffset = 0) {
    File(Left + L"\\" + Name, Bytes, TimeOffset);
    File(Right + L"\\" + Name, Bytes, TimeOffset);
  }

  void ShowFolders(const std::wstring &LeftFolder, const std::wstring &RightFolder) {
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Left, LeftFolder));
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Right, RightFolder));
  }
  void ShowFolders() { ShowFolders(Left, Right); }

  // The plug-ins menu with the dialog confirmed as it comes; Then answers what is asked after it.
  void Compare(std::initializer_list<intptr_t> Then = {}) {
    THostDialogUser(Host.Script()).Press(L"OK");
    for (intptr_t Button : Then)
      Host.Script().AnswerMessage(Button);
    EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  }

  THostEditorWindow *Document() { return THostEditor::Of(Host).Current(); }
  // The difference lines of the open document, in order.
  Lines DifferenceLines() {
    Lines Result;
    if (THostEditorWindow *Window = Document())
      for (const std::wstring &Line : Window->Lines()) {
        TDifferenceItem Item;
        if (Item.ParseLine(Line))
          Result.push_back(Line);
      }
    return Result;
  }
  Lines Selected(THostSide Side) { return HostPanels().SelectedNames(Side); }
  // Files left in FAR's temporary folder (where the documents are made).
  size_t TempFiles() {
    size_t Count = 0;
    WIN32_FIND_DATAW Data;
    HANDLE Find = FindFirstFileW((Host.TempFolder() + L"\\*").c_str(), &Data);
    if (Find == INVALID_HANDLE_VALUE)
      return 0;
    do
      if (!(Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        ++Count;
    while (FindNextFileW(Find, &Data));
    FindClose(Find);
    return Count;
  }
  // The messages that asked something (progress windows have no buttons).
  std::vector<THostMessage> Questions() {
    std::vector<THostMessage> Result;
    for (const THostMessage &Message : Host.Messages())
      if (Message.ButtonsNumber > 0)
        Result.push_back(Message);
    return Result;
  }
  void ExpectNoDifferencesMessage() {
    const std::vector<THostMessage> Asked = Questions();
    ASSERT_EQ(1u, Asked.size());
    const THostMessage &Message = Asked[0];
    EXPECT_EQ(Host.Msg(MNoDifferencesTitle), Message.Title());
    EXPECT_EQ(Host.Msg(MNoDifferencesText), Message.Body());
    EXPECT_EQ(0u, Message.Flags);
    EXPECT_EQ(nullptr, Document());
    EXPECT_EQ(0u, TempFiles());
  }
  // Every progress update is due (each reading of the clock is a second after the one before);
  // Esc is pressed at the Tick-th reading (never with 0).
  static void EscAtTick(int Tick) {
    EscTick = Tick;
    Ticks = 0;
    TFarProgress::SetTickSource([]() -> DWORD {
      if (++Ticks == EscTick)
        THostConsole::PushKey(VK_ESCAPE);
      return DWORD(Ticks) * 1000;
    });
  }
  static inline int Ticks = 0;
  static inline int EscTick = 0;

  void NeedConsole() {
    std::wstring Why;
    ConsoleReady = THostConsole::Ensure(&Why);
    ASSERT_TRUE(ConsoleReady) << HostUtf8(Why);
    THostConsole::Flush();
  }

  TScratchFolder Scratch;
  std::wstring Left, Right;
  bool ConsoleReady = false;
};

Lines Sorted(Lines Names) {
  std::sort(Names.begin(), Names.end());
  return Names;
}

} // namespace

TEST_F(DiscoverDifferencesTest, EveryKindOfDifferenceHasItsLineAndSelectsTheNewerSide) {
  Option(L"ProcessSubfolders", 1);
  Folder(Left + L"\\a_dirfile");
  File(Right + L"\\a_dirfile", "file");
  File(Left + L"\\b_filedir", "file");
  Folder(Right + L"\\b_filedir");
  File(Left + L"\\c_newleft.txt", "same size", 10 * Minute);
  File(Right + L"\\c_newleft.txt", "same size");
  File(Left + L"\\d_newright.txt", "same size");
  File(Right + L"\\d_newright.txt", "same size", 10 * Minute);
  File(Left + L"\\e_onlyleft.txt", "x");
  Folder(Left + L"\\f_onlyleftdir");
  File(Left + L"\\f_onlyleftdir\\inside.txt", "never looked at");
  File(Right + L"\\g_onlyright.txt", "x");
  Both(L"h_same.txt", "equal");
  File(Left + L"\\i_size.txt", "short");
  File(Right + L"\\i_size.txt", "longer text");
  Folder(Left + L"\\j_sub");
  Folder(Right + L"\\j_sub");
  File(Left + L"\\j_sub\\k_inner.txt", "1");
  File(Right + L"\\j_sub\\k_inner.txt", "22");
  Folder(Left + L"\\l_equalsub");
  Folder(Right + L"\\l_equalsub");
  Both(L"l_equalsub\\m.txt", "equal");
  ShowFolders();
  // A selection from before is replaced by the differences (the filter is switched off).
  ASSERT_TRUE(HostPanels().Select(THostSide::Left, L"h_same.txt"));
  ASSERT_TRUE(HostPanels().Select(THostSide::Right, L"l_equalsub"));
  THostDialogUser(Host.Script()).Clear(L"Only selected items").Press(L"OK");
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());

  EXPECT_EQ((Lines{
                L"--->F\ta_dirfile\\*",
                L"<---F\tb_filedir\\*",
                L"--->T\tc_newleft.txt",
                L"<---T\td_newright.txt",
                L"==>>F\te_onlyleft.txt",
                L"==>>F\tf_onlyleftdir\\*",
                L"<<==F\tg_onlyright.txt",
                L"<-->S\ti_size.txt",
                L"<-->S\tj_sub\\k_inner.txt",
            }),
            DifferenceLines());
  EXPECT_EQ(
      (Lines{L"a_dirfile", L"c_newleft.txt", L"e_onlyleft.txt", L"f_onlyleftdir", L"i_size.txt", L"j_sub"}),
      Sorted(Selected(THostSide::Left)));
  EXPECT_EQ((Lines{L"b_filedir", L"d_newright.txt", L"g_onlyright.txt", L"i_size.txt", L"j_sub"}),
            Sorted(Selected(THostSide::Right)));

  // The document: title line with both directories, cursor on the first difference.
  THostEditorWindow *Window = Document();
  ASSERT_NE(nullptr, Window);
  ASSERT_GT(Window->LineCount(), 2u);
  EXPECT_NE(std::wstring::npos, Window->Line(0).find(Left));
  EXPECT_NE(std::wstring::npos, Window->Line(0).find(Right));
  EXPECT_EQ(L"--->F\ta_dirfile\\*", Window->Line(size_t(Window->CurLine())));
  EXPECT_EQ(1u, TFarEditorManaged::RegisteredCount());
  EXPECT_TRUE(Questions().empty());
  // The options are saved as the dialog stored them.
  EXPECT_EQ(std::optional<uint64_t>(0), HostSettings().GetNumber(VelmoraPluginGuid, L"", L"ProcessSelected"));
}

TEST_F(DiscoverDifferencesTest, ContentsAreComparedAndAnUnreadableFileIsAFailureOfItsSide) {
  Option(L"CompareContents", 1);
  Both(L"a_equal.bin", std::string(10000, 'q'));
  File(Left + L"\\b_contents.bin", std::string(9000, 'q') + "x");
  File(Right + L"\\b_contents.bin", std::string(9000, 'q') + "y");
  Both(L"c_locked.bin", "locked on the right");
  File(Left + L"\\d_lockedleft.bin", "locked on the left", 0);
  File(Right + L"\\d_lockedleft.bin", "locked on the left", Minute);
  ShowFolders();
  HANDLE Lock =
      CreateFileW((Right + L"\\c_locked.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, Lock);
  Compare();
  CloseHandle(Lock);

  // The lock on the left file is gone by now, but the time decides before any file is opened.
  EXPECT_EQ((Lines{L"<-->C\tb_contents.bin", L"--!>C\tc_locked.bin", L"<---T\td_lockedleft.bin"}),
            DifferenceLines());
  EXPECT_EQ((Lines{L"b_contents.bin", L"c_locked.bin"}), Sorted(Selected(THostSide::Left)));
  EXPECT_EQ((Lines{L"b_contents.bin", L"d_lockedleft.bin"}), Sorted(Selected(THostSide::Right)));
}

TEST_F(DiscoverDifferencesTest, ATimeZoneShiftIsAtMostTwentySixHours) {
  // The default options: low precision and time-zone shifts forgiven.
  const int64_t Hour = 60 * Minute, Day = 24 * Hour;
  const struct {
    const wchar_t *Name;
    int64_t Later;
  } Saved[] = {{L"a_shift.txt", 26 * Hour}, {L"b_two_days.txt", 2 * Day}, {L"c_half_year.txt", 182 * Day}};
  for (const auto &File : Saved) {
    this->File(Left + L"\\" + File.Name, "same size");
    this->File(Right + L"\\" + File.Name, "same size", File.Later);
  }
  ShowFolders();
  Compare();
  EXPECT_EQ((Lines{L"<---T\tb_two_days.txt", L"<---T\tc_half_year.txt"}), DifferenceLines());
}

TEST_F(DiscoverDifferencesTest, MasksLeaveEntriesOutAtEveryLevelOnBothSides) {
  Option(L"ProcessSubfolders", 1);
  HostSettings().SetString(VelmoraPluginGuid, L"", L"IncludeMasks", L"*.txt,*.md");
  HostSettings().SetString(VelmoraPluginGuid, L"", L"ExcludeMasks", L"obj,~*");
  Folder(Left + L"\\src");
  Folder(Right + L"\\src");
  Folder(Left + L"\\src\\obj");
  Folder(Right + L"\\obj");
  for (const wchar_t *Name : {L"a.txt", L"b.bin", L"~a.txt", L"src\\c.md", L"src\\d.bin", L"src\\obj\\e.txt"})
    File(Left + L"\\" + Name, "x");
  for (const wchar_t *Name : {L"obj\\f.txt", L"src\\g.txt", L"src\\~g.txt"})
    File(Right + L"\\" + Name, "x");
  ShowFolders();
  Compare();
  EXPECT_EQ((Lines{L"==>>F\ta.txt", L"==>>F\tsrc\\c.md", L"<<==F\tsrc\\g.txt"}), DifferenceLines());
  // The header says which masks were in force.
  const Lines All = Document()->Lines();
  EXPECT_NE(All.end(), std::find(All.begin(), All.end(), L"Compared only files matching: *.txt,*.md"));
  EXPECT_NE(All.end(),
            std::find(All.begin(), All.end(), L"Left out, files and directories matching: obj,~*"));
}

TEST_F(DiscoverDifferencesTest, WithoutSubfoldersCommonDirectoriesAreNotCompared) {
  Folder(Left + L"\\common");
  Folder(Right + L"\\common");
  File(Left + L"\\common\\only here.txt", "x");
  Folder(Right + L"\\lonely");
  ShowFolders();
  Compare();
  EXPECT_EQ((Lines{L"<<==F\tlonely\\*"}), DifferenceLines());
  EXPECT_EQ((Lines{L"lonely"}), Selected(THostSide::Right));
  EXPECT_TRUE(Selected(THostSide::Left).empty());
}

TEST_F(DiscoverDifferencesTest, ADepthLimitStopsTheWalkBelowIt) {
  Option(L"ProcessSubfolders", 1);
  Option(L"UseMaxScanDepth", 1);
  Option(L"MaxScanDepth", 1);
  for (const std::wstring &Root : {Left, Right}) {
    Folder(Root + L"\\one");
    Folder(Root + L"\\one\\two");
  }
  File(Left + L"\\one\\first level.txt", "x");
  File(Left + L"\\one\\two\\second level.txt", "x");
  ShowFolders();
  Compare();
  EXPECT_EQ((Lines{L"==>>F\tone\\first level.txt"}), DifferenceLines());
  EXPECT_EQ((Lines{L"one"}), Selected(THostSide::Left));
  EXPECT_EQ((Lines{L"one"}), Selected(THostSide::Right));
}

TEST_F(DiscoverDifferencesTest, UnlimitedDepthReachesTheDeepestLevel) {
  Option(L"ProcessSubfolders", 1);
  std::wstring Path;
  for (int Level = 0; Level < 6; ++Level) {
    Path += L"\\d" + std::to_wstring(Level);
    Folder(Left + Path);
    Folder(Right + Path);
  }
  File(Right + Path + L"\\deep.txt", "x");
  ShowFolders();
  Compare();
  EXPECT_EQ((Lines{L"<<==F\td0\\d1\\d2\\d3\\d4\\d5\\deep.txt"}), DifferenceLines());
}

TEST_F(DiscoverDifferencesTest, OnlySelectedItemsAndTheirNamesakesAreCompared) {
  File(Left + L"\\a.txt", "left");
  File(Right + L"\\a.txt", "right side");
  File(Right + L"\\b.txt", "unselected, right only");
  File(Left + L"\\c.txt", "selected, left only");
  File(Left + L"\\d.txt", "not selected");
  File(Right + L"\\d.txt", "not selected either");
  ShowFolders();
  ASSERT_TRUE(HostPanels().Select(THostSide::Left, L"a.txt"));
  ASSERT_TRUE(HostPanels().Select(THostSide::Left, L"c.txt"));
  Compare(); // the dialog ticks "only selected" by itself when anything is selected
  EXPECT_EQ((Lines{L"<-->S\ta.txt", L"==>>F\tc.txt"}), DifferenceLines());
  EXPECT_EQ((Lines{L"a.txt", L"c.txt"}), Sorted(Selected(THostSide::Left)));
  EXPECT_EQ((Lines{L"a.txt"}), Selected(THostSide::Right));
}

TEST_F(DiscoverDifferencesTest, LeftAndRightAreScreenSidesWhicheverPanelIsActive) {
  File(Left + L"\\screen left only.txt", "x");
  ShowFolders();
  HostPanels().SetActiveSide(THostSide::Right);
  Compare();
  EXPECT_EQ((Lines{L"==>>F\tscreen left only.txt"}), DifferenceLines());
  EXPECT_EQ((Lines{L"screen left only.txt"}), Selected(THostSide::Left));
  ASSERT_NE(nullptr, Document());
  const std::wstring &Title = Document()->Line(0);
  EXPECT_NE(std::wstring::npos, Title.find(Left)) << HostUtf8(Title);
  EXPECT_LT(Title.find(Left), Title.find(Right)) << HostUtf8(Title);
}

TEST_F(DiscoverDifferencesTest, NamesDifferingInCasePairUpAndDifferOnlyWhenCaseCounts) {
  File(Left + L"\\Readme.txt", "same");
  File(Right + L"\\README.TXT", "same");
  ShowFolders();
  Compare({0});
  ExpectNoDifferencesMessage();

  Host.ClearRecords();
  Option(L"CompareFileNameCase", 1);
  Compare();
  EXPECT_EQ((Lines{L"<-->F\tReadme.txt"}), DifferenceLines());
  EXPECT_EQ((Lines{L"Readme.txt"}), Selected(THostSide::Left));
  EXPECT_EQ((Lines{L"README.TXT"}), Selected(THostSide::Right));
}

TEST_F(DiscoverDifferencesTest, NoDifferencesIsSaidAndLeavesNoDocument) {
  Option(L"ProcessSubfolders", 1);
  Both(L"one.txt", "1");
  Folder(Left + L"\\sub");
  Folder(Right + L"\\sub");
  Both(L"sub\\two.txt", "2");
  ShowFolders();
  Compare({0});
  ExpectNoDifferencesMessage();
  EXPECT_TRUE(Selected(THostSide::Left).empty());
  EXPECT_EQ(0u, TFarEditorManaged::RegisteredCount());
}

TEST_F(DiscoverDifferencesTest, BothPanelsOnOneDirectoryFindNothing) {
  Option(L"ProcessSubfolders", 1);
  Option(L"CompareContents", 1);
  File(Left + L"\\file.txt", "contents");
  Folder(Left + L"\\sub");
  File(Left + L"\\sub\\inner.txt", "inner");
  ShowFolders(Left, Left);
  Compare({0});
  ExpectNoDifferencesMessage();
}

TEST_F(DiscoverDifferencesTest, ALoopThroughAJunctionOnOneSideIsADifference) {
  Option(L"ProcessSubfolders", 1);
  if (!MakeDirectoryLink(Left + L"\\loop", Left))
    GTEST_SKIP() << "no directory links on this system";
  Folder(Right + L"\\loop");
  File(Right + L"\\loop\\inside.txt", "x");
  ShowFolders();
  Compare();
  EXPECT_EQ((Lines{L"<-->F\tloop\\*"}), DifferenceLines());
  EXPECT_EQ((Lines{L"loop"}), Selected(THostSide::Left));
  EXPECT_EQ((Lines{L"loop"}), Selected(THostSide::Right));
}

TEST_F(DiscoverDifferencesTest, LoopsThroughJunctionsOnBothSidesAreNoDifference) {
  Option(L"ProcessSubfolders", 1);
  if (!MakeDirectoryLink(Left + L"\\loop", Left) || !MakeDirectoryLink(Right + L"\\loop", Right))
    GTEST_SKIP() << "no directory links on this system";
  Both(L"file.txt", "x");
  ShowFolders();
  Compare({0});
  ExpectNoDifferencesMessage();
}

TEST_F(DiscoverDifferencesTest, EscDuringALongContentsComparisonStopsWithoutATrace) {
  NeedConsole();
  Option(L"CompareContents", 1);
  Both(L"big.bin", std::string(16 * TCompareRules::ExactBlockSize, 'b'));
  File(Left + L"\\other.txt", "x");
  ShowFolders();
  ASSERT_TRUE(HostPanels().Select(THostSide::Right, L"big.bin"));
  // Esc arrives while the big pair is being read (each progress call reads the clock): a few
  // blocks in, many before its end.
  EscAtTick(22);
  THostDialogUser(Host.Script()).Clear(L"Only selected items").Press(L"OK");
  Host.Script().AnswerMessage(0, Host.Msg(MAbortText));
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());

  ASSERT_EQ(1u, Questions().size());
  std::vector<THostMessage> Progress = HostProgressMessages(Host);
  ASSERT_FALSE(Progress.empty());
  ASSERT_EQ(8u, Progress.back().Lines.size());
  EXPECT_EQ(Host.Msg(MTitle), Progress.back().Lines[0]);
  // Lines below the title are padded to the window's width.
  EXPECT_EQ(0u, Progress.back().Lines[1].find(Host.Msg(MCompareProgressLeft)));
  EXPECT_EQ(0u, Progress.back().Lines[3].find(Host.Msg(MCompareProgressRight)));
  EXPECT_NE(std::wstring::npos, Progress.back().Lines[2].find(L"big.bin"));
  EXPECT_NE(std::wstring::npos, Progress.back().Body().find(L"\x2588")) << "no bytes read yet";
  EXPECT_EQ(nullptr, Document());
  EXPECT_EQ(0u, TFarEditorManaged::RegisteredCount());
  EXPECT_EQ(0u, TempFiles());
  EXPECT_EQ((Lines{L"big.bin"}), Selected(THostSide::Right));
  EXPECT_TRUE(Selected(THostSide::Left).empty());
  EXPECT_EQ(0, Host.Part<THostScreen>().TaskbarState);
}

TEST_F(DiscoverDifferencesTest, EscAnsweredWithCancelLetsTheRunGoOn) {
  NeedConsole();
  File(Left + L"\\only left.txt", "x");
  ShowFolders();
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  THostDialogUser(Host.Script()).Press(L"OK");
  Host.Script().AnswerMessage(1, Host.Msg(MAbortText));
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  EXPECT_EQ((Lines{L"==>>F\tonly left.txt"}), DifferenceLines());
}

// More directories than the workers look ahead at, nested, with contents differences, one-sided
// entries and a file that cannot be read: every number of workers writes the same lines in the
// same order and selects the same items as the walk on FAR's thread alone.
TEST_F(DiscoverDifferencesTest, EveryNumberOfWorkersWritesTheSameDocumentAndSelection) {
  Option(L"ProcessSubfolders", 1);
  Option(L"CompareContents", 1);
  for (int D = 0; D < 24; ++D) {
    const std::wstring Dir = L"dir" + std::to_wstring(D);
    Folder(Left + L"\\" + Dir);
    Folder(Right + L"\\" + Dir);
    Folder(Left + L"\\" + Dir + L"\\inner");
    if (D % 5 != 0)
      Folder(Right + L"\\" + Dir + L"\\inner");
    for (int F = 0; F < 4; ++F) {
      const std::wstring Name = Dir + L"\\file" + std::to_wstring(F) + L".txt";
      Both(Name, "same " + std::to_string(D));
      if (F == D % 4)
        File(Right + L"\\" + Name, "diff " + std::to_string(D));
      const std::wstring Deep = Dir + L"\\inner\\deep" + std::to_wstring(F) + L".txt";
      if (D % 5 != 0)
        Both(Deep, "deep");
      else
        File(Left + L"\\" + Deep, "deep");
    }
    if (D % 7 == 0)
      File(Left + L"\\" + Dir + L"\\onlyleft.txt", "x");
  }
  ShowFolders();
  HANDLE Lock = CreateFileW((Right + L"\\dir9\\file2.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, Lock);
  Option(L"CompareWorkers", 1);
  Compare();
  const Lines Expected = DifferenceLines();
  const Lines ExpectedLeft = Selected(THostSide::Left), ExpectedRight = Selected(THostSide::Right);
  // A contents line per directory, five inner directories and four files on the left only, the locked file.
  ASSERT_EQ(24u + 5u + 4u + 1u, Expected.size());
  EXPECT_NE(Expected.end(), std::find(Expected.begin(), Expected.end(), L"--!>C\tdir9\\file2.txt"));
  for (uint64_t Workers : {2, 3, 16}) {
    Option(L"CompareWorkers", Workers);
    Compare();
    EXPECT_EQ(Expected, DifferenceLines()) << Workers << " workers";
    EXPECT_EQ(ExpectedLeft, Selected(THostSide::Left)) << Workers << " workers";
    EXPECT_EQ(ExpectedRight, Selected(THostSide::Right)) << Workers << " workers";
  }
  CloseHandle(Lock);
}

TEST_F(DiscoverDifferencesTest, EscWhileTheWorkersListStopsTheRunWithoutATrace) {
  NeedConsole();
  Option(L"ProcessSubfolders", 1);
  Option(L"CompareWorkers", 4);
  for (int D = 0; D < 40; ++D) {
    Folder(Left + L"\\d" + std::to_wstring(D));
    Folder(Right + L"\\d" + std::to_wstring(D));
    File(Left + L"\\d" + std::to_wstring(D) + L"\\f.txt", "left");
  }
  ShowFolders();
  EscAtTick(20);
  THostDialogUser(Host.Script()).Press(L"OK");
  Host.Script().AnswerMessage(0, Host.Msg(MAbortText));
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());

  ASSERT_EQ(1u, Questions().size());
  EXPECT_EQ(nullptr, Document());
  EXPECT_EQ(0u, TFarEditorManaged::RegisteredCount());
  EXPECT_EQ(0u, TempFiles());
  EXPECT_TRUE(Selected(THostSide::Left).empty());
}

// The window says how far the walk has come, and names the panels' directories as FAR shows
// them from its first drawing on.
TEST_F(DiscoverDifferencesTest, TheProgressWindowCountsEntriesAndDifferencesAndShowsNoLongPaths) {
  NeedConsole();
  File(Left + L"\\a.txt", "x");
  File(Right + L"\\b.txt", "x");
  Both(L"c.txt", "same");
  ShowFolders();
  // Every drawing is due: the window is drawn before each pair is judged.
  EscAtTick(0);
  Compare();

  const std::vector<THostMessage> Progress = HostProgressMessages(Host);
  ASSERT_GE(Progress.size(), 4u);
  const THostMessage &First = Progress.front();
  ASSERT_EQ(8u, First.Lines.size());
  EXPECT_EQ(std::wstring::npos, First.Lines[2].find(L"\\\\?\\")) << HostUtf8(First.Lines[2]);
  EXPECT_NE(std::wstring::npos, First.Lines[2].find(L"left\\*")) << HostUtf8(First.Lines[2]);
  EXPECT_NE(std::wstring::npos, First.Lines[4].find(L"right\\*")) << HostUtf8(First.Lines[4]);
  EXPECT_EQ(0u, First.Lines[7].find(Format(Host.Msg(MCompareProgressCounts), {L"0", L"0", L""})));
  // The last drawing was made before c.txt was judged: three entries met, two of them differences.
  const THostMessage &Last = Progress.back();
  ASSERT_EQ(8u, Last.Lines.size());
  EXPECT_EQ(0u, Last.Lines[7].find(Format(Host.Msg(MCompareProgressCounts), {L"3", L"2", L""})))
      << HostUtf8(Last.Lines[7]);
}

TEST_F(DiscoverDifferencesTest, OnlyTwoFilePanelsAreCompared) {
  ShowFolders();
  HostPanels().SetPanelType(THostSide::Right, PTYPE_TREEPANEL);
  Host.Script().AnswerMessage(0, Host.Msg(MNotFilePanels));
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  ASSERT_EQ(1u, Questions().size());
  EXPECT_EQ(Host.Msg(MTitle), Questions()[0].Title());
  EXPECT_EQ(FMSG_WARNING, Questions()[0].Flags);
  EXPECT_TRUE(Host.Part<THostDialogs>().Runs.empty());

  // A panel FAR says nothing about has no directory to walk.
  HostPanels().SetPanelType(THostSide::Right, PTYPE_FILEPANEL);
  HostPanels().Panel(THostSide::Left).RefusePanelInfo = true;
  Host.Script().AnswerMessage(0, Host.Msg(MNotFilePanels));
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  EXPECT_TRUE(Host.Part<THostDialogs>().Runs.empty());
}

TEST_F(DiscoverDifferencesTest, APluginPanelWithoutRealNamesIsComparedBySelectionOnly) {
  // {0C3F5A9B-6E21-4D8B-9A7C-2F1E4B6D8A03}
  const GUID Archiver = {0x0C3F5A9B, 0x6E21, 0x4D8B, {0x9A, 0x7C, 0x2F, 0x1E, 0x4B, 0x6D, 0x8A, 0x03}};
  File(Left + L"\\same.txt", "same");
  File(Left + L"\\newer here.txt", "same size", 10 * Minute);
  File(Left + L"\\only here.txt", "x");
  Folder(Left + L"\\dir");
  ShowFolders();
  // An archive's inner folder: its items are the plug-in's, its directory no path on the disk.
  HostPanels().SetPluginPanel(THostSide::Right, Archiver, L"inner\\folder");
  auto Entry = [](const wchar_t *Name, uint64_t Size, int64_t Time,
                  DWORD Attributes = FILE_ATTRIBUTE_ARCHIVE) {
    THostPanelItem Item;
    Item.FileName = Name;
    Item.FileSize = Size;
    Item.LastWriteTime = TicksToFileTime(BaseTime + Time);
    Item.FileAttributes = Attributes;
    return Item;
  };
  HostPanels().Panel(THostSide::Right).Items = {Entry(L"same.txt", 4, 0), Entry(L"newer here.txt", 9, 0),
                                                Entry(L"only there.txt", 1, 0),
                                                Entry(L"dir", 0, 0, FILE_ATTRIBUTE_DIRECTORY)};
  Option(L"ProcessSubfolders", 1);
  Compare({0});
  const std::vector<THostMessage> Asked = Questions();
  ASSERT_EQ(1u, Asked.size());
  EXPECT_EQ(Format(Host.Msg(MSelectedDifferences), {3}), Asked[0].Lines.at(1));
  EXPECT_EQ(Host.Msg(MSynchronizeNeedsDirectories), Asked[0].Lines.at(2));
  EXPECT_EQ((Lines{L"newer here.txt", L"only here.txt"}), Sorted(Selected(THostSide::Left)));
  EXPECT_EQ((Lines{L"only there.txt"}), Selected(THostSide::Right));
  EXPECT_EQ(nullptr, Document());
  EXPECT_EQ(0u, TempFiles());

  // Real names do not make a directory of one that is not an absolute path of a directory: still
  // only a selection.
  HostPanels().Panel(THostSide::Right).PluginRealNames = true;
  HostPanels().Panel(THostSide::Right).PluginDirectory = Scratch / L"missing";
  Host.ClearRecords();
  Compare({0});
  EXPECT_EQ(nullptr, Document());
  ASSERT_EQ(1u, Questions().size());
  EXPECT_EQ(Format(Host.Msg(MSelectedDifferences), {3}), Questions()[0].Lines.at(1));

  // A plug-in showing a real folder with real names is compared, without subfolders or contents.
  // An item that names a file elsewhere by its full path (as a temporary panel lists them) has
  // no place in either directory and is left out.
  ASSERT_TRUE(HostPanels().SetFolder(THostSide::Right, Right));
  HostPanels().SetPluginPanel(THostSide::Right, Archiver, Right);
  HostPanels().Panel(THostSide::Right).PluginRealNames = true;
  THostPanelItem Elsewhere;
  Elsewhere.FileName = Scratch / L"elsewhere.txt";
  Elsewhere.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  HostPanels().Panel(THostSide::Right).Items.push_back(Elsewhere);
  HostPanels().ClearSelection(THostSide::Left);
  Host.ClearRecords();
  Compare();
  EXPECT_EQ((Lines{L"==>>F\tdir\\*", L"==>>F\tnewer here.txt", L"==>>F\tonly here.txt", L"==>>F\tsame.txt"}),
            DifferenceLines());
}

namespace {

intptr_t WINAPI RefusingEditor(const wchar_t *, const wchar_t *, intptr_t, intptr_t, intptr_t, intptr_t,
                               EDITOR_FLAGS, intptr_t, intptr_t, uintptr_t) {
  TFarHost::Active().RecordCall(L"Editor");
  return EEC_OPEN_ERROR;
}

size_t WINAPI NoTempNames(wchar_t *, size_t, const wchar_t *) {
  TFarHost::Active().RecordCall(L"MkTemp");
  return 0;
}

// Runs whose FAR refuses a service: the tables are changed before the plug-in copies them.
class DiscoverDifferencesFailureTest : public THostTest {
protected:
  void SetUp() override {
    THostTest::SetUp();
    Left = Scratch / L"left";
    Right = Scratch / L"right";
    ASSERT_TRUE(CreateDirectoryW(Left.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Right.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(Left + L"\\only left.txt", "x"));
  }
  void TearDown() override {
    TFarEditorManaged::FreeAdopted();
    Registration.reset();
    THostTest::TearDown();
  }
  void Start() {
    Registration = std::make_unique<THostInProcessPlugin>(Host, std::make_unique<TVelmoraPlugin>());
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Left, Left));
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Right, Right));
  }

  TScratchFolder Scratch;
  std::wstring Left, Right;
  std::unique_ptr<THostInProcessPlugin> Registration;
};

} // namespace

TEST_F(DiscoverDifferencesFailureTest, WithoutAnEditorTheDocumentIsSynchronisedAtOnce) {
  Host.StartupInfo().Editor = &RefusingEditor;
  Start();
  THostDialogUser(Host.Script()).Press(L"OK");
  // The synchronise dialog follows at once; the user leaves it.
  THostDialogUser(Host.Script()).Escape();
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  ASSERT_EQ(2u, Host.Part<THostDialogs>().Runs.size());
  EXPECT_EQ(1u, Host.CallCount(L"Editor"));
  EXPECT_EQ(0u, TFarEditorManaged::RegisteredCount());
  // Cancelled: nothing copied, and the document is gone with the run.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((Right + L"\\only left.txt").c_str()));
  WIN32_FIND_DATAW Data;
  HANDLE Find = FindFirstFileW((Host.TempFolder() + L"\\*.*").c_str(), &Data);
  size_t Files = 0;
  if (Find != INVALID_HANDLE_VALUE) {
    do
      Files += (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    while (FindNextFileW(Find, &Data));
    FindClose(Find);
  }
  EXPECT_EQ(0u, Files);
}

TEST_F(DiscoverDifferencesFailureTest, AnErrorEndsTheRunWithItsClassAndText) {
  Host.StandardFunctions().MkTemp = &NoTempNames;
  Start();
  THostDialogUser(Host.Script()).Press(L"OK");
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  ASSERT_FALSE(Host.Messages().empty());
  const THostMessage &Report = Host.Messages().back();
  EXPECT_EQ(FMSG_WARNING | FMSG_ERRORTYPE, Report.Flags);
  EXPECT_EQ(Host.Msg(MTitle), Report.Title());
  ASSERT_GE(Report.Lines.size(), 3u);
  EXPECT_EQ(L"ESynchronizeTaskError", Report.Lines[1]);
  EXPECT_EQ(0u, TFarEditorManaged::RegisteredCount());
  EXPECT_TRUE(HostPanels().SelectedNames(THostSide::Left).empty());
}
