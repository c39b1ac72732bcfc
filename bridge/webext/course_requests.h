// What the web process does to the addresses it loads: an address written
// for the Windows program's browser (a drive letter, a root-relative
// Windows path) is rewritten to the course address it stands for before
// the request goes out (norwin/host/course_address.h), in the frame that
// asked for it, whatever asked: a link, location.href, window.open, a
// frame's source, a form's action, an image. A navigation that the UI
// process's navigation check redirects (it sends the redirect before it
// lets the navigation go on) loads its target in the frame that navigated.
//
// Runs on the web process's main thread only.
#pragma once

#include <webkit2/webkit-web-extension.h>

namespace norwin::bridge::webext {

// Rewrites the requests of every page of `extension` from now on.
void InstallCourseRequests(WebKitWebExtension* extension);

}  // namespace norwin::bridge::webext
