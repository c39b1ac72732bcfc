#include "norwin/datalayer/utils.h"

namespace norwin::datalayer {

std::string AddTrailingSlash(std::string_view folder) {
  std::string result;
  result.reserve(folder.size() + 1);
  result.append(folder);
  if (result.ends_with('/') || result.ends_with('\\')) result.pop_back();
  result.push_back('/');
  return result;
}

}  // namespace norwin::datalayer
