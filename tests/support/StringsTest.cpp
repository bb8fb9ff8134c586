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

TEST(Strings, Utf8MatchesTheSystemForAnyUtf16Text) {
  // Random code units, unpaired surrogates included: every byte must be what the system's own
  // conversion gives.
  const auto System = [](const std::wstring &Text) {
    const int Size = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string Bytes(static_cast<size_t>(Size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Bytes.data(), Size, nullptr,
                          nullptr);
    return Bytes;
  };
  const wchar_t Samples[] = {L'a',      L'\x7F',   L'\x80',   L'\x7FF',  L'\x800',
                             L'\xD7FF', L'\xD800', L'\xDBFF', L'\xDC00', L'\xDFFF',
                             L'\xE000', L'\xFFFF', L'\x4E2D', L'\x00E9', L' '};
  unsigned Seed = 7;
  std::string Reused;
  for (int Round = 0; Round < 3000; ++Round) {
    std::wstring Text;
    const int Length = 1 + Round % 17;
    for (int Index = 0; Index < Length; ++Index) {
      Seed = Seed * 1103515245 + 12345;
      Text.push_back(Samples[(Seed >> 16) % (sizeof(Samples) / sizeof(Samples[0]))]);
    }
    const std::string Expected = System(Text);
    ASSERT_EQ(Hex(UnicodeToUtf8(Text)), Hex(Expected)) << "round " << Round;
    UnicodeToUtf8(Text.data(), Text.size(), Reused);
    ASSERT_EQ(Reused, Expected) << "round " << Round;
  }
}

TEST(Strings, Utf8OfOneOtherUnitAnywhereInARunOfAscii) {
  // Runs of ASCII are encoded in blocks of sixteen units: a unit that needs more bytes, or the
  // system's help, must come out right at every offset and for every run length around a block.
  const auto System = [](const std::wstring &Text) {
    const int Size = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string Bytes(static_cast<size_t>(Size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Bytes.data(), Size, nullptr,
                          nullptr);
    return Bytes;
  };
  const std::wstring Others[] = {L"\x80", L"\x7FF", L"\x800", L"\xFFFF", L"\U0001F600", L"\xD800", L"\xDC00"};
  for (size_t Length = 1; Length <= 50; ++Length) {
    const std::wstring Run(Length, L'r');
    ASSERT_EQ(UnicodeToUtf8(Run), std::string(Length, 'r'));
    for (const std::wstring &Other : Others)
      for (size_t At = 0; At <= Length; ++At) {
        const std::wstring Text = Run.substr(0, At) + Other + Run.substr(At);
        ASSERT_EQ(Hex(UnicodeToUtf8(Text)), Hex(System(Text))) << Length << " " << At;
      }
  }
}
