#include "norwin/platform/ui_thread.h"

#include <glib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace norwin::platform {

namespace {

struct UiCalls {
  std::mutex mutex;
  std::condition_variable changed;
  bool stopped = false;
};

UiCalls& Calls() {
  static UiCalls* calls = new UiCalls();  // never destroyed: usable during exit
  return *calls;
}

// One call waiting for the UI thread. Its fields are guarded by the
// UiCalls mutex.
struct Job {
  const std::function<void()>* work;
  bool started = false;
  bool done = false;
  std::exception_ptr error;
};

gboolean RunJob(gpointer data) {
  Job& job = **static_cast<std::shared_ptr<Job>*>(data);
  UiCalls& calls = Calls();
  {
    std::lock_guard lock(calls.mutex);
    if (calls.stopped) return G_SOURCE_REMOVE;  // its caller has gone on
    job.started = true;
  }
  std::exception_ptr error;
  try {
    (*job.work)();
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard lock(calls.mutex);
    job.error = error;
    job.done = true;
  }
  calls.changed.notify_all();
  return G_SOURCE_REMOVE;
}

void DeleteJob(gpointer data) { delete static_cast<std::shared_ptr<Job>*>(data); }

}  // namespace

bool OnUiThread() { return syscall(SYS_gettid) == getpid(); }

bool RunOnUiThread(const std::function<void()>& work) {
  UiCalls& calls = Calls();
  if (OnUiThread()) {
    work();
    return true;
  }
  auto job = std::make_shared<Job>();
  job->work = &work;
  {
    std::lock_guard lock(calls.mutex);
    if (calls.stopped) return false;
  }
  // Shared with the source: should the UI loop never run it, the source
  // still holds a valid job when the context is freed. A source attached to
  // the context, not g_main_context_invoke: that runs the work on the
  // calling thread whenever it can take the context, which it can whenever
  // the UI thread is not iterating at that moment (before its loop runs,
  // after it ends, between iterations).
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_DEFAULT);
  g_source_set_callback(source, &RunJob, new std::shared_ptr<Job>(job), &DeleteJob);
  g_source_attach(source, g_main_context_default());
  g_source_unref(source);
  std::unique_lock lock(calls.mutex);
  calls.changed.wait(lock, [&] { return job->done || (calls.stopped && !job->started); });
  if (!job->done) return false;
  if (job->error) std::rethrow_exception(job->error);
  return true;
}

void StopUiThreadCalls() {
  UiCalls& calls = Calls();
  {
    std::lock_guard lock(calls.mutex);
    calls.stopped = true;
  }
  calls.changed.notify_all();
}

}  // namespace norwin::platform
