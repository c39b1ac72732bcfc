#include "norwin/bridge/packed_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace norwin::bridge {
namespace {

std::string Pack(const Value& value) {
  std::string out;
  AppendPackedValue(value, &out);
  return out;
}

std::vector<Value> Read(std::string_view text) {
  std::vector<Value> values;
  const Status status = ReadPackedValues(text, &values);
  EXPECT_TRUE(status.ok()) << text << ": " << status.message();
  return values;
}

Value RoundTrip(const Value& value) {
  const std::vector<Value> values = Read(Pack(value));
  EXPECT_EQ(values.size(), 1u);
  return values.empty() ? Value() : values[0];
}

TEST(PackedTextTest, EveryTagReadsBackAsWritten) {
  const Value values[] = {
      Value::Empty(),
      Value::Null(),
      Value::Bool(true),
      Value::Bool(false),
      Value::I2(-32768),
      Value::I4(INT32_MIN),
      Value::I4(2147483647),
      Value::R8(0.1),
      Value::R8(-1.5e-300),
      Value::R8(5e-324),
      Value::R8(1.7976931348623157e308),
      Value::R8(std::numeric_limits<double>::infinity()),
      Value::R8(-std::numeric_limits<double>::infinity()),
      Value::R8(std::nan("")),
      Value::String(""),
      Value::String("plain text"),
      Value::NullString(),
      Value::Object(0x01000005, 3),
      Value::Nothing(),
  };
  std::string all;
  for (const Value& value : values) {
    EXPECT_EQ(RoundTrip(value), value) << Pack(value);
    AppendPackedValue(value, &all);
  }
  // One after another, as a call's arguments travel.
  EXPECT_EQ(Read(all), std::vector<Value>(std::begin(values), std::end(values)));
}

TEST(PackedTextTest, NumbersUseTheSpellingsScriptReads) {
  EXPECT_EQ(Pack(Value::I4(-5)), "I-5;");
  EXPECT_EQ(Pack(Value::I2(7)), "H7;");
  EXPECT_EQ(Pack(Value::R8(2.5)), "R2.5;");
  EXPECT_EQ(Pack(Value::R8(std::nan(""))), "RNaN;");
  EXPECT_EQ(Pack(Value::R8(-std::numeric_limits<double>::infinity())), "R-Infinity;");
  // What JavaScript's Number-to-string writes reads back.
  EXPECT_EQ(Read("R1e+21;R-0;RInfinity;R1.5e-7;")[0], Value::R8(1e21));
  EXPECT_EQ(Read("R1e+21;R-0;RInfinity;R1.5e-7;")[1], Value::R8(-0.0));
  EXPECT_EQ(Read("R1e+21;R-0;RInfinity;R1.5e-7;")[3], Value::R8(1.5e-7));
  EXPECT_EQ(Pack(Value::Object(12, 4)), "O12;4;");
  EXPECT_EQ(Pack(Value::Bool(true)) + Pack(Value::Null()) + Pack(Value::NullString()), "TNL");
}

TEST(PackedTextTest, StringLengthsCountUtf16Units) {
  // "é" is one unit in two bytes, "€" one in three, "😀" two in four.
  EXPECT_EQ(Pack(Value::String("caf\xC3\xA9")), "S4:caf\xC3\xA9");
  EXPECT_EQ(Pack(Value::String("\xE2\x82\xAC")), "S1:\xE2\x82\xAC");
  EXPECT_EQ(Pack(Value::String("\xF0\x9F\x98\x80!")), "S3:\xF0\x9F\x98\x80!");
  EXPECT_EQ(Utf16Length("a\xF0\x9F\x98\x80\xC3\xA9"), 4u);
  // Strings follow each other without separators: the lengths find the ends.
  EXPECT_EQ(
      Read("S2:\xF0\x9F\x98\x80S1:;I1;"),
      (std::vector<Value>{Value::String("\xF0\x9F\x98\x80"), Value::String(";"), Value::I4(1)}));
}

TEST(PackedTextTest, NulAndTheEscapeCharacterTravelEscaped) {
  const std::string text(
      "a\0b\x01"
      "c",
      5);
  const std::string packed = Pack(Value::String(text));
  EXPECT_EQ(packed, std::string("Z7:a\x01"
                                "ab\x01"
                                "bc"));
  EXPECT_EQ(packed.find('\0'), std::string::npos);
  EXPECT_EQ(RoundTrip(Value::String(text)), Value::String(text));
}

TEST(PackedTextTest, InvalidUtf8IsRepairedBeforeItReachesScript) {
  // A stray continuation byte, an overlong "/", a surrogate, a cut sequence.
  EXPECT_EQ(Pack(Value::String("a\x80"
                               "b")),
            "S3:a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Pack(Value::String("\xC0\xAF")), "S2:\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Pack(Value::String("\xED\xA0\x80")), "S3:\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Pack(Value::String("x\xE2\x82")), "S3:x\xEF\xBF\xBD\xEF\xBF\xBD");
  // Repaired text with a NUL is escaped as well.
  EXPECT_EQ(Pack(Value::String(std::string("\xFF\0", 2))), std::string("Z3:\xEF\xBF\xBD\x01"
                                                                       "a"));
}

TEST(PackedTextTest, DatesTravelAsLocalWallClockMilliseconds) {
  // 12/7/2026 3:04:05 PM is OLE day 46363 plus the time; 1/1/1970 is day 25569.
  const double ole = 46363 + (15 * 3600 + 4 * 60 + 5) / 86400.0;
  EXPECT_EQ(WallMsFromOleDate(ole), 1796655845000.0);
  EXPECT_NEAR(OleDateFromWallMs(1796655845000.0), ole, 1e-9);
  EXPECT_EQ(Pack(Value::Date(ole)), "D1796655845000;");
  EXPECT_EQ(WallMsFromOleDate(25569), 0.0);
  // Before 12/30/1899 the days count back but the time of day forward:
  // -1.25 is 12/29/1899 6:00 AM, 18 hours before day 0.
  EXPECT_EQ(WallMsFromOleDate(-1.25) - WallMsFromOleDate(0), -18 * 3600000.0);
  EXPECT_DOUBLE_EQ(OleDateFromWallMs(WallMsFromOleDate(0) - 18 * 3600000.0), -1.25);
  EXPECT_DOUBLE_EQ(OleDateFromWallMs(WallMsFromOleDate(0) - 6 * 3600000.0), -1.75);
  EXPECT_DOUBLE_EQ(OleDateFromWallMs(WallMsFromOleDate(-2.5)), -2.5);
  // 1/1/100 and 12/31/9999 11:59:59 PM, the ends of the range, come back.
  for (const double day : {-657434.0, 2958465.0 + 86399 / 86400.0, 0.5, -700000.75}) {
    EXPECT_NEAR(OleDateFromWallMs(WallMsFromOleDate(day)), day, 1e-8) << day;
  }
  EXPECT_TRUE(std::isnan(OleDateFromWallMs(std::nan(""))));
  const Value read = Read("DNaN;")[0];
  EXPECT_EQ(read.tag, ValueTag::kDate);
  EXPECT_TRUE(std::isnan(read.r8));
}

TEST(PackedTextTest, ArraysCarryTheirItems) {
  const Value nested = Value::Array({Value::String("key"), Value::I4(1), Value::Array({}),
                                     Value::Array({Value::Null(), Value::Object(3, 1)}),
                                     Value::String(std::string("\0", 1))});
  EXPECT_EQ(Pack(nested), std::string("A5;S3:keyI1;A0;A2;NO3;1;Z2:\x01"
                                      "a"));
  EXPECT_EQ(RoundTrip(nested), nested);
  EXPECT_EQ(Read("A0;A1;TE"),
            (std::vector<Value>{Value::Array({}), Value::Array({Value::Bool(true)}), Value()}));
  // Short arrays, huge counts and deep nesting are refused.
  std::vector<Value> values;
  EXPECT_FALSE(ReadPackedValues("A2;I1;", &values).ok());
  EXPECT_FALSE(ReadPackedValues("A4000000000;", &values).ok());
  EXPECT_FALSE(ReadPackedValues("A;", &values).ok());
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "A1;";
  deep += "E";
  EXPECT_FALSE(ReadPackedValues(deep, &values).ok());
  EXPECT_TRUE(ReadPackedValues(deep.substr(8 * 3), &values).ok());
}

TEST(PackedTextTest, RepliesCarryValuesOrAnError) {
  CallReply reply;
  reply.values = {Value::I4(2), Value::I4(-4)};
  std::string packed;
  AppendPackedReply(reply, &packed);
  EXPECT_EQ(packed, "I2;I-4;");
  CallReply read;
  ASSERT_TRUE(ReadPackedReply(packed, &read).ok());
  EXPECT_TRUE(read.ok);
  EXPECT_EQ(read.values, reply.values);

  reply.Fail(static_cast<int32_t>(0x800A000D), "Type mismatch", std::string("x\0y", 3));
  packed.clear();
  AppendPackedReply(reply, &packed);
  EXPECT_EQ(packed, std::string("X-2146828275;S13:Type mismatchZ4:x\x01"
                                "ay"));
  ASSERT_TRUE(ReadPackedReply(packed, &read).ok());
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error.number, static_cast<int32_t>(0x800A000D));
  EXPECT_EQ(read.error.description, "Type mismatch");
  EXPECT_EQ(read.error.source, std::string("x\0y", 3));
  EXPECT_TRUE(read.values.empty());
}

TEST(PackedTextTest, MalformedTextIsRefusedWithItsPosition) {
  const char* const kBad[] = {
      "Q",                    // unknown tag
      "I12",                  // no ';'
      "I;",                   // no digits
      "I99999999999;",        // past 32 bits
      "H40000;",              // past 16 bits
      "R;",                   // no number
      "R+1;",                 // a sign script never writes
      "R1x;",                 // trailing text
      "S5:abc",               // runs past the end
      "S-1:",                 // negative length
      "Sx:",                  // no length
      "S1:\xF0\x9F\x98\x80",  // half of a surrogate pair
      "S1:\x80",              // not UTF-8
      "Z2:\x01z",             // unknown escape
      "Z1:\x01",              // escape at the end
      "O1;",                  // class id missing
  };
  for (const char* bad : kBad) {
    std::vector<Value> values;
    const Status status = ReadPackedValues(bad, &values);
    EXPECT_FALSE(status.ok()) << bad;
    EXPECT_NE(status.message().find("at offset"), std::string::npos) << status.message();
  }
  std::vector<Value> values;
  const Status status = ReadPackedValues("I1;TQ", &values);
  EXPECT_EQ(status.message(), "malformed packed values: unknown value tag at offset 4");
  EXPECT_EQ(values, (std::vector<Value>{Value::I4(1), Value::Bool(true)}));
  CallReply reply;
  EXPECT_FALSE(ReadPackedReply("X5;S1:a", &reply).ok());
  EXPECT_FALSE(ReadPackedReply("X5;I1;S1:a", &reply).ok());
  EXPECT_FALSE(ReadPackedReply("X5;S1:aS1:bT", &reply).ok());
}

TEST(PackedTextTest, CallsAreFoundByNumber) {
  for (const CallSpec& call : kCalls) {
    const std::optional<CallSpec> found = FindCall(static_cast<int32_t>(call.op));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, call.name);
  }
  EXPECT_EQ(FindCall(static_cast<int32_t>(Op::kObjectRelease))->reply, Reply::kNone);
  EXPECT_EQ(FindCall(static_cast<int32_t>(Op::kObjectInvoke))->reply, Reply::kWaits);
  EXPECT_FALSE(FindCall(0));
  EXPECT_FALSE(FindCall(99));
}

}  // namespace
}  // namespace norwin::bridge
