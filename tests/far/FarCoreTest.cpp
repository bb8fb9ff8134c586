// The plug-in core in-process: the exports under their guard, the error report, the registry and
// the host-service helpers, with a plug-in object of the test's own behind the test host.

#include "FarExports.h"
#include "FarPlugin.h"
#include "Host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <windows.h>

namespace {

// {0D2E6A51-7C3B-4A8E-9F10-2B4C6D8E0A13}
const GUID TestPluginGuid = {0x0D2E6A51, 0x7C3B, 0x4A8E, {0x9F, 0x10, 0x2B, 0x4C, 0x6D, 0x8E, 0x0A, 0x13}};

std::string Narrow(const std::wstring &Text) {
  std::string Out;
  for (wchar_t C : Text)
    Out += C < 128 ? static_cast<char>(C) : '?';
  return Out;
}

class TTestPlugin : public TFarPlugin {
public:
  GUID GetPluginGuid() override { return TestPluginGuid; }
  void GetPluginNames(std::wstring &Title, std::wstring &Description, std::wstring &Author) override {
    Title = L"Test title";
    Description = L"Test description";
    Author = L"Tester";
  }
  bool GetPluginInfo(PluginInfo96 &Info) override {
    Info.Flags = PF_VIEWER; // must not reach FAR when the answer is false
    if (!InfoResult)
      return false;
    Info.StructSize = sizeof(PluginInfo96);
    Info.Flags = PF_EDITOR;
    return true;
  }
  intptr_t Open(OPENFROM OpenFrom, const GUID *, intptr_t) override {
    LastOpenFrom = OpenFrom;
    return OpenAction ? OpenAction() : 42;
  }
  bool Configure(const GUID *Guid) override {
    ++ConfigureCalls;
    LastConfigureGuid = Guid;
    return true;
  }
  void Log(const std::wstring &Text) override {
    if (FailingLog)
      throw std::runtime_error("log sink broken");
    LogLines.push_back(Text);
  }
  void OnStartup() override { ++StartupCalls; }

  bool InfoResult = true;
  bool FailingLog = false;
  std::function<intptr_t()> OpenAction;
  OPENFROM LastOpenFrom = OPEN_LEFTDISKMENU;
  int ConfigureCalls = 0;
  int StartupCalls = 0;
  const GUID *LastConfigureGuid = nullptr;
  std::vector<std::wstring> LogLines;
};

THostExports InProcessExports() {
  THostExports Exports;
  Exports.SetStartupInfoW = SetStartupInfoW;
  Exports.GetGlobalInfoW = GetGlobalInfoW;
  Exports.GetPluginInfoW = GetPluginInfoW;
  Exports.OpenW = OpenW;
  Exports.ConfigureW = ConfigureW;
  Exports.ExitFARW = ExitFARW;
  Exports.ProcessEditorEventW = ProcessEditorEventW;
  Exports.ProcessEditorInputW = ProcessEditorInputW;
  return Exports;
}

int HookCalls = 0;

class FarCoreTest : public testing::Test {
protected:
  void SetUp() override {
    auto Owned = std::make_unique<TTestPlugin>();
    Plugin = Owned.get();
    RegisterPlugin(std::move(Owned));
    Host = std::make_unique<TFarHost>();
    Host->SetFailureHandler([](const std::wstring &Text) { ADD_FAILURE() << Narrow(Text); });
    Host->AttachInProcess(InProcessExports());
  }
  void TearDown() override {
    OnMessageShown = nullptr;
    FreePlugin();
    Host.reset();
  }
  void Start() {
    Host->CallGetGlobalInfo();
    Host->CallSetStartupInfo();
    Plugin->LogLines.clear();
  }
  intptr_t OpenThrowing(std::function<void()> Raise) {
    Plugin->OpenAction = [Raise]() -> intptr_t {
      Raise();
      return 7;
    };
    return Host->Open(OPEN_PLUGINSMENU);
  }

  TTestPlugin *Plugin = nullptr;
  std::unique_ptr<TFarHost> Host;
};

// ---- Registry ----

TEST(FarRegistryTest, AccessWithoutObjectAndSecondRegistrationRaise) {
  ASSERT_FALSE(PluginExists());
  try {
    FarPlugin();
    FAIL() << "FarPlugin() without a registered object";
  } catch (const EFarPluginError &E) {
    EXPECT_EQ(E.Message(), L"The plugin has not been initialized yet");
    EXPECT_STREQ(E.ClassName(), L"EFarPluginError");
  }

  auto First = std::make_unique<TTestPlugin>();
  TTestPlugin *FirstPointer = First.get();
  RegisterPlugin(std::move(First));
  try {
    RegisterPlugin(std::make_unique<TTestPlugin>());
    FAIL() << "second registration accepted";
  } catch (const EFarPluginError &E) {
    EXPECT_EQ(E.Message(), L"The plugin has already been initialized");
  }
  EXPECT_EQ(&FarPlugin(), FirstPointer);

  std::unique_ptr<TFarPlugin> Back = UnregisterPlugin();
  EXPECT_EQ(Back.get(), FirstPointer);
  EXPECT_FALSE(PluginExists());
  EXPECT_EQ(UnregisterPlugin(), nullptr);
}

// ---- Error report ----

TEST(FarErrorsTest, SplitsMessageAtEveryKindOfLineEnd) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(SplitMessageLines(L"a\r\nb\rc\n"), (V{L"a", L"b", L"c"}));
  EXPECT_EQ(SplitMessageLines(L""), V{});
  EXPECT_EQ(SplitMessageLines(L"a\n\nb"), (V{L"a", L"", L"b"}));
  EXPECT_EQ(SplitMessageLines(L"\r\n"), (V{L""}));
  EXPECT_EQ(SplitMessageLines(L"\n\r"), (V{L"", L""}));
  EXPECT_EQ(SplitMessageLines(L"single"), (V{L"single"}));
}

TEST_F(FarCoreTest, ReportShowsTitleHeadingClassLinesAndButton) {
  Start();
  Host->Script().AnswerMessage(0);
  EXPECT_EQ(OpenThrowing([] { throw EFarError(L"a\r\nb\rc\n"); }), 0);
  ASSERT_EQ(Host->Messages().size(), 1u);
  const THostMessage &M = Host->Messages()[0];
  EXPECT_EQ(M.Items, (std::vector<std::wstring>{L"Test title", L"Exception occurred in function OpenW",
                                                L"EFarError", L"a", L"b", L"c", L"&OK"}));
  EXPECT_EQ(M.ButtonsNumber, 1);
  EXPECT_EQ(M.Flags, FMSG_WARNING);
  EXPECT_EQ(M.Id, GUID{});
  EXPECT_FALSE(M.HelpTopic.has_value());
  EXPECT_EQ(Plugin->LogLines, (std::vector<std::wstring>{
                                  L"OpenW START", L"OpenW: Exception EFarError: a\r\nb\rc\n", L"OpenW END"}));
}

TEST_F(FarCoreTest, ReportOfEmptyMessageHasFourItems) {
  Start();
  Host->Script().AnswerMessage(0);
  OpenThrowing([] { throw EFarPluginError(L""); });
  ASSERT_EQ(Host->Messages().size(), 1u);
  EXPECT_EQ(Host->Messages()[0].Items,
            (std::vector<std::wstring>{L"Test title", L"Exception occurred in function OpenW",
                                       L"EFarPluginError", L"&OK"}));
}

TEST_F(FarCoreTest, AbortIsSilent) {
  Start();
  EXPECT_EQ(OpenThrowing([] { throw EAbort(); }), 0);
  EXPECT_TRUE(Host->Messages().empty());
  EXPECT_EQ(Plugin->LogLines, (std::vector<std::wstring>{L"OpenW START", L"OpenW END"}));
}

TEST_F(FarCoreTest, ForeignExceptionsAreReportedNotLeaked) {
  Start();
  Host->Script().AnswerMessage(0).AnswerMessage(0);
  EXPECT_EQ(OpenThrowing([] { throw std::runtime_error("disk on fire"); }), 0);
  EXPECT_EQ(OpenThrowing([] { throw 17; }), 0);
  ASSERT_EQ(Host->Messages().size(), 2u);
  const auto &StdItems = Host->Messages()[0].Items;
  ASSERT_EQ(StdItems.size(), 5u);
  EXPECT_EQ(StdItems[2], L"std::runtime_error");
  EXPECT_EQ(StdItems[3], L"disk on fire");
  const auto &UnknownItems = Host->Messages()[1].Items;
  ASSERT_EQ(UnknownItems.size(), 5u);
  EXPECT_EQ(UnknownItems[2], L"Unknown exception");
}

TEST_F(FarCoreTest, FailedReportFallsBackToFiveItems) {
  Start();
  // A heading that does not fit its argument makes the first attempt fail; the fallback formats it
  // again and fails too, and the guard still returns the neutral value.
  class TBadHeading : public TTestPlugin {
  public:
    std::wstring GetStandardText(TFarStandardText Kind) override {
      return Kind == stExceptionInFunction && BadHeading ? L"in %d" : TTestPlugin::GetStandardText(Kind);
    }
    bool BadHeading = true;
  };
  FreePlugin();
  auto Owned = std::make_unique<TBadHeading>();
  TBadHeading *Bad = Owned.get();
  RegisterPlugin(std::move(Owned));
  Plugin = Bad;
  Host->CallSetStartupInfo();
  EXPECT_EQ(OpenThrowing([] { throw EFarError(L"x\ny"); }), 0);
  EXPECT_TRUE(Host->Messages().empty());

  // Showing the full message fails after FAR drew it: the fallback shows the text unsplit.
  Bad->BadHeading = false;
  Host->Script().AnswerMessage(0).AnswerMessage(0);
  HookCalls = 0;
  OnMessageShown = [] {
    if (++HookCalls == 1)
      throw EFarError(L"screen gone");
  };
  EXPECT_EQ(OpenThrowing([] { throw EFarError(L"x\ny"); }), 0);
  ASSERT_EQ(Host->Messages().size(), 2u);
  EXPECT_EQ(Host->Messages()[0].Items.size(), 6u);
  EXPECT_EQ(Host->Messages()[1].Items,
            (std::vector<std::wstring>{L"Test title", L"Exception occurred in function OpenW", L"EFarError",
                                       L"x\ny", L"&OK"}));
}

TEST_F(FarCoreTest, ReportWithoutTablesDoesNotEscape) {
  // Registered, but FAR never handed over its tables: the report cannot reach FAR at all.
  Plugin->OpenAction = []() -> intptr_t { throw EFarError(L"early"); };
  OpenInfo Info{sizeof(OpenInfo), OPEN_PLUGINSMENU, nullptr, 0, nullptr};
  EXPECT_EQ(OpenW(&Info), nullptr);
  EXPECT_EQ(Plugin->LogLines.front(), L"OpenW START");
  EXPECT_EQ(Plugin->LogLines.back(), L"OpenW END");
}

TEST_F(FarCoreTest, BrokenLogSinkChangesNothing) {
  Start();
  Plugin->FailingLog = true;
  EXPECT_EQ(Host->Open(OPEN_PLUGINSMENU), 42);
  Host->Script().AnswerMessage(0);
  EXPECT_EQ(OpenThrowing([] { throw EFarError(L"shown anyway"); }), 0);
  EXPECT_EQ(Host->Messages().size(), 1u);
}

TEST_F(FarCoreTest, LogFmtFallsBackToTheFormatItself) {
  Plugin->LogFmt(L"%s and %s", {L"one"});
  Plugin->LogFmt(L"%d%%", {5});
  EXPECT_EQ(Plugin->LogLines, (std::vector<std::wstring>{L"Invalid log message: %s and %s", L"5%"}));
}

// ---- Exports ----

TEST_F(FarCoreTest, GlobalInfoWorksBeforeStartupAndKeepsInstance) {
  GlobalInfo Info{};
  Info.StructSize = sizeof(GlobalInfo);
  Info.Instance = reinterpret_cast<void *>(0x1234);
  GetGlobalInfoW(&Info);
  EXPECT_EQ(Info.StructSize, 88u);
  EXPECT_EQ(Info.Instance, reinterpret_cast<void *>(0x1234));
  EXPECT_EQ(Info.Guid, TestPluginGuid);
  EXPECT_STREQ(Info.Title, L"Test title");
  EXPECT_STREQ(Info.Description, L"Test description");
  EXPECT_STREQ(Info.Author, L"Tester");
  EXPECT_EQ(GlobalInfo_Static.Title, L"Test title");
  EXPECT_EQ(Info.MinFarVersion.Major, 3u);
  EXPECT_EQ(Info.MinFarVersion.Build, 0u);
  // The test program has no version resource.
  EXPECT_EQ(Info.Version.Major, 0u);
  EXPECT_EQ(Info.Version.Minor, 0u);
  EXPECT_EQ(Info.Version.Revision, 0u);
  EXPECT_EQ(Info.Version.Build, 0u);
  EXPECT_EQ(Plugin->LogLines, (std::vector<std::wstring>{L"GetGlobalInfoW START", L"GetGlobalInfoW END"}));
}

TEST_F(FarCoreTest, PluginInfoFalseGivesCleared96Bytes) {
  Start();
  PluginInfo Info;
  std::memset(&Info, 0xCC, sizeof(Info));
  Info.StructSize = sizeof(PluginInfo);
  Plugin->InfoResult = false;
  GetPluginInfoW(&Info);
  EXPECT_EQ(Info.StructSize, 96u);
  EXPECT_EQ(Info.Flags, 0u);
  EXPECT_EQ(Info.PluginMenu.Count, 0u);
  EXPECT_EQ(Info.CommandPrefix, nullptr);
  // Beyond the 96 bytes (Instance) FAR's own value stays.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(Info.Instance), 0xCCCCCCCCCCCCCCCCull);

  Plugin->InfoResult = true;
  GetPluginInfoW(&Info);
  EXPECT_EQ(Info.Flags, PF_EDITOR);
}

TEST_F(FarCoreTest, ConfigureNeedsAStructureThatReachesTheGuid) {
  Start();
  GUID Item = TestPluginGuid;
  EXPECT_EQ(Host->Configure(&Item, 8), 0);
  EXPECT_EQ(Plugin->ConfigureCalls, 0);
  EXPECT_EQ(Host->Configure(&Item, sizeof(ConfigureInfo)), 1);
  EXPECT_EQ(Plugin->ConfigureCalls, 1);
  ASSERT_NE(Plugin->LastConfigureGuid, nullptr);
  EXPECT_EQ(*Plugin->LastConfigureGuid, TestPluginGuid);
}

TEST_F(FarCoreTest, EntryPointsLogStartAndEnd) {
  Start();
  Host->Open(OPEN_EDITOR);
  EXPECT_EQ(Plugin->LastOpenFrom, OPEN_EDITOR);
  Host->ExitFAR();
  ProcessEditorEventInfo Event{sizeof(ProcessEditorEventInfo), EE_CLOSE, nullptr, 5, nullptr};
  EXPECT_EQ(ProcessEditorEventW(&Event), 0);
  EXPECT_EQ(Plugin->LogLines,
            (std::vector<std::wstring>{L"OpenW START", L"OpenW END", L"ExitFARW START", L"ExitFARW END"}));
  EXPECT_EQ(Plugin->StartupCalls, 1);
}

TEST_F(FarCoreTest, NullStructuresAreIgnored) {
  SetStartupInfoW(nullptr);
  GetGlobalInfoW(nullptr);
  GetPluginInfoW(nullptr);
  EXPECT_EQ(OpenW(nullptr), nullptr);
  EXPECT_EQ(ConfigureW(nullptr), 0);
  EXPECT_EQ(ProcessEditorEventW(nullptr), 0);
  EXPECT_EQ(ProcessEditorInputW(nullptr), 0);
  EXPECT_FALSE(Plugin->StartupInfoSet());
}

// ---- Start-up tables of other sizes ----

// Memory whose last byte is followed by an inaccessible page: reading past the end faults.
class TGuardedBlock {
public:
  explicit TGuardedBlock(size_t Size) {
    FBase = static_cast<BYTE *>(VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD Old;
    VirtualProtect(FBase + 4096, 4096, PAGE_NOACCESS, &Old);
    FData = FBase + 4096 - Size;
    std::memset(FData, 0, Size);
  }
  ~TGuardedBlock() { VirtualFree(FBase, 0, MEM_RELEASE); }
  template <class T> T *As() { return reinterpret_cast<T *>(FData); }

private:
  BYTE *FBase;
  BYTE *FData;
};

TEST_F(FarCoreTest, OlderShorterTablesAreNotOverRead) {
  TGuardedBlock InfoBlock(sizeof(PluginStartupInfo264));
  TGuardedBlock FsfBlock(sizeof(FarStandardFunctions376));
  PluginStartupInfo264 *Info = InfoBlock.As<PluginStartupInfo264>();
  FarStandardFunctions376 *Fsf = FsfBlock.As<FarStandardFunctions376>();
  *Info = PluginStartupInfo264{};
  Info->StructSize = sizeof(PluginStartupInfo264);
  Info->Message = Host->StartupInfo().Message;
  Info->FSF = reinterpret_cast<FarStandardFunctions *>(Fsf);
  Fsf->StructSize = sizeof(FarStandardFunctions376);
  Fsf->MkTemp = Host->StandardFunctions().MkTemp;

  SetStartupInfoW(reinterpret_cast<const PluginStartupInfo *>(Info));

  const PluginStartupInfo &Copy = Plugin->StartupInfo();
  EXPECT_EQ(Copy.StructSize, 264u);
  EXPECT_EQ(Copy.Message, Host->StartupInfo().Message);
  EXPECT_EQ(Copy.Instance, nullptr);
  EXPECT_EQ(Copy.FreeScreen, nullptr);
  EXPECT_FALSE(FAR_HAS_MEMBER(Copy, PluginStartupInfo, FreeScreen));
  EXPECT_EQ(Copy.FSF, &Plugin->StandardFunctions());
  EXPECT_EQ(Plugin->StandardFunctions().StructSize, 376u);
  EXPECT_EQ(Plugin->StandardFunctions().MkTemp, Host->StandardFunctions().MkTemp);
  EXPECT_EQ(Plugin->StandardFunctions().FarClock, nullptr);
  EXPECT_EQ(Plugin->StartupCalls, 1);
  // A member FAR did not supply raises instead of jumping to null.
  EXPECT_THROW(TFarModule::GetMsg(0), EFarPluginError);
}

TEST_F(FarCoreTest, NewerLongerTablesAreCutToOurs) {
  struct TLonger {
    PluginStartupInfo Info;
    void *Future[4];
  } Longer{};
  Longer.Info = Host->StartupInfo();
  Longer.Info.StructSize = sizeof(TLonger);
  FarStandardFunctions Fsf = Host->StandardFunctions();
  Fsf.StructSize = sizeof(FarStandardFunctions) + 64; // FAR promises more than we know
  Longer.Info.FSF = &Fsf;
  SetStartupInfoW(&Longer.Info);
  EXPECT_EQ(Plugin->StartupInfo().StructSize, sizeof(PluginStartupInfo));
  EXPECT_EQ(Plugin->StandardFunctions().StructSize, sizeof(FarStandardFunctions));
  EXPECT_EQ(Plugin->StartupInfo().FSF, &Plugin->StandardFunctions());
}

// ---- Host-service helpers ----

const wchar_t *WINAPI NumberedMsg(const UUID *, intptr_t Id) {
  static std::wstring Text;
  Text = L"message " + std::to_wstring(Id);
  return Text.c_str();
}

TEST_F(FarCoreTest, HelpersGoThroughTheCopiedTables) {
  Host->StartupInfo().GetMsg = NumberedMsg;
  Start();
  // The host's table handed to SetStartupInfoW is stale now: every call below must use the copy.
  EXPECT_EQ(TFarModule::GetMsg(-1), L"");
  EXPECT_EQ(TFarModule::GetMsg(145), L"message 145");

  std::wstring Temp = TFarModule::MakeTempFileName();
  EXPECT_EQ(Temp.rfind(Host->TempFolder(), 0), 0u) << Narrow(Temp);
  EXPECT_EQ(Temp.find(L'\0'), std::wstring::npos);

  EXPECT_EQ(TFarModule::ConvertToNativePath(L""), L"");
  std::wstring Native = TFarModule::ConvertToNativePath(L"C:\\Data\\x.txt");
  EXPECT_EQ(Native, L"\\\\?\\C:\\Data\\x.txt");
}

TEST_F(FarCoreTest, FitToWidthTruncatesPadsOrKeeps) {
  Start();
  EXPECT_EQ(TFarModule::FitToWidth(L"abc", 6, L'.'), L"abc...");
  EXPECT_EQ(TFarModule::FitToWidth(L"abcdef", 6), L"abcdef");
  EXPECT_EQ(TFarModule::FitToWidth(L"abc", 0), L"");
  std::wstring Long = L"C:\\Some\\Rather\\Long\\Directory\\Name\\file.txt";
  std::wstring Fitted = TFarModule::FitToWidth(Long, 20);
  EXPECT_EQ(Fitted.size(), 20u);
  EXPECT_EQ(Host->CallCount(L"TruncPathStr"), 1u);
}

TEST_F(FarCoreTest, ShowMenuMakesSeparatorsAndReportsCancel) {
  Start();
  const GUID MenuGuid = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  int Index = -5;
  EXPECT_FALSE(TFarModule::ShowMenu(MenuGuid, L"T", L"", std::vector<std::wstring>{}, Index));
  EXPECT_TRUE(Host->Menus().empty());

  Host->Script().PickMenuItem(2).CancelMenu();
  ASSERT_TRUE(TFarModule::ShowMenu(MenuGuid, L"Title", L"Topic", {L"one", L"-", L"three"}, Index));
  EXPECT_EQ(Index, 2);
  ASSERT_EQ(Host->Menus().size(), 1u);
  const THostMenu &Menu = Host->Menus()[0];
  EXPECT_EQ(Menu.Id, MenuGuid);
  EXPECT_EQ(Menu.PluginId, TestPluginGuid);
  EXPECT_EQ(Menu.X, -1);
  EXPECT_EQ(Menu.Y, -1);
  EXPECT_EQ(Menu.Flags, FMENU_WRAPMODE | FMENU_AUTOHIGHLIGHT);
  ASSERT_EQ(Menu.Items.size(), 3u);
  EXPECT_EQ(Menu.Items[1].Flags, MIF_SEPARATOR);
  EXPECT_EQ(Menu.Items[1].Text, L"");
  EXPECT_EQ(Menu.Items[2].Text, L"three");

  Index = 9;
  EXPECT_FALSE(TFarModule::ShowMenu(MenuGuid, L"Title", L"", {L"one"}, Index));
  EXPECT_EQ(Index, 9);
}

TEST_F(FarCoreTest, MessagesWithButtonsNotifyTheProgressHook) {
  Start();
  HookCalls = 0;
  OnMessageShown = [] { ++HookCalls; };
  Host->Script().AnswerMessage(0);
  TFarModule::ShowMessage({L"Title", L"no buttons"}, 0, 0);
  EXPECT_EQ(HookCalls, 0);
  EXPECT_EQ(TFarModule::ShowMessageWithTitle({L"line"}), 0);
  EXPECT_EQ(HookCalls, 1);
  ASSERT_EQ(Host->Messages().size(), 2u);
  EXPECT_EQ(Host->Messages()[1].Items, (std::vector<std::wstring>{L"Test title", L"line", L"&OK"}));
  EXPECT_EQ(Host->Messages()[1].Flags, FMSG_WARNING);
  EXPECT_THROW(TFarModule::ShowMessage({L"Title"}, 0, 2), EFarError);
}

TEST(FarModuleTest, PCharCopies) {
  EXPECT_EQ(TFarModule::FromPChar(nullptr), L"");
  EXPECT_EQ(TFarModule::FromPChar(nullptr, 3), L"");
  EXPECT_EQ(TFarModule::FromPChar(L"abcdef", 3), L"abc");
  std::wstring Empty;
  ASSERT_NE(TFarModule::ToPChar(Empty), nullptr);
  EXPECT_EQ(*TFarModule::ToPChar(Empty), L'\0');
  wchar_t *Copy = TFarModule::NewPChar(L"text");
  EXPECT_STREQ(Copy, L"text");
  TFarModule::DisposePChar(Copy);
  EXPECT_EQ(Copy, nullptr);
  TFarModule::DisposePChar(Copy); // a null reference is left alone
}

TEST(FarModuleTest, PluginMenuArraysAreBuiltAndReleased) {
  PluginMenuItem Item{};
  TFarPlugin::BuildPluginMenu({}, Item);
  EXPECT_EQ(Item.Count, 0u);
  EXPECT_EQ(Item.Guids, nullptr);
  EXPECT_EQ(Item.Strings, nullptr);
  TFarPlugin::BuildPluginMenu({{L"First", TestPluginGuid}, {L"Second", GUID{}}}, Item);
  ASSERT_EQ(Item.Count, 2u);
  EXPECT_EQ(Item.Guids[0], TestPluginGuid);
  EXPECT_STREQ(Item.Strings[1], L"Second");
  TFarPlugin::FreePluginMenu(Item);
  EXPECT_EQ(Item.Count, 0u);
  EXPECT_EQ(Item.Guids, nullptr);
}

} // namespace
