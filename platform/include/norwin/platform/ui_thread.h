// The UI thread: the process's main thread, where GTK and the windows run.
//
// Record objects live on a thread of their own (lumo's apartment), so that
// a slow call never freezes a window. What they need of GTK (a message box,
// a chooser, the print dialog) and what needs a window is carried over to
// the UI thread with RunOnUiThread, which waits until it has run there.
// The UI thread never waits for the other threads, except when the program
// closes, after StopUiThreadCalls: then waiting callers go on without the
// UI, so nothing can deadlock.
#pragma once

#include <functional>

namespace norwin::platform {

// Whether the calling thread is the UI thread.
bool OnUiThread();

// Runs `work` on the UI thread, from its GLib main loop (the default main
// context), and returns once it has run; on the UI thread it runs at once
// (also while the program closes). An exception `work` throws is thrown
// here. Off the UI thread: false, with `work` not run, once
// StopUiThreadCalls was called (also for a call waiting then).
bool RunOnUiThread(const std::function<void()>& work);

// The UI is closing: from now on RunOnUiThread runs nothing for other
// threads and answers them false, and the calls waiting for the UI thread
// return false at once (work already running finishes first).
void StopUiThreadCalls();

}  // namespace norwin::platform
