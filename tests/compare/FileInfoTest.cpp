// The file information model: directory listings on real folders (empty, missing, unreadable,
// hidden and system entries), panel wrappers over the host's panels, and both sorts.

#include "FileInfo.h"
#include "Files.h"
#include "HostFolder.h"
#include "HostInProcess.h"
#include "HostPanels.h"
#include "Velmora.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class TInfoFolder : public THostFolder {
public:
  TInfoFolder() : THostFolder(L"info") {}
};

std::vector<std::wstring> Names(const TFileInfoList &List) {
  std::vector<std::wstring> Result;
  for (size_t I = 0; I < List.Count(); ++I)
    Result.push_back(List.Item(I).GetFileName());
  return Result;
}

const TBaseFileInfo *Named(const TFileInfoList &List, const std::wstring &Name) {
  for (size_t I = 0; I < List.Count(); ++I)
    if (List.Item(I).GetFileName() == Name)
      return &List.Item(I);
  return nullptr;
}

TEST(FileInfoListDirectoryTest, AnEmptyDirectoryIsListedAndEmpty) {
  TInfoFolder Folder;
  TFileInfoList List;
  EXPECT_TRUE(List.LoadFromDirectory(Folder.Path()));
  EXPECT_EQ(List.Count(), 0u);
  EXPECT_TRUE(List.LoadFromDirectory(Folder.Path() + L"\\"));
  EXPECT_EQ(List.Count(), 0u);
}

TEST(FileInfoListDirectoryTest, EntriesCarrySizeTimeAndAttributesAndHiddenAndSystemOnesAreIncluded) {
  TInfoFolder Folder;
  Folder.File(L"plain.txt", "12345");
  Folder.File(L"hidden.txt", "");
  Folder.File(L"system.txt", "x");
  Folder.Folder(L"dir");
  ASSERT_TRUE(SetFileAttributesW(Folder.Sub(L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(Folder.Sub(L"system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM));

  TFileInfoList List;
  ASSERT_TRUE(List.LoadFromDirectory(Folder.Path()));
  std::vector<std::wstring> Found = Names(List);
  std::sort(Found.begin(), Found.end());
  EXPECT_EQ(Found, (std::vector<std::wstring>{L"dir", L"hidden.txt", L"plain.txt", L"system.txt"}));

  const TBaseFileInfo *Plain = Named(List, L"plain.txt");
  ASSERT_NE(Plain, nullptr);
  EXPECT_EQ(Plain->GetSize(), 5);
  EXPECT_FALSE(Plain->IsDirectory());
  EXPECT_FALSE(Plain->GetSelected());
  WIN32_FILE_ATTRIBUTE_DATA Disk{};
  ASSERT_TRUE(GetFileAttributesExW(Folder.Sub(L"plain.txt").c_str(), GetFileExInfoStandard, &Disk));
  EXPECT_DOUBLE_EQ(Plain->GetTime(), FileTimeToDays(Disk.ftLastWriteTime, true));
  EXPECT_EQ(Plain->GetAttributes(), Disk.dwFileAttributes);

  EXPECT_TRUE(Named(List, L"dir")->IsDirectory());
  EXPECT_EQ(Named(List, L"hidden.txt")->GetAttributes() & FILE_ATTRIBUTE_HIDDEN,
            static_cast<uint32_t>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Named(List, L"system.txt")->GetAttributes() & FILE_ATTRIBUTE_SYSTEM,
            static_cast<uint32_t>(FILE_ATTRIBUTE_SYSTEM));

  TBaseFileInfo &Entry = List.Item(0);
  Entry.SetSelected(true);
  EXPECT_TRUE(Entry.GetSelected());
}

TEST(FileInfoListDirectoryTest, ALoadReplacesWhatTheListHeld) {
  TInfoFolder Full, Empty;
  Full.File(L"one", "1");
  TFileInfoList List;
  ASSERT_TRUE(List.LoadFromDirectory(Full.Path()));
  ASSERT_EQ(List.Count(), 1u);
  ASSERT_TRUE(List.LoadFromDirectory(Empty.Path()));
  EXPECT_EQ(List.Count(), 0u);
}

TEST(FileInfoListDirectoryTest, ADirectoryThatIsNotThereCountsAsListedAndEmpty) {
  TInfoFolder Folder;
  Folder.File(L"one", "1");
  TFileInfoList List;
  ASSERT_TRUE(List.LoadFromDirectory(Folder.Path()));
  EXPECT_TRUE(List.LoadFromDirectory(Folder.Sub(L"gone")));
  EXPECT_EQ(List.Count(), 0u);
  EXPECT_TRUE(List.LoadFromDirectory(Folder.Sub(L"gone\\deeper")));
  EXPECT_TRUE(List.LoadFromDirectory(L"\\\\?\\" + Folder.Sub(L"gone")));
}

// Only "not found" may count as an empty directory: any other failure to list would make the
// other side's whole contents look one-sided, and a synchronisation would copy or delete it.
TEST(FileInfoListDirectoryTest, AFailureOtherThanNotFoundIsAFailure) {
  TInfoFolder Folder;
  Folder.File(L"one", "1");
  TFileInfoList List;
  ASSERT_TRUE(List.LoadFromDirectory(Folder.Path()));
  EXPECT_FALSE(List.LoadFromDirectory(Folder.Sub(L"bad<name>")));
  EXPECT_EQ(List.Count(), 0u);
  EXPECT_FALSE(List.LoadFromDirectory(Folder.Sub(L"one")));
}

// A directory that exists but cannot be listed: here another program holds it open without
// sharing, which the system reports as a sharing violation.
TEST(FileInfoListDirectoryTest, ADirectoryThatCannotBeListedFails) {
  TInfoFolder Folder;
  Folder.Folder(L"locked");
  Folder.File(L"locked\\inside", "x");
  HANDLE Lock = CreateFileW(Folder.Sub(L"locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(Lock, INVALID_HANDLE_VALUE);
  TFileInfoList List;
  bool Listed = List.LoadFromDirectory(Folder.Sub(L"locked"));
  DWORD Error = GetLastError();
  CloseHandle(Lock);
  EXPECT_FALSE(Listed) << "error " << Error;
  EXPECT_EQ(List.Count(), 0u);
  EXPECT_TRUE(List.LoadFromDirectory(Folder.Sub(L"locked")));
  EXPECT_EQ(List.Count(), 1u);
}

class FileInfoPanelTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    Folder.File(L"b", "bb");
    Folder.File(L"A", "a");
    ASSERT_TRUE(Host.Part<THostPanels>().SetFolder(THostSide::Left, Folder.Path()));
    Host.Part<THostPanels>().SetActiveSide(THostSide::Left);
  }
  TInfoFolder Folder;
};

TEST_F(FileInfoPanelTest, APanelListLeavesOutTheParentItemAndSortsBothWays) {
  TFarPanel Panel(true, true);
  ASSERT_EQ(Panel.Count(), 3u);
  ASSERT_EQ(Panel.Item(0).FileName, L"..");
  TFileInfoList List;
  List.LoadFromPanel(Panel);
  ASSERT_EQ(List.Count(), 2u);
  std::vector<std::wstring> Found = Names(List);
  std::sort(Found.begin(), Found.end());
  EXPECT_EQ(Found, (std::vector<std::wstring>{L"A", L"b"}));

  List.SortByFileName();
  EXPECT_EQ(Names(List), (std::vector<std::wstring>{L"A", L"b"}));
  List.SortByFileNameDescending();
  EXPECT_EQ(Names(List), (std::vector<std::wstring>{L"b", L"A"}));

  const TBaseFileInfo &B = List.Item(0);
  EXPECT_EQ(B.GetSize(), 2);
  WIN32_FILE_ATTRIBUTE_DATA Disk{};
  ASSERT_TRUE(GetFileAttributesExW(Folder.Sub(L"b").c_str(), GetFileExInfoStandard, &Disk));
  EXPECT_DOUBLE_EQ(B.GetTime(), FileTimeToDays(Disk.ftLastWriteTime, true));
  EXPECT_EQ(B.GetAttributes(), Disk.dwFileAttributes);
}

TEST_F(FileInfoPanelTest, SelectingAPanelWrapperSetsOnlyTheSelectionBitOfTheItem) {
  TFarPanel Panel(true, true);
  TFarPanel::TItem &Item = Panel.Item(1);
  const PLUGINPANELITEMFLAGS Private = 0x0005;
  Item.Flags |= Private;
  TFileInfoFromPanels Info(Item);
  EXPECT_FALSE(Info.GetSelected());
  Info.SetSelected(true);
  EXPECT_TRUE(Info.GetSelected());
  EXPECT_EQ(Item.Flags, Private | PPIF_SELECTED);
  // Nothing reaches FAR before the panel applies its selection.
  EXPECT_TRUE(Host.Part<THostPanels>().SelectedNames(THostSide::Left).empty());
  Panel.ApplySelection();
  EXPECT_EQ(Host.Part<THostPanels>().SelectedNames(THostSide::Left),
            std::vector<std::wstring>{Item.FileName});
  Info.SetSelected(false);
  EXPECT_EQ(Item.Flags, Private);
}

TEST(FileInfoListSortTest, BothSortsFollowTheLocalesCaseInsensitiveOrder) {
  TInfoFolder Folder;
  const std::vector<std::wstring> Input = {L"zeta", L"Alpha", L"beta",      L"_under",
                                           L"a10",  L"a2",    L"Gamma.txt", L"gamma"};
  for (const auto &Name : Input)
    Folder.File(Name, "");
  TFileInfoList List;
  ASSERT_TRUE(List.LoadFromDirectory(Folder.Path()));
  List.SortByFileName();
  std::vector<std::wstring> Ascending = Names(List);
  ASSERT_EQ(Ascending.size(), Input.size());
  auto Order = [](const std::wstring &A, const std::wstring &B) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.c_str(), -1, B.c_str(), -1);
  };
  for (size_t I = 1; I < Ascending.size(); ++I)
    EXPECT_NE(Order(Ascending[I - 1], Ascending[I]), CSTR_GREATER_THAN) << I;
  EXPECT_EQ(Ascending.front(), L"_under");
  EXPECT_EQ(Ascending.back(), L"zeta");

  List.SortByFileNameDescending();
  std::vector<std::wstring> Descending = Names(List);
  std::reverse(Descending.begin(), Descending.end());
  EXPECT_EQ(Descending, Ascending);
}

TEST(FileInfoListTest, ItemsAreOwnedDeletedByIndexAndCheckedAgainstTheBounds) {
  TInfoFolder Folder;
  Folder.File(L"x", "");
  Folder.File(L"y", "");
  Folder.File(L"z", "");
  TFileInfoList List;
  ASSERT_TRUE(List.LoadFromDirectory(Folder.Path()));
  List.SortByFileName();
  List.Delete(1);
  EXPECT_EQ(Names(List), (std::vector<std::wstring>{L"x", L"z"}));
  EXPECT_THROW(List.Delete(2), EFileInfoListError);
  EXPECT_THROW(List.Item(2), EFileInfoListError);
  List.Clear();
  EXPECT_EQ(List.Count(), 0u);
}

} // namespace
