#include "FarMasks.h"

#include "FarPlugin.h"

bool TFarMasks::IsValid(const std::wstring &Masks) {
  if (Masks.find_first_not_of(L" \t,;") == std::wstring::npos)
    return true;
  FARSTDPROCESSNAME ProcessName = FarPlugin().Fsf(&FarStandardFunctions::ProcessName);
  return ProcessName(Masks.c_str(), nullptr, 0, PN_CHECKMASK) != 0;
}

bool TFarMasks::Matches(const std::wstring &Masks, const std::wstring &Name) {
  FARSTDPROCESSNAME ProcessName = FarPlugin().Fsf(&FarStandardFunctions::ProcessName);
  // FAR does not write to the name when it compares.
  return ProcessName(Masks.c_str(), const_cast<wchar_t *>(Name.c_str()), 0, PN_CMPNAMELIST | PN_SKIPPATH) !=
         0;
}
