// JsBridge: ActiveXObject, Enumerator and the wrappers of automation objects
// in one JavaScriptCore context, their calls carried to a Channel.
//
// Install evaluates bridge/js/automation.js in the context and hands it the
// native side it is written against: `call`, one function that takes a
// call's fixed fields as integers and its values as packed text
// (packed_text.h) and returns the packed reply, and `keep`, which makes the
// keeper of a handle. A keeper is a small ArrayBuffer whose collection by
// the garbage collector releases the handle (Object.Release), so that
// objects go when their wrappers go, even inside a loop that never yields.
// Each keeper declares about a kilobyte, so that the collector runs at a
// pace that suits the memory automation objects hold outside its heap.
// Inside WebKit's web processes the engine forbids array buffers over
// memory of its embedder; there a keeper is an instance of a class of the
// bridge whose finalization releases the handle (Keepers::kObjects).
//
// The bridge runs on the thread that owns the context. Nothing thrown in
// C++ crosses into the script engine: failures reach script as errors.
#pragma once

#include <jsc/jsc.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "norwin/bridge/calls.h"
#include "norwin/bridge/js_shim.h"
#include "norwin/platform/status.h"

namespace norwin::bridge {

struct JsBridgeLink;

class JsBridge {
 public:
  // What a keeper is (see above).
  enum class Keepers { kArrayBuffers, kObjects };

  // Installs ActiveXObject and Enumerator into `context`'s global object.
  // `channel` must outlive the bridge. Fails when the shim cannot run.
  [[nodiscard]] static Result<std::unique_ptr<JsBridge>> Install(
      JSCContext* context, Channel* channel, Keepers keepers = Keepers::kArrayBuffers);

  // From here on, calls from the context's script fail with an error and
  // wrappers collected later release nothing.
  ~JsBridge();
  JsBridge(const JsBridge&) = delete;
  JsBridge& operator=(const JsBridge&) = delete;

  // What the shim hands to other shims of the context: an object with
  // `automationError(number, description, source)` (an Error as objects
  // raise them), `subscriptError(source)` (error 9), `targetOf(value)`
  // (the wrapper's target, or undefined for what is no wrapper) and
  // `external()` (the wrapper of the object External.Get answers).
  JSCValue* helpers() const { return helpers_.get(); }

  // Native calls made so far; for tests and benchmarks.
  uint64_t call_count_for_testing() const { return calls_; }

 private:
  JsBridge(JSCContext* context, Channel* channel);

  // The native side of the shim (see automation.js).
  char* Call(int32_t op, int32_t handle, int32_t member, int32_t flags, const char* packed);
  JSCValue* Keep(uint32_t handle);
  void ReleaseCollected(Handle handle);
  void DrainForeignReleases();

  static char* OnCall(int32_t op, int32_t handle, int32_t member, int32_t flags, const char* packed,
                      gpointer link);
  static JSCValue* OnKeep(uint32_t handle, gpointer link);
  static void OnKeeperCollected(gpointer key);

  const uint32_t id_;
  JSCContext* context_;
  JSCClass* keeper_class_ = nullptr;  // Keepers::kObjects; owned by the context
  Channel* channel_;
  const std::thread::id thread_;
  GObjectPtr<JSCValue> helpers_;
  JsBridgeLink* link_ = nullptr;  // shared with the native functions
  uint64_t calls_ = 0;

  // Kept between calls so that a call costs no allocation for them.
  CallRequest request_;
  CallReply reply_;
  std::string packed_reply_;
  bool busy_ = false;

  // Handles whose keepers were collected on another thread, released on the
  // bridge's own thread at its next call.
  std::mutex foreign_mutex_;
  std::vector<Handle> foreign_releases_;
  std::atomic<bool> foreign_pending_{false};
};

}  // namespace norwin::bridge
