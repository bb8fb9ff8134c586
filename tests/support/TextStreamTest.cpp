#include "Streams.h"
#include "Strings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t ModeRead = fmOpenRead | fmShareDenyWrite;           // 32
constexpr uint32_t ModeReadWrite = fmOpenReadWrite | fmShareDenyWrite; // 34

std::vector<std::wstring> ReadLines(const std::wstring &Name) {
  TTextStream Input(Name, ModeRead);
  std::vector<std::wstring> Lines;
  std::wstring Line;
  while (Input.ReadLine(Line))
    Lines.push_back(Line);
  return Lines;
}

std::vector<std::wstring> LinesOf(const TTempFolder &Folder, const std::string &Bytes) {
  const std::wstring Name = Folder.File(L"lines.txt");
  WriteAllBytes(Name, Bytes);
  return ReadLines(Name);
}

std::wstring CharsOf(const TTempFolder &Folder, const std::string &Bytes) {
  const std::wstring Name = Folder.File(L"chars.txt");
  WriteAllBytes(Name, Bytes);
  TTextStream Input(Name, ModeRead);
  std::wstring Result;
  wchar_t Char;
  while (Input.ReadChar(Char))
    Result.push_back(Char);
  return Result;
}

TTextEncoding DetectedEncoding(const TTempFolder &Folder, const std::string &Bytes,
                               bool *BigEndian = nullptr) {
  const std::wstring Name = Folder.File(L"detect.txt");
  WriteAllBytes(Name, Bytes);
  TTextStream Input(Name, ModeRead);
  if (BigEndian)
    *BigEndian = Input.GetBigEndian();
  return Input.GetEncoding();
}

using TLines = std::vector<std::wstring>;

std::string Utf16Le(const std::wstring &Text) {
  std::string Result;
  for (wchar_t Unit : Text) {
    Result.push_back(static_cast<char>(Unit & 0xFF));
    Result.push_back(static_cast<char>(Unit >> 8));
  }
  return Result;
}

std::string Utf16Be(const std::wstring &Text) {
  std::string Result;
  for (wchar_t Unit : Text) {
    Result.push_back(static_cast<char>(Unit >> 8));
    Result.push_back(static_cast<char>(Unit & 0xFF));
  }
  return Result;
}

} // namespace

TEST(TextStreamWrite, NewUtf8FileGetsTheMarkAndCrLf) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"new.txt");
  {
    TTextStream Output(Name, fmCreate);
    EXPECT_EQ(Output.GetEncoding(), teUndetermined);
    EXPECT_EQ(Output.GetDefaultEncoding(), teUtf8);
    EXPECT_EQ(Output.GetLineBreak(), L"\r\n");
    Output.SetEncoding(teUtf8);
    Output.WriteLine(L"abc");
    Output.Flush();
  }
  EXPECT_EQ(Hex(ReadAllBytes(Name)), "EF BB BF 61 62 63 0D 0A");
}

TEST(TextStreamWrite, EmptyLineOnANewFileIsTheMarkAndTheBreak) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"new.txt");
  {
    TTextStream Output(Name, fmCreate);
    Output.WriteText(L"");
    Output.WriteLine(L"");
    Output.Flush();
  }
  EXPECT_EQ(Hex(ReadAllBytes(Name)), "EF BB BF 0D 0A");
}

TEST(TextStreamWrite, EachEncodingWritesItsOwnBytes) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"enc.txt");
  const auto Written = [&](TTextEncoding Encoding, const std::wstring &Text) {
    {
      TTextStream Output(Name, fmCreate);
      Output.SetEncoding(Encoding);
      Output.WriteLine(Text);
      Output.Flush();
    }
    return Hex(ReadAllBytes(Name));
  };
  EXPECT_EQ(Written(teUtf16, L"a\u00E9\U0001F600"), "FF FE 61 00 E9 00 3D D8 00 DE 0D 00 0A 00");
  EXPECT_EQ(Written(teUtf8, L"a\u00E9\U0001F600"), "EF BB BF 61 C3 A9 F0 9F 98 80 0D 0A");
  EXPECT_EQ(Written(teAnsi, L"abc"), "61 62 63 0D 0A");
  EXPECT_EQ(Written(teOem, L"abc"), "61 62 63 0D 0A");
  EXPECT_EQ(Written(teAnsi, L"\u00E9"), Hex(UnicodeToMultiByte(CP_ACP, L"\u00E9") + "\r\n"));
  EXPECT_EQ(Written(teOem, L"\u00E9"), Hex(AnsiToOem(UnicodeToMultiByte(CP_ACP, L"\u00E9")) + "\r\n"));
}

TEST(TextStreamWrite, MarkOnlyAtTheStartAndLineBreakIsConfigurable) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"mark.txt");
  {
    TTextStream Output(Name, fmCreate);
    Output.SetEncoding(teAnsi);
    Output.WriteText(L"x");
    // Not at position 0: no mark, only the encoding changes.
    Output.SetEncoding(teUtf16);
    Output.SetLineBreak(L"\n");
    Output.WriteLine(L"y");
    Output.Flush();
  }
  EXPECT_EQ(Hex(ReadAllBytes(Name)), "78 79 00 0A 00");
}

TEST(TextStreamWrite, InvalidEncodingRaisesAWriteError) {
  TTempFolder Folder;
  {
    TTextStream Output(Folder.File(L"bad.txt"), fmCreate);
    Output.SetEncoding(static_cast<TTextEncoding>(7));
    try {
      Output.WriteText(L"x");
      ADD_FAILURE() << "no exception";
    } catch (const EWriteError &Error) {
      EXPECT_EQ(Error.Message(), L"Invalid encoding");
    }
  }
  {
    TTextStream Output(Folder.File(L"bad2.txt"), fmCreate);
    Output.SetDefaultEncoding(teUndetermined);
    EXPECT_THROW(Output.WriteLine(L"x"), EWriteError);
  }
}

TEST(TextStreamRead, LineBreaksOfEveryKind) {
  TTempFolder Folder;
  EXPECT_EQ(LinesOf(Folder, Bytes("EF BB BF 61 0D 0A 62")), (TLines{L"a", L"b"}));
  EXPECT_EQ(LinesOf(Folder, Bytes("61 0D 62")), (TLines{L"a", L"b"}));
  EXPECT_EQ(LinesOf(Folder, Bytes("61 0A 0A 62")), (TLines{L"a", L"", L"b"}));
  EXPECT_EQ(LinesOf(Folder, Bytes("61 0D 0D 0A 62 0A")), (TLines{L"a", L"", L"b"}));
  EXPECT_EQ(LinesOf(Folder, Bytes("61 0D 0A")), (TLines{L"a"}));
  EXPECT_EQ(LinesOf(Folder, Bytes("0D 0A")), (TLines{L""}));
  EXPECT_EQ(LinesOf(Folder, Bytes("0D")), (TLines{L""}));
  EXPECT_EQ(LinesOf(Folder, ""), (TLines{}));
  EXPECT_EQ(LinesOf(Folder, Bytes("EF BB BF")), (TLines{}));
  EXPECT_EQ(LinesOf(Folder, Bytes("EF BB BF 0D 0A")), (TLines{L""}));
  // A character after a lone CR is read again whole, surrogate pair included.
  EXPECT_EQ(LinesOf(Folder, Bytes("EF BB BF 61 0D F0 9F 98 80 0D 0A")), (TLines{L"a", L"\U0001F600"}));
  EXPECT_EQ(LinesOf(Folder, Bytes("FF FE 61 00 0D 00 62 00 0A 00")), (TLines{L"a", L"b"}));
  EXPECT_EQ(LinesOf(Folder, Bytes("FE FF 00 61 00 0D 00 0A 00 62")), (TLines{L"a", L"b"}));
}

TEST(TextStreamRead, Utf8DecodesSurrogatesAndMalformedSequences) {
  TTempFolder Folder;
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF F0 9F 98 80")), L"\xD83D\xDE00");
  // C3 expects one continuation byte; 41 is none and starts the next character.
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF C3 41")), L"\x0003"
                                                      L"A");
  // Stray continuation bytes, FE and FF stand for themselves.
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF 80 BF FE FF 62")), L"\x0080\x00BF\x00FE\x00FF"
                                                               L"b");
  // A sequence cut by the end of the file gives what it has.
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF 61 E2 82")), L"a\x0082");
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF E2 82 AC")), L"\u20AC");
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF F4 8F BF BF")), L"\xDBFF\xDFFF");
}

TEST(TextStreamRead, CodePointsBeyondUnicodeGiveOneQuestionMark) {
  TTempFolder Folder;
  // 0x110000, 0x1FFFFF, 0x200000 (five bytes), 0xFFFFFF and 0x7FFFFFFF (six bytes), each followed
  // by a letter that must come next, not the half of a surrogate pair.
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF F4 90 80 80 61")), L"?a");
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF F7 BF BF BF 62")), L"?b");
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF F8 88 80 80 80 63")), L"?c");
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF F8 BF BF BF BF 64")), L"?d");
  EXPECT_EQ(CharsOf(Folder, Bytes("EF BB BF FD BF BF BF BF BF 65")), L"?e");
}

TEST(TextStreamRead, PendingLowSurrogateSurvivesAskingForThePosition) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"pair.txt");
  WriteAllBytes(Name, Bytes("EF BB BF F0 9F 98 80"));
  TTextStream Input(Name, ModeRead);
  wchar_t Char;
  ASSERT_TRUE(Input.ReadChar(Char));
  EXPECT_EQ(Char, 0xD83D);
  EXPECT_EQ(Input.GetPosition(), 7);
  EXPECT_FALSE(Input.EndOfStream());
  ASSERT_TRUE(Input.ReadChar(Char));
  EXPECT_EQ(Char, 0xDE00);
  EXPECT_TRUE(Input.EndOfStream());
  EXPECT_FALSE(Input.ReadChar(Char));
  std::wstring Line = L"stale";
  EXPECT_FALSE(Input.ReadLine(Line));
  EXPECT_EQ(Line, L"");
}

TEST(TextStreamDetect, ByteOrderMarks) {
  TTempFolder Folder;
  bool BigEndian = true;
  EXPECT_EQ(DetectedEncoding(Folder, Bytes("FF FE 61 00"), &BigEndian), teUtf16);
  EXPECT_FALSE(BigEndian);
  EXPECT_EQ(DetectedEncoding(Folder, Bytes("FE FF 00 61"), &BigEndian), teUtf16);
  EXPECT_TRUE(BigEndian);
  EXPECT_EQ(DetectedEncoding(Folder, Bytes("EF BB BF 61")), teUtf8);
  // An odd size cannot be UTF-16, whatever its first bytes.
  EXPECT_EQ(DetectedEncoding(Folder, Bytes("FF FE 61")), teAnsi);
  EXPECT_EQ(DetectedEncoding(Folder, Bytes("61")), teAnsi);
  EXPECT_EQ(DetectedEncoding(Folder, ""), teUndetermined);
  EXPECT_EQ(LinesOf(Folder, Bytes("FF FE 61")), (TLines{AnsiToUnicode(Bytes("FF FE 61"))}));
}

TEST(TextStreamDetect, FilesWithoutAMark) {
  TTempFolder Folder;
  const std::wstring Accented = L"Cr\u00E8me br\u00FBl\u00E9e, na\u00EFve caf\u00E9";
  EXPECT_EQ(DetectedEncoding(Folder, "plain ASCII text\r\n"), teAnsi);
  EXPECT_EQ(DetectedEncoding(Folder, UnicodeToUtf8(Accented)), teUtf8);
  EXPECT_EQ(LinesOf(Folder, UnicodeToUtf8(Accented) + "\r\nx"), (TLines{Accented, L"x"}));
  const std::string Single = UnicodeToMultiByte(1252, Accented);
  EXPECT_EQ(DetectedEncoding(Folder, Single), teAnsi);
  EXPECT_EQ(LinesOf(Folder, Single), (TLines{AnsiToUnicode(Single)}));

  bool BigEndian = true;
  const std::wstring Text = L"A line of text that is long enough to judge.\r\nSecond.";
  EXPECT_EQ(DetectedEncoding(Folder, Utf16Le(Text), &BigEndian), teUtf16);
  EXPECT_FALSE(BigEndian);
  EXPECT_EQ(LinesOf(Folder, Utf16Le(Text)),
            (TLines{L"A line of text that is long enough to judge.", L"Second."}));
  EXPECT_EQ(DetectedEncoding(Folder, Utf16Be(Text), &BigEndian), teUtf16);
  EXPECT_TRUE(BigEndian);
  EXPECT_EQ(LinesOf(Folder, Utf16Be(Text)),
            (TLines{L"A line of text that is long enough to judge.", L"Second."}));
  // Too few zero bytes to tell UTF-16; zero bytes are valid UTF-8.
  EXPECT_EQ(DetectedEncoding(Folder, Utf16Le(L"short")), teUtf8);
}

TEST(TextStreamDetect, SequenceCutByTheSampleStillCountsAsUtf8) {
  TTempFolder Folder;
  // The euro sign's three bytes straddle the end of the 16384-byte sample.
  std::string Text(16383, 'a');
  Text += "\xE2\x82\xAC tail";
  EXPECT_EQ(DetectedEncoding(Folder, Text), teUtf8);
  // An invalid sequence inside the sample: ANSI.
  EXPECT_EQ(DetectedEncoding(Folder, std::string(100, 'a') + "\xC3\x41" + std::string(100, 'b')), teAnsi);
}

TEST(TextStreamAppend, Mode34AppendsInTheDetectedEncoding) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"append.txt");
  const auto Appended = [&](const std::string &Existing) {
    WriteAllBytes(Name, Existing);
    {
      TTextStream Output(Name, ModeReadWrite);
      Output.Seek(0, soEnd);
      Output.WriteLine(L"b\u00E9");
      Output.Flush();
    }
    return Hex(ReadAllBytes(Name));
  };
  EXPECT_EQ(Appended(Bytes("EF BB BF 61 0D 0A")), "EF BB BF 61 0D 0A 62 C3 A9 0D 0A");
  EXPECT_EQ(Appended(Bytes("FF FE 61 00 0D 00 0A 00")), "FF FE 61 00 0D 00 0A 00 62 00 E9 00 0D 00 0A 00");
  EXPECT_EQ(Appended(Bytes("FE FF 00 61 00 0D 00 0A")), "FE FF 00 61 00 0D 00 0A 00 62 00 E9 00 0D 00 0A");
  EXPECT_EQ(Appended("a\r\n"), Hex("a\r\nb" + UnicodeToMultiByte(CP_ACP, L"\u00E9") + "\r\n"));
  // An existing but empty file is new text: it gets the mark.
  EXPECT_EQ(Appended(""), "EF BB BF 62 C3 A9 0D 0A");
}

TEST(TextStreamAppend, HeaderThenAppendedLinesReadBack) {
  // The way the differences document is made: created with a header, closed, reopened in mode 34
  // to append, closed, read back in mode 32.
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"document.txt");
  {
    TTextStream Header(Name, fmCreate);
    Header.SetEncoding(teUtf8);
    Header.WriteLine(L"Title \u6587\u4EF6");
    Header.WriteLine(L"");
    Header.Flush();
  }
  {
    TTextStream Output(Name, ModeReadWrite);
    EXPECT_EQ(Output.GetEncoding(), teUtf8);
    Output.SetPosition(Output.GetSize());
    Output.WriteLine(L"==>>\tsub\\file \U0001F600.txt");
    Output.Flush();
  }
  EXPECT_EQ(ReadLines(Name), (TLines{L"Title \u6587\u4EF6", L"", L"==>>\tsub\\file \U0001F600.txt"}));
  // Mode 32 lets others read, not write.
  TTextStream Input(Name, ModeRead);
  HANDLE Writer = ::CreateFileW(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(Writer, INVALID_HANDLE_VALUE);
  if (Writer != INVALID_HANDLE_VALUE)
    ::CloseHandle(Writer);
}

TEST(TextStreamRoundTrip, ManyLinesAcrossBufferBoundaries) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"many.txt");
  // Lines of varying length mixing one-, two-, three- and four-byte characters, so that breaks
  // and multi-byte sequences fall on every offset of the 16384-byte buffer.
  TLines Lines;
  const std::wstring Pieces[] = {L"a", L"\u00E9", L"\u6587", L"\U0001F600", L"\t", L" "};
  for (int Index = 0; Index < 6000; ++Index) {
    std::wstring Line;
    for (int Part = 0; Part < Index % 23; ++Part)
      Line += Pieces[(Index + Part * 7) % 6];
    Lines.push_back(Line);
  }
  for (TTextEncoding Encoding : {teUtf8, teUtf16}) {
    {
      TTextStream Output(Name, fmCreate);
      Output.SetEncoding(Encoding);
      for (const std::wstring &Line : Lines)
        Output.WriteLine(Line);
      Output.Flush();
    }
    ASSERT_GT(ReadAllBytes(Name).size(), 3u * TTextStream::TextBufferSize);
    EXPECT_EQ(ReadLines(Name), Lines) << "encoding " << int(Encoding);
  }
}

TEST(TextStreamOpen, FailuresRaiseTheFileStreamsExceptions) {
  TTempFolder Folder;
  EXPECT_THROW(TTextStream(Folder.File(L"missing.txt"), ModeRead), EFOpenError);
  EXPECT_THROW(TTextStream(Folder.File(L"missing\\x.txt"), fmCreate), EFCreateError);
  WriteAllBytes(Folder.File(L"old.txt"), "old contents that are replaced");
  {
    TTextStream Output(Folder.File(L"old.txt"), fmCreate);
    Output.WriteLine(L"new");
    Output.Flush();
  }
  EXPECT_EQ(Hex(ReadAllBytes(Folder.File(L"old.txt"))), "EF BB BF 6E 65 77 0D 0A");
}
