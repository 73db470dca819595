// What the user may type into the number boxes.
#include <gtest/gtest.h>

#include <clocale>

#include "forms/Convert.h"
#include "forms/Exception.h"
#include "tests/support/TestLocale.h"

namespace vornex {
namespace {

TEST(Convert, IntegersAcceptBlanksAndASignOnly) {
  EXPECT_EQ(StrToInt("512"), 512);
  EXPECT_EQ(StrToInt("  -16 "), -16);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", " ", "-", "12x", "1.5", "0x10", "2147483648", "-2147483649",
                          "99999999999999999999", "1 2"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
}

TEST(Convert, TheMessageNamesTheText) {
  try {
    StrToInt("abc");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(Convert, FloatsAreDecimalWithAPointOrAComma) {
  EXPECT_DOUBLE_EQ(StrToFloat("0.5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("0,5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloat(" 3 "), 3.0);
  EXPECT_DOUBLE_EQ(StrToFloat("+1.5"), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloat("1e3"), 1000.0);
  EXPECT_DOUBLE_EQ(StrToFloat("-2.25"), -2.25);
  EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
  for (const char* bad : {"", "soon", "nan", "inf", "0x1p3", "1,5,0", "1.5,0", "1e999", ".", ",", "+-1",
                          "++1", "1e", "1 5", "0.5s"})
    EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
  try {
    StrToFloat("0.5.1");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "'0.5.1' is not a valid floating point value");
  }
}

TEST(Convert, UpperCaseTouchesAsciiLettersOnlyInEveryLocale) {
  // In a single-byte locale the C library upper-cases "ä" and "ü" too; the
  // names port discovery matches must not change with the user's locale.
  test::TTestLocale latin1(LC_CTYPE, {"de_DE.ISO-8859-1", "German_Germany.1252"},
                           "localedef -i de_DE -f ISO-8859-1 de_DE.ISO-8859-1");
  if (!latin1.Active()) GTEST_SKIP() << latin1.Missing;
  EXPECT_EQ(UpperCase("vid_\xe4\xfc"), "VID_\xe4\xfc");
}

TEST(Convert, HexIsUpperCaseWithoutLeadingZeros) {
  EXPECT_EQ(IntToHex(2), "2");
  EXPECT_EQ(IntToHex(0x1A), "1A");
  EXPECT_EQ(IntToHex(0xFFFF), "FFFF");
  EXPECT_EQ(IntToHex(0), "0");
}

}  // namespace
}  // namespace vornex
