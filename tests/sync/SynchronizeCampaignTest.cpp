// A random campaign: random trees, random edits of the document and random answers, driven
// through the host as a user drives FAR (comparison, document, edits, close, synchronise dialog,
// answers), then what a run promises is checked on disk. A few fixed seeds run with the suite;
// VELMORA_CAMPAIGN_SEEDS=N runs N more, VELMORA_CAMPAIGN_SEED=k replays seed k alone.

#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <random>
#include <set>

using namespace SyncTask;

namespace {

// std::mt19937 gives the same numbers on every library, its distributions do not.
class TDice {
public:
  explicit TDice(uint32_t Seed) : FEngine(Seed) {}
  uint32_t Below(uint32_t Count) { return Count ? static_cast<uint32_t>(FEngine() % Count) : 0; }
  bool Chance(uint32_t Percent) { return Below(100) < Percent; }

private:
  std::mt19937 FEngine;
};

std::wstring Upper(std::wstring Text) {
  if (!Text.empty())
    ::CharUpperBuffW(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

// A tree as it reads through its paths (links followed): files by their path, letter case aside
// or exact, and the directories.
struct TTreeState {
  std::map<std::wstring, std::string> Files;
  std::set<std::wstring> Directories;
  std::vector<std::wstring> Temporaries; // entries named as the run's temporary entries
};

void ReadTree(const std::wstring &Root, const std::wstring &Prefix, bool ExactCase, TTreeState &State) {
  for (const auto &Name : Names(Root + (Prefix.empty() ? L"" : L"\\" + Prefix))) {
    const std::wstring Relative = Prefix.empty() ? Name : Prefix + L"\\" + Name;
    const std::wstring Key = ExactCase ? Relative : Upper(Relative);
    if (Upper(Name).rfind(L"~VLM", 0) == 0)
      State.Temporaries.push_back(Relative);
    if (Attributes(Root + L"\\" + Relative) & FILE_ATTRIBUTE_DIRECTORY) {
      State.Directories.insert(Key);
      ReadTree(Root, Relative, ExactCase, State);
    } else {
      State.Files[Key] = ReadFile(Root + L"\\" + Relative);
    }
  }
}

TTreeState TreeOf(const std::wstring &Root, bool ExactCase = false) {
  TTreeState State;
  ReadTree(Root, L"", ExactCase, State);
  return State;
}

// The two numbers of Text when it is Format filled in ("%s" twice).
bool ParseTwoNumbers(const std::wstring &Format, std::wstring Text, int64_t &First, int64_t &Second) {
  const size_t One = Format.find(L"%s"), Two = Format.find(L"%s", One + 2);
  if (Two == std::wstring::npos)
    return false;
  const std::wstring Before = Format.substr(0, One), Between = Format.substr(One + 2, Two - One - 2),
                     After = Format.substr(Two + 2);
  Text.erase(Text.find_last_not_of(L' ') + 1);
  if (Text.size() < Before.size() + After.size() || Text.compare(0, Before.size(), Before) != 0 ||
      Text.compare(Text.size() - After.size(), After.size(), After) != 0)
    return false;
  const std::wstring Middle = Text.substr(Before.size(), Text.size() - Before.size() - After.size());
  const size_t Split = Middle.find(Between);
  if (Split == std::wstring::npos)
    return false;
  auto Number = [](std::wstring Digits) {
    Digits.erase(std::remove(Digits.begin(), Digits.end(), L','), Digits.end());
    return static_cast<int64_t>(std::wcstoll(Digits.c_str(), nullptr, 10));
  };
  First = Number(Middle.substr(0, Split));
  Second = Number(Middle.substr(Split + Between.size()));
  return true;
}

// The seeds of this run: the fixed ones, or one to replay, or as many more as asked for.
std::vector<uint32_t> CampaignSeeds() {
  if (const char *One = std::getenv("VELMORA_CAMPAIGN_SEED"); One && *One)
    return {static_cast<uint32_t>(std::strtoul(One, nullptr, 10))};
  std::vector<uint32_t> Seeds{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  if (const char *More = std::getenv("VELMORA_CAMPAIGN_SEEDS"); More && *More)
    for (uint32_t Seed = 1000, Count = static_cast<uint32_t>(std::strtoul(More, nullptr, 10)); Count > 0;
         ++Seed, --Count)
      Seeds.push_back(Seed);
  return Seeds;
}

class SynchronizeCampaignTest : public TSyncRunTest, public ::testing::WithParamInterface<uint32_t> {
protected:
  // Answers whatever the run asks, at random as a user might, until it has answered too often
  // (a question asked again and again), then cancels.
  class TRandomAnswer : public THostDialogAction {
  public:
    explicit TRandomAnswer(SynchronizeCampaignTest &Test) : FTest(Test) {}
    std::wstring Describe() const override { return L"answer a dialog at random"; }
    void Perform(THostDialog &D, TFarHost &Host) override {
      auto Named = [&](int Message) -> int {
        for (size_t I = 0; I < D.Items.size(); ++I)
          if (HostStripHotKey(D.Items[I].Data) == FTest.Text(Message))
            return static_cast<int>(I);
        return -1;
      };
      auto Usable = [&](size_t I, FARDIALOGITEMTYPES Type) {
        return D.Items[I].Item.Type == Type && (D.Items[I].Item.Flags & DIF_DISABLE) == 0;
      };
      TDice &Dice = FTest.Dice;
      if (++FTest.Answers > 300) {
        TDialogEscape().Perform(D, Host);
        return;
      }
      std::vector<int> Buttons;
      for (size_t I = 0; I < D.Items.size(); ++I)
        if (Usable(I, DI_BUTTON) && static_cast<int>(I) != Named(MCompare))
          Buttons.push_back(static_cast<int>(I));
      const bool Synchronise = Named(MSyncDeleteOnLeft) >= 0;
      // Check boxes (the synchronise dialog's choices, the questions' "remember") at random.
      for (size_t I = 0; I < D.Items.size(); ++I)
        if (Usable(I, DI_CHECKBOX) && Dice.Chance(Synchronise ? 50 : 15))
          TDialogSetCheck(static_cast<int>(I), Dice.Below(2)).Perform(D, Host);
      if (Synchronise) {
        std::vector<int> Radios;
        for (size_t I = 0; I < D.Items.size(); ++I)
          if (Usable(I, DI_RADIOBUTTON))
            Radios.push_back(static_cast<int>(I));
        if (!Radios.empty())
          TDialogSelectRadio(Radios[Dice.Below(static_cast<uint32_t>(Radios.size()))]).Perform(D, Host);
        FTest.RunStarted = !Dice.Chance(5);
        TDialogPress(FTest.RunStarted ? Named(MOk) : Named(MCancel)).Perform(D, Host);
        return;
      }
      if (Buttons.empty() || Dice.Chance(5))
        TDialogEscape().Perform(D, Host);
      else
        TDialogPress(Buttons[Dice.Below(static_cast<uint32_t>(Buttons.size()))]).Perform(D, Host);
    }

  private:
    SynchronizeCampaignTest &FTest;
  };

  void SetUp() override {
    TSyncRunTest::SetUp();
    Outside = Scratch.Path() + L"\\outside";
    MakeDir(Outside);
    Host.Script().SetImproviser(
        [this](const std::wstring &Question,
               const std::vector<std::wstring> &Choices) -> std::unique_ptr<THostStep> {
          if (Question.rfind(L"the dialog", 0) == 0)
            return std::make_unique<TRandomAnswer>(*this);
          if (Question.rfind(L"menu", 0) == 0)
            return std::make_unique<TPickMenuItem>(-1);
          if (Question.rfind(L"message", 0) != 0)
            return nullptr;
          // The warning before the run: go on or cancel, never back to the document.
          for (size_t I = 0; I < Choices.size(); ++I)
            if (HostStripHotKey(Choices[I]) == Text(MGoOn)) {
              const bool GoOn = ++Answers > 300 ? false : Dice.Chance(70);
              RunStarted = RunStarted && GoOn;
              return std::make_unique<TAnswerMessage>(GoOn ? 0 : 2);
            }
          if (Choices.empty() || ++Answers > 300)
            return std::make_unique<TAnswerMessage>(-1);
          return std::make_unique<TAnswerMessage>(
              static_cast<intptr_t>(Dice.Below(static_cast<uint32_t>(Choices.size()) + 1)) - 1);
        });
  }
  void TearDown() override {
    Host.Script().SetImproviser(nullptr);
    TSyncRunTest::TearDown();
  }

  std::string Content(const char *Tag) {
    std::string Bytes = std::string(Tag) + std::to_string(Dice.Below(1000000));
    if (Dice.Chance(20)) {
      // One throw per statement: the order of a call's arguments differs between compilers.
      const uint32_t Length = Dice.Below(5000);
      Bytes.append(Length, static_cast<char>('a' + Dice.Below(26)));
    }
    return Bytes;
  }
  // A file with a time; read-only now and then.
  void MakeFile(const std::wstring &Path, const std::string &Bytes, int64_t Time) {
    WriteFile(Path, Bytes);
    SetWriteTime(Path, Time);
    if (Dice.Chance(15))
      ::SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_READONLY);
  }
  void MakeTree(const std::wstring &Path, int Depth) {
    MakeDir(Path);
    for (uint32_t I = 0, Count = Dice.Below(3); I < Count; ++I)
      MakeFile(Path + L"\\t" + std::to_wstring(I) + L".txt", Content("t"), Time0);
    if (Depth < 2 && Dice.Chance(40))
      MakeTree(Path + L"\\sub", Depth + 1);
  }
  // One level of both trees: entries only on one side, on both alike or not, letter case only
  // different, a file against a directory, directories on both sides one level deeper.
  void MakeLevel(const std::wstring &L, const std::wstring &R, int Depth) {
    for (uint32_t I = 0, Count = 4 + Dice.Below(7); I < Count; ++I) {
      const std::wstring N = std::to_wstring(I);
      switch (Dice.Below(9)) {
      case 0: { // alike
        const std::string Bytes = Content("same");
        MakeFile(L + L"\\s" + N + L".txt", Bytes, Time0);
        MakeFile(R + L"\\s" + N + L".txt", Bytes, Time0);
        break;
      }
      case 1: { // different: one newer, or the same time
        const int64_t Shift = static_cast<int64_t>(Dice.Below(3)) - 1;
        MakeFile(L + L"\\f" + N + L".dat", Content("left"), Time0 + Shift * Hour);
        MakeFile(R + L"\\f" + N + L".dat", Content("right"), Time0 - Shift * Hour);
        break;
      }
      case 2:
        MakeFile(L + L"\\l" + N + L".txt", Content("onlyleft"), Time0);
        break;
      case 3:
        MakeFile(R + L"\\r" + N + L".txt", Content("onlyright"), Time0);
        break;
      case 4:
        MakeTree((Dice.Chance(50) ? L : R) + L"\\tree" + N, Depth);
        break;
      case 5: // a file against a directory
        MakeFile((Dice.Chance(50) ? L : R) + L"\\x" + N, Content("kind"), Time0);
        break;
      case 6: { // the names differ in letter case only
        const bool Alike = Dice.Chance(50);
        const std::string Bytes = Content("case");
        MakeFile(L + L"\\c" + N + L".txt", Bytes, Time0 + Hour);
        MakeFile(R + L"\\C" + N + L".TXT", Alike ? Bytes : Content("CASE"), Time0);
        break;
      }
      case 7:
        if (Depth < 2) {
          MakeDir(L + L"\\d" + N);
          MakeDir(R + L"\\d" + N);
          MakeLevel(L + L"\\d" + N, R + L"\\d" + N, Depth + 1);
        }
        break;
      default:
        break;
      }
      // The other half of a file against a directory.
      if (Exists(L + L"\\x" + N) != Exists(R + L"\\x" + N))
        MakeTree((Exists(L + L"\\x" + N) ? R : L) + L"\\x" + N, 2);
    }
  }

  // The comparison from the plug-ins menu; the document it opens (null: nothing differs).
  THostEditorWindow *Compare(bool LetterCase) {
    const intptr_t Before = Editors().OpenCount() ? Editors().Current()->Id() : -1;
    // The panels are read again, as FAR does after a run.
    HostPanels().SetFolder(THostSide::Left, Left);
    HostPanels().SetFolder(THostSide::Right, Right);
    User().SetState(L"Compare letter case of names", LetterCase ? 1 : 0).Press(L"OK");
    Host.OpenFromPluginsMenu();
    if (Editors().OpenCount() == 0 || Editors().Current()->Id() == Before)
      return nullptr;
    return Editors().Current();
  }
  static std::vector<TDifferenceItem> Items(const THostEditorWindow &W) {
    std::vector<TDifferenceItem> Result;
    for (const auto &L : W.Lines()) {
      TDifferenceItem Item;
      if (Item.ParseLine(L))
        Result.push_back(Item);
    }
    return Result;
  }
  // Changes directions and markers of lines and deletes lines, as a user editing the document;
  // what the user took into their own hands is returned.
  std::set<std::wstring> EditDocument(THostEditorWindow &W) {
    std::set<std::wstring> Edited;
    for (size_t Index = W.LineCount(); Index-- > 0;) {
      TDifferenceItem Item;
      if (!Item.ParseLine(W.Line(Index)))
        continue;
      switch (Dice.Below(8)) {
      case 0:
        W.DeleteLine(Index);
        Edited.insert(Upper(Item.RelativePath));
        break;
      case 1:
      case 2:
        W.MoveCursor(static_cast<intptr_t>(Index), 0);
        W.PressKey(Dice.Chance(50) ? VK_F1 : VK_F2, LEFT_ALT_PRESSED);
        break;
      case 3:
        Item.DiffType = static_cast<TDifferenceType>(dtMissingLeft + Dice.Below(dtDifferent));
        W.ReplaceLine(Index, Item.FormatLine());
        Edited.insert(Upper(Item.RelativePath));
        break;
      default:
        break;
      }
    }
    EXPECT_TRUE(W.Save());
    return Edited;
  }

  static constexpr int64_t Time0 = 133000000000000000LL, Hour = 36000000000LL;
  TDice Dice{0};
  int Answers = 0;
  bool RunStarted = false;
  std::wstring Outside;
};

TEST_P(SynchronizeCampaignTest, WhatTheRunPromisesHoldsOnDisk) {
  const uint32_t Seed = GetParam();
  SCOPED_TRACE("campaign seed " + std::to_string(Seed) +
               " (replay: VELMORA_CAMPAIGN_SEED=" + std::to_string(Seed) + ")");
  Dice = TDice(Seed);
  SetOption(&TVelmoraOptions::ConfirmMassDeletion, Dice.Chance(50));
  SetOption(&TVelmoraOptions::VerifyCopies, Dice.Chance(30));
  MakeLevel(Left, Right, 0);
  // A link on one side into a tree outside both, sometimes against a directory on the other.
  if (Dice.Chance(40)) {
    MakeDir(Outside + L"\\linked");
    MakeFile(Outside + L"\\linked\\o.txt", "outside", Time0);
    const bool OnLeft = Dice.Chance(50);
    if (MakeDirectoryLink((OnLeft ? Left : Right) + L"\\link", Outside + L"\\linked") && Dice.Chance(50))
      MakeTree((OnLeft ? Right : Left) + L"\\link", 1);
  }
  const bool LetterCase = Dice.Chance(50);
  const TTreeState LeftBefore = TreeOf(Left), RightBefore = TreeOf(Right),
                   OutsideBefore = TreeOf(Outside, true);

  // Another program holds a file open, now and then: copies from or over it fail.
  HANDLE Held = INVALID_HANDLE_VALUE;
  if (Dice.Chance(30)) {
    const bool OnLeft = Dice.Chance(50);
    const auto &Files = (OnLeft ? LeftBefore : RightBefore).Files;
    if (!Files.empty()) {
      auto Chosen = Files.begin();
      std::advance(Chosen, Dice.Below(static_cast<uint32_t>(Files.size())));
      Held = ::CreateFileW(((OnLeft ? Left : Right) + L"\\" + Chosen->first).c_str(), GENERIC_READ, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    }
  }
  struct THeld {
    HANDLE &File;
    void Release() {
      if (File != INVALID_HANDLE_VALUE)
        ::CloseHandle(File);
      File = INVALID_HANDLE_VALUE;
    }
    ~THeld() { Release(); }
  } HeldScope{Held};

  THostEditorWindow *Document = Compare(LetterCase);
  if (!Document)
    return;
  const std::vector<TDifferenceItem> Listed = Items(*Document);
  std::set<std::wstring> Accounted = EditDocument(*Document);
  RunStarted = false;
  // Esc now and then, caught by the counting or by the run's progress, whichever looks first.
  if (Dice.Chance(25) && THostConsole::Ensure()) {
    ConsoleReady = true;
    THostConsole::Flush();
    TFarProgress::SetTickSource([]() -> DWORD {
      static DWORD Now = 0;
      return Now += 1000;
    });
    THostConsole::PushKey(VK_ESCAPE);
  }
  const intptr_t DocumentId = Document->Id();
  Document->Close();
  std::vector<TDifferenceItem> Remaining;
  if (Editors().OpenCount() > 0 && Editors().Current()->Id() != DocumentId)
    Remaining = Items(*Editors().Current());
  for (const auto &Item : Remaining)
    Accounted.insert(Upper(Item.RelativePath));
  // Without a run (cancelled, or nothing left to do) the document's lines are still to do.
  if (!RunStarted)
    for (const auto &Item : Listed)
      Accounted.insert(Upper(Item.RelativePath));

  SCOPED_TRACE(std::to_string(Listed.size()) + " lines, " + std::to_string(Answers) + " answers, " +
               (RunStarted ? "run, " : "no run, ") + std::to_string(Remaining.size()) + " left");
  HeldScope.Release();
  // A warning's "N of M" never deletes more than the side holds.
  for (const auto &M : Host.Messages())
    for (const int Warning : {MMassDeletionLeft, MMassDeletionRight})
      for (const auto &Shown : M.Lines)
        if (int64_t Deleting = 0, Of = 0; ParseTwoNumbers(Host.Msg(Warning), Shown, Deleting, Of)) {
          EXPECT_LE(Deleting, Of) << HostUtf8(Shown);
        }
  // Nothing outside the two trees changed.
  const TTreeState OutsideAfter = TreeOf(Outside, true);
  EXPECT_EQ(OutsideBefore.Files, OutsideAfter.Files);
  EXPECT_EQ(OutsideBefore.Directories, OutsideAfter.Directories);
  // Every file is as it was or holds what the other side held; no temporary entry is left.
  for (const bool OnLeft : {true, false}) {
    const TTreeState After = TreeOf(OnLeft ? Left : Right);
    const TTreeState &Own = OnLeft ? LeftBefore : RightBefore, &Other = OnLeft ? RightBefore : LeftBefore;
    for (const auto &[Path, Bytes] : After.Files) {
      const auto Was = Own.Files.find(Path), From = Other.Files.find(Path);
      EXPECT_TRUE((Was != Own.Files.end() && Was->second == Bytes) ||
                  (From != Other.Files.end() && From->second == Bytes))
          << (OnLeft ? "left " : "right ") << HostUtf8(Path) << " holds neither side's former content";
    }
    for (const auto &Path : After.Temporaries)
      ADD_FAILURE() << "left behind: " << (OnLeft ? "left " : "right ") << HostUtf8(Path);
  }
  // A new comparison finds nothing that the new document does not list (or the user did not
  // take into their own hands).
  if (THostEditorWindow *Again = Compare(LetterCase))
    for (const auto &Item : Items(*Again)) {
      const std::wstring Path = Upper(Item.RelativePath);
      bool Known = false;
      for (const auto &Other : Accounted)
        Known =
            Known || Other == Path || Path.rfind(Other + L"\\", 0) == 0 || Other.rfind(Path + L"\\", 0) == 0;
      EXPECT_TRUE(Known) << "found again but not listed: " << HostUtf8(Item.FormatLine());
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, SynchronizeCampaignTest, ::testing::ValuesIn(CampaignSeeds()),
                         [](const ::testing::TestParamInfo<uint32_t> &Info) {
                           return "seed" + std::to_string(Info.param);
                         });

} // namespace
