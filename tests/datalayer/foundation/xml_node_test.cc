// Reading and changing the tree through handles: text rules, child lists,
// attribute maps, building and serialising, null handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
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

TEST(XmlNodeTest, TextJoinsDescendantTextAndTrimsBothEnds) {
  auto doc = ParseXml(
      "<student><id>\n\t SID00001 \r\n</id>"
      "<name><first>Ann</first> <middle>B</middle><last>Lee</last></name>"
      "<note>  two  inner  spaces&#10;and a line  </note>"
      "<esc>&lt;&amp;&gt;&quot;&apos;</esc><empty/><blank>   </blank>"
      "<mixed> a <b> b </b> c </mixed><cdata><![CDATA[  <x/>  ]]></cdata>"
      "<attr v=\"  spaced  \"/></student>");
  const XmlNode s = doc->DocumentElement();
  EXPECT_EQ(TextOf(s, "id"), "SID00001");
  EXPECT_EQ(TextOf(s, "name"), "AnnBLee");
  EXPECT_EQ(TextOf(s, "note"), "two  inner  spaces\nand a line");
  EXPECT_EQ(TextOf(s, "esc"), "<&>\"'");
  EXPECT_EQ(TextOf(s, "empty"), "");
  EXPECT_EQ(TextOf(s, "blank"), "");
  EXPECT_EQ(TextOf(s, "mixed"), "a  b  c");
  EXPECT_EQ(TextOf(s, "cdata"), "<x/>");
  // A text node on its own is trimmed too; an attribute's value is not.
  EXPECT_EQ(Select(s, "mixed/text()[2]").Text(), "c");
  EXPECT_EQ(TextOf(s, "attr/@v"), "  spaced  ");
  EXPECT_EQ(doc->Node().Text(), s.Text());
  // Only the ends are trimmed: white space inside the joined text stays.
  EXPECT_EQ(s.Text().substr(0, 17), "SID00001 \nAnnBLee");

  // Deep nesting is walked without recursion.
  std::string deep;
  for (int i = 0; i < 20000; ++i) deep += "<d>";
  deep += "x";
  for (int i = 0; i < 20000; ++i) deep += "</d>";
  EXPECT_EQ(ParseXml(deep)->DocumentElement().Text(), "x");
}

TEST(XmlNodeTest, SetTextReplacesContentAndKeepsOldNodesUsable) {
  auto doc = ParseXml("<r><name><first>Ann</first><last>Lee</last></name><id>1</id></r>");
  const XmlNode name = Select(*doc, "/r/name");
  const XmlNode first = Select(name, "first");
  ASSERT_TRUE(name.SetText("Ann Lee").ok());
  EXPECT_EQ(name.ChildNodes().Length(), 1u);
  EXPECT_EQ(name.FirstChild().NodeType(), XmlNodeType::kText);
  EXPECT_EQ(name.Xml(), "<name>Ann Lee</name>");
  // The replaced child is out of the tree but still a valid node.
  EXPECT_FALSE(first.IsNull());
  EXPECT_EQ(first.Text(), "Ann");
  EXPECT_TRUE(first.ParentNode().IsNull());
  EXPECT_TRUE(Select(*doc, "//first").IsNull());

  const XmlNode id = Select(*doc, "/r/id");
  ASSERT_TRUE(id.SetText("a < b & \"c\"").ok());
  EXPECT_EQ(id.Xml(), "<id>a &lt; b &amp; \"c\"</id>");
  ASSERT_TRUE(id.SetText("").ok());
  EXPECT_FALSE(id.HasChildNodes());
  EXPECT_EQ(id.Xml(), "<id/>");

  // Bad text changes nothing; the document node has no text of its own.
  ASSERT_TRUE(id.SetText("kept").ok());
  EXPECT_FALSE(id.SetText("bad \xFF byte").ok());
  EXPECT_EQ(id.Text(), "kept");
  EXPECT_FALSE(doc->Node().SetText("x").ok());
  const XmlNode attr = Must(doc->CreateAttribute("v"));
  ASSERT_TRUE(attr.SetText(" 7 ").ok());
  EXPECT_EQ(attr.Text(), " 7 ");
}

TEST(XmlNodeTest, ChildListsAreLiveAndIndexedInAnyOrder) {
  std::string xml = "<students>";
  for (int i = 0; i < 300; ++i) xml += "<student><id>S" + std::to_string(i) + "</id></student>";
  xml += "</students>";
  auto doc = ParseXml(xml);
  const XmlNode root = doc->DocumentElement();
  const XmlNodeList list = root.ChildNodes();
  ASSERT_EQ(list.Length(), 300u);

  std::vector<size_t> order(300);
  std::iota(order.begin(), order.end(), 0);
  std::reverse(order.begin(), order.end());
  std::vector<size_t> shuffled = order;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  order.insert(order.end(), shuffled.begin(), shuffled.end());
  for (size_t i : order) ASSERT_EQ(TextOf(list.Item(i), "id"), "S" + std::to_string(i));
  EXPECT_TRUE(list.Item(300).IsNull());
  size_t counted = 0;
  for (XmlNode student : list) counted += student.NodeName() == "student";
  EXPECT_EQ(counted, 300u);

  // The list follows changes made after it was taken.
  ASSERT_TRUE(list.Item(150).IsNull() == false);
  const XmlNode removed = Must(root.RemoveChild(list.Item(0)));
  EXPECT_EQ(list.Length(), 299u);
  EXPECT_EQ(TextOf(list.Item(0), "id"), "S1");
  EXPECT_EQ(Must(root.AppendChild(removed)), removed);
  EXPECT_EQ(list.Length(), 300u);
  EXPECT_EQ(TextOf(list.Item(299), "id"), "S0");
  EXPECT_EQ(list.Item(299).PreviousSibling(), list.Item(298));
  EXPECT_TRUE(list.Item(299).NextSibling().IsNull());
  EXPECT_EQ(root.LastChild(), list.Item(299));
  EXPECT_EQ(root.FirstChild().ParentNode(), root);
  EXPECT_EQ(root.ParentNode(), doc->Node());
  EXPECT_TRUE(doc->Node().ParentNode().IsNull());
}

TEST(XmlNodeTest, AttributeMapsReadAndSetByName) {
  auto doc = ParseXml("<exam ID=\"e1\" id=\"lower\" currentQuestion=\"3\" started=\"true\"/>");
  const XmlNode exam = doc->DocumentElement();
  const XmlNamedNodeMap attrs = exam.Attributes();
  ASSERT_EQ(attrs.Length(), 4u);
  EXPECT_EQ(attrs.Item(0).NodeName(), "ID");
  EXPECT_EQ(attrs.Item(3).NodeName(), "started");
  EXPECT_EQ(attrs.Item(0).NodeType(), XmlNodeType::kAttribute);
  EXPECT_TRUE(attrs.Item(4).IsNull());
  EXPECT_EQ(attrs.GetNamedItem("ID").Text(), "e1");
  EXPECT_EQ(attrs.GetNamedItem("id").Text(), "lower");  // names keep their case
  EXPECT_TRUE(attrs.GetNamedItem("Id").IsNull());
  EXPECT_EQ(exam.GetAttribute("currentQuestion"), "3");
  EXPECT_FALSE(exam.GetAttribute("pctCorrect").has_value());
  // An attribute given twice is not refused; the first one counts.
  EXPECT_EQ(ParseXml("<a x=\"1\" x=\"2\"/>")->DocumentElement().GetAttribute("x"), "1");
  EXPECT_EQ(attrs.GetNamedItem("ID").Xml(), "ID=\"e1\"");
  EXPECT_EQ(attrs.GetNamedItem("ID").OwnerDocument(), doc.get());
  EXPECT_TRUE(attrs.GetNamedItem("ID").ParentNode().IsNull());

  // Created attributes are attached by copy; an existing name is replaced.
  XmlNode created = Must(doc->CreateAttribute("pctCorrect"));
  ASSERT_TRUE(created.SetText("87.5").ok());
  const XmlNode attached = Must(attrs.SetNamedItem(created));
  EXPECT_EQ(attached.Text(), "87.5");
  EXPECT_EQ(attrs.Length(), 5u);
  XmlNode replacement = Must(doc->CreateAttribute("started"));
  ASSERT_TRUE(replacement.SetText("false").ok());
  ASSERT_TRUE(attrs.SetNamedItem(replacement).ok());
  EXPECT_EQ(attrs.Length(), 5u);
  EXPECT_EQ(exam.GetAttribute("started"), "false");
  ASSERT_TRUE(exam.SetAttribute("title", "Unit \"1\" & <2>\n").ok());
  EXPECT_EQ(ParseXml(exam.Xml())->DocumentElement().GetAttribute("title"), "Unit \"1\" & <2>\n");

  // Detached attributes do not show as results of queries on the tree.
  EXPECT_EQ(Must(doc->SelectNodes("//@pctCorrect")).Length(), 1u);

  // What is not a name or not an attribute is refused.
  EXPECT_FALSE(doc->CreateAttribute("1st").ok());
  EXPECT_FALSE(exam.SetAttribute("a b", "x").ok());
  EXPECT_FALSE(exam.SetAttribute("ok", "\xC3").ok());
  EXPECT_FALSE(attrs.SetNamedItem(exam).ok());
  EXPECT_EQ(exam.FirstChild().Attributes().Length(), 0u);
}

TEST(XmlNodeTest, BuildsARecordThatSerialisesAndReadsBack) {
  XmlDocument doc;
  XmlNode root = Must(doc.CreateElement("students"));
  XmlNode counter = Must(doc.CreateAttribute("autoStudentID"));
  ASSERT_TRUE(counter.SetText("12").ok());
  ASSERT_TRUE(root.Attributes().SetNamedItem(counter).ok());
  struct Student {
    const char *id, *first, *last, *user;
  };
  for (const Student& s : {Student{"SID00011", "Ann", "Lee", "alee"},
                           Student{"SID00012", "Jos\u00E9", "O'Brien & <Sons>", "jose"}}) {
    XmlNode student = Must(doc.CreateElement("student"));
    // Filled before it is appended, as the records build their elements.
    const auto add = [&](XmlNode parent, const char* name, const char* text) {
      XmlNode e = Must(doc.CreateElement(name));
      EXPECT_TRUE(e.SetText(text).ok());
      return Must(parent.AppendChild(e));
    };
    add(student, "id", s.id);
    XmlNode name = add(student, "name", "");
    add(name, "first", s.first);
    add(name, "last", s.last);
    add(student, "username", s.user);
    ASSERT_TRUE(root.AppendChild(student).ok());
  }
  // Nothing is in the tree until the root is.
  EXPECT_TRUE(doc.DocumentElement().IsNull());
  EXPECT_TRUE(Select(doc, "//student").IsNull());
  EXPECT_EQ(doc.Xml(), "");
  ASSERT_TRUE(doc.SetDocumentElement(root).ok());

  EXPECT_EQ(doc.Xml(),
            "<students autoStudentID=\"12\">"
            "<student><id>SID00011</id><name><first>Ann</first><last>Lee</last></name>"
            "<username>alee</username></student>"
            "<student><id>SID00012</id><name><first>Jos\u00E9</first>"
            "<last>O'Brien &amp; &lt;Sons&gt;</last></name><username>jose</username></student>"
            "</students>");
  EXPECT_EQ(doc.Xml(XmlDeclaration::kInclude),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + doc.Xml());

  auto back = ParseXml(doc.Xml(XmlDeclaration::kInclude));
  EXPECT_EQ(back->Xml(), doc.Xml());
  EXPECT_EQ(TextOf(back->Node(), "/students/@autoStudentID"), "12");
  EXPECT_EQ(TextOf(back->Node(), "/students/student[2]/name/last"), "O'Brien & <Sons>");
  EXPECT_EQ(back->DocumentElement().ChildNodes().Length(), 2u);

  // A new root replaces the old one.
  XmlNode other = Must(doc.CreateElement("classes"));
  ASSERT_TRUE(doc.SetDocumentElement(other).ok());
  EXPECT_EQ(doc.Xml(), "<classes/>");
  EXPECT_TRUE(root.ParentNode().IsNull());
  EXPECT_FALSE(doc.SetDocumentElement(counter).ok());
}

TEST(XmlNodeTest, AppendChildMovesCopiesOrRefusesAsTheTreeRequires) {
  auto doc = ParseXml("<r><a><b/></a><c/></r>");
  const XmlNode r = doc->DocumentElement();
  const XmlNode a = Select(r, "a"), b = Select(r, "a/b"), c = Select(r, "c");

  // Appending a node of the tree moves it.
  EXPECT_EQ(Must(c.AppendChild(b)), b);
  EXPECT_EQ(doc->Xml(), "<r><a/><c><b/></c></r>");
  EXPECT_EQ(b.ParentNode(), c);

  // A node of another document is copied.
  auto other = ParseXml("<pref><maxAttempts>3</maxAttempts></pref>");
  const XmlNode copy = Must(a.AppendChild(other->DocumentElement()));
  EXPECT_EQ(copy.OwnerDocument(), doc.get());
  EXPECT_EQ(doc->Xml(), "<r><a><pref><maxAttempts>3</maxAttempts></pref></a><c><b/></c></r>");
  EXPECT_EQ(other->Xml(), "<pref><maxAttempts>3</maxAttempts></pref>");

  const struct {
    XmlNode parent, child;
    const char* why;
  } refused[] = {
      {c, r, "ancestor"},
      {c, c, "itself"},
      {b.FirstChild(), a, "null parent"},
      {c, XmlNode(), "null child"},
      {Select(r, "a/pref/maxAttempts/text()"), c, "text parent"},
      {c, Select(r, "a/pref/maxAttempts").Attributes().Item(0), "null attribute"},
      {c, doc->Node(), "document child"},
      {doc->Node(), Must(doc->CreateElement("second")), "second root"},
      {doc->Node(), Must(doc->CreateTextNode("loose")), "top-level text"},
  };
  for (const auto& r2 : refused) {
    SCOPED_TRACE(r2.why);
    const Result<XmlNode> result = r2.parent.AppendChild(r2.child);
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.message().empty());
  }
  XmlNode attr = Must(doc->CreateAttribute("x"));
  EXPECT_FALSE(c.AppendChild(attr).ok());
  EXPECT_EQ(doc->Xml(), "<r><a><pref><maxAttempts>3</maxAttempts></pref></a><c><b/></c></r>");

  // Removing takes a node out; only a parent can remove its child.
  EXPECT_FALSE(r.RemoveChild(b).ok());
  const XmlNode removed = Must(c.RemoveChild(b));
  EXPECT_EQ(removed, b);
  EXPECT_TRUE(b.ParentNode().IsNull());
  EXPECT_FALSE(c.RemoveChild(b).ok());
  EXPECT_EQ(doc->Xml(), "<r><a><pref><maxAttempts>3</maxAttempts></pref></a><c/></r>");
  // The document's own root can go too; then a new one can be appended.
  ASSERT_TRUE(doc->Node().RemoveChild(r).ok());
  EXPECT_TRUE(doc->DocumentElement().IsNull());
  EXPECT_EQ(Must(doc->AppendChild(b)), b);
  EXPECT_EQ(doc->Xml(), "<b/>");

  EXPECT_FALSE(doc->CreateElement("").ok());
  EXPECT_FALSE(doc->CreateElement("two words").ok());
  EXPECT_FALSE(doc->CreateElement("-x").ok());
  EXPECT_TRUE(doc->CreateElement("\u00E9l\u00E8ve").ok());
  EXPECT_FALSE(doc->CreateTextNode("\xC0\xAF").ok());
}

// The readers of large records: child elements in order, and the first of
// each name in one call, never a text node, a comment, or the nodes a
// document keeps out of sight after a removal.
TEST(XmlNodeTest, ChildElementsAndTheFirstOfEachName) {
  auto doc = ParseXml(
      "<student>lead<id>1</id><!-- note --><name><first>Ann</first></name>"
      "<id>2</id><username>alee</username></student>");
  const XmlNode student = doc->DocumentElement();
  std::vector<std::string> names;
  for (const XmlNode& child : student.ChildElements()) names.emplace_back(child.NodeName());
  EXPECT_EQ(names, (std::vector<std::string>{"id", "name", "id", "username"}));

  static constexpr std::string_view kWanted[] = {"username", "id", "password", "nam", "name"};
  XmlNode found[std::size(kWanted)];
  found[2] = student;  // whatever the handles held is replaced
  student.FindChildElements(kWanted, found);
  EXPECT_EQ(found[0].Text(), "alee");
  EXPECT_EQ(found[1].Text(), "1");  // the first of two
  EXPECT_TRUE(found[2].IsNull());
  EXPECT_TRUE(found[3].IsNull());  // a prefix of a name is no match
  EXPECT_EQ(found[4], Select(*doc, "/student/name"));
  // Their texts in the same walk, as Text() gives them; empty where missing.
  std::string texts[std::size(kWanted)];
  texts[2] = "stale";
  student.FindChildElements(kWanted, found, texts);
  EXPECT_EQ(texts[0], "alee");
  EXPECT_EQ(texts[1], "1");
  EXPECT_EQ(texts[2], "");
  EXPECT_EQ(texts[4], "Ann");  // an element holding elements

  // The document node's children leave out what removals keep aside.
  ASSERT_TRUE(student.RemoveChild(found[4]).ok());
  ASSERT_EQ(doc->Node().ChildElements().size(), 1u);
  EXPECT_EQ(doc->Node().ChildElements()[0], student);
  static constexpr std::string_view kFree[] = {"#free", "student"};
  XmlNode top[2];
  doc->Node().FindChildElements(kFree, top);
  EXPECT_TRUE(top[0].IsNull());
  EXPECT_EQ(top[1], student);
  // A null handle and a text node have no child elements.
  for (const XmlNode& none : {XmlNode(), Select(*doc, "/student/text()")}) {
    EXPECT_TRUE(none.ChildElements().empty());
    none.FindChildElements(kFree, top);
    EXPECT_TRUE(top[0].IsNull() && top[1].IsNull());
  }
}

TEST(XmlNodeTest, NullAndStaleHandlesAreHarmless) {
  auto doc = ParseXml("<r><a x=\"1\">t</a></r>");
  const XmlNode stale = Select(*doc, "/r/a");
  const XmlNode stale_attr = Select(*doc, "/r/a/@x");
  const XmlNodeList stale_selection = Must(doc->SelectNodes("//*"));
  const XmlNodeList stale_children = doc->DocumentElement().ChildNodes();
  ASSERT_EQ(stale_selection.Length(), 2u);
  ASSERT_TRUE(doc->LoadXml("<other/>").ok());
  const XmlNode missing = Select(*doc, "/r/a");

  for (const XmlNode& n : {XmlNode(), missing, stale, stale_attr}) {
    EXPECT_TRUE(n.IsNull());
    EXPECT_EQ(n, XmlNode());
    EXPECT_EQ(n.NodeType(), XmlNodeType::kNull);
    EXPECT_EQ(n.NodeName(), "");
    EXPECT_EQ(n.Text(), "");
    EXPECT_EQ(n.Xml(), "");
    EXPECT_TRUE(n.ParentNode().IsNull());
    EXPECT_TRUE(n.FirstChild().IsNull());
    EXPECT_TRUE(n.LastChild().IsNull());
    EXPECT_TRUE(n.NextSibling().IsNull());
    EXPECT_TRUE(n.PreviousSibling().IsNull());
    EXPECT_FALSE(n.HasChildNodes());
    EXPECT_EQ(n.ChildNodes().Length(), 0u);
    EXPECT_TRUE(n.ChildNodes().Item(0).IsNull());
    EXPECT_EQ(n.Attributes().Length(), 0u);
    EXPECT_TRUE(n.Attributes().GetNamedItem("x").IsNull());
    EXPECT_TRUE(n.Attributes().Item(0).IsNull());
    EXPECT_FALSE(n.Attributes().SetNamedItem(Must(doc->CreateAttribute("y"))).ok());
    EXPECT_FALSE(n.GetAttribute("x").has_value());
    EXPECT_FALSE(n.SetAttribute("x", "2").ok());
    EXPECT_FALSE(n.SetText("x").ok());
    EXPECT_FALSE(n.AppendChild(doc->DocumentElement()).ok());
    EXPECT_FALSE(doc->DocumentElement().AppendChild(n).ok());
    EXPECT_FALSE(n.RemoveChild(doc->DocumentElement()).ok());
    EXPECT_TRUE(Must(n.SelectSingleNode("a")).IsNull());
    EXPECT_EQ(Must(n.SelectNodes("a")).Length(), 0u);
    EXPECT_FALSE(n.SelectNodes("a[").ok());
    EXPECT_EQ(n.OwnerDocument(), nullptr);
  }
  EXPECT_EQ(stale_selection.Length(), 0u);
  EXPECT_TRUE(stale_selection.Item(0).IsNull());
  EXPECT_EQ(stale_children.Length(), 0u);
  EXPECT_EQ(doc->Xml(), "<other/>");
  EXPECT_EQ(XmlNodeList().Length(), 0u);
  EXPECT_FALSE(XmlNamedNodeMap().SetNamedItem(XmlNode()).ok());
}

TEST(XmlNodeTest, NodeTypesAndNamesFollowTheDom) {
  auto doc = ParseXml("<r a=\"1\">t<![CDATA[c]]><e/></r>");
  const XmlNode r = doc->DocumentElement();
  EXPECT_EQ(doc->Node().NodeType(), XmlNodeType::kDocument);
  EXPECT_EQ(doc->Node().NodeName(), "#document");
  EXPECT_EQ(r.NodeType(), XmlNodeType::kElement);
  EXPECT_EQ(r.ChildNodes().Item(0).NodeName(), "#text");
  EXPECT_EQ(r.ChildNodes().Item(1).NodeName(), "#cdata-section");
  EXPECT_EQ(r.ChildNodes().Item(2).NodeName(), "e");
  EXPECT_EQ(Select(r, "@a").NodeType(), XmlNodeType::kAttribute);
  EXPECT_EQ(doc->Node().OwnerDocument(), doc.get());
  EXPECT_EQ(r.ChildNodes().Item(1).Xml(), "<![CDATA[c]]>");
}

}  // namespace
}  // namespace norwin::datalayer
