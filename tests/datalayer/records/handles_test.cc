// The small record classes as pages use them: TitleFilename and ExamInfo
// handles loaded from exam files, exam and lesson assignments in their
// elements, and DialogBox.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "datalayer/support/new_record.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/assignments.h"
#include "norwin/datalayer/dialog_box.h"
#include "norwin/datalayer/exam_info.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/title_filename.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::AutomationError;
using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::Ref;
using automation::Variant;

using testing::New;

Variant Get(automation::Object& object, std::string_view name) {
  return CallByName(object, name, DISPATCH_PROPERTYGET);
}

class HandlesTest : public ::testing::Test {
 protected:
  void Put(std::string_view name, std::string_view text) {
    std::ofstream(folder_.path() / std::string(name), std::ios::binary) << text;
  }
  // The folder as pages give it, ending in "/".
  std::string Dir() const { return folder_.path().string() + "/"; }

  testing::TempPrefix prefix_;
  testing::TempDir folder_;
};

TEST_F(HandlesTest, TitleFilenameTakesTheTitleOfTheRecordItNames) {
  auto handle = New<TitleFilename>("TitleFilename");
  EXPECT_EQ(Get(*handle, "LessonObjType"), Variant(int32_t{0}));
  EXPECT_EQ(CallByName(*handle, "SetValues", DISPATCH_METHOD,
                       {Variant("Unit 1"), Variant("d:\\exams/"), Variant("u1_pmxm.xml")}),
            Variant(true));
  EXPECT_EQ(Get(*handle, "Title"), Variant("Unit 1"));
  EXPECT_EQ(Get(*handle, "Directory"), Variant("d:\\exams/"));
  EXPECT_EQ(Get(*handle, "FILENAME"), Variant("u1_pmxm.xml"));
  CallByName(*handle, "LessonObjType", DISPATCH_PROPERTYPUT, {Variant(int16_t{2})});
  EXPECT_EQ(handle->LessonObjType(), kLessonObjTypeTextbook);

  Put("final_pmxm.xml", "<exam><source>0</source><title> Final exam </title></exam>");
  EXPECT_EQ(CallByName(*handle, "LoadValues", DISPATCH_METHOD,
                       {Variant(Dir()), Variant("final_pmxm.xml")}),
            Variant(true));
  EXPECT_EQ(handle->Title(), "Final exam");
  EXPECT_EQ(handle->Filename(), "final_pmxm.xml");
  EXPECT_EQ(handle->Directory(), Dir());

  // Missing, broken and untitled records change nothing.
  EXPECT_FALSE(handle->LoadValues(Dir(), "missing_pmxm.xml", "Exam"));
  Put("broken_pmxm.xml", "<exam><title>Broken");
  EXPECT_FALSE(handle->LoadValues(Dir(), "broken_pmxm.xml", "Exam"));
  Put("untitled_pmxm.xml", "<exam><question/></exam>");
  try {
    handle->LoadValues(Dir(), "untitled_pmxm.xml", "Exam");
    ADD_FAILURE() << "the title is required";
  } catch (const AutomationError& e) {
    EXPECT_EQ(automation::ErrNumberFromHResult(e.number), automation::kObjectNotSet);
  }
  EXPECT_EQ(handle->Title(), "Final exam");
  EXPECT_EQ(handle->Filename(), "final_pmxm.xml");
  // The folder and the name are joined as they are.
  EXPECT_FALSE(handle->LoadValues(folder_.path().string(), "final_pmxm.xml", "Exam"));
}

TEST_F(HandlesTest, ExamInfoTakesTitlePercentageAndFirstQuestion) {
  auto info = New<ExamInfo>("ExamInfo");
  CallByName(*info, "SetValues", DISPATCH_METHOD,
             {Variant("Old"), Variant("x/"), Variant("old.xml"), Variant("3"), Variant("87.5"),
              Variant("Q9"), Variant(int32_t{2})});
  EXPECT_EQ(Get(*info, "Attempt"), Variant(int16_t{3}));
  EXPECT_EQ(Get(*info, "PctCorrect"), Variant(87.5));
  EXPECT_EQ(Get(*info, "FirstQuestionID"), Variant("Q9"));
  EXPECT_EQ(Get(*info, "Source"), Variant(int16_t{2}));

  Put("u1_pmxm_SID1_2.xml",
      "<exam pctCorrect='66.6666666666667'><title>Unit 1</title><pref/>"
      "<questionRef correct='1'>Q17</questionRef><questionRef>Q18</questionRef></exam>");
  ASSERT_EQ(CallByName(*info, "LoadValues", DISPATCH_METHOD,
                       {Variant(Dir()), Variant("u1_pmxm_SID1_2.xml"), Variant("ExamSummary")}),
            Variant(true));
  EXPECT_EQ(info->Title(), "Unit 1");
  EXPECT_DOUBLE_EQ(info->PctCorrect(), 66.6666666666667);
  EXPECT_EQ(info->FirstQuestionID(), "Q17");
  EXPECT_EQ(info->Filename(), "u1_pmxm_SID1_2.xml");
  EXPECT_EQ(info->Directory(), Dir());
  // Attempt and Source are not in the file.
  EXPECT_EQ(info->Attempt(), 3);
  EXPECT_EQ(info->Source(), 2);

  // What the record lacks stays as it was.
  Put("bare_pmxm.xml", "<exam/>");
  ASSERT_TRUE(info->LoadValues(Dir(), "bare_pmxm.xml", "Exam"));
  EXPECT_EQ(info->Title(), "Unit 1");
  EXPECT_DOUBLE_EQ(info->PctCorrect(), 66.6666666666667);
  EXPECT_EQ(info->FirstQuestionID(), "Q17");
  EXPECT_EQ(info->Filename(), "bare_pmxm.xml");

  Put("badpct_pmxm.xml", "<exam pctCorrect='most'><title>Bad</title></exam>");
  EXPECT_THROW(info->LoadValues(Dir(), "badpct_pmxm.xml", "Exam"), AutomationError);
  EXPECT_EQ(info->Title(), "Unit 1");
  EXPECT_EQ(info->Filename(), "bare_pmxm.xml");
  EXPECT_FALSE(info->LoadValues(Dir(), "missing.xml", "Exam"));
  EXPECT_EQ(info->Filename(), "bare_pmxm.xml");
}

TEST_F(HandlesTest, AssignmentsWriteOnlyTheirFilledFieldsAndReadWhatIsThere) {
  auto exam = New<ExamAssignment>("ExamAssignment");
  CallByName(*exam, "ExamFileName", DISPATCH_PROPERTYPUT, {Variant("u1_pmxm.xml")});
  CallByName(*exam, "CourseID", DISPATCH_PROPERTYPUT, {Variant("C7")});
  XmlDocument doc;
  XmlNode root = NewRecordRoot(doc, "exam");
  EXPECT_TRUE(exam->SaveToXml(AppendElement(root, "examAssignment")));
  EXPECT_EQ(doc.Xml(),
            "<exam><examAssignment><examRef>u1_pmxm.xml</examRef><classRef>C7</classRef>"
            "</examAssignment></exam>");

  auto lesson = New<LessonAssignment>("LessonAssignment");
  lesson->SetFile("l1_pml.xml");
  lesson->SetCourseID("C7");
  lesson->SetSectionID("S2");
  XmlNode element = AppendElement(root, "lessonAssignment");
  EXPECT_TRUE(lesson->SaveToXml(element));
  EXPECT_EQ(element.Xml(),
            "<lessonAssignment><lessonRef>l1_pml.xml</lessonRef><classRef>C7</classRef>"
            "<sectionRef>S2</sectionRef></lessonAssignment>");

  // All empty: nothing written, still true.
  auto empty = New<ExamAssignment>("ExamAssignment");
  XmlNode bare = AppendElement(root, "examAssignment");
  EXPECT_TRUE(empty->SaveToXml(bare));
  EXPECT_FALSE(bare.HasChildNodes());

  // Reading sets what is there; the other kind's element is not read.
  ASSERT_TRUE(
      doc.LoadXml("<a><lessonRef>l9_pml.xml</lessonRef><sectionRef>S5</sectionRef></a>").ok());
  EXPECT_TRUE(exam->LoadFromXml(doc.DocumentElement()));
  EXPECT_EQ(exam->File(), "u1_pmxm.xml");
  EXPECT_EQ(exam->CourseID(), "C7");
  EXPECT_EQ(exam->SectionID(), "S5");
  EXPECT_TRUE(lesson->LoadFromXml(doc.DocumentElement()));
  EXPECT_EQ(Get(*lesson, "LessonFilename"), Variant("l9_pml.xml"));
  EXPECT_EQ(Get(*lesson, "SectionID"), Variant("S5"));

  CallByName(*lesson, "Class_Initialize", DISPATCH_METHOD, {});
  EXPECT_EQ(lesson->File(), "");
  EXPECT_EQ(lesson->CourseID(), "");
  EXPECT_EQ(lesson->SectionID(), "");
  EXPECT_THROW(exam->LoadFromXml(XmlNode()), AutomationError);
}

TEST_F(HandlesTest, DialogBoxHoldsItsTwoValues) {
  auto box = New<DialogBox>("DialogBox");
  EXPECT_EQ(Get(*box, "dbBackground"), Variant(""));
  EXPECT_EQ(CallByName(*box, "SetValues", DISPATCH_METHOD, {Variant("#ffffcc"), Variant(7)}),
            Variant(true));
  EXPECT_EQ(Get(*box, "dbBackground"), Variant("#ffffcc"));
  EXPECT_EQ(Get(*box, "dbId"), Variant("7"));
  CallByName(*box, "dbId", DISPATCH_PROPERTYPUT, {Variant("login")});
  EXPECT_EQ(box->Id(), "login");
}

}  // namespace
}  // namespace norwin::datalayer
