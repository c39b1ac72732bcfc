// The XML DOM that scripts build records with: created by name, loaded,
// walked, built and saved as administrators' scripts do.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var prefix = WScript.Arguments(0);

var doc = new ActiveXObject('MSXML2.DOMDocument');
doc.async = false;
check('a good text loads', doc.loadXML('<classes><class><id>C1</id></class></classes>'), true);
var root = doc.documentElement;
check('root element', root.nodeName, 'classes');
check('select and read', root.selectSingleNode('class/id').text, 'C1');
var added = doc.createNode(1, 'class', '');
var id = doc.createNode(1, 'id', '');
id.text = 'C2';
added.appendChild(id);
root.appendChild(added);
var ids = [];
var list = root.selectNodes('class/id');
for (var e = new Enumerator(list); !e.atEnd(); e.moveNext()) ids.push(e.item().text);
check('for each over a node list', ids.join(','), 'C1,C2');
check('length and item', list.length + ':' + list.item(1).text, '2:C2');

var file = prefix + '/classes.xml';
doc.save(file);
var again = new ActiveXObject('Msxml2.DOMDocument');
check('a saved file loads', again.load(file), true);
check('and holds what was saved', again.documentElement.childNodes.length, 2);

check('a broken text does not load', again.loadXML('<classes><class></classes>'), false);
check('parseError says so', again.parseError.errorCode !== 0, true);
check('with a reason', again.parseError.reason.length > 0, true);
check('a bad name raises', errorOf(function () { doc.createElement('1st'); }).number !== 0, true);

finish();
