// Shared by the demo pages: a thin layer over window.external, so that a page
// opened in an ordinary browser still shows its text (and says why the host's
// features are missing) instead of failing.
var Course = (function () {
  var host = window.external && typeof window.external.GetCookie !== "undefined"
      ? window.external : null;

  function get(name) { return host ? String(host.GetCookie(name)) : ""; }
  function set(name, value) { if (host) host.setCookie(name, String(value)); }

  return {
    hosted: !!host,
    host: host,
    get: get,
    set: set,
    markDone: function (lesson) {
      if (host) host.appendChip("completed", lesson);
    },
    isDone: function (lesson) {
      return get("completed").indexOf(lesson + "|~") >= 0;
    },
    showStatus: function (id, lesson) {
      var el = document.getElementById(id);
      if (!el) return;
      if (!host) { el.textContent = "(Open this course in Lumo to keep your progress.)"; return; }
      el.textContent = Course.isDone(lesson) ? "Completed" : "Not completed yet";
      el.className = Course.isDone(lesson) ? "done" : "";
    }
  };
})();
