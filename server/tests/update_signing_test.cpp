// The update signature must verify the way the desktop updater checks it: the minisign
// signature file, Base64-encoded, against the Base64 public key form.
#include <gtest/gtest.h>
#include <sodium.h>

#include "admin/update_signing.hpp"
#include "util/crypto.hpp"

using namespace tovik;

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (auto nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
    out.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

}  // namespace

TEST(UpdateSigningTest, SignatureVerifiesWithThePublicKeyAndBreaksOnChange) {
  const auto keys = admin::generate_update_key();
  EXPECT_EQ(keys.public_base64.size(), 152u);
  const auto pub_lines = lines(util::base64_decode(keys.public_base64));
  ASSERT_EQ(pub_lines.size(), 2u);
  const auto pub = util::base64_decode(pub_lines[1]);
  ASSERT_EQ(pub.size(), 42u);
  EXPECT_EQ(pub.substr(0, 2), "Ed");

  const std::string installer(5000, 'z');
  const auto sig_lines = lines(util::base64_decode(admin::sign_update(keys.secret_text, installer, "setup.exe")));
  ASSERT_EQ(sig_lines.size(), 4u);
  const auto sig = util::base64_decode(sig_lines[1]);
  ASSERT_EQ(sig.size(), 74u);
  EXPECT_EQ(sig.substr(0, 2), "ED");
  EXPECT_EQ(sig.substr(2, 8), pub.substr(2, 8));  // same key id

  auto verifies = [&](const std::string& bytes) {
    unsigned char digest[crypto_generichash_BYTES_MAX];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), nullptr, 0);
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sig.data() + 10), digest, sizeof digest,
                                       reinterpret_cast<const unsigned char*>(pub.data() + 10)) == 0;
  };
  EXPECT_TRUE(verifies(installer));
  EXPECT_FALSE(verifies(installer + "!"));

  const std::string prefix = "trusted comment: ";
  ASSERT_EQ(sig_lines[2].rfind(prefix, 0), 0u);
  const auto global = util::base64_decode(sig_lines[3]);
  const auto signed_text = sig.substr(10) + sig_lines[2].substr(prefix.size());
  EXPECT_EQ(crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(global.data()),
                                        reinterpret_cast<const unsigned char*>(signed_text.data()), signed_text.size(),
                                        reinterpret_cast<const unsigned char*>(pub.data() + 10)),
            0);
}
