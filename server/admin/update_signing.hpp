#pragma once
#include <string>

// Update signing keys and signatures in the minisign formats the desktop updater checks.
namespace tovik::admin {

struct KeyFiles {
  std::string secret_text;      // our secret key file (unencrypted; keep it private)
  std::string public_text;      // the minisign public key file, two lines
  std::string public_base64;    // Base64 of public_text: the form compiled into the host
};
[[nodiscard]] KeyFiles generate_update_key();

// The Base64 of a minisign signature file (prehashed "ED" algorithm) of `bytes`.
[[nodiscard]] std::string sign_update(const std::string& secret_text, const std::string& bytes,
                                      const std::string& file_name);

}  // namespace tovik::admin
