// The comparison dialog: its layout at 80 columns, the enabling chains while the user clicks, the
// stored and the effective values after OK, and Cancel leaving everything as it was.

#include "DiscoverDifferencesDialog.h"
#include "FarPanel.h"
#include "HostDialogs.h"
#include "HostInProcess.h"
#include "HostPanels.h"
#include "Velmora.h"
#include "VelmoraMessages.h"

#include <gtest/gtest.h>

namespace {

using TControl = TFarDialog::TControl;

class DiscoverDifferencesDialogTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    for (const wchar_t *Side : {L"\\left", L"\\right"}) {
      std::wstring Folder = Host.TempFolder() + Side;
      CreateDirectoryW(Folder.c_str(), nullptr);
      HANDLE File =
          CreateFileW((Folder + L"\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, File);
      CloseHandle(File);
    }
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Left, Host.TempFolder() + L"\\left"));
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Right, Host.TempFolder() + L"\\right"));
  }
  void TearDown() override {
    // The dialog and the snapshots go while the plug-in object still exists.
    Dialog.reset();
    Left.reset();
    Right.reset();
    for (const wchar_t *Side : {L"\\left", L"\\right"}) {
      DeleteFileW((Host.TempFolder() + Side + L"\\file.txt").c_str());
      RemoveDirectoryW((Host.TempFolder() + Side).c_str());
    }
    TInProcessPluginTest<TVelmoraPlugin>::TearDown();
  }

  // Snapshots of the panels as a comparison run takes them, and the dialog over them.
  void Open() {
    Left = std::make_unique<TFarPanel>(true, true);
    Right = std::make_unique<TFarPanel>(false, true);
    Dialog = std::make_unique<TDiscoverDifferencesDialog>();
    Dialog->Options = &Options;
    Dialog->LeftPanel = Left.get();
    Dialog->RightPanel = Right.get();
  }
  THostDialogUser User() { return THostDialogUser(Host.Script()); }
  // Whether FAR shows the control enabled, while the dialog runs.
  static bool Enabled(THostDialog &Live, const TControl *Control) {
    return (Live.Items[Control->GetIndex()].Item.Flags & DIF_DISABLE) == 0;
  }
  static bool Checked(THostDialog &Live, const TControl *Control) {
    return Live.Items[Control->GetIndex()].Item.Selected != 0;
  }

  TVelmoraOptions Options;
  std::unique_ptr<TFarPanel> Left, Right;
  std::unique_ptr<TDiscoverDifferencesDialog> Dialog;
};

TEST_F(DiscoverDifferencesDialogTest, At80ColumnsTheControlsStandOnTheirRows) {
  Open();
  ASSERT_TRUE(Dialog->Build());
  int Left, Top, Width, Height;
  Dialog->GetBounds(Left, Top, Width, Height);
  EXPECT_EQ(66, Width);
  EXPECT_EQ(25, Height);
  auto &D = *Dialog;
  struct TRow {
    const TControl *Control;
    int Left, Top;
  };
  // r = 2, the first row inside the frame; the client area starts at column 5. The masks fields
  // come after their labels in item order and stand right of them.
  const TRow Rows[] = {{D.ScanLabel, 5, 2},
                       {D.ProcessSubfoldersCheckbox, 5, 3},
                       {D.UseMaxScanDepthCheckbox, 9, 4},
                       {D.ProcessSelectedCheckbox, 5, 5},
                       {D.IncludeMasksEdit, 14, 6},
                       {D.ExcludeMasksEdit, 14, 7},
                       {D.ScanSeparator, 5, 8},
                       {D.CompareLabel, 5, 9},
                       {D.CompareFileNameCaseCheckbox, 5, 10},
                       {D.CompareTimeCheckbox, 5, 11},
                       {D.LowPrecisionTimeCheckbox, 9, 12},
                       {D.IgnoreTimeZoneCheckbox, 9, 13},
                       {D.CompareSizeCheckbox, 5, 14},
                       {D.CompareContentsCheckbox, 5, 15},
                       {D.CompareContentsIgnoreCheckbox, 9, 16},
                       {D.IgnoreNewLinesRadio, 13, 17},
                       {D.IgnoreWhitespaceRadio, 13, 18},
                       {D.SelectSeparator, 5, 19},
                       {D.SelectBothCheckbox, 5, 20}};
  int Index = 1;
  for (const auto &Row : Rows) {
    if (Row.Control == D.IncludeMasksEdit || Row.Control == D.ExcludeMasksEdit)
      ++Index; // the label comes first
    EXPECT_EQ(Row.Left, Row.Control->GetLeft()) << "item " << Index;
    EXPECT_EQ(Row.Top, Row.Control->GetTop()) << "item " << Index;
    // Everything stretches to the client area's right edge, column 60.
    EXPECT_EQ(60, Row.Control->GetLeft() + Row.Control->GetWidth() - 1) << "item " << Index;
    EXPECT_EQ(Index, Row.Control->GetIndex());
    ++Index;
    if (Row.Control == D.UseMaxScanDepthCheckbox)
      ++Index; // the depth field comes next in item order
  }
  EXPECT_EQ(L"Velmora3.IncludeMasks", D.IncludeMasksEdit->GetHistory());
  // The depth field: right of its check box's text, two columns apart, six wide.
  EXPECT_EQ(4, D.MaxScanDepthEdit->GetTop());
  EXPECT_EQ(9 + D.UseMaxScanDepthCheckbox->GetDisplayWidth() + 2, D.MaxScanDepthEdit->GetLeft());
  EXPECT_EQ(6, D.MaxScanDepthEdit->GetWidth());
  EXPECT_EQ(5u, D.MaxScanDepthEdit->GetMaxLength());
  EXPECT_EQ(L"99999", D.MaxScanDepthEdit->GetMask());
  EXPECT_EQ(21, D.GetButtonSeparator()->GetTop());
  EXPECT_EQ(22, D.GetOkButton()->GetTop());
  EXPECT_EQ(Host.Msg(MDiscoverProcessSubfolders), D.ProcessSubfoldersCheckbox->GetText());
  EXPECT_EQ(Host.Msg(MDiscoverSelectOnBothPanels), D.SelectBothCheckbox->GetText());
}

TEST_F(DiscoverDifferencesDialogTest, ParentsEnableTheirChildrenAsTheUserClicks) {
  Options.ProcessSubfolders = false;
  Options.UseMaxScanDepth = true;
  Options.CompareContents = true;
  Options.CompareContentsIgnore = true;
  Open();
  auto &D = *Dialog;
  User()
      .Inspect([&](THostDialog &Live) {
        EXPECT_TRUE(Enabled(Live, D.ProcessSubfoldersCheckbox));
        // Checked but disabled: its parent is off.
        EXPECT_TRUE(Checked(Live, D.UseMaxScanDepthCheckbox));
        EXPECT_FALSE(Enabled(Live, D.UseMaxScanDepthCheckbox));
        EXPECT_FALSE(Enabled(Live, D.MaxScanDepthEdit));
        EXPECT_TRUE(Enabled(Live, D.LowPrecisionTimeCheckbox));
        EXPECT_TRUE(Enabled(Live, D.IgnoreNewLinesRadio));
      })
      .Check(D.ProcessSubfoldersCheckbox->GetIndex())
      .Inspect([&](THostDialog &Live) {
        EXPECT_TRUE(Enabled(Live, D.UseMaxScanDepthCheckbox));
        EXPECT_TRUE(Enabled(Live, D.MaxScanDepthEdit));
      })
      .Clear(D.UseMaxScanDepthCheckbox->GetIndex())
      .Inspect([&](THostDialog &Live) { EXPECT_FALSE(Enabled(Live, D.MaxScanDepthEdit)); })
      .Clear(D.CompareTimeCheckbox->GetIndex())
      .Inspect([&](THostDialog &Live) {
        // Both time details go at once and keep their marks.
        EXPECT_FALSE(Enabled(Live, D.LowPrecisionTimeCheckbox));
        EXPECT_FALSE(Enabled(Live, D.IgnoreTimeZoneCheckbox));
        EXPECT_TRUE(Checked(Live, D.LowPrecisionTimeCheckbox));
        EXPECT_TRUE(Checked(Live, D.IgnoreTimeZoneCheckbox));
      })
      .Clear(D.CompareContentsCheckbox->GetIndex())
      .Inspect([&](THostDialog &Live) {
        // The chain runs down two levels.
        EXPECT_FALSE(Enabled(Live, D.CompareContentsIgnoreCheckbox));
        EXPECT_FALSE(Enabled(Live, D.IgnoreNewLinesRadio));
        EXPECT_FALSE(Enabled(Live, D.IgnoreWhitespaceRadio));
      })
      .Check(D.CompareContentsCheckbox->GetIndex())
      .Clear(D.CompareContentsIgnoreCheckbox->GetIndex())
      .Inspect([&](THostDialog &Live) {
        EXPECT_TRUE(Enabled(Live, D.CompareContentsIgnoreCheckbox));
        EXPECT_FALSE(Enabled(Live, D.IgnoreNewLinesRadio));
        // The always-enabled ones.
        EXPECT_TRUE(Enabled(Live, D.CompareTimeCheckbox));
        EXPECT_TRUE(Enabled(Live, D.CompareSizeCheckbox));
        EXPECT_TRUE(Enabled(Live, D.CompareFileNameCaseCheckbox));
        EXPECT_TRUE(Enabled(Live, D.SelectBothCheckbox));
      })
      .Escape();
  EXPECT_FALSE(Dialog->EditOptions());
}

TEST_F(DiscoverDifferencesDialogTest, OkStoresTheTickedValuesAndWorksWithTheEffectiveOnes) {
  Options.ProcessSubfolders = false;
  Options.UseMaxScanDepth = true;
  Options.MaxScanDepth = 12;
  Options.IgnoreNewLines = true;
  Options.IgnoreWhitespace = true;
  Open();
  auto &D = *Dialog;
  User()
      .Inspect([&](THostDialog &Live) {
        // Both ignoring modes stored: line breaks win.
        EXPECT_TRUE(Checked(Live, D.IgnoreNewLinesRadio));
        EXPECT_FALSE(Checked(Live, D.IgnoreWhitespaceRadio));
        EXPECT_EQ(L"12", Live.Items[D.MaxScanDepthEdit->GetIndex()].Data);
      })
      .Clear(D.CompareSizeCheckbox->GetIndex())
      .Check(D.SelectBothCheckbox->GetIndex())
      .Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  // What the settings store will get: the boxes as ticked.
  EXPECT_TRUE(Options.UseMaxScanDepth);
  EXPECT_FALSE(Options.ProcessSubfolders);
  EXPECT_FALSE(Options.CompareSize);
  EXPECT_TRUE(Options.SelectDifferencesOnBothPanels);
  EXPECT_EQ(12, Options.MaxScanDepth);
  EXPECT_TRUE(Options.IgnoreNewLines);
  EXPECT_FALSE(Options.IgnoreWhitespace);
  // What the run uses: an option whose parent is off counts as off.
  TVelmoraOptions &Working = Dialog->GetWorkingOptions();
  EXPECT_FALSE(Working.UseMaxScanDepth);
  EXPECT_FALSE(Working.CompareContentsIgnore);
  EXPECT_FALSE(Working.IgnoreNewLines);
  EXPECT_TRUE(Working.LowPrecisionTime);
  EXPECT_FALSE(Working.CompareSize);
  EXPECT_EQ(0, Working.GetScanDepth());
}

TEST_F(DiscoverDifferencesDialogTest, TheSelectionDecidesTheSelectedItemsBox) {
  Options.ProcessSelected = true;
  Open();
  User()
      .Inspect([&](THostDialog &Live) {
        EXPECT_FALSE(Checked(Live, Dialog->ProcessSelectedCheckbox));
        EXPECT_FALSE(Enabled(Live, Dialog->ProcessSelectedCheckbox));
      })
      .Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  EXPECT_FALSE(Options.ProcessSelected);

  ASSERT_TRUE(HostPanels().Select(THostSide::Right, L"file.txt"));
  Options.ProcessSelected = false;
  Open();
  User()
      .Inspect([&](THostDialog &Live) {
        EXPECT_TRUE(Checked(Live, Dialog->ProcessSelectedCheckbox));
        EXPECT_TRUE(Enabled(Live, Dialog->ProcessSelectedCheckbox));
      })
      .Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  EXPECT_TRUE(Options.ProcessSelected);
  EXPECT_TRUE(Dialog->GetWorkingOptions().ProcessSelected);
}

TEST_F(DiscoverDifferencesDialogTest, APluginPanelDisablesTheWalkAndTheContents) {
  GUID Owner = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  HostPanels().SetPluginPanel(THostSide::Left, Owner);
  Options.ProcessSubfolders = true;
  Options.UseMaxScanDepth = true;
  Options.CompareContents = true;
  Options.CompareContentsIgnore = true;
  Open();
  auto &D = *Dialog;
  User()
      .Inspect([&](THostDialog &Live) {
        for (const TControl *Control :
             {(const TControl *)D.ProcessSubfoldersCheckbox, (const TControl *)D.UseMaxScanDepthCheckbox,
              (const TControl *)D.MaxScanDepthEdit, (const TControl *)D.CompareContentsCheckbox,
              (const TControl *)D.CompareContentsIgnoreCheckbox, (const TControl *)D.IgnoreNewLinesRadio})
          EXPECT_FALSE(Enabled(Live, Control)) << "item " << Control->GetIndex();
      })
      .Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  EXPECT_TRUE(Options.ProcessSubfolders);
  EXPECT_FALSE(Dialog->GetWorkingOptions().ProcessSubfolders);
  EXPECT_FALSE(Dialog->GetWorkingOptions().CompareContents);
  EXPECT_EQ(0, Dialog->GetWorkingOptions().GetScanDepth());
}

TEST_F(DiscoverDifferencesDialogTest, TheDepthFieldTakesOnlyNumbers) {
  Options.ProcessSubfolders = true;
  Options.UseMaxScanDepth = true;
  Options.MaxScanDepth = 5;
  Open();
  User().Type(Dialog->MaxScanDepthEdit->GetIndex(), L"").Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  // Emptied by the user: the depth stays as it was.
  EXPECT_EQ(5, Options.MaxScanDepth);
  EXPECT_EQ(5, Dialog->GetWorkingOptions().MaxScanDepth);

  Open();
  User().Type(Dialog->MaxScanDepthEdit->GetIndex(), L"1234567").Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  // FAR keeps at most five characters.
  EXPECT_EQ(12345, Options.MaxScanDepth);
  EXPECT_EQ(12345, Dialog->GetWorkingOptions().GetScanDepth());

  // The mask allows digits only: a sign or letters leave the depth as it was.
  for (const wchar_t *Text : {L"-3", L"4a", L"+2"}) {
    Open();
    User().Type(Dialog->MaxScanDepthEdit->GetIndex(), Text).Press(Host.Msg(MOk));
    ASSERT_TRUE(Dialog->EditOptions());
    EXPECT_EQ(12345, Options.MaxScanDepth) << HostUtf8(Text);
  }
  Open();
  User().Type(Dialog->MaxScanDepthEdit->GetIndex(), L" 0 ").Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  EXPECT_EQ(0, Options.MaxScanDepth);
}

TEST_F(DiscoverDifferencesDialogTest, InvalidMasksAreShownAndKeepTheDialogOpen) {
  Options.ExcludeMasks = L"obj";
  Open();
  // A regular expression FAR cannot read: the user sees which masks and mends the field.
  User().Type(Dialog->IncludeMasksEdit->GetIndex(), L"/(/").Press(Host.Msg(MOk));
  Host.Script().AnswerMessage(0);
  User().Type(Dialog->IncludeMasksEdit->GetIndex(), L"*.c,*.h").Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog->EditOptions());
  ASSERT_EQ(1u, Host.Messages().size());
  EXPECT_EQ(Host.Msg(MInvalidMasks) + L"\n/(/", Host.Messages()[0].Body());
  EXPECT_EQ(L"*.c,*.h", Options.IncludeMasks);
  EXPECT_EQ(L"*.c,*.h", Dialog->GetWorkingOptions().IncludeMasks);
  EXPECT_EQ(L"obj", Options.ExcludeMasks);
}

TEST_F(DiscoverDifferencesDialogTest, CancelChangesNothing) {
  Options.CompareSize = true;
  Open();
  User()
      .Clear(Dialog->CompareSizeCheckbox->GetIndex())
      .Check(Dialog->ProcessSubfoldersCheckbox->GetIndex())
      .Press(Host.Msg(MCancel));
  EXPECT_FALSE(Dialog->EditOptions());
  EXPECT_TRUE(Options.CompareSize);
  EXPECT_FALSE(Options.ProcessSubfolders);
}

} // namespace
