#include "FarPanel.h"

#include "FarErrors.h"

#include <algorithm>
#include <memory>

namespace {

intptr_t Panels(HANDLE Panel, FILE_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
  return FarPlugin().Api(&PluginStartupInfo::PanelControl)(Panel, Command, Param1, Param2);
}

intptr_t Advanced(ADVANCED_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
  TFarPlugin &Plugin = FarPlugin();
  GUID Guid = Plugin.GetPluginGuid();
  return Plugin.Api(&PluginStartupInfo::AdvControl)(&Guid, Command, Param1, Param2);
}

std::wstring Copy(const wchar_t *Text) {
  return Text != nullptr ? std::wstring(Text) : std::wstring();
}

// A zeroed buffer for FAR's variable-size answers, aligned for the structure at its start.
class TFarBuffer {
public:
  explicit TFarBuffer(size_t Size) : FData(new uint64_t[(Size + 7) / 8]()), FSize(Size) {}
  template <typename T> T *As() const { return reinterpret_cast<T *>(FData.get()); }
  size_t Size() const { return FSize; }

private:
  std::unique_ptr<uint64_t[]> FData;
  size_t FSize;
};

// Ends FAR's selection batch and redraws the panel on every way out of ApplySelection.
class TSelectionBatch {
public:
  explicit TSelectionBatch(HANDLE Panel) : FPanel(Panel) { Panels(FPanel, FCTL_BEGINSELECTION, 0, nullptr); }
  ~TSelectionBatch() {
    // Also while an exception unwinds: a second one here would end the process.
    try {
      Panels(FPanel, FCTL_ENDSELECTION, 0, nullptr);
      Panels(FPanel, FCTL_REDRAWPANEL, 0, nullptr);
    } catch (...) {
    }
  }
  TSelectionBatch(const TSelectionBatch &) = delete;
  TSelectionBatch &operator=(const TSelectionBatch &) = delete;

private:
  HANDLE FPanel;
};

} // namespace

TFarPanel::TItem::TItem(TFarPanel &OwnerPanel, size_t ItemIndex) : Panel(&OwnerPanel), Index(ItemIndex) {
  HANDLE Handle = OwnerPanel.GetHandle();
  intptr_t Needed = Panels(Handle, FCTL_GETPANELITEM, static_cast<intptr_t>(ItemIndex), nullptr);
  if (Needed <= 0)
    return;
  // The strings follow the item in the same buffer; ask again when the item grew meanwhile.
  for (int Attempt = 0; Attempt < 3; ++Attempt) {
    size_t Size = std::max(static_cast<size_t>(Needed), sizeof(PluginPanelItem));
    TFarBuffer Buffer(Size);
    FarGetPluginPanelItem Get{};
    Get.StructSize = sizeof(Get);
    Get.Size = Size;
    Get.Item = Buffer.As<PluginPanelItem>();
    Needed = Panels(Handle, FCTL_GETPANELITEM, static_cast<intptr_t>(ItemIndex), &Get);
    if (Needed <= 0)
      return;
    if (static_cast<size_t>(Needed) > Size)
      continue;
    const PluginPanelItem &Source = *Get.Item;
    CreationTime = Source.CreationTime;
    LastAccessTime = Source.LastAccessTime;
    LastWriteTime = Source.LastWriteTime;
    ChangeTime = Source.ChangeTime;
    FileSize = Source.FileSize;
    AllocationSize = Source.AllocationSize;
    FileName = Copy(Source.FileName);
    AlternateFileName = Copy(Source.AlternateFileName);
    Description = Copy(Source.Description);
    Owner = Copy(Source.Owner);
    Flags = Source.Flags;
    FileAttributes = static_cast<uint32_t>(Source.FileAttributes);
    NumberOfLinks = static_cast<uint32_t>(Source.NumberOfLinks);
    CRC32 = static_cast<uint32_t>(Source.CRC32);
    return;
  }
}

void TFarPanel::TItem::SetFlag(PLUGINPANELITEMFLAGS Flag, bool On) {
  if (On)
    Flags |= Flag;
  else
    Flags &= ~Flag;
}

TFarPanel::TFarPanel(bool Active, bool LoadItems)
    : TFarPanel(Active ? PANEL_ACTIVE : PANEL_PASSIVE, LoadItems) {}

TFarPanel::TFarPanel(HANDLE Handle, bool LoadItems) : FHandle(Handle) {
  Refresh(Handle, LoadItems);
}

TFarPanel::~TFarPanel() = default;

void TFarPanel::Refresh(HANDLE Handle, bool LoadItems) {
  PanelInfo Info{};
  Info.StructSize = sizeof(Info);
  if (Panels(Handle, FCTL_GETPANELINFO, 0, &Info) == 0)
    return;

  FHandle = Handle;
  FPluginHandle = Info.PluginHandle;
  FOwnerGuid = Info.OwnerGuid;
  FFlags = Info.Flags;
  FPanelRect = Info.PanelRect;
  FSelectedItemsNumber = Info.SelectedItemsNumber;
  FCurrentItem = Info.CurrentItem;
  FTopPanelItem = Info.TopPanelItem;
  FViewMode = Info.ViewMode;
  FSortMode = Info.SortMode;
  FPanelType = Info.PanelType;

  FItems.clear();
  FItemsLoaded = LoadItems;
  if (LoadItems) {
    FItems.reserve(Info.ItemsNumber);
    for (size_t Index = 0; Index < Info.ItemsNumber; ++Index)
      FItems.push_back(std::make_unique<TItem>(*this, Index));
  }

  FDirectoryName.clear();
  FDirectoryParam.clear();
  FDirectoryPluginId = GUID{};
  FDirectoryFile.clear();
  intptr_t Size = Panels(Handle, FCTL_GETPANELDIRECTORY, 0, nullptr);
  if (Size > 0) {
    size_t BufferSize = std::max(static_cast<size_t>(Size), sizeof(FarPanelDirectory));
    TFarBuffer Buffer(BufferSize);
    FarPanelDirectory *Directory = Buffer.As<FarPanelDirectory>();
    Directory->StructSize = sizeof(FarPanelDirectory);
    intptr_t Filled = Panels(Handle, FCTL_GETPANELDIRECTORY, static_cast<intptr_t>(BufferSize), Directory);
    if (Filled > 0 && static_cast<size_t>(Filled) <= BufferSize) {
      FDirectoryName = Copy(Directory->Name);
      FDirectoryParam = Copy(Directory->Param);
      FDirectoryPluginId = Directory->PluginId;
      FDirectoryFile = Copy(Directory->File);
    }
  }
}

void TFarPanel::Update() {
  Panels(FHandle, FCTL_UPDATEPANEL, 1, nullptr);
  Refresh(FHandle, true);
}

void TFarPanel::UpdatePanel(bool Active) {
  Panels(Active ? PANEL_ACTIVE : PANEL_PASSIVE, FCTL_UPDATEPANEL, 1, nullptr);
}

bool TFarPanel::SetActive() {
  return Panels(FHandle, FCTL_SETACTIVEPANEL, 0, nullptr) != 0;
}

void TFarPanel::ApplySelection() {
  TSelectionBatch Batch(FHandle);
  for (const auto &Item : FItems)
    Panels(FHandle, FCTL_SETSELECTION, static_cast<intptr_t>(Item->Index),
           reinterpret_cast<void *>(static_cast<intptr_t>(Item->IsSelected() ? 1 : 0)));
}

bool TFarPanel::SetDirectory(const std::wstring &Path) {
  FarPanelDirectory Directory{};
  Directory.StructSize = sizeof(Directory);
  Directory.Name = Path.c_str();
  if (Panels(FHandle, FCTL_SETPANELDIRECTORY, 0, &Directory) == 0)
    return false;
  Update();
  return true;
}

bool TFarPanel::SetCurrentItem(size_t Index) {
  PanelRedrawInfo Redraw{};
  Redraw.StructSize = sizeof(Redraw);
  Redraw.CurrentItem = Index;
  Redraw.TopPanelItem = FTopPanelItem;
  if (Panels(FHandle, FCTL_REDRAWPANEL, 0, &Redraw) == 0)
    return false;
  Update();
  return true;
}

bool TFarPanel::FindItem(const std::wstring &Name, size_t &Index, bool CaseSensitive) const {
  for (size_t I = 0; I < FItems.size(); ++I) {
    const std::wstring &FileName = FItems[I]->FileName;
    bool Equal = CaseSensitive ? FileName == Name
                               : ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, FileName.c_str(),
                                                  static_cast<int>(FileName.size()), Name.c_str(),
                                                  static_cast<int>(Name.size())) == CSTR_EQUAL;
    if (Equal) {
      Index = I;
      return true;
    }
  }
  return false;
}

void TFarPanel::ActivatePanelsWindow() {
  intptr_t Count = Advanced(ACTL_GETWINDOWCOUNT, 0, nullptr);
  for (intptr_t Pos = 0; Pos < Count; ++Pos) {
    WindowInfo Window{};
    Window.StructSize = sizeof(Window);
    Window.Pos = Pos;
    if (Advanced(ACTL_GETWINDOWINFO, 0, &Window) == 0 || Window.Type != WTYPE_PANELS)
      continue;
    if (Advanced(ACTL_SETCURRENTWINDOW, Pos, nullptr) != 0)
      Advanced(ACTL_COMMIT, 0, nullptr);
    return;
  }
}

bool TFarPanel::AnySelected() const {
  for (const auto &Item : FItems)
    if (Item->IsSelected())
      return true;
  return false;
}

TFarPanel::TItem &TFarPanel::Item(size_t Index) {
  if (Index >= FItems.size())
    throw EFarError(L"Index out of bounds");
  return *FItems[Index];
}

const TFarPanel::TItem &TFarPanel::Item(size_t Index) const {
  if (Index >= FItems.size())
    throw EFarError(L"Index out of bounds");
  return *FItems[Index];
}
