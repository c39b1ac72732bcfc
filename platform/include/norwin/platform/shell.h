// Opening documents and addresses with the desktop's default application,
// as the Windows shell opens a file it is given.
//
// The application is found through GIO (the desktop's MIME associations)
// and started without waiting for it: these calls return as soon as the
// program has been launched. A failure carries a readable message, GIO's
// own when no application handles the file or address.
#pragma once

#include <filesystem>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::platform {

// Opens the file or folder `file` (native path; a relative path is taken
// from the working folder). Fails when it does not exist or nothing
// handles its type.
Status OpenWithDefaultApplication(const std::filesystem::path& file);

// Opens an address such as "http://host/page.htm" or "mailto:x@y". Fails
// for text that is not an absolute address (it needs a scheme) and when
// nothing handles its scheme.
Status OpenUriWithDefaultApplication(std::string_view uri);

}  // namespace norwin::platform
