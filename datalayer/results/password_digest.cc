#include "norwin/datalayer/password_digest.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

#include "norwin/automation/error.h"
#include "norwin/platform/codepage.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;

struct MdCtxDeleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

std::string ProviderError(std::string_view step) {
  std::string text = "EncryptPassword Error: ";
  text.append(step);
  text.append(" fails with error = ");
  text.append(std::to_string(ERR_get_error()));
  ERR_clear_error();
  return text;
}

[[noreturn]] void RefuseText(std::string description) {
  throw AutomationError(automation::HResultFromRuntimeError(automation::kInvalidProcedureCall),
                        std::move(description), "EncryptHelp.EncryptPassword");
}

}  // namespace

std::string EncryptPassword(std::string_view text) {
  Result<std::string> bytes = platform::Utf8ToCp1252(text);
  if (!bytes.ok()) RefuseText("The password cannot be encrypted: " + bytes.message());
  if (bytes->size() > kMaxDigestTextLength) {
    RefuseText("The password cannot be encrypted: it is longer than " +
               std::to_string(kMaxDigestTextLength) + " characters");
  }

  // The context stands for the provider the hash is computed with; a
  // failure at either step is reported in the result, as callers expect.
  std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
  if (!ctx) return ProviderError("CryptAcquireContext");
  if (EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) {
    return ProviderError("CryptCreateHash");
  }
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int hash_size = 0;
  if (EVP_DigestUpdate(ctx.get(), bytes->data(), bytes->size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), hash, &hash_size) != 1) {
    return ProviderError("CryptHashData");
  }

  static constexpr char kHex[] = "0123456789abcdef";
  std::string digest(size_t{hash_size} * 2, '0');
  for (unsigned int i = 0; i < hash_size; ++i) {
    digest[2 * i] = kHex[hash[i] >> 4];
    digest[2 * i + 1] = kHex[hash[i] & 0x0F];
  }
  return digest;
}

}  // namespace norwin::datalayer
