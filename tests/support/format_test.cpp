#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/process.h"
#include "support/KesBorGenUnit.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct FixedCase {
  int max_length;
  int decimals;
  double x;
  const char* expected;
};

TEST(FormatFixed, FixedPointFormsCutToTheMaximumLength) {
  const FixedCase cases[] = {
      {20, 9, 1.024, "1.024000000"},  // a bit rate of 1024000 in Mbps
      {9, 9, 1.024, "1.0240000"},     // the operator's display keeps the first 9 characters
      {9, 9, 10.0, "10.000000"},
      {16, 0, -42, "-42"},
      {16, 0, 19200, "19200"},
      {10, 3, 16384.0, "16384.000"},
      {10, 3, 1048576.5, "1048576.50"},
      // 18 significant digits: places beyond them are zeros, not the double's own digits.
      {30, 18, 1.024, "1.024000000000000020"},
      {30, 18, 1.5e-10, "0.000000000150000000"},
      {40, 2, 1e20, "1E20"},
      {10, 3, -0.0001, "0.000"},  // a value that rounds to zero carries no sign
      {-1, 2, 1.0, ""},
      {10, 3, kNaN, "Nan"},
      {10, 3, kInfinity, "Nan"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatFixed(c.max_length, c.decimals, c.x), c.expected)
        << c.max_length << ", " << c.decimals << ", " << c.x;
  }
}

TEST(FormatExponent, ScientificFormWithPaddedExponent) {
  const struct {
    int precision;
    int digits;
    double x;
    const char* expected;
  } cases[] = {
      {5, 4, 1.234e-4, "1.2340E-0004"},  // a BER of 1234 errors in 10000000 bits
      {5, 4, 0.0, "0.0000E+0000"},       // a BER of 0 keeps the same form
      {5, 4, -0.0, "0.0000E+0000"},
      {3, 2, -12345.0, "-1.23E+04"},
      {1, 0, 5e10, "5E+10"},
      {5, 4, kNaN, "NaN"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatExponent(c.precision, c.digits, c.x), c.expected) << c.x;
  }
}

TEST(FormatNumberText, BlanksRemovedAndInvalidFormat) {
  EXPECT_EQ(FormatNumberText(1234, 12, 0), "1234");
  EXPECT_EQ(FormatNumberText(3.14159, 6, 2), "3.14");
  EXPECT_EQ(FormatNumberText(-2.5, 3, 1), "-2.5");
  EXPECT_EQ(FormatNumberText(1, 5, -1), "INVALID");
  EXPECT_EQ(FormatNumberText(kNaN, 5, 1), "INVALID");
}

// The operator program runs with the desktop's locale; numbers must still use a point.
TEST(FormatLocale, DecimalPointWhateverTheLocale) {
#ifdef ZORV_TEST_LOCALES
  platform::SetEnvironmentVariable("LOCPATH", ZORV_TEST_LOCALES);  // the build made one
#endif
  const char* saved = std::setlocale(LC_NUMERIC, nullptr);
  const std::string restore = saved ? saved : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE")) {
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.1f", 2.5);
  ASSERT_STREQ(printed, "2,5");  // the C library itself now writes a comma
  EXPECT_EQ(FormatFixed(10, 3, 1.5), "1.500");
  EXPECT_EQ(FormatExponent(5, 4, 1.234e-4), "1.2340E-0004");
  EXPECT_EQ(FormatNumberText(2.5, 4, 1), "2.5");
  double value = 0;
  EXPECT_TRUE(ParseDoubleWhole("1.25", value));
  EXPECT_EQ(value, 1.25);
  std::setlocale(LC_NUMERIC, restore.c_str());
}

TEST(FormatHex, WidthPadsOrCutsAndPrefixes) {
  EXPECT_EQ(FormatHex(255, 4, true), "0x00FF");
  EXPECT_EQ(FormatHex(static_cast<uint32_t>(-1), 4, false), "FFFF");
  EXPECT_EQ(FormatHex(0x12345, 4, false), "1234");  // the leading digits are kept
  EXPECT_EQ(FormatHex(0xab, 2, false), "AB");
  EXPECT_EQ(FormatHex(0xab, 0, true), "0x");
  EXPECT_EQ(FormatOctal(8, 3, true), "o010");
  EXPECT_EQ(FormatOctal(8, 1, false), "1");
}

TEST(FormatHex64, EightOrSixteenDigitsAndOverflow) {
  const struct {
    long double x;
    int width;
    bool prefix;
    const char* expected;
  } cases[] = {
      {0x1234, 8, true, "0x00001234"},
      {12.9L, 8, false, "0000000C"},
      {0xABCDEF, 4, false, "00AB"},
      {0xFFFFFFFF, 8, false, "FFFFFFFF"},  // the largest value of eight digits
      {0xFFFFFFFF, 16, false, "00000000FFFFFFFF"},
      {0x1p32L, 16, false, "0000000100000000"},
      {-1, 16, false, "FFFFFFFFFFFFFFFF"},
      {-0x1p63L, 16, false, "8000000000000000"},
      {0x1p63L, 16, true, "0x8000000000000000"},
      {0x1p64L - 1, 16, false, "FFFFFFFFFFFFFFFF"},
      {0x1p64L, 16, true, "OVERFLOW"},
      {-0x1p63L - 1, 16, false, "OVERFLOW"},
      {std::numeric_limits<long double>::quiet_NaN(), 8, false, "OVERFLOW"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatHex64(c.x, c.width, c.prefix), c.expected) << static_cast<double>(c.x);
  }
}

TEST(FormatBinary, NibblesStrippedAndPadded) {
  EXPECT_EQ(NibbleBits('A'), "1010");
  EXPECT_EQ(NibbleBits('7'), "0111");
  EXPECT_EQ(NibbleBits('a'), "0000");  // the digit table is upper case only
  EXPECT_EQ(NibbleBits('\0'), "0000");
  EXPECT_EQ(FormatBinary(5, 6), "000101");
  EXPECT_EQ(FormatBinary(0x3F, 6), "111111");
  EXPECT_EQ(FormatBinary(1, 32), "00000000000000000000000000000001");
  EXPECT_EQ(FormatBinary(0xFF, 8), "11111111");
  EXPECT_EQ(FormatBinary(0, 3), "000");
}

TEST(TextHelpers, TrimStripReplaceAndSplit) {
  std::string s = "abc  ";
  TrimTrailingChar(s, ' ');
  EXPECT_EQ(s, "abc");
  s = "   ";
  TrimTrailingChar(s, ' ');
  EXPECT_EQ(s, "");
  s = "1,5,,";
  ReplaceChar(s, ',', '.', true);
  EXPECT_EQ(s, "1.5");
  s = "a b ";
  ReplaceChar(s, ' ', '_', false);
  EXPECT_EQ(s, "a_b_");
  EXPECT_EQ(StripLeadingChar('0', "0012"), "12");
  EXPECT_EQ(StripLeadingChar('0', "000"), "");
  EXPECT_EQ(StripLeadingChar('0', ""), "");
  EXPECT_EQ(RemoveAllChar(' ', " 1 2 "), "12");
  EXPECT_EQ(PadOrCut(5, '*', "ab"), "***ab");
  EXPECT_EQ(TextBefore("abc=def", "="), "abc");
  EXPECT_EQ(TextAfter("abc=def", "="), "def");
  EXPECT_EQ(TextAfter("a==b", "=="), "b");
  EXPECT_EQ(TextBefore("abc", "="), "");
  EXPECT_EQ(TextAfter("abc", "="), "");
  EXPECT_EQ(TextAfter("abc", ""), "");
}

TEST(ParseIntWhole, OnlyWholeTextsInThirtyTwoBits) {
  const struct {
    const char* text;
    int base;
    bool ok;
    int32_t value;
  } cases[] = {
      {"", 10, true, 0},
      {"12", 10, true, 12},
      {" 12", 10, true, 12},
      {"-42", 10, true, -42},
      {"ff", 16, true, 255},
      {"0x1F", 16, true, 31},
      {"12abc", 10, false, 0},
      {"12 ", 10, false, 0},
      {"99999999999", 10, false, 0},
      {"-2147483648", 10, true, INT32_MIN},
      {"12", 1, false, 0},
  };
  for (const auto& c : cases) {
    int32_t value = 7;
    EXPECT_EQ(ParseIntWhole(c.text, value, c.base), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

TEST(ParseDoubleWhole, OnlyWholeTexts) {
  const struct {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"", true, 0},     {"1.5", true, 1.5},  {" -2.25", true, -2.25},
      {"+3", true, 3},   {"1e3", true, 1000}, {"1.5x", false, 0},
      {"abc", false, 0}, {"1e400", false, 0}, {"  ", false, 0},
  };
  for (const auto& c : cases) {
    double value = 7;
    EXPECT_EQ(ParseDoubleWhole(c.text, value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

TEST(BitHelpers, BitNumbersTakenModulo32) {
  EXPECT_TRUE(IsBitSet(0x2, 1));
  EXPECT_TRUE(IsBitSet(0x2, 33));
  EXPECT_FALSE(IsBitSet(0x2, 0));
  EXPECT_TRUE(IsBitSet(0x80000000u, 31));
  EXPECT_EQ(SetBit(0, 35), 0x8u);
  EXPECT_EQ(SetBit(0, -1), 0x80000000u);
  EXPECT_EQ(ClearBit(0xFF, 32), 0xFEu);
  EXPECT_EQ(RandomMasked(0), 0u);
}

TEST(NumberHelpers, MedianRangeAndSafePower) {
  const double orders[][3] = {{1, 2, 3}, {1, 3, 2}, {2, 1, 3}, {2, 3, 1}, {3, 1, 2}, {3, 2, 1}};
  for (const auto& o : orders) EXPECT_EQ(MedianOf3(o[0], o[1], o[2]), 2);
  EXPECT_TRUE(InRange(5, 10, 0));
  EXPECT_TRUE(InRange(0, 10, 0));
  EXPECT_FALSE(InRange(11, 10, 0));
  EXPECT_EQ(SafePow(2, 10), 1024);
  EXPECT_EQ(SafePow(-8, 1.0 / 3), 0);  // not a real number
  EXPECT_EQ(SafePow(10, 400), 0);      // overflow
  EXPECT_FALSE(SystemErrorText(2).empty());
}

}  // namespace
