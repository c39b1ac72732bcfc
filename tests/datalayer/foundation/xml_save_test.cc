// Saving documents: whole files, and the old file kept whenever a save fails.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "datalayer/foundation/xml_test_util.h"
#include "norwin/datalayer/xml_dom.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using testing::ParseXml;
using testing::TextOf;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> FolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Roster(int students) {
  std::string xml = "<students autoStudentID=\"" + std::to_string(students) + "\">";
  for (int i = 1; i <= students; ++i)
    xml += "<student><id>SID" + std::to_string(10000 + i) +
           "</id><name><first>Ann\u00E9</first>"
           "<last>Lee</last></name><username>u" +
           std::to_string(i) + "</username></student>";
  return xml + "</students>";
}

TEST(XmlSaveTest, WritesUtf8WithDeclarationThatLoadsBack) {
  norwin::testing::TempDir dir;
  const fs::path path = dir.path() / "students.xml";
  auto doc = ParseXml(Roster(3));
  ASSERT_TRUE(doc->Save(path).ok());
  const std::string written = ReadFile(path);
  EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<students", 0), 0u);
  EXPECT_NE(written.find("Ann\u00E9"), std::string::npos);

  XmlDocument back;
  ASSERT_TRUE(back.Load(path).ok()) << back.ParseError().reason;
  EXPECT_EQ(back.Xml(), doc->Xml());
  EXPECT_EQ(back.DocumentElement().ChildNodes().Length(), 3u);

  // Indenting the file changes no text: not in mixed content, CDATA or values.
  auto mixed = ParseXml(
      "<lesson title=\"a&#10;b\"><task>Press <b>Start</b>, then <i>wait</i>.</task>"
      "<note><![CDATA[ keep  this ]]></note><deep><er><est>x</est></er></deep></lesson>");
  ASSERT_TRUE(mixed->Save(path).ok());
  ASSERT_TRUE(back.Load(path).ok());
  EXPECT_EQ(back.Xml(), mixed->Xml());
  EXPECT_EQ(TextOf(back.Node(), "/lesson/task"), "Press Start, then wait.");

  // Saving again replaces the file whole and leaves no temporary file behind.
  ASSERT_TRUE(doc->LoadXml(Roster(1)).ok());
  ASSERT_TRUE(doc->Save(path).ok());
  ASSERT_TRUE(back.Load(path).ok());
  EXPECT_EQ(back.DocumentElement().ChildNodes().Length(), 1u);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"students.xml"});
}

TEST(XmlSaveTest, CarriageReturnsAndBlankTextSurviveSaveAndLoad) {
  norwin::testing::TempDir dir;
  const fs::path path = dir.path() / "student.xml";
  // Blank text (here beside text that holds the word the writer uses to
  // find blanks) is kept; layout between elements is not text.
  auto doc = ParseXml(
      "<student>\n <first>Ann&#13;\nMarie</first>\n <name>Ann<i>&#32;</i>Marie</name>"
      "<last>NorwinBlankText</last><note a=\"x&#13;y\"/><answer/></student>");
  ASSERT_EQ(TextOf(doc->Node(), "/student/first"), "Ann\r\nMarie");
  ASSERT_TRUE(doc->DocumentElement().LastChild().SetText("\t\r\n").ok());
  ASSERT_TRUE(doc->Save(path).ok());
  EXPECT_NE(ReadFile(path).find("Ann&#13;\nMarie"), std::string::npos) << ReadFile(path);
  for (const bool from_file : {true, false}) {
    XmlDocument back;
    ASSERT_TRUE((from_file ? back.Load(path) : back.LoadXml(doc->Xml())).ok());
    EXPECT_EQ(TextOf(back.Node(), "/student/first"), "Ann\r\nMarie");
    EXPECT_EQ(TextOf(back.Node(), "/student/name"), "Ann Marie");
    EXPECT_EQ(TextOf(back.Node(), "/student/last"), "NorwinBlankText");
    EXPECT_EQ(testing::Select(back.Node(), "/student/answer").Xml(),
              "<answer>&#9;&#13;&#10;</answer>");
    EXPECT_EQ(back.Xml(), doc->Xml());
  }
  EXPECT_EQ(doc->Xml(),
            "<student><first>Ann&#13;\nMarie</first><name>Ann<i>&#32;</i>Marie</name>"
            "<last>NorwinBlankText</last><note a=\"x&#13;y\"/><answer>&#9;&#13;&#10;</answer>"
            "</student>");
  // A CDATA section cannot hold a reference: it is written as it is.
  auto verbatim = ParseXml("<r><![CDATA[c]]>e</r>");
  ASSERT_TRUE(verbatim->DocumentElement().FirstChild().SetText("c\rd").ok());
  ASSERT_TRUE(verbatim->DocumentElement().FirstChild().NextSibling().SetText("e\r").ok());
  EXPECT_EQ(verbatim->Xml(), "<r><![CDATA[c\rd]]>e&#13;</r>");
}

TEST(XmlSaveTest, KeepsPermissionsAndFollowsLinks) {
  norwin::testing::TempDir dir;
  const fs::path real = dir.path() / "real.xml";
  const fs::path link = dir.path() / "link.xml";
  std::ofstream(real) << "<old/>";
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, link);

  auto doc = ParseXml("<new/>");
  ASSERT_TRUE(doc->Save(link).ok());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(ReadFile(real).find("<new />"), std::string::npos);
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(XmlSaveTest, FailedSavesLeaveTheOldFile) {
  norwin::testing::TempDir dir;
  const fs::path path = dir.path() / "students.xml";
  const std::string old_content = "<?xml version=\"1.0\"?>\n<students autoStudentID=\"1\"/>\n";
  std::ofstream(path) << old_content;
  auto doc = ParseXml(Roster(200));

  // A file marked read-only (the roster's lock) is refused, as the records expect.
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Status status = doc->Save(path);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find("read-only"), std::string::npos);
  EXPECT_EQ(ReadFile(path), old_content);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);

  // The disk fills up while writing: here, a file size limit in a child process.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const Status s = doc->Save(path);
    _exit(s.ok() ? 1 : s.message().find(path.string()) == std::string::npos ? 2 : 0);
  }
  int wstatus = 0;
  ASSERT_EQ(waitpid(child, &wstatus, 0), child);
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
  EXPECT_EQ(ReadFile(path), old_content);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"students.xml"});

  // A document without a root element would not load again: not written.
  XmlDocument empty;
  EXPECT_FALSE(empty.Save(path).ok());
  EXPECT_EQ(ReadFile(path), old_content);

  // A folder that does not exist, and a folder in place of the file.
  EXPECT_FALSE(doc->Save(dir.path() / "none" / "x.xml").ok());
  EXPECT_FALSE(fs::exists(dir.path() / "none"));
  fs::create_directory(dir.path() / "sub");
  EXPECT_FALSE(doc->Save(dir.path() / "sub").ok());
  EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));

  // And the same document saves once nothing is in the way.
  ASSERT_TRUE(doc->Save(path).ok());
  XmlDocument back;
  ASSERT_TRUE(back.Load(path).ok());
  EXPECT_EQ(TextOf(back.Node(), "/students/student[200]/id"), "SID10200");
}

}  // namespace
}  // namespace norwin::datalayer
