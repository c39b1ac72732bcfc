// Sanitizer reports that are not faults of the bridge's test binaries.
//
// Leaks the leak checker should not report.
//
// JavaScriptCore keeps what it sets up once per process, and does not free
// the bookkeeping of array buffers that are still alive when a context goes
// away (every wrapper's keeper is one; the objects themselves are released
// by then). Those blocks come from the engine's own allocator, never from
// code of ours. The sanitizer runtime calls this function when it starts;
// without sanitizers it is unused.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libjavascriptcoregtk-4.1.so\n";
}

// UndefinedBehaviorSanitizer false reports in code of libstdc++ that the
// script engine calls: see bridge/sanitizer/ubsan_suppressions.txt.
extern "C" const char* __ubsan_default_options() {
  return "suppressions=" NORWIN_SOURCE_DIR "/bridge/sanitizer/ubsan_suppressions.txt";
}
