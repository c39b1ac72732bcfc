// The password digest: MD5 of the Windows-1252 bytes, in lower-case
// hexadecimal, and its refusals.
#include "norwin/datalayer/password_digest.h"

#include <gtest/gtest.h>

#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/encryption.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;

TEST(PasswordDigestTest, KnownDigestsOfWindows1252Bytes) {
  // RFC 1321's test suite.
  EXPECT_EQ(EncryptPassword(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(EncryptPassword("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(EncryptPassword("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  // One byte each: 0xE9 and 0x80, not their two- and three-byte UTF-8 forms.
  EXPECT_EQ(EncryptPassword("é"), "3406877694691ddd1dfb0aca54681407");
  EXPECT_EQ(EncryptPassword("€"), "8d39dd7eef115ea6975446ef4082951f");
  EXPECT_EQ(EncryptPassword("Passwort-ÄÖÜß"), "dc9c3113dd119218ad622da7f0d15a59");
}

TEST(PasswordDigestTest, TextsItCannotHashAreRefused) {
  const auto expect_refused = [](const std::string& text) {
    try {
      (void)EncryptPassword(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number, automation::HResultFromRuntimeError(automation::kInvalidProcedureCall));
      EXPECT_FALSE(e.description.empty());
    }
  };
  expect_refused("Пароль");
  expect_refused("pass\xff");  // not UTF-8
  expect_refused(std::string(kMaxDigestTextLength + 1, 'a'));
  expect_refused(std::string(kMaxDigestTextLength, 'a') + "é");
  // 256 characters are fine, also when each is two bytes of UTF-8.
  std::string longest;
  for (size_t i = 0; i < kMaxDigestTextLength; ++i) longest += "é";
  EXPECT_EQ(EncryptPassword(longest).size(), 32u);
}

TEST(PasswordDigestTest, EncryptionOffersTheDigestToScript) {
  auto encryption = automation::MakeRef<Encryption>();
  EXPECT_EQ(automation::CallByName(*encryption, "encrypt", automation::DISPATCH_METHOD,
                                   {automation::Variant("abc")})
                .string(),
            "900150983cd24fb0d6963f7d28e17f72");
  // A number is hashed as its text.
  EXPECT_EQ(automation::CallByName(*encryption, "Encrypt", automation::DISPATCH_METHOD,
                                   {automation::Variant(int32_t{12})})
                .string(),
            EncryptPassword("12"));
}

}  // namespace
}  // namespace norwin::datalayer
