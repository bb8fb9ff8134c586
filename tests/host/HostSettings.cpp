// FAR's settings store as the host plays it: SettingsControl and its SCTL_* commands.
//
// Nothing is implemented yet: every SCTL_* command is recorded as unimplemented by the core's
// dispatcher. Register the commands here with host.OnSettingsControl(SCTL_..., handler) and keep
// the store's state in a THostPart of this file (host.Part<T>()).
#include "Host.h"

void InstallHostSettings(TFarHost &host) {
  (void)host;
}
