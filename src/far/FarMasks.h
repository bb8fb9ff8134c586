#pragma once

#include <string>

// File masks in FAR's own syntax ("*.cpp,*.h", names with commas in quotes), judged by FAR's own
// engine, so a user's masks mean here what they mean everywhere in FAR.
class TFarMasks {
public:
  // Whether FAR accepts the masks; an empty text is valid (it masks nothing).
  static bool IsValid(const std::wstring &Masks);
  // Whether Name (no directory part) matches one of the masks.
  static bool Matches(const std::wstring &Masks, const std::wstring &Name);
};
