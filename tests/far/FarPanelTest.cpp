// Panel snapshots against the host's panels over real folders: what a snapshot holds, selection
// that reaches FAR only through ApplySelection, directory and cursor changes, refusals.

#include "FarPanel.h"
#include "HostFolder.h"
#include "HostInProcess.h"
#include "HostPanels.h"
#include "Velmora.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A fresh folder under the temporary directory, removed with its contents.
class TPanelFolder : public THostFolder {
public:
  TPanelFolder() : THostFolder(L"panel") {}
};

class FarPanelTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    Left.File(L"a.txt", "abc");
    Left.File(L"B.txt", "0123456789");
    Left.Folder(L"sub");
    ASSERT_TRUE(Panels().SetFolder(THostSide::Left, Left.Path()));
    ASSERT_TRUE(Panels().SetFolder(THostSide::Right, Right.Path()));
    Panels().SetActiveSide(THostSide::Left);
  }
  THostPanels &Panels() { return Host.Part<THostPanels>(); }
  THostPanel &HostLeft() { return Panels().Panel(THostSide::Left); }

  TPanelFolder Left, Right;
};

TEST_F(FarPanelTest, ASnapshotHoldsThePanelStateItsDirectoryAndItsItemsInFarOrder) {
  TFarPanel Panel(true, true);
  EXPECT_EQ(Panel.GetHandle(), PANEL_ACTIVE);
  EXPECT_TRUE(Panel.GetItemsLoaded());
  EXPECT_TRUE(Panel.HasFlag(PFLAGS_PANELLEFT));
  EXPECT_FALSE(Panel.IsPluginPanel());
  EXPECT_EQ(Panel.GetPanelType(), PTYPE_FILEPANEL);
  EXPECT_EQ(Panel.GetDirectoryName(), Left.Path());
  EXPECT_EQ(Panel.GetDirectoryParam(), L"");
  EXPECT_EQ(Panel.GetDirectoryFile(), L"");
  ASSERT_EQ(Panel.Count(), 4u);
  EXPECT_EQ(Panel.Item(0).FileName, L"..");
  EXPECT_EQ(Panel.Item(1).FileName, L"sub");
  EXPECT_TRUE(Panel.Item(1).FileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(Panel.Item(2).FileName, L"a.txt");
  EXPECT_EQ(Panel.Item(2).FileSize, 3u);
  EXPECT_EQ(Panel.Item(3).FileName, L"B.txt");
  EXPECT_EQ(Panel.Item(3).FileSize, 10u);
  for (size_t I = 0; I < Panel.Count(); ++I) {
    EXPECT_EQ(Panel.Item(I).Index, I);
    EXPECT_EQ(Panel.Item(I).Panel, &Panel);
  }

  WIN32_FILE_ATTRIBUTE_DATA Disk{};
  ASSERT_TRUE(GetFileAttributesExW(Left.Sub(L"B.txt").c_str(), GetFileExInfoStandard, &Disk));
  EXPECT_EQ(CompareFileTime(&Panel.Item(3).LastWriteTime, &Disk.ftLastWriteTime), 0);
  EXPECT_EQ(CompareFileTime(&Panel.Item(3).CreationTime, &Disk.ftCreationTime), 0);
  EXPECT_EQ(CompareFileTime(&Panel.Item(3).LastAccessTime, &Disk.ftLastAccessTime), 0);
  EXPECT_NE(Panel.Item(3).ChangeTime.dwHighDateTime, 0u);
  EXPECT_GE(Panel.Item(3).AllocationSize, Panel.Item(3).FileSize);
  EXPECT_EQ(Panel.Item(3).FileAttributes, Disk.dwFileAttributes);
  EXPECT_THROW(Panel.Item(4), EFarError);
}

TEST_F(FarPanelTest, ThePassivePanelIsTheOtherSideAndWithoutItemsOnlyItsStateIsRead) {
  TFarPanel Passive(false, false);
  EXPECT_EQ(Passive.GetHandle(), PANEL_PASSIVE);
  EXPECT_FALSE(Passive.HasFlag(PFLAGS_PANELLEFT));
  EXPECT_FALSE(Passive.GetItemsLoaded());
  EXPECT_EQ(Passive.Count(), 0u);
  EXPECT_EQ(Passive.GetDirectoryName(), Right.Path());

  Panels().SetActiveSide(THostSide::Right);
  TFarPanel Active(true, true);
  EXPECT_FALSE(Active.HasFlag(PFLAGS_PANELLEFT));
  ASSERT_EQ(Active.Count(), 1u);
  EXPECT_EQ(Active.Item(0).FileName, L"..");
}

TEST_F(FarPanelTest, SelectionReachesFarOnlyThroughApplySelection) {
  ASSERT_TRUE(Panels().Select(THostSide::Left, L"B.txt"));
  TFarPanel Panel(true, true);
  EXPECT_TRUE(Panel.AnySelected());
  EXPECT_TRUE(Panel.Item(3).IsSelected());

  Panel.Item(3).SetFlag(PPIF_SELECTED, false);
  Panel.Item(2).SetFlag(PPIF_SELECTED, true);
  Panel.Item(1).SetFlag(PPIF_SELECTED, true);
  EXPECT_EQ(Panels().SelectedNames(THostSide::Left), std::vector<std::wstring>{L"B.txt"});

  size_t Redraws = HostLeft().Redraws;
  Panel.ApplySelection();
  EXPECT_EQ(Panels().SelectedNames(THostSide::Left), (std::vector<std::wstring>{L"sub", L"a.txt"}));
  EXPECT_EQ(HostLeft().SelectionBatches, 1u);
  EXPECT_EQ(HostLeft().OpenBatches, 0u);
  EXPECT_EQ(HostLeft().SelectionCalls, 4u);
  EXPECT_EQ(HostLeft().Redraws, Redraws + 1);
}

TEST_F(FarPanelTest, AnEmptyPanelStillBracketsItsSelectionAndRedraws) {
  Panels().SetPanelType(THostSide::Left, PTYPE_TREEPANEL);
  TFarPanel Panel(true, true);
  EXPECT_EQ(Panel.GetPanelType(), PTYPE_TREEPANEL);
  EXPECT_EQ(Panel.Count(), 0u);
  EXPECT_FALSE(Panel.AnySelected());
  Panel.ApplySelection();
  EXPECT_EQ(HostLeft().SelectionBatches, 1u);
  EXPECT_EQ(HostLeft().OpenBatches, 0u);
  EXPECT_EQ(HostLeft().SelectionCalls, 0u);
  EXPECT_EQ(HostLeft().Redraws, 1u);
}

TEST_F(FarPanelTest, FindItemComparesCaseOnlyWhenAsked) {
  TFarPanel Panel(true, true);
  size_t Index = 99;
  EXPECT_TRUE(Panel.FindItem(L"b.TXT", Index, false));
  EXPECT_EQ(Index, 3u);
  Index = 99;
  EXPECT_FALSE(Panel.FindItem(L"b.TXT", Index, true));
  EXPECT_EQ(Index, 99u);
  EXPECT_TRUE(Panel.FindItem(L"B.txt", Index, true));
  EXPECT_EQ(Index, 3u);
  EXPECT_FALSE(Panel.FindItem(L"nothing", Index, false));
}

TEST_F(FarPanelTest, ARefusedRefreshKeepsThePreviousSnapshot) {
  TFarPanel Panel(true, true);
  HostLeft().RefusePanelInfo = true;
  Panels().SetFolder(THostSide::Left, Right.Path());
  Panel.Refresh(PANEL_ACTIVE, true);
  EXPECT_EQ(Panel.Count(), 4u);
  EXPECT_EQ(Panel.GetDirectoryName(), Left.Path());
  EXPECT_EQ(Panel.Item(2).FileName, L"a.txt");
}

TEST_F(FarPanelTest, SetDirectoryChangesThePanelAndRereadsTheSnapshot) {
  TFarPanel Panel(true, true);
  Panel.Item(2).SetFlag(PPIF_SELECTED, true);
  EXPECT_TRUE(Panel.SetDirectory(Left.Sub(L"sub")));
  EXPECT_EQ(HostLeft().Folder, Left.Sub(L"sub"));
  EXPECT_EQ(Panel.GetDirectoryName(), Left.Sub(L"sub"));
  ASSERT_EQ(Panel.Count(), 1u);
  EXPECT_EQ(Panel.Item(0).FileName, L"..");

  EXPECT_FALSE(Panel.SetDirectory(Left.Sub(L"no such folder")));
  EXPECT_EQ(Panel.GetDirectoryName(), Left.Sub(L"sub"));

  // Back up by a relative name: the cursor lands on the folder just left, as in FAR.
  EXPECT_TRUE(Panel.SetDirectory(L".."));
  EXPECT_EQ(Panel.GetDirectoryName(), Left.Path());
  EXPECT_EQ(Panel.GetCurrentItem(), 1u);
  EXPECT_EQ(Panel.Item(1).FileName, L"sub");
}

TEST_F(FarPanelTest, SetCurrentItemMovesFarsCursorAndTheSnapshotFollows) {
  TFarPanel Panel(true, true);
  EXPECT_EQ(Panel.GetCurrentItem(), 0u);
  EXPECT_TRUE(Panel.SetCurrentItem(3));
  EXPECT_EQ(HostLeft().CurrentItem, 3u);
  EXPECT_EQ(Panel.GetCurrentItem(), 3u);
  EXPECT_EQ(Panels().CurrentName(THostSide::Left), L"B.txt");
}

TEST_F(FarPanelTest, UpdateRereadsTheDiskAndKeepsTheSelection) {
  TFarPanel Panel(true, true);
  Panels().Select(THostSide::Left, L"a.txt");
  Left.File(L"c.txt", "new");
  Panel.Update();
  EXPECT_EQ(HostLeft().Updates, 1u);
  ASSERT_EQ(Panel.Count(), 5u);
  EXPECT_EQ(Panel.Item(4).FileName, L"c.txt");
  EXPECT_TRUE(Panel.Item(2).IsSelected());

  Left.File(L"d.txt", "");
  TFarPanel::UpdatePanel(false);
  EXPECT_EQ(Panels().Panel(THostSide::Right).Updates, 1u);
  TFarPanel::UpdatePanel(true);
  EXPECT_EQ(HostLeft().Updates, 2u);
  EXPECT_GE(Panels().IndexOf(THostSide::Left, L"d.txt"), 0);
  EXPECT_EQ(Panels().SelectedNames(THostSide::Left), std::vector<std::wstring>{L"a.txt"});
}

TEST_F(FarPanelTest, SetActiveMakesThePassivePanelTheActiveOne) {
  TFarPanel Passive(false, false);
  EXPECT_TRUE(Passive.SetActive());
  EXPECT_EQ(Panels().ActiveSide(), THostSide::Right);
}

TEST_F(FarPanelTest, APluginPanelIsRecognisedWithItsOwnerAndDirectory) {
  const GUID Owner = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
  Panels().SetPluginPanel(THostSide::Right, Owner, L"\\inside\\archive");
  TFarPanel Panel(false, true);
  EXPECT_TRUE(Panel.IsPluginPanel());
  EXPECT_TRUE(Panel.HasFlag(PFLAGS_PLUGIN));
  EXPECT_TRUE(IsEqualGUID(Panel.GetOwnerGuid(), Owner));
  EXPECT_TRUE(IsEqualGUID(Panel.GetDirectoryPluginId(), Owner));
  EXPECT_EQ(Panel.GetDirectoryName(), L"\\inside\\archive");
}

TEST_F(FarPanelTest, ActivatePanelsWindowSwitchesToThePanelsAndCommits) {
  THostWindows &Windows = Host.Part<THostWindows>();
  Windows.Add(WTYPE_EDITOR, L"C:\\file.txt", true);
  ASSERT_EQ(Windows.CurrentWindow()->Type, WTYPE_EDITOR);
  TFarPanel::ActivatePanelsWindow();
  EXPECT_EQ(Windows.CurrentWindow()->Type, WTYPE_PANELS);
  EXPECT_EQ(Windows.Commits, 1u);
}

TEST_F(FarPanelTest, ActivatePanelsWindowWithoutAPanelsWindowChangesNothing) {
  THostWindows &Windows = Host.Part<THostWindows>();
  Windows.Add(WTYPE_EDITOR, L"C:\\one.txt");
  Windows.Add(WTYPE_VIEWER, L"C:\\two.txt", true);
  Windows.Remove(static_cast<size_t>(Windows.Find(WTYPE_PANELS)));
  size_t Current = Windows.Current;
  TFarPanel::ActivatePanelsWindow();
  EXPECT_EQ(Windows.Current, Current);
  EXPECT_EQ(Windows.SwitchRequests, 0u);
  EXPECT_EQ(Windows.Commits, 0u);
}

} // namespace
