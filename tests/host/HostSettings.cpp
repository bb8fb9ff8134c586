#include "HostSettings.h"

#include <cwchar>

namespace {

// The whole comparison suite runs once more with another number of workers (ctest sets
// VELMORA_TEST_COMPARE_WORKERS): a plug-in root that holds no CompareWorkers of its own reads
// that number, so every test's comparison walks with it.
bool WorkersOverride(const THostSettingsKey &Key, const wchar_t *Name, unsigned long long &Value) {
  if (Key.Parent != nullptr || std::wstring(Name) != L"CompareWorkers")
    return false;
  wchar_t Text[16];
  const DWORD Length = GetEnvironmentVariableW(L"VELMORA_TEST_COMPARE_WORKERS", Text, 16);
  if (Length == 0 || Length >= 16)
    return false;
  Value = std::wcstoull(Text, nullptr, 10);
  return true;
}

} // namespace

namespace {

bool IsNullGuid(const GUID &Guid) {
  static const GUID Null{};
  return IsEqualGUID(Guid, Null) != 0;
}

std::vector<std::wstring> SplitKey(const std::wstring &Key) {
  std::vector<std::wstring> Parts;
  size_t Start = 0;
  while (Start <= Key.size()) {
    size_t End = Key.find(L'\\', Start);
    if (End == std::wstring::npos)
      End = Key.size();
    if (End > Start)
      Parts.push_back(Key.substr(Start, End - Start));
    Start = End + 1;
  }
  return Parts;
}

} // namespace

THostSettings::THostSettings() = default;
THostSettings::~THostSettings() = default;

std::wstring THostSettings::StoreName(const GUID &Plugin, int Location) {
  return HostGuidText(Plugin) + (Location == PSL_LOCAL ? L":local" : L":roaming");
}

THostSettings::TStore &THostSettings::Store(const std::wstring &Name) {
  auto &Slot = FStores[Name];
  if (!Slot) {
    Slot = std::make_unique<TStore>();
    Slot->Keys[0] = &Slot->Root;
  }
  return *Slot;
}

const THostSettings::TStore *THostSettings::FindStore(const std::wstring &Name) const {
  auto Found = FStores.find(Name);
  return Found == FStores.end() ? nullptr : Found->second.get();
}

THostSettingsKey *THostSettings::AddSubkey(TStore &Store, THostSettingsKey &Parent,
                                           const std::wstring &Name) {
  auto &Slot = Parent.Subkeys[Name];
  if (!Slot) {
    Slot = std::make_unique<THostSettingsKey>();
    Slot->Id = Store.NextId++;
    Slot->Parent = &Parent;
    Slot->Name = Name;
    Store.Keys[Slot->Id] = Slot.get();
  }
  return Slot.get();
}

THostSettingsKey *THostSettings::Path(TStore &Store, const std::wstring &Key, bool CreateMissing) {
  THostSettingsKey *Current = &Store.Root;
  for (const std::wstring &Part : SplitKey(Key)) {
    auto Found = Current->Subkeys.find(Part);
    if (Found != Current->Subkeys.end())
      Current = Found->second.get();
    else if (CreateMissing)
      Current = AddSubkey(Store, *Current, Part);
    else
      return nullptr;
  }
  return Current;
}

const THostSettingsKey *THostSettings::FindPath(const TStore &Store, const std::wstring &Key) const {
  const THostSettingsKey *Current = &Store.Root;
  for (const std::wstring &Part : SplitKey(Key)) {
    auto Found = Current->Subkeys.find(Part);
    if (Found == Current->Subkeys.end())
      return nullptr;
    Current = Found->second.get();
  }
  return Current;
}

void THostSettings::Forget(TStore &Store, THostSettingsKey &Key) {
  for (auto &Subkey : Key.Subkeys)
    Forget(Store, *Subkey.second);
  Store.Keys.erase(Key.Id);
}

// ---- For tests ----

std::wstring THostSettings::FarSubfolderName(size_t Root) {
  switch (Root) {
  case FSSF_CONFIRMATIONS:
    return L"Confirmations";
  case FSSF_SYSTEM:
    return L"System";
  case FSSF_PANEL:
    return L"Panel";
  case FSSF_EDITOR:
    return L"Editor";
  default:
    return L"Subfolder" + std::to_wstring(Root);
  }
}

void THostSettings::SetFarNumber(size_t Root, const std::wstring &Name, uint64_t Value) {
  TStore &Far = Store(L"FAR");
  THostSettingsValue &Stored = AddSubkey(Far, Far.Root, FarSubfolderName(Root))->Values[Name];
  Stored = THostSettingsValue{};
  Stored.Type = FST_QWORD;
  Stored.Number = Value;
}

void THostSettings::SetNumber(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
                              uint64_t Value, int Location) {
  THostSettingsValue &Stored = Path(Store(StoreName(Plugin, Location)), Key, true)->Values[Name];
  Stored = THostSettingsValue{};
  Stored.Type = FST_QWORD;
  Stored.Number = Value;
}

void THostSettings::SetString(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
                              const std::wstring &Value, int Location) {
  THostSettingsValue &Stored = Path(Store(StoreName(Plugin, Location)), Key, true)->Values[Name];
  Stored = THostSettingsValue{};
  Stored.Type = FST_STRING;
  Stored.String = Value;
}

void THostSettings::SetData(const GUID &Plugin, const std::wstring &Key, const std::wstring &Name,
                            const std::vector<unsigned char> &Value, int Location) {
  THostSettingsValue &Stored = Path(Store(StoreName(Plugin, Location)), Key, true)->Values[Name];
  Stored = THostSettingsValue{};
  Stored.Type = FST_DATA;
  Stored.Data = Value;
}

const THostSettingsValue *THostSettings::Find(const GUID &Plugin, const std::wstring &Key,
                                              const std::wstring &Name, int Location) const {
  const TStore *S = FindStore(StoreName(Plugin, Location));
  const THostSettingsKey *K = S ? FindPath(*S, Key) : nullptr;
  if (!K)
    return nullptr;
  auto Found = K->Values.find(Name);
  return Found == K->Values.end() ? nullptr : &Found->second;
}

std::optional<uint64_t> THostSettings::GetNumber(const GUID &Plugin, const std::wstring &Key,
                                                 const std::wstring &Name, int Location) const {
  const THostSettingsValue *V = Find(Plugin, Key, Name, Location);
  if (!V || V->Type != FST_QWORD)
    return std::nullopt;
  return V->Number;
}

std::optional<std::wstring> THostSettings::GetString(const GUID &Plugin, const std::wstring &Key,
                                                     const std::wstring &Name, int Location) const {
  const THostSettingsValue *V = Find(Plugin, Key, Name, Location);
  if (!V || V->Type != FST_STRING)
    return std::nullopt;
  return V->String;
}

bool THostSettings::HasKey(const GUID &Plugin, const std::wstring &Key, int Location) const {
  const TStore *S = FindStore(StoreName(Plugin, Location));
  return S && FindPath(*S, Key);
}

std::vector<std::wstring> THostSettings::ValueNames(const GUID &Plugin, const std::wstring &Key,
                                                    int Location) const {
  std::vector<std::wstring> Names;
  const TStore *S = FindStore(StoreName(Plugin, Location));
  if (const THostSettingsKey *K = S ? FindPath(*S, Key) : nullptr)
    for (const auto &Value : K->Values)
      Names.push_back(Value.first);
  return Names;
}

void THostSettings::Clear(const GUID &Plugin) {
  FStores.erase(StoreName(Plugin, PSL_ROAMING));
  FStores.erase(StoreName(Plugin, PSL_LOCAL));
}

// ---- The commands ----

THostSettings::THandle *THostSettings::FindHandle(HANDLE Handle, const wchar_t *Command) {
  auto Found = FHandles.find(Handle);
  if (Found == FHandles.end()) {
    TFarHost::Active().Fail(std::wstring(Command) +
                            L": not a settings handle (never created or already freed)");
    return nullptr;
  }
  return Found->second.get();
}

THostSettingsKey *THostSettings::FindKey(THandle &Handle, size_t Root, const wchar_t *Command) {
  // FAR answers a key number the handle never gave out with a plain failure.
  (void)Command;
  if (Root >= Handle.Keys.size())
    return nullptr;
  TStore &S = Store(Handle.StoreName);
  auto Found = S.Keys.find(Handle.Keys[Root]);
  return Found == S.Keys.end() ? nullptr : Found->second;
}

intptr_t THostSettings::Create(intptr_t Location, FarSettingsCreate *Info) {
  TFarHost &Host = TFarHost::Active();
  if (!Info || Info->StructSize < sizeof(FarSettingsCreate)) {
    Host.Fail(L"SCTL_CREATE: FarSettingsCreate missing or StructSize too small");
    return FALSE;
  }
  if (Location != PSL_ROAMING && Location != PSL_LOCAL) {
    Host.Fail(L"SCTL_CREATE: Param1 is neither PSL_ROAMING nor PSL_LOCAL");
    return FALSE;
  }
  if (RefuseCreate)
    return FALSE;
  auto Handle = std::make_unique<THandle>();
  if (IsNullGuid(Info->Guid)) {
    // FAR's own settings: readable, never writable by a plug-in.
    Handle->StoreName = L"FAR";
    Handle->ReadOnly = true;
    // Its roots are FAR's subfolders (FSSF_*), numbered as FAR numbers them.
    TStore &Far = Store(Handle->StoreName);
    Handle->Keys.assign(1, 0);
    for (size_t Root = 1; Root <= FSSF_EDITOR; ++Root)
      Handle->Keys.push_back(AddSubkey(Far, Far.Root, FarSubfolderName(Root))->Id);
  } else {
    if (!IsNullGuid(Host.PluginGuid()) && !IsEqualGUID(Info->Guid, Host.PluginGuid()))
      Host.Fail(L"SCTL_CREATE: the GUID is not the plug-in's own");
    Handle->StoreName = StoreName(Info->Guid, static_cast<int>(Location));
  }
  Store(Handle->StoreName);
  HANDLE Value = reinterpret_cast<HANDLE>(Handle.get());
  FHandles[Value] = std::move(Handle);
  ++FCreatedHandles;
  Info->Handle = Value;
  return TRUE;
}

intptr_t THostSettings::Free(HANDLE Handle) {
  if (!FindHandle(Handle, L"SCTL_FREE"))
    return FALSE;
  FHandles.erase(Handle);
  return TRUE;
}

intptr_t THostSettings::Set(HANDLE Handle, FarSettingsItem *Item) {
  THandle *H = FindHandle(Handle, L"SCTL_SET");
  if (!H)
    return FALSE;
  if (!Item || Item->StructSize < sizeof(FarSettingsItem)) {
    TFarHost::Active().Fail(L"SCTL_SET: FarSettingsItem missing or StructSize too small");
    return FALSE;
  }
  if (H->ReadOnly || !Item->Name)
    return FALSE;
  THostSettingsKey *Key = FindKey(*H, Item->Root, L"SCTL_SET");
  if (!Key || RefuseWrites.count(Item->Name))
    return FALSE;
  THostSettingsValue Value;
  Value.Type = Item->Type;
  switch (Item->Type) {
  case FST_QWORD:
    Value.Number = Item->Number;
    break;
  case FST_STRING:
    if (!Item->String)
      return FALSE;
    Value.String = Item->String;
    break;
  case FST_DATA: {
    const auto *Bytes = static_cast<const unsigned char *>(Item->Data.Data);
    if (!Bytes && Item->Data.Size)
      return FALSE;
    Value.Data.assign(Bytes, Bytes + Item->Data.Size);
    break;
  }
  default:
    return FALSE;
  }
  Key->Values[Item->Name] = std::move(Value);
  return TRUE;
}

intptr_t THostSettings::Get(HANDLE Handle, FarSettingsItem *Item) {
  THandle *H = FindHandle(Handle, L"SCTL_GET");
  if (!H)
    return FALSE;
  if (!Item || Item->StructSize < sizeof(FarSettingsItem)) {
    TFarHost::Active().Fail(L"SCTL_GET: FarSettingsItem missing or StructSize too small");
    return FALSE;
  }
  THostSettingsKey *Key = Item->Name ? FindKey(*H, Item->Root, L"SCTL_GET") : nullptr;
  if (!Key)
    return FALSE;
  auto Found = Key->Values.find(Item->Name);
  if (Found == Key->Values.end() && Item->Type == FST_QWORD &&
      WorkersOverride(*Key, Item->Name, Item->Number))
    return TRUE;
  // A value stored with another type is not there for this type.
  if (Found == Key->Values.end() || Found->second.Type != Item->Type)
    return FALSE;
  const THostSettingsValue &Value = Found->second;
  switch (Value.Type) {
  case FST_QWORD:
    Item->Number = Value.Number;
    return TRUE;
  case FST_STRING:
    H->Strings.push_back(std::make_unique<std::wstring>(Value.String));
    Item->String = H->Strings.back()->c_str();
    return TRUE;
  case FST_DATA:
    H->Blobs.push_back(std::make_unique<std::vector<unsigned char>>(Value.Data));
    Item->Data.Size = Value.Data.size();
    Item->Data.Data = H->Blobs.back()->data();
    return TRUE;
  default:
    return FALSE;
  }
}

intptr_t THostSettings::Enum(HANDLE Handle, FarSettingsEnum *Info) {
  THandle *H = FindHandle(Handle, L"SCTL_ENUM");
  if (!H)
    return FALSE;
  if (!Info || Info->StructSize < sizeof(FarSettingsEnum)) {
    TFarHost::Active().Fail(L"SCTL_ENUM: FarSettingsEnum missing or StructSize too small");
    return FALSE;
  }
  THostSettingsKey *Key = FindKey(*H, Info->Root, L"SCTL_ENUM");
  if (!Key)
    return FALSE;
  auto Names = std::make_unique<std::vector<FarSettingsName>>();
  for (const auto &Subkey : Key->Subkeys) {
    H->Strings.push_back(std::make_unique<std::wstring>(Subkey.first));
    Names->push_back(FarSettingsName{H->Strings.back()->c_str(), FST_SUBKEY});
  }
  for (const auto &Value : Key->Values) {
    H->Strings.push_back(std::make_unique<std::wstring>(Value.first));
    Names->push_back(FarSettingsName{H->Strings.back()->c_str(), Value.second.Type});
  }
  Info->Count = Names->size();
  Info->Items = Names->data();
  H->Enums.push_back(std::move(Names));
  return TRUE;
}

intptr_t THostSettings::Delete(HANDLE Handle, FarSettingsValue *Value) {
  THandle *H = FindHandle(Handle, L"SCTL_DELETE");
  if (!H)
    return FALSE;
  if (!Value || Value->StructSize < sizeof(FarSettingsValue)) {
    TFarHost::Active().Fail(L"SCTL_DELETE: FarSettingsValue missing or StructSize too small");
    return FALSE;
  }
  if (H->ReadOnly)
    return FALSE;
  TStore &S = Store(H->StoreName);
  THostSettingsKey *Key = FindKey(*H, Value->Root, L"SCTL_DELETE");
  if (!Key)
    return FALSE;
  if (Value->Value)
    return Key->Values.erase(Value->Value) ? TRUE : FALSE;
  // The key with its whole subtree; the root key itself only loses its contents.
  if (!Key->Parent) {
    for (auto &Subkey : Key->Subkeys)
      Forget(S, *Subkey.second);
    Key->Subkeys.clear();
    Key->Values.clear();
    return TRUE;
  }
  Forget(S, *Key);
  Key->Parent->Subkeys.erase(Key->Name);
  return TRUE;
}

intptr_t THostSettings::SubKey(HANDLE Handle, FarSettingsValue *Value, bool CreateMissing) {
  const wchar_t *Command = CreateMissing ? L"SCTL_CREATESUBKEY" : L"SCTL_OPENSUBKEY";
  THandle *H = FindHandle(Handle, Command);
  if (!H)
    return 0;
  if (!Value || Value->StructSize < sizeof(FarSettingsValue)) {
    TFarHost::Active().Fail(std::wstring(Command) + L": FarSettingsValue missing or StructSize too small");
    return 0;
  }
  THostSettingsKey *Parent = FindKey(*H, Value->Root, Command);
  if (!Parent || !Value->Value)
    return 0;
  std::wstring Name = Value->Value;
  // FAR refuses empty names and names with a backslash: a key path is opened one key at a time.
  if (Name.empty() || Name.find(L'\\') != std::wstring::npos)
    return 0;
  THostSettingsKey *Key = nullptr;
  auto Found = Parent->Subkeys.find(Name);
  if (Found != Parent->Subkeys.end())
    Key = Found->second.get();
  else if (CreateMissing && !H->ReadOnly)
    Key = AddSubkey(Store(H->StoreName), *Parent, Name);
  if (!Key)
    return 0;
  H->Keys.push_back(Key->Id);
  return static_cast<intptr_t>(H->Keys.size() - 1);
}

THostSettings &HostSettings() {
  return TFarHost::Active().Part<THostSettings>();
}

void InstallHostSettings(TFarHost &Host) {
  Host.OnSettingsControl(SCTL_CREATE, [](HANDLE, intptr_t Param1, void *Param2) {
    return HostSettings().Create(Param1, static_cast<FarSettingsCreate *>(Param2));
  });
  Host.OnSettingsControl(SCTL_FREE,
                         [](HANDLE Handle, intptr_t, void *) { return HostSettings().Free(Handle); });
  Host.OnSettingsControl(SCTL_SET, [](HANDLE Handle, intptr_t, void *Param2) {
    return HostSettings().Set(Handle, static_cast<FarSettingsItem *>(Param2));
  });
  Host.OnSettingsControl(SCTL_GET, [](HANDLE Handle, intptr_t, void *Param2) {
    return HostSettings().Get(Handle, static_cast<FarSettingsItem *>(Param2));
  });
  Host.OnSettingsControl(SCTL_ENUM, [](HANDLE Handle, intptr_t, void *Param2) {
    return HostSettings().Enum(Handle, static_cast<FarSettingsEnum *>(Param2));
  });
  Host.OnSettingsControl(SCTL_DELETE, [](HANDLE Handle, intptr_t, void *Param2) {
    return HostSettings().Delete(Handle, static_cast<FarSettingsValue *>(Param2));
  });
  Host.OnSettingsControl(SCTL_CREATESUBKEY, [](HANDLE Handle, intptr_t, void *Param2) {
    return HostSettings().SubKey(Handle, static_cast<FarSettingsValue *>(Param2), true);
  });
  Host.OnSettingsControl(SCTL_OPENSUBKEY, [](HANDLE Handle, intptr_t, void *Param2) {
    return HostSettings().SubKey(Handle, static_cast<FarSettingsValue *>(Param2), false);
  });
}
