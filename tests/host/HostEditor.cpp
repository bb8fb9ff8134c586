// FAR's editor (and viewer) as the host plays them: Editor, EditorControl (ECTL_* commands,
// dispatched by the core), Viewer and ViewerControl.
//
// Nothing is implemented yet. Register ECTL_* commands with host.OnEditorControl(ECTL_..., handler),
// replace Editor here, and keep the editor windows in a THostPart of this file. Scripted edits,
// keys and closing the editor belong in steps derived from THostStep (HostScript.h).
#include "Host.h"

void InstallHostEditor(TFarHost &host) {
  PluginStartupInfo &info = host.StartupInfo();
  VELMORA_HOST_STUB(info, Editor);
  VELMORA_HOST_STUB(info, Viewer);
  VELMORA_HOST_STUB(info, ViewerControl);
}
