// Esc during a contents comparison, as the run wires it: the rules report each block to a real
// progress window that reads the console, and the abort question decides.
#include "CompareRules.h"
#include "FarProgress.h"
#include "Files.h"
#include "HostInProcess.h"
#include "HostScreen.h"
#include "Velmora.h"
#include "VelmoraMessages.h"

#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

namespace {

// Enough blocks for Esc to come in the middle of the file.
constexpr size_t BlocksInFile = 6;

class CompareAbortTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    std::wstring Why;
    ASSERT_TRUE(THostConsole::Ensure(&Why)) << HostUtf8(Why);
    THostConsole::Flush();
    ASSERT_TRUE(CreateDirectoryW((Folder / L"left").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((Folder / L"right").c_str(), nullptr));
    const std::string Data(BlocksInFile * TCompareRules::ExactBlockSize, 'z');
    ASSERT_TRUE(WriteBytes(Folder / L"left\\big.bin", Data));
    ASSERT_TRUE(WriteBytes(Folder / L"right\\big.bin", Data));
    Options.CompareContents = true;
  }
  void TearDown() override {
    THostConsole::Flush();
    TInProcessPluginTest<TVelmoraPlugin>::TearDown();
  }

  // The comparison of big.bin with a progress window like the run's; true when equal.
  bool CompareWithProgress(TFarProgress &Progress) {
    Progress.SetAllowAbort(true);
    Progress.SetOnAbortQuery([](TFarProgress &, bool &Abort) {
      Abort = TFarModule::ShowMessage({TFarModule::GetMsg(MAbortTitle), TFarModule::GetMsg(MAbortText),
                                       TFarModule::GetMsg(MOk), TFarModule::GetMsg(MCancel)},
                                      FMSG_WARNING, 2) == 0;
    });
    TCompareRules Rules(
        Options, [&](const std::wstring &Left, const std::wstring &Right, int64_t Done, int64_t Total) {
          ++Updates;
          if (Progress.NeedsUpdate())
            Progress.Show({TFarModule::GetMsg(MTitle), TFarModule::GetMsg(MCompareProgressLeft),
                           Progress.FitText(Left), TFarModule::GetMsg(MCompareProgressRight),
                           Progress.FitText(Right), Progress.ProgressBar(Done, Total)});
        });
    WIN32_FIND_DATAW LeftData, RightData;
    FindClose(FindFirstFileW((Folder / L"left\\big.bin").c_str(), &LeftData));
    FindClose(FindFirstFileW((Folder / L"right\\big.bin").c_str(), &RightData));
    TFileInfoFromFileSystem Left(LeftData), Right(RightData);
    return !Rules
                .CompareFiles(Left, Right, LongPathName(Folder / L"left") + L"\\",
                              LongPathName(Folder / L"right") + L"\\", L"", L"big.bin")
                .IsDifferent();
  }
  bool Released(const std::wstring &Name) {
    HANDLE File =
        CreateFileW(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (File == INVALID_HANDLE_VALUE)
      return false;
    CloseHandle(File);
    return true;
  }

  TScratchFolder Folder;
  TVelmoraOptions Options;
  int Updates = 0;
};

} // namespace

TEST_F(CompareAbortTest, ConfirmedEscStopsTheComparisonAndReleasesBothFiles) {
  Host.Script().AnswerMessage(0, Host.Msg(MAbortText));
  {
    TFarProgress Progress;
    ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
    EXPECT_THROW(CompareWithProgress(Progress), EAbort);
    EXPECT_LT(Updates, 10) << "the comparison went on after the answer";
    EXPECT_TRUE(Released(Folder / L"left\\big.bin"));
    EXPECT_TRUE(Released(Folder / L"right\\big.bin"));
  }
  // The window is gone and FAR's screen is back.
  EXPECT_TRUE(Host.Part<THostScreen>().Saved.empty());
  auto Shown = HostProgressMessages(Host);
  ASSERT_FALSE(Shown.empty());
  ASSERT_EQ(6u, Shown[0].Lines.size());
  EXPECT_EQ(Host.Msg(MTitle), Shown[0].Lines[0]);
  EXPECT_NE(std::wstring::npos, Shown[0].Lines[2].find(L"big.bin"));
  EXPECT_EQ(std::wstring::npos, Shown[0].Lines[2].find(L"\\\\?\\")) << "paths are shown in display form";
}

TEST_F(CompareAbortTest, DeclinedEscLetsTheComparisonFinish) {
  Host.Script().AnswerMessage(1, Host.Msg(MAbortText));
  TFarProgress Progress;
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  EXPECT_TRUE(CompareWithProgress(Progress));
  EXPECT_GE(Updates, static_cast<int>(BlocksInFile));
  EXPECT_EQ(0u, THostConsole::Pending());
}
