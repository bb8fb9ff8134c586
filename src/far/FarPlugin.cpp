#include "FarPlugin.h"

#include "FarEditor.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <windows.h>

TGlobalInfo_Static GlobalInfo_Static;
TMessageShownHook OnMessageShown = nullptr;

namespace {

// The one plug-in object. A plain pointer: it is freed explicitly at DLL unload, before the
// module's own static objects go away.
TFarPlugin *GPlugin = nullptr;

const GUID NullGuid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

} // namespace

// ---- Registry ----

TFarPlugin &FarPlugin() {
  if (!GPlugin)
    throw EFarPluginError(L"The plugin has not been initialized yet");
  return *GPlugin;
}

void RegisterPlugin(std::unique_ptr<TFarPlugin> Plugin) {
  if (GPlugin)
    throw EFarPluginError(L"The plugin has already been initialized");
  GPlugin = Plugin.release();
}

bool PluginExists() noexcept {
  return GPlugin != nullptr;
}

std::unique_ptr<TFarPlugin> UnregisterPlugin() noexcept {
  TFarPlugin *Plugin = GPlugin;
  GPlugin = nullptr;
  return std::unique_ptr<TFarPlugin>(Plugin);
}

std::wstring PluginDataFolder(const GUID &PluginGuid) {
  std::wstring Profile;
  for (const wchar_t *Name : {L"FARLOCALPROFILE", L"FARPROFILE"}) {
    wchar_t Buffer[1024];
    const DWORD Length = ::GetEnvironmentVariableW(Name, Buffer, 1024);
    if (Length > 0 && Length < 1024) {
      Profile.assign(Buffer, Length);
      break;
    }
  }
  if (Profile.empty())
    return Profile;
  if (Profile.back() != L'\\')
    Profile += L'\\';
  wchar_t Guid[40];
  swprintf(Guid, 40, L"%08lX-%04hX-%04hX-%02X%02X-%02X%02X%02X%02X%02X%02X",
           static_cast<unsigned long>(PluginGuid.Data1), PluginGuid.Data2, PluginGuid.Data3,
           PluginGuid.Data4[0], PluginGuid.Data4[1], PluginGuid.Data4[2], PluginGuid.Data4[3],
           PluginGuid.Data4[4], PluginGuid.Data4[5], PluginGuid.Data4[6], PluginGuid.Data4[7]);
  return Profile + L"PluginsData\\" + Guid;
}

void FreePlugin() noexcept {
  UnregisterPlugin().reset();
}

// ---- TFarModule ----

std::wstring TFarModule::FromPChar(const wchar_t *P) {
  return P ? std::wstring(P) : std::wstring();
}

std::wstring TFarModule::FromPChar(const wchar_t *P, size_t Length) {
  return P ? std::wstring(P, Length) : std::wstring();
}

wchar_t *TFarModule::NewPChar(const std::wstring &S) {
  wchar_t *Copy = new wchar_t[S.size() + 1];
  std::wmemcpy(Copy, S.c_str(), S.size() + 1);
  return Copy;
}

void TFarModule::DisposePChar(wchar_t *&P) noexcept {
  delete[] P;
  P = nullptr;
}

void TFarModule::DisposePChar(const wchar_t *&P) noexcept {
  delete[] const_cast<wchar_t *>(P);
  P = nullptr;
}

std::wstring TFarModule::GetMsg(int Id) {
  if (Id == -1)
    return std::wstring();
  TFarPlugin &Plugin = FarPlugin();
  GUID Guid = Plugin.GetPluginGuid();
  return FromPChar(Plugin.Api(&PluginStartupInfo::GetMsg)(&Guid, static_cast<intptr_t>(Id)));
}

intptr_t TFarModule::ShowMessage(const std::vector<std::wstring> &Lines, FARMESSAGEFLAGS Flags, int Buttons,
                                 const wchar_t *HelpTopic) {
  if (Buttons < 0 || static_cast<size_t>(Buttons) > Lines.size())
    throw EFarError(L"Index out of bounds");
  TFarPlugin &Plugin = FarPlugin();
  FARAPIMESSAGE Message = Plugin.Api(&PluginStartupInfo::Message);
  GUID Guid = Plugin.GetPluginGuid();
  std::vector<const wchar_t *> Items;
  Items.reserve(Lines.size());
  for (const std::wstring &Line : Lines)
    Items.push_back(ToPChar(Line));
  intptr_t Result = Message(&Guid, &NullGuid, Flags, HelpTopic, Items.data(), Items.size(), Buttons);
  if (Buttons > 0 && OnMessageShown)
    OnMessageShown();
  return Result;
}

intptr_t TFarModule::ShowMessageWithTitle(const std::vector<std::wstring> &Lines) {
  TFarPlugin &Plugin = FarPlugin();
  std::vector<std::wstring> Items;
  Items.reserve(Lines.size() + 2);
  Items.push_back(Plugin.GetStandardText(stTitle));
  Items.insert(Items.end(), Lines.begin(), Lines.end());
  Items.push_back(Plugin.GetStandardText(stOK));
  return ShowMessage(Items, FMSG_WARNING, 1);
}

bool TFarModule::ShowMenu(const GUID &MenuGuid, const std::wstring &Title, const std::wstring &HelpTopic,
                          const std::vector<std::wstring> &Items, int &Index) {
  if (Items.empty())
    return false;
  TFarPlugin &Plugin = FarPlugin();
  FARAPIMENU Menu = Plugin.Api(&PluginStartupInfo::Menu);
  GUID Guid = Plugin.GetPluginGuid();
  std::vector<FarMenuItem> MenuItems(Items.size());
  for (size_t I = 0; I < Items.size(); ++I) {
    if (Items[I] == L"-")
      MenuItems[I].Flags = MIF_SEPARATOR;
    else
      MenuItems[I].Text = ToPChar(Items[I]);
  }
  intptr_t Result = Menu(&Guid, &MenuGuid, -1, -1, 0, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT, ToPChar(Title),
                         nullptr, HelpTopic.empty() ? nullptr : ToPChar(HelpTopic), nullptr, nullptr,
                         MenuItems.data(), MenuItems.size());
  if (Result < 0 || static_cast<size_t>(Result) >= Items.size())
    return false;
  Index = static_cast<int>(Result);
  return true;
}

bool TFarModule::ShowMenu(const GUID &MenuGuid, const std::wstring &Title, const std::wstring &HelpTopic,
                          std::initializer_list<std::wstring> Items, int &Index) {
  return ShowMenu(MenuGuid, Title, HelpTopic, std::vector<std::wstring>(Items), Index);
}

std::wstring TFarModule::ConvertToNativePath(const std::wstring &Path) {
  if (Path.empty())
    return std::wstring();
  FARCONVERTPATH ConvertPath = FarPlugin().Fsf(&FarStandardFunctions::ConvertPath);
  size_t Size = ConvertPath(CPM_NATIVE, Path.c_str(), nullptr, 0);
  if (Size == 0 || Size > 0x7FFFFFFF)
    return std::wstring();
  std::vector<wchar_t> Buffer(Size + 1, L'\0');
  ConvertPath(CPM_NATIVE, Path.c_str(), Buffer.data(), Size);
  // FAR writes at most Size characters with the terminator; never read past the buffer.
  return std::wstring(Buffer.data(), std::wcslen(Buffer.data()));
}

std::wstring TFarModule::MakeTempFileName() {
  FARSTDMKTEMP MkTemp = FarPlugin().Fsf(&FarStandardFunctions::MkTemp);
  wchar_t Buffer[MAX_PATH + 1] = {};
  size_t Length = MkTemp(Buffer, MAX_PATH, nullptr);
  Buffer[MAX_PATH] = L'\0';
  std::wstring Name(Buffer, std::wcslen(Buffer));
  if (Length < Name.size())
    Name.resize(Length);
  return Name;
}

std::wstring TFarModule::FitToWidth(const std::wstring &S, int Width, wchar_t PadChar) {
  if (Width <= 0)
    return std::wstring();
  size_t Target = static_cast<size_t>(Width);
  if (S.size() > Target) {
    FARSTDTRUNCPATHSTR TruncPathStr = FarPlugin().Fsf(&FarStandardFunctions::TruncPathStr);
    std::vector<wchar_t> Buffer(S.begin(), S.end());
    Buffer.push_back(L'\0');
    TruncPathStr(Buffer.data(), Width);
    std::wstring Result(Buffer.data(), std::wcslen(Buffer.data()));
    if (Result.size() > Target)
      Result.resize(Target);
    Result.append(Target - Result.size(), PadChar);
    return Result;
  }
  return S + std::wstring(Target - S.size(), PadChar);
}

// ---- TFarPlugin ----

TFarPlugin::TFarPlugin() = default;
TFarPlugin::~TFarPlugin() = default;

VersionInfo TFarPlugin::GetMinFarVersion() {
  return VersionInfo{3, 0, 0, 0, VS_RELEASE};
}

void TFarPlugin::OnStartup() {}

void TFarPlugin::OnExit() {}

bool TFarPlugin::Configure(const GUID *) {
  return false;
}

void TFarPlugin::Log(const std::wstring &) {}

std::wstring TFarPlugin::GetStandardText(TFarStandardText Kind) {
  switch (Kind) {
  case stTitle: {
    std::wstring Title, Description, Author;
    GetPluginNames(Title, Description, Author);
    return Title;
  }
  case stExceptionInFunction:
    return L"Exception occurred in function %s";
  case stOK:
    return L"&OK";
  case stCancel:
    return L"&Cancel";
  case stYes:
    return L"&Yes";
  case stNo:
    return L"&No";
  }
  return std::wstring();
}

VersionInfo TFarPlugin::GetVersion() {
  VersionInfo Version{0, 0, 0, 0, VS_RELEASE};
  // The module that holds this code: the DLL in FAR, the program itself in a test.
  HMODULE Module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&GlobalInfo_Static), &Module))
    return Version;
  std::vector<wchar_t> Name(MAX_PATH);
  for (;;) {
    DWORD Length = GetModuleFileNameW(Module, Name.data(), static_cast<DWORD>(Name.size()));
    if (Length == 0)
      return Version;
    if (Length < Name.size())
      break;
    if (Name.size() >= 32768)
      return Version;
    Name.resize(Name.size() * 2);
  }
  DWORD Ignored = 0;
  DWORD Size = GetFileVersionInfoSizeW(Name.data(), &Ignored);
  if (Size == 0)
    return Version;
  std::vector<BYTE> Data(Size);
  if (!GetFileVersionInfoW(Name.data(), 0, Size, Data.data()))
    return Version;
  VS_FIXEDFILEINFO *Fixed = nullptr;
  UINT FixedLength = 0;
  if (!VerQueryValueW(Data.data(), L"\\", reinterpret_cast<void **>(&Fixed), &FixedLength) || !Fixed ||
      FixedLength < sizeof(VS_FIXEDFILEINFO))
    return Version;
  Version.Major = HIWORD(Fixed->dwFileVersionMS);
  Version.Minor = LOWORD(Fixed->dwFileVersionMS);
  Version.Revision = HIWORD(Fixed->dwFileVersionLS);
  Version.Build = LOWORD(Fixed->dwFileVersionLS);
  return Version;
}

// The managed editors answer FAR's editor events and keys.
intptr_t TFarPlugin::ProcessEditorEvent(const ProcessEditorEventInfo &Info) {
  return TFarEditorManaged::HandleEditorEvent(Info);
}

intptr_t TFarPlugin::ProcessEditorInput(const ProcessEditorInputInfo &Info) {
  return TFarEditorManaged::HandleEditorInput(Info);
}

void TFarPlugin::LogFmt(const std::wstring &FormatText, std::initializer_list<TFormatArg> Args) {
  std::wstring Text;
  try {
    Text = Format(FormatText, Args);
  } catch (const EFormatError &) {
    Text = L"Invalid log message: " + FormatText;
  }
  Log(Text);
}

void TFarPlugin::SetStartupInfo(const PluginStartupInfo &Info) {
  // FAR's tables may be older (shorter) than ours, or newer (longer): take what both know.
  size_t InfoSize = std::min(Info.StructSize, sizeof(PluginStartupInfo));
  std::memset(&FStartupInfo, 0, sizeof(FStartupInfo));
  std::memcpy(&FStartupInfo, &Info, InfoSize);
  FStartupInfo.StructSize = InfoSize;

  std::memset(&FStandardFunctions, 0, sizeof(FStandardFunctions));
  const FarStandardFunctions *Fsf = FStartupInfo.FSF;
  if (Fsf) {
    size_t FsfSize = std::min(Fsf->StructSize, sizeof(FarStandardFunctions));
    std::memcpy(&FStandardFunctions, Fsf, FsfSize);
    FStandardFunctions.StructSize = FsfSize;
  }
  // The copy must not point into FAR's structure, which lives on FAR's stack.
  FStartupInfo.FSF = &FStandardFunctions;
  FStartupInfoSet = true;
}

void TFarPlugin::RaiseMissingFunction() {
  throw EFarPluginError(L"The FAR function is not available");
}

void TFarPlugin::BuildPluginMenu(const TFarPluginMenu &Menu, PluginMenuItem &Target) {
  Target = PluginMenuItem{};
  if (Menu.empty())
    return;
  std::unique_ptr<GUID[]> Guids(new GUID[Menu.size()]);
  std::unique_ptr<const wchar_t *[]> Strings(new const wchar_t *[Menu.size()]());
  try {
    for (size_t I = 0; I < Menu.size(); ++I) {
      Guids[I] = Menu[I].Guid;
      Strings[I] = NewPChar(Menu[I].Text);
    }
  } catch (...) {
    for (size_t I = 0; I < Menu.size(); ++I)
      DisposePChar(Strings[I]);
    throw;
  }
  Target.Guids = Guids.release();
  Target.Strings = Strings.release();
  Target.Count = Menu.size();
}

void TFarPlugin::FreePluginMenu(PluginMenuItem &Target) noexcept {
  GUID *Guids = const_cast<GUID *>(Target.Guids);
  const wchar_t **Strings = const_cast<const wchar_t **>(Target.Strings);
  for (size_t I = 0; I < Target.Count; ++I) {
    if (Strings)
      DisposePChar(Strings[I]);
    if (Guids)
      Guids[I] = NullGuid;
  }
  delete[] Guids;
  delete[] Strings;
  Target = PluginMenuItem{};
}
