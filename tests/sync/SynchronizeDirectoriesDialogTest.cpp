// The synchronise dialog in the host: which options a document enables, what OK, the button back
// to the document and Escape give, and the layout.

#include "SynchronizeDirectoriesDialog.h"
#include "QuestionTestSupport.h"
#include "VelmoraMessages.h"

namespace {

// Items in creation order.
enum {
  iCopyLabel = 1,
  iCopyToLeft,
  iConfirmLeft,
  iCopyToRight,
  iConfirmRight,
  iDifferentLabel,
  iAsk,
  iSkip,
  iDifferentToLeft,
  iDifferentToRight,
  iDeleteLabel,
  iDeleteOnLeft,
  iDeleteOnRight,
  iSeparator,
  iSilent,
  iGlobal,
  iCountSeparator,
  iCopyToLeftCount,
  iCopyToRightCount,
  iDeleteCount,
  iButtonSeparator,
  iOk,
  iBack,
  iCancel
};

class SynchronizeDirectoriesDialogTest : public QuestionTest {
protected:
  // Built once the plug-in object is there: the dialog takes its texts from the language file.
  void SetUp() override {
    QuestionTest::SetUp();
    Dialog = std::make_unique<TSynchronizeDirectoriesDialog>();
  }
  void TearDown() override {
    Dialog.reset();
    QuestionTest::TearDown();
  }
  void Present(std::initializer_list<TDifferenceType> Types) {
    for (TDifferenceType Type : Types)
      Dialog->SetDiffTypePresent(Type, true);
  }
  static bool Enabled(const THostDialog &D, int Item) {
    return (D.Items[Item].Item.Flags & DIF_DISABLE) == 0;
  }
  static bool Checked(const THostDialog &D, int Item) { return D.Items[Item].Item.Selected != 0; }
  std::wstring Text(int Message) { return HostStripHotKey(Host.Msg(Message)); }

  std::unique_ptr<TSynchronizeDirectoriesDialog> Dialog;
};

TEST_F(SynchronizeDirectoriesDialogTest, OnlyMissingLeftEnablesCopyToLeftAndDeleteOnRight) {
  Present({dtMissingLeft});
  Dialog->DeleteOnRight = true;
  User()
      .Inspect([](THostDialog &D) {
        for (int Item : {iCopyToLeft, iConfirmLeft, iDeleteOnRight, iSilent, iGlobal})
          EXPECT_TRUE(Enabled(D, Item)) << "item " << Item;
        for (int Item :
             {iCopyToRight, iConfirmRight, iDeleteOnLeft, iAsk, iSkip, iDifferentToLeft, iDifferentToRight})
          EXPECT_FALSE(Enabled(D, Item)) << "item " << Item;
        EXPECT_TRUE(Checked(D, iCopyToLeft));
        EXPECT_TRUE(Checked(D, iConfirmLeft));
        EXPECT_FALSE(Checked(D, iCopyToRight)) << "a disabled box is unchecked";
        EXPECT_TRUE(Checked(D, iDeleteOnRight));
        EXPECT_TRUE(Checked(D, iAsk)) << "ask stays selected while disabled";
      })
      .Press(Text(MOk));
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 0);
  EXPECT_TRUE(Dialog->CopyToLeft);
  EXPECT_TRUE(Dialog->ConfirmOverwriteLeft);
  EXPECT_FALSE(Dialog->CopyToRight);
  EXPECT_FALSE(Dialog->ConfirmOverwriteRight);
  EXPECT_FALSE(Dialog->DeleteOnLeft);
  EXPECT_TRUE(Dialog->DeleteOnRight);
  EXPECT_EQ(Dialog->DifferentFilesAction, dfaAsk);
}

TEST_F(SynchronizeDirectoriesDialogTest, DifferingFilesKeepTheirOverwriteConfirmations) {
  // A document with nothing but differing files: copying one of them to a side overwrites
  // there, so both confirmations stay available and keep their value.
  Present({dtDifferent});
  User()
      .Inspect([](THostDialog &D) {
        EXPECT_FALSE(Enabled(D, iCopyToLeft));
        EXPECT_FALSE(Enabled(D, iCopyToRight));
        EXPECT_TRUE(Enabled(D, iConfirmLeft));
        EXPECT_TRUE(Enabled(D, iConfirmRight));
        EXPECT_TRUE(Checked(D, iConfirmLeft));
        EXPECT_TRUE(Checked(D, iConfirmRight));
        for (int Item : {iAsk, iSkip, iDifferentToLeft, iDifferentToRight})
          EXPECT_TRUE(Enabled(D, Item));
      })
      .Select(iDifferentToLeft)
      .Press(Text(MOk));
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 0);
  EXPECT_TRUE(Dialog->ConfirmOverwriteLeft);
  EXPECT_TRUE(Dialog->ConfirmOverwriteRight);
  EXPECT_FALSE(Dialog->CopyToLeft);
  EXPECT_EQ(Dialog->DifferentFilesAction, dfaCopyToLeft);

  // The user may still switch a confirmation off.
  User().Clear(iConfirmRight).Select(iSkip).Press(Text(MOk));
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 0);
  EXPECT_TRUE(Dialog->ConfirmOverwriteLeft);
  EXPECT_FALSE(Dialog->ConfirmOverwriteRight);
  EXPECT_EQ(Dialog->DifferentFilesAction, dfaSkip);
}

TEST_F(SynchronizeDirectoriesDialogTest, EnabledStatesAreSetOnceWhenTheDialogOpens) {
  Present({dtOlderLeft, dtOlderRight, dtMissingRight});
  User()
      .Clear(iCopyToLeft)
      .Inspect([](THostDialog &D) {
        EXPECT_TRUE(Enabled(D, iConfirmLeft)) << "unchecking the copy leaves its confirmation alone";
        EXPECT_TRUE(Enabled(D, iDeleteOnLeft));
        EXPECT_FALSE(Enabled(D, iDeleteOnRight));
        EXPECT_FALSE(Enabled(D, iAsk));
      })
      .Check(iDeleteOnLeft)
      .Check(iSilent)
      .Check(iGlobal)
      .Press(Text(MOk));
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 0);
  EXPECT_FALSE(Dialog->CopyToLeft);
  EXPECT_TRUE(Dialog->ConfirmOverwriteLeft);
  EXPECT_TRUE(Dialog->CopyToRight);
  EXPECT_TRUE(Dialog->DeleteOnLeft);
  EXPECT_TRUE(Dialog->SilentMode);
  EXPECT_TRUE(Dialog->GlobalRemember);
  EXPECT_EQ(Dialog->DifferentFilesAction, dfaAsk) << "no differing files: ask, as selected";
}

TEST_F(SynchronizeDirectoriesDialogTest, EscapeAndTheWayBackChangeNoField) {
  Present({dtMissingLeft, dtMissingRight, dtDifferent});
  Dialog->SilentMode = true;
  User()
      .Inspect([](THostDialog &D) { EXPECT_TRUE(Checked(D, iSilent)); })
      .Clear(iCopyToLeft)
      .Check(iDeleteOnLeft)
      .Clear(iSilent)
      .Escape();
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 2);
  User().Clear(iCopyToRight).Select(iSkip).Press(Text(MSyncBackToDocument));
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 1);
  User().Press(Text(MCancel));
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 2);
  EXPECT_TRUE(Dialog->CopyToLeft);
  EXPECT_TRUE(Dialog->CopyToRight);
  EXPECT_FALSE(Dialog->DeleteOnLeft);
  EXPECT_TRUE(Dialog->SilentMode);
  EXPECT_EQ(Dialog->DifferentFilesAction, dfaAsk);
}

TEST_F(SynchronizeDirectoriesDialogTest, LayoutOfTheFixedSizeDialog) {
  Present({dtMissingLeft});
  User()
      .Inspect([this](THostDialog &D) {
        EXPECT_EQ(D.Width, 76);
        EXPECT_EQ(D.Height, 23);
        const std::pair<int, int> Rows[] = {{iCopyLabel, 2},
                                            {iCopyToLeft, 3},
                                            {iConfirmLeft, 4},
                                            {iCopyToRight, 5},
                                            {iConfirmRight, 6},
                                            {iDifferentLabel, 7},
                                            {iAsk, 8},
                                            {iSkip, 8},
                                            {iDifferentToLeft, 8},
                                            {iDifferentToRight, 8},
                                            {iDeleteLabel, 9},
                                            {iDeleteOnLeft, 10},
                                            {iDeleteOnRight, 11},
                                            {iSeparator, 12},
                                            {iSilent, 13},
                                            {iGlobal, 14},
                                            {iCountSeparator, 15},
                                            {iCopyToLeftCount, 16},
                                            {iCopyToRightCount, 17},
                                            {iDeleteCount, 18},
                                            {iButtonSeparator, 19},
                                            {iOk, 20},
                                            {iBack, 20},
                                            {iCancel, 20}};
        for (auto [Item, Row] : Rows)
          EXPECT_EQ(D.Items[Item].Item.Y1, Row) << "item " << Item;
        EXPECT_EQ(D.Items[iConfirmLeft].Item.X1, D.Items[iCopyToLeft].Item.X1 + 4);
        EXPECT_EQ(D.Items[iAsk].Item.X1, D.Items[iDifferentLabel].Item.X1 + 2);
        EXPECT_LT(D.Items[iAsk].Item.X1, D.Items[iSkip].Item.X1);
        EXPECT_LT(D.Items[iSkip].Item.X1, D.Items[iDifferentToLeft].Item.X1);
        EXPECT_LT(D.Items[iDifferentToLeft].Item.X1, D.Items[iDifferentToRight].Item.X1);
        EXPECT_EQ(D.Items[iCopyLabel].Data, Host.Msg(MSyncCopyGroup));
        EXPECT_EQ(D.Items[iBack].Data, Host.Msg(MSyncBackToDocument));
        EXPECT_EQ(D.Items[iGlobal].Data, Host.Msg(MGlobalRemember));
        EXPECT_TRUE(D.Items[iOk].Item.Flags & DIF_DEFAULTBUTTON);
      })
      .Escape();
  EXPECT_EQ(Dialog->ExecuteSynchronize(), 2);
}

} // namespace
