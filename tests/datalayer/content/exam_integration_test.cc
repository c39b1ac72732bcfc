// Exams in real folders and behind the record pages of a real HTTP server on
// 127.0.0.1: the record they write and read back, question order, listings,
// section summaries and the exact requests sent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "datalayer/support/new_record.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/assignments.h"
#include "norwin/datalayer/exam.h"
#include "norwin/datalayer/exam_info.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/question.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/platform/clock.h"
#include "norwin/platform/prompts.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::Collection;
using automation::Ref;
using automation::Variant;
using testing::RecordServer;

using testing::New;

template <typename T>
T& At(const Collection& list, size_t index) {
  return *dynamic_cast<T*>(list.at(index).object());
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> IdsOf(const Collection& questions) {
  std::vector<std::string> ids;
  for (size_t i = 0; i < questions.size(); ++i) {
    const std::string id = At<Question>(questions, i).ID();
    EXPECT_EQ(questions.KeyAt(i).value_or("<no key>"), id);
    ids.push_back(id);
  }
  return ids;
}

class ExamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreValidationString("");
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        platform::ScriptedPromptFiles{"", (prefix_.path() / "prompts.log").string()}));
    platform::SetSourceForTesting(&source_);
    pool_ = New<QuestionPool>("QuestionPool");
    for (const char* id : {"Q1", "Q2", "Q3"}) {
      Ref<Question> question = New<Question>("Question");
      question->SetID(id);
      question->SetText(std::string("Text of ") + id);
      question->SetApp("Sheet");
      question->SetCorrect(7);
      pool_->Questions()->AddKeyed(id, Variant(std::move(question)));
    }
    folder_ = prefix_.path() / "exams";
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    platform::SetSourceForTesting(nullptr);
    platform::SetPromptsForTesting(nullptr);
  }
  std::string Path(std::string_view name) const { return (folder_ / name).string(); }

  // An attempt of `student` holding `questions` (ID, correct) in that order.
  void WriteAttempt(std::string_view name, std::string_view student,
                    const std::vector<std::pair<std::string, int>>& questions,
                    std::string_view pref = "") {
    std::string text = "<exam><title>Algebra</title><pref>" + std::string(pref) +
                       "</pref><studentID>" + std::string(student) + "</studentID>";
    for (const auto& [id, correct] : questions) {
      text += "<questionRef correct='" + std::to_string(correct) + "' attempts='1' points='1'>" +
              id + "</questionRef>";
    }
    WriteText(folder_ / name, text + "</exam>");
  }

  testing::TempPrefix prefix_;
  platform::ManualSource source_;
  Ref<QuestionPool> pool_;
  std::filesystem::path folder_;
};

TEST_F(ExamTest, ExamFileNamesByType) {
  const int32_t all = -1, raw = 1, student = 2;
  EXPECT_TRUE(MatchesExamType("algebra_pmxm.xml", raw));
  EXPECT_TRUE(MatchesExamType("algebra_pmxm.xml", all));
  EXPECT_FALSE(MatchesExamType("algebra_pmxm.xml", student));
  EXPECT_TRUE(MatchesExamType("algebra_pmxm_s17_01.xml", student));
  EXPECT_TRUE(MatchesExamType("algebra_pmxm_s17_01.xml", all));
  EXPECT_FALSE(MatchesExamType("algebra_pmxm_s17_01.xml", raw));
  EXPECT_FALSE(MatchesExamType("algebra_PMXM.xml", all));
  EXPECT_FALSE(MatchesExamType("algebra_pmxm.xml", 3));
  EXPECT_EQ(AttemptFilename("C:/x/algebra_pmxm", "s17", 3), "C:/x/algebra_pmxm_s17_03.xml");
  EXPECT_EQ(AttemptFilename("C:/x/algebra_pmxm", "s17", 10), "C:/x/algebra_pmxm_s17_10.xml");
}

TEST_F(ExamTest, SavesAndLoadsAnAttempt) {
  Ref<Exam> exam = New<Exam>("Exam");
  exam->SetTitle("Algebra & more");
  exam->SetCurrentQuestion(2);
  exam->SetTimeExpired(-1);
  exam->SetStarted(true);
  exam->SetPctCorrect(62.5);
  exam->SetSource(3);
  exam->SetStudentID("s17");
  exam->SetIsChallenge(true);
  exam->Prefs()->fields().time_limit = 45;
  for (const char* id : {"Q2", "Q1"}) {
    Ref<Question> question = At<Question>(*pool_->Questions(), id[1] == '1' ? 0 : 1).Clone();
    question->SetCorrect(id[1] == '2' ? 1 : 0);
    question->SetAttempts(2);
    if (id[1] == '1') question->SetRemediation("Read chapter 2");
    exam->Questions()->AddKeyed(id, Variant(std::move(question)));
  }
  Ref<ExamAssignment> assignment = New<ExamAssignment>("ExamAssignment");
  assignment->SetCourseID("C1");
  assignment->SetSectionID("S1");
  assignment->SetFile("other.xml");
  exam->ExamAssignments()->Append(Variant(assignment));

  ASSERT_TRUE(exam->Save(Path("algebra_pmxm_s17_01.xml"), Exam::DeleteOld::kKeep));
  EXPECT_EQ(exam->ExamFileName(), "algebra_pmxm_s17_01.xml");
  EXPECT_EQ(assignment->File(), "algebra_pmxm_s17_01.xml");
  const std::string text = ReadText(folder_ / "algebra_pmxm_s17_01.xml");
  // No ID without an ExamID; started always; isChallenge after the rest.
  EXPECT_NE(text.find("<exam currentQuestion=\"2\" timeExpired=\"-1\" started=\"true\" "
                      "pctCorrect=\"62.5\" isChallenge=\"true\">"),
            std::string::npos)
      << text;
  for (const char* part :
       {"<questionRef correct=\"1\" attempts=\"2\" points=\"1\">Q2</questionRef>\n"
        "  <questionRef correct=\"0\" attempts=\"2\" points=\"1\">Q1</questionRef>\n"
        "  <examAssignment>\n    <classRef>C1</classRef>\n    <sectionRef>S1</sectionRef>\n"
        "  </examAssignment>\n"
        "  <examRemediation questionRef=\"Q1\">Read chapter 2</examRemediation>\n</exam>",
        "<title>Algebra &amp; more</title>\n  <source>3</source>\n  <pref",
        "</pref>\n  <studentID>s17</studentID>\n  <questionRef"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }

  // Against the pool: clones carrying the pool's texts and the stored results.
  Ref<Exam> again = New<Exam>("Exam");
  ASSERT_TRUE(again->Load(Path("algebra_pmxm_s17_01.xml"), pool_->Questions()));
  EXPECT_EQ(again->Title(), "Algebra & more");
  EXPECT_EQ(again->TimeExpired(), -1);
  EXPECT_TRUE(again->Started());
  EXPECT_DOUBLE_EQ(again->PctCorrect(), 62.5);
  EXPECT_EQ(again->Source(), 3);
  EXPECT_EQ(again->StudentID(), "s17");
  EXPECT_TRUE(again->IsChallenge());
  EXPECT_EQ(again->Prefs()->fields().time_limit, 45);
  EXPECT_EQ(IdsOf(*again->Questions()), (std::vector<std::string>{"Q2", "Q1"}));
  const Question& q1 = At<Question>(*again->Questions(), 1);
  EXPECT_EQ(q1.Text(), "Text of Q1");
  EXPECT_EQ(q1.App(), "");  // not carried by a clone
  EXPECT_EQ(q1.Remediation(), "Read chapter 2");
  EXPECT_EQ(q1.Attempts(), 2);
  EXPECT_EQ(At<Question>(*again->Questions(), 0).Correct(), 1);
  ASSERT_EQ(again->ExamAssignments()->size(), 1u);
  EXPECT_EQ(At<ExamAssignment>(*again->ExamAssignments(), 0).File(), "algebra_pmxm_s17_01.xml");

  // Without a pool only the IDs, results and remediation come back.
  Ref<Exam> bare = New<Exam>("Exam");
  ASSERT_TRUE(bare->Load(Path("algebra_pmxm_s17_01.xml"), nullptr));
  EXPECT_EQ(IdsOf(*bare->Questions()), (std::vector<std::string>{"Q2", "Q1"}));
  EXPECT_EQ(At<Question>(*bare->Questions(), 1).Text(), "");
  EXPECT_EQ(At<Question>(*bare->Questions(), 1).Remediation(), "Read chapter 2");

  // Saved elsewhere with deleteOldIfChanged, the file it came from goes.
  again->SetCompletionDate("12/8/2026");
  ASSERT_TRUE(again->Save(Path("algebra_pmxm_s17_02.xml"), Exam::DeleteOld::kDeleteIfChanged));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "algebra_pmxm_s17_01.xml"));
  EXPECT_NE(ReadText(folder_ / "algebra_pmxm_s17_02.xml").find("completionDate=\"12/8/2026\""),
            std::string::npos);
  const Variant deleted = again->Delete(Path("algebra_pmxm_s17_02.xml"));
  EXPECT_TRUE(!deleted.IsEmpty() && automation::ToBool(deleted));
  EXPECT_TRUE(again->Delete(Path("algebra_pmxm_s17_02.xml")).IsEmpty());
}

TEST_F(ExamTest, SkipsWhatThePoolDoesNotHoldAndRefusesABadPref) {
  WriteText(folder_ / "a_pmxm.xml",
            "<exam ID='E1' started='true'><title>A</title>"
            "<questionRef correct='1'>Q3</questionRef><questionRef>Q9</questionRef>"
            "<questionRef correct='x'>Q1</questionRef><questionRef>Q3</questionRef>"
            "<examRemediation questionRef='Q9'>gone</examRemediation></exam>");
  Ref<Exam> exam = New<Exam>("Exam");
  ASSERT_TRUE(exam->Load(Path("a_pmxm.xml"), pool_->Questions()));
  EXPECT_EQ(exam->ExamID(), "E1");
  EXPECT_EQ(IdsOf(*exam->Questions()), (std::vector<std::string>{"Q3"}));
  EXPECT_EQ(At<Question>(*exam->Questions(), 0).Correct(), 1);

  WriteText(folder_ / "b_pmxm.xml",
            "<exam><title>B</title><pref><timeLimit>x</timeLimit></pref>"
            "<studentID>s1</studentID></exam>");
  Ref<Exam> bad = New<Exam>("Exam");
  EXPECT_THROW((void)bad->Load(Path("b_pmxm.xml"), nullptr), automation::AutomationError);
  EXPECT_EQ(bad->Title(), "B");
  EXPECT_EQ(bad->StudentID(), "");
  WriteText(folder_ / "c_pmxm.xml", "<exam><title>");
  EXPECT_FALSE(exam->Load(Path("c_pmxm.xml"), nullptr));
  EXPECT_FALSE(exam->Load(Path("missing_pmxm.xml"), nullptr));
}

TEST_F(ExamTest, RandomizeMovesDrawnQuestionsToTheEnd) {
  Ref<Exam> exam = New<Exam>("Exam");
  for (const char* id : {"A", "B", "C", "D"}) {
    Ref<Question> question = New<Question>("Question");
    question->SetID(id);
    exam->Questions()->AddKeyed(id, Variant(std::move(question)));
  }
  source_.QueueRandom({0.0, 0.5, 0.99, 0.3});
  exam->RandomizeQuestions();
  // A to the end: B C D A; 0.5 -> 3rd (D): B C A D; 0.99 -> 4th: same;
  // 0.3 -> 2nd (C): B A D C.
  EXPECT_EQ(IdsOf(*exam->Questions()), (std::vector<std::string>{"B", "A", "D", "C"}));

  Ref<Exam> single = New<Exam>("Exam");
  Ref<Question> only = New<Question>("Question");
  only->SetID("X");
  single->Questions()->AddKeyed("X", Variant(only));
  single->RandomizeQuestions();
  EXPECT_EQ(IdsOf(*single->Questions()), (std::vector<std::string>{"X"}));
  New<Exam>("Exam")->RandomizeQuestions();
}

TEST_F(ExamTest, ListsTheExamsOfAFolder) {
  WriteText(folder_ / "algebra_pmxm.xml", "<exam><title>Algebra</title></exam>");
  WriteAttempt("algebra_pmxm_s17_01.xml", "s17", {{"Q1", 1}});
  WriteAttempt("algebra_pmxm_s17_02.xml", "s17", {{"Q2", 1}});
  WriteAttempt("algebra_pmxm_s18_01.xml", "s18", {{"Q3", 0}});
  WriteText(folder_ / "broken_pmxm.xml", "<exam>");
  WriteText(folder_ / "notes.xml", "<exam><title>Notes</title></exam>");

  Ref<Exam> exam = New<Exam>("Exam");
  auto names = [](const Collection& list) {
    std::vector<std::string> result;
    for (size_t i = 0; i < list.size(); ++i)
      result.push_back(At<TitleFilename>(list, i).Filename());
    return result;
  };
  EXPECT_EQ(names(*exam->GetExams(folder_.string(), 1)),
            (std::vector<std::string>{"algebra_pmxm.xml"}));
  EXPECT_EQ(names(*exam->GetExams(folder_.string(), 2)).size(), 3u);
  EXPECT_EQ(names(*exam->GetExams(folder_.string(), -1)).size(), 4u);
  EXPECT_EQ(exam->GetExams((folder_ / "none").string(), -1)->size(), 0u);
  EXPECT_EQ(names(*exam->GetStudentExams(folder_.string(), "s17")),
            (std::vector<std::string>{"algebra_pmxm_s17_01.xml"}));
  EXPECT_EQ(exam->GetStudentExams(folder_.string(), "")->size(), 3u);

  Ref<Collection> infos =
      exam->GetExamInfo(folder_.string(), "s17", -1, Exam::InfoSource::kWithout);
  ASSERT_EQ(infos->size(), 2u);
  EXPECT_EQ(At<ExamInfo>(*infos, 1).Filename(), "algebra_pmxm_s17_02.xml");
  EXPECT_EQ(At<ExamInfo>(*infos, 1).FirstQuestionID(), "Q2");
  EXPECT_EQ(At<ExamInfo>(*infos, 1).Directory(), folder_.string() + "/");
  EXPECT_EQ(exam->GetExamInfo(folder_.string(), "", 2, Exam::InfoSource::kWithout)->size(), 3u);
}

TEST_F(ExamTest, SummarisesASectionsAttempts) {
  WriteText(folder_ / "roster.xml",
            "<students><student><id>s17</id></student><student><id>s18</id></student>"
            "<student><id>s19</id></student><student><id>s20</id></student>"
            "<student><id>s21</id></student></students>");
  WriteAttempt("algebra_pmxm_s17_03.xml", "s17", {{"Q1", 1}, {"Q2", 0}, {"Q3", 1}});
  // A limit of two counts the first two questions only.
  WriteAttempt("algebra_pmxm_s18_03.xml", "s18", {{"Q2", 1}, {"Q1", 2}, {"Q3", 1}},
               "<randomQuestions limit='2'>true</randomQuestions>");
  // A limit above what the attempt holds counts what it holds.
  WriteAttempt("algebra_pmxm_s19_03.xml", "s19", {{"Q3", 1}},
               "<randomQuestions limit='5'>true</randomQuestions>");
  WriteAttempt("algebra_pmxm_s20_01.xml", "s20", {{"Q1", 1}});  // another attempt
  // Random order without a limit asked every question.
  WriteAttempt("algebra_pmxm_s21_03.xml", "s21", {{"Q3", 0}, {"Q1", 1}},
               "<randomQuestions>true</randomQuestions>");

  Ref<Exam> summary = New<Exam>("Exam");
  ASSERT_TRUE(summary->LoadExamSummary(Path("roster.xml"), pool_->Questions(), nullptr, "C1", "S1",
                                       Path("algebra_pmxm.xml"), 3));
  EXPECT_EQ(summary->ExamID(), Path("algebra_pmxm.xml"));
  EXPECT_EQ(IdsOf(*summary->Questions()), (std::vector<std::string>{"Q1", "Q2", "Q3"}));
  const Collection& totals = *summary->Questions();
  EXPECT_EQ(At<Question>(totals, 0).Attempts(), 3);
  EXPECT_EQ(At<Question>(totals, 0).Correct(), 2);
  EXPECT_EQ(At<Question>(totals, 1).Attempts(), 2);
  EXPECT_EQ(At<Question>(totals, 1).Correct(), 1);
  EXPECT_EQ(At<Question>(totals, 2).Attempts(), 3);
  EXPECT_EQ(At<Question>(totals, 2).Correct(), 2);
  EXPECT_EQ(At<Question>(totals, 2).Text(), "Text of Q3");

  EXPECT_FALSE(New<Exam>("Exam")->LoadExamSummary(Path("nobody.xml"), nullptr, nullptr, "", "",
                                                  Path("algebra_pmxm"), 3));
}

TEST_F(ExamTest, TalksToTheRecordPages) {
  RecordServer server;
  server.PutRecord("u1_pmxm.xml", "<exam><title>Unit 1</title></exam>");
  server.PutRecord("u1_pmxm_s1_01.xml",
                   "<exam><title>Unit 1</title><questionRef>Q2</questionRef></exam>");
  Ref<Exam> exam = New<Exam>("Exam");
  Ref<Collection> listed = exam->GetExams(server.location(""), 1);
  ASSERT_EQ(listed->size(), 1u);
  EXPECT_EQ(At<TitleFilename>(*listed, 0).Title(), "Unit 1");
  EXPECT_EQ(server.requests().back().target, "/app/GetTitleFileNames.asp?ObjName=Exam&ExamType=1");

  server.OnListing("ExamInfo", [](const httplib::Request&, const std::filesystem::path&) {
    return std::string("Unit 1;u1_pmxm_s1_01.xml;1;75.5;Q2;2;Unit 2;u2_pmxm_s1_01.xml;;;;;");
  });
  Ref<Collection> infos = exam->GetExamInfo(server.location(""), "s1", -1, Exam::InfoSource::kWith);
  EXPECT_EQ(server.requests().back().target,
            "/app/GetTitleFileNames.asp?ObjName=ExamInfo&ExamType=-1&StudentID=s1");
  ASSERT_EQ(infos->size(), 2u);
  EXPECT_EQ(At<ExamInfo>(*infos, 0).Attempt(), 1);
  EXPECT_DOUBLE_EQ(At<ExamInfo>(*infos, 0).PctCorrect(), 75.5);
  EXPECT_EQ(At<ExamInfo>(*infos, 0).FirstQuestionID(), "Q2");
  EXPECT_EQ(At<ExamInfo>(*infos, 0).Source(), 2);
  EXPECT_EQ(At<ExamInfo>(*infos, 1).Attempt(), 0);
  EXPECT_EQ(At<ExamInfo>(*infos, 1).Source(), 0);
  server.OnListing("ExamInfo", [](const httplib::Request&, const std::filesystem::path&) {
    return std::string("Unit 1;u1_pmxm_s1_01.xml;3;;Q2;");
  });
  infos = exam->GetExamInfo(server.location(""), "", 2, Exam::InfoSource::kWithout);
  ASSERT_EQ(infos->size(), 1u);
  EXPECT_EQ(At<ExamInfo>(*infos, 0).Attempt(), 3);
  EXPECT_EQ(server.requests().back().target,
            "/app/GetTitleFileNames.asp?ObjName=ExamInfo&ExamType=2");

  ASSERT_TRUE(exam->Load(server.location("u1_pmxm_s1_01.xml"), nullptr));
  EXPECT_EQ(server.requests().back().target,
            "/app/LoadPellamObject.asp?ObjName=Exam&FileName=u1_pmxm_s1_01.xml");
  EXPECT_EQ(exam->ExamFileName(), "u1_pmxm_s1_01.xml");
  exam->SetStarted(true);
  ASSERT_TRUE(exam->Save(server.location("u1_pmxm_s1_02.xml"), Exam::DeleteOld::kDeleteIfChanged));
  const auto requests = server.requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[requests.size() - 2].target,
            "/app/SavePellamObject.asp?ObjName=Exam&FileName=u1_pmxm_s1_02.xml");
  EXPECT_EQ(requests.back().target,
            "/app/DeletePellamObject.asp?ObjName=Exam&FileName=u1_pmxm_s1_01.xml");
  EXPECT_FALSE(server.GetRecord("u1_pmxm_s1_01.xml").has_value());
  EXPECT_NE(server.GetRecord("u1_pmxm_s1_02.xml").value_or("").find("started=\"true\""),
            std::string::npos);

  // The server totals the section itself and answers with the summary: the
  // fixture answers a summary it is given, norwin-server counts the
  // attempts of the section's students.
  if (server.UsesNorwinServer()) {
    std::string roster = "<students>";
    for (const char* id : {"t1", "t2", "t3", "t4"}) {
      roster += std::string("<student><id>") + id +
                "</id><classRef>C1</classRef><sectionRef>S2</sectionRef></student>";
      server.PutRecord(std::string("u1_pmxm_") + id + "_02.xml",
                       std::string("<exam><questionRef correct='") + (id[1] == '4' ? "0" : "1") +
                           "'>Q1</questionRef></exam>");
    }
    server.PutRecord("roster.xml", roster + "</students>");
  } else {
    server.PutRecord("u1_pmxm.xml",
                     "<exam><questionRef correct='3' attempts='4'>Q1</questionRef></exam>");
  }
  Ref<Exam> summary = New<Exam>("Exam");
  ASSERT_TRUE(summary->LoadExamSummary("", pool_->Questions(), nullptr, "C1", "S2",
                                       server.location("u1_pmxm.xml"), 2));
  EXPECT_EQ(server.requests().back().target,
            "/app/LoadPellamObject.asp?ObjName=ExamSummary&FileName=u1_pmxm.xml&CourseID=C1"
            "&SectionID=S2&AttemptNum=2");
  ASSERT_EQ(summary->Questions()->size(), 1u);
  EXPECT_EQ(At<Question>(*summary->Questions(), 0).Attempts(), 4);
  EXPECT_EQ(At<Question>(*summary->Questions(), 0).Correct(), 3);
  EXPECT_EQ(At<Question>(*summary->Questions(), 0).Text(), "Text of Q1");
}

}  // namespace
}  // namespace norwin::datalayer
