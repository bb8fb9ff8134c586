// FAR's two file panels as the host plays them: PanelControl (FCTL_* commands, dispatched by the
// core) and the directory-list members.
//
// Nothing is implemented yet. Register FCTL_* commands with host.OnPanelControl(FCTL_..., handler)
// and keep the panels' state in a THostPart of this file.
#include "Host.h"

void InstallHostPanels(TFarHost &host) {
  PluginStartupInfo &info = host.StartupInfo();
  VELMORA_HOST_STUB(info, GetDirList);
  VELMORA_HOST_STUB(info, GetPluginDirList);
  VELMORA_HOST_STUB(info, FreeDirList);
  VELMORA_HOST_STUB(info, FreePluginDirList);
}
