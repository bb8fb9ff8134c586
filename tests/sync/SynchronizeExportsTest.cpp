// The whole road through the plug-in DLL as FAR drives it: the comparison from the plug-ins menu
// opens the differences document, its keys and command menu arrive through ProcessEditorInputW
// and OpenW, and closing it through ProcessEditorEventW synchronises the folders.

#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostPanels.h"
#include "HostSettings.h"
#include "HostTest.h"
#include "Velmora.h"
#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SynchronizeExportsTest : public TStartedPluginTest {
protected:
  void SetUp() override {
    TStartedPluginTest::SetUp();
    // The message at the end of each run is tested on its own.
    HostSettings().SetNumber(VelmoraPluginGuid, L"", L"ShowRunSummary", 0);
    Left = Scratch / L"left";
    Right = Scratch / L"right";
    CreateDirectoryW(Left.c_str(), nullptr);
    CreateDirectoryW(Right.c_str(), nullptr);
  }
  static intptr_t FindLine(const THostEditorWindow &W, const std::wstring &Suffix) {
    for (size_t i = 0; i < W.LineCount(); ++i)
      if (W.Line(i).size() >= Suffix.size() &&
          W.Line(i).compare(W.Line(i).size() - Suffix.size(), Suffix.size(), Suffix) == 0)
        return static_cast<intptr_t>(i);
    return -1;
  }
  TScratchFolder Scratch;
  std::wstring Left, Right;
};

} // namespace

TEST_F(SynchronizeExportsTest, CompareReviewAndSynchroniseThroughTheExports) {
  WriteBytes(Left + L"\\only-left.txt", "L");
  WriteBytes(Right + L"\\only-right.txt", "R");
  WriteBytes(Left + L"\\size.txt", "the left one");
  WriteBytes(Right + L"\\size.txt", "right");
  SetWriteTime(Left + L"\\size.txt", 133000000000000000LL);
  SetWriteTime(Right + L"\\size.txt", 133000000000000000LL);
  WriteBytes(Left + L"\\kept.txt", "left kept");
  WriteBytes(Right + L"\\kept.txt", "right");
  SetWriteTime(Left + L"\\kept.txt", 133000000000000000LL);
  SetWriteTime(Right + L"\\kept.txt", 133000000000000000LL);

  // The panels show the folders as they are now.
  HostPanels().SetFolder(THostSide::Left, Left);
  HostPanels().SetFolder(THostSide::Right, Right);
  THostDialogUser(Host.Script()).Press(L"OK");
  Host.OpenFromPluginsMenu();
  THostEditorWindow *Document = THostEditor::Of(Host).Current();
  ASSERT_NE(nullptr, Document);
  const intptr_t SizeLine = FindLine(*Document, L"\tsize.txt");
  const intptr_t KeptLine = FindLine(*Document, L"\tkept.txt");
  ASSERT_GE(SizeLine, 0);
  ASSERT_GE(KeptLine, 0);
  EXPECT_EQ(L"<-->", Document->Line(size_t(SizeLine)).substr(0, 4));

  // A key for one line, the command menu for the other (its second item: towards the right).
  Document->MoveCursor(SizeLine, 0);
  EXPECT_TRUE(Document->PressKey(VK_F2, LEFT_ALT_PRESSED));
  EXPECT_EQ(L"--->", Document->Line(size_t(SizeLine)).substr(0, 4));
  Document->MoveCursor(KeptLine, 0);
  Host.Script().PickMenuItem(0);
  Host.OpenFromEditor();
  EXPECT_EQ(L"<---", Document->Line(size_t(KeptLine)).substr(0, 4));
  Document->DeleteLine(size_t(KeptLine));
  ASSERT_TRUE(Document->Save());

  THostDialogUser(Host.Script()).Clear(L"Confirm overwriting on the right").Press(L"OK");
  Document->Close();
  EXPECT_EQ(0u, THostEditor::Of(Host).OpenCount());
  EXPECT_EQ("L", ReadBytes(Right + L"\\only-left.txt"));
  EXPECT_EQ("R", ReadBytes(Left + L"\\only-right.txt"));
  EXPECT_EQ("the left one", ReadBytes(Right + L"\\size.txt"));
  EXPECT_EQ("right", ReadBytes(Right + L"\\kept.txt"));
  EXPECT_EQ("left kept", ReadBytes(Left + L"\\kept.txt"));
}
