// UTF-16 from Windows data into the programs' UTF-8 and back.
#include "norwin/platform/unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norwin::platform {
namespace {

TEST(UnicodeTest, DecodesUtf8OneSequenceAtATimeAndRefusesWhatIsNotText) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::vector<char32_t> decoded;
  size_t pos = 0;
  char32_t code_point = 0;
  while (pos < text.size() && DecodeUtf8(text, pos, code_point)) decoded.push_back(code_point);
  EXPECT_EQ(pos, text.size());
  EXPECT_EQ(decoded, (std::vector<char32_t>{U'a', 0xE9, 0x20AC, 0x1F600}));
  // Cut short, overlong, a surrogate, beyond U+10FFFF, a lone continuation
  // byte: refused where they start.
  for (const std::string bad :
       {"x\xE2\x82", "x\xC0\xAF", "x\xED\xA0\x80", "x\xF4\x90\x80\x80", "x\x80"}) {
    pos = 1;
    EXPECT_FALSE(DecodeUtf8(bad, pos, code_point)) << bad;
    EXPECT_EQ(pos, 1u);
  }
}

TEST(UnicodeTest, DecodesBothByteOrdersAndStopsAtTheFirstFault) {
  // "é", then U+1F600 as a surrogate pair, in little- and big-endian order.
  const std::string le("\xE9\x00\x3D\xD8\x00\xDE", 6);
  const std::string be("\x00\xE9\xD8\x3D\xDE\x00", 6);
  EXPECT_EQ(DecodeUtf16(le, ByteOrder::kLittleEndian).text, "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(DecodeUtf16(be, ByteOrder::kBigEndian).text, "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16Le("\xC3\xA9\xF0\x9F\x98\x80"), le);

  // A high surrogate at the very end, a low one alone, an odd byte: the
  // text before the fault is kept and the fault named.
  const DecodedUtf16 cut = DecodeUtf16(le.substr(0, 4), ByteOrder::kLittleEndian);
  EXPECT_EQ(cut.fault, Utf16Fault::kBrokenPair);
  EXPECT_EQ(cut.text, "\xC3\xA9");
  EXPECT_EQ(DecodeUtf16(std::string("A\x00\x00\xDE", 4), ByteOrder::kLittleEndian).fault,
            Utf16Fault::kBrokenPair);
  const DecodedUtf16 odd = DecodeUtf16(std::string("A\x00"
                                                   "B",
                                                   3),
                                       ByteOrder::kLittleEndian);
  EXPECT_EQ(odd.fault, Utf16Fault::kOddLength);
  EXPECT_EQ(odd.text, "A");
  // NUL units are text like any other; callers decide.
  EXPECT_EQ(DecodeUtf16(std::string("\x00\x00", 2), ByteOrder::kLittleEndian).text,
            std::string(1, '\0'));
  EXPECT_EQ(Utf16LeToUtf8(le.substr(0, 4)).message(), "UTF-16 text with a lone surrogate");
}

}  // namespace
}  // namespace norwin::platform
