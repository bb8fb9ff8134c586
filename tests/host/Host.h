#pragma once

// The test host: plays FAR Manager 3 for the plug-in. It loads the DLL and calls its exports the
// way FAR does, behind real PluginStartupInfo and FarStandardFunctions tables whose members are
// the host's own functions, and it answers the plug-in's questions from a scripted user.
//
// Every table member is a real function. One that the host does not implement yet records
// "unimplemented call: <name>" as a failure and returns FAR's failure value, so a test that
// reaches it fails loudly instead of crashing. Everything the plug-in asked is recorded for the
// test to inspect (messages, menus, GetMsg look-ups, the sequence of calls).
//
// The tables call into the one active host (TFarHost::Active()); a host becomes active when it is
// constructed and stops being active when it is destroyed. Tests create one host at a time.

#include "FarApi.h"
#include "HostLanguage.h"
#include "HostScript.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

class TFarHost;

// One Message call as the plug-in made it.
struct THostMessage {
  GUID PluginId{};
  GUID Id{};
  FARMESSAGEFLAGS Flags = 0;
  std::optional<std::wstring> HelpTopic;
  std::vector<std::wstring> Items; // as passed (FMSG_ALLINONE text already split into lines)
  intptr_t ButtonsNumber = 0;      // as passed
  std::vector<std::wstring> Lines; // title first, then the body lines
  std::vector<std::wstring> Buttons;
  DWORD LastError = 0;    // with FMSG_ERRORTYPE: the error FAR would describe
  std::wstring ErrorText; // and its system text
  intptr_t Result = -1;

  const std::wstring &Title() const;
  // The body lines (without title and buttons) joined with '\n'.
  std::wstring Body() const;
};

struct THostMenuItem {
  MENUITEMFLAGS Flags = 0;
  std::wstring Text;
  FarKey AccelKey{};
  intptr_t UserData = 0;
};

// One Menu call as the plug-in made it.
struct THostMenu {
  GUID PluginId{};
  GUID Id{};
  intptr_t X = 0, Y = 0, MaxHeight = 0;
  FARMENUFLAGS Flags = 0;
  std::optional<std::wstring> Title, Bottom, HelpTopic;
  std::vector<FarKey> BreakKeys; // without the terminating entry
  bool HasBreakCode = false;     // whether the plug-in passed a BreakCode pointer
  std::vector<THostMenuItem> Items;
  intptr_t Result = -1;
  intptr_t BreakCode = -1;
};

// The plug-in's exports. Null members are exports the module does not have.
struct THostExports {
  void(WINAPI *SetStartupInfoW)(const PluginStartupInfo *) = nullptr;
  void(WINAPI *GetGlobalInfoW)(GlobalInfo *) = nullptr;
  void(WINAPI *GetPluginInfoW)(PluginInfo *) = nullptr;
  HANDLE(WINAPI *OpenW)(const OpenInfo *) = nullptr;
  intptr_t(WINAPI *ConfigureW)(const ConfigureInfo *) = nullptr;
  void(WINAPI *ExitFARW)(const ExitInfo *) = nullptr;
  intptr_t(WINAPI *ProcessEditorEventW)(const ProcessEditorEventInfo *) = nullptr;
  intptr_t(WINAPI *ProcessEditorInputW)(const ProcessEditorInputInfo *) = nullptr;
};

// State of one subsystem of the host (settings store, panels, screen, dialogs, editor), created
// on first use by TFarHost::Part<T>() and owned by the host.
class THostPart {
public:
  virtual ~THostPart() = default;
};

// Handlers of the commands of AdvControl, PanelControl, EditorControl and SettingsControl. The
// subsystem files register them; a command without a handler is recorded as unimplemented.
using THostAdvControl = std::function<intptr_t(const GUID *PluginId, intptr_t Param1, void *Param2)>;
using THostHandleControl = std::function<intptr_t(HANDLE Handle, intptr_t Param1, void *Param2)>;
using THostEditorControl = std::function<intptr_t(intptr_t EditorID, intptr_t Param1, void *Param2)>;

class TFarHost {
public:
  struct TOptions {
    // FAR's interface language: picks the language file.
    std::wstring Language = L"English";
    // Where MkTemp makes its names; empty: a fresh folder of this host, removed with the host.
    std::wstring TempFolder;
  };

  TFarHost();
  explicit TFarHost(TOptions options);
  ~TFarHost();
  TFarHost(const TFarHost &) = delete;
  TFarHost &operator=(const TFarHost &) = delete;

  // The host the tables talk to; aborts the program when there is none (a table function called
  // after its host was destroyed is a fault of the plug-in that kept it).
  static TFarHost &Active();
  static bool HasActive();

  // <folder of the running program>\Velmora3.dll: where the build puts the plug-in.
  static std::wstring DefaultPluginPath();
  static std::wstring ProgramFolder();

  // ---- Loading ----
  // Loads the DLL and starts it as FAR does: GetGlobalInfoW, SetStartupInfoW, GetPluginInfoW.
  // Failures (no DLL, missing GetGlobalInfoW, global information FAR would reject) are recorded;
  // the result tells whether the plug-in is ready.
  bool Start(const std::wstring &dllPath = DefaultPluginPath());
  // Only LoadLibraryW and the look-up of the exports; the test makes the calls itself.
  bool Load(const std::wstring &dllPath = DefaultPluginPath());
  // A plug-in linked into the test program: the exports are given, the module is the program.
  void AttachInProcess(const THostExports &exports, const std::wstring &moduleName = {});
  // FreeLibrary (ExitFARW is not called: see ExitFAR).
  void Unload();
  bool IsLoaded() const { return FModule != nullptr || FInProcess; }
  HMODULE Module() const { return FModule; }
  const std::wstring &ModuleName() const { return FModuleName; }
  const THostExports &Exports() const { return FExports; }

  // ---- The exports, called as FAR calls them ----
  GlobalInfo CallGetGlobalInfo();
  // With the host's own tables (FAR passes copies built on its stack; so does the host).
  void CallSetStartupInfo();
  // With a table the test built (shorter layouts, guarded memory...).
  void CallSetStartupInfo(const PluginStartupInfo *info);
  PluginInfo CallGetPluginInfo();
  intptr_t Open(OPENFROM openFrom, const GUID *guid = nullptr, intptr_t data = 0);
  intptr_t OpenFromPluginsMenu(); // with the plug-in's first plug-ins-menu GUID
  intptr_t OpenFromEditor();
  intptr_t OpenFromMacro(const std::vector<FarMacroValue> &values);
  // A macro's Plugin.Call as FAR answers it: OpenW's 0 is false, 1 and INVALID_HANDLE_VALUE are
  // true, anything else is a FarMacroCall whose values FAR copies (strings as Texts) before it
  // calls the plug-in's Callback to free them.
  struct TMacroResult {
    bool Truth = false;
    std::vector<FARMACROVARTYPE> Types;
    std::vector<std::wstring> Texts;
    bool CallbackCalled = false;
  };
  TMacroResult CallMacro(const std::vector<FarMacroValue> &values);
  intptr_t Configure(const GUID *guid, size_t structSize = sizeof(ConfigureInfo));
  intptr_t Configure(); // the plug-in's first configuration-menu GUID
  void ExitFAR();
  intptr_t ProcessEditorEvent(intptr_t event, void *param, intptr_t editorId);
  intptr_t ProcessEditorInput(const INPUT_RECORD &record);

  // What GetGlobalInfoW returned last (texts copied).
  const GlobalInfo &Global() const { return FGlobal; }
  const std::wstring &GlobalTitle() const { return FGlobalTitle; }
  const std::wstring &GlobalDescription() const { return FGlobalDescription; }
  const std::wstring &GlobalAuthor() const { return FGlobalAuthor; }
  // The menu GUIDs of the last GetPluginInfoW.
  const std::vector<GUID> &PluginMenuGuids() const { return FPluginMenuGuids; }
  const std::vector<GUID> &ConfigMenuGuids() const { return FConfigMenuGuids; }
  const GUID &PluginGuid() const { return FGlobal.Guid; }
  // The GUID the services expect from the plug-in; normally learned from GetGlobalInfoW.
  void SetPluginGuid(const GUID &guid) { FGlobal.Guid = guid; }

  // ---- The tables ----
  PluginStartupInfo &StartupInfo() { return FInfo; }
  FarStandardFunctions &StandardFunctions() { return FFSF; }

  // ---- Recording ----
  // Everything that should make a test fail: unimplemented calls, unscripted questions, script
  // mismatches, misuse FAR would refuse. Each is also passed to the failure handler at once.
  const std::vector<std::wstring> &Failures() const { return FFailures; }
  void Fail(const std::wstring &text);
  void ClearFailures() { FFailures.clear(); }
  void SetFailureHandler(std::function<void(const std::wstring &)> handler) { FFailureHandler = handler; }
  // Names of the table functions called, in order.
  const std::vector<std::wstring> &Calls() const { return FCalls; }
  size_t CallCount(const std::wstring &name) const;
  void RecordCall(const wchar_t *name) { FCalls.push_back(name); }
  // Records an unimplemented call (the stubs use it).
  void Unimplemented(const std::wstring &name);

  const std::vector<THostMessage> &Messages() const { return FMessages; }
  const std::vector<THostMenu> &Menus() const { return FMenus; }
  // Message ids asked with GetMsg, in order.
  const std::vector<intptr_t> &MsgRequests() const { return FMsgRequests; }
  size_t MsgRequestCount(intptr_t id) const;
  void ClearRecords();

  THostScript &Script() { return FScript; }

  // ---- Language ----
  // The language file in use (loaded on the first GetMsg, as FAR does).
  const THostLanguageFile *Language();
  // The text of message id as FAR would give it; empty and a failure when out of range.
  std::wstring Msg(intptr_t id);
  void SetLanguage(const std::wstring &language);
  const TOptions &Options() const { return FOptions; }
  const std::wstring &TempFolder() const { return FTempFolder; }

  // ---- Extension points for the subsystem files ----
  template <class T> T &Part() {
    auto &slot = FParts[std::type_index(typeid(T))];
    if (!slot)
      slot = std::make_unique<T>();
    return static_cast<T &>(*slot);
  }
  void OnAdvControl(int command, THostAdvControl handler) { FAdvControl[command] = std::move(handler); }
  void OnPanelControl(int command, THostHandleControl handler) {
    FPanelControl[command] = std::move(handler);
  }
  void OnSettingsControl(int command, THostHandleControl handler) {
    FSettingsControl[command] = std::move(handler);
  }
  void OnEditorControl(int command, THostEditorControl handler) {
    FEditorControl[command] = std::move(handler);
  }
  // Whether a service that takes a PluginId was given this plug-in's GUID; records a failure if not.
  bool CheckPluginId(const GUID *id, const wchar_t *service);

  // Dispatchers behind the table members (public for the table functions).
  intptr_t DispatchAdvControl(const GUID *PluginId, int command, intptr_t Param1, void *Param2);
  intptr_t DispatchPanelControl(HANDLE handle, int command, intptr_t Param1, void *Param2);
  intptr_t DispatchSettingsControl(HANDLE handle, int command, intptr_t Param1, void *Param2);
  intptr_t DispatchEditorControl(intptr_t editorId, int command, intptr_t Param1, void *Param2);
  intptr_t DoMessage(const GUID *PluginId, const GUID *Id, FARMESSAGEFLAGS Flags, const wchar_t *HelpTopic,
                     const wchar_t *const *Items, size_t ItemsNumber, intptr_t ButtonsNumber);
  intptr_t DoMenu(const GUID *PluginId, const GUID *Id, intptr_t X, intptr_t Y, intptr_t MaxHeight,
                  FARMENUFLAGS Flags, const wchar_t *Title, const wchar_t *Bottom, const wchar_t *HelpTopic,
                  const FarKey *BreakKeys, intptr_t *BreakCode, const FarMenuItem *Item, size_t ItemsNumber);
  const wchar_t *DoGetMsg(const GUID *PluginId, intptr_t MsgId);

private:
  void Init();
  void ResolveExports();
  bool CheckGlobalInfo(const GlobalInfo &info);

  TOptions FOptions;
  std::wstring FTempFolder;
  bool FOwnsTempFolder = false;
  HMODULE FModule = nullptr;
  bool FInProcess = false;
  bool FExited = false;
  std::wstring FModuleName;
  THostExports FExports;

  PluginStartupInfo FInfo{};
  FarStandardFunctions FFSF{};
  // The copies handed to SetStartupInfoW; once the call returns their members record a failure,
  // as FAR's own copies live on its stack and are gone.
  std::vector<std::unique_ptr<PluginStartupInfo>> FPassedInfos;
  std::vector<std::unique_ptr<FarStandardFunctions>> FPassedFSFs;
  bool FStarted = false;
  GlobalInfo FGlobal{};
  std::wstring FGlobalTitle, FGlobalDescription, FGlobalAuthor;
  std::vector<GUID> FPluginMenuGuids, FConfigMenuGuids;

  std::optional<THostLanguageFile> FLanguage;
  bool FLanguageLoaded = false;

  std::vector<std::wstring> FFailures;
  std::function<void(const std::wstring &)> FFailureHandler;
  std::vector<std::wstring> FCalls;
  std::vector<THostMessage> FMessages;
  std::vector<THostMenu> FMenus;
  std::vector<intptr_t> FMsgRequests;
  THostScript FScript;

  std::map<std::type_index, std::unique_ptr<THostPart>> FParts;
  std::map<int, THostAdvControl> FAdvControl;
  std::map<int, THostHandleControl> FPanelControl, FSettingsControl;
  std::map<int, THostEditorControl> FEditorControl;
};

// ---- Stubs: real functions for members the host does not implement yet ----

template <size_t N> struct THostName {
  wchar_t Text[N];
  constexpr THostName(const wchar_t (&s)[N]) {
    for (size_t i = 0; i < N; ++i)
      Text[i] = s[i];
  }
};

template <class R> R HostFailureValue() {
  if constexpr (std::is_void_v<R>)
    return;
  else
    return R{};
}

template <THostName Name, class Fn> struct THostStub;
template <THostName Name, class R, class... A> struct THostStub<Name, R (*)(A...)> {
  static R WINAPI Call(A...) {
    TFarHost::Active().Unimplemented(Name.Text);
    return HostFailureValue<R>();
  }
};
template <THostName Name, class R, class... A> struct THostStub<Name, R (*)(A..., ...)> {
  static R WINAPIV Call(A..., ...) {
    TFarHost::Active().Unimplemented(Name.Text);
    return HostFailureValue<R>();
  }
};

// Sets a table member to a stub that records "unimplemented call: <member>".
#define VELMORA_HOST_STUB(Table, Member)                                                                     \
  ((Table).Member = &THostStub<L## #Member, decltype((Table).Member)>::Call)

// The function members of the two tables, for code that treats all of them alike.
// clang-format off
#define VELMORA_HOST_INFO_FUNCTIONS(X) \
  X(Menu) X(Message) X(GetMsg) X(PanelControl) X(SaveScreen) X(RestoreScreen) X(GetDirList) \
  X(GetPluginDirList) X(FreeDirList) X(FreePluginDirList) X(Viewer) X(Editor) X(Text) \
  X(EditorControl) X(ShowHelp) X(AdvControl) X(InputBox) X(ColorDialog) X(DialogInit) X(DialogRun) \
  X(DialogFree) X(SendDlgMessage) X(DefDlgProc) X(ViewerControl) X(PluginsControl) \
  X(FileFilterControl) X(RegExpControl) X(MacroControl) X(SettingsControl) X(FreeScreen)
#define VELMORA_HOST_FSF_FUNCTIONS(X) \
  X(atoi) X(atoi64) X(itoa) X(itoa64) X(sprintf) X(sscanf) X(qsort) X(bsearch) X(snprintf) \
  X(LIsLower) X(LIsUpper) X(LIsAlpha) X(LIsAlphanum) X(LUpper) X(LLower) X(LUpperBuf) X(LLowerBuf) \
  X(LStrupr) X(LStrlwr) X(LStricmp) X(LStrnicmp) X(Unquote) X(LTrim) X(RTrim) X(Trim) X(TruncStr) \
  X(TruncPathStr) X(QuoteSpaceOnly) X(PointToName) X(GetPathRoot) X(AddEndSlash) X(CopyToClipboard) \
  X(PasteFromClipboard) X(FarInputRecordToName) X(FarNameToInputRecord) X(XLat) X(GetFileOwner) \
  X(GetNumberOfLinks) X(FarRecursiveSearch) X(MkTemp) X(ProcessName) X(MkLink) X(ConvertPath) \
  X(GetReparsePointInfo) X(GetCurrentDirectory) X(FormatFileSize) X(FarClock) X(CompareStrings) \
  X(DetectCodePage)
// clang-format on

// Installed by the subsystem files (each sets its table members and registers its commands).
void InstallHostStandardFunctions(TFarHost &host);
void InstallHostSettings(TFarHost &host);
void InstallHostPanels(TFarHost &host);
void InstallHostScreen(TFarHost &host);
void InstallHostDialogs(TFarHost &host);
void InstallHostEditor(TFarHost &host);

// Text of a GUID as FAR's users write it: {XXXXXXXX-XXXX-...}.
std::wstring HostGuidText(const GUID &guid);
