// Text books from a real content database, page references to them, and the
// course, text-book, objective and task-pool records behind the server
// pages of a real HTTP server on 127.0.0.1: the exact requests and bodies.
#include <gtest/gtest.h>

#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/courses.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/reference.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/task_pool.h"
#include "norwin/datalayer/text_books.h"
#include "support/content_database_builder.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::MakeRef;
using automation::Ref;
using automation::Variant;
using testing::ContentDatabaseBuilder;
using testing::RecordServer;

template <typename F>
AutomationError ErrorOf(F call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return AutomationError(0, "");
}

class CourseRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override { StoreValidationString(""); }
  void TearDown() override { StoreValidationString(""); }

  std::string WriteBooks() {
    const std::string path = (prefix_.path() / "books.db").string();
    ContentDatabaseBuilder db(path);
    db.AddTextBook("TB1", "Word Basics", "Ann Author");
    db.AddTextBook("TB2", std::nullopt, std::nullopt);
    db.AddTextBook("TB3", "Excel & You", "B. <Writer>");
    return path;
  }

  testing::TempPrefix prefix_;
  RecordServer server_;
};

TEST_F(CourseRecordsTest, TextBooksComeFromTheDatabaseAndGoToTheServer) {
  auto books = MakeRef<TextBooks>();
  EXPECT_FALSE(books->Load((prefix_.path() / "none.db").string()));
  ASSERT_TRUE(books->Load(WriteBooks()));
  ASSERT_EQ(books->Members()->size(), 3u);
  EXPECT_EQ(books->Find("TB1")->Title(), "Word Basics");
  EXPECT_EQ(books->Find("TB1")->Author(), "Ann Author");
  // Null fields read as empty text.
  EXPECT_EQ(books->Find("TB2")->Title() + books->Find("TB2")->Author(), "");
  EXPECT_TRUE(books->Exists(Variant("tb3")));
  EXPECT_FALSE(books->Exists(Variant("TB4")));

  ASSERT_TRUE(books->Save(server_.location("books.xml")));
  const auto request = server_.loopback().last_request();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/app/SavePellamObject.asp?ObjName=TextBooks&FileName=books.xml");
  XmlDocument sent;
  ASSERT_TRUE(sent.LoadXml(request.body).ok());
  EXPECT_EQ(sent.Xml(),
            "<textBookList>"
            "<textBook><id>TB1</id><title>Word Basics</title><author>Ann Author</author></textBook>"
            "<textBook><id>TB2</id><title/><author/></textBook>"
            "<textBook><id>TB3</id><title>Excel &amp; You</title>"
            "<author>B. &lt;Writer&gt;</author></textBook>"
            "</textBookList>");

  // The same rows again are duplicates; the earlier books stay.
  EXPECT_EQ(ErrorOf([&] { (void)books->Load(WriteBooks()); }).number,
            automation::HResultFromRuntimeError(automation::kDuplicateKey));
  EXPECT_EQ(books->Members()->size(), 3u);
}

TEST_F(CourseRecordsTest, ReferencesTieTextToSharedTextBooks) {
  auto books = MakeRef<TextBooks>();
  ASSERT_TRUE(books->Load(WriteBooks()));
  auto reference = MakeRef<Reference>();
  ASSERT_TRUE(reference->LoadFromDatabase("TB1", "ch. 3, p. 41", Variant(books)));
  EXPECT_EQ(reference->GetTextBook().get(), books->Find("TB1"));
  EXPECT_EQ(reference->RefText(), "ch. 3, p. 41");

  const AutomationError missing =
      ErrorOf([&] { (void)reference->LoadFromDatabase("TB9", "p. 1", Variant(books)); });
  EXPECT_EQ(missing.number, automation::MakeHResult(0x80040259));
  EXPECT_EQ(missing.description, "Textbook ID not found in Textbooks collection");
  EXPECT_EQ(missing.source, "Reference Class - LoadFromDatabase");
  EXPECT_EQ(reference->RefText(), "ch. 3, p. 41");

  auto bare = MakeRef<Reference>();
  ASSERT_TRUE(bare->LoadFromDatabase("TB9", "p. 2", Variant::Null()));
  EXPECT_EQ(bare->GetTextBook()->ID(), "TB9");
  EXPECT_EQ(bare->GetTextBook()->Title(), "");

  XmlDocument doc;
  XmlNode root = NewRecordRoot(doc, "reference");
  reference->SaveToXml(root);
  EXPECT_EQ(doc.Xml(),
            "<reference><textBookRef>TB1</textBookRef>"
            "<referenceText>ch. 3, p. 41</referenceText></reference>");
  // Without a text book there is nothing to refer to: 91, nothing written.
  auto empty = MakeRef<Reference>();
  XmlNode other = AppendElement(root, "reference");
  EXPECT_EQ(ErrorOf([&] { empty->SaveToXml(other); }).number,
            automation::HResultFromRuntimeError(automation::kObjectNotSet));
  EXPECT_FALSE(other.HasChildNodes());
  empty->SetTextBookID(Variant(int32_t{7}));
  empty->SaveToXml(other);
  EXPECT_EQ(other.Xml(), "<reference><textBookRef>7</textBookRef><referenceText/></reference>");
}

TEST_F(CourseRecordsTest, CourseListsTravelWithShapeA) {
  server_.PutRecord("classes.xml",
                    "<classes><class><id>2</id><className>Word</className>"
                    "<textBookRef>TB3</textBookRef></class></classes>");
  auto books = MakeRef<TextBooks>();
  ASSERT_TRUE(books->Load(WriteBooks()));
  auto courses = MakeRef<Courses>();
  ASSERT_TRUE(courses->Load(server_.location("classes.xml"), Variant(books)));
  EXPECT_EQ(server_.loopback().last_request().target,
            "/app/LoadPellamObject.asp?ObjName=Courses&FileName=classes.xml&");
  EXPECT_EQ(courses->Members()->FindObject<Course>("2")->GetTextBook().get(), books->Find("TB3"));
  EXPECT_EQ(courses->AddCourse("Excel"), "3");

  StoreValidationString("LoginKey=k&LoginValue=v");
  ASSERT_TRUE(courses->Save(server_.location("classes.xml")));
  const auto saved = server_.loopback().last_request();
  EXPECT_EQ(saved.target,
            "/app/SavePellamObject.asp?ObjName=Courses&FileName=classes.xml&"
            "LoginKey=k&LoginValue=v");
  XmlDocument sent;
  ASSERT_TRUE(sent.LoadXml(saved.body).ok());
  EXPECT_EQ(sent.Xml(),
            "<classes><class><id>2</id><className>Word</className>"
            "<textBookRef>TB3</textBookRef></class>"
            "<class><id>3</id><className>Excel</className></class></classes>");

  // A server that answers with something that is no XML loads nothing.
  server_.PutRecord("garbage.xml", "Record store offline");
  EXPECT_FALSE(courses->Load(server_.location("garbage.xml"), Variant::Null()));
}

TEST_F(CourseRecordsTest, ObjectiveListsAndTaskPoolsAreWrittenForTheServer) {
  const std::string title = (prefix_.path() / "title.db").string();
  {
    ContentDatabaseBuilder db(title);
    db.AddObjective("W1", "Word", "Editing", "Edit text");
    db.AddObjective("W2", "Word", "", "");
    db.AddTask("T1", "Type a letter", "word/t1/", "Word", "Normal", "W1");
  }
  auto objectives = MakeRef<Objectives>();
  ASSERT_TRUE(objectives->Load(title, Variant::Null()));
  auto books = MakeRef<TextBooks>();
  ASSERT_TRUE(books->Load(WriteBooks()));
  auto reference = MakeRef<Reference>();
  ASSERT_TRUE(reference->LoadFromDatabase("TB1", "p. 5", Variant(books)));
  objectives->Members()->FindObject<Objective>("W1")->References()->Append(Variant(reference));

  const std::string location = server_.app_url() + "?sid=7/objectives.xml";
  ASSERT_TRUE(objectives->Save(location));
  auto request = server_.loopback().last_request();
  EXPECT_EQ(request.target,
            "/app/SavePellamObject.asp?ObjName=Objectives&FileName=objectives.xml&sid=7");
  XmlDocument sent;
  ASSERT_TRUE(sent.LoadXml(request.body).ok());
  // An empty skill set and label are left out; the module never is.
  EXPECT_EQ(sent.Xml(),
            "<objectiveList><objective><id>W1</id><module>Word</module>"
            "<skillSet>Editing</skillSet><objectiveLabel>Edit text</objectiveLabel>"
            "<referenceList><reference><textBookRef>TB1</textBookRef>"
            "<referenceText>p. 5</referenceText></reference></referenceList></objective>"
            "<objective><id>W2</id><module>Word</module></objective></objectiveList>");

  auto tasks = MakeRef<TaskPool>();
  ASSERT_TRUE(tasks->Load(title, Variant(objectives), Variant::Nothing()));
  ASSERT_TRUE(tasks->Save(server_.location("tasks.xml")));
  request = server_.loopback().last_request();
  EXPECT_EQ(request.target, "/app/SavePellamObject.asp?ObjName=TaskPool&FileName=tasks.xml");
  ASSERT_TRUE(sent.LoadXml(request.body).ok());
  // App, View and CompletionDate are not written.
  EXPECT_EQ(sent.Xml(),
            "<taskPool><task><id>T1</id><taskName>Type a letter</taskName>"
            "<objectiveRef>W1</objectiveRef><baseHREF>word/t1/</baseHREF></task></taskPool>");

  // A task without an objective cannot name one: 91, nothing stored.
  auto loose = MakeRef<Task>();
  loose->SetID("T9");
  tasks->Tasks()->AddKeyed("T9", Variant(loose));
  const size_t before = server_.loopback().requests().size();
  EXPECT_EQ(ErrorOf([&] { (void)tasks->Save(server_.location("tasks.xml")); }).number,
            automation::HResultFromRuntimeError(automation::kObjectNotSet));
  EXPECT_EQ(server_.loopback().requests().size(), before);
}

}  // namespace
}  // namespace norwin::datalayer
