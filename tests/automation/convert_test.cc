#include "norwin/automation/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace norwin::automation {
namespace {

// The runtime error number an expression raises, or 0 when it raises none.
int32_t ErrorOf(auto&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return RuntimeErrorFromHResult(e.number);
  }
  return 0;
}

TEST(FormatNumberTest, FifteenSignificantDigitsAsTheLanguageWritesThem) {
  EXPECT_EQ(FormatNumber(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(FormatNumber(200.0 / 3.0), "66.6666666666667");
  EXPECT_EQ(FormatNumber(-2.0 / 3.0), "-0.666666666666667");
  EXPECT_EQ(FormatNumber(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatNumber(3.0), "3");
  EXPECT_EQ(FormatNumber(-0.0), "0");
  EXPECT_EQ(FormatNumber(0.0), "0");
  EXPECT_EQ(FormatNumber(-1.5), "-1.5");
  EXPECT_EQ(FormatNumber(12345.678), "12345.678");
  EXPECT_EQ(FormatNumber(1e20), "1E+20");
  EXPECT_EQ(FormatNumber(1.5e-7), "1.5E-07");
  EXPECT_EQ(FormatNumber(1e-100), "1E-100");
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::max()), "1.79769313486232E+308");
  EXPECT_EQ(FormatNumber(5e-324), "4.94065645841247E-324");
}

TEST(FormatNumberTest, SwitchesToENotationAtTheSameThresholds) {
  // Upwards: plain up to 15 integer digits, E notation from 1E+15.
  EXPECT_EQ(FormatNumber(1e14), "100000000000000");
  EXPECT_EQ(FormatNumber(123456789012345.0), "123456789012345");
  EXPECT_EQ(FormatNumber(999999999999999.0), "999999999999999");
  EXPECT_EQ(FormatNumber(1e15), "1E+15");
  EXPECT_EQ(FormatNumber(1234567890123456.0), "1.23456789012346E+15");
  // Rounding to 15 digits can carry into the next power of ten first.
  EXPECT_EQ(FormatNumber(999999999999999.9), "1E+15");
  EXPECT_EQ(FormatNumber(-999999999999999.9), "-1E+15");
  // Downwards: plain down to 1E-04, E notation below.
  EXPECT_EQ(FormatNumber(0.0001), "0.0001");
  EXPECT_EQ(FormatNumber(0.00012345), "0.00012345");
  EXPECT_EQ(FormatNumber(0.00001), "1E-05");
  EXPECT_EQ(FormatNumber(0.000099999999999999999), "0.0001");
  EXPECT_EQ(FormatNumber(9.99999999999999e-5), "9.99999999999999E-05");
  // Fifteen digits, rounded half away as the digits fall.
  EXPECT_EQ(FormatNumber(1.00000000000000444), "1");
  EXPECT_EQ(FormatNumber(0.123456789012345678), "0.123456789012346");
  EXPECT_EQ(FormatNumber(1e300 * 10), "1E+301");
}

TEST(FormatNumberTest, ValuesThatArePlainTextReadBack) {
  for (double d : {2.0 / 3.0, 1e20, 1.5e-7, 123456.789, -0.0001, 98765432109876.5}) {
    std::optional<double> back = ParseNumber(FormatNumber(d));
    ASSERT_TRUE(back.has_value()) << d;
    EXPECT_EQ(FormatNumber(*back), FormatNumber(d));
  }
}

TEST(ConvertTest, IntegersRoundHalfToEven) {
  EXPECT_EQ(ToInt16(Variant(2.5)), 2);
  EXPECT_EQ(ToInt16(Variant(3.5)), 4);
  EXPECT_EQ(ToInt16(Variant(-2.5)), -2);
  EXPECT_EQ(ToInt16(Variant(-3.5)), -4);
  EXPECT_EQ(ToInt16(Variant(0.5)), 0);
  EXPECT_EQ(ToInt16(Variant(1.5)), 2);
  EXPECT_EQ(ToInt16(Variant(2.4999)), 2);
  EXPECT_EQ(ToInt16(Variant(2.5001)), 3);
  EXPECT_EQ(ToInt32(Variant(-0.5)), 0);
  EXPECT_EQ(ToInt32(Variant("2.5")), 2);
  EXPECT_EQ(ToInt32(Variant("3.5")), 4);
  EXPECT_EQ(RoundHalfEven(1e300), 1e300);
  EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
}

TEST(ConvertTest, IntegerLimitsOverflowWithError6) {
  EXPECT_EQ(ToInt16(Variant(32767)), 32767);
  EXPECT_EQ(ToInt16(Variant(32767.49)), 32767);
  EXPECT_EQ(ErrorOf([] { ToInt16(Variant(32767.5)); }), kOverflow);  // rounds to 32768
  EXPECT_EQ(ToInt16(Variant(-32768.5)), -32768);                     // rounds to even
  EXPECT_EQ(ErrorOf([] { ToInt16(Variant(-32768.51)); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ToInt16(Variant(32768)); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ToInt16(Variant("40000")); }), kOverflow);

  EXPECT_EQ(ToInt32(Variant(2147483646.5)), 2147483646);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant(2147483647.5)); }), kOverflow);
  EXPECT_EQ(ToInt32(Variant(-2147483648.5)), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant(-2147483649.0)); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant("1e10")); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant(std::nan(""))); }), kOverflow);

  EXPECT_EQ(ToByte(Variant(254.5)), 254);
  EXPECT_EQ(ToByte(Variant(-0.5)), 0);
  EXPECT_EQ(ErrorOf([] { ToByte(Variant(255.5)); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ToByte(Variant(-1)); }), kOverflow);
}

TEST(ConvertTest, NumericTextAsTheLanguageReadsIt) {
  EXPECT_EQ(ToInt32(Variant(" 12 ")), 12);
  EXPECT_EQ(ToInt32(Variant("\t+7")), 7);
  EXPECT_EQ(ToInt32(Variant("-7.5")), -8);
  EXPECT_EQ(ToInt32(Variant("1,234,567")), 1234567);
  EXPECT_EQ(ToInt32(Variant("1e3")), 1000);
  EXPECT_EQ(ToInt32(Variant("2.5E0")), 2);
  EXPECT_EQ(ToInt32(Variant(".5e1")), 5);
  EXPECT_EQ(ToInt32(Variant("5.")), 5);
  EXPECT_EQ(ToInt32(Variant("&H1F")), 31);
  EXPECT_EQ(ToInt32(Variant("&h1f")), 31);
  EXPECT_EQ(ToInt32(Variant("&O17")), 15);
  EXPECT_EQ(ToInt32(Variant("&17")), 15);
  // Hexadecimal text is 16-bit while it fits in four digits.
  EXPECT_EQ(ToInt16(Variant("&HFFFF")), -1);
  EXPECT_EQ(ToInt16(Variant("&H8000")), -32768);
  EXPECT_EQ(ToInt32(Variant("&HFFFF")), -1);
  EXPECT_EQ(ToInt32(Variant("&H10000")), 65536);
  EXPECT_EQ(ToInt32(Variant("&HFFFFFFFF")), -1);
  EXPECT_EQ(ToInt32(Variant("&H7FFFFFFF")), 2147483647);
  EXPECT_EQ(ErrorOf([] { ToInt32(Variant("&H100000000")); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ToInt16(Variant("&H10000")); }), kOverflow);

  for (const char* bad : {"", "   ", "abc", "12abc", "1e", "1e+", ".", ",", ",5", "1 2", "--1",
                          "&H", "&HG", "&O8", "0x1F", "1.2.3", "$5", "12/7/2026"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ErrorOf([&] { ToInt32(Variant(bad)); }), kTypeMismatch);
    EXPECT_FALSE(ParseNumber(bad).has_value());
  }
  EXPECT_EQ(ParseNumber("-1,000.25"), -1000.25);
  EXPECT_EQ(ParseNumber("1e-400"), 0.0);
  EXPECT_EQ(ParseNumber("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseNumber("-1e400"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseNumber("0.00000000001e-320"), 0.0);
}

TEST(ConvertTest, SpecialValuesOfEachConversion) {
  // Empty is 0, "" and False; Null is error 94; Boolean True is -1.
  EXPECT_EQ(ToInt16(Variant()), 0);
  EXPECT_EQ(ToString(Variant()), "");
  EXPECT_FALSE(ToBool(Variant()));
  EXPECT_EQ(ToDouble(Variant()), 0.0);
  EXPECT_EQ(ToDate(Variant()), Date{0});
  for (auto convert :
       {+[](const Variant& v) { ToString(v); }, +[](const Variant& v) { ToBool(v); },
        +[](const Variant& v) { ToInt16(v); }, +[](const Variant& v) { ToInt32(v); },
        +[](const Variant& v) { ToDouble(v); }, +[](const Variant& v) { ToDate(v); }}) {
    EXPECT_EQ(ErrorOf([&] { convert(Variant::Null()); }), kInvalidUseOfNull);
    EXPECT_EQ(ErrorOf([&] { convert(Variant::Missing()); }), kTypeMismatch);
    EXPECT_EQ(ErrorOf([&] { convert(Variant::Nothing()); }), kObjectNotSet);
  }
  EXPECT_EQ(ToInt16(Variant(true)), -1);
  EXPECT_EQ(ToDouble(Variant(true)), -1.0);
  EXPECT_EQ(ToInt32(Variant(false)), 0);
  EXPECT_EQ(ToInt32(Variant(Date{45000.5})), 45000);  // half to even
  EXPECT_EQ(ToDouble(Variant(uint8_t{200})), 200.0);
  EXPECT_EQ(ToDouble(Variant(" 1.5 ")), 1.5);
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant("1e400")); }), kOverflow);
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant("12/7/2026")); }), kTypeMismatch);
}

TEST(ConvertTest, BooleansFromTextAndNumbers) {
  EXPECT_TRUE(ToBool(Variant("True")));
  EXPECT_TRUE(ToBool(Variant("tRuE")));
  EXPECT_TRUE(ToBool(Variant(" true ")));
  EXPECT_FALSE(ToBool(Variant("FALSE")));
  EXPECT_FALSE(ToBool(Variant("0")));
  EXPECT_FALSE(ToBool(Variant("0.0")));
  EXPECT_TRUE(ToBool(Variant("-1")));
  EXPECT_TRUE(ToBool(Variant("2.5")));
  EXPECT_FALSE(ToBool(Variant(0)));
  EXPECT_TRUE(ToBool(Variant(0.1)));
  EXPECT_TRUE(ToBool(Variant(int16_t{-1})));
  EXPECT_EQ(ErrorOf([] { ToBool(Variant("yes")); }), kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { ToBool(Variant("")); }), kTypeMismatch);
  EXPECT_EQ(ToString(Variant(true)), "True");
  EXPECT_EQ(ToString(Variant(false)), "False");
}

TEST(ConvertTest, StringsOfEveryType) {
  EXPECT_EQ(ToString(Variant(int16_t{-5})), "-5");
  EXPECT_EQ(ToString(Variant(2147483647)), "2147483647");
  EXPECT_EQ(ToString(Variant(uint8_t{255})), "255");
  EXPECT_EQ(ToString(Variant(2.0 / 3.0)), "0.666666666666667");
  EXPECT_EQ(ToString(Variant(Date{46363.627835648})), "12/7/2026 3:04:05 PM");
  EXPECT_EQ(ToString(Variant::NullString()), "");
  EXPECT_EQ(ToString(Variant("text")), "text");
  EXPECT_EQ(ErrorOf([] { ToString(Variant(Date{3e6})); }), kOverflow);
}

TEST(ConvertTest, ChangeTypeGivesTheExactTargetType) {
  EXPECT_EQ(ChangeType(Variant("12"), VT_I2), Variant(int16_t{12}));
  EXPECT_EQ(ChangeType(Variant(12), VT_BSTR), Variant("12"));
  EXPECT_EQ(ChangeType(Variant("1"), VT_BOOL), Variant(true));
  EXPECT_EQ(ChangeType(Variant(0.5), VT_DATE), Variant(Date{0.5}));
  EXPECT_EQ(ChangeType(Variant("7"), VT_UI1), Variant(uint8_t{7}));
  EXPECT_EQ(ChangeType(Variant(7), VT_R8), Variant(7.0));
  Variant slot(3);
  EXPECT_EQ(ChangeType(Variant::ByRef(&slot), VT_VARIANT), Variant(3));
  EXPECT_EQ(ErrorOf([] { ChangeType(Variant("x"), VT_DISPATCH); }), kTypeMismatch);
  EXPECT_EQ(ChangeType(Variant::Nothing(), VT_DISPATCH), Variant::Nothing());
}

TEST(CompareTest, VariantsCompareAsTheLanguageCompares) {
  EXPECT_EQ(Compare(Variant(2), Variant(10)), -1);
  EXPECT_EQ(Compare(Variant("2"), Variant("10")), 1);  // strings compare as text
  EXPECT_EQ(Compare(Variant(1), Variant("1")), -1);    // a number is less than a string
  EXPECT_EQ(Compare(Variant("0"), Variant(5)), 1);
  EXPECT_EQ(Compare(Variant(), Variant(0)), 0);
  EXPECT_EQ(Compare(Variant(), Variant("")), 0);
  EXPECT_EQ(Compare(Variant(), Variant("a")), -1);
  EXPECT_EQ(Compare(Variant(), Variant()), 0);
  EXPECT_EQ(Compare(Variant(true), Variant(-1)), 0);
  EXPECT_EQ(Compare(Variant(Date{2}), Variant(2.0)), 0);
  EXPECT_EQ(Compare(Variant(int16_t{3}), Variant(2.5)), 1);
  EXPECT_FALSE(Compare(Variant::Null(), Variant(1)).has_value());
  EXPECT_FALSE(Equals(Variant::Null(), Variant::Null()));
  EXPECT_EQ(ErrorOf([] { Compare(Variant::Missing(), Variant(1)); }), kTypeMismatch);

  EXPECT_EQ(Compare(Variant("a"), Variant("B")), 1);  // binary: 'a' > 'B'
  EXPECT_EQ(Compare(Variant("a"), Variant("B"), CompareMode::kText), -1);
  EXPECT_TRUE(Equals(Variant("Lee"), Variant("LEE"), CompareMode::kText));
  EXPECT_FALSE(Equals(Variant("Lee"), Variant("LEE")));
  EXPECT_TRUE(Equals(Variant("M\u00fcller"), Variant("M\u00dcLLER"), CompareMode::kText));
  EXPECT_EQ(CompareStrings("abc", "ABCD", CompareMode::kText), -1);
  EXPECT_EQ(CompareStrings("abc", "ab", CompareMode::kBinary), 1);
  EXPECT_EQ(CompareStrings("\xff", "\xfe", CompareMode::kText), 1);  // not UTF-8: bytes
  std::string slot_text = "x";
  EXPECT_TRUE(Equals(Variant::ByRef(&slot_text), Variant("x")));
}

}  // namespace
}  // namespace norwin::automation
