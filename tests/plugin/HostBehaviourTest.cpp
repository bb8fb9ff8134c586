// The test host itself: the FAR behaviour the plug-in's tests rely on (path helpers, messages,
// menus, language files) and the failures it must record instead of letting a test pass.

#include "HostMemory.h"
#include "HostTest.h"

#include <cstring>

namespace {

// {11111111-2222-3333-4444-555555555555}
const GUID SomeGuid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const GUID OtherGuid = {0x99999999, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A host with no plug-in, whose failures the test inspects itself.
class HostBehaviourTest : public ::testing::Test {
protected:
  HostBehaviourTest() { Host.SetPluginGuid(SomeGuid); }

  std::wstring Trunc(std::wstring s, intptr_t width) {
    s.resize(s.size() + 8, L'\0'); // room, as a caller's buffer would have
    Host.StandardFunctions().TruncPathStr(s.data(), width);
    return s.c_str();
  }
  intptr_t Message(FARMESSAGEFLAGS flags, std::vector<const wchar_t *> items, intptr_t buttons) {
    return Host.StartupInfo().Message(&SomeGuid, &OtherGuid, flags, nullptr, items.data(), items.size(),
                                      buttons);
  }

  TFarHost Host;
};

TEST_F(HostBehaviourTest, TruncPathStrKeepsTheRootAndTheEnd) {
  EXPECT_EQ(L"C:\\...\\file.txt", Trunc(L"C:\\one\\two\\three\\file.txt", 15));
  EXPECT_EQ(L"\\\\server\\share\\...ile.txt", Trunc(L"\\\\server\\share\\folder\\file.txt", 25));
  // Short enough already, or no width: unchanged.
  EXPECT_EQ(L"C:\\a\\b", Trunc(L"C:\\a\\b", 6));
  EXPECT_EQ(L"C:\\a\\b", Trunc(L"C:\\a\\b", 0));
  // No root, or a root that leaves too little room: the end with "..." in front.
  EXPECT_EQ(L"...ative\\name", Trunc(L"some\\relative\\name", 13));
  EXPECT_EQ(L"...ile.txt", Trunc(L"\\\\server\\share\\folder\\file.txt", 10));
  // Three characters or fewer: simply cut.
  EXPECT_EQ(L"ab", Trunc(L"abcdef", 2));
  for (intptr_t width = 1; width < 30; ++width)
    EXPECT_EQ(size_t(width), Trunc(L"D:\\projects\\velmora\\src\\far\\FarPlugin.cpp", width).size()) << width;
}

TEST_F(HostBehaviourTest, FileMasksAreCheckedAndMatchedAsTheRealFarDoes) {
  auto Valid = [&](const wchar_t *Masks) {
    return Host.StandardFunctions().ProcessName(Masks, nullptr, 0, PN_CHECKMASK) != 0;
  };
  // What FAR 3 took and refused when typed into the comparison dialog.
  for (const wchar_t *Masks : {L"\"abc", L"*.c||*.h", L"|*.h", L"*.c|", L"[a", L"obj,*.[tmp", L"/\\.cpp$/i"})
    EXPECT_TRUE(Valid(Masks)) << HostUtf8(Masks);
  EXPECT_FALSE(Valid(L"/(/"));
  const struct {
    const wchar_t *Masks, *Name;
    bool Matches;
  } Cases[] = {{L"obj,*.[tmp", L"b.tmp", false}, {L"obj,*.[tmp", L"OBJ", true},
               {L"*.*", L"Makefile", true},      {L"*.cpp|test*", L"test.cpp", false},
               {L"\"a,b\"", L"a,b", true},       {L"/\\.CPP$/i", L"x.cpp", true}};
  for (const auto &Case : Cases) {
    std::wstring Name = Case.Name;
    EXPECT_EQ(Case.Matches, Host.StandardFunctions().ProcessName(Case.Masks, Name.data(), 0,
                                                                 PN_CMPNAMELIST | PN_SKIPPATH) != 0)
        << HostUtf8(Case.Masks) << " " << HostUtf8(Case.Name);
  }
}

TEST_F(HostBehaviourTest, ConvertPathTellsTheSizeAndFillsABufferThatFits) {
  auto &fsf = Host.StandardFunctions();
  size_t needed = fsf.ConvertPath(CPM_NATIVE, L"C:\\some\\dir\\", nullptr, 0);
  EXPECT_EQ(wcslen(L"\\\\?\\C:\\some\\dir\\") + 1, needed);
  std::vector<wchar_t> buffer(needed);
  EXPECT_EQ(needed, fsf.ConvertPath(CPM_NATIVE, L"C:\\some\\dir\\", buffer.data(), buffer.size()));
  EXPECT_STREQ(L"\\\\?\\C:\\some\\dir\\", buffer.data());
  // A short buffer is still terminated.
  wchar_t small[5];
  fsf.ConvertPath(CPM_NATIVE, L"C:\\some\\dir\\", small, 5);
  EXPECT_STREQ(L"\\\\?\\", small);
  wchar_t out[300];
  fsf.ConvertPath(CPM_NATIVE, L"\\\\server\\share\\x", out, 300);
  EXPECT_STREQ(L"\\\\?\\UNC\\server\\share\\x", out);
  fsf.ConvertPath(CPM_NATIVE, L"\\\\?\\C:\\kept", out, 300);
  EXPECT_STREQ(L"\\\\?\\C:\\kept", out);
  fsf.ConvertPath(CPM_FULL, L"C:\\a\\..\\b", out, 300);
  EXPECT_STREQ(L"C:\\b", out);
  EXPECT_EQ(1u, fsf.ConvertPath(CPM_NATIVE, L"", out, 300));
  EXPECT_STREQ(L"", out);
  EXPECT_TRUE(Host.Failures().empty());
}

TEST_F(HostBehaviourTest, MkTempGivesFreshNamesInTheHostsFolder) {
  auto &fsf = Host.StandardFunctions();
  wchar_t first[MAX_PATH], second[MAX_PATH];
  size_t size = fsf.MkTemp(first, MAX_PATH, nullptr);
  EXPECT_EQ(wcslen(first) + 1, size);
  EXPECT_EQ(0u, std::wstring(first).rfind(Host.TempFolder() + L"\\F3T", 0)) << HostUtf8(first);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(first));
  fsf.MkTemp(second, MAX_PATH, L"VLM");
  EXPECT_NE(std::wstring(first), std::wstring(second));
  EXPECT_NE(std::wstring::npos, std::wstring(second).find(L"\\VLM"));
  EXPECT_EQ(size, fsf.MkTemp(nullptr, 0, nullptr));
}

TEST_F(HostBehaviourTest, UnimplementedMembersAreRealFunctionsThatFailLoudly) {
  auto &info = Host.StartupInfo();
  auto &fsf = Host.StandardFunctions();
  const void *const *member = reinterpret_cast<const void *const *>(&info);
  for (size_t i = 0; i < sizeof(PluginStartupInfo) / sizeof(void *); ++i)
    if (i != 0 && i != 1 && i != 16 && i != 32 && i != 33) { // data members
      EXPECT_NE(nullptr, member[i]) << "PluginStartupInfo member " << i;
    }
  member = reinterpret_cast<const void *const *>(&fsf);
  for (size_t i = 1; i < sizeof(FarStandardFunctions) / sizeof(void *); ++i)
    EXPECT_NE(nullptr, member[i]) << "FarStandardFunctions member " << i;
  EXPECT_EQ(0, info.ShowHelp(L"x", L"y", 0));
  EXPECT_EQ(0, (THostStub<L"Probe", FARAPIMACROCONTROL>::Call(&SomeGuid, MCTL_GETSTATE, 0, nullptr)));
  wchar_t buffer[8] = L"";
  EXPECT_EQ(0, fsf.sprintf(buffer, L"%d", 5));
  EXPECT_EQ(0, info.AdvControl(&SomeGuid, ACTL_QUIT, 0, nullptr));
  std::vector<std::wstring> expected = {L"unimplemented call: ShowHelp", L"unimplemented call: Probe",
                                        L"unimplemented call: sprintf",
                                        L"unimplemented call: AdvControl(23)"};
  EXPECT_EQ(expected, Host.Failures());
}

TEST_F(HostBehaviourTest, MessageSplitsTitleBodyAndButtons) {
  Host.Script().AnswerMessage(1, L"Body");
  EXPECT_EQ(1, Message(FMSG_WARNING, {L"Title", L"Body", L"Yes", L"No"}, 2));
  ASSERT_EQ(1u, Host.Messages().size());
  const THostMessage &m = Host.Messages()[0];
  EXPECT_EQ(L"Title", m.Title());
  EXPECT_EQ(L"Body", m.Body());
  EXPECT_EQ((std::vector<std::wstring>{L"Yes", L"No"}), m.Buttons);
  EXPECT_EQ(FMSG_WARNING, m.Flags);
  EXPECT_TRUE(Host.Failures().empty());
}

TEST_F(HostBehaviourTest, MessageWithoutButtonsReturnsAtOnceWithoutAnAnswer) {
  EXPECT_EQ(-1, Message(0, {L"Title", L"Working..."}, 0));
  EXPECT_TRUE(Host.Failures().empty());
  EXPECT_EQ(1u, Host.Messages().size());
}

TEST_F(HostBehaviourTest, MessageFlagsOfFarsOwnButtonsAndOneText) {
  Host.Script().AnswerMessage(2).AnswerMessage(0);
  EXPECT_EQ(2, Message(FMSG_MB_YESNOCANCEL, {L"Title", L"Line"}, 0));
  EXPECT_EQ((std::vector<std::wstring>{L"Title", L"Line"}), Host.Messages()[0].Lines);
  EXPECT_EQ(3u, Host.Messages()[0].Buttons.size());
  const wchar_t *all = L"Title\nFirst\nSecond\nOK";
  EXPECT_EQ(0, Host.StartupInfo().Message(&SomeGuid, nullptr, FMSG_ALLINONE, L"Topic",
                                          reinterpret_cast<const wchar_t *const *>(all), 0, 1));
  const THostMessage &m = Host.Messages()[1];
  EXPECT_EQ((std::vector<std::wstring>{L"Title", L"First", L"Second"}), m.Lines);
  EXPECT_EQ(std::vector<std::wstring>{L"OK"}, m.Buttons);
  EXPECT_EQ(L"Topic", m.HelpTopic.value_or(L""));
  SetLastError(ERROR_FILE_NOT_FOUND);
  Message(FMSG_ERRORTYPE, {L"Title", L"Line"}, 0);
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), Host.Messages()[2].LastError);
  EXPECT_FALSE(Host.Messages()[2].ErrorText.empty());
  EXPECT_TRUE(Host.Failures().empty());
}

TEST_F(HostBehaviourTest, QuestionsTheScriptDoesNotAnswerFailAndCancel) {
  EXPECT_EQ(-1, Message(0, {L"Title", L"OK"}, 1));
  ASSERT_EQ(1u, Host.Failures().size());
  EXPECT_NE(std::wstring::npos, Host.Failures()[0].find(L"no scripted step left"));
  // A step of the wrong kind stays queued; the question fails.
  Host.Script().AnswerMessage(0);
  FarMenuItem item{};
  item.Text = L"Only";
  EXPECT_EQ(-1, Host.StartupInfo().Menu(&SomeGuid, nullptr, -1, -1, 0, 0, L"Menu", nullptr, nullptr, nullptr,
                                        nullptr, &item, 1));
  EXPECT_EQ(2u, Host.Failures().size());
  EXPECT_EQ(1u, Host.Script().Size());
  // An expectation the question does not meet, and a button it does not have.
  Host.Script().Clear();
  Host.Script().AnswerMessage(0, L"absent").AnswerMessage(3);
  Message(0, {L"Title", L"OK"}, 1);
  EXPECT_EQ(-1, Message(0, {L"Title", L"OK"}, 1));
  EXPECT_EQ(4u, Host.Failures().size());
  // The wrong plug-in GUID.
  Host.StartupInfo().GetMsg(&OtherGuid, 0);
  EXPECT_EQ(5u, Host.Failures().size());
}

TEST_F(HostBehaviourTest, MenuRecordsItemsAndAnswersWithItemAndBreakKey) {
  FarMenuItem items[3]{};
  items[0].Text = L"First";
  items[1].Flags = MIF_SEPARATOR;
  items[2].Text = L"Third";
  items[2].Flags = MIF_CHECKED;
  FarKey breakKeys[] = {{VK_F4, 0}, {VK_DELETE, SHIFT_PRESSED}, {0, 0}};
  intptr_t breakCode = 99;
  Host.Script().PickMenuItem(2, L"Third").PressMenuBreakKey(1, 0).PickMenuItem(1).CancelMenu();
  auto menu = [&]() {
    return Host.StartupInfo().Menu(&SomeGuid, &OtherGuid, -1, -1, 0, FMENU_WRAPMODE, L"Title", L"Bottom",
                                   L"Help", breakKeys, &breakCode, items, 3);
  };
  EXPECT_EQ(2, menu());
  EXPECT_EQ(-1, breakCode);
  EXPECT_EQ(0, menu());
  EXPECT_EQ(1, breakCode);
  EXPECT_TRUE(Host.Failures().empty());
  EXPECT_EQ(-1, menu()) << "a separator cannot be picked";
  EXPECT_EQ(1u, Host.Failures().size());
  EXPECT_EQ(-1, menu());
  ASSERT_EQ(4u, Host.Menus().size());
  const THostMenu &m = Host.Menus()[0];
  EXPECT_EQ(L"Title", m.Title.value_or(L""));
  EXPECT_EQ(L"Bottom", m.Bottom.value_or(L""));
  EXPECT_EQ(2u, m.BreakKeys.size());
  ASSERT_EQ(3u, m.Items.size());
  EXPECT_EQ(MIF_SEPARATOR, m.Items[1].Flags);
  EXPECT_EQ(L"Third", m.Items[2].Text);
  EXPECT_EQ(FMENU_WRAPMODE, m.Flags);
}

// A plug-in that keeps FAR's pointer instead of copying the table.
const PluginStartupInfo *GKeptInfo = nullptr;
void WINAPI KeepingSetStartupInfo(const PluginStartupInfo *info) {
  GKeptInfo = info;
}

TEST_F(HostBehaviourTest, CallsThroughTheTableFarHandedOverFailAfterTheCall) {
  THostExports exports;
  exports.SetStartupInfoW = KeepingSetStartupInfo;
  Host.AttachInProcess(exports);
  Host.CallSetStartupInfo();
  ASSERT_NE(nullptr, GKeptInfo);
  EXPECT_EQ(nullptr, GKeptInfo->GetMsg(&SomeGuid, 0));
  GKeptInfo->FSF->MkTemp(nullptr, 0, nullptr);
  std::vector<std::wstring> expected = {
      L"call through the table passed to SetStartupInfoW, which FAR no longer owns: GetMsg",
      L"call through the table passed to SetStartupInfoW, which FAR no longer owns: MkTemp"};
  EXPECT_EQ(expected, Host.Failures());
  Host.Unload();
}

TEST(HostGuardedBlockTest, ReadsPastTheEndAreCaughtAndSurvived) {
  THostGuardedBlock block(24);
  volatile const char *bytes = block.As<const char>();
  char sum = 0;
  for (size_t i = 0; i < block.Size(); ++i)
    sum = char(sum + bytes[i]);
  EXPECT_FALSE(block.Overrun());
  sum = char(sum + bytes[block.Size()]);
  EXPECT_TRUE(block.Overrun());
  EXPECT_EQ(0, sum);
}

TEST_F(HostBehaviourTest, LanguageFilesAreReadAsFarReadsThem) {
  std::wstring text = L".Language=Russian,Russian (Русский)\r\n"
                      L"// a comment\r\n"
                      L"\r\n"
                      L"  \"first\"  \r\n"
                      L"\"with \\\"quotes\\\" and \"\"doubled\"\"\"\n"
                      L"\"tab\\there\\nnew \\x\"\n"
                      L"\"\"\n"
                      L"\"no closing quote\n";
  THostLanguageFile file = THostLanguageFile::Parse(text);
  EXPECT_EQ(L"Russian", file.LanguageName());
  EXPECT_EQ(L"Russian (Русский)", file.LanguageDescription());
  std::vector<std::wstring> expected = {L"first", L"with \"quotes\" and \"doubled\"", L"tab\there\nnew \\x",
                                        L"", L"no closing quote"};
  EXPECT_EQ(expected, file.Messages());
  EXPECT_EQ(L"é", THostLanguageFile::Decode("\xEF\xBB\xBF\xC3\xA9"));
  EXPECT_EQ(L"é", THostLanguageFile::Decode("\xC3\xA9"));
}

TEST_F(HostBehaviourTest, TheInterfaceLanguagePicksTheFile) {
  auto english = HostChooseLanguageFile(TFarHost::ProgramFolder(), L"English");
  auto russian = HostChooseLanguageFile(TFarHost::ProgramFolder(), L"russian");
  auto unknown = HostChooseLanguageFile(TFarHost::ProgramFolder(), L"Klingon");
  ASSERT_TRUE(english && russian && unknown) << "the language files are not next to the test program";
  EXPECT_EQ(L"English", english->LanguageName());
  EXPECT_EQ(L"Russian", russian->LanguageName());
  EXPECT_EQ(L"English", unknown->LanguageName());
  EXPECT_EQ(english->Messages().size(), russian->Messages().size());
}

} // namespace
