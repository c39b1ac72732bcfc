// The script bindings of the frames of a web process: each document gets
// its own context in the UI process, its own object table there and its own
// JsBridge here; a document that goes (the frame navigates, the frame or its
// page goes) releases its objects in the UI process.
//
// Runs on the web process's main thread only.
#pragma once

#include <webkit2/webkit-web-extension.h>

namespace norwin::bridge::webext {

// Reads the socket path and token from `user_data` ("(ss)", given by the UI
// process) and binds every document of every page from now on. With
// unusable data nothing is bound, and pages get no script access.
void InstallFrameBindings(WebKitWebExtension* extension, const GVariant* user_data);

}  // namespace norwin::bridge::webext
