// The course drives as the web engine sees them: the scheme "lumo" of
// course_address.h, served from the drives of the system layer (Windows
// paths, found without regard to case). Registered as a local scheme, so
// that pages from the web can neither load nor open course files; course
// pages may read their own drive's files (XMLHttpRequest, fetch).
#pragma once

#include <webkit2/webkit2.h>

namespace norwin::host {

// Serves "lumo" addresses in `context`; call once, before any page loads.
// A path that names no regular file on an existing drive fails the load
// with a message naming it.
void RegisterCourseScheme(WebKitWebContext* context);

}  // namespace norwin::host
