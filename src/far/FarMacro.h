#pragma once

#include "FarApi.h"

#include <cstdint>
#include <string>
#include <vector>

// One value a FAR macro handed to the plug-in: nothing (unassigned), null, an integer, a
// floating-point number, a boolean, a string or an array of values.
class TFarVariant {
public:
  enum TKind { vkUnassigned, vkNull, vkInteger, vkDouble, vkBoolean, vkString, vkArray };

  TFarVariant() = default;
  static TFarVariant Null();
  TFarVariant(int64_t Value) : FKind(vkInteger), FInteger(Value) {}
  TFarVariant(int Value) : FKind(vkInteger), FInteger(Value) {}
  TFarVariant(double Value) : FKind(vkDouble), FDouble(Value) {}
  TFarVariant(bool Value) : FKind(vkBoolean), FBoolean(Value) {}
  TFarVariant(std::wstring Value) : FKind(vkString), FString(std::move(Value)) {}
  TFarVariant(const wchar_t *Value) : FKind(vkString), FString(Value ? Value : L"") {}
  TFarVariant(std::vector<TFarVariant> Items) : FKind(vkArray), FItems(std::move(Items)) {}

  TKind Kind() const { return FKind; }
  bool IsUnassigned() const { return FKind == vkUnassigned; }
  bool IsNull() const { return FKind == vkNull; }
  int64_t AsInteger() const { return FInteger; }
  double AsDouble() const { return FDouble; }
  bool AsBoolean() const { return FBoolean; }
  const std::wstring &AsString() const { return FString; }
  const std::vector<TFarVariant> &Items() const { return FItems; }

  // The value as text: decimal numbers (the shortest form that reads back as the same number),
  // "True" or "False", the string itself; unassigned, null and arrays give the empty text.
  std::wstring ToString() const;

  bool operator==(const TFarVariant &Other) const;

private:
  TKind FKind = vkUnassigned;
  int64_t FInteger = 0;
  double FDouble = 0;
  bool FBoolean = false;
  std::wstring FString;
  std::vector<TFarVariant> FItems;
};

using TFarVariants = std::vector<TFarVariant>;

// FAR's macro values as the plug-in's own.
class TFarMacro {
public:
  // The values of a macro call. Null, too small a structure or no values give none. Arrays nested
  // deeper than MaxArrayDepth (values that refer to themselves) end in unassigned values.
  static TFarVariants ToVariants(const OpenMacroInfo *Info);
  static TFarVariant ToVariant(const FarMacroValue &Value);
  // OpenW's answer that hands a string to the macro: a FarMacroCall that FAR frees through its
  // callback once it took the value.
  static intptr_t ReturnString(const std::wstring &Text);

  static constexpr int MaxArrayDepth = 64;

private:
  static TFarVariant ToVariant(const FarMacroValue &Value, int Depth);
};
