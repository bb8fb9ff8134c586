// The differences document in the host's editor: its file, the key bar, the keys and the command
// menu, and the commands on the line under the cursor.

#include "SyncTaskTestSupport.h"

#include "FarFormat.h"
#include "Files.h"
#include "VelmoraMessages.h"

#include <gtest/gtest.h>

#include <winioctl.h>

using namespace SyncTask;

namespace {

class SynchronizeDocumentTest : public TSyncHostTest {};

} // namespace

TEST_F(SynchronizeDocumentTest, FileHoldsTitleDescriptionAndDifferencesAndOpensOnTheFirstOne) {
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt"), Line(dtOlderLeft, drTime, L"sub\\b.txt")});
  THostEditorWindow &W = Window();
  // The editor shows the empty line after the last line end.
  ASSERT_EQ(size_t(HeaderLines + 3), W.LineCount());
  EXPECT_EQ(L"", W.Line(HeaderLines + 2));
  EXPECT_EQ(Format(Host.Msg(MDocumentTitle), {Left, Right}), W.Line(0));
  EXPECT_EQ(Host.Msg(MDocumentDescription1), W.Line(1));
  EXPECT_EQ(Host.Msg(MDocumentDescription2), W.Line(2));
  EXPECT_EQ(Host.Msg(MDocumentDescription13), W.Line(13));
  EXPECT_EQ(L"", W.Line(14));
  EXPECT_EQ(Line(dtMissingRight, drFile, L"a.txt"), W.Line(15));
  EXPECT_TRUE(W.HasBom());
  EXPECT_EQ(uintptr_t(CP_UTF8), W.CodePage());
  EXPECT_EQ(EDITOR_FLAGS(0xB09), W.Flags());
  EXPECT_EQ(Host.Msg(MTitle), W.Title());
  // Line 15 becomes the sixth line of the window.
  EXPECT_EQ(15, W.CurLine());
  EXPECT_EQ(10, W.TopScreenLine());
  EXPECT_EQ(&Window(), Editors().FindOpen(TSynchronizeTask::FindForEditor(-1)->GetFileName()));
}

TEST_F(SynchronizeDocumentTest, WithoutDescriptionOnlyTitleAndEmptyLinePrecedeTheDifferences) {
  SetOption(&TVelmoraOptions::ShowDescriptionIsSyncFile, false);
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")}, L"\\\\?\\UNC\\server\\share\\l", L"\\\\?\\C:\\r\\");
  THostEditorWindow &W = Window();
  ASSERT_EQ(4u, W.LineCount());
  EXPECT_EQ(Format(Host.Msg(MDocumentTitle), {L"\\\\server\\share\\l", L"C:\\r"}), W.Line(0));
  EXPECT_EQ(L"", W.Line(1));
  EXPECT_EQ(2, W.CurLine());
  EXPECT_EQ(0, W.TopScreenLine());
  TSynchronizeTask *Task = TSynchronizeTask::FindForEditor(W.Id());
  ASSERT_NE(nullptr, Task);
  EXPECT_EQ(L"\\\\?\\UNC\\server\\share\\l\\", Task->GetLeftDirectory());
}

TEST_F(SynchronizeDocumentTest, KeyBarHasTheTwelveCommandsAndOnlyTheDocumentIsFound) {
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  THostEditorWindow &W = Window();
  EXPECT_EQ(12u, W.KeyBar().size());
  const THostKeyBarLabel *Label = W.FindKeyBarLabel(VK_F1, LEFT_ALT_PRESSED);
  ASSERT_NE(nullptr, Label);
  EXPECT_EQ(Host.Msg(MKeyBarChangeToLeft), Label->Text);
  EXPECT_EQ(Host.Msg(MKeyBarChangeToLeftLong), Label->LongText);
  Label = W.FindKeyBarLabel(VK_F6, RIGHT_CTRL_PRESSED);
  ASSERT_NE(nullptr, Label);
  EXPECT_EQ(Host.Msg(MKeyBarGotoRight), Label->Text);

  // Another editor window is no document.
  WriteFile(Left + L"\\plain.txt", "x");
  intptr_t Id = -1;
  ASSERT_TRUE(TFarEditor::OpenEditor(Id, Left + L"\\plain.txt", L"plain", 0, 0, -1, -1,
                                     EF_NONMODAL | EF_IMMEDIATERETURN, 0, 1, CP_UTF8));
  EXPECT_EQ(nullptr, TSynchronizeTask::FindForEditor(-1));
  EXPECT_NE(nullptr, TSynchronizeTask::FindForEditor(W.Id()));
}

TEST_F(SynchronizeDocumentTest, AltF1AndAltF2ChangeTheDirectionOfConvertibleLines) {
  OpenDocument({Line(dtDifferent, drSize, L"a.txt"), Line(dtFailedRight, drContents, L"b.txt"),
                Line(dtMissingLeft, drFile, L"c.txt"), Line(dtOlderLeft, drTime, L"d.txt"), L"garbage"});
  THostEditorWindow &W = Window();
  W.MoveCursor(HeaderLines, 0);
  EXPECT_TRUE(W.PressKey(VK_F1, LEFT_ALT_PRESSED));
  EXPECT_EQ(Line(dtOlderLeft, drNone, L"a.txt"), W.Line(HeaderLines));
  EXPECT_GT(W.RedrawCount(), 0u);
  W.MoveCursor(HeaderLines + 1, 0);
  EXPECT_TRUE(W.PressKey(VK_F1, RIGHT_ALT_PRESSED));
  EXPECT_EQ(Line(dtOlderLeft, drNone, L"b.txt"), W.Line(HeaderLines + 1));
  // A one-sided line keeps its direction; the key is still the document's.
  W.MoveCursor(HeaderLines + 2, 0);
  EXPECT_TRUE(W.PressKey(VK_F2, LEFT_ALT_PRESSED));
  EXPECT_EQ(Line(dtMissingLeft, drFile, L"c.txt"), W.Line(HeaderLines + 2));
  W.MoveCursor(HeaderLines + 3, 0);
  EXPECT_TRUE(W.PressKey(VK_F2, LEFT_ALT_PRESSED));
  EXPECT_EQ(Line(dtOlderRight, drNone, L"d.txt"), W.Line(HeaderLines + 3));
  // Other modifier combinations are FAR's.
  EXPECT_FALSE(W.PressKey(VK_F1, LEFT_ALT_PRESSED | SHIFT_PRESSED));
  EXPECT_FALSE(W.PressKey(VK_F1, LEFT_ALT_PRESSED | LEFT_CTRL_PRESSED));
  EXPECT_FALSE(W.PressKey(VK_F1, LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED));
  EXPECT_FALSE(W.PressKey(VK_F4, LEFT_ALT_PRESSED));
}

TEST_F(SynchronizeDocumentTest, BlockConvertsLinesSelectedFromTheirFirstColumnAsWholeLines) {
  OpenDocument({Line(dtOlderRight, drTime, L"one.txt"), Line(dtFailedRight, drContents, L"two.txt"),
                Line(dtDifferent, drSize, L"data.bin.bak"), Line(dtDifferent, drSize, L"after.txt")});
  THostEditorWindow &W = Window();
  W.MoveCursor(HeaderLines + 3, 2);
  // From the start of the first line to the middle of the third: "data.bin" of "data.bin.bak".
  const intptr_t Cut = static_cast<intptr_t>(W.Line(HeaderLines + 2).find(L".bak"));
  W.SelectStream(HeaderLines, 0, HeaderLines + 2, Cut);
  const intptr_t Top = W.TopScreenLine();
  EXPECT_TRUE(W.PressKey(VK_F1, LEFT_ALT_PRESSED));
  EXPECT_EQ(Line(dtOlderLeft, drNone, L"one.txt"), W.Line(HeaderLines));
  // Failed lines are converted only one at a time.
  EXPECT_EQ(Line(dtFailedRight, drContents, L"two.txt"), W.Line(HeaderLines + 1));
  EXPECT_EQ(Line(dtOlderLeft, drNone, L"data.bin.bak"), W.Line(HeaderLines + 2));
  EXPECT_EQ(Line(dtDifferent, drSize, L"after.txt"), W.Line(HeaderLines + 3));
  EXPECT_EQ(HeaderLines + 3, W.CurLine());
  EXPECT_EQ(Top, W.TopScreenLine());
}

TEST_F(SynchronizeDocumentTest, ColumnBlockNotStartingInTheFirstColumnChangesNothing) {
  OpenDocument({Line(dtDifferent, drSize, L"a.txt"), Line(dtDifferent, drSize, L"b.txt")});
  THostEditorWindow &W = Window();
  W.SelectColumn(HeaderLines, HeaderLines + 1, 2, 8);
  EXPECT_TRUE(W.PressKey(VK_F2, LEFT_ALT_PRESSED));
  EXPECT_EQ(Line(dtDifferent, drSize, L"a.txt"), W.Line(HeaderLines));
  EXPECT_EQ(Line(dtDifferent, drSize, L"b.txt"), W.Line(HeaderLines + 1));
  W.SelectColumn(HeaderLines, HeaderLines + 1, 0, 3);
  EXPECT_TRUE(W.PressKey(VK_F2, LEFT_ALT_PRESSED));
  EXPECT_EQ(Line(dtOlderRight, drNone, L"a.txt"), W.Line(HeaderLines));
  EXPECT_EQ(Line(dtOlderRight, drNone, L"b.txt"), W.Line(HeaderLines + 1));
}

TEST_F(SynchronizeDocumentTest, CommandMenuListsTheTwelveCommandsAndRunsThePickedOne) {
  OpenDocument({Line(dtDifferent, drSize, L"a.txt")});
  Host.Script().PickMenuItem(1);
  Host.OpenFromEditor();
  EXPECT_EQ(Line(dtOlderRight, drNone, L"a.txt"), Window().Line(HeaderLines));
  ASSERT_EQ(1u, Host.Menus().size());
  const THostMenu &Menu = Host.Menus()[0];
  ASSERT_EQ(12u, Menu.Items.size());
  const int Expected[] = {74, 75, 76, 82, 83, 98, 116, 119, 122, 125, MMenuDeleteLeft, MMenuDeleteRight};
  for (size_t i = 0; i < 12; ++i)
    EXPECT_EQ(Host.Msg(Expected[i]), Menu.Items[i].Text) << i;
  EXPECT_EQ(Host.Msg(MTitle), Menu.Title.value_or(L""));
  EXPECT_EQ(L"Document", Menu.HelpTopic.value_or(L"")); // a topic of the help files

  // Cancelling does nothing; the menu from another editor is not offered at all.
  Host.Script().CancelMenu();
  Host.OpenFromEditor();
  EXPECT_EQ(Line(dtOlderRight, drNone, L"a.txt"), Window().Line(HeaderLines));
}

TEST_F(SynchronizeDocumentTest, NextDifferenceFindsLinesConcerningTheSideAndStopsAtTheLast) {
  OpenDocument({Line(dtMissingRight, drFile, L"r1"), Line(dtMissingLeft, drFile, L"l1"), L"not a line",
                Line(dtOlderRight, drTime, L"r2"), Line(dtDifferent, drSize, L"both")});
  THostEditorWindow &W = Window();
  EXPECT_EQ(HeaderLines, W.CurLine());
  EXPECT_TRUE(W.PressKey(VK_F5, LEFT_ALT_PRESSED));
  EXPECT_EQ(HeaderLines + 1, W.CurLine());
  EXPECT_TRUE(W.PressKey(VK_F5, LEFT_ALT_PRESSED));
  EXPECT_EQ(HeaderLines + 4, W.CurLine());
  // Nothing after the last one: the cursor stays and FAR gets the key.
  EXPECT_FALSE(W.PressKey(VK_F5, LEFT_ALT_PRESSED));
  EXPECT_EQ(HeaderLines + 4, W.CurLine());
  W.MoveCursor(HeaderLines, 0);
  EXPECT_TRUE(W.PressKey(VK_F6, LEFT_ALT_PRESSED));
  EXPECT_EQ(HeaderLines + 3, W.CurLine());
  EXPECT_TRUE(TSynchronizeTask::FindForEditor(-1)->ExecuteCommand(10));
  EXPECT_EQ(HeaderLines + 4, W.CurLine());
  EXPECT_FALSE(TSynchronizeTask::FindForEditor(-1)->ExecuteCommand(13));
  EXPECT_FALSE(TSynchronizeTask::FindForEditor(-1)->ExecuteCommand(0));
}

TEST_F(SynchronizeDocumentTest, GotoFileMovesThePanelOfThatSideToTheItem) {
  MakeDir(Right + L"\\sub");
  WriteFile(Right + L"\\sub\\x.txt", "x");
  WriteFile(Right + L"\\sub\\y.txt", "y");
  MakeDir(Left + L"\\dir");
  OpenDocument({Line(dtMissingLeft, drFile, L"sub\\y.txt"), Line(dtMissingRight, drFile, L"dir", true),
                Line(dtMissingLeft, drFile, L"gone.txt")});
  THostEditorWindow &W = Window();
  EXPECT_TRUE(W.PressKey(VK_F6, LEFT_CTRL_PRESSED));
  EXPECT_EQ(Right + L"\\sub", HostPanels().Panel(THostSide::Right).Folder);
  EXPECT_EQ(L"y.txt", HostPanels().CurrentName(THostSide::Right));
  EXPECT_EQ(THostSide::Right, HostPanels().ActiveSide());

  // A directory item: the panel goes into it.
  Editors().Find(W.Id())->Activate();
  W.MoveCursor(HeaderLines + 1, 0);
  EXPECT_TRUE(W.PressKey(VK_F5, LEFT_CTRL_PRESSED));
  EXPECT_EQ(Left + L"\\dir", HostPanels().Panel(THostSide::Left).Folder);
  EXPECT_EQ(THostSide::Left, HostPanels().ActiveSide());

  // A file that is not there: nothing found, FAR gets the key.
  Editors().Find(W.Id())->Activate();
  W.MoveCursor(HeaderLines + 2, 0);
  EXPECT_FALSE(W.PressKey(VK_F6, LEFT_CTRL_PRESSED));
}

TEST_F(SynchronizeDocumentTest, FileInfoShowsSizesAndTimesOfBothSides) {
  WriteFile(Left + L"\\f.bin", std::string(1234567, 'x'));
  OpenDocument({Line(dtMissingRight, drFile, L"f.bin")});
  Host.Script().AnswerMessage(0, Host.Msg(MFileInfoHeading));
  EXPECT_TRUE(Window().PressKey(VK_F3, LEFT_CTRL_PRESSED));
  ASSERT_FALSE(Host.Messages().empty());
  const THostMessage &M = Host.Messages().back();
  ASSERT_EQ(11u, M.Items.size());
  EXPECT_EQ(Host.Msg(MTitle), M.Items[0]);
  EXPECT_EQ(Host.Msg(MFileInfoHeading), M.Items[1]);
  EXPECT_EQ(63u, M.Items[2].size());
  EXPECT_EQ(0u, M.Items[2].find(L"f.bin"));
  EXPECT_EQ(Format(L"%-20.20s %20.20s %20.20s", {L"", Host.Msg(MFileInfoLeft), Host.Msg(MFileInfoRight)}),
            M.Items[4]);
  wchar_t Separator[8] = L",";
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, Separator, 8);
  const std::wstring S = Separator;
  EXPECT_EQ(Format(L"%-20.20s %20.20s %20.20s", {Host.Msg(MFileInfoSize), L"1" + S + L"234" + S + L"567",
                                                 Host.Msg(MFileInfoNotAvailable)}),
            M.Items[5]);
  // The modification time in local time, as the user reads it.
  WIN32_FILE_ATTRIBUTE_DATA Data{};
  ASSERT_TRUE(::GetFileAttributesExW((Left + L"\\f.bin").c_str(), GetFileExInfoStandard, &Data));
  FILETIME Local;
  SYSTEMTIME T;
  ::FileTimeToLocalFileTime(&Data.ftLastWriteTime, &Local);
  ::FileTimeToSystemTime(&Local, &T);
  wchar_t Expected[32];
  swprintf(Expected, 32, L"%02d.%02d.%04d %02d:%02d:%02d", T.wDay, T.wMonth, T.wYear, T.wHour, T.wMinute,
           T.wSecond);
  EXPECT_EQ(Format(L"%-20.20s %20.20s %20.20s",
                   {Host.Msg(MFileInfoLastWriteTime), Expected, Host.Msg(MFileInfoNotAvailable)}),
            M.Items[7]);
  EXPECT_EQ(Host.Msg(MOk), M.Items[10]);
}

TEST_F(SynchronizeDocumentTest, FileInfoGivesHugeSizesInMebibytes) {
  WriteFile(Left + L"\\huge.bin", "");
  HANDLE File =
      ::CreateFileW((Left + L"\\huge.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, File);
  DWORD Returned = 0;
  ::DeviceIoControl(File, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &Returned, nullptr);
  LARGE_INTEGER Size;
  Size.QuadPart = 2000000000000LL;
  const bool Grown = ::SetFilePointerEx(File, Size, nullptr, FILE_BEGIN) && ::SetEndOfFile(File);
  ::CloseHandle(File);
  if (!Grown)
    GTEST_SKIP() << "no room for a sparse file of 2 TB";
  OpenDocument({Line(dtMissingRight, drFile, L"huge.bin")});
  Host.Script().AnswerMessage(0, Host.Msg(MFileInfoHeading));
  EXPECT_TRUE(Window().PressKey(VK_F3, RIGHT_CTRL_PRESSED));
  wchar_t Separator[8] = L",";
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, Separator, 8);
  EXPECT_EQ(Format(L"%-20.20s %20.20s %20.20s",
                   {Host.Msg(MFileInfoSize), std::wstring(L"1") + Separator + L"907" + Separator + L"348 MiB",
                    Host.Msg(MFileInfoNotAvailable)}),
            Host.Messages().back().Items.at(5));
}

TEST_F(SynchronizeDocumentTest, CommandsOnALineThatIsNoDifferenceFallThroughToFar) {
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  THostEditorWindow &W = Window();
  W.MoveCursor(0, 0);
  for (WORD Key : {VK_F1, VK_F2, VK_F3, VK_F5, VK_F6})
    EXPECT_FALSE(W.PressKey(Key, LEFT_CTRL_PRESSED)) << Key;
  EXPECT_FALSE(W.PressKey(VK_F3, LEFT_ALT_PRESSED));
  EXPECT_TRUE(Host.Messages().empty());
}

TEST_F(SynchronizeDocumentTest, EditFileOpensTheSidesFileInANewEditor) {
  WriteFile(Right + L"\\e.txt", "text");
  OpenDocument({Line(dtMissingLeft, drFile, L"e.txt")});
  EXPECT_TRUE(Window().PressKey(VK_F2, LEFT_CTRL_PRESSED));
  ASSERT_GE(Editors().Calls().size(), 2u);
  const THostEditorCall &Call = Editors().Calls().back();
  EXPECT_EQ(Right + L"\\e.txt", Call.FileName);
  EXPECT_EQ(EDITOR_FLAGS(EF_NONMODAL | EF_IMMEDIATERETURN), Call.Flags);
  EXPECT_EQ(uintptr_t(-1), Call.CodePage);
}

TEST_F(SynchronizeDocumentTest, CompareWithoutConfiguredArgumentsWarns) {
  {
    TVelmoraOptions Options;
    Options.Load();
    Options.CompareCommandArguments.clear();
    Options.Save();
  }
  OpenDocument({Line(dtDifferent, drSize, L"a.txt")});
  Host.Script().AnswerMessage(0, Host.Msg(MNoCompareCommandText));
  EXPECT_TRUE(Window().PressKey(VK_F3, LEFT_ALT_PRESSED));
  EXPECT_EQ(1u, Host.Messages().size());
}
