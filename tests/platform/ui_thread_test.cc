#include "norwin/platform/ui_thread.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>

namespace norwin::platform {
namespace {

// The test's main thread is the UI thread; it runs the default main context
// only when it means to serve.
TEST(UiThreadTest, OtherThreadsWaitForTheirWorkOnTheUiThreadUntilTheUiCloses) {
  ASSERT_TRUE(OnUiThread());
  bool ran = false;
  EXPECT_TRUE(RunOnUiThread([&] { ran = true; }));  // at once, here
  EXPECT_TRUE(ran);

  std::thread::id where;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    EXPECT_FALSE(OnUiThread());
    EXPECT_TRUE(RunOnUiThread([&] { where = std::this_thread::get_id(); }));
    EXPECT_THROW(RunOnUiThread([] { throw std::runtime_error("from the UI thread"); }),
                 std::runtime_error);
    done = true;
    g_main_context_wakeup(nullptr);
  });
  while (!done) g_main_context_iteration(nullptr, TRUE);
  worker.join();
  EXPECT_EQ(where, std::this_thread::get_id());

  // The UI closes while a call waits (or before it asks): the call returns
  // without its work, which never runs, and the UI thread itself still
  // runs what it asks.
  bool late_ran = false;
  std::optional<bool> answer;
  std::thread waiter([&] { answer = RunOnUiThread([&] { late_ran = true; }); });
  StopUiThreadCalls();
  waiter.join();
  EXPECT_EQ(answer, std::optional<bool>(false));
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_FALSE(late_ran);
  EXPECT_TRUE(RunOnUiThread([&] { late_ran = true; }));
  EXPECT_TRUE(late_ran);
}

}  // namespace
}  // namespace norwin::platform
