// Class rosters as course pages and administrators' scripts use them:
// students made by name, added to a roster file, loaded, authenticated,
// sorted, filtered, replaced, deleted, and the errors script sees.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var prefix = WScript.Arguments(0);
// A second argument is a record server's folder ("http://host:port/app/"):
// the same roster then lives behind its record pages.
var onServer = WScript.Arguments.length > 1;
var file = (onServer ? WScript.Arguments(1) : prefix + '/') + 'roster.xml';

function newStudent(first, last, user, password) {
  var s = new ActiveXObject('NorwinPellam2003.Student');
  s.FirstName = first;
  s.LastName = last;
  s.UserName = user;
  if (password) s.SetPassword(password);
  return s;
}

// ---- Adding students to a roster file that does not exist yet ----
var roster = new ActiveXObject('NorwinPellam2003.Students');
var ann = newStudent('Ann', 'Lee', 'alee', 'secret');
check('first add creates the roster', roster.AddStudent(file, ann, null), true);
check('and issues the first ID', ann.StudentID, 'SID00001');
check('second add', roster.AddStudent(file, newStudent('Bob', 'adams', 'badams'), null), true);
check('third add', roster.AddStudent(file, newStudent('Cy', 'Baker', 'cbaker', 'pw')), true);
check('roster file exists',
      onServer || new ActiveXObject('Scripting.FileSystemObject').FileExists(file), true);

// ---- Another page loads it ----
var loaded = new ActiveXObject('NorwinPellam2003.Students');
check('load', loaded.Load(file, null), true);
check('count', loaded.Students.Count, 3);
check('keyed by ID', loaded.Students('SID00002').LastName, 'adams');
check('exists', loaded.Exists('SID00003') + ',' + loaded.Exists('SID00009'), 'true,false');
check('authenticate', loaded.Authenticate('alee', 'secret'), true);
check('wrong password', loaded.Authenticate('alee', 'Secret'), false);
check('no password takes any', loaded.Authenticate('badams', 'anything'), true);
check('unknown user', loaded.Authenticate('nobody', 'secret'), false);
check('match user name', loaded.MatchUserName('cbaker').FirstName, 'Cy');
check('no match is Nothing', loaded.MatchUserName('CBAKER'), null);
var ids = [];
for (var e = new Enumerator(loaded.Students); !e.atEnd(); e.moveNext()) ids.push(e.item().StudentID);
check('in the order added', ids.join(','), 'SID00001,SID00002,SID00003');

// ---- Sorting and filtering for display ----
var sorted = loaded.Sort('LASTNAME');
check('sort by upper-cased last name',
      sorted(1).LastName + ',' + sorted(2).LastName + ',' + sorted(3).LastName, 'adams,Baker,Lee');
check('the roster keeps its order', loaded.Students(1).LastName, 'Lee');
check('filter', loaded.Filter('UserName', 'cbaker').Count, 1);
check('filter finds nothing', loaded.Filter('LastName', 'ADAMS').Count, 0);
check('unknown field is a subscript error',
      errorOf(function () { loaded.Filter('Email', 'x'); }).number, -2146828279);
check('property index', ann.GetPropertyIndex('lastname') + ',' + ann.GetPropertyIndex('Email'),
      '1,-1');
check('property array', ann.GetProperty(6), 'alee');

// ---- Errors with their numbers ----
var dup = errorOf(function () { roster.AddStudent(file, newStudent('A', 'Two', 'alee'), null); });
check('duplicate user name number', dup.number, -2147220869);
check('duplicate user name text', dup.description, 'Duplicate Username - alee');
check('duplicate user name source', dup.source, 'students:AddStudent');
var blank = errorOf(function () { roster.AddStudent(file, newStudent('No', 'Name', ' '), null); });
check('user name required', blank.number + ':' + blank.description,
      '-2147220868:Username is required');
check('validate without a list', newStudent('x', 'y', '').Validate(null, 0, ''), false);

// ---- Replace, clone, delete ----
var bob = loaded.MatchUserName('badams').Clone();
bob.LastName = 'Adams';
check('replace', loaded.ReplaceStudent(file, bob, null), true);
var check2 = new ActiveXObject('NorwinPellam2003.Students');
check2.Load(file, null);
check('replaced entry stored', check2.Students('SID00002').LastName, 'Adams');
var annCopy = check2.MatchUserName('alee').Clone();
check('a clone keeps the password check', annCopy.CheckPassword('guess'), false);
check('delete', check2.DeleteStudent(file, annCopy, null), true);
check2.Load(file, null);
check('deleted entry gone', check2.Students.Count + ',' + check2.Exists('SID00001'), '2,false');

// ---- XML through the DOM objects ----
var doc = new ActiveXObject('MSXML2.DOMDocument');
var root = doc.createNode(1, 'students', '');
check('save to a node', check2.SaveToXMLNode(root, null), true);
check('one element a student', root.childNodes.length, 2);
check('with their fields, the replaced one last', root.selectSingleNode('student/username').text, 'cbaker');
var fromNodes = new ActiveXObject('NorwinPellam2003.Students');
check('load from a node', fromNodes.LoadFromXMLNode(root, null), true);
check('same students', fromNodes.Students.Count, 2);
var one = new ActiveXObject('NorwinPellam2003.Student');
doc.loadXML('<student><id>SID00099</id><name><first>Di</first><last>Ng</last></name>' +
            '<username>dng</username></student>');
check('a student from its element', one.LoadFromXMLNode(doc.documentElement, null), true);
check('read fields', one.StudentID + ' ' + one.FirstName + ' ' + one.UserName, 'SID00099 Di dng');
check('a node is required', errorOf(function () { one.LoadFromXMLNode('text', null); }).number,
      -2146827864);

finish();
