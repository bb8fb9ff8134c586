#include "FileInfo.h"

#include "Files.h"
#include "Handles.h"

#include <algorithm>

namespace {

bool IsDotEntry(const wchar_t *Name) {
  return (Name[0] == L'.' && Name[1] == 0) || (Name[0] == L'.' && Name[1] == L'.' && Name[2] == 0);
}

} // namespace

const std::string &TBaseFileInfo::GetSortKey() const {
  if (!FSortKey.empty())
    return FSortKey;
  const std::wstring &Name = GetFileName();
  constexpr DWORD Flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  char Small[512];
  int Length = ::LCMapStringW(LOCALE_USER_DEFAULT, Flags, Name.c_str(), static_cast<int>(Name.size()),
                              reinterpret_cast<wchar_t *>(Small), sizeof Small);
  if (Length > 0) {
    FSortKey.assign(Small, static_cast<size_t>(Length));
  } else {
    Length =
        ::LCMapStringW(LOCALE_USER_DEFAULT, Flags, Name.c_str(), static_cast<int>(Name.size()), nullptr, 0);
    if (Length > 0) {
      FSortKey.resize(static_cast<size_t>(Length));
      Length = ::LCMapStringW(LOCALE_USER_DEFAULT, Flags, Name.c_str(), static_cast<int>(Name.size()),
                              reinterpret_cast<wchar_t *>(FSortKey.data()), Length);
    }
    // Never seen; the bytes of the name at least keep the order the same throughout the run.
    if (Length <= 0)
      FSortKey.assign(reinterpret_cast<const char *>(Name.c_str()), (Name.size() + 1) * sizeof(wchar_t));
  }
  return FSortKey;
}

int CompareFileNames(const TBaseFileInfo &Left, const TBaseFileInfo &Right) {
  const int Order = Left.GetSortKey().compare(Right.GetSortKey());
  return Order < 0 ? -1 : Order > 0 ? 1 : 0;
}

double TFileInfoFromPanels::GetTime() const {
  return FileTimeToDays(FItem->LastWriteTime, true);
}

TFileInfoFromFileSystem::TFileInfoFromFileSystem(const WIN32_FIND_DATAW &Data)
    : FName(Data.cFileName),
      FSize(static_cast<int64_t>((static_cast<uint64_t>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow)),
      FTime(FileTimeToDays(Data.ftLastWriteTime, true)), FAttributes(Data.dwFileAttributes) {}

bool TFileInfoList::LoadFromDirectory(const std::wstring &Directory) {
  Clear();
  std::wstring Pattern = Directory;
  if (Pattern.empty() || Pattern.back() != L'\\')
    Pattern += L'\\';
  Pattern += L"*";

  WIN32_FIND_DATAW Data{};
  TFindHandle Search(::FindFirstFileExW(Pattern.c_str(), FindExInfoBasic, &Data, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH));
  // Systems before Windows 7 know neither the basic information level nor the large fetch.
  if (!Search && ::GetLastError() == ERROR_INVALID_PARAMETER)
    Search.Reset(
        ::FindFirstFileExW(Pattern.c_str(), FindExInfoStandard, &Data, FindExSearchNameMatch, nullptr, 0));
  if (!Search) {
    // Only a directory that is not there counts as listed and empty (it was removed since
    // the parent was read). A share that dropped off the network, a denied listing or any
    // other failure must not make the other side look one-sided.
    DWORD Error = ::GetLastError();
    return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND;
  }
  do {
    if (!IsDotEntry(Data.cFileName))
      FItems.push_back(std::make_unique<TFileInfoFromFileSystem>(Data));
  } while (::FindNextFileW(Search.Get(), &Data));
  // A listing cut short is no listing: its missing entries would look one-sided too.
  if (::GetLastError() != ERROR_NO_MORE_FILES) {
    Clear();
    return false;
  }
  return true;
}

void TFileInfoList::LoadFromPanel(TFarPanel &Panel) {
  Clear();
  for (size_t Index = 0; Index < Panel.Count(); ++Index) {
    TFarPanel::TItem &Item = Panel.Item(Index);
    if (Item.FileName != L"..")
      FItems.push_back(std::make_unique<TFileInfoFromPanels>(Item));
  }
}

void TFileInfoList::SortByFileName() {
  std::sort(FItems.begin(), FItems.end(),
            [](const auto &Left, const auto &Right) { return CompareFileNames(*Left, *Right) < 0; });
}

void TFileInfoList::SortByFileNameDescending() {
  std::sort(FItems.begin(), FItems.end(),
            [](const auto &Left, const auto &Right) { return CompareFileNames(*Right, *Left) < 0; });
}

TBaseFileInfo &TFileInfoList::Item(size_t Index) const {
  if (Index >= FItems.size())
    throw EFileInfoListError(L"Index out of bounds");
  return *FItems[Index];
}

void TFileInfoList::RemoveIf(const std::function<bool(const TBaseFileInfo &)> &Remove) {
  FItems.erase(std::remove_if(FItems.begin(), FItems.end(), [&](const auto &Item) { return Remove(*Item); }),
               FItems.end());
}

void TFileInfoList::Add(std::unique_ptr<TBaseFileInfo> Info) {
  FItems.push_back(std::move(Info));
}

void TFileInfoList::Delete(size_t Index) {
  if (Index >= FItems.size())
    throw EFileInfoListError(L"Index out of bounds");
  FItems.erase(FItems.begin() + static_cast<ptrdiff_t>(Index));
}
