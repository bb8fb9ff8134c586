#pragma once

#include "Exceptions.h"
#include "FarPanel.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

VELMORA_DECLARE_EXCEPTION(EFileInfoListError, Exception);

// One entry of a directory level as the comparison sees it, whether FAR's panel or the file
// system supplied it.
class TBaseFileInfo {
public:
  virtual ~TBaseFileInfo() = default;
  // The name without any directory part.
  virtual const std::wstring &GetFileName() const = 0;
  virtual int64_t GetSize() const = 0;
  // The last-write time in local time as a day count (days since 30 December 1899).
  virtual double GetTime() const = 0;
  virtual uint32_t GetAttributes() const = 0;
  virtual bool GetSelected() const = 0;
  virtual void SetSelected(bool Value) = 0;

  bool IsDirectory() const { return (GetAttributes() & FILE_ATTRIBUTE_DIRECTORY) != 0; }

  // The name's place in the order of the whole comparison (the user's locale, letter case
  // ignored), worked out once: comparing two keys gives what CompareStringW gives for the names,
  // at the cost of comparing bytes.
  const std::string &GetSortKey() const;

private:
  mutable std::string FSortKey;
};

// -1, 0 or +1: how Left's name sorts against Right's (case-insensitive, the user's locale).
int CompareFileNames(const TBaseFileInfo &Left, const TBaseFileInfo &Right);

// A panel item seen through TBaseFileInfo. The selection is the item's PPIF_SELECTED bit and
// reaches FAR when the owning panel applies its selection. The panel must outlive this object.
class TFileInfoFromPanels : public TBaseFileInfo {
public:
  explicit TFileInfoFromPanels(TFarPanel::TItem &Item) : FItem(&Item) {}

  const std::wstring &GetFileName() const override { return FItem->FileName; }
  int64_t GetSize() const override { return static_cast<int64_t>(FItem->FileSize); }
  double GetTime() const override;
  uint32_t GetAttributes() const override { return FItem->FileAttributes; }
  bool GetSelected() const override { return FItem->IsSelected(); }
  void SetSelected(bool Value) override { FItem->SetFlag(PPIF_SELECTED, Value); }

  TFarPanel::TItem &GetItem() const { return *FItem; }

private:
  TFarPanel::TItem *FItem;
};

// A snapshot of one directory search record; later changes on disk are not seen.
class TFileInfoFromFileSystem : public TBaseFileInfo {
public:
  explicit TFileInfoFromFileSystem(const WIN32_FIND_DATAW &Data);

  const std::wstring &GetFileName() const override { return FName; }
  int64_t GetSize() const override { return FSize; }
  double GetTime() const override { return FTime; }
  uint32_t GetAttributes() const override { return FAttributes; }
  bool GetSelected() const override { return FSelected; }
  void SetSelected(bool Value) override { FSelected = Value; }

private:
  std::wstring FName;
  int64_t FSize;
  double FTime;
  uint32_t FAttributes;
  bool FSelected = false;
};

// The entries of one directory level; the list owns them.
class TFileInfoList {
public:
  TFileInfoList() = default;
  TFileInfoList(const TFileInfoList &) = delete;
  TFileInfoList &operator=(const TFileInfoList &) = delete;

  // Replaces the contents with the entries of Directory ("." and ".." left out; hidden and
  // system entries included). A directory that is not there (the system says "not found")
  // counts as listed and empty; any other failure to list gives false and an empty list.
  bool LoadFromDirectory(const std::wstring &Directory);
  // Replaces the contents with wrappers of the panel's items, all but "..".
  void LoadFromPanel(TFarPanel &Panel);
  // By name, case-insensitive by the user's locale; names equal but for case keep no order.
  void SortByFileName();
  void SortByFileNameDescending();

  size_t Count() const { return FItems.size(); }
  // Raises EFileInfoListError "Index out of bounds" past the end.
  TBaseFileInfo &Item(size_t Index) const;
  TBaseFileInfo &operator[](size_t Index) const { return Item(Index); }
  void Add(std::unique_ptr<TBaseFileInfo> Info);
  // Frees the item; the ones after it move down by one.
  void Delete(size_t Index);
  // Removes (and frees) every entry Remove says so of, keeping the order of the others.
  void RemoveIf(const std::function<bool(const TBaseFileInfo &)> &Remove);
  void Clear() { FItems.clear(); }
  void Swap(TFileInfoList &Other) noexcept { FItems.swap(Other.FItems); }

private:
  std::vector<std::unique_ptr<TBaseFileInfo>> FItems;
};
