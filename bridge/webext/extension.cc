// liblumo-webext.so: lumo's extension of WebKit's web processes. It gives
// trusted course pages `window.external`, `ActiveXObject` and `Enumerator`,
// whose calls it carries to the UI process (which decides what is trusted
// and owns every object); other pages get none of them.
//
// The logic is in frame_bindings.h and course_requests.h; this file is only
// WebKit's entry point.
#include <webkit2/webkit-web-extension.h>

#include "bridge/webext/course_requests.h"
#include "bridge/webext/frame_bindings.h"

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* user_data) {
  norwin::bridge::webext::InstallCourseRequests(extension);
  norwin::bridge::webext::InstallFrameBindings(extension, user_data);
}
