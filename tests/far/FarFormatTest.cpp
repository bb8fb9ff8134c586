// Formats come from the language file: a wrong one must raise, never misread its arguments.

#include "FarFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(FarFormatTest, ConvertsStringsAndNumbers) {
  EXPECT_EQ(Format(L"%s: Exception %s: %s", {L"OpenW", std::wstring(L"EFarError"), L"text"}),
            L"OpenW: Exception EFarError: text");
  EXPECT_EQ(Format(L"argument %d of %u", {3, 7u}), L"argument 3 of 7");
  EXPECT_EQ(Format(L"%d", {-2147483647LL - 1}), L"-2147483648");
  EXPECT_EQ(Format(L"%x/%X", {255, 255}), L"ff/FF");
  EXPECT_EQ(Format(L"100%%", {}), L"100%");
  EXPECT_EQ(Format(L"%c%c", {L"a", 66}), L"aB");
  EXPECT_EQ(Format(L"%s", {static_cast<const wchar_t *>(nullptr)}), L"");
  EXPECT_EQ(Format(L"%.2f", {2.5}), L"2.50");
  EXPECT_EQ(Format(L"%s", {L"x", L"surplus"}), L"x");
}

TEST(FarFormatTest, WidthPrecisionAndFlags) {
  EXPECT_EQ(Format(L"[%5s][%-5s]", {L"ab", L"ab"}), L"[   ab][ab   ]");
  EXPECT_EQ(Format(L"[%05d][%5d][%.3d]", {-42, 42, 7}), L"[-0042][   42][007]");
  EXPECT_EQ(Format(L"[%.2s]", {L"abcdef"}), L"[ab]");
  EXPECT_EQ(Format(L"[%08.3f]", {3.14159}), L"[0003.142]");
}

TEST(FarFormatTest, RaisesOnFormatsThatDoNotFit) {
  EXPECT_THROW(Format(L"%s and %s", {L"one"}), EFormatError);
  EXPECT_THROW(Format(L"%d", {L"text"}), EFormatError);
  EXPECT_THROW(Format(L"%s", {5}), EFormatError);
  EXPECT_THROW(Format(L"%f", {L"text"}), EFormatError);
  EXPECT_THROW(Format(L"%q", {1}), EFormatError);
  EXPECT_THROW(Format(L"ends in %", {}), EFormatError);
  EXPECT_THROW(Format(L"%5", {1}), EFormatError);
  EXPECT_THROW(Format(L"%c", {L"two"}), EFormatError);
}

} // namespace
