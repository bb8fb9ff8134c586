#include "FarProgress.h"

#include "Exceptions.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <utility>

namespace {

// The live progress windows. Windows are created and used on FAR's main thread, but the list may
// be walked from elsewhere (a message shown by any code), so every access takes the lock.
struct TLiveProgressList {
  std::mutex Lock;
  std::vector<TFarProgress *> Windows;
};

TLiveProgressList &LiveProgressList() {
  static TLiveProgressList List;
  return List;
}

TFarProgress::TTickSource TickSource = &::GetTickCount;

constexpr int FallbackRight = 79;
constexpr int FallbackBottom = 24;
// FAR's message frame and margins take this many columns of the window.
constexpr int MessageFrameWidth = 13;
constexpr DWORD ConsoleTitleBufferSize = 261;
constexpr int64_t TickWrap = int64_t(1) << 32;

intptr_t AdvControl(ADVANCED_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
  TFarPlugin &Plugin = FarPlugin();
  GUID Guid = Plugin.GetPluginGuid();
  return Plugin.Api(&PluginStartupInfo::AdvControl)(&Guid, Command, Param1, Param2);
}

} // namespace

// ---- TFarScreen ----

SMALL_RECT TFarScreen::GetFarRect() {
  SMALL_RECT Rect{};
  if (AdvControl(ACTL_GETFARRECT, 0, &Rect) == 0)
    Rect = SMALL_RECT{0, 0, FallbackRight, FallbackBottom};
  return Rect;
}

int TFarScreen::Width() {
  SMALL_RECT Rect = GetFarRect();
  return Rect.Right - Rect.Left + 1;
}

int TFarScreen::Height() {
  SMALL_RECT Rect = GetFarRect();
  return Rect.Bottom - Rect.Top + 1;
}

HANDLE TFarScreen::SaveScreen() {
  return FarPlugin().Api(&PluginStartupInfo::SaveScreen)(0, 0, -1, -1);
}

void TFarScreen::RestoreScreen(HANDLE &Handle) {
  if (Handle == InvalidScreen)
    return;
  HANDLE Saved = std::exchange(Handle, InvalidScreen);
  FarPlugin().Api (&PluginStartupInfo::RestoreScreen)(Saved);
}

void TFarScreen::RedrawAll() {
  AdvControl(ACTL_REDRAWALL, 0, nullptr);
}

std::wstring TFarScreen::GetConsoleTitle() {
  wchar_t Buffer[ConsoleTitleBufferSize];
  DWORD Length = ::GetConsoleTitleW(Buffer, ConsoleTitleBufferSize);
  if (Length == 0)
    return std::wstring();
  return std::wstring(Buffer, std::min<DWORD>(Length, ConsoleTitleBufferSize - 1));
}

void TFarScreen::SetConsoleTitle(const std::wstring &Text) {
  ::SetConsoleTitleW(Text.c_str());
}

bool TFarScreen::SetTaskbarProgress(int State, int64_t Completed, int64_t Total) {
  bool StateSet = AdvControl(ACTL_SETPROGRESSSTATE, State, nullptr) != 0;
  if (State != TBPS_NOPROGRESS && Completed >= 0 && Total > 0) {
    ProgressValue Value{};
    Value.StructSize = sizeof(Value);
    Value.Completed = static_cast<unsigned long long>(Completed);
    Value.Total = static_cast<unsigned long long>(Total);
    if (AdvControl(ACTL_SETPROGRESSVALUE, 0, &Value) == 0)
      return false;
  }
  return StateSet;
}

bool TFarScreen::ReadKeyEvent(KEY_EVENT_RECORD &KeyEvent, bool Wait) {
  HANDLE Input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (Input == nullptr || Input == INVALID_HANDLE_VALUE)
    return false;
  INPUT_RECORD Record{};
  DWORD Count = 0;
  // Peeking first keeps a non-console input (a pipe) from blocking: it fails instead.
  if (!Wait && (!::PeekConsoleInputW(Input, &Record, 1, &Count) || Count == 0))
    return false;
  if (!::ReadConsoleInputW(Input, &Record, 1, &Count) || Count == 0)
    return false;
  if (Record.EventType != KEY_EVENT)
    return false;
  KeyEvent = Record.Event.KeyEvent;
  return true;
}

// ---- TFarProgress ----

TFarProgress::TFarProgress() {
  // Any message with buttons paints over the live windows; they must then repaint completely.
  OnMessageShown = &TFarProgress::RequestFullRedrawAll;
  TLiveProgressList &List = LiveProgressList();
  std::lock_guard<std::mutex> Guard(List.Lock);
  List.Windows.push_back(this);
}

TFarProgress::~TFarProgress() {
  try {
    Hide();
  } catch (...) {
    // The plug-in is going away with FAR's tables; there is nothing left to restore.
  }
  TLiveProgressList &List = LiveProgressList();
  std::lock_guard<std::mutex> Guard(List.Lock);
  List.Windows.erase(std::remove(List.Windows.begin(), List.Windows.end(), this), List.Windows.end());
}

void TFarProgress::RequestFullRedrawAll() {
  TLiveProgressList &List = LiveProgressList();
  std::lock_guard<std::mutex> Guard(List.Lock);
  for (TFarProgress *Window : List.Windows)
    Window->RequestFullRedraw();
}

void TFarProgress::SetTickSource(TTickSource Source) {
  TickSource = Source ? Source : &::GetTickCount;
}

DWORD TFarProgress::Ticks() {
  return TickSource();
}

bool TFarProgress::NeedsUpdate() const {
  if (FLastUpdate < 0 || FFullRedraw)
    return true;
  int64_t Now = Ticks();
  if (Now < FLastUpdate)
    Now += TickWrap;
  return Now >= FLastUpdate + FUpdateInterval;
}

void TFarProgress::Show(const std::vector<std::wstring> &Lines, bool Force) {
  if (!FShown) {
    FSavedTitle = TFarScreen::GetConsoleTitle();
    FSavedScreen = TFarScreen::SaveScreen();
    FWidth = MeasureWidth();
    FLastUpdate = -1;
    FFullRedraw = true;
    FShown = true;
  }
  if (Force)
    FFullRedraw = true;
  if (Lines.empty() || !NeedsUpdate())
    return;

  FARMESSAGEFLAGS Flags = FMSG_LEFTALIGN | FMSG_KEEPBACKGROUND;
  if (FFullRedraw) {
    FFullRedraw = false;
    Flags = FMSG_LEFTALIGN;
  }

  // Lines of one width keep FAR's message the same size from one redraw to the next, so the
  // kept background never shows through; the title is left as it is.
  const size_t Width = static_cast<size_t>(FWidth);
  std::vector<std::wstring> Items;
  Items.reserve(Lines.size());
  for (size_t I = 0; I < Lines.size(); ++I) {
    std::wstring Item = Lines[I];
    if (Item.size() > Width)
      Item.resize(Width);
    else if (I > 0)
      Item.append(Width - Item.size(), L' ');
    Items.push_back(std::move(Item));
  }

  FLastUpdate = Ticks();
  ShowMessage(Items, Flags, 0);

  if (!FAllowAbort)
    return;
  KEY_EVENT_RECORD Key{};
  while (TFarScreen::ReadKeyEvent(Key, false)) {
    if (!Key.bKeyDown || Key.wVirtualKeyCode != VK_ESCAPE)
      continue;
    bool Abort = true;
    // The question (if any) paints over the window.
    FFullRedraw = true;
    if (FOnAbortQuery)
      FOnAbortQuery(*this, Abort);
    if (Abort)
      throw EAbort();
  }
}

void TFarProgress::Hide() {
  if (!FShown)
    return;
  FShown = false;
  TFarScreen::SetConsoleTitle(FSavedTitle);
  TFarScreen::RestoreScreen(FSavedScreen);
}

int TFarProgress::MeasureWidth() {
  SMALL_RECT Rect = TFarScreen::GetFarRect();
  return std::max(0, Rect.Right - Rect.Left - MessageFrameWidth);
}

int TFarProgress::GetWidth() const {
  // The lines of the first drawing are made before it: they get the width it will have.
  return FShown ? FWidth : MeasureWidth();
}

std::wstring TFarProgress::ProgressBar(int64_t Position, int64_t Total) const {
  const int64_t Width = GetWidth();
  if (Total <= 0)
    return std::wstring(static_cast<size_t>(Width), L' ');
  int64_t Filled;
  if (Position <= 0)
    Filled = 0;
  else if (Position < Total) {
    // Scaled down together so the product cannot overflow; only the ratio matters.
    while (Width > 0 && Position > std::numeric_limits<int64_t>::max() / Width) {
      Position >>= 1;
      Total >>= 1;
    }
    Filled = Position * Width / Total;
  } else
    Filled = Width;
  std::wstring Bar(static_cast<size_t>(Filled), L'\x2588');
  Bar.append(static_cast<size_t>(Width - Filled), L'\x2591');
  return Bar;
}

std::wstring TFarProgress::FitText(const std::wstring &Text) const {
  return FitToWidth(Text, GetWidth(), L' ');
}
