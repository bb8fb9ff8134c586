#include "HostPanels.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

int CompareNoCase(const std::wstring &A, const std::wstring &B) {
  return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.c_str(), static_cast<int>(A.size()),
                          B.c_str(), static_cast<int>(B.size()));
}

bool IsDrivePath(const std::wstring &Path) {
  return Path.size() >= 2 && Path[1] == L':' &&
         ((Path[0] >= L'A' && Path[0] <= L'Z') || (Path[0] >= L'a' && Path[0] <= L'z'));
}

// FAR's spelling of a panel folder: full, without a trailing backslash except at a drive root.
std::wstring NormalizeFolder(const std::wstring &Folder) {
  DWORD Size = ::GetFullPathNameW(Folder.c_str(), 0, nullptr, nullptr);
  std::wstring Full = Folder;
  if (Size > 0) {
    std::wstring Buffer(Size, L'\0');
    DWORD Length = ::GetFullPathNameW(Folder.c_str(), Size, Buffer.data(), nullptr);
    if (Length > 0 && Length < Size) {
      Buffer.resize(Length);
      Full = Buffer;
    }
  }
  while (Full.size() > 1 && Full.back() == L'\\' && !(Full.size() == 3 && IsDrivePath(Full)))
    Full.pop_back();
  if (Full.size() == 2 && IsDrivePath(Full))
    Full += L'\\';
  return Full;
}

bool IsDriveRoot(const std::wstring &Folder) {
  return Folder.size() == 3 && IsDrivePath(Folder) && Folder[2] == L'\\';
}

bool IsDirectory(const std::wstring &Path) {
  DWORD Attributes = ::GetFileAttributesW(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The change time, which the directory search does not give: FAR's listing has it from the
// file system. When the entry cannot be opened the last write time stands in.
FILETIME ChangeTimeOf(const std::wstring &Path, const FILETIME &Fallback) {
  HANDLE File = ::CreateFileW(Path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return Fallback;
  FILE_BASIC_INFO Basic{};
  bool Ok = ::GetFileInformationByHandleEx(File, FileBasicInfo, &Basic, sizeof(Basic)) != 0;
  ::CloseHandle(File);
  if (!Ok)
    return Fallback;
  FILETIME Result;
  Result.dwLowDateTime = static_cast<DWORD>(Basic.ChangeTime.QuadPart);
  Result.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(Basic.ChangeTime.QuadPart) >> 32);
  return Result;
}

THostPanelItem FromFindData(const std::wstring &Folder, const WIN32_FIND_DATAW &Data) {
  THostPanelItem Item;
  Item.CreationTime = Data.ftCreationTime;
  Item.LastAccessTime = Data.ftLastAccessTime;
  Item.LastWriteTime = Data.ftLastWriteTime;
  Item.ChangeTime =
      ChangeTimeOf(Folder + (Folder.back() == L'\\' ? L"" : L"\\") + Data.cFileName, Data.ftLastWriteTime);
  Item.FileSize = (static_cast<uint64_t>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
  Item.AllocationSize =
      (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : (Item.FileSize + 4095) / 4096 * 4096;
  Item.FileName = Data.cFileName;
  Item.AlternateFileName = Data.cAlternateFileName;
  Item.FileAttributes = Data.dwFileAttributes;
  return Item;
}

// The folder's entries as FAR shows them with its default sort: ".." first (not at a drive
// root), then the folders, then the files, each group by name ignoring case.
bool ReadFolder(const std::wstring &Folder, bool ShowHidden, std::vector<THostPanelItem> &Items) {
  std::wstring Pattern = Folder;
  if (Pattern.back() != L'\\')
    Pattern += L'\\';
  Pattern += L'*';
  WIN32_FIND_DATAW Data{};
  HANDLE Search =
      ::FindFirstFileExW(Pattern.c_str(), FindExInfoStandard, &Data, FindExSearchNameMatch, nullptr, 0);
  if (Search == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_NOT_FOUND)
    return false;
  std::vector<THostPanelItem> Found;
  if (Search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring Name = Data.cFileName;
      if (Name == L"." || Name == L"..")
        continue;
      if (!ShowHidden && (Data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        continue;
      Found.push_back(FromFindData(Folder, Data));
    } while (::FindNextFileW(Search, &Data));
    ::FindClose(Search);
  }
  std::sort(Found.begin(), Found.end(), [](const THostPanelItem &A, const THostPanelItem &B) {
    bool DirA = A.FileAttributes & FILE_ATTRIBUTE_DIRECTORY,
         DirB = B.FileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (DirA != DirB)
      return DirA;
    int Order = CompareNoCase(A.FileName, B.FileName);
    return Order != CSTR_EQUAL ? Order == CSTR_LESS_THAN : A.FileName < B.FileName;
  });
  Items.clear();
  if (!IsDriveRoot(Folder)) {
    THostPanelItem Up;
    Up.FileName = L"..";
    Up.FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    WIN32_FILE_ATTRIBUTE_DATA Own{};
    if (::GetFileAttributesExW(Folder.c_str(), GetFileExInfoStandard, &Own)) {
      Up.CreationTime = Own.ftCreationTime;
      Up.LastAccessTime = Own.ftLastAccessTime;
      Up.LastWriteTime = Own.ftLastWriteTime;
      Up.ChangeTime = Own.ftLastWriteTime;
    }
    Items.push_back(Up);
  }
  Items.insert(Items.end(), Found.begin(), Found.end());
  return true;
}

bool IsParentItem(const THostPanelItem &Item) {
  return Item.FileName == L"..";
}

} // namespace

THostPanels::THostPanels() {
  FPanels[0].Side = THostSide::Left;
  FPanels[1].Side = THostSide::Right;
  // Until a test picks folders both panels show the program's current directory, as FAR would.
  wchar_t Current[MAX_PATH] = {};
  DWORD Length = ::GetCurrentDirectoryW(MAX_PATH, Current);
  std::wstring Folder =
      Length > 0 && Length < MAX_PATH ? std::wstring(Current, Length) : std::wstring(L"C:\\");
  SetFolder(THostSide::Left, Folder);
  SetFolder(THostSide::Right, Folder);
}

bool THostPanels::SetFolder(THostSide Side, const std::wstring &Folder) {
  THostPanel &P = Panel(Side);
  std::wstring Normal = NormalizeFolder(Folder);
  std::vector<THostPanelItem> Items;
  if (!IsDirectory(Normal) || !ReadFolder(Normal, P.ShowHidden, Items))
    return false;
  P.Folder = Normal;
  P.Items = std::move(Items);
  P.CurrentItem = 0;
  P.TopPanelItem = 0;
  P.PanelType = PTYPE_FILEPANEL;
  P.PluginHandle = nullptr;
  P.OwnerGuid = GUID{};
  P.PluginDirectory.clear();
  P.PluginParam.clear();
  P.PluginFile.clear();
  P.PluginDirectoryId = GUID{};
  P.PluginRealNames = false;
  return true;
}

void THostPanels::Reread(THostSide Side, bool KeepSelection) {
  THostPanel &P = Panel(Side);
  std::set<std::wstring> Selected;
  std::wstring Current = CurrentName(Side);
  if (KeepSelection)
    for (const auto &Item : P.Items)
      if (Item.Flags & PPIF_SELECTED)
        Selected.insert(Item.FileName);
  std::vector<THostPanelItem> Items;
  if (!ReadFolder(P.Folder, P.ShowHidden, Items))
    Items.clear();
  for (auto &Item : Items)
    if (Selected.count(Item.FileName))
      Item.Flags |= PPIF_SELECTED;
  P.Items = std::move(Items);
  // FAR keeps the cursor on the same name when it is still there.
  intptr_t Index = IndexOf(Side, Current);
  P.CurrentItem = Index >= 0 ? static_cast<size_t>(Index)
                             : std::min(P.CurrentItem, P.Items.empty() ? 0 : P.Items.size() - 1);
  P.TopPanelItem = std::min(P.TopPanelItem, P.CurrentItem);
}

bool THostPanels::Select(THostSide Side, const std::wstring &Name, bool Selected) {
  intptr_t Index = IndexOf(Side, Name);
  if (Index < 0)
    return false;
  THostPanelItem &Item = Panel(Side).Items[static_cast<size_t>(Index)];
  if (Selected)
    Item.Flags |= PPIF_SELECTED;
  else
    Item.Flags &= ~PPIF_SELECTED;
  return true;
}

std::vector<std::wstring> THostPanels::SelectedNames(THostSide Side) {
  std::vector<std::wstring> Names;
  for (const auto &Item : Panel(Side).Items)
    if (Item.Flags & PPIF_SELECTED)
      Names.push_back(Item.FileName);
  return Names;
}

void THostPanels::ClearSelection(THostSide Side) {
  for (auto &Item : Panel(Side).Items)
    Item.Flags &= ~PPIF_SELECTED;
}

intptr_t THostPanels::IndexOf(THostSide Side, const std::wstring &Name) {
  const auto &Items = Panel(Side).Items;
  for (size_t I = 0; I < Items.size(); ++I)
    if (Items[I].FileName == Name)
      return static_cast<intptr_t>(I);
  return -1;
}

std::wstring THostPanels::CurrentName(THostSide Side) {
  const THostPanel &P = Panel(Side);
  return P.CurrentItem < P.Items.size() ? P.Items[P.CurrentItem].FileName : std::wstring();
}

void THostPanels::SetPluginPanel(THostSide Side, const GUID &Owner, const std::wstring &Directory) {
  THostPanel &P = Panel(Side);
  // Any distinct non-null value serves as the handle the owning plug-in returned from OpenW.
  P.PluginHandle = reinterpret_cast<HANDLE>(Side == THostSide::Left ? 0x7A11 : 0x7A12);
  P.OwnerGuid = Owner;
  P.PluginDirectory = Directory;
  P.PluginDirectoryId = Owner;
}

THostPanel *THostPanels::Resolve(HANDLE Handle) {
  if (Handle == PANEL_ACTIVE)
    return &Active();
  if (Handle == PANEL_PASSIVE)
    return &Passive();
  for (auto &P : FPanels)
    if (P.PluginHandle != nullptr && P.PluginHandle == Handle)
      return &P;
  TFarHost::Active().Fail(L"PanelControl: unknown panel handle");
  return nullptr;
}

PANELINFOFLAGS THostPanels::Flags(const THostPanel &P) const {
  PANELINFOFLAGS Result = PFLAGS_HIGHLIGHT | PFLAGS_DIRECTORIESFIRST;
  if (P.ShowHidden)
    Result |= PFLAGS_SHOWHIDDEN;
  if (P.Side == THostSide::Left)
    Result |= PFLAGS_PANELLEFT;
  if (P.Visible)
    Result |= PFLAGS_VISIBLE;
  if (P.Side == FActive)
    Result |= PFLAGS_FOCUS;
  if (P.PluginHandle != nullptr)
    Result |= PFLAGS_PLUGIN;
  if (P.PluginHandle == nullptr || P.PluginRealNames)
    Result |= PFLAGS_REALNAMES;
  return Result;
}

size_t THostPanels::SelectedCount(const THostPanel &P) const {
  size_t Count = 0;
  for (const auto &Item : P.Items)
    if (Item.Flags & PPIF_SELECTED)
      ++Count;
  // Without a selection FAR counts the item under the cursor, unless that is "..".
  if (Count == 0 && P.CurrentItem < P.Items.size() && !IsParentItem(P.Items[P.CurrentItem]))
    Count = 1;
  return Count;
}

intptr_t THostPanels::GetItem(const THostPanel &, const THostPanelItem &Item, void *Param2) {
  const std::wstring *Texts[] = {&Item.FileName, &Item.AlternateFileName, &Item.Description, &Item.Owner};
  size_t Needed = sizeof(PluginPanelItem);
  for (const std::wstring *Text : Texts)
    Needed += (Text->size() + 1) * sizeof(wchar_t);
  if (!Param2)
    return static_cast<intptr_t>(Needed);
  auto *Get = static_cast<FarGetPluginPanelItem *>(Param2);
  if (Get->StructSize < sizeof(FarGetPluginPanelItem)) {
    TFarHost::Active().Fail(L"FCTL_GETPANELITEM: FarGetPluginPanelItem StructSize too small");
    return 0;
  }
  if (!Get->Item || Get->Size < sizeof(PluginPanelItem))
    return static_cast<intptr_t>(Needed);
  PluginPanelItem &Out = *Get->Item;
  std::memset(&Out, 0, sizeof(Out));
  Out.CreationTime = Item.CreationTime;
  Out.LastAccessTime = Item.LastAccessTime;
  Out.LastWriteTime = Item.LastWriteTime;
  Out.ChangeTime = Item.ChangeTime;
  Out.FileSize = Item.FileSize;
  Out.AllocationSize = Item.AllocationSize;
  Out.Flags = Item.Flags;
  Out.FileAttributes = Item.FileAttributes;
  Out.NumberOfLinks = Item.NumberOfLinks;
  Out.CRC32 = Item.CRC32;
  // The strings follow the item in the caller's buffer, when it is large enough for all of them.
  if (Get->Size >= Needed) {
    auto *Cursor = reinterpret_cast<wchar_t *>(reinterpret_cast<char *>(&Out) + sizeof(PluginPanelItem));
    const wchar_t **Targets[] = {&Out.FileName, &Out.AlternateFileName, &Out.Description, &Out.Owner};
    for (size_t I = 0; I < 4; ++I) {
      std::memcpy(Cursor, Texts[I]->c_str(), (Texts[I]->size() + 1) * sizeof(wchar_t));
      *Targets[I] = Cursor;
      Cursor += Texts[I]->size() + 1;
    }
  }
  return static_cast<intptr_t>(Needed);
}

intptr_t THostPanels::Control(HANDLE Handle, int Command, intptr_t Param1, void *Param2) {
  TFarHost &Host = TFarHost::Active();
  if (Command == FCTL_CHECKPANELSEXIST)
    return TRUE;
  THostPanel *PP = Resolve(Handle);
  if (!PP)
    return FALSE;
  THostPanel &P = *PP;
  bool FilePanel = P.PanelType == PTYPE_FILEPANEL;
  // Panels of other types (tree, quick view, information) have no items to give.
  size_t ItemCount = FilePanel ? P.Items.size() : 0;

  switch (Command) {
  case FCTL_GETPANELINFO: {
    auto *Info = static_cast<PanelInfo *>(Param2);
    if (!Info || Info->StructSize < sizeof(PanelInfo)) {
      Host.Fail(L"FCTL_GETPANELINFO: PanelInfo missing or StructSize too small");
      return FALSE;
    }
    if (P.RefusePanelInfo)
      return FALSE;
    size_t StructSize = Info->StructSize;
    std::memset(Info, 0, sizeof(PanelInfo));
    Info->StructSize = StructSize;
    Info->PluginHandle = P.PluginHandle;
    Info->OwnerGuid = P.OwnerGuid;
    Info->Flags = Flags(P);
    Info->ItemsNumber = ItemCount;
    Info->SelectedItemsNumber = FilePanel ? SelectedCount(P) : 0;
    Info->PanelRect = P.Side == THostSide::Left ? RECT{0, 1, 39, 22} : RECT{40, 1, 79, 22};
    Info->CurrentItem = P.CurrentItem;
    Info->TopPanelItem = P.TopPanelItem;
    Info->ViewMode = P.ViewMode;
    Info->PanelType = static_cast<PANELINFOTYPE>(P.PanelType);
    Info->SortMode = static_cast<OPENPANELINFO_SORTMODES>(P.SortMode);
    return TRUE;
  }
  case FCTL_GETPANELITEM:
    if (Param1 < 0 || static_cast<size_t>(Param1) >= ItemCount)
      return 0;
    return GetItem(P, P.Items[static_cast<size_t>(Param1)], Param2);
  case FCTL_GETCURRENTPANELITEM:
    if (P.CurrentItem >= ItemCount)
      return 0;
    return GetItem(P, P.Items[P.CurrentItem], Param2);
  case FCTL_GETSELECTEDPANELITEM: {
    std::vector<size_t> Selected;
    for (size_t I = 0; I < ItemCount; ++I)
      if (P.Items[I].Flags & PPIF_SELECTED)
        Selected.push_back(I);
    if (Selected.empty() && P.CurrentItem < ItemCount)
      Selected.push_back(P.CurrentItem);
    if (Param1 < 0 || static_cast<size_t>(Param1) >= Selected.size())
      return 0;
    return GetItem(P, P.Items[Selected[static_cast<size_t>(Param1)]], Param2);
  }
  case FCTL_GETPANELDIRECTORY: {
    bool Plugin = P.PluginHandle != nullptr;
    const std::wstring &Name = Plugin ? P.PluginDirectory : P.Folder;
    const std::wstring Empty;
    const std::wstring &Param = Plugin ? P.PluginParam : Empty;
    const std::wstring &File = Plugin ? P.PluginFile : Empty;
    size_t Needed =
        sizeof(FarPanelDirectory) + (Name.size() + Param.size() + File.size() + 3) * sizeof(wchar_t);
    auto *Dir = static_cast<FarPanelDirectory *>(Param2);
    if (!Dir || Param1 < static_cast<intptr_t>(Needed))
      return static_cast<intptr_t>(Needed);
    if (Dir->StructSize < sizeof(FarPanelDirectory)) {
      Host.Fail(L"FCTL_GETPANELDIRECTORY: FarPanelDirectory StructSize too small");
      return 0;
    }
    auto *Cursor = reinterpret_cast<wchar_t *>(reinterpret_cast<char *>(Dir) + sizeof(FarPanelDirectory));
    auto Put = [&Cursor](const std::wstring &Text) {
      std::memcpy(Cursor, Text.c_str(), (Text.size() + 1) * sizeof(wchar_t));
      const wchar_t *Start = Cursor;
      Cursor += Text.size() + 1;
      return Start;
    };
    Dir->Name = Put(Name);
    Dir->Param = Put(Param);
    Dir->PluginId = Plugin ? P.PluginDirectoryId : GUID{};
    Dir->File = Put(File);
    return static_cast<intptr_t>(Needed);
  }
  case FCTL_SETPANELDIRECTORY: {
    auto *Dir = static_cast<FarPanelDirectory *>(Param2);
    if (!Dir || Dir->StructSize < sizeof(FarPanelDirectory)) {
      Host.Fail(L"FCTL_SETPANELDIRECTORY: FarPanelDirectory missing or StructSize too small");
      return FALSE;
    }
    ++P.SetDirectoryCalls;
    if (P.RefuseSetDirectory || !Dir->Name || !*Dir->Name)
      return FALSE;
    std::wstring Target = Dir->Name;
    // A relative name is taken from the panel's folder, as FAR does.
    bool Absolute = IsDrivePath(Target) || Target.rfind(L"\\\\", 0) == 0;
    if (!Absolute)
      Target = P.Folder + (P.Folder.back() == L'\\' ? L"" : L"\\") + Target;
    std::wstring Previous = P.Folder;
    if (!SetFolder(P.Side, Target))
      return FALSE;
    // Going up, FAR puts the cursor on the folder it came from.
    size_t Slash = Previous.find_last_of(L'\\');
    if (Slash != std::wstring::npos && NormalizeFolder(Previous.substr(0, Slash + 1)) == P.Folder) {
      intptr_t Index = IndexOf(P.Side, Previous.substr(Slash + 1));
      if (Index >= 0)
        P.CurrentItem = static_cast<size_t>(Index);
    }
    return TRUE;
  }
  case FCTL_UPDATEPANEL:
    ++P.Updates;
    Reread(P.Side, Param1 != 0);
    return TRUE;
  case FCTL_REDRAWPANEL: {
    ++P.Redraws;
    if (Param2) {
      auto *Redraw = static_cast<PanelRedrawInfo *>(Param2);
      if (Redraw->StructSize < sizeof(PanelRedrawInfo)) {
        Host.Fail(L"FCTL_REDRAWPANEL: PanelRedrawInfo StructSize too small");
        return FALSE;
      }
      // FAR corrects positions past the end to the last item.
      size_t Last = ItemCount == 0 ? 0 : ItemCount - 1;
      P.CurrentItem = std::min(Redraw->CurrentItem, Last);
      P.TopPanelItem = std::min(Redraw->TopPanelItem, P.CurrentItem);
    }
    return TRUE;
  }
  case FCTL_BEGINSELECTION:
    ++P.SelectionBatches;
    ++P.OpenBatches;
    return TRUE;
  case FCTL_ENDSELECTION:
    if (P.OpenBatches == 0)
      Host.Fail(L"FCTL_ENDSELECTION without FCTL_BEGINSELECTION");
    else
      --P.OpenBatches;
    return TRUE;
  case FCTL_SETSELECTION: {
    ++P.SelectionCalls;
    if (Param1 < 0 || static_cast<size_t>(Param1) >= ItemCount)
      return FALSE;
    THostPanelItem &Item = P.Items[static_cast<size_t>(Param1)];
    // FAR never selects "..".
    if (IsParentItem(Item))
      return TRUE;
    if (Param2 != nullptr)
      Item.Flags |= PPIF_SELECTED;
    else
      Item.Flags &= ~PPIF_SELECTED;
    return TRUE;
  }
  case FCTL_CLEARSELECTION: {
    size_t Seen = 0;
    for (size_t I = 0; I < ItemCount; ++I)
      if (P.Items[I].Flags & PPIF_SELECTED) {
        if (Seen++ == static_cast<size_t>(Param1)) {
          P.Items[I].Flags &= ~PPIF_SELECTED;
          return TRUE;
        }
      }
    return FALSE;
  }
  case FCTL_SETACTIVEPANEL:
    if (!P.Visible)
      return FALSE;
    FActive = P.Side;
    return TRUE;
  case FCTL_ISACTIVEPANEL:
    return P.Side == FActive ? TRUE : FALSE;
  default:
    Host.Unimplemented(L"PanelControl(" + std::to_wstring(Command) + L")");
    return 0;
  }
}

THostPanels &HostPanels() {
  return TFarHost::Active().Part<THostPanels>();
}

void InstallHostPanels(TFarHost &Host) {
  const int Commands[] = {FCTL_CHECKPANELSEXIST,    FCTL_GETPANELINFO,         FCTL_GETPANELITEM,
                          FCTL_GETCURRENTPANELITEM, FCTL_GETSELECTEDPANELITEM, FCTL_GETPANELDIRECTORY,
                          FCTL_SETPANELDIRECTORY,   FCTL_UPDATEPANEL,          FCTL_REDRAWPANEL,
                          FCTL_BEGINSELECTION,      FCTL_ENDSELECTION,         FCTL_SETSELECTION,
                          FCTL_CLEARSELECTION,      FCTL_SETACTIVEPANEL,       FCTL_ISACTIVEPANEL};
  for (int Command : Commands)
    Host.OnPanelControl(Command, [Command](HANDLE Handle, intptr_t Param1, void *Param2) {
      return HostPanels().Control(Handle, Command, Param1, Param2);
    });
  // The directory-list services are not played yet: a call is recorded as unimplemented.
  PluginStartupInfo &Info = Host.StartupInfo();
  VELMORA_HOST_STUB(Info, GetDirList);
  VELMORA_HOST_STUB(Info, GetPluginDirList);
  VELMORA_HOST_STUB(Info, FreeDirList);
  VELMORA_HOST_STUB(Info, FreePluginDirList);
  InstallHostWindows(Host);
}
