// The DLL as FAR sees it: loaded by the test host, asked for its global and plug-in information,
// handed FAR's tables (also older, shorter ones) and called through every export.

#include "HostMemory.h"
#include "HostTest.h"

#include <cstring>
#include <fstream>

namespace {

// {6F1A3C2E-4B7D-4E59-9A21-3D5C8E7B0F41}
const GUID PluginGuid = {0x6F1A3C2E, 0x4B7D, 0x4E59, {0x9A, 0x21, 0x3D, 0x5C, 0x8E, 0x7B, 0x0F, 0x41}};
// {A2B94C17-5E38-4F0A-8C6D-91E2B3F4A705}
const GUID PluginMenuGuid = {0xA2B94C17, 0x5E38, 0x4F0A, {0x8C, 0x6D, 0x91, 0xE2, 0xB3, 0xF4, 0xA7, 0x05}};
// {C5D0E8F3-1A26-47B9-B3E4-0F7A6D52C918}
const GUID ConfigMenuGuid = {0xC5D0E8F3, 0x1A26, 0x47B9, {0xB3, 0xE4, 0x0F, 0x7A, 0x6D, 0x52, 0xC9, 0x18}};

std::string Guid(const GUID &g) {
  return HostUtf8(HostGuidText(g));
}

// The file version of a DLL's version resource as FAR's VersionInfo orders it; false without one.
bool ResourceVersion(const std::wstring &path, VersionInfo &version) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (!size)
    return false;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
    return false;
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &length) || !fixed)
    return false;
  version = VersionInfo{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                        HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS), VS_RELEASE};
  return true;
}

// A copy of the plug-in (with its language files) in folder, without its version resource.
std::wstring StrippedPluginCopy(const std::wstring &folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring source = TFarHost::DefaultPluginPath();
  std::wstring target = folder + L"\\Velmora3.dll";
  if (!CopyFileW(source.c_str(), target.c_str(), FALSE))
    return {};
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((TFarHost::ProgramFolder() + L"\\*.lng").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do
      CopyFileW((TFarHost::ProgramFolder() + L"\\" + data.cFileName).c_str(),
                (folder + L"\\" + data.cFileName).c_str(), FALSE);
    while (FindNextFileW(find, &data));
    FindClose(find);
  }
  // Clear the resource entry of the PE header: to the loader and to the version API the copy then
  // has no resources at all, and it still loads and runs as before.
  HANDLE file =
      CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return {};
  std::vector<char> image(GetFileSize(file, nullptr));
  DWORD done = 0;
  bool ok = ReadFile(file, image.data(), DWORD(image.size()), &done, nullptr) && done == image.size() &&
            image.size() > sizeof(IMAGE_DOS_HEADER);
  if (ok) {
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(image.data());
    ok = dos->e_magic == IMAGE_DOS_SIGNATURE &&
         size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) <= image.size();
    if (ok) {
      auto *nt = reinterpret_cast<IMAGE_NT_HEADERS64 *>(image.data() + dos->e_lfanew);
      ok = nt->Signature == IMAGE_NT_SIGNATURE && nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
      if (ok) {
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = IMAGE_DATA_DIRECTORY{0, 0};
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        ok = WriteFile(file, image.data(), DWORD(image.size()), &done, nullptr) && done == image.size();
      }
    }
  }
  CloseHandle(file);
  if (!ok)
    return {};
  return target;
}

using ExportsTest = TStartedPluginTest;
using ExportsLoadedTest = THostTest;

// FAR's folder is not on the search path of runtime DLLs: the plug-in may import only what every
// Windows has, and it must export every function FAR is to call.
TEST_F(ExportsLoadedTest, ImportsOnlySystemDllsAndExportsEveryEntryPoint) {
  ASSERT_TRUE(Host.Load());
  const THostExports &exports = Host.Exports();
  EXPECT_NE(nullptr, exports.SetStartupInfoW);
  EXPECT_NE(nullptr, exports.GetGlobalInfoW);
  EXPECT_NE(nullptr, exports.GetPluginInfoW);
  EXPECT_NE(nullptr, exports.OpenW);
  EXPECT_NE(nullptr, exports.ConfigureW);
  EXPECT_NE(nullptr, exports.ExitFARW);
  EXPECT_NE(nullptr, exports.ProcessEditorEventW);
  EXPECT_NE(nullptr, exports.ProcessEditorInputW);

  const char *base = reinterpret_cast<const char *>(Host.Module());
  auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS64 *>(base + dos->e_lfanew);
  ASSERT_EQ(IMAGE_FILE_MACHINE_AMD64, nt->FileHeader.Machine);
  ASSERT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
  const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(0u, imports.VirtualAddress);
  const char *system[] = {"kernel32.dll", "user32.dll", "shell32.dll",  "ole32.dll", "version.dll",
                          "advapi32.dll", "msvcrt.dll", "ucrtbase.dll", "ntdll.dll", "shlwapi.dll"};
  size_t count = 0;
  for (auto *entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
       entry->Name; ++entry, ++count) {
    std::string name = base + entry->Name;
    bool known = name.rfind("api-ms-win-", 0) == 0;
    for (const char *dll : system)
      known = known || _stricmp(name.c_str(), dll) == 0;
    EXPECT_TRUE(known) << "the plug-in imports " << name << ", which FAR's users may not have";
  }
  EXPECT_GT(count, 0u);
}

TEST_F(ExportsLoadedTest, GlobalInformationNeedsNoTablesAndKeepsInstance) {
  ASSERT_TRUE(Host.Load());
  GlobalInfo info = Host.CallGetGlobalInfo();
  // Asked before SetStartupInfoW, as FAR does: nothing of FAR may be called yet.
  EXPECT_TRUE(Host.Calls().empty());
  EXPECT_EQ(88u, info.StructSize);
  EXPECT_EQ(Host.Module(), info.Instance) << "FAR presets Instance; the plug-in must leave it";
  EXPECT_EQ(Guid(PluginGuid), Guid(info.Guid));
  EXPECT_STREQ(L"Velmora3", info.Title);
  EXPECT_STREQ(L"Synchronize directories", info.Description);
  ASSERT_NE(nullptr, info.Author);
  EXPECT_NE(L'\0', info.Author[0]);
  EXPECT_EQ(3u, info.MinFarVersion.Major);
  EXPECT_EQ(0u, info.MinFarVersion.Minor);
  EXPECT_EQ(0u, info.MinFarVersion.Revision);
  EXPECT_EQ(0u, info.MinFarVersion.Build);
  EXPECT_EQ(VS_RELEASE, info.MinFarVersion.Stage);
  // FAR keeps the texts beyond the call.
  GlobalInfo again = Host.CallGetGlobalInfo();
  EXPECT_STREQ(L"Velmora3", info.Title);
  EXPECT_STREQ(L"Velmora3", again.Title);
}

TEST_F(ExportsLoadedTest, VersionIsTheVersionResource) {
  ASSERT_TRUE(Host.Load());
  VersionInfo resource{};
  ASSERT_TRUE(ResourceVersion(Host.ModuleName(), resource)) << "the DLL has no version resource";
  // The project's version, 1.0.0.1, in FAR's order (Revision is the third number, Build the fourth).
  EXPECT_EQ(1u, resource.Major);
  EXPECT_EQ(0u, resource.Minor);
  EXPECT_EQ(0u, resource.Revision);
  EXPECT_EQ(1u, resource.Build);
  VersionInfo version = Host.CallGetGlobalInfo().Version;
  EXPECT_EQ(resource.Major, version.Major);
  EXPECT_EQ(resource.Minor, version.Minor);
  EXPECT_EQ(resource.Revision, version.Revision);
  EXPECT_EQ(resource.Build, version.Build);
  EXPECT_EQ(VS_RELEASE, version.Stage);
}

TEST_F(ExportsLoadedTest, WithoutVersionResourceTheVersionIsZero) {
  std::wstring copy = StrippedPluginCopy(Host.TempFolder() + L"\\stripped");
  ASSERT_FALSE(copy.empty()) << "could not make a copy of the DLL without its version resource";
  VersionInfo resource{};
  ASSERT_FALSE(ResourceVersion(copy, resource)) << "the copy still has its version resource";
  ASSERT_TRUE(Host.Start(copy));
  const VersionInfo &version = Host.Global().Version;
  EXPECT_EQ(0u, version.Major);
  EXPECT_EQ(0u, version.Minor);
  EXPECT_EQ(0u, version.Revision);
  EXPECT_EQ(0u, version.Build);
  EXPECT_EQ(VS_RELEASE, version.Stage);
  // The rest of the plug-in does not depend on the resource.
  EXPECT_STREQ(L"Velmora3", Host.Global().Title);
}

TEST_F(ExportsTest, PluginInformation) {
  PluginInfo info = Host.CallGetPluginInfo();
  EXPECT_EQ(96u, info.StructSize);
  EXPECT_EQ(Host.Module(), info.Instance) << "FAR presets Instance; the plug-in must leave it";
  EXPECT_EQ(PF_EDITOR, info.Flags);
  EXPECT_EQ(0u, info.DiskMenu.Count);
  EXPECT_EQ(nullptr, info.DiskMenu.Guids);
  EXPECT_EQ(nullptr, info.DiskMenu.Strings);
  EXPECT_EQ(nullptr, info.CommandPrefix);
  const std::wstring title = Host.Msg(0);
  EXPECT_EQ(L"Velmora3", title);
  for (const PluginMenuItem *menu : {&info.PluginMenu, &info.PluginConfig}) {
    ASSERT_EQ(1u, menu->Count);
    ASSERT_NE(nullptr, menu->Guids);
    ASSERT_NE(nullptr, menu->Strings);
    ASSERT_NE(nullptr, menu->Strings[0]);
    EXPECT_EQ(title, menu->Strings[0]);
  }
  EXPECT_EQ(Guid(PluginMenuGuid), Guid(info.PluginMenu.Guids[0]));
  EXPECT_EQ(Guid(ConfigMenuGuid), Guid(info.PluginConfig.Guids[0]));
}

TEST_F(ExportsTest, PluginInformationIsBuiltOnce) {
  // Start has asked once already.
  EXPECT_EQ(1u, Host.MsgRequestCount(0));
  PluginInfo first = Host.CallGetPluginInfo();
  PluginInfo second = Host.CallGetPluginInfo();
  EXPECT_EQ(0, std::memcmp(&first, &second, sizeof(PluginInfo)));
  EXPECT_EQ(1u, Host.MsgRequestCount(0)) << "the menu texts were fetched again";
  EXPECT_EQ(1u, Host.CallCount(L"GetMsg"));
  // The texts stay valid between the calls (FAR reads them whenever it builds a menu).
  ASSERT_EQ(1u, first.PluginMenu.Count);
  EXPECT_EQ(Host.Msg(0), first.PluginMenu.Strings[0]);
}

TEST_F(ExportsLoadedTest, MenuTextsComeFromTheInterfaceLanguage) {
  Host.SetLanguage(L"Russian");
  ASSERT_TRUE(Host.Start());
  const THostLanguageFile *language = Host.Language();
  ASSERT_NE(nullptr, language);
  EXPECT_EQ(L"Russian", language->LanguageName());
  PluginInfo info = Host.CallGetPluginInfo();
  ASSERT_EQ(1u, info.PluginMenu.Count);
  EXPECT_EQ(language->Messages().at(0), info.PluginMenu.Strings[0]);
}

TEST_F(ExportsTest, ConfigureWithAShortStructureDoesNothing) {
  Host.ClearRecords();
  GUID guid = ConfigMenuGuid;
  EXPECT_EQ(0, Host.Configure(&guid, 15));
  EXPECT_EQ(0, Host.Configure(&guid, 0));
  EXPECT_TRUE(Host.Calls().empty()) << "ConfigureW reached FAR with a structure too short to hold the GUID";
  EXPECT_TRUE(Host.Messages().empty());
}

TEST_F(ExportsTest, EntryPointsWithNothingToDoStayQuiet) {
  Host.ClearRecords();
  // Outside a differences document the editor entry, macro calls and editor events do nothing.
  EXPECT_EQ(0, Host.OpenFromEditor());
  EXPECT_EQ(0, Host.OpenFromMacro({}));
  FarMacroValue word{};
  word.Type = FMVT_STRING;
  word.String = L"is_editor";
  EXPECT_EQ(0, Host.OpenFromMacro({word}));
  EXPECT_EQ(0, Host.ProcessEditorEvent(EE_CLOSE, nullptr, 7));
  INPUT_RECORD key{};
  key.EventType = KEY_EVENT;
  key.Event.KeyEvent.bKeyDown = TRUE;
  key.Event.KeyEvent.wVirtualKeyCode = VK_F12;
  EXPECT_EQ(0, Host.ProcessEditorInput(key));
  EXPECT_TRUE(Host.Messages().empty());
  EXPECT_TRUE(Host.Menus().empty());
  Host.ExitFAR();
}

// FAR builds before 5552 (PluginStartupInfo) and 4261 (FarStandardFunctions) hand over shorter
// tables. Each is put at the very end of readable memory: reading past its StructSize is caught.
TEST_F(ExportsLoadedTest, OlderShorterTablesAreNotOverRead) {
  ASSERT_TRUE(Host.Load());
  Host.CallGetGlobalInfo();
  THostGuardedBlock infoBlock(sizeof(PluginStartupInfo264));
  THostGuardedBlock fsfBlock(sizeof(FarStandardFunctions376));
  std::memcpy(infoBlock.Data(), &Host.StartupInfo(), sizeof(PluginStartupInfo264));
  std::memcpy(fsfBlock.Data(), &Host.StandardFunctions(), sizeof(FarStandardFunctions376));
  auto *info = infoBlock.As<PluginStartupInfo264>();
  auto *fsf = fsfBlock.As<FarStandardFunctions376>();
  info->StructSize = sizeof(PluginStartupInfo264);
  info->ModuleName = Host.ModuleName().c_str();
  info->FSF = reinterpret_cast<FarStandardFunctions *>(fsf);
  fsf->StructSize = sizeof(FarStandardFunctions376);

  Host.CallSetStartupInfo(reinterpret_cast<const PluginStartupInfo *>(info));
  EXPECT_FALSE(infoBlock.Overrun()) << "SetStartupInfoW read past the 264 bytes FAR handed over";
  EXPECT_FALSE(fsfBlock.Overrun()) << "SetStartupInfoW read past the 376 bytes of standard functions";

  // The plug-in works with what it copied: the menu texts come through GetMsg of the old table.
  PluginInfo pluginInfo = Host.CallGetPluginInfo();
  ASSERT_EQ(1u, pluginInfo.PluginMenu.Count);
  EXPECT_EQ(Host.Msg(0), pluginInfo.PluginMenu.Strings[0]);
  EXPECT_FALSE(infoBlock.Overrun());
  EXPECT_FALSE(fsfBlock.Overrun());
}

} // namespace
