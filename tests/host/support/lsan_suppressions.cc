// Leaks the leak checker should not report in the host's test binaries.
//
// fontconfig keeps what it parsed of the font configuration for the life of
// the process; a few of those blocks are not reachable from any pointer the
// checker can see. Nothing of ours calls fontconfig directly, so a report from
// inside it is never a leak of this program. The sanitizer runtime calls this
// function when it starts; without sanitizers it is unused.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
