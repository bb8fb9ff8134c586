#pragma once

#include "Exceptions.h"
#include "VelmoraConsts.h"

#include <memory>
#include <string>
#include <vector>

VELMORA_DECLARE_EXCEPTION(EDifferenceListError, Exception);

// One difference and its line in the differences document: the type's marker, the reason's code,
// a tab, the path relative to the two compared roots, and "\*" for a directory.
class TDifferenceItem {
public:
  TDifferenceItem() = default;
  TDifferenceItem(TDifferenceType DiffType, TDifferenceReason Reason, std::wstring RelativePath,
                  bool IsDirectory)
      : RelativePath(std::move(RelativePath)), IsDirectory(IsDirectory), DiffType(DiffType), Reason(Reason) {}

  // No leading backslash, never a trailing one (sub\file.txt).
  std::wstring RelativePath;
  bool IsDirectory = false;
  TDifferenceType DiffType = dtEqual;
  TDifferenceReason Reason = drNone;

  std::wstring FormatLine() const;
  // Fills the item from a difference line; false, and the item unchanged, for any other line
  // (header and help lines, empty lines, a marker the user blanked out). Nothing is trimmed.
  bool ParseLine(const std::wstring &Line);
};

// The differences of a document in document order; the list owns its items.
class TDifferenceList {
public:
  TDifferenceList() = default;
  TDifferenceList(const TDifferenceList &) = delete;
  TDifferenceList &operator=(const TDifferenceList &) = delete;

  // Replaces the contents with the difference lines of a text file (encoding detected as the
  // text stream does); other lines are skipped. Stream errors propagate; the file is closed.
  void LoadFromTextFile(const std::wstring &FileName);

  // Whether some item has this type.
  bool GetHasDifference(TDifferenceType DiffType) const;
  bool HasDifference(TDifferenceType DiffType) const { return GetHasDifference(DiffType); }

  size_t Count() const { return FItems.size(); }
  bool Empty() const { return FItems.empty(); }
  // Raises EDifferenceListError "Index out of bounds" past the end.
  TDifferenceItem &Item(size_t Index) const;
  TDifferenceItem &operator[](size_t Index) const { return Item(Index); }
  TDifferenceItem &Add(std::unique_ptr<TDifferenceItem> Item);
  // Frees the item; the ones after it move down by one.
  void Delete(size_t Index);
  // Replaces the item at Index with Items, in their order (none: the item is deleted).
  void Replace(size_t Index, std::vector<TDifferenceItem> Items);
  void Clear() { FItems.clear(); }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  std::vector<std::unique_ptr<TDifferenceItem>> FItems;
};
