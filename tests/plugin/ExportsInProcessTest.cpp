// The plug-in object linked into the test program behind the test host: errors raised inside an
// export reach the user as FAR warnings built from the plug-in's own language file.

#include "HostInProcess.h"
#include "Velmora.h"

#include <functional>

namespace {

// The real plug-in object, with the work of Open and of the editor input replaced by the test's.
class TThrowingPlugin : public TVelmoraPlugin {
public:
  intptr_t Open(OPENFROM OpenFrom, const GUID *Guid, intptr_t Data) override {
    if (OpenWork)
      return OpenWork();
    return TVelmoraPlugin::Open(OpenFrom, Guid, Data);
  }
  intptr_t ProcessEditorInput(const ProcessEditorInputInfo &Info) override {
    if (InputWork)
      return InputWork();
    return TVelmoraPlugin::ProcessEditorInput(Info);
  }
  std::wstring GetStandardText(TFarStandardText Kind) override {
    if (Kind == stOK && OkTextFailures > 0) {
      --OkTextFailures;
      throw Exception(L"no text");
    }
    return TVelmoraPlugin::GetStandardText(Kind);
  }
  std::function<intptr_t()> OpenWork, InputWork;
  int OkTextFailures = 0;
};

VELMORA_DECLARE_EXCEPTION(ETestFailure, Exception);

std::wstring Heading(TFarHost &host, const std::wstring &entryPoint) {
  std::wstring format = host.Msg(9);
  size_t at = format.find(L"%s");
  return at == std::wstring::npos ? format : format.replace(at, 2, entryPoint);
}

using ExportsInProcessTest = TInProcessPluginTest<TThrowingPlugin>;

TEST_F(ExportsInProcessTest, AnErrorInOpenIsAWarningInThePluginsLanguage) {
  Plugin().OpenWork = []() -> intptr_t { throw ETestFailure(L"first line\r\nsecond line\n"); };
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  ASSERT_EQ(1u, Host.Messages().size());
  const THostMessage &m = Host.Messages()[0];
  EXPECT_EQ(FMSG_WARNING, m.Flags);
  EXPECT_FALSE(m.HelpTopic.has_value());
  EXPECT_EQ(HostGuidText(GUID{}), HostGuidText(m.Id));
  std::vector<std::wstring> lines = {Host.Msg(0), Heading(Host, L"OpenW"), L"ETestFailure", L"first line",
                                     L"second line"};
  EXPECT_EQ(lines, m.Lines);
  EXPECT_EQ(std::vector<std::wstring>{Host.Msg(1)}, m.Buttons);
}

TEST_F(ExportsInProcessTest, AnErrorWithoutTextShowsNoMessageLines) {
  Plugin().OpenWork = []() -> intptr_t { throw ETestFailure(L""); };
  Host.Script().AnswerMessage(0);
  Host.OpenFromPluginsMenu();
  ASSERT_EQ(1u, Host.Messages().size());
  std::vector<std::wstring> items = {Host.Msg(0), Heading(Host, L"OpenW"), L"ETestFailure", Host.Msg(1)};
  EXPECT_EQ(items, Host.Messages()[0].Items);
}

TEST_F(ExportsInProcessTest, AReportThatCannotBeBuiltFallsBackToTheUnsplitText) {
  Plugin().OkTextFailures = 1;
  Plugin().OpenWork = []() -> intptr_t { throw ETestFailure(L"one\ntwo"); };
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  ASSERT_EQ(1u, Host.Messages().size());
  std::vector<std::wstring> items = {Host.Msg(0), Heading(Host, L"OpenW"), L"ETestFailure", L"one\ntwo",
                                     Host.Msg(1)};
  EXPECT_EQ(items, Host.Messages()[0].Items);
  EXPECT_EQ(FMSG_WARNING, Host.Messages()[0].Flags);
}

TEST_F(ExportsInProcessTest, EscapeOnTheReportEndsTheCallQuietly) {
  Plugin().OpenWork = []() -> intptr_t { throw ETestFailure(L"gone"); };
  Host.Script().CancelMessage(L"gone");
  EXPECT_EQ(0, Host.Open(OPEN_FILEPANEL));
  EXPECT_EQ(1u, Host.Messages().size());
  EXPECT_EQ(-1, Host.Messages()[0].Result);
}

TEST_F(ExportsInProcessTest, AnAbortIsNeverShown) {
  Plugin().OpenWork = []() -> intptr_t { throw EAbort(); };
  EXPECT_EQ(0, Host.OpenFromPluginsMenu());
  EXPECT_TRUE(Host.Messages().empty());
}

TEST_F(ExportsInProcessTest, AnErrorInEditorInputIsReportedUnderItsEntryPoint) {
  Plugin().InputWork = []() -> intptr_t { throw ETestFailure(L"key trouble"); };
  Host.Script().AnswerMessage(0, L"key trouble");
  INPUT_RECORD key{};
  key.EventType = KEY_EVENT;
  EXPECT_EQ(0, Host.ProcessEditorInput(key));
  ASSERT_EQ(1u, Host.Messages().size());
  ASSERT_GE(Host.Messages()[0].Lines.size(), 2u);
  EXPECT_EQ(Heading(Host, L"ProcessEditorInputW"), Host.Messages()[0].Lines[1]);
}

TEST_F(ExportsInProcessTest, TheReportFollowsTheInterfaceLanguage) {
  Host.SetLanguage(L"Russian");
  Plugin().OpenWork = []() -> intptr_t { throw ETestFailure(L"x"); };
  Host.Script().AnswerMessage(0);
  Host.OpenFromPluginsMenu();
  ASSERT_EQ(1u, Host.Messages().size());
  const THostMessage &m = Host.Messages()[0];
  ASSERT_EQ(L"Russian", Host.Language()->LanguageName());
  ASSERT_GE(m.Lines.size(), 2u);
  EXPECT_EQ(Heading(Host, L"OpenW"), m.Lines[1]);
  EXPECT_NE(std::wstring::npos, m.Lines[1].find(L"OpenW"));
  EXPECT_EQ(std::vector<std::wstring>{Host.Msg(1)}, m.Buttons);
}

} // namespace
