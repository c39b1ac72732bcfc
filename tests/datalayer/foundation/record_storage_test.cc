// Records in local folders: load, save (whole files), delete and folder
// listings, with Windows paths resolved through the drives; and the
// splitting of server listings.
#include "norwin/datalayer/record_storage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/platform/drives.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::AutomationError;
using testing::TempDir;
using testing::TempPrefix;

const RecordKind kStudents{"Students", RequestShape::kB};

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
}

// A roster of one student, built the way record classes build documents.
void BuildRoster(XmlDocument& doc, std::string_view name) {
  XmlNode root = NewRecordRoot(doc, "students");
  SetAttributeText(root, "autoStudentID", "12");
  XmlNode student = AppendElement(root, "student");
  AppendTextElement(student, "id", "SID00012");
  AppendTextElement(student, "username", name);
  AppendValueElement(student, "active", automation::Variant(true));
}

class RecordStorageTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ResetDrivesForTesting(); }
  void TearDown() override { platform::ResetDrivesForTesting(); }

  TempPrefix prefix_;
  TempDir folder_;
};

TEST_F(RecordStorageTest, SavedRecordLoadsBackWithTheSameContent) {
  const std::string file = (folder_.path() / "roster.xml").string();
  XmlDocument doc;
  BuildRoster(doc, "Zoë");
  EXPECT_TRUE(SaveRecord(doc, file, kStudents));

  XmlDocument loaded;
  ASSERT_TRUE(LoadRecord(loaded, file, kStudents));
  const XmlNode root = loaded.DocumentElement();
  EXPECT_EQ(root.NodeName(), "students");
  EXPECT_EQ(AttributeText(root, "autoStudentID"), "12");
  const XmlNode student = root.FirstChild();
  EXPECT_EQ(RequiredChildText(student, "id"), "SID00012");
  EXPECT_EQ(ChildText(student, "username"), "Zoë");
  EXPECT_EQ(ChildText(student, "active"), "True");
  EXPECT_EQ(ChildText(student, "password"), std::nullopt);
  EXPECT_EQ(AttributeText(root, "missing"), std::nullopt);
  try {
    (void)RequiredChildText(student, "name");
    ADD_FAILURE() << "a missing required child must fail";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, automation::HResultFromRuntimeError(automation::kObjectNotSet));
  }

  // Saving again replaces the file whole and leaves no temporary files.
  XmlDocument second;
  BuildRoster(second, "Al");
  EXPECT_TRUE(SaveRecord(second, file, kStudents));
  ASSERT_TRUE(LoadRecord(loaded, file, kStudents));
  EXPECT_EQ(ChildText(loaded.DocumentElement().FirstChild(), "username"), "Al");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 1);
}

TEST_F(RecordStorageTest, WindowsPathsResolveThroughTheDrives) {
  fs::create_directories(prefix_.path() / "drives");
  fs::create_directory_symlink(folder_.path(), prefix_.path() / "drives" / "d");
  fs::create_directory(folder_.path() / "Records");

  XmlDocument doc;
  BuildRoster(doc, "ann");
  // The folder is found without regard to case; the new file keeps its name.
  EXPECT_TRUE(SaveRecord(doc, "d:\\records\\Roster.xml", kStudents));
  ASSERT_TRUE(fs::exists(folder_.path() / "Records" / "Roster.xml"));

  XmlDocument loaded;
  EXPECT_TRUE(LoadRecord(loaded, "D:/RECORDS/roster.XML", kStudents));
  EXPECT_EQ(ChildText(loaded.DocumentElement().FirstChild(), "username"), "ann");
  // A drive that does not exist holds no records.
  EXPECT_FALSE(LoadRecord(loaded, "q:\\records\\Roster.xml", kStudents));
  EXPECT_TRUE(loaded.DocumentElement().IsNull());
  EXPECT_THROW((void)SaveRecord(doc, "q:\\records\\Roster.xml", kStudents), AutomationError);

  EXPECT_EQ(ListFolderFiles("d:\\records"), std::vector<std::string>{"Roster.xml"});
  EXPECT_TRUE(DeleteRecord("d:\\RECORDS\\roster.xml", kStudents));
  EXPECT_FALSE(fs::exists(folder_.path() / "Records" / "Roster.xml"));
}

TEST_F(RecordStorageTest, MissingOrMalformedRecordsDoNotLoad) {
  XmlDocument doc;
  EXPECT_FALSE(LoadRecord(doc, (folder_.path() / "none.xml").string(), kStudents));
  EXPECT_FALSE(LoadRecord(doc, "", kStudents));

  const fs::path broken = folder_.path() / "broken.xml";
  WriteText(broken, "<students><student></students>");
  EXPECT_FALSE(LoadRecord(doc, broken.string(), kStudents));
  EXPECT_TRUE(doc.DocumentElement().IsNull());
  EXPECT_FALSE(doc.ParseError().ok());

  WriteText(broken, "");
  EXPECT_FALSE(LoadRecord(doc, broken.string(), kStudents));
  // A folder is no record either.
  EXPECT_FALSE(LoadRecord(doc, folder_.path().string(), kStudents));
}

TEST_F(RecordStorageTest, FailedSaveRaisesAndKeepsTheOldFile) {
  XmlDocument doc;
  BuildRoster(doc, "new");
  try {
    (void)SaveRecord(doc, (folder_.path() / "no-such-folder" / "r.xml").string(), kStudents);
    ADD_FAILURE() << "saving into a missing folder must fail";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, kLocalWriteFailed);
    EXPECT_NE(e.description.find("r.xml"), std::string::npos) << e.description;
  }

  // A read-only record (the roster's lock) is not overwritten.
  const fs::path locked = folder_.path() / "locked.xml";
  WriteText(locked, "<students/>");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_THROW((void)SaveRecord(doc, locked.string(), kStudents), AutomationError);
  EXPECT_EQ(ReadText(locked), "<students/>");

  // A document without a root element is never written.
  XmlDocument empty;
  EXPECT_THROW((void)SaveRecord(empty, (folder_.path() / "empty.xml").string(), kStudents),
               AutomationError);
  EXPECT_FALSE(fs::exists(folder_.path() / "empty.xml"));
}

TEST_F(RecordStorageTest, DeleteRemovesFilesOnlyAndForcesReadOnlyOnes) {
  const fs::path record = folder_.path() / "r.xml";
  WriteText(record, "<r/>");
  fs::permissions(record, fs::perms::owner_read);
  EXPECT_TRUE(DeleteRecord(record.string(), kStudents));
  EXPECT_FALSE(fs::exists(record));
  // Gone already: an error, swallowed.
  EXPECT_FALSE(DeleteRecord(record.string(), kStudents));

  const fs::path folder = folder_.path() / "sub.xml";
  fs::create_directory(folder);
  EXPECT_FALSE(DeleteRecord(folder.string(), kStudents));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_FALSE(DeleteRecord("", kStudents));
}

TEST_F(RecordStorageTest, FolderListingHoldsFilesInNameOrder) {
  EXPECT_TRUE(ListFolderFiles((folder_.path() / "missing").string()).empty());
  for (const char* name : {"b_pmxl.xml", "A_pmxl.xml", "c.txt", "a_pmxl.xml"})
    WriteText(folder_.path() / name, "<x/>");
  fs::create_directory(folder_.path() / "folder_pmxl.xml");
  fs::create_symlink(folder_.path() / "c.txt", folder_.path() / "link.txt");
  fs::create_symlink(folder_.path() / "gone", folder_.path() / "dangling.txt");

  const std::vector<std::string> expected = {"A_pmxl.xml", "a_pmxl.xml", "b_pmxl.xml", "c.txt",
                                             "link.txt"};
  EXPECT_EQ(ListFolderFiles(folder_.path().string()), expected);
  // The folder may end in either separator.
  EXPECT_EQ(ListFolderFiles(folder_.path().string() + "/"), expected);
  EXPECT_EQ(ListFolderFiles(folder_.path().string() + "\\"), expected);
}

TEST(SplitListingTest, FieldsAreTakenInRecordsWhileASemicolonRemains) {
  using Fields = std::vector<std::string>;
  EXPECT_EQ(SplitListing("Unit 1 test;u1_pmxl.xml;Unit 2 test;u2_pmxl.xml;", 2),
            (Fields{"Unit 1 test", "u1_pmxl.xml", "Unit 2 test", "u2_pmxl.xml"}));
  EXPECT_EQ(SplitListing("", 2), Fields{});
  // Text after the last complete record without a ";" is left alone.
  EXPECT_EQ(SplitListing("T;f.xml;\r\n", 2), (Fields{"T", "f.xml"}));
  EXPECT_EQ(SplitListing("T;f.xml;trailing", 2), (Fields{"T", "f.xml"}));
  EXPECT_EQ(SplitListing(";;", 2), (Fields{"", ""}));
  EXPECT_EQ(SplitListing("E;e.xml;1;80;Q1;E2;f.xml;;;;", 5),
            (Fields{"E", "e.xml", "1", "80", "Q1", "E2", "f.xml", "", "", ""}));

  // A title whose file name never comes fails the listing.
  try {
    (void)SplitListing("T;f.xml;Last title;", 2);
    ADD_FAILURE() << "an unfinished record must fail";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, automation::HResultFromRuntimeError(automation::kInvalidProcedureCall));
  }
  EXPECT_THROW((void)SplitListing("E;e.xml;1;", 5), AutomationError);
}

}  // namespace
}  // namespace norwin::datalayer
