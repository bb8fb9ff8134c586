#pragma once

#include "FarPlugin.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A snapshot of one of FAR's two panels: its state, its directory and, on request, its items.
// FAR does not update a snapshot; it is re-read with Refresh or Update. Selection changes made
// on the items reach FAR only through ApplySelection.
class TFarPanel : public TFarCommonModule {
public:
  // One panel item as FAR reported it. Owned by its panel, which must outlive every reference.
  class TItem {
  public:
    // Reads FAR's item Index of the panel; an item FAR does not give keeps only panel and index.
    TItem(TFarPanel &Panel, size_t Index);
    TItem(const TItem &) = delete;
    TItem &operator=(const TItem &) = delete;

    bool IsSelected() const { return HasFlag(PPIF_SELECTED); }
    bool HasFlag(PLUGINPANELITEMFLAGS Flag) const { return (Flags & Flag) != 0; }
    void SetFlag(PLUGINPANELITEMFLAGS Flag, bool On);

    TFarPanel *Panel;
    size_t Index;
    FILETIME CreationTime{};
    FILETIME LastAccessTime{};
    FILETIME LastWriteTime{};
    FILETIME ChangeTime{};
    uint64_t FileSize = 0;
    uint64_t AllocationSize = 0;
    std::wstring FileName;
    std::wstring AlternateFileName;
    std::wstring Description;
    std::wstring Owner;
    PLUGINPANELITEMFLAGS Flags = 0;
    uint32_t FileAttributes = 0;
    uint32_t NumberOfLinks = 0;
    uint32_t CRC32 = 0;
  };

  // The active (Active true) or the passive panel.
  TFarPanel(bool Active, bool LoadItems);
  // PANEL_ACTIVE, PANEL_PASSIVE or a plug-in panel handle.
  TFarPanel(HANDLE Handle, bool LoadItems);
  virtual ~TFarPanel();
  TFarPanel(const TFarPanel &) = delete;
  TFarPanel &operator=(const TFarPanel &) = delete;

  // Re-reads the panel. When FAR refuses the panel information the old snapshot stays whole.
  void Refresh(HANDLE Handle, bool LoadItems);
  // Asks FAR to re-read the panel keeping its selection, then takes a new snapshot with items.
  void Update();
  static void UpdatePanel(bool Active);
  bool SetActive();
  // Hands every item's selection bit to FAR and redraws the panel.
  void ApplySelection();
  // Changes the panel's directory; on success the snapshot is re-read.
  bool SetDirectory(const std::wstring &Path);
  // Moves the panel's cursor; on success the snapshot is re-read.
  bool SetCurrentItem(size_t Index);
  // The first item named Name; case-insensitive comparison by the user's locale unless CaseSensitive.
  bool FindItem(const std::wstring &Name, size_t &Index, bool CaseSensitive) const;
  // Makes FAR's panels window the current window; does nothing when there is none.
  static void ActivatePanelsWindow();

  bool HasFlag(PANELINFOFLAGS Flag) const { return (FFlags & Flag) != 0; }
  bool AnySelected() const;
  bool IsPluginPanel() const { return FPluginHandle != nullptr; }
  size_t Count() const { return FItems.size(); }
  // Raises EFarError "Index out of bounds" for an index past the items.
  TItem &Item(size_t Index);
  const TItem &Item(size_t Index) const;

  HANDLE GetHandle() const { return FHandle; }
  bool GetItemsLoaded() const { return FItemsLoaded; }
  HANDLE GetPluginHandle() const { return FPluginHandle; }
  const GUID &GetOwnerGuid() const { return FOwnerGuid; }
  PANELINFOFLAGS GetFlags() const { return FFlags; }
  const RECT &GetPanelRect() const { return FPanelRect; }
  size_t GetSelectedItemsNumber() const { return FSelectedItemsNumber; }
  size_t GetCurrentItem() const { return FCurrentItem; }
  size_t GetTopPanelItem() const { return FTopPanelItem; }
  intptr_t GetViewMode() const { return FViewMode; }
  int GetSortMode() const { return FSortMode; }
  int GetPanelType() const { return FPanelType; }
  const std::wstring &GetDirectoryName() const { return FDirectoryName; }
  const std::wstring &GetDirectoryParam() const { return FDirectoryParam; }
  const GUID &GetDirectoryPluginId() const { return FDirectoryPluginId; }
  const std::wstring &GetDirectoryFile() const { return FDirectoryFile; }

private:
  HANDLE FHandle;
  bool FItemsLoaded = false;
  std::vector<std::unique_ptr<TItem>> FItems;
  HANDLE FPluginHandle = nullptr;
  GUID FOwnerGuid{};
  PANELINFOFLAGS FFlags = 0;
  RECT FPanelRect{};
  size_t FSelectedItemsNumber = 0;
  size_t FCurrentItem = 0;
  size_t FTopPanelItem = 0;
  intptr_t FViewMode = 0;
  int FSortMode = 0;
  int FPanelType = 0;
  std::wstring FDirectoryName;
  std::wstring FDirectoryParam;
  GUID FDirectoryPluginId{};
  std::wstring FDirectoryFile;
};
