// A roster behind the record pages of a real HTTP server on 127.0.0.1: the
// exact requests of loading, filtering, saving, adding, replacing and
// deleting, and what the roster does with the server's answers.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "norwin/automation/error.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/students.h"
#include "norwin/platform/prompts.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::MakeRef;
using automation::Ref;
using norwin::testing::RecordServer;

constexpr char kRoster[] =
    "<?xml version=\"1.0\"?>\n<students autoStudentID=\"2\">"
    "<student><id>SID00001</id><name><first>Ann</first><last>Lee</last></name>"
    "<username>alee</username><password>5ebe2294ecd0e0f08eab7690d2a6ee69</password></student>"
    "<student><id>SID00002</id><name><first>Bob</first><last>Adams</last></name>"
    "<username>badams</username></student></students>";

Ref<Student> NewEntry(std::string user, std::string id = "") {
  Ref<Student> student = NewStudent();
  student->SetField(StudentField::kUserName, std::move(user));
  student->SetField(StudentField::kLastName, "New");
  if (!id.empty()) student->SetField(StudentField::kStudentId, std::move(id));
  return student;
}

class ServerRosterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreValidationString("");
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        platform::ScriptedPromptFiles{"", (dir_.path() / "prompts.log").string()}));
  }
  void TearDown() override {
    platform::SetPromptsForTesting(nullptr);
    StoreValidationString("");
  }
  std::vector<std::string> Prompts() const {
    std::ifstream in(dir_.path() / "prompts.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const auto& request : server_.requests()) targets.push_back(request.target);
    return targets;
  }
  std::string Location() const { return server_.location("roster.xml"); }

  norwin::testing::TempDir dir_;
  RecordServer server_;
  Ref<Students> roster_ = MakeRef<Students>();
};

TEST_F(ServerRosterTest, LoadFilterAndSaveSendTheirRequests) {
  server_.PutRecord("roster.xml", kRoster);
  ASSERT_TRUE(roster_->Load(Location(), nullptr));
  EXPECT_EQ(roster_->Roster().size(), 2u);
  EXPECT_TRUE(roster_->Authenticate("alee", "secret"));
  EXPECT_EQ(server_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml");

  ASSERT_TRUE(roster_->LoadWithFilter(Location(), nullptr, "3", "", "SID00001"));
  EXPECT_EQ(server_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml"
            "&CourseID=3&StudentID=SID00001");
  // (A record server applies the filter; the copy below is of the whole roster.)
  ASSERT_TRUE(roster_->Load(Location(), nullptr));

  StoreValidationString("LoginKey=k&LoginValue=v");
  ASSERT_TRUE(roster_->Save(server_.app_url() + "?sid=7/copy.xml", nullptr));
  EXPECT_EQ(server_.last_request().target,
            "/app/SavePellamObject.asp?ObjName=Students&FileName=copy.xml&sid=7"
            "&LoginKey=k&LoginValue=v");
  Ref<Students> copy = MakeRef<Students>();
  StoreValidationString("");
  ASSERT_TRUE(copy->Load(server_.location("copy.xml"), nullptr));
  EXPECT_EQ(copy->Roster().size(), 2u);
  EXPECT_EQ(copy->AutoStudentId(), 2);

  // The server's complaint is no roster: empty, false.
  EXPECT_FALSE(roster_->Load(server_.location("missing.xml"), nullptr));
  EXPECT_EQ(roster_->Roster().size(), 0u);
  EXPECT_TRUE(Prompts().empty());
}

TEST_F(ServerRosterTest, AddStudentReloadsAndSavesInTheLockedShape) {
  server_.PutRecord("roster.xml", kRoster);
  Ref<Student> added = NewEntry("cnew");
  ASSERT_TRUE(roster_->AddStudent(Location(), added.get(), nullptr));
  EXPECT_EQ(added->StudentID(), "SID00003");
  EXPECT_EQ(Targets(), (std::vector<std::string>{
                           "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml&",
                           "/app/SavePellamObject.asp?ObjName=Students&FileName=roster.xml&"}));
  Ref<Students> stored = MakeRef<Students>();
  ASSERT_TRUE(stored->Load(Location(), nullptr));
  EXPECT_EQ(stored->Roster().size(), 3u);
  EXPECT_EQ(stored->AutoStudentId(), 3);

  // A duplicate still sends the save that ends the server's lock, then raises.
  server_.ClearRequests();
  const std::string before = *server_.GetRecord("roster.xml");
  try {
    roster_->AddStudent(Location(), NewEntry("alee").get(), nullptr);
    ADD_FAILURE() << "no error raised";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, automation::MakeHResult(0x8004027B));
    EXPECT_EQ(e.description, "Duplicate Username - alee");
  }
  EXPECT_EQ(Targets(), (std::vector<std::string>{
                           "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml&",
                           "/app/SavePellamObject.asp?ObjName=Students&FileName=roster.xml&"}));
  Ref<Students> unchanged = MakeRef<Students>();
  ASSERT_TRUE(unchanged->Load(Location(), nullptr));
  EXPECT_EQ(unchanged->Roster().size(), 3u);
}

TEST_F(ServerRosterTest, AnAnswerThatIsNoRosterEndsAddAndReplaceWithoutSaving) {
  struct Answer {
    int status;
    std::string body;
  };
  const Answer answers[] = {
      {500, kRoster},  // an error status, whatever the text
      {404, ""},       // an empty answer counts only with a 2xx status
      {200, "<html><body>Database busy</body></html>"},  // well-formed, no roster
      {200, "Not logged in"},
  };
  server_.PutRecord("roster.xml", kRoster);
  for (const Answer& answer : answers) {
    SCOPED_TRACE(answer.body);
    server_.loopback().Reply("POST", "/app/LoadPellamObject.asp", answer.body, answer.status);
    server_.ClearRequests();
    EXPECT_FALSE(roster_->AddStudent(Location(), NewEntry("cnew").get(), nullptr));
    EXPECT_FALSE(roster_->ReplaceStudent(Location(), NewEntry("bob", "SID00002").get(), nullptr));
    EXPECT_EQ(server_.request_count(), 2u) << "nothing was saved";
    EXPECT_FALSE(roster_->Load(Location(), nullptr));
    EXPECT_EQ(roster_->Roster().size(), 0u);
    EXPECT_EQ(server_.GetRecord("roster.xml"), kRoster);
  }
}

TEST_F(ServerRosterTest, AServerWithoutARosterGetsOne) {
  // The load page answers nothing until a roster has been saved.
  server_.loopback().Post(
      "/app/LoadPellamObject.asp", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(server_.GetRecord("new.xml").value_or(""), "application/octet-stream");
      });
  Ref<Student> first = NewEntry("first");
  ASSERT_TRUE(roster_->AddStudent(server_.location("new.xml"), first.get(), nullptr));
  EXPECT_EQ(first->StudentID(), "SID00001");
  EXPECT_EQ(Targets(), (std::vector<std::string>{
                           "/app/LoadPellamObject.asp?ObjName=Students&FileName=new.xml&",
                           "/app/SavePellamObject.asp?ObjName=Students&FileName=new.xml",
                           "/app/LoadPellamObject.asp?ObjName=Students&FileName=new.xml&",
                           "/app/SavePellamObject.asp?ObjName=Students&FileName=new.xml&"}));
  const std::string stored = server_.GetRecord("new.xml").value_or("");
  EXPECT_NE(stored.find("<username>first</username>"), std::string::npos) << stored;
}

TEST_F(ServerRosterTest, ReplaceAndDeleteOnTheServer) {
  server_.PutRecord("roster.xml", kRoster);
  ASSERT_TRUE(roster_->ReplaceStudent(Location(), NewEntry("bob", "SID00002").get(), nullptr));
  EXPECT_EQ(Targets(), (std::vector<std::string>{
                           "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml",
                           "/app/SavePellamObject.asp?ObjName=Students&FileName=roster.xml"}));
  EXPECT_NE(server_.GetRecord("roster.xml")->find("<username>bob</username>"), std::string::npos);

  // The server deletes the student; the page's roster follows.
  server_.loopback().Reply("POST", "/app/DeletePellamObject.asp", "");
  ASSERT_TRUE(roster_->DeleteStudent(Location(), NewEntry("bob", "SID00002").get(), nullptr));
  EXPECT_EQ(server_.last_request().target,
            "/app/DeletePellamObject.asp?ObjName=Student&FileName=roster.xml&StudentID=SID00002");
  EXPECT_FALSE(roster_->Exists("SID00002"));
  EXPECT_EQ(roster_->MatchUserName("bob"), nullptr);
  EXPECT_TRUE(roster_->Exists("SID00001"));

  // A refusal is shown, and the roster keeps the student.
  server_.loopback().Reply("POST", "/app/DeletePellamObject.asp", "Student is enrolled");
  EXPECT_FALSE(roster_->DeleteStudent(Location(), NewEntry("alee", "SID00001").get(), nullptr));
  EXPECT_TRUE(roster_->Exists("SID00001"));
  ASSERT_EQ(Prompts().size(), 1u);
  EXPECT_EQ(Prompts()[0], "NorwinPellam2003\tStudent is enrolled\t0x0\tOK");

  // An error status without a text is no deletion either.
  server_.loopback().Reply("POST", "/app/DeletePellamObject.asp", "", 500);
  EXPECT_FALSE(roster_->DeleteStudent(Location(), NewEntry("alee", "SID00001").get(), nullptr));
  EXPECT_TRUE(roster_->Exists("SID00001"));

  // An ID reaches the page whole; a student without one is never asked for.
  server_.loopback().Reply("POST", "/app/DeletePellamObject.asp", "");
  ASSERT_TRUE(roster_->DeleteStudent(Location(), NewEntry("x", "SID#2&a").get(), nullptr));
  EXPECT_EQ(
      server_.last_request().target,
      "/app/DeletePellamObject.asp?ObjName=Student&FileName=roster.xml&StudentID=SID%232%26a");
  server_.ClearRequests();
  EXPECT_FALSE(roster_->DeleteStudent(Location(), NewEntry("alee").get(), nullptr));
  EXPECT_EQ(server_.request_count(), 0u);
}

TEST_F(ServerRosterTest, ASaveTheServerRefusesIsNoSave) {
  server_.PutRecord("roster.xml", kRoster);
  ASSERT_TRUE(roster_->Load(Location(), nullptr));
  server_.loopback().Reply("POST", "/app/SavePellamObject.asp", "", 500);
  EXPECT_FALSE(roster_->Save(Location(), nullptr));
  // A 2xx answer with a text is shown and still counts, as pages expect.
  server_.loopback().Reply("POST", "/app/SavePellamObject.asp", "Saved with warnings");
  EXPECT_TRUE(roster_->Save(Location(), nullptr));
  EXPECT_EQ(Prompts(), std::vector<std::string>{"NorwinPellam2003\tSaved with warnings\t0x0\tOK"});
}

TEST_F(ServerRosterTest, StudentsAddedByManyDesktopsAtOnceNeverLeaveATornRoster) {
  server_.PutRecord("roster.xml", kRoster);
  // Each desktop adds students and reads the roster as a teacher's page
  // does. Adds at the same moment may replace each other (the protocol has
  // no lock); what must never happen is a roster that does not read.
  constexpr int kDesktops = 8, kAdds = 4;
  std::atomic<int> unreadable{0}, failed{0};
  std::vector<std::thread> desktops;
  for (int d = 0; d < kDesktops; ++d) {
    desktops.emplace_back([&, d] {
      for (int i = 0; i < kAdds; ++i) {
        Ref<Students> roster = MakeRef<Students>();
        const Ref<Student> student = NewEntry("u" + std::to_string(d) + "x" + std::to_string(i));
        try {
          if (!roster->AddStudent(Location(), student.get(), nullptr)) ++failed;
        } catch (const AutomationError&) {
          ++failed;
        }
        if (!MakeRef<Students>()->Load(Location(), nullptr)) ++unreadable;
      }
    });
  }
  for (std::thread& desktop : desktops) desktop.join();
  EXPECT_EQ(unreadable.load(), 0);
  EXPECT_EQ(failed.load(), 0);
  ASSERT_TRUE(roster_->Load(Location(), nullptr));
  // The two students it began with are kept, and at least the last add.
  EXPECT_GE(roster_->Roster().size(), 3u);
  EXPECT_TRUE(roster_->Exists("SID00001"));
  EXPECT_TRUE(roster_->Exists("SID00002"));
}

}  // namespace
}  // namespace norwin::datalayer
