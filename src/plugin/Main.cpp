// The DLL's entry: the one plug-in object lives from load to unload.

#include "Velmora.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID) {
  switch (Reason) {
  case DLL_PROCESS_ATTACH:
    DisableThreadLibraryCalls(Instance);
    try {
      RegisterPlugin(std::make_unique<TVelmoraPlugin>());
    } catch (...) {
      // Without its object the plug-in cannot answer FAR: refuse to load.
      return FALSE;
    }
    break;
  case DLL_PROCESS_DETACH:
    FreePlugin();
    break;
  }
  return TRUE;
}
