// Exams as the exam pages use them: made by ProgID, filled from the title's
// question pool, shuffled, answered, saved as a student's attempt, loaded
// back, listed, totalled over a section, and the errors that reach the page.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var prefix = WScript.Arguments(0);
var content = prefix + '/fixtures/content.db';
var fso = new ActiveXObject('Scripting.FileSystemObject');
// A second argument is a record server's folder ("http://host:port/app/"):
// the exams then live behind its record pages, with the same results.
var onServer = WScript.Arguments.length > 1;
var dir = onServer ? WScript.Arguments(1) + 'exams' : prefix + '/exams';
if (!onServer) fso.CreateFolder(dir);

// Whether an exam record is stored at `file`.
function stored(file) {
  return onServer ? new ActiveXObject('NorwinPellam2003.Exam').Load(file, null)
                  : fso.FileExists(file);
}
// The stored record `file` as a DOM document of the page's own.
function documentOf(file) {
  var doc = new ActiveXObject('MSXML2.DOMDocument');
  doc.async = false;
  if (onServer) {
    var record = new ActiveXObject('NorwinPellam2003.Exam');
    record.Load(file, null);
    doc.loadXML('<exam/>');
    record.SaveToXMLNode(doc.documentElement);
  } else {
    doc.load(file);
  }
  return doc;
}

function idsOf(collection) {
  var ids = [];
  for (var e = new Enumerator(collection); !e.atEnd(); e.moveNext()) ids.push(e.item().ID);
  return ids.join(',');
}

var objectives = new ActiveXObject('NorwinPellam2003.Objectives');
objectives.Load(content, null);
var tasks = new ActiveXObject('NorwinPellam2003.TaskPool');
tasks.Load(content, objectives);
var pool = new ActiveXObject('NorwinPellam2003.QuestionPool');
check('the pool loads', pool.Load(content, objectives, tasks, 'TB1'), true);

// ---- An exam definition, written by the author's page ----
var exam = new ActiveXObject('NorwinPellam2003.Exam');
check('a new exam is not started', exam.Started, false);
exam.Title = 'Word skills';
exam.Questions.Add(pool.Questions('Q1').Clone(), 'Q1');
exam.Questions.Add(pool.Questions('Q2').Clone(), 'Q2');
exam.SetPassword('secret');
check('the password is the preferences\' one', exam.CheckPassword('secret') + ',' +
      exam.CheckPassword('guess') + ',' + exam.Prefs.CheckPassword('secret'), 'true,false,true');
check('saved', exam.Save(dir + '/word_pmxm.xml'), true);
check('its file name', exam.ExamFileName, 'word_pmxm.xml');

// ---- A student's attempt ----
var attempt = new ActiveXObject('NorwinPellam2003.Exam');
check('loads against the pool', attempt.Load(dir + '/word_pmxm.xml', pool), true);
check('clones of the pool questions', idsOf(attempt.Questions), 'Q1,Q2');
check('with their texts', attempt.Questions('Q1').Module, 'Word');
attempt.RandomizeQuestions();
check('shuffling keeps every question under its ID',
      attempt.Questions('Q1').ID + attempt.Questions('Q2').ID, 'Q1Q2');
attempt.StudentID = 's17';
attempt.Started = true;
attempt.Questions('Q1').Correct = 1;
attempt.Questions('Q1').Attempts = 1;
attempt.Questions('Q2').Remediation = 'See page 12';
attempt.PctCorrect = 50;
attempt.CompletionDate = '12/8/2026';
check('saved as the attempt', attempt.Save(dir + '/word_pmxm_s17_01.xml'), true);
check('the definition stays', stored(dir + '/word_pmxm.xml'), true);

var doc = documentOf(dir + '/word_pmxm_s17_01.xml');
check('the record\'s student', doc.documentElement.selectSingleNode('studentID').text, 's17');
check('the remediation', doc.documentElement.selectSingleNode('examRemediation').text,
      'See page 12');
var bare = new ActiveXObject('NorwinPellam2003.Exam');
check('LoadFromXMLNode without a pool', bare.LoadFromXMLNode(doc.documentElement, null,
      dir + '/word_pmxm_s17_01.xml'), true);
check('questions carry their results', bare.Questions('Q1').Correct + '/' +
      bare.Questions('Q1').Module + '/' + bare.Questions('Q2').Remediation, '1//See page 12');
var out = new ActiveXObject('MSXML2.DOMDocument');
out.loadXML('<exam/>');
check('SaveToXMLNode', bare.SaveToXMLNode(out.documentElement), true);
check('writes pctCorrect', out.documentElement.getAttribute('pctCorrect'), '50');

// ---- Listings (of a folder named with its trailing slash, as a server's must be) ----
check('definitions', exam.GetExams(dir + '/', 1).Count, 1);
check('attempts', exam.GetExams(dir + '/', 2).Item(1).filename, 'word_pmxm_s17_01.xml');
check('a missing folder lists nothing', exam.GetExams(dir + '/none/', -1).Count, 0);
check('first attempts of s17', exam.GetStudentExams(dir + '/', 's17').Count, 1);
var info = exam.GetExamInfo(dir + '/', 's17').Item(1);
check('exam info', info.PctCorrect + '/' + info.FirstQuestionID, '50/' +
      attempt.Questions.Item(1).ID);

// ---- A section summary ----
var rosterDoc = new ActiveXObject('MSXML2.DOMDocument');
rosterDoc.loadXML('<students><student><id>s17</id></student><student><id>s18</id></student>' +
                  '<student><id>s19</id></student></students>');
var roster = new ActiveXObject('NorwinPellam2003.Students');
roster.LoadFromXMLNode(rosterDoc.documentElement, null);
check('the class roster', roster.Save(dir + '/roster.xml', null), true);
// s18 was asked every question in random order (no limit), s19 one of them.
var second = new ActiveXObject('NorwinPellam2003.Exam');
second.Load(dir + '/word_pmxm.xml', pool);
second.StudentID = 's18';
second.Prefs.RandomQuestionOrder = true;
second.Questions('Q2').Correct = 1;
check('a random-order attempt', second.Save(dir + '/word_pmxm_s18_01.xml'), true);
var third = new ActiveXObject('NorwinPellam2003.Exam');
third.Load(dir + '/word_pmxm.xml', pool);
third.StudentID = 's19';
third.Prefs.RandomQuestionOrder = true;
third.Prefs.RandomQuestionLimit = 1;
third.Questions('Q1').Correct = 1;
check('an attempt of one question', third.Save(dir + '/word_pmxm_s19_01.xml'), true);
var summary = new ActiveXObject('NorwinPellam2003.Exam');
check('summary loads', summary.LoadExamSummary(dir + '/roster.xml', pool, null, '', '',
      dir + '/word_pmxm.xml', 1), true);
check('totals', summary.Questions('Q1').Correct + '/' + summary.Questions('Q1').Attempts + ',' +
      summary.Questions('Q2').Correct + '/' + summary.Questions('Q2').Attempts, '2/3,1/2');

check('deleted', exam.Delete(dir + '/word_pmxm_s17_01.xml'), true);
check('a missing file gives Empty', typeof exam.Delete(dir + '/word_pmxm_s17_01.xml'),
      'undefined');
check('a pool that is no object raises 424',
      errorOf(function () { exam.Load(dir + '/word_pmxm.xml', 5); }).number, -2146827864);

finish();
