// The lumo program as a real process against a temporary prefix.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "norwin/host/demo_course.h"
#include "norwin/host/start_up.h"
#include "norwin/platform/registry.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

using norwin::platform::Registry;
using norwin::testing::TempDir;

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

// A start page that closes the window it opens in, which ends the program.
constexpr std::string_view kClosingPage = "<script>window.external.Stop()</script>";

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

class LumoProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(prefix_.path() / "drives");
    // Drive c: is an empty folder of the test's, so nothing is found by accident.
    std::filesystem::create_directory_symlink(c_.path(), prefix_.path() / "drives" / "c");
    std::filesystem::create_directory_symlink(e_.path(), prefix_.path() / "drives" / "e");
    WriteFile(answers_, "");
  }

  // Runs lumo with `args`, the prefix, and scripted prompts; waits for it.
  Outcome Run(const std::vector<std::string>& args) {
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
    std::vector<std::string> env_lines;
    for (const auto& [name, value] : env) env_lines.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& line : env_lines) envp.push_back(line.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv_text{program_.string()};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const std::filesystem::path out_file = work_.path() / "stdout.txt";
    const std::filesystem::path err_file = work_.path() / "stderr.txt";
    const pid_t child = fork();
    if (child == 0) {
      const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, 1);
      const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(err, 2);
      if (!cwd_.empty() && ::chdir(cwd_.c_str()) != 0) _exit(126);
      ::execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    Outcome outcome;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
      outcome.exit_code = WEXITSTATUS(status);
    outcome.out = ReadFile(out_file);
    outcome.err = ReadFile(err_file);
    return outcome;
  }

  std::string Registered(std::string_view key, std::string_view name = "") {
    auto registry = Registry::Open(prefix_.path() / "registry.db");
    if (!registry.ok()) return "<no registry: " + registry.message() + ">";
    auto value = (*registry)->GetValue("HKEY_CLASSES_ROOT\\" + std::string(key), name);
    if (!value.ok() || !*value) return "<none>";
    return (*value)->text;
  }

  const std::filesystem::path program_ = std::filesystem::path(NORWIN_BINARY_DIR) / "bin" / "lumo";
  TempDir prefix_;
  TempDir c_;
  TempDir e_;
  TempDir work_;
  std::filesystem::path answers_ = work_.path() / "answers.txt";
  std::filesystem::path log_ = work_.path() / "prompts.log";
  std::filesystem::path cwd_;  // the child's working folder when not empty
};

TEST_F(LumoProcessTest, RegistersAndUnregistersItself) {
  const std::string clsid = "CLSID\\{08364115-EE22-11D2-AD57-00105A13F737}";
  Outcome outcome = Run({"/RegServer"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(Registered(clsid + "\\LocalServer32"), std::filesystem::canonical(program_).string());
  EXPECT_EQ(Registered("AppID\\Lumo.EXE", "AppID"), "{A07C9CE4-EE1F-11D2-AD57-00105A13F737}");
  EXPECT_EQ(Registered("Lumo.NorwinDHTML\\CurVer"), "Lumo.NorwinDHTML.1");
  EXPECT_EQ(Registered("TypeLib\\{A07C9CE3-EE1F-11D2-AD57-00105A13F737}\\1.0"),
            "Lumo 1.0 Type Library");

  outcome = Run({"/unregSERVER"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(Registered(clsid), "<none>");
  EXPECT_EQ(Registered("Lumo.NorwinDHTML"), "<none>");
  EXPECT_EQ(Registered("AppID\\Lumo.EXE", "AppID"), "<none>");
  EXPECT_EQ(ReadFile(log_), "");  // registration shows nothing
}

TEST_F(LumoProcessTest, FailsRegistrationWithItsResult) {
  // A registry database that is not one: E_FAIL, whose low byte is 5.
  WriteFile(prefix_.path() / "registry.db", "not a database, not at all, nothing of the kind");
  EXPECT_EQ(Run({"/RegServer"}).exit_code, 5);
}

TEST_F(LumoProcessTest, LoadsTheSettingsOfItsCommandLine) {
  WriteFile(e_.path() / "course" / "lumo.cfg", "[general]\nrun=\\course\\start.htm\ntitle=T\n");
  WriteFile(e_.path() / "course" / "start.htm", kClosingPage);
  // Words of a path with blanks arrive as separate arguments.
  WriteFile(e_.path() / "my course" / "lumo.cfg", "[general]\nrun=x.htm\ntitle=T\n");
  WriteFile(e_.path() / "x.htm", kClosingPage);
  EXPECT_EQ(Run({"\\course\\lumo.cfg"}).exit_code, 0);
  EXPECT_EQ(Run({"  \"e:\\my", "course\\lumo.cfg\"  "}).exit_code, 0);
  EXPECT_EQ(ReadFile(log_), "");

  // A switch with more text is a location: searched for, not registered;
  // the failed start says why.
  WriteFile(answers_, "Cancel\n");
  const Outcome cancelled = Run({"/RegServer", "now"});
  EXPECT_EQ(cancelled.exit_code, 1);
  EXPECT_EQ(cancelled.err, "lumo: no drive holds the settings file /RegServer now\n");
  EXPECT_EQ(ReadFile(log_),
            "BEEP\t0x30\nLumo\tCannot find the CD-ROM;\\n\\nmake sure your CD-ROM drive is turned "
            "on and the correct disc is present.\t0x35\tCancel\n");
  EXPECT_EQ(Registered("Lumo.NorwinDHTML"), "<none>");
}

TEST_F(LumoProcessTest, OffersTheChooserForAnEmptyCommandLine) {
  const std::filesystem::path cfg = e_.path() / "lumo.cfg";
  WriteFile(cfg, "[general]\nrun=start.htm\ntitle=T\n");
  WriteFile(e_.path() / "start.htm", kClosingPage);
  WriteFile(answers_, cfg.string() + "\n");
  EXPECT_EQ(Run({}).exit_code, 0);
  EXPECT_EQ(ReadFile(log_), "OPEN\tSettings (*.cfg)\\0*.cfg\\0\t" + cfg.string() + "\n");

  // Cancelled: ends at once, as a failed start.
  WriteFile(log_, "");
  WriteFile(answers_, "\n");
  const Outcome cancelled = Run({});
  EXPECT_EQ(cancelled.exit_code, 1);
  EXPECT_EQ(cancelled.err, "lumo: no settings file was chosen\n");
  EXPECT_EQ(ReadFile(log_), "OPEN\tSettings (*.cfg)\\0*.cfg\\0\t\n");
}

TEST_F(LumoProcessTest, TakesANativeSettingsPathWhoseFolderIsTheCourse) {
  // Deep in c:, on no drive of its own: run=\start.htm is the page beside it.
  const std::filesystem::path folder = c_.path() / "home" / "pat" / "course";
  WriteFile(folder / "lumo.cfg", "[general]\nrun=\\start.htm\ntitle=T\n");
  WriteFile(folder / "start.htm", kClosingPage);
  cwd_ = folder.parent_path();
  for (const std::string& path : {(folder / "lumo.cfg").string(), std::string("course/lumo.cfg")}) {
    const Outcome outcome = Run({path});
    EXPECT_EQ(outcome.exit_code, 0) << path << outcome.err;
  }
  EXPECT_EQ(ReadFile(log_), "");  // no drive search, no missing file

  // A missing file named so is searched for as a Windows path.
  WriteFile(answers_, "Cancel\n");
  const Outcome missing = Run({"course/none.cfg"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "lumo: no drive holds the settings file course/none.cfg\n");
}

TEST_F(LumoProcessTest, OpensItsDemoCourseWithoutLinkingADrive) {
  // Without a display the start goes as far as the window: the demo's
  // settings (share/lumo/demo-course beside bin/, as installed) are loaded,
  // and a user who never set the demo up gets the record library registered
  // and a records folder of the prefix's own.
  norwin::testing::ScopedEnv display("DISPLAY", ""), wayland("WAYLAND_DISPLAY", "");
  const Outcome outcome = Run({"--demo"});
  EXPECT_EQ(outcome.exit_code, kStartFailed);
  EXPECT_EQ(outcome.err, "lumo: cannot open a window: no display\n");
  EXPECT_EQ(ReadFile(log_), "");  // no drive search, no missing file
  // Its drive is the process's own: the prefix keeps only c: and e:.
  size_t drives = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(prefix_.path() / "drives"))
    ++drives;
  EXPECT_EQ(drives, 2u);
  EXPECT_NE(Registered("NorwinPellam2003.Registry\\CLSID"), "<none>");
  auto registry = Registry::Open(prefix_.path() / "registry.db");
  ASSERT_TRUE(registry.ok()) << registry.message();
  auto records = (*registry)->GetValue(kDemoKey, kDemoRecordsValue);
  ASSERT_TRUE(records.ok() && *records);
  EXPECT_EQ((*records)->text, (prefix_.path() / "demo-records").string());
  EXPECT_TRUE(std::filesystem::is_directory(prefix_.path() / "demo-records" / "progress"));
}

TEST_F(LumoProcessTest, PrintsItsUsage) {
  for (const char* option : {"--help", "-h"}) {
    const Outcome outcome = Run({option});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_TRUE(outcome.out.starts_with("Usage: lumo [SETTINGS]\n")) << outcome.out;
  }
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_TRUE(version.out.starts_with("lumo (Lumo) ")) << version.out;
  EXPECT_EQ(ReadFile(log_), "");
  EXPECT_FALSE(std::filesystem::exists(prefix_.path() / "registry.db"));
}

}  // namespace
}  // namespace norwin::host
