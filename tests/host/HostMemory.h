#pragma once

// Memory that catches reads past its end: the block ends exactly where a committed page ends, and
// the next page has no access. An access to that page is recorded and then let through (the page
// is made readable and the access repeated), so a test can check Overrun() instead of dying.

#include <windows.h>

#include <cstddef>

class THostGuardedBlock {
public:
  explicit THostGuardedBlock(size_t size);
  ~THostGuardedBlock();
  THostGuardedBlock(const THostGuardedBlock &) = delete;
  THostGuardedBlock &operator=(const THostGuardedBlock &) = delete;

  void *Data() const { return FData; }
  template <class T> T *As() const { return static_cast<T *>(FData); }
  size_t Size() const { return FSize; }
  // Whether anything touched the page after the block.
  bool Overrun() const { return FOverrun; }

  // For the exception handler: claims an access at address when it hit this block's guard page.
  bool Claim(const void *address);

private:
  char *FBase = nullptr;
  char *FGuard = nullptr;
  void *FData = nullptr;
  size_t FSize = 0;
  size_t FPage = 0;
  size_t FReserved = 0;
  // Set by the exception handler, behind the compiler's back.
  volatile bool FOverrun = false;
};
