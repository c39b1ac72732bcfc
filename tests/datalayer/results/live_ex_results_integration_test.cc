// LiveExResults with real servers: its record behind the record pages, and
// its score sent to the course-management server when a submission
// document waits in the results folder named by the registry.
#include "norwin/datalayer/live_ex_results.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "norwin/automation/dispatch.h"
#include "norwin/datalayer/live_ex_score.h"
#include "norwin/datalayer/registry.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/xml_dom.h"
#include "norwin/platform/clock.h"
#include "norwin/platform/prompts.h"
#include "support/course_server.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::Variant;
using testing::CourseServer;
using testing::RecordServer;

class LiveExResultsServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreValidationString("");
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        platform::ScriptedPromptFiles{"", (prefix_.path() / "prompts.log").string()}));
    fs::create_directories(results_dir_);
  }
  void TearDown() override { platform::SetPromptsForTesting(nullptr); }

  std::vector<std::string> Prompts() const {
    std::ifstream in(prefix_.path() / "prompts.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // Names the results folder in the registry and puts the submission
  // document of exercise LX7 there.
  fs::path PutSubmission() {
    EXPECT_TRUE(WriteRegistryString(kHkeyLocalMachine, kLiveExSettingsKey, kLiveExResultsDirValue,
                                    results_dir_.string()));
    const fs::path file = results_dir_ / "VelloraLiveEx_LX7.xml";
    std::ofstream(file, std::ios::binary)
        << "<VUDUD_INPUTS><SUBMIT_HOST_V3>" << course_.submit_url()
        << "</SUBMIT_HOST_V3><SUBMIT_HOST_V3_BACKUP>" << course_.backup_url()
        << "</SUBMIT_HOST_V3_BACKUP><liveExercise><id>LX7</id><courseId>C12</courseId>"
           "<studentId>SID00042</studentId><assignmentId>A99</assignmentId><score>0</score>"
           "</liveExercise></VUDUD_INPUTS>";
    return file;
  }

  // Results of LX7 with three steps, two of them right.
  automation::Ref<LiveExResults> ThreeSteps() {
    auto results = automation::MakeRef<LiveExResults>();
    results->SetExamId("LX7");
    results->SetTitle("Formatting cells");
    for (int i = 1; i <= 3; ++i) {
      automation::Ref<LiveExScore> score = NewLiveExScore();
      score->SetId(std::to_string(i));
      score->SetCorrect(i != 2);
      score->SetAttempts(static_cast<int16_t>(i));
      results->Scores().AddKeyed(score->Id(), Variant(score));
    }
    return results;
  }

  static std::string Saved(const fs::path& file) {
    XmlDocument doc;
    EXPECT_TRUE(doc.Load(file).ok());
    return doc.Xml();
  }

  testing::TempPrefix prefix_;
  fs::path results_dir_ = prefix_.path() / "results";
  platform::ManualSource clock_;
  platform::ScopedSourceForTesting clock_scope_{&clock_};
  RecordServer records_;
  CourseServer course_;
};

TEST_F(LiveExResultsServerTest, TheRecordLivesBehindTheRecordPages) {
  records_.PutRecord("lx7.xml",
                     "<liveResults ID='LX7'><title>T</title><score correct='True'>1</score>"
                     "</liveResults>");
  auto results = automation::MakeRef<LiveExResults>();
  ASSERT_TRUE(results->Load(records_.location("?sid=7/lx7.xml")));
  EXPECT_EQ(records_.last_request().method, "POST");
  EXPECT_EQ(records_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=LiveExResults&FileName=lx7.xml&");
  EXPECT_EQ(results->ExamFileName(), "lx7.xml");
  EXPECT_EQ(results->Scores().size(), 1u);

  ASSERT_TRUE(results->Save(records_.location("lx7b.xml"), DeleteOld::kNo));
  EXPECT_EQ(records_.last_request().target,
            "/app/SavePellamObject.asp?ObjName=LiveExResults&FileName=lx7b.xml&");
  XmlDocument stored;
  ASSERT_TRUE(stored.LoadXml(records_.GetRecord("lx7b.xml").value_or("")).ok());
  EXPECT_EQ(stored.Xml(),
            "<liveResults ID=\"LX7\"><title>T</title>"
            "<score correct=\"True\" attempts=\"0\">1</score></liveResults>");

  // A page that answers a save with text refused it.
  records_.loopback().Reply("POST", "/app/SavePellamObject.asp", "Disk full");
  EXPECT_FALSE(results->Save(records_.location("lx7b.xml"), DeleteOld::kNo));
  EXPECT_EQ(Prompts(),
            std::vector<std::string>{
                "NorwinPellam2003\tVellora server repored an error: Disk full\t0x0\tOK"});

  // Saving elsewhere with deleteOldIfChanged removes the record it came from.
  records_.AnswerNormally();
  records_.loopback().Reply("POST", "/app/SavePellamObject.asp", "");
  ASSERT_TRUE(CallByName(*results, "Save", DISPATCH_METHOD,
                         {Variant(records_.location("lx7c.xml")), Variant(true)})
                  .bool_value());
  EXPECT_EQ(records_.last_request().target,
            "/app/DeletePellamObject.asp?ObjName=LiveExResults&FileName=lx7.xml&");
  EXPECT_FALSE(records_.GetRecord("lx7.xml"));
  EXPECT_FALSE(results->Delete(records_.location("lx7.xml")));
}

constexpr char kFullRecord[] =
    "<liveResults ID=\"LX7\"><title>Formatting cells</title>"
    "<score correct=\"True\" attempts=\"1\">1</score>"
    "<score correct=\"False\" attempts=\"2\">2</score>"
    "<score correct=\"True\" attempts=\"3\">3</score></liveResults>";

TEST_F(LiveExResultsServerTest, AnAcceptedScoreUsesTheDocumentUpAndEmptiesTheRecord) {
  const fs::path document = PutSubmission();
  // A reply that begins with a byte-order mark is the same acceptance.
  course_.SetAcceptReply("\xEF\xBB\xBFsuccess: stored");
  auto results = ThreeSteps();
  const fs::path record = prefix_.path() / "lx7.xml";
  ASSERT_TRUE(results->Save(record.string(), DeleteOld::kNo));

  const std::vector<CourseServer::ReceivedForm> forms = course_.forms();
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0].host, "submit");
  EXPECT_EQ(forms[0].Field("student_id"), "SID00042");
  EXPECT_EQ(forms[0].Field("exercise_id"), "LX7");
  EXPECT_EQ(forms[0].Field("result"), "66.6666666666667");
  EXPECT_EQ(forms[0].Field("key"), "pelvanx1");
  // The document served its one submission; the page starts a new exercise.
  EXPECT_FALSE(fs::exists(document));
  EXPECT_EQ(Saved(record), "<liveResults/>");
  EXPECT_TRUE(Prompts().empty());

  // Nothing waits any more: the next save stores the record and sends nothing.
  ASSERT_TRUE(results->Save(record.string(), DeleteOld::kNo));
  EXPECT_EQ(course_.forms().size(), 1u);
  EXPECT_EQ(Saved(record), kFullRecord);
}

TEST_F(LiveExResultsServerTest, AFailedSubmissionAlwaysKeepsTheFullRecord) {
  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(300), std::chrono::milliseconds(300)});
  course_.SetSilence(std::chrono::seconds(2));
  struct Case {
    CourseServer::Failure failure;
    bool document_kept;  // for the next Save to send
  };
  // A server that answered has had its say: sending again would only meet
  // the same refusal, with its messages, on every later Save. One that
  // could not be reached may take the score next time.
  for (const Case& c : {Case{CourseServer::Failure::kRefuse, false},
                        Case{CourseServer::Failure::kServerError, false},
                        Case{CourseServer::Failure::kSilence, true}}) {
    SCOPED_TRACE(static_cast<int>(c.failure));
    course_.ClearRequests();
    const fs::path document = PutSubmission();
    auto results = ThreeSteps();
    const fs::path record = prefix_.path() / "lx7.xml";
    course_.FailNext(5, c.failure);
    EXPECT_FALSE(results->Save(record.string(), DeleteOld::kNo));
    EXPECT_EQ(course_.forms().size(), 5u);
    EXPECT_EQ(Prompts().back(), std::string(kLiveExNoticeCaption) + "\t" +
                                    std::string(kLiveExGaveUpText) + "\t0x0\tOK");
    EXPECT_EQ(fs::exists(document), c.document_kept);
    EXPECT_EQ(Saved(record), kFullRecord);

    ASSERT_TRUE(results->Save(record.string(), DeleteOld::kNo));
    EXPECT_EQ(course_.forms().size(), c.document_kept ? 6u : 5u);
    EXPECT_FALSE(fs::exists(document));
    EXPECT_EQ(Saved(record), c.document_kept ? "<liveResults/>" : kFullRecord);
  }
  SetServerTimeLimitsForTesting(ServerTimeLimits{});
}

TEST_F(LiveExResultsServerTest, ADocumentThatCannotBeDeletedIsMarkedSentAndRefused) {
  // The results folder is a server folder that hands documents out but
  // deletes none.
  const std::string folder = course_.document_url("");
  ASSERT_TRUE(WriteRegistryString(kHkeyLocalMachine, kLiveExSettingsKey, kLiveExResultsDirValue,
                                  folder.substr(0, folder.size() - 1)));
  auto put = [&](std::string_view assignment) {
    course_.PutDocument("VelloraLiveEx_LX7.xml",
                        "<VUDUD_INPUTS><SUBMIT_HOST_V3>" + course_.submit_url() +
                            "</SUBMIT_HOST_V3><liveExercise><id>LX7</id><assignmentId>" +
                            std::string(assignment) +
                            "</assignmentId></liveExercise></VUDUD_INPUTS>");
  };
  put("A1");
  auto results = ThreeSteps();
  const std::string record = (prefix_.path() / "lx7.xml").string();
  ASSERT_TRUE(results->Save(record, DeleteOld::kNo));
  ASSERT_EQ(course_.forms().size(), 1u);
  // Still there, but it sent its score: never again.
  ASSERT_TRUE(results->Save(record, DeleteOld::kNo));
  EXPECT_EQ(course_.forms().size(), 1u);
  EXPECT_FALSE(results->GetVelloraLiveEx());

  // A document issued anew is another one.
  put("A2");
  ASSERT_TRUE(results->Save(record, DeleteOld::kNo));
  ASSERT_EQ(course_.forms().size(), 2u);
  EXPECT_EQ(course_.forms()[1].Field("assignment_id"), "A2");
}

TEST_F(LiveExResultsServerTest, GetVelloraLiveExHandsOutTheDocumentOnce) {
  auto results = ThreeSteps();
  // No results folder named: nothing.
  EXPECT_FALSE(CallByName(*results, "GetVelloraLiveEx", DISPATCH_METHOD).object());
  const fs::path document = PutSubmission();
  results->SetExamId("LX8");
  EXPECT_FALSE(results->GetVelloraLiveEx());
  EXPECT_TRUE(fs::exists(document));

  // An identifier cannot reach a file outside the folder.
  const fs::path outside = prefix_.path() / "VelloraLiveEx_.xml";
  fs::copy_file(document, outside);
  results->SetExamId("..\\");
  EXPECT_FALSE(results->GetVelloraLiveEx());
  results->SetExamId("../");
  EXPECT_FALSE(results->GetVelloraLiveEx());
  EXPECT_TRUE(fs::exists(outside));

  results->SetExamId("LX7");
  const Variant live = CallByName(*results, "GetVelloraLiveEx", DISPATCH_METHOD);
  ASSERT_TRUE(live.IsObject());
  auto& submission = dynamic_cast<VelloraLiveEx&>(*live.object());
  EXPECT_EQ(submission.SubmitHost(), course_.submit_url());
  EXPECT_EQ(submission.access_key(), "pelvanx1");
  EXPECT_FALSE(fs::exists(document));
  EXPECT_FALSE(results->GetVelloraLiveEx());
  EXPECT_EQ(course_.request_count(), 0u);
}

}  // namespace
}  // namespace norwin::datalayer
