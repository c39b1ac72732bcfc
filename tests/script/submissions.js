// Exam and lesson submission documents as course pages handle them: a
// document built with the DOM and read by LoadFromXMLNode, the exam and
// lesson inside it taken from pools the page made, written back with
// SaveToXMLNode and to a file, and the errors they raise.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var prefix = WScript.Arguments(0);
var fso = new ActiveXObject('Scripting.FileSystemObject');

function courseXml(record) {
  return '<VUDUD_INPUTS><COURSE_LIST><COURSE ID="C12"><str_Name>Excel 2003</str_Name>' +
         '<SUBMIT_HOST>http://old.example/submit.asp</SUBMIT_HOST>' +
         '<STUDENT ID="SID00042"><str_FirstName>Ann</str_FirstName>' +
         '<str_LastName>Lee</str_LastName></STUDENT>' + record +
         '</COURSE></COURSE_LIST></VUDUD_INPUTS>';
}

// ---- An exam ----
var pool = new ActiveXObject('NorwinPellam2003.QuestionPool');
var ids = ['Q1', 'Q2'];
for (var i = 0; i < ids.length; i++) {
  var question = new ActiveXObject('NorwinPellam2003.Question');
  question.ID = ids[i];
  question.Text = 'Text of ' + ids[i];
  pool.Questions.Add(question, question.ID);
}
var doc = new ActiveXObject('MSXML2.DOMDocument');
doc.loadXML(courseXml('<EXAM_LIST><EXAM ID="E7" EXTERNAL_ID="A99"><title>Formulas</title>' +
                      '<questionRef correct="1" attempts="2">Q2</questionRef>' +
                      '<questionRef>Q1</questionRef></EXAM></EXAM_LIST>'));
var course = doc.selectSingleNode('/VUDUD_INPUTS/COURSE_LIST/COURSE');
var exam = new ActiveXObject('NorwinPellam2003.VelloraExam');
check('every string starts empty', exam.SubmitHost + exam.theXML + exam.ServerErrorStr, '');
check('LoadFromXMLNode', exam.LoadFromXMLNode(course, pool, 'http://vellora.example/e7.xml'), true);
check('the fields', exam.CourseID + '|' + exam.courseName + '|' + exam.StudentID + '|' +
                        exam.StudentFirstName + '|' + exam.SubmitHost,
      'C12|Excel 2003|SID00042|Ann|http://old.example/submit.asp');
check('the exam, with the pool\'s questions', exam.theExam.ExamID + ':' +
                                                  exam.theExam.Questions.Count + ':' +
                                                  exam.theExam.Questions('Q1').Text,
      'E7:2:Text of Q1');
check('its file name is the URL\'s', exam.theExam.ExamFileName, 'e7.xml');

var out = new ActiveXObject('MSXML2.DOMDocument');
out.loadXML('<COURSE/>');
check('SaveToXMLNode', exam.SaveToXMLNode(out.documentElement), true);
check('written under the current host name',
      out.documentElement.selectSingleNode('SUBMIT_HOST_V3').text, 'http://old.example/submit.asp');
check('the student\'s ID as an attribute',
      out.documentElement.selectSingleNode('STUDENT').getAttribute('ID'), 'SID00042');
check('the exam in its list', out.documentElement.selectSingleNode('EXAM_LIST/EXAM/title').text,
      'Formulas');

var file = prefix + '/e7_vellora.xml';
check('saved to a file', exam.Save(file), true);
var again = new ActiveXObject('NorwinPellam2003.VelloraExam');
check('and loaded from it', again.Load(file, pool, 'none'), true);
check('the answers came back', again.theExam.Questions('Q2').Correct, 1);
check('theXML is the document', /<EXAM_LIST>/.test(again.theXML), true);
var own = again.theExam;
var other = new ActiveXObject('NorwinPellam2003.Exam');
other.ExamID = 'CH1';
check('another exam saved in its place', again.SaveOtherExam(prefix + '/ch1.xml', other), true);
check('the own exam is back', again.theExam.ExamID, own.ExamID);
var other_doc = new ActiveXObject('MSXML2.DOMDocument');
check('the file holds the other one', other_doc.load(prefix + '/ch1.xml') &&
                                          other_doc.selectSingleNode('//EXAM').getAttribute('ID'),
      'CH1');
check('a text is no node', errorOf(function () { exam.LoadFromXMLNode('x', null, ''); }).number,
      -2146827864);
check('a lesson is no exam', errorOf(function () {
  exam.theExam = new ActiveXObject('NorwinPellam2003.Lesson');
}).number, -2146828275);
check('a missing file', again.Load(prefix + '/nothing.xml', pool), false);
check('a server address is never deleted', again.Delete('http://vellora.example/x.xml'), false);
check('a file is', again.Delete(file), true);

// ---- A lesson ----
var tasks = new ActiveXObject('NorwinPellam2003.TaskPool');
var task = new ActiveXObject('NorwinPellam2003.Task');
task.ID = 't1';
tasks.Tasks.Add(task, task.ID);
doc.loadXML(courseXml('<lesson ID="L3"><title>Charts</title><taskList>' +
                      '<taskRef completed="3/4/2026">t1</taskRef></taskList></lesson>'));
var lesson = new ActiveXObject('NorwinPellam2003.VelloraLesson');
check('an older document\'s lesson',
      lesson.LoadFromXMLNode(doc.selectSingleNode('//COURSE'), tasks, 'l3.xml') &&
          lesson.theLesson.LessonID + ':' + lesson.theLesson.Tasks.Count,
      'L3:1');
var lessonFile = prefix + '/l3_vellora.xml';
check('saved', lesson.Save(lessonFile, true), true);
var lessonAgain = new ActiveXObject('NorwinPellam2003.VelloraLesson');
check('read back', lessonAgain.Load(lessonFile, tasks) && lessonAgain.theLesson.Title, 'Charts');
check('with the task done', lessonAgain.theLesson.Tasks('t1').CompletionDate > 0, true);
check('deleted', lessonAgain.Delete(lessonFile), true);
check('gone', fso.FileExists(lessonFile), false);

finish();
