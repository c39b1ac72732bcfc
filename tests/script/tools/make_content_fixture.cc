// Writes the content database the script tests read (content.db in the
// folder given): a small title with objectives, tasks, questions and their
// answers, page references for two text books, and the text books.
//   make_content_fixture FILE
#include <stdio.h>

#include "support/content_database_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  norwin::testing::ContentDatabaseBuilder db(argv[1], {"TB1", "TB2"});
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
  db.AddFinalAnswer("Q1", "Ctrl+O", std::nullopt);
  db.AddDialogAnswer("Q1", "Open dialog", "1042");
  db.AddPartialAnswer("Q2", "Format", std::nullopt);
  db.AddPageRefs("Q1", {"p. 12", "ch. 1"});
  db.AddPageRefs("Q3", {"p. 30", std::nullopt});
  db.AddTextBook("TB1", "Word Basics", "Ann Author");
  db.AddTextBook("TB2", "Excel Basics", std::nullopt);
  return 0;
}
