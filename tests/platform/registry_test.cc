#include "norwin/platform/registry.h"

#include <gtest/gtest.h>

#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

using norwin::testing::TempPrefix;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Result<std::unique_ptr<Registry>> opened = Registry::OpenDefault();
    ASSERT_TRUE(opened.ok()) << opened.message();
    reg_ = std::move(*opened);
  }

  void Set(std::string_view key, std::string_view name, const RegValue& value) {
    Status s = reg_->SetValue(key, name, value);
    ASSERT_TRUE(s.ok()) << s.message();
  }
  std::optional<RegValue> Get(std::string_view key, std::string_view name) {
    Result<std::optional<RegValue>> got = reg_->GetValue(key, name);
    EXPECT_TRUE(got.ok()) << got.message();
    return got.ok() ? *got : std::nullopt;
  }
  std::vector<std::string> ValueNames(std::string_view key) {
    Result<std::vector<RegNamedValue>> values = reg_->Values(key);
    EXPECT_TRUE(values.ok()) << values.message();
    std::vector<std::string> names;
    if (values.ok()) {
      for (const RegNamedValue& v : *values) names.push_back(v.name);
    }
    return names;
  }
  bool Exists(std::string_view key) {
    Result<bool> exists = reg_->KeyExists(key);
    EXPECT_TRUE(exists.ok()) << exists.message();
    return exists.ok() && *exists;
  }

  TempPrefix prefix_;
  std::unique_ptr<Registry> reg_;
};

TEST(RegistryKeyTest, NormalizesRootsAndRefusesMalformedPaths) {
  EXPECT_EQ(*Registry::NormalizeKey("hklm\\Software\\"), "HKEY_LOCAL_MACHINE\\Software");
  EXPECT_EQ(*Registry::NormalizeKey("HKEY_current_USER"), "HKEY_CURRENT_USER");
  EXPECT_EQ(*Registry::NormalizeKey("HKCR\\.htm"), "HKEY_CLASSES_ROOT\\.htm");
  EXPECT_EQ(*Registry::NormalizeKey("hku\\x"), "HKEY_USERS\\x");
  EXPECT_EQ(*Registry::NormalizeKey("HKPD\\x y\\Z"), "HKEY_PERFORMANCE_DATA\\x y\\Z");

  Result<std::string> unknown = Registry::NormalizeKey("HKXX\\Software");
  ASSERT_FALSE(unknown.ok());
  EXPECT_NE(unknown.message().find("unknown root key 'HKXX'"), std::string::npos);
  for (std::string_view bad : {"", "\\HKLM\\a", "HKLM\\a\\\\b", "HKLM\\\\", "HKLM\\a\tb",
                               "HKLM\\\xC3", "HKEY_LOCAL_MACHINEX\\a", "HKLM/Software"}) {
    EXPECT_FALSE(Registry::NormalizeKey(bad).ok()) << bad;
  }

  // Names are limited to 255 UTF-16 units, as on Windows: a character beyond
  // the basic plane counts twice.
  std::string longest = "HKLM\\";
  for (int i = 0; i < 255; ++i) longest += "\u00E9";
  EXPECT_TRUE(Registry::NormalizeKey(longest).ok());
  EXPECT_FALSE(Registry::NormalizeKey(longest + "e").ok());
  std::string astral = "HKLM\\";
  for (int i = 0; i < 128; ++i) astral += "\U0001F600";
  EXPECT_FALSE(Registry::NormalizeKey(astral).ok());

  // Keys are at most 512 levels deep and their paths 4096 characters long.
  std::string deep = "HKCU";
  for (int i = 0; i < 512; ++i) deep += "\\k";
  EXPECT_TRUE(Registry::NormalizeKey(deep).ok());
  Result<std::string> deeper = Registry::NormalizeKey(deep + "\\k");
  ASSERT_FALSE(deeper.ok());
  EXPECT_NE(deeper.message().find("more than 512 levels deep"), std::string::npos);
  std::string wide = "HKEY_CURRENT_USER";
  for (int i = 0; i < 16; ++i) wide += "\\" + std::string(i < 15 ? 254 : 253, 'n');
  EXPECT_TRUE(Registry::NormalizeKey(wide).ok());  // 4096 characters
  Result<std::string> wider = Registry::NormalizeKey(wide + "x");
  ASSERT_FALSE(wider.ok());
  EXPECT_NE(wider.message().find("longer than 4096 characters"), std::string::npos);
}

TEST_F(RegistryTest, NamesIgnoreCaseBeyondAsciiAndKeepTheirFirstCase) {
  Set("HKCU\\Software\\\u00C4rger", "Gr\u00F6\u00DFe", RegValue::String("1"));
  EXPECT_EQ(Get("hkcu\\SOFTWARE\\\u00E4RGER", "GR\u00D6\u00DFE"), RegValue::String("1"));

  // Greek: the final sigma folds with the others; an accent still counts.
  Set("HKCU\\Software\\\u00C4rger", "\u03C3\u03AF\u03C3\u03C5\u03C6\u03BF\u03C2",
      RegValue::Dword(7));
  EXPECT_EQ(Get("HKCU\\Software\\\u00C4rger", "\u03A3\u038A\u03A3\u03A5\u03A6\u039F\u03A3"),
            RegValue::Dword(7));
  EXPECT_EQ(Get("HKCU\\Software\\\u00C4rger", "\u03A3\u0399\u03A3\u03A5\u03A6\u039F\u03A3"),
            std::nullopt);

  // Writing through another spelling changes the value, not its name.
  Set("HKCU\\SOFTWARE\\\u00E4rger", "gR\u00D6\u00DFe", RegValue::String("2"));
  EXPECT_EQ(
      ValueNames("HKCU\\Software\\\u00C4rger"),
      (std::vector<std::string>{"Gr\u00F6\u00DFe", "\u03C3\u03AF\u03C3\u03C5\u03C6\u03BF\u03C2"}));
  EXPECT_EQ(Get("HKCU\\Software\\\u00C4rger", "Gr\u00F6\u00DFe"), RegValue::String("2"));

  // A key reached through another spelling is the same key.
  ASSERT_TRUE(reg_->CreateKey("HKCU\\software\\\u00C4RGER\\Sub").ok());
  EXPECT_EQ(*reg_->SubKeys("HKCU\\Software"), (std::vector<std::string>{"\u00C4rger"}));
  EXPECT_EQ(*reg_->SubKeys("HKCU\\Software\\\u00E4rger"), (std::vector<std::string>{"Sub"}));

  // Characters are compared one by one: "ß" is not "SS".
  Set("HKCU\\Software", "\u00DF", RegValue::String("sharp s"));
  Set("HKCU\\Software", "SS", RegValue::String("double s"));
  EXPECT_EQ(Get("HKCU\\Software", "ss"), RegValue::String("double s"));
  EXPECT_EQ(Get("HKCU\\Software", "\u00DF"), RegValue::String("sharp s"));
  EXPECT_TRUE(Registry::SameName("\u00E4Rger", "\u00C4rGER"));
  EXPECT_FALSE(Registry::SameName("\u00DF", "SS"));
}

TEST_F(RegistryTest, EveryTypeReadsBackExactlyAndInTheOrderFirstSet) {
  const std::vector<RegNamedValue> values = {
      {"text", RegValue::String("caf\u00E9 \"quoted\" C:\\path")},
      {"", RegValue::String("the default")},
      {"empty", RegValue::String("")},
      {"expand", RegValue::String("%SystemRoot%\\x", RegType::kExpandSz)},
      {"zero", RegValue::Dword(0)},
      {"max", RegValue::Dword(0xFFFFFFFF)},
      {"bytes", RegValue::Binary(std::string("\0\x01\xFF\0", 4))},
      {"no bytes", RegValue::Binary("")},
      {"list", RegValue::MultiString({"one", "t\u00E9o", "\U0001F600"})},
      {"empty list", RegValue::MultiString({})},
  };
  for (const RegNamedValue& v : values) Set("HKLM\\Software\\Types", v.name, v.value);
  for (const RegNamedValue& v : values) {
    EXPECT_EQ(Get("HKLM\\Software\\Types", v.name), v.value) << v.name;
  }
  EXPECT_EQ(Get("HKLM\\Software\\Types", "missing"), std::nullopt);
  EXPECT_EQ(Get("HKLM\\Software\\Missing", "text"), std::nullopt);

  // Overwriting keeps the place and the name's case, and may change the type.
  Set("HKLM\\Software\\Types", "TEXT", RegValue::Dword(5));
  std::vector<RegNamedValue> expected = values;
  expected[0].value = RegValue::Dword(5);

  // A second connection reads what the first wrote.
  reg_.reset();
  Result<std::unique_ptr<Registry>> reopened = Registry::OpenDefault();
  ASSERT_TRUE(reopened.ok()) << reopened.message();
  Result<std::vector<RegNamedValue>> stored = (*reopened)->Values("HKLM\\Software\\Types");
  ASSERT_TRUE(stored.ok()) << stored.message();
  EXPECT_EQ(*stored, expected);
}

TEST_F(RegistryTest, RefusesWhatCannotBeStoredAndStoresNothing) {
  const char* kKey = "HKCU\\Software\\Refused";
  const std::pair<std::string, RegValue> bad[] = {
      {"line\nbreak", RegValue::String("x")},
      {"ok", RegValue::String(std::string("nul\0inside", 10))},
      {"ok", RegValue::String("\xC3\x28")},
      {"\xFF", RegValue::Dword(1)},
      {"ok", RegValue::MultiString({"a", "", "b"})},
      {"ok", RegValue::MultiString({std::string("a\0b", 3)})},
      {"ok", RegValue{static_cast<RegType>(11), "", 0, {}, ""}},
  };
  for (const auto& [name, value] : bad) {
    EXPECT_FALSE(Registry::ValidateValue(name, value).ok()) << name;
    Status s = reg_->SetValue(kKey, name, value);
    EXPECT_FALSE(s.ok()) << name;
    EXPECT_FALSE(s.message().empty());
  }
  EXPECT_FALSE(Exists(kKey));
  EXPECT_FALSE(reg_->SetValue("HKXX\\a", "x", RegValue::Dword(1)).ok());
  EXPECT_FALSE(reg_->CreateKey("HKCU\\a\\\\b").ok());
  EXPECT_FALSE(Exists("HKCU\\a"));
}

TEST_F(RegistryTest, DeleteKeyRemovesSubKeysOnlyWhenAskedAndNothingBeside) {
  Set("HKCU\\T", "top", RegValue::Dword(1));
  Set("HKCU\\T\\A", "a", RegValue::Dword(2));
  Set("HKCU\\T\\A\\B", "b", RegValue::Dword(3));
  // Neighbours whose paths share the prefix "HKCU\T" must survive.
  Set("HKCU\\T A", "neighbour", RegValue::Dword(4));
  Set("HKCU\\TX", "neighbour", RegValue::Dword(5));
  Set("HKCU\\T]", "neighbour", RegValue::Dword(6));

  Status refused = reg_->DeleteKey("HKCU\\t", Recursive::kNo);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("sub-keys"), std::string::npos) << refused.message();
  EXPECT_EQ(Get("HKCU\\T\\A\\B", "b"), RegValue::Dword(3));

  ASSERT_TRUE(reg_->DeleteKey("HKCU\\T\\A\\B", Recursive::kNo).ok());
  EXPECT_FALSE(Exists("HKCU\\T\\A\\B"));
  EXPECT_TRUE(Exists("HKCU\\T\\A"));

  Set("HKCU\\T\\A\\C", "c", RegValue::Dword(7));
  ASSERT_TRUE(reg_->DeleteKey("hkcu\\t", Recursive::kYes).ok());
  for (const char* gone : {"HKCU\\T", "HKCU\\T\\A", "HKCU\\T\\A\\C"}) {
    EXPECT_FALSE(Exists(gone)) << gone;
  }
  EXPECT_EQ(Get("HKCU\\T A", "neighbour"), RegValue::Dword(4));
  EXPECT_EQ(Get("HKCU\\TX", "neighbour"), RegValue::Dword(5));
  EXPECT_EQ(Get("HKCU\\T]", "neighbour"), RegValue::Dword(6));

  // A key made again under the old name starts empty: no values linger.
  ASSERT_TRUE(reg_->CreateKey("HKCU\\T\\A").ok());
  EXPECT_TRUE(ValueNames("HKCU\\T").empty());
  EXPECT_TRUE(ValueNames("HKCU\\T\\A").empty());

  EXPECT_FALSE(reg_->DeleteKey("HKCU\\Missing", Recursive::kYes).ok());
  EXPECT_FALSE(reg_->DeleteKey("HKEY_CURRENT_USER", Recursive::kYes).ok());
  EXPECT_TRUE(Exists("HKCU"));

  EXPECT_FALSE(reg_->DeleteValue("HKCU\\TX", "missing").ok());
  EXPECT_FALSE(reg_->DeleteValue("HKCU\\Missing", "x").ok());
  ASSERT_TRUE(reg_->DeleteValue("HKCU\\TX", "NEIGHBOUR").ok());
  EXPECT_TRUE(ValueNames("HKCU\\TX").empty());
}

TEST_F(RegistryTest, ListsSubKeysWithoutRegardToCaseAndTreesParentsFirst) {
  for (const char* key :
       {"HKLM\\S\\b", "HKLM\\S\\A", "HKLM\\S\\C", "HKLM\\S\\a2", "HKLM\\S\\A\\X", "HKLM\\S\\A B"}) {
    ASSERT_TRUE(reg_->CreateKey(key).ok()) << key;
  }
  EXPECT_EQ(*reg_->SubKeys("HKLM\\S"), (std::vector<std::string>{"A", "A B", "a2", "b", "C"}));
  EXPECT_FALSE(reg_->SubKeys("HKLM\\Missing").ok());
  EXPECT_FALSE(reg_->Values("HKLM\\Missing").ok());
  EXPECT_FALSE(reg_->ReadTree("HKLM\\Missing").ok());

  Set("HKLM\\S\\A\\X", "x", RegValue::String("deep"));
  Set("HKLM\\S", "top", RegValue::Dword(1));
  Result<std::vector<RegKeyContents>> tree = reg_->ReadTree("hklm\\s");
  ASSERT_TRUE(tree.ok()) << tree.message();
  std::vector<std::string> paths;
  for (const RegKeyContents& key : *tree) paths.push_back(key.path);
  EXPECT_EQ(paths,
            (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\s", "HKEY_LOCAL_MACHINE\\s\\A",
                                      "HKEY_LOCAL_MACHINE\\s\\A\\X", "HKEY_LOCAL_MACHINE\\s\\A B",
                                      "HKEY_LOCAL_MACHINE\\s\\a2", "HKEY_LOCAL_MACHINE\\s\\b",
                                      "HKEY_LOCAL_MACHINE\\s\\C"}));
  EXPECT_EQ((*tree)[0].values, (std::vector<RegNamedValue>{{"top", RegValue::Dword(1)}}));
  EXPECT_EQ((*tree)[2].values, (std::vector<RegNamedValue>{{"x", RegValue::String("deep")}}));
  EXPECT_TRUE((*tree)[1].values.empty());
}

TEST_F(RegistryTest, ApplyChangesAllOrNothing) {
  Set("HKCU\\Keep", "v", RegValue::Dword(1));
  Set("HKCU\\Old\\Sub", "v", RegValue::Dword(2));

  const std::vector<RegEdit> faulty = {
      RegEdit::SetValue("HKCU\\New", "a", RegValue::Dword(3)),
      RegEdit::DeleteTree("HKCU\\Old"),
      RegEdit::DeleteValue("HKCU\\Keep", "v"),
      RegEdit::SetValue("HKCU\\New", "bad\tname", RegValue::Dword(4)),
  };
  EXPECT_FALSE(reg_->Apply(faulty).ok());
  EXPECT_FALSE(Exists("HKCU\\New"));
  EXPECT_EQ(Get("HKCU\\Old\\Sub", "v"), RegValue::Dword(2));
  EXPECT_EQ(Get("HKCU\\Keep", "v"), RegValue::Dword(1));
  EXPECT_FALSE(reg_->Apply(std::vector<RegEdit>{RegEdit::DeleteTree("HKLM")}).ok());

  // Deleting what is not there is no fault inside a batch.
  const std::vector<RegEdit> good = {
      RegEdit::CreateKey("HKCU\\Empty"),
      RegEdit::SetValue("HKCU\\New", "a", RegValue::Dword(3)),
      RegEdit::DeleteTree("HKCU\\Old"),
      RegEdit::DeleteTree("HKCU\\Never"),
      RegEdit::DeleteValue("HKCU\\Keep", "v"),
      RegEdit::DeleteValue("HKCU\\Keep", "never"),
      RegEdit::DeleteValue("HKCU\\Never", "v"),
  };
  Status s = reg_->Apply(good);
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_TRUE(Exists("HKCU\\Empty"));
  EXPECT_EQ(Get("HKCU\\New", "a"), RegValue::Dword(3));
  EXPECT_FALSE(Exists("HKCU\\Old"));
  EXPECT_FALSE(Exists("HKCU\\Never"));
  EXPECT_TRUE(ValueNames("HKCU\\Keep").empty());
}

TEST(RegTypeTest, NamesAndNumbers) {
  EXPECT_EQ(RegTypeFromName("reg_multi_sz"), RegType::kMultiSz);
  EXPECT_EQ(RegTypeFromName("REG_EXPAND_SZ"), RegType::kExpandSz);
  EXPECT_EQ(RegTypeFromName("REG_QWORD"), std::nullopt);
  EXPECT_EQ(RegTypeFromName("REG_SZX"), std::nullopt);
  EXPECT_STREQ(RegTypeName(RegType::kBinary), "REG_BINARY");
  EXPECT_EQ(static_cast<uint32_t>(RegType::kDword), 4u);
  EXPECT_EQ(static_cast<uint32_t>(RegType::kMultiSz), 7u);
}

TEST_F(RegistryTest, ChangeStampFollowsEveryWriteOfEveryConnection) {
  const uint64_t start = reg_->ChangeStamp();
  EXPECT_EQ(reg_->ChangeStamp(), start);  // reading changes nothing
  ASSERT_TRUE(reg_->GetValue("HKEY_CURRENT_USER\\Software", "x").ok());
  EXPECT_EQ(reg_->ChangeStamp(), start);
  Set("HKEY_CURRENT_USER\\Software\\Stamp", "a", RegValue::Dword(1));
  const uint64_t own = reg_->ChangeStamp();
  EXPECT_NE(own, start);
  Result<std::unique_ptr<Registry>> other = Registry::OpenDefault();
  ASSERT_TRUE(other.ok()) << other.message();
  ASSERT_TRUE(
      (*other)->SetValue("HKEY_CURRENT_USER\\Software\\Stamp", "a", RegValue::Dword(2)).ok());
  EXPECT_NE(reg_->ChangeStamp(), own);
}

}  // namespace
}  // namespace norwin::platform
