// The record classes of libnorwin2003.so as page script uses them:
// Encryption, Registry, ModuleDiscManager and what they raise.
// check(), errorOf() and finish(), shared by the script tests.
eval(new ActiveXObject('Scripting.FileSystemObject')
         .OpenTextFile(WScript.Arguments(0) + '/checks.js').ReadAll());
var prefix = WScript.Arguments(0);

// ---- Encryption: the password digest ----
var encryption = new ActiveXObject('NorwinPellam2003.Encryption');
check('digest of abc', encryption.Encrypt('abc'), '900150983cd24fb0d6963f7d28e17f72');
check('digest of nothing', encryption.Encrypt(''), 'd41d8cd98f00b204e9800998ecf8427e');
check('equal texts, equal digests', encryption.Encrypt('Secret1'), encryption.Encrypt('Secret1'));
check('digests are 32 hex digits', /^[0-9a-f]{32}$/.test(encryption.Encrypt('caf\u00e9')), true);
check('numbers are passed as their text', encryption.Encrypt(42), encryption.Encrypt('42'));
var refused = errorOf(function () { encryption.Encrypt('\u4e00'); });
check('a character outside the code page raises 5', refused.number, -2146828283);
check('its source', refused.source, 'EncryptHelp.EncryptPassword');
check('its description says why', /cannot be encrypted/.test(refused.description), true);
check('too long a text raises', errorOf(function () {
  encryption.Encrypt(new Array(258).join('x'));
}).number, -2146828283);
check('256 characters are fine', encryption.Encrypt(new Array(257).join('x')).length, 32);

// ---- Registry: string values in the prefix's registry ----
var registry = new ActiveXObject('NorwinPellam2003.Registry');
check('HKEY_CURRENT_USER', registry.HKEY_CURRENT_USER, 0x80000001 | 0);
check('HKEY_LOCAL_MACHINE', registry.HKEY_LOCAL_MACHINE, 0x80000002 | 0);
var path = 'Software\\Norwin\\Script Test';
registry.fSaveString(registry.HKEY_CURRENT_USER, path, 'Student', 'Ann \u00c9lise');
check('saved string reads back', registry.fGetstring(registry.HKEY_CURRENT_USER, path, 'Student'),
      'Ann \u00c9lise');
check('a missing value reads as empty',
      registry.fGetstring(registry.HKEY_CURRENT_USER, path, 'Nobody'), undefined);
registry.Key = registry.HKEY_CURRENT_USER;
registry.SubKey = path;
registry.Value = 'Course';
registry.Data = 'Office 2003';
registry.WriteValue();
registry.Data = 'overwritten';
registry.ReadValue();
check('WriteValue then ReadValue', registry.Data, 'Office 2003');
check('properties keep their values', registry.SubKey + '|' + registry.Value, path + '|Course');
registry.fDeleteValue(registry.HKEY_CURRENT_USER, path, 'Course');
registry.ReadValue();
check('deleted value reads as ""', registry.Data, '');
check('deleting what is not there is quiet',
      registry.fDeleteValue(registry.HKEY_CURRENT_USER, path, 'Course'), undefined);

// ---- ModuleDiscManager: a configuration file and its dictionary ----
var manager = new ActiveXObject('NorwinPellam2003.ModuleDiscManager');
check('before loading', manager.GetFileForModule('Word Basics'), 'Error');
check('missing file', manager.LoadConfigFile(prefix + '/fixtures/nothing.xml'), false);
check('load', manager.LoadConfigFile(prefix + '/fixtures/modules.xml'), true);
check('file of a module', manager.GetFileForModule('Word Basics'), 'disc1.cab');
check('names are case-sensitive', manager.GetFileForModule('word basics'), 'disc3.cab');
check('a module without a file is skipped', manager.GetFileForModule('No File'), 'Error');
var hash = manager.moduleHash;
check('the map is a dictionary', hash.Count, 3);
var modules = [];
for (var e = new Enumerator(hash); !e.atEnd(); e.moveNext()) modules.push(e.item() + '=' + hash(e.item()));
check('in file order', modules.join(';'),
      'Word Basics=disc1.cab;Excel Basics=disc2.cab;word basics=disc3.cab');
var again = new ActiveXObject('NorwinPellam2003.ModuleDiscManager');
var duplicate = errorOf(function () {
  again.LoadConfigFile(prefix + '/fixtures/modules_duplicate.xml');
});
check('the same name twice raises 457', duplicate.number, -2146827831);
check('with the runtime text', duplicate.description,
      'This key is already associated with an element of this collection');
check('the first one stays', again.GetFileForModule('Word Basics'), 'disc1.cab');

// A dictionary of the script can take the manager's place.
var own = new ActiveXObject('Scripting.Dictionary');
own.Add('Access Basics', 'disc4.cab');
manager.moduleHash = own;
check('assigned map', manager.GetFileForModule('Access Basics'), 'disc4.cab');

// ---- Security: the validation string of the server login ----
var security = new ActiveXObject('NorwinPellam2003.Security');
check('no login yet', security.ValidationString(), '');
check('a local folder needs no login', security.Login(prefix + '/fixtures/modules.xml'), true);
check('key and digest match', security.ValidateLoginKey('abc', encryption.Encrypt('abc')), true);
check('key and digest differ', security.ValidateLoginKey('abc', encryption.Encrypt('abd')), false);
security.SetValidationString('LoginKey=1&LoginValue=2');
check('kept for the thread',
      new ActiveXObject('NorwinPellam2003.Security').ValidationString(), 'LoginKey=1&LoginValue=2');

// ---- FileSystemObjectHandle and CheckSetup ----
var handle = new ActiveXObject('NorwinPellam2003.FileSystemObjectHandle');
check('the handle holds a file-system object', handle.fsoHandle.FolderExists(prefix), true);
var setup = new ActiveXObject('NorwinPellam2003.CheckSetup');
check('nothing set up, nothing to report', setup.CheckSetup('Lumo Script Test', 'Locations'), '');
// The locations live in the program settings, which the Registry class reaches.
registry.fSaveString(registry.HKEY_CURRENT_USER,
                     'Software\\VB and VBA Program Settings\\Lumo Script Test\\Locations',
                     'XMLDir', prefix + '/missing folder');
registry.fSaveString(registry.HKEY_CURRENT_USER,
                     'Software\\VB and VBA Program Settings\\Lumo Script Test\\Locations',
                     'TestResultsDir', prefix + '/fixtures');
var report = setup.CheckSetup('Lumo Script Test', 'Locations');
check('a missing folder is one line of the report', report.split('\r').length, 2);
check('which names it', report.indexOf('missing folder') >= 0, true);

// ---- Errors of the bridge itself ----
check('unknown member', errorOf(function () { return encryption.Decrypt('x'); }).number,
      -2146827850);
check('missing argument raises 449', errorOf(function () { encryption.Encrypt(); }).number,
      -2146827839);

finish();
