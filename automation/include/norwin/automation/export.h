// Marks what libnorwin-automation.so offers to the libraries and programs
// that link it. The library is built with default visibility today; the
// marks keep the public face explicit should that ever change.
#pragma once

#define NORWIN_AUTOMATION_EXPORT __attribute__((visibility("default")))
