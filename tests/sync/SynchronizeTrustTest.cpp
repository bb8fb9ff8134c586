// What a run must never do: replace a file unasked, lose sight of an entry it did not do, act
// through a link, or leave a file's contents where nobody knows of them, also when the disk
// fills up or another program holds a file.

#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace SyncTask;

namespace {

class SynchronizeTrustTest : public TSyncRunTest {
protected:
  // The text of the question the user is shown, checked and answered with a button.
  void Answer(int Button, int Expected, const std::wstring &AlsoShown = {}) {
    User()
        .Inspect([=, this](THostDialog &D) {
          EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text(Expected))) << HostUtf8(D.DrawnText());
          if (!AlsoShown.empty()) {
            EXPECT_NE(std::wstring::npos, D.DrawnText().find(AlsoShown)) << HostUtf8(D.DrawnText());
          }
        })
        .Press(Text(Button));
  }
  static std::vector<std::wstring> TemporaryFiles(const std::wstring &Folder) {
    std::vector<std::wstring> Result;
    for (const auto &Name : Names(Folder))
      if (Name.find(L"~vlm") == 0)
        Result.push_back(Folder + L"\\" + Name);
    return Result;
  }
};

// ---- Seams for the rare failures of a copy ----

// Fails the renames a test picks; the others are the system's.
std::function<bool(LPCWSTR, LPCWSTR, DWORD)> MoveFails;
BOOL WINAPI PickyMove(LPCWSTR From, LPCWSTR To, DWORD Flags) {
  if (MoveFails && MoveFails(From, To, Flags)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::MoveFileExW(From, To, Flags);
}

bool IsTemporary(LPCWSTR Path) {
  const wchar_t *Name = wcsrchr(Path, L'\\');
  return Name && wcsncmp(Name + 1, L"~vlm", 4) == 0;
}

std::wstring OthersFile;
// Another program moves the file the run made for its copy away and puts one of its own under
// that name just before the first copy starts.
void TakeName(LPCWSTR Target) {
  OthersFile = Target;
  ::MoveFileExW(Target, (OthersFile + L".moved").c_str(), MOVEFILE_REPLACE_EXISTING);
  WriteFile(Target, "theirs");
}
BOOL WINAPI NameTakenFirst(LPCWSTR Source, LPCWSTR Target, LPPROGRESS_ROUTINE Progress, LPVOID Data,
                           LPBOOL Cancel, DWORD Flags) {
  if (OthersFile.empty()) {
    TakeName(Target);
    ::SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  return ::CopyFileExW(Source, Target, Progress, Data, Cancel, Flags);
}

// A copy that fails after another program took the name of the file it was writing.
BOOL WINAPI FailsThenNameReused(LPCWSTR, LPCWSTR Target, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD) {
  TakeName(Target);
  ::SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

} // namespace

TEST_F(SynchronizeTrustTest, SilentModeAsksInItsSecondPassOnlyAboutWhatADirectoryLeftUndone) {
  MakeDir(Left + L"\\d");
  MakeDir(Right + L"\\d");
  WriteFile(Left + L"\\d\\a.txt", "new a");
  WriteFile(Left + L"\\d\\b.txt", "new b");
  WriteFile(Right + L"\\d\\b.txt", "old b");
  OpenDocument({Line(dtDifferent, drFile, L"d", true)});
  User().Check(Text(MSyncSilentMode)).Select(Text(MSyncDifferentCopyToRight)).Press(Text(MOk));
  // The one question of the second pass: a.txt was copied in the first without one.
  User()
      .Inspect([&](THostDialog &D) {
        EXPECT_EQ("new a", ReadFile(Right + L"\\d\\a.txt"));
        EXPECT_NE(std::wstring::npos, D.DrawnText().find(L"b.txt"));
      })
      .Press(Text(MOverwrite));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("new b", ReadFile(Right + L"\\d\\b.txt"));
}

TEST_F(SynchronizeTrustTest, WhatADeletedTreeKeptComesBackBeforeItAndTheNextRunFinishesTheJob) {
  MakeDir(Left + L"\\t");
  WriteFile(Left + L"\\t\\x.txt", "x");
  WriteFile(Left + L"\\t\\ro.txt", "ro");
  ::SetFileAttributesW((Left + L"\\t\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  OpenDocument({Line(dtMissingRight, drFile, L"t", true)});
  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  User().Press(Text(MDelete)); // t, with what is in it
  User().Press(Text(MSkip));   // but its read-only file is asked about, and kept
  User().Press(Text(MSkip));   // so t cannot go
  ASSERT_TRUE(CloseDocument());
  EXPECT_FALSE(Exists(Left + L"\\t\\x.txt"));
  EXPECT_EQ((std::vector<std::wstring>{Line(dtMissingRight, drFile, L"t\\ro.txt"),
                                       Line(dtMissingRight, drFile, L"t", true)}),
            RemainingLines());

  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  User().Press(Text(MDelete)); // ro.txt
  User().Press(Text(MDelete)); // t, empty now
  EXPECT_FALSE(CloseDocument());
  EXPECT_FALSE(Exists(Left + L"\\t"));
}

TEST_F(SynchronizeTrustTest, NothingIsDeletedOrCopiedThroughALinkOnTheWay) {
  const std::wstring Other = Scratch.Path() + L"\\other";
  MakeDir(Other);
  MakeDir(Other + L"\\sub");
  WriteFile(Other + L"\\sub\\keep.txt", "keep");
  WriteFile(Other + L"\\f.txt", "other f");
  if (!MakeDirectoryLink(Left + L"\\link", Other))
    GTEST_SKIP() << "no directory links on this system";
  MakeDir(Right + L"\\link");
  WriteFile(Right + L"\\link\\f.txt", "right f");
  const std::vector<std::wstring> Lines = {Line(dtMissingRight, drFile, L"link\\sub", true),
                                           Line(dtOlderLeft, drTime, L"link\\f.txt")};
  OpenDocument(Lines);
  User().Check(Text(MSyncDeleteOnLeft)).Clear(Text(MSyncConfirmOverwriteLeft)).Press(Text(MOk));
  Answer(MSkip, MFailureThroughLink, Left + L"\\link"); // deleting link\sub
  Answer(MSkip, MFailureLinkIs, Left + L"\\link");      // copying link\f.txt
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("keep", ReadFile(Other + L"\\sub\\keep.txt"));
  EXPECT_EQ("other f", ReadFile(Other + L"\\f.txt"));
  EXPECT_EQ(Lines, RemainingLines());
}

TEST_F(SynchronizeTrustTest, FailingRenamesNeverLeaveContentsWhereNobodyKnowsOfThem) {
  TSynchronizeTask::SetMoveFileFunction(&PickyMove);
  // The finished copy cannot replace the target: the target keeps its old contents.
  MoveFails = [](LPCWSTR, LPCWSTR, DWORD Flags) { return (Flags & MOVEFILE_REPLACE_EXISTING) != 0; };
  WriteFile(Left + L"\\a.txt", "new a");
  WriteFile(Right + L"\\a.txt", "old a");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt")});
  const std::wstring Title = Window().Line(0);
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  Answer(MSkip, MFailureCopy);
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ(Title, Window().Line(0)) << "the new document names the directories as the first did";
  EXPECT_EQ("old a", ReadFile(Right + L"\\a.txt"));
  EXPECT_TRUE(TemporaryFiles(Right).empty());
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drTime, L"a.txt")}, RemainingLines());
  User().Press(Text(MCancel));
  Editors().Current()->Close();

  // The new contents is in place but cannot take the source's letter case, nor go back: the
  // user is told which file holds it, and the item stays to do.
  MoveFails = [](LPCWSTR From, LPCWSTR, DWORD Flags) { return IsTemporary(From) && Flags == 0; };
  WriteFile(Left + L"\\Data.txt", "new data");
  WriteFile(Right + L"\\data.txt", "old data");
  OpenDocument({Line(dtOlderRight, drTime, L"data.txt")});
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  std::wstring Named;
  User()
      .Inspect([&](THostDialog &D) {
        EXPECT_NE(std::wstring::npos, D.DrawnText().find(Text(MFailureCopyKeptAs)));
        for (const auto &File : TemporaryFiles(Right))
          if (D.DrawnText().find(File.substr(File.rfind(L'\\') + 1)) != std::wstring::npos)
            Named = File;
      })
      .Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("new data", ReadFile(Named));
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drTime, L"data.txt")}, RemainingLines());
  MoveFails = nullptr;
}

TEST_F(SynchronizeTrustTest, AFileAnotherProgramPutUnderTheTemporaryNameIsNeverRemoved) {
  WriteFile(Left + L"\\a.txt", "a");
  // Taken before the copy: the copy goes to the next name.
  OthersFile.clear();
  TSynchronizeTask::SetCopyFileFunction(&NameTakenFirst);
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("a", ReadFile(Right + L"\\a.txt"));
  EXPECT_EQ("theirs", ReadFile(OthersFile));

  // Reused after the copy failed and removed its own file.
  ::DeleteFileW(OthersFile.c_str());
  ::DeleteFileW((Right + L"\\a.txt").c_str());
  TSynchronizeTask::SetCopyFileFunction(&FailsThenNameReused);
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  Synchronise();
  Answer(MSkip, MFailureTargetMissing);
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("theirs", ReadFile(OthersFile));
}

TEST_F(SynchronizeTrustTest, AFullDiskLosesNothingAndTheCopyStaysToDo) {
  std::wstring Why;
  const std::wstring Full = FullDiskFolder(Why);
  if (Full.empty())
    GTEST_SKIP() << HostUtf8(Why);
  // The warning before the run would stop it first; here the disk fills up for real.
  SetOption(&TVelmoraOptions::CheckFreeSpace, false);
  WriteFile(Full + L"\\big.bin", "old big");
  WriteFile(Left + L"\\big.bin", std::string(4 << 20, 'B'));
  OpenDocument({Line(dtOlderRight, drSize, L"big.bin")}, Left, Full);
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  Answer(MSkip, MFailureCopy);
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("old big", ReadFile(Full + L"\\big.bin"));
  EXPECT_EQ(size_t(4 << 20), ReadFile(Left + L"\\big.bin").size());
  EXPECT_TRUE(TemporaryFiles(Full).empty());
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drSize, L"big.bin")}, RemainingLines());
  ::DeleteFileW((Full + L"\\big.bin").c_str());
  ::RemoveDirectoryW(Full.c_str());
}

TEST_F(SynchronizeTrustTest, ATargetHeldOpenOrReadOnlyKeepsItsContentsAndComesBack) {
  WriteFile(Left + L"\\held.txt", "new held");
  WriteFile(Right + L"\\held.txt", "old held");
  WriteFile(Left + L"\\ro.txt", "new ro");
  WriteFile(Right + L"\\ro.txt", "old ro");
  ::SetFileAttributesW((Right + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<std::wstring> Lines = {Line(dtOlderRight, drTime, L"held.txt"),
                                           Line(dtOlderRight, drTime, L"ro.txt")};
  OpenDocument(Lines);
  HANDLE Held =
      ::CreateFileW((Right + L"\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, Held);
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  Answer(MSkip, MFailureOpenTarget); // held.txt
  Answer(MSkip, MReadOnlyFileRight); // ro.txt: a read-only file is always asked about
  ASSERT_TRUE(CloseDocument());
  ::CloseHandle(Held);
  EXPECT_EQ("old held", ReadFile(Right + L"\\held.txt"));
  EXPECT_EQ("old ro", ReadFile(Right + L"\\ro.txt"));
  EXPECT_TRUE(TemporaryFiles(Right).empty());
  EXPECT_EQ(Lines, RemainingLines());
}

TEST_F(SynchronizeTrustTest, ANewTreeAppearsUnderItsNameOnlyWhenBuiltOrStopped) {
  MakeDir(Left + L"\\t");
  MakeDir(Left + L"\\t\\sub");
  WriteFile(Left + L"\\t\\a.txt", "a");
  WriteFile(Left + L"\\t\\sub\\b.txt", "b");
  // The built tree cannot take its name: the copy goes into the real name file by file.
  TSynchronizeTask::SetMoveFileFunction(&PickyMove);
  MoveFails = [](LPCWSTR From, LPCWSTR, DWORD) {
    return IsTemporary(From) && (::GetFileAttributesW(From) & FILE_ATTRIBUTE_DIRECTORY);
  };
  OpenDocument({Line(dtMissingRight, drFile, L"t", true)});
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ("a", ReadFile(Right + L"\\t\\a.txt"));
  EXPECT_EQ("b", ReadFile(Right + L"\\t\\sub\\b.txt"));
  EXPECT_TRUE(TemporaryFiles(Right).empty());
  MoveFails = nullptr;

  // Stopped in the middle: what was copied stays, under the tree's own name.
  MakeDir(Left + L"\\u");
  WriteFile(Left + L"\\u\\a.txt", "a");
  WriteFile(Left + L"\\u\\locked.txt", "l");
  HANDLE Lock =
      ::CreateFileW((Left + L"\\u\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  OpenDocument({Line(dtMissingRight, drFile, L"u", true)});
  Synchronise();
  Answer(MCancel, MFailureOpenSource);
  ASSERT_TRUE(CloseDocument());
  ::CloseHandle(Lock);
  EXPECT_TRUE(TemporaryFiles(Right).empty());
  EXPECT_FALSE(Exists(Right + L"\\u\\locked.txt"));
  const std::vector<std::wstring> Copied = Names(Right + L"\\u");
  EXPECT_TRUE(Copied.empty() ||
              (Copied == std::vector<std::wstring>{L"a.txt"} && ReadFile(Right + L"\\u\\a.txt") == "a"));
  // What was copied is done; what was not comes back, each entry on its own line.
  std::vector<std::wstring> Expected;
  if (Copied.empty())
    Expected.push_back(Line(dtOlderRight, drFile, L"u\\a.txt"));
  Expected.push_back(Line(dtOlderRight, drFile, L"u\\locked.txt"));
  std::vector<std::wstring> Remaining = RemainingLines();
  std::sort(Remaining.begin(), Remaining.end());
  EXPECT_EQ(Expected, Remaining);
}
