// The script host itself: WScript, Enumerator over arrays, and the errors
// script sees when an object cannot be made.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());

// The prefix folder the test runs in comes as the first argument.
check('argument count', WScript.Arguments.length, 1);
check('argument', WScript.Arguments.Item(0), WScript.Arguments[0]);
check('arguments called as a collection', WScript.Arguments(0), WScript.Arguments[0]);
check('argument count as a method', WScript.Arguments.Count(), 1);
var all = [];
for (const a of WScript.Arguments) all.push(a);
check('arguments iterate', all.join(), WScript.Arguments.join());
check('script name', WScript.ScriptName, 'wscript.js');
check('full name ends with the name', /[\/\\]wscript\.js$/.test(WScript.ScriptFullName), true);
check('host name', WScript.Name, 'lumo-script');

try {
  WScript.Arguments.Item(5);
  check('argument out of range raises', true, false);
} catch (e) {
  check('subscript error number', e.number, -2146828279);
  check('subscript error description', e.description, 'Subscript out of range');
}

// An object that cannot be made: error 429 with the class in its text.
try {
  var missing = new ActiveXObject('NorwinPellam2003.NoSuchClass');
  check('missing class raises', true, false);
} catch (e) {
  check('error is an Error', e instanceof Error, true);
  check('create error number', e.number, -2146827859);  // 0x800A01AD
  check('create error description', e.description,
        "ActiveX component can't create object: 'NorwinPellam2003.NoSuchClass'");
  check('message equals description', e.message, e.description);
  check('error names the line', e.line, 29);
}

// Enumerator walks script arrays too.
var seen = [];
for (var en = new Enumerator(['a', 'b', 'c']); !en.atEnd(); en.moveNext()) seen.push(en.item());
check('enumerated', seen.join(''), 'abc');
en.moveFirst();
check('moveFirst', en.item(), 'a');

try {
  new Enumerator(42);
  check('enumerating a number raises', true, false);
} catch (e) {
  check('enumerator error', e.description, 'Object required');
}

WScript.Sleep(1);
finish();
