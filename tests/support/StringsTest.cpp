#include "Strings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

TEST(Strings, Utf8OfCharactersFromU0800UpIsCompleteThreeBytesEach) {
  // A Chinese file name: every character needs three bytes, so a result sized by character
  // count would lose two thirds of it.
  const std::wstring Name = L"\u6587\u4EF6\u540D\u5B57.txt";
  EXPECT_EQ(Hex(UnicodeToUtf8(Name)), "E6 96 87 E4 BB B6 E5 90 8D E5 AD 97 2E 74 78 74");
  EXPECT_EQ(MultiByteToUnicode(CP_UTF8, UnicodeToUtf8(Name)), Name);
}

TEST(Strings, SurrogatePairsRoundTripThroughUtf8) {
  const std::wstring Text = L"a\U0001F600b";
  ASSERT_EQ(Text.size(), 4u);
  EXPECT_EQ(Hex(UnicodeToUtf8(Text)), "61 F0 9F 98 80 62");
  EXPECT_EQ(MultiByteToUnicode(CP_UTF8, UnicodeToUtf8(Text)), Text);
}

TEST(Strings, EmptyInputGivesEmptyOutputEvenForBadCodePages) {
  EXPECT_EQ(AnsiToOem(""), "");
  EXPECT_EQ(UnicodeToUtf8(L""), "");
  EXPECT_EQ(AnsiToUnicode("", 0), L"");
  // No system call is made, so not even an unknown code page fails.
  EXPECT_EQ(MultiByteToUnicode(54321, "", 0), L"");
  EXPECT_EQ(UnicodeToMultiByte(54321, L""), "");
}

TEST(Strings, AnsiCharBelow0x80IsItself) {
  EXPECT_EQ(AnsiCharToUnicode('A'), L'A');
  EXPECT_EQ(AnsiCharToUnicode('\0'), L'\0');
  EXPECT_EQ(AnsiCharToUnicode('\x7F'), L'\x7F');
  const char High = '\xE9';
  EXPECT_EQ(AnsiCharToUnicode(High), AnsiToUnicode(&High, 1)[0]);
}

TEST(Strings, AnsiAndOemOfAsciiKeepTheBytes) {
  EXPECT_EQ(AnsiToOem("Hello, world 123"), "Hello, world 123");
  EXPECT_EQ(UnicodeToMultiByte(CP_ACP, L"abc"), "abc");
  EXPECT_EQ(AnsiToUnicode(std::string("x\0y", 3)), std::wstring(L"x\0y", 3));
}

TEST(Strings, FailedConversionsRaiseConversionFailed) {
  const auto ExpectFailure = [](auto &&Call) {
    try {
      Call();
      ADD_FAILURE() << "no exception";
    } catch (const EStringError &Error) {
      EXPECT_EQ(Error.Message(), L"Conversion failed.");
      EXPECT_STREQ(Error.ClassName(), L"EStringError");
    }
  };
  ExpectFailure([] { MultiByteToUnicode(54321, "abc", 3); });
  ExpectFailure([] { UnicodeToMultiByte(54321, L"abc"); });
}

TEST(Strings, SystemErrorMessageHasNoTrailingBreak) {
  const std::wstring Text = SystemErrorMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(Text.empty());
  EXPECT_NE(Text.back(), L'\n');
  EXPECT_NE(Text.back(), L'\r');
}
