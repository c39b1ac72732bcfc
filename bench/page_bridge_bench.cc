// Page script against the real window, each figure beside its bare
// counterpart measured in the same run:
//   - a round trip from page script: window.external.GetCookie and a
//     Scripting.Dictionary member through ActiveXObject in lumo, against a
//     call of a bare socket bridge (bench-bare-window --bridge, whose
//     web-process half is bare_webext.cc);
//   - start-to-first-page: from starting the program to the first page's
//     load event, lumo against a bare WebKitGTK window (the median of
//     several starts).
// Pages report to a loopback server of this program. Needs a display:
// scripts/bench provides one. A timed program rather than Google Benchmark,
// because each figure comes from whole programs.
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "norwin/platform/registry.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCalls = 5000;
constexpr int kStarts = 5;

// What the pages report, as it arrives.
class Reports {
 public:
  void Add(std::map<std::string, std::string> values) {
    std::lock_guard lock(mutex_);
    latest_ = Report{std::move(values), Clock::now()};
    arrived_.notify_all();
  }
  struct Report {
    std::map<std::string, std::string> values;
    Clock::time_point when;
  };
  // The next report, or nullopt after a minute without one.
  std::optional<Report> Next() {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::seconds(60), [&] { return latest_.has_value(); }))
      return std::nullopt;
    std::optional<Report> report = std::move(latest_);
    latest_.reset();
    return report;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::optional<Report> latest_;
};

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& prefix) {
  std::vector<std::string> env_text;
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, "NORWIN_", 7) != 0) env_text.emplace_back(*entry);
  }
  env_text.push_back("NORWIN_PREFIX=" + prefix);
  // No dialog may ever wait for an answer.
  env_text.push_back("NORWIN_PROMPT_LOG=/dev/null");
  std::vector<char*> envp;
  for (std::string& line : env_text) envp.push_back(line.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_text = args;
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  return pid;
}

void End(pid_t pid, bool kill_it) {
  if (pid <= 0) return;
  if (kill_it) kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The script that reports `query` to the loopback server at `port`.
std::string ReportScript(int port) {
  return "function report(query) {\n"
         "  var request = new XMLHttpRequest();\n"
         "  request.open('GET', 'http://127.0.0.1:" +
         std::to_string(port) +
         "/report?' + query, false);\n"
         "  try { request.send(); } catch (e) {}\n"
         "  if (window.external && typeof window.external.Stop !== 'undefined')\n"
         "    window.external.Stop();\n"
         "}\n"
         "function measure(call) {\n"
         "  for (var i = 0; i < 200; ++i) call();\n"
         "  var start = performance.now();\n"
         "  for (var i = 0; i < " +
         std::to_string(kCalls) +
         "; ++i) call();\n"
         "  return (performance.now() - start) * 1000 / " +
         std::to_string(kCalls) +
         ";\n"
         "}\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    std::printf(
        "usage: page_bridge_bench\n"
        "Measures page script's round trip and start-up of lumo against a bare\n"
        "WebKitGTK window; needs a display.\n");
    return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
  }
  if (!std::getenv("DISPLAY")) {
    std::printf("page_bridge_bench: skipped, no display (scripts/bench runs it under Xvfb)\n");
    return 0;
  }
  char folder_template[] = "/tmp/page-bridge-bench-XXXXXX";
  if (!mkdtemp(folder_template)) return 1;
  const fs::path work = folder_template;
  const fs::path prefix = work / "prefix";
  const fs::path course = work / "course";
  fs::create_directories(prefix / "drives");
  fs::create_directories(course);
  fs::create_directory_symlink(course, prefix / "drives" / "d");
  {
    auto registry = norwin::platform::Registry::Open(prefix / "registry.db");
    if (!registry.ok() || !(*registry)
                               ->SetValue("HKEY_CURRENT_USER\\Software\\LumoBench", "Path",
                                          norwin::platform::RegValue::String("d:\\progress"))
                               .ok()) {
      std::fprintf(stderr, "page_bridge_bench: cannot write the registry\n");
      return 1;
    }
  }

  Reports reports;
  httplib::Server server;
  server.Get("/report", [&](const httplib::Request& request, httplib::Response& response) {
    std::map<std::string, std::string> values;
    for (const auto& [name, value] : request.params) values[name] = value;
    response.set_header("Access-Control-Allow-Origin", "*");
    response.set_content("", "text/plain");
    reports.Add(std::move(values));
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  const std::string script = ReportScript(port);
  WriteFile(course / "start.htm",
            "<html><head><title>Start</title><script>" + script +
                "</script></head><body onload=\"report('loaded=1')\"><p>First page</p>"
                "</body></html>");
  WriteFile(course / "roundtrip.htm",
            "<html><head><script>" + script +
                "window.onload = function () {\n"
                "  var ext = window.external;\n"
                "  ext.SetKey('Software\\\\LumoBench');\n"
                "  ext.setCookie('lesson', 'done');\n"
                "  var table = new ActiveXObject('Scripting.Dictionary');\n"
                "  table.Add('lesson', 'done');\n"
                "  var cookie = measure(function () { return ext.GetCookie('lesson'); });\n"
                "  var item = measure(function () { return table.Item('lesson'); });\n"
                "  report('cookie=' + cookie + '&item=' + item);\n"
                "};</script></head><body></body></html>");
  WriteFile(course / "bare.htm",
            "<html><head><script>" + script +
                "window.onload = function () {\n"
                "  var call = measure(function () { return bare.call('lesson'); });\n"
                "  report('call=' + call);\n"
                "};</script></head><body></body></html>");
  for (const char* page : {"start", "roundtrip"}) {
    WriteFile(course / (std::string(page) + ".cfg"),
              std::string("[general]\nrun=\\") + page + ".htm\ntitle=Bench\ncx=420\ncy=300\n");
  }
  const std::string start_url = "file://" + (course / "start.htm").string();
  const std::string bare_url = "file://" + (course / "bare.htm").string();

  int failures = 0;
  auto run = [&](const std::vector<std::string>& args, bool kill_after,
                 double* seconds) -> std::optional<Reports::Report> {
    const auto started = Clock::now();
    const pid_t pid = Spawn(args, prefix.string());
    std::optional<Reports::Report> report = reports.Next();
    End(pid, kill_after || !report);
    if (!report) {
      std::fprintf(stderr, "page_bridge_bench: no report from %s\n", args[0].c_str());
      ++failures;
      return report;
    }
    if (seconds) *seconds = std::chrono::duration<double>(report->when - started).count();
    return report;
  };

  // Round trips.
  std::optional<Reports::Report> lumo_calls = run({LUMO, "d:\\roundtrip.cfg"}, false, nullptr);
  std::optional<Reports::Report> bare_calls =
      run({BARE_WINDOW, bare_url, "--bridge"}, true, nullptr);

  // Start-up, alternating so that both see the same machine.
  std::vector<double> lumo_starts, bare_starts;
  run({BARE_WINDOW, start_url}, true, nullptr);  // warms the caches of both
  for (int i = 0; i < kStarts; ++i) {
    double seconds = 0;
    if (run({LUMO, "d:\\start.cfg"}, false, &seconds)) lumo_starts.push_back(seconds);
    if (run({BARE_WINDOW, start_url}, true, &seconds)) bare_starts.push_back(seconds);
  }
  server.stop();
  serving.join();
  std::error_code ignored;
  fs::remove_all(work, ignored);

  if (lumo_calls && bare_calls) {
    const double cookie = std::atof(lumo_calls->values["cookie"].c_str());
    const double item = std::atof(lumo_calls->values["item"].c_str());
    const double bare = std::atof(bare_calls->values["call"].c_str());
    std::printf("page script round trip (%d calls each, microseconds a call)\n", kCalls);
    std::printf("  window.external.GetCookie          %8.2f\n", cookie);
    std::printf("  Scripting.Dictionary Item          %8.2f\n", item);
    std::printf("  bare socket bridge call            %8.2f\n", bare);
    std::printf("  ratio GetCookie / bare             %8.2f   (goal: at most 2)\n", cookie / bare);
    std::printf("  ratio Dictionary Item / bare       %8.2f\n", item / bare);
  }
  if (!lumo_starts.empty() && !bare_starts.empty()) {
    const double lumo = Median(lumo_starts);
    const double bare = Median(bare_starts);
    std::printf("start to first page (median of %d starts, milliseconds)\n", kStarts);
    std::printf("  lumo                               %8.1f\n", lumo * 1000);
    std::printf("  bare WebKitGTK window              %8.1f\n", bare * 1000);
    std::printf("  ratio lumo / bare                  %8.2f   (goal: at most 1.2)\n", lumo / bare);
  }
  return failures == 0 ? 0 : 1;
}
