// What the user may type into the number boxes.
#include <gtest/gtest.h>

#include <clocale>

#include "forms/Convert.h"
#include "forms/Exception.h"
#include "tests/support/TestLocale.h"
#include "upload/ShownText.h"

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


// Text from a printer or the network, shown on a terminal, in a log or a
// list: what would steer the terminal is written out instead.
TEST(ShownText, ControlsAreWrittenOutAndTextPassesAsItIs) {
  struct TCase {
    std::string In, Text, Line;
  } cases[] = {
      {"OK", "OK", "OK"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xa8 a\\b", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xa8 a\\b",
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xa8 a\\b"},
      // Clear screen, the alternate screen with mouse tracking, a bell.
      {"\x1b[2J\x1b[?1049h\x1b[?1000h\a", "\\x1b[2J\\x1b[?1049h\\x1b[?1000h\\x07",
       "\\x1b[2J\\x1b[?1049h\\x1b[?1000h\\x07"},
      {"a\tb\nc\rd", "a\tb\nc\\x0dd", "a\\x09b\\x0ac\\x0dd"},
      {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f", "nul\\x00del\\x7f"},
      // C1 as characters (CSI, NEL) and as lone bytes; separators and
      // bidirectional overrides.
      {"\xc2\x9b" "2J \xc2\x85 \x9b \x85", "\\u009b2J \\u0085 \\x9b \\x85", "\\u009b2J \\u0085 \\x9b \\x85"},
      {"a\xe2\x80\xa8" "b\xe2\x80\xa9", "a\\u2028b\\u2029", "a\\u2028b\\u2029"},
      {"\xe2\x80\xaegpj.exe \xe2\x81\xa6x\xe2\x81\xa9 \xe2\x80\x8f", "\\u202egpj.exe \\u2066x\\u2069 \\u200f",
       "\\u202egpj.exe \\u2066x\\u2069 \\u200f"},
      // Not UTF-8: overlong, a surrogate, beyond U+10FFFF, cut short.
      {"\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x80", "\\xc0\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80 \\xe2\\x80",
       "\\xc0\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80 \\xe2\\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShownText(c.In), c.Text) << c.In;
    EXPECT_EQ(ShownLine(c.In), c.Line) << c.In;
    // Shown twice, it stays as it was shown once.
    EXPECT_EQ(ShownText(ShownText(c.In)), c.Text);
    for (char ch : ShownLine(c.In)) EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20) << c.In;
  }
}

}  // namespace
}  // namespace vornex
