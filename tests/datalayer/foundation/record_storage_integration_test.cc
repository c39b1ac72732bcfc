// Records behind the server pages of a real HTTP server on 127.0.0.1: the
// exact requests (method, URL, body), the answers the storage acts on, the
// message box for a save's answer, and servers that misbehave.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/platform/prompts.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using testing::RecordServer;

const RecordKind kStudents{"Students", RequestShape::kB};
const RecordKind kExamList{"ExamList", RequestShape::kA};
constexpr char kRoster[] =
    "<?xml version=\"1.0\"?>\n<students autoStudentID=\"1\"><student><id>SID00001</id>"
    "</student></students>";

// Every case gets its own prompt log, no login and the default time limits.
class RecordServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreValidationString("");
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        platform::ScriptedPromptFiles{"", (dir_.path() / "prompts.log").string()}));
  }
  void TearDown() override {
    platform::SetPromptsForTesting(nullptr);
    SetServerTimeLimitsForTesting(ServerTimeLimits{});
    StoreValidationString("");
  }

  // The prompts shown so far, one log line each.
  std::vector<std::string> Prompts() const {
    std::ifstream in(dir_.path() / "prompts.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // The target of every request, in order.
  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const auto& request : server_.requests()) targets.push_back(request.target);
    return targets;
  }

  testing::TempDir dir_;
  RecordServer server_;
};

TEST_F(RecordServerTest, LoadSaveAndDeleteSendTheRecordPagesTheirRequests) {
  server_.PutRecord("roster.xml", kRoster);
  XmlDocument doc;
  ASSERT_TRUE(LoadRecord(doc, server_.location("roster.xml"), kStudents));
  EXPECT_EQ(RequiredChildText(doc.DocumentElement().FirstChild(), "id"), "SID00001");
  auto request = server_.last_request();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml");
  EXPECT_EQ(request.body, "");

  // The document goes as the body; no content type is claimed for it.
  XmlNode id = doc.DocumentElement().FirstChild().FirstChild();
  ASSERT_TRUE(id.SetText("SID00002").ok());
  EXPECT_TRUE(SaveRecord(doc, server_.location("copy.xml"), kStudents));
  request = server_.last_request();
  EXPECT_EQ(request.target, "/app/SavePellamObject.asp?ObjName=Students&FileName=copy.xml");
  EXPECT_EQ(request.body, doc.Xml(XmlDeclaration::kInclude));
  EXPECT_FALSE(request.HasHeader("Content-Type"));
  EXPECT_EQ(server_.GetRecord("copy.xml"), doc.Xml(XmlDeclaration::kInclude));
  // An empty answer to a save shows nothing.
  EXPECT_TRUE(Prompts().empty());

  XmlDocument copy;
  ASSERT_TRUE(LoadRecord(copy, server_.location("copy.xml"), kStudents));
  EXPECT_EQ(copy.Xml(), doc.Xml());

  EXPECT_TRUE(DeleteRecord(server_.location("copy.xml"), kExamList));
  EXPECT_EQ(server_.last_request().target,
            "/app/DeletePellamObject.asp?ObjName=ExamList&FileName=copy.xml&");
  EXPECT_FALSE(server_.GetRecord("copy.xml"));
  // Deleting again gets the server's complaint: not deleted, nothing shown.
  EXPECT_FALSE(DeleteRecord(server_.location("copy.xml"), kExamList));
  EXPECT_TRUE(Prompts().empty());
  // A record the server does not have does not load.
  EXPECT_FALSE(LoadRecord(copy, server_.location("copy.xml"), kStudents));
  EXPECT_TRUE(copy.DocumentElement().IsNull());
}

TEST_F(RecordServerTest, QueryAndSubFolderOfTheLocationReachTheRightPages) {
  server_.ServeFolder("/app/class2/");
  server_.PutRecord("roster.xml", kRoster, "/app/class2/");
  const std::string location = server_.app_url() + "?sid=7?class2/roster.xml";
  XmlDocument doc;
  ASSERT_TRUE(LoadRecord(doc, location, kStudents));
  EXPECT_EQ(server_.last_request().target,
            "/app/class2/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml&sid=7");

  StoreValidationString("LoginKey=k&LoginValue=v");
  // (A record server stores a kind's documents only with the kind's root.)
  XmlDocument list;
  NewRecordRoot(list, "examList");
  EXPECT_TRUE(SaveRecord(list, location, kExamList));
  EXPECT_EQ(server_.last_request().target,
            "/app/class2/SavePellamObject.asp?ObjName=ExamList&FileName=roster.xml"
            "&LoginKey=k&LoginValue=v");
}

TEST_F(RecordServerTest, NonEmptyAnswerToASaveIsShownAndTheSaveCounts) {
  server_.loopback().Reply("POST", "/app/SavePellamObject.asp", "Quota exceeded: 2 MB\r\nCall us");
  XmlDocument doc;
  NewRecordRoot(doc, "pref");
  EXPECT_TRUE(SaveRecord(doc, server_.location("p.xml"), kStudents));
  const std::vector<std::string> prompts = Prompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0], "NorwinPellam2003\tQuota exceeded: 2 MB\\r\\nCall us\t0x0\tOK");

  // An answer in 8-bit text is shown as the server meant it.
  server_.loopback().Reply("POST", "/app/SavePellamObject.asp", "Fehler: Datei gel\xf6scht");
  EXPECT_TRUE(SaveRecord(doc, server_.location("p.xml"), kStudents));
  ASSERT_EQ(Prompts().size(), 2u);
  EXPECT_EQ(Prompts()[1], "NorwinPellam2003\tFehler: Datei gelöscht\t0x0\tOK");
}

TEST_F(RecordServerTest, ServerListingGivesTitlesAndFileNames) {
  server_.PutRecord("u2_pmxl.xml", "<examList><title>Unit 2 test</title></examList>");
  server_.PutRecord("u1_pmxl.xml", "<examList><title>Unit 1 test</title></examList>");
  server_.PutRecord("roster.xml", kRoster);
  EXPECT_EQ(FetchListing(server_.app_url(), kExamList, 2),
            (std::vector<std::string>{"Unit 1 test", "u1_pmxl.xml", "Unit 2 test", "u2_pmxl.xml"}));
  EXPECT_EQ(server_.last_request().target, "/app/GetTitleFileNames.asp?ObjName=ExamList&");
  EXPECT_EQ(server_.last_request().body, "");

  const UrlParam type[] = {{"ExamType", "1", ParamPresence::kAlways}};
  server_.OnListing("Exam", [](const httplib::Request&, const std::filesystem::path&) {
    return std::string("Final;final_pmxm.xml;Orphan;");
  });
  EXPECT_THROW(
      FetchListing(server_.app_url() + "?term=3/", RecordKind{"Exam", RequestShape::kB, type}, 2),
      AutomationError);
  EXPECT_EQ(server_.last_request().target,
            "/app/GetTitleFileNames.asp?ObjName=Exam&ExamType=1&term=3");
}

TEST_F(RecordServerTest, GarbageAndErrorPagesAreNoRecords) {
  server_.PutRecord("roster.xml", kRoster);
  XmlDocument doc;
  server_.AnswerGarbage();
  EXPECT_FALSE(LoadRecord(doc, server_.location("roster.xml"), kStudents));
  EXPECT_FALSE(DeleteRecord(server_.location("roster.xml"), kStudents));
  EXPECT_TRUE(FetchListing(server_.app_url(), kExamList, 2).empty());

  server_.AnswerErrorText("<html><body>500 Internal Server Error</body>", 500);
  EXPECT_FALSE(LoadRecord(doc, server_.location("roster.xml"), kStudents));
  EXPECT_FALSE(DeleteRecord(server_.location("roster.xml"), kStudents));
  NewRecordRoot(doc, "students");
  EXPECT_FALSE(SaveRecord(doc, server_.location("roster.xml"), kStudents));
  ASSERT_EQ(Prompts().size(), 1u);
  EXPECT_NE(Prompts()[0].find("500 Internal Server Error"), std::string::npos);
  // Nothing of it reached the stored record.
  EXPECT_EQ(server_.GetRecord("roster.xml"), kRoster);
}

TEST_F(RecordServerTest, AnErrorStatusIsAFailedRequestWhateverItsText) {
  server_.PutRecord("roster.xml", kRoster);
  XmlDocument doc;
  for (const int status : {302, 404, 500, 503}) {
    SCOPED_TRACE(status);
    // Even a well-formed record, and even an empty text, with an error
    // status is no record, no save and no deletion.
    for (const char* text : {kRoster, ""}) {
      server_.AnswerErrorText(text, status);
      EXPECT_EQ(ReadRecord(doc, server_.location("roster.xml"), kStudents), RecordRead::kRefused);
      EXPECT_TRUE(doc.DocumentElement().IsNull());
      NewRecordRoot(doc, "students");
      EXPECT_FALSE(SaveRecord(doc, server_.location("roster.xml"), kStudents));
      EXPECT_FALSE(DeleteRecord(server_.location("roster.xml"), kStudents));
      try {
        (void)FetchListing(server_.app_url(), kExamList, 2);
        ADD_FAILURE() << "an error page is no empty listing";
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number, kServerFailed);
        EXPECT_NE(e.description.find(std::to_string(status)), std::string::npos);
      }
    }
  }
  EXPECT_EQ(server_.GetRecord("roster.xml"), kRoster);

  // What a 2xx answer is: an empty one, no record, or a record of another
  // kind when the kind names its root.
  const RecordKind roster{"Students", RequestShape::kB, {}, "students"};
  server_.AnswerErrorText(" \r\n", 200);
  EXPECT_EQ(ReadRecord(doc, server_.location("roster.xml"), roster), RecordRead::kEmpty);
  server_.AnswerErrorText("Record roster.xml not found", 200);
  EXPECT_EQ(ReadRecord(doc, server_.location("roster.xml"), roster), RecordRead::kNoRecord);
  server_.AnswerErrorText("<html><body>Login first</body></html>", 200);
  EXPECT_EQ(ReadRecord(doc, server_.location("roster.xml"), roster), RecordRead::kRefused);
  EXPECT_TRUE(doc.DocumentElement().IsNull());
  server_.AnswerNormally();
  EXPECT_EQ(ReadRecord(doc, server_.location("roster.xml"), roster), RecordRead::kRead);
}

TEST_F(RecordServerTest, SilentOrAbsentServerFailsTheCallAfterTheTimeLimit) {
  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(500), std::chrono::milliseconds(400)});
  server_.AnswerNothing(std::chrono::seconds(20));
  XmlDocument doc;
  NewRecordRoot(doc, "students");
  const auto start = std::chrono::steady_clock::now();
  try {
    (void)LoadRecord(doc, server_.location("roster.xml"), kStudents);
    ADD_FAILURE() << "a silent server must fail the load";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, kServerNotReached);
    EXPECT_NE(e.description.find("LoadPellamObject.asp"), std::string::npos) << e.description;
  }
  EXPECT_THROW((void)SaveRecord(doc, server_.location("roster.xml"), kStudents), AutomationError);
  EXPECT_THROW((void)DeleteRecord(server_.location("roster.xml"), kStudents), AutomationError);
  EXPECT_THROW((void)FetchListing(server_.app_url(), kExamList, 2), AutomationError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  EXPECT_TRUE(Prompts().empty());

  // Nobody listens on port 1.
  EXPECT_THROW((void)LoadRecord(doc, "http://127.0.0.1:1/app/roster.xml", kStudents),
               AutomationError);
}

}  // namespace
}  // namespace norwin::datalayer
