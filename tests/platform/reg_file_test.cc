#include "norwin/platform/reg_file.h"

#include <gtest/gtest.h>

#include <sstream>

namespace norwin::platform {
namespace {

// The values of the SetValue edits, in order.
std::vector<RegNamedValue> SetValues(const std::vector<RegEdit>& edits) {
  std::vector<RegNamedValue> values;
  for (const RegEdit& e : edits) {
    if (e.kind == RegEdit::Kind::kSetValue) values.push_back({e.name, e.value});
  }
  return values;
}

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

TEST(RegFileTest, WritesTheLayoutOfRegistryEditors) {
  const std::vector<RegKeyContents> keys = {
      {"HKEY_CURRENT_USER\\Software\\Lumo",
       {{"", RegValue::String("say \"hi\" C:\\x")},
        {"Count", RegValue::Dword(42)},
        {"Blob", RegValue::Binary("\x01\xFF")},
        {"Path", RegValue::String("%A%", RegType::kExpandSz)},
        {"List", RegValue::MultiString({"a"})},
        {"None", RegValue::MultiString({})}}},
      {"HKEY_CURRENT_USER\\Software\\Lumo\\Empty", {}},
  };
  EXPECT_EQ(WriteRegFile(keys),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Lumo]\r\n"
            "@=\"say \\\"hi\\\" C:\\\\x\"\r\n"
            "\"Count\"=dword:0000002a\r\n"
            "\"Blob\"=hex:01,ff\r\n"
            "\"Path\"=hex(2):25,00,41,00,25,00,00,00\r\n"
            "\"List\"=hex(7):61,00,00,00,00,00\r\n"
            "\"None\"=hex(7):00,00\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Lumo\\Empty]\r\n"
            "\r\n");
}

TEST(RegFileTest, LongHexDataWrapsWithinEightyColumns) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i));
  const std::vector<RegKeyContents> keys = {
      {"HKEY_LOCAL_MACHINE\\S", {{"a rather long value name", RegValue::Binary(bytes)}}}};
  const std::string text = WriteRegFile(keys);
  std::istringstream lines(text);
  std::string line;
  int continued = 0;
  bool in_value = false;
  while (std::getline(lines, line)) {
    ASSERT_TRUE(line.ends_with('\r')) << line;
    line.pop_back();
    EXPECT_LE(line.size(), 80u) << line;
    if (in_value) {
      EXPECT_TRUE(line.starts_with("  ")) << line;
      ++continued;
    }
    in_value = line.ends_with(",\\");
  }
  EXPECT_GT(continued, 5);

  Result<std::vector<RegEdit>> parsed = ParseRegFile(text);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(SetValues(*parsed), keys[0].values);
}

TEST(RegFileTest, EveryValueReadsBackExactly) {
  const std::vector<RegKeyContents> keys = {
      {"HKEY_CURRENT_USER\\Software\\Caf\u00E9 \"x\"",
       {{"", RegValue::String("")},
        {"quote\"back\\slash", RegValue::String("\\\\server\\share \"q\"")},
        {"lines", RegValue::String("one\r\ntwo\n")},
        {"\u00FCber", RegValue::String("\u65E5\u672C \U0001F600")},
        {"expand", RegValue::String("%HOME%\\\u00E9", RegType::kExpandSz)},
        {"empty expand", RegValue::String("", RegType::kExpandSz)},
        {"dword", RegValue::Dword(0xDEADBEEF)},
        {"binary", RegValue::Binary(std::string("\0\x80\xFF", 3))},
        {"empty binary", RegValue::Binary("")},
        {"multi", RegValue::MultiString({"\u00E9t\u00E9", "b", "\U0001F600"})},
        {"empty multi", RegValue::MultiString({})}}},
      {"HKEY_CURRENT_USER\\Software\\Caf\u00E9 \"x\"\\Sub]key", {{"x", RegValue::Dword(1)}}},
  };
  Result<std::vector<RegEdit>> parsed = ParseRegFile(WriteRegFile(keys));
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  ASSERT_EQ(parsed->size(), 2 + keys[0].values.size() + 1);
  EXPECT_EQ((*parsed)[0].kind, RegEdit::Kind::kCreateKey);
  EXPECT_EQ((*parsed)[0].key, keys[0].path);
  EXPECT_EQ((*parsed)[12].kind, RegEdit::Kind::kCreateKey);
  EXPECT_EQ((*parsed)[12].key, keys[1].path);
  std::vector<RegNamedValue> all = keys[0].values;
  all.push_back(keys[1].values[0]);
  EXPECT_EQ(SetValues(*parsed), all);
}

TEST(RegFileTest, ReadsWhatWindowsWrites) {
  // UTF-16LE with a byte-order mark and CR LF, as Windows tools write it.
  const std::string utf16 = Utf16Le(
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"; a comment\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Lumo]\r\n"
      u"\"Name\"=\"Z\u00FCrich\"\r\n"
      u"\"Multi\"=hex(7):61,00,62,00,00,00,63,00,\\\r\n"
      u"  00,00,00,00\r\n"
      u"\"Word\"=hex(4):2a,00,00,01\r\n"
      u"\"Text\"=hex(1):68,00,69,00,00,00\r\n"
      u"\"Short\" = dword:1F\r\n"
      u"\"Gone\"=-\r\n"
      u"[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n");
  Result<std::vector<RegEdit>> parsed = ParseRegFile(utf16);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  ASSERT_EQ(parsed->size(), 8u);
  EXPECT_EQ(SetValues(*parsed), (std::vector<RegNamedValue>{
                                    {"Name", RegValue::String("Z\u00FCrich")},
                                    {"Multi", RegValue::MultiString({"ab", "c"})},
                                    {"Word", RegValue::Dword(0x0100002A)},
                                    {"Text", RegValue::String("hi")},
                                    {"Short", RegValue::Dword(0x1F)},
                                }));
  EXPECT_EQ((*parsed)[6].kind, RegEdit::Kind::kDeleteValue);
  EXPECT_EQ((*parsed)[6].name, "Gone");
  EXPECT_EQ((*parsed)[6].key, "HKEY_LOCAL_MACHINE\\Software\\Lumo");
  EXPECT_EQ((*parsed)[7].kind, RegEdit::Kind::kDeleteTree);
  EXPECT_EQ((*parsed)[7].key, "HKEY_LOCAL_MACHINE\\Software\\Old");

  // UTF-8 with a byte-order mark and bare LF, short root names.
  Result<std::vector<RegEdit>> utf8 = ParseRegFile(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[hkcu\\x]\n@=\"d\"\n\"b\"=hex:1,A,ff\n");
  ASSERT_TRUE(utf8.ok()) << utf8.message();
  EXPECT_EQ((*utf8)[0].key, "HKEY_CURRENT_USER\\x");
  EXPECT_EQ(SetValues(*utf8),
            (std::vector<RegNamedValue>{{"", RegValue::String("d")},
                                        {"b", RegValue::Binary("\x01\x0A\xFF")}}));
}

TEST(RegFileTest, NamesTheLineOfEachFault) {
  const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\x]\r\n";
  struct Case {
    std::string text;
    std::string expected;  // part of the message
  };
  const Case cases[] = {
      {"", "line 1: the file does not begin with"},
      {"REGEDIT4\r\n[HKCU\\x]\r\n", "line 1: REGEDIT4 files are not supported"},
      {"\r\n[HKCU\\x]\r\n", "line 2: the file does not begin with"},
      {kHead + "\"a\"=\"C:\\path\"\r\n", "line 4: unknown escape \\p"},
      {kHead + "\"a\"=\"open\r\n", "line 4: a quoted string has no closing quote"},
      {kHead + "\"a\"=\"x\" y\r\n", "line 4: unexpected text after the closing quote"},
      {kHead + "\"a\"=dword:123456789\r\n", "line 4: '123456789' is not a dword"},
      {kHead + "\"a\"=dword:\r\n", "line 4: '' is not a dword"},
      {kHead + "\"a\"=hex(b):00,00,00,00,00,00,00,00\r\n", "line 4: value type hex(b) is not"},
      {kHead + "\"a\"=hex:0g\r\n", "line 4: '0g' is not a hexadecimal byte"},
      {kHead + "\"a\"=hex:01,,02\r\n", "line 4: '' is not a hexadecimal byte"},
      {kHead + "\"a\"=hex(2):41,00,42\r\n", "line 4: string data with an odd number of bytes"},
      {kHead + "\"a\"=hex(7):00,d8,00,00\r\n", "line 4: UTF-16 text with a lone surrogate"},
      {kHead + "\"a\"=hex(4):01,02\r\n", "line 4: hex(4) data must be four bytes"},
      {kHead + "\"a\"=hex\r\n", "line 4: a ':' must follow 'hex'"},
      {kHead + "\"a\"=sz:x\r\n", "line 4: unrecognised value data"},
      {kHead + "\"a\" \"b\"\r\n", "line 4: a value name must be followed by '='"},
      {kHead + "\"bad\tname\"=\"x\"\r\n", "line 4: the value name holds a control character"},
      {kHead + "\"a\"=hex:01,\\\r\n", "line 4: the value continues past the end of the file"},
      {kHead + "\"a\"=hex:01,\\\r\n  02\r\nwhat\r\n", "line 6: unrecognised line 'what'"},
      {kHead + "[HKXX\\y]\r\n", "line 4: key 'HKXX\\y': unknown root key"},
      {kHead + "[HKCU\\y\r\n", "line 4: a key line must end with ']'"},
      {kHead + "[-HKCU]\r\n", "line 4: the root key HKEY_CURRENT_USER cannot be deleted"},
      {kHead + "[-HKCU\\x]\r\n\"a\"=\"b\"\r\n", "line 5: a value line follows a key deletion"},
      {"Windows Registry Editor Version 5.00\r\n\"a\"=\"b\"\r\n",
       "line 2: a value line comes before the first [KEY] line"},
      {kHead + "\"a\"=\"\xC3\x28\"\r\n", "the file is neither UTF-8 nor UTF-16LE"},
      {"\xFE\xFF\x00W", "UTF-16 big-endian"},
      // A file nesting keys 16,000 levels deep is refused, not stored.
      {kHead + "[HKCU" +
           [] {
             std::string levels;
             for (int i = 0; i < 16000; ++i) levels += "\\k";
             return levels;
           }() +
           "]\r\n",
       "line 4: key 'HKCU\\k\\k"},
      {"\xFF\xFE"
       "W\x00\x00",
       "the file is not valid UTF-16"},
  };
  for (const Case& c : cases) {
    Result<std::vector<RegEdit>> parsed = ParseRegFile(c.text);
    ASSERT_FALSE(parsed.ok()) << c.text;
    EXPECT_NE(parsed.message().find(c.expected), std::string::npos)
        << "got: " << parsed.message() << "\nwanted: " << c.expected;
  }
}

}  // namespace
}  // namespace norwin::platform
