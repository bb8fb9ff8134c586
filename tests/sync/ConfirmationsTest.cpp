// The confirmation dialogs as FAR shows them in the host: their question, rows and layout, the
// remember check box with its directory scope and keys, and the answer codes.

#include "Confirmations.h"
#include "QuestionTestSupport.h"
#include "VelmoraMessages.h"

namespace {

std::wstring ThousandsSeparator() {
  wchar_t Buffer[8];
  int N = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, Buffer, 8);
  return N > 1 ? std::wstring(Buffer, N - 1) : L",";
}

std::wstring TimeSeparator() {
  wchar_t Buffer[8];
  int N = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, Buffer, 8);
  return N > 1 ? std::wstring(Buffer, N - 1) : L":";
}

TEST(ConfirmationTextTest, SizesAreGroupedAndLargeOnesShownInMiB) {
  const std::wstring S = ThousandsSeparator();
  EXPECT_EQ(FormatFileSizeText(0, L"?"), L"0");
  EXPECT_EQ(FormatFileSizeText(999, L"?"), L"999");
  EXPECT_EQ(FormatFileSizeText(1000, L"?"), L"1" + S + L"000");
  EXPECT_EQ(FormatFileSizeText(999999999999LL, L"?"), L"999" + S + L"999" + S + L"999" + S + L"999");
  EXPECT_EQ(FormatFileSizeText(1000000000000LL, L"?"), L"953" + S + L"674 MiB");
  EXPECT_EQ(FormatFileSizeText(2000000000000LL, L"?"), L"1" + S + L"907" + S + L"348 MiB");
  EXPECT_EQ(FormatFileSizeText(-1, L"n/a"), L"n/a");
}

TEST(ConfirmationTextTest, DayCountsAreShownAsDayMonthYearAndTime) {
  const std::wstring T = TimeSeparator();
  // 29 February 2024, 13:05:09.
  EXPECT_EQ(FormatDayCountText(45351 + 47109.0 / 86400), L"29.02.2024 13" + T + L"05" + T + L"09");
  EXPECT_EQ(FormatDayCountText(2), L"01.01.1900 00" + T + L"00" + T + L"00");
  // A time that rounds up to midnight is the next day.
  EXPECT_EQ(FormatDayCountText(45351.9999999999), L"01.03.2024 00" + T + L"00" + T + L"00");
}

class ConfirmationsTest : public QuestionTest {
protected:
  std::wstring Text(int Message) { return HostStripHotKey(Host.Msg(Message)); }
  // Looks at the running dialog, then leaves it with Escape.
  void InspectThenEscape(std::function<void(THostDialog &)> Look) {
    User().Inspect(std::move(Look)).Escape();
  }
  static int Top(const THostDialog &Dialog, int Item) { return static_cast<int>(Dialog.Items[Item].Item.Y1); }
  static bool Hidden(const THostDialog &Dialog, int Item) {
    return (Dialog.Items[Item].Item.Flags & DIF_HIDDEN) != 0;
  }
  static std::wstring ItemText(const THostDialog &Dialog, int Item) { return Dialog.Items[Item].Data; }
  static bool StartsWith(const std::wstring &Text, const std::wstring &Start) {
    return Text.compare(0, Start.size(), Start) == 0;
  }
};

TEST_F(ConfirmationsTest, OverwriteOfAReadOnlyFileOnTheRight) {
  std::wstring Source = MakeFile(L"left\\f.txt", "new text");
  std::wstring Target = MakeFile(L"right\\f.txt", "old", true);
  auto Dialog = TFarDialog::Create<TOverwriteConfirmationDialog>();
  Dialog->SourceFileName = Source;
  Dialog->TargetFileName = L"\\\\?\\" + Target;
  Dialog->ReadOnly = true;
  Dialog->ToLeft = false;
  Dialog->SetDirectory(Under(L"right\\"));
  InspectThenEscape([&](THostDialog &D) {
    EXPECT_EQ(D.Height, 14);
    EXPECT_TRUE(D.Flags & FDLG_WARNING);
    EXPECT_EQ(ItemText(D, 0), Host.Msg(MTitle));
    EXPECT_EQ(ItemText(D, 1), Host.Msg(MReadOnlyFileRight));
    // The header shows the existing file in display form; the source row comes first.
    EXPECT_TRUE(StartsWith(ItemText(D, 2), Target));
    EXPECT_TRUE(StartsWith(ItemText(D, 4), Host.Msg(MOverwriteSourceRow).substr(0, 5)));
    EXPECT_TRUE(StartsWith(ItemText(D, 5), Host.Msg(MOverwriteTargetRow).substr(0, 5)));
    EXPECT_NE(ItemText(D, 4).find(L" 8 "), std::wstring::npos) << "the source's size";
    EXPECT_NE(ItemText(D, 5).find(L" 3 "), std::wstring::npos) << "the target's size";
    // Rows: question 2, header 3, separator 4, info 5 and 6, separator 7, check box 8, edit 9,
    // separator 10, buttons 11.
    const int Rows[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11, 11, 11};
    for (int Item = 1; Item <= 13; ++Item)
      EXPECT_EQ(Top(D, Item), Rows[Item - 1]) << "item " << Item;
    EXPECT_EQ(ItemText(D, 7), Host.Msg(MRememberForDirectory));
    EXPECT_EQ(ItemText(D, 8), Under(L"right"));
    EXPECT_TRUE(D.Items[8].Item.Flags & DIF_DISABLE) << "the scope is editable once the box is checked";
    EXPECT_EQ(ItemText(D, 10), Host.Msg(MOverwrite));
    EXPECT_EQ(ItemText(D, 11), Host.Msg(MSkip));
    EXPECT_TRUE(D.Items[10].Item.Flags & DIF_DEFAULTBUTTON);
    EXPECT_TRUE(Hidden(D, 12)) << "no compare without a handler";
    EXPECT_EQ(D.Focus, 7) << "the remember check box has the focus";
    EXPECT_EQ(static_cast<int>(ItemText(D, 4).size()),
              static_cast<int>(D.Items[4].Item.X2 - D.Items[4].Item.X1 + 1));
  });
  EXPECT_EQ(Dialog->Ask(), caCancel);
  EXPECT_FALSE(Dialog->GetRemember());
  EXPECT_EQ(Dialog->GetDirectory(), Under(L"right")) << "Escape keeps the directory";
}

TEST_F(ConfirmationsTest, DeleteOfADirectoryShowsItsRowAsADirectory) {
  std::wstring Directory = MakeDirectory(L"gone");
  auto Dialog = TFarDialog::Create<TDeleteConfirmationDialog>();
  Dialog->FileName = Directory;
  Dialog->OnLeft = true;
  Dialog->IsDirectory = true;
  InspectThenEscape([&](THostDialog &D) {
    EXPECT_EQ(D.Height, 13);
    EXPECT_EQ(ItemText(D, 1), Host.Msg(MDeleteDirectoryLeft));
    EXPECT_TRUE(StartsWith(ItemText(D, 4), Host.Msg(MDeleteDirectoryRow).substr(0, 5)));
    EXPECT_NE(ItemText(D, 4).find(Host.Msg(MDirectorySize)), std::wstring::npos);
    EXPECT_EQ(ItemText(D, 4).find(L'?'), std::wstring::npos) << "a directory has a date";
    EXPECT_EQ(ItemText(D, 9), Host.Msg(MDelete));
  });
  EXPECT_EQ(Dialog->Ask(), caCancel);

  auto ReadOnly = TFarDialog::Create<TDeleteConfirmationDialog>();
  ReadOnly->FileName = Under(L"missing.txt");
  ReadOnly->ReadOnly = true;
  InspectThenEscape([&](THostDialog &D) {
    EXPECT_EQ(ItemText(D, 1), Host.Msg(MReadOnlyFileRight));
    EXPECT_TRUE(StartsWith(ItemText(D, 4), Host.Msg(MDeleteFileRow).substr(0, 5)));
    // A file that cannot be examined shows "?" for its size and its date.
    std::wstring Row = ItemText(D, 4);
    while (!Row.empty() && Row.back() == L' ')
      Row.pop_back();
    EXPECT_EQ(Row.substr(Row.size() - 1), L"?");
    EXPECT_NE(Row.find(L"?" + std::wstring(21, L' ') + L"?"), std::wstring::npos);
  });
  EXPECT_EQ(ReadOnly->Ask(), caCancel);
}

TEST_F(ConfirmationsTest, RetryWithoutMessageHasTheFileRightUnderTheQuestion) {
  auto Dialog = TFarDialog::Create<TRetrySkipCancelDialog>();
  Dialog->FileName = L"\\\\?\\C:\\some\\file.txt";
  InspectThenEscape([&](THostDialog &D) {
    EXPECT_EQ(D.Height, 11);
    EXPECT_EQ(ItemText(D, 1), L"");
    EXPECT_TRUE(D.Items[1].Item.Flags & DIF_LEFTTEXT);
    EXPECT_TRUE(Hidden(D, 2));
    EXPECT_TRUE(Hidden(D, 3));
    EXPECT_EQ(Top(D, 4), 3);
    EXPECT_TRUE(StartsWith(ItemText(D, 4), L"C:\\some\\file.txt"));
    EXPECT_EQ(Top(D, 6), 5) << "check box";
    EXPECT_EQ(Top(D, 7), 6) << "directory edit";
    EXPECT_EQ(ItemText(D, 9), Host.Msg(MRetry));
  });
  EXPECT_EQ(Dialog->Ask(), caCancel);
}

TEST_F(ConfirmationsTest, RetryWithTwoFilesShowsThreeRows) {
  auto Dialog = TFarDialog::Create<TRetrySkipCancelDialog2>();
  Dialog->MessageId = MFailureCopy;
  Dialog->FileName = L"C:\\src.txt";
  Dialog->SecondMessageId = MFailureCopyTarget;
  Dialog->SecondFileName = L"D:\\dst.txt";
  InspectThenEscape([&](THostDialog &D) {
    EXPECT_EQ(D.Height, 13);
    EXPECT_EQ(ItemText(D, 1), Host.Msg(MFailureCopy));
    EXPECT_TRUE(StartsWith(ItemText(D, 4), L"C:\\src.txt"));
    EXPECT_EQ(ItemText(D, 5), Host.Msg(MFailureCopyTarget));
    EXPECT_TRUE(StartsWith(ItemText(D, 6), L"D:\\dst.txt"));
    EXPECT_EQ(Top(D, 4), 3);
    EXPECT_EQ(Top(D, 6), 5);
  });
  EXPECT_EQ(Dialog->Ask(), caCancel);
  EXPECT_THROW(Dialog->GetLabelInfo(3), EListError);
  EXPECT_EQ(Dialog->GetLabelInfo(2)->GetIndex(), 6);
}

TEST_F(ConfirmationsTest, EnterAnswersSkipAboutDifferingFiles) {
  std::wstring Left = MakeFile(L"L\\x.txt", "left");
  std::wstring Right = MakeFile(L"R\\x.txt", "right");
  auto Dialog = TFarDialog::Create<TWhatToDoWithDifferentFilesDialog>();
  Dialog->FileName = L"x.txt";
  Dialog->LeftPath = Left;
  Dialog->RightPath = Right;
  User()
      .Inspect([&](THostDialog &D) {
        EXPECT_EQ(D.Height, 14);
        EXPECT_EQ(ItemText(D, 1), Host.Msg(MDifferentFilesQuestion));
        EXPECT_TRUE(StartsWith(ItemText(D, 2), L"x.txt"));
        EXPECT_TRUE(StartsWith(ItemText(D, 4), Host.Msg(MDifferentFilesLeftRow).substr(0, 4)));
        EXPECT_TRUE(StartsWith(ItemText(D, 5), Host.Msg(MDifferentFilesRightRow).substr(0, 4)));
        EXPECT_EQ(ItemText(D, 10), Host.Msg(MCopyToLeftAction));
        EXPECT_EQ(ItemText(D, 11), Host.Msg(MCopyToRightAction));
        EXPECT_TRUE(D.Items[12].Item.Flags & DIF_DEFAULTBUTTON) << "Skip";
      })
      .Enter();
  EXPECT_EQ(Dialog->Ask(), waSkip);
  EXPECT_THROW(Dialog->GetLabelInfo(2), EListError);

  User().Check(Text(MRememberForDirectory)).Press(Text(MCopyToLeftAction));
  EXPECT_EQ(Dialog->Ask(), waFirstRemember);
  User().Check(Text(MRememberForDirectory)).Escape();
  EXPECT_EQ(Dialog->Ask(), waCancel) << "Escape cancels whatever the check box says";
  EXPECT_FALSE(Dialog->GetRemember());
}

TEST_F(ConfirmationsTest, GlobalRememberHidesTheScopeAndTakesARowOff) {
  auto Dialog = TFarDialog::Create<TOverwriteConfirmationDialog>();
  Dialog->SourceFileName = L"C:\\a";
  Dialog->TargetFileName = L"C:\\b";
  Dialog->SetDirectory(L"C:\\dir");
  Dialog->SetGlobal(true);
  EXPECT_EQ(Dialog->GetDirectory(), L"");
  User()
      .Inspect([&](THostDialog &D) {
        EXPECT_EQ(D.Height, 13);
        EXPECT_EQ(ItemText(D, 7), Host.Msg(MRememberGlobal));
        EXPECT_TRUE(Hidden(D, 8));
        EXPECT_EQ(Top(D, 7), 8) << "right above the button separator";
      })
      .Check(Text(MRememberGlobal))
      .Press(Text(MSkip));
  EXPECT_EQ(Dialog->Ask(), caSecondRemember);
  EXPECT_EQ(Dialog->GetDirectory(), L"");
  Dialog->SetGlobal(false);
  EXPECT_EQ(Dialog->GetDirectory(), L"") << "the answer was remembered everywhere";
}

TEST_F(ConfirmationsTest, KeysOnTheCheckBoxEditTheScope) {
  auto Dialog = TFarDialog::Create<TDeleteConfirmationDialog>();
  Dialog->FileName = L"C:\\a\\b\\c.txt";
  Dialog->SetDirectory(L"C:\\a\\b");
  auto EditIs = [&](const std::wstring &Expected) {
    User().Inspect([this, Expected](THostDialog &D) { EXPECT_EQ(ItemText(D, 7), Expected); });
  };
  // Items: check box 6, directory edit 7.
  User().Key(6, VK_BACK);
  EditIs(L"C:\\a");
  User().Key(6, VK_BACK);
  EditIs(L"C:");
  User().Key(6, VK_BACK);
  EditIs(L"");
  User().Key(6, VK_F5);
  EditIs(L"C:\\a\\b");
  User().Key(6, VK_DELETE);
  EditIs(L"");
  User().Key(6, VK_F5).Key(6, VK_BACK, LEFT_CTRL_PRESSED);
  EditIs(L"C:\\a\\b");
  User().Check(6).Type(7, L"D:\\other\\").Press(Text(MDelete));
  EXPECT_EQ(Dialog->Ask(), caFirstRemember);
  EXPECT_TRUE(Dialog->GetRemember());
  EXPECT_EQ(Dialog->GetDirectory(), L"D:\\other") << "without the trailing backslash";
}

TEST_F(ConfirmationsTest, TheScopeIsShownWithoutTheLongPrefixAndRememberedWithIt) {
  auto Dialog = TFarDialog::Create<TDeleteConfirmationDialog>();
  Dialog->FileName = L"\\\\?\\C:\\a\\b\\c.txt";
  Dialog->SetDirectory(L"\\\\?\\UNC\\server\\share\\b");
  User()
      .Inspect([this](THostDialog &D) { EXPECT_EQ(ItemText(D, 7), L"\\\\server\\share\\b"); })
      .Key(6, VK_BACK)
      .Check(6)
      .Press(Text(MDelete));
  EXPECT_EQ(Dialog->Ask(), caFirstRemember);
  EXPECT_EQ(Dialog->GetDirectory(), L"\\\\?\\UNC\\server\\share") << "the key the run's paths are in";
}

TEST_F(ConfirmationsTest, CompareRunsItsHandlerAndKeepsTheQuestionOpen) {
  auto Dialog = TFarDialog::Create<TOverwriteConfirmationDialog>();
  Dialog->SourceFileName = L"C:\\a";
  Dialog->TargetFileName = L"C:\\b";
  int Compared = 0;
  Dialog->OnCompare = [&](TConfirmationDialog *Sender) {
    EXPECT_EQ(Sender, Dialog.get());
    ++Compared;
  };
  User()
      .Inspect([&](THostDialog &D) { EXPECT_FALSE(Hidden(D, 12)); })
      .Press(Text(MCompare))
      .Inspect([&](THostDialog &D) {
        EXPECT_FALSE(D.Closed);
        EXPECT_EQ(D.Focus, 7) << "back on the check box";
      })
      .Press(Text(MOverwrite));
  EXPECT_EQ(Dialog->Ask(), caFirst);
  EXPECT_EQ(Compared, 1);
}

TEST_F(ConfirmationsTest, FileRowsAreExactlyAsWideAsAsked) {
  std::wstring File = MakeFile(L"sized.bin", std::string(1234, 'x'));
  std::wstring Row = TConfirmationDialog::FormatFileLine(MOverwriteSourceRow, File, 70);
  ASSERT_EQ(Row.size(), 70u);
  EXPECT_EQ(Row.substr(30, 3), L"   ");
  EXPECT_EQ(Row.substr(33, 15), std::wstring(10, L' ') + L"1" + ThousandsSeparator() + L"234");
  EXPECT_EQ(Row[48], L' ');
  EXPECT_EQ(Row.substr(49, 2), L"  ") << "a 19-character date right-aligned in 21 columns";
  std::wstring Missing = TConfirmationDialog::FormatFileLine(MOverwriteSourceRow, Under(L"none"), 40);
  EXPECT_EQ(Missing, L"   " + std::wstring(14, L' ') + L"? " + std::wstring(20, L' ') + L"?");
}

} // namespace
