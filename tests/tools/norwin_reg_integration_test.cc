// norwin-reg as users run it: the built program in its own process, against a
// registry in a temporary prefix, answering its questions through stdin.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "norwin/platform/prefix.h"
#include "norwin/platform/registry.h"
#include "support/run_program.h"
#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

using norwin::testing::ProgramRun;
using norwin::testing::RunProgram;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class NorwinRegTest : public ::testing::Test {
 protected:
  // Runs norwin-reg with `args`, giving it `input` on stdin.
  ProgramRun Reg(const std::vector<std::string>& args, std::string_view input = "") {
    return RunProgram(std::string(NORWIN_BINARY_DIR) + "/bin/norwin-reg", args, input);
  }

  // Runs a command that must succeed with the usual message.
  void Ok(std::vector<std::string> args) {
    ProgramRun run = Reg(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "The operation completed successfully.\n");
  }

  std::unique_ptr<Registry> Open() {
    Result<std::unique_ptr<Registry>> reg = Registry::OpenDefault();
    EXPECT_TRUE(reg.ok()) << reg.message();
    return reg.ok() ? std::move(*reg) : nullptr;
  }

  // Everything below the five roots, for before/after comparisons.
  std::vector<RegKeyContents> Snapshot() {
    std::vector<RegKeyContents> all;
    std::unique_ptr<Registry> reg = Open();
    for (const char* root : {"HKCR", "HKCU", "HKLM", "HKU", "HKPD"}) {
      Result<std::vector<RegKeyContents>> tree = reg->ReadTree(root);
      EXPECT_TRUE(tree.ok()) << tree.message();
      if (tree.ok()) all.insert(all.end(), tree->begin(), tree->end());
    }
    return all;
  }

  TempPrefix prefix_;
  TempDir io_;
};

constexpr std::string_view kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

TEST_F(NorwinRegTest, AddAndQueryPrintTheLayoutOfReg) {
  Ok({"add", "HKCU\\Software\\Lumo", "/v", "Path", "/d", "C:\\Courses"});
  Ok({"ADD", "hkcu\\software\\lumo", "/V", "Count", "/T", "reg_dword", "/D", "42"});
  Ok({"add", "HKCU\\Software\\Lumo", "-v", "Mask", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"});
  Ok({"add", "HKCU\\Software\\Lumo", "/v", "Blob", "/t", "REG_BINARY", "/d", "00a1FF"});
  Ok({"add", "HKCU\\Software\\Lumo", "/v", "List", "/t", "REG_MULTI_SZ", "/d",
      "one\\0z\u00FCrich"});
  Ok({"add", "HKCU\\Software\\Lumo", "/v", "Hash", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "a#b"});
  Ok({"add", "HKCU\\Software\\Lumo", "/v", "Home", "/t", "REG_EXPAND_SZ", "/d", "%HOME%\\x"});
  Ok({"add", "HKCU\\Software\\Lumo", "/ve", "/d", "default"});
  Ok({"add", "HKCU\\Software\\Lumo\\Zeta"});
  Ok({"add", "HKCU\\Software\\Lumo\\alpha", "/v", "Deep", "/d", "x"});

  ProgramRun run = Reg({"query", "hkcu\\software\\LUMO"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "\n"
            "HKEY_CURRENT_USER\\software\\LUMO\n"
            "    Path    REG_SZ    C:\\Courses\n"
            "    Count    REG_DWORD    0x2a\n"
            "    Mask    REG_DWORD    0xffffffff\n"
            "    Blob    REG_BINARY    00A1FF\n"
            "    List    REG_MULTI_SZ    one\\0z\u00FCrich\n"
            "    Hash    REG_MULTI_SZ    a\\0b\n"
            "    Home    REG_EXPAND_SZ    %HOME%\\x\n"
            "    (Default)    REG_SZ    default\n"
            "\n"
            "HKEY_CURRENT_USER\\software\\LUMO\\alpha\n"
            "HKEY_CURRENT_USER\\software\\LUMO\\Zeta\n");

  run = Reg({"query", "HKCU\\Software\\Lumo", "/v", "COUNT"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\nHKEY_CURRENT_USER\\Software\\Lumo\n    Count    REG_DWORD    0x2a\n");
  run = Reg({"query", "HKCU\\Software\\Lumo", "/ve"});
  EXPECT_EQ(run.out, "\nHKEY_CURRENT_USER\\Software\\Lumo\n    (Default)    REG_SZ    default\n");

  run = Reg({"query", "HKCU\\Software\\Lumo\\Zeta", "/s"});
  EXPECT_EQ(run.out, "\nHKEY_CURRENT_USER\\Software\\Lumo\\Zeta\n");
  run = Reg({"query", "HKCU\\Software", "/s", "/v", "deep"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "\nHKEY_CURRENT_USER\\Software\\Lumo\\alpha\n    Deep    REG_SZ    x\n"
            "\nEnd of search: 1 match(es) found.\n");
  run = Reg({"query", "HKCU\\Software\\Lumo", "/S"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\n\nHKEY_CURRENT_USER\\Software\\Lumo\\alpha\n    Deep    REG_SZ    x\n"
                         "\nHKEY_CURRENT_USER\\Software\\Lumo\\Zeta\n"),
            std::string::npos)
      << run.out;

  for (const std::vector<std::string>& missing :
       {std::vector<std::string>{"query", "HKCU\\Software\\Nothing"},
        {"query", "HKCU\\Software\\Lumo", "/v", "Nothing"},
        {"query", "HKCU\\Software\\Lumo\\Zeta", "/ve"},
        {"query", "HKCU\\Software", "/s", "/v", "Nothing"}}) {
    run = Reg(missing);
    EXPECT_EQ(run.status, 1) << missing[1];
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kNotFound);
  }
}

TEST_F(NorwinRegTest, AddAsksBeforeOverwritingAndNoAnswerIsNo) {
  Ok({"add", "HKLM\\Software\\Lumo", "/v", "Mode", "/d", "old"});
  auto mode = [&] { return *Open()->GetValue("HKLM\\Software\\Lumo", "Mode"); };

  const std::string question = "Value Mode exists, overwrite(Yes/No)? \n";
  ProgramRun run = Reg({"add", "HKLM\\Software\\Lumo", "/v", "Mode", "/d", "new"}, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, question + "The operation was cancelled by the user.\n");
  EXPECT_EQ(mode(), RegValue::String("old"));

  // An answer that is neither Yes nor No is asked again.
  run = Reg({"add", "HKLM\\Software\\Lumo", "/v", "Mode", "/d", "new"}, "maybe\nNO\n");
  EXPECT_EQ(run.out, question + question + "The operation was cancelled by the user.\n");
  EXPECT_EQ(mode(), RegValue::String("old"));

  run = Reg({"add", "HKLM\\Software\\Lumo", "/v", "Mode", "/d", "new"}, "yes\n");
  EXPECT_EQ(run.out, question + "The operation completed successfully.\n");
  EXPECT_EQ(mode(), RegValue::String("new"));

  Ok({"add", "HKLM\\Software\\Lumo", "/v", "mode", "/t", "REG_DWORD", "/d", "7", "/F"});
  EXPECT_EQ(mode(), RegValue::Dword(7));
  EXPECT_EQ(Open()->Values("HKLM\\Software\\Lumo")->at(0).name, "Mode");
}

TEST_F(NorwinRegTest, DeleteAsksThenRemovesKeysAndValues) {
  Ok({"add", "HKCU\\Doomed\\Child", "/v", "c", "/d", "1"});
  Ok({"add", "HKCU\\Doomed", "/v", "a", "/d", "1"});
  Ok({"add", "HKCU\\Doomed", "/v", "b", "/d", "2"});
  Ok({"add", "HKCU\\Doomed", "/ve", "/d", "3"});
  auto names = [&](const char* key) {
    std::vector<std::string> out;
    Result<std::vector<RegNamedValue>> values = Open()->Values(key);
    EXPECT_TRUE(values.ok()) << values.message();
    if (values.ok()) {
      for (const RegNamedValue& v : *values) out.push_back(v.name);
    }
    return out;
  };

  ProgramRun run = Reg({"delete", "HKCU\\Doomed", "/v", "a"}, "n\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "Delete the registry value a (Yes/No)? \nThe operation was cancelled by the user.\n");
  run = Reg({"delete", "HKCU\\Doomed", "/v", "A"}, "y\n");
  EXPECT_EQ(run.out,
            "Delete the registry value A (Yes/No)? \nThe operation completed successfully.\n");
  EXPECT_EQ(names("HKCU\\Doomed"), (std::vector<std::string>{"b", ""}));

  Ok({"delete", "HKCU\\Doomed", "/ve", "/f"});
  EXPECT_EQ(names("HKCU\\Doomed"), (std::vector<std::string>{"b"}));
  Ok({"delete", "HKCU\\Doomed", "/va", "/f"});
  EXPECT_TRUE(names("HKCU\\Doomed").empty());
  EXPECT_EQ(names("HKCU\\Doomed\\Child"), (std::vector<std::string>{"c"}));

  run = Reg({"delete", "HKCU\\Doomed"});
  EXPECT_EQ(run.out,
            "Permanently delete the registry key HKCU\\Doomed (Yes/No)? \n"
            "The operation was cancelled by the user.\n");
  EXPECT_TRUE(*Open()->KeyExists("HKCU\\Doomed\\Child"));
  run = Reg({"delete", "HKCU\\Doomed"}, "Y\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(*Open()->KeyExists("HKCU\\Doomed"));

  for (const std::vector<std::string>& missing :
       {std::vector<std::string>{"delete", "HKCU\\Doomed", "/f"},
        {"delete", "HKCU", "/v", "nothing", "/f"}}) {
    run = Reg(missing);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, kNotFound);
  }
}

TEST_F(NorwinRegTest, BadInputIsNamedAndChangesNothing) {
  // Nothing exists yet: a refused command must not even create the database.
  struct Case {
    std::vector<std::string> args;
    std::string headline;
    std::string detail;
  };
  const Case cases[] = {
      {{}, "Invalid syntax.", "No operation is given."},
      {{"frobnicate"}, "Invalid syntax.", "Unknown operation 'frobnicate'"},
      {{"add"}, "Invalid syntax.", "The key name is missing."},
      {{"add", "HKXX\\Software"}, "Invalid key name.", "unknown root key 'HKXX'"},
      {{"add", "HKCU\\a\\\\b"}, "Invalid key name.", "empty key name"},
      {{"add", "HKCU\\x", "/v"}, "Invalid syntax.", "The option /v needs a value name."},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_QWORD"}, "Invalid syntax.", "'REG_QWORD'"},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "12x"},
       "Invalid syntax.",
       "'12x' is not a REG_DWORD number"},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"},
       "Invalid syntax.",
       "is not a REG_DWORD number"},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "-1"},
       "Invalid syntax.",
       "is not a REG_DWORD number"},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_BINARY", "/d", "abc"},
       "Invalid syntax.",
       "odd number"},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_BINARY", "/d", "zz"},
       "Invalid syntax.",
       "hexadecimal digits only"},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"},
       "Invalid syntax.",
       "cannot hold an empty string"},
      {{"add", "HKCU\\x", "/v", "a", "/s", "#"}, "Invalid syntax.", "REG_MULTI_SZ data only"},
      {{"add", "HKCU\\x", "/v", "a", "/t", "REG_MULTI_SZ", "/s", "##"},
       "Invalid syntax.",
       "must be one character"},
      {{"add", "HKCU\\x", "/d", "a"}, "Invalid syntax.", "need /v NAME or /ve"},
      {{"add", "HKCU\\x", "/v", "a", "/ve"}, "Invalid syntax.", "exclude each other"},
      {{"add", "HKCU\\x", "/v", "a", "/v", "b"}, "Invalid syntax.", "given more than once"},
      {{"add", "HKCU\\x", "/v", "tab\there"}, "Invalid syntax.", "control character"},
      {{"query", "HKCU\\x", "/f"}, "Invalid syntax.", "Unknown option '/f'."},
      {{"query", "HKCU\\x", "extra"}, "Invalid syntax.", "Unexpected argument 'extra'."},
      {{"delete", "HKLM"}, "Invalid key name.", "root key HKEY_LOCAL_MACHINE cannot be deleted"},
      {{"delete", "HKCU\\x", "/va", "/ve"}, "Invalid syntax.", "exclude each other"},
      {{"export", "HKCU\\x"}, "Invalid syntax.", "The file name is missing."},
      {{"import"}, "Invalid syntax.", "The file name is missing."},
  };
  for (const Case& c : cases) {
    ProgramRun run = Reg(c.args);
    const std::string where = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(run.status, 1) << where;
    EXPECT_EQ(run.out, "") << where;
    EXPECT_TRUE(run.err.starts_with("ERROR: " + c.headline + "\n")) << run.err;
    EXPECT_NE(run.err.find(c.detail), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/?\" for usage."), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(PrefixDir() / "registry.db"));

  // With a registry in place, the same commands leave it as it was.
  Ok({"add", "HKCU\\x", "/v", "a", "/d", "kept"});
  const std::vector<RegKeyContents> before = Snapshot();
  for (const Case& c : cases) Reg(c.args);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(NorwinRegTest, ExportThenImportRestoresEveryType) {
  const std::string key = "HKCU\\Software\\R\u00E9sum\u00E9";
  Ok({"add", key, "/ve", "/d", "d\u00E9faut"});
  Ok({"add", key, "/v", "quote\"back\\slash", "/d", "say \"hi\" at \\\\server\\share"});
  Ok({"add", key, "/v", "\u65E5\u672C", "/d", "\u00FCber \U0001F600"});
  Ok({"add", key, "/v", "empty", "/d", ""});
  Ok({"add", key, "/v", "expand", "/t", "REG_EXPAND_SZ", "/d", "%APPDATA%\\\u00E9"});
  Ok({"add", key, "/v", "dword", "/t", "REG_DWORD", "/d", "4294967295"});
  Ok({"add", key, "/v", "binary", "/t", "REG_BINARY", "/d", "0001FF80"});
  Ok({"add", key, "/v", "no bytes", "/t", "REG_BINARY"});
  Ok({"add", key, "/v", "multi", "/t", "REG_MULTI_SZ", "/d", "\u00E9t\u00E9\\0b\\0\U0001F600"});
  Ok({"add", key, "/v", "empty multi", "/t", "REG_MULTI_SZ", "/d", ""});
  Ok({"add", key + "\\Sub\\Deeper", "/v", "x", "/t", "REG_DWORD", "/d", "1"});
  Ok({"add", key + "\\Empty"});
  const std::vector<RegKeyContents> before = Snapshot();

  const std::filesystem::path file = io_.path() / "export.reg";
  Ok({"export", key, file.string()});
  const std::string text = ReadFile(file);
  EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\r\n\r\n[" +
                               *Registry::NormalizeKey(key) + "]\r\n"))
      << text;
  EXPECT_NE(text.find("\"empty multi\"=hex(7):00,00\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"dword\"=dword:ffffffff\r\n"), std::string::npos) << text;

  // An existing file is replaced only when the user agrees (or gave /y).
  WriteFile(file, "precious");
  ProgramRun run = Reg({"export", key, file.string()}, "no\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("The operation was cancelled by the user."), std::string::npos);
  EXPECT_EQ(ReadFile(file), "precious");
  Ok({"export", key, file.string(), "/y"});
  EXPECT_EQ(ReadFile(file), text);

  Ok({"delete", key, "/f"});
  EXPECT_NE(Snapshot(), before);
  Ok({"import", file.string()});
  EXPECT_EQ(Snapshot(), before);

  run = Reg({"export", "HKCU\\Software\\Missing", (io_.path() / "none.reg").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, kNotFound);
  EXPECT_FALSE(std::filesystem::exists(io_.path() / "none.reg"));
}

TEST_F(NorwinRegTest, ImportReadsUtf16FilesAndDeletes) {
  Ok({"add", "HKLM\\Software\\Old\\Sub", "/v", "x", "/d", "1"});
  Ok({"add", "HKLM\\Software\\Lumo", "/v", "Stale", "/d", "1"});
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Lumo]\r\n"
      u"\"Stale\"=-\r\n"
      u"\"Name\"=\"Gen\u00E8ve\"\r\n"
      u"\"List\"=hex(7):61,00,00,00,\\\r\n"
      u"  62,00,00,00,00,00\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  const std::filesystem::path file = io_.path() / "utf16.reg";
  WriteFile(file, bytes);
  Ok({"import", file.string()});

  std::unique_ptr<Registry> reg = Open();
  EXPECT_FALSE(*reg->KeyExists("HKLM\\Software\\Old"));
  Result<std::vector<RegNamedValue>> values = reg->Values("HKLM\\Software\\Lumo");
  ASSERT_TRUE(values.ok());
  EXPECT_EQ(*values, (std::vector<RegNamedValue>{
                         {"Name", RegValue::String("Gen\u00E8ve")},
                         {"List", RegValue::MultiString({"a", "b"})},
                     }));
}

TEST_F(NorwinRegTest, MalformedImportChangesNothing) {
  Ok({"add", "HKCU\\Keep", "/v", "v", "/d", "1"});
  const std::vector<RegKeyContents> before = Snapshot();
  const std::filesystem::path file = io_.path() / "bad.reg";
  WriteFile(file,
            "Windows Registry Editor Version 5.00\n\n"
            "[-HKEY_CURRENT_USER\\Keep]\n"
            "[HKEY_CURRENT_USER\\New]\n"
            "\"a\"=\"fine\"\n"
            "\"b\"=dword:xyz\n");
  ProgramRun run = Reg({"import", file.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "ERROR: The file " + file.string() +
                         " is not a valid registry file.\n"
                         "Line 6: 'xyz' is not a dword (one to eight hexadecimal digits).\n"
                         "Nothing was imported.\n");
  EXPECT_EQ(Snapshot(), before);

  run = Reg({"import", (io_.path() / "absent.reg").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("absent.reg"), std::string::npos) << run.err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(NorwinRegTest, ADamagedRegistryIsReportedAndLeftAlone) {
  const std::string garbage(4096, '\x5A');
  WriteFile(PrefixDir() / "registry.db", garbage);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"query", "HKCU"},
                                               {"add", "HKCU\\x", "/v", "a", "/d", "b"},
                                               {"import", (io_.path() / "x.reg").string()}}) {
    if (args[0] == "import") {
      WriteFile(args[1], "Windows Registry Editor Version 5.00\n[HKCU\\x]\n");
    }
    ProgramRun run = Reg(args);
    EXPECT_EQ(run.status, 1) << args[0];  // an exit, not a crash
    EXPECT_EQ(run.err, "ERROR: " + (PrefixDir() / "registry.db").string() +
                           " is not a registry database (file is not a database).\n");
  }
  EXPECT_EQ(ReadFile(PrefixDir() / "registry.db"), garbage);
}

TEST_F(NorwinRegTest, HelpShowsTheUsage) {
  ProgramRun run = Reg({"/?"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("norwin-reg OPERATION")) << run.out;
  run = Reg({"Query", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("norwin-reg query KEY")) << run.out;
  run = Reg({"delete", "/?"});
  EXPECT_NE(run.out.find("/va"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace norwin::platform
