// Scripting.FileSystemObject as administrators' scripts and pages use it:
// folders, text files, the files of a folder (a collection of File
// objects), attributes and the runtime's errors.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());

var fso = new ActiveXObject('Scripting.FileSystemObject');
var root = WScript.Arguments(0);
check('the test folder exists', fso.FolderExists(root), true);

// A folder and a text file in it.
var folder = fso.CreateFolder(fso.BuildPath(root, 'Notes'));
check('folder name', folder.Name, 'Notes');
var path = fso.BuildPath(folder.Path, 'Lesson 1.txt');
check('path functions', [fso.GetFileName(path), fso.GetBaseName(path),
                         fso.GetExtensionName(path)].join('|'), 'Lesson 1.txt|Lesson 1|txt');
var out = fso.CreateTextFile(path, true);
out.WriteLine('First line');
out.Write('caf\u00e9 ');
out.WriteLine('second');
out.WriteBlankLines(1);
out.Close();

var input = fso.OpenTextFile(path, 1);
var lines = [];
while (!input.AtEndOfStream) lines.push(input.ReadLine());
input.Close();
check('lines read back', lines.join('|'), 'First line|caf\u00e9 second|');

var more = fso.OpenTextFile(path, 8);
more.WriteLine('third');
more.Close();
var all = fso.OpenTextFile(path).ReadAll();
check('appended', /second\r?\n\r?\nthird\r?\n$/.test(all), true);

// Names are found without regard to case, as on the discs courses came on.
check('case-insensitive', fso.FileExists(root + '/notes/LESSON 1.TXT'), true);
var file = fso.GetFile(root + '/NOTES/lesson 1.txt');
check('file name as on disk', file.Name, 'Lesson 1.txt');
check('size', file.Size, all.length + 1);  // "é" is two bytes in UTF-8
check('modified is a date', file.DateLastModified instanceof Date, true);
check('modified just now', Math.abs(file.DateLastModified.getTime() - Date.now()) < 120000, true);

// The files of a folder: a collection keyed by name.
fso.CreateTextFile(fso.BuildPath(folder.Path, 'b.tmp')).Close();
fso.CreateTextFile(fso.BuildPath(folder.Path, 'A.tmp')).Close();
var files = folder.Files;
check('file count', files.Count, 3);
var names = [];
for (var e = new Enumerator(files); !e.atEnd(); e.moveNext()) names.push(e.item().Name);
check('in name order', names.join(), 'A.tmp,b.tmp,Lesson 1.txt');
check('by key', files('lesson 1.txt').Name, 'Lesson 1.txt');
check('by position', files.Item(2).Name, 'b.tmp');
var sizes = 0;
for (const f of files) sizes += f.Size;
check('for...of over files', sizes, file.Size);
check('a folder names its path', String(folder) === folder.Path, true);

// The runtime's errors.
var missing = errorOf(function () { fso.GetFile(root + '/nothing.txt'); });
check('file not found', missing.number, -2146828235);
check('file not found text', missing.description, 'File not found');
check('folder exists already', errorOf(function () { fso.CreateFolder(folder.Path); }).number,
      -2146828230);
check('no overwrite', errorOf(function () { fso.CreateTextFile(path, false); }).number,
      -2146828230);
check('no parent', errorOf(function () { fso.CreateFolder(root + '/none/deeper'); }).number,
      -2146828212);
check('open missing', errorOf(function () { fso.OpenTextFile(root + '/none.txt', 1); }).number,
      -2146828235);

// Read-only files are deleted only by force.
file.Attributes = 1;
check('read-only', file.Attributes & 1, 1);
check('permission denied', errorOf(function () { fso.DeleteFile(path); }).number, -2146828218);
fso.DeleteFile(path, true);
check('deleted by force', fso.FileExists(path), false);
fso.DeleteFile(fso.BuildPath(folder.Path, '*.TMP'));
check('wildcards', folder.Files.Count, 0);

finish();
