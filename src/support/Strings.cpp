#include "Strings.h"

#include <climits>
#include <cstdint>
#include <emmintrin.h>

namespace {

[[noreturn]] void RaiseConversionFailed() {
  throw EStringError(L"Conversion failed.");
}

int CheckedLength(size_t Size) {
  if (Size > static_cast<size_t>(INT_MAX))
    RaiseConversionFailed();
  return static_cast<int>(Size);
}

} // namespace

std::string AnsiToOem(const std::string &Bytes) {
  if (Bytes.empty())
    return {};
  std::string Result(Bytes.size(), '\0');
  if (!::CharToOemBuffA(Bytes.data(), Result.data(), static_cast<DWORD>(CheckedLength(Bytes.size()))))
    RaiseConversionFailed();
  return Result;
}

std::wstring MultiByteToUnicode(UINT CodePage, const char *Bytes, int Count) {
  if (Count <= 0)
    return {};
  int Length = ::MultiByteToWideChar(CodePage, 0, Bytes, Count, nullptr, 0);
  if (Length <= 0)
    RaiseConversionFailed();
  std::wstring Result(static_cast<size_t>(Length), L'\0');
  Length = ::MultiByteToWideChar(CodePage, 0, Bytes, Count, Result.data(), Length);
  if (Length <= 0)
    RaiseConversionFailed();
  Result.resize(static_cast<size_t>(Length));
  return Result;
}

std::wstring MultiByteToUnicode(UINT CodePage, const std::string &Bytes) {
  return MultiByteToUnicode(CodePage, Bytes.data(), CheckedLength(Bytes.size()));
}

std::wstring AnsiToUnicode(const char *Bytes, int Count) {
  return MultiByteToUnicode(CP_ACP, Bytes, Count);
}

std::wstring AnsiToUnicode(const std::string &Bytes) {
  return MultiByteToUnicode(CP_ACP, Bytes);
}

wchar_t AnsiCharToUnicode(char Byte) {
  if (static_cast<unsigned char>(Byte) < 0x80)
    return static_cast<wchar_t>(Byte);
  return AnsiToUnicode(&Byte, 1)[0];
}

std::string UnicodeToMultiByte(UINT CodePage, const wchar_t *Text, int Count) {
  if (Count <= 0)
    return {};
  // Ask for the size first, so that the result is never cut short.
  int Length = ::WideCharToMultiByte(CodePage, 0, Text, Count, nullptr, 0, nullptr, nullptr);
  if (Length <= 0)
    RaiseConversionFailed();
  std::string Result(static_cast<size_t>(Length), '\0');
  Length = ::WideCharToMultiByte(CodePage, 0, Text, Count, Result.data(), Length, nullptr, nullptr);
  if (Length <= 0)
    RaiseConversionFailed();
  Result.resize(static_cast<size_t>(Length));
  return Result;
}

std::string UnicodeToMultiByte(UINT CodePage, const std::wstring &Text) {
  return UnicodeToMultiByte(CodePage, Text.data(), CheckedLength(Text.size()));
}

std::string UnicodeToUtf8(const std::wstring &Text) {
  std::string Bytes;
  UnicodeToUtf8(Text.data(), Text.size(), Bytes);
  return Bytes;
}

void UnicodeToUtf8(const wchar_t *Text, size_t Count, std::string &Bytes) {
  // At most three bytes per code unit: a surrogate pair takes four for two.
  Bytes.resize(Count * 3);
  Bytes.resize(UnicodeToUtf8(Text, Count, Bytes.data()));
}

size_t UnicodeToUtf8(const wchar_t *Text, size_t Count, char *Bytes) {
  auto *Out = reinterpret_cast<unsigned char *>(Bytes);
  size_t Done = 0, Index = 0;
  const __m128i NonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i Zero = _mm_setzero_si128();
  // Well-formed text has exactly one UTF-8 form, encoded here; from an unpaired surrogate on, the
  // system decides what stands in for it.
  while (Index < Count) {
    // Sixteen units at a time while ASCII lasts, the common case. The narrowed block is stored
    // even when it holds other units: only its ASCII head counts, and the output has room for
    // three bytes per unit still to come.
    while (Index + 16 <= Count) {
      const __m128i Low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Text + Index));
      const __m128i High = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Text + Index + 8));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(Out + Done), _mm_packus_epi16(Low, High));
      const __m128i Wide = _mm_and_si128(_mm_or_si128(Low, High), NonAscii);
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(Wide, Zero)) == 0xFFFF) {
        Index += 16;
        Done += 16;
        continue;
      }
      // Bit pairs of the units that are ASCII, the first unit lowest.
      const unsigned Plain =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(Low, NonAscii), Zero))) |
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(High, NonAscii), Zero)))
              << 16;
      const size_t Run = static_cast<size_t>(__builtin_ctz(~Plain)) / 2;
      Index += Run;
      Done += Run;
      break;
    }
    if (Index >= Count)
      break;
    const uint32_t Unit = static_cast<uint16_t>(Text[Index]);
    if (Unit < 0x80) {
      Out[Done++] = static_cast<unsigned char>(Unit);
      ++Index;
    } else if (Unit < 0x800) {
      Out[Done++] = static_cast<unsigned char>(0xC0 | (Unit >> 6));
      Out[Done++] = static_cast<unsigned char>(0x80 | (Unit & 0x3F));
      ++Index;
    } else if (Unit < 0xD800 || Unit > 0xDFFF) {
      Out[Done++] = static_cast<unsigned char>(0xE0 | (Unit >> 12));
      Out[Done++] = static_cast<unsigned char>(0x80 | ((Unit >> 6) & 0x3F));
      Out[Done++] = static_cast<unsigned char>(0x80 | (Unit & 0x3F));
      ++Index;
    } else if (Unit < 0xDC00 && Index + 1 < Count && Text[Index + 1] >= 0xDC00 && Text[Index + 1] <= 0xDFFF) {
      const uint32_t Code =
          0x10000 + ((Unit - 0xD800) << 10) + (static_cast<uint16_t>(Text[Index + 1]) - 0xDC00);
      Out[Done++] = static_cast<unsigned char>(0xF0 | (Code >> 18));
      Out[Done++] = static_cast<unsigned char>(0x80 | ((Code >> 12) & 0x3F));
      Out[Done++] = static_cast<unsigned char>(0x80 | ((Code >> 6) & 0x3F));
      Out[Done++] = static_cast<unsigned char>(0x80 | (Code & 0x3F));
      Index += 2;
    } else {
      const size_t Rest = Count - Index;
      const int Length = ::WideCharToMultiByte(CP_UTF8, 0, Text + Index, CheckedLength(Rest), Bytes + Done,
                                               CheckedLength(Rest * 3), nullptr, nullptr);
      if (Length <= 0)
        RaiseConversionFailed();
      Done += static_cast<size_t>(Length);
      break;
    }
  }
  return Done;
}

std::wstring SystemErrorMessage(DWORD ErrorCode) {
  wchar_t *Buffer = nullptr;
  DWORD Length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, ErrorCode, 0, reinterpret_cast<wchar_t *>(&Buffer), 0, nullptr);
  std::wstring Result;
  if (Length > 0 && Buffer) {
    Result.assign(Buffer, Length);
    while (!Result.empty() && (Result.back() == L'\n' || Result.back() == L'\r' || Result.back() == L' '))
      Result.pop_back();
  }
  if (Buffer)
    ::LocalFree(Buffer);
  if (Result.empty())
    Result = L"System error " + std::to_wstring(ErrorCode);
  return Result;
}
