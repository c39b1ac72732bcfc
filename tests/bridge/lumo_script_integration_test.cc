// lumo-script as users run it: a real process, its exit status and streams.
#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_prefix.h"

namespace norwin::bridge {
namespace {

using norwin::testing::TempDir;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

Outcome RunLumoScript(std::vector<std::string> args,
                      const std::filesystem::path& cwd = std::filesystem::current_path()) {
  std::vector<char*> argv;
  std::string program = NORWIN_BINARY_DIR "/bin/lumo-script";
  argv.push_back(program.data());
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  GError* error = nullptr;
  Outcome outcome;
  if (!g_spawn_sync(cwd.c_str(), argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out,
                    &err, &status, &error)) {
    ADD_FAILURE() << error->message;
    g_error_free(error);
    return outcome;
  }
  outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.out = out;
  outcome.err = err;
  g_free(out);
  g_free(err);
  return outcome;
}

class LumoScriptTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, std::string_view text) {
    const std::filesystem::path path = dir_.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  TempDir dir_;
};

TEST_F(LumoScriptTest, HelpAndUsageErrors) {
  Outcome outcome = RunLumoScript({"--help"});
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.out.rfind("Usage: lumo-script [--prefix DIR] FILE.js [ARGS...]\n", 0), 0u);

  outcome = RunLumoScript({});
  EXPECT_EQ(outcome.code, 2);
  EXPECT_EQ(outcome.err, "lumo-script: no script file given\nTry 'lumo-script --help'.\n");
  outcome = RunLumoScript({"--frobnicate", "x.js"});
  EXPECT_EQ(outcome.code, 2);
  EXPECT_EQ(outcome.err.rfind("lumo-script: unknown option '--frobnicate'\n", 0), 0u);
  EXPECT_EQ(RunLumoScript({"--prefix"}).code, 2);
  EXPECT_EQ(RunLumoScript({"--prefix="}).code, 2);
  outcome = RunLumoScript({(dir_.path() / "none.js").string()});
  EXPECT_EQ(outcome.code, 2);
  EXPECT_NE(outcome.err.find("none.js"), std::string::npos);
}

TEST_F(LumoScriptTest, ArgumentsAfterTheFileBelongToTheScript) {
  const std::string script = Write("args.js", "WScript.Echo(WScript.Arguments.join('|'))");
  const Outcome outcome =
      RunLumoScript({"--prefix", dir_.path().string(), script, "--prefix", "x", "--help", "-"});
  EXPECT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "--prefix|x|--help|-\n");
  EXPECT_EQ(RunLumoScript({"--", script, "a"}).out, "a\n");
}

TEST_F(LumoScriptTest, QuitEndsTheProcessAtOnceWithItsCode) {
  const std::string script = Write("quit.js",
                                   "WScript.Echo('before');\n"
                                   "WScript.StdOut.Write('unterminated');\n"
                                   "try { WScript.Quit(7); } catch (e) { WScript.Echo('caught'); }"
                                   " finally { WScript.Echo('finally'); }\n"
                                   "WScript.Echo('after');\n");
  Outcome outcome = RunLumoScript({script});
  EXPECT_EQ(outcome.code, 7);
  EXPECT_EQ(outcome.out, "before\nunterminated");
  EXPECT_EQ(outcome.err, "");

  EXPECT_EQ(RunLumoScript({Write("zero.js", "WScript.Quit(); WScript.Echo('x')")}).code, 0);
  EXPECT_EQ(RunLumoScript({Write("minus.js", "WScript.Quit(-1)")}).code, 255);
  outcome = RunLumoScript({Write("ok.js", "WScript.Echo('done')")});
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.out, "done\n");
}

TEST_F(LumoScriptTest, UncaughtErrorsEndWithStatusOne) {
  Write("fail.js",
        "WScript.Echo('start');\n"
        "var d = new ActiveXObject('No.Such.Class');\n");
  // The file as the user named it: here relative to the working folder.
  const Outcome outcome = RunLumoScript({"fail.js"}, dir_.path());
  EXPECT_EQ(outcome.code, 1);
  EXPECT_EQ(outcome.out, "start\n");
  EXPECT_EQ(outcome.err,
            "fail.js(2, 26) error: ActiveX component can't create object: "
            "'No.Such.Class'\n");
}

}  // namespace
}  // namespace norwin::bridge
