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

// Calls Visit with every entry of Directory but "." and "..", listed as the comparison lists:
// FindFirstFileExW at the basic level with large fetches. False when it cannot be listed.
template <class TVisit> bool ForEachEntry(const std::wstring &Directory, TVisit Visit) {
  WIN32_FIND_DATAW Data;
  HANDLE Find = ::FindFirstFileExW((Directory + L"\\*").c_str(), FindExInfoBasic, &Data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (Find == INVALID_HANDLE_VALUE)
    return false;
  do {
    if (Data.cFileName[0] == L'.' &&
        (Data.cFileName[1] == 0 || (Data.cFileName[1] == L'.' && Data.cFileName[2] == 0)))
      continue;
    Visit(Data);
  } while (::FindNextFileW(Find, &Data));
  ::FindClose(Find);
  return true;
}

} // namespace Bench
