// Preferences, exam lists and their handles as teachers' pages use them:
// made by ProgID, filled, saved, loaded back, listed, and the errors that
// reach the page with their numbers.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var kObjectNotSet = -2146828197;   // 91
var kTypeMismatch = -2146828275;   // 13
var kDuplicateKey = -2146827831;   // 457

var prefix = WScript.Arguments(0);
var fso = new ActiveXObject('Scripting.FileSystemObject');
// A second argument is a record server's folder ("http://host:port/app/"):
// the records then live behind its record pages, with the same results.
var onServer = WScript.Arguments.length > 1;
var dir = onServer ? WScript.Arguments(1) + 'exams' : prefix + '/exams';
if (!onServer) fso.CreateFolder(dir);
// Stores the document `text` as `name`: as it is in a folder; on a server
// as the Exam record it reads as, since the record pages take records only.
function write(name, text) {
  if (onServer) {
    var doc = new ActiveXObject('MSXML2.DOMDocument');
    doc.loadXML(text);
    var exam = new ActiveXObject('NorwinPellam2003.Exam');
    exam.LoadFromXMLNode(doc.documentElement, null, name);
    exam.Save(dir + '/' + name);
    return;
  }
  var stream = fso.CreateTextFile(dir + '/' + name, true);
  stream.Write(text);
  stream.Close();
}
// Whether a record is stored at `file`.
function stored(file) {
  return onServer ? new ActiveXObject('NorwinPellam2003.ExamList').Load(file, '')
                  : fso.FileExists(file);
}
write('u1_pmxm.xml', '<exam pctCorrect="75"><title>Unit 1</title><questionRef>Q4</questionRef></exam>');
write('u2_pmxm.xml', '<exam><title>Unit 2</title></exam>');

// ---- Preferences: settings, password, a record of their own ----
var prefs = new ActiveXObject('NorwinPellam2003.Preferences');
check('time limit starts at 30', prefs.TimeLimit, 30);
check('inherited at first', prefs.Inherited, true);
check('no password, any password', prefs.CheckPassword('x'), true);
prefs.TimeLimit = 45;
prefs.RandomQuestionOrder = true;
prefs.RandomQuestionLimit = 10;
prefs.StartDate = '9/1/2026';
prefs.SetPassword('Teacher1');
check('a password is required now', prefs.ExamPWRequired, true);
check('kept as its digest', prefs.EncryptedPasswordProp,
      new ActiveXObject('NorwinPellam2003.Encryption').Encrypt('Teacher1'));
check('save', prefs.Save(dir + '/defaults.xml'), true);
var site = new ActiveXObject('NorwinPellam2003.Preferences');
check('load', site.Load(dir + '/defaults.xml'), true);
check('time limit back', site.TimeLimit, 45);
check('random limit back', site.RandomQuestionLimit, 10);
check('start date back', site.StartDate, '9/1/2026');
check('right password', site.CheckPassword('Teacher1'), true);
check('wrong password', site.CheckPassword('teacher1'), false);
check('missing file', site.Load(dir + '/nothing.xml'), false);
// Documents no record class writes: what a folder may hold.
if (!onServer) {
  write('badpref.xml', '<pref><timeLimit>an hour</timeLimit></pref>');
  check('text that is no number raises 13',
        errorOf(function () { site.Load(dir + '/badpref.xml'); }).number, kTypeMismatch);
  write('untitled_pmxm.xml', '<exam/>');
  check('an exam without a title raises 91',
        errorOf(function () { new ActiveXObject('NorwinPellam2003.TitleFilename')
                                  .LoadValues(dir + '/', 'untitled_pmxm.xml'); }).number,
        kObjectNotSet);
  write('untitled_pmxl.xml', '<examList><pref/></examList>');
  check('a list without a title raises 91', errorOf(function () {
    new ActiveXObject('NorwinPellam2003.ExamList').Load(dir + '/untitled_pmxl.xml', dir);
  }).number, kObjectNotSet);
}

// ---- TitleFilename and ExamInfo ----
var handle = new ActiveXObject('NorwinPellam2003.TitleFilename');
check('handle loads', handle.LoadValues(dir + '/', 'u1_pmxm.xml'), true);
check('with its title', handle.Title, 'Unit 1');
check('and folder', handle.Directory, dir + '/');
check('missing exam', handle.LoadValues(dir + '/', 'u9_pmxm.xml', 'Exam'), false);
var info = new ActiveXObject('NorwinPellam2003.ExamInfo');
check('info loads', info.LoadValues(dir + '/', 'u1_pmxm.xml'), true);
check('percentage', info.PctCorrect, 75);
check('first question', info.FirstQuestionID, 'Q4');
check('SetValues', info.SetValues('T', 'd/', 'f.xml', 2, 50.5, 'Q1', 1), true);
check('attempt set', info.Attempt + '|' + info.PctCorrect + '|' + info.Source, '2|50.5|1');

// ---- ExamList: build, save, load with a folder list, list, delete ----
var list = new ActiveXObject('NorwinPellam2003.ExamList');
list.Title = 'Term 1';
list.SetPreferences(site);
check('given preferences are not inherited', site.Inherited, false);
check('the list checks with them', list.CheckPassword('Teacher1'), true);
list.Exams.Add(handle, handle.Title);
var second = new ActiveXObject('NorwinPellam2003.TitleFilename');
second.SetValues('Unit 2', dir + '/', 'u2_pmxm.xml');
list.Exams.Add(second, second.Title);
check('save list', list.Save(dir + '/term1_pmxl.xml'), true);

var loaded = new ActiveXObject('NorwinPellam2003.ExamList');
check('load list', loaded.Load(dir + '/term1_pmxl.xml', prefix + '/nowhere;' + dir), true);
check('title', loaded.Title, 'Term 1');
check('file name', loaded.ExamListFilename, 'term1_pmxl.xml');
check('two exams', loaded.Exams.Count, 2);
check('by title', loaded.Exams('Unit 2').filename, 'u2_pmxm.xml');
check('found in the second folder', loaded.Exams(1).Directory, dir + '/');
check('password came along', loaded.CheckPassword('Teacher1'), true);
check('time limit came along', loaded.Prefs.TimeLimit, 45);
var duplicate = errorOf(function () { loaded.Load(dir + '/term1_pmxl.xml', dir); });
check('the same exams again raise 457', duplicate.number, kDuplicateKey);


var titles = [];
// A folder named with its trailing slash, as a server's must be.
for (var e = new Enumerator(list.GetExamLists(dir + '/')); !e.atEnd(); e.moveNext()) {
  titles.push(e.item().Title + '=' + e.item().filename);
}
check('the folder\'s exam lists', titles.join(';'), 'Term 1=term1_pmxl.xml');
check('a missing folder lists nothing', list.GetExamLists(prefix + '/nowhere').Count, 0);
check('delete', list.Delete(dir + '/term1_pmxl.xml'), true);
check('deleted', stored(dir + '/term1_pmxl.xml'), false);
check('delete again', list.Delete(dir + '/term1_pmxl.xml'), false);

// ---- Assignments and DialogBox ----
var assignment = new ActiveXObject('NorwinPellam2003.ExamAssignment');
assignment.ExamFileName = 'u1_pmxm.xml';
assignment.CourseID = 'C1';
check('assignment fields', assignment.ExamFileName + '|' + assignment.CourseID + '|' +
      assignment.SectionID, 'u1_pmxm.xml|C1|');
assignment.Class_Initialize();
check('Class_Initialize empties it', assignment.ExamFileName, '');
var lesson = new ActiveXObject('NorwinPellam2003.LessonAssignment');
lesson.LessonFilename = 'l1_pml.xml';
check('lesson assignment', lesson.LessonFilename, 'l1_pml.xml');
var box = new ActiveXObject('NorwinPellam2003.DialogBox');
check('dialog box values', box.SetValues('blue', 'd1'), true);
check('kept', box.dbBackground + '|' + box.dbId, 'blue|d1');

// ---- Into and out of a page's own DOM ----
var doc = new ActiveXObject('MSXML2.DOMDocument');
doc.loadXML('<exam><pref inherited="0"><timeLimit>25</timeLimit></pref>' +
            '<examAssignment><examRef>u2_pmxm.xml</examRef><sectionRef>S3</sectionRef>' +
            '</examAssignment></exam>');
var fromPage = new ActiveXObject('NorwinPellam2003.Preferences');
check('preferences from a node', fromPage.LoadFromXMLNode(doc.selectSingleNode('exam/pref')), true);
check('read from it', fromPage.TimeLimit + '|' + fromPage.Inherited, '25|false');
var prefNode = doc.createNode(1, 'pref', '');
doc.documentElement.appendChild(prefNode);
check('preferences into a node', fromPage.SaveToXMLNode(prefNode), true);
check('written there', prefNode.selectSingleNode('timeLimit').text, '25');
check('with the flag', prefNode.getAttribute('inherited'), '0');
check('no node is no preferences',
      errorOf(function () { fromPage.LoadFromXMLNode(null); }).number !== 0, true);
var fromElement = new ActiveXObject('NorwinPellam2003.ExamAssignment');
check('assignment from a node',
      fromElement.LoadFromXMLNode(doc.selectSingleNode('exam/examAssignment')), true);
check('its fields', fromElement.ExamFileName + '|' + fromElement.SectionID, 'u2_pmxm.xml|S3');
var target = doc.createNode(1, 'lessonAssignment', '');
lesson.CourseID = 'C2';
check('lesson assignment into a node', lesson.SaveToXMLNode(target), true);
check('written in order', target.xml,
      '<lessonAssignment><lessonRef>l1_pml.xml</lessonRef><classRef>C2</classRef></lessonAssignment>');

finish();
