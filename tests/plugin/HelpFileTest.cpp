// The help files FAR shows on F1: both languages hold the same topics, every link leads to a topic
// of its own file, and every topic the dialogs, the command menu and the messages name is there.

#include "Confirmations.h"
#include "DiscoverDifferencesDialog.h"
#include "HostDialogs.h"
#include "HostInProcess.h"
#include "HostPanels.h"
#include "OptionsDialog.h"
#include "SynchronizeDirectoriesDialog.h"
#include "Velmora.h"
#include "VelmoraHelp.h"
#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace {

struct THelpFile {
  std::string Text;
  std::set<std::string> Topics, Links;
};

THelpFile ReadHelp(const char *Name) {
  THelpFile File;
  std::ifstream In(std::string(VELMORA_SOURCE_DIR) + "/src/plugin/" + Name, std::ios::binary);
  std::stringstream Bytes;
  Bytes << In.rdbuf();
  File.Text = Bytes.str();
  std::istringstream Lines(File.Text);
  // A topic starts with "@Name" on a line of its own ("@-" and "@+" open and close plain text).
  static const std::regex Topic(R"(^@([A-Za-z][A-Za-z0-9.]*)\r?$)");
  static const std::regex Link(R"(~[^~]+~@([^@]+)@)");
  for (std::string Line; std::getline(Lines, Line);) {
    std::smatch Match;
    if (std::regex_match(Line, Match, Topic))
      File.Topics.insert(Match[1]);
    for (std::sregex_iterator It(Line.begin(), Line.end(), Link), End; It != End; ++It)
      File.Links.insert((*It)[1]);
  }
  return File;
}

std::string Narrow(const wchar_t *Text) {
  return std::string(Text, Text + wcslen(Text));
}

} // namespace

TEST(HelpFiles, BothLanguagesHoldTheSameTopicsAndEveryLinkResolves) {
  const THelpFile English = ReadHelp("Velmora3Eng.hlf"), Russian = ReadHelp("Velmora3Rus.hlf");
  for (const THelpFile *File : {&English, &Russian}) {
    EXPECT_EQ(0u, File->Text.rfind("\xEF\xBB\xBF.Language=", 0)) << "UTF-8 with a byte-order mark first";
    EXPECT_NE(std::string::npos, File->Text.find(".PluginContents=Velmora3"));
    for (const std::string &Link : File->Links)
      EXPECT_TRUE(File->Topics.count(Link)) << "a link to a missing topic: " << Link;
    for (const wchar_t *Topic : VelmoraHelp::Topics)
      EXPECT_TRUE(File->Topics.count(Narrow(Topic)))
          << "a topic the code names is missing: " << Narrow(Topic);
  }
  EXPECT_EQ(English.Topics, Russian.Topics);
}

class HelpTopicTest : public TInProcessPluginTest<TVelmoraPlugin> {};

TEST_F(HelpTopicTest, DialogsMenusAndMessagesNameTheirTopics) {
  const THelpFile English = ReadHelp("Velmora3Eng.hlf");
  auto Known = [&](const std::wstring &Topic) { return English.Topics.count(Narrow(Topic.c_str())) > 0; };
  // Every dialog of the plug-in has a topic of its own.
  const std::vector<std::unique_ptr<TFarDialog>> Dialogs = [] {
    std::vector<std::unique_ptr<TFarDialog>> Result;
    Result.push_back(std::make_unique<TDiscoverDifferencesDialog>());
    Result.push_back(std::make_unique<TOptionsDialog>());
    Result.push_back(std::make_unique<TSynchronizeDirectoriesDialog>());
    Result.push_back(TFarDialog::Create<TOverwriteConfirmationDialog>());
    Result.push_back(TFarDialog::Create<TDeleteConfirmationDialog>());
    Result.push_back(TFarDialog::Create<TRetrySkipCancelDialog>());
    Result.push_back(TFarDialog::Create<TRetrySkipCancelDialog2>());
    Result.push_back(TFarDialog::Create<TWhatToDoWithDifferentFilesDialog>());
    return Result;
  }();
  for (const auto &Dialog : Dialogs)
    EXPECT_TRUE(Known(Dialog->GetHelpTopic())) << HostUtf8(Dialog->ClassName());

  // And FAR is given it: the comparison dialog and the message that nothing differs.
  TScratchFolder Scratch;
  ASSERT_TRUE(HostPanels().SetFolder(THostSide::Left, Scratch.Path()));
  ASSERT_TRUE(HostPanels().SetFolder(THostSide::Right, Scratch.Path()));
  THostDialogUser(Host.Script()).Press(L"OK");
  Host.Script().AnswerMessage(0);
  Host.OpenFromPluginsMenu();
  ASSERT_EQ(1u, Host.Part<THostDialogs>().Runs.size());
  EXPECT_EQ(VelmoraHelp::CompareDialog, Host.Part<THostDialogs>().Runs[0].HelpTopic);
  ASSERT_FALSE(Host.Messages().empty());
  EXPECT_EQ(std::optional<std::wstring>(VelmoraHelp::CompareDialog), Host.Messages().back().HelpTopic);
}
