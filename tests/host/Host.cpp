#include "Host.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

TFarHost *GActiveHost = nullptr;

// The FAR this host claims to be; MinFarVersion is checked against it.
constexpr VersionInfo HostFarVersion{3, 0, 0, 6682, VS_RELEASE};

bool VersionNotNewer(const VersionInfo &v, const VersionInfo &limit) {
  const DWORD a[] = {v.Major, v.Minor, v.Build, v.Revision};
  const DWORD b[] = {limit.Major, limit.Minor, limit.Build, limit.Revision};
  for (int i = 0; i < 4; ++i)
    if (a[i] != b[i])
      return a[i] < b[i];
  return true;
}

std::wstring Text(const wchar_t *p) {
  return p ? std::wstring(p) : std::wstring();
}
std::optional<std::wstring> OptionalText(const wchar_t *p) {
  return p ? std::optional<std::wstring>(p) : std::nullopt;
}

std::wstring Quoted(const std::wstring &s) {
  return L"\"" + s + L"\"";
}

std::wstring JoinQuoted(const std::vector<std::wstring> &items) {
  std::wstring out;
  for (const auto &item : items)
    out += (out.empty() ? L"" : L", ") + Quoted(item);
  return out;
}

std::wstring SystemErrorText(DWORD code) {
  wchar_t *buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer)
    LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return text;
}

void RemoveTree(const std::wstring &folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..")
        continue;
      std::wstring path = folder + L"\\" + name;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(path);
      else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

// ---- The table members the core implements ----

intptr_t WINAPI HostMenu(const UUID *PluginId, const UUID *Id, intptr_t X, intptr_t Y, intptr_t MaxHeight,
                         FARMENUFLAGS Flags, const wchar_t *Title, const wchar_t *Bottom,
                         const wchar_t *HelpTopic, const FarKey *BreakKeys, intptr_t *BreakCode,
                         const FarMenuItem *Item, size_t ItemsNumber) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"Menu");
  return host.DoMenu(PluginId, Id, X, Y, MaxHeight, Flags, Title, Bottom, HelpTopic, BreakKeys, BreakCode,
                     Item, ItemsNumber);
}

intptr_t WINAPI HostMessage(const UUID *PluginId, const UUID *Id, FARMESSAGEFLAGS Flags,
                            const wchar_t *HelpTopic, const wchar_t *const *Items, size_t ItemsNumber,
                            intptr_t ButtonsNumber) {
  DWORD lastError = GetLastError(); // before anything of the host's own can change it
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"Message");
  SetLastError(lastError);
  return host.DoMessage(PluginId, Id, Flags, HelpTopic, Items, ItemsNumber, ButtonsNumber);
}

const wchar_t *WINAPI HostGetMsg(const UUID *PluginId, intptr_t MsgId) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"GetMsg");
  return host.DoGetMsg(PluginId, MsgId);
}

intptr_t WINAPI HostAdvControl(const UUID *PluginId, ADVANCED_CONTROL_COMMANDS Command, intptr_t Param1,
                               void *Param2) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"AdvControl");
  return host.DispatchAdvControl(PluginId, Command, Param1, Param2);
}

intptr_t WINAPI HostPanelControl(HANDLE hPanel, FILE_CONTROL_COMMANDS Command, intptr_t Param1,
                                 void *Param2) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"PanelControl");
  return host.DispatchPanelControl(hPanel, Command, Param1, Param2);
}

intptr_t WINAPI HostSettingsControl(HANDLE hHandle, FAR_SETTINGS_CONTROL_COMMANDS Command, intptr_t Param1,
                                    void *Param2) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"SettingsControl");
  return host.DispatchSettingsControl(hHandle, Command, Param1, Param2);
}

intptr_t WINAPI HostEditorControl(intptr_t EditorID, EDITOR_CONTROL_COMMANDS Command, intptr_t Param1,
                                  void *Param2) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"EditorControl");
  return host.DispatchEditorControl(EditorID, Command, Param1, Param2);
}

// Members of a table copy that SetStartupInfoW was given: FAR's copy is gone after the call.
template <THostName Name, class Fn> struct TStaleStub;
template <THostName Name, class R, class... A> struct TStaleStub<Name, R (*)(A...)> {
  static R WINAPI Call(A...) {
    TFarHost::Active().Fail(std::wstring(L"call through the table passed to SetStartupInfoW, which FAR no "
                                         L"longer owns: ") +
                            Name.Text);
    return HostFailureValue<R>();
  }
};
template <THostName Name, class R, class... A> struct TStaleStub<Name, R (*)(A..., ...)> {
  static R WINAPIV Call(A..., ...) {
    TFarHost::Active().Fail(std::wstring(L"call through the table passed to SetStartupInfoW, which FAR no "
                                         L"longer owns: ") +
                            Name.Text);
    return HostFailureValue<R>();
  }
};

const GUID NullGuid{};

} // namespace

// ---- Records ----

const std::wstring &THostMessage::Title() const {
  static const std::wstring empty;
  return Lines.empty() ? empty : Lines.front();
}

std::wstring THostMessage::Body() const {
  std::wstring out;
  for (size_t i = 1; i < Lines.size(); ++i)
    out += (i > 1 ? L"\n" : L"") + Lines[i];
  return out;
}

std::wstring HostGuidText(const GUID &g) {
  wchar_t buffer[64];
  swprintf(buffer, 64, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
           g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buffer;
}

// ---- Life ----

TFarHost::TFarHost() : TFarHost(TOptions()) {}

TFarHost::TFarHost(TOptions options) : FOptions(std::move(options)) {
  if (GActiveHost) {
    fputs("TFarHost: a second host was created while another one is active\n", stderr);
    abort();
  }
  GActiveHost = this;
  Init();
}

TFarHost::~TFarHost() {
  if (FModule && FStarted && !FExited && FExports.ExitFARW)
    ExitFAR();
  Unload();
  FParts.clear();
  // FAR's local profile lived in the temporary folder.
  SetEnvironmentVariableW(L"FARLOCALPROFILE", nullptr);
  if (FOwnsTempFolder)
    RemoveTree(FTempFolder);
  GActiveHost = nullptr;
}

TFarHost &TFarHost::Active() {
  if (!GActiveHost) {
    fputs("TFarHost: FAR's function called while no host is active\n", stderr);
    abort();
  }
  return *GActiveHost;
}

bool TFarHost::HasActive() {
  return GActiveHost != nullptr;
}

std::wstring TFarHost::ProgramFolder() {
  wchar_t path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring s(path, n);
  size_t slash = s.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : s.substr(0, slash);
}

std::wstring TFarHost::DefaultPluginPath() {
  return ProgramFolder() + L"\\Velmora3.dll";
}

void TFarHost::Init() {
  FTempFolder = FOptions.TempFolder;
  if (FTempFolder.empty()) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, n);
    if (!base.empty() && base.back() == L'\\')
      base.pop_back();
    for (;;) {
      std::wstring candidate = base + L"\\VelmoraHost-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(++counter);
      if (CreateDirectoryW(candidate.c_str(), nullptr)) {
        FTempFolder = candidate;
        FOwnsTempFolder = true;
        break;
      }
      if (GetLastError() != ERROR_ALREADY_EXISTS) {
        FTempFolder = base;
        break;
      }
    }
  }

  // FAR names its profile folders in its environment, where plug-ins find their data folders.
  for (const wchar_t *name : {L"FARPROFILE", L"FARLOCALPROFILE"}) {
    const std::wstring folder = FTempFolder + (name[3] == L'L' ? L"\\LocalProfile" : L"\\Profile");
    CreateDirectoryW(folder.c_str(), nullptr);
    SetEnvironmentVariableW(name, folder.c_str());
  }

  FInfo = PluginStartupInfo{};
  FFSF = FarStandardFunctions{};
  FInfo.StructSize = sizeof(PluginStartupInfo);
  FFSF.StructSize = sizeof(FarStandardFunctions);
#define VELMORA_HOST_STUB_INFO(Member) VELMORA_HOST_STUB(FInfo, Member);
#define VELMORA_HOST_STUB_FSF(Member) VELMORA_HOST_STUB(FFSF, Member);
  VELMORA_HOST_INFO_FUNCTIONS(VELMORA_HOST_STUB_INFO)
  VELMORA_HOST_FSF_FUNCTIONS(VELMORA_HOST_STUB_FSF)
#undef VELMORA_HOST_STUB_INFO
#undef VELMORA_HOST_STUB_FSF
  FInfo.FSF = &FFSF;
  FInfo.Menu = HostMenu;
  FInfo.Message = HostMessage;
  FInfo.GetMsg = HostGetMsg;
  FInfo.AdvControl = HostAdvControl;
  FInfo.PanelControl = HostPanelControl;
  FInfo.SettingsControl = HostSettingsControl;
  FInfo.EditorControl = HostEditorControl;

  InstallHostStandardFunctions(*this);
  InstallHostSettings(*this);
  InstallHostPanels(*this);
  InstallHostScreen(*this);
  InstallHostDialogs(*this);
  InstallHostEditor(*this);
}

// ---- Loading ----

bool TFarHost::Load(const std::wstring &dllPath) {
  if (IsLoaded()) {
    Fail(L"Load: a plug-in is already loaded");
    return false;
  }
  wchar_t full[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(dllPath.c_str(), MAX_PATH * 4, full, nullptr);
  FModuleName = n ? std::wstring(full, n) : dllPath;
  FModule = LoadLibraryW(FModuleName.c_str());
  if (!FModule) {
    Fail(L"LoadLibraryW failed for " + FModuleName + L": " + SystemErrorText(GetLastError()));
    return false;
  }
  ResolveExports();
  if (!FExports.GetGlobalInfoW) {
    Fail(L"the DLL has no GetGlobalInfoW export, so FAR would not take it for a plug-in");
    return false;
  }
  return true;
}

void TFarHost::ResolveExports() {
  auto get = [this](auto &slot, const char *name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
        reinterpret_cast<void *>(GetProcAddress(FModule, name)));
  };
  get(FExports.SetStartupInfoW, "SetStartupInfoW");
  get(FExports.GetGlobalInfoW, "GetGlobalInfoW");
  get(FExports.GetPluginInfoW, "GetPluginInfoW");
  get(FExports.OpenW, "OpenW");
  get(FExports.ConfigureW, "ConfigureW");
  get(FExports.ExitFARW, "ExitFARW");
  get(FExports.ProcessEditorEventW, "ProcessEditorEventW");
  get(FExports.ProcessEditorInputW, "ProcessEditorInputW");
}

void TFarHost::AttachInProcess(const THostExports &exports, const std::wstring &moduleName) {
  FExports = exports;
  FInProcess = true;
  wchar_t path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  FModuleName = moduleName.empty() ? std::wstring(path, n) : moduleName;
}

bool TFarHost::Start(const std::wstring &dllPath) {
  if (!Load(dllPath))
    return false;
  CallGetGlobalInfo();
  if (!CheckGlobalInfo(FGlobal))
    return false;
  CallSetStartupInfo();
  CallGetPluginInfo();
  return true;
}

void TFarHost::Unload() {
  if (FModule) {
    FreeLibrary(FModule);
    FModule = nullptr;
  }
  FInProcess = false;
  FExports = THostExports();
  FStarted = false;
}

bool TFarHost::CheckGlobalInfo(const GlobalInfo &info) {
  bool ok = true;
  auto fail = [&](const std::wstring &why) {
    Fail(L"FAR would not load the plug-in: " + why);
    ok = false;
  };
  if (info.StructSize == 0)
    fail(L"GetGlobalInfoW left StructSize 0");
  if (!info.Title || !*info.Title)
    fail(L"no title");
  if (!info.Description || !*info.Description)
    fail(L"no description");
  if (!info.Author || !*info.Author)
    fail(L"no author");
  if (info.Guid == NullGuid)
    fail(L"the plug-in GUID is the null GUID");
  if (!VersionNotNewer(info.MinFarVersion, HostFarVersion))
    fail(L"MinFarVersion is newer than this FAR");
  return ok;
}

// ---- Exports ----

GlobalInfo TFarHost::CallGetGlobalInfo() {
  GlobalInfo info{};
  info.StructSize = sizeof(GlobalInfo);
  info.Instance = FModule;
  if (!FExports.GetGlobalInfoW) {
    Fail(L"the plug-in does not export GetGlobalInfoW");
    return info;
  }
  FExports.GetGlobalInfoW(&info);
  FGlobal = info;
  FGlobalTitle = Text(info.Title);
  FGlobalDescription = Text(info.Description);
  FGlobalAuthor = Text(info.Author);
  return info;
}

void TFarHost::CallSetStartupInfo() {
  // FAR hands over copies that die with the call; so does the host.
  auto info = std::make_unique<PluginStartupInfo>(FInfo);
  auto fsf = std::make_unique<FarStandardFunctions>(FFSF);
  info->ModuleName = FModuleName.c_str();
  info->Instance = FModule;
  info->FSF = fsf.get();
  CallSetStartupInfo(info.get());
#define VELMORA_HOST_STALE_INFO(Member) info->Member = &TStaleStub<L## #Member, decltype(info->Member)>::Call;
#define VELMORA_HOST_STALE_FSF(Member) fsf->Member = &TStaleStub<L## #Member, decltype(fsf->Member)>::Call;
  VELMORA_HOST_INFO_FUNCTIONS(VELMORA_HOST_STALE_INFO)
  VELMORA_HOST_FSF_FUNCTIONS(VELMORA_HOST_STALE_FSF)
#undef VELMORA_HOST_STALE_INFO
#undef VELMORA_HOST_STALE_FSF
  info->ModuleName = L"(stale start-up table)";
  FPassedInfos.push_back(std::move(info));
  FPassedFSFs.push_back(std::move(fsf));
}

void TFarHost::CallSetStartupInfo(const PluginStartupInfo *info) {
  if (!FExports.SetStartupInfoW) {
    Fail(L"the plug-in does not export SetStartupInfoW");
    return;
  }
  FExports.SetStartupInfoW(info);
  FStarted = true;
}

PluginInfo TFarHost::CallGetPluginInfo() {
  PluginInfo info{};
  info.StructSize = sizeof(PluginInfo);
  info.Instance = FModule;
  if (!FExports.GetPluginInfoW) {
    Fail(L"the plug-in does not export GetPluginInfoW");
    return info;
  }
  FExports.GetPluginInfoW(&info);
  auto guids = [](const PluginMenuItem &menu) {
    std::vector<GUID> out;
    for (size_t i = 0; i < menu.Count && menu.Guids; ++i)
      out.push_back(menu.Guids[i]);
    return out;
  };
  FPluginMenuGuids = guids(info.PluginMenu);
  FConfigMenuGuids = guids(info.PluginConfig);
  return info;
}

intptr_t TFarHost::Open(OPENFROM openFrom, const GUID *guid, intptr_t data) {
  if (!FExports.OpenW) {
    Fail(L"the plug-in does not export OpenW");
    return 0;
  }
  OpenInfo info{};
  info.StructSize = sizeof(OpenInfo);
  info.OpenFrom = openFrom;
  info.Guid = guid ? guid : &NullGuid;
  info.Data = data;
  info.Instance = FModule;
  return reinterpret_cast<intptr_t>(FExports.OpenW(&info));
}

intptr_t TFarHost::OpenFromPluginsMenu() {
  if (FPluginMenuGuids.empty())
    CallGetPluginInfo();
  if (FPluginMenuGuids.empty()) {
    Fail(L"the plug-in has no entry in the plug-ins menu");
    return 0;
  }
  GUID guid = FPluginMenuGuids.front();
  return Open(OPEN_PLUGINSMENU, &guid, 0);
}

intptr_t TFarHost::OpenFromEditor() {
  if (FPluginMenuGuids.empty())
    CallGetPluginInfo();
  GUID guid = FPluginMenuGuids.empty() ? NullGuid : FPluginMenuGuids.front();
  return Open(OPEN_EDITOR, &guid, 0);
}

intptr_t TFarHost::OpenFromMacro(const std::vector<FarMacroValue> &values) {
  std::vector<FarMacroValue> copy = values;
  OpenMacroInfo info{};
  info.StructSize = sizeof(OpenMacroInfo);
  info.Count = copy.size();
  info.Values = copy.empty() ? nullptr : copy.data();
  return Open(OPEN_FROMMACRO, &NullGuid, reinterpret_cast<intptr_t>(&info));
}

TFarHost::TMacroResult TFarHost::CallMacro(const std::vector<FarMacroValue> &values) {
  TMacroResult result;
  const intptr_t answer = OpenFromMacro(values);
  if (answer == 0)
    return result;
  result.Truth = true;
  if (answer == 1 || answer == -1)
    return result;
  auto *call = reinterpret_cast<FarMacroCall *>(answer);
  if (call->StructSize < sizeof(FarMacroCall)) {
    Fail(L"OpenW answered a macro with a FarMacroCall of StructSize " + std::to_wstring(call->StructSize));
    return result;
  }
  for (size_t i = 0; i < call->Count; ++i) {
    result.Types.push_back(call->Values[i].Type);
    result.Texts.push_back(
        call->Values[i].Type == FMVT_STRING && call->Values[i].String ? call->Values[i].String : L"");
  }
  if (call->Callback) {
    call->Callback(call->CallbackData, call->Values, call->Count);
    result.CallbackCalled = true;
  }
  return result;
}

intptr_t TFarHost::Configure(const GUID *guid, size_t structSize) {
  if (!FExports.ConfigureW) {
    Fail(L"the plug-in does not export ConfigureW");
    return 0;
  }
  ConfigureInfo info{};
  info.StructSize = structSize;
  info.Guid = guid;
  info.Instance = FModule;
  return FExports.ConfigureW(&info);
}

intptr_t TFarHost::Configure() {
  if (FConfigMenuGuids.empty())
    CallGetPluginInfo();
  if (FConfigMenuGuids.empty()) {
    Fail(L"the plug-in has no entry in the configuration menu");
    return 0;
  }
  GUID guid = FConfigMenuGuids.front();
  return Configure(&guid);
}

void TFarHost::ExitFAR() {
  FExited = true;
  if (!FExports.ExitFARW) {
    Fail(L"the plug-in does not export ExitFARW");
    return;
  }
  ExitInfo info{};
  info.StructSize = sizeof(ExitInfo);
  info.Instance = FModule;
  FExports.ExitFARW(&info);
}

intptr_t TFarHost::ProcessEditorEvent(intptr_t event, void *param, intptr_t editorId) {
  if (!FExports.ProcessEditorEventW) {
    Fail(L"the plug-in does not export ProcessEditorEventW");
    return 0;
  }
  ProcessEditorEventInfo info{};
  info.StructSize = sizeof(ProcessEditorEventInfo);
  info.Event = event;
  info.Param = param;
  info.EditorID = editorId;
  info.Instance = FModule;
  return FExports.ProcessEditorEventW(&info);
}

intptr_t TFarHost::ProcessEditorInput(const INPUT_RECORD &record) {
  if (!FExports.ProcessEditorInputW) {
    Fail(L"the plug-in does not export ProcessEditorInputW");
    return 0;
  }
  ProcessEditorInputInfo info{};
  info.StructSize = sizeof(ProcessEditorInputInfo);
  info.Rec = record;
  info.Instance = FModule;
  return FExports.ProcessEditorInputW(&info);
}

// ---- Recording ----

void TFarHost::Fail(const std::wstring &text) {
  FFailures.push_back(text);
  if (FFailureHandler)
    FFailureHandler(text);
}

void TFarHost::Unimplemented(const std::wstring &name) {
  RecordCall(name.c_str());
  Fail(L"unimplemented call: " + name);
}

size_t TFarHost::CallCount(const std::wstring &name) const {
  size_t n = 0;
  for (const auto &call : FCalls)
    n += call == name;
  return n;
}

size_t TFarHost::MsgRequestCount(intptr_t id) const {
  size_t n = 0;
  for (intptr_t request : FMsgRequests)
    n += request == id;
  return n;
}

void TFarHost::ClearRecords() {
  FCalls.clear();
  FMessages.clear();
  FMenus.clear();
  FMsgRequests.clear();
}

bool TFarHost::CheckPluginId(const GUID *id, const wchar_t *service) {
  if (id && *id == FGlobal.Guid && !(FGlobal.Guid == NullGuid))
    return true;
  Fail(std::wstring(service) + L" was called with " +
       (id ? HostGuidText(*id) : std::wstring(L"a null GUID")) + L" instead of the plug-in's GUID " +
       HostGuidText(FGlobal.Guid));
  return false;
}

// ---- Dispatch by command ----

intptr_t TFarHost::DispatchAdvControl(const GUID *PluginId, int command, intptr_t Param1, void *Param2) {
  CheckPluginId(PluginId, L"AdvControl");
  auto it = FAdvControl.find(command);
  if (it == FAdvControl.end()) {
    Unimplemented(L"AdvControl(" + std::to_wstring(command) + L")");
    return 0;
  }
  return it->second(PluginId, Param1, Param2);
}

intptr_t TFarHost::DispatchPanelControl(HANDLE handle, int command, intptr_t Param1, void *Param2) {
  auto it = FPanelControl.find(command);
  if (it == FPanelControl.end()) {
    Unimplemented(L"PanelControl(" + std::to_wstring(command) + L")");
    return 0;
  }
  return it->second(handle, Param1, Param2);
}

intptr_t TFarHost::DispatchSettingsControl(HANDLE handle, int command, intptr_t Param1, void *Param2) {
  auto it = FSettingsControl.find(command);
  if (it == FSettingsControl.end()) {
    Unimplemented(L"SettingsControl(" + std::to_wstring(command) + L")");
    return 0;
  }
  return it->second(handle, Param1, Param2);
}

intptr_t TFarHost::DispatchEditorControl(intptr_t editorId, int command, intptr_t Param1, void *Param2) {
  auto it = FEditorControl.find(command);
  if (it == FEditorControl.end()) {
    Unimplemented(L"EditorControl(" + std::to_wstring(command) + L")");
    return 0;
  }
  return it->second(editorId, Param1, Param2);
}

// ---- Messages ----

intptr_t TFarHost::DoMessage(const GUID *PluginId, const GUID *Id, FARMESSAGEFLAGS Flags,
                             const wchar_t *HelpTopic, const wchar_t *const *Items, size_t ItemsNumber,
                             intptr_t ButtonsNumber) {
  THostMessage m;
  m.LastError = GetLastError();
  m.PluginId = PluginId ? *PluginId : NullGuid;
  m.Id = Id ? *Id : NullGuid;
  m.Flags = Flags;
  m.HelpTopic = OptionalText(HelpTopic);
  m.ButtonsNumber = ButtonsNumber;
  bool valid = CheckPluginId(PluginId, L"Message");

  if (Flags & FMSG_ALLINONE) {
    // Items is really one text, its lines separated by '\n'.
    std::wstring all = Text(reinterpret_cast<const wchar_t *>(Items));
    size_t pos = 0;
    while (true) {
      size_t end = all.find(L'\n', pos);
      m.Items.push_back(all.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos));
      if (end == std::wstring::npos)
        break;
      pos = end + 1;
    }
  } else {
    if (!Items && ItemsNumber > 0) {
      Fail(L"Message: Items is null but ItemsNumber is " + std::to_wstring(ItemsNumber));
      valid = false;
      ItemsNumber = 0;
    }
    for (size_t i = 0; i < ItemsNumber; ++i) {
      if (!Items[i]) {
        Fail(L"Message: item " + std::to_wstring(i) + L" is a null pointer");
        valid = false;
      }
      m.Items.push_back(Text(Items[i]));
    }
  }

  static const std::vector<std::vector<std::wstring>> farButtons = {{},
                                                                    {L"&Ok"},
                                                                    {L"&Ok", L"&Cancel"},
                                                                    {L"&Abort", L"&Retry", L"&Ignore"},
                                                                    {L"&Yes", L"&No"},
                                                                    {L"&Yes", L"&No", L"&Cancel"},
                                                                    {L"&Retry", L"&Cancel"}};
  size_t mb = size_t((Flags >> 16) & 0xF);
  if (mb >= farButtons.size()) {
    Fail(L"Message: unknown FMSG_MB_ value " + std::to_wstring(mb));
    valid = false;
    mb = 0;
  }
  if (mb) {
    m.Lines = m.Items;
    m.Buttons = farButtons[mb];
  } else if (ButtonsNumber < 0 || size_t(ButtonsNumber) > m.Items.size()) {
    Fail(L"Message: ButtonsNumber " + std::to_wstring(ButtonsNumber) + L" does not fit " +
         std::to_wstring(m.Items.size()) + L" items");
    valid = false;
    m.Lines = m.Items;
  } else {
    m.Lines.assign(m.Items.begin(), m.Items.end() - ButtonsNumber);
    m.Buttons.assign(m.Items.end() - ButtonsNumber, m.Items.end());
  }
  if (m.Lines.empty()) {
    Fail(L"Message without a title line");
    valid = false;
  }
  if (Flags & FMSG_ERRORTYPE)
    m.ErrorText = SystemErrorText(m.LastError);

  m.Result = -1;
  if (!m.Buttons.empty()) {
    std::wstring question = L"message " + Quoted(m.Title()) + L" [" + JoinQuoted(m.Lines) +
                            L"] with buttons [" + JoinQuoted(m.Buttons) + L"]";
    std::wstring why;
    auto step = FScript.Take<TAnswerMessage>(question, why, m.Buttons);
    if (!step)
      Fail(why);
    else {
      if (!step->Expect.empty()) {
        bool found = false;
        for (const auto *list : {&m.Lines, &m.Buttons})
          for (const auto &line : *list)
            found = found || line.find(step->Expect) != std::wstring::npos;
        if (!found)
          Fail(L"the scripted step \"" + step->Describe() + L"\" expected " + Quoted(step->Expect) + L" in " +
               question);
      }
      if (step->Button < -1 || step->Button >= intptr_t(m.Buttons.size()))
        Fail(L"the scripted step \"" + step->Describe() + L"\" names a button that " + question +
             L" does not have");
      else if (valid)
        m.Result = step->Button;
    }
  }
  // With no buttons FAR draws the message and returns at once.
  FMessages.push_back(std::move(m));
  return FMessages.back().Result;
}

// ---- Menus ----

intptr_t TFarHost::DoMenu(const GUID *PluginId, const GUID *Id, intptr_t X, intptr_t Y, intptr_t MaxHeight,
                          FARMENUFLAGS Flags, const wchar_t *Title, const wchar_t *Bottom,
                          const wchar_t *HelpTopic, const FarKey *BreakKeys, intptr_t *BreakCode,
                          const FarMenuItem *Item, size_t ItemsNumber) {
  THostMenu m;
  m.PluginId = PluginId ? *PluginId : NullGuid;
  m.Id = Id ? *Id : NullGuid;
  m.X = X;
  m.Y = Y;
  m.MaxHeight = MaxHeight;
  m.Flags = Flags;
  m.Title = OptionalText(Title);
  m.Bottom = OptionalText(Bottom);
  m.HelpTopic = OptionalText(HelpTopic);
  m.HasBreakCode = BreakCode != nullptr;
  bool valid = CheckPluginId(PluginId, L"Menu");
  for (const FarKey *key = BreakKeys; key && key->VirtualKeyCode; ++key)
    m.BreakKeys.push_back(*key);
  if (!Item && ItemsNumber > 0) {
    Fail(L"Menu: Item is null but ItemsNumber is " + std::to_wstring(ItemsNumber));
    valid = false;
    ItemsNumber = 0;
  }
  for (size_t i = 0; i < ItemsNumber; ++i) {
    THostMenuItem item;
    item.Flags = Item[i].Flags;
    item.Text = Text(Item[i].Text);
    item.AccelKey = Item[i].AccelKey;
    item.UserData = Item[i].UserData;
    m.Items.push_back(item);
  }

  std::vector<std::wstring> texts;
  for (const auto &item : m.Items)
    texts.push_back(item.Text);
  std::wstring question = L"menu " + Quoted(m.Title.value_or(L"")) + L" [" + JoinQuoted(texts) + L"]";
  std::wstring why;
  auto step = FScript.Take<TPickMenuItem>(question, why, texts);
  m.Result = -1;
  m.BreakCode = -1;
  if (!step)
    Fail(why);
  else {
    if (!step->Expect.empty()) {
      bool found = m.Title.value_or(L"").find(step->Expect) != std::wstring::npos ||
                   m.Bottom.value_or(L"").find(step->Expect) != std::wstring::npos;
      for (const auto &text : texts)
        found = found || text.find(step->Expect) != std::wstring::npos;
      if (!found)
        Fail(L"the scripted step \"" + step->Describe() + L"\" expected " + Quoted(step->Expect) + L" in " +
             question);
    }
    const MENUITEMFLAGS unselectable = MIF_SEPARATOR | MIF_DISABLE | MIF_GRAYED | MIF_HIDDEN;
    if (step->Index < -1 || step->Index >= intptr_t(m.Items.size()))
      Fail(L"the scripted step \"" + step->Describe() + L"\" names an item that " + question +
           L" does not have");
    else if (step->Index >= 0 && (m.Items[step->Index].Flags & unselectable))
      Fail(L"the scripted step \"" + step->Describe() + L"\" picks an item the user cannot select in " +
           question);
    else if (step->BreakKey >= 0 && (!BreakCode || step->BreakKey >= intptr_t(m.BreakKeys.size())))
      Fail(L"the scripted step \"" + step->Describe() + L"\" presses a break key that " + question +
           L" does not have");
    else if (valid) {
      m.Result = step->Index;
      m.BreakCode = step->BreakKey >= 0 ? step->BreakKey : -1;
    }
  }
  if (BreakCode)
    *BreakCode = m.BreakCode;
  FMenus.push_back(std::move(m));
  return FMenus.back().Result;
}

// ---- Language ----

void TFarHost::SetLanguage(const std::wstring &language) {
  FOptions.Language = language;
  FLanguageLoaded = false;
  FLanguage.reset();
}

const THostLanguageFile *TFarHost::Language() {
  if (!FLanguageLoaded) {
    FLanguageLoaded = true;
    std::wstring folder = FModuleName;
    size_t slash = folder.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
    FLanguage = HostChooseLanguageFile(folder, FOptions.Language);
  }
  return FLanguage ? &*FLanguage : nullptr;
}

std::wstring TFarHost::Msg(intptr_t id) {
  const THostLanguageFile *file = Language();
  if (!file || id < 0 || size_t(id) >= file->Messages().size())
    return {};
  return file->Messages()[id];
}

const wchar_t *TFarHost::DoGetMsg(const GUID *PluginId, intptr_t MsgId) {
  FMsgRequests.push_back(MsgId);
  if (!CheckPluginId(PluginId, L"GetMsg"))
    return L"";
  const THostLanguageFile *file = Language();
  if (!file) {
    Fail(L"GetMsg: no readable language file next to " + FModuleName);
    return L"";
  }
  if (MsgId < 0 || size_t(MsgId) >= file->Messages().size()) {
    // FAR warns about a bad language file and answers with an empty text.
    Fail(L"GetMsg: message " + std::to_wstring(MsgId) + L" is beyond the " +
         std::to_wstring(file->Messages().size()) + L" messages of " + file->Path());
    return L"";
  }
  return file->Messages()[MsgId].c_str();
}
