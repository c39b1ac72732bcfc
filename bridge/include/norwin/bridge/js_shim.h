// Running the bridge's JavaScript shims (bridge/js/*.js, compiled into the
// program as GResources under /org/norwin/bridge/js/) in a JavaScriptCore
// context, and the small owning handle the bridge uses for GLib objects.
//
// A shim file is one function expression; RunShim evaluates it (under its
// resource:// address, so that errors and stack frames name it) and calls
// the function with the given arguments.
#pragma once

#include <glib-object.h>
#include <jsc/jsc.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::bridge {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
// Owns one reference to a GObject (a JSCValue, JSCContext, ...).
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// The text of the pending exception of `context`, as "Name: message"
// (or the thrown value's text), and clears it. Empty when there is none.
std::string TakeExceptionText(JSCContext* context);

// Evaluates the shim at resource `path` (for example
// "/org/norwin/bridge/js/automation.js") in `context` and calls it with
// `args`. Returns what the shim returned, or why it failed (a missing
// resource, an exception in the shim).
[[nodiscard]] Result<GObjectPtr<JSCValue>> RunShim(JSCContext* context, std::string_view path,
                                                   std::initializer_list<JSCValue*> args);

}  // namespace norwin::bridge
