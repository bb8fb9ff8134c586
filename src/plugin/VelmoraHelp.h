#pragma once

// The topics of the plug-in's help files (Velmora3Eng.hlf, Velmora3Rus.hlf), which FAR shows on F1
// in the dialogs, menus and messages that name them.
namespace VelmoraHelp {

inline constexpr const wchar_t *Contents = L"Contents";
inline constexpr const wchar_t *CompareDialog = L"CompareDialog";
inline constexpr const wchar_t *Document = L"Document";
inline constexpr const wchar_t *SynchronizeDialog = L"SynchronizeDialog";
inline constexpr const wchar_t *Questions = L"Questions";
inline constexpr const wchar_t *Config = L"Config";
inline constexpr const wchar_t *Macros = L"Macros";
inline constexpr const wchar_t *Memory = L"Memory";
inline constexpr const wchar_t *RunLog = L"RunLog";

// Every topic the code names.
inline constexpr const wchar_t *Topics[] = {
    Contents, CompareDialog, Document, SynchronizeDialog, Questions, Config, Macros, Memory, RunLog};

} // namespace VelmoraHelp
