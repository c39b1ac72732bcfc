// Leaks the leak checker should not report in the host's test binaries.
//
// fontconfig keeps what it parsed of the font configuration for the life of
// the process; a few of those blocks are not reachable from any pointer the
// checker can see. The web engine of the course window tests keeps what it
// sets up once per process (JavaScriptCore's heaps) the same way, as in lumo
// itself. Nothing of ours calls them directly, so a report from inside them
// is never a leak of this program. The sanitizer runtime calls this function
// when it starts; without sanitizers it is unused.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libjavascriptcoregtk-4.1.so\n"
         "leak:libwebkit2gtk-4.1.so\n";
}
