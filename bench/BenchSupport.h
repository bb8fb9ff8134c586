#pragma once
// What every benchmark needs besides its own work: a clock and a scratch folder.
#include <string>
#include <windows.h>

namespace Bench {

// Seconds on the performance counter.
inline double Now() {
  static const double Frequency = [] {
    LARGE_INTEGER Value;
    ::QueryPerformanceFrequency(&Value);
    return static_cast<double>(Value.QuadPart);
  }();
  LARGE_INTEGER Value;
  ::QueryPerformanceCounter(&Value);
  return static_cast<double>(Value.QuadPart) / Frequency;
}

// Given, or the system's temporary folder when empty, without a trailing backslash.
inline std::wstring Folder(std::wstring Given) {
  if (Given.empty()) {
    wchar_t Temp[MAX_PATH + 1];
    Given.assign(Temp, ::GetTempPathW(MAX_PATH + 1, Temp));
  }
  if (!Given.empty() && Given.back() == L'\\')
    Given.pop_back();
  return Given;
}

} // namespace Bench
