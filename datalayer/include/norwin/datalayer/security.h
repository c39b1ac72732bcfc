// The login to the server pages that keep records, and the validation string
// that proves it.
//
// A login asks the server folder's "LoginKey.asp" for a key, stores the
// validation string "LoginKey=KEY&LoginValue=DIGEST" (DIGEST being the
// password digest of the key) and confirms it with "Login.asp". The string
// is kept per thread, as the objects of one apartment share it: every
// storage request made on that thread carries it; another thread starts
// with an empty one.
//
// `Security` (NorwinPellam2003.Security) offers the same to page script.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"

namespace norwin::datalayer {

// The calling thread's validation string; empty until a login there.
const std::string& CurrentValidationString();
// Replaces the calling thread's validation string.
void StoreValidationString(std::string value);

class Security : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // Logs in to the server folder of `server_path` (the address of any page or
  // record in it). True for a local path, with nothing sent; otherwise true
  // when both pages answer 200 and "Login.asp" answers exactly "Validated".
  // A server that cannot be reached, or answers with another status, gives
  // false. The string stays stored once the key has come, whatever follows.
  bool Login(const std::string& server_path);
  std::string ValidationString() const;
  void SetValidationString(const std::string& value);
  // Whether both are not empty and `login_value` is the digest of `login_key`.
  bool ValidateLoginKey(const std::string& login_key, const std::string& login_value) const;
};

}  // namespace norwin::datalayer
