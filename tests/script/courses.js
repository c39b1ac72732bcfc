// Courses, text books and the content pools as page script and
// administrators' scripts use them: created by ProgID, loaded from the
// title's content database and from course-list records, changed, saved,
// reloaded, and the errors they raise with their numbers.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var prefix = WScript.Arguments(0);
var content = prefix + '/fixtures/content.db';

function keysOf(collection, property) {
  var keys = [];
  for (var e = new Enumerator(collection); !e.atEnd(); e.moveNext()) {
    keys.push(property ? e.item()[property] : e.item());
  }
  return keys.join(',');
}

// ---- Text books from the content database ----
var books = new ActiveXObject('NorwinPellam2003.TextBooks');
check('no database, no books', books.Load(prefix + '/fixtures/none.db'), false);
check('the database loads', books.Load(content), true);
check('two books', books.TextBooks.Count, 2);
check('looked up by ID', books.TextBooks('TB1').Title, 'Word Basics');
check('a Null author reads as ""', books.TextBooks('TB2').Author, '');
check('Exists', books.Exists('TB2') + ',' + books.Exists('TB9'), 'true,false');

// ---- A course list: build, save, reload ----
var courses = new ActiveXObject('NorwinPellam2003.Courses');
check('the first course ID', courses.AddCourse('Word 101'), '0');
check('the next one', courses.AddCourse('Excel 101'), '1');
var word = courses.Courses('0');
check('sections are numbered from 0', word.AddSection('Mornings'), 0);
check('and go on', word.AddSection('Evenings'), 1);
check('the names of the sections', keysOf(word.GetSections()), 'Mornings,Evenings');
check('SetTextBook keeps the object', word.SetTextBook(books.TextBooks('TB1')), true);
// A second argument is a record server's folder ("http://host:port/app/"):
// the course list then lives behind its record pages, with the same results.
var onServer = WScript.Arguments.length > 1;
var file = (onServer ? WScript.Arguments(1) : prefix + '/') + 'classes.xml';
check('saved', courses.Save(file), true);

var doc = new ActiveXObject('MSXML2.DOMDocument');
doc.async = false;
if (onServer) {
  // The page's own DOM does not fetch from a server: the record as loaded.
  var stored = new ActiveXObject('NorwinPellam2003.Courses');
  doc.loadXML('<classes/>');
  check('the record is XML', stored.Load(file, books) && stored.SaveToXMLNode(doc.documentElement),
        true);
} else {
  check('the record is XML', doc.load(file), true);
}
check('one class element per course', doc.documentElement.selectNodes('class').length, 2);
check('the text book is referred to by ID',
      doc.documentElement.selectSingleNode('class/textBookRef').text, 'TB1');
check('a course without sections has no sectionList',
      doc.documentElement.selectNodes('class/sectionList').length, 1);

var reread = new ActiveXObject('NorwinPellam2003.Courses');
check('reloaded against the books', reread.Load(file, books), true);
check('its courses', keysOf(reread.Courses, 'Name'), 'Word 101,Excel 101');
check('its text book is the loaded one', reread.Courses('0').TextBook.Author, 'Ann Author');
check('the section counter follows the IDs read', reread.Courses('0').NewSectionID, 2);
check('and the course counter', reread.AddCourse('Access 101'), '2');
check('Exists', reread.Exists('1') + ',' + reread.Exists('7'), 'true,false');

// A reference to a text book that the books do not hold.
var other = new ActiveXObject('MSXML2.DOMDocument');
other.loadXML('<classes><class><id>4</id><textBookRef>TB9</textBookRef></class></classes>');
var invalid = errorOf(function () {
  new ActiveXObject('NorwinPellam2003.Courses').LoadFromXMLNode(other.documentElement, books);
});
check('an unknown text book raises 641', invalid.number, -2146827647);
check('with its text', invalid.description, 'Invalid textbook reference');
check('and source', invalid.source, 'Course:LoadFromXMLNode');
var bare = new ActiveXObject('NorwinPellam2003.Courses');
check('without books the reference is kept bare',
      bare.LoadFromXMLNode(other.documentElement, null), true);
check('as a text book with its ID only', bare.Courses('4').TextBook.ID, 'TB9');
other.loadXML('<classes><class><id>Word</id></class></classes>');
check('a course ID that is no number raises 13',
      errorOf(function () { bare.LoadFromXMLNode(other.documentElement, null); }).number,
      -2146828275);

// ---- The content pools, loaded in their chain ----
var objectives = new ActiveXObject('NorwinPellam2003.Objectives');
check('objectives load', objectives.Load(content, null), true);
check('their IDs', keysOf(objectives.Objectives, 'ID'), 'W1,W2,E1');
var tasks = new ActiveXObject('NorwinPellam2003.TaskPool');
check('tasks load (text books left out)', tasks.Load(content, objectives), true);
check('modules in the order met', keysOf(tasks.GetModules()), 'Word,Excel');
check('a task knows its objective', tasks.Tasks('T2').Objective.Label, 'Format text');
check('tasks of a module', keysOf(tasks.GetTasksByModule('Word'), 'ID'), 'T1,T2');
var pool = new ActiveXObject('NorwinPellam2003.QuestionPool');
check('questions load', pool.Load(content, objectives, tasks, 'TB1'), true);
var q1 = pool.Questions('Q1');
check('module, app and view', q1.Module + '/' + q1.App + '/' + q1.View, 'Word/Word/Normal');
check('page reference of the chosen book', q1.TextbookReference, 'p. 12');
check('final answers', q1.FinalAnswers.Count, 2);
check('a Null background reads "none"', q1.FinalAnswers('Ctrl+O'), 'none');
check('dialog answers', q1.DialogAnswers('Open dialog'), '1042');
check('a question without objective has no module', pool.Questions('Q4').Module, '');
check('questions of a module', keysOf(pool.GetQuestionsByModule('Word'), 'ID'), 'Q1,Q2');
var clone = pool.GetQuestionsByModule('Word')('Q1');
clone.Correct = 1;
check('clones leave the pool alone', pool.Questions('Q1').Correct, 0);
check('a fresh question is worth 1 point', new ActiveXObject('NorwinPellam2003.Question').Points, 1);
var again = errorOf(function () { pool.Load(content, objectives, tasks); });
check('loading twice raises the duplicate error', again.number, -2147220851);
check('naming the question', again.description,
      "QuestionPool.LoadFromDatabase: found duplication question id 'Q1'");

var strays = new ActiveXObject('NorwinPellam2003.TaskPool');
var missing = errorOf(function () {
  strays.Load(content, new ActiveXObject('NorwinPellam2003.Objectives'));
});
check('a task whose objective is missing', missing.number, -2147220883);
check('its source', missing.source, 'TaskPool.LoadFromDatabase');
check('a missing file is no error', strays.Load(prefix + '/none.db', null), false);

// ---- Objective lists and task pools as records ----
check('objectives saved', objectives.Save(prefix + '/objectives.xml'), true);
check('task pool saved', tasks.Save(prefix + '/tasks.xml'), true);
doc.load(prefix + '/tasks.xml');
check('a task names its objective', doc.documentElement.selectSingleNode('task/objectiveRef').text,
      'W1');
var reference = new ActiveXObject('NorwinPellam2003.Reference');
check('a page reference', reference.LoadFromDatabase('TB2', 'ch. 4', books), true);
check('to the loaded book', reference.TextBook.Title, 'Excel Basics');
check('an unknown book raises',
      errorOf(function () { reference.LoadFromDatabase('TB9', 'x', books); }).number,
      -2147220903);

finish();
