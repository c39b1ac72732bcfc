// A title's content database made with lumo-content from CSV files, read by
// the pools: what an author leaves blank is what the pools take as absent.
#include <gtest/gtest.h>

#include <fstream>

#include "norwin/automation/collection.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/task_pool.h"
#include "support/run_program.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::MakeRef;
using automation::Variant;

TEST(ContentToolTest, BlankCellsLoadAsAbsentValues) {
  testing::TempPrefix prefix;
  const std::string db = (prefix.path() / "title.db").string();
  auto tool = [](const std::vector<std::string>& args) {
    const testing::ProgramRun run =
        testing::RunProgram(std::string(NORWIN_BINARY_DIR) + "/bin/lumo-content", args);
    EXPECT_EQ(run.status, 0) << run.err;
  };
  tool({"create", db});
  const std::pair<const char*, const char*> tables[] = {
      {"objective", "id,module,skillset,objectiveLabel\nW1,Word,,\n"},
      {"task", "id,taskName,baseHREF,app,view,objectiveRef\nT1,Type,,Word,,W1\n"},
      {"tblQuestions",
       "id,text,hint,background,objectiveRef,taskRef\nQ1,Open it,,,W1,T1\nQ2,Loose,,,,\n"},
      {"tblFinalAnswer", "questionID,answer,background\nQ1,Ctrl+O,\nQ1,File>Open,open.gif\n"},
      {"tblPageRefs", "questionID,TB1\nQ1,\nQ2,p. 7\n"},
  };
  for (const auto& [table, csv] : tables) {
    const std::string file = (prefix.path() / (std::string(table) + ".csv")).string();
    std::ofstream(file) << csv;
    tool({"import", db, table, file});
  }

  auto objectives = MakeRef<Objectives>();
  auto tasks = MakeRef<TaskPool>();
  auto questions = MakeRef<QuestionPool>();
  ASSERT_TRUE(objectives->Load(db, Variant::Null()));
  ASSERT_TRUE(tasks->Load(db, Variant(objectives), Variant::Nothing()));
  ASSERT_TRUE(questions->Load(db, Variant(objectives), Variant(tasks), "TB1"));

  Question* q1 = questions->Find("Q1");
  ASSERT_NE(q1, nullptr);
  EXPECT_EQ(q1->Hint() + q1->BgImage() + q1->TextbookReference(), "");
  EXPECT_EQ(q1->Module(), "Word");
  EXPECT_EQ(*q1->FinalAnswers()->FindText("Ctrl+O"), Variant("none"));
  EXPECT_EQ(*q1->FinalAnswers()->FindText("File>Open"), Variant("open.gif"));
  Question* q2 = questions->Find("Q2");
  ASSERT_NE(q2, nullptr);
  EXPECT_FALSE(q2->GetObjective());
  EXPECT_FALSE(q2->GetTask());
  EXPECT_EQ(q2->TextbookReference(), "p. 7");
}

}  // namespace
}  // namespace norwin::datalayer
