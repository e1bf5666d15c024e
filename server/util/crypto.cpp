#include "util/crypto.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sodium.h>

#include <stdexcept>
#include <vector>

namespace tovik::util {

namespace {
struct SodiumInit {
  SodiumInit() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium failed to initialise");
  }
};
void ensure_sodium() { static SodiumInit once; }
}  // namespace

std::string random_bytes(std::size_t n) {
  ensure_sodium();
  std::string out(n, '\0');
  randombytes_buf(out.data(), n);
  return out;
}

std::string random_token(std::size_t bytes) { return base64url_encode(random_bytes(bytes)); }

std::string random_digits(int digits) {
  ensure_sodium();
  std::string out;
  for (int i = 0; i < digits; ++i) out.push_back(static_cast<char>('0' + randombytes_uniform(10)));
  return out;
}

std::string sha256_hex(std::string_view data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), md, &len, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("sha256 failed");
  return hex_encode({reinterpret_cast<const char*>(md), len});
}

std::string hmac_sha256_hex(std::string_view key, std::string_view data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
            reinterpret_cast<const unsigned char*>(data.data()), data.size(), md, &len))
    throw std::runtime_error("hmac failed");
  return hex_encode({reinterpret_cast<const char*>(md), len});
}

std::string pbkdf2_sha256(std::string_view password, std::string_view salt, int iterations,
                          std::size_t out_len) {
  std::string out(out_len, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(out_len), reinterpret_cast<unsigned char*>(out.data())) != 1)
    throw std::runtime_error("pbkdf2 failed");
  return out;
}

std::string hex_encode(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

static std::string b64_encode(std::string_view bytes, int variant) {
  ensure_sodium();
  std::string out(sodium_base64_encoded_len(bytes.size(), variant), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), variant);
  out.resize(out.size() - 1);  // the terminating NUL
  return out;
}

static std::string b64_decode(std::string_view text, int variant) {
  ensure_sodium();
  std::string out(text.size() * 3 / 4 + 3, '\0');
  std::size_t len = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(),
                        text.size(), nullptr, &len, nullptr, variant) != 0)
    throw std::invalid_argument("malformed Base64");
  out.resize(len);
  return out;
}

std::string base64_encode(std::string_view bytes) {
  return b64_encode(bytes, sodium_base64_VARIANT_ORIGINAL);
}
std::string base64url_encode(std::string_view bytes) {
  return b64_encode(bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
}
std::string base64url_decode(std::string_view text) {
  return b64_decode(text, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
}
std::string base64_decode(std::string_view text) {
  return b64_decode(text, sodium_base64_VARIANT_ORIGINAL);
}

bool equal_secret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string hash_password(std::string_view password, bool fast) {
  ensure_sodium();
  char out[crypto_pwhash_STRBYTES];
  const auto ops = fast ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
  const auto mem = fast ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), ops, mem,
                            crypto_pwhash_ALG_ARGON2ID13) != 0)
    throw std::runtime_error("password hashing ran out of memory");
  return out;
}

bool verify_password(std::string_view hash, std::string_view password) {
  ensure_sodium();
  const std::string h(hash);  // must be NUL-terminated
  return crypto_pwhash_str_verify(h.c_str(), password.data(), password.size()) == 0;
}

}  // namespace tovik::util
