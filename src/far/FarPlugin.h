#pragma once

#include "FarApi.h"
#include "FarErrors.h"
#include "FarFormat.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// The plug-in object and the host services every part of the plug-in uses. FAR is reached only
// through the plug-in object's private copy of FAR's function tables; FarPlugin() gives that
// object.

class TFarPlugin;

// The framework's fixed texts; a plug-in supplies them in its own language.
enum TFarStandardText { stTitle, stExceptionInFunction, stOK, stCancel, stYes, stNo };

// One entry of a FAR menu the plug-in appears in (plug-ins menu, configuration menu).
struct TFarPluginMenuItem {
  std::wstring Text;
  GUID Guid;
};
using TFarPluginMenu = std::vector<TFarPluginMenuItem>;

// The texts last handed to FAR by GetGlobalInfoW.
struct TGlobalInfo_Static {
  std::wstring Title;
  std::wstring Description;
  std::wstring Author;
};
extern TGlobalInfo_Static GlobalInfo_Static;

// Called after every FAR message with at least one button, since such a message has painted
// over the screen. The progress windows attach here to redraw completely on their next update.
// Null when nobody listens.
using TMessageShownHook = void (*)();
extern TMessageShownHook OnMessageShown;

// The root of the framework's classes. Its class-level helpers are the host services; they go
// through the registered plug-in object and raise EFarPluginError when there is none (or when
// FAR has not handed over its tables yet).
class TFarModule {
public:
  virtual ~TFarModule() = default;

  // The string's characters, zero-terminated; an empty string gives an empty text, never null.
  static const wchar_t *ToPChar(const std::wstring &S) noexcept { return S.c_str(); }
  // A null pointer gives the empty string. The second form takes exactly Length characters.
  static std::wstring FromPChar(const wchar_t *P);
  static std::wstring FromPChar(const wchar_t *P, size_t Length);
  // A separately allocated zero-terminated copy, valid until DisposePChar, which frees it and
  // sets the reference to null (a null reference is left alone).
  static wchar_t *NewPChar(const std::wstring &S);
  static void DisposePChar(wchar_t *&P) noexcept;
  static void DisposePChar(const wchar_t *&P) noexcept;

  // Message Id of the plug-in's language file; -1 is the empty text and does not ask FAR.
  static std::wstring GetMsg(int Id);
  // FAR's Message: Lines[0] is the title, the last Buttons lines are buttons. Returns the index
  // of the chosen button, -1 when cancelled. Raises EFarError when Buttons exceeds the lines.
  static intptr_t ShowMessage(const std::vector<std::wstring> &Lines, FARMESSAGEFLAGS Flags, int Buttons,
                              const wchar_t *HelpTopic = nullptr);
  // A warning with the standard title before the lines and a single standard OK button.
  static intptr_t ShowMessageWithTitle(const std::vector<std::wstring> &Lines);
  // FAR's Menu, centred, wrapping, with automatic hot keys. An item "-" is a separator. True and
  // the chosen index when an item was chosen; false when cancelled or when there are no items.
  static bool ShowMenu(const GUID &MenuGuid, const std::wstring &Title, const std::wstring &HelpTopic,
                       const std::vector<std::wstring> &Items, int &Index);
  static bool ShowMenu(const GUID &MenuGuid, const std::wstring &Title, const std::wstring &HelpTopic,
                       std::initializer_list<std::wstring> Items, int &Index);
  // FAR's native ("\\?\") form of Path; empty when Path is empty or FAR cannot convert it.
  static std::wstring ConvertToNativePath(const std::wstring &Path);
  // A fresh temporary file name from FAR; empty when FAR could not make one.
  static std::wstring MakeTempFileName();
  // S shortened with FAR's path truncation when longer than Width, padded with PadChar when
  // shorter: the result is exactly Width characters (empty for a Width of zero or less).
  static std::wstring FitToWidth(const std::wstring &S, int Width, wchar_t PadChar = L' ');
};

// The base of the host-service wrappers (settings, panels, progress, editors, dialogs).
class TFarCommonModule : public TFarModule {};

// The plug-in object: the copy of FAR's tables and what the exported functions call.
class TFarPlugin : public TFarModule {
public:
  TFarPlugin();
  ~TFarPlugin() override;
  TFarPlugin(const TFarPlugin &) = delete;
  TFarPlugin &operator=(const TFarPlugin &) = delete;

  // Slot 0: the plug-in's GUID, also the one every FAR service call names.
  virtual GUID GetPluginGuid() = 0;
  // Slot 1.
  virtual void GetPluginNames(std::wstring &Title, std::wstring &Description, std::wstring &Author) = 0;
  // Slot 2: the plug-in information FAR asks for (the 96-byte layout every FAR 3 understands).
  virtual bool GetPluginInfo(PluginInfo96 &Info) = 0;
  // Slot 3: FAR's OpenW; the result is handed back to FAR as a handle.
  virtual intptr_t Open(OPENFROM OpenFrom, const GUID *Guid, intptr_t Data) = 0;
  // Slot 4: 3.0.0.0, release.
  virtual VersionInfo GetMinFarVersion();
  // Slot 5: at the end of SetStartupInfoW.
  virtual void OnStartup();
  // Slot 6: from ExitFARW.
  virtual void OnExit();
  // Slot 7: the configuration menu entry Guid was chosen; true when settings changed.
  virtual bool Configure(const GUID *Guid);
  // Slot 8: one log line; discarded here.
  virtual void Log(const std::wstring &Text);
  // Slot 9: fixed English texts here; an unknown kind gives the empty text.
  virtual std::wstring GetStandardText(TFarStandardText Kind);
  // Slot 10: the file version of the module this code lives in; 0.0.0.0 when it has none.
  virtual VersionInfo GetVersion();
  // FAR's editor events and editor input; the managed editors answer them. 0 = not handled.
  virtual intptr_t ProcessEditorEvent(const ProcessEditorEventInfo &Info);
  virtual intptr_t ProcessEditorInput(const ProcessEditorInputInfo &Info);

  // Formats with Format and hands the line to Log; a format that does not fit its arguments logs
  // "Invalid log message: " and the format itself.
  void LogFmt(const std::wstring &FormatText, std::initializer_list<TFormatArg> Args);

  // Takes private copies of FAR's tables (never more than FAR's StructSize says, the rest zeroed)
  // and points the copy's FSF at the copied standard functions. Does not call OnStartup.
  void SetStartupInfo(const PluginStartupInfo &Info);
  bool StartupInfoSet() const noexcept { return FStartupInfoSet; }
  // The copies; StructSize tells how much of each FAR filled.
  const PluginStartupInfo &StartupInfo() const noexcept { return FStartupInfo; }
  const FarStandardFunctions &StandardFunctions() const noexcept { return FStandardFunctions; }
  // One function of the copied tables; raises EFarPluginError when FAR did not supply it.
  template <class T> T Api(T PluginStartupInfo::*Member) const {
    T Function = FStartupInfo.*Member;
    if (!Function)
      RaiseMissingFunction();
    return Function;
  }
  template <class T> T Fsf(T FarStandardFunctions::*Member) const {
    T Function = FStandardFunctions.*Member;
    if (!Function)
      RaiseMissingFunction();
    return Function;
  }

  // The framework's menu arrays for PluginInfo: one GUID array and one text array (NewPChar
  // copies); no arrays for an empty menu. FreePluginMenu releases them and clears the entry.
  static void BuildPluginMenu(const TFarPluginMenu &Menu, PluginMenuItem &Target);
  static void FreePluginMenu(PluginMenuItem &Target) noexcept;

private:
  [[noreturn]] static void RaiseMissingFunction();

  PluginStartupInfo FStartupInfo{};
  FarStandardFunctions FStandardFunctions{};
  bool FStartupInfoSet = false;
};

// The registered plug-in object; raises EFarPluginError "The plugin has not been initialized yet"
// when there is none.
TFarPlugin &FarPlugin();
// Takes ownership. A second registration raises EFarPluginError "The plugin has already been
// initialized" and frees the rejected object; the first stays registered.
void RegisterPlugin(std::unique_ptr<TFarPlugin> Plugin);
bool PluginExists() noexcept;
// The plug-in's own folder for its files, %FARLOCALPROFILE%\PluginsData\<GUID> (FARPROFILE's where
// FAR names no local profile), without a trailing backslash; empty when FAR names neither.
std::wstring PluginDataFolder(const GUID &PluginGuid);
// Clears the registration and hands the object back (null when none was registered).
std::unique_ptr<TFarPlugin> UnregisterPlugin() noexcept;
// Clears the registration, then frees the object (DLL unload; test programs between cases).
void FreePlugin() noexcept;
