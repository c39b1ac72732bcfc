// LiveExResults and LiveExScore on local records: what a record reads back
// as (lenient per value, duplicates dropped), the layout it is written in,
// the percentage score, and the old record removed on a save elsewhere.
#include "norwin/datalayer/live_ex_results.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "norwin/automation/collection.h"
#include "norwin/automation/dispatch.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/live_ex_score.h"
#include "norwin/datalayer/xml_dom.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::Ref;
using automation::Variant;

class LiveExResultsTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    const fs::path file = prefix_.path() / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  static std::string Saved(const std::string& file) {
    XmlDocument doc;
    EXPECT_TRUE(doc.Load(file).ok());
    return doc.Xml();
  }
  static LiveExScore& ScoreAt(LiveExResults& results, size_t index) {
    return dynamic_cast<LiveExScore&>(*results.Scores().at(index).object());
  }
  static Ref<LiveExScore> MakeScore(const std::string& id, bool correct, int16_t attempts) {
    Ref<LiveExScore> score = NewLiveExScore();
    score->SetId(id);
    score->SetCorrect(correct);
    score->SetAttempts(attempts);
    return score;
  }

  testing::TempPrefix prefix_;
};

TEST_F(LiveExResultsTest, LoadReadsEachValueOnItsOwnAndDropsDuplicates) {
  const std::string file =
      Write("lx7_results.xml",
            "<liveResults ID='LX7' completionDate='12/7/2026'><title>Formatting cells</title>"
            "<studentID>SID00042</studentID>"
            "<score correct='True' attempts='2'>007</score>"
            "<score correct='true'>2</score>"
            "<score correct='-1' attempts='many'>3</score>"
            "<score correct='1' attempts='40000'>4</score>"
            "<score correct='TRUE' attempts='9'>7</score>"  // a second step 7
            "<score attempts='1.5'>abc</score>"
            "<score>99999</score>"  // no number either: a second ""
            "</liveResults>");
  auto results = automation::MakeRef<LiveExResults>();
  ASSERT_TRUE(CallByName(*results, "Load", DISPATCH_METHOD, {Variant(file)}).bool_value());
  EXPECT_EQ(results->ExamId(), "LX7");
  EXPECT_EQ(results->CompletionDate(), "12/7/2026");
  EXPECT_EQ(results->Title(), "Formatting cells");
  EXPECT_EQ(results->StudentId(), "SID00042");
  EXPECT_EQ(results->ExamFileName(), "lx7_results.xml");
  EXPECT_EQ(results->OrigFilename(), file);

  ASSERT_EQ(results->Scores().size(), 5u);
  const struct {
    const char* id;
    bool correct;
    int16_t attempts;
  } expected[] = {{"7", true, 2}, {"2", true, 0}, {"3", true, 0}, {"4", false, 0}, {"", false, 2}};
  for (size_t i = 0; i < 5; ++i) {
    const LiveExScore& score = ScoreAt(*results, i);
    EXPECT_EQ(score.Id(), expected[i].id) << i;
    EXPECT_EQ(score.Correct(), expected[i].correct) << i;
    EXPECT_EQ(score.Attempts(), expected[i].attempts) << i;
    EXPECT_EQ(score.ExamId(), "LX7") << i;
    EXPECT_EQ(results->Scores().KeyAt(i), expected[i].id) << i;
  }

  // A failed load changes nothing.
  EXPECT_FALSE(results->Load((prefix_.path() / "missing.xml").string()));
  EXPECT_FALSE(results->Load(Write("broken.xml", "<liveResults><score>")));
  EXPECT_EQ(results->Scores().size(), 5u);
  EXPECT_EQ(results->OrigFilename(), file);
  EXPECT_EQ(results->ExamFileName(), "lx7_results.xml");

  // Missing parts leave their properties; scores add to those there.
  ASSERT_TRUE(results->Load(Write("more.xml", "<liveResults><score>8</score></liveResults>")));
  EXPECT_EQ(results->Title(), "Formatting cells");
  EXPECT_EQ(results->ExamId(), "LX7");
  EXPECT_EQ(results->Scores().size(), 6u);
  EXPECT_EQ(results->ExamFileName(), "more.xml");
}

TEST_F(LiveExResultsTest, SaveWritesTheRecordLayout) {
  auto results = automation::MakeRef<LiveExResults>();
  const std::string bare = (prefix_.path() / "bare.xml").string();
  ASSERT_TRUE(results->Save(bare, DeleteOld::kNo));
  EXPECT_EQ(Saved(bare), "<liveResults><title/></liveResults>");

  results->SetExamId("LX7");
  results->SetCompletionDate("12/7/2026 3:04:05 PM");
  results->SetTitle("Charts & graphs");
  results->SetStudentId("SID00042");
  results->Scores().AddKeyed("1", Variant(MakeScore("1", true, 1)));
  results->Scores().AddKeyed("12", Variant(MakeScore("12", false, -3)));
  const std::string full = (prefix_.path() / "full.xml").string();
  ASSERT_TRUE(CallByName(*results, "Save", DISPATCH_METHOD, {Variant(full)}).bool_value());
  EXPECT_EQ(Saved(full),
            "<liveResults ID=\"LX7\" completionDate=\"12/7/2026 3:04:05 PM\">"
            "<title>Charts &amp; graphs</title><studentID>SID00042</studentID>"
            "<score correct=\"True\" attempts=\"1\">1</score>"
            "<score correct=\"False\" attempts=\"-3\">12</score></liveResults>");

  // What was written reads back the same.
  auto again = automation::MakeRef<LiveExResults>();
  ASSERT_TRUE(again->Load(full));
  const std::string copy = (prefix_.path() / "copy.xml").string();
  ASSERT_TRUE(again->Save(copy, DeleteOld::kNo));
  EXPECT_EQ(Saved(copy), Saved(full));
  EXPECT_EQ(ScoreAt(*again, 1).Attempts(), -3);
}

TEST_F(LiveExResultsTest, TheScoreIsThePercentageOfCorrectSteps) {
  auto results = automation::MakeRef<LiveExResults>();
  EXPECT_EQ(CallByName(*results, "CalcScore", DISPATCH_METHOD).r8(), 0.0);
  results->Scores().AddKeyed("1", Variant(MakeScore("1", true, 1)));
  results->Scores().AddKeyed("2", Variant(MakeScore("2", false, 1)));
  results->Scores().AddKeyed("3", Variant(MakeScore("3", false, 4)));
  EXPECT_DOUBLE_EQ(results->CalcScore(), 100.0 / 3);
  ScoreAt(*results, 2).SetCorrect(true);
  EXPECT_DOUBLE_EQ(results->CalcScore(), 200.0 / 3);
  EXPECT_EQ(results->CalcScore(), 2.0 / 3 * 100);

  // A collection page script put in place counts the same.
  auto scores = automation::MakeCollection();
  scores->AddKeyed("9", Variant(MakeScore("9", true, 1)));
  results->SetScores(scores);
  EXPECT_EQ(results->CalcScore(), 100.0);
  results->SetScores({});
  EXPECT_EQ(results->CalcScore(), 0.0);
  EXPECT_EQ(results->Scores().size(), 0u);
}

TEST_F(LiveExResultsTest, ACloneIsAnIndependentCopy) {
  const Ref<automation::Object> made = CreateRecordObject("LiveExScore");
  CallByName(*made, "ID", automation::DISPATCH_PROPERTYPUT, {Variant("5")});
  CallByName(*made, "ExamID", automation::DISPATCH_PROPERTYPUT, {Variant("LX7")});
  CallByName(*made, "Correct", automation::DISPATCH_PROPERTYPUT, {Variant(true)});
  CallByName(*made, "Attempts", automation::DISPATCH_PROPERTYPUT, {Variant(int16_t{3})});
  const Variant clone = CallByName(*made, "Clone", DISPATCH_METHOD);
  ASSERT_TRUE(clone.IsObject());
  ASSERT_NE(clone.object(), made.get());
  auto& copy = dynamic_cast<LiveExScore&>(*clone.object());
  EXPECT_EQ(copy.Id(), "5");
  EXPECT_EQ(copy.ExamId(), "LX7");
  EXPECT_TRUE(copy.Correct());
  EXPECT_EQ(copy.Attempts(), 3);
  copy.SetAttempts(4);
  EXPECT_EQ(CallByName(*made, "Attempts", DISPATCH_PROPERTYGET).i2(), 3);
  // Attempts is a 16-bit Integer.
  EXPECT_THROW(
      CallByName(*made, "Attempts", automation::DISPATCH_PROPERTYPUT, {Variant(int32_t{40000})}),
      automation::AutomationError);
}

TEST_F(LiveExResultsTest, SavingElsewhereRemovesTheOldRecordOnlyWhenAsked) {
  const std::string first =
      Write("first.xml", "<liveResults ID='LX7'><title>T</title></liveResults>");
  auto results = automation::MakeRef<LiveExResults>();
  ASSERT_TRUE(results->Load(first));
  const std::string second = (prefix_.path() / "second.xml").string();
  ASSERT_TRUE(results->Save(second, DeleteOld::kNo));
  EXPECT_TRUE(fs::exists(first));
  ASSERT_TRUE(
      CallByName(*results, "Save", DISPATCH_METHOD, {Variant(second), Variant(true)}).bool_value());
  EXPECT_FALSE(fs::exists(first));
  EXPECT_TRUE(fs::exists(second));

  // The same file written another way is not "another" record.
  ASSERT_TRUE(results->Load(second));
  const std::string same = (prefix_.path() / "SECOND.XML").string();
  ASSERT_TRUE(results->Save(same, DeleteOld::kYes));
  EXPECT_TRUE(fs::exists(second));
  EXPECT_EQ(Saved(second), "<liveResults ID=\"LX7\"><title>T</title></liveResults>");

  // Delete: a record goes once.
  EXPECT_TRUE(CallByName(*results, "Delete", DISPATCH_METHOD, {Variant(second)}).bool_value());
  EXPECT_FALSE(CallByName(*results, "Delete", DISPATCH_METHOD, {Variant(second)}).bool_value());
}

}  // namespace
}  // namespace norwin::datalayer
