#pragma once

#include "FarPlugin.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The screen and console services a progress window needs. All class-level.
class TFarScreen : public TFarCommonModule {
public:
  // FAR's window (inclusive coordinates); 0, 0, 79, 24 when FAR cannot tell.
  static SMALL_RECT GetFarRect();
  static int Width();
  static int Height();

  // The whole screen; RestoreScreen puts it back and sets Handle to InvalidScreen, so a second
  // call does nothing.
  static inline const HANDLE InvalidScreen = INVALID_HANDLE_VALUE;
  static HANDLE SaveScreen();
  static void RestoreScreen(HANDLE &Handle);
  static void RedrawAll();

  // At most 260 characters; empty when the console has no title to give.
  static std::wstring GetConsoleTitle();
  static void SetConsoleTitle(const std::wstring &Text);

  // FAR's taskbar indicator (TBPS_* states). The value is set only for a state other than
  // TBPS_NOPROGRESS with Completed >= 0 and Total > 0; false when that fails, else whether FAR
  // took the state.
  static bool SetTaskbarProgress(int State, int64_t Completed, int64_t Total);
  static bool SetTaskbarState(int State) { return SetTaskbarProgress(State, -1, -1); }

  // One event from the console input (the standard input handle). Without Wait, false at once
  // when nothing is pending. True only for a key event; any other event is consumed.
  static bool ReadKeyEvent(KEY_EVENT_RECORD &KeyEvent, bool Wait);
};

class TFarProgress;
// May ask the user and clear Abort to let the operation go on.
using TFarAbortQueryEvent = std::function<void(TFarProgress &Sender, bool &Abort)>;

// A progress window: a FAR message without buttons redrawn in place, at most every
// UpdateInterval milliseconds, that watches for Esc. The first Show saves the screen and the
// console title; Hide (and the destructor) put both back exactly once. Every live window is told
// to repaint completely after any FAR message with buttons, since that message painted over it.
class TFarProgress : public TFarCommonModule {
public:
  static constexpr uint32_t DefaultUpdateInterval = 500;

  TFarProgress();
  ~TFarProgress() override;
  TFarProgress(const TFarProgress &) = delete;
  TFarProgress &operator=(const TFarProgress &) = delete;

  // Lines[0] is the title. Cheap when no redraw is due (one tick reading). With AllowAbort,
  // pending console input is read after a redraw; a confirmed Esc raises EAbort.
  void Show(const std::vector<std::wstring> &Lines, bool Force = false);
  void Hide();
  bool NeedsUpdate() const;
  void RequestFullRedraw() { FFullRedraw = true; }

  // Exactly Width characters: full blocks for the part done, light shades for the rest; spaces
  // when Total is not positive.
  std::wstring ProgressBar(int64_t Position, int64_t Total) const;
  // Text shortened (paths with FAR's path truncation) or padded to Width.
  std::wstring FitText(const std::wstring &Text) const;
  bool SetTaskbarState(int State) { return TFarScreen::SetTaskbarState(State); }

  // Every live progress window repaints completely on its next Show.
  static void RequestFullRedrawAll();

  uint32_t GetUpdateInterval() const { return FUpdateInterval; }
  void SetUpdateInterval(uint32_t Value) { FUpdateInterval = Value; }
  bool GetAllowAbort() const { return FAllowAbort; }
  void SetAllowAbort(bool Value) { FAllowAbort = Value; }
  void SetOnAbortQuery(TFarAbortQueryEvent Handler) { FOnAbortQuery = std::move(Handler); }
  // The text width: FAR's width less the frame, fixed by the first Show.
  int GetWidth() const;
  bool IsShown() const { return FShown; }
  bool GetFullRedraw() const { return FFullRedraw; }

  // The millisecond counter behind the throttle: GetTickCount, or a test's clock.
  using TTickSource = DWORD(WINAPI *)();
  static void SetTickSource(TTickSource Source);
  static DWORD Ticks();

private:
  static int MeasureWidth();

  std::wstring FSavedTitle;
  HANDLE FSavedScreen = TFarScreen::InvalidScreen;
  uint32_t FUpdateInterval = DefaultUpdateInterval;
  bool FAllowAbort = false;
  TFarAbortQueryEvent FOnAbortQuery;
  int64_t FLastUpdate = -1;
  bool FFullRedraw = true;
  bool FShown = false;
  int FWidth = 0;
};
