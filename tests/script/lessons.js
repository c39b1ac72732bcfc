// Lessons, tutorials and lesson menus as course pages use them: a student's
// progress through a menu's lessons, marked, saved to the student's own
// copy and read back; listings; and the errors that reach the page.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var kObjectNotSet = -2146828197;   // 91

var prefix = WScript.Arguments(0);
var fso = new ActiveXObject('Scripting.FileSystemObject');
var defs = prefix + '/lessons';
// A second argument is a record server's folder ("http://host:port/app/"):
// the students' copies are then kept behind its record pages, the lessons
// themselves staying on the course's medium, with the same results.
var onServer = WScript.Arguments.length > 1;
var save = onServer ? WScript.Arguments(1) + 'progress' : prefix + '/progress';
fso.CreateFolder(defs);
if (!onServer) fso.CreateFolder(save);
function write(name, text) {
  var stream = fso.CreateTextFile(defs + '/' + name, true);
  stream.Write(text);
  stream.Close();
}
write('intro_pml.xml', '<lesson ID="L1"><title>Intro</title><source>1</source>' +
      '<taskList><taskRef>t1</taskRef><taskRef>t2</taskRef></taskList></lesson>');
write('course_lm.xml', '<lessonMenu><title>Course</title><tutorialList>' +
      '<tutorial type="noexpand" spacer="1"><title>Start</title><lessonList>' +
      '<lessonFile>intro_pml.xml</lessonFile></lessonList></tutorial></tutorialList></lessonMenu>');

// ---- A menu for student s17: the definition, aimed at the student's file ----
var menu = new ActiveXObject('NorwinPellam2003.LessonMenu');
check('menus of the folder', menu.GetLessonMenus(defs).Count, 1);
check('load', menu.Load(defs + '/course_lm.xml', defs, null, 's17', save), true);
check('title', menu.Title, 'Course');
var tutorial = menu.Tutorials.Item(1);
check('tutorial type', tutorial.TutorialType, 1);
check('spacer', tutorial.Spacer, true);
check('found by title', tutorial.LessonTitleFiles.Item('Intro').Filename, 'intro_pml.xml');
var lesson = tutorial.Lessons.Item(1);
check('student file name', lesson.LessonFilename, 'intro_pml_s17.xml');
check('tasks', lesson.Tasks.Count, 2);
check('not complete', lesson.CalcLessonComplete(), false);

// ---- Marking tasks and saving the student's copy ----
lesson.Tasks.Item('t1').CompletionDate = '12/7/2026 3:04:05 PM';
lesson.Tasks.Item('t2').CompletionDate = '12/8/2026';
check('complete now', lesson.CalcLessonComplete(), true);
check('save', lesson.Save(save + '/' + lesson.LessonFilename), true);
check('completed on save', lesson.Completed, true);
var reread = new ActiveXObject('NorwinPellam2003.Lesson');
check('student lessons', reread.GetStudentLessons(save + '/', 's17', true, null).Count, 1);
check('file complete', reread.CalcLessonFileComplete(save + '/intro_pml_s17.xml', null), true);
check('missing file', reread.CalcLessonFileComplete(save + '/none_pml_s17.xml', null), false);
check('load copy', reread.Load(save + '/intro_pml_s17.xml', null), true);
check('date back', String(reread.Tasks.Item('t1').CompletionDate) !== '', true);
check('id back', reread.LessonID, 'L1');

// A second load of the menu now takes the student's copy.
var again = new ActiveXObject('NorwinPellam2003.LessonMenu');
check('reload', again.Load(defs + '/course_lm.xml', defs, null, 's17', save), true);
check('the copy', again.Tutorials.Item(1).Lessons.Item(1).Completed, true);

// ---- Into and out of DOM nodes ----
var doc = new ActiveXObject('MSXML2.DOMDocument');
var node = doc.createNode(1, 'lesson', '');
check('save to a node', reread.SaveToXMLNode(node), true);
check('completed attribute', node.getAttribute('COMPLETED'), 'true');
var fromNode = new ActiveXObject('NorwinPellam2003.Lesson');
check('load from a node', fromNode.LoadFromXMLNode(node, null, 'x/y/z_pml.xml'), true);
check('file part', fromNode.LessonFilename, 'z_pml.xml');
check('no node raises 91',
      errorOf(function () { fromNode.SaveToXMLNode(null); }).number !== 0, true);
var tnode = doc.createNode(1, 'tutorial', '');
check('tutorial to a node', again.Tutorials.Item(1).SaveToXMLNode(tnode), true);
check('tutorial type written', tnode.getAttribute('type'), 'noexpand');
check('delete', reread.Delete(save + '/intro_pml_s17.xml'), true);

finish();
