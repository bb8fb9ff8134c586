#pragma once

// The host's two file panels and FAR's window list. Each panel shows a real folder read from the
// disk the way FAR lists it (".." first unless at a drive root, then folders, then files, each
// group by name), answers PanelControl with FAR's structures and keeps a selection that
// FCTL_SETSELECTION changes and tests read back. A panel can also pose as a plug-in's panel or
// as a panel of another type (tree, quick view, information) for refusal tests.

#include "Host.h"

#include <cstdint>
#include <string>
#include <vector>

enum class THostSide { Left, Right };

// One panel item with FAR's fields as the panel holds them.
struct THostPanelItem {
  FILETIME CreationTime{}, LastAccessTime{}, LastWriteTime{}, ChangeTime{};
  uint64_t FileSize = 0, AllocationSize = 0;
  std::wstring FileName, AlternateFileName, Description, Owner;
  PLUGINPANELITEMFLAGS Flags = 0; // PPIF_SELECTED among them
  uint32_t FileAttributes = 0;
  uint32_t NumberOfLinks = 0;
  uint32_t CRC32 = 0;
};

struct THostPanel {
  THostSide Side = THostSide::Left;
  std::wstring Folder; // the directory shown, without a trailing backslash (except a drive root)
  std::vector<THostPanelItem> Items;
  size_t CurrentItem = 0;
  size_t TopPanelItem = 0;
  int PanelType = PTYPE_FILEPANEL;
  bool Visible = true;
  bool ShowHidden = true; // hidden and system entries listed (FAR's Ctrl+H)
  intptr_t ViewMode = 2;
  int SortMode = SM_NAME;
  // Plug-in panel mode: a non-null handle makes the panel a plug-in's panel.
  HANDLE PluginHandle = nullptr;
  GUID OwnerGuid{};
  std::wstring PluginDirectory, PluginParam, PluginFile;
  GUID PluginDirectoryId{};
  // A plug-in's panel that shows real file names (PFLAGS_REALNAMES), as a temporary panel does.
  bool PluginRealNames = false;
  // Faults and counters for tests.
  bool RefusePanelInfo = false;
  bool RefuseSetDirectory = false;
  size_t Redraws = 0;           // FCTL_REDRAWPANEL calls
  size_t Updates = 0;           // FCTL_UPDATEPANEL calls
  size_t SelectionCalls = 0;    // FCTL_SETSELECTION calls
  size_t SelectionBatches = 0;  // FCTL_BEGINSELECTION calls
  size_t OpenBatches = 0;       // begun and not yet ended
  size_t SetDirectoryCalls = 0; // FCTL_SETPANELDIRECTORY calls
};

class THostPanels : public THostPart {
public:
  THostPanels();

  THostPanel &Panel(THostSide Side) { return FPanels[Side == THostSide::Left ? 0 : 1]; }
  THostPanel &Active() { return Panel(FActive); }
  THostPanel &Passive() { return Panel(FActive == THostSide::Left ? THostSide::Right : THostSide::Left); }
  THostSide ActiveSide() const { return FActive; }
  void SetActiveSide(THostSide Side) { FActive = Side; }

  // Shows Folder on the panel: reads it from the disk, cursor on the first item, no selection,
  // a file panel again. False (and the panel unchanged) when Folder is not a directory.
  bool SetFolder(THostSide Side, const std::wstring &Folder);
  // Reads the panel's folder again; KeepSelection keeps the marks of the names still there.
  void Reread(THostSide Side, bool KeepSelection);

  // Selection by name (exact): false when no such item.
  bool Select(THostSide Side, const std::wstring &Name, bool Selected = true);
  std::vector<std::wstring> SelectedNames(THostSide Side);
  void ClearSelection(THostSide Side);
  // Index of the item named Name (exact), -1 when none.
  intptr_t IndexOf(THostSide Side, const std::wstring &Name);
  std::wstring CurrentName(THostSide Side);

  // A plug-in's panel over the folder (OwnerGuid and PluginHandle set, PFLAGS_PLUGIN).
  void SetPluginPanel(THostSide Side, const GUID &Owner, const std::wstring &Directory = L"");
  void SetPanelType(THostSide Side, int Type) { Panel(Side).PanelType = Type; }

  // The commands (called by the PanelControl dispatch).
  intptr_t Control(HANDLE Handle, int Command, intptr_t Param1, void *Param2);

private:
  THostPanel *Resolve(HANDLE Handle);
  PANELINFOFLAGS Flags(const THostPanel &Panel) const;
  size_t SelectedCount(const THostPanel &Panel) const;
  intptr_t GetItem(const THostPanel &Panel, const THostPanelItem &Item, void *Param2);

  THostPanel FPanels[2];
  THostSide FActive = THostSide::Left;
};

THostPanels &HostPanels();

// ---- FAR's windows (ACTL_GETWINDOWCOUNT, ACTL_GETWINDOWINFO, ACTL_SETCURRENTWINDOW, ACTL_COMMIT,
// ACTL_GETWINDOWTYPE). A new host has one window: the panels, current.
struct THostWindow {
  intptr_t Id = 0;
  WINDOWINFO_TYPE Type = WTYPE_PANELS;
  std::wstring TypeName;
  std::wstring Name;
  bool Modified = false;
  bool Modal = false;
};

class THostWindows : public THostPart {
public:
  THostWindows();

  std::vector<THostWindow> Windows;
  size_t Current = 0;
  // Set by ACTL_SETCURRENTWINDOW, applied by ACTL_COMMIT (-1: nothing pending).
  intptr_t Pending = -1;
  size_t Commits = 0;
  size_t SwitchRequests = 0;

  // Appends a window and returns its position; Current stays unless MakeCurrent.
  size_t Add(WINDOWINFO_TYPE Type, const std::wstring &Name, bool MakeCurrent = false);
  // Removes the window at Pos (the current position follows the window it was on).
  void Remove(size_t Pos);
  // Position of the first window of Type, -1 when none.
  intptr_t Find(WINDOWINFO_TYPE Type) const;
  const THostWindow *CurrentWindow() const { return Current < Windows.size() ? &Windows[Current] : nullptr; }

  intptr_t Control(int Command, intptr_t Param1, void *Param2);

private:
  intptr_t FNextId = 1;
};

THostWindows &HostWindows();
// Registers the window commands with the host's AdvControl dispatch (InstallHostPanels calls it).
void InstallHostWindows(TFarHost &Host);
