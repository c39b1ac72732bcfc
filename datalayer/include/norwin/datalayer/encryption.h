// `Encryption` (NorwinPellam2003.Encryption): the password digest
// (password_digest.h) for page script, which stores and compares digests
// instead of passwords.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"

namespace norwin::datalayer {

class Encryption : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The digest of `source`; raises what EncryptPassword raises.
  std::string Encrypt(const std::string& source) const;
};

}  // namespace norwin::datalayer
