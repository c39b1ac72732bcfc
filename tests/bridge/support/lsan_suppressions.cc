// Leaks the leak checker should not report in the bridge's test binaries.
//
// JavaScriptCore keeps what it sets up once per process for the life of the
// process, in memory the checker cannot see; a report from inside it is
// never a leak of ours. The sanitizer runtime calls this function when it
// starts; without sanitizers it is unused.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libjavascriptcoregtk-4.1.so\n";
}
