// The progress window against the host: what is saved and put back, the redraw throttle (a clock
// of the test's own, wrap included), the lines and the bar, Esc read from the real console
// input, and the taskbar indicator.
#include "FarProgress.h"
#include "HostInProcess.h"
#include "HostScreen.h"
#include "Velmora.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

DWORD FakeNow = 0;
DWORD WINAPI FakeTicks() {
  return FakeNow;
}

const wchar_t FullBlock = L'\x2588', LightShade = L'\x2591';

class FarProgressTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    FakeNow = 1000;
    TFarProgress::SetTickSource(&FakeTicks);
    SetFarWidth(80);
  }
  void TearDown() override {
    TFarProgress::SetTickSource(nullptr);
    if (ConsoleReady)
      THostConsole::Flush();
    TInProcessPluginTest<TVelmoraPlugin>::TearDown();
  }

  // FAR's window Columns wide; the text of a progress window is 14 columns narrower.
  void SetFarWidth(int Columns) {
    Host.OnAdvControl(ACTL_GETFARRECT, [Columns](const GUID *, intptr_t, void *Param2) -> intptr_t {
      *static_cast<SMALL_RECT *>(Param2) = SMALL_RECT{0, 0, SHORT(Columns - 1), 24};
      return TRUE;
    });
  }
  void NeedConsole() {
    std::wstring Why;
    ConsoleReady = THostConsole::Ensure(&Why);
    ASSERT_TRUE(ConsoleReady) << HostUtf8(Why);
    THostConsole::Flush();
  }
  std::vector<THostMessage> Drawn() { return HostProgressMessages(Host); }
  THostScreen &Screen() { return Host.Part<THostScreen>(); }

  bool ConsoleReady = false;
};

} // namespace

TEST_F(FarProgressTest, ProgressBarFillsInProportion) {
  SetFarWidth(34);
  TFarProgress Progress;
  Progress.Show({L"Title"});
  ASSERT_EQ(20, Progress.GetWidth());
  auto Bar = [&](int64_t Position, int64_t Total) {
    std::wstring Text = Progress.ProgressBar(Position, Total);
    EXPECT_EQ(20u, Text.size());
    return std::count(Text.begin(), Text.end(), FullBlock) * 100 +
           std::count(Text.begin(), Text.end(), LightShade);
  };
  EXPECT_EQ(1010, Bar(5, 10));
  EXPECT_EQ(std::wstring(20, L' '), Progress.ProgressBar(0, 0));
  EXPECT_EQ(std::wstring(20, L' '), Progress.ProgressBar(7, -1));
  EXPECT_EQ(2000, Bar(11, 10));
  EXPECT_EQ(2000, Bar(10, 10));
  EXPECT_EQ(20, Bar(0, 10));
  EXPECT_EQ(20, Bar(-5, 10));
  EXPECT_EQ(614, Bar(1, 3)); // 6.67 blocks: the part is never overstated
  // Byte counts of large trees must not overflow the arithmetic.
  EXPECT_EQ(1010, Bar(int64_t(1) << 61, int64_t(1) << 62));
  EXPECT_EQ(1505, Bar(INT64_MAX / 4 * 3 + INT64_MAX / 100, INT64_MAX));
  // Only the block characters are full and light, in that order.
  std::wstring Text = Progress.ProgressBar(3, 4);
  EXPECT_EQ(std::wstring(15, FullBlock) + std::wstring(5, LightShade), Text);
}

TEST_F(FarProgressTest, WidthFollowsFarAndFallsBackToEightyColumns) {
  SetFarWidth(120);
  {
    TFarProgress Progress;
    Progress.Show({L"T"});
    EXPECT_EQ(106, Progress.GetWidth());
    // Fixed at the first Show: a later resize does not change the window.
    SetFarWidth(60);
    FakeNow += 1000;
    Progress.Show({L"T"});
    EXPECT_EQ(106, Progress.GetWidth());
  }
  Host.OnAdvControl(ACTL_GETFARRECT, [](const GUID *, intptr_t, void *) -> intptr_t { return FALSE; });
  TFarProgress Progress;
  Progress.Show({L"T"});
  EXPECT_EQ(66, Progress.GetWidth());
  EXPECT_EQ(80, TFarScreen::Width());
  EXPECT_EQ(25, TFarScreen::Height());
}

TEST_F(FarProgressTest, LinesAreCutOrPaddedToTheWidthAndTheTitleOnlyCut) {
  SetFarWidth(24); // width 10
  TFarProgress Progress;
  Progress.Show({L"Short", L"abc", L"0123456789", L"0123456789ABC"});
  Progress.Hide();
  Progress.Show({L"A title longer than ten", L""});
  auto Messages = Drawn();
  ASSERT_EQ(2u, Messages.size());
  EXPECT_EQ((std::vector<std::wstring>{L"Short", L"abc       ", L"0123456789", L"0123456789"}),
            Messages[0].Lines);
  EXPECT_EQ((std::vector<std::wstring>{L"A title lo", L"          "}), Messages[1].Lines);
  EXPECT_EQ(0, Messages[0].ButtonsNumber);
  EXPECT_EQ(L"abc       ", Progress.FitText(L"abc"));
  EXPECT_EQ(10u, Progress.FitText(L"C:\\a very\\long\\path\\to\\file.txt").size());
}

TEST_F(FarProgressTest, RedrawsAtMostEveryIntervalAndFullyAfterAQuestion) {
  TFarProgress Progress;
  EXPECT_EQ(500u, Progress.GetUpdateInterval());
  Progress.Show({L"T", L"1"});
  FakeNow += 100;
  EXPECT_FALSE(Progress.NeedsUpdate());
  Progress.Show({L"T", L"2"});
  FakeNow += 399;
  Progress.Show({L"T", L"3"});
  ASSERT_EQ(1u, Drawn().size());
  FakeNow += 1;
  EXPECT_TRUE(Progress.NeedsUpdate());
  Progress.Show({L"T", L"4"});
  auto Messages = Drawn();
  ASSERT_EQ(2u, Messages.size());
  // The first drawing paints its own background, later ones draw over the window in place.
  EXPECT_EQ(FMSG_LEFTALIGN, Messages[0].Flags);
  EXPECT_EQ(FMSG_LEFTALIGN | FMSG_KEEPBACKGROUND, Messages[1].Flags);
  EXPECT_EQ(L"4", Messages[1].Lines[1].substr(0, 1));

  // A message with a button paints over the window: the next Show is not throttled and
  // repaints completely.
  FakeNow += 100;
  Host.Script().AnswerMessage(0);
  TFarModule::ShowMessage({L"Question", L"Go on?", L"OK"}, FMSG_WARNING, 1);
  Progress.Show({L"T", L"5"});
  Messages = Drawn();
  ASSERT_EQ(3u, Messages.size());
  EXPECT_EQ(FMSG_LEFTALIGN, Messages[2].Flags);

  // Force does the same without a question.
  FakeNow += 10;
  Progress.Show({L"T", L"6"}, true);
  EXPECT_EQ(4u, Drawn().size());
  EXPECT_EQ(FMSG_LEFTALIGN, Drawn().back().Flags);
  FakeNow += 10;
  Progress.Show({L"T", L"7"});
  EXPECT_EQ(4u, Drawn().size());
}

TEST_F(FarProgressTest, TickCounterWrapDoesNotBlockRedraws) {
  TFarProgress Progress;
  FakeNow = 0xFFFFFF00u;
  Progress.Show({L"T"});
  FakeNow = 0xFFFFFF00u + 100;
  Progress.Show({L"T"});
  FakeNow = 0x50; // 0x150 = 336 ms later, across the wrap
  Progress.Show({L"T"});
  EXPECT_EQ(1u, Drawn().size());
  FakeNow = 0x100; // 512 ms after the drawing
  Progress.Show({L"T"});
  EXPECT_EQ(2u, Drawn().size());
  FakeNow = 0x100 + 499;
  Progress.Show({L"T"});
  EXPECT_EQ(2u, Drawn().size());
}

TEST_F(FarProgressTest, ScreenAndTitleAreSavedOnceAndPutBackOnce) {
  NeedConsole();
  TFarScreen::SetConsoleTitle(L"FAR before");
  {
    TFarProgress Progress;
    EXPECT_FALSE(Progress.IsShown());
    Progress.Hide(); // nothing shown, nothing restored
    EXPECT_EQ(0u, Screen().RestoreCount);
    Progress.Show({L"T"});
    Progress.Show({L"T"}, true);
    EXPECT_EQ(1u, Screen().SaveCount);
    EXPECT_EQ(1u, Screen().Saved.size());
    TFarScreen::SetConsoleTitle(L"Velmora3: sub\\");
    Progress.Hide();
    EXPECT_EQ(L"FAR before", TFarScreen::GetConsoleTitle());
    EXPECT_EQ(1u, Screen().RestoreCount);
    EXPECT_TRUE(Screen().Saved.empty());
    Progress.Hide();
    EXPECT_EQ(1u, Screen().RestoreCount);

    // Shown again: a fresh save, put back by the destructor.
    TFarScreen::SetConsoleTitle(L"second");
    Progress.Show({L"T"});
    TFarScreen::SetConsoleTitle(L"changed");
    EXPECT_EQ(2u, Screen().SaveCount);
  }
  EXPECT_EQ(2u, Screen().RestoreCount);
  EXPECT_TRUE(Screen().Saved.empty());
  EXPECT_EQ(L"second", TFarScreen::GetConsoleTitle());

  HANDLE None = TFarScreen::InvalidScreen;
  TFarScreen::RestoreScreen(None);
  EXPECT_EQ(2u, Screen().RestoreCount);
  HANDLE Saved = TFarScreen::SaveScreen();
  TFarScreen::RestoreScreen(Saved);
  EXPECT_EQ(TFarScreen::InvalidScreen, Saved);
  TFarScreen::RestoreScreen(Saved);
  EXPECT_EQ(3u, Screen().RestoreCount);
}

TEST_F(FarProgressTest, LongTitleIsCutToTheConsoleLimit) {
  NeedConsole();
  TFarScreen::SetConsoleTitle(std::wstring(300, L'x'));
  std::wstring Title = TFarScreen::GetConsoleTitle();
  EXPECT_LE(Title.size(), 260u);
  EXPECT_EQ(std::wstring(Title.size(), L'x'), Title);
}

TEST_F(FarProgressTest, EscIsLeftInTheInputWhenAbortIsNotAllowed) {
  NeedConsole();
  TFarProgress Progress;
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  Progress.Show({L"T"});
  EXPECT_EQ(1u, THostConsole::Pending());
  KEY_EVENT_RECORD Key{};
  ASSERT_TRUE(TFarScreen::ReadKeyEvent(Key, false));
  EXPECT_EQ(VK_ESCAPE, Key.wVirtualKeyCode);
  EXPECT_FALSE(TFarScreen::ReadKeyEvent(Key, false));
}

TEST_F(FarProgressTest, EscRaisesAbortAfterTheRedraw) {
  NeedConsole();
  TFarProgress Progress;
  Progress.SetAllowAbort(true);
  Progress.Show({L"T"});
  FakeNow += 1000;
  ASSERT_TRUE(THostConsole::PushKey('A'));
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE, false)); // a key-up is not a press
  Progress.Show({L"T"});
  EXPECT_EQ(0u, THostConsole::Pending());

  FakeNow += 1000;
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  EXPECT_THROW(Progress.Show({L"T"}), EAbort);
  EXPECT_EQ(3u, Drawn().size());

  // The Esc asked for a full redraw, which clears it; an Esc typed while no redraw is due waits
  // for the next one.
  FakeNow += 10;
  Progress.Show({L"T"});
  EXPECT_EQ(4u, Drawn().size());
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  FakeNow += 10;
  EXPECT_NO_THROW(Progress.Show({L"T"}));
  EXPECT_EQ(1u, THostConsole::Pending());
  FakeNow += 1000;
  EXPECT_THROW(Progress.Show({L"T"}), EAbort);
}

TEST_F(FarProgressTest, NonKeyEventEndsTheLookForEsc) {
  NeedConsole();
  TFarProgress Progress;
  Progress.SetAllowAbort(true);
  ASSERT_TRUE(THostConsole::PushFocusEvent());
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  EXPECT_NO_THROW(Progress.Show({L"T"}));
  EXPECT_EQ(1u, THostConsole::Pending());
  FakeNow += 1000;
  EXPECT_THROW(Progress.Show({L"T"}), EAbort);
}

TEST_F(FarProgressTest, AbortQueryMayLetTheOperationGoOn) {
  NeedConsole();
  TFarProgress Progress;
  Progress.SetAllowAbort(true);
  int Asked = 0;
  bool Answer = false;
  Progress.SetOnAbortQuery([&](TFarProgress &Sender, bool &Abort) {
    EXPECT_EQ(&Progress, &Sender);
    EXPECT_TRUE(Abort);
    ++Asked;
    Abort = Answer;
  });
  Progress.Show({L"T"});
  FakeNow += 1000;
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  EXPECT_NO_THROW(Progress.Show({L"T"}));
  EXPECT_EQ(1, Asked);
  // The question painted over the window: the next Show repaints at once, completely.
  EXPECT_TRUE(Progress.GetFullRedraw());
  FakeNow += 1;
  Progress.Show({L"T"});
  ASSERT_EQ(3u, Drawn().size());
  EXPECT_EQ(FMSG_LEFTALIGN, Drawn().back().Flags);

  Answer = true;
  FakeNow += 1000;
  ASSERT_TRUE(THostConsole::PushKey(VK_ESCAPE));
  EXPECT_THROW(Progress.Show({L"T"}), EAbort);
  EXPECT_EQ(2, Asked);
}

TEST_F(FarProgressTest, EveryLiveWindowRepaintsAfterAQuestion) {
  auto First = std::make_unique<TFarProgress>();
  TFarProgress Second;
  First->Show({L"1"});
  Second.Show({L"2"});
  EXPECT_FALSE(First->GetFullRedraw());
  EXPECT_FALSE(Second.GetFullRedraw());
  First.reset(); // a freed window is no longer told anything
  Host.Script().AnswerMessage(0);
  TFarModule::ShowMessage({L"Question", L"OK"}, 0, 1);
  EXPECT_TRUE(Second.GetFullRedraw());

  // A message without buttons (another progress window) paints nothing over it.
  FakeNow += 1000;
  Second.Show({L"2"});
  TFarModule::ShowMessage({L"Other progress"}, FMSG_LEFTALIGN, 0);
  EXPECT_FALSE(Second.GetFullRedraw());
  TFarProgress::RequestFullRedrawAll();
  EXPECT_TRUE(Second.GetFullRedraw());
}

TEST_F(FarProgressTest, TaskbarStateAndValue) {
  auto &Calls = Screen().TaskbarCalls;
  EXPECT_TRUE(TFarScreen::SetTaskbarState(TBPS_INDETERMINATE));
  ASSERT_EQ(1u, Calls.size());
  EXPECT_EQ(ACTL_SETPROGRESSSTATE, Calls[0].Command);
  EXPECT_EQ(TBPS_INDETERMINATE, Calls[0].State);

  EXPECT_TRUE(TFarScreen::SetTaskbarProgress(TBPS_NORMAL, 30, 120));
  ASSERT_EQ(3u, Calls.size());
  EXPECT_EQ(ACTL_SETPROGRESSVALUE, Calls[2].Command);
  EXPECT_EQ(30u, Calls[2].Completed);
  EXPECT_EQ(120u, Calls[2].Total);

  // No value without a state to show it in, without a total, or with a negative part.
  TFarProgress Progress;
  EXPECT_TRUE(Progress.SetTaskbarState(TBPS_NOPROGRESS));
  EXPECT_TRUE(TFarScreen::SetTaskbarProgress(TBPS_NOPROGRESS, 1, 2));
  EXPECT_TRUE(TFarScreen::SetTaskbarProgress(TBPS_NORMAL, 1, 0));
  EXPECT_TRUE(TFarScreen::SetTaskbarProgress(TBPS_NORMAL, -1, 10));
  EXPECT_EQ(7u, Calls.size());
  EXPECT_EQ(TBPS_NORMAL, Screen().TaskbarState);

  Screen().RefuseProgressValue = true;
  EXPECT_FALSE(TFarScreen::SetTaskbarProgress(TBPS_NORMAL, 1, 2));
  EXPECT_TRUE(TFarScreen::SetTaskbarState(TBPS_PAUSED));
  Screen().RefuseProgressState = true;
  EXPECT_FALSE(TFarScreen::SetTaskbarState(TBPS_NORMAL));
  Screen().RefuseProgressValue = false;
  EXPECT_FALSE(TFarScreen::SetTaskbarProgress(TBPS_NORMAL, 1, 2));
}

TEST_F(FarProgressTest, RedrawAllAsksFar) {
  size_t Before = Screen().FullRedraws;
  TFarScreen::RedrawAll();
  EXPECT_EQ(Before + 1, Screen().FullRedraws);
}

TEST_F(FarProgressTest, LinesForTheFirstDrawingAreMadeToItsWidth) {
  // A caller builds the lines before the first Show: they must not come out empty.
  SetFarWidth(34);
  TFarProgress Progress;
  EXPECT_EQ(20, Progress.GetWidth());
  EXPECT_EQ(L"C:\\file.txt         ", Progress.FitText(L"C:\\file.txt"));
  EXPECT_EQ(std::wstring(10, FullBlock) + std::wstring(10, LightShade), Progress.ProgressBar(1, 2));
  Progress.Show({L"T", Progress.FitText(L"C:\\file.txt")});
  EXPECT_EQ(L"C:\\file.txt         ", Drawn().back().Lines[1]);
  // From then on the width stays.
  SetFarWidth(60);
  EXPECT_EQ(20, Progress.GetWidth());
}
