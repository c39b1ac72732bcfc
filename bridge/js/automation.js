// ActiveXObject, Enumerator, VBArray and the wrappers of automation objects,
// for page script in lumo and for scripts run by lumo-script.
//
// This file is one function expression. The native side evaluates it and
// calls it with two arguments: `native`, its side of the bridge, and the
// global object to install into. It returns the helpers other shims share.
//
// `native` holds:
//   call(op, handle, member, flags, packed) -> packed reply
//       carries out one call of calls.h; `packed` holds the call's values
//       and the reply its values or its error, in the packed text of
//       packed_text.h. One native call per automation call: each wrapped
//       argument would cost about a microsecond more.
//   keep(handle) -> keeper
//       an object whose collection releases `handle` (Object.Release).
//   ops, constants: the numbers of calls.h.
//
// An automation object appears as a Proxy around a function, so that
// `students.Students("SID00001")` calls its default member. Its members are
// found by name when script uses them: the native side says once per class
// and name whether a member is a property (read at once) or a method
// (handed out as a function), and the answer is kept for every object of
// the class.
(function (native, global) {
  'use strict';

  // Page script may define globals of the same names (old pages often have
  // a `Map` or an `Error` of their own): keep the engine's own.
  const { Array, Date, Error, Map, Number, Object, Proxy, Set, String, Symbol } = global;
  const { Boolean } = global;

  const call = native.call;
  const keep = native.keep;
  const ops = native.ops;
  const K = native.constants;

  const OP_CREATE = ops['ActiveX.Create'];
  const OP_MEMBER = ops['Object.Member'];
  const OP_INVOKE = ops['Object.Invoke'];
  const OP_ENUMERATE = ops['Object.Enumerate'];
  const OP_NEXT = ops['Enumerator.Next'];
  const OP_RESET = ops['Enumerator.Reset'];
  const OP_EXTERNAL = ops['External.Get'];

  const GET = K.PROPERTYGET;
  const CALL = K.METHOD | K.PROPERTYGET;
  const PUT = K.PROPERTYPUT;
  const KIND_METHOD = K.KIND_METHOD;
  const KIND_PROPERTY = K.KIND_PROPERTY;
  const ENUM_BATCH = 32;

  // Errors that script itself raises, as automation numbers them.
  const E_OBJECT_DOESNT_SUPPORT = K.E_OBJECT_DOESNT_SUPPORT;  // 438
  const E_TYPE_MISMATCH = K.E_TYPE_MISMATCH;  // 13
  const E_OBJECT_REQUIRED = K.E_OBJECT_REQUIRED;  // 424
  const E_SUBSCRIPT_OUT_OF_RANGE = K.E_SUBSCRIPT_OUT_OF_RANGE;  // 9

  // What a wrapper's target holds.
  const HANDLE = Symbol('handle');
  const MEMBERS = Symbol('members');
  const KEEPER = Symbol('keeper');
  // Marks the host's window.external, whose methods take no argument they
  // cannot use as an error: the call does nothing instead (its own rules),
  // and which reads as a text like the host objects of older engines.
  const LENIENT = Symbol('lenient');
  // Read through a wrapper, gives its target.
  const TARGET = Symbol('target');

  const SHIM_URI_PREFIX = 'resource:///org/norwin/bridge/';

  // ---- Errors ----

  // JavaScriptCore gives an error the position of the code that made it,
  // which for automation errors is this file. Point it at the first frame of
  // the caller's own script, where the failing call is.
  function placeAtCaller(error) {
    const stack = error.stack;
    if (typeof stack !== 'string') return;
    for (const frame of stack.split('\n')) {
      const location = frame.substring(frame.lastIndexOf('@') + 1);
      if (location.startsWith(SHIM_URI_PREFIX) || location === '[native code]') continue;
      const match = /^(.*):(\d+):(\d+)$/.exec(location);
      if (!match) continue;
      error.sourceURL = match[1];
      error.line = Number(match[2]);
      error.column = Number(match[3]);
      return;
    }
  }

  // An Error as script engines raise automation errors: `number` is the
  // HRESULT as a signed 32-bit integer.
  function automationError(number, description, source) {
    const error = new Error(description);
    error.number = number | 0;
    error.description = description;
    error.source = source;
    placeAtCaller(error);
    return error;
  }

  const errorTexts = {
    [E_OBJECT_DOESNT_SUPPORT]: "Object doesn't support this property or method",
    [E_TYPE_MISMATCH]: 'Type mismatch',
    [E_OBJECT_REQUIRED]: 'Object required',
    [E_SUBSCRIPT_OUT_OF_RANGE]: 'Subscript out of range',
  };

  function scriptError(number, source) {
    return automationError(number, errorTexts[number], source);
  }

  // ---- Packed text (packed_text.h) ----

  function packString(text) {
    // A C string ends at U+0000, and a lone surrogate has no UTF-8 form:
    // the native boundary would cut or empty the whole call.
    if (!text.isWellFormed()) text = text.toWellFormed();
    if (text.indexOf('\0') < 0 && text.indexOf('\u0001') < 0) {
      return 'S' + text.length + ':' + text;
    }
    const escaped = text.replace(/[\0\u0001]/g, (c) => (c === '\0' ? '\u0001a' : '\u0001b'));
    return 'Z' + escaped.length + ':' + escaped;
  }

  // Arrays of arrays nest only so deep (and an array holding itself fails).
  const MAX_ARRAY_DEPTH = 32;

  // `lenient`: a value that has no automation form (a script object or
  // function) goes as Null, which no method of window.external takes.
  function packValue(value, depth = 0, lenient = false) {
    switch (typeof value) {
      case 'string':
        return packString(value);
      case 'number':
        return (value | 0) === value ? 'I' + value + ';' : 'R' + value + ';';
      case 'boolean':
        return value ? 'T' : 'F';
      case 'undefined':
        return 'E';
      case 'bigint':
        return packValue(Number(value));
      case 'object': {
        if (value === null) return 'N';
        const target = targetOf(value);
        if (target) return 'O' + target[HANDLE] + ';0;';
        if (value instanceof Date) {
          return 'D' + (value.getTime() - value.getTimezoneOffset() * 60000) + ';';
        }
        if (value instanceof String || value instanceof Number || value instanceof Boolean) {
          return packValue(value.valueOf());
        }
        if (Array.isArray(value) && depth < MAX_ARRAY_DEPTH) {
          let packed = 'A' + value.length + ';';
          for (let i = 0; i < value.length; i++) {
            packed += packValue(value[i], depth + 1, lenient);
          }
          return packed;
        }
        break;
      }
      case 'function': {
        const target = targetOf(value);
        if (target) return 'O' + target[HANDLE] + ';0;';
        break;
      }
    }
    if (lenient) return 'N';
    throw scriptError(E_TYPE_MISMATCH, 'ActiveXObject');
  }

  function packValues(values, lenient = false) {
    let packed = '';
    for (let i = 0; i < values.length; i++) packed += packValue(values[i], 0, lenient);
    return packed;
  }

  // Reads packed values one after another.
  class Reader {
    constructor(text) {
      this.text = text;
      this.pos = 0;
    }

    atEnd() {
      return this.pos >= this.text.length;
    }

    // The text up to the next ';', which it passes.
    field() {
      const end = this.text.indexOf(';', this.pos);
      const field = this.text.substring(this.pos, end);
      this.pos = end + 1;
      return field;
    }

    string() {
      const colon = this.text.indexOf(':', this.pos);
      const start = colon + 1;
      this.pos = start + Number(this.text.substring(this.pos, colon));
      return this.text.substring(start, this.pos);
    }

    value() {
      const tag = this.text.charCodeAt(this.pos++);
      switch (tag) {
        case 83:  // S
          return this.string();
        case 73:  // I
        case 72:  // H
        case 82:  // R
          return Number(this.field());
        case 84:  // T
          return true;
        case 70:  // F
          return false;
        case 69:  // E
          return undefined;
        case 78:  // N
          return null;
        case 76:  // L: the null string reads as "", as strings do in script
          return '';
        case 79: {  // O
          const handle = Number(this.field());
          const classId = Number(this.field());
          return handle === 0 ? null : wrap(handle, classId);
        }
        case 68:  // D
          return dateFromWallMs(Number(this.field()));
        case 65: {  // A: arrays arrive as script arrays
          const count = Number(this.field());
          const items = [];
          for (let i = 0; i < count; i++) items.push(this.value());
          return items;
        }
        case 90:  // Z
          return this.string().replace(/\u0001([ab])/g, (m, c) => (c === 'a' ? '\0' : '\u0001'));
        case 88: {  // X
          const number = Number(this.field());
          const description = this.value();
          const source = this.value();
          throw automationError(number, description, source);
        }
      }
      throw new Error('malformed reply from the automation bridge');
    }
  }

  // The one value of a reply (or the error it carries). Most replies are
  // one string or one number: those are read without a Reader.
  function replyValue(reply) {
    switch (reply.charCodeAt(0)) {
      case 83:  // S
        return reply.substring(reply.indexOf(':') + 1);
      case 73:  // I
      case 82:  // R
        return Number(reply.substring(1, reply.length - 1));
      case 84:  // T
        return true;
      case 70:  // F
        return false;
      case 69:  // E
        return undefined;
    }
    return new Reader(reply).value();
  }

  // Every value of a reply.
  function replyValues(reply) {
    const values = [];
    const reader = new Reader(reply);
    while (!reader.atEnd()) values.push(reader.value());
    return values;
  }

  function dateFromWallMs(wallMs) {
    // The wall-clock fields, read as UTC, become the local date's fields.
    const utc = new Date(wallMs);
    const date = new Date(0);
    date.setFullYear(utc.getUTCFullYear(), utc.getUTCMonth(), utc.getUTCDate());
    date.setHours(utc.getUTCHours(), utc.getUTCMinutes(), utc.getUTCSeconds(),
                  utc.getUTCMilliseconds());
    return date;
  }

  // ---- Wrappers ----

  // What is known of each class's members: class id -> Map(name -> member).
  const classes = new Map();

  function membersOf(classId) {
    let members = classes.get(classId);
    if (members === undefined) {
      members = new Map();
      classes.set(classId, members);
    }
    return members;
  }

  // { kind, dispid } of member `name` of the wrapped object.
  function member(target, name) {
    const members = target[MEMBERS];
    let found = members.get(name);
    if (found === undefined) {
      const values = replyValues(call(OP_MEMBER, target[HANDLE], 0, 0, packString(name)));
      found = { kind: values[0], dispid: values[1] };
      members.set(name, found);
    }
    return found;
  }

  function invoke(target, dispid, flags, args) {
    return replyValue(call(OP_INVOKE, target[HANDLE], dispid, flags,
                           args.length === 0 ? '' : packValues(args, target[LENIENT] === true)));
  }

  function defaultValue(target) {
    return invoke(target, K.DISPID_VALUE, GET, []);
  }

  function* iterate(target) {
    const enumerator = enumeratorOf(target);
    for (;;) {
      // Read the handle from the enumerator each time: a handle alone does
      // not keep its keeper, and the collector takes what is no longer used.
      const batch = replyValues(call(OP_NEXT, enumerator[HANDLE], ENUM_BATCH, 0, ''));
      for (let i = 0; i < batch.length; i++) yield batch[i];
      if (batch.length < ENUM_BATCH) return;
    }
  }

  // The wrapper target of the enumerator behind a collection.
  function enumeratorOf(target) {
    return targetOf(replyValue(call(OP_ENUMERATE, target[HANDLE], 0, 0, '')));
  }

  // Names the engine and common libraries look up on any object; an
  // automation object without such a member answers them as a plain object
  // would instead of raising an error.
  const protocolNames = new Set([
    'then', 'toJSON', 'constructor', 'prototype', 'length', 'name', 'caller', 'arguments',
    'call', 'apply', 'bind', 'inspect', 'nodeType', '$$typeof', 'asymmetricMatch', '__proto__',
  ]);

  const handler = {
    get(target, name) {
      if (typeof name === 'symbol') {
        if (name === TARGET) return target;
        if (name === Symbol.iterator) return () => iterate(target);
        if (name === Symbol.toPrimitive) {
          return target[LENIENT] ? () => '[object]' : () => primitive(defaultValue(target));
        }
        return undefined;
      }
      if (target[LENIENT] && (name === 'toString' || name === 'valueOf')) {
        return () => '[object]';
      }
      const found = member(target, name);
      if (found.kind === KIND_PROPERTY) return invoke(target, found.dispid, GET, []);
      if (found.kind === KIND_METHOD) {
        const dispid = found.dispid;
        return (...args) => invoke(target, dispid, CALL, args);
      }
      if (name === 'toString') return () => String(primitive(defaultValue(target)));
      if (name === 'valueOf') return () => primitive(defaultValue(target));
      if (protocolNames.has(name)) return undefined;
      throw scriptError(E_OBJECT_DOESNT_SUPPORT, name);
    },
    set(target, name, value) {
      if (typeof name === 'symbol') return false;
      const found = member(target, name);
      if (found.kind !== KIND_PROPERTY && found.kind !== KIND_METHOD) {
        throw scriptError(E_OBJECT_DOESNT_SUPPORT, name);
      }
      invoke(target, found.dispid, PUT, [value]);
      return true;
    },
    apply(target, self, args) {
      return invoke(target, K.DISPID_VALUE, CALL, args);
    },
    has(target, name) {
      return typeof name === 'string' && member(target, name).kind !== K.KIND_NONE;
    },
    // The target's own properties are the wrapper's machinery, not the
    // object's members.
    ownKeys() {
      return [];
    },
    getOwnPropertyDescriptor() {
      return undefined;
    },
    defineProperty() {
      return false;
    },
    deleteProperty() {
      return false;
    },
  };

  // A default value that is itself an object has no text.
  function primitive(value) {
    if (targetOf(value)) throw scriptError(E_TYPE_MISMATCH, 'ActiveXObject');
    return value;
  }

  function wrap(handle, classId) {
    const target = () => {};
    target[HANDLE] = handle;
    target[MEMBERS] = membersOf(classId);
    target[KEEPER] = keep(handle);
    return new Proxy(target, handler);
  }

  // The same object as a wrapper that cannot be called: for an object
  // without a default member that pages test with `typeof` (the host's
  // window.external is an "object" to the engines these pages were written
  // for). It shares the handle and its keeper with `wrapper`.
  function plainWrapper(wrapper) {
    const callable = targetOf(wrapper);
    if (!callable) return wrapper;
    const target = {};
    target[HANDLE] = callable[HANDLE];
    target[MEMBERS] = callable[MEMBERS];
    target[KEEPER] = callable[KEEPER];
    target[LENIENT] = true;
    return new Proxy(target, handler);
  }

  // The target of a wrapper; undefined for anything else.
  function targetOf(value) {
    if (typeof value !== 'function' && (typeof value !== 'object' || value === null)) {
      return undefined;
    }
    const target = value[TARGET];
    return (typeof target === 'function' || (typeof target === 'object' && target !== null)) &&
                   HANDLE in target
               ? target
               : undefined;
  }

  // ---- What script sees ----

  function ActiveXObject(progid) {
    return replyValue(call(OP_CREATE, 0, 0, 0, packString(String(progid))));
  }

  // The enumerator of script engines: `for (var e = new Enumerator(c);
  // !e.atEnd(); e.moveNext()) e.item()`. Items are fetched a batch at a time.
  class Enumerator {
    #enumerator;
    #items = [];
    #pos = 0;
    #last = true;

    constructor(collection) {
      if (Array.isArray(collection)) {
        this.#items = collection.slice();
        return;
      }
      const target = targetOf(collection);
      if (!target) throw scriptError(E_OBJECT_REQUIRED, 'Enumerator');
      this.#enumerator = enumeratorOf(target);
      this.#fetch();
    }

    #fetch() {
      this.#items = replyValues(call(OP_NEXT, this.#enumerator[HANDLE], ENUM_BATCH, 0, ''));
      this.#pos = 0;
      this.#last = this.#items.length < ENUM_BATCH;
    }

    atEnd() {
      return this.#pos >= this.#items.length;
    }

    moveNext() {
      if (this.#pos < this.#items.length) this.#pos++;
      if (this.#pos >= this.#items.length && !this.#last) this.#fetch();
    }

    item() {
      return this.#pos < this.#items.length ? this.#items[this.#pos] : undefined;
    }

    moveFirst() {
      if (this.#enumerator) {
        replyValues(call(OP_RESET, this.#enumerator[HANDLE], 0, 0, ''));
        this.#fetch();
      } else {
        this.#pos = 0;
      }
    }
  }

  // The array object of script engines, for what objects return as arrays
  // (a Dictionary's Keys and Items): `new VBArray(d.Keys()).toArray()`.
  // Such arrays already arrive as script arrays; this keeps pages written
  // for older engines working.
  class VBArray {
    #items;

    constructor(array) {
      if (!Array.isArray(array)) throw scriptError(E_TYPE_MISMATCH, 'VBArray');
      this.#items = array;
    }

    toArray() {
      return this.#items.slice();
    }

    getItem(index) {
      if (!(index >= 0 && index < this.#items.length)) {
        throw scriptError(E_SUBSCRIPT_OUT_OF_RANGE, 'VBArray');
      }
      return this.#items[index | 0];
    }

    lbound() {
      return 0;
    }

    ubound() {
      return this.#items.length - 1;
    }

    dimensions() {
      return 1;
    }
  }

  for (const [name, value] of [['ActiveXObject', ActiveXObject], ['Enumerator', Enumerator],
                               ['VBArray', VBArray]]) {
    Object.defineProperty(global, name, { value, writable: true, configurable: true });
  }

  return {
    // The page host's object (window.external), as a wrapper; raises the
    // host's error where there is none.
    external: () => plainWrapper(replyValue(call(OP_EXTERNAL, 0, 0, 0, ''))),
    automationError,
    targetOf,
    subscriptError: (source) => scriptError(E_SUBSCRIPT_OUT_OF_RANGE, source),
  };
})
