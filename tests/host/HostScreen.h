#pragma once

// FAR's screen as the host plays it: saved screens and full redraws. AdvControl commands that
// concern FAR's windows and progress are registered here too.

#include "Host.h"

#include <set>

class THostScreen : public THostPart {
public:
  // Handles SaveScreen gave out and neither RestoreScreen nor FreeScreen took back.
  std::set<HANDLE> Saved;
  size_t SaveCount = 0;
  size_t RestoreCount = 0;
  // ACTL_REDRAWALL calls and RestoreScreen(nullptr), FAR's two ways to redraw everything.
  size_t FullRedraws = 0;
  uintptr_t NextHandle = 0x5C000;
};
