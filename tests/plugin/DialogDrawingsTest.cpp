// The drawings of the comparison, configuration and synchronise dialogs in docs/dialogs.txt are what the host
// draws for the English language file at two window sizes. With VELMORA_WRITE_DRAWINGS=1 in the
// environment the test writes the file instead of comparing.

#include "DiscoverDifferencesDialog.h"
#include "HostDialogs.h"
#include "HostInProcess.h"
#include "Options.h"
#include "OptionsDialog.h"
#include "SynchronizeDirectoriesDialog.h"
#include "Velmora.h"
#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

class DialogDrawingsTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  // The dialog as the host draws it right after FAR showed it, on a window of the given size.
  template <class TDialog> std::wstring Drawing(COORD Console, const std::function<bool(TDialog &)> &Run) {
    Host.Part<THostDialogs>().Console = Console;
    TVelmoraOptions Options;
    Options.Load();
    TDialog Dialog;
    if constexpr (requires { Dialog.Options; })
      Dialog.Options = &Options;
    std::wstring Result;
    THostDialogUser(Host.Script())
        .Inspect([&](THostDialog &Live) {
          Result = L"Window " + std::to_wstring(Console.X) + L"x" + std::to_wstring(Console.Y) +
                   L": dialog " + std::to_wstring(Live.Width) + L"x" + std::to_wstring(Live.Height) +
                   L" at column " + std::to_wstring(Live.Left) + L", row " + std::to_wstring(Live.Top) +
                   L"\n\n";
          for (const auto &Row : Live.Draw()) {
            std::wstring Line = Row;
            Line.erase(Line.find_last_not_of(L' ') + 1);
            Result += (Line.empty() ? L"" : L"    " + Line) + L"\n";
          }
        })
        .Escape();
    Run(Dialog);
    return Result;
  }
};

std::string Utf8(const std::wstring &Text) {
  return HostUtf8(Text);
}

TEST_F(DialogDrawingsTest, TheManualShowsTheDialogsAsTheyAreDrawn) {
  std::wstring Text =
      L"The dialogs of Velmora3 as FAR shows them (drawn by the test host from the English\n"
      L"language file; [x] is a ticked check box, (•) the chosen radio button, { } the\n"
      L"default button, ░ the free part of an edit field). Disabled items look the same here;\n"
      L"FAR greys them.\n\n";
  for (COORD Console : {COORD{80, 25}, COORD{120, 40}}) {
    Text += L"Comparison dialog (plug-ins menu), default options. ";
    Text += Drawing<TDiscoverDifferencesDialog>(
        Console, [](TDiscoverDifferencesDialog &D) { return D.EditOptions(); });
    Text += L"\n";
  }
  for (COORD Console : {COORD{80, 25}, COORD{120, 40}}) {
    Text += L"Configuration dialog (plug-in configuration menu), default options. ";
    Text += Drawing<TOptionsDialog>(Console, [](TOptionsDialog &D) { return D.Execute(); });
    Text += L"\n";
  }
  // A document that copies a file and a directory of three files each way and could delete them.
  TScratchFolder Scratch;
  const std::wstring Left = Scratch / L"left", Right = Scratch / L"right";
  CreateDirectoryW(Left.c_str(), nullptr);
  CreateDirectoryW(Right.c_str(), nullptr);
  CreateDirectoryW((Right + L"\\photos").c_str(), nullptr);
  WriteBytes(Left + L"\\report.txt", std::string(1500, 'r'));
  for (const wchar_t *Name : {L"\\photos\\1.jpg", L"\\photos\\2.jpg", L"\\photos\\3.jpg"})
    WriteBytes(Right + Name, std::string(250000, 'p'));
  TDifferenceList List;
  List.Add(std::make_unique<TDifferenceItem>(dtMissingRight, drFile, L"report.txt", false));
  List.Add(std::make_unique<TDifferenceItem>(dtMissingLeft, drFile, L"photos", true));
  TRunPlan Plan;
  Plan.Measure(List, Left + L"\\", Right + L"\\", TNameFilter(), [](const std::wstring &) {});
  for (COORD Console : {COORD{80, 25}}) {
    Text += L"Synchronise dialog (closing the differences document), a file to copy to the right and a "
            L"directory of three files to the left. ";
    Text += Drawing<TSynchronizeDirectoriesDialog>(Console, [&](TSynchronizeDirectoriesDialog &D) {
      D.List = &List;
      D.Plan = &Plan;
      D.SetDiffTypePresent(dtMissingLeft, true);
      D.SetDiffTypePresent(dtMissingRight, true);
      return D.ExecuteSynchronize() == 0;
    });
    Text += L"\n";
  }
  std::string Path = std::string(VELMORA_SOURCE_DIR) + "/docs/dialogs.txt";
  const char *Write = std::getenv("VELMORA_WRITE_DRAWINGS");
  if (Write && std::string(Write) == "1") {
    std::ofstream(Path, std::ios::binary) << Utf8(Text);
    return;
  }
  std::ifstream File(Path, std::ios::binary);
  ASSERT_TRUE(File.good()) << Path;
  std::stringstream Stored;
  Stored << File.rdbuf();
  EXPECT_EQ(Stored.str(), Utf8(Text)) << "docs/dialogs.txt is out of date: run with VELMORA_WRITE_DRAWINGS=1";
}

} // namespace
