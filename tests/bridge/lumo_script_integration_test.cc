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

// Runs `program` with `args` in `cwd`, with NORWIN_PREFIX set to `prefix`
// when one is given.
Outcome RunProgram(std::string program, std::vector<std::string> args,
                   const std::filesystem::path& cwd, const std::filesystem::path& prefix = {}) {
  std::vector<char*> argv;
  argv.push_back(program.data());
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  gchar** env = g_get_environ();
  if (!prefix.empty()) env = g_environ_setenv(env, "NORWIN_PREFIX", prefix.c_str(), TRUE);
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  GError* error = nullptr;
  Outcome outcome;
  const bool ran = g_spawn_sync(cwd.c_str(), argv.data(), env, G_SPAWN_DEFAULT, nullptr, nullptr,
                                &out, &err, &status, &error);
  g_strfreev(env);
  if (!ran) {
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

Outcome RunLumoScript(std::vector<std::string> args,
                      const std::filesystem::path& cwd = std::filesystem::current_path(),
                      const std::filesystem::path& prefix = {}) {
  return RunProgram(NORWIN_BINARY_DIR "/bin/lumo-script", std::move(args), cwd, prefix);
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

TEST_F(LumoScriptTest, RegisteredClassesComeFromThePrefixRegistry) {
  TempDir registered;
  const Outcome registration =
      RunProgram(NORWIN_REGSVR, {"/s", NORWIN_TEST_INPROC_LIBRARY}, dir_.path(), registered.path());
  ASSERT_EQ(registration.code, 0) << registration.err;
  const std::string script =
      Write("counter.js",
            "var c = new ActiveXObject('NorwinTest.Counter');\n"
            "c.Increment(); c.Increment(5);\n"
            "WScript.Echo(c.Value, c(), /norwin-test-inproc/.test(c.Library));\n"
            "try { new ActiveXObject('NorwinTest.Refuser'); } catch (e) {\n"
            "  WScript.Echo(e.number, e.description, e.source);\n"
            "}\n");
  Outcome outcome = RunLumoScript({"--prefix", registered.path().string(), script});
  EXPECT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "6 6 true\n-2147220804 The refuser refuses NorwinTest.Refuser\n");

  // Another prefix has its own registry, where the class is unknown; the
  // option wins over the environment.
  TempDir empty;
  outcome =
      RunLumoScript({"--prefix", empty.path().string(), script}, dir_.path(), registered.path());
  EXPECT_EQ(outcome.code, 1);
  EXPECT_EQ(outcome.err, script +
                             "(1, 26) error: ActiveX component can't create object: "
                             "'NorwinTest.Counter'\n");
  outcome = RunLumoScript({script}, dir_.path(), registered.path());
  EXPECT_EQ(outcome.code, 0) << outcome.err;
}

}  // namespace
}  // namespace norwin::bridge
