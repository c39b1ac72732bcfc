#include "norwin/platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <limits>

#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

namespace fs = std::filesystem;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ProfileTest : public ::testing::Test {
 protected:
  fs::path File(std::string_view bytes) {
    const fs::path path = dir_.path() / ("p" + std::to_string(++count_) + ".cfg");
    WriteBytes(path, bytes);
    return path;
  }
  TempDir dir_;
  int count_ = 0;
};

TEST_F(ProfileTest, FollowsTheWindowsLookupRules) {
  const fs::path cfg = File(
      "orphan=before any section\r\n"
      "; run=commented out\r\n"
      "  [ General ]  \r\n"
      "Run  =  \\course\\start.htm  \r\n"
      "RUN=second run is ignored\r\n"
      "title=\"Algebra \"\"One\"\"\" \r\n"
      "single='quoted'\r\n"
      "mixed=\"not matching'\r\n"
      "lonely=\"\r\n"
      "note=value ; not a comment\r\n"
      "no equals sign here\r\n"
      "\t tabbed\t=\t x \t\r\n"
      "[general]\r\n"
      "redirKey=from the second general section\r\n"
      "[other]\r\n"
      "run=other section\r\n");
  auto get = [&](std::string_view section, std::string_view key) {
    return GetPrivateProfileString(section, key, "<default>", 260, cfg);
  };
  EXPECT_EQ(get("GENERAL", "run"), "\\course\\start.htm");
  EXPECT_EQ(get("general", "title"), "Algebra \"\"One\"\"");
  EXPECT_EQ(get("general", "single"), "quoted");
  EXPECT_EQ(get("general", "mixed"), "\"not matching'");
  EXPECT_EQ(get("general", "lonely"), "\"");
  EXPECT_EQ(get("general", "note"), "value ; not a comment");
  EXPECT_EQ(get("general", "tabbed"), "x");
  EXPECT_EQ(get("general", "no equals sign here"), "<default>");
  EXPECT_EQ(get("general", "orphan"), "<default>");
  // Only the first section of a name is searched.
  EXPECT_EQ(get("general", "redirKey"), "<default>");
  EXPECT_EQ(get("Other", "RUN"), "other section");
  EXPECT_EQ(get("missing", "run"), "<default>");

  Result<Profile> profile = Profile::Load(cfg);
  ASSERT_TRUE(profile.ok()) << profile.message();
  EXPECT_EQ(profile->SectionNames(), (std::vector<std::string>{"General", "other"}));
  EXPECT_EQ(
      profile->KeyNames("GENERAL"),
      (std::vector<std::string>{"Run", "title", "single", "mixed", "lonely", "note", "tabbed"}));
}

TEST_F(ProfileTest, CutsValuesAndDefaultsToTheBuffer) {
  const fs::path cfg = File("[general]\nrun=abcdef\ntitle=caf\xC3\xA9s\n");
  EXPECT_EQ(GetPrivateProfileString("general", "run", "", 7, cfg), "abcdef");
  EXPECT_EQ(GetPrivateProfileString("general", "run", "", 4, cfg), "abc");
  EXPECT_EQ(GetPrivateProfileString("general", "run", "", 1, cfg), "");
  EXPECT_EQ(GetPrivateProfileString("general", "run", "", 0, cfg), "");
  // Characters are counted, not bytes: é is one character.
  EXPECT_EQ(GetPrivateProfileString("general", "title", "", 5, cfg), "caf\xC3\xA9");
  // The default loses its trailing blanks and is cut the same way.
  EXPECT_EQ(GetPrivateProfileString("general", "none", "  YES  ", 12, cfg), "  YES");
  EXPECT_EQ(GetPrivateProfileString("general", "none", "Software\\Norwin", 9, cfg), "Software");
  EXPECT_EQ(GetPrivateProfileString("general", "none", "x", 260, dir_.path() / "missing.cfg"), "x");
}

TEST_F(ProfileTest, ReadsIntegersFromLeadingDigits) {
  const fs::path cfg = File(
      "[general]\ncx=\ncy=  -480px\nwide=+1024\nquoted='640'\nword=big\n"
      "huge=99999999999\ntiny=-99999999999\nsign=-\n");
  EXPECT_EQ(GetPrivateProfileInt("general", "cx", 800, cfg), 0);
  EXPECT_EQ(GetPrivateProfileInt("general", "cy", 600, cfg), -480);
  EXPECT_EQ(GetPrivateProfileInt("general", "wide", 1, cfg), 1024);
  EXPECT_EQ(GetPrivateProfileInt("general", "quoted", 1, cfg), 640);
  EXPECT_EQ(GetPrivateProfileInt("general", "word", 1, cfg), 0);
  EXPECT_EQ(GetPrivateProfileInt("general", "sign", 1, cfg), 0);
  EXPECT_EQ(GetPrivateProfileInt("general", "huge", 1, cfg), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(GetPrivateProfileInt("general", "tiny", 1, cfg), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(GetPrivateProfileInt("general", "absent", 800, cfg), 800);
  EXPECT_EQ(GetPrivateProfileInt("absent", "cx", 800, cfg), 800);
  EXPECT_EQ(GetPrivateProfileInt("general", "cx", 800, dir_.path() / "missing.cfg"), 800);
}

TEST_F(ProfileTest, ReadsEveryTextEncodingOfSettingsFiles) {
  // Windows-1252, as course discs were written: é is E9, the euro sign 80.
  EXPECT_EQ(GetPrivateProfileString("general", "title", "", 260,
                                    File("[general]\r\ntitle=Caf\xE9 \x80 5\r\n")),
            "Caf\xC3\xA9 \xE2\x82\xAC 5");
  // UTF-8 with a byte-order mark before the first section.
  EXPECT_EQ(GetPrivateProfileString("general", "title", "", 260,
                                    File("\xEF\xBB\xBF[general]\ntitle=Caf\xC3\xA9\n")),
            "Caf\xC3\xA9");
  // UTF-16 little-endian with its byte-order mark.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string_view("[general]\r\ncx=1024\r\n")) utf16 += {c, '\0'};
  EXPECT_EQ(GetPrivateProfileInt("general", "cx", 800, File(utf16)), 1024);
}

TEST_F(ProfileTest, TreatsFilesThatAreNotTextAsMissing) {
  const fs::path binary = File(std::string("[general]\nrun=x\n\0\x01\x02", 19));
  EXPECT_EQ(GetPrivateProfileString("general", "run", "none", 260, binary), "none");
  Result<Profile> loaded = Profile::Load(binary);
  ASSERT_FALSE(loaded.ok());
  EXPECT_NE(loaded.message().find("not a text file"), std::string::npos) << loaded.message();
  EXPECT_NE(loaded.message().find(binary.string()), std::string::npos) << loaded.message();

  const fs::path huge = File("[general]\nrun=x\n" + std::string(kMaxProfileBytes, ' '));
  EXPECT_EQ(GetPrivateProfileString("general", "run", "none", 260, huge), "none");
  EXPECT_NE(Profile::Load(huge).message().find("too large"), std::string::npos);

  // A folder or a pipe named as a settings file neither crashes nor hangs.
  EXPECT_EQ(GetPrivateProfileInt("general", "cx", 800, dir_.path()), 800);
  const fs::path fifo = dir_.path() / "fifo.cfg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(GetPrivateProfileString("general", "run", "none", 260, fifo), "none");

  // A writer never replaces such a file.
  Status refused = WritePrivateProfileString("general", "run", "y", binary);
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(ReadBytes(binary), std::string("[general]\nrun=x\n\0\x01\x02", 19));
}

TEST_F(ProfileTest, WritesKeepEverythingElseInPlace) {
  const fs::path cfg = File(
      "; course settings\r\n[general]\r\nrun=old.htm\r\ntitle=Course\r\n\r\n[extra]\r\nk=v\r\n");
  ASSERT_TRUE(WritePrivateProfileString("GENERAL", "RUN", "new.htm", cfg).ok());
  ASSERT_TRUE(WritePrivateProfileString("general", "cx", "1024", cfg).ok());
  ASSERT_TRUE(WritePrivateProfileString("added", "beep", "no", cfg).ok());
  EXPECT_EQ(ReadBytes(cfg),
            "; course settings\r\n[general]\r\nRUN=new.htm\r\ntitle=Course\r\ncx=1024\r\n\r\n"
            "[extra]\r\nk=v\r\n[added]\r\nbeep=no\r\n");

  ASSERT_TRUE(DeletePrivateProfileKey("general", "title", cfg).ok());
  ASSERT_TRUE(DeletePrivateProfileSection("EXTRA", cfg).ok());
  ASSERT_TRUE(DeletePrivateProfileKey("general", "absent", cfg).ok());
  ASSERT_TRUE(DeletePrivateProfileSection("absent", cfg).ok());
  EXPECT_EQ(
      ReadBytes(cfg),
      "; course settings\r\n[general]\r\nRUN=new.htm\r\ncx=1024\r\n\r\n[added]\r\nbeep=no\r\n");

  // A Windows-1252 file is rewritten as UTF-8 without losing a character.
  const fs::path ansi = File("[general]\ntitle=Caf\xE9\n");
  ASSERT_TRUE(WritePrivateProfileString("general", "run", "x", ansi).ok());
  EXPECT_EQ(ReadBytes(ansi), "[general]\ntitle=Caf\xC3\xA9\nrun=x\n");

  const fs::path fresh = dir_.path() / "sub" / "new.cfg";
  ASSERT_TRUE(WritePrivateProfileString("general", "title", "\"Quoted\" title", fresh).ok());
  EXPECT_EQ(GetPrivateProfileString("general", "title", "", 260, fresh), "\"Quoted\" title");
  EXPECT_EQ(ReadBytes(fresh), "[general]\ntitle=\"Quoted\" title\n");
}

TEST_F(ProfileTest, RefusesNamesAndValuesThatWouldBreakTheFile) {
  const fs::path cfg = File("[general]\nrun=x\n");
  EXPECT_FALSE(WritePrivateProfileString("", "k", "v", cfg).ok());
  EXPECT_FALSE(WritePrivateProfileString("a]b", "k", "v", cfg).ok());
  EXPECT_FALSE(WritePrivateProfileString("general", "", "v", cfg).ok());
  EXPECT_FALSE(WritePrivateProfileString("general", "a=b", "v", cfg).ok());
  EXPECT_FALSE(WritePrivateProfileString("general", "[k", "v", cfg).ok());
  EXPECT_FALSE(WritePrivateProfileString("general", ";k", "v", cfg).ok());
  EXPECT_FALSE(WritePrivateProfileString("general", "k", "two\nlines", cfg).ok());
  EXPECT_FALSE(WritePrivateProfileString("gen\neral", "k", "v", cfg).ok());
  EXPECT_EQ(ReadBytes(cfg), "[general]\nrun=x\n");
}

TEST(UserProfileTest, LivesInThePrefixFolder) {
  TempPrefix prefix;
  EXPECT_EQ(UserProfilePath(), prefix.path() / "profile.ini");
  EXPECT_EQ(GetProfileString("windows", "Beep", "YES", 12), "YES");
  ASSERT_TRUE(WriteProfileString("Windows", "beep", "no").ok());
  EXPECT_EQ(GetProfileString("windows", "Beep", "YES", 12), "no");
  EXPECT_EQ(ReadBytes(prefix.path() / "profile.ini"), "[Windows]\nbeep=no\n");
  // A bare file name also means a file in the prefix folder.
  EXPECT_EQ(GetPrivateProfileString("WINDOWS", "BEEP", "", 12, "profile.ini"), "no");
  ASSERT_TRUE(WritePrivateProfileString("general", "cx", "640", "lumo.ini").ok());
  EXPECT_EQ(GetPrivateProfileInt("general", "cx", 800, prefix.path() / "lumo.ini"), 640);
}

}  // namespace
}  // namespace norwin::platform
