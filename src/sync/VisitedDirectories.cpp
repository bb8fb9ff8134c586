#include "VisitedDirectories.h"

#include "Files.h"

#include <windows.h>

namespace {

bool IsDriveRoot(const std::wstring &Path) {
  // "C:\" and "\\?\C:\": without the backslash the name would mean the drive's current directory
  // or the volume device, not the root directory.
  return Path.size() >= 3 && Path[Path.size() - 2] == L':' && Path.back() == L'\\';
}

std::wstring WithoutTrailingBackslash(std::wstring Path) {
  if (!Path.empty() && Path.back() == L'\\' && !IsDriveRoot(Path))
    Path.pop_back();
  return Path;
}

std::wstring LocaleUpperCase(const std::wstring &Text) {
  if (Text.empty())
    return Text;
  const int Length = static_cast<int>(Text.size());
  int Needed = ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, Text.data(), Length, nullptr, 0);
  if (Needed <= 0) {
    std::wstring Result = Text;
    ::CharUpperBuffW(Result.data(), static_cast<DWORD>(Result.size()));
    return Result;
  }
  std::wstring Result(static_cast<size_t>(Needed), L'\0');
  ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, Text.data(), Length, Result.data(), Needed);
  return Result;
}

} // namespace

std::wstring TVisitedDirectories::CanonicalKey(const std::wstring &Directory) {
  // The resolved name loses the trailing backslash too, except at a drive root.
  return LocaleUpperCase(WithoutTrailingBackslash(RealPathName(WithoutTrailingBackslash(Directory))));
}

std::wstring TVisitedDirectories::KeyOfRealPath(const std::wstring &RealPath) {
  return LocaleUpperCase(WithoutTrailingBackslash(RealPath));
}

void TVisitedDirectories::PushKey(std::wstring Key) {
  FKeys.push_back(std::move(Key));
}

bool TVisitedDirectories::ContainsKey(const std::wstring &Key) const {
  for (const auto &Entry : FKeys)
    if (Entry == Key)
      return true;
  return false;
}

void TVisitedDirectories::Push(const std::wstring &Directory) {
  FKeys.push_back(CanonicalKey(Directory));
}

void TVisitedDirectories::Pop() {
  if (!FKeys.empty())
    FKeys.pop_back();
}

bool TVisitedDirectories::Contains(const std::wstring &Directory) const {
  const std::wstring Key = CanonicalKey(Directory);
  for (const auto &Entry : FKeys)
    if (Entry == Key)
      return true;
  return false;
}
