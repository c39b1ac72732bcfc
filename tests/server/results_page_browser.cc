// The grade inbox of norwin-server in a real browser engine: result forms
// posted as the record library posts them are kept through a crash of the
// server, and the teacher's page, driven through WebKitWebDriver (the W3C
// WebDriver protocol over HTTP, WebKitGTK's MiniBrowser under the display of
// the test run), lists them by course, assignment and student with a CSV
// export that holds the same.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/norwin_server_process.h"
#include "support/temp_prefix.h"

namespace norwin {
namespace {

constexpr char kDriver[] = "/usr/bin/WebKitWebDriver";
constexpr char kBrowser[] = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// The string value of `"key":"..."` in a JSON answer (no escapes expected
// in what the tests read); "" when absent.
std::string JsonString(const std::string& json, const std::string& key) {
  const std::string head = "\"" + key + "\":\"";
  const size_t begin = json.find(head);
  if (begin == std::string::npos) return {};
  const size_t start = begin + head.size();
  return json.substr(start, json.find('"', start) - start);
}

// A WebDriver session of WebKitWebDriver with MiniBrowser, ended with the
// object.
class BrowserSession {
 public:
  BrowserSession() : port_(FreePort()) {
    pid_ = fork();
    if (pid_ == 0) {
      const std::string port = "--port=" + std::to_string(port_);
      execl(kDriver, kDriver, port.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const std::string capabilities =
        std::string(R"({"capabilities":{"alwaysMatch":{"webkitgtk:browserOptions":{"binary":")") +
        kBrowser + R"(","args":["--automation"]}}}})";
    for (int i = 0; i < 100 && session_.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      session_ = JsonString(Send("POST", "/session", capabilities), "sessionId");
    }
  }
  ~BrowserSession() {
    if (!session_.empty()) Send("DELETE", "/session/" + session_, "");
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }

  bool started() const { return !session_.empty(); }
  void Go(const std::string& url) { Command("POST", "/url", R"({"url":")" + url + "\"}"); }
  // The ids of the elements `css` selects, in document order.
  std::vector<std::string> Find(const std::string& css) {
    std::string json =
        Command("POST", "/elements", R"({"using":"css selector","value":")" + css + "\"}");
    std::vector<std::string> ids;
    const std::string key = "element-6066-11e4-a52e-4f735466cecf";
    for (std::string id = JsonString(json, key); !id.empty(); id = JsonString(json, key)) {
      ids.push_back(id);
      json.erase(0, json.find(id) + id.size());
    }
    return ids;
  }
  std::string Text(const std::string& element) {
    return JsonString(Command("GET", "/element/" + element + "/text", ""), "value");
  }
  std::vector<std::string> Texts(const std::string& css) {
    std::vector<std::string> texts;
    for (const std::string& id : Find(css)) texts.push_back(Text(id));
    return texts;
  }
  std::string Property(const std::string& element, const std::string& name) {
    return JsonString(Command("GET", "/element/" + element + "/property/" + name, ""), "value");
  }

 private:
  std::string Command(const std::string& method, const std::string& path, const std::string& body) {
    return Send(method, "/session/" + session_ + path, body);
  }
  std::string Send(const std::string& method, const std::string& path, const std::string& body) {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(60);
    httplib::Result result = method == "GET" ? client.Get(path.c_str())
                             : method == "DELETE"
                                 ? client.Delete(path.c_str())
                                 : client.Post(path.c_str(), body, "application/json");
    return result ? result->body : std::string();
  }

  int port_;
  pid_t pid_ = -1;
  std::string session_;
};

TEST(ResultsPageTest, ListsPostedResultsByCourseAssignmentAndStudentWithCsv) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (scripts/test provides one)";
  testing::TempDir dir;
  const std::filesystem::path data = dir.path() / "data";
  auto post = [](const testing::NorwinServerProcess& server, const std::string& target,
                 const std::string& form) {
    httplib::Client client("127.0.0.1", server.port());
    httplib::Result result = client.Post(target.c_str(), form, "application/x-www-form-urlencoded");
    return result ? result->body : std::string("no answer");
  };
  {
    testing::NorwinServerProcess server(NORWIN_SERVER_PROGRAM, data);
    // An exam's form (the course from the submit address), a live
    // exercise's (it names its course) and a lesson's, as the library
    // builds them.
    EXPECT_EQ(post(server, "/submit?course=algebra",
                   "&student_id=s2&exam_id=u1&assignment_id=Unit 1 test&ttTaskTime=30&key=k"
                   "&question_id0=Q1&document_score0=1&attempts0=1&remediation0="
                   "&question_id1=Q2&document_score1=0&attempts1=2&remediation1=x%26y"),
              "success");
    EXPECT_EQ(post(server, "/submit",
                   "&student_id=s1&exercise_id=ex4&assignment_id=Drill&course_id=algebra"
                   "&testDate=December 8, 2026&testTime=01:02:03PM&result=87.5&key=k"),
              "success");
    EXPECT_EQ(post(server, "/submit?course=algebra",
                   "&student_id=s1&exam_id=u1&assignment_id=Unit 1 test&ttTaskTime=9&key=k"
                   "&question_id0=Q1&document_score0=1&attempts0=1&remediation0="),
              "success");
    EXPECT_EQ(post(server, "/submit?course=biology",
                   "studentName=AnnLee&student_id=s3&lesson_id=cells&assignment_id="
                   "&moduleName=Cells&key=k&task_id0=t1&completed0=Y&task_id1=t2&completed1=N"),
              "success");
    // "success" means kept: a server killed right after it loses nothing.
    server.Kill();
  }
  testing::NorwinServerProcess server(NORWIN_SERVER_PROGRAM, data);

  BrowserSession browser;
  ASSERT_TRUE(browser.started()) << "WebKitWebDriver did not start a session";
  browser.Go(server.url("/results"));
  EXPECT_EQ(browser.Texts("h2"), (std::vector<std::string>{"Course algebra, assignment Drill",
                                                           "Course algebra, assignment Unit 1 test",
                                                           "Course biology, assignment cells"}));
  EXPECT_EQ(browser.Texts(".student"), (std::vector<std::string>{"s1", "s1", "s2", "s3"}));
  EXPECT_EQ(browser.Texts(".score"), (std::vector<std::string>{"87.5", "100", "50", "50"}));

  const std::vector<std::string> links = browser.Find("#csv");
  ASSERT_EQ(links.size(), 1u);
  const std::string href = browser.Property(links[0], "href");
  ASSERT_EQ(href, server.url("/results.csv"));
  httplib::Client client("127.0.0.1", server.port());
  httplib::Result csv = client.Get("/results.csv");
  ASSERT_TRUE(csv);
  const std::string lines = csv->body.substr(csv->body.find("\r\n") + 2);
  EXPECT_EQ(csv->body.substr(0, csv->body.find("\r\n")),
            "course,assignment,student,score,received");
  EXPECT_TRUE(lines.starts_with("algebra,Drill,s1,87.5,")) << lines;
  EXPECT_NE(lines.find("algebra,Unit 1 test,s2,50,"), std::string::npos);
  EXPECT_NE(lines.find("biology,cells,s3,50,"), std::string::npos);
}

}  // namespace
}  // namespace norwin
