#include "Velmora.h"

#include "DiscoverDifferences.h"
#include "Options.h"
#include "OptionsDialog.h"
#include "RunLog.h"
#include "SynchronizeDirectories.h"
#include "VelmoraMessages.h"

// {6F1A3C2E-4B7D-4E59-9A21-3D5C8E7B0F41}
const GUID VelmoraPluginGuid = {0x6F1A3C2E, 0x4B7D, 0x4E59, {0x9A, 0x21, 0x3D, 0x5C, 0x8E, 0x7B, 0x0F, 0x41}};
// {A2B94C17-5E38-4F0A-8C6D-91E2B3F4A705}
const GUID VelmoraPluginMenuGuid = {
    0xA2B94C17, 0x5E38, 0x4F0A, {0x8C, 0x6D, 0x91, 0xE2, 0xB3, 0xF4, 0xA7, 0x05}};
// {C5D0E8F3-1A26-47B9-B3E4-0F7A6D52C918}
const GUID VelmoraConfigMenuGuid = {
    0xC5D0E8F3, 0x1A26, 0x47B9, {0xB3, 0xE4, 0x0F, 0x7A, 0x6D, 0x52, 0xC9, 0x18}};

TVelmoraPlugin::TVelmoraPlugin() = default;

TVelmoraPlugin::~TVelmoraPlugin() {
  ReleasePluginInfo();
}

GUID TVelmoraPlugin::GetPluginGuid() {
  return VelmoraPluginGuid;
}

void TVelmoraPlugin::GetPluginNames(std::wstring &Title, std::wstring &Description, std::wstring &Author) {
  Title = L"Velmora3";
  Description = L"Synchronize directories";
  Author = L"The Velmora3 developers";
}

bool TVelmoraPlugin::GetPluginInfo(PluginInfo96 &Info) {
  if (!FPluginInfoBuilt) {
    PluginInfo96 Built{};
    Built.StructSize = sizeof(PluginInfo96);
    Built.Flags = PF_EDITOR;
    std::wstring Title = GetMsg(MTitle);
    BuildPluginMenu({{Title, VelmoraPluginMenuGuid}}, Built.PluginMenu);
    try {
      BuildPluginMenu({{Title, VelmoraConfigMenuGuid}}, Built.PluginConfig);
    } catch (...) {
      FreePluginMenu(Built.PluginMenu);
      throw;
    }
    FCachedPluginInfo = Built;
    FPluginInfoBuilt = true;
  }
  Info = FCachedPluginInfo;
  return true;
}

intptr_t TVelmoraPlugin::Open(OPENFROM OpenFrom, const GUID *, intptr_t Data) {
  switch (OpenFrom) {
  case OPEN_EDITOR:
    return OpenFromEditor();
  case OPEN_FROMMACRO:
    return OpenFromMacro(Data);
  default:
    return OpenComparison();
  }
}

bool TVelmoraPlugin::Configure(const GUID *) {
  TOptionsDialog Dialog;
  TVelmoraOptions Options;
  Dialog.Options = &Options;
  Options.Load();
  // The dialog saves the options itself when the user confirms them.
  bool Result = Dialog.Execute();
  Dialog.Options = nullptr;
  return Result;
}

std::wstring TVelmoraPlugin::GetStandardText(TFarStandardText Kind) {
  switch (Kind) {
  case stTitle:
    return GetMsg(MTitle);
  case stExceptionInFunction:
    return GetMsg(MExceptionInFunction);
  case stOK:
    return GetMsg(MOk);
  case stCancel:
    return GetMsg(MCancel);
  case stYes:
    return GetMsg(MYes);
  case stNo:
    return GetMsg(MNo);
  }
  return std::wstring();
}

intptr_t TVelmoraPlugin::OpenFromEditor() {
  // Only a differences document has commands; in any other editor the entry does nothing.
  if (TSynchronizeTask *Task = TSynchronizeTask::FindForEditor(-1))
    Task->ShowCommandMenu();
  return 0;
}

intptr_t TVelmoraPlugin::OpenFromMacro(intptr_t Data) {
  const TFarVariants Values = TFarMacro::ToVariants(reinterpret_cast<const OpenMacroInfo *>(Data));
  // The one command with a value to return: the newest run record's path, false when none.
  if (!Values.empty() && Values[0].ToString() == L"last_log") {
    const std::wstring Path = TRunLog::LastLog();
    return Path.empty() ? 0 : TFarMacro::ReturnString(Path);
  }
  return ProcessMacro(Values) ? 1 : 0;
}

bool TVelmoraPlugin::ProcessMacro(const TFarVariants &Values) {
  TSynchronizeTask *Task = TSynchronizeTask::FindForEditor(-1);
  if (Values.empty())
    return false;
  const std::wstring Word = Values[0].ToString();
  if (Word == L"is_editor")
    return Task != nullptr;
  if (!Task)
    return false;

  // The command for the side named by the second value.
  auto BySide = [&Values](int LeftCommand, int RightCommand) {
    if (Values.size() < 2)
      throw EVelmoraPluginError(Format(GetMsg(MMacroMissingArgument), {2}));
    const std::wstring Side = Values[1].ToString();
    if (Side == L"left")
      return LeftCommand;
    if (Side == L"right")
      return RightCommand;
    throw EVelmoraPluginError(Format(GetMsg(MMacroInvalidSide), {Side}));
  };

  int Command;
  if (Word == L"change_direction")
    Command = BySide(TSynchronizeTask::scChangeToLeft, TSynchronizeTask::scChangeToRight);
  else if (Word == L"next_difference")
    Command = Values.size() >= 2 && Values[1].ToString() == L"either"
                  ? int(TSynchronizeTask::scNextEither)
                  : BySide(TSynchronizeTask::scNextLeft, TSynchronizeTask::scNextRight);
  else if (Word == L"edit_file")
    Command = BySide(TSynchronizeTask::scEditLeft, TSynchronizeTask::scEditRight);
  else if (Word == L"goto_file")
    Command = BySide(TSynchronizeTask::scGotoLeft, TSynchronizeTask::scGotoRight);
  else if (Word == L"delete")
    Command = BySide(TSynchronizeTask::scDeleteLeft, TSynchronizeTask::scDeleteRight);
  else if (Word == L"file_info")
    Command = TSynchronizeTask::scFileInfo;
  else if (Word == L"compare")
    Command = TSynchronizeTask::scCompare;
  else
    return false;
  return Task->ExecuteCommand(Command);
}

intptr_t TVelmoraPlugin::OpenComparison() {
  TDiscoverDifferences Discover;
  return Discover.Run();
}

void TVelmoraPlugin::ReleasePluginInfo() noexcept {
  if (!FPluginInfoBuilt)
    return;
  FreePluginMenu(FCachedPluginInfo.DiskMenu);
  FreePluginMenu(FCachedPluginInfo.PluginMenu);
  FreePluginMenu(FCachedPluginInfo.PluginConfig);
  FCachedPluginInfo = PluginInfo96{};
  FPluginInfoBuilt = false;
}
