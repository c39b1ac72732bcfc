// Small text helpers shared by the record classes.
#pragma once

#include <string>
#include <string_view>

namespace norwin::datalayer {

// `folder` ending in exactly one "/": a trailing "/" or "\" is replaced by
// "/", otherwise "/" is appended ("C:\data\" and "C:\data" both give
// "C:\data/"; "" gives "/"). Local folders are joined to file names with "/".
std::string AddTrailingSlash(std::string_view folder);

}  // namespace norwin::datalayer
