// Exam lists in local folders, reached through Windows paths on drives as
// course discs and school shares give them: loading with a folder list,
// saving, deleting, listing a folder, and the shared preferences.
#include "norwin/datalayer/exam_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "datalayer/support/new_record.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/exam_info.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/platform/drives.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::AutomationError;
using automation::CallByName;
using automation::Collection;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::DISPATCH_PROPERTYPUTREF;
using automation::Ref;
using automation::Variant;

void WriteText(const fs::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::string ExamXml(std::string_view title) {
  return "<exam pctCorrect=\"0\"><title>" + std::string(title) + "</title></exam>";
}

int32_t ErrNumberOf(const AutomationError& e) { return automation::ErrNumberFromHResult(e.number); }

using testing::New;

TitleFilename& HandleAt(const Collection& list, size_t index) {
  return *dynamic_cast<TitleFilename*>(list.at(index).object());
}

// Drive d: is a temporary folder holding folders a and b of exams and a
// folder of exam lists.
class ExamListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ResetDrivesForTesting();
    fs::create_directories(prefix_.path() / "drives");
    fs::create_directory_symlink(disc_.path(), prefix_.path() / "drives" / "d");
    for (const char* folder : {"a", "b", "lists"}) fs::create_directory(disc_.path() / folder);
    WriteText(disc_.path() / "a" / "u1_pmxm.xml", ExamXml("Unit 1"));
    WriteText(disc_.path() / "b" / "u1_pmxm.xml", ExamXml("Unit 1 (copy in b)"));
    WriteText(disc_.path() / "b" / "u2_pmxm.xml", ExamXml("Unit 2"));
  }
  void TearDown() override { platform::ResetDrivesForTesting(); }

  void PutList(std::string_view name, std::string_view xml) {
    WriteText(disc_.path() / "lists" / std::string(name), xml);
  }

  testing::TempPrefix prefix_;
  testing::TempDir disc_;
  Ref<ExamList> list_ = New<ExamList>("ExamList");
};

constexpr char kUnitList[] =
    "<examList><title>Term 1</title><pref inherited='0'><timeLimit>45</timeLimit></pref>"
    "<examFile>u2_pmxm.xml</examFile><examFile>gone_pmxm.xml</examFile>"
    "<examFile>u1_pmxm.xml</examFile></examList>";

TEST_F(ExamListTest, LoadFindsEachExamInTheFirstFolderThatHoldsIt) {
  PutList("unit1_pmxl.xml", kUnitList);
  EXPECT_EQ(CallByName(*list_, "Load", DISPATCH_METHOD,
                       {Variant("d:\\lists\\unit1_pmxl.xml"), Variant("d:\\a;D:\\B\\")}),
            Variant(true));
  EXPECT_EQ(list_->Title(), "Term 1");
  EXPECT_EQ(list_->ExamListFilename(), "unit1_pmxl.xml");
  EXPECT_EQ(list_->Prefs()->fields().time_limit, 45);
  EXPECT_FALSE(list_->Prefs()->fields().inherited);

  // In document order, keyed by title; the missing exam is left out.
  const Ref<Collection> exams = list_->Exams();
  ASSERT_EQ(exams->size(), 2u);
  EXPECT_EQ(exams->KeyAt(0), "Unit 2");
  EXPECT_EQ(HandleAt(*exams, 0).Directory(), "D:\\B/");
  EXPECT_EQ(HandleAt(*exams, 0).Filename(), "u2_pmxm.xml");
  EXPECT_EQ(exams->KeyAt(1), "Unit 1");
  EXPECT_EQ(HandleAt(*exams, 1).Directory(), "d:\\a/");
  EXPECT_TRUE(exams->Exists("unit 1"));

  // Loading again adds to Exams: the same titles are duplicates.
  try {
    list_->Load("d:\\lists\\unit1_pmxl.xml", "d:\\a;d:\\b");
    ADD_FAILURE() << "a second load must meet the titles of the first";
  } catch (const AutomationError& e) {
    EXPECT_EQ(ErrNumberOf(e), automation::kDuplicateKey);
  }
  EXPECT_EQ(exams->size(), 2u);

  // The exams of a list found nowhere: loaded, with no exams.
  Ref<ExamList> other = New<ExamList>("ExamList");
  EXPECT_TRUE(other->Load("d:\\lists\\unit1_pmxl.xml", "d:\\lists"));
  EXPECT_EQ(other->Exams()->size(), 0u);
  EXPECT_EQ(other->Title(), "Term 1");
  Ref<ExamList> no_folders = New<ExamList>("ExamList");
  EXPECT_TRUE(no_folders->Load("d:\\lists\\unit1_pmxl.xml", ""));
  EXPECT_EQ(no_folders->Exams()->size(), 0u);
}

TEST_F(ExamListTest, ExamsOutOfReachWhenTheListWasOpenedAreSavedWithIt) {
  PutList("unit1_pmxl.xml", kUnitList);
  // Folder b is out of reach: only Unit 1 is found, in a.
  ASSERT_TRUE(list_->Load("d:\\lists\\unit1_pmxl.xml", "d:\\a"));
  ASSERT_EQ(list_->Exams()->size(), 1u);
  // The teacher adds an exam and saves.
  auto added = New<TitleFilename>("TitleFilename");
  added->SetValues("Unit 3", "d:\\a/", "u3_pmxm.xml");
  list_->Exams()->AddKeyed("Unit 3", Variant(added));
  ASSERT_TRUE(list_->Save("d:\\lists\\unit1_pmxl.xml"));
  XmlDocument saved;
  ASSERT_TRUE(saved.Load(disc_.path() / "lists" / "unit1_pmxl.xml").ok());
  std::vector<std::string> files;
  const Result<XmlNodeList> nodes = saved.DocumentElement().SelectNodes("examFile");
  ASSERT_TRUE(nodes.ok());
  for (const XmlNode file : *nodes) files.push_back(file.Text());
  // The list's own order, each file once, the added exam after it: what no
  // folder held stays where it stood.
  EXPECT_EQ(files, (std::vector<std::string>{"u2_pmxm.xml", "gone_pmxm.xml", "u1_pmxm.xml",
                                             "u3_pmxm.xml"}));
  // With b in reach again, its exam is back in the list.
  Ref<ExamList> again = New<ExamList>("ExamList");
  ASSERT_TRUE(again->Load("d:\\lists\\unit1_pmxl.xml", "d:\\a;d:\\b"));
  EXPECT_TRUE(again->Exams()->Exists("Unit 2"));

  // A list script builds itself is saved as it stands.
  list_->SetExams(automation::MakeCollection());
  ASSERT_TRUE(list_->Save("d:\\lists\\unit1_pmxl.xml"));
  ASSERT_TRUE(saved.Load(disc_.path() / "lists" / "unit1_pmxl.xml").ok());
  EXPECT_EQ(saved.DocumentElement().SelectNodes("examFile")->Length(), 0u);
}

TEST_F(ExamListTest, ListsThatAreMissingBrokenOrIncompleteDoNotLoad) {
  list_->SetTitle("Before");
  EXPECT_FALSE(list_->Load("d:\\lists\\missing_pmxl.xml", "d:\\a"));
  PutList("broken_pmxl.xml", "<examList><title>Half");
  EXPECT_FALSE(list_->Load("d:\\lists\\broken_pmxl.xml", "d:\\a"));
  EXPECT_EQ(list_->Title(), "Before");

  PutList("untitled_pmxl.xml", "<examList><pref/><examFile>u1_pmxm.xml</examFile></examList>");
  PutList("noprefs_pmxl.xml",
          "<examList><title>T</title><examFile>u1_pmxm.xml</examFile></examList>");
  for (const char* name : {"d:\\lists\\untitled_pmxl.xml", "d:\\lists\\noprefs_pmxl.xml"}) {
    try {
      list_->Load(name, "d:\\a");
      ADD_FAILURE() << name << " lacks a required element";
    } catch (const AutomationError& e) {
      EXPECT_EQ(ErrNumberOf(e), automation::kObjectNotSet) << name;
    }
    EXPECT_EQ(list_->Title(), "Before");
    EXPECT_EQ(list_->Exams()->size(), 0u);
  }
  PutList("badprefs_pmxl.xml",
          "<examList><title>T</title><pref><timeLimit>soon</timeLimit></pref></examList>");
  EXPECT_THROW(list_->Load("d:\\lists\\badprefs_pmxl.xml", "d:\\a"), AutomationError);
}

TEST_F(ExamListTest, SavedListHoldsTitlePreferencesAndExamFilesInOrder) {
  list_->SetTitle("Mid-term");
  list_->SetPassword("teacher");
  // Handles of every kind script can put in Exams: ours, made from script,
  // and an ExamInfo read through its `filename`.
  auto first = New<TitleFilename>("TitleFilename");
  first->SetValues("Unit 2", "d:\\b/", "u2_pmxm.xml");
  auto second = New<ExamInfo>("ExamInfo");
  second->SetValues("Unit 1", "d:\\a/", "u1_pmxm.xml", 0, 0, "", 0);
  list_->Exams()->AddKeyed("Unit 2", Variant(first));
  list_->Exams()->AddKeyed("Unit 1", Variant(second));

  EXPECT_EQ(CallByName(*list_, "Save", DISPATCH_METHOD, {Variant("d:\\lists\\mid_pmxl.xml")}),
            Variant(true));
  XmlDocument saved;
  ASSERT_TRUE(saved.Load(disc_.path() / "lists" / "mid_pmxl.xml").ok());
  const XmlNode root = saved.DocumentElement();
  EXPECT_EQ(root.NodeName(), "examList");
  std::vector<std::string> names;
  for (const XmlNode child : root.ChildNodes()) names.emplace_back(child.NodeName());
  EXPECT_EQ(names, (std::vector<std::string>{"title", "pref", "examFile", "examFile"}));
  XmlDocument prefs_only;
  NewRecordRoot(prefs_only, "pref");
  list_->Prefs()->SaveToXml(prefs_only.DocumentElement());
  EXPECT_EQ(root.ChildNodes().Item(1).Xml(), prefs_only.DocumentElement().Xml());
  EXPECT_EQ(root.ChildNodes().Item(2).Text(), "u2_pmxm.xml");
  EXPECT_EQ(root.ChildNodes().Item(3).Text(), "u1_pmxm.xml");

  // It loads back into the same list of exams and the same password.
  Ref<ExamList> loaded = New<ExamList>("ExamList");
  ASSERT_TRUE(loaded->Load("d:\\lists\\mid_pmxl.xml", "d:\\a;d:\\b"));
  EXPECT_EQ(loaded->Title(), "Mid-term");
  EXPECT_TRUE(loaded->CheckPassword("teacher"));
  EXPECT_FALSE(loaded->CheckPassword("student"));
  ASSERT_EQ(loaded->Exams()->size(), 2u);
  EXPECT_EQ(loaded->Exams()->KeyAt(0), "Unit 2");
  EXPECT_EQ(loaded->Exams()->KeyAt(1), "Unit 1");

  // A member that is no object stops the save before anything is written.
  list_->Exams()->Append(Variant("u3_pmxm.xml"));
  const fs::path file = disc_.path() / "lists" / "mid_pmxl.xml";
  const auto before = fs::last_write_time(file);
  try {
    list_->Save("d:\\lists\\mid_pmxl.xml");
    ADD_FAILURE() << "a text in Exams has no filename";
  } catch (const AutomationError& e) {
    EXPECT_EQ(ErrNumberOf(e), automation::kObjectRequired);
  }
  EXPECT_EQ(fs::last_write_time(file), before);
  ASSERT_TRUE(saved.Load(file).ok());
  EXPECT_EQ(saved.DocumentElement().ChildNodes().Length(), 4u);
}

TEST_F(ExamListTest, DeleteRemovesTheFileAlsoWhenReadOnly) {
  PutList("old_pmxl.xml", kUnitList);
  const fs::path file = disc_.path() / "lists" / "old_pmxl.xml";
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(CallByName(*list_, "Delete", DISPATCH_METHOD, {Variant("d:\\LISTS\\old_pmxl.xml")}),
            Variant(true));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(list_->Delete("d:\\lists\\old_pmxl.xml"), Variant(false));
  EXPECT_EQ(list_->Delete("d:\\lists"), Variant(false));
  EXPECT_TRUE(fs::is_directory(disc_.path() / "lists"));
}

TEST_F(ExamListTest, FolderListingOpensEveryExamListFileAndSkipsTheRest) {
  PutList("b_pmxl.xml", "<examList><title>Second</title><pref/></examList>");
  PutList("a_pmxl.xml", "<examList><title>First</title><pref/></examList>");
  PutList("notitle_pmxl.xml", "<examList><pref/></examList>");
  PutList("broken_pmxl.xml", "<examList><title>");
  PutList("upper_PMXL.XML", "<examList><title>Upper</title><pref/></examList>");
  PutList("exam_pmxm.xml", "<exam><title>Exam</title></exam>");
  fs::create_directory(disc_.path() / "lists" / "folder_pmxl.xml");

  const Variant result =
      CallByName(*list_, "GetExamLists", DISPATCH_METHOD, {Variant("d:\\lists\\")});
  auto* lists = dynamic_cast<Collection*>(result.object());
  ASSERT_NE(lists, nullptr);
  ASSERT_EQ(lists->size(), 2u);
  EXPECT_EQ(HandleAt(*lists, 0).Title(), "First");
  EXPECT_EQ(HandleAt(*lists, 0).Filename(), "a_pmxl.xml");
  EXPECT_EQ(HandleAt(*lists, 0).Directory(), "d:\\lists/");
  EXPECT_EQ(HandleAt(*lists, 1).Title(), "Second");
  EXPECT_FALSE(lists->KeyAt(0).has_value());

  EXPECT_EQ(list_->GetExamLists("d:\\nowhere")->size(), 0u);
  EXPECT_EQ(list_->GetExamLists("q:\\lists")->size(), 0u);
  // Each call gives a collection of its own.
  EXPECT_NE(list_->GetExamLists("d:\\lists").get(), list_->GetExamLists("d:\\lists").get());
}

TEST_F(ExamListTest, PreferencesAreSharedAndMadeWhenFirstNeeded) {
  EXPECT_TRUE(list_->CheckPassword("anything"));
  Ref<Preferences> site = New<Preferences>("Preferences");
  site->SetPassword("site");
  CallByName(*list_, "SetPreferences", DISPATCH_METHOD, {Variant(site)});
  EXPECT_EQ(list_->Prefs().get(), site.get());
  EXPECT_FALSE(site->fields().inherited);
  EXPECT_TRUE(list_->CheckPassword("site"));
  // Changes through the list are changes of the shared object.
  list_->SetPassword("");
  EXPECT_FALSE(site->fields().has_password);

  CallByName(*list_, "SetPreferences", DISPATCH_METHOD, {Variant::Nothing()});
  EXPECT_NE(list_->Prefs().get(), site.get());
  EXPECT_FALSE(list_->Prefs()->fields().inherited);
  CallByName(*list_, "SetPreferences", DISPATCH_METHOD, {});
  EXPECT_FALSE(list_->Prefs()->fields().inherited);

  // Set by reference from script; Nothing makes new ones on next use.
  CallByName(*list_, "Prefs", DISPATCH_PROPERTYPUTREF, {Variant(site)});
  EXPECT_EQ(CallByName(*list_, "Prefs", DISPATCH_PROPERTYGET).object(), site.get());
  CallByName(*list_, "Prefs", DISPATCH_PROPERTYPUT, {Variant::Nothing()});
  EXPECT_NE(list_->Prefs().get(), nullptr);
  EXPECT_NE(list_->Prefs().get(), site.get());
  // Only Preferences objects are preferences.
  EXPECT_THROW(CallByName(*list_, "SetPreferences", DISPATCH_METHOD,
                          {Variant(New<TitleFilename>("TitleFilename"))}),
               AutomationError);

  Ref<Collection> mine = automation::MakeCollection();
  CallByName(*list_, "Exams", DISPATCH_PROPERTYPUTREF, {Variant(mine)});
  EXPECT_EQ(list_->Exams().get(), mine.get());
}

}  // namespace
}  // namespace norwin::datalayer
