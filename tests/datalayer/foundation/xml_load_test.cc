// Reading documents: encodings, what the tree keeps, and faults with their
// positions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <random>
#include <string>

#include "datalayer/foundation/xml_test_util.h"
#include "norwin/datalayer/xml_dom.h"
#include "norwin/platform/codepage.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using testing::ParseXml;
using testing::Select;
using testing::TextOf;

// UTF-16 code units of UTF-8 text, as bytes in the given order.
std::string ToUtf16(std::string_view utf8, bool big_endian) {
  std::u32string cps;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t cp = len == 1 ? b : b & (0x3F >> (len - 1));
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    cps.push_back(cp);
    i += len;
  }
  std::string out;
  const auto unit = [&](char16_t u) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  };
  for (char32_t cp : cps) {
    if (cp >= 0x10000) {
      unit(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      unit(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// Code points of UTF-8 text.
std::u32string CodePoints(std::string_view utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t cp = len == 1 ? b : b & (0x3F >> (len - 1));
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string HighBytes() {
  std::string bytes;
  for (int b = 0x80; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

TEST(XmlLoadTest, ReadsUtf16WithEitherByteOrderAndUtf8WithBom) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r a=\"\u00E9\">"
      "Caf\u00E9 \u20AC \U0001F600 \u4E2D</r>";
  for (bool big_endian : {false, true}) {
    const std::string bom = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (const std::string& bytes : {bom + ToUtf16(xml, big_endian), ToUtf16(xml, big_endian)}) {
      XmlDocument doc;
      ASSERT_TRUE(doc.LoadXml(bytes).ok()) << doc.ParseError().reason;
      EXPECT_EQ(doc.DocumentElement().Text(), "Caf\u00E9 \u20AC \U0001F600 \u4E2D");
      EXPECT_EQ(doc.DocumentElement().GetAttribute("a"), "\u00E9");
    }
  }
  auto doc = ParseXml("\xEF\xBB\xBF<r>\u00E9t\u00E9</r>");
  EXPECT_EQ(doc->DocumentElement().Text(), "\u00E9t\u00E9");
  EXPECT_EQ(doc->Xml(), "<r>\u00E9t\u00E9</r>");  // the mark is not part of the text
}

TEST(XmlLoadTest, ReadsWindows1252AndLatin1DeclarationsByTheirOwnTables) {
  const std::string high = HighBytes();
  for (const char* label : {"windows-1252", "Windows-1252", "cp1252"}) {
    XmlDocument doc;
    const std::string bytes = std::string("<?xml version=\"1.0\" encoding=\"") + label +
                              "\"?><r v=\"\xE9\x80\">" + high + "</r>";
    ASSERT_TRUE(doc.LoadXml(bytes).ok()) << label << ": " << doc.ParseError().reason;
    const std::string text = doc.DocumentElement().Text();
    EXPECT_EQ(text.substr(0, 3), "\u20AC");               // 0x80 is the euro sign
    EXPECT_EQ(CodePoints(text)[0x93 - 0x80], U'\u201C');  // curly quotes
    EXPECT_EQ(CodePoints(text)[0xE9 - 0x80], U'\u00E9');
    EXPECT_EQ(CodePoints(text).size(), 128u);
    // Every byte comes back when the text is written in the same code page.
    Result<std::string> back = platform::Utf8ToCp1252(text);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, high);
    EXPECT_EQ(doc.DocumentElement().GetAttribute("v"), "\u00E9\u20AC");
  }
  for (const char* label : {"ISO-8859-1", "iso-8859-1", "latin1"}) {
    XmlDocument doc;
    const std::string bytes =
        std::string("<?xml version='1.0' encoding='") + label + "'?>\n<r>" + high + "</r>";
    ASSERT_TRUE(doc.LoadXml(bytes).ok()) << label << ": " << doc.ParseError().reason;
    const std::u32string cps = CodePoints(doc.DocumentElement().Text());
    ASSERT_EQ(cps.size(), 128u);
    for (char32_t i = 0; i < 128; ++i) EXPECT_EQ(cps[i], 0x80 + i) << "byte " << 0x80 + i;
  }
}

TEST(XmlLoadTest, RefusesBytesThatAreNotTextInTheDocumentsEncoding) {
  XmlDocument doc;
  // A Windows-1252 e-acute in a document that declares no encoding.
  ASSERT_FALSE(doc.LoadXml("<r>\n  <n>Ren\xE9</n>\n</r>").ok());
  EXPECT_EQ(doc.ParseError().status, XmlParseStatus::kInvalidCharacter);
  EXPECT_EQ(doc.ParseError().line, 2);
  EXPECT_EQ(doc.ParseError().column, 9);
  EXPECT_NE(doc.ParseError().reason.find("0xE9"), std::string::npos);
  EXPECT_NE(doc.ParseError().source_text.find("Ren\uFFFD"), std::string::npos);

  ASSERT_FALSE(doc.LoadXml(std::string("<r>a\0b</r>", 10)).ok());
  EXPECT_EQ(doc.ParseError().status, XmlParseStatus::kInvalidCharacter);
  EXPECT_EQ(doc.ParseError().column, 5);

  // A lone surrogate, and a last byte without its partner.
  const std::string bad_pair =
      "\xFF\xFE" + ToUtf16("<r>ab", false) + std::string("\x00\xD8", 2) + ToUtf16("</r>", false);
  ASSERT_FALSE(doc.LoadXml(bad_pair).ok());
  EXPECT_EQ(doc.ParseError().status, XmlParseStatus::kInvalidCharacter);
  EXPECT_EQ(doc.ParseError().column, 6);
  ASSERT_FALSE(doc.LoadXml("\xFF\xFE" + ToUtf16("<r/>", false) + "<").ok());
  EXPECT_EQ(doc.ParseError().status, XmlParseStatus::kInvalidCharacter);

  ASSERT_FALSE(doc.LoadXml("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r/>").ok());
  EXPECT_EQ(doc.ParseError().status, XmlParseStatus::kUnsupportedEncoding);
  EXPECT_NE(doc.ParseError().reason.find("Shift_JIS"), std::string::npos);
}

TEST(XmlLoadTest, KeepsElementsAndTextButNotWhiteSpaceBetweenElements) {
  auto doc = ParseXml(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE students>\n<!-- roster -->\n"
      "<students autoStudentID=\"2\">\n"
      "  <student>\n    <id> SID00001 </id>\n    <?editor keep?>\n  </student>\n"
      "  <!-- second -->\n  <student>\n\t<id>SID00002</id>\n  </student>\n"
      "</students>\n");
  const XmlNode root = doc->DocumentElement();
  EXPECT_EQ(root.NodeName(), "students");
  EXPECT_EQ(doc->ChildNodes().Length(), 1u);
  ASSERT_EQ(root.ChildNodes().Length(), 2u);
  for (XmlNode student : root.ChildNodes()) {
    EXPECT_EQ(student.NodeType(), XmlNodeType::kElement);
    EXPECT_EQ(student.ChildNodes().Length(), 1u);
  }
  EXPECT_EQ(TextOf(root, "student[1]/id"), "SID00001");
  // The text node keeps its spaces; Text() trims them.
  EXPECT_EQ(Select(root, "student[1]/id").FirstChild().Xml(), " SID00001 ");

  // Text among elements is content and stays, with its spaces.
  doc = ParseXml("<p> Press <b>Start</b> now <![CDATA[<now>]]></p>");
  const XmlNode p = doc->DocumentElement();
  ASSERT_EQ(p.ChildNodes().Length(), 4u);
  EXPECT_EQ(p.ChildNodes().Item(0).NodeType(), XmlNodeType::kText);
  EXPECT_EQ(p.ChildNodes().Item(3).NodeType(), XmlNodeType::kCData);
  EXPECT_EQ(p.Text(), "Press Start now <now>");
}

TEST(XmlLoadTest, MalformedDocumentsFailWithReasonAndPosition) {
  struct Case {
    std::string xml;
    int64_t line, column;
    std::string reason_part;
  };
  const Case cases[] = {
      {"<a>\n  <b>\n</c></a>", 3, 3, "\"c\" does not match"},
      {"<a><b>text", 1, 11, "ends before"},
      {"<a/>\n<b/>", 2, 1, "one root element"},
      {"<a/>\r\n\r\njunk", 3, 1, "outside the root"},
      {"", 1, 1, "no root element"},
      {"  \n ", 2, 2, "no root element"},
      {"<a>\n<b c=1/></a>", 2, 6, "attribute"},
      {"<a>&#xD800;</a>", 1, 4, "\"&#xD800;\" does not name a character"},
      {"<a v='&#0;'/>", 1, 7, "\"&#0;\" does not name"},
      {"<a>\n&#1114112;</a>", 2, 1, "does not name"},
      {"<r>\n<\xC3\xA9l\xC3\xA9ve></x>", 2, 10, "\"x\" does not match"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<old/>").ok());
    const XmlNode old = doc.DocumentElement();
    const Status status = doc.LoadXml(c.xml);
    ASSERT_FALSE(status.ok());
    const XmlParseError& e = doc.ParseError();
    EXPECT_EQ(e.status, XmlParseStatus::kMalformed);
    EXPECT_NE(e.reason.find(c.reason_part), std::string::npos) << e.reason;
    EXPECT_EQ(e.line, c.line);
    EXPECT_EQ(e.column, c.column);
    EXPECT_NE(status.message().find(e.reason), std::string::npos);
    EXPECT_NE(status.message().find("line " + std::to_string(c.line)), std::string::npos);
    // A failed load leaves an empty document, and no handle into the old one.
    EXPECT_TRUE(doc.DocumentElement().IsNull());
    EXPECT_TRUE(old.IsNull());
    EXPECT_EQ(doc.Xml(), "");
  }

  // The line shown with a fault in a long one-line record is cut around it.
  std::string long_line = "<r>";
  for (int i = 0; i < 500; ++i) long_line += "<s>" + std::to_string(i) + "</s>";
  long_line += "<s>1</t></r>";
  XmlDocument doc;
  ASSERT_FALSE(doc.LoadXml(long_line).ok());
  EXPECT_LE(doc.ParseError().source_text.size(), 170u);
  EXPECT_NE(doc.ParseError().source_text.find("<s>1</t>"), std::string::npos);
  EXPECT_EQ(doc.ParseError().offset, static_cast<int64_t>(long_line.find("t></r>")));

  // A good character reference is read.
  EXPECT_EQ(ParseXml("<a>&#233;&#x20AC;&lt;</a>")->DocumentElement().Text(), "\u00E9\u20AC<");
}

TEST(XmlLoadTest, LoadsFilesAndReportsThoseItCannotRead) {
  norwin::testing::TempDir dir;
  const auto path = dir.path() / "students.xml";
  std::ofstream(path, std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<students>\r\n"
         "<student><id>S1</id><name><first>Ren\xE9</first></name></student>\r\n</students>\r\n";
  XmlDocument doc;
  ASSERT_TRUE(doc.Load(path).ok()) << doc.ParseError().reason;
  EXPECT_EQ(TextOf(doc.Node(), "/students/student/name/first"), "Ren\u00E9");
  EXPECT_TRUE(doc.ParseError().ok());

  // A fault in a file is placed in the file's text.
  std::ofstream(path, std::ios::binary) << "<students>\r\n  <student>\r\n</students>";
  Status status = doc.Load(path);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(doc.ParseError().line, 3);
  EXPECT_EQ(doc.ParseError().column, 3);
  EXPECT_EQ(doc.ParseError().source_text, "</students>");
  EXPECT_NE(status.message().find(path.string()), std::string::npos);

  // Pipes and devices fail at once (never waiting for a writer), and so
  // does a file far larger than any record.
  ASSERT_EQ(mkfifo((dir.path() / "pipe.xml").c_str(), 0600), 0);
  std::ofstream(dir.path() / "huge.xml") << "<r/>";
  std::filesystem::resize_file(dir.path() / "huge.xml", (std::uintmax_t{64} << 20) + 1);
  EXPECT_NE(doc.Load(dir.path() / "huge.xml").message().find("larger than 64 MiB"),
            std::string::npos);
  for (const auto& missing : {dir.path() / "none.xml", dir.path(), dir.path() / "pipe.xml",
                              std::filesystem::path("/dev/zero"), dir.path() / "huge.xml"}) {
    status = doc.Load(missing);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(doc.ParseError().status, XmlParseStatus::kIoError);
    EXPECT_EQ(doc.ParseError().line, 0);
    EXPECT_NE(status.message().find(missing.string()), std::string::npos);
    EXPECT_TRUE(doc.DocumentElement().IsNull());
  }
}

// Random and mutated input never crashes a load: it gives a document that
// serialises and reads back the same, or a fault placed inside the text.
TEST(XmlLoadTest, RandomAndMutatedBytesLoadOrFailCleanly) {
  const std::string seed_doc =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<students autoStudentID=\"12\">"
      "<student><id>SID00012</id><name><first>Ann</first><middle>B</middle><last>Lee</last>"
      "</name><classRef>3</classRef><!-- c --><sectionRef>2</sectionRef><username>alee</username>"
      "<password>0123456789abcdef0123456789abcdef</password></student>"
      "<x a='&amp;&#233;' b=\"2\"><![CDATA[ <raw> ]]>&lt;t&gt;<?pi x?></x></students>";
  const std::string alphabet = "<>/=\"'&#;![]?- \n\tabx0\xE9\x80\xFF\xC3\x00";
  std::mt19937 rng(20240611);
  int loaded = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string bytes;
    if (round % 10 == 0) {
      const size_t n = rng() % 64;
      for (size_t i = 0; i < n; ++i) bytes.push_back(alphabet[rng() % alphabet.size()]);
    } else {
      bytes = seed_doc;
      const int edits = 1 + static_cast<int>(rng() % 4);
      for (int e = 0; e < edits && !bytes.empty(); ++e) {
        const size_t at = rng() % bytes.size();
        switch (rng() % 4) {
          case 0:
            bytes[at] = alphabet[rng() % alphabet.size()];
            break;
          case 1:
            bytes.insert(at, 1, alphabet[rng() % alphabet.size()]);
            break;
          case 2:
            bytes.erase(at, 1 + rng() % 8);
            break;
          default:
            bytes.resize(at);
            break;
        }
      }
      if (round % 7 == 0) bytes = "\xFF\xFE" + ToUtf16(bytes, false);
    }
    SCOPED_TRACE(bytes);
    XmlDocument doc;
    if (doc.LoadXml(bytes).ok()) {
      ++loaded;
      const std::string xml = doc.Xml();
      XmlDocument again;
      ASSERT_TRUE(again.LoadXml(xml).ok()) << again.ParseError().reason << "\n" << xml;
      EXPECT_EQ(again.Xml(), xml);
      EXPECT_EQ(again.DocumentElement().Text(), doc.DocumentElement().Text());
    } else {
      const XmlParseError& e = doc.ParseError();
      EXPECT_FALSE(e.reason.empty());
      EXPECT_GE(e.line, 1);
      EXPECT_GE(e.column, 1);
      EXPECT_GE(e.offset, 0);
      EXPECT_TRUE(doc.DocumentElement().IsNull());
    }
  }
  // The mutations leave many documents intact: both paths were exercised.
  EXPECT_GT(loaded, 200);
  EXPECT_LT(loaded, 3800);
}

}  // namespace
}  // namespace norwin::datalayer
