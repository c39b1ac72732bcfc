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

#include "e2e/x_windows.h"
#include "norwin/platform/registry.h"
#include "support/norwin_server_process.h"
#include "support/temp_prefix.h"

namespace norwin {
namespace {

using platform::Registry;
using platform::RegValue;
using testing::TempDir;

constexpr int kProcessTimeoutMs = 90000;
// How long a window whose program is alive may take to answer the window
// manager (a sanitized program on a busy machine included); well below the
// time a hanging server keeps a call waiting.
constexpr int kAnswerTimeoutMs = 30000;
// How often lumo loads a page again after its web process ends, a minute.
constexpr size_t kMaxReloadsPerMinute = 3;
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
    for (const auto& [name, value] : extra_env_) env[name] = value;
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
      // What the program says goes to a file the test reads.
      const int err = open(errors_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (err >= 0) dup2(err, 2);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    return child;
  }

  // Polls `done` until it holds or `seconds` have passed; whether it held.
  template <typename Done>
  static bool WaitFor(Done done, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
  }

  // Ends the running lumo (which the test left open).
  void EndLumo() {
    kill(child_, SIGTERM);
    Wait(child_);
    child_ = -1;
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
  std::filesystem::path errors_ = work_.path() / "stderr.txt";
  std::map<std::string, std::string> extra_env_;  // for lumo, besides the test's own
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
  // The pop-up's page is taken to lie at the root of its caller's drive.
  EXPECT_EQ(Cookie(progress, "popup"), "lumo:");
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
            "<html><head><title>Cells</title></head><body>The nucleus of a cell<script>"
            "window.external.setCookie('opened', location.href); window.external.Stop();"
            "</script></body></html>");
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
// The hit's link opens its page, as the result page shows it.
document.body.innerHTML = page;
document.getElementsByTagName("A")[0].click();
</script></body></html>)js");
  const std::filesystem::path pdf = work_.path() / "notes.pdf";
  testing::ScopedEnv print_to(kPrintToPdf, pdf.string());
  WriteFile(answers_, "OK\n");

  ASSERT_EQ(RunLumo(), 0);
  const std::string progress = Progress();
  // The link leads to the page as the course drive names it.
  EXPECT_EQ(Cookie(progress, "found"), "d:\\lesson1\\intro.htm|Cells");
  EXPECT_EQ(Cookie(progress, "none"), "true");
  EXPECT_EQ(Cookie(progress, "opened"), "lumo://d/lesson1/intro.htm");
  EXPECT_EQ(ReadFile(log_), "PRINT\tOK\t1\n");
  const std::string text = OutputOf("pdftotext -layout '" + pdf.string() + "' -");
  EXPECT_NE(text.find("First line of the notes"), std::string::npos) << text;
  EXPECT_NE(text.find("Second line"), std::string::npos) << text;
}

TEST_F(LumoWindowTest, UntrustedPageGetsNoScriptAccessTheCaptionFollowsTheTitleAndPopupsMinimise) {
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

  // A pop-up of the course asks to be minimised; the test, in the window
  // manager's seat, sees it ask.
  WriteFile(course_.path() / "start.htm",
            "<html><body><script>window.external.SetKey('Software\\\\LumoTest');"
            "window.external.setCookie('started', 'yes');"
            "window.external.Popup2('<title>Pop</title><script>window.external.Minimize()</scr' + "
            "'ipt>', 0, 0, 200, 150);"
            "location.href = 'http://127.0.0.1:" +
                std::to_string(port) + "/remote.htm';</script></body></html>");
  testing::WindowManagerSeat seat;
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
  std::vector<testing::ShownWindow> shown;
  auto captioned = [&](const std::string& caption) -> const testing::ShownWindow* {
    for (const auto& window : shown)
      if (window.caption == caption) return &window;
    return nullptr;
  };
  EXPECT_TRUE(WaitFor([&] {
    shown = testing::WindowsOf(child_);
    return captioned("Remote Page - Test Course") && captioned("Pop - Test Course");
  })) << WindowList();
  // The pop-up asked to be minimised, and a desktop lets it: it is no
  // window of its owner's (a transient one gets no minimise button).
  const testing::ShownWindow* popup = captioned("Pop - Test Course");
  ASSERT_TRUE(popup);
  EXPECT_TRUE(seat.AskedToMinimise(popup->id, kAnswerTimeoutMs));
  EXPECT_FALSE(popup->transient);

  kill(child_, SIGTERM);
  Wait(child_);
  child_ = -1;
  server.stop();
  serving.join();
}

TEST_F(LumoWindowTest, CoursePagesAddressTheDrivesAsTheOldEngineDid) {
  TempDir other_drive;
  std::filesystem::create_directory_symlink(other_drive.path(), prefix_.path() / "drives" / "e");
  WriteFile(course_.path() / "test.cfg",
            "[general]\nrun=\\lessons\\start.htm\ntitle=Test Course\ncx=420\ncy=300\n");
  const std::string report = "<script>window.external.setCookie('%s', location.href)</script>";
  auto reporting = [&](const char* name) {
    std::string page = report;
    page.replace(page.find("%s"), 2, name);
    return page;
  };
  WriteFile(course_.path() / "pop1.htm", reporting("pop1"));
  WriteFile(course_.path() / "pop3.htm", reporting("pop3"));
  WriteFile(course_.path() / "opened.htm",
            "<script>window.external.setCookie('opened', location.href + ' ' + "
            "typeof window.external); window.close();</script>");
  WriteFile(other_drive.path() / "other.htm", reporting("other"));
  WriteFile(course_.path() / "form1.htm", reporting("form1"));
  WriteFile(other_drive.path() / "form2.htm", reporting("form2"));
  // ShellExec opens its file with the desktop's application for its type:
  // here one that copies the file it was given.
  const std::filesystem::path opened = work_.path() / "opened.txt";
  WriteFile(work_.path() / "opener.sh", "#!/bin/sh\ncat \"$1\" > '" + opened.string() +
                                            ".tmp' && mv '" + opened.string() + ".tmp' '" +
                                            opened.string() + "'\n");
  std::filesystem::permissions(work_.path() / "opener.sh", std::filesystem::perms::owner_all);
  WriteFile(work_.path() / "data" / "applications" / "lumo-test-opener.desktop",
            "[Desktop Entry]\nType=Application\nName=Opener\nExec=" +
                (work_.path() / "opener.sh").string() + " %f\nMimeType=text/plain;\n");
  WriteFile(work_.path() / "config" / "mimeapps.list",
            "[Default Applications]\ntext/plain=lumo-test-opener.desktop\n");
  extra_env_["XDG_DATA_HOME"] = (work_.path() / "data").string();
  extra_env_["XDG_CONFIG_HOME"] = (work_.path() / "config").string();
  WriteFile(course_.path() / "notes" / "notes.txt", "the course's notes");
  WriteFile(course_.path() / "lessons" / "notes" / "notes.txt", "beside the page");
  WriteFile(course_.path() / "lessons" / "second.htm",
            "<script>window.external.setCookie('second', location.href);"
            "window.external.Stop();</script>");
  // A small pop-up has the client size asked for, however narrow.
  WriteFile(course_.path() / "small.htm", R"(<script>
var timer = setInterval(function () {
  if (!innerWidth) return;
  clearInterval(timer);
  window.external.setCookie("small", innerWidth + "x" + innerHeight);
  window.external.Stop();
}, 20);
</script>)");
  WriteFile(course_.path() / "lessons" / "start.htm", R"(<html><body><div id="frames"></div><script>
var ext = window.external;
ext.SetKey("Software\\LumoTest");
document.getElementById("frames").innerHTML =
    '<iframe src="\\pop1.htm"></iframe><iframe src="/pop3.htm"></iframe>' +
    '<iframe src="e:\\other.htm"></iframe>' +
    '<iframe srcdoc="<script>window.external.setCookie(\'srcdoc\', typeof ActiveXObject)</scr' +
    'ipt>"></iframe>' +
    '<iframe name="f1"></iframe><iframe name="f2"></iframe>' +
    '<form id="form1" target="f1" action="\\form1.htm"><input name="q" value="1"></form>' +
    '<form id="form2" target="f2" action="e:\\form2.htm"><input name="r" value="2"></form>';
document.getElementById("form1").submit();
document.getElementById("form2").submit();
ext.ShellExec("\\notes\\notes.txt");
var r = [];
var blank = document.createElement("iframe");
document.body.appendChild(blank);
try {
  blank.contentWindow.external.setCookie("blank", typeof blank.contentWindow.ActiveXObject);
} catch (e) { r.push("blank=" + e); }
// Arguments of no type a method takes do nothing, and the host reads as text.
try {
  r.push("text=" + String(ext));
  ext.setCookie({}, "x");
  ext.setCookie("fn", function () {});
  ext.Popup2([1], 0, 0, 10, 10);
  r.push("fn=[" + ext.GetCookie("fn") + "]");
} catch (e) { r.push("error=" + e.message); }
ext.setCookie("main", r.join(";"));
ext.Popup("\\small.htm", 0, 0, 120, 90);
window.open("\\opened.htm", "_blank", "width=200,height=150");
var timer = setInterval(function () {
  var names = ["pop1", "pop3", "other", "srcdoc", "small", "opened", "form1", "form2"];
  for (var i = 0; i < names.length; i++) if (!ext.GetCookie(names[i])) return;
  clearInterval(timer);
  ext.setCookie("size", innerWidth + "x" + innerHeight);
  location.href = "D:/lessons/second.htm";
}, 50);
</script></body></html>)");

  ASSERT_EQ(RunLumo(), 0) << ReadFile(errors_);
  const std::string progress = Progress();
  const std::pair<const char*, const char*> kSeen[] = {
      {"pop1", "lumo://d/pop1.htm"},        // "\\pop1.htm": the root of the page's drive
      {"pop3", "lumo://d/pop3.htm"},        // "/pop3.htm" likewise
      {"other", "lumo://e/other.htm"},      // "e:\\other.htm" in a frame
      {"form1", "lumo://d/form1.htm?q=1"},  // form actions: "\\form1.htm"
      {"form2", "lumo://e/form2.htm?r=2"},  // and "e:\\form2.htm"
      {"srcdoc", "function"},               // a srcdoc frame is its page's
      {"blank", "function"},                // and so is an about:blank one
      {"main", "text=[object];fn=[]"},      // arguments of no type do nothing
      {"small", "120x90"},                  // a small pop-up's client size
      {"opened", "lumo://d/opened.htm object"},
      {"size", "420x300"},                        // the window's client size
      {"second", "lumo://d/lessons/second.htm"},  // location.href = "D:/..."
  };
  for (const auto& [name, value] : kSeen) EXPECT_EQ(Cookie(progress, name), value) << name;
  // ShellExec("\\notes\\notes.txt") opened the file at the root of the
  // page's drive, not the one beside the page.
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(opened); }));
  EXPECT_EQ(ReadFile(opened), "the course's notes");
}

TEST_F(LumoWindowTest, RedirectsStayInTheirFrameAndForeignFramesGetNothing) {
  // A foreign page in a frame of the course, which navigates to an exam file
  // of its own and answers with a file to save.
  httplib::Server server;
  std::mutex mutex;
  bool foreign_exam = false;
  server.Get("/foreign.htm", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<script>location.href = '/evil.agc';</script>", "text/html");
  });
  server.Get("/evil.agc", [&](const httplib::Request&, httplib::Response& response) {
    response.set_header("Content-Disposition", "attachment; filename=\"evil.txt\"");
    response.set_content("written by a foreign page", "text/plain");
    std::lock_guard lock(mutex);
    foreign_exam = true;
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  auto registry = Registry::Open(prefix_.path() / "registry.db");
  ASSERT_TRUE(registry.ok()) << registry.message();
  ASSERT_TRUE((*registry)
                  ->SetValue("HKEY_LOCAL_MACHINE\\Software\\Norwin Interactive\\Pellam",
                             "LumoRedirectFile", RegValue::String("d:\\exam\\take.htm"))
                  .ok());
  WriteFile(course_.path() / "exam" / "take.htm",
            "<script>window.external.setCookie('take', (window.parent !== window) + '|' + "
            "location.href);</script>");
  WriteFile(course_.path() / "files" / "notes.bin", "the notes");
  WriteFile(course_.path() / "start.htm", R"(<html><body><script>
var ext = window.external;
ext.SetKey("Software\\LumoTest");
ext.setCookie("top", location.href);
</script>
<iframe name="exam" src="exam/test1.agc?x=1"></iframe>
<iframe src="http://127.0.0.1:)" + std::to_string(port) +
                                              R"(/foreign.htm"></iframe>
<a id="save" href="files/notes.bin" download>notes</a>
<script>document.getElementById("save").click();</script>
</body></html>)");
  // The course's own download asks where to save and before replacing.
  const std::filesystem::path saved = work_.path() / "notes.bin";
  WriteFile(saved, "older notes");
  WriteFile(answers_, saved.string() + "\nYes\n");

  child_ = Start(lumo_.string(), {"d:\\test.cfg"});
  EXPECT_TRUE(WaitFor([&] {
    std::lock_guard lock(mutex);
    return foreign_exam && Cookie(Progress(), "take") != "<none>" &&
           ReadFile(saved) == "the notes" &&
           ReadFile(errors_).find("refused a download") != std::string::npos;
  })) << ReadFile(errors_);
  const std::string progress = Progress();
  // The exam file's target loaded in the frame, under the course page.
  EXPECT_EQ(Cookie(progress, "take"), "true|lumo://d/exam/take.htm");
  EXPECT_EQ(Cookie(progress, "top"), "lumo://d/start.htm");
  EXPECT_EQ(Cookie(progress, "VelloraExamURL"), "lumo://d/exam/test1.agc?x=1");
  const std::string errors = ReadFile(errors_);
  EXPECT_NE(errors.find("lumo: refused a download from outside the course: http://127.0.0.1:" +
                        std::to_string(port) + "/evil.agc"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("lumo: saved "), std::string::npos) << errors;
  const std::string log = ReadFile(log_);
  EXPECT_TRUE(log.starts_with("SAVE\t")) << log;
  EXPECT_NE(log.find("Lumo\t" + saved.string() + " already exists.\\nDo you want to replace it?"),
            std::string::npos)
      << log;
  EndLumo();
  server.stop();
  serving.join();
}

TEST_F(LumoWindowTest, TheWindowLoadsItsPageAgainWhenItsWebProcessEnds) {
  WriteFile(course_.path() / "start.htm", R"(<html><body><script>
var ext = window.external;
ext.SetKey("Software\\LumoTest");
ext.setCookie("loads", String(Number(ext.GetCookie("loads")) + 1));
</script></body></html>)");
  child_ = Start(lumo_.string(), {"d:\\test.cfg"});
  auto loads = [&] { return Cookie(Progress(), "loads"); };
  // Kills the page's web processes (the children of lumo that run pages).
  auto kill_pages = [&] {
    const std::string pids =
        OutputOf("pgrep -P " + std::to_string(child_) + " -f WebKitWebProcess");
    std::istringstream list(pids);
    for (pid_t pid; list >> pid;) kill(pid, SIGKILL);
    return !pids.empty();
  };
  ASSERT_TRUE(WaitFor([&] { return loads() == "1"; })) << ReadFile(errors_);
  // The untitled page's caption, and the program's icon.
  std::vector<testing::ShownWindow> shown;
  EXPECT_TRUE(WaitFor([&] {
    shown = testing::WindowsOf(child_);
    return shown.size() == 1 && shown[0].caption == "Lumo";
  })) << WindowList();
  EXPECT_TRUE(!shown.empty() && shown[0].has_icon);

  ASSERT_TRUE(kill_pages());
  EXPECT_TRUE(WaitFor([&] { return loads() == "2"; })) << ReadFile(errors_);
  EXPECT_NE(ReadFile(errors_).find("lumo: the page's web process crashed; loading lumo://d/"
                                   "start.htm again"),
            std::string::npos)
      << ReadFile(errors_);
  // A page that keeps failing is given up, with a word to the user; the
  // window stays open.
  for (size_t crash = 2; crash <= kMaxReloadsPerMinute + 1; ++crash) {
    const std::string before = loads();
    ASSERT_TRUE(WaitFor([&] { return kill_pages(); }));
    if (crash <= kMaxReloadsPerMinute) {
      EXPECT_TRUE(WaitFor([&] { return loads() != before; }));
    }
  }
  EXPECT_TRUE(WaitFor([&] { return ReadFile(log_).find("stopped working") != std::string::npos; }))
      << ReadFile(errors_);
  EXPECT_EQ(loads(), "4");
  EXPECT_EQ(waitpid(child_, nullptr, WNOHANG), 0);  // still running
  EndLumo();
}

TEST_F(LumoWindowTest, TheWindowClosesWhilePageScriptWaitsForARecordServerThatHangs) {
  RegisterRecords();
  // A record server that takes its time: it answers nothing until the test
  // lets it (or two minutes have passed).
  httplib::Server server;
  std::mutex mutex;
  std::condition_variable changed;
  bool asked = false;
  bool released = false;
  auto hang = [&](const httplib::Request&, httplib::Response& response) {
    std::unique_lock lock(mutex);
    asked = true;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::minutes(2), [&] { return released; });
    response.set_content("", "text/plain");
  };
  server.Get(".*", hang);
  server.Post(".*", hang);
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  WriteFile(course_.path() / "start.htm",
            "<html><head><title>Waiting</title></head><body><script>"
            "var ext = window.external; ext.SetKey('Software\\\\LumoTest');"
            "ext.setCookie('before', 'called');"
            "var list = new ActiveXObject('NorwinPellam2003.ExamList');"
            "try { list.Load('http://127.0.0.1:" +
                std::to_string(port) +
                "/app/unit_pmxl.xml', ''); } catch (e) {}"
                "ext.setCookie('after', 'answered');"
                "</script></body></html>");
  child_ = Start(lumo_.string(), {"d:\\test.cfg"});
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::milliseconds(kProcessTimeoutMs),
                                 [&] { return asked; }));
  }
  // While the call waits, the window answers the window manager's ping
  // (which a window whose UI thread waits for the server would not answer
  // until the server did) and its close button, and the program ends
  // cleanly, the server still silent. (Its own window, found by its
  // process: other tests' windows share the display.)
  std::vector<testing::ShownWindow> shown;
  ASSERT_TRUE(WaitFor([&] { return !(shown = testing::WindowsOf(child_)).empty(); }))
      << WindowList();
  testing::WindowManagerSeat seat;
  EXPECT_TRUE(seat.Ping(shown[0].id, kAnswerTimeoutMs));
  EXPECT_TRUE(testing::AskWindowToClose(shown[0].id));
  EXPECT_EQ(Wait(child_), 0);
  child_ = -1;
  {
    std::lock_guard lock(mutex);
    EXPECT_FALSE(released);
    released = true;
  }
  changed.notify_all();
  server.stop();
  serving.join();
  EXPECT_EQ(Cookie(Progress(), "before"), "called");
  EXPECT_EQ(Cookie(Progress(), "after"), "<none>");
}

TEST_F(LumoWindowTest, RecordObjectsFindRootRelativePathsOnTheCourseDrive) {
  RegisterRecords();
  // Started as d:\test.cfg, lumo's current drive stays c:; "\records\..."
  // is still the course's own folder, and a native path stays one.
  const std::string roster =
      "<students><student><id>S1</id></student><student><id>S2</id></student></students>";
  WriteFile(course_.path() / "Records" / "roster.xml", roster);
  WriteFile(work_.path() / "elsewhere" / "roster.xml", roster);
  WriteFile(course_.path() / "start.htm",
            "<html><body><script>var ext = window.external; ext.SetKey('Software\\\\LumoTest');"
            "var a = new ActiveXObject('NorwinPellam2003.Students');"
            "var b = new ActiveXObject('NorwinPellam2003.Students');"
            "ext.setCookie('loaded', a.Load('\\\\records\\\\roster.xml', null) + '/' + "
            "a.Students.Count + ',' + b.Load('" +
                (work_.path() / "elsewhere" / "roster.xml").string() +
                "', null));"
                "ext.Stop();</script></body></html>");
  ASSERT_EQ(RunLumo(), 0) << ReadFile(errors_);
  EXPECT_EQ(Cookie(Progress(), "loaded"), "true/2,true");
}

TEST_F(LumoWindowTest, RunsACourseFromNorwinServerWhoseRecordsStayThere) {
#ifndef NORWIN_SERVER_PROGRAM
  GTEST_SKIP() << "built without norwin-server";
#else
  RegisterRecords();
  // A course folder as it came off its disc: the settings name the start
  // page from the disc's root.
  const std::filesystem::path courses = work_.path() / "courses";
  WriteFile(courses / "water" / "settings.cfg",
            "[general]\r\nrun=\\start.htm\r\ntitle=Server Course\r\ncx=420\r\ncy=300\r\n");
  WriteFile(courses / "water" / "Scripts" / "tools.js",
            "function joined(r) { return r.join(';'); }");
  WriteFile(courses / "water" / "start.htm", R"(<html><head><title>From the server</title>
<script src="scripts/TOOLS.js"></script></head><body><script>
var ext = window.external;
ext.SetKey("Software\\LumoTest");
var r = [location.pathname];
var roster = location.origin + "/app/roster.xml";
var ann = new ActiveXObject("NorwinPellam2003.Student");
ann.FirstName = "Ann"; ann.LastName = "Lee"; ann.UserName = "alee"; ann.SetPassword("pw");
r.push("added=" + new ActiveXObject("NorwinPellam2003.Students").AddStudent(roster, ann, null));
var again = new ActiveXObject("NorwinPellam2003.Students");
r.push("loaded=" + again.Load(roster, null));
r.push("who=" + again.Students(1).UserName + "/" + again.Authenticate("alee", "pw"));
ext.setCookie("result", joined(r));
ext.Stop();
</script></body></html>)");
  testing::NorwinServerProcess server(NORWIN_SERVER_PROGRAM, work_.path() / "data",
                                      {"--courses", courses.string()});

  child_ = Start(lumo_.string(), {server.url("/water/settings")});
  ASSERT_EQ(Wait(child_), 0) << ReadFile(errors_);
  child_ = -1;
  EXPECT_EQ(Cookie(Progress(), "result"), "/water/start.htm;added=true;loaded=true;who=alee/true");
  // The roster is the server's, for every desktop of the class.
  httplib::Client client("127.0.0.1", server.port());
  const httplib::Result stored = client.Post(
      "/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml", "", "text/plain");
  ASSERT_TRUE(stored);
  EXPECT_NE(stored->body.find("<username>alee</username>"), std::string::npos) << stored->body;
#endif
}

}  // namespace
}  // namespace norwin
