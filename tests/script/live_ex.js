// Live-exercise results as course pages keep them: scores made by name,
// stored and read back, the percentage score, the waiting submission
// document, and VelloraLiveEx through the DOM, with the errors they raise.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var prefix = WScript.Arguments(0);
var fso = new ActiveXObject('Scripting.FileSystemObject');

// ---- LiveExResults and LiveExScore ----
var results = new ActiveXObject('NorwinPellam2003.LiveExResults');
results.ExamID = 'LX7';
results.Title = 'Formatting cells';
results.StudentID = 'SID00042';
for (var i = 1; i <= 3; i++) {
  var score = new ActiveXObject('NorwinPellam2003.LiveExScore');
  score.ID = String(i);
  score.ExamID = results.ExamID;
  score.Correct = i !== 2;
  score.Attempts = i;
  results.Scores.Add(score, score.ID);
}
check('three steps', results.Scores.Count, 3);
check('two of three right', results.CalcScore(), 2 / 3 * 100);
var duplicate = errorOf(function () { results.Scores.Add(results.Scores(1).Clone(), '1'); });
check('a step twice raises 457', duplicate.number, -2146827831);
var clone = results.Scores('2').Clone();
clone.Attempts = 9;
check('a clone is a copy', clone.ID + ':' + clone.Attempts + ':' + results.Scores('2').Attempts,
      '2:9:2');

var file = prefix + '/lx7_results.xml';
check('save', results.Save(file), true);
var again = new ActiveXObject('NorwinPellam2003.LiveExResults');
check('load', again.Load(file), true);
check('where it came from', again.origFilename, file);
check('its file name', again.ExamFileName, 'lx7_results.xml');
check('the steps came back', again.Scores.Count + ':' + again.Scores('3').Correct, '3:true');
check('so did the score', again.CalcScore(), results.CalcScore());
check('a missing record', again.Load(prefix + '/nothing.xml'), false);
var unwritable = errorOf(function () { results.Save(prefix + '/no/such/folder/x.xml'); });
check('an unwritable place raises', unwritable.number, -2147024891);

var moved = prefix + '/lx7_moved.xml';
check('save elsewhere, dropping the old record', again.Save(moved, true), true);
check('the old one went', fso.FileExists(file), false);
check('delete', again.Delete(moved), true);
check('delete twice', again.Delete(moved), false);

// ---- The waiting submission document ----
var registry = new ActiveXObject('NorwinPellam2003.Registry');
check('no results folder, no document', results.GetVelloraLiveEx() == null, true);
var folder = prefix + '/results';
fso.CreateFolder(folder);
registry.fSaveString(registry.HKEY_LOCAL_MACHINE, 'Software\\Norwin Interactive\\Pellam\\Zephon',
                     'resultsDir', folder);
var waiting = fso.CreateTextFile(folder + '/VelloraLiveEx_LX7.xml', true);
waiting.Write('<VUDUD_INPUTS><SUBMIT_HOST_V3>http://vellora.example/submit.asp</SUBMIT_HOST_V3>' +
              '<liveExercise><id>LX7</id><studentId>SID00042</studentId>' +
              '<score>12.5</score></liveExercise></VUDUD_INPUTS>');
waiting.Close();
var live = results.GetVelloraLiveEx();
check('the document loads', live.SubmitHost + '|' + live.ExamID + '|' + live.Score,
      'http://vellora.example/submit.asp|LX7|12.5');
check('and is used up', fso.FileExists(folder + '/VelloraLiveEx_LX7.xml'), false);
check('only once', results.GetVelloraLiveEx() == null, true);

// ---- VelloraLiveEx through the DOM ----
var doc = new ActiveXObject('MSXML2.DOMDocument');
doc.loadXML('<VUDUD_INPUTS/>');
live.assignmentID = 'A99';
check('SaveToXMLNode', live.SaveToXMLNode(doc.documentElement), true);
check('its layout', doc.documentElement.selectSingleNode('liveExercise/assignmentId').text, 'A99');
check('the score as a number',
      doc.documentElement.selectSingleNode('liveExercise/score').text, '12.5');
var other = new ActiveXObject('NorwinPellam2003.VelloraLiveEx');
check('LoadFromXMLNode', other.LoadFromXMLNode(doc.documentElement, 'x.xml'), true);
check('what it read', other.assignmentID + ':' + other.Score, 'A99:12.5');
check('a text is no node', errorOf(function () { other.LoadFromXMLNode('x', ''); }).number,
      -2146827864);
var copy = prefix + '/lx7_vellora.xml';
check('written back to a file', other.Save(copy), true);
var third = new ActiveXObject('NorwinPellam2003.VelloraLiveEx');
check('and loaded from it', third.Load(copy, 'none') && third.assignmentID, 'A99');
check('theXML is the document', /<liveExercise>/.test(third.theXML), true);
check('a server address is never deleted', third.Delete('http://vellora.example/x.xml'), false);
check('a file is', third.Delete(copy), true);

finish();
