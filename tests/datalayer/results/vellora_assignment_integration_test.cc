// VelloraExam and VelloraLesson against a real course-management server on
// 127.0.0.1: the submission document fetched with its access key, its
// fields and record read and written back, and the exact result forms with
// the server's acceptance, refusal and silence.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "datalayer/support/new_record.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/date.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/exam.h"
#include "norwin/datalayer/lesson.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/question.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/task.h"
#include "norwin/datalayer/task_pool.h"
#include "norwin/datalayer/vellora_exam.h"
#include "norwin/datalayer/vellora_lesson.h"
#include "norwin/datalayer/vellora_submission.h"
#include "norwin/datalayer/xml_dom.h"
#include "support/course_server.h"
#include "support/prompt_script.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::CallByName;
using automation::Collection;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::Ref;
using automation::Variant;
using testing::CourseServer;

using testing::New;

// The COURSE element of a submission document around `record`.
std::string CourseDocument(const std::string& hosts, const std::string& record) {
  return "<VUDUD_INPUTS><COURSE_LIST><COURSE ID='C12'><str_Name>Excel 2003</str_Name>" + hosts +
         "<CURRENT_LOCATION>lab 4</CURRENT_LOCATION>"
         "<STUDENT ID='SID00042'><str_FirstName>Ann</str_FirstName>"
         "<str_LastName>Lee</str_LastName></STUDENT>"
         "<INSTRUCTOR><str_FirstName>Tom</str_FirstName><str_LastName>Ray</str_LastName>"
         "<HOST>http://teacher/</HOST></INSTRUCTOR>" +
         record + "</COURSE></COURSE_LIST></VUDUD_INPUTS>";
}

class VelloraAssignmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    questions_ = New<QuestionPool>("QuestionPool");
    for (const char* id : {"Q1", "Q2", "Q3"}) {
      Ref<Question> question = New<Question>("Question");
      question->SetID(id);
      question->SetText(std::string("Text of ") + id);
      questions_->Questions()->AddKeyed(id, Variant(std::move(question)));
    }
    tasks_ = New<TaskPool>("TaskPool");
    for (const char* id : {"t1", "t2"}) {
      Ref<Task> task = New<Task>("Task");
      task->SetID(id);
      tasks_->Tasks()->AddKeyed(id, Variant(std::move(task)));
    }
  }
  void TearDown() override { SetServerTimeLimitsForTesting(ServerTimeLimits{}); }

  std::string Hosts() const {
    return "<SUBMIT_HOST_V3>" + server_.submit_url() + "</SUBMIT_HOST_V3><SUBMIT_HOST_V3_BACKUP>" +
           server_.backup_url() + "</SUBMIT_HOST_V3_BACKUP>";
  }
  static std::string ExamElement() {
    return "<EXAM_LIST><EXAM ID='E7' EXTERNAL_ID='A99' timeExpired='318'>"
           "<title>Formulas</title>"
           "<questionRef correct='1' attempts='2'>Q2</questionRef>"
           "<questionRef correct='-1' attempts='0'>Q1</questionRef>"
           "<questionRef correct='0' attempts='3'>Q3</questionRef>"
           "<examRemediation questionRef='Q3'>Read 4.2</examRemediation></EXAM></EXAM_LIST>";
  }
  std::string WriteFile(const std::string& name, const std::string& text) const {
    const fs::path file = prefix_.path() / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  Ref<VelloraExam> LoadedExam() {
    server_.PutDocument("e7", CourseDocument(Hosts(), ExamElement()));
    Ref<VelloraExam> exam = New<VelloraExam>("VelloraExam");
    EXPECT_TRUE(
        CallByName(*exam, "Load", DISPATCH_METHOD,
                   {Variant(server_.document_url("e7", "?assignment=A99")), Variant(questions_)})
            .bool_value());
    server_.ClearRequests();
    return exam;
  }

  testing::TempPrefix prefix_;
  testing::PromptScript prompts_;
  CourseServer server_;
  Ref<QuestionPool> questions_;
  Ref<TaskPool> tasks_;
};

TEST_F(VelloraAssignmentTest, ExamDocumentLoadsWithTheKeyAndWritesBackTheSameLayout) {
  Ref<VelloraExam> exam = LoadedExam();
  // The key was added to the assignment's own query.
  EXPECT_EQ(exam->access_key(), "pelvanx1");
  EXPECT_EQ(exam->CourseId(), "C12");
  EXPECT_EQ(exam->CourseName(), "Excel 2003");
  EXPECT_EQ(exam->SubmitHost(), server_.submit_url());
  EXPECT_EQ(exam->SubmitBackupHost(), server_.backup_url());
  EXPECT_EQ(exam->CurrentLocation(), "lab 4");
  EXPECT_EQ(exam->StudentId(), "SID00042");
  EXPECT_EQ(exam->StudentFirstName(), "Ann");
  EXPECT_EQ(exam->StudentLastName(), "Lee");
  EXPECT_EQ(exam->InstructorFirstName(), "Tom");
  EXPECT_EQ(exam->InstructorLastName(), "Ray");
  EXPECT_EQ(exam->InstructorHost(), "http://teacher/");
  const Ref<Exam> record = exam->TheExam();
  EXPECT_EQ(record->ExamID(), "E7");
  EXPECT_EQ(record->ExternalID(), "A99");
  EXPECT_EQ(record->Title(), "Formulas");
  ASSERT_EQ(record->Questions()->size(), 3u);
  // The questions are the pool's, in the document's order.
  const auto& first = dynamic_cast<Question&>(*record->Questions()->at(0).object());
  EXPECT_EQ(first.ID(), "Q2");
  EXPECT_EQ(first.Text(), "Text of Q2");
  XmlDocument served;
  ASSERT_TRUE(served.LoadXml(CourseDocument(Hosts(), ExamElement())).ok());
  EXPECT_EQ(exam->TheXml(), served.Xml());

  const std::string copy = (prefix_.path() / "copy.xml").string();
  ASSERT_TRUE(CallByName(*exam, "Save", DISPATCH_METHOD, {Variant(copy)}).bool_value());
  XmlDocument saved;
  ASSERT_TRUE(saved.Load(copy).ok());
  const std::string text = saved.Xml();
  EXPECT_EQ(text.substr(0, text.find("<EXAM_LIST>")),
            "<VUDUD_INPUTS><COURSE_LIST><COURSE ID=\"C12\"><str_Name>Excel 2003</str_Name>"
            "<SUBMIT_HOST_V3>" +
                server_.submit_url() + "</SUBMIT_HOST_V3><SUBMIT_HOST_V3_BACKUP>" +
                server_.backup_url() +
                "</SUBMIT_HOST_V3_BACKUP><CURRENT_LOCATION>lab 4</CURRENT_LOCATION>"
                "<STUDENT ID=\"SID00042\"><str_FirstName>Ann</str_FirstName>"
                "<str_LastName>Lee</str_LastName></STUDENT><INSTRUCTOR><str_FirstName>Tom"
                "</str_FirstName><str_LastName>Ray</str_LastName><HOST>http://teacher/</HOST>"
                "</INSTRUCTOR>");
  EXPECT_NE(text.find("<EXAM_LIST><EXAM ID=\"E7\" EXTERNAL_ID=\"A99\""), std::string::npos);

  // What was written reads back whole, from a local file and without a key.
  Ref<VelloraExam> again = New<VelloraExam>("VelloraExam");
  ASSERT_TRUE(again->Load(copy, Variant(questions_), "none"));
  EXPECT_EQ(again->FormBody(), exam->FormBody());
  EXPECT_EQ(again->InstructorHost(), "http://teacher/");
  EXPECT_EQ(server_.request_count(), 0u);
  EXPECT_EQ(prompts_.Log(), "");
}

TEST_F(VelloraAssignmentTest, HostsOfOlderDocumentsAndDocumentsWithoutAnExam) {
  Ref<VelloraExam> exam = New<VelloraExam>("VelloraExam");
  exam->SetCurrentLocation("kept");
  ASSERT_TRUE(
      exam->Load(WriteFile("old.xml", CourseDocument("<SUBMIT_HOST>http://old/</SUBMIT_HOST>"
                                                     "<SUBMIT_HOST_V3>http://v3/"
                                                     "</SUBMIT_HOST_V3>",
                                                     "")),
                 Variant::Null(), ""));
  EXPECT_EQ(exam->SubmitHost(), "http://v3/");
  // No exam in the document: an empty one.
  EXPECT_EQ(exam->TheExam()->Questions()->size(), 0u);
  EXPECT_EQ(exam->TheExam()->ExamID(), "");

  // Only the older host: read, and written under the current name.
  const std::string doc =
      "<VUDUD_INPUTS><COURSE_LIST><COURSE><SUBMIT_HOST>http://old/</SUBMIT_HOST>"
      "</COURSE></COURSE_LIST></VUDUD_INPUTS>";
  ASSERT_TRUE(exam->Load(WriteFile("older.xml", doc), Variant::Null(), ""));
  EXPECT_EQ(exam->SubmitHost(), "http://old/");
  // What the document does not hold stays as it was.
  EXPECT_EQ(exam->CourseId(), "C12");
  const std::string copy = (prefix_.path() / "copy.xml").string();
  ASSERT_TRUE(exam->Save(copy, false));
  XmlDocument saved;
  ASSERT_TRUE(saved.Load(copy).ok());
  EXPECT_NE(saved.Xml().find("<SUBMIT_HOST_V3>http://old/</SUBMIT_HOST_V3>"), std::string::npos);
  EXPECT_EQ(saved.Xml().find("<SUBMIT_HOST>"), std::string::npos);

  // Anything but a submission document leaves the object as it was.
  const std::string xml = exam->TheXml();
  server_.PutDocument("xhtml", "<html><body>Down for maintenance</body></html>");
  EXPECT_FALSE(exam->Load(server_.document_url("xhtml"), Variant::Null(), ""));
  EXPECT_FALSE(
      exam->Load(WriteFile("broken.xml", "<VUDUD_INPUTS><COURSE_LIST>"), Variant::Null(), ""));
  EXPECT_FALSE(exam->Load((prefix_.path() / "missing.xml").string(), Variant::Null(), ""));
  server_.AcceptKeys({"pelvanx2"});
  server_.PutDocument("e7", CourseDocument(Hosts(), ExamElement()));
  EXPECT_FALSE(exam->Load(server_.document_url("e7"), Variant::Null(), ""));
  EXPECT_EQ(exam->SubmitHost(), "http://old/");
  EXPECT_EQ(exam->TheXml(), xml);
  // The installation's settings file picks the second key.
  ASSERT_TRUE(exam->Load(server_.document_url("e7"), Variant::Null(),
                         WriteFile("course.ini", "Orvalen\n")));
  EXPECT_EQ(server_.last_request().target, "/vellora/documents/e7?key=pelvanx2");
}

TEST_F(VelloraAssignmentTest, ExamResultsArePostedAndOnlyASuccessReplyAcceptsThem) {
  Ref<VelloraExam> exam = LoadedExam();
  ASSERT_TRUE(CallByName(*exam, "Save", DISPATCH_METHOD, {Variant("")}).bool_value());
  ASSERT_EQ(server_.forms().size(), 1u);
  const CourseServer::ReceivedForm form = server_.forms()[0];
  EXPECT_EQ(form.host, "submit");
  EXPECT_EQ(form.content_type, "application/x-www-form-urlencoded");
  // Questions numbered from 0 in the exam's order; not answered (-1) is 0.
  EXPECT_EQ(form.body,
            "&student_id=SID00042&exam_id=E7&assignment_id=A99&ttTaskTime=318&key=pelvanx1"
            "&question_id0=Q2&document_score0=1&attempts0=2&remediation0="
            "&question_id1=Q1&document_score1=0&attempts1=0&remediation1="
            "&question_id2=Q3&document_score2=0&attempts2=3&remediation2=Read 4.2");

  server_.SetAcceptReply("success: stored as 9912");
  EXPECT_TRUE(exam->Save("", false));
  EXPECT_EQ(prompts_.Log(), "");

  // A capital S or a blank before the word is no acceptance.
  server_.SetAcceptReply("Success");
  EXPECT_FALSE(exam->Save("", false));
  EXPECT_EQ(prompts_.Log(), "NorwinPellam2003\tSave to Vellora Server failed - SubmitHost = '" +
                                server_.submit_url() +
                                "'\\rVellora Server Response - 'Success'\t0x0\tOK\n");
  server_.SetAcceptReply(" success");
  EXPECT_FALSE(
      CallByName(*exam, "Save", DISPATCH_METHOD, {Variant(""), Variant(true)}).bool_value());
  EXPECT_EQ(exam->ServerErrorStr(), " success");
  // A later success leaves the last refusal where the page can read it.
  server_.SetAcceptReply("success");
  EXPECT_TRUE(exam->Save("", true));
  EXPECT_EQ(CallByName(*exam, "ServerErrorStr", DISPATCH_PROPERTYGET).string(), " success");
  EXPECT_EQ(server_.forms().size(), 5u);

  // No server to ask: false, and nothing to show.
  prompts_.Answer("");
  exam->SetSubmitHost("");
  EXPECT_FALSE(exam->Save("", false));
  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(500), std::chrono::milliseconds(300)});
  server_.SetSilence(std::chrono::seconds(3));
  server_.FailNext(1, CourseServer::Failure::kSilence);
  exam->SetSubmitHost(server_.submit_url());
  EXPECT_FALSE(exam->Save("", false));
  EXPECT_EQ(prompts_.Log(), "");
  EXPECT_EQ(server_.forms().size(), 6u);
}

TEST_F(VelloraAssignmentTest, ResultsOfALongExamArriveWhole) {
  Ref<VelloraExam> exam = LoadedExam();
  const Ref<Collection> questions = exam->TheExam()->Questions();
  for (int i = 0; i < 600; ++i) {
    const std::string id = std::to_string(1000 + i);
    Ref<Question> question = New<Question>("Question");
    question->SetID(id);
    question->SetRemediation("Read the chapter on formulas again");
    questions->AddKeyed(id, Variant(std::move(question)));
  }
  ASSERT_TRUE(exam->Save("", false));
  const CourseServer::ReceivedForm form = server_.forms().back();
  EXPECT_GT(form.body.size(), 40000u);
  EXPECT_EQ(form.fields.size(), 5u + 4u * 603u);
  EXPECT_EQ(form.Field("question_id602"), "1599");
  EXPECT_EQ(form.Field("remediation602"), "Read the chapter on formulas again");
}

TEST_F(VelloraAssignmentTest, AnotherExamIsSentInPlaceOfTheOwnOne) {
  Ref<VelloraExam> exam = LoadedExam();
  const Ref<Exam> own = exam->TheExam();
  Ref<Exam> challenge = New<Exam>("Exam");
  challenge->SetExamID("CH1");
  challenge->SetExternalID("A100");
  ASSERT_TRUE(CallByName(*exam, "SaveOtherExam", DISPATCH_METHOD, {Variant(""), Variant(challenge)})
                  .bool_value());
  EXPECT_EQ(server_.forms().back().body,
            "&student_id=SID00042&exam_id=CH1&assignment_id=A100&ttTaskTime=0&key=pelvanx1");
  EXPECT_EQ(exam->TheExam().get(), own.get());

  // Also when the other exam cannot be written.
  Ref<Exam> broken = New<Exam>("Exam");
  broken->Questions()->Append(Variant("no question"));
  EXPECT_THROW((void)exam->SaveOtherExam("", broken, false), automation::AutomationError);
  EXPECT_EQ(exam->TheExam().get(), own.get());
  EXPECT_EQ(server_.forms().size(), 1u);

  // The preferences go to the exam.
  Ref<Preferences> prefs = New<Preferences>("Preferences");
  (void)CallByName(*exam, "SetPreferences", DISPATCH_METHOD, {Variant(prefs)});
  EXPECT_EQ(own->Prefs().get(), prefs.get());
}

TEST_F(VelloraAssignmentTest, WriteBackToAServerPageAndDeletion) {
  Ref<VelloraExam> exam = LoadedExam();
  server_.loopback().Reply("POST", "/vellora/store.asp", "");
  EXPECT_TRUE(exam->Save(server_.loopback().url("/vellora/store.asp"), false));
  XmlDocument body;
  ASSERT_TRUE(body.LoadXml(server_.last_request().body).ok());
  EXPECT_NE(body.Xml().find("<COURSE ID=\"C12\">"), std::string::npos);
  EXPECT_EQ(prompts_.Log(), "");
  // Any text from the page is its error message, shown as it stands.
  server_.loopback().Reply("POST", "/vellora/store.asp", "Disk full");
  EXPECT_FALSE(exam->Save(server_.loopback().url("/vellora/store.asp"), false));
  EXPECT_EQ(prompts_.Log(), "NorwinPellam2003\tDisk full\t0x0\tOK\n");

  const std::string file = WriteFile("e7.xml", "<VUDUD_INPUTS/>");
  fs::permissions(file, fs::perms::owner_read);
  EXPECT_EQ(CallByName(*exam, "Delete", DISPATCH_METHOD, {Variant(file)}), Variant(true));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(CallByName(*exam, "Delete", DISPATCH_METHOD, {Variant(file)}), Variant(false));
  server_.ClearRequests();
  EXPECT_EQ(CallByName(*exam, "Delete", DISPATCH_METHOD, {Variant(server_.document_url("e7"))}),
            Variant(false));
  EXPECT_EQ(server_.request_count(), 0u);
}

TEST_F(VelloraAssignmentTest, LessonDocumentsReadBothNamesAndWriteOneThatReadsBack) {
  Ref<VelloraLesson> lesson = New<VelloraLesson>("VelloraLesson");
  const std::string older = CourseDocument(
      Hosts(),
      "<lesson ID='L3' EXTERNAL_ID='A5'><title>Charts &amp; graphs</title><taskList>"
      "<taskRef completed='3/4/2026'>t1</taskRef><taskRef>t2</taskRef></taskList></lesson>");
  server_.PutDocument("l3", older);
  ASSERT_TRUE(CallByName(*lesson, "Load", DISPATCH_METHOD,
                         {Variant(server_.document_url("l3")), Variant(tasks_)})
                  .bool_value());
  EXPECT_EQ(lesson->TheLesson()->LessonID(), "L3");
  EXPECT_EQ(lesson->TheLesson()->Tasks()->size(), 2u);

  // LESSON wins over lesson.
  Ref<VelloraLesson> both = New<VelloraLesson>("VelloraLesson");
  ASSERT_TRUE(
      both->Load(WriteFile("both.xml", CourseDocument("", "<lesson ID='old'/><LESSON ID='new'/>")),
                 Variant::Null(), ""));
  EXPECT_EQ(both->TheLesson()->LessonID(), "new");

  // What is written is found again, completion dates and all.
  const std::string copy = (prefix_.path() / "lesson.xml").string();
  ASSERT_TRUE(CallByName(*lesson, "Save", DISPATCH_METHOD, {Variant(copy)}).bool_value());
  XmlDocument saved;
  ASSERT_TRUE(saved.Load(copy).ok());
  EXPECT_NE(saved.Xml().find("</INSTRUCTOR><LESSON ID=\"L3\" EXTERNAL_ID=\"A5\""),
            std::string::npos);
  Ref<VelloraLesson> again = New<VelloraLesson>("VelloraLesson");
  ASSERT_TRUE(again->Load(copy, Variant(tasks_), ""));
  EXPECT_EQ(again->TheLesson()->Title(), "Charts & graphs");
  EXPECT_EQ(again->FormBody(), lesson->FormBody());

  // The form: the names joined without a blank, tasks numbered from 0, and
  // a value that would end its field early is encoded.
  EXPECT_TRUE(lesson->Save("", false));
  ASSERT_EQ(server_.forms().size(), 1u);
  const CourseServer::ReceivedForm form = server_.forms()[0];
  EXPECT_EQ(form.body,
            "studentName=AnnLee&student_id=SID00042&lesson_id=L3&assignment_id=A5"
            "&moduleName=Charts %26 graphs&key=pelvanx1&task_id0=t1&completed0=Y"
            "&task_id1=t2&completed1=N");
  EXPECT_EQ(form.Field("moduleName"), "Charts & graphs");

  // A refusal shows the same message as the exam's.
  server_.SetAcceptReply("failure: no such assignment");
  EXPECT_FALSE(lesson->Save("", false));
  EXPECT_EQ(prompts_.Log(), "NorwinPellam2003\tSave to Vellora Server failed - SubmitHost = '" +
                                server_.submit_url() +
                                "'\\rVellora Server Response - 'failure: no such assignment'"
                                "\t0x0\tOK\n");
}

TEST_F(VelloraAssignmentTest, ObjectsFilledByScriptSendAnEmptyKey) {
  Ref<VelloraLesson> lesson = New<VelloraLesson>("VelloraLesson");
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(CourseDocument(Hosts(), "<LESSON ID='L9'/>")).ok());
  const XmlNode course = *doc.SelectSingleNode("/VUDUD_INPUTS/COURSE_LIST/COURSE");
  ASSERT_TRUE(lesson->LoadFromXml(course, Variant::Null(), "http://host/l9.xml"));
  EXPECT_EQ(lesson->TheLesson()->LessonID(), "L9");
  EXPECT_EQ(lesson->TheXml(), "");
  EXPECT_TRUE(lesson->Save("", false));
  EXPECT_EQ(server_.forms().back().body,
            "studentName=AnnLee&student_id=SID00042&lesson_id=L9&assignment_id=&moduleName="
            "&key=");
}

}  // namespace
}  // namespace norwin::datalayer
