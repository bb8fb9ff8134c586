#pragma once

// FAR's screen as the host plays it: saved screens and full redraws, the taskbar progress, and the
// console the plug-in reads its keys from. AdvControl commands that concern FAR's windows and
// progress are registered here too.

#include "Host.h"

#include <set>
#include <string>
#include <vector>

// One ACTL_SETPROGRESSSTATE or ACTL_SETPROGRESSVALUE call.
struct THostTaskbarCall {
  int Command = 0;        // ACTL_SETPROGRESSSTATE or ACTL_SETPROGRESSVALUE
  intptr_t State = 0;     // the TBPS_* value (state calls)
  uint64_t Completed = 0; // the ProgressValue (value calls)
  uint64_t Total = 0;
};

class THostScreen : public THostPart {
public:
  // Handles SaveScreen gave out and neither RestoreScreen nor FreeScreen took back.
  std::set<HANDLE> Saved;
  size_t SaveCount = 0;
  size_t RestoreCount = 0;
  // ACTL_REDRAWALL calls and RestoreScreen(nullptr), FAR's two ways to redraw everything.
  size_t FullRedraws = 0;
  uintptr_t NextHandle = 0x5C000;

  // The taskbar indicator: every call in order, and the state and value it shows now.
  std::vector<THostTaskbarCall> TaskbarCalls;
  intptr_t TaskbarState = 0;
  uint64_t TaskbarCompleted = 0;
  uint64_t TaskbarTotal = 0;
  // Make FAR refuse the next calls (FALSE), as a FAR without a taskbar does.
  bool RefuseProgressState = false;
  bool RefuseProgressValue = false;
};

// The messages drawn without buttons (progress windows), in the order they were drawn.
std::vector<THostMessage> HostProgressMessages(TFarHost &host);

// The console whose input the plug-in reads through GetStdHandle(STD_INPUT_HANDLE), as FAR's
// own console is for a real plug-in. Keys written here are read back by the product exactly as
// typed keys would be. When the test program runs without a console of its own (output
// redirected, no terminal) one is made for it: a pseudo console the program attaches to.
class THostConsole {
public:
  // Whether the process's standard input is a console, making one when needed; why not, if not.
  static bool Ensure(std::wstring *why = nullptr);
  // Appends a key event (down, or up) to the console input.
  static bool PushKey(WORD virtualKey, bool keyDown = true, wchar_t character = 0);
  static bool PushEvent(const INPUT_RECORD &record);
  // A focus event: not a key, so a reader consumes it and stops.
  static bool PushFocusEvent();
  // Events waiting in the console input.
  static size_t Pending();
  static void Flush();
};
