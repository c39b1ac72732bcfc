// The real lumo on a test course: its window, page script reaching
// window.external and record objects, an untrusted page, pop-ups and
// closing. Each case runs lumo under the display of the test run with
// scripted prompts; page script reports through the progress file (trusted
// pages) or a loopback server (untrusted ones), which the test reads back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "norwin/platform/registry.h"
#include "support/temp_prefix.h"

namespace norwin {
namespace {

using platform::Registry;
using platform::RegValue;
using testing::TempDir;

constexpr int kProcessTimeoutMs = 90000;
constexpr char kPrintToPdf[] = "NORWIN_PRINT_TO_PDF";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The value of cookie `name` in a progress file's text (either line end);
// "<none>" when absent.
std::string Cookie(const std::string& progress, const std::string& name) {
  std::istringstream lines(progress);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(name + "=", 0) == 0) return line.substr(name.size() + 1);
  }
  return "<none>";
}

// What `command` prints on standard output ("" when it cannot run).
std::string OutputOf(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

// The captions of the display's windows, as xwininfo lists them.
std::string WindowList() { return OutputOf("xwininfo -root -tree"); }

class LumoWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (scripts/test provides one)";
    std::filesystem::create_directories(prefix_.path() / "drives");
    std::filesystem::create_directory_symlink(course_.path(), prefix_.path() / "drives" / "d");
    WriteFile(course_.path() / "test.cfg",
              "[general]\nrun=\\start.htm\ntitle=Test Course\ncx=420\ncy=300\n");
    WriteFile(answers_, "");
    // The progress file lives in the course folder, named by the key that
    // page script sets.
    auto registry = Registry::Open(prefix_.path() / "registry.db");
    ASSERT_TRUE(registry.ok()) << registry.message();
    ASSERT_TRUE((*registry)
                    ->SetValue("HKEY_CURRENT_USER\\Software\\LumoTest", "Path",
                               RegValue::String("d:\\progress"))
                    .ok());
  }

  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
  }

  std::map<std::string, std::string> Environment() {
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry; ++entry) {
      std::string_view text(*entry);
      const size_t equals = text.find('=');
      if (equals != std::string_view::npos)
        env[std::string(text.substr(0, equals))] = std::string(text.substr(equals + 1));
    }
    env["NORWIN_PREFIX"] = prefix_.path().string();
    env["NORWIN_PROMPTS"] = answers_.string();
    env["NORWIN_PROMPT_LOG"] = log_.string();
    return env;
  }

  // Runs `program` with `args` in the test's environment; returns its pid.
  pid_t Start(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> env_lines;
    for (const auto& [name, value] : Environment()) env_lines.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& line : env_lines) envp.push_back(line.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv_text{program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    return child;
  }

  // Waits for `pid` to end; its exit status, or -1 when it did not end in
  // time (it is then killed) or did not exit normally.
  static int Wait(pid_t pid, int timeout_ms = kProcessTimeoutMs) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
      pollfd waiter{fd, POLLIN, 0};
      const int ready = poll(&waiter, 1, timeout_ms);
      close(fd);
      if (ready <= 0) kill(pid, SIGKILL);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  // Registers the record library in the test's prefix.
  void RegisterRecords() {
    const pid_t pid = Start(NORWIN_REGSVR, {"/s", NORWIN2003_LIBRARY});
    ASSERT_EQ(Wait(pid), 0);
  }

  int RunLumo() {
    child_ = Start(lumo_.string(), {"d:\\test.cfg"});
    const int status = Wait(child_);
    child_ = -1;
    return status;
  }

  std::string Progress() { return ReadFile(course_.path() / "progress" / "tck.txt"); }

  const std::filesystem::path lumo_ = std::filesystem::path(NORWIN_BINARY_DIR) / "bin" / "lumo";
  testing::TempPrefix prefix_;
  TempDir course_;
  TempDir work_;
  std::filesystem::path answers_ = work_.path() / "answers.txt";
  std::filesystem::path log_ = work_.path() / "prompts.log";
  pid_t child_ = -1;
};

TEST_F(LumoWindowTest, TrustedPageScriptsTheHostAndItsRecordsAndClosingSaves) {
  RegisterRecords();
  WriteFile(course_.path() / "start.htm", R"(<html><head><title>Chapter One</title></head><body>
<script>
var r = [];
var ext = window.external;
ext.SetKey("Software\\LumoTest");
ext.setCookie("name", "Ann\r\nLee");
r.push("linebreak=" + (ext.GetCookie("name") === "Ann\r\nLee"));
ext.appendChip("done", "l1");
ext.appendChip("done", "l1");
ext.appendChip("done", "l2");
r.push("chips=" + ext.GetCookie("done"));
r.push("missing=[" + ext.GetCookie("nothing") + "]");
try { ext.GetCookie(); r.push("no error"); } catch (e) { r.push("count=" + e.number); }
ext.setCookie(5, "x");
ext.setCookie("extra", "ignored", "last", "two");
r.push("typed=[" + ext.GetCookie("5") + "]" + ext.GetCookie("last"));
try { ext.Run(0, "x", 0, 0, 1, 1); r.push("no error"); } catch (e) { r.push("run=" + e.number); }
r.push("same=" + (window.external === ext));
r.push("type=" + typeof ext);
var table = new ActiveXObject("Scripting.Dictionary");
table.Add("host", ext);
r.push("kept=" + table.Item("host").GetCookie("done"));
var digest = new ActiveXObject("NorwinPellam2003.Encryption");
r.push("md5=" + digest.Encrypt("abc"));
alert("Hello from the page");
ext.setCookie("result", r.join(";"));
ext.saveMsg("Save your progress?");
ext.Stop();
</script></body></html>)");
  const std::filesystem::path copy = work_.path() / "copy.txt";
  WriteFile(answers_, "OK\nYes\n" + copy.string() + "\n");

  ASSERT_EQ(RunLumo(), 0);
  const std::string progress = Progress();
  EXPECT_EQ(
      Cookie(progress, "result"),
      "linebreak=true;chips=l1|~l2|~;missing=[];count=-2147352562;typed=[]two;"
      "run=-2147352573;same=true;type=object;kept=l1|~l2|~;md5=900150983cd24fb0d6963f7d28e17f72");
  // Closing the main window offered the export, which copied the file whole.
  EXPECT_EQ(ReadFile(copy), progress);
  EXPECT_EQ(ReadFile(log_),
            "Lumo\tHello from the page\t0x30\tOK\n"
            "Lumo\tSave your progress?\t0x44\tYes\n"
            "SAVE\tProgress Files (*.txt)\\0*.txt\\0\t" +
                copy.string() + "\n");
}

TEST_F(LumoWindowTest, PopupShowsItsHtmlAndClosesAloneWhileBadCallsDoNothing) {
  WriteFile(course_.path() / "start.htm", R"(<html><body><script>
var ext = window.external;
ext.SetKey("Software\\LumoTest");
ext.Popup2("<html><body><script>window.external.setCookie('popup', location.protocol);" +
           "window.external.Stop();</scr" + "ipt></body></html>", 0, 0, 200, 150);
// Not a 32-bit integer, and too few arguments: no window.
ext.Popup2("<script>window.external.setCookie('wrong', '1')</scr" + "ipt>", 1.5, 0, 200, 150);
ext.Popup("second.htm", 0, 0, 200);
var timer = setInterval(function () {
  if (ext.GetCookie("popup")) {
    clearInterval(timer);
    ext.setCookie("main", "still open");
    ext.Stop();
  }
}, 20);
</script></body></html>)");

  ASSERT_EQ(RunLumo(), 0);
  const std::string progress = Progress();
  EXPECT_EQ(Cookie(progress, "popup"), "file:");
  EXPECT_EQ(Cookie(progress, "main"), "still open");
  EXPECT_EQ(Cookie(progress, "wrong"), "<none>");
  // Without a save prompt, closing asks nothing.
  EXPECT_EQ(ReadFile(log_), "");
}

TEST_F(LumoWindowTest, PagePrintsThroughThePrintDialog) {
  // The page's own print job runs after the call has returned, so the test
  // waits for its file rather than for the program.
  const std::filesystem::path pdf = work_.path() / "page.pdf";
  testing::ScopedEnv print_to(kPrintToPdf, pdf.string());
  WriteFile(course_.path() / "start.htm",
            "<html><head><title>Printed</title></head><body><p>Page to print</p><script>"
            "window.external.Print();</script></body></html>");
  WriteFile(answers_, "OK\n");
  child_ = Start(lumo_.string(), {"d:\\test.cfg"});
  bool printed = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!printed && std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    printed = std::filesystem::file_size(pdf, error) > 0 && !error &&
              ReadFile(pdf).find("%%EOF") != std::string::npos;
    if (!printed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(printed);
  EXPECT_EQ(ReadFile(pdf).rfind("%PDF", 0), 0u);
  EXPECT_EQ(ReadFile(log_), "PRINT\tOK\t1\n");
}

TEST_F(LumoWindowTest, PageSearchesTheCourseIndexAndPrintsItsOwnText) {
  WriteFile(course_.path() / "lesson1" / "intro.htm",
            "<html><head><title>Cells</title></head><body>The nucleus of a cell</body></html>");
  const std::string index = (course_.path() / "index").string();
  std::filesystem::create_directories(index);
  ASSERT_EQ(Wait(Start(LUMO_INDEX, {course_.path().string(), index + "/words.idx",
                                    index + "/vectors.idx", index + "/titles.idx"})),
            0);
  WriteFile(course_.path() / "start.htm", R"js(<html><body><script>
var ext = window.external;
ext.SetKey("Software\\LumoTest");
ext.ConfigureSearch("\\index\\words.idx", "\\index\\vectors.idx", "\\index\\titles.idx");
var page = String(ext.Search("NUCLEUS and cell"));
var link = page.match(/<A HREF="([^"]*)">([^<]*)<\/A>/);
ext.setCookie("found", link ? link[1] + "|" + link[2] : page);
ext.setCookie("none", String(String(ext.Search("zebra")).indexOf("<B>No Matches Found</B>") > 0));
ext.PrintStr("First line of the notes\r\nSecond line");
ext.Stop();
</script></body></html>)js");
  const std::filesystem::path pdf = work_.path() / "notes.pdf";
  testing::ScopedEnv print_to(kPrintToPdf, pdf.string());
  WriteFile(answers_, "OK\n");

  ASSERT_EQ(RunLumo(), 0);
  const std::string progress = Progress();
  // The link leads to the page as the course drive names it.
  EXPECT_EQ(Cookie(progress, "found"), "d:\\lesson1\\intro.htm|Cells");
  EXPECT_EQ(Cookie(progress, "none"), "true");
  EXPECT_EQ(ReadFile(log_), "PRINT\tOK\t1\n");
  const std::string text = OutputOf("pdftotext -layout '" + pdf.string() + "' -");
  EXPECT_NE(text.find("First line of the notes"), std::string::npos) << text;
  EXPECT_NE(text.find("Second line"), std::string::npos) << text;
}

TEST_F(LumoWindowTest, UntrustedPageGetsNoScriptAccessAndTheCaptionFollowsTheTitle) {
  httplib::Server server;
  std::mutex mutex;
  std::condition_variable reported;
  std::string report;
  server.Get("/remote.htm", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(
        "<html><head><title>Remote Page</title></head><body><script>"
        "location.replace('/report?external=' + typeof window.external + '&ax=' + "
        "typeof ActiveXObject + '&enum=' + typeof Enumerator);"
        "</script></body></html>",
        "text/html");
  });
  server.Get("/report", [&](const httplib::Request& request, httplib::Response& response) {
    response.set_content("<html><head><title>Remote Page</title></head><body>seen</body></html>",
                         "text/html");
    std::lock_guard lock(mutex);
    report = "external=" + request.get_param_value("external") +
             ";ax=" + request.get_param_value("ax") + ";enum=" + request.get_param_value("enum");
    reported.notify_all();
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  WriteFile(course_.path() / "start.htm",
            "<html><body><script>window.external.SetKey('Software\\\\LumoTest');"
            "window.external.setCookie('started', 'yes');"
            "location.href = 'http://127.0.0.1:" +
                std::to_string(port) + "/remote.htm';</script></body></html>");
  child_ = Start(lumo_.string(), {"d:\\test.cfg"});
  {
    std::unique_lock lock(mutex);
    reported.wait_for(lock, std::chrono::milliseconds(kProcessTimeoutMs),
                      [&] { return !report.empty(); });
  }
  EXPECT_EQ(report, "external=undefined;ax=undefined;enum=undefined");
  EXPECT_EQ(Cookie(Progress(), "started"), "yes");

  // The caption: the page's title, " - ", the course title. The window
  // shows it once the engine has told the window the title.
  const std::string caption = "\"Remote Page - Test Course\"";
  bool shown = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!shown && std::chrono::steady_clock::now() < deadline) {
    shown = WindowList().find(caption) != std::string::npos;
    if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(shown) << WindowList();

  kill(child_, SIGTERM);
  Wait(child_);
  child_ = -1;
  server.stop();
  serving.join();
}

}  // namespace
}  // namespace norwin
