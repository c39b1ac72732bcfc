// Questions as exams use them: fresh values, clones that share objective and
// task but nothing the student changes, and the `questionRef` element.
#include "norwin/datalayer/question.h"

#include <gtest/gtest.h>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_xml.h"

namespace norwin::datalayer {
namespace {

using automation::CallByName;
using automation::MakeRef;
using automation::Variant;

TEST(QuestionTest, CloneCopiesWhatAnExamKeepsAndSharesThePoolObjects) {
  auto question = MakeRef<Question>();
  EXPECT_EQ(question->Points(), 1);
  EXPECT_EQ(question->Correct(), 0);
  question->SetID("Q1");
  question->SetText("Open the file");
  question->SetHint("File menu");
  question->SetBgImage("q1.gif");
  question->SetApp("Word");
  question->SetView("Normal");
  question->SetModule("Word");
  question->SetCorrect(1);
  question->SetAttempts(2);
  question->SetPoints(5);
  question->SetTextbookReference("p. 3");
  question->SetRemediation("Read chapter 1");
  question->FinalAnswers()->Add(Variant("Ctrl+O"), Variant("none"));
  CallByName(*question, "SetObjectiveID", automation::DISPATCH_METHOD, {Variant(int32_t{17})});
  CallByName(*question, "SetTaskID", automation::DISPATCH_METHOD, {Variant("T4")});
  EXPECT_EQ(question->GetObjective()->ID(), "17");
  EXPECT_EQ(question->GetTask()->ID(), "T4");

  const Variant made = CallByName(*question, "Clone", automation::DISPATCH_METHOD);
  auto* clone = dynamic_cast<Question*>(made.object());
  ASSERT_NE(clone, nullptr);
  ASSERT_NE(clone, question.get());
  EXPECT_EQ(clone->ID() + "|" + clone->Text() + "|" + clone->Hint() + "|" + clone->Module() + "|" +
                clone->TextbookReference() + "|" + clone->Remediation(),
            "Q1|Open the file|File menu|Word|p. 3|Read chapter 1");
  EXPECT_EQ(clone->Correct(), 1);
  EXPECT_EQ(clone->Attempts(), 2);
  EXPECT_EQ(clone->Points(), 5);
  EXPECT_EQ(clone->GetObjective(), question->GetObjective());
  EXPECT_EQ(clone->GetTask(), question->GetTask());
  EXPECT_EQ(clone->BgImage() + clone->App() + clone->View(), "");
  EXPECT_TRUE(clone->FinalAnswers()->empty());
  clone->SetAttempts(9);
  EXPECT_EQ(question->Attempts(), 2);
}

TEST(QuestionTest, QuestionRefCarriesTheResults) {
  auto question = MakeRef<Question>();
  question->SetID("Q7");
  question->SetCorrect(1);
  question->SetAttempts(3);
  XmlDocument doc;
  XmlNode root = NewRecordRoot(doc, "exam");
  question->WriteQuestionRef(AppendElement(root, "questionRef"));
  EXPECT_EQ(doc.Xml(),
            "<exam><questionRef correct=\"1\" attempts=\"3\" points=\"1\">Q7"
            "</questionRef></exam>");

  ASSERT_TRUE(doc.LoadXml("<exam><questionRef attempts=\"4\">Q7</questionRef>"
                          "<questionRef correct=\"1\" attempts=\"x\" points=\"2\">Q7</questionRef>"
                          "<questionRef points=\"40000\">Q7</questionRef></exam>")
                  .ok());
  auto read = MakeRef<Question>();
  read->SetCorrect(1);
  read->ReadResultAttributes(doc.DocumentElement().FirstChild());
  // Missing attributes leave their values alone.
  EXPECT_EQ(read->Correct(), 1);
  EXPECT_EQ(read->Attempts(), 4);
  EXPECT_EQ(read->Points(), 1);
  // A value that is no number, or too large, changes nothing.
  EXPECT_THROW(read->ReadResultAttributes(doc.DocumentElement().FirstChild().NextSibling()),
               automation::AutomationError);
  EXPECT_THROW(read->ReadResultAttributes(doc.DocumentElement().LastChild()),
               automation::AutomationError);
  EXPECT_EQ(read->Attempts(), 4);
  EXPECT_EQ(read->Points(), 1);
}

}  // namespace
}  // namespace norwin::datalayer
