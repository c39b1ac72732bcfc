// WScript, the object through which scripts run by lumo-script reach their
// host: Echo, Quit, Sleep, Arguments, ScriptName, ScriptFullName, StdOut and
// StdErr.
//
// One function expression, called by the script host with its native side
// `host`, the helpers that automation.js returned, and the global object.
// `host` holds:
//   write(stream, text)   writes text to standard output (1) or error (2)
//   quit(code)            releases every object and ends the process
//   sleep(ms)             waits
//   arguments             the script's arguments, an array of strings
//   scriptName, scriptFullName
(function (host, automation, global) {
  'use strict';

  // Scripts may define globals of the same names: keep the engine's own.
  const { Array, Number, Object, Proxy, String } = global;

  // The text script engines print for a value: undefined prints nothing;
  // objects print their default value.
  function text(value) {
    const s = value === undefined ? '' : String(value);
    return s.isWellFormed() ? s : s.toWellFormed();
  }

  function stream(number) {
    return Object.freeze({
      Write(value) {
        host.write(number, text(value));
      },
      WriteLine(value) {
        host.write(number, text(value) + '\n');
      },
    });
  }

  // The script's arguments, as the collection of script hosts
  // (`WScript.Arguments(0)`, `.Item(0)`, `.Count()`, `.length`) and as a
  // read-only array (`[0]`, `.join()`, `for...of`).
  const list = Object.freeze(Array.from(host.arguments));
  function Item(index) {
    if (!(index >= 0 && index < list.length)) {
      throw automation.subscriptError('WScript.Arguments');
    }
    return list[index | 0];
  }
  const members = { Item, Count: () => list.length };
  const args = new Proxy(() => {}, {
    apply(target, self, params) {
      return Item(params[0]);
    },
    get(target, name) {
      if (typeof name === 'string' && Object.hasOwn(members, name)) return members[name];
      const value = list[name];
      return typeof value === 'function' ? value.bind(list) : value;
    },
    has(target, name) {
      return Object.hasOwn(members, name) || name in list;
    },
    set() {
      return false;
    },
  });

  const WScript = Object.freeze({
    Name: 'lumo-script',
    ScriptName: host.scriptName,
    ScriptFullName: host.scriptFullName,
    Arguments: args,
    StdOut: stream(1),
    StdErr: stream(2),

    // Its arguments, separated by blanks, and a line end.
    Echo(...values) {
      host.write(1, values.map(text).join(' ') + '\n');
    },

    // Ends the script at once with exit code `code` (0 when left out); no
    // catch or finally of the script runs.
    Quit(code) {
      host.quit(code === undefined ? 0 : Number(code) | 0);
    },

    Sleep(ms) {
      host.sleep(Number(ms));
    },

    CreateObject(progid) {
      return new global.ActiveXObject(progid);
    },
  });

  Object.defineProperty(global, 'WScript', { value: WScript, writable: true, configurable: true });
})
