// The norwin-server program as an administrator runs it: its commands, its
// access rules (tokens, login, networks, size limits), its course files and
// its grade inbox, over HTTP on 127.0.0.1.
#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <string>
#include <vector>

#include "norwin/server/access.h"
#include "support/norwin_server_process.h"
#include "support/postgres_database.h"
#include "support/run_program.h"
#include "support/temp_prefix.h"

namespace norwin::server {
namespace {

using testing::NorwinServerProcess;
using testing::ProgramRun;
using testing::RunProgram;

constexpr char kProgram[] = NORWIN_SERVER_PROGRAM;

struct Answer {
  int status = 0;
  std::string body;
};

Answer Post(const NorwinServerProcess& server, const std::string& target,
            const std::string& body = {}) {
  httplib::Client client("127.0.0.1", server.port());
  client.set_url_encode(false);
  httplib::Result result = client.Post(target.c_str(), body, "application/x-www-form-urlencoded");
  return result ? Answer{result->status, result->body} : Answer{-1, {}};
}

Answer Get(const NorwinServerProcess& server, const std::string& target) {
  httplib::Client client("127.0.0.1", server.port());
  httplib::Result result = client.Get(target.c_str());
  return result ? Answer{result->status, result->body} : Answer{-1, {}};
}

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  return trimmed.substr(trimmed.rfind('\n') + 1);
}

class NorwinServerTest : public ::testing::Test {
 protected:
  // The program's arguments for this test's store: the data folder, and
  // the PostgreSQL database when the tests run on one.
  std::vector<std::string> StoreArgs(std::vector<std::string> args = {}) {
    args.insert(args.end(), {"--data", data_.string()});
    if (database_) args.insert(args.end(), {"--database", database_->conninfo()});
    return args;
  }
  ProgramRun Run(std::vector<std::string> args) { return RunProgram(kProgram, StoreArgs(args)); }
  // A running server on this test's store; `extra` are more options.
  std::unique_ptr<NorwinServerProcess> Start(std::vector<std::string> extra = {}) {
    if (database_) extra.insert(extra.end(), {"--database", database_->conninfo()});
    return std::make_unique<NorwinServerProcess>(kProgram, data_, extra);
  }

  testing::TempDir dir_;
  std::filesystem::path data_ = dir_.path() / "data";
  std::unique_ptr<testing::PostgresDatabase> database_ =
      testing::PostgresDatabase::FromEnvironment();
};

TEST_F(NorwinServerTest, HelpVersionAndInit) {
  const ProgramRun help = RunProgram(kProgram, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--listen ADDR:PORT"), std::string::npos);
  const ProgramRun version = RunProgram(kProgram, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("norwin-server (Lumo) ")) << version.out;
  std::vector<std::string> init_args = StoreArgs();
  init_args[0] = "--init";  // in place of --data
  const ProgramRun init = RunProgram(kProgram, init_args);
  EXPECT_EQ(init.status, 0) << init.err;
  EXPECT_TRUE(std::filesystem::exists(data_ / "courses"));
  EXPECT_EQ(std::filesystem::exists(data_ / "records.db"), database_ == nullptr);
  const ProgramRun wrong = RunProgram(kProgram, {"--frobnicate"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("unknown option --frobnicate"), std::string::npos);
}

TEST_F(NorwinServerTest, TokensStandForNamespacesAndAreRequiredOnceThereIsOne) {
  {
    auto server = Start();
    EXPECT_EQ(
        Post(*server, "/app/SavePellamObject.asp?ObjName=Students&FileName=r.xml", "<students/>")
            .status,
        200);
  }
  const ProgramRun added = Run({"token", "add", "north"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string north = LastLine(added.out);
  ASSERT_EQ(north.size(), 32u) << added.out;
  const std::string south = LastLine(Run({"token", "add", "south"}).out);

  auto started = Start();
  NorwinServerProcess& server = *started;
  const std::string save = "/app/SavePellamObject.asp?ObjName=Students&FileName=r.xml";
  const std::string load = "/app/LoadPellamObject.asp?ObjName=Students&FileName=r.xml";
  // Without a token, or with a wrong one, nothing is served.
  for (const std::string& target : {load, "/" + std::string(32, 'a') + load}) {
    const Answer refused = Post(server, target);
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.body, "Access token missing or not valid\n");
  }
  ASSERT_EQ(Post(server, "/" + north + save, "<students n=\"north\"/>").status, 200);
  EXPECT_EQ(Post(server, "/" + north + load).body, "<students n=\"north\"/>");
  EXPECT_EQ(Post(server, "/" + south + load).body, "");  // a namespace of its own

  // A revoked token is refused; its replacement reaches the same records.
  ASSERT_EQ(Run({"token", "revoke", north}).status, 0);
  EXPECT_EQ(Post(server, "/" + north + load).status, 403);
  const std::string again = LastLine(Run({"token", "add", "north"}).out);
  EXPECT_EQ(Post(server, "/" + again + load).body, "<students n=\"north\"/>");
  const ProgramRun list = Run({"token", "list"});
  EXPECT_NE(list.out.find(north), std::string::npos);
  EXPECT_NE(list.out.find("revoked"), std::string::npos);
  EXPECT_NE(Run({"token", "revoke", north}).status, 0);

  // Versions and restore name the record by its location, token and all.
  ASSERT_EQ(Post(server, "/" + again + save, "<students n=\"second\"/>").status, 200);
  const ProgramRun restored =
      Run({"restore", "http://school/" + again + "/app/?sid=7/r.xml", "--version", "1"});
  EXPECT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(Post(server, "/" + again + load).body, "<students n=\"north\"/>");
  EXPECT_NE(Run({"restore", "/app/r.xml", "--space", "north", "--version", "9"}).status, 0);
}

TEST_F(NorwinServerTest, RequiredLoginTakesAValidatedSingleUseKey) {
  auto started = Start({"--require-login"});
  NorwinServerProcess& server = *started;
  const std::string load = "/app/LoadPellamObject.asp?ObjName=Students&FileName=r.xml";
  const Answer refused = Post(server, load + "&");
  EXPECT_EQ(refused.status, 403);
  EXPECT_EQ(refused.body, "Not logged in\n");

  const std::string key = Post(server, "/app/LoginKey.asp").body;
  ASSERT_EQ(key.size(), 32u);
  EXPECT_NE(Post(server, "/app/LoginKey.asp").body, key);
  EXPECT_EQ(Post(server, "/app/Login.asp?LoginKey=" + key + "&LoginValue=" + Md5Hex("x")).body,
            "Login refused");
  const std::string validation = "LoginKey=" + key + "&LoginValue=" + Md5Hex(key);
  EXPECT_EQ(Post(server, "/app/Login.asp?" + validation).body, "Validated");
  EXPECT_EQ(Post(server, "/app/Login.asp?" + validation).body, "Login refused");
  EXPECT_EQ(Post(server, load + "&" + validation).status, 200);  // let in; no record yet
  EXPECT_EQ(Post(server, load + "&LoginKey=" + key + "&LoginValue=" + Md5Hex("y")).status, 403);
}

TEST_F(NorwinServerTest, RefusesOtherNetworksAndOversizedRequests) {
  {
    auto server = Start({"--allow", "10.0.0.0/8"});
    const Answer refused = Post(*server, "/app/LoginKey.asp");
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.body, "Address 127.0.0.1 is not allowed\n");
  }
  auto started = Start({"--allow", "127.0.0.0/8", "--max-document", "64"});
  NorwinServerProcess& server = *started;
  const std::string save = "/app/SavePellamObject.asp?ObjName=Students&FileName=r.xml";
  EXPECT_EQ(Post(server, save, "<students/>").status, 200);
  const Answer large = Post(server, save, "<students>" + std::string(100, ' ') + "</students>");
  EXPECT_EQ(large.status, 413);
  EXPECT_EQ(large.body.find('\n'), large.body.size() - 1);  // one line
  const Answer huge = Post(server, save, std::string(8 << 20, 'x'));
  EXPECT_EQ(huge.status, 413);
  // One log line a request: method, page, kind, status, time.
  std::ifstream log(data_ / "server.log");
  std::string line, last;
  while (std::getline(log, line)) last = line;
  EXPECT_TRUE(last.starts_with("POST SavePellamObject.asp Students 413 ")) << last;
}

TEST_F(NorwinServerTest, ServesCourseFilesAndTheirSettings) {
  const std::filesystem::path course = dir_.path() / "courses" / "algebra";
  std::filesystem::create_directories(course / "Pages");
  std::ofstream(course / "Pages" / "Start.htm") << "<p>start</p>";
  std::ofstream(course / "settings.cfg")
      << "[general]\r\nrun=\\algebra\\pages\\start.htm\r\ntitle=\"Algebra 1\"\r\ncx=640\r\n";
  // A course folder as its disc has it: the start page from the disc's root.
  const std::filesystem::path disc = dir_.path() / "courses" / "water";
  std::filesystem::create_directories(disc);
  std::ofstream(disc / "start.htm") << "<p>water</p>";
  std::ofstream(disc / "settings.cfg") << "[general]\nrun=\\start.htm\ntitle=Water\n";
  auto started = Start({"--courses", (dir_.path() / "courses").string()});
  NorwinServerProcess& server = *started;
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  struct Case {
    std::string path;
    int status;
    std::string body;
  } cases[] = {
      {"/algebra/settings", 200,
       "cx=640\nrun=" + base + "/algebra/pages/start.htm\ntitle=Algebra 1\n"},
      {"/water/settings", 200, "run=" + base + "/water/start.htm\ntitle=Water\n"},
      {"/algebra/pages/start.htm", 200, "<p>start</p>"},  // any case, as discs were made
      {"/algebra/pages/none.htm", 404, "No page /algebra/pages/none.htm\n"},
      {"/algebra/../data/records.db", 400, "Invalid path /algebra/../data/records.db\n"},
  };
  for (const Case& c : cases) {
    const Answer answer = Get(server, c.path);
    EXPECT_EQ(answer.status, c.status) << c.path;
    EXPECT_EQ(answer.body, c.body) << c.path;
  }
}

}  // namespace
}  // namespace norwin::server
