// Exam lists, their handles and preferences behind the record pages of a
// real HTTP server on 127.0.0.1: the exact requests (URL and body), the
// server's answers and what the user is shown.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "datalayer/support/new_record.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/exam_info.h"
#include "norwin/datalayer/exam_list.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/preferences.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/platform/prompts.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::CallByName;
using automation::Collection;
using automation::DISPATCH_METHOD;
using automation::Ref;
using automation::Variant;
using testing::RecordServer;

using testing::New;

TitleFilename& HandleAt(const Collection& list, size_t index) {
  return *dynamic_cast<TitleFilename*>(list.at(index).object());
}

class ExamListServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreValidationString("");
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        platform::ScriptedPromptFiles{"", (prefix_.path() / "prompts.log").string()}));
    server_.PutRecord("u1_pmxm.xml",
                      "<exam pctCorrect='50'><title>Unit 1</title>"
                      "<questionRef>Q1</questionRef></exam>");
    server_.PutRecord("u2_pmxm.xml", "<exam><title>Unit 2</title></exam>");
    server_.PutRecord("term_pmxl.xml",
                      "<examList><title>Term</title><pref><timeLimit>20</timeLimit></pref>"
                      "<examFile>u2_pmxm.xml</examFile><examFile>u9_pmxm.xml</examFile>"
                      "<examFile>u1_pmxm.xml</examFile></examList>");
  }
  void TearDown() override {
    platform::SetPromptsForTesting(nullptr);
    SetServerTimeLimitsForTesting(ServerTimeLimits{});
    StoreValidationString("");
  }

  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const auto& request : server_.requests()) targets.push_back(request.target);
    return targets;
  }
  std::vector<std::string> Prompts() const {
    std::ifstream in(prefix_.path() / "prompts.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  testing::TempPrefix prefix_;
  RecordServer server_;
};

TEST_F(ExamListServerTest, LoadAsksForTheListThenForEachExamInTheFolders) {
  auto list = New<ExamList>("ExamList");
  // The exams are looked for in a server folder with an extra query.
  ASSERT_TRUE(list->Load(server_.location("term_pmxl.xml"), server_.app_url() + "?term=3/"));
  EXPECT_EQ(Targets(), (std::vector<std::string>{
                           "/app/LoadPellamObject.asp?ObjName=ExamList&FileName=term_pmxl.xml&",
                           "/app/LoadPellamObject.asp?ObjName=Exam&FileName=u2_pmxm.xml&term=3",
                           "/app/LoadPellamObject.asp?ObjName=Exam&FileName=u9_pmxm.xml&term=3",
                           "/app/LoadPellamObject.asp?ObjName=Exam&FileName=u1_pmxm.xml&term=3",
                       }));
  for (const auto& request : server_.requests()) {
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "");
  }
  EXPECT_EQ(list->Title(), "Term");
  EXPECT_EQ(list->ExamListFilename(), "term_pmxl.xml");
  EXPECT_EQ(list->Prefs()->fields().time_limit, 20);
  const Ref<Collection> exams = list->Exams();
  ASSERT_EQ(exams->size(), 2u);
  EXPECT_EQ(HandleAt(*exams, 0).Title(), "Unit 2");
  EXPECT_EQ(HandleAt(*exams, 0).Directory(), server_.app_url() + "?term=3/");
  EXPECT_EQ(HandleAt(*exams, 1).Title(), "Unit 1");

  // After a login every request carries the validation string.
  StoreValidationString("LoginKey=k1&LoginValue=v1");
  server_.ClearRequests();
  auto again = New<ExamList>("ExamList");
  ASSERT_TRUE(again->Load(server_.app_url() + "?sid=7/term_pmxl.xml", server_.app_url()));
  const std::vector<std::string> targets = Targets();
  ASSERT_EQ(targets.size(), 4u);
  EXPECT_EQ(targets[0],
            "/app/LoadPellamObject.asp?ObjName=ExamList&FileName=term_pmxl.xml"
            "&LoginKey=k1&LoginValue=v1");
  EXPECT_EQ(
      targets[1],
      "/app/LoadPellamObject.asp?ObjName=Exam&FileName=u2_pmxm.xml&LoginKey=k1&LoginValue=v1");

  // A server's complaint is no list.
  EXPECT_FALSE(again->Load(server_.location("none_pmxl.xml"), server_.app_url()));
}

TEST_F(ExamListServerTest, SaveSendsTheDocumentAndShowsAnyAnswer) {
  auto list = New<ExamList>("ExamList");
  ASSERT_TRUE(list->Load(server_.location("term_pmxl.xml"), server_.app_url()));
  list->SetTitle("Term (revised)");
  server_.ClearRequests();
  EXPECT_EQ(CallByName(*list, "Save", DISPATCH_METHOD, {Variant(server_.location("rev_pmxl.xml"))}),
            Variant(true));
  const auto request = server_.last_request();
  EXPECT_EQ(request.target, "/app/SavePellamObject.asp?ObjName=ExamList&FileName=rev_pmxl.xml&");
  XmlDocument sent;
  ASSERT_TRUE(sent.LoadXml(request.body).ok());
  XmlDocument expected;
  list->SaveToXml(NewRecordRoot(expected, "examList"));
  EXPECT_EQ(sent.Xml(), expected.Xml());
  EXPECT_EQ(server_.GetRecord("rev_pmxl.xml"), request.body);
  EXPECT_TRUE(Prompts().empty());

  // What the page answers is shown, and the save still counts.
  server_.loopback().Reply("POST", "/app/SavePellamObject.asp", "Disk quota exceeded");
  EXPECT_TRUE(list->Save(server_.location("rev_pmxl.xml")));
  EXPECT_EQ(Prompts(),
            (std::vector<std::string>{"NorwinPellam2003\tDisk quota exceeded\t0x0\tOK"}));

  // The revised list loads back from the server.
  server_.AnswerNormally();
  auto loaded = New<ExamList>("ExamList");
  ASSERT_TRUE(loaded->Load(server_.location("rev_pmxl.xml"), server_.app_url()));
  EXPECT_EQ(loaded->Title(), "Term (revised)");
  EXPECT_EQ(loaded->Exams()->size(), 2u);
}

TEST_F(ExamListServerTest, DeleteSucceedsOnlyOnAnEmptyAnswer) {
  auto list = New<ExamList>("ExamList");
  EXPECT_EQ(list->Delete(server_.location("term_pmxl.xml")), Variant(true));
  EXPECT_EQ(server_.last_request().target,
            "/app/DeletePellamObject.asp?ObjName=ExamList&FileName=term_pmxl.xml&");
  EXPECT_FALSE(server_.GetRecord("term_pmxl.xml"));
  EXPECT_EQ(list->Delete(server_.location("term_pmxl.xml")), Variant(false));
  EXPECT_TRUE(Prompts().empty());
}

TEST_F(ExamListServerTest, ServerListingGivesHandlesWithoutOpeningThem) {
  server_.ServeFolder("/app/class2/");
  server_.PutRecord("b_pmxl.xml", "<examList><title>Second</title></examList>", "/app/class2/");
  server_.PutRecord("a_pmxl.xml", "<examList><title>First</title></examList>", "/app/class2/");
  auto list = New<ExamList>("ExamList");
  const std::string folder = server_.app_url() + "?sid=7?class2/";
  const Variant result = CallByName(*list, "GetExamLists", DISPATCH_METHOD, {Variant(folder)});
  auto* lists = dynamic_cast<Collection*>(result.object());
  ASSERT_NE(lists, nullptr);
  EXPECT_EQ(Targets(),
            (std::vector<std::string>{"/app/class2/GetTitleFileNames.asp?ObjName=ExamList&"}));
  ASSERT_EQ(lists->size(), 2u);
  EXPECT_EQ(HandleAt(*lists, 0).Title(), "First");
  EXPECT_EQ(HandleAt(*lists, 0).Filename(), "a_pmxl.xml");
  EXPECT_EQ(HandleAt(*lists, 0).Directory(), server_.app_url("/app/class2/"));
  EXPECT_EQ(HandleAt(*lists, 1).Title(), "Second");

  // Titles with ";"-free text of any kind, and an answer cut short.
  server_.OnListing("ExamList", [](const httplib::Request&, const std::filesystem::path&) {
    return std::string("Unit 1 test;u1_pmxl.xml;Unit 2 test;");
  });
  try {
    list->GetExamLists(server_.app_url());
    ADD_FAILURE() << "a title without its file name is a broken listing";
  } catch (const AutomationError& e) {
    EXPECT_EQ(automation::ErrNumberFromHResult(e.number), automation::kInvalidProcedureCall);
  }
  server_.OnListing("ExamList", [](const httplib::Request&, const std::filesystem::path&) {
    return std::string();
  });
  EXPECT_EQ(list->GetExamLists(server_.app_url())->size(), 0u);
}

TEST_F(ExamListServerTest, HandlesFetchTheRecordTheyNameFromTheServer) {
  StoreValidationString("LoginKey=k&LoginValue=v");
  auto handle = New<TitleFilename>("TitleFilename");
  ASSERT_TRUE(handle->LoadValues(server_.app_url() + "?term=3?/", "u1_pmxm.xml", "Exam"));
  EXPECT_EQ(server_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=Exam&FileName=u1_pmxm.xml&term=3"
            "&LoginKey=k&LoginValue=v");
  EXPECT_EQ(handle->Title(), "Unit 1");
  EXPECT_EQ(handle->Directory(), server_.app_url() + "?term=3?/");

  auto info = New<ExamInfo>("ExamInfo");
  ASSERT_EQ(CallByName(*info, "LoadValues", DISPATCH_METHOD,
                       {Variant(server_.app_url()), Variant("u1_pmxm.xml")}),
            Variant(true));
  EXPECT_EQ(server_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=Exam&FileName=u1_pmxm.xml&LoginKey=k&LoginValue=v");
  EXPECT_EQ(info->Title(), "Unit 1");
  EXPECT_EQ(info->PctCorrect(), 50);
  EXPECT_EQ(info->FirstQuestionID(), "Q1");
  EXPECT_FALSE(info->LoadValues(server_.app_url(), "u7_pmxm.xml", "ExamSummary"));
  EXPECT_EQ(server_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=ExamSummary&FileName=u7_pmxm.xml"
            "&LoginKey=k&LoginValue=v");
  EXPECT_EQ(info->Filename(), "u1_pmxm.xml");

  // A server that does not answer is an error, not a missing record.
  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(500), std::chrono::milliseconds(300)});
  server_.AnswerNothing(std::chrono::milliseconds(1500));
  try {
    handle->LoadValues(server_.app_url(), "u1_pmxm.xml", "Exam");
    ADD_FAILURE() << "a silent server must fail the call";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, kServerNotReached);
  }
}

TEST_F(ExamListServerTest, StandAlonePreferencesUseTheirOwnRequestShape) {
  auto prefs = New<Preferences>("Preferences");
  prefs->fields().time_limit = 15;
  ASSERT_TRUE(prefs->Save(server_.app_url() + "?site=2/defaults.xml"));
  EXPECT_EQ(server_.last_request().target,
            "/app/SavePellamObject.asp?ObjName=Preferences&FileName=defaults.xml&site=2");
  XmlDocument sent;
  ASSERT_TRUE(sent.LoadXml(server_.last_request().body).ok());
  EXPECT_EQ(sent.DocumentElement().NodeName(), "pref");

  auto loaded = New<Preferences>("Preferences");
  ASSERT_TRUE(loaded->Load(server_.location("defaults.xml")));
  EXPECT_EQ(server_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=Preferences&FileName=defaults.xml");
  EXPECT_EQ(loaded->fields().time_limit, 15);
  server_.AnswerGarbage();
  EXPECT_FALSE(loaded->Load(server_.location("defaults.xml")));
}

}  // namespace
}  // namespace norwin::datalayer
