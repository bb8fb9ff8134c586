#include "Streams.h"

#include "Strings.h"

#include <algorithm>
#include <climits>
#include <cstring>

TTextStream::TTextStream(const std::wstring &FileName, uint32_t Mode)
    : TBufferedStream(new TFileStream(FileName, Mode), TextBufferSize, true) {
  Initialize();
}

void TTextStream::Initialize() {
  FDefaultEncoding = teUtf8;
  FEncoding = teUndetermined;
  FBigEndian = false;
  FLineBreak = L"\r\n";
  if (GetSize() > 0)
    DetectEncoding();
}

int32_t TTextStream::Write(const void *Source, int32_t Count) {
  FPendingLowSurrogate = 0;
  return TBufferedStream::Write(Source, Count);
}

int64_t TTextStream::DoSeek(int64_t Offset, TSeekOrigin Origin) {
  // Asking for the position is a seek too; only a move drops the pending half of a pair.
  const int64_t Old = CurrentPosition();
  const int64_t New = TBufferedStream::DoSeek(Offset, Origin);
  if (New != Old)
    FPendingLowSurrogate = 0;
  return New;
}

void TTextStream::Flush() {
  FPendingLowSurrogate = 0;
  TBufferedStream::Flush();
}

void TTextStream::SetEncoding(TTextEncoding Value) {
  if (GetPosition() == 0) {
    if (Value == teUtf16) {
      WriteBytes("\xFF\xFE", 2);
      FBigEndian = false;
    } else if (Value == teUtf8) {
      WriteBytes("\xEF\xBB\xBF", 3);
    }
  }
  FEncoding = Value;
}

void TTextStream::DetectEncoding() {
  const int64_t Start = GetPosition();
  FEncoding = teAnsi;
  FBigEndian = false;
  const int64_t Size = GetSize();
  if (Size <= 1) {
    SetPosition(Start);
    return;
  }

  // A byte order mark decides, and the text starts after it.
  uint8_t Mark[3];
  if (Size % 2 == 0) {
    SetPosition(0);
    if (Read(Mark, 2) == 2 &&
        ((Mark[0] == 0xFF && Mark[1] == 0xFE) || (Mark[0] == 0xFE && Mark[1] == 0xFF))) {
      FEncoding = teUtf16;
      FBigEndian = Mark[0] == 0xFE;
      return;
    }
  }
  if (Size > 2) {
    SetPosition(0);
    if (Read(Mark, 3) == 3 && Mark[0] == 0xEF && Mark[1] == 0xBB && Mark[2] == 0xBF) {
      FEncoding = teUtf8;
      return;
    }
  }

  // No mark: judge a sample from the start.
  std::string Sample(static_cast<size_t>(std::min<int64_t>(TextBufferSize, Size)), '\0');
  SetPosition(0);
  Sample.resize(static_cast<size_t>(std::max(0, Read(Sample.data(), static_cast<int32_t>(Sample.size())))));
  SetPosition(Start);

  bool Plain = true;
  int64_t ZerosOdd = 0, ZerosEven = 0; // by 1-based position
  for (size_t Index = 0; Index < Sample.size(); ++Index) {
    const auto Byte = static_cast<uint8_t>(Sample[Index]);
    if (Byte == 0 || Byte >= 0x80)
      Plain = false;
    if (Byte == 0)
      ++(Index % 2 == 0 ? ZerosOdd : ZerosEven);
  }
  if (Plain)
    return;
  if (ZerosEven > 30 && ZerosEven > 100 * ZerosOdd) {
    FEncoding = teUtf16;
    return;
  }
  if (ZerosOdd > 30 && ZerosOdd > 100 * ZerosEven) {
    FEncoding = teUtf16;
    FBigEndian = true;
    return;
  }
  // A sequence cut at the end of the sample must not count against UTF-8.
  while (!Sample.empty() && static_cast<uint8_t>(Sample.back()) >= 0x80)
    Sample.pop_back();
  if (!Sample.empty() && ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Sample.data(),
                                               static_cast<int>(Sample.size()), nullptr, 0) > 0)
    FEncoding = teUtf8;
}

bool TTextStream::ReadByte(uint8_t &Byte) {
  return ReadBufferedByte(Byte) || Read(&Byte, 1) == 1;
}

wchar_t TTextStream::AnsiChar(uint8_t Byte) {
  if (Byte < 0x80)
    return static_cast<wchar_t>(Byte);
  if (FAnsiTable.empty())
    FAnsiTable.assign(128, 0);
  wchar_t &Entry = FAnsiTable[Byte - 0x80];
  if (Entry == 0)
    Entry = AnsiCharToUnicode(static_cast<char>(Byte));
  return Entry;
}

bool TTextStream::ReadUtf8Char(wchar_t &Char) {
  uint8_t Lead;
  if (!ReadByte(Lead))
    return false;
  uint32_t Code;
  int Continuations;
  if (Lead < 0x80) {
    Code = Lead;
    Continuations = 0;
  } else if ((Lead & 0xE0) == 0xC0) {
    Code = Lead & 0x1F;
    Continuations = 1;
  } else if ((Lead & 0xF0) == 0xE0) {
    Code = Lead & 0x0F;
    Continuations = 2;
  } else if ((Lead & 0xF8) == 0xF0) {
    Code = Lead & 0x07;
    Continuations = 3;
  } else if ((Lead & 0xFC) == 0xF8) {
    Code = Lead & 0x03;
    Continuations = 4;
  } else if ((Lead & 0xFE) == 0xFC) {
    Code = Lead & 0x01;
    Continuations = 5;
  } else {
    // A stray continuation byte, FE or FF stands for itself.
    Code = Lead;
    Continuations = 0;
  }
  for (int Index = 0; Index < Continuations; ++Index) {
    uint8_t Next;
    if (!ReadByte(Next))
      break;
    if ((Next & 0xC0) != 0x80) {
      // It starts the next character.
      DoSeek(-1, soCurrent);
      break;
    }
    Code = (Code << 6) | (Next & 0x3F);
  }
  if (Code > 0x10FFFF) {
    // Beyond Unicode: no surrogate pair can stand for it.
    Char = L'?';
  } else if (Code < 0x10000) {
    Char = static_cast<wchar_t>(Code);
  } else {
    Code -= 0x10000;
    Char = static_cast<wchar_t>(0xD800 + (Code >> 10));
    FPendingLowSurrogate = static_cast<wchar_t>(0xDC00 + (Code & 0x3FF));
  }
  return true;
}

bool TTextStream::ReadChar(wchar_t &Char) {
  if (FEncoding == teUndetermined && CurrentPosition() == 0)
    DetectEncoding();
  if (FPendingLowSurrogate != 0) {
    Char = FPendingLowSurrogate;
    FPendingLowSurrogate = 0;
    return true;
  }
  switch (FEncoding) {
  case teUtf16: {
    uint8_t Bytes[2];
    if (!ReadByte(Bytes[0]) || !ReadByte(Bytes[1]))
      return false;
    Char = FBigEndian ? static_cast<wchar_t>((Bytes[0] << 8) | Bytes[1])
                      : static_cast<wchar_t>((Bytes[1] << 8) | Bytes[0]);
    return true;
  }
  case teUtf8:
    return ReadUtf8Char(Char);
  default: {
    uint8_t Byte;
    if (!ReadByte(Byte))
      return false;
    Char = AnsiChar(Byte);
    return true;
  }
  }
}

bool TTextStream::ReadLine(std::wstring &Line) {
  Line.clear();
  if (EndOfStream())
    return false;
  wchar_t Char;
  for (;;) {
    ScanRun(Line);
    if (!ReadChar(Char))
      break;
    if (Char == L'\r') {
      // A line feed right after belongs to this break; anything else is read again whole.
      const int64_t After = CurrentPosition();
      wchar_t Next;
      if (ReadChar(Next) && Next != L'\n')
        DoSeek(After, soBeginning);
      return true;
    }
    if (Char == L'\n')
      return true;
    Line.push_back(Char);
  }
  return true;
}

// Takes the run of plain characters ahead in the buffer at once; what ends the run (a line
// break, a character that needs decoding, the end of the buffer) is left to ReadChar.
void TTextStream::ScanRun(std::wstring &Line) {
  if (FPendingLowSurrogate != 0 || FEncoding == teUndetermined)
    return;
  const uint8_t *Data = nullptr;
  const int32_t Available = BufferedAhead(Data);
  if (Available <= 0)
    return;
  if (FEncoding == teUtf16) {
    const int32_t Units = Available / 2;
    const size_t Start = Line.size();
    Line.resize(Start + static_cast<size_t>(Units));
    wchar_t *Target = Line.data() + Start;
    int32_t Taken = 0;
    const int High = FBigEndian ? 0 : 1;
    for (; Taken < Units; ++Taken) {
      const auto Unit = static_cast<wchar_t>((Data[2 * Taken + High] << 8) | Data[2 * Taken + 1 - High]);
      if (Unit == L'\r' || Unit == L'\n')
        break;
      Target[Taken] = Unit;
    }
    Line.resize(Start + static_cast<size_t>(Taken));
    SkipBuffered(Taken * 2);
    return;
  }
  // Single-byte code pages and UTF-8 agree on bytes below 0x80.
  int32_t Taken = 0;
  // Eight bytes at a time while none has the high bit set or is a CR or an LF.
  constexpr uint64_t Ones = 0x0101010101010101ull, Highs = 0x8080808080808080ull;
  const auto HasZeroByte = [](uint64_t Value) { return ((Value - Ones) & ~Value & Highs) != 0; };
  while (Taken + 8 <= Available) {
    uint64_t Word;
    std::memcpy(&Word, Data + Taken, sizeof(Word));
    if ((Word & Highs) != 0 || HasZeroByte(Word ^ (Ones * '\r')) || HasZeroByte(Word ^ (Ones * '\n')))
      break;
    Taken += 8;
  }
  while (Taken < Available && Data[Taken] < 0x80 && Data[Taken] != '\r' && Data[Taken] != '\n')
    ++Taken;
  // Widened in place: appending a byte range would build a temporary string first.
  const size_t Start = Line.size();
  Line.resize(Start + static_cast<size_t>(Taken));
  wchar_t *Target = Line.data() + Start;
  for (int32_t Index = 0; Index < Taken; ++Index)
    Target[Index] = static_cast<wchar_t>(Data[Index]);
  SkipBuffered(Taken);
}

void TTextStream::WriteBytes(const void *Source, size_t Count) {
  if (Count > static_cast<size_t>(INT32_MAX))
    throw EWriteError(L"Stream write error");
  // Every byte or an exception: a short write must not pass for a written text.
  WriteBuffer(Source, static_cast<int32_t>(Count));
}

void TTextStream::WriteText(const std::wstring &Text) {
  if (Text.empty())
    return;
  if (FEncoding == teUndetermined)
    SetEncoding(FDefaultEncoding);
  switch (FEncoding) {
  case teAnsi: {
    const std::string Bytes = UnicodeToMultiByte(CP_ACP, Text);
    WriteBytes(Bytes.data(), Bytes.size());
    break;
  }
  case teOem: {
    const std::string Bytes = AnsiToOem(UnicodeToMultiByte(CP_ACP, Text));
    WriteBytes(Bytes.data(), Bytes.size());
    break;
  }
  case teUtf16:
    if (FBigEndian) {
      // Appending to a big-endian file keeps its byte order.
      std::wstring Swapped(Text);
      for (wchar_t &Unit : Swapped)
        Unit = static_cast<wchar_t>(((Unit & 0xFF) << 8) | (Unit >> 8));
      WriteBytes(Swapped.data(), Swapped.size() * sizeof(wchar_t));
    } else {
      WriteBytes(Text.data(), Text.size() * sizeof(wchar_t));
    }
    break;
  case teUtf8:
    UnicodeToUtf8(Text.data(), Text.size(), FScratch);
    WriteBytes(FScratch.data(), FScratch.size());
    break;
  default:
    throw EWriteError(L"Invalid encoding");
  }
}

void TTextStream::WriteLine(const std::wstring &Text) {
  WriteText(Text);
  WriteText(FLineBreak);
}
