// RecordList against the DOM: every document the reader takes, it reads as
// the DOM does; every other one, and every document the DOM refuses, it
// leaves to the DOM.
#include "norwin/datalayer/record_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datalayer/support/record_list_reference.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using testing::DomRecordList;
using testing::Flatten;
using testing::kRosterShape;

constexpr char kStudent[] =
    "<student><id>SID00001</id><name><first>Ann</first><last>Lee</last></name>"
    "<classRef>3</classRef><username>alee</username><password>5ebe</password></student>";

// `ascii` as UTF-16, little-endian, after a byte-order mark.
std::string Utf16Le(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (const char c : ascii) out += {c, '\0'};
  return out;
}

struct Case {
  const char* what;
  std::string xml;
  bool taken;  // whether the reader takes it rather than leaving it to the DOM
};

TEST(RecordListTest, ReadsWhatItTakesAsTheDomDoes) {
  const std::string s = kStudent;
  const Case kCases[] = {
      {"the roster's own form",
       "<?xml version=\"1.0\"?>\n<students autoStudentID=\"3\">\n  " + s + "\n  " + s +
           "\n</students>\n",
       true},
      {"byte-order mark, CRLF line ends, tabs",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<students>\r\n\t" + s +
           "\r\n</students>\r\n",
       true},
      {"empty root", "<students/>", true},
      {"empty and blank fields, trimmed text",
       "<students><student><id> S 1 </id><name><middle/><first>  </first>"
       "<last >\r\n Lee\t</last></name><username></username><password /></student></students>",
       true},
      {"the first of each name counts",
       "<students><student><id>1</id><id>2</id><name><first>A</first></name>"
       "<name><first>B</first><last>C</last></name></student></students>",
       true},
      {"other elements, another record name, attributes of the root",
       "<students a='x' autoStudentID = '7' autoStudentID=\"8\"><pupil><email>e</email><id>9</id>"
       "<name><title>Dr</title><last>Z</last></name></pupil><student/></students>",
       true},
      {"text that is markup to nobody",
       "<students><student><id>a>b]]>c \xC3\xA9</id></student></students>", true},
      {"windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><students><student><id>Zo\xEB</id>"
       "</student></students>",
       true},
      {"UTF-16", Utf16Le("<students><student><id>1</id></student></students>"), true},
      {"a comment", "<students><!-- c --><student><id>1</id></student></students>", false},
      {"an entity reference", "<students><student><id>a&amp;b</id></student></students>", false},
      {"a character reference", "<students><student><id>&#65;</id></student></students>", false},
      {"a reference in the declaration", "<?xml version=\"1.0\" x=\"&#0;\"?><students/>", false},
      {"CDATA", "<students><student><id><![CDATA[1]]></id></student></students>", false},
      {"a carriage return inside text", "<students><student><id>a\rb</id></student></students>",
       false},
      {"an attribute on a record", "<students><student n=\"1\"><id>1</id></student></students>",
       false},
      {"mixed content", "<students><student><id>1<b/>2</id></student></students>", false},
      {"text in the root", "<students>x<student><id>1</id></student></students>", false},
      {"text in the name", "<students><student><id>1</id><name>Ann</name></student></students>",
       false},
      {"a processing instruction", "<?xml-stylesheet href=\"a\"?><students/>", false},
      {"a document type", "<!DOCTYPE students><students/>", false},
      {"another root", "<roster><student><id>1</id></student></roster>", false},
      {"a name outside ASCII", "<students><student><naïve>1</naïve></student></students>", false},
      {"a prefixed name", "<students><student><x:id>1</x:id></student></students>", false},
      {"a space in an end tag", "<students><student><id>1</id ></student></students>", false},
      {"attributes run together", "<students a=\"1\"b=\"2\"/>", false},
      {"a tab in an attribute", "<students autoStudentID=\"\t3\"/>", false},
      {"a misnested end tag", "<students><student><id>1</student></id></students>", false},
      {"an end tag missing", "<students><student><id>1</id></students>", false},
      {"cut short", "<students><student><id>1</id>", false},
      {"something after the root", "<students/><students/>", false},
      {"text after the root", "<students/>x", false},
      {"not UTF-8", "<students><student><id>\xFF</id></student></students>", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::optional<RecordList> list = ReadRecordList(c.xml, kRosterShape);
    EXPECT_EQ(list.has_value(), c.taken);
    const std::optional<testing::FlatRecords> dom = DomRecordList(c.xml, kRosterShape);
    if (list) {
      ASSERT_TRUE(dom.has_value()) << "taken, but the DOM refuses it";
      EXPECT_EQ(Flatten(*list), *dom);
    }
  }
}

TEST(RecordListTest, ReadsAFileAndKeepsItsTextWhileItLives) {
  norwin::testing::TempDir dir;
  const auto path = dir.path() / "roster.xml";
  std::ofstream(path, std::ios::binary)
      << "<students autoStudentID=\"4\">" << kStudent << "</students>";
  std::optional<RecordList> list = ReadRecordListFile(path, kRosterShape);
  ASSERT_TRUE(list.has_value());
  std::filesystem::remove(path);
  const RecordList moved = std::move(*list);
  list.reset();
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved.root_attribute(), "4");
  EXPECT_EQ(moved[0][3].text, "alee");
  EXPECT_FALSE(ReadRecordListFile(dir.path() / "missing.xml", kRosterShape).has_value());
  EXPECT_FALSE(ReadRecordListFile(dir.path(), kRosterShape).has_value());
}

}  // namespace
}  // namespace norwin::datalayer
