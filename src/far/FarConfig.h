#pragma once

#include "FarPlugin.h"

#include <cstdint>
#include <string>

// The plug-in's own settings in FAR's settings store (kept by FAR per plug-in GUID), open at
// exactly one key at a time. Nothing here raises on a store failure: every operation reports
// by its result, and a failed Open leaves the store closed.
class TFarConfig : public TFarCommonModule {
public:
  // A closed store; with OpenNow it is opened at the plug-in's root key (created when missing).
  explicit TFarConfig(bool OpenNow = false);
  virtual ~TFarConfig();
  TFarConfig(const TFarConfig &) = delete;
  TFarConfig &operator=(const TFarConfig &) = delete;

  void Close();
  bool IsOpen() const { return FHandle != nullptr; }

  // The absolute key path (components joined by a backslash, none leading or trailing) that
  // Relative names from the open key; a leading backslash starts from the root.
  std::wstring ResolvePath(const std::wstring &Relative) const;
  // Opens the key at Path, creating missing keys on the way unless OpenExistingOnly.
  bool Open(const std::wstring &Path, bool OpenExistingOnly = false);

  // False when the store is closed, the value is missing or stored with another type.
  bool TryReadNumber(const std::wstring &Name, int64_t &Value) const;
  bool TryReadBool(const std::wstring &Name, bool &Value) const;
  bool TryReadString(const std::wstring &Name, std::wstring &Value) const;
  int64_t ReadNumber(const std::wstring &Name, int64_t Default) const;
  bool ReadBool(const std::wstring &Name, bool Default) const;
  std::wstring ReadString(const std::wstring &Name, const std::wstring &Default) const;

  // False when the store is closed or FAR refused the value. Booleans are stored as 1 or 0.
  bool WriteNumber(const std::wstring &Name, int64_t Value);
  bool WriteBool(const std::wstring &Name, bool Value);
  bool WriteString(const std::wstring &Name, const std::wstring &Value);

  // A number from FAR's own settings in one of FAR's subfolders (FSSF_SYSTEM, ...); false when
  // FAR does not give it.
  static bool ReadFarNumber(size_t Subfolder, const std::wstring &Name, int64_t &Value);

  HANDLE GetHandle() const { return FHandle; }
  // FAR's number of the open key; 0 is the plug-in's root key.
  size_t GetRoot() const { return FRoot; }
  const std::wstring &GetPath() const { return FPath; }

private:
  HANDLE FHandle = nullptr;
  size_t FRoot = 0;
  std::wstring FPath;
};
