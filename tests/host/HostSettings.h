#pragma once

// The host's settings store: FAR's SettingsControl for every plug-in GUID, kept in the host
// object, so it outlives an unload and a reload of the plug-in within one host. Values are typed
// (number, string, data) under a tree of keys; reading a missing value or a value of another type
// fails as it does in FAR. Tests seed and inspect the store directly through THostSettings.

#include "Host.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct THostSettingsValue {
  FARSETTINGSTYPES Type = FST_UNKNOWN;
  uint64_t Number = 0;
  std::wstring String;
  std::vector<unsigned char> Data;
};

struct THostSettingsKey {
  size_t Id = 0;
  THostSettingsKey *Parent = nullptr;
  std::wstring Name;
  // Ordered by name, as FAR enumerates them.
  std::map<std::wstring, std::unique_ptr<THostSettingsKey>> Subkeys;
  std::map<std::wstring, THostSettingsValue> Values;
};

class THostSettings : public THostPart {
public:
  THostSettings();
  ~THostSettings() override;

  // ---- For tests. Key paths are backslash-separated from the plug-in's root ("" = root) and
  // are created when missing by the setters. Location is PSL_ROAMING unless said otherwise.
  void SetNumber(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name, uint64_t Value,
                 int Location = PSL_ROAMING);
  void SetString(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
                 const std::wstring &Value, int Location = PSL_ROAMING);
  void SetData(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
               const std::vector<unsigned char> &Value, int Location = PSL_ROAMING);
  // Null when the key or the value is missing.
  const THostSettingsValue *Find(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
                                 int Location = PSL_ROAMING) const;
  std::optional<uint64_t> GetNumber(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
                                    int Location = PSL_ROAMING) const;
  std::optional<std::wstring> GetString(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
                                        int Location = PSL_ROAMING) const;
  bool HasKey(const GUID &Plugin, const std::wstring &Key, int Location = PSL_ROAMING) const;
  // Names of the values of a key, in FAR's order; empty when the key is missing.
  std::vector<std::wstring> ValueNames(const GUID &Plugin, const std::wstring &Key,
                                       int Location = PSL_ROAMING) const;
  // FAR's own settings (read with the all-zero GUID), in one of FAR's subfolders (FSSF_*).
  void SetFarNumber(size_t Root, const std::wstring &Name, uint64_t Value);
  static std::wstring FarSubfolderName(size_t Root);
  // Removes everything stored for the plug-in (both locations).
  void Clear(const GUID &Plugin);

  // Handles created and not yet freed with SCTL_FREE.
  size_t OpenHandles() const { return FHandles.size(); }
  // SCTL_CREATE calls that succeeded, since the host started.
  size_t CreatedHandles() const { return FCreatedHandles; }

  // ---- Faults FAR can show, for tests of the plug-in's reaction.
  bool RefuseCreate = false;           // SCTL_CREATE fails
  std::set<std::wstring> RefuseWrites; // SCTL_SET of these value names fails

  // ---- The commands (called by the SettingsControl dispatch).
  intptr_t Create(intptr_t Location, FarSettingsCreate *Info);
  intptr_t Free(HANDLE Handle);
  intptr_t Set(HANDLE Handle, FarSettingsItem *Item);
  intptr_t Get(HANDLE Handle, FarSettingsItem *Item);
  intptr_t Enum(HANDLE Handle, FarSettingsEnum *Info);
  intptr_t Delete(HANDLE Handle, FarSettingsValue *Value);
  intptr_t SubKey(HANDLE Handle, FarSettingsValue *Value, bool CreateMissing);

private:
  struct TStore {
    THostSettingsKey Root;
    std::map<size_t, THostSettingsKey *> Keys; // every live key by its own id; the root is 0
    size_t NextId = 1;
  };
  struct THandle {
    std::wstring StoreName;
    bool ReadOnly = false;
    // FAR numbers keys per handle: number n is the n-th key this handle opened or created, 0 the
    // plug-in's root. The entries are key ids, so a deleted key's number stops working.
    std::vector<size_t> Keys{0};
    // Strings, data and enumerations handed out stay valid until SCTL_FREE.
    std::vector<std::unique_ptr<std::wstring>> Strings;
    std::vector<std::unique_ptr<std::vector<unsigned char>>> Blobs;
    std::vector<std::unique_ptr<std::vector<FarSettingsName>>> Enums;
  };

  static std::wstring StoreName(const GUID &Plugin, int Location);
  TStore &Store(const std::wstring &Name);
  const TStore *FindStore(const std::wstring &Name) const;
  THostSettingsKey *Path(TStore &Store, const std::wstring &Key, bool CreateMissing);
  const THostSettingsKey *FindPath(const TStore &Store, const std::wstring &Key) const;
  THostSettingsKey *AddSubkey(TStore &Store, THostSettingsKey &Parent, const std::wstring &Name);
  void Forget(TStore &Store, THostSettingsKey &Key);
  THandle *FindHandle(HANDLE Handle, const wchar_t *Command);
  THostSettingsKey *FindKey(THandle &Handle, size_t Root, const wchar_t *Command);

  std::map<std::wstring, std::unique_ptr<TStore>> FStores;
  std::map<HANDLE, std::unique_ptr<THandle>> FHandles;
  size_t FCreatedHandles = 0;
};

// The settings store of the active host.
THostSettings &HostSettings();
