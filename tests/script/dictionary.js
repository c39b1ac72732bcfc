// Scripting.Dictionary as course pages and administrators' scripts use it.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());

var students = new ActiveXObject('Scripting.Dictionary');
students.Add('SID00001', 'Ann Archer');
students.Add('SID00002', 'Bob Baker');
students.Add(3, 'Cy Carter');
check('count', students.Count, 3);
check('exists', students.Exists('SID00002'), true);
check('exists is case-sensitive', students.Exists('sid00002'), false);
check('item', students.Item('SID00001'), 'Ann Archer');
check('default member', students('SID00002'), 'Bob Baker');
check('number keys are numbers', students.Item(3.0), 'Cy Carter');
check('a number is no string key', students.Exists('3'), false);

// Keys and items in the order they were added, as arrays.
check('keys through VBArray', new VBArray(students.Keys()).toArray().join(), 'SID00001,SID00002,3');
check('items as an array', students.Items().join('|'), 'Ann Archer|Bob Baker|Cy Carter');
check('key types survive', typeof students.Keys()[2], 'number');

// Enumeration walks the keys.
var keys = [];
for (var e = new Enumerator(students); !e.atEnd(); e.moveNext()) keys.push(e.item());
check('Enumerator', keys.join(), 'SID00001,SID00002,3');
var names = [];
for (const key of students) names.push(students(key));
check('for...of', names.join(), 'Ann Archer,Bob Baker,Cy Carter');

// The runtime's errors, with their numbers as script engines give them.
var duplicate = errorOf(function () { students.Add('SID00001', 'again'); });
check('duplicate key number', duplicate.number, -2146827831);
check('duplicate key description', duplicate.description,
      'This key is already associated with an element of this collection');
check('duplicate key message', duplicate.message, duplicate.description);
var missing = errorOf(function () { students.Remove('SID99999'); });
check('missing key number', missing.number, -2146795477);
check('missing key description', missing.description, 'Element not found');
check('unknown member', errorOf(function () { return students.Lenght; }).description,
      "Object doesn't support this property or method");
check('nothing changed', students.Count, 3);

// Reading a missing item adds it, as the runtime does.
check('missing item reads as undefined', students.Item('SID00009'), undefined);
check('and is added', students.Count, 4);
students.Remove('SID00009');
students.Remove(3);
check('removed', students.Keys().join(), 'SID00001,SID00002');

// Values of every kind keep their types.
var values = new ActiveXObject('Scripting.Dictionary');
var when = new Date(2026, 11, 7, 15, 4, 5);
values.Add('date', when);
values.Add('double', 2.5);
values.Add('flag', true);
values.Add('nothing', null);
values.Add('inner', students);
check('date', values('date').getTime(), when.getTime());
check('date is a Date', values('date') instanceof Date, true);
check('double', values('double'), 2.5);
check('flag', values('flag'), true);
check('null', values('nothing'), null);
check('object item', values('inner')('SID00002'), 'Bob Baker');
check('objects are callable wrappers', typeof values('inner'), 'function');

// Text comparison, set before anything is added.
var text = new ActiveXObject('Scripting.Dictionary');
text.CompareMode = 1;
text.Add('Key', 1);
check('text mode ignores case', text.Exists('KEY'), true);
check('mode can not change with items',
      errorOf(function () { text.CompareMode = 0; }).number, -2146828283);

// Many dictionaries in a loop are released as the collector takes them.
for (var i = 0; i < 20000; i++) {
  var d = new ActiveXObject('Scripting.Dictionary');
  d.Add('i', i);
  if (d('i') !== i) check('loop item', d('i'), i);
}
students.RemoveAll();
check('emptied', students.Count, 0);

finish();
