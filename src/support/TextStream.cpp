#include "Streams.h"

#include "Strings.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <emmintrin.h>

namespace {

// The payload bits of a UTF-8 lead byte and the number of continuation bytes it announces. A
// stray continuation byte, FE or FF stands for itself.
int Utf8Lead(uint8_t Lead, uint32_t &Code) {
  if (Lead < 0x80) {
    Code = Lead;
    return 0;
  }
  if ((Lead & 0xE0) == 0xC0) {
    Code = Lead & 0x1F;
    return 1;
  }
  if ((Lead & 0xF0) == 0xE0) {
    Code = Lead & 0x0F;
    return 2;
  }
  if ((Lead & 0xF8) == 0xF0) {
    Code = Lead & 0x07;
    return 3;
  }
  if ((Lead & 0xFC) == 0xF8) {
    Code = Lead & 0x03;
    return 4;
  }
  if ((Lead & 0xFE) == 0xFC) {
    Code = Lead & 0x01;
    return 5;
  }
  Code = Lead;
  return 0;
}

// The code units of a decoded code point: Low is 0 unless it takes a surrogate pair.
void Utf16Of(uint32_t Code, wchar_t &High, wchar_t &Low) {
  Low = 0;
  if (Code > 0x10FFFF) {
    // Beyond Unicode: no surrogate pair can stand for it.
    High = L'?';
  } else if (Code < 0x10000) {
    High = static_cast<wchar_t>(Code);
  } else {
    Code -= 0x10000;
    High = static_cast<wchar_t>(0xD800 + (Code >> 10));
    Low = static_cast<wchar_t>(0xDC00 + (Code & 0x3FF));
  }
}

// Decodes the character that starts at Data[0] (a byte of 0x80 or more) as ReadChar would, into
// Out. Returns the bytes it took, or 0 when the character may go on beyond the Count bytes.
int32_t DecodeUtf8(const uint8_t *Data, int32_t Count, wchar_t *&Out) {
  uint32_t Code;
  const int Continuations = Utf8Lead(Data[0], Code);
  int32_t Length = 1;
  for (; Length <= Continuations; ++Length) {
    if (Length >= Count)
      return 0;
    if ((Data[Length] & 0xC0) != 0x80)
      break; // it starts the next character
    Code = (Code << 6) | (Data[Length] & 0x3F);
  }
  wchar_t Low;
  Utf16Of(Code, *Out, Low);
  ++Out;
  if (Low != 0)
    *Out++ = Low;
  return Length;
}

// Two-, three- and four-byte characters with all their continuation bytes, nearly all there is,
// decoded as DecodeUtf8 would but with branches only for the rare cases; 0 for anything else.
// Four bytes must be readable at Data, and Out must have room for two units.
int32_t DecodeWellFormed(const uint8_t *Data, wchar_t *&Out) {
  const uint8_t Lead = Data[0];
  if (static_cast<uint8_t>(Lead - 0xC0) >= 0x38) // not C0 ... F7
    return 0;
  const int Continuations = 1 + (Lead >= 0xE0) + (Lead >= 0xF0);
  uint32_t Word;
  std::memcpy(&Word, Data, sizeof(Word)); // x64: the lead byte lowest
  static constexpr uint32_t Masks[] = {0, 0xC000, 0xC0C000, 0xC0C0C000};
  static constexpr uint32_t Forms[] = {0, 0x8000, 0x808000, 0x80808000};
  static constexpr uint8_t Payloads[] = {0, 0x1F, 0x0F, 0x07};
  if ((Word & Masks[Continuations]) != Forms[Continuations])
    return 0;
  // All three continuation slots assembled, then the unused ones shifted out.
  const uint32_t Full = (static_cast<uint32_t>(Lead & Payloads[Continuations]) << 18) |
                        ((Word >> 8 & 0x3F) << 12) | ((Word >> 16 & 0x3F) << 6) | (Word >> 24 & 0x3F);
  const uint32_t Code = Full >> (6 * (3 - Continuations));
  if (Code > 0x10FFFF)
    return 0;
  // Both halves of a pair stored; the second counts only when the code point needs it.
  const bool Pair = Code >= 0x10000;
  const uint32_t Offset = Code - 0x10000;
  Out[0] = Pair ? static_cast<wchar_t>(0xD800 + (Offset >> 10)) : static_cast<wchar_t>(Code);
  Out[1] = static_cast<wchar_t>(0xDC00 + (Offset & 0x3FF));
  Out += 1 + Pair;
  return Continuations + 1;
}

// The offset of the first CR or LF among Count bytes, or Count.
int32_t FindLineBreak(const uint8_t *Data, int32_t Count) {
  const __m128i Cr = _mm_set1_epi8('\r'), Lf = _mm_set1_epi8('\n');
  int32_t Index = 0;
  for (; Index + 16 <= Count; Index += 16) {
    const __m128i Block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Data + Index));
    const int Found = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(Block, Cr), _mm_cmpeq_epi8(Block, Lf)));
    if (Found != 0)
      return Index + __builtin_ctz(static_cast<unsigned>(Found));
  }
  for (; Index < Count; ++Index)
    if (Data[Index] == '\r' || Data[Index] == '\n')
      return Index;
  return Count;
}

} // namespace

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
  const int Continuations = Utf8Lead(Lead, Code);
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
  Utf16Of(Code, Char, FPendingLowSurrogate);
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
    if (ScanRun(Line))
      return true;
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

// Takes what it can of the line from the buffer at once, the line break included when it lies
// there whole (true then). What it leaves (a character cut by the end of the buffer, a CR as the
// buffer's last byte) is left to ReadChar, which reads across the buffer's end.
bool TTextStream::ScanRun(std::wstring &Line) {
  if (FPendingLowSurrogate != 0 || FEncoding == teUndetermined)
    return false;
  const uint8_t *Data = nullptr;
  const int32_t Available = BufferedAhead(Data);
  if (Available <= 0)
    return false;
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
    return false;
  }

  // Single-byte code pages and UTF-8 agree on bytes below 0x80, and on CR and LF. Neither gives
  // more code units than it takes bytes, so the line's bytes in the buffer bound its growth; the
  // slack takes whole blocks stored past the end.
  const int32_t End = FindLineBreak(Data, Available);
  const size_t Start = Line.size();
  Line.resize(Start + static_cast<size_t>(End) + 16);
  wchar_t *Out = Line.data() + Start;
  const bool Utf8 = FEncoding == teUtf8;
  const __m128i Zero = _mm_setzero_si128();
  int32_t Index = 0;
  while (Index < End) {
    if (Index + 16 <= Available) {
      // Sixteen bytes widened at once; only the ASCII head before the line's end counts.
      const __m128i Block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Data + Index));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(Out), _mm_unpacklo_epi8(Block, Zero));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(Out + 8), _mm_unpackhi_epi8(Block, Zero));
      unsigned Stop = static_cast<unsigned>(_mm_movemask_epi8(Block));
      if (End - Index < 16)
        Stop |= ~0u << (End - Index);
      if (Stop == 0) {
        Index += 16;
        Out += 16;
        continue;
      }
      const int32_t Run = __builtin_ctz(Stop);
      Index += Run;
      Out += Run;
      if (Index >= End)
        break;
    } else if (Data[Index] < 0x80) {
      *Out++ = static_cast<wchar_t>(Data[Index++]);
      continue;
    }
    if (!Utf8) {
      *Out++ = AnsiChar(Data[Index++]);
      continue;
    }
    if (Index + 4 <= Available) {
      const int32_t Length = DecodeWellFormed(Data + Index, Out);
      if (Length > 0) {
        Index += Length;
        continue;
      }
    }
    const int32_t Length = DecodeUtf8(Data + Index, Available - Index, Out);
    if (Length == 0)
      break;
    Index += Length;
  }
  Line.resize(static_cast<size_t>(Out - Line.data()));
  SkipBuffered(Index);
  if (Index < End || End == Available)
    return false;
  if (Data[End] == '\n') {
    SkipBuffered(1);
    return true;
  }
  // A CR: whether a line feed follows is known only when the next byte is here too.
  if (End + 1 == Available)
    return false;
  SkipBuffered(Data[End + 1] == '\n' ? 2 : 1);
  return true;
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
  case teUtf8: {
    // Encoded straight into the buffer when the worst case fits there; the bytes are the same.
    uint8_t *Room = nullptr;
    if (static_cast<size_t>(WritableAhead(Room)) / 3 >= Text.size()) {
      const size_t Count = UnicodeToUtf8(Text.data(), Text.size(), reinterpret_cast<char *>(Room));
      FPendingLowSurrogate = 0;
      CommitWritten(static_cast<int32_t>(Count));
    } else {
      UnicodeToUtf8(Text.data(), Text.size(), FScratch);
      WriteBytes(FScratch.data(), FScratch.size());
    }
    break;
  }
  default:
    throw EWriteError(L"Invalid encoding");
  }
}

void TTextStream::WriteLine(const std::wstring &Text) {
  WriteText(Text);
  WriteText(FLineBreak);
}
