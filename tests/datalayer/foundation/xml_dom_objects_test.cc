// The XML DOM as script sees it: documents and nodes handed between page
// script and the record classes.
#include "norwin/datalayer/xml_dom_objects.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/record_storage.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::DISPATCH_PROPERTYPUTREF;
using automation::Object;
using automation::Variant;

Variant Get(const Variant& object, std::string_view name,
            std::initializer_list<Variant> args = {}) {
  return CallByName(automation::RequireObject(object), name, DISPATCH_PROPERTYGET, args);
}
Variant Call(const Variant& object, std::string_view name,
             std::initializer_list<Variant> args = {}) {
  return CallByName(automation::RequireObject(object), name, DISPATCH_METHOD, args);
}

automation::HResult ErrorOf(auto&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return e.number;
  }
  return automation::S_OK;
}

TEST(XmlDomObjectsTest, ScriptReadsAndBuildsDocuments) {
  const Variant doc(automation::MakeRef<DomDocumentObject>());
  ASSERT_EQ(Call(doc, "loadXML",
                 {Variant("<roster><student id='7'><last>Archer</last></student>"
                          "<student id='8'><last>Baker</last></student></roster>")}),
            Variant(true));
  const Variant root = Get(doc, "documentElement");
  EXPECT_EQ(Get(root, "nodeName"), Variant("roster"));
  EXPECT_EQ(Get(root, "nodeType"), Variant(int32_t{1}));
  const Variant students = Get(root, "childNodes");
  EXPECT_EQ(Get(students, "length"), Variant(int32_t{2}));
  EXPECT_EQ(Get(Get(students, "item", {Variant(int32_t{1})}), "text"), Variant("Baker"));
  EXPECT_TRUE(Get(students, "item", {Variant(int32_t{2})}).IsNothing());
  EXPECT_EQ(Get(Call(root, "selectSingleNode", {Variant("student[@id='7']/last")}), "text"),
            Variant("Archer"));
  EXPECT_TRUE(Call(root, "selectSingleNode", {Variant("teacher")}).IsNothing());
  const Variant first = Get(root, "firstChild");
  EXPECT_EQ(Get(Call(Get(first, "attributes"), "getNamedItem", {Variant("id")}), "text"),
            Variant("7"));
  EXPECT_EQ(Call(first, "getAttribute", {Variant("missing")}), Variant::Null());
  EXPECT_EQ(Get(Get(Get(first, "firstChild"), "firstChild"), "attributes"), Variant::Null())
      << "only elements have attributes";

  // Building as SaveToXMLNode does: createNode, text, attributes, appendChild.
  const Variant student =
      Call(doc, "createNode", {Variant(int32_t{1}), Variant("student"), Variant("")});
  const Variant last = Call(doc, "createNode", {Variant("element"), Variant("last"), Variant("")});
  CallByName(automation::RequireObject(last), "text", DISPATCH_PROPERTYPUT, {Variant("Carter")});
  Call(student, "appendChild", {last});
  const Variant id = Call(doc, "createAttribute", {Variant("id")});
  CallByName(automation::RequireObject(id), "text", DISPATCH_PROPERTYPUT, {Variant(int32_t{9})});
  Call(Get(student, "attributes"), "setNamedItem", {id});
  Call(root, "appendChild", {student});
  EXPECT_EQ(Get(students, "length"), Variant(int32_t{3})) << "childNodes is live";
  EXPECT_EQ(Get(student, "xml"), Variant("<student id=\"9\"><last>Carter</last></student>"));
  int seen = 0;
  for (const Variant& node : automation::Enumerate(automation::RequireObject(students))) {
    EXPECT_EQ(Get(node, "nodeName"), Variant("student"));
    ++seen;
  }
  EXPECT_EQ(seen, 3);

  // A new document gets its root through documentElement.
  const Variant other(automation::MakeRef<DomDocumentObject>());
  const Variant courses = Call(other, "createElement", {Variant("courses")});
  CallByName(automation::RequireObject(other), "documentElement", DISPATCH_PROPERTYPUTREF,
             {courses});
  EXPECT_EQ(Get(other, "xml"), Variant("<courses/>"));
  // A node of another document arrives as a copy.
  Call(courses, "appendChild", {student});
  EXPECT_EQ(Get(root, "childNodes").IsObject(), true);
  EXPECT_EQ(Get(Get(root, "childNodes"), "length"), Variant(int32_t{3}));
  EXPECT_EQ(Get(Get(other, "documentElement"), "xml"),
            Variant("<courses><student id=\"9\"><last>Carter</last></student></courses>"));
}

TEST(XmlDomObjectsTest, FailuresAreReportedNotHidden) {
  const Variant doc(automation::MakeRef<DomDocumentObject>());
  EXPECT_EQ(Call(doc, "loadXML", {Variant("<a>\n<b></a>")}), Variant(false));
  const Variant error = Get(doc, "parseError");
  EXPECT_NE(Get(error, "errorCode"), Variant(int32_t{0}));
  EXPECT_EQ(Get(error, "line"), Variant(int32_t{2}));
  EXPECT_FALSE(Get(error, "reason").string().empty());
  EXPECT_TRUE(Get(doc, "documentElement").IsNothing());

  ASSERT_EQ(Call(doc, "loadXML", {Variant("<a><b/></a>")}), Variant(true));
  EXPECT_EQ(Get(Get(doc, "parseError"), "errorCode"), Variant(int32_t{0}));
  const Variant b = Call(doc, "selectSingleNode", {Variant("/a/b")});
  // Namespaces, unknown node types and bad names are refused, not dropped.
  EXPECT_EQ(ErrorOf([&] {
              Call(doc, "createNode", {Variant(1), Variant("x"), Variant("urn:x")});
            }),
            automation::E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] {
              Call(doc, "createNode", {Variant(8), Variant("x"), Variant("")});
            }),
            automation::E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { Call(doc, "createElement", {Variant("1st")}); }),
            automation::E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { Call(doc, "selectNodes", {Variant("a[")}); }), automation::E_INVALIDARG);

  // The arguments the record classes take.
  EXPECT_EQ(DomNodeArgument(b).NodeName(), "b");
  EXPECT_EQ(DomNodeArgument(doc).NodeType(), XmlNodeType::kDocument);
  EXPECT_EQ(ErrorOf([&] { (void)DomNodeArgument(Variant("<a/>")); }),
            automation::HResultFromRuntimeError(automation::kObjectRequired));
  EXPECT_EQ(ErrorOf([&] { (void)DomNodeArgument(Variant::Nothing()); }),
            automation::HResultFromRuntimeError(automation::kObjectNotSet));
  EXPECT_EQ(&DomDocumentArgument(b), &DomDocumentArgument(doc));
  // A reload takes the old tree away: its nodes are no longer usable.
  ASSERT_EQ(Call(doc, "loadXML", {Variant("<c/>")}), Variant(true));
  EXPECT_EQ(ErrorOf([&] { (void)DomNodeArgument(b); }),
            automation::HResultFromRuntimeError(automation::kObjectNotSet));
  EXPECT_EQ(Get(b, "nodeName"), Variant(""));
}

TEST(XmlDomObjectsTest, NodesKeepTheirDocumentAndTheLibraryAlive) {
  const int32_t before = LiveObjectCount();
  Variant root;
  {
    const Variant doc(automation::MakeRef<DomDocumentObject>());
    ASSERT_EQ(Call(doc, "loadXML", {Variant("<exam><title>Unit 1</title></exam>")}), Variant(true));
    root = Get(doc, "documentElement");
    EXPECT_GT(LiveObjectCount(), before);
  }
  EXPECT_EQ(Get(Call(root, "selectSingleNode", {Variant("title")}), "text"), Variant("Unit 1"));
  EXPECT_EQ(Get(Get(root, "ownerDocument"), "xml"), Variant("<exam><title>Unit 1</title></exam>"));
  root = Variant();
  EXPECT_EQ(LiveObjectCount(), before);
}

TEST(XmlDomObjectsTest, SavesAndLoadsFilesByTheirWindowsNames) {
  testing::TempPrefix prefix;
  const std::filesystem::path file = prefix.path() / "Roster.xml";
  const Variant doc(automation::MakeRef<DomDocumentObject>());
  ASSERT_EQ(Call(doc, "loadXML", {Variant("<roster><n>\xC3\x89lise</n></roster>")}), Variant(true));
  Call(doc, "save", {Variant(file.string())});
  const Variant again(automation::MakeRef<DomDocumentObject>());
  // Names are looked up without regard to case, as on the authors' systems.
  const std::string other_case = (prefix.path() / "roster.XML").string();
  ASSERT_EQ(Call(again, "load", {Variant(other_case)}), Variant(true));
  EXPECT_EQ(Get(Get(again, "documentElement"), "text"), Variant("\xC3\x89lise"));
  EXPECT_EQ(Call(again, "load", {Variant((prefix.path() / "none.xml").string())}), Variant(false));
  EXPECT_NE(Get(Get(again, "parseError"), "errorCode"), Variant(int32_t{0}));
  EXPECT_EQ(
      ErrorOf([&] { Call(doc, "save", {Variant((prefix.path() / "no/such/x.xml").string())}); }),
      kLocalWriteFailed);
}

}  // namespace
}  // namespace norwin::datalayer
