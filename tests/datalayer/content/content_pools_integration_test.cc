// The content database read into Objectives, TaskPool and QuestionPool, from
// real SQLite files: the chained loads, what a Null, a missing reference, a
// duplicate, a missing table or a file that is no database does, and the
// pools' module lists and clones.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/content_database.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/task_pool.h"
#include "norwin/platform/drives.h"
#include "support/content_database_builder.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::CallByName;
using automation::Collection;
using automation::Dictionary;
using automation::MakeRef;
using automation::Ref;
using automation::Variant;
using testing::ContentDatabaseBuilder;

// SQLite's primary result codes, as the errors carry them.
constexpr automation::HResult kNoSuchTable = kContentDatabaseError + 1;    // SQLITE_ERROR
constexpr automation::HResult kCannotOpen = kContentDatabaseError + 14;    // SQLITE_CANTOPEN
constexpr automation::HResult kEmptyTable = kContentDatabaseError + 16;    // SQLITE_EMPTY
constexpr automation::HResult kNotADatabase = kContentDatabaseError + 26;  // SQLITE_NOTADB
const automation::HResult kInvalidUseOfNull =
    automation::HResultFromRuntimeError(automation::kInvalidUseOfNull);
const automation::HResult kDuplicateKey =
    automation::HResultFromRuntimeError(automation::kDuplicateKey);

// Runs `call` and returns the error it raised; fails the test when it
// raised none.
template <typename F>
AutomationError ErrorOf(F call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return AutomationError(0, "");
}

// Keys of a collection, in order, joined by ",".
std::string Keys(const Collection& c) {
  std::string keys;
  for (size_t i = 0; i < c.size(); ++i) {
    if (i) keys += ",";
    keys += c.KeyAt(i).value_or("-");
  }
  return keys;
}

class ContentPoolsTest : public ::testing::Test {
 protected:
  std::string PathOf(std::string_view name) const { return (prefix_.path() / name).string(); }

  // A title with two modules: Word (objectives W1, W2) and Excel (E1).
  std::string WriteTitle(std::string_view name = "title.db") {
    const std::string path = PathOf(name);
    ContentDatabaseBuilder db(path, {"TB1", "TB2"});
    db.AddObjective("W1", "Word", "Editing", "Edit text");
    db.AddObjective("W2", "Word", "Formatting", "Format text");
    db.AddObjective("E1", "Excel", "Formulas", "Write formulas");
    db.AddTask("T1", "Type a letter", "word/t1/", "Word", "Normal", "W1");
    db.AddTask("T2", "Bold a word", "word/t2/", "Word", "Print Layout", "W2");
    db.AddTask("T3", "Sum a column", "excel/t3/", "Excel", "Sheet", "E1");
    db.AddQuestion("Q1", "Open the file", "Use the File menu", "q1.gif", "W1", "T1");
    db.AddQuestion("Q2", "Bold it", "Ctrl+B", "q2.gif", "W2", "T2");
    db.AddQuestion("Q3", "Sum it", "AutoSum", "q3.gif", "E1", "T3");
    db.AddQuestion("Q4", "Loose question", "", "", std::nullopt, std::nullopt);
    db.AddFinalAnswer("Q1", "File>Open", "open.gif");
    db.AddFinalAnswer("q1", "Ctrl+O", std::nullopt);  // matched without regard to case
    db.AddFinalAnswer("Q2", "Ctrl+B", "bold.gif");
    db.AddDialogAnswer("Q1", "Open dialog", "1042");
    db.AddPartialAnswer("Q1", "File", "file.gif");
    db.AddPartialAnswer("Q1", "Menu", std::nullopt);
    db.AddPageRefs("Q1", {"p. 12", "ch. 1"});
    db.AddPageRefs("Q2", {std::nullopt, "ch. 2"});
    db.AddPageRefs("Q1", {"p. 99", "ch. 9"});  // only the first row counts
    return path;
  }

  testing::TempPrefix prefix_;
};

TEST_F(ContentPoolsTest, ChainedLoadsLinkTasksAndQuestionsToTheSharedObjects) {
  const std::string title = WriteTitle();
  auto objectives = MakeRef<Objectives>();
  auto tasks = MakeRef<TaskPool>();
  auto questions = MakeRef<QuestionPool>();
  ASSERT_TRUE(objectives->Load(title, Variant::Null()));
  ASSERT_TRUE(tasks->Load(title, Variant(objectives), Variant::Nothing()));
  ASSERT_TRUE(questions->Load(title, Variant(objectives), Variant(tasks), "TB1"));

  EXPECT_EQ(Keys(*objectives->Members()), "W1,W2,E1");
  Objective* w2 = objectives->Members()->FindObject<Objective>("W2");
  ASSERT_NE(w2, nullptr);
  EXPECT_EQ(w2->Module(), "Word");
  EXPECT_EQ(w2->SkillSet(), "Formatting");
  EXPECT_EQ(w2->Label(), "Format text");
  EXPECT_TRUE(objectives->Exists(Variant("w1")));
  EXPECT_FALSE(objectives->Exists(Variant("X9")));
  EXPECT_FALSE(objectives->Exists(Variant::Null()));

  EXPECT_EQ(Keys(*tasks->Tasks()), "T1,T2,T3");
  Task* t2 = tasks->Tasks()->FindObject<Task>("T2");
  ASSERT_NE(t2, nullptr);
  EXPECT_EQ(t2->GetObjective().get(), w2);
  EXPECT_EQ(t2->Name(), "Bold a word");
  EXPECT_EQ(t2->BaseHREF(), "word/t2/");
  EXPECT_EQ(t2->View(), "Print Layout");
  // Two tasks of one module are one module.
  EXPECT_EQ(Keys(*tasks->GetModules()), "Word,Excel");

  EXPECT_EQ(Keys(*questions->Questions()), "Q1,Q2,Q3,Q4");
  Question* q1 = questions->Find("Q1");
  ASSERT_NE(q1, nullptr);
  EXPECT_EQ(q1->Text(), "Open the file");
  EXPECT_EQ(q1->BgImage(), "q1.gif");
  EXPECT_EQ(q1->GetObjective().get(), objectives->Members()->FindObject<Objective>("W1"));
  EXPECT_EQ(q1->GetTask().get(), tasks->Tasks()->FindObject<Task>("T1"));
  EXPECT_EQ(q1->Module(), "Word");
  EXPECT_EQ(q1->App(), "Word");
  EXPECT_EQ(q1->View(), "Normal");
  EXPECT_EQ(q1->TextbookReference(), "p. 12");
  const auto& finals = *q1->FinalAnswers();
  ASSERT_EQ(finals.size(), 2u);
  EXPECT_EQ(*finals.FindText("File>Open"), Variant("open.gif"));
  EXPECT_EQ(*finals.FindText("Ctrl+O"), Variant("none"));
  EXPECT_EQ(*q1->DialogAnswers()->FindText("Open dialog"), Variant("1042"));
  EXPECT_EQ(*q1->PartialAnswers()->FindText("File"), Variant("file.gif"));
  EXPECT_EQ(*q1->PartialAnswers()->FindText("Menu"), Variant("none"));
  // A Null page reference leaves the question's empty.
  EXPECT_EQ(questions->Find("Q2")->TextbookReference(), "");

  // A question without objective and task has neither, nor a module, app
  // or view; its module is "" in the module list.
  Question* q4 = questions->Find("Q4");
  EXPECT_FALSE(q4->GetObjective());
  EXPECT_FALSE(q4->GetTask());
  EXPECT_EQ(q4->Module() + q4->App() + q4->View(), "");
  EXPECT_EQ(Keys(*questions->GetModules()), "Word,Excel,");
}

TEST_F(ContentPoolsTest, ModulesGiveClonesThatChangeNothingInThePool) {
  const std::string title = WriteTitle();
  auto objectives = MakeRef<Objectives>();
  auto tasks = MakeRef<TaskPool>();
  auto questions = MakeRef<QuestionPool>();
  ASSERT_TRUE(objectives->Load(title, Variant::Null()));
  ASSERT_TRUE(tasks->Load(title, Variant(objectives), Variant::Nothing()));
  ASSERT_TRUE(questions->Load(title, Variant(objectives), Variant(tasks), "TB2"));

  Ref<Collection> word = questions->GetQuestionsByModule("Word");
  EXPECT_EQ(Keys(*word), "Q1,Q2");
  EXPECT_EQ(questions->GetQuestionsByModule("word")->size(), 0u);  // case-sensitive
  Question* clone = word->FindObject<Question>("Q1");
  Question* original = questions->Find("Q1");
  EXPECT_NE(clone, original);
  EXPECT_EQ(clone->TextbookReference(), "ch. 1");
  EXPECT_EQ(clone->GetObjective(), original->GetObjective());
  clone->SetCorrect(1);
  clone->SetAttempts(3);
  EXPECT_EQ(original->Correct(), 0);
  EXPECT_EQ(original->Attempts(), 0);
  // A clone has no answers, background, app or view of its own.
  EXPECT_EQ(clone->BgImage() + clone->App() + clone->View(), "");
  EXPECT_TRUE(clone->FinalAnswers()->empty());

  Ref<Collection> word_tasks = tasks->GetTasksByModule("Word");
  EXPECT_EQ(Keys(*word_tasks), "T1,T2");
  Task* task_clone = word_tasks->FindObject<Task>("T2");
  Task* task = tasks->Tasks()->FindObject<Task>("T2");
  EXPECT_NE(task_clone, task);
  EXPECT_EQ(task_clone->View(), "Print Layout");
  EXPECT_EQ(task_clone->GetObjective(), task->GetObjective());
  // The references collection is one collection, made for the clone.
  EXPECT_EQ(task_clone->References(), task->References());
}

TEST_F(ContentPoolsTest, NullPoolsGiveObjectsThatCarryOnlyTheirId) {
  const std::string title = WriteTitle();
  auto tasks = MakeRef<TaskPool>();
  ASSERT_TRUE(tasks->LoadFromDatabase(title, Variant::Null(), Variant::Nothing()));
  Task* t3 = tasks->Tasks()->FindObject<Task>("T3");
  ASSERT_TRUE(t3->GetObjective());
  EXPECT_EQ(t3->GetObjective()->ID(), "E1");
  EXPECT_EQ(t3->GetObjective()->Module(), "");
  EXPECT_EQ(Keys(*tasks->GetModules()), "");

  auto questions = MakeRef<QuestionPool>();
  ASSERT_TRUE(questions->LoadFromDatabase(title, Variant::Null(), Variant::Null(), ""));
  Question* q2 = questions->Find("Q2");
  EXPECT_EQ(q2->GetObjective()->ID(), "W2");
  EXPECT_EQ(q2->GetTask()->ID(), "T2");
  EXPECT_EQ(q2->Module() + q2->App() + q2->View(), "");
  // Without a text-book ID no page reference is read.
  EXPECT_EQ(questions->Find("Q1")->TextbookReference(), "");
}

TEST_F(ContentPoolsTest, MissingFilesAndServerLocationsLoadNothing) {
  auto objectives = MakeRef<Objectives>();
  auto tasks = MakeRef<TaskPool>();
  auto questions = MakeRef<QuestionPool>();
  EXPECT_FALSE(objectives->Load(PathOf("none.db"), Variant::Null()));
  EXPECT_FALSE(tasks->Load(PathOf("none.db"), Variant::Null(), Variant::Null()));
  EXPECT_FALSE(questions->Load(PathOf("none.db"), Variant::Null(), Variant::Null(), ""));
  EXPECT_FALSE(
      questions->Load("http://127.0.0.1:9/title.db", Variant::Null(), Variant::Null(), ""));
  EXPECT_FALSE(objectives->Load(prefix_.path().string(), Variant::Null()));  // a folder
  EXPECT_TRUE(objectives->Members()->empty());

  // LoadFromDatabase itself does not look first: the engine's error.
  const AutomationError missing =
      ErrorOf([&] { (void)objectives->LoadFromDatabase(PathOf("none.db"), Variant::Null()); });
  EXPECT_EQ(missing.number, kCannotOpen);
  EXPECT_EQ(missing.source, "Objectives.LoadFromDatabase");
  EXPECT_NE(missing.description.find("none.db"), std::string::npos) << missing.description;
  // Opening read-only never leaves an empty database behind.
  EXPECT_FALSE(std::filesystem::exists(PathOf("none.db")));

  // A pipe or a device fails at once instead of blocking the engine.
  ASSERT_EQ(mkfifo(PathOf("pipe.db").c_str(), 0600), 0);
  for (const std::string& special : {PathOf("pipe.db"), std::string("/dev/zero")}) {
    const AutomationError refused =
        ErrorOf([&] { (void)objectives->LoadFromDatabase(special, Variant::Null()); });
    EXPECT_EQ(refused.number, kCannotOpen);
    EXPECT_NE(refused.description.find("not a regular file"), std::string::npos)
        << refused.description;
  }
}

TEST_F(ContentPoolsTest, WindowsPathsResolveThroughTheDrives) {
  WriteTitle("Title.DB");
  std::filesystem::create_directories(prefix_.path() / "drives");
  std::filesystem::create_directory_symlink(prefix_.path(), prefix_.path() / "drives" / "d");
  auto objectives = MakeRef<Objectives>();
  // Course discs were authored on a system that ignores case.
  ASSERT_TRUE(objectives->Load("d:\\title.db", Variant::Null()));
  EXPECT_EQ(objectives->Members()->size(), 3u);

  // In a course's process, page script names the course's files from the
  // root of its drive, whatever the current drive.
  platform::SetCourseDrive('d');
  auto tasks = MakeRef<TaskPool>();
  EXPECT_TRUE(tasks->Load("\\title.db", Variant(objectives), Variant::Null()));
  EXPECT_EQ(tasks->Tasks()->size(), 3u);
  std::filesystem::create_directories(prefix_.path() / "Records");
  EXPECT_TRUE(tasks->Save("\\records\\tasks.xml"));
  platform::SetCourseDrive(0);
  EXPECT_TRUE(std::filesystem::is_regular_file(prefix_.path() / "Records" / "tasks.xml"));
}

TEST_F(ContentPoolsTest, BrokenDatabasesRaiseTheEnginesErrors) {
  std::ofstream(PathOf("text.db")) << "not a database at all, just some text";
  auto objectives = MakeRef<Objectives>();
  const AutomationError not_db =
      ErrorOf([&] { (void)objectives->Load(PathOf("text.db"), Variant::Null()); });
  EXPECT_EQ(not_db.number, kNotADatabase);
  EXPECT_NE(not_db.description.find("text.db"), std::string::npos);

  {
    ContentDatabaseBuilder db(PathOf("bare.db"));
    db.Omit("task");
    db.Omit("tblPartialAnswer");
    db.AddQuestion("Q1", "t", "h", "b", std::nullopt, std::nullopt);
  }
  // Empty pool tables are errors; an empty textBook table is not (TextBooks).
  const AutomationError empty =
      ErrorOf([&] { (void)objectives->Load(PathOf("bare.db"), Variant::Null()); });
  EXPECT_EQ(empty.number, kEmptyTable);
  EXPECT_NE(empty.description.find("'objective'"), std::string::npos) << empty.description;

  auto tasks = MakeRef<TaskPool>();
  const AutomationError no_table =
      ErrorOf([&] { (void)tasks->Load(PathOf("bare.db"), Variant::Null(), Variant::Null()); });
  EXPECT_EQ(no_table.number, kNoSuchTable);
  EXPECT_EQ(no_table.source, "TaskPool.LoadFromDatabase");
  EXPECT_NE(no_table.description.find("no such table: task"), std::string::npos);

  auto questions = MakeRef<QuestionPool>();
  const AutomationError no_partials = ErrorOf(
      [&] { (void)questions->Load(PathOf("bare.db"), Variant::Null(), Variant::Null(), ""); });
  EXPECT_EQ(no_partials.number, kNoSuchTable);
  EXPECT_NE(no_partials.description.find("tblPartialAnswer"), std::string::npos);
  EXPECT_TRUE(questions->Questions()->empty());

  // A text-book ID that names no column of tblPageRefs.
  const std::string title = WriteTitle();
  const AutomationError no_column =
      ErrorOf([&] { (void)questions->Load(title, Variant::Null(), Variant::Null(), "TB3"); });
  EXPECT_EQ(no_column.number, kNoSuchTable);
  EXPECT_NE(no_column.description.find("no such column: TB3"), std::string::npos);
}

TEST_F(ContentPoolsTest, NullTextStopsTheLoadAndKeepsWhatCameBefore) {
  {
    ContentDatabaseBuilder db(PathOf("nulls.db"));
    db.AddObjective("A", "M", "S", "L");
    db.AddObjective("B", "M", std::nullopt, "L");
    db.AddObjective("C", "M", "S", "L");
    db.AddTask("T1", "n", "h", "a", "v", "A");
    db.AddTask("T2", "n", "h", "a", std::nullopt, "A");
    db.AddQuestion("Q1", "t", "h", "b", std::nullopt, std::nullopt);
    db.AddQuestion("Q2", "t", "h", "b", std::nullopt, std::nullopt);
    db.AddDialogAnswer("Q2", "OK", std::nullopt);
  }
  auto objectives = MakeRef<Objectives>();
  const AutomationError objective_null =
      ErrorOf([&] { (void)objectives->Load(PathOf("nulls.db"), Variant::Null()); });
  EXPECT_EQ(objective_null.number, kInvalidUseOfNull);
  EXPECT_EQ(objective_null.source, "Objectives.LoadFromDatabase");
  EXPECT_NE(objective_null.description.find("skillset"), std::string::npos);
  EXPECT_EQ(Keys(*objectives->Members()), "A");

  auto tasks = MakeRef<TaskPool>();
  EXPECT_EQ(ErrorOf([&] {
              (void)tasks->Load(PathOf("nulls.db"), Variant(objectives), Variant::Null());
            }).number,
            kInvalidUseOfNull);
  EXPECT_EQ(Keys(*tasks->Tasks()), "T1");

  auto questions = MakeRef<QuestionPool>();
  const AutomationError dialog_null = ErrorOf(
      [&] { (void)questions->Load(PathOf("nulls.db"), Variant::Null(), Variant::Null(), ""); });
  EXPECT_EQ(dialog_null.number, kInvalidUseOfNull);
  EXPECT_NE(dialog_null.description.find("dialogID"), std::string::npos);
  EXPECT_EQ(Keys(*questions->Questions()), "Q1");
}

TEST_F(ContentPoolsTest, BadReferencesAndDuplicatesRaiseTheirErrors) {
  {
    ContentDatabaseBuilder db(PathOf("bad.db"));
    db.AddObjective("W1", "Word", "s", "l");
    db.AddTask("T1", "n", "h", "a", "v", "W1");
    db.AddTask("T2", "n", "h", "a", "v", "W9");
    db.AddQuestion("Q1", "t", "h", "b", "W1", "T1");
    db.AddQuestion("Q2", "t", "h", "b", "W9", std::nullopt);
  }
  auto objectives = MakeRef<Objectives>();
  ASSERT_TRUE(objectives->Load(PathOf("bad.db"), Variant::Null()));
  auto tasks = MakeRef<TaskPool>();
  const AutomationError invalid_objective =
      ErrorOf([&] { (void)tasks->Load(PathOf("bad.db"), Variant(objectives), Variant::Null()); });
  EXPECT_EQ(invalid_objective.number, automation::MakeHResult(0x8004026D));
  EXPECT_EQ(invalid_objective.description, "TaskPool.LoadFromDatabase: Invalid Objective ID");
  EXPECT_EQ(invalid_objective.source, "TaskPool.LoadFromDatabase");
  EXPECT_EQ(Keys(*tasks->Tasks()), "T1");

  // Loading again adds to the pool: every ID is then a duplicate.
  const AutomationError duplicate_task =
      ErrorOf([&] { (void)tasks->Load(PathOf("bad.db"), Variant::Null(), Variant::Null()); });
  EXPECT_EQ(duplicate_task.number, automation::MakeHResult(0x8004026E));
  EXPECT_EQ(duplicate_task.description, "TaskPool.LoadFromDatabase: Duplicate task ID 'T1'");
  const AutomationError duplicate_objective =
      ErrorOf([&] { (void)objectives->Load(PathOf("bad.db"), Variant::Null()); });
  EXPECT_EQ(duplicate_objective.number, kDuplicateKey);

  auto questions = MakeRef<QuestionPool>();
  const AutomationError bad_objective = ErrorOf(
      [&] { (void)questions->Load(PathOf("bad.db"), Variant(objectives), Variant(tasks), ""); });
  EXPECT_EQ(bad_objective.number, automation::MakeHResult(0x80040281));
  EXPECT_EQ(bad_objective.description, "Invalid Objective ID");
  EXPECT_EQ(bad_objective.source, "QuestionPool:LoadFromXMLNode");
  EXPECT_EQ(Keys(*questions->Questions()), "Q1");

  const AutomationError duplicate_question = ErrorOf(
      [&] { (void)questions->Load(PathOf("bad.db"), Variant(objectives), Variant(tasks), ""); });
  EXPECT_EQ(duplicate_question.number, automation::MakeHResult(0x8004028D));
  EXPECT_EQ(duplicate_question.description,
            "QuestionPool.LoadFromDatabase: found duplication question id 'Q1'");
  EXPECT_EQ(duplicate_question.source, "QuestionPool.LoadFromDatabase");

  {
    ContentDatabaseBuilder db(PathOf("task.db"));
    db.AddQuestion("Q7", "t", "h", "b", std::nullopt, "T9");
  }
  auto others = MakeRef<QuestionPool>();
  const AutomationError bad_task =
      ErrorOf([&] { (void)others->Load(PathOf("task.db"), Variant::Null(), Variant(tasks), ""); });
  EXPECT_EQ(bad_task.number, automation::MakeHResult(0x80040282));
  EXPECT_EQ(bad_task.description, "Invalid Task ID T9 in question ID Q7");
}

TEST_F(ContentPoolsTest, IdsAreValuesNeverSql) {
  {
    ContentDatabaseBuilder db(PathOf("quotes.db"), {"Book 'A'"});
    db.AddQuestion("O'Brien", "t", "h", "b", std::nullopt, std::nullopt);
    db.AddQuestion("x' OR '1'='1", "t", "h", "b", std::nullopt, std::nullopt);
    db.AddFinalAnswer("O'Brien", "It's fine", "f.gif");
    db.AddFinalAnswer("Other", "Not mine", "o.gif");
    db.AddPageRefs("O'Brien", {"p. 7"});
    db.AddPageRefs("Other", {"p. 8"});
  }
  auto questions = MakeRef<QuestionPool>();
  ASSERT_TRUE(questions->Load(PathOf("quotes.db"), Variant::Null(), Variant::Null(), "Book 'A'"));
  Question* quoted = questions->Find("O'Brien");
  ASSERT_NE(quoted, nullptr);
  EXPECT_EQ(quoted->FinalAnswers()->size(), 1u);
  EXPECT_EQ(*quoted->FinalAnswers()->FindText("It's fine"), Variant("f.gif"));
  EXPECT_EQ(quoted->TextbookReference(), "p. 7");
  Question* injected = questions->Find("x' OR '1'='1");
  ASSERT_NE(injected, nullptr);
  EXPECT_TRUE(injected->FinalAnswers()->empty());
  EXPECT_EQ(injected->TextbookReference(), "");

  // A text-book ID is a column to find, not text to run.
  const AutomationError not_a_column = ErrorOf([&] {
    (void)questions->LoadFromDatabase(PathOf("quotes.db"), Variant::Null(), Variant::Null(),
                                      "1; DROP TABLE tblQuestions");
  });
  EXPECT_EQ(not_a_column.number, kNoSuchTable);
  auto again = MakeRef<QuestionPool>();
  EXPECT_TRUE(again->Load(PathOf("quotes.db"), Variant::Null(), Variant::Null(), ""));
}

TEST_F(ContentPoolsTest, AnAnswerTwiceInOneQuestionIsADuplicateKey) {
  {
    ContentDatabaseBuilder db(PathOf("twice.db"));
    db.AddQuestion("Q1", "t", "h", "b", std::nullopt, std::nullopt);
    db.AddQuestion("Q2", "t", "h", "b", std::nullopt, std::nullopt);
    db.AddFinalAnswer("Q1", "Ctrl+S", "a.gif");
    db.AddFinalAnswer("Q1", "ctrl+s", "b.gif");  // answers compare with case
    db.AddFinalAnswer("Q2", "Ctrl+S", "a.gif");
    db.AddFinalAnswer("Q2", "Ctrl+S", "c.gif");
  }
  auto questions = MakeRef<QuestionPool>();
  EXPECT_EQ(ErrorOf([&] {
              (void)questions->Load(PathOf("twice.db"), Variant::Null(), Variant::Null(), "");
            }).number,
            kDuplicateKey);
  EXPECT_EQ(Keys(*questions->Questions()), "Q1");
  EXPECT_EQ(questions->Find("Q1")->FinalAnswers()->size(), 2u);
}

// Answer rows in any order: most tables list a question's rows together and
// in the order of the questions, which the load follows without its index;
// rows apart, out of order, of a question with another case, or of no
// question at all must reach the same questions.
TEST_F(ContentPoolsTest, AnswersInAnyOrderReachTheirQuestions) {
  {
    ContentDatabaseBuilder db(PathOf("order.db"));
    for (const char* id : {"Q1", "Q2", "Q3", "Q4"}) {
      db.AddQuestion(id, "t", "h", "b", std::nullopt, std::nullopt);
    }
    db.AddFinalAnswer("Q2", "b1", "x");
    db.AddFinalAnswer("Q1", "a1", "x");
    db.AddFinalAnswer("q2", "b2", "x");
    db.AddFinalAnswer("Q9", "nobody's", "x");
    db.AddFinalAnswer("Q4", "d1", "x");
    db.AddFinalAnswer("Q1", "a2", "x");
    db.AddFinalAnswer("Q4", "d2", "x");
    db.AddDialogAnswer("Q1", "a", "1");
    db.AddDialogAnswer("Q3", "c", "3");
  }
  auto questions = MakeRef<QuestionPool>();
  ASSERT_TRUE(questions->Load(PathOf("order.db"), Variant::Null(), Variant::Null(), ""));
  auto answers = [&](const char* id, const Ref<Dictionary>& (Question::*kind)()) {
    std::string keys;
    for (const Dictionary::Entry& e : *(questions->Find(id)->*kind)()) keys += e.key.string() + ",";
    return keys;
  };
  EXPECT_EQ(answers("Q1", &Question::FinalAnswers), "a1,a2,");
  EXPECT_EQ(answers("Q2", &Question::FinalAnswers), "b1,b2,");
  EXPECT_EQ(answers("Q3", &Question::FinalAnswers), "");
  EXPECT_EQ(answers("Q4", &Question::FinalAnswers), "d1,d2,");
  EXPECT_EQ(answers("Q1", &Question::DialogAnswers), "a,");
  EXPECT_EQ(answers("Q2", &Question::DialogAnswers), "");
  EXPECT_EQ(answers("Q3", &Question::DialogAnswers), "c,");
}

// An Objectives-like object made by script: only its members by name.
class ScriptObjectives : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();
  Ref<Collection> members = automation::MakeCollection();
};
NORWIN_CLASS(ScriptObjectives) {
  Property("Objectives", [](ScriptObjectives& self) { return self.members; });
}

TEST_F(ContentPoolsTest, PoolsFromScriptAreAskedByName) {
  const std::string title = WriteTitle();
  auto own = MakeRef<ScriptObjectives>();
  auto word = MakeRef<Objective>();
  word->SetID("W1");
  word->SetModule("Word (from script)");
  own->members->AddKeyed("W1", Variant(word));

  auto tasks = MakeRef<TaskPool>();
  // Through dispatch, as page script calls: TextBooks may be left out.
  const AutomationError missing = ErrorOf([&] {
    (void)CallByName(*tasks, "Load", automation::DISPATCH_METHOD, {Variant(title), Variant(own)});
  });
  EXPECT_EQ(missing.number, automation::MakeHResult(0x8004026D));  // W2 is not there
  Task* t1 = tasks->Tasks()->FindObject<Task>("T1");
  ASSERT_NE(t1, nullptr);
  EXPECT_EQ(t1->GetObjective(), word);
  EXPECT_EQ(Keys(*tasks->GetModules()), "Word (from script)");

  // An object that is no pool at all finds nothing.
  auto questions = MakeRef<QuestionPool>();
  EXPECT_EQ(ErrorOf([&] {
              (void)CallByName(
                  *questions, "Load", automation::DISPATCH_METHOD,
                  {Variant(title), Variant(automation::MakeCollection()), Variant::Null()});
            }).number,
            automation::MakeHResult(0x80040281));
  // The optional text-book ID defaults to "".
  auto plain = MakeRef<QuestionPool>();
  EXPECT_EQ(CallByName(*plain, "Load", automation::DISPATCH_METHOD,
                       {Variant(title), Variant::Null(), Variant::Null()}),
            Variant(true));
  EXPECT_EQ(plain->Questions()->size(), 4u);
}

}  // namespace
}  // namespace norwin::datalayer
