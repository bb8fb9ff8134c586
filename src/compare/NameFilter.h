#pragma once

#include <string>

class TFileInfoList;

// Which entries a comparison and its synchronisation look at: files matching the include masks
// (every file when there are none), and no file or directory matching the exclude masks. The
// include masks leave directories alone, so the files they name are found at every level. An
// entry filtered out is never listed, compared, copied or deleted.
class TNameFilter {
public:
  TNameFilter() = default;
  TNameFilter(const std::wstring &IncludeMasks, const std::wstring &ExcludeMasks);

  bool Empty() const { return FInclude.empty() && FExclude.empty(); }
  const std::wstring &GetIncludeMasks() const { return FInclude; }
  const std::wstring &GetExcludeMasks() const { return FExclude; }

  bool Passes(const std::wstring &Name, bool IsDirectory) const;
  // Removes what does not pass.
  void Apply(TFileInfoList &List) const;

private:
  std::wstring FInclude;
  std::wstring FExclude;
};
