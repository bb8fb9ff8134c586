// The configuration dialog: its layout at 80 columns, what OK saves and Cancel leaves alone, and
// the whole road from FAR's configuration menu (ConfigureW) through the DLL.

#include "OptionsDialog.h"
#include "FarFormat.h"
#include "HostDialogs.h"
#include "HostInProcess.h"
#include "HostSettings.h"
#include "Options.h"
#include "PairState.h"
#include "Velmora.h"
#include "VelmoraMessages.h"

#include <gtest/gtest.h>

namespace {

class OptionsDialogTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  THostDialogUser User() { return THostDialogUser(Host.Script()); }
  THostSettings &Store() { return Host.Part<THostSettings>(); }
  std::optional<std::wstring> StoredString(const wchar_t *Name) {
    return Store().GetString(VelmoraPluginGuid, L"", Name);
  }
  std::optional<uint64_t> StoredNumber(const wchar_t *Name) {
    return Store().GetNumber(VelmoraPluginGuid, L"", Name);
  }
};

std::vector<int> Bounds(const TFarDialog::TControl *Control) {
  int Left, Top, Width, Height;
  Control->GetBounds(Left, Top, Width, Height);
  return {Left, Top, Width, Height};
}

TEST_F(OptionsDialogTest, At80ColumnsTheDialogIs76By22WithOneControlPerRow) {
  TOptionsDialog Dialog;
  ASSERT_TRUE(Dialog.Build());
  int Left, Top, Width, Height;
  Dialog.GetBounds(Left, Top, Width, Height);
  EXPECT_EQ(76, Width);
  EXPECT_EQ(22, Height);
  EXPECT_EQ(18, Dialog.GetButtonSeparator()->GetTop());
  EXPECT_EQ(19, Dialog.GetOkButton()->GetTop());
  // Label, field, label, field, four check boxes, a separator, the four nets, colouring and the
  // summary: rows 2 to 16,
  // from column 5 to the client area's right edge (column 70 of a 76-column dialog).
  const TFarDialog::TControl *Rows[] = {Dialog.CommandLabel,         Dialog.CommandEdit,
                                        Dialog.ArgumentsLabel,       Dialog.ArgumentsEdit,
                                        Dialog.NTFileNamesCheckbox,  Dialog.ShowDescriptionCheckbox,
                                        Dialog.SilentModeCheckbox,   Dialog.GlobalRememberCheckbox,
                                        Dialog.SafetySeparator,      Dialog.RecycleBinCheckbox,
                                        Dialog.VerifyCopiesCheckbox, Dialog.MassDeletionCheckbox,
                                        Dialog.FreeSpaceCheckbox,    Dialog.ColourCheckbox,
                                        Dialog.RunSummaryCheckbox};
  for (int I = 0; I < 15; ++I) {
    if (Rows[I] != Dialog.SafetySeparator) {
      EXPECT_EQ((std::vector<int>{5, 2 + I, 66, 1}), Bounds(Rows[I])) << "row " << I;
    }
    EXPECT_EQ(2 + I, Rows[I]->GetTop());
    EXPECT_EQ(I + 1, Rows[I]->GetIndex());
  }
  EXPECT_EQ(Host.Msg(MOptionsCompareCommand), Dialog.CommandLabel->GetText());
  EXPECT_EQ(Host.Msg(MOptionsCompareArguments), Dialog.ArgumentsLabel->GetText());
  EXPECT_EQ(Host.Msg(MOptionsAcceptsNTFileNames), Dialog.NTFileNamesCheckbox->GetText());
  EXPECT_EQ(Host.Msg(MOptionsShowDescription), Dialog.ShowDescriptionCheckbox->GetText());
  EXPECT_EQ(Host.Msg(MOptionsSilentModeByDefault), Dialog.SilentModeCheckbox->GetText());
  EXPECT_EQ(Host.Msg(MGlobalRemember), Dialog.GlobalRememberCheckbox->GetText());
  EXPECT_EQ(Host.Msg(MTitle), Dialog.GetBox()->GetText());
  // The number of threads on row 17: its label, and a field for two digits right after it.
  const int LabelWidth = static_cast<int>(Host.Msg(MOptionsCompareWorkers).size());
  EXPECT_EQ((std::vector<int>{5, 17, LabelWidth, 1}), Bounds(Dialog.WorkersLabel));
  EXPECT_EQ((std::vector<int>{5 + LabelWidth + 1, 17, 3, 1}), Bounds(Dialog.WorkersEdit));
}

TEST_F(OptionsDialogTest, TheNumberOfThreadsIsKeptBetweenOneAndSixteen) {
  const std::pair<const wchar_t *, uint64_t> Cases[] = {
      {L"8", 8}, {L"1", 1}, {L"0", 1}, {L"99", 16}, {L"", 3}};
  for (const auto &[Typed, Stored] : Cases) {
    Store().SetNumber(VelmoraPluginGuid, L"", L"CompareWorkers", 3);
    TVelmoraOptions Options;
    Options.Load();
    TOptionsDialog Dialog;
    Dialog.Options = &Options;
    User()
        .Inspect([&](THostDialog &Live) { EXPECT_EQ(L"3", Live.Items[Dialog.WorkersEdit->GetIndex()].Data); })
        .Type(Dialog.WorkersEdit->GetIndex(), Typed)
        .Press(Host.Msg(MOk));
    ASSERT_TRUE(Dialog.Execute());
    EXPECT_EQ(Stored, StoredNumber(L"CompareWorkers")) << HostUtf8(Typed);
  }
}

TEST_F(OptionsDialogTest, OkSavesWhatTheUserEnteredAndKeepsKeysTheDialogDoesNotShow) {
  Store().SetString(VelmoraPluginGuid, L"", L"CompareCommand", L"meld");
  Store().SetNumber(VelmoraPluginGuid, L"", L"SilentModeByDefault", 1);
  TVelmoraOptions Options;
  Options.Load();
  TOptionsDialog Dialog;
  Dialog.Options = &Options;
  User()
      .Inspect([&](THostDialog &Live) {
        // The controls show the loaded options.
        EXPECT_EQ(L"meld", Live.Items[Dialog.CommandEdit->GetIndex()].Data);
        EXPECT_EQ(L"${LEFTFILE} ${RIGHTFILE}", Live.Items[Dialog.ArgumentsEdit->GetIndex()].Data);
        EXPECT_EQ(1, Live.Items[Dialog.SilentModeCheckbox->GetIndex()].Item.Selected);
        EXPECT_EQ(1, Live.Items[Dialog.ShowDescriptionCheckbox->GetIndex()].Item.Selected);
        // A comparison run saves its depth while this dialog is open.
        Store().SetNumber(VelmoraPluginGuid, L"", L"MaxScanDepth", 7);
      })
      .Type(Dialog.CommandEdit->GetIndex(), L"kdiff3")
      .Type(Dialog.ArgumentsEdit->GetIndex(), L"")
      .Check(Dialog.NTFileNamesCheckbox->GetIndex())
      .Clear(Dialog.ShowDescriptionCheckbox->GetIndex())
      .Clear(Dialog.SilentModeCheckbox->GetIndex())
      .Check(Dialog.GlobalRememberCheckbox->GetIndex())
      .Clear(Dialog.RecycleBinCheckbox->GetIndex())
      .Check(Dialog.VerifyCopiesCheckbox->GetIndex())
      .Clear(Dialog.MassDeletionCheckbox->GetIndex())
      .Clear(Dialog.FreeSpaceCheckbox->GetIndex())
      .Clear(Dialog.ColourCheckbox->GetIndex())
      .Clear(Dialog.RunSummaryCheckbox->GetIndex())
      .Press(Host.Msg(MOk));
  ASSERT_TRUE(Dialog.Execute());
  EXPECT_EQ(L"kdiff3", StoredString(L"CompareCommand"));
  // No validation: an empty template is stored as it is.
  EXPECT_EQ(L"", StoredString(L"CompareCommandArguments"));
  EXPECT_EQ(1u, StoredNumber(L"CompareCommandAcceptsNTFileNames"));
  EXPECT_EQ(0u, StoredNumber(L"ShowDescriptionIsSyncFile"));
  EXPECT_EQ(0u, StoredNumber(L"SilentModeByDefault"));
  EXPECT_EQ(1u, StoredNumber(L"GlobalRemember"));
  EXPECT_EQ(0u, StoredNumber(L"DeleteToRecycleBin"));
  EXPECT_EQ(1u, StoredNumber(L"VerifyCopies"));
  EXPECT_EQ(0u, StoredNumber(L"ConfirmMassDeletion"));
  EXPECT_EQ(0u, StoredNumber(L"CheckFreeSpace"));
  EXPECT_EQ(0u, StoredNumber(L"ColourDocument"));
  EXPECT_EQ(0u, StoredNumber(L"ShowRunSummary"));
  EXPECT_EQ(7u, StoredNumber(L"MaxScanDepth"));
  EXPECT_EQ(7, Options.MaxScanDepth);
}

TEST_F(OptionsDialogTest, ConfirmingWithoutChangesSavesTheSameValues) {
  TVelmoraOptions Options;
  Options.Load();
  TOptionsDialog Dialog;
  Dialog.Options = &Options;
  User().Enter();
  ASSERT_TRUE(Dialog.Execute());
  TVelmoraOptions Reloaded;
  Reloaded.Load();
  EXPECT_EQ(L"winmerge", Reloaded.CompareCommand);
  EXPECT_EQ(L"${LEFTFILE} ${RIGHTFILE}", Reloaded.CompareCommandArguments);
  EXPECT_FALSE(Reloaded.CompareCommandAcceptsNTFileNames);
  EXPECT_TRUE(Reloaded.ShowDescriptionIsSyncFile);
  EXPECT_FALSE(Reloaded.SilentModeByDefault);
  EXPECT_FALSE(Reloaded.GlobalRemember);
  EXPECT_EQ(L"winmerge", StoredString(L"CompareCommand"));
}

TEST_F(OptionsDialogTest, CancelAndEscLeaveTheStoreAndTheOptionsUntouched) {
  Store().SetString(VelmoraPluginGuid, L"", L"CompareCommand", L"meld");
  std::vector<std::wstring> Before = Store().ValueNames(VelmoraPluginGuid, L"");
  TVelmoraOptions Options;
  Options.Load();
  TOptionsDialog Dialog;
  Dialog.Options = &Options;
  User()
      .Type(Dialog.CommandEdit->GetIndex(), L"changed")
      .Check(Dialog.GlobalRememberCheckbox->GetIndex())
      .Press(Host.Msg(MCancel));
  EXPECT_FALSE(Dialog.Execute());
  User().Type(Dialog.CommandEdit->GetIndex(), L"changed again").Escape();
  EXPECT_FALSE(Dialog.Execute());
  EXPECT_EQ(Before, Store().ValueNames(VelmoraPluginGuid, L""));
  EXPECT_EQ(L"meld", StoredString(L"CompareCommand"));
  EXPECT_EQ(L"meld", Options.CompareCommand);
  EXPECT_FALSE(Options.GlobalRemember);
}

// ---- Through the DLL ----

class ConfigureThroughDllTest : public TStartedPluginTest {};

TEST_F(ConfigureThroughDllTest, TheConfigurationMenuEditsAndSavesTheOptions) {
  auto &Store = Host.Part<THostSettings>();
  THostDialogUser(Host.Script())
      .Type(2, L"bcompare")
      .Check(Host.Msg(MOptionsSilentModeByDefault))
      .Press(Host.Msg(MOk));
  EXPECT_EQ(1, Host.Configure());
  EXPECT_EQ(L"bcompare", Store.GetString(Host.PluginGuid(), L"", L"CompareCommand"));
  EXPECT_EQ(1u, Store.GetNumber(Host.PluginGuid(), L"", L"SilentModeByDefault"));
  auto &Dialogs = Host.Part<THostDialogs>();
  ASSERT_EQ(1u, Dialogs.Runs.size());
  EXPECT_EQ(Host.Msg(MTitle), Dialogs.Runs[0].Title);
  // The dialog is gone when ConfigureW returns.
  EXPECT_TRUE(Dialogs.Live.empty());
  EXPECT_EQ(Dialogs.InitCount, Dialogs.FreeCount);
}

TEST_F(ConfigureThroughDllTest, CancellingTheConfigurationChangesNothing) {
  auto &Store = Host.Part<THostSettings>();
  THostDialogUser(Host.Script()).Type(2, L"bcompare").Press(Host.Msg(MCancel));
  EXPECT_EQ(0, Host.Configure());
  EXPECT_TRUE(Store.ValueNames(Host.PluginGuid(), L"").empty());
  EXPECT_TRUE(Host.Messages().empty());
}

TEST_F(OptionsDialogTest, ForgetRememberedPairsDeletesEveryPairsStateOnlyWhenConfirmed) {
  for (const wchar_t *Second : {L"C:\\two", L"C:\\three"}) {
    TPairState State(L"C:\\one", Second);
    State.Record(L"a.txt", {});
    State.Save();
  }
  ASSERT_EQ(2u, TPairState::RememberedFiles().size());
  TVelmoraOptions Options;
  Options.Load();
  const std::wstring Question = Format(Host.Msg(MForgetAllPairsQuestion), {std::wstring(L"2")});
  // Kept when the user says so; the dialog stays open after the question either way.
  for (int Answer : {1, 0}) {
    TOptionsDialog Dialog;
    Dialog.Options = &Options;
    User().Press(Host.Msg(MOptionsForgetPairs));
    Host.Script().AnswerMessage(Answer, Question);
    User().Inspect([](THostDialog &Live) { EXPECT_FALSE(Live.Closed); }).Press(Host.Msg(MCancel));
    EXPECT_FALSE(Dialog.Execute());
    EXPECT_EQ(Answer == 1 ? 2u : 0u, TPairState::RememberedFiles().size());
  }
  TOptionsDialog Dialog;
  Dialog.Options = &Options;
  User().Press(Host.Msg(MOptionsForgetPairs));
  Host.Script().AnswerMessage(0, Host.Msg(MNoPairsRemembered));
  User().Press(Host.Msg(MCancel));
  EXPECT_FALSE(Dialog.Execute());
}

} // namespace
