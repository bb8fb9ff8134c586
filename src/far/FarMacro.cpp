#include "FarMacro.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <memory>

TFarVariant TFarVariant::Null() {
  TFarVariant Value;
  Value.FKind = vkNull;
  return Value;
}

std::wstring TFarVariant::ToString() const {
  switch (FKind) {
  case vkInteger:
    return std::to_wstring(FInteger);
  case vkDouble: {
    if (std::isnan(FDouble))
      return L"NAN";
    if (std::isinf(FDouble))
      return FDouble < 0 ? L"-INF" : L"INF";
    wchar_t Buffer[64];
    // The shortest precision that gives the number back.
    for (int Precision = 1; Precision <= 17; ++Precision) {
      std::swprintf(Buffer, 64, L"%.*g", Precision, FDouble);
      if (std::wcstod(Buffer, nullptr) == FDouble)
        break;
    }
    return Buffer;
  }
  case vkBoolean:
    return FBoolean ? L"True" : L"False";
  case vkString:
    return FString;
  case vkUnassigned:
  case vkNull:
  case vkArray:
    break;
  }
  return std::wstring();
}

bool TFarVariant::operator==(const TFarVariant &Other) const {
  if (FKind != Other.FKind)
    return false;
  switch (FKind) {
  case vkInteger:
    return FInteger == Other.FInteger;
  case vkDouble:
    return FDouble == Other.FDouble;
  case vkBoolean:
    return FBoolean == Other.FBoolean;
  case vkString:
    return FString == Other.FString;
  case vkArray:
    return FItems == Other.FItems;
  case vkUnassigned:
  case vkNull:
    break;
  }
  return true;
}

TFarVariants TFarMacro::ToVariants(const OpenMacroInfo *Info) {
  TFarVariants Result;
  if (!Info || Info->StructSize < sizeof(OpenMacroInfo) || Info->Count == 0 || !Info->Values)
    return Result;
  Result.reserve(Info->Count);
  for (size_t I = 0; I < Info->Count; ++I)
    Result.push_back(ToVariant(Info->Values[I], 0));
  return Result;
}

TFarVariant TFarMacro::ToVariant(const FarMacroValue &Value) {
  return ToVariant(Value, 0);
}

namespace {

struct TMacroString {
  FarMacroCall Call{};
  FarMacroValue Value{};
  std::wstring Text;
};

void WINAPI FreeMacroString(void *Data, FarMacroValue *, size_t) {
  delete static_cast<TMacroString *>(Data);
}

} // namespace

intptr_t TFarMacro::ReturnString(const std::wstring &Text) {
  auto Result = std::make_unique<TMacroString>();
  Result->Text = Text;
  Result->Value.Type = FMVT_STRING;
  Result->Value.String = Result->Text.c_str();
  Result->Call.StructSize = sizeof(FarMacroCall);
  Result->Call.Count = 1;
  Result->Call.Values = &Result->Value;
  Result->Call.Callback = FreeMacroString;
  Result->Call.CallbackData = Result.get();
  return reinterpret_cast<intptr_t>(&Result.release()->Call);
}

TFarVariant TFarMacro::ToVariant(const FarMacroValue &Value, int Depth) {
  switch (Value.Type) {
  case FMVT_INTEGER:
    return TFarVariant(static_cast<int64_t>(Value.Integer));
  case FMVT_STRING:
    return TFarVariant(Value.String);
  case FMVT_DOUBLE:
    return TFarVariant(Value.Double);
  case FMVT_BOOLEAN:
    return TFarVariant(Value.Boolean != 0);
  case FMVT_BINARY: {
    std::vector<TFarVariant> Bytes;
    if (Value.Binary.Data) {
      const auto *Data = static_cast<const uint8_t *>(Value.Binary.Data);
      Bytes.reserve(Value.Binary.Size);
      for (size_t I = 0; I < Value.Binary.Size; ++I)
        Bytes.emplace_back(static_cast<int64_t>(Data[I]));
    }
    return TFarVariant(std::move(Bytes));
  }
  case FMVT_NIL:
    return TFarVariant::Null();
  case FMVT_ARRAY: {
    if (Depth >= MaxArrayDepth)
      return TFarVariant();
    std::vector<TFarVariant> Items;
    if (Value.Array.Values) {
      Items.reserve(Value.Array.Count);
      for (size_t I = 0; I < Value.Array.Count; ++I)
        Items.push_back(ToVariant(Value.Array.Values[I], Depth + 1));
    }
    return TFarVariant(std::move(Items));
  }
  default:
    return TFarVariant();
  }
}
