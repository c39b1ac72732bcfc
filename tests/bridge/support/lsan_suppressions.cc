// Leaks the leak checker should not report in the bridge's test binaries.
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
