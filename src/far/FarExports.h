#pragma once

#include "FarApi.h"

// The functions FAR calls (exported by name through the DLL's .def file). Declared here so that
// test programs can call them in-process; none of them lets an exception escape.
extern "C" {
void WINAPI SetStartupInfoW(const PluginStartupInfo *Info) noexcept;
void WINAPI GetGlobalInfoW(GlobalInfo *Info) noexcept;
void WINAPI GetPluginInfoW(PluginInfo *Info) noexcept;
HANDLE WINAPI OpenW(const OpenInfo *Info) noexcept;
intptr_t WINAPI ConfigureW(const ConfigureInfo *Info) noexcept;
void WINAPI ExitFARW(const ExitInfo *Info) noexcept;
intptr_t WINAPI ProcessEditorEventW(const ProcessEditorEventInfo *Info) noexcept;
intptr_t WINAPI ProcessEditorInputW(const ProcessEditorInputInfo *Info) noexcept;
}
