#include "Strings.h"

#include <climits>

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
  return UnicodeToMultiByte(CP_UTF8, Text);
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
