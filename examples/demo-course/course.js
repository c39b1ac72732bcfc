// Shared by the demo pages: a thin layer over window.external and the record
// library, so that a page opened in an ordinary browser still shows its text
// (and says why the host's features are missing) instead of failing.
//
// Where things are kept:
//   the course folder (read-only)  content.db (built from content/*.csv), lessons/*_lm.xml, *_pml.xml
//   the records location           students.xml, lessons/ (each student's copy), exams/, liveex/
//   the progress file (tck.txt)    the student logged in, finished lessons, notes
// The records location is the value "Records" of HKEY_CURRENT_USER\Software\Lumo Demo, which
// the teacher (or scripts/demo) sets once; it is never the course folder. It is a folder of this
// computer or the address of a record server ("http://server/class/"): the record objects work
// with both, while folders and files are only looked at and made when it is a local folder.
// A class graded by a course-management server also names its grade inbox there, as the value
// "GradeInbox" (the address live-exercise scores are posted to).
var Course = (function () {
  var host = window.external && typeof window.external.GetCookie !== "undefined"
      ? window.external : null;
  var key = "Software\\Lumo Demo";
  if (host) host.SetKey(key);

  function get(name) { return host ? String(host.GetCookie(name)) : ""; }
  function set(name, value) { if (host) host.setCookie(name, String(value)); }
  function make(name) { return new ActiveXObject("NorwinPellam2003." + name); }

  // The course's own files are named from the root of its drive, wherever the course folder is.
  var content = "\\content.db";

  var records = "", gradeInbox = "";
  if (host) {
    var registry = make("Registry");
    records = registry.fGetstring(registry.HKEY_CURRENT_USER, key, "Records") || "";
    if (records && !/[\\\/]$/.test(records)) records += "/";
    gradeInbox = registry.fGetstring(registry.HKEY_CURRENT_USER, key, "GradeInbox") || "";
  }
  // The record library's own rule: a location that begins with "http:" is on a server.
  var onServer = records.indexOf("http:") === 0;

  var pool = null;
  // The title's question pool, from the content database on the course drive.
  function questionPool() {
    if (pool) return pool;
    var objectives = make("Objectives");
    objectives.Load(content, null);
    var tasks = make("TaskPool");
    tasks.Load(content, objectives);
    pool = make("QuestionPool");
    pool.Load(content, objectives, tasks, "");
    return pool;
  }

  function roster() {
    var students = make("Students");
    students.Load(records + "students.xml", null);
    return students;
  }

  return {
    hosted: !!host,
    host: host,
    get: get,
    set: set,
    make: make,
    records: records,
    onServer: onServer,
    gradeInbox: gradeInbox,
    rosterFile: records + "students.xml",
    examFile: records + "exams/watercycle_pmxm.xml",
    lessonsFolder: "\\lessons",
    menuFile: "\\lessons\\watercycle_lm.xml",
    questionPool: questionPool,
    roster: roster,
    // The student logged in: { id, name }, or null.
    student: function () {
      var id = get("studentID");
      return id ? { id: id, name: get("studentName") } : null;
    },
    // Sends a page that needs a student to the login page when nobody is logged in.
    requireStudent: function () {
      var student = Course.student();
      if (host && !student) location.href = Course.root() + "start.htm";
      return student;
    },
    // The address of the course's top folder, from any page of it.
    root: function () {
      var script = document.querySelector("script[src$='course.js']");
      return script.getAttribute("src").replace(/course\.js$/, "");
    },
    // Remembers the page, so the menu can offer to continue where the student left off.
    visited: function (title) {
      set("lastPage", location.pathname);
      set("lastTitle", title || document.title);
    },
    needsHost: function (id) {
      var el = document.getElementById(id);
      if (el && !host) el.textContent = "(Open this course in Lumo to keep your progress and records.)";
      return !host;
    },
    // Makes a folder of the records location; a record server keeps its folders itself.
    ensureFolder: function (path) {
      if (onServer) return;
      var fso = new ActiveXObject("Scripting.FileSystemObject");
      if (!fso.FolderExists(path)) fso.CreateFolder(path);
    },
    // Whether a record is kept: a local file is looked for, a server is asked for the record
    // (load(file) loads it with its own class and tells whether it came).
    hasRecord: function (file, load) {
      if (!onServer) return new ActiveXObject("Scripting.FileSystemObject").FileExists(file);
      return !!load(file);
    },
    hasRoster: function () {
      return Course.hasRecord(Course.rosterFile, function (file) { return make("Students").Load(file, null); });
    },
    hasExam: function (file) {
      return Course.hasRecord(file, function (f) { return make("Exam").Load(f, questionPool()); });
    },
    // The lesson menu for the student logged in: the course's lessons, each with the
    // student's own copy (from the records folder) where there is one.
    lessonMenu: function () {
      Course.ensureFolder(Course.records + "lessons");
      var menu = make("LessonMenu");
      menu.Load(Course.menuFile, Course.lessonsFolder, null, Course.student().id, Course.records + "lessons");
      return menu;
    },
    // Every lesson of the menu, in order.
    lessons: function (menu) {
      var all = [];
      for (var t = new Enumerator(menu.Tutorials); !t.atEnd(); t.moveNext())
        for (var l = new Enumerator(t.item().Lessons); !l.atEnd(); l.moveNext()) all.push(l.item());
      return all;
    },
    // Marks a task of a lesson done and saves the student's copy of the lesson.
    completeTask: function (lessonTitle, taskID) {
      if (!host || !Course.student()) return false;
      var lessons = Course.lessons(Course.lessonMenu());
      for (var i = 0; i < lessons.length; i++) {
        if (lessons[i].Title !== lessonTitle) continue;
        var task = lessons[i].Tasks.Item(taskID);
        // A finished lesson keeps the dates its tasks were first done.
        if (!lessons[i].CalcLessonComplete()) {
          var now = new Date();
          task.CompletionDate = (now.getMonth() + 1) + "/" + now.getDate() + "/" + now.getFullYear();
        }
        lessons[i].CalcLessonComplete();
        return lessons[i].Save(Course.records + "lessons/" + lessons[i].LessonFilename);
      }
      return false;
    },
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
