#include "norwin/datalayer/encryption.h"

#include "norwin/datalayer/password_digest.h"

namespace norwin::datalayer {

std::string Encryption::Encrypt(const std::string& source) const { return EncryptPassword(source); }

NORWIN_CLASS(Encryption) { Method("Encrypt", &Encryption::Encrypt); }

}  // namespace norwin::datalayer
