// window.external of a trusted course page in lumo: the course window's
// scripting object (NorwinDHTML), reached through the automation bridge.
//
// This file is one function expression; the web-process extension calls it
// with the helpers of automation.js and the page's global object, after
// automation.js has installed ActiveXObject and Enumerator. The wrapper is
// made on first use and kept, so that `window.external === window.external`
// and its handle lives as long as the page.
(function (helpers, global) {
  'use strict';
  let external;
  Object.defineProperty(global, 'external', {
    configurable: true,
    enumerable: true,
    get() {
      if (external === undefined) external = helpers.external();
      return external;
    },
  });
})
