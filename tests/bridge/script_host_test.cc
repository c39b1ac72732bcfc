#include "norwin/bridge/script_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "bridge/support/test_objects.h"
#include "norwin/platform/clock.h"
#include "support/temp_prefix.h"

namespace norwin::bridge {
namespace {

using norwin::testing::TempDir;
using testing::CreateTestObject;
using testing::Record;

std::string ReadAll(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

// Runs scripts written to a temporary folder, catching what they print.
class ScriptHostTest : public ::testing::Test {
 protected:
  struct Outcome {
    int code;
    std::string out;
    std::string err;
  };

  std::filesystem::path Write(const std::string& name, std::string_view text) {
    const std::filesystem::path path = dir_.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  Outcome Run(const std::filesystem::path& script, std::vector<std::string> arguments = {}) {
    ScriptOptions options;
    options.script = script;
    options.arguments = std::move(arguments);
    options.creator = &CreateTestObject;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    options.out = out;
    options.err = err;
    Outcome outcome{RunScript(options), ReadAll(out), ReadAll(err)};
    std::fclose(out);
    std::fclose(err);
    return outcome;
  }

  Outcome RunText(std::string_view text, std::vector<std::string> arguments = {}) {
    return Run(Write("script.js", text), std::move(arguments));
  }

  TempDir dir_;
};

TEST_F(ScriptHostTest, EchoArgumentsAndNames) {
  const Outcome outcome = RunText(
      "WScript.Echo('one', 2, 2.5, true, null, undefined, 'end');\n"
      "WScript.Echo();\n"
      "var a = WScript.Arguments;\n"
      "WScript.Echo(a.length, a.Count(), a.Item(0), a[1], a(2), a.slice(1).join('+'));\n"
      "WScript.Echo(WScript.ScriptName, WScript.ScriptFullName);\n"
      "WScript.StdOut.Write('no line end|');\n"
      "WScript.StdOut.WriteLine('line');\n"
      "WScript.StdErr.WriteLine('to standard error');\n"
      "try { a.Item(3) } catch (e) { WScript.Echo(e.number, e.description, e.source) }\n",
      {"first", "second arg", "\xC3\xA9"});
  EXPECT_EQ(outcome.code, kScriptSucceeded);
  EXPECT_EQ(outcome.out,
            "one 2 2.5 true null  end\n"
            "\n"
            "3 3 first second arg \xC3\xA9 second arg+\xC3\xA9\n"
            "script.js " +
                (dir_.path() / "script.js").string() +
                "\n"
                "no line end|line\n"
                "-2146828279 Subscript out of range WScript.Arguments\n");
  EXPECT_EQ(outcome.err, "to standard error\n");
}

TEST_F(ScriptHostTest, ScriptsUseObjectsAsCoursePagesDo) {
  const int before = Record::LiveRecords();
  const Outcome outcome = RunText(
      "var students = new ActiveXObject('Test.Record');\n"
      "students.Add('SID00001', students.MakeChild('Ann'));\n"
      "students.Add('SID00002', students.MakeChild('Bob'));\n"
      "var names = [];\n"
      "for (var e = new Enumerator(students); !e.atEnd(); e.moveNext()) "
      "names.push(e.item().Name);\n"
      "WScript.Echo(students.Count, students('SID00001').Name, names.join(','));\n"
      "kept = students;  // still held when the script ends\n");
  EXPECT_EQ(outcome.code, kScriptSucceeded) << outcome.err;
  EXPECT_EQ(outcome.out, "2 Ann Ann,Bob\n");
  // Everything the script held is released when it ends.
  EXPECT_EQ(Record::LiveRecords(), before);
}

TEST_F(ScriptHostTest, UncaughtErrorsNameFileLineAndColumn) {
  const int before = Record::LiveRecords();
  Outcome outcome = RunText(
      "var r = new ActiveXObject('Test.Record');\n"
      "WScript.Echo('before');\n"
      "  r.Fail(635, 'Username is required');\n"
      "WScript.Echo('after');\n");
  EXPECT_EQ(outcome.code, kScriptFailed);
  EXPECT_EQ(outcome.out, "before\n");
  const std::string file = (dir_.path() / "script.js").string();
  EXPECT_EQ(outcome.err, file + "(3, 9) error: Username is required\n");
  EXPECT_EQ(Record::LiveRecords(), before);

  outcome = RunText("var x = null;\nx.y;\n");
  EXPECT_EQ(outcome.code, kScriptFailed);
  EXPECT_EQ(outcome.err,
            file + "(2, 2) error: TypeError: null is not an object (evaluating 'x.y')\n");

  outcome = RunText("throw new Error('plain');");
  EXPECT_EQ(outcome.err, file + "(1, 16) error: plain\n");

  outcome = RunText("var a = 1;\n a b c");
  EXPECT_EQ(outcome.code, kScriptFailed);
  EXPECT_EQ(outcome.err, file + "(2, 0) error: SyntaxError: Unexpected identifier 'b'\n");

  outcome = RunText("new ActiveXObject('No.Such');");
  EXPECT_EQ(outcome.err,
            file + "(1, 18) error: ActiveX component can't create object: 'No.Such'\n");

  // The file as the user named it.
  outcome = Run(std::filesystem::relative(Write("named.js", "\n\nundefinedFunction()")));
  EXPECT_EQ(outcome.err.substr(outcome.err.find("named.js")),
            "named.js(3, 18) error: ReferenceError: Can't find variable: undefinedFunction\n");
  EXPECT_EQ(outcome.err.front(), '.');
}

TEST_F(ScriptHostTest, UnreadableScriptsAreReported) {
  const Outcome outcome = Run(dir_.path() / "missing.js");
  EXPECT_EQ(outcome.code, kScriptUnreadable);
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("missing.js"), std::string::npos);
  EXPECT_EQ(Run(dir_.path()).code, kScriptUnreadable);
}

TEST_F(ScriptHostTest, ScriptTextInEveryEncodingOfTheOriginalSystem) {
  EXPECT_EQ(DecodeScriptText("\xEF\xBB\xBF"
                             "caf\xC3\xA9"),
            "caf\xC3\xA9");
  EXPECT_EQ(DecodeScriptText("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(DecodeScriptText("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");  // Windows-1252
  EXPECT_EQ(DecodeScriptText(std::string("\xFF\xFE"
                                         "c\0\xE9\0",
                                         6)),
            "c\xC3\xA9");
  EXPECT_EQ(DecodeScriptText(std::string("\xFE\xFF\0c\0\xE9", 6)), "c\xC3\xA9");
  constexpr char kUtf16Script[] =
      "\xFF\xFE"
      "W\0S\0c\0r\0i\0p\0t\0.\0E\0c\0h\0o\0(\0'\0\xE9\0'\0)\0";
  EXPECT_EQ(RunText(std::string(kUtf16Script, sizeof kUtf16Script - 1)).out, "\xC3\xA9\n");
  EXPECT_EQ(RunText("WScript.Echo('caf\xE9')").out, "caf\xC3\xA9\n");
}

TEST_F(ScriptHostTest, SleepWaitsThroughTheClockSource) {
  platform::ManualSource clock;
  platform::ScopedSourceForTesting installed(&clock);
  const Outcome outcome = RunText(
      "WScript.Sleep(10000); WScript.Sleep(-5); WScript.Sleep(250);"
      "WScript.Echo('awake')");
  EXPECT_EQ(outcome.out, "awake\n");
  EXPECT_EQ(clock.total_slept(), std::chrono::milliseconds(10250));
}

}  // namespace
}  // namespace norwin::bridge
