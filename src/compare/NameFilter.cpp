#include "NameFilter.h"

#include "FarMasks.h"
#include "FileInfo.h"

namespace {

// Masks of blanks and separators only mask nothing.
std::wstring Significant(const std::wstring &Masks) {
  return Masks.find_first_not_of(L" \t,;") == std::wstring::npos ? std::wstring() : Masks;
}

} // namespace

TNameFilter::TNameFilter(const std::wstring &IncludeMasks, const std::wstring &ExcludeMasks)
    : FInclude(Significant(IncludeMasks)), FExclude(Significant(ExcludeMasks)) {}

bool TNameFilter::Passes(const std::wstring &Name, bool IsDirectory) const {
  if (!IsDirectory && !FInclude.empty() && !TFarMasks::Matches(FInclude, Name))
    return false;
  return FExclude.empty() || !TFarMasks::Matches(FExclude, Name);
}

void TNameFilter::Apply(TFileInfoList &List) const {
  if (Empty())
    return;
  List.RemoveIf(
      [this](const TBaseFileInfo &Info) { return !Passes(Info.GetFileName(), Info.IsDirectory()); });
}
