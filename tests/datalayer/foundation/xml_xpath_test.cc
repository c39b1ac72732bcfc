// XPath selection as the record classes use it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datalayer/foundation/xml_test_util.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {
namespace {

using testing::Must;
using testing::ParseXml;
using testing::Select;
using testing::TextOf;

constexpr std::string_view kSubmission =
    "<VUDUD_INPUTS><COURSE_LIST><COURSE ID=\"C7\"><str_Name>Algebra</str_Name>"
    "<SUBMIT_HOST>http://old/</SUBMIT_HOST><SUBMIT_HOST_V3>http://new/</SUBMIT_HOST_V3>"
    "<STUDENT ID=\"s17\"><str_FirstName>Ann</str_FirstName></STUDENT>"
    "<EXAM_LIST><EXAM ID=\"e1\"><questionRef correct=\"1\">q1</questionRef>"
    "<questionRef correct=\"0\">q2</questionRef><questionRef correct=\"1\">q3</questionRef>"
    "</EXAM></EXAM_LIST></COURSE></COURSE_LIST></VUDUD_INPUTS>";

std::vector<std::string> Texts(const XmlNodeList& list) {
  std::vector<std::string> out;
  for (XmlNode n : list) out.push_back(n.Text());
  return out;
}

TEST(XmlXPathTest, SelectsNodesAndAttributesInDocumentOrder) {
  auto doc = ParseXml(kSubmission);
  const XmlNode course = Select(*doc, "/VUDUD_INPUTS/COURSE_LIST/COURSE");
  ASSERT_FALSE(course.IsNull());
  EXPECT_EQ(course.NodeName(), "COURSE");
  EXPECT_EQ(TextOf(course, "SUBMIT_HOST_V3"), "http://new/");
  EXPECT_EQ(TextOf(course, "STUDENT/@ID"), "s17");
  EXPECT_EQ(TextOf(course, "@ID"), "C7");
  EXPECT_TRUE(Select(course, "LESSON").IsNull());
  EXPECT_TRUE(Select(course, "@missing").IsNull());

  const XmlNode exam = Select(course, "EXAM_LIST/EXAM");
  EXPECT_EQ(Texts(Must(exam.SelectNodes("questionRef"))),
            (std::vector<std::string>{"q1", "q2", "q3"}));
  EXPECT_EQ(Texts(Must(doc->SelectNodes("//questionRef[@correct='1']"))),
            (std::vector<std::string>{"q1", "q3"}));
  EXPECT_EQ(TextOf(exam, "questionRef[last()]"), "q3");
  EXPECT_EQ(Select(exam, ".."), Select(course, "EXAM_LIST"));
  EXPECT_EQ(Select(exam, "/"), doc->Node());
  // Reverse axes still give document order.
  EXPECT_EQ(Must(Select(exam, "questionRef[3]").SelectNodes("ancestor::*")).Item(0).NodeName(),
            "VUDUD_INPUTS");
  // From an attribute, relative paths work as from any node.
  EXPECT_EQ(Select(Select(exam, "@ID"), "..").NodeName(), "EXAM");
  const XmlNodeList attrs = Must(exam.SelectNodes("questionRef/@correct"));
  ASSERT_EQ(attrs.Length(), 3u);
  EXPECT_EQ(attrs.Item(1).NodeType(), XmlNodeType::kAttribute);
  EXPECT_EQ(attrs.Item(1).Text(), "0");
  // The same expression again, from other nodes, gives their own results.
  for (int i = 1; i <= 3; ++i) {
    const XmlNode q = Select(exam, "questionRef[" + std::to_string(i) + "]");
    EXPECT_EQ(TextOf(q, "."), "q" + std::to_string(i));
  }
}

TEST(XmlXPathTest, RefusesWhatIsNotANodeSelection) {
  auto doc = ParseXml(kSubmission);
  const XmlNode root = doc->DocumentElement();
  for (const std::string_view bad : {"COURSE_LIST[", "", "//", "@", "COURSE_LIST/]", "a b",
                                     "count(COURSE_LIST)", "'text'", "1 + 1", "name(.)"}) {
    SCOPED_TRACE(bad);
    const Result<XmlNode> one = root.SelectSingleNode(bad);
    ASSERT_FALSE(one.ok());
    EXPECT_NE(one.message().find("XPath expression"), std::string::npos) << one.message();
    EXPECT_FALSE(root.SelectNodes(bad).ok());
  }
  const Result<XmlNode> unclosed = root.SelectSingleNode("COURSE_LIST[");
  EXPECT_NE(unclosed.message().find("\"COURSE_LIST[\""), std::string::npos);
  EXPECT_NE(root.SelectSingleNode("count(*)").message().find("not nodes"), std::string::npos);
  EXPECT_FALSE(root.SelectSingleNode(std::string_view("a\0b", 3)).ok());
  // The document is untouched and still answers.
  EXPECT_EQ(TextOf(root, "COURSE_LIST/COURSE/str_Name"), "Algebra");
}

TEST(XmlXPathTest, NodesOutsideTheTreeAreNotFoundFromIt) {
  auto doc = ParseXml("<exam><questionRef>q1</questionRef></exam>");
  const XmlNode exam = doc->DocumentElement();
  XmlNode pending = Must(doc->CreateElement("questionRef"));
  ASSERT_TRUE(pending.SetText("q2").ok());
  XmlNode attr = Must(doc->CreateAttribute("questionRef"));
  ASSERT_TRUE(attr.SetText("q9").ok());
  EXPECT_EQ(Texts(Must(doc->SelectNodes("//questionRef"))), std::vector<std::string>{"q1"});
  EXPECT_EQ(Must(doc->SelectNodes("/*")).Length(), 1u);
  EXPECT_EQ(Must(doc->SelectNodes("//*")).Length(), 2u);
  EXPECT_EQ(Must(doc->SelectNodes("//@*")).Length(), 0u);
  EXPECT_TRUE(Select(*doc, "//questionRef[2]").IsNull());
  // A detached node answers for itself but shows nothing of the store.
  EXPECT_EQ(TextOf(pending, "."), "q2");
  EXPECT_TRUE(Select(pending, "..").IsNull());
  EXPECT_TRUE(Select(attr, "..").IsNull());
  EXPECT_EQ(Select(pending, "/"), doc->Node());

  ASSERT_TRUE(exam.AppendChild(pending).ok());
  EXPECT_EQ(Texts(Must(doc->SelectNodes("//questionRef"))), (std::vector<std::string>{"q1", "q2"}));
  const XmlNode removed = Must(exam.RemoveChild(Select(exam, "questionRef[1]")));
  EXPECT_EQ(Texts(Must(doc->SelectNodes("//questionRef"))), std::vector<std::string>{"q2"});
  EXPECT_EQ(TextOf(removed, "self::questionRef"), "q1");
}

}  // namespace
}  // namespace norwin::datalayer
