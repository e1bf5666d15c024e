#include "admin/update_signing.hpp"

#include <sodium.h>

#include <cinttypes>
#include <cstdio>
#include <stdexcept>

#include "util/clock.hpp"
#include "util/crypto.hpp"

namespace tovik::admin {

namespace {

constexpr std::size_t kKeyIdBytes = 8;

std::string key_id_text(const std::string& key_id) {
  std::uint64_t v = 0;
  for (std::size_t i = kKeyIdBytes; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(key_id[i]);
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016" PRIX64, v);
  return buf;
}

// The Base64 line of a two-line key or signature file.
std::string second_line(const std::string& text) {
  const auto nl = text.find('\n');
  if (nl == std::string::npos) throw std::runtime_error("malformed key file");
  const auto end = text.find('\n', nl + 1);
  return text.substr(nl + 1, end == std::string::npos ? std::string::npos : end - nl - 1);
}

}  // namespace

KeyFiles generate_update_key() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium failed to initialise");
  unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
  crypto_sign_keypair(pk, sk);
  const auto key_id = util::random_bytes(kKeyIdBytes);
  const std::string alg = "Ed";
  KeyFiles k;
  k.secret_text = "untrusted comment: tovik update secret key " + key_id_text(key_id) + "\n" +
                  util::base64_encode(alg + key_id + std::string(reinterpret_cast<char*>(sk), sizeof sk)) + "\n";
  k.public_text = "untrusted comment: minisign public key " + key_id_text(key_id) + "\n" +
                  util::base64_encode(alg + key_id + std::string(reinterpret_cast<char*>(pk), sizeof pk)) + "\n";
  k.public_base64 = util::base64_encode(k.public_text);
  sodium_memzero(sk, sizeof sk);
  return k;
}

std::string sign_update(const std::string& secret_text, const std::string& bytes, const std::string& file_name) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium failed to initialise");
  const auto raw = util::base64_decode(second_line(secret_text));
  if (raw.size() != 2 + kKeyIdBytes + crypto_sign_SECRETKEYBYTES || raw.compare(0, 2, "Ed") != 0)
    throw std::runtime_error("not an update secret key");
  const auto key_id = raw.substr(2, kKeyIdBytes);
  const auto* sk = reinterpret_cast<const unsigned char*>(raw.data() + 2 + kKeyIdBytes);

  unsigned char digest[crypto_generichash_BYTES_MAX];
  crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                     nullptr, 0);
  unsigned char sig[crypto_sign_BYTES];
  crypto_sign_detached(sig, nullptr, digest, sizeof digest, sk);

  const std::string trusted = "timestamp:" + std::to_string(util::unix_now()) + "\tfile:" + file_name + "\thashed";
  std::string global_input(reinterpret_cast<char*>(sig), sizeof sig);
  global_input += trusted;
  unsigned char global[crypto_sign_BYTES];
  crypto_sign_detached(global, nullptr, reinterpret_cast<const unsigned char*>(global_input.data()),
                       global_input.size(), sk);

  const std::string text = "untrusted comment: signature from tovik update key\n" +
                           util::base64_encode("ED" + key_id + std::string(reinterpret_cast<char*>(sig), sizeof sig)) +
                           "\ntrusted comment: " + trusted + "\n" +
                           util::base64_encode(std::string(reinterpret_cast<char*>(global), sizeof global)) + "\n";
  return util::base64_encode(text);
}

}  // namespace tovik::admin
