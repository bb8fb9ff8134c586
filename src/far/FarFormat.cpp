#include "FarFormat.h"

#include <cwchar>
#include <vector>

namespace {

[[noreturn]] void RaiseFormatError(const std::wstring &FormatText) {
  throw EFormatError(L"Format '" + FormatText + L"' invalid or incompatible with argument");
}

// Pads Body to Width: on the right when left-justified, else on the left (with zeros after the
// sign when ZeroPad is asked for a number).
std::wstring Pad(std::wstring Body, int Width, bool LeftJustify, bool ZeroPad) {
  if (Width <= 0 || static_cast<size_t>(Width) <= Body.size())
    return Body;
  size_t Missing = static_cast<size_t>(Width) - Body.size();
  if (LeftJustify)
    return Body + std::wstring(Missing, L' ');
  if (ZeroPad) {
    size_t SignLength = (!Body.empty() && (Body[0] == L'-' || Body[0] == L'+')) ? 1 : 0;
    return Body.substr(0, SignLength) + std::wstring(Missing, L'0') + Body.substr(SignLength);
  }
  return std::wstring(Missing, L' ') + Body;
}

std::wstring Digits(unsigned long long Value, unsigned Base, bool Upper) {
  const wchar_t *Alphabet = Upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring Result;
  do {
    Result.insert(Result.begin(), Alphabet[Value % Base]);
    Value /= Base;
  } while (Value != 0);
  return Result;
}

// A number's digits with a minimum digit count (the precision).
std::wstring WithPrecision(std::wstring DigitText, int Precision) {
  if (Precision > 0 && DigitText.size() < static_cast<size_t>(Precision))
    DigitText.insert(0, static_cast<size_t>(Precision) - DigitText.size(), L'0');
  return DigitText;
}

std::wstring FloatText(double Value, wchar_t Conversion, int Precision) {
  // The conversion is built from checked parts only, so the buffer call cannot misread arguments.
  std::wstring Directive = L"%";
  if (Precision >= 0)
    Directive += L"." + std::to_wstring(Precision > 60 ? 60 : Precision);
  Directive += Conversion;
  std::vector<wchar_t> Buffer(400);
  int Length = std::swprintf(Buffer.data(), Buffer.size(), Directive.c_str(), Value);
  if (Length < 0)
    return std::wstring();
  return std::wstring(Buffer.data(), static_cast<size_t>(Length));
}

} // namespace

std::wstring Format(const std::wstring &FormatText, std::initializer_list<TFormatArg> Args) {
  std::wstring Result;
  const TFormatArg *Next = Args.begin();
  size_t I = 0;
  const size_t N = FormatText.size();
  while (I < N) {
    wchar_t C = FormatText[I++];
    if (C != L'%') {
      Result += C;
      continue;
    }
    if (I >= N)
      RaiseFormatError(FormatText);
    if (FormatText[I] == L'%') {
      Result += L'%';
      ++I;
      continue;
    }
    bool LeftJustify = false;
    bool ZeroPad = false;
    for (; I < N && (FormatText[I] == L'-' || FormatText[I] == L'0'); ++I)
      (FormatText[I] == L'-' ? LeftJustify : ZeroPad) = true;
    int Width = 0;
    for (; I < N && FormatText[I] >= L'0' && FormatText[I] <= L'9'; ++I)
      Width = Width < 100000 ? Width * 10 + (FormatText[I] - L'0') : Width;
    int Precision = -1;
    if (I < N && FormatText[I] == L'.') {
      Precision = 0;
      for (++I; I < N && FormatText[I] >= L'0' && FormatText[I] <= L'9'; ++I)
        Precision = Precision < 100000 ? Precision * 10 + (FormatText[I] - L'0') : Precision;
    }
    if (I >= N)
      RaiseFormatError(FormatText);
    wchar_t Conversion = FormatText[I++];
    if (Next == Args.end())
      RaiseFormatError(FormatText);
    const TFormatArg &Arg = *Next++;
    std::wstring Body;
    bool Numeric = true;
    switch (Conversion) {
    case L's':
      if (Arg.Kind() != TFormatArg::fkString)
        RaiseFormatError(FormatText);
      Body = Arg.String();
      if (Precision >= 0 && Body.size() > static_cast<size_t>(Precision))
        Body.resize(static_cast<size_t>(Precision));
      Numeric = false;
      break;
    case L'd':
    case L'i':
      if (Arg.Kind() == TFormatArg::fkSigned) {
        long long V = Arg.Signed();
        unsigned long long Magnitude = V < 0 ? 0ULL - static_cast<unsigned long long>(V) : V;
        Body = (V < 0 ? L"-" : L"") + WithPrecision(Digits(Magnitude, 10, false), Precision);
      } else if (Arg.Kind() == TFormatArg::fkUnsigned) {
        Body = WithPrecision(Digits(Arg.Unsigned(), 10, false), Precision);
      } else {
        RaiseFormatError(FormatText);
      }
      break;
    case L'u':
    case L'x':
    case L'X': {
      unsigned long long V;
      if (Arg.Kind() == TFormatArg::fkSigned)
        V = static_cast<unsigned long long>(Arg.Signed());
      else if (Arg.Kind() == TFormatArg::fkUnsigned)
        V = Arg.Unsigned();
      else
        RaiseFormatError(FormatText);
      Body = WithPrecision(Digits(V, Conversion == L'u' ? 10 : 16, Conversion == L'X'), Precision);
      break;
    }
    case L'c':
      if (Arg.Kind() == TFormatArg::fkString && Arg.String().size() == 1)
        Body = Arg.String();
      else if (Arg.Kind() == TFormatArg::fkSigned && Arg.Signed() >= 0 && Arg.Signed() <= 0xFFFF)
        Body.assign(1, static_cast<wchar_t>(Arg.Signed()));
      else if (Arg.Kind() == TFormatArg::fkUnsigned && Arg.Unsigned() <= 0xFFFF)
        Body.assign(1, static_cast<wchar_t>(Arg.Unsigned()));
      else
        RaiseFormatError(FormatText);
      Numeric = false;
      break;
    case L'f':
    case L'e':
    case L'g': {
      double V;
      if (Arg.Kind() == TFormatArg::fkFloat)
        V = Arg.Float();
      else if (Arg.Kind() == TFormatArg::fkSigned)
        V = static_cast<double>(Arg.Signed());
      else if (Arg.Kind() == TFormatArg::fkUnsigned)
        V = static_cast<double>(Arg.Unsigned());
      else
        RaiseFormatError(FormatText);
      Body = FloatText(V, Conversion, Precision);
      break;
    }
    default:
      RaiseFormatError(FormatText);
    }
    Result += Pad(std::move(Body), Width, LeftJustify, ZeroPad && Numeric);
  }
  return Result;
}
