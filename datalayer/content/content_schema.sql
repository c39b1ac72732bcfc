-- The content database of a title: its skill objectives, its tasks, its exam
-- questions with their answers and text-book page references, and its text
-- books. The objective, task and question pools and the text-book list read
-- these tables and columns by name; lumo-content creates them, and the tests
-- of those readers build their databases from this same file.
--
-- Every column holds text. A column's DEFAULT is what the readers take as
-- "absent": an empty text where they need text (a Null there stops a load),
-- Null where they test for Null (a question's objective and task, an answer's
-- background, a page reference). A blank cell that lumo-content imports gets
-- the default. No constraints: `lumo-content check` reports what a reader
-- would refuse (duplicate IDs, references to nothing, Null text) as a list,
-- rather than stopping at the first row.

-- A skill objective; tasks and questions name it in objectiveRef.
CREATE TABLE objective (
  id TEXT DEFAULT '',
  module TEXT DEFAULT '',
  skillset TEXT DEFAULT '',
  objectiveLabel TEXT DEFAULT ''
);

-- A task of an application's view, training one objective.
CREATE TABLE task (
  id TEXT DEFAULT '',
  taskName TEXT DEFAULT '',
  baseHREF TEXT DEFAULT '',
  app TEXT DEFAULT '',
  view TEXT DEFAULT '',
  objectiveRef TEXT DEFAULT ''
);

-- An exam question; background is the name of its picture.
CREATE TABLE tblQuestions (
  id TEXT DEFAULT '',
  text TEXT DEFAULT '',
  hint TEXT DEFAULT '',
  background TEXT DEFAULT '',
  objectiveRef TEXT,
  taskRef TEXT
);

-- The answers of a question, keyed by its ID: final answers (a right
-- answer), dialog answers (the ID of the dialog that answers it) and partial
-- answers (a step on the way).
CREATE TABLE tblFinalAnswer (
  questionID TEXT DEFAULT '',
  answer TEXT DEFAULT '',
  background TEXT
);

CREATE TABLE tblDialogAnswer (
  questionID TEXT DEFAULT '',
  answer TEXT DEFAULT '',
  dialogID TEXT DEFAULT ''
);

CREATE TABLE tblPartialAnswer (
  questionID TEXT DEFAULT '',
  answer TEXT DEFAULT '',
  background TEXT
);

-- Page references of questions: one more column per text book, named by the
-- text book's ID (added as "ALTER TABLE tblPageRefs ADD COLUMN TB1 TEXT").
CREATE TABLE tblPageRefs (
  questionID TEXT DEFAULT ''
);

CREATE TABLE textBook (
  id TEXT DEFAULT '',
  title TEXT DEFAULT '',
  author TEXT DEFAULT ''
);
