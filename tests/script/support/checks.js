// What every script test uses: check() counts and reports, errorOf() gives
// the error a call raises, finish() prints the count and sets the exit status.
var passed = 0, failed = 0;
function check(what, actual, expected) {
  if (actual === expected) {
    passed++;
  } else {
    failed++;
    WScript.Echo('FAIL ' + what + ': got ' + actual + ', expected ' + expected);
  }
}
function errorOf(fn) {
  try {
    fn();
  } catch (e) {
    return e;
  }
  return { number: 0, description: 'no error', source: '' };
}
function finish() {
  WScript.Echo(passed + ' passed, ' + failed + ' failed');
  WScript.Quit(failed === 0 ? 0 : 1);
}
