#include "FarConfig.h"

namespace {

intptr_t Settings(HANDLE Handle, FAR_SETTINGS_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
  return FarPlugin().Api(&PluginStartupInfo::SettingsControl)(Handle, Command, Param1, Param2);
}

} // namespace

TFarConfig::TFarConfig(bool OpenNow) {
  if (OpenNow)
    Open(std::wstring(), false);
}

TFarConfig::~TFarConfig() {
  // A destructor must not throw; without a plug-in object there is no FAR to free the handle.
  try {
    Close();
  } catch (...) {
  }
}

void TFarConfig::Close() {
  FRoot = 0;
  if (FHandle != nullptr) {
    HANDLE Handle = FHandle;
    FHandle = nullptr;
    Settings(Handle, SCTL_FREE, 0, nullptr);
  }
  FPath.clear();
}

std::wstring TFarConfig::ResolvePath(const std::wstring &Relative) const {
  std::wstring Result = FPath;
  size_t Start = 0;
  if (!Relative.empty() && Relative[0] == L'\\') {
    Result.clear();
    Start = Relative.find_first_not_of(L'\\');
    if (Start == std::wstring::npos)
      Start = Relative.size();
  }
  if (Start < Relative.size()) {
    if (!Result.empty())
      Result += L'\\';
    Result.append(Relative, Start, std::wstring::npos);
  }
  size_t End = Result.find_last_not_of(L'\\');
  Result.erase(End == std::wstring::npos ? 0 : End + 1);
  return Result;
}

bool TFarConfig::Open(const std::wstring &Path, bool OpenExistingOnly) {
  std::wstring Resolved = ResolvePath(Path);
  if (IsOpen() && FPath == Resolved)
    return true;
  Close();

  FarSettingsCreate Create{};
  Create.StructSize = sizeof(Create);
  Create.Guid = FarPlugin().GetPluginGuid();
  Create.Handle = nullptr;
  if (Settings(INVALID_HANDLE_VALUE, SCTL_CREATE, PSL_ROAMING, &Create) == 0 || Create.Handle == nullptr ||
      Create.Handle == INVALID_HANDLE_VALUE)
    return false;
  FHandle = Create.Handle;
  FRoot = 0;
  FPath.clear();

  size_t Start = 0;
  while (Start <= Resolved.size()) {
    size_t End = Resolved.find(L'\\', Start);
    if (End == std::wstring::npos)
      End = Resolved.size();
    if (End > Start) {
      std::wstring Component = Resolved.substr(Start, End - Start);
      FarSettingsValue Value{};
      Value.StructSize = sizeof(Value);
      Value.Root = FRoot;
      Value.Value = Component.c_str();
      intptr_t Key = Settings(FHandle, OpenExistingOnly ? SCTL_OPENSUBKEY : SCTL_CREATESUBKEY, 0, &Value);
      if (Key == 0) {
        Close();
        return false;
      }
      FRoot = static_cast<size_t>(Key);
      if (!FPath.empty())
        FPath += L'\\';
      FPath += Component;
    }
    Start = End + 1;
  }
  return true;
}

namespace {

// A value of the open key as FAR's SCTL_GET and SCTL_SET take it; Name must outlive the call.
FarSettingsItem SettingsItem(size_t Root, const std::wstring &Name, FARSETTINGSTYPES Type) {
  FarSettingsItem Item{};
  Item.StructSize = sizeof(Item);
  Item.Root = Root;
  Item.Name = Name.c_str();
  Item.Type = Type;
  return Item;
}

} // namespace

bool TFarConfig::TryReadNumber(const std::wstring &Name, int64_t &Value) const {
  if (!IsOpen())
    return false;
  FarSettingsItem Item = SettingsItem(FRoot, Name, FST_QWORD);
  if (Settings(FHandle, SCTL_GET, 0, &Item) == 0)
    return false;
  Value = static_cast<int64_t>(Item.Number);
  return true;
}

bool TFarConfig::ReadFarNumber(size_t Subfolder, const std::wstring &Name, int64_t &Value) {
  FarSettingsCreate Create{};
  Create.StructSize = sizeof(Create);
  Create.Guid = GUID{}; // FAR's own settings
  if (Settings(INVALID_HANDLE_VALUE, SCTL_CREATE, PSL_ROAMING, &Create) == 0 || Create.Handle == nullptr ||
      Create.Handle == INVALID_HANDLE_VALUE)
    return false;
  FarSettingsItem Item = SettingsItem(Subfolder, Name, FST_QWORD);
  const bool Found = Settings(Create.Handle, SCTL_GET, 0, &Item) != 0;
  Settings(Create.Handle, SCTL_FREE, 0, nullptr);
  if (Found)
    Value = static_cast<int64_t>(Item.Number);
  return Found;
}

bool TFarConfig::TryReadBool(const std::wstring &Name, bool &Value) const {
  int64_t Number = 0;
  if (!TryReadNumber(Name, Number))
    return false;
  Value = Number != 0;
  return true;
}

bool TFarConfig::TryReadString(const std::wstring &Name, std::wstring &Value) const {
  if (!IsOpen())
    return false;
  FarSettingsItem Item = SettingsItem(FRoot, Name, FST_STRING);
  if (Settings(FHandle, SCTL_GET, 0, &Item) == 0)
    return false;
  Value = Item.String != nullptr ? std::wstring(Item.String) : std::wstring();
  return true;
}

int64_t TFarConfig::ReadNumber(const std::wstring &Name, int64_t Default) const {
  int64_t Value = Default;
  return TryReadNumber(Name, Value) ? Value : Default;
}

bool TFarConfig::ReadBool(const std::wstring &Name, bool Default) const {
  bool Value = Default;
  return TryReadBool(Name, Value) ? Value : Default;
}

std::wstring TFarConfig::ReadString(const std::wstring &Name, const std::wstring &Default) const {
  std::wstring Value;
  return TryReadString(Name, Value) ? Value : Default;
}

bool TFarConfig::WriteNumber(const std::wstring &Name, int64_t Value) {
  if (!IsOpen())
    return false;
  FarSettingsItem Item = SettingsItem(FRoot, Name, FST_QWORD);
  Item.Number = static_cast<unsigned long long>(Value);
  return Settings(FHandle, SCTL_SET, 0, &Item) != 0;
}

bool TFarConfig::WriteBool(const std::wstring &Name, bool Value) {
  return WriteNumber(Name, Value ? 1 : 0);
}

bool TFarConfig::WriteString(const std::wstring &Name, const std::wstring &Value) {
  if (!IsOpen())
    return false;
  FarSettingsItem Item = SettingsItem(FRoot, Name, FST_STRING);
  Item.String = Value.c_str();
  return Settings(FHandle, SCTL_SET, 0, &Item) != 0;
}
