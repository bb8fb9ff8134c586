#pragma once

#include "FarMacro.h"
#include "FarPlugin.h"

// Raised by the macro commands.
VELMORA_DECLARE_EXCEPTION(EVelmoraPluginError, EFarPluginError);

// The plug-in's GUID (also its settings key and the owner of every message lookup) and the GUIDs
// of its two menu entries.
extern const GUID VelmoraPluginGuid;
extern const GUID VelmoraPluginMenuGuid;
extern const GUID VelmoraConfigMenuGuid;

// The one plug-in object: its identity, its menu entries, what opening and configuring it do.
class TVelmoraPlugin : public TFarPlugin {
public:
  // Touches nothing of FAR: it is created while the DLL loads.
  TVelmoraPlugin();
  ~TVelmoraPlugin() override;

  GUID GetPluginGuid() override;
  void GetPluginNames(std::wstring &Title, std::wstring &Description, std::wstring &Author) override;
  // Built once (texts from the language file), then copied on every call.
  bool GetPluginInfo(PluginInfo96 &Info) override;
  intptr_t Open(OPENFROM OpenFrom, const GUID *Guid, intptr_t Data) override;
  bool Configure(const GUID *Guid) override;
  // Messages 0 (title), 9 (error heading), 1 to 4 (buttons).
  std::wstring GetStandardText(TFarStandardText Kind) override;

  bool GetPluginInfoBuilt() const noexcept { return FPluginInfoBuilt; }

  // A macro command: a command word, for most commands followed by the side "left" or "right",
  // run on the differences document of the current editor window. True when the command did
  // something. A missing or unknown side raises EVelmoraPluginError.
  bool ProcessMacro(const TFarVariants &Values);

private:
  // The command menu of the differences document in the active editor.
  intptr_t OpenFromEditor();
  // A macro call; Data is FAR's OpenMacroInfo.
  intptr_t OpenFromMacro(intptr_t Data);
  // The plug-ins menu from a panel: a comparison run.
  intptr_t OpenComparison();
  void ReleasePluginInfo() noexcept;

  bool FPluginInfoBuilt = false;
  PluginInfo96 FCachedPluginInfo{};
};
