// The safety nets of a run tried hard: a disk of its own, Esc at the wrong moment, a failed copy
// inside a new tree, links to files, names differing in letter case. Nothing may be lost, left
// half done under a real name, or counted done when it was not.

#include "Files.h"
#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace SyncTask;

namespace {

class SynchronizeTrustRound2Test : public TSyncRunTest {
protected:
  void TearDown() override {
    TSynchronizeTask::SetRecycleBinProbe(nullptr);
    TSynchronizeTask::SetRecycleFunction(nullptr);
    TSyncRunTest::TearDown();
  }
  // The question the user is shown, checked for its text and answered with a button.
  void Answer(int Button, const std::wstring &Expected, const std::wstring &AlsoShown = {}) {
    User()
        .Inspect([=](THostDialog &D) {
          EXPECT_NE(std::wstring::npos, D.DrawnText().find(Expected)) << HostUtf8(D.DrawnText());
          EXPECT_NE(std::wstring::npos, D.DrawnText().find(AlsoShown)) << HostUtf8(D.DrawnText());
        })
        .Press(Text(Button));
  }
  // Every look at the clock is a second later: each progress report is drawn, and reads the keys.
  void EveryReportDrawn() {
    TFarProgress::SetTickSource([]() -> DWORD {
      static DWORD Now = 0;
      return Now += 1000;
    });
  }
  // The temporary entries the run left anywhere below Folder.
  static std::vector<std::wstring> Leftovers(const std::wstring &Folder) {
    std::vector<std::wstring> Found;
    for (const auto &Name : Names(Folder)) {
      const std::wstring Path = Folder + L"\\" + Name;
      if (Name.find(L"~vlm") == 0)
        Found.push_back(Path);
      if (Attributes(Path) & FILE_ATTRIBUTE_DIRECTORY) {
        const auto Below = Leftovers(Path);
        Found.insert(Found.end(), Below.begin(), Below.end());
      }
    }
    return Found;
  }
};

// The file made, written and read years ago.
void MakeOld(const std::wstring &Path) {
  const FILETIME Old = TicksToFileTime(130000000000000000);
  HANDLE File = ::CreateFileW(Path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ::SetFileTime(File, &Old, &Old, &Old);
  ::CloseHandle(File);
}

// A system copy that reports nothing to the progress routine and gives the copy the source's
// times, all of them (as a copy of times does); the first writes only part of the file and fails.
void StampWithSourceTimes(LPCWSTR Source, LPCWSTR Target) {
  WIN32_FILE_ATTRIBUTE_DATA Times{};
  ::GetFileAttributesExW(Source, GetFileExInfoStandard, &Times);
  HANDLE File = ::CreateFileW(Target, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ::SetFileTime(File, &Times.ftCreationTime, &Times.ftLastAccessTime, &Times.ftLastWriteTime);
  ::CloseHandle(File);
}
BOOL WINAPI FailsHalfWayStamped(LPCWSTR Source, LPCWSTR Target, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD) {
  WriteFile(Target, ReadFile(Source).substr(0, 2));
  StampWithSourceTimes(Source, Target);
  ::SetLastError(ERROR_DISK_FULL);
  return FALSE;
}
BOOL WINAPI CopiesStamped(LPCWSTR Source, LPCWSTR Target, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD) {
  WriteFile(Target, ReadFile(Source));
  StampWithSourceTimes(Source, Target);
  return TRUE;
}

// The system's copy, after which the user presses Esc: the read-back that follows sees it.
BOOL WINAPI CopyThenEsc(LPCWSTR Source, LPCWSTR Target, LPPROGRESS_ROUTINE Progress, LPVOID Data,
                        LPBOOL Cancel, DWORD Flags) {
  const BOOL Copied = ::CopyFileExW(Source, Target, Progress, Data, Cancel, Flags);
  THostConsole::PushKey(VK_ESCAPE);
  return Copied;
}

// A symbolic link at Link to the file Target: the system's own where it makes them, else (under
// wine) a link of the Unix file system, which wine shows as the plain file it leads to.
bool MakeFileLink(const std::wstring &Link, const std::wstring &Target) {
  auto IsLink = [&] { return Exists(Link); };
  if (::CreateSymbolicLinkW(Link.c_str(), Target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
      IsLink())
    return true;
  const std::string UnixLink = WineUnixPath(Link), UnixTarget = WineUnixPath(Target);
  return !UnixLink.empty() && !UnixTarget.empty() &&
         RunUnixProgram(L"Z:\\bin\\ln", "/bin/ln -s \"" + UnixTarget + "\" \"" + UnixLink + "\"", IsLink);
}

// The system's copy; after the first, the user presses Esc.
int CopiesBeforeEsc = 0;
BOOL WINAPI CopyOnceThenEsc(LPCWSTR Source, LPCWSTR Target, LPPROGRESS_ROUTINE Progress, LPVOID Data,
                            LPBOOL Cancel, DWORD Flags) {
  const BOOL Copied = ::CopyFileExW(Source, Target, Progress, Data, Cancel, Flags);
  if (++CopiesBeforeEsc == 1)
    THostConsole::PushKey(VK_ESCAPE);
  return Copied;
}

bool ConsoleOrSkip(bool &Ready, std::wstring &Why) {
  Ready = THostConsole::Ensure(&Why);
  if (Ready)
    THostConsole::Flush();
  return Ready;
}

} // namespace

// ---- Failed copies leave nothing partial ----

TEST_F(SynchronizeTrustRound2Test, AFileThatFailsInsideANewTreeOnAFullDiskIsNotLeftInIt) {
  std::wstring Why;
  const std::wstring Full = FullDiskFolder(Why);
  if (Full.empty())
    GTEST_SKIP() << HostUtf8(Why);
  SetOption(&TVelmoraOptions::CheckFreeSpace, false);
  MakeDir(Left + L"\\t");
  WriteFile(Left + L"\\t\\a.txt", "a");
  WriteFile(Left + L"\\t\\big.bin", std::string(4 << 20, 'B'));
  OpenDocument({Line(dtMissingRight, drFile, L"t", true)}, Left, Full);
  Synchronise();
  Answer(MSkip, L"big.bin");
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("a", ReadFile(Full + L"\\t\\a.txt"));
  EXPECT_FALSE(Exists(Full + L"\\t\\big.bin")) << "a truncated file stood under the real name";
  EXPECT_TRUE(Leftovers(Full).empty());
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drFile, L"t\\big.bin")}, RemainingLines());
  ::DeleteFileW((Full + L"\\t\\a.txt").c_str());
  ::RemoveDirectoryW((Full + L"\\t").c_str());
  ::RemoveDirectoryW(Full.c_str());
}

TEST_F(SynchronizeTrustRound2Test, AFailedCopyStampedWithTheSourcesTimesLeavesNoTemporaryFile) {
  TSynchronizeTask::SetCopyFileFunction(&FailsHalfWayStamped);
  WriteFile(Left + L"\\a.txt", "new a");
  WriteFile(Right + L"\\a.txt", "old a");
  MakeOld(Left + L"\\a.txt");
  WriteFile(Left + L"\\n.txt", "new n");
  MakeDir(Left + L"\\t");
  WriteFile(Left + L"\\t\\b.txt", "b");
  MakeOld(Left + L"\\t\\b.txt");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt"), Line(dtMissingRight, drFile, L"t", true)});
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  Answer(MSkip, L"a.txt");
  Answer(MSkip, L"b.txt");
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("old a", ReadFile(Right + L"\\a.txt"));
  EXPECT_TRUE(Leftovers(Right).empty());
  EXPECT_FALSE(Exists(Right + L"\\t\\b.txt"));
}

TEST_F(SynchronizeTrustRound2Test, EscWhileVerifyingLeavesNoCopyBehind) {
  std::wstring Why;
  if (!ConsoleOrSkip(ConsoleReady, Why))
    GTEST_SKIP() << HostUtf8(Why);
  EveryReportDrawn();
  SetOption(&TVelmoraOptions::VerifyCopies, true);
  TSynchronizeTask::SetCopyFileFunction(&CopyThenEsc);
  WriteFile(Left + L"\\a.txt", "new a");
  WriteFile(Right + L"\\a.txt", "old a");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt")});
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  Host.Script().AnswerMessage(0, Host.Msg(MAbortText));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("old a", ReadFile(Right + L"\\a.txt"));
  EXPECT_TRUE(Leftovers(Right).empty());
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drTime, L"a.txt")}, RemainingLines());
}

TEST_F(SynchronizeTrustRound2Test, ACopyThatCannotReplaceAHeldTargetLeavesNothingAfterEachRetry) {
  TSynchronizeTask::SetCopyFileFunction(&CopiesStamped);
  WriteFile(Left + L"\\held.txt", "new held");
  MakeOld(Left + L"\\held.txt");
  WriteFile(Right + L"\\held.txt", "old held");
  OpenDocument({Line(dtOlderRight, drTime, L"held.txt")});
  HANDLE Held = ::CreateFileW((Right + L"\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, Held);
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  User()
      .Inspect([&](THostDialog &) { EXPECT_TRUE(Leftovers(Right).empty()) << "while asking"; })
      .Press(Text(MRetry));
  User().Press(Text(MSkip));
  ASSERT_TRUE(CloseDocument());
  ::CloseHandle(Held);
  EXPECT_EQ("old held", ReadFile(Right + L"\\held.txt"));
  EXPECT_TRUE(Leftovers(Right).empty());
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drTime, L"held.txt")}, RemainingLines());
}

TEST_F(SynchronizeTrustRound2Test, TheProgressWindowNamesTheRealTargetWhileVerifying) {
  EveryReportDrawn();
  SetOption(&TVelmoraOptions::VerifyCopies, true);
  WriteFile(Left + L"\\a.txt", "new a");
  OpenDocument({Line(dtMissingRight, drFile, L"a.txt")});
  Synchronise();
  EXPECT_FALSE(CloseDocument());
  bool Verified = false;
  for (const auto &M : HostProgressMessages(Host)) {
    if (M.Lines.size() < 5 || M.Lines[1].find(Host.Msg(MVerifyProgress)) != 0)
      continue;
    Verified = true;
    EXPECT_NE(std::wstring::npos, M.Lines[4].find(Right + L"\\a.txt")) << HostUtf8(M.Lines[4]);
  }
  EXPECT_TRUE(Verified);
}

// ---- Names differing only in letter case ----

TEST_F(SynchronizeTrustRound2Test, ACopyGivesTheTargetTheSourcesLetterCase) {
  WriteFile(Left + L"\\a.txt", "new a");
  WriteFile(Right + L"\\A.TXT", "old a");
  OpenDocument({Line(dtOlderRight, drTime, L"a.txt")});
  User().Clear(Text(MSyncConfirmOverwriteRight)).Press(Text(MOk));
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, Names(Right));
  EXPECT_EQ("new a", ReadFile(Right + L"\\a.txt"));
}

// ---- Links to files ----

TEST_F(SynchronizeTrustRound2Test, DeletingALinkToAFileNeverTouchesTheFileItLeadsTo) {
  const std::wstring Other = Scratch.Path() + L"\\other";
  MakeDir(Other);
  WriteFile(Other + L"\\f.txt", "outside f");
  WriteFile(Other + L"\\g.txt", "outside g");
  WriteFile(Other + L"\\probe.txt", "probe");
  MakeDir(Left + L"\\t");
  WriteFile(Left + L"\\t\\plain.txt", "plain");
  if (!MakeFileLink(Left + L"\\solo.txt", Other + L"\\g.txt") ||
      !MakeFileLink(Left + L"\\t\\link.txt", Other + L"\\f.txt") ||
      !MakeFileLink(Scratch.Path() + L"\\probe.lnk", Other + L"\\probe.txt"))
    GTEST_SKIP() << "no links to files on this system";
  // Where the system cannot remove a link on its own, the run reports each link and keeps it.
  const bool Removable = RemoveLink(Scratch.Path() + L"\\probe.lnk");
  EXPECT_EQ("probe", ReadFile(Other + L"\\probe.txt"));
  OpenDocument({Line(dtMissingRight, drFile, L"solo.txt"), Line(dtMissingRight, drFile, L"t", true)});
  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  User().Press(Text(MDelete)); // solo.txt
  if (!Removable)
    Answer(MSkip, Text(MFailureLinkNotRemovable), L"solo.txt");
  User().Press(Text(MDelete)); // t
  if (!Removable) {
    Answer(MSkip, Text(MFailureLinkNotRemovable), L"link.txt");
    Answer(MSkip, Text(MFailureRemoveDirectory));
  }
  EXPECT_EQ(!Removable, CloseDocument());
  EXPECT_EQ("outside f", ReadFile(Other + L"\\f.txt"));
  EXPECT_EQ("outside g", ReadFile(Other + L"\\g.txt"));
  EXPECT_FALSE(Exists(Left + L"\\t\\plain.txt"));
  if (Removable) {
    EXPECT_TRUE(Names(Left).empty());
  } else {
    EXPECT_EQ("outside g", ReadFile(Left + L"\\solo.txt")) << "the link stays";
    EXPECT_EQ((std::vector<std::wstring>{Line(dtMissingRight, drFile, L"solo.txt"),
                                         Line(dtMissingRight, drFile, L"t\\link.txt"),
                                         Line(dtMissingRight, drFile, L"t", true)}),
              RemainingLines());
  }
}

// ---- The Recycle Bin never deletes for good unasked ----

TEST_F(SynchronizeTrustRound2Test, WhereTheRecycleBinCannotTakeItNothingIsDeletedUnasked) {
  std::wstring Why;
  const std::wstring Full = FullDiskFolder(Why);
  if (Full.empty())
    GTEST_SKIP() << HostUtf8(Why);
  // A file system of its own: the shell cannot recycle there, and the run's probe finds out.
  SetOption(&TVelmoraOptions::DeleteToRecycleBin, true);
  WriteFile(Full + L"\\f.txt", "f");
  MakeDir(Full + L"\\t");
  WriteFile(Full + L"\\t\\a.txt", "a");
  const std::vector<std::wstring> Lines = {Line(dtMissingLeft, drFile, L"f.txt"),
                                           Line(dtMissingLeft, drFile, L"t", true)};
  OpenDocument(Lines, Left, Full);
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  User().Press(Text(MDelete));
  Answer(MSkip, Text(MDeletePermanentlyRight), L"f.txt");
  User().Press(Text(MDelete));
  Answer(MSkip, Text(MDeletePermanentlyRight), L"t");
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("f", ReadFile(Full + L"\\f.txt"));
  EXPECT_EQ("a", ReadFile(Full + L"\\t\\a.txt"));
  EXPECT_TRUE(Leftovers(Full).empty()) << "the probe leaves nothing behind";
  EXPECT_EQ(Lines, RemainingLines());
  ::DeleteFileW((Full + L"\\t\\a.txt").c_str());
  ::DeleteFileW((Full + L"\\f.txt").c_str());
  ::RemoveDirectoryW((Full + L"\\t").c_str());
  ::RemoveDirectoryW(Full.c_str());
}

TEST_F(SynchronizeTrustRound2Test, APathTooLongForTheRecycleBinIsAskedAboutAsSuch) {
  SetOption(&TVelmoraOptions::DeleteToRecycleBin, true);
  TSynchronizeTask::SetRecycleBinProbe([](const std::wstring &) { return true; });
  std::wstring Relative;
  while (Right.size() + Relative.size() < MAX_PATH + 10) {
    Relative += std::wstring(40, L'd') + L"\\";
    MakeDir(L"\\\\?\\" + Right + L"\\" + Relative);
  }
  Relative += L"long.txt";
  WriteFile(L"\\\\?\\" + Right + L"\\" + Relative, "long");
  OpenDocument({Line(dtMissingLeft, drFile, Relative)});
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  User().Press(Text(MDelete));
  Answer(MSkip, Text(MDeleteTooLongRight), L"long.txt");
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("long", ReadFile(L"\\\\?\\" + Right + L"\\" + Relative));
  EXPECT_EQ(std::vector<std::wstring>{Line(dtMissingLeft, drFile, Relative)}, RemainingLines());
}

// ---- What comes back ----

TEST_F(SynchronizeTrustRound2Test, ADirectoryKeptForWhatTheMasksLeaveOutIsReportedAndComesBack) {
  MakeDir(Right + L"\\only");
  MakeDir(Right + L"\\only\\sub");
  WriteFile(Right + L"\\only\\sub\\x.tmp", "x");
  WriteFile(Right + L"\\only\\y.tmp", "y");
  MakeDir(Right + L"\\deep");
  MakeDir(Right + L"\\deep\\sub");
  WriteFile(Right + L"\\deep\\sub\\z.tmp", "z");
  WriteFile(Right + L"\\deep\\gone.txt", "gone");
  const std::vector<std::wstring> Lines = {Line(dtMissingLeft, drFile, L"only", true),
                                           Line(dtMissingLeft, drFile, L"deep", true)};
  OpenDocument(Lines, {}, {}, TNameFilter(L"", L"*.tmp"));
  User().Check(Text(MSyncDeleteOnRight)).Press(Text(MOk));
  User().Press(Text(MDelete)); // only
  Host.Script().AnswerMessage(0, Right + L"\\only\\sub");
  Host.Script().AnswerMessage(0, Right + L"\\only");
  User().Press(Text(MDelete)); // deep
  Host.Script().AnswerMessage(0, Right + L"\\deep\\sub");
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ("y", ReadFile(Right + L"\\only\\y.tmp"));
  EXPECT_EQ("z", ReadFile(Right + L"\\deep\\sub\\z.tmp"));
  EXPECT_FALSE(Exists(Right + L"\\deep\\gone.txt"));
  EXPECT_EQ(Lines, RemainingLines());
  size_t Reports = 0;
  for (const auto &M : Host.Messages())
    if (!M.Buttons.empty()) {
      ++Reports;
      EXPECT_NE(std::wstring::npos, M.Body().find(Host.Msg(MKeptForMasksAfter))) << HostUtf8(M.Body());
    }
  EXPECT_EQ(3u, Reports);
}

TEST_F(SynchronizeTrustRound2Test, AfterEscInATreeCopyOnlyWhatWasNotCopiedComesBack) {
  std::wstring Why;
  if (!ConsoleOrSkip(ConsoleReady, Why))
    GTEST_SKIP() << HostUtf8(Why);
  EveryReportDrawn();
  CopiesBeforeEsc = 0;
  TSynchronizeTask::SetCopyFileFunction(&CopyOnceThenEsc);
  const std::vector<std::wstring> Files = {L"t\\a.txt", L"t\\b.txt", L"t\\sub\\c.txt", L"t\\sub\\d.txt"};
  MakeDir(Left + L"\\t");
  MakeDir(Left + L"\\t\\sub");
  for (const auto &F : Files)
    WriteFile(Left + L"\\" + F, "x");
  OpenDocument({Line(dtMissingRight, drFile, L"t", true)});
  Synchronise();
  Host.Script().AnswerMessage(0, Host.Msg(MAbortText));
  ASSERT_TRUE(CloseDocument());
  EXPECT_EQ(1, CopiesBeforeEsc);
  // Each file is either copied whole, or named on a line of its own or below a directory line.
  const std::vector<std::wstring> Remaining = RemainingLines();
  EXPECT_EQ(Remaining.end(),
            std::find(Remaining.begin(), Remaining.end(), Line(dtMissingRight, drFile, L"t", true)));
  size_t Copied = 0;
  for (const auto &F : Files) {
    const bool Named =
        std::find(Remaining.begin(), Remaining.end(), Line(dtOlderRight, drFile, F)) != Remaining.end();
    const bool Below = std::find(Remaining.begin(), Remaining.end(),
                                 Line(dtOlderRight, drFile, L"t\\sub", true)) != Remaining.end() &&
                       F.find(L"t\\sub\\") == 0;
    if (Exists(Right + L"\\" + F)) {
      ++Copied;
      EXPECT_EQ("x", ReadFile(Right + L"\\" + F));
      EXPECT_FALSE(Named || Below) << HostUtf8(F);
    } else {
      EXPECT_TRUE(Named || Below) << HostUtf8(F);
    }
  }
  EXPECT_EQ(1u, Copied);
  EXPECT_TRUE(Leftovers(Right).empty());
}

TEST_F(SynchronizeTrustRound2Test, ASubfolderThatCannotBeListedIsNamedAndComesBack) {
  MakeDir(Left + L"\\t");
  MakeDir(Left + L"\\t\\sub");
  WriteFile(Left + L"\\t\\a.txt", "a");
  WriteFile(Left + L"\\t\\sub\\b.txt", "b");
  // Another program holds the subfolder: it cannot be listed.
  HANDLE Held = ::CreateFileW((Left + L"\\t\\sub").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, Held);
  WIN32_FIND_DATAW Found;
  HANDLE Probe = ::FindFirstFileW((Left + L"\\t\\sub\\*").c_str(), &Found);
  if (Probe != INVALID_HANDLE_VALUE) {
    ::FindClose(Probe);
    ::CloseHandle(Held);
    GTEST_SKIP() << "a folder held by another program can still be listed here";
  }
  OpenDocument({Line(dtMissingRight, drFile, L"t", true)});
  Synchronise();
  Answer(MRetry, Text(MFailureListDirectory), Left + L"\\t\\sub");
  Answer(MSkip, Text(MFailureListDirectory), Left + L"\\t\\sub");
  ASSERT_TRUE(CloseDocument());
  ::CloseHandle(Held);
  EXPECT_EQ("a", ReadFile(Right + L"\\t\\a.txt"));
  EXPECT_FALSE(Exists(Right + L"\\t\\sub")) << "no empty folder stands for it";
  EXPECT_EQ(std::vector<std::wstring>{Line(dtOlderRight, drFile, L"t\\sub", true)}, RemainingLines());
}
