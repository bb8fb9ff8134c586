// Lines and characters read and written in whole blocks must be exactly those of the
// character-by-character rules, wherever the 16384-byte buffer happens to cut the data. The
// readers here are checked against a plain model of those rules on text built to put every kind
// of character, malformed ones included, on every side of a buffer boundary.
#include "Streams.h"
#include "Strings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using TLines = std::vector<std::wstring>;

constexpr uint32_t ModeRead = fmOpenRead | fmShareDenyWrite;
constexpr uint32_t ModeReadWrite = fmOpenReadWrite | fmShareDenyWrite;
constexpr size_t Block = TTextStream::TextBufferSize;
const std::string Utf8Mark = "\xEF\xBB\xBF";

// The decoding rules one byte at a time, over the bytes after the mark.
class TUtf8Model {
public:
  explicit TUtf8Model(const std::string &Bytes) : FBytes(Bytes) {}

  bool ReadChar(wchar_t &Char) {
    if (FPending != 0) {
      Char = std::exchange(FPending, 0);
      return true;
    }
    if (FPosition >= FBytes.size())
      return false;
    const auto Lead = static_cast<uint8_t>(FBytes[FPosition++]);
    // Lead byte forms: mask, form, continuation bytes. Anything else stands for itself.
    static const struct {
      uint8_t Mask, Form;
      int Continuations;
    } Forms[] = {{0x80, 0x00, 0}, {0xE0, 0xC0, 1}, {0xF0, 0xE0, 2},
                 {0xF8, 0xF0, 3}, {0xFC, 0xF8, 4}, {0xFE, 0xFC, 5}};
    uint32_t Code = Lead;
    int Continuations = 0;
    for (const auto &Form : Forms)
      if ((Lead & Form.Mask) == Form.Form) {
        Code = Lead & static_cast<uint8_t>(~Form.Mask);
        Continuations = Form.Continuations;
        break;
      }
    for (int Index = 0; Index < Continuations && FPosition < FBytes.size(); ++Index) {
      const auto Next = static_cast<uint8_t>(FBytes[FPosition]);
      if ((Next & 0xC0) != 0x80)
        break;
      Code = (Code << 6) | (Next & 0x3F);
      ++FPosition;
    }
    if (Code > 0x10FFFF) {
      Char = L'?';
    } else if (Code < 0x10000) {
      Char = static_cast<wchar_t>(Code);
    } else {
      Char = static_cast<wchar_t>(0xD800 + ((Code - 0x10000) >> 10));
      FPending = static_cast<wchar_t>(0xDC00 + ((Code - 0x10000) & 0x3FF));
    }
    return true;
  }

  bool ReadLine(std::wstring &Line) {
    Line.clear();
    if (FPending == 0 && FPosition >= FBytes.size())
      return false;
    wchar_t Char;
    while (ReadChar(Char)) {
      if (Char == L'\r') {
        const size_t After = FPosition;
        wchar_t Next;
        if (ReadChar(Next) && Next != L'\n') {
          FPosition = After;
          FPending = 0;
        }
        return true;
      }
      if (Char == L'\n')
        return true;
      Line.push_back(Char);
    }
    return true;
  }

private:
  const std::string &FBytes;
  size_t FPosition = 0;
  wchar_t FPending = 0;
};

TLines ModelLines(const std::string &Text) {
  TUtf8Model Model(Text);
  TLines Lines;
  std::wstring Line;
  while (Model.ReadLine(Line))
    Lines.push_back(Line);
  return Lines;
}

std::wstring ModelChars(const std::string &Text) {
  TUtf8Model Model(Text);
  std::wstring Chars;
  wchar_t Char;
  while (Model.ReadChar(Char))
    Chars.push_back(Char);
  return Chars;
}

TLines StreamLines(const std::wstring &Name) {
  TTextStream Input(Name, ModeRead);
  TLines Lines;
  std::wstring Line;
  while (Input.ReadLine(Line))
    Lines.push_back(Line);
  return Lines;
}

std::wstring StreamChars(const std::wstring &Name) {
  TTextStream Input(Name, ModeRead);
  std::wstring Chars;
  wchar_t Char;
  while (Input.ReadChar(Char))
    Chars.push_back(Char);
  return Chars;
}

// Pieces of UTF-8 text, well-formed and not: each may land anywhere relative to a block's end.
const char *const Pieces[] = {
    "a",
    "plain ASCII text long enough for a whole block ",
    "\r\n",
    "\r",
    "\n",
    "\r\r\n",
    "\xC3\xA9",             // e acute
    "\xE6\x96\x87",         // a CJK character
    "\xF0\x9F\x98\x80",     // a surrogate pair
    "\xF4\x8F\xBF\xBF",     // the last code point
    "\xF4\x90\x80\x80",     // beyond Unicode: "?"
    "\xF8\x88\x80\x80\x80", // five bytes
    "\xFD\xBF\xBF\xBF\xBF\xBF",
    "\xED\xA0\x80", // an encoded lone high surrogate
    "\xED\xBF\xBF", // an encoded lone low surrogate
    "\xC3",         // a lead byte without its continuation
    "\xE2\x82",     // cut short
    "\x80",         // a stray continuation byte
    "\xBF\xBF",
    "\xFE",
    "\xFF",
    "\xC0\x80",         // overlong zero
    "\xF0\x8F\xBF\xBF", // overlong U+FFFF: one unit
    "\xF0\x90\x80\x80", // the first pair
    "\t",
};

// Text of about Size bytes from random pieces.
std::string RandomText(unsigned &Seed, size_t Size) {
  std::string Text;
  while (Text.size() < Size) {
    Seed = Seed * 1103515245 + 12345;
    Text += Pieces[(Seed >> 16) % (sizeof(Pieces) / sizeof(Pieces[0]))];
  }
  return Text;
}

} // namespace

TEST(TextStreamBlocks, RandomUtf8ReadsAsTheCharacterRulesSay) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"random.txt");
  unsigned Seed = 2024;
  for (int Round = 0; Round < 12; ++Round) {
    const std::string Text = RandomText(Seed, 3 * Block + Round * 977);
    WriteAllBytes(Name, Utf8Mark + Text);
    ASSERT_EQ(StreamLines(Name), ModelLines(Text)) << "round " << Round;
    ASSERT_EQ(StreamChars(Name), ModelChars(Text)) << "round " << Round;
  }
}

TEST(TextStreamBlocks, EveryPieceOnEverySideOfTheBlockEnd) {
  // The mark takes three bytes, so the first block ends after Block - 3 bytes of text. Each piece
  // is put so that it starts from 6 bytes before that end to 1 byte after it, behind ASCII that
  // fills a block exactly (or not), and followed by more text.
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"edge.txt");
  const size_t End = Block - Utf8Mark.size();
  for (const char *Piece : Pieces) {
    for (size_t Before = End - 6; Before <= End + 1; ++Before) {
      for (const char *After : {"b\r\n", "\n", "\xC3\xA9z", "\xF0\x9F\x98\x80"}) {
        const std::string Text = std::string(Before, 'x') + Piece + After + "tail";
        WriteAllBytes(Name, Utf8Mark + Text);
        ASSERT_EQ(StreamLines(Name), ModelLines(Text))
            << Hex(Piece) << " at " << Before << " then " << Hex(After);
      }
    }
  }
}

TEST(TextStreamBlocks, LineBreaksAtTheBlockEnd) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"breaks.txt");
  const size_t End = Block - Utf8Mark.size();
  // CR the last byte of the block, LF the first of the next: one break, not two.
  WriteAllBytes(Name, Utf8Mark + std::string(End - 1, 'a') + "\r\nb");
  EXPECT_EQ(StreamLines(Name), (TLines{std::wstring(End - 1, L'a'), L"b"}));
  // A lone CR there, and the character after it read again whole.
  WriteAllBytes(Name, Utf8Mark + std::string(End - 1, 'a') + "\r\xF0\x9F\x98\x80");
  EXPECT_EQ(StreamLines(Name), (TLines{std::wstring(End - 1, L'a'), L"\U0001F600"}));
  // An ASCII line that ends exactly with the block, its break the next block's first byte.
  WriteAllBytes(Name, Utf8Mark + std::string(End, 'a') + "\r\n\r\nc");
  EXPECT_EQ(StreamLines(Name), (TLines{std::wstring(End, L'a'), L"", L"c"}));
  // The file ending with a CR at the block's end gives no extra line.
  WriteAllBytes(Name, Utf8Mark + std::string(End - 1, 'a') + "\r");
  EXPECT_EQ(StreamLines(Name), (TLines{std::wstring(End - 1, L'a')}));
}

TEST(TextStreamBlocks, SequencesSplitByTheBlockEnd) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"split.txt");
  const size_t End = Block - Utf8Mark.size();
  // The pair's four bytes split after one, two and three of them.
  for (size_t Head = 1; Head <= 3; ++Head) {
    const std::string Text = std::string(End - Head, 'a') + "\xF0\x9F\x98\x80" + "b";
    WriteAllBytes(Name, Utf8Mark + Text);
    EXPECT_EQ(StreamLines(Name), (TLines{std::wstring(End - Head, L'a') + L"\U0001F600b"})) << Head;
  }
  // A lead byte last in the block whose next byte is no continuation: both characters kept.
  WriteAllBytes(Name, Utf8Mark + std::string(End - 1, 'a') + "\xC3" + "A");
  EXPECT_EQ(StreamLines(Name), (TLines{std::wstring(End - 1, L'a') + L"\x0003" + L"A"}));
  // A lead byte last in the file.
  WriteAllBytes(Name, Utf8Mark + std::string(End - 1, 'a') + "\xE2");
  EXPECT_EQ(StreamLines(Name), (TLines{std::wstring(End - 1, L'a') + L"\x0002"}));
}

TEST(TextStreamBlocks, InvalidBytesInsideARunOfAscii) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"invalid.txt");
  // One odd byte at every offset of a 40-byte run: each is decoded alone, the run around it kept.
  for (const char *Odd : {"\x80", "\xFF", "\xC3", "\xF8"}) {
    for (size_t At = 0; At < 40; ++At) {
      std::string Text(40, 'q');
      Text.replace(At, 1, Odd);
      Text += "\r\nend";
      WriteAllBytes(Name, Utf8Mark + Text);
      ASSERT_EQ(StreamLines(Name), ModelLines(Text)) << Hex(Odd) << " at " << At;
    }
  }
}

TEST(TextStreamBlocks, AnsiHighBytesAcrossTheBlockEnd) {
  // No mark and not UTF-8: single bytes from the ANSI code page, in runs of ASCII.
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"ansi.txt");
  std::string Text;
  TLines Lines;
  for (int Index = 0; Text.size() < 2 * Block + 100; ++Index) {
    std::string Line = std::string(static_cast<size_t>(Index % 37), 'k') + "\xE9\xC3" + "A\xFC";
    Text += Line + (Index % 3 == 0 ? "\r" : "\r\n");
    Lines.push_back(AnsiToUnicode(Line));
  }
  WriteAllBytes(Name, Text);
  {
    TTextStream Input(Name, ModeRead);
    ASSERT_EQ(Input.GetEncoding(), teAnsi);
  }
  EXPECT_EQ(StreamLines(Name), Lines);
}

TEST(TextStreamBlocks, ReadCharAndReadLineMixed) {
  // A pending low surrogate and a position inside a block handed between the two readers.
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"mixed.txt");
  unsigned Seed = 99;
  const std::string Text = RandomText(Seed, 2 * Block);
  WriteAllBytes(Name, Utf8Mark + Text);
  TUtf8Model Model(Text);
  TTextStream Input(Name, ModeRead);
  std::wstring Line, ModelLine;
  wchar_t Char, ModelChar;
  for (int Step = 0;; ++Step) {
    if (Step % 3 == 0) {
      const bool Got = Input.ReadChar(Char);
      ASSERT_EQ(Got, Model.ReadChar(ModelChar)) << Step;
      if (!Got)
        break;
      ASSERT_EQ(Char, ModelChar) << Step;
    } else {
      const bool Got = Input.ReadLine(Line);
      ASSERT_EQ(Got, Model.ReadLine(ModelLine)) << Step;
      if (!Got)
        break;
      ASSERT_EQ(Line, ModelLine) << Step;
    }
  }
}

TEST(TextStreamBlocks, WrittenUtf8IsTheSystemsForAnyLine) {
  // Lines of every length up to past a block, lone surrogates included, so that some are encoded
  // in the buffer and some go through a copy when the buffer is nearly full.
  const auto System = [](const std::wstring &Text) {
    if (Text.empty())
      return std::string();
    const int Size = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string Bytes(static_cast<size_t>(Size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Bytes.data(), Size, nullptr,
                          nullptr);
    return Bytes;
  };
  const wchar_t Units[] = {L'a', L'b', L' ', L'\x7F', L'\xE9', L'\x4E2D', L'\xD83D', L'\xDE00', L'\xFFFF'};
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"written.txt");
  std::string Expected = Utf8Mark;
  {
    TTextStream Output(Name, fmCreate);
    unsigned Seed = 5;
    for (int Index = 0; Expected.size() < 6 * Block; ++Index) {
      std::wstring Line;
      const size_t Length = Index % 50 == 49 ? Block + 7 : static_cast<size_t>(Index % 300);
      for (size_t Unit = 0; Unit < Length; ++Unit) {
        Seed = Seed * 1103515245 + 12345;
        // Mostly ASCII, as real paths are.
        const unsigned Pick = (Seed >> 16) % 64;
        Line.push_back(Pick < sizeof(Units) / sizeof(Units[0]) ? Units[Pick]
                                                               : static_cast<wchar_t>(L'0' + Pick));
      }
      Output.WriteLine(Line);
      Expected += System(Line) + "\r\n";
    }
    Output.Flush();
  }
  const std::string Written = ReadAllBytes(Name);
  ASSERT_EQ(Written.size(), Expected.size());
  EXPECT_TRUE(Written == Expected);
}

TEST(TextStreamBlocks, WritingInsideTheBufferedBytesKeepsTheRest) {
  // Text written over the middle of buffered text replaces only its own bytes.
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"over.txt");
  WriteAllBytes(Name, Utf8Mark + "0123456789\r\n");
  {
    TTextStream Output(Name, ModeReadWrite);
    std::wstring Line;
    ASSERT_TRUE(Output.ReadLine(Line));
    Output.SetPosition(5);
    Output.WriteText(L"\u00E9");
    Output.Flush();
  }
  EXPECT_EQ(ReadAllBytes(Name), Utf8Mark + "01\xC3\xA9"
                                           "456789\r\n");
}
