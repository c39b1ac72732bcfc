// The server login against a real record server: the two login pages, the
// validation string on later record requests, its life per thread, and the
// answers that make a login fail.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "norwin/automation/dispatch.h"
#include "norwin/datalayer/password_digest.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/server_request.h"
#include "support/record_server.h"

namespace norwin::datalayer {
namespace {

using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::MakeRef;
using automation::Variant;
using testing::RecordServer;

const RecordKind kStudents{"Students", RequestShape::kB};

class SecurityTest : public ::testing::Test {
 protected:
  void SetUp() override { StoreValidationString(""); }
  void TearDown() override {
    SetServerTimeLimitsForTesting(ServerTimeLimits{});
    StoreValidationString("");
  }

  bool Login(const std::string& path) {
    return CallByName(*security_, "Login", DISPATCH_METHOD, {Variant(path)}).bool_value();
  }
  std::string Validation() {
    return CallByName(*security_, "ValidationString", DISPATCH_METHOD).string();
  }

  automation::Ref<Security> security_ = MakeRef<Security>();
  RecordServer server_;
};

TEST_F(SecurityTest, LoginFetchesAKeyProvesItAndSignsLaterRequests) {
  server_.RequireLogin(RecordServer::Login::kRequired);
  server_.PutRecord("roster.xml", "<students/>");
  XmlDocument doc;
  EXPECT_FALSE(LoadRecord(doc, server_.location("roster.xml"), kStudents));

  server_.ClearRequests();
  // The fixture issues the key it is told to; norwin-server a random one,
  // which the login keeps in its validation string.
  const bool real = server_.UsesNorwinServer();
  if (!real) server_.SetNextLoginKey("Key 7/é");
  ASSERT_TRUE(Login(server_.location("?sid=7/roster.xml")));
  const std::string key =
      real ? Validation().substr(9, Validation().find('&') - 9) : std::string("Key 7/é");
  const std::string sent_key = real ? key : "Key%207/%C3%A9";
  const std::string digest = EncryptPassword(key);
  const std::string expected = "LoginKey=" + key + "&LoginValue=" + digest;
  EXPECT_EQ(Validation(), expected);
  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/app/LoginKey.asp");
  EXPECT_EQ(requests[0].body, "");
  EXPECT_EQ(requests[1].method, "POST");
  // Sent as written; the HTTP layer encodes only what a URL cannot hold.
  EXPECT_EQ(requests[1].target, "/app/Login.asp?LoginKey=" + sent_key + "&LoginValue=" + digest);

  ASSERT_TRUE(LoadRecord(doc, server_.location("roster.xml"), kStudents));
  EXPECT_EQ(server_.last_request().target,
            "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml"
            "&LoginKey=" +
                sent_key + "&LoginValue=" + digest);

  // Another thread has not logged in: its requests carry nothing.
  bool loaded_elsewhere = true;
  std::string elsewhere;
  std::thread other([&] {
    elsewhere = MakeRef<Security>()->ValidationString();
    XmlDocument other_doc;
    loaded_elsewhere = LoadRecord(other_doc, server_.location("roster.xml"), kStudents);
  });
  other.join();
  EXPECT_EQ(elsewhere, "");
  EXPECT_FALSE(loaded_elsewhere);
  EXPECT_EQ(Validation(), expected);

  // A string set by hand replaces the login's.
  CallByName(*security_, "SetValidationString", DISPATCH_METHOD, {Variant("LoginKey=x")});
  EXPECT_EQ(CurrentValidationString(), "LoginKey=x");
  EXPECT_FALSE(LoadRecord(doc, server_.location("roster.xml"), kStudents));
}

TEST_F(SecurityTest, LocalPathsNeedNoLogin) {
  EXPECT_TRUE(Login("c:\\records\\roster.xml"));
  EXPECT_TRUE(Login("HTTP://127.0.0.1:1/app/roster.xml"));
  EXPECT_EQ(server_.request_count(), 0u);
  EXPECT_EQ(Validation(), "");
}

TEST_F(SecurityTest, OnlyAnExactValidatedAnswerCounts) {
  server_.SetNextLoginKey("abc");
  server_.loopback().Reply("POST", "/app/Login.asp", "Validated\r\n");
  EXPECT_FALSE(Login(server_.location("x.xml")));
  // The string is kept all the same.
  EXPECT_EQ(Validation(), "LoginKey=abc&LoginValue=900150983cd24fb0d6963f7d28e17f72");

  server_.loopback().Reply("POST", "/app/Login.asp", "Validated", 500);
  EXPECT_FALSE(Login(server_.location("x.xml")));
  server_.loopback().Reply("POST", "/app/Login.asp", "validated");
  EXPECT_FALSE(Login(server_.location("x.xml")));
}

TEST_F(SecurityTest, KeyPageFailuresEndTheLoginBeforeTheSecondStep) {
  server_.loopback().Reply("POST", "/app/LoginKey.asp", "Server busy", 503);
  EXPECT_FALSE(Login(server_.location("x.xml")));
  EXPECT_EQ(server_.request_count(), 1u);
  EXPECT_EQ(Validation(), "");

  SetServerTimeLimitsForTesting(
      ServerTimeLimits{std::chrono::milliseconds(500), std::chrono::milliseconds(300)});
  server_.AnswerNothing(std::chrono::seconds(20));
  EXPECT_FALSE(Login(server_.location("x.xml")));
  EXPECT_FALSE(Login("http://127.0.0.1:1/app/x.xml"));
  EXPECT_EQ(Validation(), "");
}

TEST_F(SecurityTest, ValidateLoginKeyComparesTheDigestExactly) {
  auto validate = [&](const std::string& key, const std::string& value) {
    return CallByName(*security_, "ValidateLoginKey", DISPATCH_METHOD,
                      {Variant(key), Variant(value)})
        .bool_value();
  };
  EXPECT_TRUE(validate("abc", EncryptPassword("abc")));
  EXPECT_FALSE(validate("abc", "900150983CD24FB0D6963F7D28E17F72"));
  EXPECT_FALSE(validate("abd", EncryptPassword("abc")));
  EXPECT_FALSE(validate("", EncryptPassword("")));
  EXPECT_FALSE(validate("abc", ""));
}

}  // namespace
}  // namespace norwin::datalayer
