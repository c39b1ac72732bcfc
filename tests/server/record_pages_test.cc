// The record pages over a real SQLite store: what a save accepts, the
// versions kept, the roster filter and student removal, the listings and
// the exam summary.
#include "norwin/server/record_pages.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "norwin/server/access.h"
#include "norwin/server/record_store.h"
#include "support/postgres_database.h"
#include "support/temp_prefix.h"

namespace norwin::server {
namespace {

class RecordPagesTest : public ::testing::Test {
 protected:
  PageAnswer Ask(RecordPage page, std::multimap<std::string, std::string> params,
                 std::string body = {}, std::string folder = "/app/") {
    return AnswerRecordPage(
        *store_, {page, "", std::move(folder), std::move(params), std::move(body)}, limits_);
  }
  PageAnswer Save(const std::string& kind, const std::string& name, std::string body,
                  std::string folder = "/app/") {
    return Ask(RecordPage::kSave, {{"ObjName", kind}, {"FileName", name}}, std::move(body),
               std::move(folder));
  }
  std::string Load(const std::string& name, std::multimap<std::string, std::string> extra = {}) {
    extra.emplace("FileName", name);
    if (!extra.count("ObjName")) extra.emplace("ObjName", "Students");
    return Ask(RecordPage::kLoad, std::move(extra)).text;
  }

  testing::TempDir dir_;
  // SQLite, or PostgreSQL when NORWIN_TEST_RECORD_DATABASE names a server.
  std::unique_ptr<testing::PostgresDatabase> database_ =
      testing::PostgresDatabase::FromEnvironment();
  std::unique_ptr<RecordStore> store_ =
      OpenRecordStore(database_ ? database_->conninfo() : "", dir_.path().string());
  PageLimits limits_{1 << 20};
};

TEST_F(RecordPagesTest, SavesOnlyWholeDocumentsOfTheirKindUnderPlainNames) {
  limits_.max_document = 200;
  struct Case {
    std::string kind, name, body;
    int status;
    std::string reason;
  } cases[] = {
      {"Students", "r.xml", "<students/>", 200, ""},
      {"ExamList", "u_pmxl.xml", "<examList><title>U</title></examList>", 200, ""},
      {"TextbookLessonMenu", "m_lm.xml", "<lessonMenu/>", 200, ""},
      {"Students", "r.xml", "<classes/>", 400, "Document root is classes, not students"},
      {"Students", "r.xml", "<students>", 400, "Document is not well-formed XML"},
      {"Students", "r.xml", "", 400, "No document received"},
      {"Thing", "r.xml", "<students/>", 400, "Unknown record kind Thing"},
      {"Students", "", "<students/>", 400, "No FileName given"},
      {"Students", "../r.xml", "<students/>", 400, "Invalid FileName ../r.xml"},
      {"Students", "a/r.xml", "<students/>", 400, "Invalid FileName a/r.xml"},
      {"Students", "a\\r.xml", "<students/>", 400, "Invalid FileName a\\r.xml"},
      {"Students", "big.xml", "<students>" + std::string(200, ' ') + "</students>", 413,
       "Document too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind + " " + c.name + " " + c.body.substr(0, 20));
    const PageAnswer answer = Save(c.kind, c.name, c.body);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_TRUE(answer.text.starts_with(c.reason)) << answer.text;
    EXPECT_FALSE(answer.document);
  }
  // The refused saves left the first document as it was.
  EXPECT_EQ(Load("r.xml"), "<students/>");
  // A missing record is an empty answer, which the library reads as none.
  const PageAnswer missing =
      Ask(RecordPage::kLoad, {{"ObjName", "Students"}, {"FileName", "none.xml"}});
  EXPECT_EQ(missing.status, 200);
  EXPECT_EQ(missing.text, "");
}

TEST_F(RecordPagesTest, KeepsTheLastVersionsAndRestoresOne) {
  const RecordKey key{"", "/app/", "r.xml"};
  for (int i = 1; i <= 7; ++i) {
    ASSERT_EQ(Save("Students", "r.xml", "<students n=\"" + std::to_string(i) + "\"/>").status, 200);
  }
  std::vector<RecordVersion> versions = store_->Versions(key);
  ASSERT_EQ(versions.size(), static_cast<size_t>(RecordStore::kKeptVersions));
  EXPECT_EQ(versions.front().version, 7);
  EXPECT_EQ(versions.back().version, 3);
  EXPECT_FALSE(store_->Restore(key, 2));  // dropped

  EXPECT_EQ(Ask(RecordPage::kDelete, {{"ObjName", "Students"}, {"FileName", "r.xml"}}).status, 200);
  EXPECT_EQ(Ask(RecordPage::kDelete, {{"ObjName", "Students"}, {"FileName", "r.xml"}}).text,
            "Record r.xml not found");
  EXPECT_TRUE(store_->Versions(key).front().deleted);
  ASSERT_TRUE(store_->Restore(key, 6));
  EXPECT_EQ(Load("r.xml"), "<students n=\"6\"/>");
}

TEST_F(RecordPagesTest, FiltersRostersAndRemovesOneStudent) {
  ASSERT_EQ(Save("Students", "r.xml",
                 "<students autoStudentID=\"4\">"
                 "<student><id>1</id><classRef>7</classRef><sectionRef>1</sectionRef></student>"
                 "<student><id>2</id><classRef>7</classRef><sectionRef>2</sectionRef></student>"
                 "<student><id>3</id><classRef>8</classRef></student></students>")
                .status,
            200);
  auto ids = [](const std::string& roster) {
    std::string found;
    for (size_t at = roster.find("<id>"); at != std::string::npos;
         at = roster.find("<id>", at + 1)) {
      found += roster[at + 4];
    }
    return found;
  };
  EXPECT_EQ(ids(Load("r.xml")), "123");
  EXPECT_EQ(ids(Load("r.xml", {{"CourseID", "7"}})), "12");
  EXPECT_EQ(ids(Load("r.xml", {{"CourseID", "7"}, {"SectionID", "2"}})), "2");
  EXPECT_EQ(ids(Load("r.xml", {{"StudentID", "3"}})), "3");
  EXPECT_NE(Load("r.xml", {{"CourseID", "7"}}).find("autoStudentID=\"4\""), std::string::npos);

  const PageAnswer removed =
      Ask(RecordPage::kDelete, {{"ObjName", "Student"}, {"FileName", "r.xml"}, {"StudentID", "2"}});
  EXPECT_EQ(removed.status, 200);
  EXPECT_EQ(ids(Load("r.xml")), "13");
  EXPECT_EQ(
      Ask(RecordPage::kDelete, {{"ObjName", "Student"}, {"FileName", "r.xml"}, {"StudentID", "2"}})
          .text,
      "Student 2 not found");
}

TEST_F(RecordPagesTest, ListsByTheNamingRulesWithTitlesAndExamFacts) {
  Save("ExamList", "b_pmxl.xml", "<examList><title>Unit; two</title></examList>");
  Save("ExamList", "a_pmxl.xml", "<examList><title>Unit 1</title></examList>");
  Save("Exam", "alg_pmxm.xml", "<exam><title>Algebra</title><questionRef>q1</questionRef></exam>");
  Save("Exam", "alg_pmxm_s7_02.xml",
       "<exam pctCorrect=\"50\"><title>Algebra</title><questionRef>q9</questionRef></exam>");
  Save("Lesson", "l1_pml.xml", "<lesson><title>L</title></lesson>");
  Save("Lesson", "l1_pml_s7.xml", "<lesson><title>L</title></lesson>");
  Save("LessonMenu", "m_LM.xml", "<lessonMenu><title>M</title></lessonMenu>");
  struct Case {
    std::multimap<std::string, std::string> params;
    std::string listing;
  } cases[] = {
      {{{"ObjName", "ExamList"}}, "Unit 1;a_pmxl.xml;Unit, two;b_pmxl.xml;"},
      {{{"ObjName", "Exam"}, {"ExamType", "1"}}, "Algebra;alg_pmxm.xml;"},
      {{{"ObjName", "Exam"}, {"ExamType", "2"}}, "Algebra;alg_pmxm_s7_02.xml;"},
      {{{"ObjName", "ExamInfo"}, {"ExamType", "-1"}},
       "Algebra;alg_pmxm.xml;;;q1;Algebra;alg_pmxm_s7_02.xml;2;50;q9;"},
      {{{"ObjName", "ExamInfo"}, {"ExamType", "-1"}, {"StudentID", "s8"}}, ""},
      {{{"ObjName", "Lesson"}, {"LessonType", "2"}}, "L;l1_pml_s7.xml;"},
      {{{"ObjName", "TextbookLessonMenu"}}, "M;m_LM.xml;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listing);
    EXPECT_EQ(Ask(RecordPage::kList, c.params).text, c.listing);
  }
  EXPECT_EQ(Ask(RecordPage::kList, {{"ObjName", "Exam"}, {"ExamType", "x"}}).status, 400);
  // Another folder lists its own records only.
  EXPECT_EQ(Ask(RecordPage::kList, {{"ObjName", "ExamList"}}, {}, "/app/sub/").text, "");
}

TEST_F(RecordPagesTest, ExamSummaryCountsTheAttemptsOfTheCourseStudents) {
  // The roster sits a folder above the exams, as a class keeps it.
  Save("Students", "roster.xml",
       "<students><student><id>a</id><classRef>1</classRef></student>"
       "<student><id>b</id><classRef>1</classRef></student>"
       "<student><id>c</id><classRef>2</classRef></student>"
       "<student><id>d</id><classRef>1</classRef></student></students>");
  const std::string folder = "/app/exams/";
  Save("Exam", "t_pmxm_a_01.xml",
       "<exam><questionRef correct=\"1\" points=\"3\">q1</questionRef>"
       "<questionRef correct=\"0\">q2</questionRef></exam>",
       folder);
  // Random order with a limit of 1: only the first question counts.
  Save("Exam", "t_pmxm_b_01.xml",
       "<exam><pref><randomQuestions limit=\"1\">true</randomQuestions></pref>"
       "<questionRef correct=\"1\">q2</questionRef><questionRef correct=\"1\">q1</questionRef>"
       "</exam>",
       folder);
  Save("Exam", "t_pmxm_c_01.xml", "<exam><questionRef correct=\"1\">q1</questionRef></exam>",
       folder);
  // Random order without a limit: every question counts.
  Save("Exam", "t_pmxm_d_01.xml",
       "<exam><pref><randomQuestions>true</randomQuestions></pref>"
       "<questionRef correct=\"1\">q2</questionRef><questionRef correct=\"0\">q1</questionRef>"
       "</exam>",
       folder);
  const PageAnswer summary = Ask(RecordPage::kLoad,
                                 {{"ObjName", "ExamSummary"},
                                  {"FileName", "t_pmxm.xml"},
                                  {"CourseID", "1"},
                                  {"SectionID", ""},
                                  {"AttemptNum", "1"}},
                                 {}, folder);
  EXPECT_TRUE(summary.document);
  EXPECT_EQ(summary.text,
            "<?xml version=\"1.0\"?><exam>"
            "<questionRef correct=\"1\" attempts=\"2\" points=\"3\">q1</questionRef>"
            "<questionRef correct=\"2\" attempts=\"3\">q2</questionRef></exam>");
}

TEST(NetworkAllowListTest, AllowsTheListedNetworksOnly) {
  NetworkAllowList list;
  EXPECT_TRUE(list.Allows("203.0.113.9"));  // empty: everyone
  ASSERT_TRUE(list.Add("10.0.0.0/8"));
  ASSERT_TRUE(list.Add("192.168.4.7"));
  ASSERT_TRUE(list.Add("fd00::/8"));
  for (const char* bad : {"10.0.0.0/33", "10.0.0/8", "x", "::/129", "10.0.0.0/"}) {
    EXPECT_FALSE(list.Add(bad)) << bad;
  }
  const std::pair<const char*, bool> cases[] = {
      {"10.1.2.3", true}, {"11.0.0.1", false}, {"192.168.4.7", true},     {"192.168.4.8", false},
      {"fd12::1", true},  {"fe80::1", false},  {"::ffff:10.9.9.9", true}, {"garbage", false},
  };
  for (const auto& [address, allowed] : cases) EXPECT_EQ(list.Allows(address), allowed) << address;
}

TEST(LoginKeysTest, KeysAreRandomSingleUseAndExpire) {
  LoginKeys keys;
  const auto now = LoginKeys::Clock::now();
  const std::string key = keys.Issue(now);
  EXPECT_EQ(key.size(), 32u);
  EXPECT_NE(keys.Issue(now), key);
  EXPECT_FALSE(keys.Validate(key, Md5Hex(key + "x"), now));
  EXPECT_FALSE(keys.IsValidated(key, Md5Hex(key), now));
  EXPECT_TRUE(keys.Validate(key, Md5Hex(key), now));
  EXPECT_FALSE(keys.Validate(key, Md5Hex(key), now));  // once only
  EXPECT_TRUE(keys.IsValidated(key, Md5Hex(key), now));
  EXPECT_FALSE(keys.IsValidated(key, "", now));
  EXPECT_FALSE(keys.IsValidated(key, Md5Hex(key), now + LoginKeys::kSessionLifetime));

  const std::string late = keys.Issue(now);
  EXPECT_FALSE(keys.Validate(late, Md5Hex(late), now + LoginKeys::kKeyLifetime));
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace norwin::server
