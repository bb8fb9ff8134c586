// The counts of the synchronise dialog and the warnings before the run: a count stopped with Esc,
// links, lines inside directory lines, what the masks keep, and copies onto a nearly full disk.

#include "SyncTaskTestSupport.h"

#include "Confirmations.h"
#include "FarFormat.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>

using namespace SyncTask;

namespace {

class SynchronizeGuardsTest : public TSyncRunTest {
protected:
  void ExpectShown(THostDialog &D, const std::wstring &Text) {
    EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text)) << HostUtf8(D.DrawnText());
  }
  // The console the counting reads Esc from, with Esc already pressed and the counting's window
  // shown at once; false (and the test skipped) where there is no console.
  bool StopTheCounting() {
    std::wstring Why;
    ConsoleReady = THostConsole::Ensure(&Why);
    if (!ConsoleReady) {
      SkipWhy = HostUtf8(Why);
      return false;
    }
    THostConsole::Flush();
    TFarProgress::SetTickSource([]() -> DWORD {
      static DWORD Now = 0;
      return Now += 1000;
    });
    THostConsole::PushKey(VK_ESCAPE);
    return true;
  }
  // A folder on the small file system, and how many bytes are free there; false where there is
  // none (SkipWhy says why).
  bool FullDisk(std::wstring &Disk, uint64_t &Free) {
    std::wstring Why;
    Disk = FullDiskFolder(Why);
    if (Disk.empty()) {
      SkipWhy = HostUtf8(Why);
      return false;
    }
    ULARGE_INTEGER Bytes{};
    EXPECT_TRUE(::GetDiskFreeSpaceExW(Disk.c_str(), &Bytes, nullptr, nullptr));
    Free = Bytes.QuadPart;
    Disks.push_back(Disk);
    return true;
  }
  void TearDown() override {
    for (const auto &Disk : Disks)
      RemoveTree(Disk);
    TSyncRunTest::TearDown();
  }
  static void RemoveTree(const std::wstring &Path) {
    for (const auto &Name : Names(Path)) {
      const std::wstring Entry = Path + L"\\" + Name;
      if (Attributes(Entry) & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(Entry);
      else
        ::DeleteFileW(Entry.c_str());
    }
    ::RemoveDirectoryW(Path.c_str());
  }
  static std::string Bytes(uint64_t Count, char Fill) {
    return std::string(static_cast<size_t>(Count), Fill);
  }
  static std::wstring Number(uint64_t Value) { return FormatGroupedNumber(static_cast<int64_t>(Value)); }

  std::string SkipWhy;
  std::vector<std::wstring> Disks;
};

TEST_F(SynchronizeGuardsTest, EscWhileCountingStillWarnsBeforeDeleting) {
  if (!StopTheCounting())
    GTEST_SKIP() << SkipWhy;
  SetOption(&TVelmoraOptions::ConfirmMassDeletion, true);
  WriteFile(Left + L"\\kept.txt", "k");
  WriteFile(Right + L"\\kept.txt", "k");
  MakeDir(Right + L"\\many");
  for (int I = 0; I < 5; ++I)
    WriteFile(Right + L"\\many\\" + std::to_wstring(I), "x");
  OpenDocument({Line(dtMissingLeft, drFile, L"many", true)});
  User()
      .Inspect([&](THostDialog &D) { ExpectShown(D, Text(MSyncCountsPartial)); })
      .Check(Text(MSyncDeleteOnRight))
      .Press(Text(MOk));
  // What was counted is shown as "at least", and the warning says the count was stopped.
  Host.Script().AnswerMessage(2, Format(Host.Msg(MDeleteAtLeastRight), {L"0"}));
  CloseDocument();
  ASSERT_FALSE(Host.Messages().empty());
  EXPECT_NE(std::wstring::npos, Host.Messages().back().Body().find(Host.Msg(MCountStopped)));
  EXPECT_EQ(5u, Names(Right + L"\\many").size());
}

TEST_F(SynchronizeGuardsTest, EscWhileCountingStillWarnsBeforeFillingADisk) {
  std::wstring Disk;
  uint64_t Free = 0;
  if (!FullDisk(Disk, Free) || !StopTheCounting())
    GTEST_SKIP() << SkipWhy;
  MakeDir(Left + L"\\big");
  WriteFile(Left + L"\\big\\a.bin", Bytes(Free + 4096, 'a'));
  OpenDocument({Line(dtMissingRight, drFile, L"big", true)}, Left, Disk);
  Synchronise();
  Host.Script().AnswerMessage(2, Format(Host.Msg(MSpaceAtLeastRight), {L"0", Number(Free)}));
  CloseDocument();
  ASSERT_FALSE(Host.Messages().empty());
  EXPECT_NE(std::wstring::npos, Host.Messages().back().Body().find(Host.Msg(MCountStopped)));
  EXPECT_TRUE(Names(Disk).empty());
}

// The dialog's deletion count for one document: it is what the run will delete, entry by entry.
struct TDeleteCountCase {
  const char *Name;
  std::function<bool(const std::wstring &Scratch, const std::wstring &Right)> Make; // false: skip
  std::vector<std::wstring> Lines;
  TNameFilter Filter;
  int64_t Deleted;
};

TEST_F(SynchronizeGuardsTest, TheDeletionCountIsWhatTheRunDeletes) {
  auto Files = [](const std::wstring &Folder, int Count) {
    MakeDir(Folder);
    for (int I = 0; I < Count; ++I)
      WriteFile(Folder + L"\\f" + std::to_wstring(I) + L".txt", "x");
  };
  const std::vector<TDeleteCountCase> Cases{
      // The run refuses a line with a link on its way: nothing behind the link counts.
      {"through a link",
       [&](const std::wstring &Scratch, const std::wstring &R) {
         MakeDir(Scratch + L"\\outside");
         Files(Scratch + L"\\outside\\sub", 10);
         return MakeDirectoryLink(R + L"\\link", Scratch + L"\\outside");
       },
       {Line(dtMissingLeft, drFile, L"link\\sub", true)},
       {},
       0},
      // A line inside a directory line goes with the directory: counted once.
      {"line inside a directory line",
       [&](const std::wstring &, const std::wstring &R) {
         Files(R + L"\\d", 2);
         return true;
       },
       {Line(dtMissingLeft, drFile, L"d", true), Line(dtMissingLeft, drFile, L"d\\f0.txt")},
       {},
       3},
      // A directory holding what the masks leave out stays, as do the directories around it.
      {"masked-out entries keep their directories",
       [&](const std::wstring &, const std::wstring &R) {
         Files(R + L"\\d", 1);
         Files(R + L"\\d\\sub", 1);
         WriteFile(R + L"\\d\\sub\\keep.tmp", "k");
         Files(R + L"\\d\\plain", 2);
         return true;
       },
       {Line(dtMissingLeft, drFile, L"d", true)},
       TNameFilter(L"", L"*.tmp"),
       5},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::wstring Root = Scratch.Path() + L"\\" + std::to_wstring(&Case - Cases.data());
    MakeDir(Root);
    MakeDir(Root + L"\\l");
    MakeDir(Root + L"\\r");
    if (!Case.Make(Root, Root + L"\\r")) {
      std::cout << "skipped (no directory links here): " << Case.Name << "\n";
      continue;
    }
    OpenDocument(Case.Lines, Root + L"\\l", Root + L"\\r", Case.Filter);
    User()
        .Check(Text(MSyncDeleteOnRight))
        .Inspect([&](THostDialog &D) {
          ExpectShown(D, Format(Host.Msg(MSyncCountsDelete), {L"0", Number(Case.Deleted)}));
        })
        .Escape();
    CloseDocument();
  }
}

TEST_F(SynchronizeGuardsTest, TheMassDeletionWarningNeverCountsMoreThanTheSideHolds) {
  SetOption(&TVelmoraOptions::ConfirmMassDeletion, true);
  WriteFile(Left + L"\\other.txt", "o");
  MakeDir(Right + L"\\d");
  WriteFile(Right + L"\\d\\a.txt", "a");
  WriteFile(Right + L"\\d\\b.txt", "b");
  OpenDocument({Line(dtMissingLeft, drFile, L"d", true), Line(dtMissingLeft, drFile, L"d\\a.txt")});
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  Host.Script().AnswerMessage(2, Format(Host.Msg(MMassDeletionRight), {L"3", L"3"}));
  CloseDocument();
  EXPECT_EQ(2u, Names(Right + L"\\d").size());
}

TEST_F(SynchronizeGuardsTest, CopiesBothWaysOntoOneDiskAreWeighedTogether) {
  std::wstring Disk;
  uint64_t Free = 0;
  if (!FullDisk(Disk, Free))
    GTEST_SKIP() << SkipWhy;
  // Each copy fits into what stays free on its own; both together do not.
  const uint64_t Size = Free * 3 / 10 / 4096 * 4096;
  MakeDir(Disk + L"\\l");
  MakeDir(Disk + L"\\r");
  WriteFile(Disk + L"\\l\\a.bin", Bytes(Size, 'a'));
  WriteFile(Disk + L"\\r\\b.bin", Bytes(Size, 'b'));
  ULARGE_INTEGER FreeNow{};
  ASSERT_TRUE(::GetDiskFreeSpaceExW(Disk.c_str(), &FreeNow, nullptr, nullptr));
  ASSERT_LT(Size, FreeNow.QuadPart);
  ASSERT_GT(2 * Size, FreeNow.QuadPart);
  OpenDocument({Line(dtMissingRight, drFile, L"a.bin"), Line(dtMissingLeft, drFile, L"b.bin")}, Disk + L"\\l",
               Disk + L"\\r");
  Synchronise();
  Host.Script().AnswerMessage(2,
                              Format(Host.Msg(MNoSpaceBoth), {Number(2 * Size), Number(FreeNow.QuadPart)}));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ((std::vector<std::wstring>{L"a.bin"}), Names(Disk + L"\\l"));
  EXPECT_EQ((std::vector<std::wstring>{L"b.bin"}), Names(Disk + L"\\r"));
}

TEST_F(SynchronizeGuardsTest, AReplacingCopyCountsInFullBesideTheFileItReplaces) {
  std::wstring Disk;
  uint64_t Free = 0;
  if (!FullDisk(Disk, Free))
    GTEST_SKIP() << SkipWhy;
  const uint64_t Size = Free * 6 / 10 / 4096 * 4096;
  WriteFile(Left + L"\\a.bin", Bytes(Size, 'n'));
  WriteFile(Disk + L"\\a.bin", Bytes(Size, 'o'));
  ULARGE_INTEGER FreeNow{};
  ASSERT_TRUE(::GetDiskFreeSpaceExW(Disk.c_str(), &FreeNow, nullptr, nullptr));
  ASSERT_GT(Size, FreeNow.QuadPart);
  OpenDocument({Line(dtOlderRight, drTime, L"a.bin")}, Left, Disk);
  Synchronise();
  Host.Script().AnswerMessage(2, Format(Host.Msg(MNoSpaceRight), {Number(Size), Number(FreeNow.QuadPart)}));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ(Bytes(Size, 'o'), ReadFile(Disk + L"\\a.bin"));
}

} // namespace
