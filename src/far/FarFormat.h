#pragma once

#include "Exceptions.h"

#include <initializer_list>
#include <string>

// printf-style formatting that checks its arguments instead of trusting them: language-file
// texts are formats supplied from outside the code, and a wrong one must end in an exception,
// never in reading a stray pointer.
//
// Conversions: %s (string), %d %i (signed), %u %x %X (unsigned; a signed argument is taken as
// it is), %c (character: an integer or a one-character string), %f %e %g (floating point; an
// integer is accepted), %% (a percent sign). Each may carry the flags '-' (left-justify) and '0'
// (pad numbers with zeros), a width and a precision (".n": digits for numbers, a length limit for
// strings). A missing argument, a conversion that does not fit its argument, an unknown
// conversion or a format ending in '%' raise EFormatError. Surplus arguments are ignored.

VELMORA_DECLARE_EXCEPTION(EFormatError, Exception);

class TFormatArg {
public:
  enum TKind { fkString, fkSigned, fkUnsigned, fkFloat };

  TFormatArg(const wchar_t *Value) : FKind(fkString), FString(Value ? Value : L"") {}
  TFormatArg(const std::wstring &Value) : FKind(fkString), FString(Value) {}
  TFormatArg(int Value) : FKind(fkSigned), FSigned(Value) {}
  TFormatArg(long Value) : FKind(fkSigned), FSigned(Value) {}
  TFormatArg(long long Value) : FKind(fkSigned), FSigned(Value) {}
  TFormatArg(unsigned Value) : FKind(fkUnsigned), FUnsigned(Value) {}
  TFormatArg(unsigned long Value) : FKind(fkUnsigned), FUnsigned(Value) {}
  TFormatArg(unsigned long long Value) : FKind(fkUnsigned), FUnsigned(Value) {}
  TFormatArg(double Value) : FKind(fkFloat), FFloat(Value) {}

  TKind Kind() const noexcept { return FKind; }
  const std::wstring &String() const noexcept { return FString; }
  long long Signed() const noexcept { return FSigned; }
  unsigned long long Unsigned() const noexcept { return FUnsigned; }
  double Float() const noexcept { return FFloat; }

private:
  TKind FKind;
  std::wstring FString;
  long long FSigned = 0;
  unsigned long long FUnsigned = 0;
  double FFloat = 0;
};

std::wstring Format(const std::wstring &FormatText, std::initializer_list<TFormatArg> Args);
