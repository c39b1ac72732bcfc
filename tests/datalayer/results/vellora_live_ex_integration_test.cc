// VelloraLiveEx against a real course-management server on 127.0.0.1: the
// document fetched with its access key, its layout read and written, the
// write-back, the exact result form, and the retrying sender with its
// messages and pauses (through a manual clock, so they take no time).
#include "norwin/datalayer/vellora_live_ex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/vellora_submission.h"
#include "norwin/datalayer/xml_dom.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "norwin/platform/clock.h"
#include "norwin/platform/prompts.h"
#include "support/course_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::Variant;
using platform::ManualSource;
using testing::CourseServer;

// A prompt as the scripted prompts log it: caption, text (CR and LF
// escaped), flags and answer.
std::string Logged(std::string_view caption, std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped.push_back(c);
    }
  }
  return std::string(caption) + "\t" + escaped + "\t0x0\tOK";
}

const std::string kRetry = Logged(kLiveExNoticeCaption, kLiveExRetryText);
const std::string kGaveUp = Logged(kLiveExNoticeCaption, kLiveExGaveUpText);

class VelloraLiveExTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        platform::ScriptedPromptFiles{"", (prefix_.path() / "prompts.log").string()}));
  }
  void TearDown() override {
    platform::SetPromptsForTesting(nullptr);
    SetServerTimeLimitsForTesting(ServerTimeLimits{});
  }

  std::vector<std::string> Prompts() const {
    std::ifstream in(prefix_.path() / "prompts.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string Document(const std::string& submit, const std::string& backup) const {
    return "<VUDUD_INPUTS><SUBMIT_HOST_V3>" + submit + "</SUBMIT_HOST_V3><SUBMIT_HOST_V3_BACKUP>" +
           backup +
           "</SUBMIT_HOST_V3_BACKUP><liveExercise><id>LX7</id><courseId>C12</courseId>"
           "<studentId>SID00042</studentId><assignmentId>A99</assignmentId><score>0</score>"
           "</liveExercise></VUDUD_INPUTS>";
  }
  std::string StandardDocument() const {
    return Document(server_.submit_url(), server_.backup_url());
  }

  // A live exercise loaded from the server's document "lx7".
  automation::Ref<VelloraLiveEx> Loaded(const std::string& document) {
    server_.PutDocument("lx7", document);
    auto live = automation::MakeRef<VelloraLiveEx>();
    EXPECT_TRUE(live->Load(server_.document_url("lx7"), ""));
    server_.ClearRequests();
    return live;
  }

  std::string WriteFile(const std::string& name, const std::string& text) {
    const fs::path file = prefix_.path() / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }

  testing::TempPrefix prefix_;
  ManualSource clock_{ManualSource::DefaultStart() + std::chrono::hours(13) +
                      std::chrono::minutes(5) + std::chrono::seconds(9)};
  platform::ScopedSourceForTesting clock_scope_{&clock_};
  CourseServer server_;
};

TEST_F(VelloraLiveExTest, LoadFetchesTheDocumentWithTheAccessKey) {
  server_.PutDocument("lx7", StandardDocument());
  auto live = automation::MakeRef<VelloraLiveEx>();
  ASSERT_TRUE(CallByName(*live, "Load", DISPATCH_METHOD, {Variant(server_.document_url("lx7"))})
                  .bool_value());
  EXPECT_EQ(server_.last_request().method, "GET");
  EXPECT_EQ(server_.last_request().target, "/vellora/documents/lx7?key=pelvanx1");
  EXPECT_EQ(live->access_key(), "pelvanx1");
  EXPECT_EQ(live->ExamId(), "LX7");
  EXPECT_EQ(live->CourseId(), "C12");
  EXPECT_EQ(live->StudentId(), "SID00042");
  EXPECT_EQ(live->AssignmentId(), "A99");
  EXPECT_EQ(live->SubmitHost(), server_.submit_url());
  EXPECT_EQ(live->SubmitBackupHost(), server_.backup_url());
  XmlDocument served;
  ASSERT_TRUE(served.LoadXml(StandardDocument()).ok());
  EXPECT_EQ(CallByName(*live, "theXML", DISPATCH_PROPERTYGET).string(), served.Xml());

  // A query of its own gets "&key="; the installation's settings file picks
  // the second key.
  const std::string ini = WriteFile("course.ini", "Orvalen\r\n[general]\r\n");
  ASSERT_TRUE(live->Load(server_.document_url("lx7", "?assignment=A99"), ini));
  EXPECT_EQ(server_.last_request().target, "/vellora/documents/lx7?assignment=A99&key=pelvanx2");
  EXPECT_EQ(live->access_key(), "pelvanx2");
  ASSERT_TRUE(live->Load(server_.document_url("lx7"), "none"));
  EXPECT_EQ(live->access_key(), "pelvanx1");

  // A local copy loads the same.
  auto local = automation::MakeRef<VelloraLiveEx>();
  ASSERT_TRUE(local->Load(WriteFile("lx7.xml", StandardDocument()), "none"));
  EXPECT_EQ(local->ExamId(), "LX7");
  EXPECT_EQ(local->TheXml(), served.Xml());
}

TEST_F(VelloraLiveExTest, AnythingButASubmissionDocumentLeavesTheObjectAsItWas) {
  auto live = Loaded(StandardDocument());
  const std::string xml = live->TheXml();
  server_.PutDocument("other", Document("http://elsewhere/", ""));

  server_.AcceptKeys({"pelvanx9"});
  EXPECT_FALSE(live->Load(server_.document_url("other"), ""));  // 403 Invalid key
  server_.AcceptKeys({"pelvanx1"});
  EXPECT_FALSE(live->Load(server_.document_url("missing"), ""));  // 404
  server_.FailNext(1, CourseServer::Failure::kGarbage);
  EXPECT_FALSE(live->Load(server_.document_url("other"), ""));
  server_.FailNext(1, CourseServer::Failure::kServerError, "<error>busy</error>");
  EXPECT_FALSE(live->Load(server_.document_url("other"), ""));
  server_.PutDocument("xhtml", "<html><body>Down for maintenance</body></html>");
  EXPECT_FALSE(live->Load(server_.document_url("xhtml"), ""));
  EXPECT_FALSE(live->Load((prefix_.path() / "missing.xml").string(), ""));
  server_.PutDocument("bad-score",
                      "<VUDUD_INPUTS><SUBMIT_HOST_V3>http://elsewhere/"
                      "</SUBMIT_HOST_V3><liveExercise><id>X</id><score>n/a</score>"
                      "</liveExercise></VUDUD_INPUTS>");
  try {
    (void)live->Load(server_.document_url("bad-score"), "");
    ADD_FAILURE() << "a score that is no number must raise";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number, automation::HResultFromRuntimeError(automation::kTypeMismatch));
    EXPECT_NE(e.description.find("n/a"), std::string::npos);
  }
  EXPECT_EQ(live->SubmitHost(), server_.submit_url());
  EXPECT_EQ(live->ExamId(), "LX7");
  EXPECT_EQ(live->TheXml(), xml);

  // A server that stays silent is an error the page sees, not a wait
  // without end.
  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(500), std::chrono::milliseconds(300)});
  server_.SetSilence(std::chrono::seconds(5));
  server_.FailNext(1, CourseServer::Failure::kSilence);
  try {
    (void)live->Load(server_.document_url("other"), "");
    ADD_FAILURE() << "no answer must raise";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number, kServerNotReached);
  }
  EXPECT_TRUE(Prompts().empty());
}

TEST_F(VelloraLiveExTest, OlderHostsAreReadAndTheCurrentLayoutIsWritten) {
  auto live = automation::MakeRef<VelloraLiveEx>();
  live->SetCourseName("Word 2003");
  live->SetScore(12.5);
  ASSERT_TRUE(live->Load(WriteFile("old.xml",
                                   "<VUDUD_INPUTS><liveExercise><SUBMIT_HOST>http://old/s.asp"
                                   "</SUBMIT_HOST><id>7</id></liveExercise></VUDUD_INPUTS>"),
                         ""));
  EXPECT_EQ(live->SubmitHost(), "http://old/s.asp");
  // What the document does not hold stays as it was.
  EXPECT_EQ(live->Score(), 12.5);
  EXPECT_EQ(live->CourseName(), "Word 2003");
  EXPECT_EQ(live->ExamId(), "7");

  ASSERT_TRUE(live->Load(WriteFile("both.xml",
                                   "<VUDUD_INPUTS><SUBMIT_HOST_V3>http://v3/s.asp</SUBMIT_HOST_V3>"
                                   "<liveExercise><SUBMIT_HOST>http://old/s.asp</SUBMIT_HOST>"
                                   "<score>87.5</score></liveExercise></VUDUD_INPUTS>"),
                         ""));
  EXPECT_EQ(live->SubmitHost(), "http://v3/s.asp");
  EXPECT_EQ(live->Score(), 87.5);

  const std::string copy = (prefix_.path() / "copy.xml").string();
  ASSERT_TRUE(CallByName(*live, "Save", DISPATCH_METHOD, {Variant(copy)}).bool_value());
  XmlDocument saved;
  ASSERT_TRUE(saved.Load(copy).ok());
  EXPECT_EQ(saved.Xml(),
            "<VUDUD_INPUTS><SUBMIT_HOST_V3>http://v3/s.asp</SUBMIT_HOST_V3>"
            "<SUBMIT_HOST_V3_BACKUP/><liveExercise><id>7</id><courseId/><studentId/>"
            "<assignmentId/><score>87.5</score></liveExercise></VUDUD_INPUTS>");

  // What was written reads back whole.
  auto again = automation::MakeRef<VelloraLiveEx>();
  ASSERT_TRUE(again->Load(copy, ""));
  EXPECT_EQ(again->SubmitHost(), "http://v3/s.asp");
  EXPECT_EQ(again->Score(), 87.5);
  EXPECT_EQ(server_.request_count(), 0u);
}

TEST_F(VelloraLiveExTest, WriteBackToAServerAddressPostsTheDocument) {
  auto live = Loaded(StandardDocument());
  server_.loopback().Reply("POST", "/vellora/store.asp", "");
  EXPECT_TRUE(live->Save(server_.loopback().url("/vellora/store.asp")));
  const testing::RecordedRequest request = server_.last_request();
  EXPECT_EQ(request.method, "POST");
  XmlDocument body;
  ASSERT_TRUE(body.LoadXml(request.body).ok());
  EXPECT_EQ(body.DocumentElement().NodeName(), "VUDUD_INPUTS");
  EXPECT_EQ(body.Xml(), live->TheXml());
  EXPECT_TRUE(Prompts().empty());

  server_.loopback().Reply("POST", "/vellora/store.asp", "Quota exceeded");
  EXPECT_FALSE(live->Save(server_.loopback().url("/vellora/store.asp")));
  EXPECT_EQ(Prompts(), std::vector<std::string>{Logged(kSubmissionCaption, "Quota exceeded")});
  EXPECT_TRUE(server_.forms().empty());

  // Deleting: never a server address; a local copy goes.
  const std::string copy = WriteFile("copy.xml", StandardDocument());
  EXPECT_FALSE(CallByName(*live, "Delete", DISPATCH_METHOD, {Variant(server_.document_url("lx7"))})
                   .bool_value());
  EXPECT_TRUE(CallByName(*live, "Delete", DISPATCH_METHOD, {Variant(copy)}).bool_value());
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_FALSE(CallByName(*live, "Delete", DISPATCH_METHOD, {Variant(copy)}).bool_value());
}

TEST_F(VelloraLiveExTest, TheResultFormCarriesTheFieldsInOrder) {
  auto live = Loaded(StandardDocument());
  CallByName(*live, "CompletionDate", DISPATCH_PROPERTYPUT, {Variant("12/7/2026 3:04:05 PM")});
  CallByName(*live, "Score", DISPATCH_PROPERTYPUT, {Variant(200.0 / 3)});
  ASSERT_TRUE(CallByName(*live, "Save", DISPATCH_METHOD, {Variant("")}).bool_value());
  std::vector<CourseServer::ReceivedForm> forms = server_.forms();
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0].host, "submit");
  EXPECT_EQ(forms[0].content_type, "application/x-www-form-urlencoded");
  EXPECT_EQ(forms[0].body,
            "&student_id=SID00042&exercise_id=LX7&assignment_id=A99&course_id=C12"
            "&testDate=December 7, 2026&testTime=03:04:05PM&result=66.6666666666667"
            "&key=pelvanx1");
  EXPECT_EQ(forms[0].Field("testDate"), "December 7, 2026");
  EXPECT_TRUE(Prompts().empty());
  EXPECT_TRUE(clock_.sleeps().empty());

  // Without a valid completion date the form carries the moment of sending
  // (13:05:09 on the manual clock). An object that was never loaded has no
  // key yet.
  auto fresh = automation::MakeRef<VelloraLiveEx>();
  fresh->SetSubmitHost(server_.submit_url());
  fresh->SetCompletionDate("not yet");
  fresh->SetScore(100);
  fresh->SetStudentId("SID&1");
  ASSERT_TRUE(fresh->Save(""));
  forms = server_.forms();
  ASSERT_EQ(forms.size(), 2u);
  EXPECT_EQ(forms[1].body,
            "&student_id=SID%261&exercise_id=&assignment_id=&course_id="
            "&testDate=January 1, 2026&testTime=01:05:09PM&result=100&key=");
  EXPECT_EQ(forms[1].Field("student_id"), "SID&1");

  // Midnight and noon on the 12-hour clock.
  fresh->SetCompletionDate("3/9/2026");
  EXPECT_NE(fresh->FormBody().find("&testDate=March 9, 2026&testTime=12:00:00AM&"),
            std::string::npos);
  fresh->SetCompletionDate("3/9/2026 12:30:00");
  EXPECT_NE(fresh->FormBody().find("&testTime=12:30:00PM&"), std::string::npos);
}

TEST_F(VelloraLiveExTest, FiveFailedAttemptsAlternateHostsThenGiveUp) {
  auto live = Loaded(StandardDocument());
  server_.FailNext(100, CourseServer::Failure::kRefuse, "failure: closed");
  EXPECT_FALSE(live->Save(""));
  EXPECT_EQ(server_.form_hosts(),
            (std::vector<std::string>{"submit", "submit", "backup", "submit", "backup"}));
  for (const CourseServer::ReceivedForm& form : server_.forms()) {
    EXPECT_EQ(form.body, server_.forms()[0].body);
  }
  const std::string refused =
      Logged(kLiveExErrorCaption, std::string(kLiveExRefusedText) + "failure: closed");
  EXPECT_EQ(Prompts(), (std::vector<std::string>{refused, kRetry, refused, kRetry, refused, kRetry,
                                                 refused, kRetry, refused, kGaveUp}));
  // Ten seconds between attempts, with the windows kept alive; none after
  // the last one.
  const ManualSource::SleepRecord pause{std::chrono::seconds(10), platform::WaitEvents::kProcess};
  EXPECT_EQ(clock_.sleeps(), std::vector<ManualSource::SleepRecord>(4, pause));
}

TEST_F(VelloraLiveExTest, ALaterAttemptThatIsAcceptedEndsTheRetries) {
  auto live = Loaded(StandardDocument());
  server_.FailNext(2, CourseServer::Failure::kGarbage);
  EXPECT_TRUE(live->Save(""));
  EXPECT_EQ(server_.form_hosts(), (std::vector<std::string>{"submit", "submit", "backup"}));
  EXPECT_TRUE(server_.forms().back().accepted);
  const std::vector<std::string> prompts = Prompts();
  ASSERT_EQ(prompts.size(), 4u);
  EXPECT_EQ(prompts[0].rfind(std::string(kLiveExErrorCaption) + "\tVellora server response:", 0),
            0u);
  EXPECT_EQ(prompts[1], kRetry);
  EXPECT_EQ(clock_.sleeps().size(), 2u);

  // "Success" is not the word the server accepts with.
  server_.ClearRequests();
  server_.SetAcceptReply("Success");
  EXPECT_FALSE(live->Save(""));
  EXPECT_EQ(server_.forms().size(), 5u);
  server_.SetAcceptReply("success: stored as 4711");
  EXPECT_TRUE(live->Save(""));
}

TEST_F(VelloraLiveExTest, SilentServersAndMissingHostsCostAttemptsNotForever) {
  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(500), std::chrono::milliseconds(300)});
  server_.SetSilence(std::chrono::seconds(5));
  auto live = Loaded(StandardDocument());
  server_.FailNext(3, CourseServer::Failure::kSilence);
  EXPECT_TRUE(live->Save(""));
  EXPECT_EQ(server_.form_hosts(),
            (std::vector<std::string>{"submit", "submit", "backup", "submit"}));
  std::vector<std::string> prompts = Prompts();
  ASSERT_EQ(prompts.size(), 6u);
  EXPECT_EQ(
      prompts[0].rfind(
          std::string(kLiveExErrorCaption) + "\tVellora server returned error:\\r\\n\\r\\n", 0),
      0u);
  EXPECT_EQ(prompts[5], kRetry);

  // Without a backup host its turns go to the submit host.
  server_.ClearRequests();
  live->SetSubmitBackupHost("");
  server_.FailNext(100, CourseServer::Failure::kServerError);
  EXPECT_FALSE(live->Save(""));
  EXPECT_EQ(server_.form_hosts(), std::vector<std::string>(5, "submit"));

  // Without any host nothing is sent, and the user is told so at the end.
  std::filesystem::remove(prefix_.path() / "prompts.log");
  server_.ClearRequests();
  live->SetSubmitHost("");
  EXPECT_FALSE(live->Save(""));
  EXPECT_EQ(server_.request_count(), 0u);
  EXPECT_EQ(Prompts(), (std::vector<std::string>{kRetry, kRetry, kRetry, kRetry, kGaveUp}));
}

TEST_F(VelloraLiveExTest, ScriptReadsAndWritesThroughDomObjects) {
  const automation::Ref<automation::Object> live = CreateRecordObject("VelloraLiveEx");
  auto in = automation::MakeRef<DomDocumentObject>();
  ASSERT_TRUE(in->LoadXml(StandardDocument()));
  EXPECT_TRUE(CallByName(*live, "LoadFromXMLNode", DISPATCH_METHOD,
                         {in->DocumentElement(), Variant("http://x/doc")})
                  .bool_value());
  EXPECT_EQ(CallByName(*live, "ExamID", DISPATCH_PROPERTYGET).string(), "LX7");
  // Filled without Load, the object has chosen no key.
  EXPECT_EQ(dynamic_cast<VelloraLiveEx&>(*live).access_key(), "");

  auto out = automation::MakeRef<DomDocumentObject>();
  ASSERT_TRUE(out->LoadXml("<VUDUD_INPUTS/>"));
  EXPECT_TRUE(
      CallByName(*live, "SaveToXMLNode", DISPATCH_METHOD, {out->DocumentElement()}).bool_value());
  XmlDocument expected;
  ASSERT_TRUE(expected.LoadXml(StandardDocument()).ok());
  EXPECT_EQ(out->document().Xml(), expected.Xml());

  try {
    CallByName(*live, "LoadFromXMLNode", DISPATCH_METHOD, {Variant::Nothing(), Variant("")});
    ADD_FAILURE() << "Nothing is no node";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number, automation::HResultFromRuntimeError(automation::kObjectNotSet));
  }
}

}  // namespace
}  // namespace norwin::datalayer
